// The pending file: its format, the damaged files a start must survive, and the folding
// of a report left behind into the bug-report file. Also the last words of a report that
// could not be finished. Runs on the host and under Wine.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "base/FileIO.h"
#include "crashreport/report/PendingReport.h"
#include "crashreport/report/ReportText.h"

namespace vm {
namespace {

std::string Report(const std::string& stamp) {
  return "date/time         : 2026-01-05, 09:07:03, " + stamp +
         "ms\r\nexecutable        : veilmark.exe\r\ncallstack crc     : $11111111, $22222222, $33333333\r\n"
         "exception class   : EAccessViolation\r\n\r\nmain thread ($1a2c):\r\n00401234 Main";
}

TPendingReport Pending(const std::string& bugReportFile) {
  TPendingReport p;
  p.Program = "C:\\Tools\\veilmark.exe";
  p.ProcessId = 0x1a2c;
  p.ProcessStart = 134000000000000000ull;
  p.BugReportFile = bugReportFile;
  p.Report = Report("1");
  return p;
}

TEST(PendingReportFormat, RoundTripsEveryState) {
  for (auto [saved, sent] : {std::pair{false, false}, {true, false}, {false, true}, {true, true}}) {
    TPendingReport p = Pending("C:\\Tools\\bugreport.txt");
    p.Saved = saved;
    p.Sent = sent;
    auto back = DecodePendingReport(EncodePendingReport(p));
    ASSERT_TRUE(back);
    EXPECT_EQ(back->Program, p.Program);
    EXPECT_EQ(back->ProcessId, p.ProcessId);
    EXPECT_EQ(back->ProcessStart, p.ProcessStart);
    EXPECT_EQ(back->BugReportFile, p.BugReportFile);
    EXPECT_EQ(std::pair(back->Saved, back->Sent), std::pair(saved, sent));
    EXPECT_EQ(back->Report, p.Report);
  }
  const std::string length = std::to_string(Report("1").size());
  const std::string head =
      "Zentrapix pending report\r\nprogram: C:\\Tools\\veilmark.exe\r\nprocess: $1a2c 134000000000000000\r\n"
      "bug-report file: C:\\b.txt\r\nstate: none\r\nreport: " +
      length + " $";
  EXPECT_EQ(EncodePendingReport(Pending("C:\\b.txt")).substr(0, head.size()), head);
}

// Every way a file left by a killed write, a full disk or a stranger can be wrong.
TEST(PendingReportFormat, DamagedFilesAreRefused) {
  const std::string good = EncodePendingReport(Pending("C:\\b.txt"));
  const std::string length = "report: " + std::to_string(Report("1").size());
  auto replaced = [&](const std::string& from, const std::string& to) {
    std::string bytes = good;
    bytes.replace(bytes.find(from), from.size(), to);
    return bytes;
  };
  const struct {
    const char* Why;
    std::string Bytes;
  } rows[] = {
      {"empty", ""},
      {"cut in the first line", good.substr(0, 10)},
      {"cut in the fields", good.substr(0, 60)},
      {"cut in the report (a killed write)", good.substr(0, good.size() - 5)},
      {"longer than its length says", good + "x"},
      {"a byte of the report changed", replaced("Main", "Mein")},
      {"another first line", replaced("Zentrapix pending report", "Zentrapix pending notes!")},
      {"fields out of order", replaced("program: ", "programm: ")},
      {"unknown state", replaced("state: none", "state: lost")},
      {"process id not a number", replaced("$1a2c", "$1x2c")},
      {"process id past 32 bits", replaced("$1a2c", "$1a2c00000")},
      {"negative length", replaced(length, "report: -" + length.substr(8))},
      {"no gap before the report", replaced("\r\n\r\ndate/time", "\r\ndate/time")},
      {"line breaks turned into LF", replaced("\r\nstate", "\nstate")},
      {"NUL bytes (a file of zeros after a power cut)", std::string(good.size(), '\0')},
  };
  for (const auto& row : rows) EXPECT_FALSE(DecodePendingReport(row.Bytes)) << row.Why;
  EXPECT_TRUE(DecodePendingReport(good));
}

TEST(PendingReportFormat, FileNames) {
  EXPECT_EQ(PendingFileName(0x1a2c), "pending-1a2c.txt");
  EXPECT_TRUE(IsPendingFileName("pending-1a2c.txt"));
  EXPECT_TRUE(IsPendingFileName("PENDING-1A2C.TXT"));
  for (const char* other : {"pending-.txt", "screenShot.png", "pending-1a2c.txt.tmp", "xpending-1.txt"})
    EXPECT_FALSE(IsPendingFileName(other)) << other;
}

class PendingReportFold : public ::testing::Test {
protected:
  void SetUp() override {
    dir = std::filesystem::temp_directory_path() /
          ("vm-pending-" + std::string(::testing::UnitTest::GetInstance()->current_test_info()->name()));
    std::filesystem::remove_all(dir);
    std::filesystem::create_directories(dir);
  }
  void TearDown() override { std::filesystem::remove_all(dir); }
  std::string At(const std::string& name) const { return (dir / name).string(); }
  std::string Read(const std::string& name) const { return ReadFileDenyWrite(At(name)); }
  TPendingFold Fold(const TPendingReport& p, bool running = false) {
    WriteFileCreate(At("pending-1a2c.txt"), EncodePendingReport(p));
    return FoldPendingReport(
        At("pending-1a2c.txt"), "c:\\tools\\VEILMARK.EXE", [&](const TPendingReport&) { return running; },
        TBugRepFileRules());
  }
  std::filesystem::path dir;
};

TEST_F(PendingReportFold, AReportNeitherSavedNorSentJoinsTheFileByItsRules) {
  // The old file holds the same report: the rules merge the two into one with a count.
  WriteFileCreate(At("bugreport.txt"), Report("0") + "\r\n\r\n");
  EXPECT_EQ(Fold(Pending(At("bugreport.txt"))), TPendingFold::Folded);
  EXPECT_FALSE(FileExists(At("pending-1a2c.txt")));
  std::string file = Read("bugreport.txt");
  EXPECT_EQ(file.find("03, 0ms"), std::string::npos) << file;
  EXPECT_NE(file.find("callstack crc     : $11111111, $22222222, $33333333\r\ncount             : 2\r\n"),
            std::string::npos)
      << file;
}

TEST_F(PendingReportFold, SavedSentDamagedOrForeignFilesAddNothing) {
  TPendingReport saved = Pending(At("bugreport.txt")), sent = saved;
  saved.Saved = true;
  sent.Sent = true;
  EXPECT_EQ(Fold(saved), TPendingFold::Removed);
  EXPECT_EQ(Fold(sent), TPendingFold::Removed);
  EXPECT_FALSE(FileExists(At("bugreport.txt")));

  WriteFileCreate(At("pending-1a2c.txt"), "Zentrapix pending report\r\nprogram: ");
  EXPECT_EQ(FoldPendingReport(
                At("pending-1a2c.txt"), "x", [](const TPendingReport&) { return false; }, TBugRepFileRules()),
            TPendingFold::Removed);
  EXPECT_FALSE(FileExists(At("pending-1a2c.txt")));

  // Another program's file, and one whose writer still shows its dialog, wait for them.
  TPendingReport other = Pending(At("bugreport.txt"));
  other.Program = "C:\\Other\\veilmark.exe";
  EXPECT_EQ(Fold(other), TPendingFold::Kept);
  EXPECT_EQ(Fold(Pending(At("bugreport.txt")), true), TPendingFold::Kept);
  EXPECT_TRUE(FileExists(At("pending-1a2c.txt")));
  EXPECT_FALSE(FileExists(At("bugreport.txt")));
}

TEST_F(PendingReportFold, ABugReportFileThatCannotBeWrittenKeepsThePendingFile) {
  // The file's place is taken by a folder: the save fails, the report waits for the next start.
  std::filesystem::create_directories(dir / "bugreport.txt");
  EXPECT_EQ(Fold(Pending(At("bugreport.txt"))), TPendingFold::Kept);
  EXPECT_TRUE(FileExists(At("pending-1a2c.txt")));
}

TEST(IncompleteReport, TheExceptionAndRawAddressesWhenNothingWasComposed) {
  TMinimalReport m;
  m.Time = {2026, 1, 5, 9, 7, 3, 45};
  m.ClassName = "EAccessViolation";
  m.Message = "Access violation at address 00401234.\r\nWrite of address 00000000.";
  m.Thread.Id = 0x1a2c;
  m.Thread.Name = "main thread";
  m.Addresses = {0x401234, 0x4011aa};
  const std::string minimal = MinimalReportText(m);
  EXPECT_EQ(minimal,
            "date/time         : 2026-01-05, 09:07:03, 45ms\r\n"
            "exception class   : EAccessViolation\r\n"
            "exception message : Access violation at address 00401234. Write of address 00000000.\r\n\r\n"
            "main thread ($1a2c):\r\n00401234\r\n004011aa");
  EXPECT_EQ(IncompleteReportText("", minimal, "why"), minimal + "\r\n\r\n>> report incomplete: why");
  EXPECT_EQ(IncompleteReportText("date/time : x", minimal, "why"), "date/time : x\r\n\r\n>> report incomplete: why");

  // A freeze has no class; a thread whose stack could not be read says so.
  m.Freeze = true;
  m.Message = "The application seems to be frozen.";
  m.Addresses.clear();
  EXPECT_EQ(MinimalReportText(m),
            "date/time         : 2026-01-05, 09:07:03, 45ms\r\n"
            "exception message : The application seems to be frozen.\r\n\r\n"
            "main thread ($1a2c):\r\n>> stack not accessible");
}

}  // namespace
}  // namespace vm

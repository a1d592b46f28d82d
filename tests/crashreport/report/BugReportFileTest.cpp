// The bug-report file: its place, the duplicate table, the size limit, replacing, and
// saves that fail. Runs on the host and under Wine.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "BugReportFileTestSupport.h"
#include "base/FileIO.h"
#include "crashreport/report/BugReportFile.h"
#include "crashreport/report/BugReportReader.h"
#include "crashreport/report/ReportText.h"
#include "crashreport/settings/CrashSettingsStream.h"
#include "tests/crashreport/common/FakeCrashSystem.h"

namespace vm {
namespace {

constexpr const char* kCrcA = "$11111111, $22222222, $33333333";

struct TReportSpec {
  std::string Crc = kCrcA;
  std::string Class = "EAccessViolation";  // empty: a freeze
  std::string Version = "1.0.0.0";         // empty: none
  std::string Executable = "veilmark.exe";
  std::string Stamp = "1";  // tells reports apart
  size_t Padding = 0;       // bytes of section content
};

std::string Report(const TReportSpec& s) {
  TICrashFields h, sections;
  h.Put("date/time", "2026-01-05, 09:07:03, " + s.Stamp + "ms");
  h.Put("executable", s.Executable);
  h.Put("exec. date/time", "2025-12-01 14:30\r\n");
  if (!s.Version.empty()) h.Put("version", s.Version);
  h.Put("Zentrapix version", "3.0h");
  h.Put("callstack crc", s.Crc);
  h.Put("exception number", "1");
  if (!s.Class.empty()) h.Put("exception class", s.Class);
  h.Put("exception message", s.Class.empty() ? "The application seems to be frozen." : "boom");
  sections.Put("main thread ($1a2c):", "00401234 +14 veilmark.exe Unit 10 +1 Main" + std::string(s.Padding, 'x'));
  return ComposeReportText(h, sections);
}

std::vector<std::string> Stamps(const std::string& file) {
  std::vector<std::string> stamps;
  for (std::string_view r : SplitBugReportFile(file))
    stamps.push_back(HeaderValue(ParseReportHeader(r), "date/time").substr(22));
  return stamps;
}

std::string Count(const std::string& file, int report) {
  return HeaderValue(ParseReportHeader(SplitBugReportFile(file).at(size_t(report))), "count");
}

TEST(BugReportFileRules, DuplicatesMergeByTheTable) {
  TBugRepFileRules rules;
  const std::string first = MergeBugReport("", Report({.Stamp = "1"}), rules);
  EXPECT_EQ(first, Report({.Stamp = "1"}) + "\r\n\r\n");

  const std::string second = MergeBugReport(first, Report({.Stamp = "2"}), rules);
  ASSERT_EQ(Stamps(second), (std::vector<std::string>{"2ms"}));
  EXPECT_EQ(Count(second, 0), "2");
  EXPECT_NE(second.find("callstack crc     : $11111111, $22222222, $33333333\r\n"
                        "count             : 2\r\n"
                        "exception number  : 1"),
            std::string::npos)
      << "right after the checksums, aligned like the others:\n"
      << second;
  const std::string third = MergeBugReport(second, Report({.Stamp = "3"}), rules);
  EXPECT_EQ(Stamps(third), (std::vector<std::string>{"3ms"}));
  EXPECT_EQ(Count(third, 0), "3");

  const struct {
    const char* why;
    TReportSpec fresh;
    TBugRepFileRules rules;
    bool merged;
  } rows[] = {
      {"third checksum differs, two compared", {.Crc = "$11111111, $22222222, $99999999"}, {}, true},
      {"second checksum differs", {.Crc = "$11111111, $88888888, $33333333"}, {}, false},
      {"second differs, only the first compared",
       {.Crc = "$11111111, $88888888, $33333333"},
       {.DupExceptDef = 0},
       true},
      {"third differs, all compared", {.Crc = "$11111111, $22222222, $99999999"}, {.DupExceptDef = 2}, false},
      {"not yet calculated", {.Crc = "will be calculated soon"}, {}, false},
      {"another version", {.Version = "1.0.0.1"}, {}, false},
      {"another class", {.Class = "EConvertError"}, {}, false},
      {"another program", {.Executable = "other.exe"}, {}, false},
      {"merging switched off", {}, {.NoDupExcepts = false}, false},
  };
  for (const auto& row : rows) {
    std::string file = MergeBugReport(first, Report(row.fresh), row.rules);
    EXPECT_EQ(SplitBugReportFile(file).size(), row.merged ? 1u : 2u) << row.why;
  }
  // A report still waiting for its checksums is never the one merged into, either.
  std::string pending = MergeBugReport("", Report({.Crc = "will be calculated soon"}), rules);
  EXPECT_EQ(SplitBugReportFile(MergeBugReport(pending, Report({.Crc = "will be calculated soon"}), rules)).size(), 2u);
}

TEST(BugReportFileRules, FreezesAreKeyedByTheirOwnSetting) {
  const TReportSpec freeze{.Class = ""};
  const TReportSpec later{.Crc = "$11111111, $22222222, $99999999", .Class = ""};
  std::string file = MergeBugReport("", Report(freeze), {});
  EXPECT_EQ(SplitBugReportFile(MergeBugReport(file, Report(later), {})).size(), 2u) << "all three compared by default";
  std::string merged = MergeBugReport(file, Report(later), {.DupFreezeDef = 1});
  EXPECT_EQ(SplitBugReportFile(merged).size(), 1u) << "20 characters compared";
  EXPECT_EQ(Count(merged, 0), "2");
  EXPECT_EQ(SplitBugReportFile(MergeBugReport(file, Report(freeze), {.NoDupFreezes = false})).size(), 2u);
  EXPECT_EQ(SplitBugReportFile(MergeBugReport(file, Report(freeze), {.NoDupExcepts = false})).size(), 1u)
      << "the exception switch leaves freezes alone";
}

TEST(BugReportFileRules, TheSearchGoesBackPastReportsOfOtherOrigin) {
  std::string file;
  for (const TReportSpec& s : {TReportSpec{.Stamp = "1"}, TReportSpec{.Executable = "other.exe", .Stamp = "2"},
                               TReportSpec{.Crc = "$44444444, $22222222, $33333333", .Stamp = "3"}})
    file = MergeBugReport(file, Report(s), {});
  ASSERT_EQ(Stamps(file), (std::vector<std::string>{"1ms", "2ms", "3ms"}));
  std::string merged = MergeBugReport(file, Report({.Stamp = "4"}), {});
  // The newest hit (2) is another program's; the search goes on back to 1.
  EXPECT_EQ(Stamps(merged), (std::vector<std::string>{"2ms", "3ms", "4ms"}));
  EXPECT_EQ(Count(merged, 2), "2");
  EXPECT_EQ(merged.substr(0, ReportStarts(merged).at(1)),
            Report({.Executable = "other.exe", .Stamp = "2"}) + "\r\n\r\n")
      << "the reports around the removed one keep their gaps";
}

TEST(BugReportFileRules, SizeLimitDropsTheOldestReportsAtTheFirstBoundaryBelowThreeQuarters) {
  // Twelve reports of 10000 bytes each (with their gaps): a 120000-byte file.
  std::string file;
  for (int i = 0; i < 12; ++i) {
    TReportSpec s{.Crc = "$0000000" + std::to_string(i % 10) + ", $22222222, $33333333",
                  .Stamp = std::to_string(10 + i)};
    std::string probe = Report(s) + "\r\n\r\n";
    s.Padding = 10000 - probe.size();
    file += Report(s) + "\r\n\r\n";
  }
  ASSERT_EQ(file.size(), 120000u);
  const std::string fresh = Report({.Crc = "$abcdef01, $22222222, $33333333", .Stamp = "99"});
  std::string result = MergeBugReport(file, fresh, {.BugRepFileSize = 100000});
  // After the 5th boundary 70000 bytes remain, the first figure below 75000.
  EXPECT_EQ(result, file.substr(50000) + fresh + "\r\n\r\n");
  EXPECT_EQ(MergeBugReport(file, fresh, {.BugRepFileSize = 0}), file + fresh + "\r\n\r\n") << "no limit";
  EXPECT_EQ(MergeBugReport(file, fresh, {.BugRepFileSize = 120000}), file + fresh + "\r\n\r\n") << "not larger";
  // One report bigger than three quarters of the limit: no boundary qualifies, nothing is dropped.
  std::string big = Report({.Padding = 90000}) + "\r\n\r\n";
  EXPECT_EQ(MergeBugReport(big, fresh, {.BugRepFileSize = 1000}), big + fresh + "\r\n\r\n");
}

TEST(BugReportFileRules, ReplacingAndDamagedEnds) {
  const std::string fresh = Report({});
  EXPECT_EQ(MergeBugReport("old reports", fresh, {.AppendBugReps = false}), fresh + "\r\n\r\n");
  EXPECT_EQ(MergeBugReport("edited by hand", fresh, {}), "edited by hand\r\n\r\n" + fresh + "\r\n\r\n");
  EXPECT_EQ(MergeBugReport("edited\r\n", fresh, {}), "edited\r\n\r\n" + fresh + "\r\n\r\n");
}

TEST(BugReportFileRules, ThePathFollowsTheSettings) {
  test::TFakeCrashSystem system;
  system.Modules[0x400000] = {"C:\\Programs\\Veilmark\\veilmark.exe", std::nullopt, "1.0.0.0", {}};
  EXPECT_EQ(ResolveBugRepFilePath("bugreport.txt", "C:\\Programs\\Veilmark"), "C:\\Programs\\Veilmark\\bugreport.txt");
  EXPECT_EQ(ResolveBugRepFilePath("logs\\b.txt", "C:\\P\\"), "C:\\P\\logs\\b.txt");
  EXPECT_EQ(ResolveBugRepFilePath("D:\\b.txt", "C:\\P"), "D:\\b.txt");
  EXPECT_EQ(ResolveBugRepFilePath("\\\\server\\share\\b.txt", "C:\\P"), "\\\\server\\share\\b.txt");
  EXPECT_EQ(ResolveBugRepFilePath("b.txt", "/tmp/x"), "/tmp/x/b.txt");
  system.Modules[0x400000].Resource =
      TSettingsStreamWriter().Bool("Enabled", true).Text("BugRepFile", "reports\\%appname%-%date%.txt").Finish();
  TICrashSettings settings(0x400000);
  EXPECT_EQ(BugRepFilePath(settings, "C:\\P"), "C:\\P\\reports\\veilmark.exe-2026-01-05.txt");
  TBugRepFileRules rules = BugRepFileRules(settings);
  EXPECT_TRUE(rules.AppendBugReps);
  EXPECT_EQ(rules.BugRepFileSize, 100000);
  EXPECT_EQ(rules.DupExceptDef, 1);
  EXPECT_EQ(rules.DupFreezeDef, 2);
}

class BugReportFileSave : public ::testing::Test {
protected:
  void SetUp() override {
    dir = std::filesystem::temp_directory_path() /
          ("vm-bugrep-" + std::string(::testing::UnitTest::GetInstance()->current_test_info()->name()));
    std::filesystem::remove_all(dir);
  }
  void TearDown() override { std::filesystem::remove_all(dir); }
  std::string At(const std::string& name) const { return (dir / name).string(); }
  std::filesystem::path dir;
};

TEST_F(BugReportFileSave, CreatesFoldersAndMergesOnDisk) {
  std::string path = At("a/b/bugreport.txt");
  EXPECT_EQ(SaveBugReport(path, Report({.Stamp = "1"}), {}), TSaveResult::Saved);
  EXPECT_EQ(SaveBugReport(path, Report({.Stamp = "2"}), {}), TSaveResult::Saved);
  std::string file = ReadFileDenyWrite(path);
  EXPECT_EQ(Stamps(file), (std::vector<std::string>{"2ms"}));
  EXPECT_EQ(Count(file, 0), "2");
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir / "a/b"), std::filesystem::directory_iterator()), 1)
      << "no temporary file is left behind";
}

TEST_F(BugReportFileSave, AFailedSaveLeavesTheOldFileWhole) {
  std::string path = At("bugreport.txt");
  ASSERT_EQ(SaveBugReport(path, Report({.Stamp = "1"}), {}), TSaveResult::Saved);
  const std::string before = ReadFileDenyWrite(path);
  // The temporary file beside it cannot be made: its name is taken by a folder.
  std::filesystem::create_directories(path + ".vmnew" + std::to_string(test::TestProcessId()));
  EXPECT_EQ(SaveBugReport(path, Report({.Crc = "$99999999, $22222222, $33333333"}), {}), TSaveResult::NotWritten);
  EXPECT_EQ(ReadFileDenyWrite(path), before);
}

}  // namespace
}  // namespace vm

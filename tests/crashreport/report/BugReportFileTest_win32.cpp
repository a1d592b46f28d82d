// Windows side of the bug-report file tests: the file held by another handle.
#include <windows.h>

#include <gtest/gtest.h>

#include <filesystem>

#include "BugReportFileTestSupport.h"
#include "base/FileIO.h"
#include "base/Handles_win32.h"

namespace vm::test {

unsigned long TestProcessId() { return GetCurrentProcessId(); }

int SaveWithWriteLimit(const std::string&, const std::string&, std::uint64_t) { return -1; }

namespace {

TEST(BugReportFileWin32, AFileHeldByAnotherProgramIsNotTouched) {
  auto dir = std::filesystem::temp_directory_path() / "vm-bugrep-held";
  std::filesystem::remove_all(dir);
  std::filesystem::create_directories(dir);
  std::string path = (dir / "bugreport.txt").string();
  const std::string report = "date/time : 1\r\ncallstack crc : $11111111, $22222222, $33333333";
  for (DWORD share :
       {DWORD(0), DWORD(FILE_SHARE_READ), DWORD(FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE)}) {
    WriteFileCreate(path, "the user's reports");
    {
      FileHandle held(CreateFileA(path.c_str(), GENERIC_READ, share, nullptr, OPEN_EXISTING, 0, nullptr));
      ASSERT_TRUE(held);
      EXPECT_EQ(SaveBugReport(path, report, TBugRepFileRules{}), TSaveResult::NotOpened) << share;
    }
    EXPECT_EQ(ReadFileDenyWrite(path), "the user's reports") << share;
  }
  EXPECT_EQ(SaveBugReport(path, report, TBugRepFileRules{}), TSaveResult::Saved) << "free again";
  EXPECT_EQ(ReadFileDenyWrite(path), "the user's reports\r\n\r\n" + report + "\r\n\r\n");
  std::filesystem::remove_all(dir);
}

}  // namespace
}  // namespace vm::test

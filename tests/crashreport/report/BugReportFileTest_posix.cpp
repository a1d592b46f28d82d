// Host side of the bug-report file tests: a save whose write fails midway, made real by a
// file-size limit in a child process.
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>

#include "BugReportFileTestSupport.h"

namespace vm::test {

unsigned long TestProcessId() { return static_cast<unsigned long>(getpid()); }

int SaveWithWriteLimit(const std::string& path, const std::string& report, std::uint64_t limit) {
  pid_t child = fork();
  if (child == 0) {
    std::signal(SIGXFSZ, SIG_IGN);  // the write then fails with EFBIG instead of killing us
    struct rlimit r {
      rlim_t(limit), rlim_t(limit)
    };
    setrlimit(RLIMIT_FSIZE, &r);
    _exit(int(SaveBugReport(path, report, TBugRepFileRules{})));
  }
  int status = 0;
  waitpid(child, &status, 0);
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

}  // namespace vm::test

#include <gtest/gtest.h>

#include <filesystem>

#include "base/FileIO.h"

namespace vm::test {
namespace {

TEST(BugReportFilePosix, AWriteThatFailsMidwayLeavesTheOldFileWhole) {
  auto dir = std::filesystem::temp_directory_path() / "vm-bugrep-midway";
  std::filesystem::remove_all(dir);
  std::filesystem::create_directories(dir);
  std::string path = (dir / "bugreport.txt").string();
  const std::string old = "date/time : 1\r\n\r\n" + std::string(3000, 'o') + "\r\n\r\n";
  WriteFileCreate(path, old);
  const std::string report = "date/time : 2\r\n\r\n" + std::string(100000, 'n');
  // The new content needs some 103000 bytes; the writes stop at 50000.
  EXPECT_EQ(SaveWithWriteLimit(path, report, 50000), int(TSaveResult::NotWritten));
  EXPECT_EQ(ReadFileDenyWrite(path), old);
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir), std::filesystem::directory_iterator()), 1);
  EXPECT_EQ(SaveWithWriteLimit(path, report, 1 << 20), int(TSaveResult::Saved));
  EXPECT_EQ(ReadFileDenyWrite(path), old + report + "\r\n\r\n");
  std::filesystem::remove_all(dir);
}

}  // namespace
}  // namespace vm::test

// Covers ChromeIsRunning on the host, where the stand-in for Chrome's lock is a write lock
// that a child process holds (base/FileIO_posix.cpp).
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>

#include "app/ClientIdFile.h"

namespace {

// A stand-in for Chrome: a child process that holds the lock file until it is told to end.
class LockHolder {
public:
  explicit LockHolder(const std::string& lockFile) {
    int toChild[2], fromChild[2];
    EXPECT_EQ(::pipe(toChild), 0);
    EXPECT_EQ(::pipe(fromChild), 0);
    FPid = ::fork();
    if (FPid == 0) {
      ::close(toChild[1]);  // else the parent's close would never reach the child
      ::close(fromChild[0]);
      int fd = ::open(lockFile.c_str(), O_RDWR | O_CREAT, 0644);
      struct flock lock {};
      lock.l_type = F_WRLCK;
      lock.l_whence = SEEK_SET;
      char c = ::fcntl(fd, F_SETLK, &lock) == 0 ? 'y' : 'n';
      (void)!::write(fromChild[1], &c, 1);
      (void)!::read(toChild[0], &c, 1);
      ::_exit(0);
    }
    ::close(toChild[0]);
    ::close(fromChild[1]);
    FToChild = toChild[1];
    char c = 0;
    EXPECT_EQ(::read(fromChild[0], &c, 1), 1);
    EXPECT_EQ(c, 'y') << "the stand-in holds the lock";
    ::close(fromChild[0]);
  }
  void End() {
    if (FPid <= 0) return;
    ::close(FToChild);
    int status = 0;
    ::waitpid(FPid, &status, 0);
    FPid = -1;
  }
  ~LockHolder() { End(); }

private:
  pid_t FPid = -1;
  int FToChild = -1;
};

TEST(ChromeLock, RunningOnlyWhileAnotherProcessHoldsTheLock) {
  const auto dir = std::filesystem::temp_directory_path() / "vm-chromelock";
  std::filesystem::remove_all(dir);
  std::filesystem::create_directories(dir);
  const std::u8string path = (dir / "Local State").u8string();
  const std::u8string lock = vm::ChromeLockFile(path);
  EXPECT_EQ(lock, (dir / "lockfile").u8string());
  EXPECT_FALSE(vm::ChromeIsRunning(path)) << "no lock file";
  LockHolder chrome(std::string(lock.begin(), lock.end()));
  EXPECT_TRUE(vm::ChromeIsRunning(path));
  chrome.End();
  ASSERT_TRUE(std::filesystem::exists(dir / "lockfile"));
  EXPECT_FALSE(vm::ChromeIsRunning(path)) << "a lock file left behind by a crash is held by nobody";
  std::filesystem::remove_all(dir);
}

}  // namespace

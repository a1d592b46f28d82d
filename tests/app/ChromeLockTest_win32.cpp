// Covers ChromeIsRunning under Windows: the lock file held as Chrome holds it, by a reader
// that shares it, and left behind by a crash (base/FileIO_win32.cpp).
#include <windows.h>

#include <gtest/gtest.h>

#include <filesystem>

#include "app/ClientIdFile.h"
#include "base/Handles_win32.h"

namespace {

struct HolderRow {
  const char* why;
  DWORD access, share, flags;
  bool running;
};

TEST(ChromeLock, OnlyAHolderThatRefusesDeletionCounts) {
  const auto dir = std::filesystem::temp_directory_path() / "vm-chromelock";
  std::filesystem::remove_all(dir);
  std::filesystem::create_directories(dir);
  const std::u8string path = (dir / "Local State").u8string();
  const std::wstring lock = (dir / "lockfile").wstring();
  const HolderRow rows[] = {
      {"held as Chrome holds it", GENERIC_WRITE, FILE_SHARE_READ, FILE_FLAG_DELETE_ON_CLOSE, true},
      {"held for writing without any sharing", GENERIC_WRITE, 0, 0, true},
      {"read by a program that shares it fully", GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
       0, false},
  };
  for (const auto& row : rows) {
    vm::FileHandle held(CreateFileW(lock.c_str(), row.access, row.share, nullptr, OPEN_ALWAYS, row.flags, nullptr));
    ASSERT_TRUE(held) << row.why;
    EXPECT_EQ(vm::ChromeIsRunning(path), row.running) << row.why;
  }
  EXPECT_FALSE(vm::ChromeIsRunning(path)) << "every holder has closed";
  ASSERT_TRUE(std::filesystem::exists(dir / "lockfile")) << "left behind, as after a crash";
  EXPECT_FALSE(vm::ChromeIsRunning(path)) << "a stale lock file is held by nobody";
  std::filesystem::remove_all(dir);
  EXPECT_FALSE(vm::ChromeIsRunning(path)) << "no folder at all";
}

}  // namespace

// Covers base/FileIO_win32: the one-step replacement while another handle holds the file.
#include <windows.h>

#include <gtest/gtest.h>

#include <filesystem>

#include "base/Exception.h"
#include "base/FileIO.h"
#include "base/Handles_win32.h"

namespace {

struct HeldRow {
  const char* why;
  DWORD share;
  bool replaced;
};

TEST(FileIOWin32, ReplaceRespectsOtherProgramsHandles) {
  auto dir = std::filesystem::temp_directory_path() / "vm-fileio-held";
  std::filesystem::remove_all(dir);
  std::filesystem::create_directories(dir);
  std::string path = (dir / "f").string();
  const HeldRow rows[] = {
      {"held for reading only: refused", FILE_SHARE_READ, false},
      {"held without any sharing: refused", 0, false},
      {"held with full sharing: replaced", FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, true},
  };
  for (const auto& row : rows) {
    vm::WriteFileCreate(path, "original");
    {
      vm::FileHandle held(CreateFileA(path.c_str(), GENERIC_READ, row.share, nullptr, OPEN_EXISTING, 0, nullptr));
      ASSERT_TRUE(held) << row.why;
      if (row.replaced) {
        EXPECT_NO_THROW(vm::ReplaceFileContents(path, "new")) << row.why;
      } else {
        EXPECT_THROW(vm::ReplaceFileContents(path, "new"), vm::EFCreateError) << row.why;
      }
    }
    EXPECT_EQ(vm::ReadFileDenyWrite(path), row.replaced ? "new" : "original") << row.why;
    size_t entries = size_t(std::distance(std::filesystem::directory_iterator(dir), {}));
    EXPECT_EQ(entries, 1u) << row.why << ": no temporary or backup file is left";
  }
  std::filesystem::remove_all(dir);
}

TEST(FileIOWin32, ReplaceKeepsAttributesAndRefusesReadOnly) {
  auto dir = std::filesystem::temp_directory_path() / "vm-fileio-attributes";
  std::filesystem::remove_all(dir);
  std::filesystem::create_directories(dir);
  const std::u8string path = (dir / "f").u8string();
  const std::wstring wide = (dir / "f").wstring();
  vm::WriteFileCreate((dir / "f").string(), "original");
  ASSERT_TRUE(SetFileAttributesW(wide.c_str(), FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_ARCHIVE));
  vm::ReplaceFileContents(path, "new");
  EXPECT_EQ(vm::ReadFileDenyWrite(path), "new");
  EXPECT_TRUE(GetFileAttributesW(wide.c_str()) & FILE_ATTRIBUTE_HIDDEN) << "hidden is kept across the swap";

  ASSERT_TRUE(SetFileAttributesW(wide.c_str(), FILE_ATTRIBUTE_READONLY));
  EXPECT_TRUE(vm::FileIsReadOnly(path));
  EXPECT_THROW(vm::ReplaceFileContents(path, "other"), vm::EFCreateError);
  EXPECT_EQ(vm::ReadFileDenyWrite(path), "new");
  EXPECT_TRUE(GetFileAttributesW(wide.c_str()) & FILE_ATTRIBUTE_READONLY);
  SetFileAttributesW(wide.c_str(), FILE_ATTRIBUTE_NORMAL);
  std::filesystem::remove_all(dir);
}

TEST(FileIOWin32, NamesOutsideTheAnsiCodePageReachTheRightFile) {
  auto dir = std::filesystem::temp_directory_path() / L"vm-fileio-\u03a9\u03bb";
  std::filesystem::remove_all(dir);
  std::filesystem::create_directories(dir);
  const std::u8string path = (dir / "Local State").u8string();
  {
    vm::FileHandle f(
        CreateFileW((dir / "Local State").wstring().c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr));
    ASSERT_TRUE(f);
  }
  EXPECT_TRUE(vm::FileExists(path));
  vm::ReplaceFileContents(path, "new");
  EXPECT_EQ(vm::ReadFileDenyWrite(path), "new");
  // Messages name the file in the ANSI code page, with "?" for what it cannot spell.
  EXPECT_NE(vm::DisplayPath(path).find("vm-fileio-??"), std::string::npos) << vm::DisplayPath(path);
  std::filesystem::remove_all(dir);
}

}  // namespace

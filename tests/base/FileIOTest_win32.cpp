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

}  // namespace

// Covers base/FileIO: whole-file reads, writes and the one-step replacement.
#include "base/FileIO.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "base/Exception.h"

namespace {

class FileIO : public ::testing::Test {
protected:
  void SetUp() override {
    dir = std::filesystem::temp_directory_path() /
          ("vm-fileio-" + std::string(::testing::UnitTest::GetInstance()->current_test_info()->name()));
    std::filesystem::remove_all(dir);
    std::filesystem::create_directories(dir);
  }
  void TearDown() override { std::filesystem::remove_all(dir); }
  std::string At(const char* name) const { return (dir / name).string(); }
  size_t EntriesInDir() const {
    return size_t(std::distance(std::filesystem::directory_iterator(dir), std::filesystem::directory_iterator()));
  }
  std::filesystem::path dir;
};

TEST_F(FileIO, BytesRoundTripUnchanged) {
  std::string bytes;
  for (int i = 0; i < 256; ++i) bytes += char(i);
  bytes += std::string(200000, 'x');
  vm::WriteFileCreate(At("f"), bytes);
  EXPECT_EQ(vm::ReadFileDenyWrite(At("f")), bytes);
  EXPECT_TRUE(vm::FileExists(At("f")));
  EXPECT_FALSE(vm::FileExists(dir.string())) << "a folder is not a file";
}

TEST_F(FileIO, ReplaceLeavesOnlyTheNewContent) {
  vm::WriteFileCreate(At("f"), "old content that is longer");
  vm::ReplaceFileContents(At("f"), "new");
  EXPECT_EQ(vm::ReadFileDenyWrite(At("f")), "new");
  EXPECT_EQ(EntriesInDir(), 1u) << "no temporary file is left behind";
}

TEST_F(FileIO, ReplaceIntoMissingFolderFailsNamingThePath) {
  std::string path = At("nodir/f");
  try {
    vm::ReplaceFileContents(path, "x");
    FAIL();
  } catch (const vm::EFCreateError& e) {
    EXPECT_EQ(e.Message().rfind("Cannot create file \"" + path + "\". ", 0), 0u) << e.Message();
  }
  EXPECT_EQ(EntriesInDir(), 0u);
}

}  // namespace

// Covers base/FileIO: whole-file reads, writes and the one-step replacement, the smaller
// file operations, and the parts of a path.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "base/Exception.h"
#include "base/FileIO.h"

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

TEST_F(FileIO, LeftoversOfAKilledReplaceAreRemovedAndNothingElse) {
  const char* ours[] = {"Local State.vmnew123", "Local State.vmold45"};
  const char* others[] = {"Local State.vmnewx", "Local State.vmnew", "other.vmnew1", "Local State.bak", "lockfile"};
  vm::WriteFileCreate(At("Local State"), "file");
  for (const char* name : ours) vm::WriteFileCreate(At(name), "x");
  for (const char* name : others) vm::WriteFileCreate(At(name), "x");
  vm::RemoveReplaceLeftovers((dir / "Local State").u8string());
  for (const char* name : ours) EXPECT_FALSE(std::filesystem::exists(dir / name)) << name;
  for (const char* name : others) EXPECT_TRUE(std::filesystem::exists(dir / name)) << name;
  EXPECT_EQ(vm::ReadFileDenyWrite(At("Local State")), "file");
}

TEST_F(FileIO, BackupCopyIsKeptWhileTheFileIsMissing) {
  // Killed half-way through the swap: the backup copy is all there is of the file.
  vm::WriteFileCreate(At("Local State.vmold7"), "original");
  vm::WriteFileCreate(At("Local State.vmnew7"), "new");
  vm::RemoveReplaceLeftovers((dir / "Local State").u8string());
  EXPECT_TRUE(std::filesystem::exists(dir / "Local State.vmold7"));
  EXPECT_FALSE(std::filesystem::exists(dir / "Local State.vmnew7"));
}

TEST_F(FileIO, ReplaceByUnicodeNameRefusesReadOnlyAndLimitsReads) {
  const std::u8string path = (dir / u8"\u03a9 Local State").u8string();
  std::ofstream(std::filesystem::path(path), std::ios::binary) << "0123456789";
  EXPECT_TRUE(vm::FileExists(path));
  EXPECT_FALSE(vm::FileIsReadOnly(path));
  vm::ReplaceFileContents(path, "new");
  EXPECT_EQ(vm::ReadFileDenyWrite(path), "new");
  EXPECT_THROW(vm::ReadFileDenyWrite(path, 2), vm::EFOpenError);
  EXPECT_EQ(vm::ReadFileDenyWrite(path, 3), "new") << "the limit itself is allowed";

  std::filesystem::permissions(std::filesystem::path(path), std::filesystem::perms::owner_write,
                               std::filesystem::perm_options::remove);
  EXPECT_TRUE(vm::FileIsReadOnly(path));
  EXPECT_THROW(vm::ReplaceFileContents(path, "other"), vm::EFCreateError);
  EXPECT_EQ(vm::ReadFileDenyWrite(path), "new");
  std::filesystem::permissions(std::filesystem::path(path), std::filesystem::perms::owner_write,
                               std::filesystem::perm_options::add);
  EXPECT_EQ(EntriesInDir(), 1u) << "no temporary file is left behind";
}

TEST_F(FileIO, AppendsCopiesPiecesAndDeletes) {
  std::string bytes;
  EXPECT_EQ(vm::ReadFileExclusive(At("f"), bytes), vm::TExclusiveRead::Missing);
  EXPECT_FALSE(vm::FileSizeOf(At("f")));
  ASSERT_TRUE(vm::AppendToFile(At("f"), "first "));
  ASSERT_TRUE(vm::AppendToFile(At("f"), "second"));
  EXPECT_EQ(vm::FileSizeOf(At("f")), 12u);
  EXPECT_FALSE(vm::FileSizeOf(dir.string())) << "a folder has no file size";
  EXPECT_EQ(vm::ReadFileExclusive(At("f"), bytes), vm::TExclusiveRead::Read);
  EXPECT_EQ(bytes, "first second");

  std::filesystem::permissions(dir / "f", std::filesystem::perms::owner_write, std::filesystem::perm_options::remove);
  ASSERT_TRUE(vm::CopyFileTo(At("f"), At("copy")));
  EXPECT_TRUE(vm::AppendToFile(At("copy"), "!")) << "the copy of a read-only file is writable";
  EXPECT_FALSE(vm::CopyFileTo(At("missing"), At("copy2")));
  EXPECT_FALSE(std::filesystem::exists(dir / "copy2")) << "a failed copy leaves nothing";

  {
    vm::TPieceReader reader(At("copy"));
    ASSERT_TRUE(reader.Open());
    std::string pieces;
    char buffer[5];
    for (long n; (n = reader.Read(buffer, sizeof buffer)) > 0;) pieces.append(buffer, size_t(n));
    EXPECT_EQ(pieces, "first second!");
  }
  EXPECT_FALSE(vm::TPieceReader(At("missing")).Open());

  EXPECT_TRUE(vm::RemoveFileForce(At("f"))) << "read-only, and still removed";
  EXPECT_TRUE(vm::RemoveFile(At("copy")));
  EXPECT_TRUE(vm::RemoveFile(At("copy"))) << "a missing file is no error";
  EXPECT_EQ(EntriesInDir(), 0u);
}

TEST_F(FileIO, FoldersAreCreatedOnTheWayToAFile) {
  const std::string file = At("a/b/c/report.txt");
  vm::CreateFoldersFor(file);
  EXPECT_TRUE(std::filesystem::is_directory(dir / "a/b/c"));
  EXPECT_FALSE(std::filesystem::exists(file)) << "the file itself is left to the open";
  EXPECT_TRUE(vm::CreateFolder(At("a/b"))) << "an existing folder is fine";
  EXPECT_TRUE(vm::CreateFolder(At("d")));
  vm::WriteFileCreate(At("e"), "");
  EXPECT_FALSE(vm::CreateFolder(At("e"))) << "a file is in the way";
}

struct PathRow {
  std::string path, folder, name;
};

TEST(PathParts, EitherSeparatorEndsTheFolder) {
  const PathRow rows[] = {
      {"C:\\Program Files\\Veilmark\\veilmark.exe", "C:\\Program Files\\Veilmark\\", "veilmark.exe"},
      {"/opt/vm/program", "/opt/vm/", "program"},
      {"C:\\mixed/and\\name.txt", "C:\\mixed/and\\", "name.txt"},
      {"\\\\server\\share\\", "\\\\server\\share\\", ""},
      {"bugreport.txt", "", "bugreport.txt"},
      {"", "", ""},
  };
  for (const PathRow& row : rows) {
    EXPECT_EQ(vm::FolderOf(row.path), row.folder) << row.path;
    EXPECT_EQ(vm::FileNameOf(row.path), row.name) << row.path;
  }
  EXPECT_EQ(vm::FolderOf(u8"C:\\Users\\Zo\u00EB\\Local State"), u8"C:\\Users\\Zo\u00EB\\") << "UTF-8 names too";
}

TEST(ProgramPath, NamesThisProgramBeforeAndAfterTheNote) {
  const std::string asked = vm::ProgramPath();
  ASSERT_FALSE(asked.empty());
  EXPECT_TRUE(vm::FileExists(asked)) << asked;
  EXPECT_EQ(vm::FileNameOf(asked).rfind("base_tests", 0), 0u) << asked;
  EXPECT_EQ(vm::ModulePath(nullptr), asked);
  vm::NoteProgramPath();
  EXPECT_EQ(vm::ProgramPath(), asked);
}

}  // namespace

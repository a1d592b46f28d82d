// Covers app/IdReplacement: what a replacement backs up, writes, checks and refuses, over
// real files. Chrome's lock is covered by ChromeLockTest_*.cpp and end to end.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>

#include "app/ClientIdFile.h"
#include "app/IdReplacement.h"
#include "base/Exception.h"
#include "base/FileIO.h"

namespace {

const std::string A = "AAAAAAAA-1111-2222-3333-444444444444";
const std::string B = "BBBBBBBB-1111-2222-3333-444444444444";

std::string Classic(const std::string& id) { return "{\r\n\"client_id\": \"" + id + "\"\r\n}\r\n"; }

class IdReplacement : public ::testing::Test {
protected:
  void SetUp() override {
    dir = std::filesystem::temp_directory_path() /
          ("vm-idreplace-" + std::string(::testing::UnitTest::GetInstance()->current_test_info()->name()));
    std::filesystem::remove_all(dir);
    std::filesystem::create_directories(dir);
    replacement.LocalStatePath = (dir / "Local State").u8string();
    replacement.BackUp = [this](const std::vector<std::string>& ids) {
      EXPECT_EQ(Read(), fileAtBackUp) << "the backup comes before the write";
      backedUp.insert(backedUp.end(), ids.begin(), ids.end());
    };
    replacement.AfterFileWritten = [this](const std::string& newId, const std::string& oldId) {
      EXPECT_EQ(Read(), Classic(newId)) << "copies are written once the file holds the ID";
      copies.push_back(oldId + ">" + newId);
    };
  }
  void TearDown() override {
    std::filesystem::permissions(dir / "Local State", std::filesystem::perms::owner_all,
                                 std::filesystem::perm_options::add, ec);
    std::filesystem::remove_all(dir);
  }
  void Write(const std::string& bytes) {
    vm::WriteFileCreate((dir / "Local State").string(), bytes);
    fileAtBackUp = bytes;
  }
  std::string Read() { return vm::ReadFileDenyWrite(replacement.LocalStatePath); }

  std::filesystem::path dir;
  vm::TIdReplacement replacement;
  std::string fileAtBackUp;
  std::vector<std::string> backedUp, copies;
  std::error_code ec;
};

TEST_F(IdReplacement, WritesChecksAndBacksUpTheFilesId) {
  Write(Classic(A));
  replacement.ShownId = A;
  vm::TIdChangeResult result = vm::ReplaceClientID(replacement, vm::kUniformID);
  EXPECT_EQ(result.Status, vm::TIdChangeStatus::Written);
  EXPECT_EQ(result.FileId, vm::kUniformID);
  EXPECT_EQ(Read(), Classic(vm::kUniformID));
  EXPECT_EQ(backedUp, std::vector<std::string>{A});
  EXPECT_EQ(copies, std::vector<std::string>{A + ">" + vm::kUniformID});
}

TEST_F(IdReplacement, FileChangedSinceItWasShown) {
  Write(Classic(B));  // another program put B in after the window showed A
  replacement.ShownId = A;
  vm::TIdChangeResult result = vm::ReplaceClientID(replacement, vm::kUniformID);
  EXPECT_EQ(result.Status, vm::TIdChangeStatus::Written);
  EXPECT_EQ((std::vector<std::string>{B, A}), backedUp) << "the ID replaced is the file's; the shown one is kept too";
  EXPECT_EQ(copies, std::vector<std::string>{B + ">" + vm::kUniformID});
}

TEST_F(IdReplacement, FileAlreadyHoldingTheIdIsNotWritten) {
  Write(Classic(A));
  replacement.ShownId = B;
  vm::TIdChangeResult result = vm::ReplaceClientID(replacement, A);
  EXPECT_EQ(result.Status, vm::TIdChangeStatus::Unchanged);
  EXPECT_EQ(result.FileId, A) << "the window then shows the file's ID";
  EXPECT_EQ((std::vector<std::string>{A, B}), backedUp);
  EXPECT_TRUE(copies.empty());
}

struct RefusalRow {
  const char* why;
  std::string file;
  std::string newId;
  vm::TIdChangeStatus status;
};

TEST_F(IdReplacement, RefusalsWriteAndBackUpNothing) {
  const RefusalRow rows[] = {
      {"a tampered backup entry would inject JSON", Classic(A), A + "\", \"metrics\": \"x",
       vm::TIdChangeStatus::NotAnId},
      {"an empty text", Classic(A), "", vm::TIdChangeStatus::NotAnId},
      {"no entry in the file", "{\"client_id\":\"" + A + "\"}", B, vm::TIdChangeStatus::NoIdInFile},
  };
  for (const auto& row : rows) {
    Write(row.file);
    replacement.ShownId = A;
    vm::TIdChangeResult result = vm::ReplaceClientID(replacement, row.newId);
    EXPECT_EQ(result.Status, row.status) << row.why;
    EXPECT_FALSE(result.Message.empty()) << row.why;
    EXPECT_EQ(Read(), row.file) << row.why;
  }
  EXPECT_TRUE(backedUp.empty());
  EXPECT_TRUE(copies.empty());
  EXPECT_EQ(vm::NotAnIdMessage(A + "\"\r\n" + std::string(80, 'x')),
            "\"" + A + "\"??" + std::string(21, 'x') +
                "...\" is not a client ID, so Veilmark has not written it into Chrome's file. "
                "A client ID has the form XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX.")
      << "the message shows a bounded, printable excerpt";
}

TEST_F(IdReplacement, ReadOnlyFileIsRefusedAndKept) {
  Write(Classic(A));
  std::filesystem::permissions(dir / "Local State", std::filesystem::perms::owner_write,
                               std::filesystem::perm_options::remove);
  vm::TIdChangeResult result = vm::ReplaceClientID(replacement, vm::kUniformID);
  EXPECT_EQ(result.Status, vm::TIdChangeStatus::ReadOnly);
  EXPECT_EQ(result.Message, vm::ReadOnlyMessage(replacement.LocalStatePath));
  EXPECT_EQ(Read(), Classic(A));
  EXPECT_TRUE(backedUp.empty());
}

TEST_F(IdReplacement, MissingFileRaisesTheOpenErrorBeforeAnyBackup) {
  EXPECT_THROW(vm::ReplaceClientID(replacement, vm::kUniformID), vm::EFOpenError);
  EXPECT_TRUE(backedUp.empty());
}

}  // namespace

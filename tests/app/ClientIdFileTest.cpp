// Covers app/ClientIdFile: finding Chrome's client ID and replacing it in the file.
#include "app/ClientIdFile.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "base/Exception.h"
#include "base/FileIO.h"

namespace {

using namespace std::string_literals;

class ClientIdFile : public ::testing::Test {
protected:
  void SetUp() override {
    dir = std::filesystem::temp_directory_path() /
          ("vm-clientid-" + std::string(::testing::UnitTest::GetInstance()->current_test_info()->name()));
    std::filesystem::remove_all(dir);
    std::filesystem::create_directories(dir);
    path = (dir / "Local State").string();
  }
  void TearDown() override { std::filesystem::remove_all(dir); }
  void Write(const std::string& bytes) { vm::WriteFileCreate(path, bytes); }
  std::string Read() { return vm::ReadFileDenyWrite(path); }

  std::filesystem::path dir;
  std::string path;
};

struct ReadRow {
  const char* why;
  std::string text;
  bool found;
  std::string id;
};

TEST_F(ClientIdFile, FindsTheEntryOrNot) {
  const ReadRow rows[] = {
      {"pretty-printed entry", "{\n   \"client_id\": \"0A1B2C3D-4E5F-6A7B-8C9D-0E1F2A3B4C5D\",\n}",
       true, "0A1B2C3D-4E5F-6A7B-8C9D-0E1F2A3B4C5D"},
      {"lower-case ID comes back as written", "\"client_id\": \"abcdef01-2345-6789-abcd-ef0123456789\"", true,
       "abcdef01-2345-6789-abcd-ef0123456789"},
      {"key in capitals", "\"CLIENT_ID\": \"ABCDEF01-2345-6789-ABCD-EF0123456789\"", true,
       "ABCDEF01-2345-6789-ABCD-EF0123456789"},
      {"letters beyond F", "\"client_id\": \"GHIJKLMN-OPQR-STUV-WXYZ-GHIJKLMNOPQR\"", true,
       "GHIJKLMN-OPQR-STUV-WXYZ-GHIJKLMNOPQR"},
      {"no blank after the colon", "\"client_id\":\"ABCDEF01-2345-6789-ABCD-EF0123456789\"", false, ""},
      {"two blanks after the colon", "\"client_id\":  \"ABCDEF01-2345-6789-ABCD-EF0123456789\"", false, ""},
      {"last block of 13", "\"client_id\": \"ABCDEF01-2345-6789-ABCD-EF01234567890\"", false, ""},
      {"first of two entries", "\"client_id\": \"11111111-0000-0000-0000-000000000000\"\n"
                               "\"client_id\": \"22222222-0000-0000-0000-000000000000\"",
       true, "11111111-0000-0000-0000-000000000000"},
      {"today's minified entry", "{\"user_experience_metrics\":{\"client_id2\":\"3f2a9c1e-7b4d-4e8a-9c2f-1a2b3c4d5e6f\"}}",
       true, "3f2a9c1e-7b4d-4e8a-9c2f-1a2b3c4d5e6f"},
      {"modern entry with blanks", "\"client_id2\" :  \"3F2A9C1E-7B4D-4E8A-9C2F-1A2B3C4D5E6F\"", true,
       "3F2A9C1E-7B4D-4E8A-9C2F-1A2B3C4D5E6F"},
      {"old entry wins over the modern one",
       "\"client_id2\":\"aaaaaaaa-aaaa-aaaa-aaaa-aaaaaaaaaaaa\", \"client_id\": \"BBBBBBBB-BBBB-BBBB-BBBB-BBBBBBBBBBBB\"",
       true, "BBBBBBBB-BBBB-BBBB-BBBB-BBBBBBBBBBBB"},
      {"an entry after a NUL byte is not read", "{}\0\"client_id\": \"ABCDEF01-2345-6789-ABCD-EF0123456789\""s,
       false, ""},
      {"empty file", "", false, ""},
  };
  for (const auto& row : rows) {
    Write(row.text);
    std::string id = "untouched";
    EXPECT_EQ(vm::ReadClientID(path, id), row.found) << row.why;
    EXPECT_EQ(id, row.found ? row.id : "untouched") << row.why;
  }
}

struct WriteRow {
  const char* why;
  std::string before;
  std::string newId;
  std::string after;
};

TEST_F(ClientIdFile, ReplacesTheFirstOccurrenceAndRewritesWithCrLf) {
  const std::string A = "AAAAAAAA-1111-2222-3333-444444444444";
  const WriteRow rows[] = {
      {"CR LF file changes only in the ID", "{\r\n \"client_id\": \"" + A + "\",\r\n \"x\": 1\r\n}\r\n", "NEW",
       "{\r\n \"client_id\": \"NEW\",\r\n \"x\": 1\r\n}\r\n"},
      {"LF without a final break gets CR LF after every line", "{\n\"client_id\": \"" + A + "\"\n}",
       vm::kUniformID, "{\r\n\"client_id\": \"" + std::string(vm::kUniformID) + "\"\r\n}\r\n"},
      {"the ID's first occurrence is replaced, even before the entry",
       "\"old\": \"" + A + "\"\n\"client_id\": \"" + A + "\"\n", "X", "\"old\": \"X\"\r\n\"client_id\": \"" + A + "\"\r\n"},
      {"the match is case-insensitive but the replacement is case-sensitive",
       "\"a\": \"" + std::string("aaaaaaaa-1111-2222-3333-444444444444") + "\"\n\"client_id\": \"" + A + "\"\n", "X",
       "\"a\": \"aaaaaaaa-1111-2222-3333-444444444444\"\r\n\"client_id\": \"X\"\r\n"},
      {"bytes after a NUL survive the rewrite", "\"client_id\": \"" + A + "\"\n\0tail\nbytes\r"s, "X",
       "\"client_id\": \"X\"\r\n\0tail\nbytes\r"s},
      {"modern minified entry", "{\"client_id2\":\"" + A + "\"}", "Y", "{\"client_id2\":\"Y\"}\r\n"},
  };
  for (const auto& row : rows) {
    Write(row.before);
    EXPECT_TRUE(vm::WriteClientID(path, row.newId)) << row.why;
    EXPECT_EQ(Read(), row.after) << row.why;
  }
}

TEST_F(ClientIdFile, FileWithoutEntryIsLeftUntouched) {
  const std::string text = "{\n\"client_id\":\"AAAAAAAA-1111-2222-3333-444444444444\"\n}";
  Write(text);
  EXPECT_FALSE(vm::WriteClientID(path, vm::kUniformID));
  EXPECT_EQ(Read(), text);
}

TEST_F(ClientIdFile, MissingFileRaisesTheOpenError) {
  std::string id;
  std::string missing = (dir / "missing").string();
  try {
    vm::ReadClientID(missing, id);
    FAIL();
  } catch (const vm::EFOpenError& e) {
    EXPECT_EQ(e.Message().rfind("Cannot open file \"" + missing + "\". ", 0), 0u) << e.Message();
  }
  EXPECT_THROW(vm::WriteClientID(missing, "x"), vm::EFOpenError);
}

TEST(LocalStatePath, AddsTheBackslashOnlyWhenMissing) {
  EXPECT_EQ(vm::LocalStatePathIn("C:\\Users\\me\\AppData\\Local"),
            "C:\\Users\\me\\AppData\\Local\\Google\\Chrome\\User Data\\Local State");
  EXPECT_EQ(vm::LocalStatePathIn("C:\\Local\\"), "C:\\Local\\Google\\Chrome\\User Data\\Local State");
  EXPECT_EQ(vm::LocalStatePathIn(""), "\\Google\\Chrome\\User Data\\Local State") << "failed lookup: from the root";
}

}  // namespace

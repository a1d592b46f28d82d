// Covers app/ClientIdFile: finding Chrome's client ID and replacing it in the file.
#include <gtest/gtest.h>

#include <filesystem>

#include "app/ClientIdFile.h"
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
    path = (dir / "Local State").u8string();
  }
  void TearDown() override { std::filesystem::remove_all(dir); }
  void Write(const std::string& bytes) { vm::WriteFileCreate(Narrow(), bytes); }
  std::string Narrow() const { return std::string(path.begin(), path.end()); }

  std::filesystem::path dir;
  std::u8string path;
};

struct ReadRow {
  const char* why;
  std::string text;
  bool found;
  std::string id;
};

TEST_F(ClientIdFile, FindsTheEntryOrNot) {
  const ReadRow rows[] = {
      {"pretty-printed entry", "{\n   \"client_id\": \"0A1B2C3D-4E5F-6A7B-8C9D-0E1F2A3B4C5D\",\n}", true,
       "0A1B2C3D-4E5F-6A7B-8C9D-0E1F2A3B4C5D"},
      {"lower-case ID comes back as written", "\"client_id\": \"abcdef01-2345-6789-abcd-ef0123456789\"", true,
       "abcdef01-2345-6789-abcd-ef0123456789"},
      {"key in capitals", "\"CLIENT_ID\": \"ABCDEF01-2345-6789-ABCD-EF0123456789\"", true,
       "ABCDEF01-2345-6789-ABCD-EF0123456789"},
      {"letters beyond F", "\"client_id\": \"GHIJKLMN-OPQR-STUV-WXYZ-GHIJKLMNOPQR\"", true,
       "GHIJKLMN-OPQR-STUV-WXYZ-GHIJKLMNOPQR"},
      {"no blank after the colon", "\"client_id\":\"ABCDEF01-2345-6789-ABCD-EF0123456789\"", false, ""},
      {"two blanks after the colon", "\"client_id\":  \"ABCDEF01-2345-6789-ABCD-EF0123456789\"", false, ""},
      {"last block of 13", "\"client_id\": \"ABCDEF01-2345-6789-ABCD-EF01234567890\"", false, ""},
      {"first of two entries",
       "\"client_id\": \"11111111-0000-0000-0000-000000000000\"\n"
       "\"client_id\": \"22222222-0000-0000-0000-000000000000\"",
       true, "11111111-0000-0000-0000-000000000000"},
      {"today's minified entry",
       "{\"user_experience_metrics\":{\"client_id2\":\"3f2a9c1e-7b4d-4e8a-9c2f-1a2b3c4d5e6f\"}}", true,
       "3f2a9c1e-7b4d-4e8a-9c2f-1a2b3c4d5e6f"},
      {"modern entry with blanks", "\"client_id2\" :  \"3F2A9C1E-7B4D-4E8A-9C2F-1A2B3C4D5E6F\"", true,
       "3F2A9C1E-7B4D-4E8A-9C2F-1A2B3C4D5E6F"},
      {"old entry wins over the modern one",
       "\"client_id2\":\"aaaaaaaa-aaaa-aaaa-aaaa-aaaaaaaaaaaa\", \"client_id\": "
       "\"BBBBBBBB-BBBB-BBBB-BBBB-BBBBBBBBBBBB\"",
       true, "BBBBBBBB-BBBB-BBBB-BBBB-BBBBBBBBBBBB"},
      {"an entry after a NUL byte is not read", "{}\0\"client_id\": \"ABCDEF01-2345-6789-ABCD-EF0123456789\""s, false,
       ""},
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

TEST(ClientIdText, ReplacesTheEntrysIdAndRewritesWithCrLf) {
  const std::string A = "AAAAAAAA-1111-2222-3333-444444444444";
  const WriteRow rows[] = {
      {"CR LF file changes only in the ID", "{\r\n \"client_id\": \"" + A + "\",\r\n \"x\": 1\r\n}\r\n", "NEW",
       "{\r\n \"client_id\": \"NEW\",\r\n \"x\": 1\r\n}\r\n"},
      {"LF without a final break gets CR LF after every line", "{\n\"client_id\": \"" + A + "\"\n}", vm::kUniformID,
       "{\r\n\"client_id\": \"" + std::string(vm::kUniformID) + "\"\r\n}\r\n"},
      {"a later occurrence of the same text stays", "\"client_id\": \"" + A + "\"\n\"old\": \"" + A + "\"\n", "X",
       "\"client_id\": \"X\"\r\n\"old\": \"" + A + "\"\r\n"},
      {"bytes after a NUL survive the rewrite", "\"client_id\": \"" + A + "\"\n\0tail\nbytes\r"s, "X",
       "\"client_id\": \"X\"\r\n\0tail\nbytes\r"s},
      {"modern minified entry", "{\"client_id2\":\"" + A + "\"}", "Y", "{\"client_id2\":\"Y\"}\r\n"},
      // Former faults: the first occurrence of the ID's text was replaced, wherever it stood.
      {"the same text earlier under another key is not Chrome's entry",
       "\"old\": \"" + A + "\"\n\"client_id\": \"" + A + "\"\n", "X",
       "\"old\": \"" + A + "\"\r\n\"client_id\": \"X\"\r\n"},
      {"an earlier look-alike before a modern entry stays", "{\"x\":\"" + A + "\",\"client_id2\":\"" + A + "\"}", "Y",
       "{\"x\":\"" + A + "\",\"client_id2\":\"Y\"}\r\n"},
  };
  for (const auto& row : rows) {
    EXPECT_EQ(vm::ReplaceClientIdInText(row.before, row.newId), row.after) << row.why;
  }
  EXPECT_EQ(vm::ReplaceClientIdInText("{\n\"client_id\":\"" + A + "\"\n}", "X"), std::nullopt) << "no entry";
}

TEST(ClientIdText, OnlyTextsOfTheIdFormCount) {
  const std::pair<const char*, bool> rows[] = {
      {"11111111-2222-3333-4444-555555555555", true},
      {"abcdefgh-ijkl-mnop-qrst-uvwxyzABCDEF", true},  // letters beyond F, as the reader accepts
      {"", false},
      {"11111111-2222-3333-4444-55555555555", false},    // last block short
      {"11111111-2222-3333-4444-5555555555555", false},  // last block long
      {"111111112-222-3333-4444-555555555555", false},   // hyphen misplaced
      {"11111111-2222-3333-4444-55555555555\"", false},  // a quote would end the JSON string
      {"A\",\"x\":\"1-2222-3333-4444-555555555555", false},
      {"11111111-2222-3333-4444-555555555555\r\n", false},
      {"{11111111-2222-3333-4444-555555555555}", false},
  };
  for (const auto& [text, valid] : rows) EXPECT_EQ(vm::IsClientIdForm(text), valid) << text;
}

TEST(ClientIdText, WrittenFileMustReadBackAsWritten) {
  const std::string written = "{\"client_id\": \"11111111-2222-3333-4444-555555555555\"}\r\n";
  EXPECT_TRUE(vm::WrittenFileHolds(written, written, vm::kUniformID));
  EXPECT_FALSE(vm::WrittenFileHolds(written, written + " ", vm::kUniformID)) << "one byte more";
  EXPECT_FALSE(vm::WrittenFileHolds(written, "", vm::kUniformID)) << "emptied meanwhile";
  EXPECT_FALSE(vm::WrittenFileHolds(written, written, "22222222-2222-3333-4444-555555555555")) << "another ID";
}

TEST_F(ClientIdFile, OversizedFileIsRefusedInWords) {
  Write(std::string(vm::kMaxLocalStateBytes + 1, ' '));
  std::string id;
  try {
    vm::ReadClientID(path, id);
    FAIL();
  } catch (const vm::EFOpenError& e) {
    EXPECT_EQ(e.Message(), "Cannot open file \"" + Narrow() + "\". It is larger than 64 MB, too large to load");
  }
}

TEST_F(ClientIdFile, MissingFileRaisesTheOpenError) {
  std::string id;
  std::u8string missing = (dir / "missing").u8string();
  try {
    vm::ReadClientID(missing, id);
    FAIL();
  } catch (const vm::EFOpenError& e) {
    EXPECT_EQ(e.Message().rfind("Cannot open file \"" + std::string(missing.begin(), missing.end()) + "\". ", 0), 0u)
        << e.Message();
  }
}

TEST(LocalStatePath, AddsTheBackslashOnlyWhenMissing) {
  EXPECT_EQ(vm::LocalStatePathIn(u8"C:\\Users\\me\\AppData\\Local"),
            u8"C:\\Users\\me\\AppData\\Local\\Google\\Chrome\\User Data\\Local State");
  EXPECT_EQ(vm::LocalStatePathIn(u8"C:\\Local\\"), u8"C:\\Local\\Google\\Chrome\\User Data\\Local State");
  EXPECT_EQ(vm::LocalStatePathIn(u8""), u8"\\Google\\Chrome\\User Data\\Local State") << "failed lookup: from the root";
}

}  // namespace

// Covers app/CrashpadSettings: the crash reporter's installation ID in its settings record.
#include <gtest/gtest.h>

#include <filesystem>

#include "app/CrashpadSettings.h"
#include "base/Exception.h"
#include "base/FileIO.h"

namespace {

using namespace vm;
using namespace std::string_literals;

// A record as the crash reporter writes it: uploads enabled, a last upload attempt, and the
// UUID 00112233-4455-6677-8899-aabbccddeeff.
const std::string kRecord =
    "sdPC"s                               // magic 0x43506473, little-endian
    "\x01\x00\x00\x00"s                   // version
    "\x01\x00\x00\x00"s                   // options
    "\x00\x00\x00\x00"s                   // padding
    "\x10\x32\x54\x76\x00\x00\x00\x00"s   // last upload attempt
    "\x33\x22\x11\x00\x55\x44\x77\x66"s   // UUID: three little-endian groups...
    "\x88\x99\xaa\xbb\xcc\xdd\xee\xff"s;  // ...then eight bytes as written
const char* const kRecordId = "00112233-4455-6677-8899-aabbccddeeff";

TUuid Uuid(const char* text) {
  std::optional<TUuid> uuid = UuidFromText(text);
  EXPECT_TRUE(uuid) << text;
  return uuid.value_or(TUuid{});
}

TEST(CrashpadUuid, TextAndStoredBytes) {
  ASSERT_EQ(kRecord.size(), kCrashpadRecordSize);
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(Uuid(kRecordId).data()), 16), kRecord.substr(24));
  EXPECT_EQ(UuidText(Uuid("00112233-4455-6677-8899-AABBCCDDEEFF")), kRecordId) << "either case in, lower case out";
  TUuid uniform = Uuid("11111111-2222-3333-4444-555555555555");
  EXPECT_EQ(std::string(uniform.begin(), uniform.end()),
            "\x11\x11\x11\x11\x22\x22\x33\x33\x44\x44\x55\x55\x55\x55\x55\x55"s);

  for (const char* bad : {"", "00112233-4455-6677-8899-aabbccddeef", "00112233-4455-6677-8899-aabbccddeeff0",
                          "001122334-455-6677-8899-aabbccddeeff", "00112233-4455-6677-8899-aabbccddeefg",
                          "{00112233-4455-6677-8899-aabbccddee}", "GHIJKLMN-OPQR-STUV-WXYZ-GHIJKLMNOPQR"})
    EXPECT_FALSE(UuidFromText(bad)) << bad;
}

TEST(CrashpadRecord, RenewedChangesOnlyTheUuid) {
  ASSERT_EQ(CrashpadIdInRecord(kRecord), Uuid(kRecordId));
  const TUuid fresh = Uuid("fedcba98-7654-3210-0f1e-2d3c4b5a6978");
  for (const std::string& before : {kRecord, kRecord + "trailing bytes\0"s}) {
    std::optional<std::string> after = RenewCrashpadRecord(before, fresh);
    ASSERT_TRUE(after);
    ASSERT_EQ(after->size(), before.size());
    EXPECT_EQ(after->substr(0, 24), before.substr(0, 24)) << "magic, version, options, padding, upload time";
    EXPECT_EQ(after->substr(40), before.substr(40)) << "whatever follows the record";
    EXPECT_EQ(CrashpadIdInRecord(*after), fresh);
  }
}

TEST(CrashpadRecord, RefusesWhatIsNotAVersionOneRecord) {
  struct Row {
    const char* why;
    std::string bytes;
  } rows[] = {
      {"empty", ""},
      {"one byte short", kRecord.substr(0, 39)},
      {"header only", kRecord.substr(0, 24)},
      {"magic in the wrong byte order", "CPds" + kRecord.substr(4)},
      {"another tag", "sdPX" + kRecord.substr(4)},
      {"version 2", kRecord.substr(0, 4) + "\x02\x00\x00\x00"s + kRecord.substr(8)},
      {"version 0", kRecord.substr(0, 4) + "\x00\x00\x00\x00"s + kRecord.substr(8)},
      {"version with a high byte", kRecord.substr(0, 4) + "\x01\x00\x00\x01"s + kRecord.substr(8)},
  };
  for (const Row& row : rows) {
    EXPECT_FALSE(CrashpadIdInRecord(row.bytes)) << row.why;
    EXPECT_FALSE(RenewCrashpadRecord(row.bytes, Uuid(kRecordId))) << row.why;
  }
}

TEST(CrashpadRecord, LiesBesideLocalState) {
  EXPECT_EQ(CrashpadSettingsPath(u8"C:\\Users\\Zoë\\AppData\\Local\\Google\\Chrome\\User Data\\Local State"),
            u8"C:\\Users\\Zoë\\AppData\\Local\\Google\\Chrome\\User Data\\Crashpad\\settings.dat");
  EXPECT_EQ(CrashpadSettingsPath(u8"\\Google\\Chrome\\User Data\\Local State"),
            u8"\\Google\\Chrome\\User Data\\Crashpad\\settings.dat");
}

class CrashpadFile : public ::testing::Test {
protected:
  void SetUp() override {
    dir = std::filesystem::temp_directory_path() /
          ("vm-crashpad-" + std::string(::testing::UnitTest::GetInstance()->current_test_info()->name()));
    std::error_code ignored;  // a read-only file left by an aborted run blocks the clean-up on Windows
    std::filesystem::permissions(dir / "settings.dat", std::filesystem::perms::owner_all, ignored);
    std::filesystem::remove_all(dir);
    std::filesystem::create_directories(dir);
    path = (dir / "settings.dat").u8string();
  }
  void TearDown() override { std::filesystem::remove_all(dir); }
  std::vector<std::string> Files() {
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(dir))
      names.push_back(entry.path().filename().string());
    return names;
  }

  void Write(const std::string& bytes) { WriteFileCreate(Narrow(), bytes); }
  std::string Read() { return ReadFileDenyWrite(path); }
  std::string Narrow() const { return std::string(path.begin(), path.end()); }

  std::filesystem::path dir;
  std::u8string path;
};

TEST_F(CrashpadFile, ReadsAndRenewsTheRecord) {
  Write(kRecord);
  TCrashpadID read = ReadCrashpadID(path);
  EXPECT_EQ(read.State, TCrashpadState::Found);
  EXPECT_EQ(UuidText(read.Id), kRecordId);

  const TUuid uniform = Uuid("11111111-2222-3333-4444-555555555555");
  EXPECT_EQ(WriteCrashpadID(path, uniform), TCrashpadState::Found);
  EXPECT_EQ(Read(), kRecord.substr(0, 24) + std::string(uniform.begin(), uniform.end()));
  EXPECT_EQ(Files(), std::vector<std::string>{"settings.dat"}) << "no temporary file is left";
}

TEST_F(CrashpadFile, MissingOrUnreadableRecordIsNeverWritten) {
  const TUuid uniform = Uuid("11111111-2222-3333-4444-555555555555");
  EXPECT_EQ(ReadCrashpadID(path).State, TCrashpadState::Missing);
  EXPECT_EQ(WriteCrashpadID(path, uniform), TCrashpadState::Missing);
  EXPECT_TRUE(Files().empty()) << "a missing record stays missing";

  const std::string damaged = "sdPC\x02\x00\x00\x00"s + kRecord.substr(8);
  Write(damaged);
  EXPECT_EQ(ReadCrashpadID(path).State, TCrashpadState::Unreadable);
  EXPECT_EQ(WriteCrashpadID(path, uniform), TCrashpadState::Unreadable);
  EXPECT_EQ(Read(), damaged);
}

TEST_F(CrashpadFile, ReadOnlyRecordIsRefusedAndKept) {
  Write(kRecord);
  std::filesystem::permissions(dir / "settings.dat", std::filesystem::perms::owner_read);
  EXPECT_THROW(WriteCrashpadID(path, Uuid("11111111-2222-3333-4444-555555555555")), EFCreateError);
  EXPECT_EQ(Read(), kRecord);
  EXPECT_EQ(Files(), std::vector<std::string>{"settings.dat"});
  // Windows will not delete a read-only file when the folder is cleared.
  std::filesystem::permissions(dir / "settings.dat", std::filesystem::perms::owner_all);
}

}  // namespace

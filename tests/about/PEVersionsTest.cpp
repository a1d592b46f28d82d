// Covers about/qbxPEVersions: translation counts and the key-table lines of the fixture
// DLLs, the Translators rule, table names in upper-case hex, and unreadable files.
#include <gtest/gtest.h>

#include "about/qbxPEVersions.h"
#include "tests/about/BlockBuilder.h"
#include "tests/about/Fixtures.h"

namespace {

using vm::GetTranslationCount;
using vm::GetVersionInfo;
using vm::TStringList;
using vmtest::FixturePath;

const std::string kLongText = [] {
  std::string block = "0123456789abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ-", text;
  for (int i = 0; i < 7; ++i) text += block;
  return text + "end";
}();

TEST(PEVersions, FixtureTranslationsInTheirFileOrder) {
  for (const char* name : {"versions32.dll", "versions64.dll"}) {
    EXPECT_EQ(GetTranslationCount(FixturePath(name)), 3) << name;
    // Each translation's own table: the first has every odd value, the others few keys.
    const TStringList expected[] = {
        {"FileVersion=1, 0, 0, 3", "CompanyName=Caf\xE9 \xA9 \x80 Test", "InternalName=", "Comments=" + kLongText,
         "LegalCopyright=Copyright (C) Fixture", "LegalTrademarks=", "OriginalFilename=versions.dll",
         "ProductName=Fixture Product", "ProductVersion=1, 0, 0, 3", "FileDescription=Version fixture",
         "PrivateBuild=", "SpecialBuild=before", "Translators=de=Name1\r\nfr=Name2"},
        {"FileVersion=", "CompanyName=", "InternalName=", "Comments=", "LegalCopyright=", "LegalTrademarks=",
         "OriginalFilename=", "ProductName=Produkt", "ProductVersion=", "FileDescription=", "PrivateBuild=privat",
         "SpecialBuild="},
        // Table "0C0A04B0" is named in lower case in the file; its Translators value is empty.
        {"FileVersion=", "CompanyName=", "InternalName=", "Comments=", "LegalCopyright=", "LegalTrademarks=Marca",
         "OriginalFilename=", "ProductName=Producto", "ProductVersion=1,0,0,3",
         "FileDescription=", "PrivateBuild=", "SpecialBuild="},
    };
    for (int index = 0; index < 3; ++index) {
      TStringList lines;
      ASSERT_TRUE(GetVersionInfo(FixturePath(name), index, lines)) << name << " " << index;
      EXPECT_EQ(lines.Items(), expected[index].Items()) << name << " translation " << index;
    }
  }
}

TEST(PEVersions, LinesAreAppendedAfterWhatTheListHolds) {
  TStringList lines{"Kept=yes"};
  ASSERT_TRUE(GetVersionInfo(FixturePath("languages.dll"), 0, lines));
  ASSERT_EQ(lines.Count(), 13);
  EXPECT_EQ(lines[0], "Kept=yes");
  EXPECT_EQ(lines.Values("ProductName"), "English");
}

TEST(PEVersions, UnreadableFilesGiveNoTranslationsAndFalse) {
  const std::string rows[] = {FixturePath("other.dll"), FixturePath("versions.rc"), FixturePath("missing.dll"),
                              FixturePath(""), ""};
  for (const std::string& file : rows) {
    EXPECT_EQ(GetTranslationCount(file), 0) << file;
    TStringList lines{"untouched"};
    EXPECT_FALSE(GetVersionInfo(file, 0, lines)) << file;
    EXPECT_EQ(lines.Items(), TStringList{"untouched"}.Items()) << file;
  }
}

// The caller is meant to stay below the count; an index beyond it must still be safe.
TEST(PEVersions, IndexOutsideTheTranslationsIsFalse) {
  for (int index : {3, -1, 1 << 30}) {
    TStringList lines;
    EXPECT_FALSE(GetVersionInfo(FixturePath("versions64.dll"), index, lines)) << index;
    EXPECT_TRUE(lines.Empty());
  }
}

// The Translators line is left out only when its value is empty; a value that happens to
// end in "=" (a translator still without a name) is kept.
TEST(PEVersions, TranslatorsLineOnlyWithAValue) {
  using namespace vmtest;
  const struct {
    std::u16string Value;
    const char* Line;  // nullptr: no Translators line
  } rows[] = {
      {u"", nullptr},
      {u"de=", "Translators=de="},
      {u"de=Name1\r\nfr=Name2", "Translators=de=Name1\r\nfr=Name2"},
  };
  for (const auto& row : rows) {
    std::string translation = {'\x09', '\x04', '\xE4', '\x04'};
    vm::TVersionBlock block(
        Build(TNodeSpec{u"VS_VERSION_INFO",
                        "",
                        0,
                        false,
                        {Node(u"StringFileInfo", {Node(u"040904E4", {Text(u"Translators", row.Value)})}),
                         Node(u"VarFileInfo", {Binary(u"Translation", translation)}, false)}}));
    TStringList lines;
    ASSERT_TRUE(vm::AppendVersionStrings(block, 0, lines));
    ASSERT_EQ(lines.Count(), row.Line ? 13 : 12);
    if (row.Line) {
      EXPECT_EQ(lines[12], row.Line);
    }
  }
}

TEST(PEVersions, TableNamesAreUpperCaseHex) {
  EXPECT_EQ(vm::VersionStringPath("ProductName", {0x0409, 0x04E4}), "\\StringFileInfo\\040904E4\\ProductName");
  EXPECT_EQ(vm::VersionStringPath("Comments", {0x0C0A, 0x04B0}), "\\StringFileInfo\\0C0A04B0\\Comments");
  EXPECT_EQ(vm::VersionStringPath("X", {0xABCD, 0xEF01}), "\\StringFileInfo\\ABCDEF01\\X");
}

}  // namespace

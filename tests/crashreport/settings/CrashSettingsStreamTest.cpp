// The record's stream parser: every value type, the end mark, a bad type byte, another
// prefix, truncated data and lengths that point past the end.
#include <gtest/gtest.h>

#include "crashreport/settings/CrashSettingsStream.h"

namespace vm {
namespace {

using P = TCrashProperty;
constexpr auto kText = TPropertyKind::Text;
constexpr auto kInt = TPropertyKind::Integer;
constexpr auto kBool = TPropertyKind::Boolean;

std::string Prefix() { return std::string(kSettingsStreamPrefix); }

TEST(CrashSettingsStream, EveryValueTypeParses) {
  std::string longText(300, 'x');
  std::string bytes = TSettingsStreamWriter()
                          .Int("I8", -5)
                          .Int("I16", -1234)
                          .Int("I32", 100000)
                          .Int("IMin", INT32_MIN)
                          .Text("Short", "bug report")
                          .Bool("No", false)
                          .Bool("Yes", true)
                          .Text("Long", longText)
                          .WideText("Wide", u"Caf\u00e9 ok")
                          .Text("Empty", "")
                          .Finish();
  // The writer picks the shortest forms: check the type bytes it wrote, so the table covers them all.
  for (auto [name, type] :
       {std::pair{"I8", 2}, {"I16", 3}, {"I32", 4}, {"Short", 6}, {"No", 8}, {"Yes", 9}, {"Long", 12}, {"Wide", 18}}) {
    size_t at = bytes.find(std::string(1, char(std::string(name).size())) + name);
    ASSERT_NE(at, std::string::npos) << name;
    EXPECT_EQ(std::uint8_t(bytes[at + 1 + std::string(name).size()]), type) << name;
  }
  TSettingsParse parse = ParseSettingsStream(bytes);
  EXPECT_TRUE(parse.HasPrefix);
  EXPECT_FALSE(parse.BadType);
  EXPECT_FALSE(parse.Truncated);
  EXPECT_EQ(SettingsStreamError(parse), "");
  std::vector<P> expected = {
      {"I8", kInt, false, -5, ""},
      {"I16", kInt, false, -1234, ""},
      {"I32", kInt, false, 100000, ""},
      {"IMin", kInt, false, INT32_MIN, ""},
      {"Short", kText, false, 0, "bug report"},
      {"No", kBool, false, 0, ""},
      {"Yes", kBool, true, 0, ""},
      {"Long", kText, false, 0, longText},
      {"Wide", kText, false, 0, "Caf\xe9 ok"},
      {"Empty", kText, false, 0, ""},
  };
  ASSERT_EQ(parse.Properties.Count(), int(expected.size()));
  for (int i = 0; i < parse.Properties.Count(); ++i) EXPECT_EQ(parse.Properties[i], expected[size_t(i)]) << i;
}

TEST(CrashSettingsStream, SignedFormsSignExtend) {
  std::string bytes = TSettingsStreamWriter()
                          .Raw("A", 2, "\xff")
                          .Raw("B", 3, std::string("\x00\x80", 2))
                          .Raw("C", 4, "\xfe\xff\xff\xff")
                          .Raw("D", 3, "\xff\x7f")
                          .Finish();
  TSettingsParse parse = ParseSettingsStream(bytes);
  ASSERT_EQ(parse.Properties.Count(), 4);
  EXPECT_EQ(parse.Properties[0].IntValue, -1);
  EXPECT_EQ(parse.Properties[1].IntValue, -32768);
  EXPECT_EQ(parse.Properties[2].IntValue, -2);
  EXPECT_EQ(parse.Properties[3].IntValue, 32767);
}

TEST(CrashSettingsStream, BadTypeStopsAndKeepsWhatWasRead) {
  std::string bytes = TSettingsStreamWriter().Bool("Enabled", true).Raw("Odd", 0x0b, "").Bool("Later", true).Finish();
  TSettingsParse parse = ParseSettingsStream(bytes);
  ASSERT_TRUE(parse.BadType);
  EXPECT_EQ(*parse.BadType, 0x0b);
  ASSERT_EQ(parse.Properties.Count(), 1);
  EXPECT_EQ(parse.Properties[0].Name, "Enabled");
  EXPECT_EQ(SettingsStreamError(parse), "Internal error: Invalid settings resource ($0b).");
  parse = ParseSettingsStream(TSettingsStreamWriter().Raw("X", 0xAF, "").Finish());
  EXPECT_EQ(SettingsStreamError(parse), "Internal error: Invalid settings resource ($af).");
}

TEST(CrashSettingsStream, PrefixRules) {
  struct Row {
    const char* why;
    std::string bytes;
    bool hasPrefix;
  };
  std::string other = Prefix();
  other[5] = 'X';  // "TXentrapix"
  const Row rows[] = {
      {"empty resource", "", false},
      {"prefix cut short", Prefix().substr(0, 24), false},
      {"another class name", other + '\0', false},
      {"another signature", "TPF1" + Prefix().substr(4) + '\0', false},
      {"prefix and end mark only", Prefix() + '\0', true},
  };
  for (const Row& row : rows) {
    TSettingsParse parse = ParseSettingsStream(row.bytes);
    EXPECT_EQ(parse.HasPrefix, row.hasPrefix) << row.why;
    EXPECT_EQ(parse.Properties.Count(), 0) << row.why;
    EXPECT_EQ(SettingsStreamError(parse), "") << row.why;
  }
}

TEST(CrashSettingsStream, TruncatedDataKeepsCompleteProperties) {
  std::string good = TSettingsStreamWriter().Int("Kept", 7).Unfinished();
  const std::pair<const char*, std::string> rows[] = {
      {"no end mark", good},
      {"name cut", good + "\x05"
                          "Ab"},
      {"no type byte", good + "\x02"
                              "Ab"},
      {"int32 cut", good + "\x01"
                           "A\x04\x01\x02"},
      {"short text cut", good + "\x01"
                                "A\x06\x05"
                                "ab"},
      {"long text length past the end", good + "\x01"
                                               "A\x0c\xff\xff\xff\xff"
                                               "abc"},
      {"wide count past the end", good + "\x01"
                                         "A\x12\xff\xff\xff\x7f"
                                         "a\0b\0"},
      {"odd byte of a wide unit", good + std::string("\x01"
                                                     "A\x12\x01\x00\x00\x00"
                                                     "a",
                                                     8)},
  };
  for (const auto& [why, bytes] : rows) {
    TSettingsParse parse = ParseSettingsStream(bytes);
    EXPECT_TRUE(parse.Truncated) << why;
    ASSERT_EQ(parse.Properties.Count(), 1) << why;
    EXPECT_EQ(parse.Properties[0].IntValue, 7) << why;
    EXPECT_EQ(SettingsStreamError(parse), "Internal error: Invalid settings resource (truncated).") << why;
  }
}

TEST(CrashSettingsStream, LookupIsCaseSensitiveAndFirstWins) {
  TSettingsParse parse = ParseSettingsStream(TSettingsStreamWriter().Int("Port", 1).Int("Port", 2).Finish());
  ASSERT_NE(parse.Properties.Find("Port"), nullptr);
  EXPECT_EQ(parse.Properties.Find("Port")->IntValue, 1);
  EXPECT_EQ(parse.Properties.Find("port"), nullptr);
}

TEST(CrashSettingsStream, ListGrowsPastItsFirstRoom) {
  TSettingsStreamWriter w;
  for (int i = 0; i < 500; ++i) w.Int("K" + std::to_string(i), i);
  TSettingsParse parse = ParseSettingsStream(w.Finish());
  ASSERT_EQ(parse.Properties.Count(), 500);
  EXPECT_EQ(parse.Properties.Find("K499")->IntValue, 499);
}

}  // namespace
}  // namespace vm

// Covers base/AnsiText: the host's code page 1252 and, under Wine, the system's own, which
// must agree wherever the system's code page is 1252.
#include <gtest/gtest.h>

#include "base/AnsiText.h"

namespace {

bool CodePageIs1252() { return vm::AnsiToWide("\x80\x9F\xE9") == u"\u20AC\u0178\u00E9"; }

struct WideRow {
  const char* why;
  std::u16string wide;
  std::string ansi;
};

TEST(AnsiText, WideTextTakesCodePage1252) {
  if (!CodePageIs1252()) GTEST_SKIP() << "the system's ANSI code page is not 1252";
  const WideRow rows[] = {
      {"ASCII and NUL stay", std::u16string(u"Prod\0x", 6), std::string("Prod\0x", 6)},
      {"Latin-1 letters are their own bytes", u"Caf\u00E9 \u00A9 \u00FF", "Caf\xE9 \xA9 \xFF"},
      {"0x80-0x9F hold the typographic characters",
       u"\u20AC\u201A\u0192\u201E\u2026\u2020\u2021\u02C6\u2030\u0160\u2039\u0152\u017D",
       "\x80\x82\x83\x84\x85\x86\x87\x88\x89\x8A\x8B\x8C\x8E"},
      {"...and the rest of them",
       u"\u2018\u2019\u201C\u201D\u2022\u2013\u2014\u02DC\u2122\u0161\u203A\u0153\u017E\u0178",
       "\x91\x92\x93\x94\x95\x96\x97\x98\x99\x9A\x9B\x9C\x9E\x9F"},
      {"the five undefined bytes stand for the C1 controls of their number", u"\u0081\u008D\u008F\u0090\u009D",
       "\x81\x8D\x8F\x90\x9D"},
      {"a C1 control whose byte holds another character has no spelling", u"\u0080\u0099", "??"},
      {"Greek and Chinese have none either, and get no look-alike", u"\u03A9 \u4E2D \u0141", "? ? ?"},
      {"outside the basic plane, each UTF-16 unit is a \"?\"", u"a\U0001F600b", "a??b"},
  };
  for (const WideRow& row : rows) EXPECT_EQ(vm::WideToAnsi(row.wide), row.ansi) << row.why;
}

TEST(AnsiText, EveryByteComesBackThroughUnicode) {
  if (!CodePageIs1252()) GTEST_SKIP() << "the system's ANSI code page is not 1252";
  std::string all;
  for (int c = 0; c < 256; ++c) all += char(c);
  const std::u16string wide = vm::AnsiToWide(all);
  ASSERT_EQ(wide.size(), 256u);
  EXPECT_EQ(wide[0x80], u'\u20AC');
  EXPECT_EQ(wide[0xE9], u'\u00E9');
  EXPECT_EQ(vm::WideToAnsi(wide), all);
}

struct Utf8Row {
  const char* why;
  std::u8string utf8;
  std::string ansi;
};

TEST(AnsiText, Utf8NamesAreShownInTheCodePage) {
  if (!CodePageIs1252()) GTEST_SKIP() << "the system's ANSI code page is not 1252";
  const Utf8Row rows[] = {
      {"a Western name keeps its letters", u8"C:\\Users\\Zo\u00EB\\\u20AC", "C:\\Users\\Zo\xEB\\\x80"},
      {"a Greek name cannot be spelt", u8"C:\\Users\\\u03A9\u03C0", "C:\\Users\\??"},
      {"four bytes are two UTF-16 units", u8"x\U0001F600y", "x??y"},
      {"a stray byte is no letter", std::u8string(u8"a") + char8_t(0xFF) + u8"b", "a?b"},
      {"an overlong \"/\" is no separator", std::u8string(u8"a") + char8_t(0xC0) + char8_t(0xAF) + u8"b", "a??b"},
  };
  for (const Utf8Row& row : rows) EXPECT_EQ(vm::Utf8ToAnsi(row.utf8), row.ansi) << row.why;
}

}  // namespace

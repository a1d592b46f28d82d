// Covers about/VersionBlock: path look-ups, text conversion, translations, and blocks
// damaged in the ways a hostile file can damage them.
#include <gtest/gtest.h>

#include "about/VersionBlock.h"
#include "tests/about/BlockBuilder.h"

namespace {

using namespace vmtest;
using vm::TTranslation;
using vm::TVersionBlock;

std::string Translation(std::initializer_list<TTranslation> list) {
  std::string bytes;
  for (TTranslation t : list)
    bytes += {char(t.Language & 0xFF), char(t.Language >> 8), char(t.CodePage & 0xFF), char(t.CodePage >> 8)};
  return bytes;
}

TNodeSpec Root(std::vector<TNodeSpec> children) {
  return TNodeSpec{u"VS_VERSION_INFO", std::string(52, '\x11'), 52, false, std::move(children)};
}

std::string GoodBlock() {
  return Build(Root({
      Node(u"StringFileInfo", {Node(u"040904E4", {Text(u"ProductName", u"Prod"), Text(u"Empty", u""),
                                                  Text(u"Nul", std::u16string(u"before\0after", 12)),
                                                  Text(u"Cafe", u"Caf\u00e9 \u20ac"), Text(u"Last", u"last value")})}),
      Node(u"VarFileInfo", {Binary(u"Translation", Translation({{0x0409, 1252}, {0x0407, 1252}, {0x0C0A, 1200}}))},
           false),
  }));
}

struct TLookup {
  const char* Path;
  const char* Expected;  // nullptr: not found
};

TEST(VersionBlock, PathsAreLookedUpAsThePlatformDoes) {
  TVersionBlock block(GoodBlock());
  ASSERT_TRUE(block.IsValid());
  const TLookup rows[] = {
      {"\\StringFileInfo\\040904E4\\ProductName", "Prod"},
      {"\\stringfileinfo\\040904e4\\PRODUCTNAME", "Prod"},        // keys ignore letter case
      {"StringFileInfo\\040904E4\\ProductName", "Prod"},          // leading backslash optional
      {"\\\\StringFileInfo\\\\040904E4\\ProductName\\", "Prod"},  // empty components skipped
      {"\\StringFileInfo\\040904E4\\Product", nullptr},           // a key's prefix is not the key
      {"\\StringFileInfo\\040904E4\\ProductNames", nullptr},
      {"\\StringFileInfo\\040704E4\\ProductName", nullptr},
      {"\\StringFileInfo\\040904E4\\Empty", ""},
      {"\\StringFileInfo\\040904E4\\Nul", "before"},         // text ends at its first NUL
      {"\\StringFileInfo\\040904E4\\Cafe", "Caf\xE9 \x80"},  // code page 1252
      {"\\StringFileInfo\\040904E4\\Last", "last value"},
  };
  for (const TLookup& row : rows) {
    std::optional<std::string> text = block.QueryText(row.Path);
    if (row.Expected) {
      ASSERT_TRUE(text) << row.Path;
      EXPECT_EQ(*text, row.Expected) << row.Path;
    } else {
      EXPECT_FALSE(text) << row.Path;
    }
  }
}

TEST(VersionBlock, TranslationsAreTheValueIn4ByteSteps) {
  EXPECT_EQ(TVersionBlock(GoodBlock()).Translations(),
            (std::vector<TTranslation>{{0x0409, 1252}, {0x0407, 1252}, {0x0C0A, 1200}}));
  // A ragged length counts whole entries only.
  std::string ragged = Build(Root({Node(u"VarFileInfo", {Binary(u"Translation", Translation({{1, 2}}) + "xy")})}));
  EXPECT_EQ(TVersionBlock(ragged).Translations(), (std::vector<TTranslation>{{1, 2}}));
  EXPECT_TRUE(TVersionBlock(Build(Root({}))).Translations().empty());
}

// Each row damages the good block and says what must still hold.
TEST(VersionBlock, DamagedBlocksNeverReadOutside) {
  const std::string good = GoodBlock();
  const char* product = "\\StringFileInfo\\040904E4\\ProductName";
  const char* last = "\\StringFileInfo\\040904E4\\Last";
  struct TCase {
    const char* Why;
    void (*Damage)(std::string&);
    bool Valid;
    const char* Product;  // expected ProductName, nullptr when lost
    const char* Last;     // expected Last, nullptr when lost
  };
  const TCase cases[] = {
      {"zero-length node ends the search among its siblings",
       [](std::string& b) { PutWord(b, NodeOffset(b, u"Nul"), 0); }, true, "Prod", nullptr},
      {"node shorter than its header ends the search", [](std::string& b) { PutWord(b, NodeOffset(b, u"Empty"), 3); },
       true, "Prod", nullptr},
      {"value longer than its node is cut at the node's end",
       [](std::string& b) {
         size_t at = NodeOffset(b, u"Last");
         PutWord(b, at, uint16_t(uint8_t(b[at]) - 4));  // the node now ends before "e" and the NUL
         PutWord(b, at + 2, 0xFFFF);
       },
       true, "Prod", "last valu"},
      {"key without its NUL inside the node is no key",
       [](std::string& b) { PutWord(b, NodeOffset(b, u"ProductName"), 6 + 10); }, true, nullptr, nullptr},
      {"child longer than its parent is cut at the parent's end",
       [](std::string& b) { PutWord(b, NodeOffset(b, u"040904E4"), 0xFFF0); }, true, "Prod", "last value"},
      {"root longer than the bytes is cut at their end", [](std::string& b) { PutWord(b, 0, 0xFFFF); }, true, "Prod",
       "last value"},
      {"bytes cut inside the root's key", [](std::string& b) { b.resize(12); }, false, nullptr, nullptr},
      {"a text byte at offset 4 marks the 16-bit layout", [](std::string& b) { b[4] = 'V'; }, false, nullptr, nullptr},
      {"empty bytes", [](std::string& b) { b.clear(); }, false, nullptr, nullptr},
  };
  for (const TCase& c : cases) {
    std::string bytes = good;
    c.Damage(bytes);
    TVersionBlock block(bytes);
    EXPECT_EQ(block.IsValid(), c.Valid) << c.Why;
    std::optional<std::string> p = block.QueryText(product), l = block.QueryText(last);
    EXPECT_EQ(p.value_or("<none>"), c.Product ? c.Product : "<none>") << c.Why;
    EXPECT_EQ(l.value_or("<none>"), c.Last ? c.Last : "<none>") << c.Why;
  }
}

// Sanitizers turn any stray read into a failure; the loops must also end.
TEST(VersionBlock, EveryTruncationAndByteValueIsSafe) {
  const std::string good = GoodBlock();
  auto exercise = [](const std::string& bytes) {
    TVersionBlock block(bytes);
    for (const char* path :
         {"\\StringFileInfo\\040904E4\\ProductName", "\\StringFileInfo\\040904E4\\Last", "\\VarFileInfo\\Translation"})
      (void)block.QueryText(path);
    return block.Translations().size();
  };
  for (size_t n = 0; n <= good.size(); ++n) EXPECT_LE(exercise(good.substr(0, n)), 3u);
  for (size_t at = 0; at < good.size(); ++at)
    for (char value : {'\0', '\x01', '\xFF'}) {
      std::string bytes = good;
      bytes[at] = value;
      exercise(bytes);
    }
}

}  // namespace

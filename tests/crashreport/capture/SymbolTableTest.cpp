// The symbol table: lookups in a small table written here in the layout postlink.py
// writes, and the binding of an embedded table to the code it was made from.
#include <gtest/gtest.h>
#include <zlib.h>

#include <cstring>

#include "crashreport/capture/SymbolTable.h"
#include "tests/crashreport/capture/TinyPe.h"

namespace vm {
namespace {

void U32(std::string& out, std::uint32_t v) {
  for (int i = 0; i < 4; ++i) out += char(v >> (8 * i));
}

// Functions f (0x1000-0x1040, lines 10-14 of "main.cpp") and g (0x1040-0x1080, no lines),
// and a line row of "util.h" at 0x1090 outside any function.
std::string SampleTable(std::uint32_t codeCrc) {
  std::string pool("\0f()\0g(int)\0main\0util\0", 22);
  const std::uint32_t empty = 0, f = 1, g = 5, mainUnit = 12, utilUnit = 17;
  std::string t = "VMSYM001";
  U32(t, codeCrc);
  U32(t, 2);
  U32(t, 4);
  U32(t, std::uint32_t(pool.size()));
  for (std::uint32_t v : {0x1000u, 0x1040u, f, mainUnit, 10u}) U32(t, v);
  for (std::uint32_t v : {0x1040u, 0x1080u, g, empty, 0u}) U32(t, v);
  for (std::uint32_t v :
       {0x1000u, 10u, mainUnit, 0x1010u, 12u, mainUnit, 0x1030u, 14u, mainUnit, 0x1090u, 7u, utilUnit})
    U32(t, v);
  return t + pool;
}

TEST(SymbolTable, LooksUpFunctionUnitAndLine) {
  auto table = TSymbolTable::Parse(SampleTable(0));
  ASSERT_TRUE(table);
  struct Row {
    const char* why;
    std::uint32_t rva;
    const char* function;
    const char* unit;
    std::uint32_t line, functionLine;
  } rows[] = {
      {"the first byte of a function", 0x1000, "f()", "main", 10, 10},
      {"between two line rows: the earlier one", 0x1025, "f()", "main", 12, 10},
      {"the last byte of f", 0x103F, "f()", "main", 14, 10},
      {"g has no line rows: f's rows do not leak into it", 0x1050, "g(int)", "", 0, 0},
      {"a line row outside every function", 0x1095, "", "util", 7, 0},
  };
  for (const Row& row : rows) {
    auto info = table->Lookup(row.rva);
    ASSERT_TRUE(info) << row.why;
    EXPECT_EQ(info->Function, row.function) << row.why;
    EXPECT_EQ(info->Unit, row.unit) << row.why;
    EXPECT_EQ(info->Line, row.line) << row.why;
    EXPECT_EQ(info->FunctionLine, row.functionLine) << row.why;
  }
  EXPECT_FALSE(table->Lookup(0x0FFF)) << "before every function and line";
}

TEST(SymbolTable, RefusesMalformedTables) {
  std::string good = SampleTable(0);
  std::string badOffset = good;
  badOffset[8 + 16 + 8] = char(0x7F);  // f's name offset beyond the pool
  std::string unsorted = good;
  std::memcpy(&unsorted[24], "\x00\x20\x00\x00", 4);  // f now starts after g
  for (const std::string& bytes : {good.substr(0, good.size() - 1), good.substr(0, 10), badOffset, unsorted,
                                   std::string("VMSYM002") + good.substr(8)})
    EXPECT_FALSE(TSymbolTable::Parse(bytes));
}

std::string WithTable(std::string file, const std::string& table) {
  uLongf size = compressBound(uLong(table.size()));
  std::string packed(size, '\0');
  compress(reinterpret_cast<Bytef*>(packed.data()), &size, reinterpret_cast<const Bytef*>(table.data()),
           uLong(table.size()));
  packed.resize(size);
  file += packed;
  U32(file, std::uint32_t(packed.size()));
  return file + "VMSYMTB1";
}

TEST(EmbeddedSymbols, BoundToTheCodeTheyWereMadeFrom) {
  std::string code(256, '\x90');
  std::string pe = tinype::Make(code);
  auto crc = CodeSectionCrc(pe);
  ASSERT_TRUE(crc);
  std::string why;
  auto table = ReadEmbeddedSymbols(WithTable(pe, SampleTable(*crc)), &why);
  ASSERT_TRUE(table) << why;
  EXPECT_EQ(table->Lookup(0x1000)->Function, "f()");

  std::string rebuilt = tinype::Make(std::string(255, '\x90') + '\xC3');  // other code, the old table
  EXPECT_FALSE(ReadEmbeddedSymbols(WithTable(rebuilt, SampleTable(*crc)), &why));
  EXPECT_NE(why.find("stale"), std::string::npos) << why;

  std::string damaged = WithTable(pe, SampleTable(*crc));
  damaged[damaged.size() - 20] ^= 0x55;  // inside the compressed stream
  EXPECT_FALSE(ReadEmbeddedSymbols(damaged, &why));
  EXPECT_FALSE(ReadEmbeddedSymbols(pe, &why));
  EXPECT_EQ(why, "no symbol table");
  std::string lying = pe + "\xFF\xFF\xFF\x7FVMSYMTB1";  // a size beyond the file
  EXPECT_FALSE(ReadEmbeddedSymbols(lying, &why));
}

TEST(EmbeddedSymbols, FoundInFrontOfASignaturesCertificateData) {
  std::string pe = tinype::Make(std::string(256, '\x90'));
  std::string withTable = WithTable(pe, SampleTable(*CodeSectionCrc(pe)));
  std::string why;
  for (const std::string& file : {tinype::Signed(withTable, std::string(1536, '\x30')),
                                  tinype::Signed(withTable, "VMSYMTB1"),  // certificate data that looks like a trailer
                                  tinype::Signed(withTable, "")}) {
    auto table = ReadEmbeddedSymbols(file, &why);
    ASSERT_TRUE(table) << why;
    EXPECT_EQ(table->Lookup(0x1000)->Function, "f()");
  }
  // An entry that does not describe certificate data at the file's end is no signature:
  // the table is looked for at the end, and a size field near the end reads nothing beyond it.
  std::string bogus = withTable;
  tinype::Put32(bogus, tinype::kCertEntryAt, 0xFFFFFFF0);
  tinype::Put32(bogus, tinype::kCertEntryAt + 4, 0x20);
  EXPECT_TRUE(ReadEmbeddedSymbols(bogus, &why)) << why;
  std::string cut = tinype::Signed(withTable, std::string(64, '\x30'));
  cut.resize(cut.size() - 1);  // a download cut short: the entry now reaches past the end
  EXPECT_FALSE(ReadEmbeddedSymbols(cut, &why));
  EXPECT_EQ(why, "no symbol table");
}

}  // namespace
}  // namespace vm

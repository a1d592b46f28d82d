// Covers about/PEResource: finding the version resource in PE32 and PE32+ files, the
// language choice, and files that are damaged or no PE files at all.
#include <gtest/gtest.h>

#include <random>

#include "about/PEResource.h"
#include "about/VersionBlock.h"
#include "tests/about/Fixtures.h"

namespace {

using vm::ReadVersionResource;
using vm::TMemorySource;

std::optional<std::string> FromBytes(const std::string& bytes) { return ReadVersionResource(TMemorySource(bytes)); }

std::string ProductName(const std::string& block, const char* table) {
  return vm::TVersionBlock(block)
      .QueryText(std::string("\\StringFileInfo\\") + table + "\\ProductName")
      .value_or("<none>");
}

TEST(PEResource, SameBlockFromPE32AndPE32Plus) {
  std::optional<std::string> pe32 = FromBytes(vmtest::FixtureBytes("versions32.dll"));
  std::optional<std::string> pe64 = FromBytes(vmtest::FixtureBytes("versions64.dll"));
  ASSERT_TRUE(pe32 && pe64);
  EXPECT_EQ(*pe32, *pe64);
  EXPECT_EQ(ProductName(*pe64, "040904E4"), "Fixture Product");
}

TEST(PEResource, TakesUSEnglishOverAnEarlierLanguage) {
  std::optional<std::string> block = FromBytes(vmtest::FixtureBytes("languages.dll"));
  ASSERT_TRUE(block);
  EXPECT_EQ(ProductName(*block, "040904E4"), "English");
}

TEST(PEResource, NoVersionResourceGivesNothing) {
  std::string dll = vmtest::FixtureBytes("versions64.dll");
  std::string noOptionalHeader = dll;
  size_t fileHeaderAt = uint8_t(dll[0x3C]) + 4;  // the fixture's header lies below 256
  noOptionalHeader[fileHeaderAt + 16] = noOptionalHeader[fileHeaderAt + 17] = '\0';
  const struct {
    const char* Why;
    std::string Bytes;
  } rows[] = {
      {"resources, but the version block under name 2", vmtest::FixtureBytes("other.dll")},
      {"empty file", ""},
      {"text file", "MZ is how this text begins, but it is no program"},
      {"DOS header only", dll.substr(0, 64)},
      {"headers without sections", dll.substr(0, 0x200)},
      // No bytes to read the magic from: it must not be taken from beyond them.
      {"optional header of size 0", noOptionalHeader},
  };
  for (const auto& row : rows) EXPECT_FALSE(FromBytes(row.Bytes)) << row.Why;
}

// Sanitizers turn any stray read into a failure; every cut and many changed bytes must
// give either the true block or nothing.
TEST(PEResource, DamagedFilesAreSafe) {
  for (const char* name : {"versions32.dll", "versions64.dll"}) {
    const std::string dll = vmtest::FixtureBytes(name);
    const std::string block = *FromBytes(dll);
    for (size_t n = 0; n < dll.size(); ++n) {
      std::optional<std::string> cut = FromBytes(dll.substr(0, n));
      if (cut) {
        EXPECT_EQ(*cut, block) << name << " cut at " << n;
      }
    }
    std::mt19937 random(42);
    for (int round = 0; round < 20000; ++round) {
      std::string bytes = dll;
      for (int k = 0; k < 4; ++k) bytes[random() % bytes.size()] = char(random());
      if (std::optional<std::string> found = FromBytes(bytes)) vm::TVersionBlock(*found).Translations();
    }
  }
}

}  // namespace

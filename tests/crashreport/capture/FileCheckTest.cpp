// The integrity self-check: a file stamped as postlink.py stamps it passes, any changed
// byte fails, and files without a filled stamp are told apart from damaged ones. A PE
// file is judged by the bytes a code signature's hash covers, so signing it, signing it
// again and removing the signature leave it intact: hand-made files for each shape of the
// certificate entry, and a real program signed with osslsigncode (data/signed/).
#include <gtest/gtest.h>
#include <zlib.h>

#include <fstream>
#include <sstream>

#include "crashreport/capture/FileCheck.h"
#include "crashreport/capture/SymbolTable.h"
#include "tests/crashreport/capture/TinyPe.h"

namespace vm {
namespace {

// The stamp's 12 magic bytes, as the program carries them.
std::string Magic() {
  std::string m;
  for (int i = 0; i < 12; ++i) m += char(kFileCrcStamp[i]);
  return m;
}

std::string Stamp(std::string file, std::uint32_t crc) {
  std::size_t at = file.find(Magic());
  for (int i = 0; i < 4; ++i) file[at + 12 + std::size_t(i)] = char(crc >> (8 * i));
  return file;
}

std::uint32_t Crc(const std::string& bytes) {
  return std::uint32_t(crc32(0, reinterpret_cast<const Bytef*>(bytes.data()), uInt(bytes.size())));
}

// As postlink.py does for a file that is no PE file: the CRC of all of it, value bytes zero.
std::string Stamped(const std::string& file) { return Stamp(file, Crc(file)); }

// As postlink.py does for an unsigned PE file: the CRC without the CheckSum field and the
// certificate entry, cut out here by their fixed places in the hand-made header.
std::string StampedPe(const std::string& pe) {
  std::string hashed = pe.substr(0, tinype::kCheckSumAt) +
                       pe.substr(tinype::kCheckSumAt + 4, tinype::kCertEntryAt - tinype::kCheckSumAt - 4) +
                       pe.substr(tinype::kCertEntryAt + 8);
  return Stamp(pe, Crc(hashed));
}

std::string ReadFixture(const std::string& name) {
  std::ifstream in(std::string(VM_TEST_DATA) + "/signed/" + name, std::ios::binary);
  std::ostringstream bytes;
  bytes << in.rdbuf();
  return bytes.str();
}

TEST(FileCheck, StampedFilePassesAndAnyChangeFails) {
  std::string file = std::string(1000, 'a') + Magic() + std::string(4, '\0') + std::string(500, 'b');
  std::string stamped = Stamped(file);
  EXPECT_EQ(CheckFileCrc(stamped), TFileCheck::Intact);
  for (std::size_t at : {std::size_t(0), std::size_t(999), std::size_t(1013), stamped.size() - 1}) {
    std::string changed = stamped;
    changed[at] ^= 0x01;
    EXPECT_EQ(CheckFileCrc(changed), TFileCheck::Corrupt) << "byte " << at;
  }
  EXPECT_EQ(CheckFileCrc(stamped + "x"), TFileCheck::Corrupt) << "appended bytes";
}

TEST(FileCheck, UnstampedFilesAreNotCalledCorrupt) {
  EXPECT_EQ(CheckFileCrc(std::string(100, 'a')), TFileCheck::Unstamped);
  EXPECT_EQ(CheckFileCrc("abc" + Magic() + std::string(4, '\0') + "def"), TFileCheck::Unstamped);
  EXPECT_EQ(CheckFileCrc("abc" + Magic() + "\1\0"), TFileCheck::Unstamped) << "a stamp cut off by the file's end";
  std::string pe = tinype::Make(std::string(64, '\x90'));
  EXPECT_EQ(CheckFileCrc(tinype::Signed(pe, Magic() + "\1\2\3\4")), TFileCheck::Unstamped)
      << "a stamp only inside the certificate data";
}

TEST(FileCheck, PeFilesAreJudgedByWhatASignatureCovers) {
  const std::string pe = StampedPe(tinype::Make(std::string(200, '\x90') + Magic() + std::string(4, '\0') + "code"));
  const std::size_t code = tinype::kCodeAt + 10;
  auto changed = [](std::string file, std::size_t at) {
    file[at] ^= 0x40;
    return file;
  };
  auto entry = [](std::string file, std::uint32_t at, std::uint32_t size) {
    tinype::Put32(file, tinype::kCertEntryAt, at);
    tinype::Put32(file, tinype::kCertEntryAt + 4, size);
    return file;
  };
  const std::string signedOnce = tinype::Signed(pe, std::string(1536, '\x30'));
  const std::uint32_t size = std::uint32_t(pe.size());
  struct Row {
    const char* why;
    std::string file;
    TFileCheck expected;
  } rows[] = {
      {"no certificate table", pe, TFileCheck::Intact},
      {"signed: new CheckSum, entry and certificate data at the end", signedOnce, TFileCheck::Intact},
      {"signed again: other and more certificate data", tinype::Signed(pe, std::string(3112, '\x31')),
       TFileCheck::Intact},
      {"a CheckSum of its own", changed(pe, tinype::kCheckSumAt + 1), TFileCheck::Intact},
      {"a byte of code changed", changed(pe, code), TFileCheck::Corrupt},
      {"a byte of code changed in the signed file", changed(signedOnce, code), TFileCheck::Corrupt},
      {"a header byte changed", changed(pe, 0x3D + 0x10), TFileCheck::Corrupt},
      {"bytes appended behind the certificate data", signedOnce + "tail", TFileCheck::Corrupt},
      {"an entry pointing outside the file: no certificate data", entry(pe, 0xFFFFFFF0, 0x20), TFileCheck::Intact},
      {"an entry pointing outside, with bytes appended", entry(pe + "tail", size + 4, 8), TFileCheck::Corrupt},
      {"an entry covering the code is no certificate table", entry(changed(pe, code), tinype::kCodeAt, size - 0x200),
       TFileCheck::Corrupt},
      {"an entry covering the headers", entry(changed(pe, 0x10), 0, size), TFileCheck::Corrupt},
  };
  for (const Row& row : rows) EXPECT_EQ(CheckFileCrc(row.file), row.expected) << row.why;
}

TEST(FileCheck, RealProgramSignedTwiceAndUnsignedAgainKeepsItsStampAndSymbols) {
  for (const char* name : {"tiny.exe", "signed.exe", "signed-twice.exe", "unsigned-again.exe"}) {
    std::string file = ReadFixture(name);
    ASSERT_GT(file.size(), 1000u) << name;
    EXPECT_EQ(CheckFileCrc(file), TFileCheck::Intact) << name;
    std::string why;
    auto table = ReadEmbeddedSymbols(file, &why);
    ASSERT_TRUE(table) << name << ": " << why;
    EXPECT_GE(table->FunctionCount(), 2u) << name;
  }
  // One changed byte anywhere the signature covers: in the code, in the symbol table.
  std::string program = ReadFixture("signed.exe");
  auto text = CodeSectionCrc(program);
  ASSERT_TRUE(text);
  std::string inCode = program;
  inCode[0x400 + 2] ^= 0x01;
  ASSERT_NE(CodeSectionCrc(inCode), text) << "the fixture's code starts at 0x400";
  EXPECT_EQ(CheckFileCrc(inCode), TFileCheck::Corrupt);
  std::string inTable = ReadFixture("tiny.exe");
  inTable[inTable.size() - 20] ^= 0x01;
  EXPECT_EQ(CheckFileCrc(inTable), TFileCheck::Corrupt);
}

}  // namespace
}  // namespace vm

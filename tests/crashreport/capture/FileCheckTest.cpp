// The integrity self-check: a file stamped as postlink.py stamps it passes, any changed
// byte fails, and files without a filled stamp are told apart from damaged ones.
#include <gtest/gtest.h>
#include <zlib.h>

#include "crashreport/capture/FileCheck.h"

namespace vm {
namespace {

// The stamp's 12 magic bytes, as the program carries them.
std::string Magic() {
  std::string m;
  for (int i = 0; i < 12; ++i) m += char(kFileCrcStamp[i]);
  return m;
}

// As postlink.py does: the CRC of the whole file with the value bytes zero, then written in.
std::string Stamped(std::string file) {
  std::size_t at = file.find(Magic());
  uLong crc = crc32(0, reinterpret_cast<const Bytef*>(file.data()), uInt(file.size()));
  for (int i = 0; i < 4; ++i) file[at + 12 + std::size_t(i)] = char(crc >> (8 * i));
  return file;
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
}

}  // namespace
}  // namespace vm

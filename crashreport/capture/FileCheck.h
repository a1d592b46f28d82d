// The integrity self-check of the program file (`CheckFileCrc`). postlink.py, run after
// linking and again after `make dist` strips the program, finds the stamp below in the
// file and writes into it the CRC-32 of the bytes that a code signature's hash covers
// (PeLayout.h), with the stamp's four value bytes as zero. So signing the program, signing
// it again or removing the signature changes nothing the check sees, while a changed byte
// of code, data, resources or the symbol table is still caught. At start the reporter reads
// its own file and compares. Tests: tests/crashreport/capture/FileCheckTest.cpp.
#pragma once

#include <cstdint>
#include <string_view>

namespace vm {

enum class TFileCheck { Intact, Corrupt, Unstamped };

// 12 bytes that occur once in the program file, then the CRC-32 (little-endian).
// Volatile, so that the stamp is kept and read from the image, never folded away.
extern const volatile unsigned char kFileCrcStamp[16];

// Checks `file` against the stamp it carries. Unstamped: the file has no stamp, or one
// still holding zero (a build that postlink.py has not seen).
TFileCheck CheckFileCrc(std::string_view file, const volatile unsigned char* stamp = kFileCrcStamp);

}  // namespace vm

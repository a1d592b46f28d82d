// Small hand-made PE files for the tests of the file check and the symbol table: a PE32
// header with its 16 data-directory entries and one ".text" section, and what a signer
// does to such a file.
#pragma once

#include <cstdint>
#include <cstring>
#include <string>

namespace vm::tinype {

constexpr std::size_t kNtAt = 0x40, kOptionalAt = kNtAt + 24, kCheckSumAt = kOptionalAt + 64;
constexpr std::size_t kCertEntryAt = kOptionalAt + 96 + 8 * 4, kCodeAt = 0x200;

inline void Put32(std::string& bytes, std::size_t at, std::uint32_t v) {
  for (int i = 0; i < 4; ++i) bytes[at + std::size_t(i)] = char(v >> (8 * i));
}

// Headers (0x200 bytes) and `code` as the raw bytes of ".text".
inline std::string Make(const std::string& code) {
  std::string pe(kCodeAt, '\0');
  std::memcpy(&pe[0], "MZ", 2);
  Put32(pe, 0x3C, kNtAt);
  std::memcpy(&pe[kNtAt], "PE\0\0", 4);
  pe[kNtAt + 4] = 0x4C;  // i386
  pe[kNtAt + 5] = 0x01;
  pe[kNtAt + 6] = 1;           // one section
  pe[kNtAt + 20] = char(224);  // the optional header of PE32 with 16 directory entries
  pe[kOptionalAt] = 0x0B;
  pe[kOptionalAt + 1] = 0x01;
  Put32(pe, kOptionalAt + 60, kCodeAt);  // SizeOfHeaders
  Put32(pe, kOptionalAt + 92, 16);       // NumberOfRvaAndSizes
  std::size_t section = kOptionalAt + 224;
  std::memcpy(&pe[section], ".text", 5);
  Put32(pe, section + 8, std::uint32_t(code.size()));
  Put32(pe, section + 12, 0x1000);
  Put32(pe, section + 16, std::uint32_t(code.size()));
  Put32(pe, section + 20, kCodeAt);
  return pe + code;
}

// As a signer does: a new CheckSum, the certificate data appended and named by the entry.
inline std::string Signed(std::string pe, const std::string& certificates) {
  Put32(pe, kCheckSumAt, 0x12345678);
  Put32(pe, kCertEntryAt, std::uint32_t(pe.size()));
  Put32(pe, kCertEntryAt + 4, std::uint32_t(certificates.size()));
  return pe + certificates;
}

}  // namespace vm::tinype

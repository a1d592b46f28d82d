// What the integrity check and the symbol table need to know of a PE file's layout: where
// the optional header's CheckSum and the certificate-table entry sit, where the sections'
// raw bytes lie, and where the file's own content ends and a signature's certificate data
// begins. Signing writes those two header fields and appends the certificate data; the
// rest of the file stays as it was. Every offset is checked against the file's real size.
// Entry point: ReadPeLayout. Tests: tests/crashreport/capture/FileCheckTest.cpp.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string_view>
#include <vector>

namespace vm {

// Little-endian fields at `at`; the caller has checked that they lie inside `bytes`.
std::uint32_t ReadLe32(std::string_view bytes, std::size_t at);
std::uint16_t ReadLe16(std::string_view bytes, std::size_t at);

struct TByteRange {
  std::size_t From = 0, To = 0;  // [From, To)
};

struct TPeSection {
  std::string_view Name;  // up to 8 bytes, without the padding NULs
  TByteRange Raw;         // the section's bytes in the file
};

struct TPeLayout {
  std::optional<std::size_t> CheckSumAt;   // the optional header's CheckSum field (4 bytes)
  std::optional<std::size_t> CertEntryAt;  // the certificate-table data-directory entry (8 bytes)
  // Where the certificate data begins: the file's size when the file is unsigned or its
  // entry does not describe certificate data at the end of the file, behind every section.
  std::size_t ContentEnd = 0;
  std::vector<TPeSection> Sections;
};

// Nothing when `file` is not a PE file or its headers do not fit in it. The section names
// point into `file`.
std::optional<TPeLayout> ReadPeLayout(std::string_view file);

// The bytes that a signature's hash covers, in file order: all but the CheckSum field, the
// certificate-table entry and the certificate data. The whole file when it is no PE file.
std::vector<TByteRange> SignedHashRanges(std::string_view file);

}  // namespace vm

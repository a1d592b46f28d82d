#include "crashreport/capture/PeLayout.h"

#include <algorithm>
#include <cstdint>

namespace vm {

std::uint32_t ReadLe32(std::string_view bytes, std::size_t at) {
  std::uint32_t v = 0;
  for (int i = 3; i >= 0; --i) v = (v << 8) | std::uint8_t(bytes[at + std::size_t(i)]);
  return v;
}
std::uint16_t ReadLe16(std::string_view bytes, std::size_t at) {
  return std::uint16_t(std::uint8_t(bytes[at]) | std::uint8_t(bytes[at + 1]) << 8);
}

namespace {

constexpr std::uint16_t kPe32 = 0x10B, kPe32Plus = 0x20B;
constexpr std::size_t kFileHeaderSize = 24;  // "PE\0\0" and the COFF header
constexpr std::size_t kSectionHeaderSize = 40;
constexpr std::size_t kCheckSumOffset = 64;       // in the optional header, both formats
constexpr std::size_t kSizeOfHeadersOffset = 60;  // likewise
constexpr std::uint32_t kCertificateTable = 4;    // data-directory index

struct TOptionalHeader {
  std::size_t At, Size;
  std::size_t DirectoryAt;  // the data directory, 0 when the format is unknown
};

// The certificate data as its entry describes it, or nothing when the entry is empty or
// points anywhere but to the end of the file behind the headers and every section.
std::optional<TByteRange> CertificateData(std::string_view file, std::size_t entryAt, std::size_t sizeOfHeaders,
                                          const std::vector<TPeSection>& sections) {
  std::uint64_t from = ReadLe32(file, entryAt), size = ReadLe32(file, entryAt + 4);
  if (from == 0 || size == 0 || from + size != file.size()) return std::nullopt;
  std::uint64_t contentEnd = sizeOfHeaders;
  for (const TPeSection& s : sections) contentEnd = std::max<std::uint64_t>(contentEnd, s.Raw.To);
  if (from < contentEnd) return std::nullopt;
  return TByteRange{std::size_t(from), file.size()};
}

}  // namespace

std::optional<TPeLayout> ReadPeLayout(std::string_view file) {
  if (file.size() < 0x40 || file.substr(0, 2) != "MZ") return std::nullopt;
  std::uint64_t nt = ReadLe32(file, 0x3C);
  if (nt + kFileHeaderSize > file.size() || file.substr(std::size_t(nt), 4) != std::string_view("PE\0\0", 4))
    return std::nullopt;
  std::size_t sectionCount = ReadLe16(file, std::size_t(nt) + 6);
  TOptionalHeader optional{std::size_t(nt) + kFileHeaderSize, ReadLe16(file, std::size_t(nt) + 20), 0};
  std::uint64_t table = std::uint64_t(optional.At) + optional.Size;
  if (table + kSectionHeaderSize * sectionCount > file.size()) return std::nullopt;

  TPeLayout layout;
  layout.ContentEnd = file.size();
  for (std::size_t i = 0; i < sectionCount; ++i) {
    std::size_t s = std::size_t(table) + kSectionHeaderSize * i;
    std::string_view name = file.substr(s, 8);
    name = name.substr(0, std::min(name.size(), name.find('\0')));
    std::uint64_t rawSize = ReadLe32(file, s + 16), rawAt = ReadLe32(file, s + 20);
    // A section whose bytes lie beyond the file (a cut-off download) keeps what is there.
    std::size_t from = std::size_t(std::min<std::uint64_t>(rawAt, file.size()));
    std::size_t to = std::size_t(std::min<std::uint64_t>(rawAt + rawSize, file.size()));
    layout.Sections.push_back({name, {from, to}});
  }

  std::uint16_t magic = optional.Size >= 2 ? ReadLe16(file, optional.At) : 0;
  if (magic == kPe32) optional.DirectoryAt = optional.At + 96;
  if (magic == kPe32Plus) optional.DirectoryAt = optional.At + 112;
  if (!optional.DirectoryAt || optional.Size < kCheckSumOffset + 4) return layout;
  layout.CheckSumAt = optional.At + kCheckSumOffset;
  if (optional.DirectoryAt > optional.At + optional.Size) return layout;
  std::size_t entries = ReadLe32(file, optional.DirectoryAt - 4);
  std::size_t entryAt = optional.DirectoryAt + 8 * kCertificateTable;
  if (entries <= kCertificateTable || entryAt + 8 > optional.At + optional.Size) return layout;
  layout.CertEntryAt = entryAt;
  std::size_t sizeOfHeaders = ReadLe32(file, optional.At + kSizeOfHeadersOffset);
  if (auto certificates = CertificateData(file, entryAt, sizeOfHeaders, layout.Sections))
    layout.ContentEnd = certificates->From;
  return layout;
}

std::vector<TByteRange> SignedHashRanges(std::string_view file) {
  auto layout = ReadPeLayout(file);
  if (!layout) return {{0, file.size()}};
  std::vector<TByteRange> ranges;
  std::size_t at = 0;
  for (auto [field, size] : {std::pair{layout->CheckSumAt, 4}, std::pair{layout->CertEntryAt, 8}}) {
    if (!field) continue;
    ranges.push_back({at, *field});
    at = *field + std::size_t(size);
  }
  ranges.push_back({at, layout->ContentEnd});
  return ranges;
}

}  // namespace vm

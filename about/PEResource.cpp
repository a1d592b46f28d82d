// The version resource of a PE file; covered by tests/about/PEResourceTest.cpp and the
// fuzz_pe_versions target. Every offset read from the file is checked before use: a
// damaged file yields "no resource".
#include "about/PEResource.h"

#include <vector>

namespace vm {

namespace {

// Header offsets (winnt.h).
constexpr size_t kDosHeaderBytes = 64, kDosNewHeaderAt = 0x3C;
constexpr size_t kFileHeaderAt = 4, kSectionCountAt = 2, kOptionalSizeAt = 16;
constexpr size_t kOptionalHeaderAt = 24;  // signature and file header
constexpr uint16_t kMagicPE32 = 0x10B, kMagicPE32Plus = 0x20B;
constexpr size_t kDirectoryCountAt32 = 92, kDirectoryCountAt64 = 108;
constexpr uint32_t kResourceDirectory = 2;
constexpr size_t kSectionHeaderBytes = 40, kMaxSections = 96;  // the loader's own limit
// IMAGE_RESOURCE_DIRECTORY, its entries and IMAGE_RESOURCE_DATA_ENTRY.
constexpr size_t kResDirBytes = 16, kResNamedCountAt = 12, kResEntryBytes = 8, kResDataBytes = 16;
constexpr uint32_t kResSubdirectory = 0x80000000u, kResNamedEntry = 0x80000000u;
constexpr uint32_t kLangNeutral = 0, kLangEnglishUS = 0x0409;
constexpr size_t kMaxVersionBytes = 0x10000;

uint16_t Word(const std::string& b, size_t at) { return uint16_t(uint8_t(b[at]) | uint8_t(b[at + 1]) << 8); }
uint32_t DWord(const std::string& b, size_t at) { return uint32_t(Word(b, at)) | uint32_t(Word(b, at + 2)) << 16; }

struct TSection {
  uint32_t VirtualAddress, RawSize, RawOffset;
};

struct TEntry {
  uint32_t Name, Data;
};

class TPEFile {
public:
  explicit TPEFile(const TByteSource& file) : FFile(file) {}

  // Reads the headers; true when the file is a PE image with a resource directory.
  bool Open();
  std::optional<std::string> VersionResource() const;

private:
  bool ReadRva(uint32_t rva, size_t count, std::string& out) const;
  std::optional<std::vector<TEntry>> Directory(uint32_t offset) const;
  std::optional<uint32_t> Subdirectory(uint32_t offset, uint32_t id) const;
  std::optional<uint32_t> PreferredLanguage(uint32_t offset) const;

  const TByteSource& FFile;
  std::vector<TSection> FSections;
  uint32_t FResourceRva = 0;
};

bool TPEFile::Open() {
  std::string dos, nt, sections;
  if (!FFile.ReadAt(0, kDosHeaderBytes, dos) || dos[0] != 'M' || dos[1] != 'Z') return false;
  uint64_t ntAt = DWord(dos, kDosNewHeaderAt);
  if (!FFile.ReadAt(ntAt, kOptionalHeaderAt + 2, nt) || nt.compare(0, 4, "PE\0\0", 4) != 0) return false;
  size_t optionalBytes = Word(nt, kFileHeaderAt + kOptionalSizeAt);
  size_t sectionCount = Word(nt, kFileHeaderAt + kSectionCountAt);
  if (optionalBytes < 2 || sectionCount > kMaxSections || !FFile.ReadAt(ntAt, kOptionalHeaderAt + optionalBytes, nt))
    return false;

  uint16_t magic = Word(nt, kOptionalHeaderAt);
  size_t countAt = kOptionalHeaderAt;
  if (magic == kMagicPE32)
    countAt += kDirectoryCountAt32;
  else if (magic == kMagicPE32Plus)
    countAt += kDirectoryCountAt64;
  else
    return false;
  size_t resourceAt = countAt + 4 + kResourceDirectory * 8;
  if (nt.size() < resourceAt + 8 || DWord(nt, countAt) <= kResourceDirectory) return false;
  FResourceRva = DWord(nt, resourceAt);
  if (FResourceRva == 0) return false;

  if (!FFile.ReadAt(ntAt + kOptionalHeaderAt + optionalBytes, sectionCount * kSectionHeaderBytes, sections))
    return false;
  for (size_t i = 0; i < sectionCount; ++i) {
    size_t at = i * kSectionHeaderBytes;
    FSections.push_back(TSection{DWord(sections, at + 12), DWord(sections, at + 16), DWord(sections, at + 20)});
  }
  return true;
}

// Resource data lies where a flat mapping of the file puts it: in some section's raw bytes.
bool TPEFile::ReadRva(uint32_t rva, size_t count, std::string& out) const {
  for (const TSection& s : FSections) {
    if (rva < s.VirtualAddress) continue;
    uint64_t into = rva - s.VirtualAddress;
    if (into < s.RawSize && count <= s.RawSize - into) return FFile.ReadAt(s.RawOffset + into, count, out);
  }
  return false;
}

std::optional<std::vector<TEntry>> TPEFile::Directory(uint32_t offset) const {
  std::string head, raw;
  uint64_t rva = uint64_t(FResourceRva) + offset;
  if (rva > UINT32_MAX - kResDirBytes || !ReadRva(uint32_t(rva), kResDirBytes, head)) return std::nullopt;
  size_t count = size_t(Word(head, kResNamedCountAt)) + Word(head, kResNamedCountAt + 2);
  if (!ReadRva(uint32_t(rva + kResDirBytes), count * kResEntryBytes, raw)) return std::nullopt;
  std::vector<TEntry> entries;
  for (size_t i = 0; i < count; ++i)
    entries.push_back(TEntry{DWord(raw, i * kResEntryBytes), DWord(raw, i * kResEntryBytes + 4)});
  return entries;
}

// The directory below the entry with the numeric `id`.
std::optional<uint32_t> TPEFile::Subdirectory(uint32_t offset, uint32_t id) const {
  std::optional<std::vector<TEntry>> entries = Directory(offset);
  if (!entries) return std::nullopt;
  for (const TEntry& e : *entries)
    if (!(e.Name & kResNamedEntry) && e.Name == id)
      return (e.Data & kResSubdirectory) ? std::optional<uint32_t>(e.Data & ~kResSubdirectory) : std::nullopt;
  return std::nullopt;
}

// The data entry of the preferred language: neutral, else US English, else the first.
std::optional<uint32_t> TPEFile::PreferredLanguage(uint32_t offset) const {
  std::optional<std::vector<TEntry>> entries = Directory(offset);
  if (!entries || entries->empty()) return std::nullopt;
  auto withLanguage = [&](uint32_t language) -> const TEntry* {
    for (const TEntry& e : *entries)
      if (e.Name == language) return &e;
    return nullptr;
  };
  const TEntry* chosen = withLanguage(kLangNeutral);
  if (!chosen) chosen = withLanguage(kLangEnglishUS);
  if (!chosen) chosen = &entries->front();
  if (chosen->Data & kResSubdirectory) return std::nullopt;
  return chosen->Data;
}

std::optional<std::string> TPEFile::VersionResource() const {
  std::optional<uint32_t> names = Subdirectory(0, kResourceTypeVersion);
  std::optional<uint32_t> languages = names ? Subdirectory(*names, kVersionResourceName) : std::nullopt;
  std::optional<uint32_t> data = languages ? PreferredLanguage(*languages) : std::nullopt;
  std::string entry, bytes;
  if (!data || uint64_t(FResourceRva) + *data > UINT32_MAX || !ReadRva(FResourceRva + *data, kResDataBytes, entry))
    return std::nullopt;
  size_t size = std::min<size_t>(DWord(entry, 4), kMaxVersionBytes);
  if (!ReadRva(DWord(entry, 0), size, bytes)) return std::nullopt;
  return bytes;
}

}  // namespace

std::optional<std::string> ReadVersionResource(const TByteSource& file) {
  TPEFile pe(file);
  if (!pe.Open()) return std::nullopt;
  return pe.VersionResource();
}

}  // namespace vm

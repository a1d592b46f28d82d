#include "app/CrashpadSettings.h"

#include "base/FileIO.h"

namespace vm {

namespace {

std::uint32_t ReadLE32(std::string_view bytes, std::size_t at) {
  std::uint32_t value = 0;
  for (std::size_t i = 4; i-- > 0;) value = value << 8 | std::uint8_t(bytes[at + i]);
  return value;
}

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// Where each byte of the text's 16 (in reading order) lies in the stored UUID: the first
// three groups are little-endian numbers.
constexpr std::array<std::uint8_t, 16> kStoredIndex = {3, 2, 1, 0, 5, 4, 7, 6, 8, 9, 10, 11, 12, 13, 14, 15};

bool IsHyphenAt(std::size_t i) { return i == 8 || i == 13 || i == 18 || i == 23; }

}  // namespace

std::optional<TUuid> UuidFromText(std::string_view text) {
  if (text.size() != 36) return std::nullopt;
  TUuid uuid{};
  std::size_t byte = 0;
  for (std::size_t i = 0; i < text.size();) {
    if (IsHyphenAt(i)) {
      if (text[i] != '-') return std::nullopt;
      ++i;
      continue;
    }
    int high = HexDigit(text[i]), low = HexDigit(text[i + 1]);
    if (high < 0 || low < 0) return std::nullopt;
    uuid[kStoredIndex[byte++]] = std::uint8_t(high << 4 | low);
    i += 2;
  }
  return uuid;
}

std::string UuidText(const TUuid& uuid) {
  static const char kDigits[] = "0123456789abcdef";
  std::string text;
  for (std::size_t byte = 0; byte < 16; ++byte) {
    if (byte == 4 || byte == 6 || byte == 8 || byte == 10) text += '-';
    std::uint8_t b = uuid[kStoredIndex[byte]];
    text += kDigits[b >> 4];
    text += kDigits[b & 15];
  }
  return text;
}

std::optional<TUuid> CrashpadIdInRecord(std::string_view bytes) {
  if (bytes.size() < kCrashpadRecordSize) return std::nullopt;
  if (ReadLE32(bytes, 0) != kCrashpadMagic || ReadLE32(bytes, 4) != kCrashpadVersion) return std::nullopt;
  TUuid uuid;
  for (std::size_t i = 0; i < uuid.size(); ++i) uuid[i] = std::uint8_t(bytes[kCrashpadIdOffset + i]);
  return uuid;
}

std::optional<std::string> RenewCrashpadRecord(std::string_view bytes, const TUuid& id) {
  if (!CrashpadIdInRecord(bytes)) return std::nullopt;
  std::string renewed(bytes);
  renewed.replace(kCrashpadIdOffset, id.size(), reinterpret_cast<const char*>(id.data()), id.size());
  return renewed;
}

std::u8string CrashpadSettingsPath(const std::u8string& localStatePath) {
  return FolderOf(localStatePath) + u8"Crashpad\\settings.dat";
}

TCrashpadID ReadCrashpadID(const std::u8string& path) {
  if (!FileExists(path)) return {};
  std::optional<TUuid> id = CrashpadIdInRecord(ReadFileDenyWrite(path, kMaxCrashpadFileBytes));
  if (!id) return {TCrashpadState::Unreadable, {}};
  return {TCrashpadState::Found, *id};
}

TCrashpadState WriteCrashpadID(const std::u8string& path, const TUuid& id) {
  if (!FileExists(path)) return TCrashpadState::Missing;
  std::optional<std::string> renewed = RenewCrashpadRecord(ReadFileDenyWrite(path, kMaxCrashpadFileBytes), id);
  if (!renewed) return TCrashpadState::Unreadable;
  ReplaceFileContents(path, *renewed);
  return TCrashpadState::Found;
}

}  // namespace vm

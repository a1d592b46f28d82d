// The installation ID of Chrome's crash reporter, which it sends with every crash report.
// It lives in "User Data\Crashpad\settings.dat", one binary record, little-endian:
//
//   offset  size  field
//        0     4  magic 'CPds' (0x43506473)
//        4     4  version, 1
//        8     4  options (whether uploads are enabled)
//       12     4  padding
//       16     8  time of the last upload attempt
//       24    16  the installation's UUID
//       40        (end of the record)
//
// Renewing the ID changes bytes 24 to 39 and nothing else. Records that do not look like
// this are left alone: the reporter makes a new file when it cannot read its own.
// Tests: tests/app/CrashpadSettingsTest.cpp, the fuzzer CrashpadRecordFuzzer.cpp and
// tests/e2e/test_id_copies.py.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace vm {

// A UUID as the record stores it: the first three groups little-endian, as a GUID lies in
// memory, the last eight bytes in the order they are written.
using TUuid = std::array<std::uint8_t, 16>;

// 8-4-4-4-12 hexadecimal digits in either case; nothing for any other text.
std::optional<TUuid> UuidFromText(std::string_view text);
// Lower case, as the crash reporter writes it in its reports.
std::string UuidText(const TUuid& uuid);

inline constexpr std::uint32_t kCrashpadMagic = 0x43506473;  // 'CPds'
inline constexpr std::uint32_t kCrashpadVersion = 1;
inline constexpr std::size_t kCrashpadIdOffset = 24;
inline constexpr std::size_t kCrashpadRecordSize = 40;

// The UUID of a record of the layout above; nothing for a short, wrongly tagged or other
// version's record. Bytes after the record are allowed and ignored.
std::optional<TUuid> CrashpadIdInRecord(std::string_view bytes);
// The same bytes with `id` in place of the record's UUID; nothing when the record is refused.
std::optional<std::string> RenewCrashpadRecord(std::string_view bytes, const TUuid& id);

// "Crashpad\settings.dat" in the folder of Chrome's "Local State" (paths in UTF-8).
std::u8string CrashpadSettingsPath(const std::u8string& localStatePath);

// The record is 40 bytes; a file far larger is not one, and is not loaded.
inline constexpr std::size_t kMaxCrashpadFileBytes = 64 * 1024;

enum class TCrashpadState { Missing, Unreadable, Found };

struct TCrashpadID {
  TCrashpadState State = TCrashpadState::Missing;
  TUuid Id{};
};

// Missing when no file is there, Unreadable when its record is refused. Throws EFOpenError
// when the file is there but cannot be read, or is larger than kMaxCrashpadFileBytes.
TCrashpadID ReadCrashpadID(const std::u8string& path);

// Reads the record afresh and, when it is found, swaps in a copy with `id` in one step (a
// failure leaves the file as it was and throws EFCreateError or EFOpenError; a read-only file
// is refused so). A missing or unreadable record is not touched; the state says which.
TCrashpadState WriteCrashpadID(const std::u8string& path, const TUuid& id);

}  // namespace vm

// Chrome's "Local State" file: where it lies, the client ID in it, replacing that ID, and
// whether Chrome is running on it. The only code that reads Chrome's file; the steps of a
// replacement are in app/IdReplacement.h. Tests: tests/app/ClientIdFileTest.cpp and the
// end-to-end tests in tests/e2e.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

namespace vm {

// The uniform ID that many users share.
inline constexpr const char* kUniformID = "11111111-2222-3333-4444-555555555555";

// The entry Chrome has always written, `"client_id": "<ID>"`, found ignoring case.
extern const char* const kClientIdExpression;
// Today's Chrome writes the ID minified as `"client_id2":"<ID>"`; tried when the first
// expression finds nothing.
extern const char* const kModernClientIdExpression;

// Chrome's settings file is well under a megabyte; anything this large is not one, and
// loading it could exhaust a 32-bit process.
inline constexpr size_t kMaxLocalStateBytes = size_t(64) << 20;

// The local application-data folder + "Google\Chrome\User Data\Local State", in UTF-8 so
// that a profile folder outside the ANSI code page is found.
std::u8string GetLocalStatePath();
// Builds the path from a folder, which may be empty when the lookup failed.
std::u8string LocalStatePathIn(const std::u8string& folder);

// The client-ID entry of a file's text: the ID as written, and where it stands in the text
// the ID logic works on (lines joined with CR LF, up to the first NUL).
struct TClientIdEntry {
  std::string Id;
  size_t Offset = 0;
};

// The same on a file's bytes: the ID of its entry, and the whole new file with `newId` in
// place of that entry's ID (nothing when there is no entry).
std::optional<std::string> FindClientIdInText(std::string_view fileBytes);
std::optional<TClientIdEntry> FindClientIdEntry(std::string_view fileBytes);
std::optional<std::string> ReplaceClientIdInText(std::string_view fileBytes, const std::string& newId);

// True for a text of the form the program reads as an ID: blocks of 8, 4, 4, 4 and 12
// digits or letters joined by hyphens. Only such texts are ever written into the file.
bool IsClientIdForm(std::string_view text);

// True and the ID, character for character as in the file, when the file has an entry;
// `id` is left untouched otherwise. Throws EFOpenError when the file cannot be read or is
// larger than kMaxLocalStateBytes.
bool ReadClientID(const std::u8string& path, std::string& id);

// "lockfile" beside "Local State": a running Chrome holds it open for writing and lets
// others only read it; it is deleted when Chrome ends, and one left by a crash is held by
// nobody.
std::u8string ChromeLockFile(const std::u8string& localStatePath);
// True while a Chrome holds the lock of this user-data folder. The check opens nothing that
// Chrome would need.
bool ChromeIsRunning(const std::u8string& localStatePath);

// True when the bytes read back after a write are the bytes written, and the entry found in
// them holds `newId`.
bool WrittenFileHolds(std::string_view written, std::string_view readBack, const std::string& newId);

}  // namespace vm

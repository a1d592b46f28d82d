// Chrome's "Local State" file: where it lies, the client ID in it, and replacing that ID.
// The only code that touches Chrome's file. Tests: tests/app/ClientIdFileTest.cpp and the
// end-to-end tests in tests/e2e.
#pragma once

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

// The local application-data folder + "Google\Chrome\User Data\Local State".
std::string GetLocalStatePath();
// Builds the path from a folder, which may be empty when the lookup failed.
std::string LocalStatePathIn(const std::string& folder);

// The same on a file's bytes: the ID of its entry, and the whole new file with `newId` in
// place of the first occurrence of that ID (nothing when there is no entry).
std::optional<std::string> FindClientIdInText(std::string_view fileBytes);
std::optional<std::string> ReplaceClientIdInText(std::string_view fileBytes, const std::string& newId);

// True and the ID, character for character as in the file, when the file has an entry;
// `id` is left untouched otherwise. Throws EFOpenError when the file cannot be read.
bool ReadClientID(const std::string& path, std::string& id);

// Puts `newId` in place of the first occurrence of the file's current ID and rewrites the
// file with CR LF after every line. False, with the file untouched, when it has no entry.
// The file is replaced in one step, so a failure leaves it as it was; throws EFOpenError
// or EFCreateError (naming the file) when it cannot be read or written.
bool WriteClientID(const std::string& path, const std::string& newId);

}  // namespace vm

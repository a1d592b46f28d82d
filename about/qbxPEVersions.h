// Version information of a Windows executable, as the About dialog shows it: the list of
// translations and, per translation, the standard texts as "Key=value" lines.
// The reader parses the file itself (PEResource, VersionBlock), so it works the same on
// Windows and on the host; tests/about/PlatformVersionsTest_win32.cpp holds it against
// the platform's version library.
#pragma once

#include <array>
#include <optional>
#include <string>
#include <string_view>

#include "about/VersionBlock.h"
#include "base/StringList.h"

namespace vm {

// The keys of a result list, in their order. The last one, "Translators", is written only
// when it has a value; the others always are, empty or not.
inline constexpr std::array<std::string_view, 13> VersionKeys = {
    "FileVersion",     "CompanyName",      "InternalName", "Comments",       "LegalCopyright",
    "LegalTrademarks", "OriginalFilename", "ProductName",  "ProductVersion", "FileDescription",
    "PrivateBuild",    "SpecialBuild",     "Translators"};

// Number of translations of the file; 0 when it cannot be read or has no version information.
int GetTranslationCount(const std::string& fileName);

// Appends the lines of the key table for translation `index` to `list` and returns true.
// False, with `list` untouched, when the file has no readable version information or no
// translation `index`.
bool GetVersionInfo(const std::string& fileName, int index, TStringList& list);

// The loaded version block of a file, or nothing.
std::optional<TVersionBlock> LoadVersionBlock(const std::string& fileName);

// The line "key=value" for one key of a translation's string table; "key=" when absent.
std::string QueryVersionString(std::string_view key, const TVersionBlock& block, TTranslation translation);

// "\StringFileInfo\" + language and code page as 8 upper-case hex digits + "\" + key.
std::string VersionStringPath(std::string_view key, TTranslation translation);

// GetVersionInfo on a block already loaded.
bool AppendVersionStrings(const TVersionBlock& block, int index, TStringList& list);

}  // namespace vm

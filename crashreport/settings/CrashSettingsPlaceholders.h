// Placeholder expansion of the reporter's texts ("%appname%", "%datetime%", ...).
// Entry point: ExpandPlaceholders. Tests: tests/crashreport/settings/CrashSettingsPlaceholdersTest.cpp.
#pragma once

#include <functional>
#include <optional>
#include <string>
#include <string_view>

#include "crashreport/settings/CrashSettingsSystem.h"

namespace vm {

struct TPlaceholderValues {
  std::string AppName, ModName;        // file names with extension
  std::string AppVersion, ModVersion;  // version texts, "?" without a version
  // Left as the placeholders themselves when absent: only the reader that has the
  // exception and its report fills them.
  std::optional<std::string> ExceptMsg, BugReport;
  TLocalTime Now;
  // Asked only when the text names the folder; the result has no trailing backslash.
  std::function<std::string()> UserAppData, CommonAppData;
};

// Replaces every placeholder, ignoring case. The text is scanned once, so a value put in
// (a message or a report that itself contains "%date%") is never expanded again.
std::string ExpandPlaceholders(std::string_view text, const TPlaceholderValues& values);

std::string FormatPlaceholderDate(const TLocalTime& t);  // 2026-01-05
std::string FormatPlaceholderTime(const TLocalTime& t);  // 09:07:03, 45ms

// A shell folder for the placeholders: without its trailing backslash, and the folder of
// the executable when the shell gives nothing.
std::string PlaceholderFolder(std::string shellPath, std::string_view exePath);

}  // namespace vm

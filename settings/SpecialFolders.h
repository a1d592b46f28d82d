// Where the system keeps a folder: the Windows and system folders, shell special folders
// by their CSIDL number (with registry fallbacks for older systems), and the Control
// Panel's folder name. Each returns the empty text when it finds nothing.
// Tests: tests/settings/SpecialFoldersTest.cpp.
#pragma once

#include <string>

namespace vm {

// The shell's CSIDL numbers (the Windows headers take the CSIDL_* names as macros).
enum : int {
  kCsidlFavorites = 6,
  kCsidlTemplates = 21,
  kCsidlAppData = 26,
  kCsidlLocalAppData = 28,
  kCsidlCommonFavorites = 31,
  kCsidlCommonAppData = 35,
  kCsidlWindows = 36,
  kCsidlSystem = 37,
  kCsidlProgramFiles = 38,
  kCsidlCommonTemplates = 45,
  kCsidlCommonDocuments = 46,
};

std::string GetWindowsDir();
std::string GetSystemDir();
std::string GetSpecialFolder(int csidl);
// The same folder in UTF-8, for file names that the ANSI code page cannot spell.
std::u8string GetSpecialFolderUtf8(int csidl);
// Traces "MySpecialDir" to the debugger on every call; an error of a fallback's registry
// read reaches the caller.
std::string GetSpecialFolderEx(int csidl);
// `base` + "\" + the Control Panel's display name in the system's language.
std::string GetControlPanelFolder(const std::string& prefix, const std::string& base);

}  // namespace vm

#include "settings/SpecialFolders.h"

#include "base/Text.h"
#include "settings/MyRegistry.h"
#include "settings/ShellApi.h"

namespace vm {

namespace {

constexpr const char* kShellFoldersKey = "\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders\\";
constexpr const char* kControlPanelClsid = "Software\\CLASSES\\CLSID\\{21EC2020-3AEA-1069-A2DD-08002B30309D}\\";

std::string ReadText(THKey root, const std::string& key, const std::string& name) {
  std::string text;
  RegReadText(root, key, name, text, 32);
  return text;
}

}  // namespace

std::string GetWindowsDir() {
  char buffer[511] = {};
  ShellApi().WindowsDirectory(buffer, sizeof buffer);
  return std::string(UpToNul(std::string_view(buffer, sizeof buffer)));
}

std::string GetSystemDir() {
  char buffer[511] = {};
  ShellApi().SystemDirectory(buffer, sizeof buffer);
  return std::string(UpToNul(std::string_view(buffer, sizeof buffer)));
}

std::string GetSpecialFolder(int csidl) {
  try {
    IShellApi& shell = ShellApi();
    void* idList = nullptr;
    if (!shell.SpecialFolderLocation(csidl, idList)) return {};
    char path[IShellApi::kMaxPath] = {};
    bool converted = shell.PathFromIDList(idList, path);
    // The list is the caller's to free whether or not it converts.
    shell.FreeIDList(idList);
    if (!converted) return {};
    return std::string(UpToNul(std::string_view(path, sizeof path)));
  } catch (...) {
    return {};
  }
}

std::u8string GetSpecialFolderUtf8(int csidl) {
  try {
    IShellApi& shell = ShellApi();
    void* idList = nullptr;
    if (!shell.SpecialFolderLocation(csidl, idList)) return {};
    std::string path;
    bool converted = shell.PathFromIDListUtf8(idList, path);
    shell.FreeIDList(idList);
    if (!converted) return {};
    return std::u8string(path.begin(), path.end());
  } catch (...) {
    return {};
  }
}

std::string GetSpecialFolderEx(int csidl) {
  ShellApi().DebugTrace("MySpecialDir");
  std::string folder = GetSpecialFolder(csidl);
  if (!folder.empty()) return folder;
  switch (csidl) {
    case kCsidlFavorites:
      return ReadText(kHKeyCurrentUser, kShellFoldersKey, "Favorites");
    case kCsidlTemplates:
      return ReadText(kHKeyCurrentUser, kShellFoldersKey, "Templates");
    case kCsidlCommonFavorites:
      return ReadText(kHKeyLocalMachine, kShellFoldersKey, "Common Favorites");
    case kCsidlCommonAppData:
      return GetSpecialFolder(kCsidlAppData);
    case kCsidlWindows:
      return GetWindowsDir();
    case kCsidlSystem:
      return GetSystemDir();
    case kCsidlProgramFiles:
      return ReadText(kHKeyLocalMachine, "\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\", "ProgramFilesDir");
    case kCsidlCommonTemplates:
      return ReadText(kHKeyLocalMachine, kShellFoldersKey, "Common Templates");
    case kCsidlCommonDocuments:
      return ReadText(kHKeyLocalMachine, kShellFoldersKey, "Common Documents");
    default:
      return {};
  }
}

std::string GetControlPanelFolder(const std::string& prefix, const std::string& base) {
  try {
    const std::string key = "\\" + prefix + kControlPanelClsid;
    std::string name;
    RegReadText(kHKeyLocalMachine, key, "", name, 32);
    if (name.empty()) RegReadText(kHKeyLocalMachine, key, "", name, 64);
    if (name.empty()) name = "Systemsteuerung";
    return base + "\\" + name;
  } catch (...) {
    return "C:\\Windows\\Systemsteuerung";
  }
}

}  // namespace vm

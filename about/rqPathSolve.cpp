#include "about/rqPathSolve.h"

#include "base/Text.h"
#include "settings/MyRegistry.h"
#include "settings/SpecialFolders.h"

namespace vm {

TStringList PathMacros;

namespace {

// Special folders by CSIDL number; -1 marks a macro that other build steps fill.
struct TPathSolveConfig {
  int Csidl;
  const char* Name;
};

constexpr TPathSolveConfig kSpecialFolders[] = {
    {-1, "SYSDRIVE"},
    {36, "WINDIR"},
    {-1, "WINDIR2"},
    {37, "SYSDIR"},
    {-1, "SYSDIR2"},
    {20, "FONTS"},
    {3, "CONTROLS"},
    {-1, "SYSCPLDIR"},
    {-1, "PATH"},
    {38, "PROGRAMFILES"},
    {43, "COMMONPROGRAMFILES"},
    {62, "PROFILES"},
    {40, "PROFILE"},
    {26, "APPDATA"},
    {-1, "QUICKLAUNCH"},
    {0, "ADESKTOP"},
    {16, "DESKTOP"},
    {6, "FAVORITES"},
    {-1, "LOCALSETTINGS"},
    {28, "LOCALAPPDATA"},
    {5, "PERSONAL"},
    {12, "MYDOCUMENTS"},
    {13, "MYMUSIC"},
    {14, "MYVIDEO"},
    {19, "NETHOOD"},
    {27, "PRINTHOOD"},
    {8, "RECENT"},
    {9, "SENDTO"},
    {11, "STARTMENU"},
    {2, "PROGRAMS"},
    {29, "ALTSTARTUP"},
    {7, "STARTUP"},
    {21, "TEMPLATES"},
    {35, "COMMONAPPDATA"},
    {-1, "COMMONQUICKLAUNCH"},
    {25, "COMMONDESKTOP"},
    {46, "COMMONDOCUMENTS"},
    {53, "COMMONMUSIC"},
    {55, "COMMONVIDEO"},
    {31, "COMMONFAVORITES"},
    {22, "COMMONSTARTMENU"},
    {23, "COMMONPROGRAMS"},
    {30, "COMMONALTSTARTUP"},
    {24, "COMMONSTARTUP"},
    {45, "COMMONTEMPLATES"},
};

#define VM_SF "Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders\\"

struct TPathRegistryUpdaterRecord {
  const char* Macro;
  THKey Root;
  const char* KeyPath;
  const char* ValueName;
  bool Only32;
  bool KeyFromRoot;
  bool Overwrite;
  const char* Suffix;
  const char* CutAt;
};

const TPathRegistryUpdaterRecord kRegistryRows[] = {
    {"<$COMMONDESKTOP>", kHKeyLocalMachine, VM_SF, "Common Desktop", false, false, false, "", ""},
    {"<$COMMONAPPDATA>", kHKeyLocalMachine, VM_SF, "Common AppData", false, false, false, "", ""},
    {"<$COMMONSTARTUP>", kHKeyLocalMachine, VM_SF, "Common Startup", false, false, false, "", ""},
    {"<$COMMONSTARTMENU>", kHKeyLocalMachine, VM_SF, "Common Start Menu", false, false, false, "", ""},
    {"<$COMMONPROGRAMS>", kHKeyLocalMachine, VM_SF, "Common Programs", false, false, false, "", ""},
    {"<$COMMONFAVORITES>", kHKeyLocalMachine, VM_SF, "Common Favorites", false, false, false, "", ""},
    {"<$COMMONTEMPLATES>", kHKeyLocalMachine, VM_SF, "Common Templates", false, false, false, "", ""},
    {"<$COMMONDOCUMENTS>", kHKeyLocalMachine, VM_SF, "Common Documents", false, false, false, "", ""},
    // Read from the root, where this key does not exist: the shell's folder stays.
    {"<$COMMONPROGRAMFILES>", kHKeyLocalMachine, "Microsoft\\Windows\\CurrentVersion\\", "CommonFilesDir", false, true,
     true, "", ""},
    {"<$PROGRAMFILES>", kHKeyLocalMachine, "Microsoft\\Windows\\CurrentVersion\\", "ProgramFilesDir", false, false,
     true, "", ""},
    {"<$DESKTOP>", kHKeyCurrentUser, "Software\\" VM_SF, "Desktop", true, true, false, "", ""},
    {"<$APPDATA>", kHKeyCurrentUser, "Software\\" VM_SF, "AppData", true, true, false, "", ""},
    {"<$STARTUP>", kHKeyCurrentUser, "Software\\" VM_SF, "Startup", true, true, false, "", ""},
    {"<$STARTMENU>", kHKeyCurrentUser, "Software\\" VM_SF, "Start Menu", true, true, false, "", ""},
    {"<$PROGRAMS>", kHKeyCurrentUser, "Software\\" VM_SF, "Programs", true, true, false, "", ""},
    {"<$FAVORITES>", kHKeyCurrentUser, "Software\\" VM_SF, "Favorites", true, true, false, "", ""},
    {"<$TEMPLATES>", kHKeyCurrentUser, "Software\\" VM_SF, "Templates", true, true, false, "", ""},
    {"<$PERSONAL>", kHKeyCurrentUser, "Software\\" VM_SF, "Personal", true, true, false, "", ""},
    {"<$LOCALAPPDATA>", kHKeyCurrentUser, "Software\\" VM_SF, "Local AppData", true, true, false, "", ""},
    {"<$LOCALSETTINGS>", kHKeyCurrentUser, "Software\\" VM_SF, "Local Settings", true, true, false, "", ""},
    // The user's own PATH only; its first entry.
    {"<$PATH>", kHKeyCurrentUser, "Environment\\", "PATH", false, true, false, "", ";"},
};

#undef VM_SF

struct TTemplateCopyRecord {
  const char* Macro;
  const char* Source;
};

constexpr TTemplateCopyRecord kCopyRows[] = {
    {"<$COMMONALTSTARTUP>", "<$COMMONSTARTUP>"},
    {"<$COMMONSTARTMENU>", "<$STARTMENU>"},
    {"<$COMMONPROGRAMS>", "<$PROGRAMS>"},
    {"<$COMMONFAVORITES>", "<$FAVORITES>"},
    {"<$ALTSTARTUP>", "<$STARTUP>"},
};

constexpr const char* kQuickLaunch = "\\Microsoft\\Internet Explorer\\Quick Launch";

std::string WithoutTrailingBackslash(std::string path) {
  if (!path.empty() && path.back() == '\\') path.pop_back();
  return path;
}

// The text up to and including its last "\" or ":".
std::string FolderPart(const std::string& path) {
  size_t at = path.find_last_of("\\:");
  return at == std::string::npos ? std::string() : path.substr(0, at + 1);
}

void Append(TStringList& macros, const std::string& name, const std::string& value) { macros.Add(name + "=" + value); }

// The folder that holds `inner`'s folder, without trailing backslash; empty when `inner`
// has no folder part.
std::string ParentFolder(const std::string& inner) {
  std::string folder = FolderPart(inner);
  if (folder.empty()) return {};
  folder = FolderPart(folder);
  if (!folder.empty()) folder.pop_back();
  return folder;
}

void AppendStartLines(TStringList& macros) {
  // Appended once per pass, so the second pass's empty line is the one a text resolves to.
  Append(macros, "<$LOCALSETTINGS>", "");
  Append(macros, "<$WINDIR2>", WithoutTrailingBackslash(GetWindowsDir()));
  Append(macros, "<$SYSDIR2>", WithoutTrailingBackslash(GetSystemDir()));
  Append(macros, "<$QUICKLAUNCH>", GetSpecialFolderEx(kCsidlAppData) + kQuickLaunch);
  Append(macros, "<$COMMONQUICKLAUNCH>", GetSpecialFolderEx(kCsidlCommonAppData) + kQuickLaunch);
  for (const TPathSolveConfig& row : kSpecialFolders) {
    if (row.Csidl < 0) continue;
    try {
      Append(macros, std::string("<$") + row.Name + ">", GetSpecialFolderEx(row.Csidl));
    } catch (...) {
      // A folder whose registry fallback fails is left out; the rest of the table still counts.
    }
  }
}

void ReadSystemFolders(TStringList& macros, const std::string& root, const std::string& software, int view) {
  const std::string nt = "Microsoft\\Windows NT\\CurrentVersion\\";
  const std::string cv = "Microsoft\\Windows\\CurrentVersion\\";
  const THKey hklm = kHKeyLocalMachine;
  ReadMacroFromRegistry(macros, "<$WINDIR>", hklm, "", "", false, 32, "SystemRoot", root + "Software\\" + nt);
  ReadMacroFromRegistry(macros, "<$WINDIR>", hklm, "", "", false, 32, "PathName", root + "Software\\" + nt);
  ReadMacroFromRegistry(macros, "<$SYSDIR>", hklm, "", "", false, 32, "WinDir", root + "Software\\" + cv + "Setup\\");
  ReadMacroFromRegistry(macros, "<$WINDIR>", hklm, "", "", false, 32, "SystemRoot", root + "Software\\" + cv);
  CopyMacroIfEmpty(macros, "<$WINDIR2>", "<$WINDIR>");
  ReadMacroFromRegistry(macros, "<$TEMP>", hklm, "", "\\Temp", false, view, "SystemRoot", "\\" + software + nt);
  ReadMacroFromRegistry(macros, "<$TEMP>", hklm, "", "\\Temp", false, view, "PathName", "\\" + software + nt);
  ReadMacroFromRegistry(macros, "<$TEMP>", hklm, "", "\\Temp", false, view, "SystemRoot", "\\" + software + cv);
  ReadMacroFromRegistry(macros, "<$SYSDIR>", hklm, "", "", false, 32, "SysDir", root + "Software\\" + cv + "Setup\\");
  ReadMacroFromRegistry(macros, "<$SYSDIR>", hklm, "", "", false, 32, "InstallerLocation",
                        root + "Software\\" + cv + "Installer\\");
  CopyMacroIfEmpty(macros, "<$SYSDIR2>", "<$SYSDIR>");
}

}  // namespace

void InitPathMacros() {
  PathMacros.Clear();
  BuildPathMacros(PathMacros, "", 64);
  BuildPathMacros(PathMacros, "", 32);
}

void BuildPathMacros(TStringList& macros, const std::string& prefix, int view) {
  if (prefix.empty()) AppendStartLines(macros);

  std::string software = prefix + "Software\\";
  if (view == 32 && RegKeyExistsView(kHKeyLocalMachine, "\\" + prefix + "Software\\Wow6432Node\\", 0))
    software = prefix + "Software\\Wow6432Node\\";

  for (const TPathRegistryUpdaterRecord& row : kRegistryRows) {
    if (row.Only32 && view != 32) continue;
    const std::string key = row.KeyFromRoot ? "\\" + prefix + row.KeyPath : "\\" + software + row.KeyPath;
    ReadMacroFromRegistry(macros, row.Macro, row.Root, row.CutAt, row.Suffix, row.Overwrite, view, row.ValueName, key);
  }
  for (const TTemplateCopyRecord& row : kCopyRows) CopyMacroIfEmpty(macros, row.Macro, row.Source);

  macros.SetValue("<$SYSDRIVE>", macros.Values("<$WINDIR>").substr(0, 2));
  if (macros.Values("<$PROFILE>").empty()) {
    std::string profile = ParentFolder(macros.Values("<$DESKTOP>"));
    if (!profile.empty()) macros.SetValue("<$PROFILE>", profile);
  }
  if (macros.Values("<$PROFILES>").empty()) {
    std::string profiles = ParentFolder(macros.Values("<$PROFILE>"));
    if (!profiles.empty()) macros.SetValue("<$PROFILES>", profiles);
  }

  ReadSystemFolders(macros, "\\" + prefix, software, view);
  macros.SetValue("<$SYSCPLDIR>", GetControlPanelFolder(prefix, macros.Values("<$WINDIR>")));
  CopyMacroIfEmpty(macros, "<$CONTROLS>", "<$SYSCPLDIR>");
}

void ReadMacroFromRegistry(TStringList& macros, const std::string& macro, THKey root, const std::string& cutAt,
                           const std::string& suffix, bool overwrite, int view, const std::string& valueName,
                           const std::string& keyPath) {
  if (!overwrite && !macros.Values(macro).empty()) return;
  std::string text;
  if (!RegReadText(root, keyPath, valueName, text, view)) return;
  if (!cutAt.empty()) {
    size_t at = text.find(cutAt);
    if (at != std::string::npos) text = WithoutTrailingBackslash(text.substr(0, at));
  }
  macros.SetValue(macro, WithoutTrailingBackslash(text + suffix));
}

void CopyMacroIfEmpty(TStringList& macros, const std::string& macro, const std::string& source) {
  if (macros.Values(macro).empty()) macros.SetValue(macro, WithoutTrailingBackslash(macros.Values(source)));
}

namespace {

// Every occurrence of `name` in `text`, in any letter case, becomes `value`; the inserted
// value is not searched again.
std::string ReplaceIgnoringCase(const std::string& text, const std::string& name, const std::string& value) {
  const std::string upperText = UpperCase(text), upperName = UpperCase(name);
  std::string out;
  size_t from = 0;
  for (size_t at; (at = upperText.find(upperName, from)) != std::string::npos; from = at + name.size())
    out += text.substr(from, at - from) + value;
  return out + text.substr(from);
}

std::string ReplaceAll(std::string text, const std::string& what, const std::string& with) {
  for (size_t at = 0; (at = text.find(what, at)) != std::string::npos; at += with.size())
    text.replace(at, what.size(), with);
  return text;
}

}  // namespace

std::string ResolvePathMacros(const std::string& text) { return ResolvePathMacros(PathMacros, text); }

std::string ResolvePathMacros(const TStringList& macros, const std::string& text) {
  const bool pattern = text.compare(0, 9, "<regexpr>") == 0 || text.find("=<regexpr>") != std::string::npos;
  std::string result = text;
  for (int i = macros.Count() - 1; i >= 0; --i) {
    const std::string name = macros.Names(i);
    // The occurrence test honours case; the replacement then takes every spelling.
    if (name.empty() || result.find(name) == std::string::npos) continue;
    std::string value = macros.ValueFromIndex(i);
    if (pattern) value = EscapeForPattern(value);
    result = ReplaceIgnoringCase(result, name, value);
  }
  return result;
}

std::string EscapeForPattern(const std::string& text) {
  std::string escaped = ReplaceAll(text, "\\", "\\\\");
  escaped = ReplaceAll(escaped, "(", "\\(");
  escaped = ReplaceAll(escaped, ")", "\\)");
  return ReplaceAll(escaped, ".", "\\.");
}

}  // namespace vm

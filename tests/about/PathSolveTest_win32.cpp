// Path macros against the real shell and registry of the running system, each compared
// with what another system call says about the same folder.
#include <windows.h>

#include <gtest/gtest.h>
#include <shlobj.h>

#include "about/rqPathSolve.h"

namespace {

std::string FolderPath(int csidl) {
  char path[MAX_PATH] = "";
  EXPECT_EQ(S_OK, SHGetFolderPathA(nullptr, csidl, nullptr, SHGFP_TYPE_CURRENT, path)) << csidl;
  return path;
}

std::string WindowsDirectory() {
  char dir[MAX_PATH] = "";
  UINT n = GetWindowsDirectoryA(dir, MAX_PATH);
  return std::string(dir, n);
}

// Sets the user's own PATH for one test and puts back what was there.
class TUserPath {
public:
  explicit TUserPath(const std::string& value) {
    RegCreateKeyExA(HKEY_CURRENT_USER, "Environment", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &FKey, nullptr);
    DWORD size = sizeof FOld;
    FHad = RegQueryValueExA(FKey, "PATH", nullptr, &FType, reinterpret_cast<BYTE*>(FOld), &size) == ERROR_SUCCESS;
    FOldSize = size;
    RegSetValueExA(FKey, "PATH", 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()), DWORD(value.size() + 1));
  }
  ~TUserPath() {
    if (FHad)
      RegSetValueExA(FKey, "PATH", 0, FType, reinterpret_cast<const BYTE*>(FOld), FOldSize);
    else
      RegDeleteValueA(FKey, "PATH");
    RegCloseKey(FKey);
  }

private:
  HKEY FKey = nullptr;
  bool FHad = false;
  DWORD FType = REG_SZ, FOldSize = 0;
  char FOld[4096] = {};
};

TEST(PathMacrosOnTheSystem, FoldersOfThisUserAndMachine) {
  TUserPath path("C:\\Tools\\;C:\\Other");
  vm::TStringList macros;
  vm::BuildPathMacros(macros, "", 64);
  vm::BuildPathMacros(macros, "", 32);
  const std::string windows = WindowsDirectory();
  EXPECT_EQ(FolderPath(CSIDL_DESKTOPDIRECTORY) + "\\", vm::ResolvePathMacros(macros, "<$DESKTOP>\\"));
  EXPECT_EQ(windows.substr(0, 2), vm::ResolvePathMacros(macros, "<$SYSDRIVE>"));
  EXPECT_STRCASEEQ((windows + "\\Temp").c_str(), vm::ResolvePathMacros(macros, "<$TEMP>").c_str());
  EXPECT_EQ("C:\\Tools", vm::ResolvePathMacros(macros, "<$PATH>"));
  EXPECT_EQ(FolderPath(CSIDL_PROFILE), vm::ResolvePathMacros(macros, "<$PROFILE>"));
  EXPECT_EQ("", vm::ResolvePathMacros(macros, "<$LOCALSETTINGS>"));
}

TEST(PathMacrosOnTheSystem, TheProgramsTableIsBuiltOnce) {
  vm::InitPathMacros();
  const int lines = vm::PathMacros.Count();
  EXPECT_GT(lines, 80);  // two passes of more than forty macros each
  vm::InitPathMacros();
  EXPECT_EQ(lines, vm::PathMacros.Count());
  EXPECT_EQ(FolderPath(CSIDL_DESKTOPDIRECTORY) + "\\x", vm::ResolvePathMacros("<$DESKTOP>\\x"));
}

}  // namespace

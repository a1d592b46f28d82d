// Path macros over the in-memory registry and a shell that knows the folders it is given.
#include <gtest/gtest.h>

#include <cstring>
#include <map>
#include <set>

#include "about/rqPathSolve.h"
#include "settings/MemoryRegistry.h"
#include "settings/MyRegistry.h"
#include "settings/ShellApi.h"

namespace vm::test {
namespace {

const THKey HKCU = kHKeyCurrentUser;
const THKey HKLM = kHKeyLocalMachine;
const std::string kUserShellFolders = "\\Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders\\";

class TFolderShell : public IShellApi {
public:
  std::map<int, std::string> Folders;
  std::string WindowsDir = "C:\\Windows\\", SystemDir = "C:\\Windows\\system32";

  bool SpecialFolderLocation(int csidl, void*& idList) override {
    auto it = Folders.find(csidl);
    if (it == Folders.end()) return false;
    idList = &it->second;
    return true;
  }
  bool PathFromIDList(const void* idList, char* path) override {
    std::strcpy(path, static_cast<const std::string*>(idList)->c_str());
    return true;
  }
  void FreeIDList(void*) override {}
  unsigned WindowsDirectory(char* buffer, unsigned) override { return Copy(WindowsDir, buffer); }
  unsigned SystemDirectory(char* buffer, unsigned) override { return Copy(SystemDir, buffer); }
  void DebugTrace(const char*) override {}

private:
  static unsigned Copy(const std::string& s, char* buffer) {
    std::strcpy(buffer, s.c_str());
    return unsigned(s.size());
  }
};

class PathMacrosTest : public ::testing::Test {
protected:
  void SetUp() override {
    FShell.Folders = {
        {36, "C:\\Windows"},     {16, "C:\\Users\\ann\\Desktop"}, {26, "C:\\Users\\ann\\AppData\\Roaming"},
        {35, "C:\\ProgramData"}, {38, "C:\\Program Files"},       {7, "C:\\Users\\ann\\Start Menu\\Startup"}};
  }

  void Write(THKey root, const std::string& key, const std::string& name, const std::string& value, int view = 32) {
    ASSERT_TRUE(RegWriteValue(root, key, name, value, rkString, view)) << key << name;
  }

  TStringList Build() {
    TStringList macros;
    BuildPathMacros(macros, "", 64);
    BuildPathMacros(macros, "", 32);
    return macros;
  }

  TMemoryRegistry FRegistry;
  TFolderShell FShell;
  TUseRegistryApi FUseRegistry{FRegistry};
  TUseShellApi FUseShell{FShell};
};

TEST_F(PathMacrosTest, EveryMacroOfTheTablesGetsALine) {
  // A shell that knows every folder (but the Control Panel, which has no path).
  for (int csidl : {2,  5,  6,  7,  8,  9,  11, 12, 13, 14, 19, 20, 21, 22, 23, 24,
                    25, 27, 28, 29, 30, 31, 37, 40, 43, 45, 46, 53, 55, 62, 0})
    FShell.Folders[csidl] = "C:\\F" + std::to_string(csidl);
  TStringList macros = Build();
  std::set<std::string> names;
  for (int i = 0; i < macros.Count(); ++i) names.insert(macros.Names(i));
  for (const char* name : {"SYSDRIVE",        "WINDIR",
                           "WINDIR2",         "SYSDIR",
                           "SYSDIR2",         "FONTS",
                           "CONTROLS",        "SYSCPLDIR",
                           "PROGRAMFILES",    "COMMONPROGRAMFILES",
                           "PROFILES",        "PROFILE",
                           "APPDATA",         "QUICKLAUNCH",
                           "ADESKTOP",        "DESKTOP",
                           "FAVORITES",       "LOCALSETTINGS",
                           "LOCALAPPDATA",    "PERSONAL",
                           "MYDOCUMENTS",     "MYMUSIC",
                           "MYVIDEO",         "NETHOOD",
                           "PRINTHOOD",       "RECENT",
                           "SENDTO",          "STARTMENU",
                           "PROGRAMS",        "ALTSTARTUP",
                           "STARTUP",         "TEMPLATES",
                           "COMMONAPPDATA",   "COMMONQUICKLAUNCH",
                           "COMMONDESKTOP",   "COMMONDOCUMENTS",
                           "COMMONMUSIC",     "COMMONVIDEO",
                           "COMMONFAVORITES", "COMMONSTARTMENU",
                           "COMMONPROGRAMS",  "COMMONALTSTARTUP",
                           "COMMONSTARTUP",   "COMMONTEMPLATES"})
    EXPECT_TRUE(names.count(std::string("<$") + name + ">")) << name;
  EXPECT_EQ("C:\\F62|C:\\F40|C:\\F29", ResolvePathMacros(macros, "<$PROFILES>|<$PROFILE>|<$ALTSTARTUP>"));
  // Each pass appends its start lines and shell folders: two of each.
  int desktops = 0;
  for (int i = 0; i < macros.Count(); ++i) desktops += macros.Names(i) == "<$DESKTOP>";
  EXPECT_EQ(2, desktops);
}

TEST_F(PathMacrosTest, DerivedFoldersAndCopies) {
  TStringList macros = Build();
  struct {
    const char* text;
    const char* expected;
  } const resolved[] = {
      {"<$DESKTOP>\\", "C:\\Users\\ann\\Desktop\\"},
      {"<$SYSDRIVE>", "C:"},
      {"<$WINDIR2>|<$SYSDIR2>", "C:\\Windows|C:\\Windows\\system32"},  // trailing backslash dropped
      {"<$QUICKLAUNCH>", "C:\\Users\\ann\\AppData\\Roaming\\Microsoft\\Internet Explorer\\Quick Launch"},
      {"<$NOSUCH> and <$PATH>", "<$NOSUCH> and <$PATH>"},  // unknown and missing macros stay
  };
  for (const auto& c : resolved) EXPECT_EQ(c.expected, ResolvePathMacros(macros, c.text)) << c.text;
  // Derived and copied values land on the first line of their name...
  struct {
    const char* name;
    const char* expected;
  } const firstLines[] = {
      {"<$PROFILE>", "C:\\Users\\ann"},  // the folder that holds the desktop
      {"<$PROFILES>", "C:\\Users"},
      {"<$ALTSTARTUP>", "C:\\Users\\ann\\Start Menu\\Startup"},  // copied from <$STARTUP>
      {"<$CONTROLS>", "C:\\Windows\\Systemsteuerung"},           // the Control Panel folder
      {"<$COMMONFAVORITES>", ""},                                // a copy of an empty source deletes the line
  };
  for (const auto& c : firstLines) EXPECT_EQ(c.expected, macros.Values(c.name)) << c.name;
  // ...while a text takes the last line, the second pass's empty shell answer.
  EXPECT_EQ("[]", ResolvePathMacros(macros, "[<$PROFILE>]"));
}

TEST_F(PathMacrosTest, RegistryValuesFillTheirMacros) {
  Write(HKCU, "\\Environment\\", "PATH", "C:\\Tools\\;C:\\Other");
  Write(HKCU, kUserShellFolders, "Personal", "D:\\Docs\\");
  Write(HKCU, kUserShellFolders, "Local Settings", "C:\\Users\\ann\\Local Settings");
  Write(HKLM, "\\Software\\Microsoft\\Windows NT\\CurrentVersion\\", "SystemRoot", "C:\\WINNT", 64);
  Write(HKLM, "\\Software\\Microsoft\\Windows\\CurrentVersion\\", "ProgramFilesDir", "C:\\PF64", 64);
  Write(HKLM, "\\Software\\Microsoft\\Windows\\CurrentVersion\\", "ProgramFilesDir", "C:\\PF32", 32);
  TStringList macros = Build();
  EXPECT_EQ("C:\\Tools", ResolvePathMacros(macros, "<$PATH>"));  // first entry, no trailing backslash
  EXPECT_EQ("D:\\Docs", macros.Values("<$PERSONAL>"));
  EXPECT_EQ("C:\\WINNT\\Temp", ResolvePathMacros(macros, "<$TEMP>"));  // the 64-bit pass finds it first
  // Overwritten in each pass; the value of the first line wins over the shell's folder.
  EXPECT_EQ("C:\\PF32", macros.Values("<$PROGRAMFILES>"));
  // The registry fills the first <$LOCALSETTINGS> line only; the second pass's empty line is
  // the last one, and that one resolves.
  EXPECT_EQ("C:\\Users\\ann\\Local Settings", macros.Values("<$LOCALSETTINGS>"));
  EXPECT_EQ("[]", ResolvePathMacros(macros, "[<$LOCALSETTINGS>]"));
}

TEST_F(PathMacrosTest, ThirtyTwoBitPassReadsBelowWow6432Node) {
  // The 32-bit pass switches its software key to Wow6432Node when that key exists.
  Write(HKLM, "\\Software\\Wow6432Node\\Microsoft\\Windows NT\\CurrentVersion\\", "PathName", "E:\\Win32", 64);
  TStringList macros;
  BuildPathMacros(macros, "", 32);
  EXPECT_EQ("E:\\Win32\\Temp", macros.Values("<$TEMP>"));
  TStringList only64;
  BuildPathMacros(only64, "", 64);
  EXPECT_EQ("", only64.Values("<$TEMP>"));
}

TEST_F(PathMacrosTest, ReadMacroRules) {
  TStringList macros{"<$A>=kept"};
  Write(HKCU, "\\K\\", "V", "C:\\New\\;rest");
  ReadMacroFromRegistry(macros, "<$A>", HKCU, "", "", false, 32, "V", "\\K\\");
  EXPECT_EQ("kept", macros.Values("<$A>"));  // set, no overwrite
  ReadMacroFromRegistry(macros, "<$A>", HKCU, ";", "\\Sub", true, 32, "V", "\\K\\");
  EXPECT_EQ("C:\\New\\Sub", macros.Values("<$A>"));
  ReadMacroFromRegistry(macros, "<$A>", HKCU, "", "", true, 32, "Missing", "\\K\\");
  EXPECT_EQ("C:\\New\\Sub", macros.Values("<$A>"));  // a missing value changes nothing
  CopyMacroIfEmpty(macros, "<$B>", "<$A>");
  CopyMacroIfEmpty(macros, "<$A>", "<$NONE>");
  EXPECT_EQ((TStringList{"<$A>=C:\\New\\Sub", "<$B>=C:\\New\\Sub"}), macros);
}

TEST(ResolvePathMacros, CaseRuleDuplicatesAndPatternMode) {
  const TStringList macros{"<$WINDIR>=C:\\First", "<$DESKTOP>=C:\\U\\Desktop", "<$WINDIR>=C:\\Win.dir(1)"};
  struct {
    const char* text;
    const char* expected;
  } const cases[] = {
      {"<$desktop>", "<$desktop>"},  // the occurrence test honours case
      {"<$DESKTOP>|<$desktop>", "C:\\U\\Desktop|C:\\U\\Desktop"},
      {"<$WINDIR>", "C:\\Win.dir(1)"},  // the last line of a name wins
      {"<regexpr><$WINDIR>\\\\System32", "<regexpr>C:\\\\Win\\.dir\\(1\\)\\\\System32"},
      {"x=<regexpr><$WINDIR>", "x=<regexpr>C:\\\\Win\\.dir\\(1\\)"},
      {"a<regexpr><$WINDIR>", "a<regexpr>C:\\Win.dir(1)"},  // the marker counts at the front only
      {"<REGEXPR><$WINDIR>", "<REGEXPR>C:\\Win.dir(1)"},    // and with its case
  };
  for (const auto& c : cases) EXPECT_EQ(c.expected, ResolvePathMacros(macros, c.text)) << c.text;
  EXPECT_EQ("C:\\\\a\\(b\\)\\.c", EscapeForPattern("C:\\a(b).c"));
}

}  // namespace
}  // namespace vm::test

// Special folders over a stand-in shell and the in-memory registry, so that every
// fallback can be reached.
#include <gtest/gtest.h>

#include <cstring>
#include <map>

#include "settings/MemoryRegistry.h"
#include "settings/MyRegistry.h"
#include "settings/ShellApi.h"
#include "settings/SpecialFolders.h"
#include "tests/settings/RegistryBackend.h"

namespace vm::test {
namespace {

const THKey HKCU = kHKeyCurrentUser;
const THKey HKLM = kHKeyLocalMachine;
const char* const kShellFolders = "\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders\\";
const char* const kControlPanel = "\\Software\\CLASSES\\CLSID\\{21EC2020-3AEA-1069-A2DD-08002B30309D}\\";

// A shell that knows the folders it is given; it counts the identifier lists it hands out
// and gets back.
class TFakeShell : public IShellApi {
public:
  std::map<int, std::string> Folders;
  bool ConvertFails = false;
  int ListsOut = 0;
  int Traces = 0;
  std::string WindowsDir = "C:\\WINDOWS", SystemDir = "C:\\WINDOWS\\system32";

  bool SpecialFolderLocation(int csidl, void*& idList) override {
    auto it = Folders.find(csidl);
    if (it == Folders.end()) return false;
    idList = &it->second;
    ++ListsOut;
    return true;
  }
  bool PathFromIDList(const void* idList, char* path) override {
    if (ConvertFails) return false;
    std::strcpy(path, static_cast<const std::string*>(idList)->c_str());
    return true;
  }
  void FreeIDList(void*) override { --ListsOut; }
  unsigned WindowsDirectory(char* buffer, unsigned size) override { return Copy(WindowsDir, buffer, size); }
  unsigned SystemDirectory(char* buffer, unsigned size) override { return Copy(SystemDir, buffer, size); }
  void DebugTrace(const char* text) override { Traces += std::string(text) == "MySpecialDir"; }

private:
  static unsigned Copy(const std::string& s, char* buffer, unsigned size) {
    if (s.size() >= size) return unsigned(s.size() + 1);
    std::strcpy(buffer, s.c_str());
    return unsigned(s.size());
  }
};

class SpecialFolders : public ::testing::Test {
protected:
  TMemoryRegistry FRegistry;
  TFakeShell FShell;
  TUseRegistryApi FUseRegistry{FRegistry};
  TUseShellApi FUseShell{FShell};
};

TEST_F(SpecialFolders, ShellFoldersAndTheirFailures) {
  FShell.Folders[28] = "C:\\Users\\u\\AppData\\Local";
  EXPECT_EQ("C:\\Users\\u\\AppData\\Local", GetSpecialFolder(28));
  EXPECT_EQ("", GetSpecialFolder(99));
  FShell.ConvertFails = true;
  EXPECT_EQ("", GetSpecialFolder(28));
  EXPECT_EQ(0, FShell.ListsOut);  // freed also when the conversion fails
  EXPECT_EQ("C:\\WINDOWS", GetWindowsDir());
  EXPECT_EQ("C:\\WINDOWS\\system32", GetSystemDir());
}

TEST_F(SpecialFolders, FallbacksByNumber) {
  FShell.Folders[26] = "C:\\Users\\u\\AppData\\Roaming";
  ASSERT_TRUE(RegWriteValue(HKCU, kShellFolders, "Favorites", "C:\\fav", rkString));
  ASSERT_TRUE(RegWriteValue(HKCU, kShellFolders, "Templates", "C:\\tpl", rkString));
  ASSERT_TRUE(RegWriteValue(HKLM, kShellFolders, "Common Favorites", "C:\\cfav", rkString));
  ASSERT_TRUE(RegWriteValue(HKLM, kShellFolders, "Common Templates", "C:\\ctpl", rkString));
  ASSERT_TRUE(RegWriteValue(HKLM, kShellFolders, "Common Documents", "C:\\cdoc", rkString));
  ASSERT_TRUE(RegWriteValue(HKLM, "\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\", "ProgramFilesDir",
                            "C:\\Program Files (x86)", rkString));
  const std::pair<int, std::string> rows[] = {
      {kCsidlFavorites, "C:\\fav"},
      {kCsidlTemplates, "C:\\tpl"},
      {kCsidlCommonFavorites, "C:\\cfav"},
      {kCsidlCommonAppData, "C:\\Users\\u\\AppData\\Roaming"},  // the user's own folder stands in
      {kCsidlWindows, "C:\\WINDOWS"},
      {kCsidlSystem, "C:\\WINDOWS\\system32"},
      {kCsidlProgramFiles, "C:\\Program Files (x86)"},
      {kCsidlCommonTemplates, "C:\\ctpl"},
      {kCsidlCommonDocuments, "C:\\cdoc"},
      {kCsidlLocalAppData, ""},  // no fallback
      {77, ""},
  };
  for (const auto& [csidl, expected] : rows) EXPECT_EQ(expected, GetSpecialFolderEx(csidl)) << csidl;
  EXPECT_EQ(int(std::size(rows)), FShell.Traces);
  FShell.Folders[kCsidlFavorites] = "D:\\shell";
  EXPECT_EQ("D:\\shell", GetSpecialFolderEx(kCsidlFavorites));  // the shell comes first
}

TEST_F(SpecialFolders, FallbackReadsOnlyTheThirtyTwoBitView) {
  ASSERT_TRUE(RegWriteValue(HKLM, kShellFolders, "Common Documents", "C:\\64", rkString, 64));
  EXPECT_EQ("", GetSpecialFolderEx(kCsidlCommonDocuments));
}

TEST_F(SpecialFolders, ControlPanelName) {
  EXPECT_EQ("C:\\base\\Systemsteuerung", GetControlPanelFolder("", "C:\\base"));
  ASSERT_TRUE(RegWriteValue(HKLM, kControlPanel, "", "Control Panel 64", rkString, 64));
  EXPECT_EQ("C:\\base\\Control Panel 64", GetControlPanelFolder("", "C:\\base"));
  ASSERT_TRUE(RegWriteValue(HKLM, kControlPanel, "", "Control Panel", rkString, 32));
  EXPECT_EQ("C:\\base\\Control Panel", GetControlPanelFolder("", "C:\\base"));
  ASSERT_TRUE(RegWriteValue(HKLM, "\\Prefix\\Software\\CLASSES\\CLSID\\{21EC2020-3AEA-1069-A2DD-08002B30309D}\\", "",
                            "Prefixed", rkString));
  EXPECT_EQ("X:\\Prefixed", GetControlPanelFolder("Prefix\\", "X:"));
}

TEST_F(SpecialFolders, ControlPanelErrorGivesTheFixedFolder) {
  ASSERT_TRUE(RegWriteValue(HKLM, kControlPanel, "", "Control Panel", rkString));
  TFaultyRegistry faulty(FRegistry);
  faulty.FailDataReads = true;
  TUseRegistryApi use(faulty);
  EXPECT_EQ("C:\\Windows\\Systemsteuerung", GetControlPanelFolder("", "C:\\base"));
}

TEST_F(SpecialFolders, FallbackReadErrorsReachTheCaller) {
  ASSERT_TRUE(RegWriteValue(HKCU, kShellFolders, "Favorites", "C:\\fav", rkString));
  TFaultyRegistry faulty(FRegistry);
  faulty.FailDataReads = true;
  TUseRegistryApi use(faulty);
  EXPECT_THROW(GetSpecialFolderEx(kCsidlFavorites), ERegistryException);
}

}  // namespace
}  // namespace vm::test

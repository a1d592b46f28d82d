// Placeholder expansion: a table of texts against fixed values, the folder rules, and the
// expansion that every text read of the settings object goes through.
#include <gtest/gtest.h>

#include "crashreport/settings/CrashSettings.h"
#include "crashreport/settings/CrashSettingsPlaceholders.h"
#include "tests/crashreport/common/FakeCrashSystem.h"

namespace vm {
namespace {

TPlaceholderValues Values(int* folderCalls = nullptr) {
  TPlaceholderValues v;
  v.AppName = "veilmark.exe";
  v.ModName = "helper.dll";
  v.AppVersion = "1.0.0.7";
  v.ModVersion = "?";
  v.ExceptMsg = "Access violation";
  v.BugReport = "report %date% 100%";
  v.Now = {2026, 1, 5, 9, 7, 3, 45};
  v.UserAppData = [folderCalls] {
    if (folderCalls) ++*folderCalls;
    return std::string("C:\\Users\\u\\AppData\\Roaming");
  };
  v.CommonAppData = [folderCalls] {
    if (folderCalls) ++*folderCalls;
    return std::string("C:\\ProgramData");
  };
  return v;
}

TEST(CrashSettingsPlaceholders, Table) {
  struct Row {
    const char* text;
    const char* expanded;
  };
  const Row rows[] = {
      {"%appname% %modname%", "veilmark.exe helper.dll"},
      {"%APPVERSION%/%ModVersion%", "1.0.0.7/?"},
      {"%EXCEPTMSG%", "Access violation"},
      {"a%LF%b%lf%", "a\r\nb\r\n"},
      {"%datetime%", "2026-01-05, 09:07:03, 45ms"},
      {"%date% %time%", "2026-01-05 09:07:03, 45ms"},
      {"%userappdata%\\x|%COMMONAPPDATA%", "C:\\Users\\u\\AppData\\Roaming\\x|C:\\ProgramData"},
      {"no placeholders", "no placeholders"},
      {"100% %unknown% %appname", "100% %unknown% %appname"},
      {"%%appname%%", "%veilmark.exe%"},
      {"", ""},
      // Former faults: values put in were expanded again, so a report quoting "%date%" changed.
      {"[%bugReport%]", "[report %date% 100%]"},
  };
  for (const Row& row : rows) EXPECT_EQ(ExpandPlaceholders(row.text, Values()), row.expanded) << row.text;
}

TEST(CrashSettingsPlaceholders, MessageAndReportRules) {
  TPlaceholderValues v = Values();
  v.ExceptMsg = "";
  EXPECT_EQ(ExpandPlaceholders("Error: %ExceptMsg%", v), "Error: Unknown");
  v.ExceptMsg.reset();
  v.BugReport.reset();
  EXPECT_EQ(ExpandPlaceholders("%EXCEPTMSG% %bugreport%", v), "%exceptMsg% %bugReport%")
      << "left for the reader that has them";
}

TEST(CrashSettingsPlaceholders, FoldersAreAskedOnlyWhenNamed) {
  int calls = 0;
  ExpandPlaceholders("%appname% %datetime%", Values(&calls));
  EXPECT_EQ(calls, 0);
  ExpandPlaceholders("%userappdata%", Values(&calls));
  EXPECT_EQ(calls, 1);
  EXPECT_EQ(PlaceholderFolder("C:\\Data\\", "C:\\P\\v.exe"), "C:\\Data");
  EXPECT_EQ(PlaceholderFolder("", "C:\\P\\v.exe"), "C:\\P") << "the executable's folder when the shell gives none";
}

TEST(CrashSettingsPlaceholders, SettingsTextsAreExpanded) {
  test::TFakeCrashSystem system;
  system.Modules[system.Exe] = {"C:\\P\\veilmark.exe",
                                TSettingsStreamWriter()
                                    .Text("TitleBar", "%appname%")
                                    .Text("MailSubj", "%EXCEPTMSG% at %datetime%")
                                    .Text("BugRepFile", "%commonappdata%\\r.txt")
                                    .Finish(),
                                "3.1.0.0",
                                {}};
  TICrashSettings s(system.Exe);
  EXPECT_EQ(s.TitleBar(), "veilmark.exe");
  EXPECT_EQ(s.MailSubj(), "%exceptMsg% at 2026-01-05, 09:07:03, 45ms");
  EXPECT_EQ(system.FolderLookups, 0);
  EXPECT_EQ(s.BugRepFile(), "C:\\P\\r.txt") << "empty shell folder: the executable's folder";
  EXPECT_EQ(system.FolderLookups, 1);
  EXPECT_EQ(s.ReadRawText("TitleBar"), "%appname%");
}

}  // namespace
}  // namespace vm

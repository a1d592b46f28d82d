// The details tabs of real report texts: the golden report of the fixture record and a
// record whose stacks are still being walked; the section readers on tables and on text
// that only looks like one.
#include <gtest/gtest.h>

#include <fstream>
#include <sstream>

#include "crashreport/dialog/DetailsTabs.h"
#include "crashreport/report/BugReportReader.h"

namespace vm {
namespace {

using TRow = std::vector<std::string>;

std::string GoldenReport() {
  std::ifstream in(VM_GOLDEN_REPORT, std::ios::binary);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

std::vector<std::string> Captions(const std::vector<TDetailsTab>& tabs) {
  std::vector<std::string> captions;
  for (const TDetailsTab& t : tabs) captions.push_back(t.Caption);
  return captions;
}

TEST(DetailsTabsTest, GoldenReportGivesGeneralAndCallStacks) {
  std::string report = GoldenReport();
  ASSERT_FALSE(report.empty());
  std::vector<TDetailsTab> tabs = DetailsTabs(report);
  ASSERT_EQ(Captions(tabs), (std::vector<std::string>{"general", "call stacks"}));

  const TDetailsTab& general = tabs[0];
  EXPECT_EQ(general.Columns, (std::vector<std::string>{"description", "value"}));
  ASSERT_EQ(general.Rows.size(), ParseReportHeader(report).size());
  EXPECT_EQ(general.Rows[0], (TRow{"date/time", "2026-01-05, 09:07:03, 45ms"}));
  EXPECT_EQ(general.Rows.back()[0], "exception message");
  EXPECT_EQ(general.Text.substr(0, 20), report.substr(0, 20));
  EXPECT_EQ(general.Text.find("\r\n\r\n"), std::string::npos);

  const TDetailsTab& stacks = tabs[1];
  ASSERT_TRUE(stacks.IsTable());
  EXPECT_EQ(stacks.Columns.size(), 7u);
  const std::vector<TRow> expected = {
      {">> main thread ($1a2c):"},
      {"00401234", "+014", "veilmark.exe", "FormVeilmark", "210", "+12", "TFormVeilmark.ChangeID"},
      {"00402010", "+1f0", "veilmark.exe", "Toolkit", "57", "", "TApplication.Run"},
      {"7c816fd7", "+034", "kernel32.dll", "", "", "", "BaseThreadInitThunk"},
      {""},
      {">> thread $2b10 (TUpdateThread):"},
      {"00406000", "+02c", "veilmark.exe", "UpdateCheck", "120", "+35", "TUpdateThread.Execute"},
      {"00407000", "+100", "veilmark.exe", "Toolkit", "30", "+4", "ThreadProc"},
      {">> created by main thread ($1a2c) at:"},
      {"00405678", "+008", "veilmark.exe", "UpdateCheck", "88", "+3", "TUpdateCheck.Start"},
      {""},
      {">> thread $3c04: <suspended> <priority:2>"},
      {">> stack not accessible"},
  };
  EXPECT_EQ(stacks.Rows, expected);
  // The copy text is the threads one after the other, a blank line between them.
  EXPECT_EQ(stacks.Text.find(">> main thread ($1a2c):\r\n00401234 +014 veilmark.exe "), 0u);
  EXPECT_NE(stacks.Text.find("BaseThreadInitThunk\r\n\r\n>> thread $2b10 (TUpdateThread):\r\n"), std::string::npos);
}

// A record just after its sections were built, with the plug-in sections asked for.
constexpr const char* kPending =
    "date/time : 2026-01-05, 09:07:03, 45ms\r\n"
    "callstack crc : will be calculated soon\r\n"
    "\r\n"
    "worker ($0ac4): <suspended>\r\n"
    "00007ff6a1b21234 +014 veilmark.exe  (anonymous namespace)::Crash(int, char)\r\n"
    ">> stack will be calculated soon\r\n"
    "\r\n"
    "cpu registers:\r\n"
    ">> will be calculated soon\r\n"
    "\r\n"
    "disassembling:\r\n"
    ">> will be calculated soon\r\n"
    "\r\n"
    "error details:\r\n"
    "It crashed when I clicked\r\n"
    ".\r\n"
    "the button.";

TEST(DetailsTabsTest, PendingSectionsAreTextAndShortened) {
  std::vector<TDetailsTab> tabs = DetailsTabs(kPending);
  ASSERT_EQ(Captions(tabs), (std::vector<std::string>{"general", "call stack", "cpu regs", "disasm", "error details"}));
  // One thread: its 64-bit address and a function name with blanks read as one row.
  ASSERT_TRUE(tabs[1].IsTable());
  EXPECT_EQ(tabs[1].Rows.at(1),
            (TRow{"00007ff6a1b21234", "+014", "veilmark.exe", "", "", "", "(anonymous namespace)::Crash(int, char)"}));
  for (int i : {2, 3}) {
    EXPECT_FALSE(tabs[i].IsTable()) << tabs[i].Caption;
    EXPECT_EQ(tabs[i].Text, ">> will be calculated soon");
  }
  EXPECT_FALSE(tabs[4].IsTable());
  EXPECT_EQ(tabs[4].Text, "It crashed when I clicked\r\n.\r\nthe button.");
}

TEST(DetailsTabsTest, SecondSectionNotAThreadKeepsOneStack) {
  std::string report =
      "a : b\r\n\r\nmain thread ($10):\r\n00401234 +0 m.exe  f\r\n\r\nmodules:\r\n"
      "00400000 0005e000 1.0.0.0 C:\\Program Files\\Veilmark\\veilmark.exe\r\n"
      "7c800000 000f6000 5.1.2600 C:\\WINDOWS\\system32\\kernel32.dll";
  std::vector<TDetailsTab> tabs = DetailsTabs(report);
  ASSERT_EQ(Captions(tabs), (std::vector<std::string>{"general", "call stack", "modules"}));
  ASSERT_TRUE(tabs[2].IsTable());
  EXPECT_EQ(tabs[2].Rows.at(0), (TRow{"00400000", "0005e000", "1.0.0.0", "C:\\Program Files\\Veilmark\\veilmark.exe"}));
}

struct TSectionCase {
  const char* Caption;
  const char* Content;
  std::vector<TRow> Rows;  // empty: shown as text
};

TEST(DetailsTabsTest, SectionReaders) {
  const TSectionCase cases[] = {
      {"cpu regs", "EAX=00000000 EBX = 0012ff40\r\nEIP: 00401234", {}},  // a colon is no pair: text
      {"cpu regs",
       "EAX=00000000 EBX = 0012ff40\r\nEIP =00401234",
       {{"EAX", "00000000"}, {"EBX", "0012ff40"}, {"EIP", "00401234"}}},
      {"disasm",
       "00401230  55        push ebp\r\n00401231  8bec      mov ebp, esp\r\n>>00401234  8b00 mov eax, [eax]",
       {}},  // the marked line breaks the columns
      {"disasm",
       "00401230  55        push ebp\r\n00401231  8bec      mov ebp, esp",
       {{"00401230", "55", "push ebp"}, {"00401231", "8bec", "mov ebp, esp"}}},
      {"stack dump",
       "0012ff40  00000000 0012ff80  ....@...\r\n0012ff48  7c816fd7 00000000  .o.|....",
       {{"0012ff40", "00000000", "0012ff80  ....@..."}, {"0012ff48", "7c816fd7", "00000000  .o.|...."}}},
      {"modules", "one line of prose", {}},
      {"modules",
       "00400000 0005e000          C:\\veilmark.exe\r\n7c800000 000f6000 5.1.2600 C:\\kernel32.dll",
       {{"00400000", "0005e000", "", "C:\\veilmark.exe"}, {"7c800000", "000f6000", "5.1.2600", "C:\\kernel32.dll"}}},
      {"modules",
       "00400000 0005e000 C:\\veilmark.exe\r\n7c800000 000f6000 5.1.2600 C:\\kernel32.dll",
       {}},  // a missing cell that is not lined up cannot be told
      {"processes",
       "$1f4c 12 MB normal veilmark.exe\r\n$0004 2 MB",
       {{"$1f4c", "12 MB", "normal", "veilmark.exe"}, {"$0004", "2 MB", "", ""}}},
      {"processes", "", {}},
      {"thread $44:", "00401234 +0 m.exe  f", {{"00401234", "+0", "m.exe", "", "", "", "f"}}},
      {"notes", ">> only a remark", {}},
  };
  for (const TSectionCase& c : cases) {
    TDetailsTab tab = ReadSectionTable(c.Caption, c.Content);
    EXPECT_EQ(tab.Text, c.Content);
    EXPECT_EQ(tab.IsTable(), !c.Rows.empty()) << c.Caption << ": " << c.Content;
    EXPECT_EQ(tab.Rows, c.Rows) << c.Caption << ": " << c.Content;
  }
}

TEST(DetailsTabsTest, DamagedReportsStillGiveTheirTabs) {
  for (std::string_view report : {std::string_view(""), std::string_view("\r\n\r\n\r\n"), std::string_view("no header"),
                                  std::string_view("x : y\r\n\r\n:\r\n\r\n\r\n")}) {
    std::vector<TDetailsTab> tabs = DetailsTabs(report);
    ASSERT_GE(tabs.size(), 2u);
    EXPECT_EQ(tabs[0].Caption, "general");
    for (const TDetailsTab& t : tabs)
      for (const TRow& r : t.Rows) EXPECT_TRUE(r.size() == 1 || r.size() == t.Columns.size());
  }
}

}  // namespace
}  // namespace vm

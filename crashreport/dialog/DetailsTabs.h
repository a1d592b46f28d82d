// The details view's content: a bug report's text cut into tabs, each a table with
// columns or a plain text. Portable; the window is DetailsView_win32. The report text is
// read with the report reader (header, sections), so every input is arbitrary bytes and
// nothing here throws on malformed text. Tests: tests/crashreport/dialog/DetailsTabsTest.cpp,
// fuzzer DetailsTabsFuzzer.cpp.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace vm {

struct TDetailsTab {
  std::string Caption;                         // "general", "call stack(s)", "cpu regs", ...
  std::vector<std::string> Columns;            // empty: shown as Text in the fixed-pitch font
  std::vector<std::vector<std::string>> Rows;  // one cell per column
  std::string Text;                            // the content as the report has it (CR LF lines)
  bool IsTable() const { return !Columns.empty(); }
  bool operator==(const TDetailsTab&) const = default;
};

// "general" from the header, "call stack" (plus "s" when the second section is a thread
// too) over the leading thread sections, then one tab per further section.
std::vector<TDetailsTab> DetailsTabs(std::string_view bugReport);

// The tab caption of a further section's title: "cpu registers" -> "cpu regs",
// "disassembling" -> "disasm", others as they are (without the trailing ":").
std::string DetailsTabCaption(std::string_view sectionTitle);

// A section's content as a table, or a tab without columns when it does not read as one
// (also any content still starting with ">> will be").
TDetailsTab ReadSectionTable(std::string caption, std::string_view content);

}  // namespace vm

// Reading report texts back: a bug-report file split into its reports, a report's header
// lines as ordered name/value pairs. Used by the duplicate search and by the report server
// on uploads, so every input is arbitrary bytes: nothing here throws, reads out of bounds
// or grows without bound beyond the input. Fuzzer: tests/crashreport/report/BugReportReaderFuzzer.cpp.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace vm {

struct TReportHeaderLine {
  std::string Name, Value;
  bool operator==(const TReportHeaderLine&) const = default;
};
using TReportHeader = std::vector<TReportHeaderLine>;

// The reports of a file, in file order: each starts at a "date/time" line (the file's start
// or right after CR LF) and runs to the next one; the CR LF CR LF between reports is left
// off. Bytes in front of the first report (a damaged file) are not a report.
std::vector<std::string_view> SplitBugReportFile(std::string_view file);
// Where each report of SplitBugReportFile starts, as offsets into the file.
std::vector<size_t> ReportStarts(std::string_view file);

// The header: the lines up to the first empty one, each "label<blanks>: value". The name is
// the label without its padding, the value everything after ": " (a line without ": " has
// the whole line as its name and an empty value). Lines end at CR LF, CR or LF.
TReportHeader ParseReportHeader(std::string_view report);
// The sections after the header, in report order: each block between empty lines, its
// first line the title as written ("cpu registers:", "main thread ($1a2c):") and the rest
// its content, lines joined by CR LF.
struct TReportSection {
  std::string Title, Content;
  bool operator==(const TReportSection&) const = default;
};
std::vector<TReportSection> ParseReportSections(std::string_view report);
// The value of the first line of that name (exact, case counts), or empty.
std::string HeaderValue(const TReportHeader& header, std::string_view name);
bool HasHeaderLine(const TReportHeader& header, std::string_view name);

}  // namespace vm

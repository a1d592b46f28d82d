// The report text from its header fields and sections. Tests: ReportFormatTest.cpp, the golden report.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "crashreport/report/ReportRecords.h"
#include "crashreport/settings/CrashFields.h"

namespace vm {

// Header lines joined by CR LF, each label padded to one more than the longest, ": ", the
// value (line breaks in it become blanks); then per section CR LF CR LF, the title (":"
// appended when it has none) and per content line CR LF and the line, trailing blanks
// removed and empty lines written as ".".
std::string ComposeReportText(const TICrashFields& header, const TICrashFields& sections);

// What the reporter knows of an exception before its report is composed: enough for the
// last words of a report it cannot finish.
struct TMinimalReport {
  TLocalTime Time;
  bool Freeze = false;
  std::string ClassName, Message;
  TThreadRecord Thread;                  // the faulting thread (a freeze: the main thread)
  std::vector<std::uint64_t> Addresses;  // its raw stack, innermost first
};
// "date/time", "exception class" and "exception message" as the header writes them, then
// the faulting thread's section with one raw address per line.
std::string MinimalReportText(const TMinimalReport& facts);
// The report as far as it got (`composed`; the minimal report when nothing was composed yet)
// and a last line ">> report incomplete: " with `why`.
std::string IncompleteReportText(std::string_view composed, std::string_view minimal, std::string_view why);

}  // namespace vm

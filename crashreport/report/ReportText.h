// The report text from its header fields and sections. Tests: ReportFormatTest.cpp, the golden report.
#pragma once

#include <string>

#include "crashreport/settings/CrashFields.h"

namespace vm {

// Header lines joined by CR LF, each label padded to one more than the longest, ": ", the
// value (line breaks in it become blanks); then per section CR LF CR LF, the title (":"
// appended when it has none) and per content line CR LF and the line, trailing blanks
// removed and empty lines written as ".".
std::string ComposeReportText(const TICrashFields& header, const TICrashFields& sections);

}  // namespace vm

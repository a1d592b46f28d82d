// A plain rendering of the captured facts into bug-report text, used until the report
// composer takes over: a header of "label: value" lines and one section per thread.
// Tests: tests/crashreport/capture/CaptureLayoutsTest.cpp.
#pragma once

#include <string>

#include "crashreport/capture/CrashFacts.h"

namespace vm {

struct TInterimHeader {
  std::string DateTime, Executable, ProcessId;
};

std::string FormatInterimReport(const TInterimHeader& header, const TCrashFacts& facts);

}  // namespace vm

// What the bug-report file tests need from their platform.
#pragma once

#include <cstdint>
#include <string>

#include "crashreport/report/BugReportFile.h"

namespace vm::test {

unsigned long TestProcessId();
// Saves in a child process whose writes fail beyond `limit` bytes of file size; returns
// the TSaveResult as a number, or -1 when the child did not end normally. Host only.
int SaveWithWriteLimit(const std::string& path, const std::string& report, std::uint64_t limit);

}  // namespace vm::test

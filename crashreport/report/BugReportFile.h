// The bug-report file: where it lies, how a new report joins the old ones (duplicates
// merged with a count, the size limit, append or replace), and the save itself, which
// never leaves the file half-written. Tests: tests/crashreport/report/BugReportFileTest.cpp
// (host and Wine).
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "crashreport/settings/CrashSettings.h"

namespace vm {

struct TBugRepFileRules {
  bool AppendBugReps = true;
  std::int32_t BugRepFileSize = 100000;  // 0: no limit
  bool NoDupExcepts = true, NoDupFreezes = true;
  int DupExceptDef = 1, DupFreezeDef = 2;  // 0: first checksum, 1: first two, 2: all three
};
TBugRepFileRules BugRepFileRules(const ICrashSettings& settings);

// `BugRepFile` of the settings (placeholders expanded) made absolute against `exeFolder`.
std::string BugRepFilePath(const ICrashSettings& settings, const std::string& exeFolder);
std::string ResolveBugRepFilePath(std::string_view name, const std::string& exeFolder);

// The file's new content: `oldFile` with `report` merged in by the rules (without the
// rules' I/O). Also what an attachment of the file looks like after this report.
std::string MergeBugReport(std::string_view oldFile, std::string_view report, const TBugRepFileRules& rules);
// The duplicate key of a report ("callstack crc" cut to 9, 20 or 31 characters), or empty
// when the report must not be merged.
std::string DuplicateKey(std::string_view report, const TBugRepFileRules& rules);

enum class TSaveResult { Saved, NotOpened, NotWritten };
// Creates missing folders, opens the file without sharing (held by another program: not
// opened, nothing written), merges, and swaps the new content in one step; on any failure
// the old file stays whole.
TSaveResult SaveBugReport(const std::string& path, std::string_view report, const TBugRepFileRules& rules);

}  // namespace vm

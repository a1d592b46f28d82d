// The pending file: a complete report kept in the reporter's temporary folder from the
// moment it is complete until its handling ends, so that a process ended meanwhile (the
// task manager, a log-off, a power cut) still leaves it behind. The next start of the same
// program folds a report that was neither saved nor sent into the bug-report file.
// Tests: tests/crashreport/report/PendingReportTest.cpp (format, damaged files, folding).
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

#include "crashreport/report/BugReportFile.h"

namespace vm {

struct TPendingReport {
  std::string Program;  // the executable's full path: only its next start folds the file
  std::uint32_t ProcessId = 0;
  std::uint64_t ProcessStart = 0;  // with the id, tells the writer from a later process of that id
  std::string BugReportFile;       // where the writer would have saved it
  bool Saved = false, Sent = false;
  std::string Report;
};

// A readable text: a fixed first line, one "name: value" line per field, an empty line,
// then the report, whose length and CRC-32 the "report" line carries.
std::string EncodePendingReport(const TPendingReport& pending);
// Nothing for a damaged file: any line out of place, a length or checksum that disagrees.
std::optional<TPendingReport> DecodePendingReport(std::string_view bytes);

// "pending-<pid in lowercase hex>.txt": one file per process.
std::string PendingFileName(std::uint32_t processId);
bool IsPendingFileName(std::string_view name);

enum class TPendingFold {
  Folded,   // the report went into the bug-report file; the pending file is gone
  Removed,  // damaged, or saved or sent already: the pending file is gone
  Kept,     // another program's, its writer still runs, or the bug-report file refused it
};
// What the start of `program` does with one pending file. `running` says whether the
// writer is still alive (another instance of the program shows its dialog just now).
TPendingFold FoldPendingReport(const std::string& pendingPath, const std::string& program,
                               const std::function<bool(const TPendingReport&)>& running,
                               const TBugRepFileRules& rules);

}  // namespace vm

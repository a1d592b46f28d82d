// What the server needs to know of one report, read from its header, and the group it falls
// into. Entry points: SplitReports, ReadReportFacts. Tests: tests/server/UploadTest.cpp.
// The header is read by the crash reporter's own reader, so the server never disagrees with
// the program about what a report says.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace vm::server {

struct TReportFacts {
  std::string Text;  // the whole report, as uploaded
  std::string DateTime, ComputerName, UserName, Executable, CurrentModule, Version;
  std::string ExecDateTime, ModuleDateTime, CallstackCrc, ExceptionClass, ExceptionMessage;
  std::string ContactName, ContactEmail;
  int Count = 1;         // occurrences this report stands for ("count" line, else 1)
  std::string GroupKey;  // equal for reports the program itself would merge
  std::string Digest;    // SHA-256 of Text: the same report sent twice is stored once
};

// The reports of a bug-report file in file order (the newest last).
std::vector<std::string_view> SplitReports(std::string_view file);
// The facts of one report, or nothing when it has no header to speak of (no "date/time",
// "executable" or "callstack crc" line).
std::optional<TReportFacts> ReadReportFacts(std::string_view report);

// The group key: the program's duplicate rule (the first two callstack checksums for an
// exception, all three for a freeze, which has no "exception class"), executable, current
// module and exception class. The version is left out, so that one crash is one group across
// the versions it occurs in. A report whose checksums were never computed is merged with
// nothing: its key is its digest.
std::string GroupKeyOf(const TReportFacts& facts);

// SHA-256 of `bytes` as lowercase hex.
std::string Sha256Hex(std::string_view bytes);

}  // namespace vm::server

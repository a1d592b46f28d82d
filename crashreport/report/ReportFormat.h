// How single report values are written: times, durations, sizes, thread titles, messages,
// stack lines and the callstack checksums. Pure functions over the plain records.
// Tests: tests/crashreport/report/ReportFormatTest.cpp.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "crashreport/report/ReportRecords.h"

namespace vm {

// 2026-01-05, 09:07:03, 45ms
std::string FormatReportDateTime(const TLocalTime& t);
// 2026-01-05 09:07 followed by CR LF (the report text turns the break into a trailing blank)
std::string FormatExecDateTime(const TLocalTime& t);
// The two largest non-zero units among days, hours, minutes and seconds: "1 hour 5 minutes ".
std::string FormatDuration(std::uint64_t milliseconds);
// As FormatDuration, but below one second "N milliseconds".
std::string FormatProgramUpTime(std::uint64_t milliseconds);
// "512 Bytes", "1,50 KB", "3.00 MB", "1.25 GB" with the user's decimal separator.
std::string FormatSize(std::uint64_t bytes, char decimalSeparator);
// Line breaks become blanks and runs of blanks one blank.
std::string CleanExceptionMessage(std::string_view message);
// "$" and lowercase hex: "$1a2b".
std::string DollarHex(std::uint64_t value);
// The toolchain that built this code, e.g. "MinGW-w64 GCC 12.2.0 (C++20)".
std::string CompilerText();

// "main thread ($1a2b)" or "thread $1a2b (TWorker)".
std::string ThreadTitle(std::uint32_t id, std::string_view name, std::string_view className);
// The section title: the thread title, ":", " <suspended>", " <priority:N>".
std::string ThreadSectionTitle(const TThreadRecord& thread);
// Threads the report never lists: the reporter's own ("-") and its helpers.
bool IsHiddenThreadName(std::string_view name);

struct TStackLineOptions {
  bool ShowRelAddrs = true, ShowRelLines = true, HideUglyItems = false;
};
// The items that a stack shows (and that the checksums cover).
bool IsKeptStackItem(const TStackItem& item, const TStackLineOptions& options);
// One line per item (no line break after the last), columns lined up across `items`;
// items are expected to be kept ones. Lines may end in blanks; the report text trims them.
std::vector<std::string> FormatStackLines(const std::vector<TStackItem>& items, const TStackLineOptions& options);

// The content that replaces a section whose composition failed: ">> internal error in
// <step>:", the reporter's own stack, and where the exception being reported happened.
std::string InternalErrorContent(std::string_view step, const std::vector<TStackItem>& ownStack,
                                 const TStackItem* location, const TStackLineOptions& options);

// CRC-32 (the common reflected polynomial) continued from `crc` over `bytes`.
std::uint32_t Crc32(std::uint32_t crc, std::string_view bytes);
// The value an item adds to the checksums.
std::uint32_t StackItemCrc(const TStackItem& item);
struct TCallstackChecksums {
  std::uint32_t Crc[3] = {0, 0, 0};
};
// crashed: the kept items of the crashed thread; others: those of every other reported thread.
TCallstackChecksums ComputeCallstackChecksums(const std::vector<TStackItem>& crashed,
                                              const std::vector<std::vector<TStackItem>>& others);
// "$0123abcd, $..., $..." (31 characters)
std::string CallstackCrcText(const TCallstackChecksums& sums);

}  // namespace vm

// Single report values: times, durations and sizes at their unit boundaries, thread titles,
// stack lines under each option, the checksums, and the report text's layout rules.
#include <gtest/gtest.h>

#include "crashreport/report/ReportFormat.h"
#include "crashreport/report/ReportText.h"
#include "tests/crashreport/common/ReportFixtures.h"

namespace vm {
namespace {

using namespace vm::test;

TEST(ReportFormat, TimesKeepTheirFixedForms) {
  EXPECT_EQ(FormatReportDateTime({2026, 1, 5, 9, 7, 3, 45}), "2026-01-05, 09:07:03, 45ms");
  EXPECT_EQ(FormatReportDateTime({2026, 12, 31, 23, 59, 59, 0}), "2026-12-31, 23:59:59, 0ms");
  EXPECT_EQ(FormatExecDateTime({2025, 12, 1, 14, 30, 59, 999}), "2025-12-01 14:30\r\n");
}

TEST(ReportFormat, DurationsShowTheTwoLargestNonZeroUnits) {
  const struct {
    std::uint64_t ms;
    const char* text;
  } rows[] = {
      {0, "0 seconds "},  // never an empty row
      {999, "0 seconds "},
      {1000, "1 second "},
      {59999, "59 seconds "},
      {60000, "1 minute "},
      {61000, "1 minute 1 second "},
      {3599000, "59 minutes 59 seconds "},
      {3600000, "1 hour "},
      {3661000, "1 hour 1 minute "},  // the seconds are the third unit
      {86399000, "23 hours 59 minutes "},
      {86400000, "1 day "},
      {(86400 + 59) * 1000ull, "1 day 59 seconds "},  // the zero units in between are skipped
      {(3 * 86400 + 7200) * 1000ull, "3 days 2 hours "},
  };
  for (const auto& row : rows) EXPECT_EQ(FormatDuration(row.ms), row.text) << row.ms;
  EXPECT_EQ(FormatProgramUpTime(999), "999 milliseconds");
  EXPECT_EQ(FormatProgramUpTime(1000), "1 second ");
}

TEST(ReportFormat, SizesChangeUnitAtEachPowerOf1024) {
  const struct {
    std::uint64_t bytes;
    char separator;
    const char* text;
  } rows[] = {
      {0, '.', "0 Bytes"},
      {1023, '.', "1023 Bytes"},
      {1024, '.', "1.00 KB"},
      {1536, ',', "1,50 KB"},  // the user's separator
      {(1 << 20) - 1, '.', "1024.00 KB"},
      {1 << 20, '.', "1.00 MB"},
      {(1ull << 30) - 1, '.', "1024.00 MB"},
      {1ull << 30, '.', "1.00 GB"},
      {5ull << 40, '.', "5120.00 GB"},
  };
  for (const auto& row : rows) EXPECT_EQ(FormatSize(row.bytes, row.separator), row.text) << row.bytes;
}

TEST(ReportFormat, MessagesAndTitles) {
  EXPECT_EQ(CleanExceptionMessage("a\r\nb\rc\nd    e\r\n\r\nf"), "a b c d e f");
  EXPECT_EQ(ThreadTitle(0x1a2c, "main thread", ""), "main thread ($1a2c)");
  EXPECT_EQ(ThreadTitle(0x2b10, "", "TUpdateThread"), "thread $2b10 (TUpdateThread)");
  EXPECT_EQ(ThreadTitle(0x2b10, "", ""), "thread $2b10");
  TThreadRecord t;
  t.Id = 0xabc;
  t.Suspended = true;
  t.Priority = -2;
  EXPECT_EQ(ThreadSectionTitle(t), "thread $abc: <suspended> <priority:-2>");
  for (const char* hidden : {"-", "AntiFreezeThread", "HandleExceptionThread"}) EXPECT_TRUE(IsHiddenThreadName(hidden));
  EXPECT_FALSE(IsHiddenThreadName("main thread"));
}

std::vector<TStackItem> Kept(const std::vector<TStackItem>& items, const TStackLineOptions& o) {
  std::vector<TStackItem> kept;
  for (const auto& item : items)
    if (IsKeptStackItem(item, o)) kept.push_back(item);
  return kept;
}

TEST(ReportFormat, StackLinesLineUpUnderEachOption) {
  std::vector<TStackItem> items = FixtureMainStack();
  items.push_back(Item(0x12345678, 0, "", "", 0, -1, "Unknown"));  // outside every module
  const struct {
    const char* why;
    TStackLineOptions options;
    std::vector<std::string> lines;
  } rows[] = {
      // The line columns are right-aligned with a blank in front, behind the padded unit.
      {"as shipped",
       {true, true, false},
       {"00401234 +014 veilmark.exe FormVeilmark  210 +12 TFormVeilmark.ChangeID",
        "00402010 +1f0 veilmark.exe Toolkit            57 TApplication.Run",
        "7c816fd7 +034 kernel32.dll                       BaseThreadInitThunk",
        "12345678 +000 ???                                Unknown"}},
      {"no offsets, plain lines: the relative-line column is gone",
       {false, false, false},
       {"00401234 veilmark.exe FormVeilmark  210 TFormVeilmark.ChangeID",
        "00402010 veilmark.exe Toolkit        57 TApplication.Run",
        "7c816fd7 kernel32.dll                   BaseThreadInitThunk",
        "12345678 ???                            Unknown"}},
      {"ugly items hidden",
       {true, true, true},
       {"00401234 +014 veilmark.exe FormVeilmark  210 +12 TFormVeilmark.ChangeID",
        "00402010 +1f0 veilmark.exe Toolkit            57 TApplication.Run"}},
  };
  for (const auto& row : rows) {
    std::vector<std::string> lines = FormatStackLines(Kept(items, row.options), row.options);
    for (auto& line : lines)
      while (!line.empty() && line.back() == ' ') line.pop_back();
    EXPECT_EQ(lines, row.lines) << row.why;
  }
  EXPECT_EQ(Kept(items, {}).size(), 4u) << "the item without a function is left out";
}

TEST(ReportFormat, InternalErrorNamesTheStepAndBothPlaces) {
  TStackItem own = Item(0x00409000, 0x10, "veilmark.exe", "CrashReport", 40, 2, "ComposeSection");
  TStackItem location = FixtureExceptionFacts().Location;
  EXPECT_EQ(InternalErrorContent("stack dump", {own}, &location, {}),
            ">> internal error in stack dump:\r\n"
            "00409000 +10 veilmark.exe CrashReport  40 +2 ComposeSection\r\n"
            ">> original exception location: \r\n"
            "00401234 +14 veilmark.exe FormVeilmark  210 +12 TFormVeilmark.ChangeID");
  EXPECT_EQ(InternalErrorContent("registers", {}, nullptr, {}), ">> internal error in registers:");
}

TEST(ReportFormat, ChecksumsFollowTheirDefinition) {
  EXPECT_EQ(Crc32(0, "123456789"), 0xCBF43926u) << "the common CRC-32 check value";
  EXPECT_EQ(Crc32(Crc32(0, "1234"), "56789"), 0xCBF43926u) << "continued over parts";
  TStackItem a = Item(0x00401234, 0x14, "VeilMark.EXE", "FormVeilmark", 210, 12, "TFormVeilmark.ChangeID");
  EXPECT_EQ(StackItemCrc(a), Crc32(0x14, "veilmark.exeformveilmarktformveilmark.changeid"))
      << "lower case, from the offset";
  TStackItem b = a;
  b.Address = 0x00501234;  // the same function in a program loaded elsewhere
  EXPECT_EQ(StackItemCrc(a), StackItemCrc(b));
  TStackItem bare = Item(0x00403000, 0, "veilmark.exe", "", 0, -1, "");
  EXPECT_EQ(StackItemCrc(bare), 0x00403000u);

  TStackItem c = Item(0x7c816fd7, 0x34, "kernel32.dll", "", 0, -1, "BaseThreadInitThunk");
  auto le = [](std::uint32_t v) { return std::string{char(v), char(v >> 8), char(v >> 16), char(v >> 24)}; };
  std::uint32_t two = Crc32(StackItemCrc(a), le(StackItemCrc(c)));
  std::vector<TStackItem> withLines = FixtureWorkerStack(), withoutLines = {c};
  std::uint32_t worker = Crc32(StackItemCrc(withLines[0]), le(StackItemCrc(withLines[1])));
  TCallstackChecksums sums = ComputeCallstackChecksums({a, c}, {withoutLines, withLines});
  EXPECT_EQ(sums.Crc[0], StackItemCrc(a));
  EXPECT_EQ(sums.Crc[1], two);
  EXPECT_EQ(sums.Crc[2], Crc32(two, le(worker))) << "threads without line numbers do not count";
  std::string text = CallstackCrcText(sums);
  EXPECT_EQ(text.size(), 31u);
  EXPECT_EQ(text.substr(0, 9), DollarHex(sums.Crc[0]).insert(1, 9 - DollarHex(sums.Crc[0]).size(), '0'));
  EXPECT_EQ(CallstackCrcText({}), "$00000000, $00000000, $00000000");
}

TEST(ReportFormat, ReportTextPadsLabelsAndCleansSectionLines) {
  TICrashFields header, sections;
  header.Put("date/time", "2026");
  header.Put("exec. date/time", "2025-12-01 14:30\r\n");
  sections.Put("main thread ($1):", "line one   \r\n\r\nline three\rline four\nend  ");
  sections.Put("cpu registers", "");
  EXPECT_EQ(ComposeReportText(header, sections),
            "date/time       : 2026\r\n"
            "exec. date/time : 2025-12-01 14:30 \r\n"
            "\r\n"
            "main thread ($1):\r\nline one\r\n.\r\nline three\r\nline four\r\nend\r\n"
            "\r\n"
            "cpu registers:\r\n.");
}

}  // namespace
}  // namespace vm

// Reading reports back: files split into reports, header lines into name/value pairs,
// and damaged input read without harm.
#include <gtest/gtest.h>

#include "crashreport/report/BugReportReader.h"

namespace vm {
namespace {

TEST(BugReportReader, SplitsAFileIntoItsReports) {
  std::string a = "date/time     : 1\r\nexec. date/time : x \r\n\r\nmain thread:\r\n.";
  std::string b = "date/time     : 2\r\ncount : 2";
  std::string file = a + "\r\n\r\n" + b + "\r\n\r\n";
  std::vector<std::string_view> reports = SplitBugReportFile(file);
  ASSERT_EQ(reports.size(), 2u);
  EXPECT_EQ(reports[0], a);
  EXPECT_EQ(reports[1], b);
  EXPECT_EQ(ReportStarts(file), (std::vector<size_t>{0, a.size() + 4}));
  EXPECT_EQ(SplitBugReportFile("garbage\r\n" + b).size(), 1u) << "bytes in front are no report";
  EXPECT_TRUE(SplitBugReportFile("").empty());
  EXPECT_TRUE(SplitBugReportFile("no report at all").empty());
}

TEST(BugReportReader, HeaderLinesUpToTheFirstEmptyLine) {
  TReportHeader h = ParseReportHeader(
      "date/time         : 2026-01-05, 09:07:03, 45ms\r\n"
      "exec. date/time   : 2025-12-01 14:30 \r\n"
      "exception message : a: b\n"
      "odd line\r"
      "empty             : \r\n"
      "\r\n"
      "callstack crc     : not in the header");
  const TReportHeader expected = {{"date/time", "2026-01-05, 09:07:03, 45ms"},
                                  {"exec. date/time", "2025-12-01 14:30 "},
                                  {"exception message", "a: b"},
                                  {"odd line", ""},
                                  {"empty", ""}};
  EXPECT_EQ(h, expected);
  EXPECT_EQ(HeaderValue(h, "exception message"), "a: b");
  EXPECT_EQ(HeaderValue(h, "Exception Message"), "") << "names match exactly";
  EXPECT_TRUE(HasHeaderLine(h, "empty"));
  EXPECT_FALSE(HasHeaderLine(h, "callstack crc"));
}

TEST(BugReportReader, SectionsFollowTheHeader) {
  // Breaks of any kind; runs of empty lines end a section once; the header is no section.
  std::vector<TReportSection> s = ParseReportSections(
      "a : 1\r\nb : 2\r\n\r\nmain thread ($1a):\r\n00401234 f\n>> x\r\r\n\r\n\r\ncpu registers:\r\n.\r\nEAX=0");
  const std::vector<TReportSection> expected = {{"main thread ($1a):", "00401234 f\r\n>> x"},
                                                {"cpu registers:", ".\r\nEAX=0"}};
  EXPECT_EQ(s, expected);
  EXPECT_TRUE(ParseReportSections("a : 1\r\nb : 2").empty());
  EXPECT_EQ(ParseReportSections("\r\ntitle").size(), 1u) << "an empty header";
}

TEST(BugReportReader, ArbitraryBytesAreReadWithoutHarm) {
  std::string bytes;
  for (int i = 0; i < 4096; ++i) bytes += char((i * 7919) & 0xFF);
  bytes += std::string("\0date/time: x\r", 14);
  for (std::string_view r : SplitBugReportFile(bytes)) ParseReportHeader(r);
  TReportHeader h = ParseReportHeader(std::string("a\0b : c\0d", 9));
  ASSERT_EQ(h.size(), 1u);
  EXPECT_EQ(h[0].Value, std::string("c\0d", 3)) << "a NUL is just a byte";
}

}  // namespace
}  // namespace vm

// Reading report facts, the grouping rule and the checks of an upload's form parts.
#include <gtest/gtest.h>

#include "server/Upload.h"
#include "tests/server/Fixtures.h"

namespace vm::server {
namespace {

using test::DefaultHeader;
using test::ReportText;
using test::With;
using test::Without;

TEST(ReportFacts, ReadsTheHeaderValuesItNeeds) {
  auto f = ReadReportFacts(ReportText(With(With(DefaultHeader(), "contact email", "a@b.example"), "count", "4")));
  ASSERT_TRUE(f);
  EXPECT_EQ(f->ComputerName, "OFFICE-PC");
  EXPECT_EQ(f->Executable, "veilmark.exe");
  EXPECT_EQ(f->Version, "1.0.0.7");
  EXPECT_EQ(f->ExceptionClass, "EAccessViolation");
  EXPECT_EQ(f->ContactEmail, "a@b.example");
  EXPECT_EQ(f->Count, 4);
  EXPECT_EQ(f->Digest.size(), 64u);
}

TEST(ReportFacts, DamagedCountsCountOnce) {
  for (const char* count : {"0", "-3", "x", "2x", "99999999999", ""}) {
    auto f = ReadReportFacts(ReportText(With(DefaultHeader(), "count", count)));
    ASSERT_TRUE(f) << count;
    EXPECT_EQ(f->Count, 1) << count;
  }
}

TEST(ReportFacts, WithoutAHeaderThereAreNoFacts) {
  EXPECT_FALSE(ReadReportFacts("just some text\r\n"));
  EXPECT_FALSE(ReadReportFacts(ReportText(Without(DefaultHeader(), "callstack crc"))));
  EXPECT_FALSE(ReadReportFacts(ReportText(Without(DefaultHeader(), "executable"))));
}

std::string KeyOf(const test::TLines& header) { return ReadReportFacts(ReportText(header))->GroupKey; }

TEST(ReportFacts, GroupKeyFollowsTheDuplicateRule) {
  const std::string base = KeyOf(DefaultHeader());
  struct TRow {
    const char* why;
    test::TLines header;
    bool same;
  };
  const TRow rows[] = {
      {"another computer and time", With(With(DefaultHeader(), "computer name", "X"), "date/time", "2027"), true},
      {"third checksum differs", With(DefaultHeader(), "callstack crc", "$0a1b2c3d, $4e5f6071, $00000000"), true},
      {"second checksum differs", With(DefaultHeader(), "callstack crc", "$0a1b2c3d, $00000000, $8293a4b5"), false},
      {"other version: one crash across versions", With(DefaultHeader(), "version", "1.0.0.8"), true},
      {"no version", Without(DefaultHeader(), "version"), true},
      {"other module", With(DefaultHeader(), "current module", "helper.dll"), false},
      {"other class", With(DefaultHeader(), "exception class", "EConvertError"), false},
  };
  for (const TRow& row : rows) EXPECT_EQ(KeyOf(row.header) == base, row.same) << row.why;

  // A freeze (no exception class) compares all three checksums.
  const auto freeze = Without(DefaultHeader(), "exception class");
  EXPECT_NE(KeyOf(freeze), KeyOf(With(freeze, "callstack crc", "$0a1b2c3d, $4e5f6071, $00000000")));
  // The file dates stood in for a missing version; they are left out like the version.
  const auto noVersion = With(Without(DefaultHeader(), "version"), "exec. date/time", "2026-12-01 10:00");
  EXPECT_EQ(KeyOf(noVersion), KeyOf(With(noVersion, "exec. date/time", "2026-12-02 10:00")));
  // Checksums never computed: merged with nothing, not even an identical twin elsewhere.
  const auto soon = With(DefaultHeader(), "callstack crc", "will be calculated soon");
  EXPECT_NE(KeyOf(soon), KeyOf(With(soon, "computer name", "Z")));
}

TEST(ReportFacts, SplitsAFileIntoItsReports) {
  const std::string a = ReportText(DefaultHeader()), b = ReportText(With(DefaultHeader(), "count", "2"));
  const std::string file = a + "\r\n\r\n" + b + "\r\n\r\n";
  const auto reports = SplitReports(file);
  ASSERT_EQ(reports.size(), 2u);
  EXPECT_EQ(reports[0], a);
  EXPECT_EQ(reports[1], b);
}

const std::string kPng = std::string("\x89PNG\r\n\x1a\n\0\0\0\x0dIHDR", 16) + std::string(17, '\0');

TEST(Upload, ReadsFieldsReportsAndScreenshot) {
  const std::string file =
      ReportText(DefaultHeader()) + "\r\n\r\n" + ReportText(With(DefaultHeader(), "count", "2")) + "\r\n\r\n";
  auto read = ReadUpload({{"MailFrom", "", "Anna <a@b.example>"},
                          {"BugReport", "bugreport.txt", file},
                          {"ScreenShot", "screenshot.png", kPng},
                          {"Extra", "", "kept out"}});
  ASSERT_TRUE(std::holds_alternative<TUpload>(read));
  const TUpload& u = std::get<TUpload>(read);
  EXPECT_EQ(u.MailFrom, "Anna <a@b.example>");
  ASSERT_EQ(u.Reports.size(), 2u);
  EXPECT_EQ(u.Reports[1].Count, 2);
  EXPECT_EQ(u.Screenshot, kPng);
}

TEST(Upload, RefusesWhatCannotBeStored) {
  const std::string report = ReportText(DefaultHeader());
  const std::vector<std::pair<const char*, std::vector<TFormPart>>> rows = {
      {"no bug report", {{"MailFrom", "", "x"}}},
      {"empty bug report", {{"BugReport", "bugreport.txt", ""}}},
      {"two bug reports", {{"BugReport", "a", report}, {"BugReport", "b", report}}},
      {"screenshot not a PNG", {{"BugReport", "a", report}, {"ScreenShot", "s", "GIF89a"}}},
      {"PNG signature alone", {{"BugReport", "a", report}, {"ScreenShot", "s", kPng.substr(0, 8)}}},
      {"newest report without header", {{"BugReport", "a", report + "\r\n\r\ndate/time : x\r\n"}}},
  };
  for (const auto& [why, parts] : rows) {
    auto read = ReadUpload(parts);
    ASSERT_TRUE(std::holds_alternative<TUploadError>(read)) << why;
    EXPECT_EQ(std::get<TUploadError>(read).Status, 400) << why;
  }
}

TEST(Upload, ADamagedOlderReportDoesNotBlockTheNewOne) {
  const std::string file = "date/time : 2026\r\ngarbage\r\n\r\n" + ReportText(DefaultHeader()) + "\r\n\r\n";
  auto read = ReadUpload({{"BugReport", "bugreport.txt", file}});
  ASSERT_TRUE(std::holds_alternative<TUpload>(read));
  EXPECT_EQ(std::get<TUpload>(read).Reports.size(), 1u);
  EXPECT_EQ(std::get<TUpload>(read).SkippedReports, 1);
}

}  // namespace
}  // namespace vm::server

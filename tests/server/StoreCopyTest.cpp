// Moving a server's SQLite database over to PostgreSQL: everything arrives once, numbers and
// states kept, and a second run copies only what is new.
#include <gtest/gtest.h>

#include <filesystem>

#include "server/PgConnection.h"
#include "server/PostgresReportStore.h"
#include "server/SqliteReportStore.h"
#include "server/StoreCopy.h"
#include "tests/server/Fixtures.h"
#include "tests/server/PgSandbox.h"

namespace vm::server {
namespace {

using test::DefaultHeader;
using test::ReportText;
using test::With;

TUpload UploadOf(const std::vector<test::TLines>& headers, const std::string& screenshot = "") {
  TUpload u;
  u.RemoteAddress = "10.1.2.3";
  u.MailFrom = "Anna <anna@example.com>";
  u.MailBody = "it crashed again \xE4";
  for (const auto& h : headers) u.Reports.push_back(*ReadReportFacts(ReportText(h)));
  u.Screenshot = screenshot;
  return u;
}

test::TLines Crash(const std::string& klass, const std::string& when, const std::string& computer = "PC-1") {
  return With(With(With(DefaultHeader(), "exception class", klass), "date/time", when), "computer name", computer);
}

// All that the pages can show of a store, as one text to compare.
std::string Everything(IReportStore& store) {
  std::string out;
  TGroupQuery all;
  all.State = TStateFilter::All;
  all.Limit = 1000;
  for (const TGroupRow& g : store.Groups(all)) {
    out += "group " + std::to_string(g.Id) + " " + g.ExceptionClass + " " + g.ExceptionMessage + " " + g.Executable +
           " " + g.FirstSeen + " " + g.LastSeen + " reports " + std::to_string(g.Reports) + " computers " +
           std::to_string(g.Computers) + " claimed " + std::to_string(g.ClaimedCount) + " state " +
           std::to_string(int(g.State)) + (g.Regressed ? " regressed " : " ") + g.ResolvedIn + "\n";
    for (const std::string& v : g.Versions) out += "  version " + v + "\n";
    for (const TReportRow& listed : store.ReportsOfGroup(g.Id, 1000, 0)) {
      const TReportRow r = *store.Report(listed.Id);
      out += "  report " + std::to_string(r.Id) + " " + r.ReceivedAt + " " + r.ComputerName + " " + r.Version + " " +
             r.MailFrom + " " + r.MailBody + " " + r.RemoteAddress + " count " + std::to_string(r.Count) + " text " +
             std::to_string(r.Text.size()) + " shot " + store.Screenshot(r.Id).value_or("-") + "\n";
    }
  }
  return out;
}

class StoreCopyTest : public ::testing::Test {
protected:
  void SetUp() override {
    const auto& sandbox = test::TPgSandbox::Get();
    if (sandbox.Connection().empty()) GTEST_SKIP() << "no PostgreSQL server to copy to: " << sandbox.Why();
    static int count = 0;
    FSchema = "copy_" + std::to_string(getpid()) + "_" + std::to_string(++count);
    TPgConnection(sandbox.Connection()).Exec("DROP SCHEMA IF EXISTS " + FSchema + " CASCADE; CREATE SCHEMA " + FSchema);
    FTarget = sandbox.Schema(FSchema);
    FFolder = std::filesystem::temp_directory_path() / FSchema;
    std::filesystem::create_directories(FFolder);
  }
  void TearDown() override {
    if (FSchema.empty()) return;
    TPgConnection(test::TPgSandbox::Get().Connection()).Exec("DROP SCHEMA " + FSchema + " CASCADE");
    std::filesystem::remove_all(FFolder);
  }
  std::string Source() const { return (FFolder / "reports.sqlite").string(); }

  std::string FSchema, FTarget;
  std::filesystem::path FFolder;
};

TEST_F(StoreCopyTest, CopiesEverythingOnceAndKeepsNumbersAndStates) {
  TSqliteReportStore source(Source());
  source.StoreUpload(UploadOf({Crash("EOne", "1"), With(Crash("ETwo", "2"), "version", "1.0.0.8")}, "\x89PNG one"));
  source.StoreUpload(UploadOf({Crash("EGone", "3")}));
  const std::int64_t gone = source.Report(source.StoreUpload(UploadOf({Crash("EGone", "4")})).LastReportId)->GroupId;
  source.StoreUpload(UploadOf({Crash("EOne", "5", "PC-2"), Crash("EThree", "6", "PC-\xDC")}, "\x89PNG two"));
  ASSERT_TRUE(source.DeleteGroup(gone));  // leaves a gap in the numbers
  ASSERT_TRUE(source.SetGroupState(1, TGroupState::Resolved, "1.0.0.7"));
  source.AddAccount("dev", "$y$dev");
  source.AddAccount("J\xF6rg", "$y$jorg");

  const TCopyCounts first = CopySqliteToPostgres(Source(), FTarget);
  EXPECT_EQ(DescribeCopy(first),
            "copied 2 uploads, 4 reports (2 with a screenshot), 3 groups, 2 accounts; "
            "already there: 0 reports, 0 groups, 0 accounts");
  TPostgresReportStore target(FTarget);
  EXPECT_EQ(Everything(target), Everything(source));
  EXPECT_EQ(target.PasswordHash("J\xF6rg"), "$y$jorg");

  const TCopyCounts second = CopySqliteToPostgres(Source(), FTarget);
  EXPECT_EQ(DescribeCopy(second),
            "copied 0 uploads, 0 reports (0 with a screenshot), 0 groups, 0 accounts; "
            "already there: 4 reports, 3 groups, 2 accounts");
  EXPECT_EQ(Everything(target), Everything(source));
  // New reports on the target take numbers after the copied ones.
  const std::int64_t next = target.StoreUpload(UploadOf({Crash("ENew", "7")})).LastReportId;
  EXPECT_GT(next, source.ReportsOfGroup(1, 1, 0).at(0).Id);
}

// The target has served uploads of its own, some of which the old server also received.
TEST_F(StoreCopyTest, ALaterRunAddsOnlyTheNewAndCountsTheGroupsAgain) {
  TPostgresReportStore target(FTarget);
  const TUpload both = UploadOf({Crash("EOne", "both", "PC-9")});
  target.StoreUpload(both);
  target.StoreUpload(UploadOf({Crash("ETarget", "t")}));
  target.SetGroupState(1, TGroupState::Ignored, "");  // triaged on the new server
  target.AddAccount("dev", "$y$new");

  TSqliteReportStore source(Source());
  source.StoreUpload(both);
  source.StoreUpload(UploadOf({Crash("EOne", "old", "PC-1"), With(Crash("EOne", "old2", "PC-2"), "count", "5")}));
  source.AddAccount("dev", "$y$old");

  const TCopyCounts c = CopySqliteToPostgres(Source(), FTarget);
  EXPECT_EQ(c.Reports, 2);
  EXPECT_EQ(c.KnownReports, 1);
  EXPECT_EQ(c.KnownGroups, 1);
  EXPECT_EQ(c.KnownAccounts, 1);
  EXPECT_EQ(target.PasswordHash("dev"), "$y$new");
  auto group = target.Group(1);
  ASSERT_TRUE(group);
  EXPECT_EQ(group->State, TGroupState::Ignored);
  EXPECT_EQ(group->Reports, 3);
  EXPECT_EQ(group->ClaimedCount, 7);
  EXPECT_EQ(group->Computers, 2);  // PC-9, and PC-2 that sent the other upload
  EXPECT_EQ(target.ReportsOfGroup(1, 10, 0).size(), 3u);
  EXPECT_EQ(CopySqliteToPostgres(Source(), FTarget).Reports, 0);
}

TEST_F(StoreCopyTest, AMissingSourceIsAnErrorAndCreatesNothing) {
  EXPECT_THROW(CopySqliteToPostgres(Source(), FTarget), EStoreError);
  EXPECT_FALSE(std::filesystem::exists(Source()));
}

}  // namespace
}  // namespace vm::server

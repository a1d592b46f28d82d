// The SQLite store: whole uploads or nothing, schema versions and the upgrade that merges
// groups across versions, counts the server received, triage states, filters, accounts.
#include <gtest/gtest.h>
#include <sqlite3.h>

#include <filesystem>

#include "server/SqliteReportStore.h"
#include "tests/server/Fixtures.h"

namespace vm::server {
namespace {

using test::DefaultHeader;
using test::ReportText;
using test::With;

class ReportStoreTest : public ::testing::Test {
protected:
  void SetUp() override {
    FFolder = std::filesystem::temp_directory_path() /
              ("reportstore-" + std::string(::testing::UnitTest::GetInstance()->current_test_info()->name()));
    std::filesystem::remove_all(FFolder);
    std::filesystem::create_directories(FFolder);
  }
  void TearDown() override { std::filesystem::remove_all(FFolder); }
  std::string Path() const { return (FFolder / "reports.sqlite").string(); }

  static TUpload UploadOf(const std::vector<test::TLines>& headers) {
    TUpload u;
    u.RemoteAddress = "127.0.0.1";
    for (const auto& h : headers) u.Reports.push_back(*ReadReportFacts(ReportText(h)));
    return u;
  }
  void Sql(const std::string& sql) {
    sqlite3* db = nullptr;
    ASSERT_EQ(sqlite3_open(Path().c_str(), &db), SQLITE_OK);
    EXPECT_EQ(sqlite3_exec(db, sql.c_str(), nullptr, nullptr, nullptr), SQLITE_OK) << sqlite3_errmsg(db);
    sqlite3_close(db);
  }

  std::filesystem::path FFolder;
};

TGroupQuery All() {
  TGroupQuery q;
  q.State = TStateFilter::All;
  return q;
}

TEST_F(ReportStoreTest, AFailureInsideAnUploadLeavesNothingOfIt) {
  TSqliteReportStore store(Path());
  // A second connection makes the third report's insert fail, as a full disk would.
  Sql("CREATE TRIGGER refuse BEFORE INSERT ON reports WHEN NEW.computer = 'POISON' "
      "BEGIN SELECT RAISE(ABORT, 'refused'); END;");
  const TUpload upload = UploadOf({DefaultHeader(), With(DefaultHeader(), "computer name", "B"),
                                   With(With(DefaultHeader(), "computer name", "POISON"), "count", "2")});
  EXPECT_THROW(store.StoreUpload(upload), EStoreError);
  EXPECT_EQ(store.GroupCount(All()), 0);
  EXPECT_TRUE(store.ReportsOfGroup(1, 10, 0).empty());

  Sql("DROP TRIGGER refuse;");
  const TStoreResult r = store.StoreUpload(upload);
  EXPECT_EQ(r.Stored, 3);
  auto groups = store.Groups({});
  ASSERT_EQ(groups.size(), 1u);
  EXPECT_EQ(groups[0].Reports, 3);
  EXPECT_EQ(groups[0].ClaimedCount, 4);  // 1 + 1 + the "count 2"
  EXPECT_EQ(groups[0].Computers, 1);     // one upload: the computer of its newest report
}

TEST_F(ReportStoreTest, TheSameFileSentTwiceIsCreditedOnce) {
  TSqliteReportStore store(Path());
  const TUpload upload = UploadOf({DefaultHeader(), With(DefaultHeader(), "version", "1.0.0.8")});
  EXPECT_EQ(store.StoreUpload(upload).Stored, 2);
  const TStoreResult again = store.StoreUpload(upload);
  EXPECT_EQ(again.Stored, 0);
  EXPECT_EQ(again.Duplicates, 2);
  auto groups = store.Groups({});
  ASSERT_EQ(groups.size(), 1u);  // one crash in two versions
  EXPECT_EQ(groups[0].Reports, 2);
  EXPECT_EQ(groups[0].ClaimedCount, 2);
}

TEST_F(ReportStoreTest, OneCrashIsOneGroupAcrossItsVersions) {
  TSqliteReportStore store(Path());
  int n = 0;
  for (const char* v : {"1.0.0.10", "1.0.0.7", "1.0.0.9", "1.0.0.7"})
    store.StoreUpload(UploadOf({With(With(DefaultHeader(), "version", v), "date/time", std::to_string(++n))}));
  store.StoreUpload(UploadOf({With(test::Without(DefaultHeader(), "version"), "date/time", "no version")}));
  auto groups = store.Groups({});
  ASSERT_EQ(groups.size(), 1u);
  EXPECT_EQ(groups[0].Reports, 5);
  EXPECT_EQ(groups[0].Versions, (std::vector<std::string>{"1.0.0.7", "1.0.0.9", "1.0.0.10"}));
  EXPECT_EQ(groups[0].FirstVersion, "1.0.0.7");
  EXPECT_EQ(groups[0].LastVersion, "1.0.0.10");
}

TEST_F(ReportStoreTest, RankingByCountFollowsRealSendersNotClaimedCounts) {
  TSqliteReportStore store(Path());
  auto crash = [](const char* klass) { return With(DefaultHeader(), "exception class", klass); };
  // Two computers sent EReal once each.
  store.StoreUpload(UploadOf({With(crash("EReal"), "computer name", "PC-1")}));
  store.StoreUpload(UploadOf({With(crash("EReal"), "computer name", "PC-2")}));
  // One upload claims a million occurrences.
  store.StoreUpload(UploadOf({With(crash("EForgedCount"), "count", "1000000")}));
  // One upload of 40 made-up reports, each from another "computer".
  std::vector<test::TLines> flood;
  for (int i = 0; i < 40; ++i)
    flood.push_back(With(crash("EFlood"), "computer name", "FAKE-" + std::to_string(i)));
  store.StoreUpload(UploadOf(flood));

  TGroupQuery q;
  q.Order = TGroupOrder::Count;
  std::vector<std::string> order;
  for (const TGroupRow& g : store.Groups(q)) order.push_back(g.ExceptionClass);
  EXPECT_EQ(order, (std::vector<std::string>{"EReal", "EFlood", "EForgedCount"}));
  const auto groups = store.Groups(q);
  EXPECT_EQ(groups[1].Computers, 1);
  EXPECT_EQ(groups[1].Reports, 40);
  EXPECT_EQ(groups[2].ClaimedCount, 1000000);
  EXPECT_EQ(groups[2].Reports, 1);
}

TEST_F(ReportStoreTest, AResolvedGroupReopensOnlyForANewerVersion) {
  struct TRow {
    const char* why;
    TGroupState state;
    const char* resolvedIn;
    const char* incoming;  // version of the new report; empty: none
    TGroupState after;
    bool regressed;
  };
  const TRow rows[] = {
      {"newer version", TGroupState::Resolved, "1.0.0.8", "1.0.0.9", TGroupState::Open, true},
      {"the version it was resolved in", TGroupState::Resolved, "1.0.0.8", "1.0.0.8", TGroupState::Resolved, false},
      {"an older version", TGroupState::Resolved, "1.0.0.8", "1.0.0.7", TGroupState::Resolved, false},
      {"numbers, not text", TGroupState::Resolved, "1.0.0.9", "1.0.0.10", TGroupState::Open, true},
      {"no version to compare", TGroupState::Resolved, "1.0.0.8", "", TGroupState::Resolved, false},
      {"ignored stays ignored", TGroupState::Ignored, "", "9.0", TGroupState::Ignored, false},
  };
  int n = 0;
  for (const TRow& row : rows) {
    TSqliteReportStore store(Path() + std::to_string(++n));
    store.StoreUpload(UploadOf({DefaultHeader()}));
    ASSERT_TRUE(store.SetGroupState(1, row.state, row.resolvedIn)) << row.why;
    auto next = With(DefaultHeader(), "date/time", "later");
    store.StoreUpload(UploadOf({*row.incoming ? With(next, "version", row.incoming) : test::Without(next, "version")}));
    const auto g = store.Group(1);
    ASSERT_TRUE(g) << row.why;
    EXPECT_EQ(g->State, row.after) << row.why;
    EXPECT_EQ(g->Regressed, row.regressed) << row.why;
    EXPECT_EQ(g->Reports, 2) << row.why;
  }
  // Resolving again clears the mark.
  TSqliteReportStore store(Path() + "1");
  ASSERT_TRUE(store.SetGroupState(1, TGroupState::Resolved, "1.0.0.9"));
  EXPECT_FALSE(store.Group(1)->Regressed);
  EXPECT_EQ(store.Group(1)->ResolvedIn, "1.0.0.9");
  EXPECT_FALSE(store.SetGroupState(99, TGroupState::Ignored, ""));
}

TEST_F(ReportStoreTest, FiltersAndSearch) {
  TSqliteReportStore store(Path());
  auto crash = [](const char* klass) { return With(DefaultHeader(), "exception class", klass); };
  TUpload a = UploadOf({With(With(crash("EOne"), "contact email", "anna@example.com"), "computer name", "LAB-7")});
  a.MailFrom = "Anna <anna@example.com>";
  store.StoreUpload(a);
  TUpload b = UploadOf({With(With(crash("ETwo"), "version", "1.0.0.8"), "executable", "Helper.exe")});
  b.Reports[0] = *ReadReportFacts(ReportText(With(With(crash("ETwo"), "version", "1.0.0.8"), "executable", "Helper.exe"),
                                             "0040a1b2 veilmark.exe TCacheFlush.Run"));
  b.MailFrom = "bert@example.org";
  store.StoreUpload(b);
  store.StoreUpload(UploadOf({With(crash("EThree"), "exception message", "disk 100% full")}));
  store.SetGroupState(3, TGroupState::Ignored, "");

  struct TRow {
    const char* why;
    TGroupQuery query;
    std::vector<std::string> classes;  // newest first
  };
  auto q = [](auto change) {
    TGroupQuery query;
    change(query);
    return query;
  };
  const TRow rows[] = {
      {"open by default", {}, {"ETwo", "EOne"}},
      {"every state", All(), {"EThree", "ETwo", "EOne"}},
      {"ignored", q([](auto& x) { x.State = TStateFilter::Ignored; }), {"EThree"}},
      {"resolved", q([](auto& x) { x.State = TStateFilter::Resolved; }), {}},
      {"version", q([](auto& x) { x.Version = "1.0.0.8"; }), {"ETwo"}},
      {"executable, any letter case", q([](auto& x) { x.Executable = "helper.EXE"; }), {"ETwo"}},
      {"stack line", q([](auto& x) { x.Search = "tcacheflush"; }), {"ETwo"}},
      {"computer name", q([](auto& x) { x.Search = "LAB-7"; }), {"EOne"}},
      {"contact address", q([](auto& x) { x.Search = "anna@example"; }), {"EOne"}},
      {"sender's address", q([](auto& x) { x.Search = "bert@"; }), {"ETwo"}},
      {"class", q([](auto& x) { x.Search = "eon"; }), {"EOne"}},
      {"wildcards are text", q([](auto& x) { x.State = TStateFilter::All, x.Search = "100%"; }), {"EThree"}},
      {"underscore is text", q([](auto& x) { x.Search = "_"; }), {}},
  };
  for (const TRow& row : rows) {
    std::vector<std::string> classes;
    for (const TGroupRow& g : store.Groups(row.query)) classes.push_back(g.ExceptionClass);
    EXPECT_EQ(classes, row.classes) << row.why;
    EXPECT_EQ(store.GroupCount(row.query), std::int64_t(row.classes.size())) << row.why;
  }
}

TEST_F(ReportStoreTest, DeletingAGroupTakesItsReportsScreenshotsAndEmptyUploads) {
  TSqliteReportStore store(Path());
  // One file with a report of each of two crashes, the screenshot with the second.
  TUpload shared = UploadOf({With(DefaultHeader(), "exception class", "EKeep"), DefaultHeader()});
  shared.Screenshot = "png";
  const std::int64_t shot = store.StoreUpload(shared).LastReportId;
  store.StoreUpload(UploadOf({With(DefaultHeader(), "date/time", "again")}));
  ASSERT_EQ(store.Group(2)->Reports, 2);

  EXPECT_TRUE(store.DeleteGroup(2));
  EXPECT_FALSE(store.DeleteGroup(2));
  EXPECT_FALSE(store.Group(2));
  EXPECT_FALSE(store.Report(shot));
  EXPECT_FALSE(store.Screenshot(shot));
  ASSERT_TRUE(store.Group(1));
  // The kept report still has its upload; the one that held only deleted reports is gone.
  EXPECT_EQ(store.Report(store.ReportsOfGroup(1, 10, 0).at(0).Id)->RemoteAddress, "127.0.0.1");
  Sql("CREATE TABLE seen AS SELECT (SELECT COUNT(*) FROM uploads) AS uploads");
  sqlite3* db = nullptr;
  ASSERT_EQ(sqlite3_open(Path().c_str(), &db), SQLITE_OK);
  sqlite3_stmt* s = nullptr;
  sqlite3_prepare_v2(db, "SELECT uploads FROM seen", -1, &s, nullptr);
  ASSERT_EQ(sqlite3_step(s), SQLITE_ROW);
  EXPECT_EQ(sqlite3_column_int(s, 0), 1);
  sqlite3_finalize(s);
  sqlite3_close(db);
  // The deleted crash sent again is a new group.
  store.StoreUpload(UploadOf({DefaultHeader()}));
  EXPECT_EQ(store.GroupCount(All()), 2);
}

TEST_F(ReportStoreTest, SchemaIsVersionedAndANewerOneRefused) {
  {
    TSqliteReportStore store(Path());
    EXPECT_EQ(store.SchemaVersion(), TSqliteReportStore::kSchemaVersion);
    store.StoreUpload(UploadOf({DefaultHeader()}));
    EXPECT_TRUE(store.AddAccount("dev", "$y$hash"));
    EXPECT_FALSE(store.AddAccount("dev", "$y$other"));
  }
  {
    TSqliteReportStore reopened(Path());  // a second start keeps everything
    EXPECT_EQ(reopened.GroupCount(All()), 1);
    EXPECT_EQ(reopened.PasswordHash("dev"), "$y$hash");
  }
  Sql("PRAGMA user_version = 99;");
  EXPECT_THROW(TSqliteReportStore{Path()}, EStoreError);
}

std::string Hex(const std::string& bytes) {
  static const char digits[] = "0123456789abcdef";
  std::string out;
  for (unsigned char c : bytes) {
    out += digits[c >> 4];
    out += digits[c & 15];
  }
  return out;
}

// A schema-1 database as the server before the version left the group key wrote it: one
// crash in two versions as two groups, a group keyed by file dates, and a lone report.
TEST_F(ReportStoreTest, UpgradeMergesGroupsThatDifferedOnlyByVersion) {
  TSqliteReportStore::CreateAtVersion(Path(), 1);
  const TReportFacts v7 = *ReadReportFacts(ReportText(DefaultHeader()));
  const TReportFacts v8 = *ReadReportFacts(ReportText(With(With(DefaultHeader(), "version", "1.0.0.8"), "computer name", "PC-2")));
  const TReportFacts other = *ReadReportFacts(ReportText(With(DefaultHeader(), "exception class", "EOther")));
  auto key = [](const TReportFacts& f, const std::string& tail) { return "CAST(x'" + Hex(f.GroupKey + tail) + "' AS TEXT)"; };
  Sql("INSERT INTO uploads VALUES(1, '2026-12-01 10:00:00', '10.0.0.1', '', '', '', ''),"
      " (2, '2026-12-02 10:00:00', '10.0.0.2', '', '', '', ''), (3, '2026-12-03 10:00:00', '10.0.0.3', '', '', '', '');"
      "INSERT INTO report_groups VALUES"
      " (1, " + key(v7, "\nversion\n1.0.0.7") + ", 'EAccessViolation', 'old text', 'veilmark.exe', '2026-12-01 10:00:00', '2026-12-01 10:00:00', 3, 1),"
      " (2, " + key(other, "\ndates\n2026-11-01 08:00\n") + ", 'EOther', 'x', 'veilmark.exe', '2026-12-01 11:00:00', '2026-12-01 11:00:00', 1, 1),"
      " (3, " + key(v8, "\nversion\n1.0.0.8") + ", 'EAccessViolation', 'new text', 'veilmark.exe', '2026-12-02 10:00:00', '2026-12-03 10:00:00', 2, 2),"
      " (4, 'single\n" + v7.Digest + "', 'ELone', '', 'veilmark.exe', '2026-12-01 12:00:00', '2026-12-01 12:00:00', 1, 1);"
      "INSERT INTO reports VALUES"
      " (1, 1, 1, 'd1', '2026-12-01 10:00:00', '', 'OFFICE-PC', '', '1.0.0.7', 'EAccessViolation', '', '', '', 3, x'00'),"
      " (2, 2, 1, 'd2', '2026-12-01 11:00:00', '', 'OFFICE-PC', '', '', 'EOther', '', '', '', 1, x'00'),"
      " (3, 3, 2, 'd3', '2026-12-02 10:00:00', '', 'PC-2', '', '1.0.0.8', 'EAccessViolation', '', '', '', 1, x'00'),"
      " (4, 3, 3, 'd4', '2026-12-03 10:00:00', '', 'PC-3', '', '1.0.0.8', 'EAccessViolation', '', '', '', 1, x'00'),"
      " (5, 4, 3, 'd5', '2026-12-01 12:00:00', '', 'PC-3', '', '1.0.0.7', 'ELone', '', '', '', 1, x'00');"
      "INSERT INTO screenshots VALUES(4, x'89');"
      "INSERT INTO group_versions VALUES(1, '1.0.0.7'), (3, '1.0.0.8'), (4, '1.0.0.7');"
      "INSERT INTO group_computers VALUES(1, 'OFFICE-PC'), (2, 'OFFICE-PC'), (3, 'PC-2'), (3, 'PC-3'), (4, 'PC-3');");

  TSqliteReportStore store(Path());
  EXPECT_EQ(store.SchemaVersion(), 2);
  EXPECT_EQ(store.GroupCount(All()), 3);
  const auto merged = store.Group(1);
  ASSERT_TRUE(merged);
  EXPECT_FALSE(store.Group(3));
  EXPECT_EQ(merged->Versions, (std::vector<std::string>{"1.0.0.7", "1.0.0.8"}));
  EXPECT_EQ(merged->Reports, 3);
  EXPECT_EQ(merged->ClaimedCount, 5);
  EXPECT_EQ(merged->Computers, 3);  // OFFICE-PC, PC-2, PC-3
  EXPECT_EQ(merged->FirstSeen, "2026-12-01 10:00:00");
  EXPECT_EQ(merged->LastSeen, "2026-12-03 10:00:00");
  EXPECT_EQ(merged->ExceptionMessage, "new text");
  EXPECT_EQ(merged->State, TGroupState::Open);
  EXPECT_EQ(store.ReportsOfGroup(1, 10, 0).size(), 3u);
  EXPECT_TRUE(store.Screenshot(4));
  EXPECT_EQ(store.Group(4)->Reports, 1);

  // The keys now are what the server computes: the same crash in a new version and the
  // dated group's crash join the groups they had.
  store.StoreUpload(UploadOf({With(DefaultHeader(), "version", "1.0.0.9"),
                              With(With(DefaultHeader(), "exception class", "EOther"), "date/time", "new")}));
  EXPECT_EQ(store.GroupCount(All()), 3);
  EXPECT_EQ(store.Group(1)->LastVersion, "1.0.0.9");
  EXPECT_EQ(store.Group(2)->Reports, 2);
}

TEST_F(ReportStoreTest, AccountsCanBeChangedAndRemoved) {
  TSqliteReportStore store(Path());
  ASSERT_TRUE(store.AddAccount("dev", "$y$one"));
  EXPECT_TRUE(store.SetPasswordHash("dev", "$y$two"));
  EXPECT_EQ(store.PasswordHash("dev"), "$y$two");
  EXPECT_FALSE(store.SetPasswordHash("nobody", "$y$x"));
  EXPECT_TRUE(store.RemoveAccount("dev"));
  EXPECT_FALSE(store.RemoveAccount("dev"));
  EXPECT_FALSE(store.PasswordHash("dev"));
  EXPECT_EQ(store.AccountCount(), 0);
}

}  // namespace
}  // namespace vm::server

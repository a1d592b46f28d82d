// One table of store cases, run against each store: SQLite in a temporary file, PostgreSQL
// in a database of its own on a server that this program starts (tests/server/PgSandbox.h).
// Whole uploads or nothing, schema versions, counts the server received, triage states,
// filters and search, 8-bit texts, accounts, sessions, and several store objects (as several
// server processes) writing at once. The upgrade steps of old SQLite files have their cases
// after the table.
#include <gtest/gtest.h>
#include <sqlite3.h>

#include <atomic>
#include <filesystem>
#include <functional>
#include <thread>

#include "server/PgConnection.h"
#include "server/PostgresReportStore.h"
#include "server/SqliteReportStore.h"
#include "tests/server/Fixtures.h"
#include "tests/server/PgSandbox.h"

namespace vm::server {
namespace {

using test::DefaultHeader;
using test::ReportText;
using test::With;

// What a case needs of a store beyond the interface: fresh storage, and statements run
// beside the store as another program would.
class TSide {
public:
  virtual ~TSide() = default;
  virtual std::unique_ptr<IReportStore> Open() = 0;  // the same storage every time
  virtual void Sql(const std::string& sql) = 0;
  virtual int SchemaVersion() = 0;
  virtual std::int64_t Number(const std::string& sql) = 0;  // the first column of the first row
  // Makes inserting a report from the computer "POISON" fail, as a full disk would.
  std::string Refuse, Allow;
  // Marks the schema as written by a newer server; takes it back to the version before
  // sessions.
  std::string Newer, Older;
  int Current = 0;  // the schema version this build writes
};

class TSqliteSide final : public TSide {
public:
  TSqliteSide() {
    FFolder = std::filesystem::temp_directory_path() /
              ("reportstore-" + std::to_string(getpid()) + "-" + std::to_string(++FCount));
    std::filesystem::remove_all(FFolder);
    std::filesystem::create_directories(FFolder);
    Refuse =
        "CREATE TRIGGER refuse BEFORE INSERT ON reports WHEN NEW.computer = 'POISON' "
        "BEGIN SELECT RAISE(ABORT, 'refused'); END;";
    Allow = "DROP TRIGGER refuse;";
    Newer = "PRAGMA user_version = 99;";
    Older = "DROP TABLE sessions; PRAGMA user_version = 2;";
    Current = TSqliteReportStore::kSchemaVersion;
  }
  ~TSqliteSide() override { std::filesystem::remove_all(FFolder); }
  std::unique_ptr<IReportStore> Open() override { return std::make_unique<TSqliteReportStore>(Path()); }
  void Sql(const std::string& sql) override {
    sqlite3* db = nullptr;
    ASSERT_EQ(sqlite3_open(Path().c_str(), &db), SQLITE_OK);
    EXPECT_EQ(sqlite3_exec(db, sql.c_str(), nullptr, nullptr, nullptr), SQLITE_OK) << sqlite3_errmsg(db);
    sqlite3_close(db);
  }
  int SchemaVersion() override { return TSqliteReportStore(Path()).SchemaVersion(); }
  std::int64_t Number(const std::string& sql) override {
    sqlite3* db = nullptr;
    sqlite3_open(Path().c_str(), &db);
    sqlite3_stmt* s = nullptr;
    sqlite3_prepare_v2(db, sql.c_str(), -1, &s, nullptr);
    const std::int64_t n = sqlite3_step(s) == SQLITE_ROW ? sqlite3_column_int64(s, 0) : -1;
    sqlite3_finalize(s);
    sqlite3_close(db);
    return n;
  }
  std::string Path() const { return (FFolder / "reports.sqlite").string(); }

private:
  std::filesystem::path FFolder;
  static inline int FCount = 0;
};

class TPostgresSide final : public TSide {
public:
  TPostgresSide() {
    const auto& sandbox = test::TPgSandbox::Get();
    FSchema = "store" + std::to_string(++FCount);
    TPgConnection(sandbox.Connection()).Exec("CREATE SCHEMA " + FSchema);
    FConnection = sandbox.Schema(FSchema);
    Refuse =
        "CREATE FUNCTION refuse() RETURNS trigger LANGUAGE plpgsql AS "
        "$$ BEGIN RAISE EXCEPTION 'refused'; END $$; "
        "CREATE TRIGGER refuse BEFORE INSERT ON reports FOR EACH ROW WHEN (NEW.computer = 'POISON') "
        "EXECUTE FUNCTION refuse();";
    Allow = "DROP TRIGGER refuse ON reports;";
    Newer = "UPDATE schema_version SET version = 99;";
    Older = "DROP TABLE sessions; UPDATE schema_version SET version = 1;";
    Current = TPostgresReportStore::kSchemaVersion;
  }
  ~TPostgresSide() override {
    TPgConnection(test::TPgSandbox::Get().Connection()).Exec("DROP SCHEMA " + FSchema + " CASCADE");
  }
  std::unique_ptr<IReportStore> Open() override { return std::make_unique<TPostgresReportStore>(FConnection); }
  void Sql(const std::string& sql) override { TPgConnection(FConnection).Exec(sql); }
  int SchemaVersion() override { return TPostgresReportStore(FConnection).SchemaVersion(); }
  std::int64_t Number(const std::string& sql) override { return TPgConnection(FConnection).Run(sql).Int(0, 0); }

private:
  std::string FSchema, FConnection;
  static inline int FCount = 0;
};

TUpload UploadOf(const std::vector<test::TLines>& headers) {
  TUpload u;
  u.RemoteAddress = "127.0.0.1";
  for (const auto& h : headers) u.Reports.push_back(*ReadReportFacts(ReportText(h)));
  return u;
}

TGroupQuery All() {
  TGroupQuery q;
  q.State = TStateFilter::All;
  return q;
}

class ReportStoreTest : public ::testing::TestWithParam<std::string> {
protected:
  void SetUp() override {
    if (GetParam() == "Postgres" && test::TPgSandbox::Get().Connection().empty())
      GTEST_SKIP() << "no PostgreSQL server to test against: " << test::TPgSandbox::Get().Why();
    FSide = NewSide();
    FStore = FSide->Open();
  }
  std::unique_ptr<TSide> NewSide() const {
    if (GetParam() == "Sqlite") return std::make_unique<TSqliteSide>();
    return std::make_unique<TPostgresSide>();
  }

  static std::int64_t TotalReports(IReportStore& store) {
    std::int64_t total = 0;
    TGroupQuery all = All();
    all.Limit = 1000;
    for (const auto& g : store.Groups(all)) total += g.Reports;
    return total;
  }

  std::unique_ptr<TSide> FSide;
  std::unique_ptr<IReportStore> FStore;
};

TEST_P(ReportStoreTest, AFailureInsideAnUploadLeavesNothingOfIt) {
  IReportStore& store = *FStore;
  // A second connection makes the third report's insert fail, as a full disk would.
  FSide->Sql(FSide->Refuse);
  const TUpload upload = UploadOf({DefaultHeader(), With(DefaultHeader(), "computer name", "B"),
                                   With(With(DefaultHeader(), "computer name", "POISON"), "count", "2")});
  EXPECT_THROW(store.StoreUpload(upload), EStoreError);
  EXPECT_EQ(store.GroupCount(All()), 0);
  EXPECT_EQ(FSide->Number("SELECT COUNT(*) FROM uploads"), 0);

  FSide->Sql(FSide->Allow);
  const TStoreResult r = store.StoreUpload(upload);
  EXPECT_EQ(r.Stored, 3);
  auto groups = store.Groups({});
  ASSERT_EQ(groups.size(), 1u);
  EXPECT_EQ(groups[0].Reports, 3);
  EXPECT_EQ(groups[0].ClaimedCount, 4);  // 1 + 1 + the "count 2"
  EXPECT_EQ(groups[0].Computers, 1);     // one upload: the computer of its newest report
}

TEST_P(ReportStoreTest, TheSameFileSentTwiceIsCreditedOnce) {
  IReportStore& store = *FStore;
  TUpload upload = UploadOf({DefaultHeader(), With(DefaultHeader(), "version", "1.0.0.8")});
  upload.Screenshot = "\x89PNG-bytes";
  EXPECT_EQ(store.StoreUpload(upload).Stored, 2);
  const TStoreResult again = store.StoreUpload(upload);
  EXPECT_EQ(again.Stored, 0);
  EXPECT_EQ(again.Duplicates, 2);
  EXPECT_EQ(store.Screenshot(again.LastReportId), upload.Screenshot);
  auto groups = store.Groups({});
  ASSERT_EQ(groups.size(), 1u);  // one crash in two versions
  EXPECT_EQ(groups[0].Reports, 2);
  EXPECT_EQ(groups[0].ClaimedCount, 2);
}

TEST_P(ReportStoreTest, OneCrashIsOneGroupAcrossItsVersions) {
  IReportStore& store = *FStore;
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

TEST_P(ReportStoreTest, RankingByCountFollowsRealSendersNotClaimedCounts) {
  IReportStore& store = *FStore;
  auto crash = [](const char* klass) { return With(DefaultHeader(), "exception class", klass); };
  // Two computers sent EReal once each.
  store.StoreUpload(UploadOf({With(crash("EReal"), "computer name", "PC-1")}));
  store.StoreUpload(UploadOf({With(crash("EReal"), "computer name", "PC-2")}));
  // One upload claims a million occurrences.
  store.StoreUpload(UploadOf({With(crash("EForgedCount"), "count", "1000000")}));
  // One upload of 40 made-up reports, each from another "computer".
  std::vector<test::TLines> flood;
  for (int i = 0; i < 40; ++i) flood.push_back(With(crash("EFlood"), "computer name", "FAKE-" + std::to_string(i)));
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

TEST_P(ReportStoreTest, AResolvedGroupReopensOnlyForANewerVersion) {
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
  for (const TRow& row : rows) {
    auto side = NewSide();
    auto store = side->Open();
    const std::int64_t id = store->Report(store->StoreUpload(UploadOf({DefaultHeader()})).LastReportId)->GroupId;
    ASSERT_TRUE(store->SetGroupState(id, row.state, row.resolvedIn)) << row.why;
    auto next = With(DefaultHeader(), "date/time", "later");
    store->StoreUpload(
        UploadOf({*row.incoming ? With(next, "version", row.incoming) : test::Without(next, "version")}));
    const auto g = store->Group(id);
    ASSERT_TRUE(g) << row.why;
    EXPECT_EQ(g->State, row.after) << row.why;
    EXPECT_EQ(g->Regressed, row.regressed) << row.why;
    EXPECT_EQ(g->Reports, 2) << row.why;
    if (!row.regressed) continue;
    // Resolving again clears the mark.
    ASSERT_TRUE(store->SetGroupState(id, TGroupState::Resolved, "1.0.0.11"));
    EXPECT_FALSE(store->Group(id)->Regressed);
    EXPECT_EQ(store->Group(id)->ResolvedIn, "1.0.0.11");
  }
  EXPECT_FALSE(FStore->SetGroupState(99, TGroupState::Ignored, ""));
}

TEST_P(ReportStoreTest, FiltersAndSearch) {
  IReportStore& store = *FStore;
  auto crash = [](const char* klass) { return With(DefaultHeader(), "exception class", klass); };
  TUpload a = UploadOf({With(With(crash("EOne"), "contact email", "anna@example.com"), "computer name", "LAB-7")});
  a.MailFrom = "Anna <anna@example.com>";
  store.StoreUpload(a);
  TUpload b = UploadOf({With(With(crash("ETwo"), "version", "1.0.0.8"), "executable", "Helper.exe")});
  b.Reports[0] =
      *ReadReportFacts(ReportText(With(With(crash("ETwo"), "version", "1.0.0.8"), "executable", "Helper.exe"),
                                  "0040a1b2 veilmark.exe TCacheFlush.Run"));
  b.MailFrom = "bert@example.org";
  store.StoreUpload(b);
  const TStoreResult third =
      store.StoreUpload(UploadOf({With(crash("EThree"), "exception message", "disk 100% full")}));
  store.SetGroupState(store.Report(third.LastReportId)->GroupId, TGroupState::Ignored, "");

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

TEST_P(ReportStoreTest, DeletingAGroupTakesItsReportsScreenshotsAndEmptyUploads) {
  IReportStore& store = *FStore;
  // One file with a report of each of two crashes, the screenshot with the second.
  TUpload shared = UploadOf({With(DefaultHeader(), "exception class", "EKeep"), DefaultHeader()});
  shared.Screenshot = "png";
  const std::int64_t shot = store.StoreUpload(shared).LastReportId;
  const std::int64_t id = store.Report(shot)->GroupId;
  store.StoreUpload(UploadOf({With(DefaultHeader(), "date/time", "again")}));
  ASSERT_EQ(store.Group(id)->Reports, 2);

  EXPECT_TRUE(store.DeleteGroup(id));
  EXPECT_FALSE(store.DeleteGroup(id));
  EXPECT_FALSE(store.Group(id));
  EXPECT_FALSE(store.Report(shot));
  EXPECT_FALSE(store.Screenshot(shot));
  const auto kept = store.Groups({});
  ASSERT_EQ(kept.size(), 1u);
  // The kept report still has its upload; the one that held only deleted reports is gone.
  EXPECT_EQ(store.Report(store.ReportsOfGroup(kept[0].Id, 10, 0).at(0).Id)->RemoteAddress, "127.0.0.1");
  EXPECT_EQ(FSide->Number("SELECT COUNT(*) FROM uploads"), 1);
  // The deleted crash sent again is a new group.
  store.StoreUpload(UploadOf({DefaultHeader()}));
  EXPECT_EQ(store.GroupCount(All()), 2);
}

TEST_P(ReportStoreTest, SchemaIsVersionedUpgradedAndANewerOneRefused) {
  EXPECT_EQ(FSide->SchemaVersion(), FSide->Current);
  FStore->StoreUpload(UploadOf({DefaultHeader()}));
  EXPECT_TRUE(FStore->AddAccount("dev", "$y$hash"));
  EXPECT_FALSE(FStore->AddAccount("dev", "$y$other"));
  FStore.reset();

  FSide->Sql(FSide->Older);
  FStore = FSide->Open();  // upgrades, and keeps everything
  EXPECT_EQ(FSide->SchemaVersion(), FSide->Current);
  EXPECT_EQ(FStore->GroupCount(All()), 1);
  EXPECT_EQ(FStore->PasswordHash("dev"), "$y$hash");
  EXPECT_TRUE(FStore->AddSession("h", {"dev", "form"}, "$y$hash", 100, 200));
  EXPECT_EQ(FStore->Session("h", 150)->Account, "dev");
  FStore.reset();

  FSide->Sql(FSide->Newer);
  EXPECT_THROW(FSide->Open(), EStoreError);
}

// Reports come in the sender's 8-bit code page: every byte comes back as it went in.
TEST_P(ReportStoreTest, EightBitTextsComeBackByteForByte) {
  const std::string message = "Ung\xFCltiger Wert \x80 \xFF\\x00";
  const TStoreResult r = FStore->StoreUpload(
      UploadOf({With(With(DefaultHeader(), "exception message", message), "computer name", "B\xDCRO-PC")}));
  auto report = FStore->Report(r.LastReportId);
  ASSERT_TRUE(report);
  EXPECT_EQ(report->ExceptionMessage, message);
  EXPECT_EQ(report->ComputerName, "B\xDCRO-PC");
  TGroupQuery q;
  q.Search = "\xFCltiger";
  EXPECT_EQ(FStore->GroupCount(q), 1);
  EXPECT_TRUE(FStore->AddAccount("J\xF6rg", "$y$hash"));
  EXPECT_EQ(FStore->PasswordHash("J\xF6rg"), "$y$hash");
}

TEST_P(ReportStoreTest, AccountsCanBeChangedAndRemoved) {
  IReportStore& store = *FStore;
  ASSERT_TRUE(store.AddAccount("dev", "$y$one"));
  EXPECT_TRUE(store.SetPasswordHash("dev", "$y$two"));
  EXPECT_EQ(store.PasswordHash("dev"), "$y$two");
  EXPECT_FALSE(store.SetPasswordHash("nobody", "$y$x"));
  EXPECT_TRUE(store.RemoveAccount("dev"));
  EXPECT_FALSE(store.RemoveAccount("dev"));
  EXPECT_FALSE(store.PasswordHash("dev"));
  EXPECT_EQ(store.AccountCount(), 0);
}

// Sessions are the store's, so another server process knows them; a changed password or a
// removed account ends them there too.
TEST_P(ReportStoreTest, SessionsAreSharedAndEndEverywhere) {
  auto other = FSide->Open();
  FStore->AddAccount("dev", "$y$one");
  FStore->AddAccount("anna", "$y$anna");
  EXPECT_TRUE(FStore->AddSession("hash-a", {"dev", "form-a"}, "$y$one", 1000, 2000));
  EXPECT_FALSE(FStore->AddSession("hash-x", {"dev", "form-x"}, "$y$stale", 1000, 2000));  // changed meanwhile
  EXPECT_FALSE(FStore->AddSession("hash-y", {"nobody", "form-y"}, "$y$one", 1000, 2000));
  const auto a = other->Session("hash-a", 1999);
  ASSERT_TRUE(a);
  EXPECT_EQ(a->Account, "dev");
  EXPECT_EQ(a->FormToken, "form-a");
  EXPECT_FALSE(other->Session("hash-a", 2000));  // expired
  EXPECT_FALSE(other->Session("hash-x", 1500));

  EXPECT_TRUE(other->AddSession("hash-b", {"dev", "form-b"}, "$y$one", 1500, 9000));
  other->EndSession("hash-a");  // logging out
  EXPECT_FALSE(FStore->Session("hash-a", 1500));
  EXPECT_TRUE(FStore->Session("hash-b", 1500));

  EXPECT_TRUE(other->AddSession("hash-c", {"anna", "form-c"}, "$y$anna", 1500, 9000));
  FStore->SetPasswordHash("dev", "$y$two");
  EXPECT_FALSE(other->Session("hash-b", 1500));
  EXPECT_TRUE(other->Session("hash-c", 1500));  // other accounts stay logged in
  FStore->RemoveAccount("anna");
  EXPECT_FALSE(other->Session("hash-c", 1500));
}

// Two store objects stand for two server processes; every upload goes to both at once, and
// half of them are the same file. The database, not the process, decides what is new.
TEST_P(ReportStoreTest, SeveralWritersStoreEachReportOnce) {
  auto other = FSide->Open();
  constexpr int kUploads = 24;
  std::atomic<int> stored{0}, duplicates{0};
  std::vector<std::thread> senders;
  for (int i = 0; i < kUploads; ++i)
    for (IReportStore* store : {FStore.get(), other.get()})
      senders.emplace_back([&, i, store] {
        // Three crashes sent from five computers; each upload holds a report of its own and
        // one that its neighbour sends too, and the upload's computer is the latter's.
        auto header = [](int n, const std::string& when) {
          return With(With(With(DefaultHeader(), "computer name", "PC-" + std::to_string(n % 5)), "callstack crc",
                           "$0a1b2c3d, $" + std::to_string(10000000 + n % 3) + ", $8293a4b5"),
                      "date/time", when);
        };
        const TStoreResult r = store->StoreUpload(
            UploadOf({header(i, "t" + std::to_string(i)), header(i / 2, "s" + std::to_string(i / 2))}));
        stored += r.Stored;
        duplicates += r.Duplicates;
      });
  for (auto& t : senders) t.join();
  EXPECT_EQ(stored, kUploads + kUploads / 2);
  EXPECT_EQ(stored + duplicates, 4 * kUploads);
  EXPECT_EQ(TotalReports(*FStore), kUploads + kUploads / 2);
  EXPECT_EQ(FStore->GroupCount(All()), 3);
  EXPECT_EQ(FSide->Number("SELECT COUNT(*) FROM uploads"), 2 * kUploads);
  // Upload i is sent from PC-(i / 2 % 5) with reports in the groups i % 3 and i / 2 % 3:
  // between them, each group hears from all five computers.
  std::int64_t computers = 0;
  for (const auto& g : other->Groups(All())) computers += g.Computers;
  EXPECT_EQ(computers, 15);
}

INSTANTIATE_TEST_SUITE_P(Stores, ReportStoreTest, ::testing::Values("Sqlite", "Postgres"),
                         [](const auto& info) { return info.param; });

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
TEST(SqliteUpgrade, MergesGroupsThatDifferedOnlyByVersion) {
  TSqliteSide side;
  auto Path = [&] { return side.Path(); };
  auto Sql = [&](const std::string& sql) { side.Sql(sql); };
  TSqliteReportStore::CreateAtVersion(Path(), 1);
  const TReportFacts v7 = *ReadReportFacts(ReportText(DefaultHeader()));
  const TReportFacts v8 =
      *ReadReportFacts(ReportText(With(With(DefaultHeader(), "version", "1.0.0.8"), "computer name", "PC-2")));
  const TReportFacts other = *ReadReportFacts(ReportText(With(DefaultHeader(), "exception class", "EOther")));
  auto key = [](const TReportFacts& f, const std::string& tail) {
    return "CAST(x'" + Hex(f.GroupKey + tail) + "' AS TEXT)";
  };
  Sql("INSERT INTO uploads VALUES(1, '2026-12-01 10:00:00', '10.0.0.1', '', '', '', ''),"
      " (2, '2026-12-02 10:00:00', '10.0.0.2', '', '', '', ''), (3, '2026-12-03 10:00:00', '10.0.0.3', '', "
      "'', '', '');"
      "INSERT INTO report_groups VALUES"
      " (1, " +
      key(v7, "\nversion\n1.0.0.7") +
      ", 'EAccessViolation', 'old text', 'veilmark.exe', '2026-12-01 10:00:00', '2026-12-01 10:00:00', 3, 1),"
      " (2, " +
      key(other, "\ndates\n2026-11-01 08:00\n") +
      ", 'EOther', 'x', 'veilmark.exe', '2026-12-01 11:00:00', '2026-12-01 11:00:00', 1, 1),"
      " (3, " +
      key(v8, "\nversion\n1.0.0.8") +
      ", 'EAccessViolation', 'new text', 'veilmark.exe', '2026-12-02 10:00:00', '2026-12-03 10:00:00', 2, 2),"
      " (4, 'single\n" +
      v7.Digest +
      "', 'ELone', '', 'veilmark.exe', '2026-12-01 12:00:00', '2026-12-01 12:00:00', 1, 1);"
      "INSERT INTO reports VALUES"
      " (1, 1, 1, 'd1', '2026-12-01 10:00:00', '', 'OFFICE-PC', '', '1.0.0.7', 'EAccessViolation', '', '', "
      "'', 3, x'00'),"
      " (2, 2, 1, 'd2', '2026-12-01 11:00:00', '', 'OFFICE-PC', '', '', 'EOther', '', '', '', 1, x'00'),"
      " (3, 3, 2, 'd3', '2026-12-02 10:00:00', '', 'PC-2', '', '1.0.0.8', 'EAccessViolation', '', '', '', 1, "
      "x'00'),"
      " (4, 3, 3, 'd4', '2026-12-03 10:00:00', '', 'PC-3', '', '1.0.0.8', 'EAccessViolation', '', '', '', 1, "
      "x'00'),"
      " (5, 4, 3, 'd5', '2026-12-01 12:00:00', '', 'PC-3', '', '1.0.0.7', 'ELone', '', '', '', 1, x'00');"
      "INSERT INTO screenshots VALUES(4, x'89');"
      "INSERT INTO group_versions VALUES(1, '1.0.0.7'), (3, '1.0.0.8'), (4, '1.0.0.7');"
      "INSERT INTO group_computers VALUES(1, 'OFFICE-PC'), (2, 'OFFICE-PC'), (3, 'PC-2'), (3, 'PC-3'), (4, "
      "'PC-3');");

  TSqliteReportStore store(Path());
  EXPECT_EQ(store.SchemaVersion(), TSqliteReportStore::kSchemaVersion);
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

}  // namespace
}  // namespace vm::server

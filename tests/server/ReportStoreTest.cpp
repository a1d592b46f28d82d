// One table of store cases, run against each store: SQLite in a temporary file, PostgreSQL
// in a database of its own on a server that this program starts (tests/server/PgSandbox.h).
// Whole uploads or nothing, schema versions, credited counts, search, 8-bit texts, sessions,
// and several store objects (as several server processes) writing at once.
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
  // Makes inserting a report from the computer "POISON" fail, as a full disk would.
  std::string Refuse, Allow;
  // Marks the schema as written by a newer server; takes it back to version 1.
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
    Refuse = "CREATE TRIGGER refuse BEFORE INSERT ON reports WHEN NEW.computer = 'POISON' "
             "BEGIN SELECT RAISE(ABORT, 'refused'); END;";
    Allow = "DROP TRIGGER refuse;";
    Newer = "PRAGMA user_version = 99;";
    Older = "DROP TABLE sessions; PRAGMA user_version = 1;";
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

private:
  std::string Path() const { return (FFolder / "reports.sqlite").string(); }
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
    Refuse = "CREATE FUNCTION refuse() RETURNS trigger LANGUAGE plpgsql AS "
             "$$ BEGIN RAISE EXCEPTION 'refused'; END $$; "
             "CREATE TRIGGER refuse BEFORE INSERT ON reports FOR EACH ROW WHEN (NEW.computer = 'POISON') "
             "EXECUTE FUNCTION refuse();";
    Allow = "DROP TRIGGER refuse ON reports;";
    Newer = "UPDATE schema_version SET version = 99;";
    Older = "DROP TABLE sessions; UPDATE schema_version SET version = 1;";
    Current = TPostgresReportStore::kSchemaVersion;
  }
  ~TPostgresSide() override { TPgConnection(test::TPgSandbox::Get().Connection()).Exec("DROP SCHEMA " + FSchema + " CASCADE"); }
  std::unique_ptr<IReportStore> Open() override { return std::make_unique<TPostgresReportStore>(FConnection); }
  void Sql(const std::string& sql) override { TPgConnection(FConnection).Exec(sql); }
  int SchemaVersion() override { return TPostgresReportStore(FConnection).SchemaVersion(); }

private:
  std::string FSchema, FConnection;
  static inline int FCount = 0;
};

class ReportStoreTest : public ::testing::TestWithParam<std::string> {
protected:
  void SetUp() override {
    if (GetParam() == "Sqlite") {
      FSide = std::make_unique<TSqliteSide>();
    } else {
      const auto& sandbox = test::TPgSandbox::Get();
      if (sandbox.Connection().empty()) GTEST_SKIP() << "no PostgreSQL server to test against: " << sandbox.Why();
      FSide = std::make_unique<TPostgresSide>();
    }
    FStore = FSide->Open();
  }

  static TUpload UploadOf(const std::vector<test::TLines>& headers) {
    TUpload u;
    u.RemoteAddress = "127.0.0.1";
    for (const auto& h : headers) u.Reports.push_back(*ReadReportFacts(ReportText(h)));
    return u;
  }
  static std::int64_t TotalReports(IReportStore& store) {
    std::int64_t total = 0;
    TGroupQuery all;
    all.Limit = 1000;
    for (const auto& g : store.Groups(all)) total += g.Reports;
    return total;
  }

  std::unique_ptr<TSide> FSide;
  std::unique_ptr<IReportStore> FStore;
};

TEST_P(ReportStoreTest, AFailureInsideAnUploadLeavesNothingOfIt) {
  FSide->Sql(FSide->Refuse);
  const TUpload upload = UploadOf({DefaultHeader(), With(DefaultHeader(), "computer name", "B"),
                                   With(With(DefaultHeader(), "computer name", "POISON"), "count", "2")});
  EXPECT_THROW(FStore->StoreUpload(upload), EStoreError);
  EXPECT_EQ(FStore->GroupCount(""), 0);
  EXPECT_TRUE(FStore->ReportsOfGroup(1, 10, 0).empty());

  FSide->Sql(FSide->Allow);
  const TStoreResult r = FStore->StoreUpload(upload);
  EXPECT_EQ(r.Stored, 3);
  auto groups = FStore->Groups({});
  ASSERT_EQ(groups.size(), 1u);
  EXPECT_EQ(groups[0].Reports, 4);    // 1 + 1 + the "count 2"
  EXPECT_EQ(groups[0].Computers, 3);  // OFFICE-PC, B, POISON
}

TEST_P(ReportStoreTest, TheSameFileSentTwiceIsCreditedOnce) {
  TUpload upload = UploadOf({DefaultHeader(), With(DefaultHeader(), "version", "1.0.0.8")});
  upload.Screenshot = "\x89PNG-bytes";
  EXPECT_EQ(FStore->StoreUpload(upload).Stored, 2);
  const TStoreResult again = FStore->StoreUpload(upload);
  EXPECT_EQ(again.Stored, 0);
  EXPECT_EQ(again.Duplicates, 2);
  EXPECT_EQ(TotalReports(*FStore), 2);
  EXPECT_EQ(FStore->Screenshot(again.LastReportId), upload.Screenshot);
  auto group = FStore->Group(FStore->Report(again.LastReportId)->GroupId);
  ASSERT_TRUE(group);
  EXPECT_EQ(group->Versions, std::vector<std::string>{"1.0.0.8"});
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
  EXPECT_EQ(FStore->GroupCount(""), 1);
  EXPECT_EQ(FStore->PasswordHash("dev"), "$y$hash");
  FStore->AddSession("h", "dev", 100, 200);
  EXPECT_EQ(FStore->SessionAccount("h", 150), "dev");
  FStore.reset();

  FSide->Sql(FSide->Newer);
  EXPECT_THROW(FSide->Open(), EStoreError);
}

TEST_P(ReportStoreTest, SearchTakesItsTextLiterally) {
  FStore->StoreUpload(UploadOf({With(DefaultHeader(), "exception message", "disk 100% full"),
                                With(With(DefaultHeader(), "exception class", "EConvertError"), "exception message", "100 x")}));
  EXPECT_EQ(FStore->GroupCount("100%"), 1);
  EXPECT_EQ(FStore->GroupCount("convert"), 1);  // case does not matter for ASCII
  EXPECT_EQ(FStore->GroupCount("_"), 0);
  EXPECT_EQ(FStore->GroupCount(""), 2);
  TGroupQuery q;
  q.Order = TGroupOrder::Count;
  q.Search = "CONVERT";
  EXPECT_EQ(FStore->Groups(q).size(), 1u);
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
  EXPECT_EQ(FStore->GroupCount("\xFCltiger"), 1);
  EXPECT_TRUE(FStore->AddAccount("J\xF6rg", "$y$hash"));
  EXPECT_EQ(FStore->PasswordHash("J\xF6rg"), "$y$hash");
}

TEST_P(ReportStoreTest, SessionsAreSharedAndEndEverywhere) {
  auto other = FSide->Open();  // another server process on the same storage
  FStore->AddSession("hash-a", "dev", 1000, 2000);
  EXPECT_EQ(other->SessionAccount("hash-a", 1999), "dev");
  EXPECT_EQ(other->SessionAccount("hash-a", 2000), std::nullopt);  // expired
  EXPECT_EQ(other->SessionAccount("hash-b", 1500), std::nullopt);
  other->AddSession("hash-b", "anna", 1500, 9000);
  other->EndSession("hash-a");
  EXPECT_EQ(FStore->SessionAccount("hash-a", 1500), std::nullopt);
  EXPECT_EQ(FStore->SessionAccount("hash-b", 1500), "anna");
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
        // Three groups; uploads of two reports, the second one shared by neighbours.
        auto header = [](int n) {
          return With(With(DefaultHeader(), "computer name", "PC-" + std::to_string(n % 5)), "callstack crc",
                      "$0a1b2c3d, $" + std::to_string(10000000 + n % 3) + ", $8293a4b5");
        };
        const TStoreResult r = store->StoreUpload(
            UploadOf({With(header(i), "date/time", "t" + std::to_string(i)), With(header(i / 2), "date/time", "s" + std::to_string(i / 2))}));
        stored += r.Stored;
        duplicates += r.Duplicates;
      });
  for (auto& t : senders) t.join();
  EXPECT_EQ(stored, kUploads + kUploads / 2);
  EXPECT_EQ(stored + duplicates, 4 * kUploads);
  EXPECT_EQ(TotalReports(*FStore), kUploads + kUploads / 2);
  EXPECT_EQ(FStore->GroupCount(""), 3);
  std::int64_t computers = 0;
  for (const auto& g : other->Groups({})) computers += g.Computers;
  EXPECT_EQ(computers, 15);  // n % 3 and n % 5 for n < 24: every group meets all five
}

INSTANTIATE_TEST_SUITE_P(Stores, ReportStoreTest, ::testing::Values("Sqlite", "Postgres"),
                         [](const auto& info) { return info.param; });

}  // namespace
}  // namespace vm::server

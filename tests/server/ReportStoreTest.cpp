// The SQLite store: whole uploads or nothing, schema versions, credited counts, search.
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

TEST_F(ReportStoreTest, AFailureInsideAnUploadLeavesNothingOfIt) {
  TSqliteReportStore store(Path());
  // A second connection makes the third report's insert fail, as a full disk would.
  Sql("CREATE TRIGGER refuse BEFORE INSERT ON reports WHEN NEW.computer = 'POISON' "
      "BEGIN SELECT RAISE(ABORT, 'refused'); END;");
  const TUpload upload = UploadOf({DefaultHeader(), With(DefaultHeader(), "computer name", "B"),
                                   With(With(DefaultHeader(), "computer name", "POISON"), "count", "2")});
  EXPECT_THROW(store.StoreUpload(upload), EStoreError);
  EXPECT_EQ(store.GroupCount(""), 0);
  EXPECT_TRUE(store.ReportsOfGroup(1, 10, 0).empty());

  Sql("DROP TRIGGER refuse;");
  const TStoreResult r = store.StoreUpload(upload);
  EXPECT_EQ(r.Stored, 3);
  auto groups = store.Groups({});
  ASSERT_EQ(groups.size(), 1u);
  EXPECT_EQ(groups[0].Reports, 4);    // 1 + 1 + the "count 2"
  EXPECT_EQ(groups[0].Computers, 3);  // OFFICE-PC, B, POISON
}

TEST_F(ReportStoreTest, TheSameFileSentTwiceIsCreditedOnce) {
  TSqliteReportStore store(Path());
  const TUpload upload = UploadOf({DefaultHeader(), With(DefaultHeader(), "version", "1.0.0.8")});
  EXPECT_EQ(store.StoreUpload(upload).Stored, 2);
  const TStoreResult again = store.StoreUpload(upload);
  EXPECT_EQ(again.Stored, 0);
  EXPECT_EQ(again.Duplicates, 2);
  int64_t total = 0;
  for (const auto& g : store.Groups({})) total += g.Reports;
  EXPECT_EQ(total, 2);
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
    EXPECT_EQ(reopened.GroupCount(""), 1);
    EXPECT_EQ(reopened.PasswordHash("dev"), "$y$hash");
  }
  Sql("PRAGMA user_version = 99;");
  EXPECT_THROW(TSqliteReportStore{Path()}, EStoreError);
}

TEST_F(ReportStoreTest, SearchTakesItsTextLiterally) {
  TSqliteReportStore store(Path());
  store.StoreUpload(UploadOf({With(DefaultHeader(), "exception message", "disk 100% full"),
                              With(With(DefaultHeader(), "exception class", "EConvertError"), "exception message", "100 x")}));
  EXPECT_EQ(store.GroupCount("100%"), 1);
  EXPECT_EQ(store.GroupCount("convert"), 1);  // case does not matter for ASCII
  EXPECT_EQ(store.GroupCount("_"), 0);
  EXPECT_EQ(store.GroupCount(""), 2);
}

}  // namespace
}  // namespace vm::server

#include "server/StoreCopy.h"

#include <filesystem>
#include <map>
#include <set>

#include "server/PgConnection.h"
#include "server/PostgresReportStore.h"
#include "server/SqliteReportStore.h"
#include "server/SqliteStatement.h"

namespace vm::server {
namespace {

using sqlite::TStatement;

// The source, read only, after the store has brought its schema up to date.
class TSource {
public:
  explicit TSource(const std::string& path) {
    if (!std::filesystem::exists(path)) throw EStoreError("there is no database " + path);
    TSqliteReportStore{path};
    if (sqlite3_open_v2(path.c_str(), &FDb, SQLITE_OPEN_READONLY, nullptr) != SQLITE_OK) {
      sqlite3_close(FDb);
      throw EStoreError("cannot open the database " + path);
    }
  }
  ~TSource() { sqlite3_close(FDb); }
  sqlite3* operator*() const { return FDb; }

private:
  sqlite3* FDb = nullptr;
};

// Copies run inside the transaction of CopySqliteToPostgres.
class TCopier {
public:
  TCopier(sqlite3* from, TPgConnection& to) : FFrom(from), FTo(to) {
    // Servers that run on the target meanwhile wait until the copy is committed.
    FTo.Exec(
        "LOCK TABLE uploads, report_groups, reports, screenshots, group_versions, group_computers, accounts "
        "IN SHARE ROW EXCLUSIVE MODE");
    FKeepIds =
        FTo.Run("SELECT NOT EXISTS(SELECT 1 FROM uploads) AND NOT EXISTS(SELECT 1 FROM report_groups)").Int(0, 0);
  }

  TCopyCounts Run() {
    CopyGroups();
    CopyReports();
    for (std::int64_t group : FTouched) Recount(group);
    CopyAccounts();
    if (FKeepIds)
      for (const char* table : {"uploads", "report_groups", "reports"})
        FTo.Run(std::string("SELECT setval(pg_get_serial_sequence('") + table +
                "', 'id'), COALESCE(MAX(id), 0) + 1, false) FROM " + table);
    return FCounts;
  }

private:
  // A new row's id: the source's own into an empty target, else the target's next one.
  std::string IdColumn() const { return FKeepIds ? "id, " : ""; }
  std::string IdValue(int n) const { return FKeepIds ? Placeholder(size_t(n)) + ", " : ""; }

  void CopyGroups() {
    TStatement s(FFrom,
                 "SELECT id, key, exception_class, exception_message, executable, first_seen, last_seen, state, "
                 "regressed, resolved_in FROM report_groups ORDER BY id");
    const std::string insert = "INSERT INTO report_groups(" + IdColumn() +
                               "key, exception_class, exception_message, executable, first_seen, last_seen, state, "
                               "regressed, resolved_in) VALUES(" +
                               IdValue(10) + "$1, $2, $3, $4, $5, $6, $7, $8, $9) RETURNING id";
    while (s.Step()) {
      // A group the target knows keeps its state there: it may have been triaged since.
      const TPgResult known = FTo.Run(
          "UPDATE report_groups SET first_seen = LEAST(first_seen, $2), "
          "last_seen = GREATEST(last_seen, $3) WHERE key = $1 RETURNING id",
          {s.Text(1), s.Text(5), s.Text(6)});
      if (known.Rows()) {
        FGroups[s.Int(0)] = known.Int(0, 0);
        ++FCounts.KnownGroups;
        continue;
      }
      std::vector<TPgValue> values{s.Text(1), s.Text(2), s.Text(3), s.Text(4),
                                   s.Text(5), s.Text(6), s.Text(7), TPgValue::Literal(s.Int(8) ? "true" : "false"),
                                   s.Text(9)};
      if (FKeepIds) values.push_back(s.Int(0));
      FGroups[s.Int(0)] = FTo.Run(insert, values).Int(0, 0);
      ++FCounts.Groups;
    }
  }

  void CopyReports() {
    TStatement s(FFrom,
                 "SELECT id, group_id, upload_id, digest, received_at, date_time, computer, user_name, version, "
                 "exception_class, exception_message, contact_name, contact_email, count, text FROM reports ORDER BY "
                 "id");
    const std::string insert = "INSERT INTO reports(" + IdColumn() +
                               "group_id, upload_id, digest, received_at, date_time, computer, user_name, version, "
                               "exception_class, exception_message, contact_name, contact_email, count, text) VALUES(" +
                               IdValue(15) +
                               "$1, $2, $3, $4, $5, $6, $7, $8, $9, $10, $11, $12, $13, $14) RETURNING id";
    while (s.Step()) {
      if (FTo.Run("SELECT 1 FROM reports WHERE digest = $1", {s.Text(3)}).Rows()) {
        ++FCounts.KnownReports;
        continue;
      }
      const std::int64_t group = FGroups.at(s.Int(1));
      std::vector<TPgValue> values{group,      Upload(s.Int(2)), s.Text(3), s.Text(4), s.Text(5),
                                   s.Text(6),  s.Text(7),        s.Text(8), s.Text(9), s.Text(10),
                                   s.Text(11), s.Text(12),       s.Int(13), s.Text(14)};
      if (FKeepIds) values.push_back(s.Int(0));
      const std::int64_t id = FTo.Run(insert, values).Int(0, 0);
      ++FCounts.Reports;
      FTouched.insert(group);
      TStatement shot(FFrom, "SELECT png FROM screenshots WHERE report_id = ?");
      if (shot.Bind(s.Int(0)).Step()) {
        FTo.Run("INSERT INTO screenshots(report_id, png) VALUES($1, $2)", {id, shot.Text(0)});
        ++FCounts.Screenshots;
      }
    }
  }

  // The target's upload for a source upload, copied with its first new report.
  std::int64_t Upload(std::int64_t sourceId) {
    if (auto known = FUploads.find(sourceId); known != FUploads.end()) return known->second;
    TStatement s(FFrom,
                 "SELECT received_at, remote_addr, mail_from, mail_subject, mail_body, mail_addr, computer "
                 "FROM uploads WHERE id = ?");
    if (!s.Bind(sourceId).Step()) throw EStoreError("the source's report refers to a missing upload");
    std::vector<TPgValue> values{s.Text(0), s.Text(1), s.Text(2), s.Text(3), s.Text(4), s.Text(5), s.Text(6)};
    if (FKeepIds) values.push_back(sourceId);
    const std::int64_t id = FTo.Run("INSERT INTO uploads(" + IdColumn() +
                                        "received_at, remote_addr, mail_from, mail_subject, mail_body, mail_addr, "
                                        "computer) VALUES(" +
                                        IdValue(8) + "$1, $2, $3, $4, $5, $6, $7) RETURNING id",
                                    values)
                                .Int(0, 0);
    ++FCounts.Uploads;
    return FUploads[sourceId] = id;
  }

  // A group's versions, computers and counts follow from its reports, whichever server
  // received them.
  void Recount(std::int64_t group) {
    FTo.Run(
        "INSERT INTO group_versions SELECT DISTINCT group_id, version FROM reports "
        "WHERE group_id = $1 AND version <> '' ON CONFLICT DO NOTHING",
        {group});
    FTo.Run(
        "INSERT INTO group_computers SELECT DISTINCT r.group_id, u.computer FROM reports r "
        "JOIN uploads u ON u.id = r.upload_id WHERE r.group_id = $1 AND u.computer <> '' ON CONFLICT DO "
        "NOTHING",
        {group});
    FTo.Run(
        "UPDATE report_groups g SET reports = (SELECT COUNT(*) FROM reports WHERE group_id = g.id), "
        "claimed = (SELECT COALESCE(SUM(count), 0) FROM reports WHERE group_id = g.id), "
        "computers = (SELECT COUNT(*) FROM group_computers WHERE group_id = g.id) WHERE id = $1",
        {group});
  }

  void CopyAccounts() {
    TStatement s(FFrom, "SELECT name, password_hash, created_at FROM accounts ORDER BY name");
    while (s.Step()) {
      if (FTo.Run("INSERT INTO accounts(name, password_hash, created_at) VALUES($1, $2, $3) ON CONFLICT DO "
                  "NOTHING",
                  {s.Text(0), s.Text(1), s.Text(2)})
              .Affected())
        ++FCounts.Accounts;
      else
        ++FCounts.KnownAccounts;
    }
  }

  sqlite3* FFrom;
  TPgConnection& FTo;
  bool FKeepIds = false;
  std::map<std::int64_t, std::int64_t> FGroups, FUploads;  // source id -> target id
  std::set<std::int64_t> FTouched;
  TCopyCounts FCounts;
};

std::string Counted(std::int64_t n, const char* one, const char* many) {
  return std::to_string(n) + " " + (n == 1 ? one : many);
}

}  // namespace

TCopyCounts CopySqliteToPostgres(const std::string& sqlitePath, const std::string& connection) {
  TSource source(sqlitePath);
  TPostgresReportStore{connection, 1};  // creates or upgrades the target's schema
  TPgConnection target(connection);
  return InTransaction(target, [&](TPgConnection& c) { return TCopier(*source, c).Run(); });
}

std::string DescribeCopy(const TCopyCounts& c) {
  return "copied " + Counted(c.Uploads, "upload", "uploads") + ", " + Counted(c.Reports, "report", "reports") + " (" +
         std::to_string(c.Screenshots) + " with a screenshot), " + Counted(c.Groups, "group", "groups") + ", " +
         Counted(c.Accounts, "account", "accounts") +
         "; already there: " + Counted(c.KnownReports, "report", "reports") + ", " +
         Counted(c.KnownGroups, "group", "groups") + ", " + Counted(c.KnownAccounts, "account", "accounts");
}

}  // namespace vm::server

#include "server/SqliteReportStore.h"

#include <sqlite3.h>

#include "server/SqliteStatement.h"
#include "server/StoreText.h"

namespace vm::server {
namespace {

using sqlite::Exec;
using sqlite::TStatement;
using sqlite::TTransaction;

// Each step takes the schema from version N to N + 1; steps are never edited once shipped.
const char* const kUpgradeSteps[] = {
    // 0 -> 1
    R"sql(
    CREATE TABLE uploads(id INTEGER PRIMARY KEY, received_at TEXT NOT NULL, remote_addr TEXT NOT NULL,
      mail_from TEXT NOT NULL, mail_subject TEXT NOT NULL, mail_body TEXT NOT NULL, mail_addr TEXT NOT NULL);
    CREATE TABLE report_groups(id INTEGER PRIMARY KEY, key TEXT NOT NULL UNIQUE,
      exception_class TEXT NOT NULL, exception_message TEXT NOT NULL, executable TEXT NOT NULL,
      first_seen TEXT NOT NULL, last_seen TEXT NOT NULL,
      reports INTEGER NOT NULL DEFAULT 0, computers INTEGER NOT NULL DEFAULT 0);
    CREATE INDEX report_groups_by_last ON report_groups(last_seen);
    CREATE INDEX report_groups_by_count ON report_groups(reports);
    CREATE TABLE reports(id INTEGER PRIMARY KEY, group_id INTEGER NOT NULL REFERENCES report_groups(id),
      upload_id INTEGER NOT NULL REFERENCES uploads(id), digest TEXT NOT NULL UNIQUE,
      received_at TEXT NOT NULL, date_time TEXT NOT NULL, computer TEXT NOT NULL, user_name TEXT NOT NULL,
      version TEXT NOT NULL, exception_class TEXT NOT NULL, exception_message TEXT NOT NULL,
      contact_name TEXT NOT NULL, contact_email TEXT NOT NULL, count INTEGER NOT NULL, text BLOB NOT NULL);
    CREATE INDEX reports_by_group ON reports(group_id, id);
    CREATE TABLE screenshots(report_id INTEGER PRIMARY KEY REFERENCES reports(id), png BLOB NOT NULL);
    CREATE TABLE group_versions(group_id INTEGER NOT NULL, version TEXT NOT NULL,
      PRIMARY KEY(group_id, version)) WITHOUT ROWID;
    CREATE TABLE group_computers(group_id INTEGER NOT NULL, computer TEXT NOT NULL,
      PRIMARY KEY(group_id, computer)) WITHOUT ROWID;
    CREATE TABLE accounts(name TEXT PRIMARY KEY, password_hash TEXT NOT NULL, created_at TEXT NOT NULL);
    )sql",
    // 1 -> 2
    R"sql(
    CREATE TABLE sessions(token_hash TEXT PRIMARY KEY, account TEXT NOT NULL, expires_at INTEGER NOT NULL);
    )sql",
};
static_assert(std::size(kUpgradeSteps) == TSqliteReportStore::kSchemaVersion);

constexpr const char* kGroupColumns =
    "id, exception_class, exception_message, executable, first_seen, last_seen, reports, computers";

TGroupRow GroupFrom(TStatement& s) {
  TGroupRow g;
  g.Id = s.Int(0);
  g.ExceptionClass = s.Text(1);
  g.ExceptionMessage = s.Text(2);
  g.Executable = s.Text(3);
  g.FirstSeen = s.Text(4);
  g.LastSeen = s.Text(5);
  g.Reports = s.Int(6);
  g.Computers = s.Int(7);
  return g;
}

constexpr const char* kReportColumns =
    "r.id, r.group_id, r.received_at, r.date_time, r.computer, r.user_name, r.version, r.exception_class, "
    "r.exception_message, r.contact_name, r.contact_email, r.count, "
    "EXISTS(SELECT 1 FROM screenshots s WHERE s.report_id = r.id)";

TReportRow ReportFrom(TStatement& s) {
  TReportRow r;
  r.Id = s.Int(0);
  r.GroupId = s.Int(1);
  r.ReceivedAt = s.Text(2);
  r.DateTime = s.Text(3);
  r.ComputerName = s.Text(4);
  r.UserName = s.Text(5);
  r.Version = s.Text(6);
  r.ExceptionClass = s.Text(7);
  r.ExceptionMessage = s.Text(8);
  r.ContactName = s.Text(9);
  r.ContactEmail = s.Text(10);
  r.Count = int(s.Int(11));
  r.HasScreenshot = s.Int(12) != 0;
  return r;
}

}  // namespace

TSqliteReportStore::TSqliteReportStore(const std::string& path) {
  if (sqlite3_open_v2(path.c_str(), &FDb, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_FULLMUTEX, nullptr) !=
      SQLITE_OK) {
    std::string message = FDb ? sqlite3_errmsg(FDb) : "out of memory";
    sqlite3_close(FDb);
    throw EStoreError("cannot open the database " + path + ": " + message);
  }
  try {
    sqlite3_busy_timeout(FDb, 5000);
    // WAL lets the pages read while an upload is written; FULL keeps a stored upload through
    // a power cut.
    Exec(FDb, "PRAGMA journal_mode=WAL; PRAGMA synchronous=FULL; PRAGMA foreign_keys=ON;");
    Upgrade();
  } catch (...) {
    sqlite3_close(FDb);
    throw;
  }
}

TSqliteReportStore::~TSqliteReportStore() { sqlite3_close(FDb); }

int TSqliteReportStore::SchemaVersion() {
  std::lock_guard lock(FLock);
  TStatement s(FDb, "PRAGMA user_version");
  s.Step();
  return int(s.Int(0));
}

void TSqliteReportStore::Upgrade() {
  TTransaction tx(FDb);
  TStatement s(FDb, "PRAGMA user_version");
  s.Step();
  const int version = int(s.Int(0));
  if (version > kSchemaVersion)
    throw EStoreError("the database was written by a newer server (schema " + std::to_string(version) +
                      ", this one knows " + std::to_string(kSchemaVersion) + ")");
  for (int v = version; v < kSchemaVersion; ++v) Exec(FDb, kUpgradeSteps[v]);
  Exec(FDb, ("PRAGMA user_version=" + std::to_string(kSchemaVersion)).c_str());
  tx.Commit();
}

TStoreResult TSqliteReportStore::StoreUpload(const TUpload& upload) {
  std::lock_guard lock(FLock);
  TStoreResult result;
  const std::string now = UtcNow();
  TTransaction tx(FDb);

  TStatement addUpload(FDb,
                       "INSERT INTO uploads(received_at, remote_addr, mail_from, mail_subject, mail_body, mail_addr) "
                       "VALUES(?,?,?,?,?,?)");
  addUpload.Bind(now).Bind(upload.RemoteAddress).Bind(upload.MailFrom).Bind(upload.MailSubject);
  addUpload.Bind(upload.MailBody).Bind(upload.MailAddr).Step();
  const std::int64_t uploadId = sqlite3_last_insert_rowid(FDb);

  for (const TReportFacts& f : upload.Reports) {
    TStatement known(FDb, "SELECT id FROM reports WHERE digest = ?");
    if (known.Bind(f.Digest).Step()) {
      ++result.Duplicates;
      result.LastReportId = known.Int(0);
      continue;
    }
    TStatement group(FDb,
                     "INSERT INTO report_groups(key, exception_class, exception_message, executable, first_seen, last_seen) "
                     "VALUES(?,?,?,?,?,?) ON CONFLICT(key) DO UPDATE SET last_seen = excluded.last_seen, "
                     "exception_message = excluded.exception_message RETURNING id");
    group.Bind(f.GroupKey).Bind(f.ExceptionClass).Bind(f.ExceptionMessage).Bind(f.Executable).Bind(now).Bind(now);
    group.Step();
    const std::int64_t groupId = group.Int(0);

    TStatement add(FDb,
                   "INSERT INTO reports(group_id, upload_id, digest, received_at, date_time, computer, user_name, "
                   "version, exception_class, exception_message, contact_name, contact_email, count, text) "
                   "VALUES(?,?,?,?,?,?,?,?,?,?,?,?,?,?)");
    add.Bind(groupId).Bind(uploadId).Bind(f.Digest).Bind(now).Bind(f.DateTime).Bind(f.ComputerName);
    add.Bind(f.UserName).Bind(f.Version).Bind(f.ExceptionClass).Bind(f.ExceptionMessage).Bind(f.ContactName);
    add.Bind(f.ContactEmail).Bind(std::int64_t(f.Count)).BindBlob(f.Text).Step();
    result.LastReportId = sqlite3_last_insert_rowid(FDb);
    ++result.Stored;

    std::int64_t newComputer = 0;
    if (!f.ComputerName.empty()) {
      TStatement c(FDb, "INSERT OR IGNORE INTO group_computers(group_id, computer) VALUES(?,?)");
      c.Bind(groupId).Bind(f.ComputerName).Step();
      newComputer = sqlite3_changes(FDb);
    }
    if (!f.Version.empty()) TStatement(FDb, "INSERT OR IGNORE INTO group_versions VALUES(?,?)").Bind(groupId).Bind(f.Version).Step();
    TStatement(FDb, "UPDATE report_groups SET reports = reports + ?, computers = computers + ? WHERE id = ?")
        .Bind(std::int64_t(f.Count))
        .Bind(newComputer)
        .Bind(groupId)
        .Step();
  }
  // The screenshot was taken for the report being sent, the file's last one.
  if (!upload.Screenshot.empty() && result.LastReportId)
    TStatement(FDb, "INSERT OR IGNORE INTO screenshots(report_id, png) VALUES(?,?)")
        .Bind(result.LastReportId)
        .BindBlob(upload.Screenshot)
        .Step();
  tx.Commit();
  return result;
}

std::vector<std::string> TSqliteReportStore::VersionsOf(std::int64_t groupId) {
  std::vector<std::string> out;
  TStatement s(FDb, "SELECT version FROM group_versions WHERE group_id = ? ORDER BY version");
  s.Bind(groupId);
  while (s.Step()) out.push_back(s.Text(0));
  return out;
}

std::vector<TGroupRow> TSqliteReportStore::Groups(const TGroupQuery& q) {
  std::lock_guard lock(FLock);
  std::string sql = std::string("SELECT ") + kGroupColumns + " FROM report_groups";
  if (!q.Search.empty()) sql += " WHERE exception_class LIKE ?1 ESCAPE '\\' OR exception_message LIKE ?1 ESCAPE '\\'";
  sql += q.Order == TGroupOrder::Count ? " ORDER BY reports DESC, last_seen DESC, id DESC" : " ORDER BY last_seen DESC, id DESC";
  sql += " LIMIT ? OFFSET ?";
  TStatement s(FDb, sql.c_str());
  if (!q.Search.empty()) s.Bind(LikePattern(q.Search));
  s.Bind(std::int64_t(q.Limit)).Bind(std::int64_t(q.Offset));
  std::vector<TGroupRow> out;
  while (s.Step()) out.push_back(GroupFrom(s));
  for (TGroupRow& g : out) g.Versions = VersionsOf(g.Id);
  return out;
}

std::int64_t TSqliteReportStore::GroupCount(const std::string& search) {
  std::lock_guard lock(FLock);
  std::string sql = "SELECT COUNT(*) FROM report_groups";
  if (!search.empty()) sql += " WHERE exception_class LIKE ?1 ESCAPE '\\' OR exception_message LIKE ?1 ESCAPE '\\'";
  TStatement s(FDb, sql.c_str());
  if (!search.empty()) s.Bind(LikePattern(search));
  s.Step();
  return s.Int(0);
}

std::optional<TGroupRow> TSqliteReportStore::Group(std::int64_t id) {
  std::lock_guard lock(FLock);
  TStatement s(FDb, (std::string("SELECT ") + kGroupColumns + " FROM report_groups WHERE id = ?").c_str());
  if (!s.Bind(id).Step()) return std::nullopt;
  TGroupRow g = GroupFrom(s);
  g.Versions = VersionsOf(id);
  return g;
}

std::vector<TReportRow> TSqliteReportStore::ReportsOfGroup(std::int64_t groupId, int limit, int offset) {
  std::lock_guard lock(FLock);
  TStatement s(FDb, (std::string("SELECT ") + kReportColumns +
                     " FROM reports r WHERE r.group_id = ? ORDER BY r.id DESC LIMIT ? OFFSET ?")
                        .c_str());
  s.Bind(groupId).Bind(std::int64_t(limit)).Bind(std::int64_t(offset));
  std::vector<TReportRow> out;
  while (s.Step()) out.push_back(ReportFrom(s));
  return out;
}

std::optional<TReportRow> TSqliteReportStore::Report(std::int64_t id) {
  std::lock_guard lock(FLock);
  TStatement s(FDb, (std::string("SELECT ") + kReportColumns +
                     ", r.text, u.mail_from, u.mail_subject, u.mail_body, u.mail_addr, u.remote_addr"
                     " FROM reports r JOIN uploads u ON u.id = r.upload_id WHERE r.id = ?")
                        .c_str());
  if (!s.Bind(id).Step()) return std::nullopt;
  TReportRow r = ReportFrom(s);
  r.Text = s.Text(13);
  r.MailFrom = s.Text(14);
  r.MailSubject = s.Text(15);
  r.MailBody = s.Text(16);
  r.MailAddr = s.Text(17);
  r.RemoteAddress = s.Text(18);
  return r;
}

std::optional<std::string> TSqliteReportStore::Screenshot(std::int64_t reportId) {
  std::lock_guard lock(FLock);
  TStatement s(FDb, "SELECT png FROM screenshots WHERE report_id = ?");
  if (!s.Bind(reportId).Step()) return std::nullopt;
  return s.Text(0);
}

bool TSqliteReportStore::AddAccount(const std::string& name, const std::string& passwordHash) {
  std::lock_guard lock(FLock);
  TStatement s(FDb, "INSERT OR IGNORE INTO accounts(name, password_hash, created_at) VALUES(?,?,?)");
  s.Bind(name).Bind(passwordHash).Bind(UtcNow()).Step();
  return sqlite3_changes(FDb) == 1;
}

std::optional<std::string> TSqliteReportStore::PasswordHash(const std::string& name) {
  std::lock_guard lock(FLock);
  TStatement s(FDb, "SELECT password_hash FROM accounts WHERE name = ?");
  if (!s.Bind(name).Step()) return std::nullopt;
  return s.Text(0);
}

int TSqliteReportStore::AccountCount() {
  std::lock_guard lock(FLock);
  TStatement s(FDb, "SELECT COUNT(*) FROM accounts");
  s.Step();
  return int(s.Int(0));
}

void TSqliteReportStore::AddSession(const std::string& tokenHash, const std::string& account, std::int64_t now,
                                    std::int64_t expiresAt) {
  std::lock_guard lock(FLock);
  TTransaction tx(FDb);
  TStatement(FDb, "DELETE FROM sessions WHERE expires_at <= ?").Bind(now).Step();
  TStatement(FDb, "INSERT OR REPLACE INTO sessions(token_hash, account, expires_at) VALUES(?,?,?)")
      .Bind(tokenHash)
      .Bind(account)
      .Bind(expiresAt)
      .Step();
  tx.Commit();
}

std::optional<std::string> TSqliteReportStore::SessionAccount(const std::string& tokenHash, std::int64_t now) {
  std::lock_guard lock(FLock);
  TStatement s(FDb, "SELECT account FROM sessions WHERE token_hash = ? AND expires_at > ?");
  if (!s.Bind(tokenHash).Bind(now).Step()) return std::nullopt;
  return s.Text(0);
}

void TSqliteReportStore::EndSession(const std::string& tokenHash) {
  std::lock_guard lock(FLock);
  TStatement(FDb, "DELETE FROM sessions WHERE token_hash = ?").Bind(tokenHash).Step();
}

}  // namespace vm::server

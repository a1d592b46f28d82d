#include "server/SqliteReportStore.h"

#include <sqlite3.h>

#include "server/SqliteStatement.h"
#include "server/StoreText.h"
#include "server/Versions.h"

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
    // 1 -> 2: the group key leaves the version out (and the file dates that stood in for it),
    // so groups of one crash in several versions merge into the oldest of them. Counts are
    // what the server received: reports stored, computers that sent them (an upload's computer
    // is its last report's); the credited "count" lines move to `claimed`. Triage states.
    R"sql(
    ALTER TABLE report_groups ADD COLUMN claimed INTEGER NOT NULL DEFAULT 0;
    ALTER TABLE report_groups ADD COLUMN state TEXT NOT NULL DEFAULT 'open';
    ALTER TABLE report_groups ADD COLUMN regressed INTEGER NOT NULL DEFAULT 0;
    ALTER TABLE report_groups ADD COLUMN resolved_in TEXT NOT NULL DEFAULT '';
    ALTER TABLE uploads ADD COLUMN computer TEXT NOT NULL DEFAULT '';
    UPDATE report_groups SET claimed = reports;
    UPDATE uploads SET computer = COALESCE((SELECT r.computer FROM reports r WHERE r.upload_id = uploads.id
      ORDER BY r.id DESC LIMIT 1), '');

    -- Old keys: checksums, executable, module, class, then "version" and the version, or
    -- "dates" and two dates; the new key is everything before the fourth line break. Bytes,
    -- not characters: names may be in any code page.
    CREATE TEMP TABLE rekey(id INTEGER PRIMARY KEY, key BLOB NOT NULL, rest BLOB NOT NULL, survivor INTEGER);
    INSERT INTO rekey(id, key, rest) SELECT id, CAST(key AS BLOB), CAST(key AS BLOB) FROM report_groups
      WHERE key NOT LIKE 'single' || char(10) || '%';
    UPDATE rekey SET rest = substr(rest, instr(rest, x'0a') + 1);
    UPDATE rekey SET rest = substr(rest, instr(rest, x'0a') + 1);
    UPDATE rekey SET rest = substr(rest, instr(rest, x'0a') + 1);
    UPDATE rekey SET rest = substr(rest, instr(rest, x'0a') + 1);
    UPDATE rekey SET key = substr(key, 1, length(key) - length(rest) - 1);
    UPDATE rekey SET survivor = (SELECT MIN(k.id) FROM rekey k WHERE k.key = rekey.key);

    UPDATE reports SET group_id = (SELECT survivor FROM rekey WHERE rekey.id = reports.group_id)
      WHERE group_id IN (SELECT id FROM rekey WHERE survivor <> id);
    INSERT OR IGNORE INTO group_versions SELECT k.survivor, v.version FROM group_versions v JOIN rekey k ON k.id = v.group_id
      WHERE k.survivor <> k.id;
    DELETE FROM group_versions WHERE group_id IN (SELECT id FROM rekey WHERE survivor <> id);
    UPDATE report_groups SET
      first_seen = (SELECT MIN(g.first_seen) FROM report_groups g JOIN rekey k ON k.id = g.id WHERE k.survivor = report_groups.id),
      last_seen = (SELECT MAX(g.last_seen) FROM report_groups g JOIN rekey k ON k.id = g.id WHERE k.survivor = report_groups.id),
      claimed = (SELECT SUM(g.claimed) FROM report_groups g JOIN rekey k ON k.id = g.id WHERE k.survivor = report_groups.id),
      exception_message = (SELECT g.exception_message FROM report_groups g JOIN rekey k ON k.id = g.id
        WHERE k.survivor = report_groups.id ORDER BY g.last_seen DESC, g.id DESC LIMIT 1)
      WHERE id IN (SELECT survivor FROM rekey WHERE survivor <> id);
    DELETE FROM report_groups WHERE id IN (SELECT id FROM rekey WHERE survivor <> id);
    UPDATE report_groups SET key = (SELECT CAST(k.key AS TEXT) FROM rekey k WHERE k.id = report_groups.id)
      WHERE id IN (SELECT id FROM rekey);
    DROP TABLE rekey;

    DELETE FROM group_computers;
    INSERT OR IGNORE INTO group_computers SELECT r.group_id, u.computer FROM reports r JOIN uploads u ON u.id = r.upload_id
      WHERE u.computer <> '';
    UPDATE report_groups SET reports = (SELECT COUNT(*) FROM reports r WHERE r.group_id = report_groups.id),
      computers = (SELECT COUNT(*) FROM group_computers c WHERE c.group_id = report_groups.id);

    DROP INDEX report_groups_by_last;
    DROP INDEX report_groups_by_count;
    CREATE INDEX report_groups_by_last ON report_groups(state, last_seen);
    CREATE INDEX report_groups_by_count ON report_groups(state, computers, reports);
    CREATE INDEX reports_by_upload ON reports(upload_id);
    )sql",
    // 2 -> 3: login sessions, so that every server process on the database knows them.
    R"sql(
    CREATE TABLE sessions(token_hash TEXT PRIMARY KEY, account TEXT NOT NULL, form_token TEXT NOT NULL,
      expires_at INTEGER NOT NULL);
    CREATE INDEX sessions_by_account ON sessions(account);
    )sql",
};
static_assert(std::size(kUpgradeSteps) == TSqliteReportStore::kSchemaVersion);

constexpr const char* kGroupColumns =
    "g.id, g.exception_class, g.exception_message, g.executable, g.first_seen, g.last_seen, g.reports, g.computers, "
    "g.claimed, g.state, g.regressed, g.resolved_in";

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
  g.ClaimedCount = s.Int(8);
  g.State = StateOf(s.Text(9));
  g.Regressed = s.Int(10) != 0;
  g.ResolvedIn = s.Text(11);
  return g;
}

// The WHERE clause of a group query; its values are bound by BindFilter in the same order.
std::string FilterSql(const TGroupQuery& q) {
  std::string where;
  auto add = [&](const char* condition) { where += (where.empty() ? " WHERE " : " AND ") + std::string(condition); };
  if (const char* state = StateCondition(q.State)) add(state);
  if (!q.Executable.empty()) add("g.executable = ? COLLATE NOCASE");
  if (!q.Version.empty()) add("EXISTS (SELECT 1 FROM group_versions v WHERE v.group_id = g.id AND v.version = ?)");
  if (!q.Search.empty())
    add("(g.exception_class LIKE ?1 ESCAPE '\\' OR g.exception_message LIKE ?1 ESCAPE '\\' OR EXISTS (SELECT 1 FROM "
        "reports r JOIN uploads u ON u.id = r.upload_id WHERE r.group_id = g.id AND (CAST(r.text AS TEXT) LIKE ?1 "
        "ESCAPE '\\' OR "
        "u.mail_from LIKE ?1 ESCAPE '\\' OR u.mail_addr LIKE ?1 ESCAPE '\\' OR u.mail_body LIKE ?1 ESCAPE '\\')))");
  return where;
}

void BindFilter(TStatement& s, const TGroupQuery& q) {
  // The search is ?1, so it is bound first; the others follow it.
  if (!q.Search.empty()) s.Bind(LikePattern(q.Search));
  if (!q.Executable.empty()) s.Bind(q.Executable);
  if (!q.Version.empty()) s.Bind(q.Version);
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

// Takes the schema from the file's version to `target` in one transaction; a file newer than
// this server knows is refused untouched.
void UpgradeTo(sqlite3* db, int target) {
  TTransaction tx(db);
  int version = 0;
  {  // an open statement would keep the steps from dropping tables
    TStatement s(db, "PRAGMA user_version");
    s.Step();
    version = int(s.Int(0));
  }
  if (version > TSqliteReportStore::kSchemaVersion)
    throw EStoreError("the database was written by a newer server (schema " + std::to_string(version) +
                      ", this one knows " + std::to_string(TSqliteReportStore::kSchemaVersion) + ")");
  for (int v = version; v < target; ++v) Exec(db, kUpgradeSteps[v]);
  if (target > version) Exec(db, ("PRAGMA user_version=" + std::to_string(target)).c_str());
  tx.Commit();
}

}  // namespace

TSqliteReportStore::TSqliteReportStore(const std::string& path) {
  if (sqlite3_open_v2(path.c_str(), &FDb, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_FULLMUTEX,
                      nullptr) != SQLITE_OK) {
    std::string message = FDb ? sqlite3_errmsg(FDb) : "out of memory";
    sqlite3_close(FDb);
    throw EStoreError("cannot open the database " + path + ": " + message);
  }
  try {
    sqlite3_busy_timeout(FDb, 5000);
    // WAL lets the pages read while an upload is written; FULL keeps a stored upload through
    // a power cut.
    Exec(FDb, "PRAGMA journal_mode=WAL; PRAGMA synchronous=FULL; PRAGMA foreign_keys=ON;");
    UpgradeTo(FDb, kSchemaVersion);
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

void TSqliteReportStore::CreateAtVersion(const std::string& path, int version) {
  sqlite3* db = nullptr;
  const int rc = sqlite3_open(path.c_str(), &db);
  try {
    if (rc != SQLITE_OK) throw EStoreError("cannot open the database " + path);
    UpgradeTo(db, version);
  } catch (...) {
    sqlite3_close(db);
    throw;
  }
  sqlite3_close(db);
}

std::int64_t TSqliteReportStore::StoreReport(const TReportFacts& f, std::int64_t uploadId, const std::string& sender,
                                             const std::string& now) {
  TStatement group(
      FDb,
      "INSERT INTO report_groups(key, exception_class, exception_message, executable, first_seen, last_seen) "
      "VALUES(?,?,?,?,?,?) ON CONFLICT(key) DO UPDATE SET last_seen = excluded.last_seen, "
      "exception_message = excluded.exception_message RETURNING id, state, resolved_in");
  group.Bind(f.GroupKey).Bind(f.ExceptionClass).Bind(f.ExceptionMessage).Bind(f.Executable).Bind(now).Bind(now);
  group.Step();
  const std::int64_t groupId = group.Int(0);
  // A fix that did not hold: a newer version than the one it was resolved in still crashes.
  if (StateOf(group.Text(1)) == TGroupState::Resolved && !f.Version.empty() &&
      CompareVersions(f.Version, group.Text(2)) > 0)
    TStatement(FDb, "UPDATE report_groups SET state = 'open', regressed = 1 WHERE id = ?").Bind(groupId).Step();

  TStatement add(FDb,
                 "INSERT INTO reports(group_id, upload_id, digest, received_at, date_time, computer, user_name, "
                 "version, exception_class, exception_message, contact_name, contact_email, count, text) "
                 "VALUES(?,?,?,?,?,?,?,?,?,?,?,?,?,?)");
  add.Bind(groupId).Bind(uploadId).Bind(f.Digest).Bind(now).Bind(f.DateTime).Bind(f.ComputerName);
  add.Bind(f.UserName).Bind(f.Version).Bind(f.ExceptionClass).Bind(f.ExceptionMessage).Bind(f.ContactName);
  add.Bind(f.ContactEmail).Bind(std::int64_t(f.Count)).BindBlob(f.Text).Step();
  const std::int64_t reportId = sqlite3_last_insert_rowid(FDb);

  std::int64_t newComputer = 0;
  if (!sender.empty()) {
    TStatement(FDb, "INSERT OR IGNORE INTO group_computers(group_id, computer) VALUES(?,?)")
        .Bind(groupId)
        .Bind(sender)
        .Step();
    newComputer = sqlite3_changes(FDb);
  }
  if (!f.Version.empty())
    TStatement(FDb, "INSERT OR IGNORE INTO group_versions VALUES(?,?)").Bind(groupId).Bind(f.Version).Step();
  TStatement(
      FDb,
      "UPDATE report_groups SET reports = reports + 1, claimed = claimed + ?, computers = computers + ? WHERE id = ?")
      .Bind(std::int64_t(f.Count))
      .Bind(newComputer)
      .Bind(groupId)
      .Step();
  return reportId;
}

TStoreResult TSqliteReportStore::StoreUpload(const TUpload& upload) {
  std::lock_guard lock(FLock);
  TStoreResult result;
  const std::string now = UtcNow();
  // A bug-report file is kept on one computer: the one sending its newest report.
  const std::string sender = upload.Reports.empty() ? std::string() : upload.Reports.back().ComputerName;
  TTransaction tx(FDb);

  TStatement addUpload(
      FDb,
      "INSERT INTO uploads(received_at, remote_addr, mail_from, mail_subject, mail_body, mail_addr, computer) "
      "VALUES(?,?,?,?,?,?,?)");
  addUpload.Bind(now).Bind(upload.RemoteAddress).Bind(upload.MailFrom).Bind(upload.MailSubject);
  addUpload.Bind(upload.MailBody).Bind(upload.MailAddr).Bind(sender).Step();
  const std::int64_t uploadId = sqlite3_last_insert_rowid(FDb);

  for (const TReportFacts& f : upload.Reports) {
    TStatement known(FDb, "SELECT id FROM reports WHERE digest = ?");
    if (known.Bind(f.Digest).Step()) {
      ++result.Duplicates;
      result.LastReportId = known.Int(0);
      continue;
    }
    result.LastReportId = StoreReport(f, uploadId, sender, now);
    ++result.Stored;
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
  TStatement s(FDb, "SELECT version FROM group_versions WHERE group_id = ?");
  s.Bind(groupId);
  while (s.Step()) out.push_back(s.Text(0));
  SortVersions(out);
  return out;
}

void TSqliteReportStore::AddVersions(TGroupRow& g) {
  g.Versions = VersionsOf(g.Id);
  if (!g.Versions.empty()) {
    g.FirstVersion = g.Versions.front();
    g.LastVersion = g.Versions.back();
  }
}

std::vector<TGroupRow> TSqliteReportStore::Groups(const TGroupQuery& q) {
  std::lock_guard lock(FLock);
  std::string sql = std::string("SELECT ") + kGroupColumns + " FROM report_groups g" + FilterSql(q);
  sql += q.Order == TGroupOrder::Count ? " ORDER BY g.computers DESC, g.reports DESC, g.last_seen DESC, g.id DESC"
                                       : " ORDER BY g.last_seen DESC, g.id DESC";
  sql += " LIMIT ? OFFSET ?";
  TStatement s(FDb, sql.c_str());
  BindFilter(s, q);
  s.Bind(std::int64_t(q.Limit)).Bind(std::int64_t(q.Offset));
  std::vector<TGroupRow> out;
  while (s.Step()) out.push_back(GroupFrom(s));
  for (TGroupRow& g : out) AddVersions(g);
  return out;
}

std::int64_t TSqliteReportStore::GroupCount(const TGroupQuery& q) {
  std::lock_guard lock(FLock);
  TStatement s(FDb, ("SELECT COUNT(*) FROM report_groups g" + FilterSql(q)).c_str());
  BindFilter(s, q);
  s.Step();
  return s.Int(0);
}

std::optional<TGroupRow> TSqliteReportStore::Group(std::int64_t id) {
  std::lock_guard lock(FLock);
  TStatement s(FDb, (std::string("SELECT ") + kGroupColumns + " FROM report_groups g WHERE g.id = ?").c_str());
  if (!s.Bind(id).Step()) return std::nullopt;
  TGroupRow g = GroupFrom(s);
  AddVersions(g);
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

bool TSqliteReportStore::SetGroupState(std::int64_t id, TGroupState state, const std::string& resolvedIn) {
  std::lock_guard lock(FLock);
  TStatement(FDb, "UPDATE report_groups SET state = ?, regressed = 0, resolved_in = ? WHERE id = ?")
      .Bind(std::string(StateName(state)))
      .Bind(state == TGroupState::Resolved ? resolvedIn : std::string())
      .Bind(id)
      .Step();
  return sqlite3_changes(FDb) == 1;
}

bool TSqliteReportStore::DeleteGroup(std::int64_t id) {
  std::lock_guard lock(FLock);
  TTransaction tx(FDb);
  std::vector<std::int64_t> uploads;
  TStatement of(FDb, "SELECT DISTINCT upload_id FROM reports WHERE group_id = ?");
  of.Bind(id);
  while (of.Step()) uploads.push_back(of.Int(0));
  for (const char* sql : {"DELETE FROM screenshots WHERE report_id IN (SELECT id FROM reports WHERE group_id = ?)",
                          "DELETE FROM reports WHERE group_id = ?", "DELETE FROM group_versions WHERE group_id = ?",
                          "DELETE FROM group_computers WHERE group_id = ?"})
    TStatement(FDb, sql).Bind(id).Step();
  TStatement(FDb, "DELETE FROM report_groups WHERE id = ?").Bind(id).Step();
  const bool found = sqlite3_changes(FDb) == 1;
  // The sender's message and address go with the last report they came with.
  for (std::int64_t upload : uploads)
    TStatement(FDb,
               "DELETE FROM uploads WHERE id = ? AND NOT EXISTS (SELECT 1 FROM reports WHERE upload_id = uploads.id)")
        .Bind(upload)
        .Step();
  tx.Commit();
  return found;
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

bool TSqliteReportStore::SetPasswordHash(const std::string& name, const std::string& passwordHash) {
  std::lock_guard lock(FLock);
  TTransaction tx(FDb);
  TStatement(FDb, "UPDATE accounts SET password_hash = ? WHERE name = ?").Bind(passwordHash).Bind(name).Step();
  const bool found = sqlite3_changes(FDb) == 1;
  TStatement(FDb, "DELETE FROM sessions WHERE account = ?").Bind(name).Step();
  tx.Commit();
  return found;
}

bool TSqliteReportStore::RemoveAccount(const std::string& name) {
  std::lock_guard lock(FLock);
  TTransaction tx(FDb);
  TStatement(FDb, "DELETE FROM accounts WHERE name = ?").Bind(name).Step();
  const bool found = sqlite3_changes(FDb) == 1;
  TStatement(FDb, "DELETE FROM sessions WHERE account = ?").Bind(name).Step();
  tx.Commit();
  return found;
}

int TSqliteReportStore::AccountCount() {
  std::lock_guard lock(FLock);
  TStatement s(FDb, "SELECT COUNT(*) FROM accounts");
  s.Step();
  return int(s.Int(0));
}

bool TSqliteReportStore::AddSession(const std::string& tokenHash, const TStoredSession& session,
                                    const std::string& passwordHash, std::int64_t now, std::int64_t expiresAt) {
  std::lock_guard lock(FLock);
  TTransaction tx(FDb);
  TStatement(FDb, "DELETE FROM sessions WHERE expires_at <= ?").Bind(now).Step();
  TStatement(FDb,
             "INSERT OR REPLACE INTO sessions(token_hash, account, form_token, expires_at) SELECT ?,?,?,? "
             "WHERE EXISTS (SELECT 1 FROM accounts WHERE name = ? AND password_hash = ?)")
      .Bind(tokenHash)
      .Bind(session.Account)
      .Bind(session.FormToken)
      .Bind(expiresAt)
      .Bind(session.Account)
      .Bind(passwordHash)
      .Step();
  const bool added = sqlite3_changes(FDb) == 1;
  tx.Commit();
  return added;
}

std::optional<TStoredSession> TSqliteReportStore::Session(const std::string& tokenHash, std::int64_t now) {
  std::lock_guard lock(FLock);
  TStatement s(FDb, "SELECT account, form_token FROM sessions WHERE token_hash = ? AND expires_at > ?");
  if (!s.Bind(tokenHash).Bind(now).Step()) return std::nullopt;
  return TStoredSession{s.Text(0), s.Text(1)};
}

void TSqliteReportStore::EndSession(const std::string& tokenHash) {
  std::lock_guard lock(FLock);
  TStatement(FDb, "DELETE FROM sessions WHERE token_hash = ?").Bind(tokenHash).Step();
}

}  // namespace vm::server

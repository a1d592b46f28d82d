#include "server/PostgresReportStore.h"

#include <algorithm>

#include "server/PgConnection.h"
#include "server/StoreText.h"
#include "server/Versions.h"

namespace vm::server {
namespace {

// Each step takes the schema from version N to N + 1; steps are never edited once shipped.
// Texts that come from reports are bytea: they are in the sender's 8-bit code page, which
// the database's text type would refuse or reinterpret.
const char* const kUpgradeSteps[] = {
    // 0 -> 1
    R"sql(
    CREATE TABLE uploads(id bigserial PRIMARY KEY, received_at text NOT NULL, remote_addr bytea NOT NULL,
      mail_from bytea NOT NULL, mail_subject bytea NOT NULL, mail_body bytea NOT NULL, mail_addr bytea NOT NULL,
      computer bytea NOT NULL);
    CREATE TABLE report_groups(id bigserial PRIMARY KEY, key bytea NOT NULL UNIQUE,
      exception_class bytea NOT NULL, exception_message bytea NOT NULL, executable bytea NOT NULL,
      first_seen text NOT NULL, last_seen text NOT NULL, reports bigint NOT NULL DEFAULT 0,
      computers bigint NOT NULL DEFAULT 0, claimed bigint NOT NULL DEFAULT 0, state text NOT NULL DEFAULT 'open',
      regressed boolean NOT NULL DEFAULT false, resolved_in bytea NOT NULL DEFAULT '');
    CREATE INDEX report_groups_by_last ON report_groups(state, last_seen);
    CREATE INDEX report_groups_by_count ON report_groups(state, computers, reports);
    CREATE TABLE reports(id bigserial PRIMARY KEY, group_id bigint NOT NULL REFERENCES report_groups(id),
      upload_id bigint NOT NULL REFERENCES uploads(id), digest text NOT NULL UNIQUE,
      received_at text NOT NULL, date_time bytea NOT NULL, computer bytea NOT NULL, user_name bytea NOT NULL,
      version bytea NOT NULL, exception_class bytea NOT NULL, exception_message bytea NOT NULL,
      contact_name bytea NOT NULL, contact_email bytea NOT NULL, count bigint NOT NULL, text bytea NOT NULL);
    CREATE INDEX reports_by_group ON reports(group_id, id);
    CREATE INDEX reports_by_upload ON reports(upload_id);
    CREATE TABLE screenshots(report_id bigint PRIMARY KEY REFERENCES reports(id), png bytea NOT NULL);
    CREATE TABLE group_versions(group_id bigint NOT NULL REFERENCES report_groups(id), version bytea NOT NULL,
      PRIMARY KEY(group_id, version));
    CREATE TABLE group_computers(group_id bigint NOT NULL REFERENCES report_groups(id), computer bytea NOT NULL,
      PRIMARY KEY(group_id, computer));
    CREATE TABLE accounts(name bytea PRIMARY KEY, password_hash text NOT NULL, created_at text NOT NULL);
    )sql",
    // 1 -> 2: login sessions, so that every server process on the database knows them.
    R"sql(
    CREATE TABLE sessions(token_hash text PRIMARY KEY, account bytea NOT NULL, form_token text NOT NULL,
      expires_at bigint NOT NULL);
    CREATE INDEX sessions_by_account ON sessions(account);
    )sql",
};
static_assert(std::size(kUpgradeSteps) == TPostgresReportStore::kSchemaVersion);

// Any number that tells our schema lock from other users of advisory locks in the database.
constexpr const char* kSchemaLock = "SELECT pg_advisory_xact_lock(7301442017)";

// Texts in bytea compared as SQLite compares its texts: byte by byte, ASCII letters in either
// case. LATIN1 maps every byte to one character, so any bytes convert.
std::string Folded(const std::string& column) { return "convert_from(" + column + ", 'LATIN1')"; }

// The WHERE clause of a group query; its values are appended to `params` as $1, $2, ...
std::string FilterSql(const TGroupQuery& q, std::vector<TPgValue>& params) {
  std::string where;
  auto add = [&](const std::string& condition) { where += (where.empty() ? " WHERE " : " AND ") + condition; };
  auto param = [&](TPgValue value) {
    params.push_back(std::move(value));
    return Placeholder(params.size());
  };
  if (const char* state = StateCondition(q.State)) add(state);
  if (!q.Executable.empty()) add("lower(" + Folded("g.executable") + ") = lower(" + Folded(param(q.Executable)) + ")");
  if (!q.Version.empty())
    add("EXISTS (SELECT 1 FROM group_versions v WHERE v.group_id = g.id AND v.version = " + param(q.Version) + ")");
  if (!q.Search.empty()) {
    const std::string like = " ILIKE " + Folded(param(LikePattern(q.Search)));
    add("(" + Folded("g.exception_class") + like + " OR " + Folded("g.exception_message") + like +
        " OR EXISTS (SELECT 1 FROM reports r JOIN uploads u ON u.id = r.upload_id WHERE r.group_id = g.id "
        "AND (" +
        Folded("r.text") + like + " OR " + Folded("u.mail_from") + like + " OR " + Folded("u.mail_addr") + like +
        " OR " + Folded("u.mail_body") + like + ")))");
  }
  return where;
}

constexpr const char* kGroupColumns =
    "g.id, g.exception_class, g.exception_message, g.executable, g.first_seen, g.last_seen, g.reports, "
    "g.computers, "
    "g.claimed, g.state, g.regressed, g.resolved_in";

TGroupRow GroupFrom(const TPgResult& r, int row) {
  TGroupRow g;
  g.Id = r.Int(row, 0);
  g.ExceptionClass = r.Text(row, 1);
  g.ExceptionMessage = r.Text(row, 2);
  g.Executable = r.Text(row, 3);
  g.FirstSeen = r.Text(row, 4);
  g.LastSeen = r.Text(row, 5);
  g.Reports = r.Int(row, 6);
  g.Computers = r.Int(row, 7);
  g.ClaimedCount = r.Int(row, 8);
  g.State = StateOf(r.Text(row, 9));
  g.Regressed = r.Int(row, 10) != 0;
  g.ResolvedIn = r.Text(row, 11);
  return g;
}

constexpr const char* kReportColumns =
    "r.id, r.group_id, r.received_at, r.date_time, r.computer, r.user_name, r.version, r.exception_class, "
    "r.exception_message, r.contact_name, r.contact_email, r.count, "
    "EXISTS(SELECT 1 FROM screenshots s WHERE s.report_id = r.id)";

TReportRow ReportFrom(const TPgResult& r, int row) {
  TReportRow x;
  x.Id = r.Int(row, 0);
  x.GroupId = r.Int(row, 1);
  x.ReceivedAt = r.Text(row, 2);
  x.DateTime = r.Text(row, 3);
  x.ComputerName = r.Text(row, 4);
  x.UserName = r.Text(row, 5);
  x.Version = r.Text(row, 6);
  x.ExceptionClass = r.Text(row, 7);
  x.ExceptionMessage = r.Text(row, 8);
  x.ContactName = r.Text(row, 9);
  x.ContactEmail = r.Text(row, 10);
  x.Count = int(r.Int(row, 11));
  x.HasScreenshot = r.Int(row, 12) != 0;
  return x;
}

// The versions of the listed groups, in one query.
void AddVersions(TPgConnection& c, std::vector<TGroupRow>& groups) {
  if (groups.empty()) return;
  std::string ids = "{";
  for (const TGroupRow& g : groups) {
    if (ids.size() > 1) ids += ',';
    ids += std::to_string(g.Id);
  }
  const TPgResult r = c.Run("SELECT group_id, version FROM group_versions WHERE group_id = ANY($1::bigint[])",
                            {TPgValue::Literal(ids + "}")});
  for (int i = 0; i < r.Rows(); ++i)
    for (TGroupRow& g : groups)
      if (g.Id == r.Int(i, 0)) g.Versions.push_back(r.Text(i, 1));
  for (TGroupRow& g : groups) {
    SortVersions(g.Versions);
    if (g.Versions.empty()) continue;
    g.FirstVersion = g.Versions.front();
    g.LastVersion = g.Versions.back();
  }
}

}  // namespace

TPostgresReportStore::TLease::TLease(TPostgresReportStore& store, std::unique_ptr<TPgConnection> c)
    : FStore(&store), FConn(std::move(c)) {}

TPostgresReportStore::TLease::~TLease() {
  if (!FConn) return;  // moved away
  std::lock_guard lock(FStore->FLock);
  if (FConn->Broken())
    --FStore->FOpen;
  else
    FStore->FIdle.push_back(std::move(FConn));
  FStore->FReturned.notify_one();
}

TPostgresReportStore::TLease TPostgresReportStore::Take() {
  std::unique_lock lock(FLock);
  FReturned.wait(lock, [this] { return !FIdle.empty() || FOpen < FMaxConnections; });
  if (!FIdle.empty()) {
    auto c = std::move(FIdle.back());
    FIdle.pop_back();
    return TLease(*this, std::move(c));
  }
  ++FOpen;
  lock.unlock();
  try {
    return TLease(*this, std::make_unique<TPgConnection>(FConnection));
  } catch (...) {
    lock.lock();
    --FOpen;
    FReturned.notify_one();
    throw;
  }
}

TPostgresReportStore::TPostgresReportStore(const std::string& connection, int connections)
    : FConnection(connection), FMaxConnections(std::max(1, connections)) {
  Upgrade(*Take());
}

TPostgresReportStore::~TPostgresReportStore() = default;

void TPostgresReportStore::Upgrade(TPgConnection& c) {
  InTransaction(c, [](TPgConnection& c) {
    // Two servers that start together: the second waits, then finds the schema done.
    c.Exec(kSchemaLock);
    c.Exec("CREATE TABLE IF NOT EXISTS schema_version(version integer NOT NULL)");
    const TPgResult r = c.Run("SELECT version FROM schema_version");
    const int version = r.Rows() ? int(r.Int(0, 0)) : 0;
    if (version > kSchemaVersion)
      throw EStoreError("the database was written by a newer server (schema " + std::to_string(version) +
                        ", this one knows " + std::to_string(kSchemaVersion) + ")");
    for (int v = version; v < kSchemaVersion; ++v) c.Exec(kUpgradeSteps[v]);
    if (r.Rows())
      c.Run("UPDATE schema_version SET version = $1", {kSchemaVersion});
    else
      c.Run("INSERT INTO schema_version VALUES($1)", {kSchemaVersion});
    return 0;
  });
}

int TPostgresReportStore::SchemaVersion() {
  const TPgResult r = Take()->Run("SELECT version FROM schema_version");
  return r.Rows() ? int(r.Int(0, 0)) : 0;
}

TStoreResult TPostgresReportStore::StoreUpload(const TUpload& upload) {
  // A bug-report file is kept on one computer: the one sending its newest report.
  const std::string sender = upload.Reports.empty() ? std::string() : upload.Reports.back().ComputerName;
  // Group rows are locked in one order by every upload, so two uploads never wait for each
  // other in a circle.
  std::vector<const TReportFacts*> reports;
  for (const TReportFacts& f : upload.Reports) reports.push_back(&f);
  std::stable_sort(reports.begin(), reports.end(), [](auto* a, auto* b) { return a->GroupKey < b->GroupKey; });

  TLease c = Take();
  return InTransaction(*c, [&](TPgConnection& c) {
    TStoreResult result;
    const std::string now = UtcNow();
    const std::int64_t uploadId =
        c.Run(
             "INSERT INTO uploads(received_at, remote_addr, mail_from, "
             "mail_subject, mail_body, mail_addr, computer) "
             "VALUES($1,$2,$3,$4,$5,$6,$7) RETURNING id",
             {now, upload.RemoteAddress, upload.MailFrom, upload.MailSubject, upload.MailBody, upload.MailAddr, sender})
            .Int(0, 0);
    for (const TReportFacts* f : reports) {
      if (c.Run("SELECT 1 FROM reports WHERE digest = $1", {f->Digest}).Rows())
        ++result.Duplicates;
      else if (StoreReport(c, *f, uploadId, sender, now))
        ++result.Stored;
      else
        ++result.Duplicates;  // stored by another process a moment ago
    }
    // The screenshot was taken for the report being sent, the file's last one.
    if (!upload.Reports.empty())
      result.LastReportId = c.Run("SELECT id FROM reports WHERE digest = $1", {upload.Reports.back().Digest}).Int(0, 0);
    if (!upload.Screenshot.empty() && result.LastReportId)
      c.Run("INSERT INTO screenshots(report_id, png) VALUES($1,$2) ON CONFLICT DO NOTHING",
            {result.LastReportId, upload.Screenshot});
    return result;
  });
}

bool TPostgresReportStore::StoreReport(TPgConnection& c, const TReportFacts& f, std::int64_t uploadId,
                                       const std::string& sender, const std::string& now) {
  // The group's row stays locked until the commit: its counts and state change one upload
  // at a time. Each report writes the row once: its indexed columns change, so every write
  // leaves an old version for the vacuum.
  const char* const lock = "SELECT id, state, resolved_in FROM report_groups WHERE key = $1 FOR UPDATE";
  TPgResult group = c.Run(lock, {f.GroupKey});
  if (!group.Rows()) {
    c.Run(
        "INSERT INTO report_groups(key, exception_class, exception_message, executable, first_seen, "
        "last_seen) "
        "VALUES($1,$2,$3,$4,$5,$5) ON CONFLICT(key) DO NOTHING",
        {f.GroupKey, f.ExceptionClass, f.ExceptionMessage, f.Executable, now});
    group = c.Run(lock, {f.GroupKey});  // ours, or the one another process made meanwhile
  }
  const std::int64_t groupId = group.Int(0, 0);

  // Another process may be storing the same report right now: the unique digest lets one of
  // the two in; the other waits for its commit and finds the report known.
  if (!c.Run("INSERT INTO reports(group_id, upload_id, digest, received_at, date_time, computer, user_name, "
             "version, exception_class, exception_message, contact_name, contact_email, count, text) "
             "VALUES($1,$2,$3,$4,$5,$6,$7,$8,$9,$10,$11,$12,$13,$14) ON CONFLICT(digest) DO NOTHING",
             {groupId, uploadId, f.Digest, now, f.DateTime, f.ComputerName, f.UserName, f.Version, f.ExceptionClass,
              f.ExceptionMessage, f.ContactName, f.ContactEmail, f.Count, f.Text})
           .Affected())
    return false;

  // A fix that did not hold: a newer version than the one it was resolved in still crashes.
  const bool regressed = StateOf(group.Text(0, 1)) == TGroupState::Resolved && !f.Version.empty() &&
                         CompareVersions(f.Version, group.Text(0, 2)) > 0;
  std::int64_t newComputer = 0;
  if (!sender.empty())
    newComputer =
        c.Run("INSERT INTO group_computers VALUES($1,$2) ON CONFLICT DO NOTHING", {groupId, sender}).Affected();
  if (!f.Version.empty())
    c.Run("INSERT INTO group_versions VALUES($1,$2) ON CONFLICT DO NOTHING", {groupId, f.Version});
  c.Run(
      "UPDATE report_groups SET last_seen = $2, exception_message = $3, reports = reports + 1, "
      "claimed = claimed + $4, computers = computers + $5, state = CASE WHEN $6 THEN 'open' ELSE state END, "
      "regressed = regressed OR $6 WHERE id = $1",
      {groupId, now, f.ExceptionMessage, f.Count, newComputer, TPgValue::Literal(regressed ? "true" : "false")});
  return true;
}

std::vector<TGroupRow> TPostgresReportStore::Groups(const TGroupQuery& q) {
  std::vector<TPgValue> params;
  std::string sql = std::string("SELECT ") + kGroupColumns + " FROM report_groups g" + FilterSql(q, params);
  sql += q.Order == TGroupOrder::Count ? " ORDER BY g.computers DESC, g.reports DESC, g.last_seen DESC, g.id DESC"
                                       : " ORDER BY g.last_seen DESC, g.id DESC";
  params.push_back(q.Limit);
  params.push_back(q.Offset);
  sql += " LIMIT " + Placeholder(params.size() - 1) + " OFFSET " + Placeholder(params.size());
  TLease c = Take();
  const TPgResult r = c->Run(sql, params);
  std::vector<TGroupRow> out;
  for (int i = 0; i < r.Rows(); ++i) out.push_back(GroupFrom(r, i));
  AddVersions(*c, out);
  return out;
}

std::int64_t TPostgresReportStore::GroupCount(const TGroupQuery& q) {
  std::vector<TPgValue> params;
  const std::string sql = "SELECT COUNT(*) FROM report_groups g" + FilterSql(q, params);
  return Take()->Run(sql, params).Int(0, 0);
}

std::optional<TGroupRow> TPostgresReportStore::Group(std::int64_t id) {
  TLease c = Take();
  const TPgResult r = c->Run(std::string("SELECT ") + kGroupColumns + " FROM report_groups g WHERE g.id = $1", {id});
  if (!r.Rows()) return std::nullopt;
  std::vector<TGroupRow> one{GroupFrom(r, 0)};
  AddVersions(*c, one);
  return one[0];
}

std::vector<TReportRow> TPostgresReportStore::ReportsOfGroup(std::int64_t groupId, int limit, int offset) {
  const TPgResult r = Take()->Run(std::string("SELECT ") + kReportColumns +
                                      " FROM reports r WHERE r.group_id = $1 ORDER BY r.id DESC LIMIT $2 OFFSET $3",
                                  {groupId, limit, offset});
  std::vector<TReportRow> out;
  for (int i = 0; i < r.Rows(); ++i) out.push_back(ReportFrom(r, i));
  return out;
}

std::optional<TReportRow> TPostgresReportStore::Report(std::int64_t id) {
  const TPgResult r = Take()->Run(std::string("SELECT ") + kReportColumns +
                                      ", r.text, u.mail_from, u.mail_subject, u.mail_body, u.mail_addr, u.remote_addr"
                                      " FROM reports r JOIN uploads u ON u.id = r.upload_id WHERE r.id = $1",
                                  {id});
  if (!r.Rows()) return std::nullopt;
  TReportRow x = ReportFrom(r, 0);
  x.Text = r.Text(0, 13);
  x.MailFrom = r.Text(0, 14);
  x.MailSubject = r.Text(0, 15);
  x.MailBody = r.Text(0, 16);
  x.MailAddr = r.Text(0, 17);
  x.RemoteAddress = r.Text(0, 18);
  return x;
}

std::optional<std::string> TPostgresReportStore::Screenshot(std::int64_t reportId) {
  const TPgResult r = Take()->Run("SELECT png FROM screenshots WHERE report_id = $1", {reportId});
  if (!r.Rows()) return std::nullopt;
  return r.Text(0, 0);
}

bool TPostgresReportStore::SetGroupState(std::int64_t id, TGroupState state, const std::string& resolvedIn) {
  return Take()
             ->Run("UPDATE report_groups SET state = $1, regressed = false, resolved_in = $2 WHERE id = $3",
                   {StateName(state), state == TGroupState::Resolved ? resolvedIn : std::string(), id})
             .Affected() == 1;
}

bool TPostgresReportStore::DeleteGroup(std::int64_t id) {
  TLease c = Take();
  return InTransaction(*c, [id](TPgConnection& c) {
    // Locked first: an upload that adds to the group waits, then makes it anew.
    if (!c.Run("SELECT 1 FROM report_groups WHERE id = $1 FOR UPDATE", {id}).Rows()) return false;
    const TPgResult uploads = c.Run("SELECT DISTINCT upload_id FROM reports WHERE group_id = $1", {id});
    for (const char* sql :
         {"DELETE FROM screenshots WHERE report_id IN (SELECT id FROM reports WHERE group_id = $1)",
          "DELETE FROM reports WHERE group_id = $1", "DELETE FROM group_versions WHERE group_id = $1",
          "DELETE FROM group_computers WHERE group_id = $1", "DELETE FROM report_groups WHERE id = $1"})
      c.Run(sql, {id});
    // The sender's message and address go with the last report they came with.
    for (int i = 0; i < uploads.Rows(); ++i)
      c.Run("DELETE FROM uploads u WHERE id = $1 AND NOT EXISTS (SELECT 1 FROM reports WHERE upload_id = u.id)",
            {uploads.Int(i, 0)});
    return true;
  });
}

bool TPostgresReportStore::AddAccount(const std::string& name, const std::string& passwordHash) {
  return Take()
             ->Run(
                 "INSERT INTO accounts(name, password_hash, created_at) VALUES($1,$2,$3) ON CONFLICT DO "
                 "NOTHING",
                 {name, passwordHash, UtcNow()})
             .Affected() == 1;
}

std::optional<std::string> TPostgresReportStore::PasswordHash(const std::string& name) {
  const TPgResult r = Take()->Run("SELECT password_hash FROM accounts WHERE name = $1", {name});
  if (!r.Rows()) return std::nullopt;
  return r.Text(0, 0);
}

bool TPostgresReportStore::SetPasswordHash(const std::string& name, const std::string& passwordHash) {
  TLease c = Take();
  return InTransaction(*c, [&](TPgConnection& c) {
    const bool found =
        c.Run("UPDATE accounts SET password_hash = $1 WHERE name = $2", {passwordHash, name}).Affected() == 1;
    c.Run("DELETE FROM sessions WHERE account = $1", {name});
    return found;
  });
}

bool TPostgresReportStore::RemoveAccount(const std::string& name) {
  TLease c = Take();
  return InTransaction(*c, [&name](TPgConnection& c) {
    const bool found = c.Run("DELETE FROM accounts WHERE name = $1", {name}).Affected() == 1;
    c.Run("DELETE FROM sessions WHERE account = $1", {name});
    return found;
  });
}

int TPostgresReportStore::AccountCount() { return int(Take()->Run("SELECT COUNT(*) FROM accounts").Int(0, 0)); }

bool TPostgresReportStore::AddSession(const std::string& tokenHash, const TStoredSession& session,
                                      const std::string& passwordHash, std::int64_t now, std::int64_t expiresAt) {
  TLease c = Take();
  return InTransaction(*c, [&](TPgConnection& c) {
    c.Run("DELETE FROM sessions WHERE expires_at <= $1", {now});
    // The account's row stays locked until the commit: a password change waits, then ends
    // this session with the others.
    if (!c.Run("SELECT 1 FROM accounts WHERE name = $1 AND password_hash = $2 FOR SHARE",
               {session.Account, passwordHash})
             .Rows())
      return false;
    c.Run(
        "INSERT INTO sessions(token_hash, account, form_token, expires_at) VALUES($1,$2,$3,$4) "
        "ON CONFLICT(token_hash) DO UPDATE SET account = excluded.account, form_token = excluded.form_token, "
        "expires_at = excluded.expires_at",
        {tokenHash, session.Account, session.FormToken, expiresAt});
    return true;
  });
}

std::optional<TStoredSession> TPostgresReportStore::Session(const std::string& tokenHash, std::int64_t now) {
  const TPgResult r = Take()->Run("SELECT account, form_token FROM sessions WHERE token_hash = $1 AND expires_at > $2",
                                  {tokenHash, now});
  if (!r.Rows()) return std::nullopt;
  return TStoredSession{r.Text(0, 0), r.Text(0, 1)};
}

void TPostgresReportStore::EndSession(const std::string& tokenHash) {
  Take()->Run("DELETE FROM sessions WHERE token_hash = $1", {tokenHash});
}

}  // namespace vm::server

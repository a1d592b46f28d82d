#include "server/PostgresReportStore.h"

#include <algorithm>

#include "server/PgConnection.h"
#include "server/StoreText.h"

namespace vm::server {
namespace {

// Each step takes the schema from version N to N + 1; steps are never edited once shipped.
// Texts that come from reports are bytea: they are in the sender's 8-bit code page, which
// the database's text type would refuse or reinterpret.
const char* const kUpgradeSteps[] = {
    // 0 -> 1
    R"sql(
    CREATE TABLE uploads(id bigserial PRIMARY KEY, received_at text NOT NULL, remote_addr bytea NOT NULL,
      mail_from bytea NOT NULL, mail_subject bytea NOT NULL, mail_body bytea NOT NULL, mail_addr bytea NOT NULL);
    CREATE TABLE report_groups(id bigserial PRIMARY KEY, key bytea NOT NULL UNIQUE,
      exception_class bytea NOT NULL, exception_message bytea NOT NULL, executable bytea NOT NULL,
      first_seen text NOT NULL, last_seen text NOT NULL,
      reports bigint NOT NULL DEFAULT 0, computers bigint NOT NULL DEFAULT 0);
    CREATE INDEX report_groups_by_last ON report_groups(last_seen);
    CREATE INDEX report_groups_by_count ON report_groups(reports);
    CREATE TABLE reports(id bigserial PRIMARY KEY, group_id bigint NOT NULL REFERENCES report_groups(id),
      upload_id bigint NOT NULL REFERENCES uploads(id), digest text NOT NULL UNIQUE,
      received_at text NOT NULL, date_time bytea NOT NULL, computer bytea NOT NULL, user_name bytea NOT NULL,
      version bytea NOT NULL, exception_class bytea NOT NULL, exception_message bytea NOT NULL,
      contact_name bytea NOT NULL, contact_email bytea NOT NULL, count bigint NOT NULL, text bytea NOT NULL);
    CREATE INDEX reports_by_group ON reports(group_id, id);
    CREATE TABLE screenshots(report_id bigint PRIMARY KEY REFERENCES reports(id), png bytea NOT NULL);
    CREATE TABLE group_versions(group_id bigint NOT NULL REFERENCES report_groups(id), version bytea NOT NULL,
      PRIMARY KEY(group_id, version));
    CREATE TABLE group_computers(group_id bigint NOT NULL REFERENCES report_groups(id), computer bytea NOT NULL,
      PRIMARY KEY(group_id, computer));
    CREATE TABLE accounts(name bytea PRIMARY KEY, password_hash text NOT NULL, created_at text NOT NULL);
    )sql",
    // 1 -> 2
    R"sql(
    CREATE TABLE sessions(token_hash text PRIMARY KEY, account bytea NOT NULL, expires_at bigint NOT NULL);
    )sql",
};
static_assert(std::size(kUpgradeSteps) == TPostgresReportStore::kSchemaVersion);

// Any number that tells our schema lock from other users of advisory locks in the database.
constexpr const char* kSchemaLock = "SELECT pg_advisory_xact_lock(7301442017)";

// Search in bytea as SQLite does in its texts: byte by byte, ASCII letters in either case.
constexpr const char* kSearch =
    " WHERE convert_from(exception_class, 'LATIN1') ILIKE convert_from($1, 'LATIN1')"
    " OR convert_from(exception_message, 'LATIN1') ILIKE convert_from($1, 'LATIN1')";

constexpr const char* kGroupColumns =
    "id, exception_class, exception_message, executable, first_seen, last_seen, reports, computers";

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
  for (const TGroupRow& g : groups) ids += (ids.size() > 1 ? "," : "") + std::to_string(g.Id);
  const TPgResult r = c.Run("SELECT group_id, version FROM group_versions WHERE group_id = ANY($1::bigint[]) "
                            "ORDER BY group_id, version",
                            {TPgValue::Literal(ids + "}")});
  for (int i = 0; i < r.Rows(); ++i)
    for (TGroupRow& g : groups)
      if (g.Id == r.Int(i, 0)) g.Versions.push_back(r.Text(i, 1));
}

}  // namespace

TPostgresReportStore::TLease::TLease(TPostgresReportStore& store, std::unique_ptr<TPgConnection> c)
    : FStore(&store), FConn(std::move(c)) {}

TPostgresReportStore::TLease::~TLease() {
  if (!FConn) return;  // moved away
  std::lock_guard lock(FStore->FLock);
  if (FConn->Broken()) --FStore->FOpen;
  else FStore->FIdle.push_back(std::move(FConn));
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
    if (r.Rows()) c.Run("UPDATE schema_version SET version = $1", {kSchemaVersion});
    else c.Run("INSERT INTO schema_version VALUES($1)", {kSchemaVersion});
    return 0;
  });
}

int TPostgresReportStore::SchemaVersion() {
  const TPgResult r = Take()->Run("SELECT version FROM schema_version");
  return r.Rows() ? int(r.Int(0, 0)) : 0;
}

TStoreResult TPostgresReportStore::StoreUpload(const TUpload& upload) {
  TLease c = Take();
  return InTransaction(*c, [&](TPgConnection& c) {
    TStoreResult result;
    const std::string now = UtcNow();
    const std::int64_t uploadId =
        c.Run("INSERT INTO uploads(received_at, remote_addr, mail_from, mail_subject, mail_body, mail_addr) "
              "VALUES($1,$2,$3,$4,$5,$6) RETURNING id",
              {now, upload.RemoteAddress, upload.MailFrom, upload.MailSubject, upload.MailBody, upload.MailAddr})
            .Int(0, 0);
    // Group rows are locked in one order by every upload, so two uploads never wait for
    // each other in a circle.
    std::vector<const TReportFacts*> reports;
    for (const TReportFacts& f : upload.Reports) reports.push_back(&f);
    std::stable_sort(reports.begin(), reports.end(), [](auto* a, auto* b) { return a->GroupKey < b->GroupKey; });
    for (const TReportFacts* report : reports) {
      const TReportFacts& f = *report;
      if (c.Run("SELECT 1 FROM reports WHERE digest = $1", {f.Digest}).Rows()) {
        ++result.Duplicates;
        continue;
      }
      // Locks the group's row until the commit: its counts change one upload at a time.
      const std::int64_t groupId =
          c.Run("INSERT INTO report_groups(key, exception_class, exception_message, executable, first_seen, last_seen) "
                "VALUES($1,$2,$3,$4,$5,$5) ON CONFLICT(key) DO UPDATE SET last_seen = excluded.last_seen, "
                "exception_message = excluded.exception_message RETURNING id",
                {f.GroupKey, f.ExceptionClass, f.ExceptionMessage, f.Executable, now})
              .Int(0, 0);
      // Another process may be storing the same report right now: the unique digest lets
      // one of the two in, the other waits for its commit and finds it known.
      const TPgResult added =
          c.Run("INSERT INTO reports(group_id, upload_id, digest, received_at, date_time, computer, user_name, "
                "version, exception_class, exception_message, contact_name, contact_email, count, text) "
                "VALUES($1,$2,$3,$4,$5,$6,$7,$8,$9,$10,$11,$12,$13,$14) ON CONFLICT(digest) DO NOTHING RETURNING id",
                {groupId, uploadId, f.Digest, now, f.DateTime, f.ComputerName, f.UserName, f.Version,
                 f.ExceptionClass, f.ExceptionMessage, f.ContactName, f.ContactEmail, f.Count, f.Text});
      if (!added.Rows()) {
        ++result.Duplicates;
        continue;
      }
      ++result.Stored;

      std::int64_t newComputer = 0;
      if (!f.ComputerName.empty())
        newComputer = c.Run("INSERT INTO group_computers VALUES($1,$2) ON CONFLICT DO NOTHING", {groupId, f.ComputerName})
                          .Affected();
      if (!f.Version.empty())
        c.Run("INSERT INTO group_versions VALUES($1,$2) ON CONFLICT DO NOTHING", {groupId, f.Version});
      c.Run("UPDATE report_groups SET reports = reports + $1, computers = computers + $2 WHERE id = $3",
            {f.Count, newComputer, groupId});
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

std::vector<TGroupRow> TPostgresReportStore::Groups(const TGroupQuery& q) {
  std::string sql = std::string("SELECT ") + kGroupColumns + " FROM report_groups";
  if (!q.Search.empty()) sql += kSearch;
  sql += q.Order == TGroupOrder::Count ? " ORDER BY reports DESC, last_seen DESC, id DESC"
                                       : " ORDER BY last_seen DESC, id DESC";
  TLease c = Take();
  const TPgResult r = q.Search.empty()
                          ? c->Run(sql + " LIMIT $1 OFFSET $2", {q.Limit, q.Offset})
                          : c->Run(sql + " LIMIT $2 OFFSET $3", {LikePattern(q.Search), q.Limit, q.Offset});
  std::vector<TGroupRow> out;
  for (int i = 0; i < r.Rows(); ++i) out.push_back(GroupFrom(r, i));
  AddVersions(*c, out);
  return out;
}

std::int64_t TPostgresReportStore::GroupCount(const std::string& search) {
  if (search.empty()) return Take()->Run("SELECT COUNT(*) FROM report_groups").Int(0, 0);
  return Take()->Run(std::string("SELECT COUNT(*) FROM report_groups") + kSearch, {LikePattern(search)}).Int(0, 0);
}

std::optional<TGroupRow> TPostgresReportStore::Group(std::int64_t id) {
  TLease c = Take();
  const TPgResult r = c->Run(std::string("SELECT ") + kGroupColumns + " FROM report_groups WHERE id = $1", {id});
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

bool TPostgresReportStore::AddAccount(const std::string& name, const std::string& passwordHash) {
  return Take()
             ->Run("INSERT INTO accounts(name, password_hash, created_at) VALUES($1,$2,$3) ON CONFLICT DO NOTHING",
                   {name, passwordHash, UtcNow()})
             .Affected() == 1;
}

std::optional<std::string> TPostgresReportStore::PasswordHash(const std::string& name) {
  const TPgResult r = Take()->Run("SELECT password_hash FROM accounts WHERE name = $1", {name});
  if (!r.Rows()) return std::nullopt;
  return r.Text(0, 0);
}

int TPostgresReportStore::AccountCount() { return int(Take()->Run("SELECT COUNT(*) FROM accounts").Int(0, 0)); }

void TPostgresReportStore::AddSession(const std::string& tokenHash, const std::string& account, std::int64_t now,
                                      std::int64_t expiresAt) {
  TLease c = Take();
  c->Run("DELETE FROM sessions WHERE expires_at <= $1", {now});
  c->Run("INSERT INTO sessions(token_hash, account, expires_at) VALUES($1,$2,$3) "
         "ON CONFLICT(token_hash) DO UPDATE SET account = excluded.account, expires_at = excluded.expires_at",
         {tokenHash, account, expiresAt});
}

std::optional<std::string> TPostgresReportStore::SessionAccount(const std::string& tokenHash, std::int64_t now) {
  const TPgResult r =
      Take()->Run("SELECT account FROM sessions WHERE token_hash = $1 AND expires_at > $2", {tokenHash, now});
  if (!r.Rows()) return std::nullopt;
  return r.Text(0, 0);
}

void TPostgresReportStore::EndSession(const std::string& tokenHash) {
  Take()->Run("DELETE FROM sessions WHERE token_hash = $1", {tokenHash});
}

}  // namespace vm::server

// IReportStore in one SQLite file. The schema carries its version (PRAGMA user_version):
// opening an older file upgrades it step by step inside a transaction, a newer one is refused.
#pragma once

#include <memory>
#include <mutex>
#include <string>

#include "server/ReportStore.h"

struct sqlite3;

namespace vm::server {

class TSqliteReportStore final : public IReportStore {
public:
  static constexpr int kSchemaVersion = 3;

  // Creates the file when missing. Throws EStoreError.
  explicit TSqliteReportStore(const std::string& path);
  ~TSqliteReportStore() override;
  TSqliteReportStore(const TSqliteReportStore&) = delete;
  TSqliteReportStore& operator=(const TSqliteReportStore&) = delete;

  TStoreResult StoreUpload(const TUpload& upload) override;
  std::vector<TGroupRow> Groups(const TGroupQuery& query) override;
  std::int64_t GroupCount(const TGroupQuery& query) override;
  std::optional<TGroupRow> Group(std::int64_t id) override;
  std::vector<TReportRow> ReportsOfGroup(std::int64_t groupId, int limit, int offset) override;
  std::optional<TReportRow> Report(std::int64_t id) override;
  std::optional<std::string> Screenshot(std::int64_t reportId) override;
  bool SetGroupState(std::int64_t id, TGroupState state, const std::string& resolvedIn) override;
  bool DeleteGroup(std::int64_t id) override;
  bool AddAccount(const std::string& name, const std::string& passwordHash) override;
  std::optional<std::string> PasswordHash(const std::string& name) override;
  bool SetPasswordHash(const std::string& name, const std::string& passwordHash) override;
  bool RemoveAccount(const std::string& name) override;
  int AccountCount() override;
  bool AddSession(const std::string& tokenHash, const TStoredSession& session, const std::string& passwordHash,
                  std::int64_t now, std::int64_t expiresAt) override;
  std::optional<TStoredSession> Session(const std::string& tokenHash, std::int64_t now) override;
  void EndSession(const std::string& tokenHash) override;

  int SchemaVersion();
  // A database file of an older schema, for the tests of the upgrade steps.
  static void CreateAtVersion(const std::string& path, int version);

private:
  std::int64_t StoreReport(const TReportFacts& facts, std::int64_t uploadId, const std::string& sender,
                           const std::string& now);
  std::vector<std::string> VersionsOf(std::int64_t groupId);
  void AddVersions(TGroupRow& group);

  sqlite3* FDb = nullptr;
  std::mutex FLock;  // one connection, used by one thread at a time
};

}  // namespace vm::server

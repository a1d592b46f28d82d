// IReportStore in a PostgreSQL database, which several server processes may share: unique
// keys and row locks in the database decide what is new, never the process. The schema
// carries its version in the table schema_version: a start upgrades an older schema step by
// step inside one transaction, a newer one is refused. Tests: tests/server/ReportStoreTest.cpp
// (the same cases as SQLite), tests/server/test_postgres.py (two processes, one database).
#pragma once

#include <condition_variable>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "server/ReportStore.h"

namespace vm::server {

class TPgConnection;

class TPostgresReportStore final : public IReportStore {
public:
  static constexpr int kSchemaVersion = 2;

  // `connection`: a postgresql:// URL or a libpq "key=value" string. Connects at once, so a
  // wrong address fails here; at most `connections` are open at a time. Throws EStoreError.
  explicit TPostgresReportStore(const std::string& connection, int connections = 16);
  ~TPostgresReportStore() override;
  TPostgresReportStore(const TPostgresReportStore&) = delete;
  TPostgresReportStore& operator=(const TPostgresReportStore&) = delete;

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

private:
  // A connection of the pool, handed back when the lease ends (or dropped when it broke).
  class TLease {
  public:
    TLease(TPostgresReportStore& store, std::unique_ptr<TPgConnection> c);
    ~TLease();
    TLease(TLease&&) = default;
    TPgConnection* operator->() const { return FConn.get(); }
    TPgConnection& operator*() const { return *FConn; }

  private:
    TPostgresReportStore* FStore;
    std::unique_ptr<TPgConnection> FConn;
  };
  TLease Take();
  void Upgrade(TPgConnection& c);
  // False when the report was stored by another process meanwhile.
  bool StoreReport(TPgConnection& c, const TReportFacts& facts, std::int64_t uploadId, const std::string& sender,
                   const std::string& now);

  const std::string FConnection;
  const int FMaxConnections;
  std::mutex FLock;
  std::condition_variable FReturned;
  std::vector<std::unique_ptr<TPgConnection>> FIdle;
  int FOpen = 0;
};

}  // namespace vm::server

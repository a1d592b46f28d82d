// A few RAII helpers over the SQLite C API, for SqliteReportStore and the copy to PostgreSQL.
#pragma once

#include <sqlite3.h>

#include <cstdint>
#include <string>

#include "server/ReportStore.h"

namespace vm::server::sqlite {

// A prepared statement that finalises itself; binds count from 1.
class TStatement {
public:
  TStatement(sqlite3* db, const char* sql) : FDb(db) {
    if (sqlite3_prepare_v2(db, sql, -1, &FStmt, nullptr) != SQLITE_OK) Fail();
  }
  ~TStatement() { sqlite3_finalize(FStmt); }
  TStatement(const TStatement&) = delete;
  TStatement& operator=(const TStatement&) = delete;

  TStatement& Bind(const std::string& text) {
    Check(sqlite3_bind_text(FStmt, ++FBound, text.data(), int(text.size()), SQLITE_TRANSIENT));
    return *this;
  }
  TStatement& BindBlob(const std::string& bytes) {
    Check(sqlite3_bind_blob(FStmt, ++FBound, bytes.data(), int(bytes.size()), SQLITE_TRANSIENT));
    return *this;
  }
  TStatement& Bind(std::int64_t value) {
    Check(sqlite3_bind_int64(FStmt, ++FBound, value));
    return *this;
  }
  // True while there is a row.
  bool Step() {
    int rc = sqlite3_step(FStmt);
    if (rc == SQLITE_ROW) return true;
    if (rc != SQLITE_DONE) Fail();
    return false;
  }
  std::int64_t Int(int col) { return sqlite3_column_int64(FStmt, col); }
  std::string Text(int col) {
    const void* p = sqlite3_column_blob(FStmt, col);
    return p ? std::string(static_cast<const char*>(p), size_t(sqlite3_column_bytes(FStmt, col))) : std::string();
  }

private:
  void Check(int rc) {
    if (rc != SQLITE_OK) Fail();
  }
  [[noreturn]] void Fail() { throw EStoreError(std::string("database: ") + sqlite3_errmsg(FDb)); }
  sqlite3* FDb;
  sqlite3_stmt* FStmt = nullptr;
  int FBound = 0;
};

inline void Exec(sqlite3* db, const char* sql) {
  char* error = nullptr;
  if (sqlite3_exec(db, sql, nullptr, nullptr, &error) != SQLITE_OK) {
    std::string message = error ? error : sqlite3_errmsg(db);
    sqlite3_free(error);
    throw EStoreError("database: " + message);
  }
}

// Rolls back unless committed: an upload is stored whole or not at all.
class TTransaction {
public:
  explicit TTransaction(sqlite3* db) : FDb(db) { Exec(db, "BEGIN IMMEDIATE"); }
  ~TTransaction() {
    if (!FDone) sqlite3_exec(FDb, "ROLLBACK", nullptr, nullptr, nullptr);
  }
  void Commit() {
    Exec(FDb, "COMMIT");
    FDone = true;
  }

private:
  sqlite3* FDb;
  bool FDone = false;
};

}  // namespace vm::server::sqlite

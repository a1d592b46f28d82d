// One libpq connection with prepared statements, for PostgresReportStore and the copy from
// SQLite. Parameters travel as raw bytes (binary format) and so do the results: report texts
// in the program's 8-bit code page reach bytea columns unchanged.
#pragma once

#include <chrono>
#include <cstdint>
#include <memory>
#include <random>
#include <string>
#include <thread>
#include <unordered_map>
#include <vector>

#include "server/ReportStore.h"

struct pg_conn;
struct pg_result;

namespace vm::server {

// A serialization failure or a deadlock: the database rolled the transaction back, and
// running it again is safe.
class EStoreRetry : public EStoreError {
public:
  using EStoreError::EStoreError;
};

// A parameter: a string goes as its bytes, a number as its decimal text.
struct TPgValue {
  TPgValue(const std::string& bytes) : Data(bytes), Binary(true) {}
  TPgValue(const char* text) : Data(text), Binary(true) {}
  TPgValue(std::int64_t number) : Data(std::to_string(number)), Binary(false) {}
  TPgValue(int number) : TPgValue(std::int64_t(number)) {}
  // Text in PostgreSQL's own notation, e.g. an array "{1,2,3}".
  static TPgValue Literal(std::string text) {
    TPgValue v(text);
    v.Binary = false;
    return v;
  }
  std::string Data;
  bool Binary;
};

// "$n", the n-th parameter of a statement.
inline std::string Placeholder(std::size_t n) {
  std::string p = "$";
  return p.append(std::to_string(n));
}

class TPgResult {
public:
  explicit TPgResult(pg_result* result) : FResult(result) {}
  int Rows() const;
  // Rows that an INSERT, UPDATE or DELETE touched.
  std::int64_t Affected() const;
  std::int64_t Int(int row, int col) const;  // bigint, integer, smallint or boolean
  std::string Text(int row, int col) const;  // the raw bytes of text or bytea

private:
  struct TFree {
    void operator()(pg_result* r) const;
  };
  std::unique_ptr<pg_result, TFree> FResult;
};

class TPgConnection {
public:
  // `connection`: a postgresql:// URL or "key=value ..." as libpq takes them. Throws EStoreError.
  explicit TPgConnection(const std::string& connection);
  ~TPgConnection();
  TPgConnection(const TPgConnection&) = delete;
  TPgConnection& operator=(const TPgConnection&) = delete;

  // One statement, prepared on first use on this connection. Throws EStoreRetry or EStoreError.
  TPgResult Run(const std::string& sql, const std::vector<TPgValue>& params = {});
  // Statements without parameters, several allowed (schema steps, BEGIN, COMMIT).
  void Exec(const std::string& sql);
  // Ends a failed transaction; quiet, as it runs while an error is on its way.
  void Rollback() noexcept;
  // After an error that closed the connection it cannot be used again.
  bool Broken() const;

private:
  TPgResult Checked(pg_result* result);
  pg_conn* FConn = nullptr;
  std::unordered_map<std::string, std::string> FPrepared;  // SQL -> statement name
};

// Runs `body(connection)` in a transaction and commits; rolls back on an exception. A
// transaction that the database gave up (EStoreRetry) runs again, a few times.
template <class TBody>
auto InTransaction(TPgConnection& c, TBody&& body, const char* begin = "BEGIN") {
  for (int attempt = 1;; ++attempt) {
    try {
      c.Exec(begin);
      auto result = body(c);
      c.Exec("COMMIT");
      return result;
    } catch (const EStoreRetry&) {
      c.Rollback();
      if (attempt == 20) throw;
      // Apart, so that the two that collided do not collide again at once.
      thread_local std::minstd_rand jitter(std::random_device{}());
      std::this_thread::sleep_for(std::chrono::milliseconds(attempt * (1 + jitter() % 8)));
    } catch (...) {
      c.Rollback();
      throw;
    }
  }
}

}  // namespace vm::server

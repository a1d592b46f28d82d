#include "server/PgConnection.h"

#include <endian.h>
#include <libpq-fe.h>

#include <cstring>
#include <vector>

namespace vm::server {
namespace {

// Type numbers of the results we read as numbers (pg_type.h).
constexpr Oid kBool = 16, kInt8 = 20, kInt2 = 21, kInt4 = 23;

std::string Message(pg_conn* conn) {
  std::string m = PQerrorMessage(conn);
  while (!m.empty() && (m.back() == '\n' || m.back() == ' ')) m.pop_back();
  return "database: " + m;
}

}  // namespace

void TPgResult::TFree::operator()(pg_result* r) const { PQclear(r); }

int TPgResult::Rows() const { return PQntuples(FResult.get()); }

std::int64_t TPgResult::Affected() const { return std::atoll(PQcmdTuples(FResult.get())); }

std::int64_t TPgResult::Int(int row, int col) const {
  const char* v = PQgetvalue(FResult.get(), row, col);
  switch (PQftype(FResult.get(), col)) {
    case kBool:
      return v[0] != 0;
    case kInt2: {
      std::uint16_t x;
      std::memcpy(&x, v, 2);
      return std::int16_t(be16toh(x));
    }
    case kInt4: {
      std::uint32_t x;
      std::memcpy(&x, v, 4);
      return std::int32_t(be32toh(x));
    }
    case kInt8: {
      std::uint64_t x;
      std::memcpy(&x, v, 8);
      return std::int64_t(be64toh(x));
    }
    default:
      throw EStoreError("database: column " + std::to_string(col) + " is not a number");
  }
}

std::string TPgResult::Text(int row, int col) const {
  return std::string(PQgetvalue(FResult.get(), row, col), size_t(PQgetlength(FResult.get(), row, col)));
}

TPgConnection::TPgConnection(const std::string& connection) : FConn(PQconnectdb(connection.c_str())) {
  if (PQstatus(FConn) != CONNECTION_OK) {
    const std::string why = FConn ? Message(FConn) : "database: out of memory";
    PQfinish(FConn);
    throw EStoreError(why);
  }
  // Notices (e.g. "relation already exists, skipping") are not for the server's log.
  PQsetNoticeProcessor(
      FConn, [](void*, const char*) {}, nullptr);
}

TPgConnection::~TPgConnection() { PQfinish(FConn); }

bool TPgConnection::Broken() const { return PQstatus(FConn) != CONNECTION_OK; }

TPgResult TPgConnection::Checked(pg_result* result) {
  TPgResult owned(result);
  const ExecStatusType status = PQresultStatus(result);
  if (status == PGRES_COMMAND_OK || status == PGRES_TUPLES_OK) return owned;
  const char* state = PQresultErrorField(result, PG_DIAG_SQLSTATE);
  const std::string why = result ? "database: " + std::string(PQresultErrorMessage(result)) : Message(FConn);
  // 40001 serialization failure, 40P01 deadlock: the database's own verdict, worth a retry.
  if (state && (std::strcmp(state, "40001") == 0 || std::strcmp(state, "40P01") == 0)) throw EStoreRetry(why);
  throw EStoreError(why.substr(0, why.find_last_not_of("\n ") + 1));
}

TPgResult TPgConnection::Run(const std::string& sql, const std::vector<TPgValue>& params) {
  auto known = FPrepared.find(sql);
  if (known == FPrepared.end()) {
    std::string name = "s";
    name += std::to_string(FPrepared.size());
    Checked(PQprepare(FConn, name.c_str(), sql.c_str(), int(params.size()), nullptr));
    known = FPrepared.emplace(sql, name).first;
  }
  std::vector<const char*> values;
  std::vector<int> lengths, formats;
  for (const TPgValue& p : params) {
    values.push_back(p.Data.data());
    lengths.push_back(int(p.Data.size()));
    formats.push_back(p.Binary ? 1 : 0);
  }
  return Checked(PQexecPrepared(FConn, known->second.c_str(), int(params.size()), values.data(), lengths.data(),
                                formats.data(), 1));
}

void TPgConnection::Exec(const std::string& sql) { Checked(PQexec(FConn, sql.c_str())); }

void TPgConnection::Rollback() noexcept {
  if (!Broken()) PQclear(PQexec(FConn, "ROLLBACK"));
}

}  // namespace vm::server

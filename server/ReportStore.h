// The server's storage, one narrow interface with two sides: SqliteReportStore (one file,
// the default) and PostgresReportStore (one database that several server processes share).
// Every call is safe from any thread. Tests: tests/server/ReportStoreTest.cpp runs one table
// of cases against each side.
#pragma once

#include <cstdint>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "server/Upload.h"

namespace vm::server {

class EStoreError : public std::runtime_error {
public:
  using std::runtime_error::runtime_error;
};

struct TStoreResult {
  int Stored = 0;      // reports new to the store
  int Duplicates = 0;  // reports that were stored before (a file sent again)
  std::int64_t LastReportId = 0;
};

struct TGroupRow {
  std::int64_t Id = 0;
  std::string ExceptionClass, ExceptionMessage, Executable;
  std::string FirstSeen, LastSeen;  // UTC, "YYYY-MM-DD HH:MM:SS"
  std::int64_t Reports = 0;         // occurrences, "count" lines credited
  std::int64_t Computers = 0;
  std::vector<std::string> Versions;
};

struct TReportRow {
  std::int64_t Id = 0, GroupId = 0;
  std::string ReceivedAt, DateTime, ComputerName, UserName, Version;
  std::string ExceptionClass, ExceptionMessage, ContactName, ContactEmail;
  int Count = 1;
  bool HasScreenshot = false;
  // Filled by Report() only.
  std::string Text, MailFrom, MailSubject, MailBody, MailAddr, RemoteAddress;
};

enum class TGroupOrder { LastSeen, Count };

struct TGroupQuery {
  TGroupOrder Order = TGroupOrder::LastSeen;
  std::string Search;  // over exception class and message; empty: all
  int Limit = 50, Offset = 0;
};

class IReportStore {
public:
  virtual ~IReportStore() = default;

  // Stores the upload whole in one transaction, or nothing (and throws).
  virtual TStoreResult StoreUpload(const TUpload& upload) = 0;

  virtual std::vector<TGroupRow> Groups(const TGroupQuery& query) = 0;
  virtual std::int64_t GroupCount(const std::string& search) = 0;
  virtual std::optional<TGroupRow> Group(std::int64_t id) = 0;
  virtual std::vector<TReportRow> ReportsOfGroup(std::int64_t groupId, int limit, int offset) = 0;
  virtual std::optional<TReportRow> Report(std::int64_t id) = 0;
  virtual std::optional<std::string> Screenshot(std::int64_t reportId) = 0;

  // Accounts of the developers who may read the reports; the hash is Passwords.h's.
  virtual bool AddAccount(const std::string& name, const std::string& passwordHash) = 0;
  virtual std::optional<std::string> PasswordHash(const std::string& name) = 0;
  virtual int AccountCount() = 0;

  // Login sessions live in the store, so that every server process on it knows them; they
  // are kept by the hash of their token, never the token. Times in seconds since 1970.
  // AddSession also forgets the sessions that expired by `now`.
  virtual void AddSession(const std::string& tokenHash, const std::string& account, std::int64_t now,
                          std::int64_t expiresAt) = 0;
  // The account of a session that has not expired by `now`.
  virtual std::optional<std::string> SessionAccount(const std::string& tokenHash, std::int64_t now) = 0;
  virtual void EndSession(const std::string& tokenHash) = 0;
};

}  // namespace vm::server

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

// Where a developer has put a group. A resolved group that receives a report from a version
// newer than ResolvedIn is open again and marked regressed.
enum class TGroupState { Open, Resolved, Ignored };

struct TGroupRow {
  std::int64_t Id = 0;
  std::string ExceptionClass, ExceptionMessage, Executable;
  std::string FirstSeen, LastSeen;  // UTC, "YYYY-MM-DD HH:MM:SS"
  // What the server itself received: reports stored, and the computers that sent them (the
  // computer of an upload is that of the report being sent, so one upload adds at most one).
  std::int64_t Reports = 0;
  std::int64_t Computers = 0;
  std::int64_t ClaimedCount = 0;          // occurrences the reports' "count" lines claim; shown, never ranked by
  std::vector<std::string> Versions;      // every version it occurs in, lowest first (CompareVersions)
  std::string FirstVersion, LastVersion;  // lowest and highest of Versions; empty when none
  TGroupState State = TGroupState::Open;
  bool Regressed = false;  // reopened by a report newer than ResolvedIn
  std::string ResolvedIn;  // the version a resolved (or regressed) group was resolved in
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

// By count ranks by computers, then reports (what the server received), never by the
// claimed count: one upload cannot lift a group above groups with more real senders.
enum class TGroupOrder { LastSeen, Count };

// Open includes the regressed groups; Regressed is only those.
enum class TStateFilter { Open, Regressed, Resolved, Ignored, All };

struct TGroupQuery {
  TGroupOrder Order = TGroupOrder::LastSeen;
  TStateFilter State = TStateFilter::Open;
  // Case-insensitive substring (ASCII) of the exception class or message, a report's text
  // (stack lines, computer name, contact address), the sender's address or message; empty: all.
  std::string Search;
  std::string Version;     // groups that occur in this version; empty: all
  std::string Executable;  // groups of this executable, letter case ignored; empty: all
  int Limit = 50, Offset = 0;
};

struct TStoredSession {
  std::string Account;
  std::string FormToken;  // in every form of the session; another site cannot read it
};

class IReportStore {
public:
  virtual ~IReportStore() = default;

  // Stores the upload whole in one transaction, or nothing (and throws). Reopens a resolved
  // group that receives a report from a newer version than it was resolved in.
  virtual TStoreResult StoreUpload(const TUpload& upload) = 0;

  virtual std::vector<TGroupRow> Groups(const TGroupQuery& query) = 0;
  // How many groups the query finds, ignoring its Limit and Offset.
  virtual std::int64_t GroupCount(const TGroupQuery& query) = 0;
  virtual std::optional<TGroupRow> Group(std::int64_t id) = 0;
  virtual std::vector<TReportRow> ReportsOfGroup(std::int64_t groupId, int limit, int offset) = 0;
  virtual std::optional<TReportRow> Report(std::int64_t id) = 0;
  virtual std::optional<std::string> Screenshot(std::int64_t reportId) = 0;

  // Triage. `resolvedIn` is kept for Resolved only (the caller picks the version); every
  // change clears the regressed mark. False when there is no such group.
  virtual bool SetGroupState(std::int64_t id, TGroupState state, const std::string& resolvedIn) = 0;
  // Removes the group with its reports, their screenshots and the uploads left empty.
  virtual bool DeleteGroup(std::int64_t id) = 0;

  // Accounts of the developers who may read the reports; the hash is Passwords.h's.
  virtual bool AddAccount(const std::string& name, const std::string& passwordHash) = 0;
  virtual std::optional<std::string> PasswordHash(const std::string& name) = 0;
  // False when there is no such account. Both end the account's sessions.
  virtual bool SetPasswordHash(const std::string& name, const std::string& passwordHash) = 0;
  virtual bool RemoveAccount(const std::string& name) = 0;
  virtual int AccountCount() = 0;

  // Login sessions live in the store, so that every server process on it knows them; they
  // are kept by the hash of their token, never the token. Times in seconds since 1970.
  // Adds a session while the account's password hash is still `passwordHash` (false when it
  // changed or the account went meanwhile), and forgets the sessions expired by `now`.
  virtual bool AddSession(const std::string& tokenHash, const TStoredSession& session, const std::string& passwordHash,
                          std::int64_t now, std::int64_t expiresAt) = 0;
  // A session that has not expired by `now`.
  virtual std::optional<TStoredSession> Session(const std::string& tokenHash, std::int64_t now) = 0;
  virtual void EndSession(const std::string& tokenHash) = 0;
};

}  // namespace vm::server

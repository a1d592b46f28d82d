// Moving over: copies the SQLite database of a server into a PostgreSQL one. Entry point:
// CopySqliteToPostgres. Tests: tests/server/StoreCopyTest.cpp.
#pragma once

#include <cstdint>
#include <string>

namespace vm::server {

struct TCopyCounts {
  std::int64_t Uploads = 0, Reports = 0, Screenshots = 0, Groups = 0, Accounts = 0;
  // Found in the target already (a second run, or reports that reached both servers).
  std::int64_t KnownReports = 0, KnownGroups = 0, KnownAccounts = 0;
};

// Copies reports with their uploads and screenshots, groups with their triage states, and
// accounts, in one transaction: all or nothing. What the target holds already (the same
// report digest, group key or account name) is left as it is, so a second run copies nothing
// twice. Into an empty target the numbers of reports and groups stay what they were, and
// links to them keep working. Throws EStoreError.
TCopyCounts CopySqliteToPostgres(const std::string& sqlitePath, const std::string& connection);

// "copied 3 uploads, 4 reports (1 with a screenshot), 2 groups, 1 account; already there: ..."
std::string DescribeCopy(const TCopyCounts& counts);

}  // namespace vm::server

// reportserver: receives Veilmark's bug reports and shows them to its developers.
//   reportserver --data DIR [--host 127.0.0.1] [--port 8080] [--thank-you /thanks]
//                [--first-account NAME] [--max-upload BYTES]
//                [--upload-burst N] [--uploads-per-second R] [--read-timeout S]
//                [--request-timeout S] [--max-connections-per-address N] [--max-buffered BYTES]
//                [--trusted-proxy ADDR]...
//   reportserver --data DIR --add-account NAME | --remove-account NAME | --reset-password NAME
//   --database postgresql://... in place of --data DIR: the database that several servers share
//   reportserver --data DIR --copy-to postgresql://...   (moves a server over, then exits)
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <iostream>
#include <string>

#include "server/Passwords.h"
#include "server/PostgresReportStore.h"
#include "server/ReportServer.h"
#include "server/RequestFraming.h"
#include "server/SqliteReportStore.h"
#include "server/StoreCopy.h"

namespace {

vm::server::TReportServer* GServer = nullptr;

void OnSignal(int) {
  if (GServer) GServer->Stop();
}

int Usage(const char* why) {
  std::fprintf(stderr,
               "reportserver: %s\n"
               "usage: reportserver --data DIR [--host ADDR] [--port N] [--thank-you PATH|URL]\n"
               "                    [--first-account NAME] [--max-upload BYTES]\n"
               "                    [--upload-burst N] [--uploads-per-second R] [--read-timeout S]\n"
               "                    [--request-timeout S] [--max-connections-per-address N]\n"
               "                    [--max-buffered BYTES] [--trusted-proxy ADDR]...\n"
               "       reportserver --data DIR --add-account NAME | --remove-account NAME | --reset-password NAME\n"
               "       (--database postgresql://... in place of --data DIR: a database that several servers share)\n"
               "       reportserver --data DIR --copy-to postgresql://...\n",
               why);
  return 2;
}

// Creates an account with a new random password and prints it once; the password exists
// nowhere else.
bool CreateAccount(vm::server::IReportStore& store, const std::string& name) {
  const std::string password = vm::server::RandomToken(9);
  if (!store.AddAccount(name, vm::server::HashPassword(password))) {
    std::fprintf(stderr, "reportserver: the account \"%s\" exists already\n", name.c_str());
    return false;
  }
  std::printf("account \"%s\" created, password: %s\n", name.c_str(), password.c_str());
  std::fflush(stdout);
  return true;
}

// The account commands of the command line; each says what it did. A running server ends
// the sessions of a removed account or a reset password at their next page.
int AccountCommand(vm::server::IReportStore& store, const std::string& command, const std::string& name) {
  if (command == "--add-account") return CreateAccount(store, name) ? 0 : 1;
  if (!store.PasswordHash(name)) {
    std::fprintf(stderr, "reportserver: there is no account \"%s\"\n", name.c_str());
    return 1;
  }
  if (command == "--remove-account") {
    store.RemoveAccount(name);
    std::printf("account \"%s\" removed; %d account(s) left\n", name.c_str(), store.AccountCount());
  } else {
    const std::string password = vm::server::RandomToken(9);
    store.SetPasswordHash(name, vm::server::HashPassword(password));
    std::printf("password of \"%s\" reset, new password: %s\n", name.c_str(), password.c_str());
  }
  std::fflush(stdout);
  return 0;
}

// SQLite in DIR unless a PostgreSQL database is named (a URL or libpq's "key=value" text).
std::unique_ptr<vm::server::IReportStore> OpenStore(const std::string& data, const std::string& database) {
  if (!database.empty()) return std::make_unique<vm::server::TPostgresReportStore>(database);
  std::filesystem::create_directories(data);
  return std::make_unique<vm::server::TSqliteReportStore>((std::filesystem::path(data) / "reports.sqlite").string());
}

}  // namespace

int main(int argc, char** argv) {
  vm::server::TServerSettings settings;
  std::string data, database, copyTo, firstAccount, accountCommand, accountName;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    if (i + 1 >= argc) return Usage(("missing value after " + arg).c_str());
    const std::string value = argv[++i];
    try {
      if (arg == "--data")
        data = value;
      else if (arg == "--database")
        database = value;
      else if (arg == "--copy-to")
        copyTo = value;
      else if (arg == "--host")
        settings.Host = value;
      else if (arg == "--port")
        settings.Port = std::stoi(value);
      else if (arg == "--thank-you")
        settings.ThankYou = value;
      else if (arg == "--first-account")
        firstAccount = value;
      else if (arg == "--add-account" || arg == "--remove-account" || arg == "--reset-password") {
        if (!accountCommand.empty()) return Usage("one account command at a time");
        accountCommand = arg;
        accountName = value;
      } else if (arg == "--max-upload")
        settings.MaxUploadBytes = std::stoul(value);
      else if (arg == "--upload-burst")
        settings.UploadBurst = std::stod(value);
      else if (arg == "--uploads-per-second")
        settings.UploadsPerSecond = std::stod(value);
      else if (arg == "--read-timeout")
        settings.ReadTimeoutSeconds = std::stoi(value);
      else if (arg == "--request-timeout")
        settings.RequestSeconds = std::stoi(value);
      else if (arg == "--max-connections-per-address")
        settings.MaxConnectionsPerAddress = std::stoi(value);
      else if (arg == "--max-buffered")
        settings.MaxBufferedBytes = std::stoul(value);
      else if (arg == "--trusted-proxy") {
        auto address = vm::server::CanonicalAddress(value);
        if (!address) return Usage(("--trusted-proxy takes an IP address, not " + value).c_str());
        settings.TrustedProxies.push_back(*address);
      } else
        return Usage(("unknown option " + arg).c_str());
    } catch (const std::exception&) {
      return Usage(("bad value for " + arg).c_str());
    }
  }
  if (settings.ReadTimeoutSeconds < 1 || settings.RequestSeconds < 1 || settings.MaxConnectionsPerAddress < 1)
    return Usage("--read-timeout, --request-timeout and --max-connections-per-address take 1 or more");
  if (data.empty() == database.empty())
    return Usage("either --data DIR (an SQLite database in that folder) or --database postgresql://... is needed");
  if (!copyTo.empty() && data.empty()) return Usage("--copy-to copies the SQLite database of --data DIR");
  const std::string& t = settings.ThankYou;
  if (!t.empty() && t[0] != '/' && t.rfind("http://", 0) != 0 && t.rfind("https://", 0) != 0)
    return Usage("--thank-you takes a path (/thanks) or an http(s) address");

  try {
    if (!copyTo.empty()) {
      const auto copied =
          vm::server::CopySqliteToPostgres((std::filesystem::path(data) / "reports.sqlite").string(), copyTo);
      std::printf("%s\n", vm::server::DescribeCopy(copied).c_str());
      return 0;
    }
    const auto opened = OpenStore(data, database);
    vm::server::IReportStore& store = *opened;
    if (!accountCommand.empty()) return AccountCommand(store, accountCommand, accountName);
    // Servers that start together on one database: one of them makes the first account.
    if (!firstAccount.empty() && store.AccountCount() == 0 && !CreateAccount(store, firstAccount) &&
        store.AccountCount() == 0)
      return 1;
    if (store.AccountCount() == 0)
      std::fprintf(stderr, "reportserver: no account yet; start once with --first-account NAME to read the reports\n");

    vm::server::TReportServer server(store, settings);
    const int port = server.Bind();
    if (port < 0) {
      std::fprintf(stderr, "reportserver: cannot listen on %s:%d\n", settings.Host.c_str(), settings.Port);
      return 1;
    }
    GServer = &server;
    std::signal(SIGINT, OnSignal);
    std::signal(SIGTERM, OnSignal);
    std::printf("listening on http://%s:%d/\n", settings.Host.c_str(), port);
    std::fflush(stdout);
    const bool ok = server.Run();
    GServer = nullptr;
    return ok ? 0 : 1;
  } catch (const std::exception& e) {
    std::fprintf(stderr, "reportserver: %s\n", e.what());
    return 1;
  }
}

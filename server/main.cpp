// reportserver: receives Veilmark's bug reports and shows them to its developers.
//   reportserver --data DIR [--host 127.0.0.1] [--port 8080] [--thank-you /thanks]
//                [--first-account NAME] [--add-account NAME] [--max-upload BYTES]
//                [--upload-burst N] [--uploads-per-second R] [--read-timeout S]
//                [--request-timeout S] [--max-connections-per-address N] [--max-buffered BYTES]
//                [--trusted-proxy ADDR]...
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <iostream>
#include <string>

#include "server/Passwords.h"
#include "server/RequestFraming.h"
#include "server/ReportServer.h"
#include "server/SqliteReportStore.h"

namespace {

vm::server::TReportServer* GServer = nullptr;

void OnSignal(int) {
  if (GServer) GServer->Stop();
}

int Usage(const char* why) {
  std::fprintf(stderr,
               "reportserver: %s\n"
               "usage: reportserver --data DIR [--host ADDR] [--port N] [--thank-you PATH|URL]\n"
               "                    [--first-account NAME] [--add-account NAME] [--max-upload BYTES]\n"
               "                    [--upload-burst N] [--uploads-per-second R] [--read-timeout S]\n"
               "                    [--request-timeout S] [--max-connections-per-address N]\n"
               "                    [--max-buffered BYTES] [--trusted-proxy ADDR]...\n",
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

}  // namespace

int main(int argc, char** argv) {
  vm::server::TServerSettings settings;
  std::string data, firstAccount, addAccount;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    if (i + 1 >= argc) return Usage(("missing value after " + arg).c_str());
    const std::string value = argv[++i];
    try {
      if (arg == "--data") data = value;
      else if (arg == "--host") settings.Host = value;
      else if (arg == "--port") settings.Port = std::stoi(value);
      else if (arg == "--thank-you") settings.ThankYou = value;
      else if (arg == "--first-account") firstAccount = value;
      else if (arg == "--add-account") addAccount = value;
      else if (arg == "--max-upload") settings.MaxUploadBytes = std::stoul(value);
      else if (arg == "--upload-burst") settings.UploadBurst = std::stod(value);
      else if (arg == "--uploads-per-second") settings.UploadsPerSecond = std::stod(value);
      else if (arg == "--read-timeout") settings.ReadTimeoutSeconds = std::stoi(value);
      else if (arg == "--request-timeout") settings.RequestSeconds = std::stoi(value);
      else if (arg == "--max-connections-per-address") settings.MaxConnectionsPerAddress = std::stoi(value);
      else if (arg == "--max-buffered") settings.MaxBufferedBytes = std::stoul(value);
      else if (arg == "--trusted-proxy") {
        auto address = vm::server::CanonicalAddress(value);
        if (!address) return Usage(("--trusted-proxy takes an IP address, not " + value).c_str());
        settings.TrustedProxies.push_back(*address);
      }
      else return Usage(("unknown option " + arg).c_str());
    } catch (const std::exception&) {
      return Usage(("bad value for " + arg).c_str());
    }
  }
  if (settings.ReadTimeoutSeconds < 1 || settings.RequestSeconds < 1 || settings.MaxConnectionsPerAddress < 1)
    return Usage("--read-timeout, --request-timeout and --max-connections-per-address take 1 or more");
  if (data.empty()) return Usage("--data DIR is needed (the folder of the database)");
  const std::string& t = settings.ThankYou;
  if (!t.empty() && t[0] != '/' && t.rfind("http://", 0) != 0 && t.rfind("https://", 0) != 0)
    return Usage("--thank-you takes a path (/thanks) or an http(s) address");

  try {
    std::filesystem::create_directories(data);
    vm::server::TSqliteReportStore store((std::filesystem::path(data) / "reports.sqlite").string());
    if (!addAccount.empty()) return CreateAccount(store, addAccount) ? 0 : 1;
    if (!firstAccount.empty() && store.AccountCount() == 0 && !CreateAccount(store, firstAccount)) return 1;
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

// Debian's PostgreSQL, started once per test program (or benchmark) through tools/pg-sandbox
// and stopped at its exit; the script's watcher stops it too when the program dies.
#pragma once

#include <unistd.h>

#include <array>
#include <cstdio>
#include <filesystem>
#include <string>

namespace vm::server::test {

class TPgSandbox {
public:
  // The one server of this process, started on first use.
  static TPgSandbox& Get() {
    static TPgSandbox sandbox;
    return sandbox;
  }
  // Empty when there is no server; then Why() says what is missing.
  const std::string& Connection() const { return FConnection; }
  const std::string& Why() const { return FWhy; }
  // A connection string whose tables go into the schema `name` (made with CREATE SCHEMA):
  // cheaper than a database of its own for each test.
  std::string Schema(const std::string& name) const { return FConnection + " options='-c search_path=" + name + "'"; }

  ~TPgSandbox() {
    if (!FConnection.empty()) std::system((std::string(VM_PG_SANDBOX) + " stop " + FFolder).c_str());
  }

private:
  TPgSandbox() {
    char folder[] = "/tmp/pgsandbox-XXXXXX";
    if (!mkdtemp(folder)) {
      FWhy = "cannot make a temporary folder";
      return;
    }
    FFolder = folder;
    const std::string command =
        std::string(VM_PG_SANDBOX) + " start " + FFolder + " " + std::to_string(getpid()) + " 2>&1";
    FILE* p = popen(command.c_str(), "r");
    std::string out;
    std::array<char, 512> buf;
    while (p && std::fgets(buf.data(), int(buf.size()), p)) out += buf.data();
    const int status = p ? pclose(p) : -1;
    while (!out.empty() && out.back() == '\n') out.pop_back();
    if (status == 0) {
      FConnection = out.substr(out.rfind('\n') + 1);
    } else {
      FWhy = out.empty() ? "tools/pg-sandbox failed" : out;
      std::filesystem::remove_all(FFolder);
    }
  }
  std::string FFolder, FConnection, FWhy;
};

}  // namespace vm::server::test

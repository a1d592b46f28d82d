#include "tests/crashreport/common/TestServer.h"

#include <gtest/gtest.h>

#include <fstream>
#include <sstream>

#include "base/FileIO.h"

namespace vm::test {

// The platform files give this.
void StartPython(const std::string& script, const std::vector<std::string>& args);

namespace {

std::optional<std::string> Slurp(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return std::nullopt;
  std::ostringstream s;
  s << in.rdbuf();
  return s.str();
}

}  // namespace

TTestServer::TTestServer(const std::string& script, const std::vector<std::string>& args) {
  FFolder = NewServerFolder(FUnixFolder);
  std::vector<std::string> all = {"--dir", FUnixFolder};
  all.insert(all.end(), args.begin(), args.end());
  StartPython(std::string(VM_TEST_SERVERS) + "/" + script, all);
  // Python starts in well under a second; a loaded machine gets ten.
  auto port = Read("port", 10000);
  if (!port) ADD_FAILURE() << script << " did not start";
  FPort = port ? std::stoi(*port) : 0;
}

TTestServer::~TTestServer() {
  std::ofstream(File("stop")).put('\n');
  Read("stopped", 3000);
  RemoveServerFolder(FFolder);
}

std::optional<std::string> TTestServer::Read(const std::string& name, int waitMs) const {
  for (int waited = 0;; waited += 20) {
    if (FileSizeOf(File(name))) return Slurp(File(name));
    if (waited >= waitMs) return std::nullopt;
    SleepMs(20);
  }
}

}  // namespace vm::test

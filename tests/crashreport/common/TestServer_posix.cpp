#include <arpa/inet.h>
#include <netinet/in.h>
#include <signal.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <thread>

#include "tests/crashreport/common/TestServer.h"

extern char** environ;

namespace vm::test {

std::string NewServerFolder(std::string& unixFolder) {
  char templ[] = "/tmp/vm-delivery-XXXXXX";
  unixFolder = ::mkdtemp(templ);
  unixFolder += "/";
  return unixFolder;
}

void StartPython(const std::string& script, const std::vector<std::string>& args) {
  // Reaped by the system: the server ends on its own when told to stop.
  static bool ignored = (::signal(SIGCHLD, SIG_IGN), true);
  (void)ignored;
  // The system's own Python starts in a fraction of the time a version manager's shim takes.
  const char* python = ::access("/usr/bin/python3", X_OK) == 0 ? "/usr/bin/python3" : "python3";
  std::vector<std::string> all = {python, script};
  all.insert(all.end(), args.begin(), args.end());
  std::vector<char*> argv;
  for (auto& a : all) argv.push_back(a.data());
  argv.push_back(nullptr);
  pid_t pid;
  ::posix_spawnp(&pid, python, nullptr, nullptr, argv.data(), environ);
}

void RemoveServerFolder(const std::string& folder) {
  std::error_code ignored;
  std::filesystem::remove_all(folder, ignored);
}

int RefusedPort() {
  int fd = ::socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  ::bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a);
  socklen_t len = sizeof a;
  ::getsockname(fd, reinterpret_cast<sockaddr*>(&a), &len);
  ::close(fd);
  return ntohs(a.sin_port);
}

void SleepMs(int ms) { std::this_thread::sleep_for(std::chrono::milliseconds(ms)); }

}  // namespace vm::test

namespace vm::test {
void MakeReadOnly(const std::string& path) { ::chmod(path.c_str(), 0444); }
}  // namespace vm::test

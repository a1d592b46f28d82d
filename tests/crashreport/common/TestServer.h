// A test server of tests/crashreport/common/servers, started on 127.0.0.1 for one test and
// stopped by it. The server and the test meet in a fresh folder (see serverbase.py): the
// port, the received requests and the stop signal are files there.
// TestServer_posix.cpp starts Python with posix_spawn; TestServer_win32.cpp starts the same
// Unix Python from inside Wine, which can start it but not wait on it.
#pragma once

#include <optional>
#include <string>
#include <vector>

namespace vm::test {

class TTestServer {
public:
  // `script` is a file name in tests/crashreport/common/servers; `args` follow --dir.
  TTestServer(const std::string& script, const std::vector<std::string>& args = {});
  ~TTestServer();
  TTestServer(const TTestServer&) = delete;
  TTestServer& operator=(const TTestServer&) = delete;

  int Port() const { return FPort; }
  // The path of a file the server wrote, as this process opens it.
  std::string File(const std::string& name) const { return FFolder + name; }
  // Its bytes, waiting up to `waitMs` for it to appear; nothing when it never came.
  std::optional<std::string> Read(const std::string& name, int waitMs = 3000) const;

private:
  std::string FFolder;      // as this process sees it, with a trailing separator
  std::string FUnixFolder;  // as the server sees it
  int FPort = 0;
};

// A fresh folder that the servers see too: its path here, and as `unixFolder` for them; and
// its removal with the files in it.
std::string NewServerFolder(std::string& unixFolder);
void RemoveServerFolder(const std::string& folder);

// A port on 127.0.0.1 where nobody listens (bound, then released).
int RefusedPort();
void MakeReadOnly(const std::string& path);
// Milliseconds slept, for the servers' polling.
void SleepMs(int ms);

}  // namespace vm::test

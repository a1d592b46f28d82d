// The HTTP service: uploads at "POST /submit.php" (no login), the developers' pages behind a
// login. Entry point: TReportServer. Tests: tests/server/test_receiving.py, test_pages.py,
// test_intake.py.
#pragma once

#include <chrono>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "server/RateLimiter.h"
#include "server/ReportStore.h"

namespace httplib {
class Server;
struct Request;
struct Response;
}  // namespace httplib

namespace vm::server {

class THttpIntake;

struct TServerSettings {
  std::string Host = "127.0.0.1";
  int Port = 8080;  // 0: any free port
  // Where the sender's browser goes after an upload: empty answers 200; a path ("/thanks")
  // is made absolute with the Host the sender named; a full http(s) URL is used as it is.
  std::string ThankYou;
  std::size_t MaxUploadBytes = 16u << 20;
  int ReadTimeoutSeconds = 5;  // a client that sends nothing for this long is cut off
  int RequestSeconds = 30;     // a request must arrive whole within this (plus time for its body)
  int MaxConnectionsPerAddress = 32;
  std::size_t MaxBufferedBytes = std::size_t(512) << 20;  // requests in memory, all together
  // Proxies whose X-Forwarded-For and X-Forwarded-Proto are believed.
  std::vector<std::string> TrustedProxies;
  double UploadBurst = 30, UploadsPerSecond = 1;  // per sender address; rate 0: no limit
  int Threads = 32;
  int SessionHours = 12;
  bool LogUploads = true;  // one line per upload on stderr
};

class TReportServer {
public:
  TReportServer(IReportStore& store, TServerSettings settings);
  ~TReportServer();

  // Binds the socket; returns the port, or -1 when it cannot.
  int Bind();
  // Serves until Stop(); returns false when the socket failed.
  bool Run();
  // May be called from a signal handler.
  void Stop();

private:
  void Routes();
  void Submit(const httplib::Request& req, httplib::Response& res);
  void Login(const httplib::Request& req, httplib::Response& res);
  void Logout(const httplib::Request& req, httplib::Response& res);
  // The logged-in account, or nothing after sending the browser to the login page.
  std::optional<std::string> Account(const httplib::Request& req, httplib::Response& res);
  std::string ThankYouLocation(const httplib::Request& req) const;

  IReportStore& FStore;
  TServerSettings FSettings;
  // The routes listen on loopback behind the intake, which alone faces the network; the
  // key tells the intake's requests from anyone else's.
  std::unique_ptr<httplib::Server> FHttp;
  std::unique_ptr<THttpIntake> FIntake;
  const std::string FIntakeKey;
  TRateLimiter FUploadLimit;
  // Wrong passwords per sender address and per account (see Login).
  TRateLimiter FLoginFailures;
  TRateLimiter FAccountFailures;
  TRateLimiter FFailedLately;

  struct TSession {
    std::string Account;
    std::chrono::steady_clock::time_point Expires;
  };
  std::mutex FSessionLock;
  std::map<std::string, TSession> FSessions;
};

}  // namespace vm::server

// The intake: the only door from the network. One thread waits on every connection (epoll)
// and reads each request whole, under its deadline and the size limit, before the routes'
// thread pool sees it; a client that trickles holds a few bytes of memory, never a thread.
// Complete requests go over loopback to the routes (at most `MaxInFlight` at once), their
// answers back to the client under a deadline of their own. Every answer closes the
// connection. Entry point: THttpIntake. Tests: tests/server/test_intake.py.
#pragma once

#include <chrono>
#include <cstddef>
#include <deque>
#include <map>
#include <memory>
#include <string>
#include <vector>

namespace vm::server {

struct TIntakeSettings {
  std::string Host = "127.0.0.1";
  int Port = 8080;  // 0: any free port
  std::size_t MaxBodyBytes = 16u << 20;
  int RequestSeconds = 30;  // a request must arrive whole within this, plus its body's allowance
  int IdleSeconds = 5;      // and never fall silent for longer than this
  // The body's allowance: the deadline moves on by one second for each this many bytes
  // received, so a large upload on a slow line gets through and a trickle does not.
  std::size_t AllowanceBytesPerSecond = 32 * 1024;
  int MaxPerAddress = 32;  // open connections per sender address (trusted proxies: no limit)
  int MaxConnections = 4000;
  int MaxInFlight = 32;  // requests the routes work on at once; more wait here
  // Request bytes all connections together may hold in memory; past it, a request that
  // still arrives is refused (503) rather than letting many large uploads exhaust memory.
  std::size_t MaxBufferedBytes = std::size_t(512) << 20;
  std::vector<std::string> TrustedProxies;
};

class THttpIntake {
public:
  // `upstreamPort`: where the routes listen on 127.0.0.1; `key` goes with every request to
  // them, so that they can tell ours from any other.
  THttpIntake(TIntakeSettings settings, int upstreamPort, std::string key);
  ~THttpIntake();

  // Binds the public socket; returns the port, or -1.
  int Bind();
  // Serves until Stop(); false when the socket failed.
  bool Run();
  // May be called from a signal handler.
  void Stop();

private:
  struct TConnection;
  using TClock = std::chrono::steady_clock;

  void Accept();
  void OnClient(TConnection& c, unsigned events);
  void OnUpstream(TConnection& c, unsigned events);
  void ReadRequest(TConnection& c);
  void TakeRequest(TConnection& c);
  void Complete(TConnection& c);
  void Answer(TConnection& c, int status, const std::string& why);
  void Dispatch();
  void Finish(TConnection& c);
  void Watch(TConnection& c);
  void ExpireDeadlines();
  void Close(TConnection& c);
  void Hold(TConnection& c);

  TIntakeSettings FSettings;
  int FUpstreamPort;
  std::string FKey;
  int FListen = -1, FEpoll = -1, FWake = -1;
  std::map<int, std::unique_ptr<TConnection>> FConnections;  // by client socket
  std::map<int, TConnection*> FByUpstream;
  std::map<std::string, int> FPerAddress;
  std::deque<int> FWaiting;  // complete requests, by client socket, oldest first
  int FInFlight = 0;
  std::size_t FHeld = 0;  // request bytes in memory, all connections together
  TClock::time_point FLastSweep{};
};

}  // namespace vm::server

// Uploads per sender address: a token bucket each, so that a burst from one address is cut
// off while every other address goes on being served. Tests: tests/server/ServerLogicTest.cpp.
#pragma once

#include <chrono>
#include <map>
#include <mutex>
#include <string>

namespace vm::server {

class TRateLimiter {
public:
  using TClock = std::chrono::steady_clock;
  // `burst` uploads at once, then one every `1 / perSecond` seconds. perSecond 0: no limit.
  TRateLimiter(double burst, double perSecond) : FBurst(burst), FRate(perSecond) {}

  // Takes one token for `address`; false when its bucket is empty.
  bool Allow(const std::string& address, TClock::time_point now = TClock::now());
  // The tokens `address` has now, without taking one (the burst for an address never seen).
  double Tokens(const std::string& address, TClock::time_point now = TClock::now());
  // Seconds until `address` has a token again (at least 1).
  int RetryAfter(const std::string& address, TClock::time_point now = TClock::now());

private:
  struct TBucket {
    double Tokens;
    TClock::time_point Updated;
  };
  TBucket& Refilled(const std::string& address, TClock::time_point now);
  void ForgetFull(TClock::time_point now);

  double FBurst, FRate;
  std::mutex FLock;
  std::map<std::string, TBucket> FBuckets;
  TClock::time_point FLastSweep{};
};

}  // namespace vm::server

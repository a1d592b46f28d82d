#include "server/RateLimiter.h"

#include <algorithm>
#include <cmath>

namespace vm::server {

TRateLimiter::TBucket& TRateLimiter::Refilled(const std::string& address, TClock::time_point now) {
  auto [it, fresh] = FBuckets.try_emplace(address, TBucket{FBurst, now});
  TBucket& b = it->second;
  if (!fresh) {
    const double seconds = std::chrono::duration<double>(now - b.Updated).count();
    b.Tokens = std::min(FBurst, b.Tokens + std::max(0.0, seconds) * FRate);
    b.Updated = now;
  }
  return b;
}

// A full bucket says nothing that a new one would not: dropping them keeps the table as
// small as the set of addresses sending right now.
void TRateLimiter::ForgetFull(TClock::time_point now) {
  if (now - FLastSweep < std::chrono::seconds(60)) return;
  FLastSweep = now;
  for (auto it = FBuckets.begin(); it != FBuckets.end();) {
    const double seconds = std::chrono::duration<double>(now - it->second.Updated).count();
    it = it->second.Tokens + seconds * FRate >= FBurst ? FBuckets.erase(it) : std::next(it);
  }
}

bool TRateLimiter::Allow(const std::string& address, TClock::time_point now) {
  if (FRate <= 0) return true;
  std::lock_guard lock(FLock);
  ForgetFull(now);
  TBucket& b = Refilled(address, now);
  if (b.Tokens < 1) return false;
  b.Tokens -= 1;
  return true;
}

double TRateLimiter::Tokens(const std::string& address, TClock::time_point now) {
  if (FRate <= 0) return FBurst;
  std::lock_guard lock(FLock);
  auto it = FBuckets.find(address);
  return it == FBuckets.end() ? FBurst : Refilled(address, now).Tokens;
}

int TRateLimiter::RetryAfter(const std::string& address, TClock::time_point now) {
  if (FRate <= 0) return 1;
  std::lock_guard lock(FLock);
  const TBucket& b = Refilled(address, now);
  return std::max(1, int(std::ceil((1 - b.Tokens) / FRate)));
}

}  // namespace vm::server

// The rate limiter, password hashes and HTML escaping.
#include <gtest/gtest.h>

#include "server/Pages.h"
#include "server/Passwords.h"
#include "server/RateLimiter.h"

namespace vm::server {
namespace {

TEST(RateLimiter, ABurstIsCutOffPerAddressAndRefills) {
  TRateLimiter limiter(3, 0.5);
  const auto t0 = TRateLimiter::TClock::now();
  for (int i = 0; i < 3; ++i) EXPECT_TRUE(limiter.Allow("10.0.0.1", t0));
  EXPECT_FALSE(limiter.Allow("10.0.0.1", t0));
  EXPECT_EQ(limiter.RetryAfter("10.0.0.1", t0), 2);
  EXPECT_TRUE(limiter.Allow("10.0.0.2", t0));  // others are not held up
  EXPECT_DOUBLE_EQ(limiter.Tokens("10.0.0.2", t0), 2);  // looking takes nothing
  EXPECT_DOUBLE_EQ(limiter.Tokens("10.0.0.3", t0), 3);  // nor makes a bucket for a stranger
  EXPECT_FALSE(limiter.Allow("10.0.0.1", t0 + std::chrono::milliseconds(1500)));
  EXPECT_TRUE(limiter.Allow("10.0.0.1", t0 + std::chrono::milliseconds(2100)));
  // Never more than the burst, however long the pause.
  const auto later = t0 + std::chrono::hours(5);
  for (int i = 0; i < 3; ++i) EXPECT_TRUE(limiter.Allow("10.0.0.1", later));
  EXPECT_FALSE(limiter.Allow("10.0.0.1", later));
}

TEST(Passwords, SaltedSlowHashesVerifyOnlyTheirPassword) {
  const std::string a = HashPassword("correct horse"), b = HashPassword("correct horse");
  EXPECT_EQ(a.rfind("$y$", 0), 0u);
  EXPECT_NE(a, b);  // salted
  EXPECT_TRUE(VerifyPassword("correct horse", a));
  EXPECT_TRUE(VerifyPassword("correct horse", b));
  EXPECT_FALSE(VerifyPassword("correct horsf", a));
  EXPECT_FALSE(VerifyPassword("", a));
  EXPECT_FALSE(VerifyPassword("correct horse", "not a hash"));
  EXPECT_EQ(RandomToken(32).size(), 64u);
  EXPECT_NE(RandomToken(16), RandomToken(16));
}

TEST(Pages, EscapingKeepsMarkupAndOddBytesAsText) {
  EXPECT_EQ(HtmlEscape("<a href=\"x\">&'"), "&lt;a href=&quot;x&quot;&gt;&amp;&#39;");
  // A byte of the program's code page that is no UTF-8 shows as its Latin-1 letter.
  EXPECT_EQ(HtmlEscape("M\xfcller"), "M\xc3\xbcller");
  EXPECT_EQ(HtmlEscape("M\xc3\xbcller"), "M\xc3\xbcller");
}

}  // namespace
}  // namespace vm::server

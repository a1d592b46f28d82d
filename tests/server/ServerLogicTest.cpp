// The rate limiter, password hashes, HTML escaping and the order of versions.
#include <gtest/gtest.h>

#include "server/Pages.h"
#include "server/Passwords.h"
#include "server/RateLimiter.h"
#include "server/Versions.h"

namespace vm::server {
namespace {

TEST(RateLimiter, ABurstIsCutOffPerAddressAndRefills) {
  TRateLimiter limiter(3, 0.5);
  const auto t0 = TRateLimiter::TClock::now();
  for (int i = 0; i < 3; ++i) EXPECT_TRUE(limiter.Allow("10.0.0.1", t0));
  EXPECT_FALSE(limiter.Allow("10.0.0.1", t0));
  EXPECT_EQ(limiter.RetryAfter("10.0.0.1", t0), 2);
  EXPECT_TRUE(limiter.Allow("10.0.0.2", t0));           // others are not held up
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

TEST(Versions, CompareAsNumbersPartByPart) {
  struct TRow {
    const char *a, *b;
    int order;
  };
  const TRow rows[] = {
      {"1.0.0.9", "1.0.0.10", -1},  // as text 10 would come first
      {"1.0.0.8", "1.0.0.8", 0},
      {"1.0", "1.0.0.0", 0},  // missing parts count as 0
      {"1.0.0.1", "1.0", 1},
      {"2", "1.99.99.99", 1},
      {"1.007", "1.7", 0},         // leading zeros
      {"1.0.0.8b", "1.0.0.8", 1},  // a suffix after the number sorts after it
      {"1.0.0.8b", "1.0.0.9", -1},
      {"123456789012345678901234567890", "123456789012345678901234567889", 1},  // no overflow
      {"", "0", 0},
  };
  for (const TRow& row : rows) {
    EXPECT_EQ(CompareVersions(row.a, row.b), row.order) << row.a << " vs " << row.b;
    EXPECT_EQ(CompareVersions(row.b, row.a), -row.order) << row.b << " vs " << row.a;
  }
  std::vector<std::string> versions{"1.0.0.10", "1.0.0.7", "0.9", "1.0.0.9"};
  SortVersions(versions);
  EXPECT_EQ(versions, (std::vector<std::string>{"0.9", "1.0.0.7", "1.0.0.9", "1.0.0.10"}));
  for (const char* typed : {"1", "1.0.0.8", "10.20"}) EXPECT_TRUE(IsVersionNumber(typed)) << typed;
  for (const char* typed : {"", ".1", "1.", "1..2", "1.0 beta", "v1", "1,2"})
    EXPECT_FALSE(IsVersionNumber(typed)) << typed;
}

}  // namespace
}  // namespace vm::server

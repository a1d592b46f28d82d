// The download client's portable rules: address splitting, progress figures, header
// numbers and the failure texts.
#include <gtest/gtest.h>

#include "about/rqWinINet.h"

namespace vm::test {
namespace {

TEST(SplitAddress, HostPortAndPath) {
  struct {
    const char* address;
    bool ok;
    const char* host;
    int port;
    const char* path;
  } const cases[] = {
      {"http://host", true, "host", 80, "/"},
      {"http://host/a/b.txt?x=1", true, "host", 80, "/a/b.txt?x=1"},
      {"ftp://host/file", true, "host", 80, "/file"},  // any scheme goes over plain HTTP
      {"http://127.0.0.1:8080/u", true, "127.0.0.1", 8080, "/u"},
      {"http://host:/u", true, "host:", 80, "/u"},            // no digits: not a port
      {"http://host:99999/u", true, "host:99999", 80, "/u"},  // out of range: not a port
      {"http://a://b/c", true, "a:", 80, "//b/c"},            // only the first "://" counts
      {"host/file", false, "", 80, ""},
  };
  for (const auto& c : cases) {
    THttpAddress parts;
    ASSERT_EQ(c.ok, SplitAddress(c.address, parts)) << c.address;
    if (!c.ok) continue;
    EXPECT_EQ(c.host, parts.Host) << c.address;
    EXPECT_EQ(c.port, parts.Port) << c.address;
    EXPECT_EQ(c.path, parts.Path) << c.address;
  }
}

TEST(ProgressPercent, RoundsAndCaps) {
  EXPECT_EQ(0, ProgressPercent(500, 0));  // no announced size
  EXPECT_EQ(0, ProgressPercent(500, -1));
  EXPECT_EQ(41, ProgressPercent(4096, 10000));
  EXPECT_EQ(82, ProgressPercent(8192, 10000));
  EXPECT_EQ(1, ProgressPercent(1, 200));  // half a percent rounds up
  EXPECT_EQ(100, ProgressPercent(10000, 10000));
  EXPECT_EQ(100, ProgressPercent(20000, 10000));  // a body longer than announced
  EXPECT_EQ(100, ProgressPercent(std::int64_t(1) << 40, std::int64_t(1) << 40));
  EXPECT_EQ(50, ProgressPercent(std::int64_t(1) << 39, std::int64_t(1) << 40));
}

TEST(ParseWholeNumber, NumbersAndTheFirstBadCharacter) {
  std::int64_t value = -7;
  int bad = 0;
  EXPECT_TRUE(ParseWholeNumber("404", value, bad));
  EXPECT_EQ(404, value);
  EXPECT_FALSE(ParseWholeNumber("20x", value, bad));
  EXPECT_EQ(3, bad);
  EXPECT_FALSE(ParseWholeNumber("", value, bad));
  EXPECT_EQ(1, bad);
  EXPECT_FALSE(ParseWholeNumber("99999999999999999999", value, bad));  // too large
  EXPECT_EQ(404, value);                                               // untouched by failures
}

TEST(InternetErrorText, OwnTextsThenTheSystem) {
  EXPECT_EQ("File not found on server!", InternetErrorText(18));
  EXPECT_EQ("Could not find server!", InternetErrorText(12007));
  EXPECT_EQ("Could not connect to server!", InternetErrorText(12029));
  EXPECT_EQ("Unknown error #77777", InternetErrorText(77777));
}

}  // namespace
}  // namespace vm::test

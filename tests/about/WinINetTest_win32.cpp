// The download client against a real HTTP server on 127.0.0.1, which
// tests/about/run_with_server.py starts before this program and names in VM_HTTP_BASE
// ("http://127.0.0.1:PORT"), with a port that nobody listens on in VM_CLOSED_PORT.
#include <gtest/gtest.h>

#include <cstdlib>
#include <vector>

#include "about/rqWinINet.h"

namespace vm::test {
namespace {

std::string Env(const char* name) {
  const char* value = std::getenv(name);
  return value ? value : "";
}

class WinINet : public ::testing::Test {
protected:
  void SetUp() override {
    FBase = Env("VM_HTTP_BASE");
    ASSERT_FALSE(FBase.empty()) << "run through run_with_server.py, which starts the server";
  }

  std::string FBase;
};

struct TNotice {
  int Percent;
  std::int64_t Read, Total;
};

TEST_F(WinINet, BodyWithLengthWithProgressInChunks) {
  TrqInternetHTTP client;
  std::vector<TNotice> notices;
  std::vector<std::string> log;
  client.OnProgress = [&](std::uint8_t p, std::int64_t r, std::int64_t t) { notices.push_back({p, r, t}); };
  client.OnLog = [&](const std::string& line) { log.push_back(line); };
  TMemoryStream stream;
  ASSERT_TRUE(client.Download(FBase + "/ok.txt", stream));
  EXPECT_EQ(10000u, stream.Data().size());
  EXPECT_EQ(std::string(10000, 'x').replace(0, 5, "begin"), stream.Data());
  EXPECT_EQ(10000, client.BytesRead);
  EXPECT_EQ(10000, client.TotalSize);
  EXPECT_EQ(0, client.LastError);
  EXPECT_EQ(std::vector<std::string>{"+ HttpQueryInfo status=200"}, log);
  // At least one notice per chunk of 4096 bytes, every figure by the rounding rule, and
  // the end reported three times (the empty read and the two closing notices).
  ASSERT_GE(notices.size(), 6u);
  for (const TNotice& n : notices) {
    EXPECT_EQ(10000, n.Total);
    EXPECT_EQ(ProgressPercent(n.Read, 10000), n.Percent);
  }
  EXPECT_LE(notices[0].Read, 4096);
  for (size_t i = notices.size() - 3; i < notices.size(); ++i) EXPECT_EQ(100, notices[i].Percent);
}

TEST_F(WinINet, AnswersWithoutLengthCutShortAndRedirected) {
  TrqInternetHTTP client;
  std::vector<int> percents;
  client.OnProgress = [&](std::uint8_t p, std::int64_t, std::int64_t) { percents.push_back(p); };
  TMemoryStream plain;
  ASSERT_TRUE(client.Download(FBase + "/nolength", plain));
  EXPECT_EQ("sent without a length", plain.Data());
  EXPECT_EQ(0, client.TotalSize);
  EXPECT_EQ(std::vector<int>(percents.size(), 0), percents);  // no size: 0 % throughout
  ASSERT_FALSE(percents.empty());

  TMemoryStream cut;  // a body that ends before its announced length still counts
  EXPECT_TRUE(client.Download(FBase + "/short", cut));
  EXPECT_EQ(std::string(100, 's'), cut.Data());
  EXPECT_EQ(1000, client.TotalSize);
  EXPECT_EQ(100, client.BytesRead);

  TMemoryStream moved;  // the library follows the redirection before the status is read
  EXPECT_TRUE(client.Download(FBase + "/redirect", moved));
  EXPECT_EQ(10000u, moved.Data().size());
  EXPECT_EQ(0, client.LastError);
}

TEST_F(WinINet, StatusRules) {
  TMemoryStream stream;
  std::int32_t error = 0;
  EXPECT_FALSE(DownloadToStream(FBase + "/missing", stream, error));
  EXPECT_EQ(18, error);
  EXPECT_EQ("File not found on server!", InternetErrorText(error));
  EXPECT_EQ("", stream.Data());

  TStringList page{"old line"};
  EXPECT_TRUE(DownloadToStrings(FBase + "/error", page, error));  // a 500 page is a body
  EXPECT_EQ(TStringList{"server broke"}, page);

  TStringList lines;
  EXPECT_TRUE(DownloadToStrings(FBase + "/lines", lines, error));
  EXPECT_EQ((TStringList{"a=1", "b=2"}), lines);
}

TEST_F(WinINet, FailuresCarryTheSystemsCodes) {
  struct {
    std::string address;
    std::int32_t code;
  } const cases[] = {
      {"http://no-such-host.invalid/x", 12007},
      {"http://127.0.0.1:" + Env("VM_CLOSED_PORT") + "/x", 12029},
      {FBase.substr(7) + "/ok.txt", 1},  // no scheme
  };
  for (const auto& c : cases) {
    TStringList lines{"old"};
    std::int32_t error = 0;
    EXPECT_FALSE(DownloadToStrings(c.address, lines, error)) << c.address;
    EXPECT_EQ(c.code, error) << c.address;
    EXPECT_EQ(0, lines.Count()) << c.address;
  }
  // A code the client has no text for takes the system's.
  EXPECT_EQ("5: " + SystemMessageText(5), InternetErrorText(5));
  EXPECT_NE("", SystemMessageText(5));
}

TEST_F(WinINet, TheAgentNameReachesTheServer) {
  TStringList lines;
  std::int32_t error = 0;
  ASSERT_TRUE(DownloadToStrings(FBase + "/echo-agent", lines, error));
  EXPECT_EQ(TStringList{"rqWinINet"}, lines);  // the name at start
  SetInternetAgent("Update Demo");
  ASSERT_TRUE(DownloadToStrings(FBase + "/echo-agent", lines, error));
  EXPECT_EQ(TStringList{"Update Demo"}, lines);
  SetInternetAgent("rqWinINet");
}

}  // namespace
}  // namespace vm::test

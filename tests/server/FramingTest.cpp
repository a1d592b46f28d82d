// The intake's reading of a request: heads, body framing, chunks, the sender behind proxies.
#include <gtest/gtest.h>

#include "server/RequestFraming.h"

namespace vm::server {
namespace {

TRequestHead Head(const std::string& fields, const std::string& line = "POST /submit.php HTTP/1.1") {
  TRefusal refusal;
  auto head = ParseHead(line + "\r\n" + fields, refusal);
  EXPECT_TRUE(head) << refusal.Why;
  return head.value_or(TRequestHead{});
}

TEST(Framing, HeadsThatAreRefused) {
  const struct {
    const char* Text;
    int Status;
  } cases[] = {
      {"GET /\r\nHost: x\r\n", 400},   // no version
      {"GET  / HTTP/1.1\r\n", 400},    // two spaces: an empty target
      {"GET /a b HTTP/1.1\r\n", 400},  // space in the target
      {"G(T / HTTP/1.1\r\n", 400},     // method not a token
      {"GET / HTTP/2.0\r\n", 505},
      {"GET / HTTP/1.1\r\nHost : x\r\n", 400},    // space before the colon
      {"GET / HTTP/1.1\r\nA: b\r\n c\r\n", 400},  // folded line
      {"GET / HTTP/1.1\r\nA: b\x01\r\n", 400},    // control byte in a value
      {"GET / HTTP/1.1\r\nno colon\r\n", 400},
  };
  for (const auto& c : cases) {
    TRefusal refusal;
    EXPECT_FALSE(ParseHead(c.Text, refusal)) << c.Text;
    EXPECT_EQ(refusal.Status, c.Status) << c.Text;
  }
  // The end is found however the head was cut into pieces before.
  const std::string head = "GET / HTTP/1.1\r\nHost: x\r\n\r\nbody";
  for (size_t from = 0; from < 27; ++from) EXPECT_EQ(HeadEnd(head, from), 27u) << from;
  EXPECT_FALSE(HeadEnd("GET / HTTP/1.1\r\nHost: x\r\n"));

  std::string many = "GET / HTTP/1.1\r\n";
  for (size_t i = 0; i <= kMaxHeadFields; ++i) many += "A: b\r\n";
  TRefusal refusal;
  EXPECT_FALSE(ParseHead(many, refusal));
  EXPECT_EQ(refusal.Status, 431);
}

TEST(Framing, LengthOrChunksUnderTheLimit) {
  const struct {
    const char* Fields;
    int Status;  // 0: taken
    bool Chunked;
    size_t Length;
  } cases[] = {
      {"", 0, false, 0},
      {"Content-Length: 100\r\n", 0, false, 100},
      {"Content-Length: 1000\r\n", 0, false, 1000},
      {"Content-Length: 1001\r\n", 413, false, 0},
      {"Content-Length: 99999999999999999999\r\n", 400, false, 0},
      {"Content-Length: 5\r\nContent-Length: 5\r\n", 0, false, 5},
      {"Content-Length: 5\r\nContent-Length: 6\r\n", 400, false, 0},
      {"Content-Length: -1\r\n", 400, false, 0},
      {"Content-Length: 0x10\r\n", 400, false, 0},
      {"Transfer-Encoding: chunked\r\n", 0, true, 0},
      {"Transfer-Encoding: Chunked\r\n", 0, true, 0},
      {"Transfer-Encoding: gzip, chunked\r\n", 501, false, 0},
      {"Transfer-Encoding: chunked\r\nContent-Length: 5\r\n", 400, false, 0},  // one request, two readings
  };
  for (const auto& c : cases) {
    TRefusal refusal;
    const auto framing = Framing(Head(c.Fields), 1000, refusal);
    EXPECT_EQ(refusal.Status, c.Status) << c.Fields;
    if (!framing) continue;
    EXPECT_EQ(framing->Chunked, c.Chunked) << c.Fields;
    EXPECT_EQ(framing->Length, c.Length) << c.Fields;
  }
}

// Feeds `wire` in pieces of `step` bytes, as it may arrive.
TChunkedBody::TState Decode(const std::string& wire, size_t step, size_t limit, std::string& body) {
  TChunkedBody chunks(limit);
  std::string received;
  auto state = TChunkedBody::TState::More;
  for (size_t at = 0; at < wire.size() && state == TChunkedBody::TState::More; at += step) {
    received += wire.substr(at, step);
    state = chunks.Feed(received, body);
  }
  return state;
}

TEST(Framing, ChunksDecodeHoweverTheyArriveAndCountAgainstTheLimit) {
  const std::string wire = "5\r\nhello\r\n1;ext=1\r\n \r\n10\r\n0123456789abcdef\r\n0\r\nTrailer: x\r\n\r\n";
  for (size_t step : {1, 2, 3, 7, 100}) {
    std::string body;
    EXPECT_EQ(Decode(wire, step, 1000, body), TChunkedBody::TState::Done) << step;
    EXPECT_EQ(body, "hello 0123456789abcdef") << step;
  }
  std::string body;
  EXPECT_EQ(Decode(wire, 3, 21, body), TChunkedBody::TState::TooLarge);
  EXPECT_EQ(Decode(wire, 3, 22, body = ""), TChunkedBody::TState::Done);
  // A single huge chunk is refused on its size line, before its data.
  EXPECT_EQ(Decode("fffffffffffff\r\n", 100, 1000, body = ""), TChunkedBody::TState::TooLarge);
  for (const char* bad : {"5\r\nhelloX\r\n", "zz\r\n", "\r\n", "-1\r\n"})
    EXPECT_EQ(Decode(bad, 100, 1000, body = ""), TChunkedBody::TState::Bad) << bad;
  EXPECT_EQ(Decode(std::string(2000, '1'), 100, 1u << 30, body = ""),
            TChunkedBody::TState::Bad);  // endless size line
}

TEST(Framing, TheSenderIsBelievedOnlyFromTrustedProxies) {
  const std::vector<std::string> trusted = {"10.0.0.1", "10.0.0.2", "::1"};
  const struct {
    const char* Peer;
    const char* Fields;
    const char* Sender;
    bool Https;
  } cases[] = {
      {"203.0.113.9", "X-Forwarded-For: 198.51.100.7\r\nX-Forwarded-Proto: https\r\n", "203.0.113.9", false},
      {"10.0.0.1", "X-Forwarded-For: 198.51.100.7\r\nX-Forwarded-Proto: https\r\n", "198.51.100.7", true},
      {"10.0.0.1", "", "10.0.0.1", false},
      // What the sender wrote itself stands left of what our proxies added.
      {"10.0.0.1", "X-Forwarded-For: 1.2.3.4, 198.51.100.7\r\n", "198.51.100.7", false},
      {"10.0.0.1", "X-Forwarded-For: 1.2.3.4\r\nX-Forwarded-For: 198.51.100.7, 10.0.0.2\r\n", "198.51.100.7", false},
      {"10.0.0.1", "X-Forwarded-For: 198.51.100.7, not-an-address\r\n", "10.0.0.1", false},
      {"10.0.0.1", "X-Forwarded-For: 2001:DB8::0:1\r\nX-Forwarded-Proto: http\r\n", "2001:db8::1", false},
      {"::1", "X-Forwarded-For: 198.51.100.7\r\nX-Forwarded-Proto: HTTPS\r\n", "198.51.100.7", true},
  };
  for (const auto& c : cases) {
    const TSender sender = ResolveSender(c.Peer, Head(c.Fields), trusted);
    EXPECT_EQ(sender.Address, c.Sender) << c.Peer << " " << c.Fields;
    EXPECT_EQ(sender.Https, c.Https) << c.Peer << " " << c.Fields;
  }
}

TEST(Framing, TheForwardedRequestCarriesOurFieldsOnly) {
  const TRequestHead head = Head(
      "Host: x\r\nTransfer-Encoding: chunked\r\nX-Intake-Sender: 1.1.1.1\r\nx-intake-key: guess\r\n"
      "Connection: keep-alive\r\nExpect: 100-continue\r\nCookie: a=b\r\n");
  EXPECT_EQ(ForwardedRequest(head, "body", {"198.51.100.7", true}, "K"),
            "POST /submit.php HTTP/1.1\r\nHost: x\r\nCookie: a=b\r\nContent-Length: 4\r\nConnection: close\r\n"
            "X-Intake-Sender: 198.51.100.7\r\nX-Intake-Scheme: https\r\nX-Intake-Key: K\r\n\r\nbody");
}

}  // namespace
}  // namespace vm::server

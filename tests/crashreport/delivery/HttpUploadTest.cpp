// The report upload against the test upload server on 127.0.0.1: the request byte for
// byte, every answer kind, the limits, the proxy, and attachments that change meanwhile.
#include <gtest/gtest.h>

#include <chrono>
#include <fstream>
#include <set>

#include "crashreport/delivery/HttpAnswer.h"
#include "crashreport/delivery/HttpUpload.h"
#include "crashreport/delivery/HttpUploadMessage.h"
#include "crashreport/delivery/TlsStream.h"
#include "tests/crashreport/common/TestServer.h"

namespace vm {
namespace {

using test::TTestServer;

const std::string B = "----ZentrapixBoundary7d93b2c41e";

void WriteFile(const std::string& path, const std::string& bytes) {
  std::ofstream(path, std::ios::binary).write(bytes.data(), std::streamsize(bytes.size()));
}

// Bytes with every value, CR LF pairs and the boundary's own start among them, longer than
// several send pieces.
std::string BinaryBytes(size_t n) {
  std::string s;
  for (size_t i = 0; i < n; ++i) s += char((i * 7 + i / 256) & 0xFF);
  s.replace(100, 6, "\r\n--\r\n");
  return s;
}

std::string BodyOf(const std::string& request) {
  size_t at = request.find("\r\n\r\n");
  return at == std::string::npos ? std::string() : request.substr(at + 4);
}

std::string HeaderValue(const std::string& request, const std::string& name) {
  size_t at = request.find("\r\n" + name + ": ");
  if (at == std::string::npos || at > request.find("\r\n\r\n")) return "<none>";
  at += name.size() + 4;
  return request.substr(at, request.find("\r\n", at) - at);
}

THttpUploadJob JobFor(const TTestServer& server) {
  THttpUploadJob job;
  job.Server = "http://127.0.0.1/submit.php";
  job.Port = server.Port();
  return job;
}

TEST(HttpUpload, RequestIsSentByteForByte) {
  TTestServer server("upload_server.py", {"--answer", "200"});
  const std::string report = std::string(3000, 'r') + "\r\nexception message : boom\r\n";
  const std::string png = BinaryBytes(2500);
  WriteFile(server.File("bugreport.txt"), report);
  WriteFile(server.File("screenShot.png"), png);
  WriteFile(server.File("empty.txt"), "");

  THttpUploadJob job = JobFor(server);
  job.Sender = "Zentrapix <dev@example.org>";
  job.Fields.Put("MailSubject", "bug report");
  job.Fields.Put("MailBody", "please find\r\nthe report attached");
  job.Files = {{server.File("bugreport.txt"), "bugreport.txt", "BugReport"},
               {server.File("empty.txt"), "empty.txt", "Empty"},
               {server.File("missing.txt"), "missing.txt", "Missing"},
               {server.File("screenShot.png"), "screenshot.png", "ScreenShot"}};
  THttpUploadResult result = UploadViaHttp(job);
  EXPECT_TRUE(result.Success) << result.Error;
  EXPECT_EQ(result.Status, "200");

  // Written out by hand: the empty and the missing file give no part and no length.
  std::string body = "--" + B +
                     "\r\nContent-Disposition: form-data; name=\"MailSubject\"\r\n\r\nbug report"
                     "\r\n--" +
                     B +
                     "\r\nContent-Disposition: form-data; name=\"MailBody\"\r\n\r\nplease find\r\nthe report attached"
                     "\r\n--" +
                     B +
                     "\r\nContent-Disposition: form-data; name=\"BugReport\"; filename=\"bugreport.txt\"\r\n"
                     "Content-Type: application/octet-stream\r\n\r\n" +
                     report + "\r\n--" + B +
                     "\r\nContent-Disposition: form-data; name=\"ScreenShot\"; filename=\"screenshot.png\"\r\n"
                     "Content-Type: application/octet-stream\r\n\r\n" +
                     png + "\r\n--" + B + "--\r\n";
  std::string expected =
      "POST /submit.php HTTP/1.1\r\n"
      "Host: 127.0.0.1:" +
      std::to_string(server.Port()) +
      "\r\n"
      "Connection: close\r\n"
      "Pragma: no-cache\r\n"
      "User-Agent: Zentrapix/3.0\r\n"
      "Content-Type: multipart/form-data; boundary=" +
      B +
      "\r\n"
      "Content-Length: " +
      std::to_string(body.size()) +
      "\r\n"
      "From: Zentrapix <dev@example.org>\r\n"
      "\r\n" +
      body;
  auto received = server.Read("request-1.bin");
  ASSERT_TRUE(received);
  EXPECT_EQ(*received, expected);
  EXPECT_EQ(HeaderValue(*received, "Content-Length"), std::to_string(BodyOf(*received).size()));
  // The server's own decoding finds the files' bytes and names.
  EXPECT_EQ(server.Read("request-1.file.BugReport"), report);
  EXPECT_EQ(server.Read("request-1.file.ScreenShot"), png);
  EXPECT_EQ(server.Read("request-1.filename.ScreenShot"), "screenshot.png");
  EXPECT_EQ(server.Read("request-1.field.MailBody"), "please find\r\nthe report attached");
}

TEST(HttpUpload, AnswerKinds) {
  struct Row {
    const char* answer;
    bool success;
    const char* status;
  } rows[] = {
      {"200", true, "200"},       {"100-200", true, "200"},  // interim answer then the real one in one write
      {"100-split", true, "200"},                            // the real one arrives in a later read
      {"302", true, "302"},       {"500", false, "500"},    {"close", false, ""},  // closed before any answer
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.answer);
    TTestServer server("upload_server.py", {"--answer", row.answer, "--location", "http://127.0.0.1/thanks?id=7"});
    THttpUploadJob job = JobFor(server);
    job.Fields.Put("MailSubject", "bug report");
    THttpUploadResult result = UploadViaHttp(job);
    EXPECT_EQ(result.Success, row.success) << result.Error;
    EXPECT_EQ(result.Status, row.status);
    EXPECT_EQ(result.Location, std::string(row.answer) == "302" ? "http://127.0.0.1/thanks?id=7" : "");
  }
}

TEST(HttpUpload, AuthorizationOnlyWithAccountOrPassword) {
  struct Row {
    const char *account, *password, *header;
  } rows[] = {
      {"", "", "<none>"},
      {"user", "", "Basic dXNlcjo="},  // "user:"
      {"", "pw", "Basic OnB3"},        // ":pw"
      {"user", "secret", "Basic dXNlcjpzZWNyZXQ="},
  };
  TTestServer server("upload_server.py");
  int number = 0;
  for (const Row& row : rows) {
    SCOPED_TRACE(row.header);
    THttpUploadJob job = JobFor(server);
    job.Account = row.account;
    job.Password = row.password;
    ASSERT_TRUE(UploadViaHttp(job).Success);
    auto received = server.Read("request-" + std::to_string(++number) + ".bin");
    ASSERT_TRUE(received);
    EXPECT_EQ(HeaderValue(*received, "Authorization"), row.header);
    EXPECT_EQ(HeaderValue(*received, "From"), "<none>");
  }
}

TEST(HttpUpload, NoAnswerTimesOutAtTheAnswerLimit) {
  EXPECT_EQ(TUploadLimits().AnswerMs, 7000) << "a send waits seven seconds for its answer";
  // A short limit of the test's own: the wait is the same code, without seven idle seconds.
  TUploadLimits limits;
  limits.AnswerMs = 1000;
  TTestServer server("upload_server.py", {"--answer", "silent"});
  auto start = std::chrono::steady_clock::now();
  THttpUploadResult result = UploadViaHttp(JobFor(server), {}, limits);
  auto seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  EXPECT_FALSE(result.Success);
  EXPECT_EQ(result.Error, "no answer");
  EXPECT_LT(seconds, 4.0) << "gave up at the test's limit, not at the default one";
  EXPECT_GE(seconds, 0.9);  // and it did wait for the answer rather than give up at once
}

TEST(HttpUpload, RefusedPortAndUnknownHostFail) {
  THttpUploadJob job;
  job.Server = "127.0.0.1/submit.php";
  job.Port = test::RefusedPort();
  THttpUploadResult refused = UploadViaHttp(job);
  EXPECT_FALSE(refused.Success);
  EXPECT_NE(refused.Error.find("connect"), std::string::npos) << refused.Error;

  job.Server = "http://no-such-host.invalid/submit.php";
  THttpUploadResult unknown = UploadViaHttp(job);
  EXPECT_FALSE(unknown.Success);
  EXPECT_NE(unknown.Error.find("resolve"), std::string::npos) << unknown.Error;
}

TEST(HttpUpload, ProxyGetsThePathOnlyRequestLine) {
  // The stand-in proxy is an upload server too: it records the request it is handed. The
  // server named cannot be resolved, so only the proxy can have carried the request.
  TTestServer proxy("upload_server.py");
  THttpUploadJob job;
  job.Server = "http://crashreport.invalid/submit.php";
  job.Port = 80;
  job.ProxySetting = "ftp=10.0.0.1:21 http=http://127.0.0.1:" + std::to_string(proxy.Port()) + " https=10.0.0.1:443";
  THttpUploadResult result = UploadViaHttp(job);
  EXPECT_TRUE(result.Success) << result.Error;
  auto received = proxy.Read("request-1.bin");
  ASSERT_TRUE(received);
  EXPECT_EQ(received->substr(0, received->find("\r\n")), "POST /submit.php HTTP/1.1");
  EXPECT_EQ(HeaderValue(*received, "Host"), "crashreport.invalid:80");
}

TEST(HttpUpload, AttachmentThatChangesWhileSentFails) {
  for (bool grow : {true, false}) {
    SCOPED_TRACE(grow ? "grows" : "shrinks");
    TTestServer server("upload_server.py");
    const std::string path = server.File("bugreport.txt");
    WriteFile(path, std::string(4000, 'a'));
    THttpUploadJob job = JobFor(server);
    job.Files = {{path, "bugreport.txt", "BugReport"}};
    // The length is fixed before the fields go out; the file changes right after.
    auto change = [&](TUploadStage stage) {
      if (stage == TUploadStage::Fields) WriteFile(path, std::string(grow ? 5000 : 1500, 'b'));
    };
    THttpUploadResult result = UploadViaHttp(job, change);
    EXPECT_FALSE(result.Success);
    EXPECT_NE(result.Error.find("bugreport.txt"), std::string::npos) << result.Error;
  }
}

TEST(HttpUploadMessage, ServerAndProxyTexts) {
  EXPECT_EQ(SplitHttpServer("http://crash.example.com/submit.php").Host, "crash.example.com");
  EXPECT_EQ(SplitHttpServer("http://crash.example.com/submit.php").Path, "/submit.php");
  EXPECT_EQ(SplitHttpServer("crash.example.com/a/b.php?x=1").Path, "/a/b.php?x=1");
  EXPECT_EQ(SplitHttpServer("crash.example.com").Path, "/");

  struct Row {
    const char* setting;
    const char* host;
    int port;
  } rows[] = {
      {"", "", 0},
      {"proxy.lan:3128", "proxy.lan", 3128},
      {"http://proxy.lan:8080/", "proxy.lan", 8080},
      {"http=proxy.lan:81 https=other:443", "proxy.lan", 81},
      // Windows keeps the per-protocol entries separated by ";"
      {"ftp=f:21;http=proxy.lan:82;https=s:443", "proxy.lan", 82},
      {"proxy.lan", "", 0},        // no port
      {"proxy.lan:http", "", 0},   // not numeric
      {"proxy.lan:99999", "", 0},  // out of range
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.setting);
    auto proxy = ParseProxySetting(row.setting);
    EXPECT_EQ(proxy ? proxy->Host : "", row.host);
    EXPECT_EQ(proxy ? proxy->Port : 0, row.port);
  }
}

TEST(HttpUploadMessage, HttpsAddressesAndTheirProxy) {
  struct Target {
    const char* server;
    const char* host;
    const char* path;
    bool tls;
    int port;
  } targets[] = {
      {"https://crash.example.com/submit.php", "crash.example.com", "/submit.php", true, 443},
      {" HTTPS://crash.example.com:8443/a?b=1", "crash.example.com", "/a?b=1", true, 8443},
      {"https://crash.example.com", "crash.example.com", "/", true, 443},
      {"https://crash.example.com:/x", "crash.example.com", "/x", true, -1},  // no port after the colon
      {"https://crash.example.com:0/x", "crash.example.com", "/x", true, -1},
      {"https://crash.example.com:https/x", "crash.example.com", "/x", true, -1},
      {"https://crash.example.com:65536/x", "crash.example.com", "/x", true, -1},
      // Plain addresses stay as they always were: `HttpPort` is their port.
      {"http://crash.example.com:8080/x", "crash.example.com:8080", "/x", false, 0},
      {"crash.example.com/x", "crash.example.com", "/x", false, 0},
      {"ftp://crash.example.com/x", "crash.example.com", "/x", false, 0},
  };
  for (const Target& t : targets) {
    SCOPED_TRACE(t.server);
    TUploadTarget target = SplitHttpServer(t.server);
    EXPECT_EQ(target.Host, t.host);
    EXPECT_EQ(target.Path, t.path);
    EXPECT_EQ(target.Tls, t.tls);
    EXPECT_EQ(target.Port, t.port);
  }

  struct Proxy {
    const char* setting;
    const char* host;
    int port;
  } proxies[] = {
      {"proxy.lan:3128", "proxy.lan", 3128},  // one proxy for every protocol
      {"http://proxy.lan:8080/", "proxy.lan", 8080},
      {"http=plain.lan:81 https=secure.lan:444", "secure.lan", 444},
      {"ftp=f:21;https=secure.lan:445;http=plain.lan:82", "secure.lan", 445},
      {"http=plain.lan:81", "", 0},  // a list without an HTTPS proxy: HTTPS goes directly
  };
  for (const Proxy& row : proxies) {
    SCOPED_TRACE(row.setting);
    auto proxy = ParseProxySetting(row.setting, true);
    EXPECT_EQ(proxy ? proxy->Host : "", row.host);
    EXPECT_EQ(proxy ? proxy->Port : 0, row.port);
  }
  EXPECT_EQ(ParseProxySetting("http=plain.lan:81 https=secure.lan:444")->Host, "plain.lan");

  EXPECT_EQ(ConnectRequestText("crash.example.com", 443),
            "CONNECT crash.example.com:443 HTTP/1.1\r\n"
            "Host: crash.example.com:443\r\n"
            "User-Agent: Zentrapix/3.0\r\n"
            "\r\n");
}

TEST(HttpAnswer, TunnelAnswers) {
  using K = THttpVerdict::TKind;
  struct Row {
    const char* bytes;
    bool complete;
    K kind;
  } rows[] = {
      {"HTTP/1.1 200 Connection established\r\n\r\n", false, K::Success},
      {"HTTP/1.0 200 OK\r\nProxy-Agent: x\r\n\r\n", false, K::Success},
      {"HTTP/1.1 200 Connection established\r\n", false, K::NeedMore},  // its header block goes on
      {"HTTP/1.1 200 Connection established\r\n", true, K::Failure},
      {"HTTP/1.1 200 OK\r\n\r\n\x16\x03", false, K::Failure},  // bytes the client did not ask for
      {"HTTP/1.1 407 Proxy Authentication Required\r\n", false, K::Failure},
      {"HTTP/1.1 403 Forbidden\r\n\r\n", false, K::Failure},
      {"HTTP/1.1 2000 x\r\n\r\n", false, K::Failure},
      {"", true, K::Failure},
      {"HTTP/1.1 20", false, K::NeedMore},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.bytes);
    EXPECT_EQ(JudgeConnectAnswer(row.bytes, row.complete).Kind, row.kind);
  }
}

TEST(TlsFailure, EachReasonIsItsOwnSentenceNamingTheServer) {
  const TTlsFailure all[] = {TTlsFailure::Untrusted,  TTlsFailure::Expired,        TTlsFailure::WrongName,
                             TTlsFailure::Revoked,    TTlsFailure::BadCertificate, TTlsFailure::Handshake,
                             TTlsFailure::Unavailable};
  std::set<std::string> seen;
  for (TTlsFailure f : all) {
    std::string text = TlsFailureText(f, "crash.example.com", "error 0x800B0109");
    SCOPED_TRACE(text);
    EXPECT_TRUE(seen.insert(text).second) << "told apart from the others";
    EXPECT_NE(text.find(" crash.example.com"), std::string::npos);
    EXPECT_EQ(text.back(), '.');
    // The named reasons speak for themselves; the others need the system's code.
    bool named = f == TTlsFailure::Untrusted || f == TTlsFailure::Expired || f == TTlsFailure::WrongName ||
                 f == TTlsFailure::Revoked;
    EXPECT_EQ(text.find("0x800B0109") == std::string::npos, named);
  }
  EXPECT_EQ(TlsFailureText(TTlsFailure::Expired, "crash.example.com", ""),
            "The server crash.example.com could not prove its identity: its certificate has expired or is not "
            "valid yet.");
}

TEST(HttpAnswer, JudgedFromPartialAndWholeBytes) {
  using K = THttpVerdict::TKind;
  struct Row {
    const char* bytes;
    bool complete;
    K kind;
    const char* location;
  } rows[] = {
      {"", false, K::NeedMore, ""},
      {"", true, K::Failure, ""},
      {"HTTP/1.1 20", false, K::NeedMore, ""},
      {"HTTP/1.1 200 OK\r\n", false, K::Success, ""},
      {"HTTP/1.1 100 Continue\r\n", false, K::NeedMore, ""},
      {"HTTP/1.1 100 Continue\r\n\r\n", false, K::NeedMore, ""},
      {"HTTP/1.1 100 Continue\r\n\r\n", true, K::Failure, ""},
      {"HTTP/1.1 100 Continue\r\n\r\nHTTP/1.1 100 Continue\r\n\r\nHTTP/1.1 200 OK\r\n", false, K::Success, ""},
      {"HTTP/1.1 100 Continue\r\n\r\nHTTP/1.1 404 Not Found\r\n", false, K::Failure, ""},
      {"HTTP/1.1 302 Found\r\nLocation: http://a/b\r\n", false, K::NeedMore, ""},
      {"HTTP/1.1 302 Found\r\nServer: x\r\nLocation:  http://a/b \r\n\r\n", false, K::Success, "http://a/b"},
      {"HTTP/1.1 302 Found\r\nLocation: http://a/b\r\n", true, K::Success, "http://a/b"},
      {"HTTP/1.1 302 Found\r\n\r\nLocation: http://body/\r\n", false, K::Success, ""},  // not a header
      {"HTTP/1.1 500 Oops\r\n", false, K::Failure, ""},
      {"garbage\r\n", false, K::Failure, ""},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.bytes);
    THttpVerdict v = JudgeHttpAnswer(row.bytes, row.complete);
    EXPECT_EQ(v.Kind, row.kind);
    EXPECT_EQ(v.Location, row.location);
  }
}

}  // namespace
}  // namespace vm

// The upload over TLS under Wine, whose Schannel and certificate chain are the system's: local
// TLS upload servers whose certificates come from one throwaway CA, trusted in the prefix's
// root store while this program runs (common/servers/testpki.py makes the certificates). Every
// request is compared with the same job sent over plain HTTP, which HttpUploadTest.cpp checks
// byte for byte.
#include <windows.h>

#include <gtest/gtest.h>
#include <wincrypt.h>

#include <fstream>
#include <memory>
#include <sstream>

#include "crashreport/delivery/HttpUpload.h"
#include "crashreport/delivery/HttpUploadMessage.h"
#include "crashreport/delivery/TlsStream.h"
#include "tests/crashreport/common/TestServer.h"

namespace vm {
namespace {

using test::TTestServer;

// The machine's trusted roots hold the test CA while this object lives. The store stays open
// so that closing it writes the removal back; the addition is written at once.
class TTrustedRoot {
public:
  explicit TTrustedRoot(const std::string& derFile) {
    std::ifstream in(derFile, std::ios::binary);
    std::ostringstream der;
    der << in.rdbuf();
    const std::string bytes = der.str();
    // The registry's store itself: Wine's system store for "Root" keeps additions in memory.
    FStore = CertOpenStore(CERT_STORE_PROV_SYSTEM_REGISTRY_A, 0, 0, CERT_SYSTEM_STORE_LOCAL_MACHINE, "Root");
    const BYTE* data = reinterpret_cast<const BYTE*>(bytes.data());
    if (FStore && CertAddEncodedCertificateToStore(FStore, X509_ASN_ENCODING, data, DWORD(bytes.size()),
                                                   CERT_STORE_ADD_REPLACE_EXISTING, &FAdded))
      CertControlStore(FStore, 0, CERT_STORE_CTRL_COMMIT, nullptr);
  }
  ~TTrustedRoot() {
    if (FAdded) CertDeleteCertificateFromStore(FAdded);
    if (FStore) CertCloseStore(FStore, 0);
  }
  TTrustedRoot(const TTrustedRoot&) = delete;
  TTrustedRoot& operator=(const TTrustedRoot&) = delete;
  bool Trusted() const { return FAdded != nullptr; }

private:
  HCERTSTORE FStore = nullptr;
  PCCERT_CONTEXT FAdded = nullptr;
};

// One CA for the whole run: the system's chain engine reads the trusted roots once per
// process, so a CA trusted later would go unseen.
class TTestCa {
public:
  TTestCa() { FFolder = test::NewServerFolder(FUnixFolder); }
  ~TTestCa() {
    FRoot.reset();
    test::RemoveServerFolder(FFolder);
  }
  const std::string& UnixFolder() const { return FUnixFolder; }
  // Once the first server has made the CA.
  bool Trust() {
    if (!FRoot) FRoot = std::make_unique<TTrustedRoot>(FFolder + "ca.der");
    return FRoot->Trusted();
  }

private:
  std::string FFolder, FUnixFolder;
  std::unique_ptr<TTrustedRoot> FRoot;
};

TTestCa& TestCa() {
  static TTestCa ca;
  return ca;
}

// A TLS upload server for "localhost" with a certificate from the trusted test CA.
struct TTlsServer {
  explicit TTlsServer(const char* kind, std::vector<std::string> args = {})
      : Server("upload_server.py", With(std::move(args), kind)), Trusted(TestCa().Trust()) {}
  static std::vector<std::string> With(std::vector<std::string> args, const char* kind) {
    args.insert(args.end(), {"--tls", kind, "--ca-dir", TestCa().UnixFolder()});
    return args;
  }
  std::string Address() const { return "https://localhost:" + std::to_string(Server.Port()) + "/submit.php"; }
  TTestServer Server;
  bool Trusted;
};

void WriteFile(const std::string& path, const std::string& bytes) {
  std::ofstream(path, std::ios::binary).write(bytes.data(), std::streamsize(bytes.size()));
}

THttpUploadJob ReportJob(const TTestServer& files) {
  std::string bytes;
  for (int i = 0; i < 5000; ++i) bytes += char(i * 13 & 0xFF);  // every byte value, several records
  WriteFile(files.File("screenShot.png"), bytes);
  WriteFile(files.File("bugreport.txt"), std::string(3000, 'r') + "\r\nexception message : boom\r\n");
  THttpUploadJob job;
  job.Sender = "Zentrapix <dev@example.org>";
  job.Account = "user";
  job.Fields.Put("MailSubject", "bug report");
  job.Files = {{files.File("bugreport.txt"), "bugreport.txt", "BugReport"},
               {files.File("screenShot.png"), "screenshot.png", "ScreenShot"}};
  return job;
}

// What the plain server received for the same job, with the TLS server's Host line.
std::string PlainRequest(THttpUploadJob job, int tlsPort) {
  TTestServer plain("upload_server.py");
  job.Server = "http://localhost/submit.php";
  job.Port = plain.Port();
  job.ProxySetting.clear();
  EXPECT_TRUE(UploadViaHttp(job).Success);
  std::string request = plain.Read("request-1.bin").value_or("");
  const std::string host = "\r\nHost: localhost:";
  size_t at = request.find(host);
  if (at == std::string::npos) return request;
  at += host.size();
  return request.replace(at, request.find("\r\n", at) - at, std::to_string(tlsPort));
}

TEST(HttpsUpload, RequestArrivesByteForByteAndAnswersAreJudgedAsOverHttp) {
  TTlsServer tls("trusted");
  ASSERT_TRUE(tls.Trusted);
  THttpUploadJob job = ReportJob(tls.Server);
  job.Server = tls.Address();
  job.Port = 80;  // `HttpPort` is for plain HTTP; the address names the port
  THttpUploadResult result = UploadViaHttp(job);
  ASSERT_TRUE(result.Success) << result.Error;
  EXPECT_EQ(result.Status, "200");
  auto received = tls.Server.Read("request-1.bin");
  ASSERT_TRUE(received);
  EXPECT_EQ(*received, PlainRequest(job, tls.Server.Port()));
  EXPECT_EQ(tls.Server.Read("request-1.file.ScreenShot"), tls.Server.Read("screenShot.png"));

  struct Row {
    const char* answer;
    bool success;
    const char* location;
  } rows[] = {{"100-split", true, ""}, {"302", true, "https://localhost/thanks"}, {"500", false, ""}};
  for (const Row& row : rows) {
    SCOPED_TRACE(row.answer);
    TTlsServer server("trusted", {"--answer", row.answer, "--location", "https://localhost/thanks"});
    job.Server = server.Address();
    THttpUploadResult r = UploadViaHttp(job);
    EXPECT_EQ(r.Success, row.success) << r.Error;
    EXPECT_EQ(r.Location, row.location);
    EXPECT_FALSE(r.TlsRefused);
  }
}

TEST(HttpsUpload, RefusedCertificateFailsWithItsReasonAndSendsNothing) {
  struct Row {
    const char* kind;
    TTlsFailure failure;
  } rows[] = {
      {"untrusted", TTlsFailure::Untrusted},  // issued by a CA that is not the trusted one
      {"expired", TTlsFailure::Expired},
      {"wrongname", TTlsFailure::WrongName},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.kind);
    TTlsServer tls(row.kind);
    ASSERT_TRUE(tls.Trusted);
    THttpUploadJob job = ReportJob(tls.Server);
    job.Server = tls.Address();
    std::vector<TUploadStage> stages;
    THttpUploadResult result = UploadViaHttp(job, [&](TUploadStage s) { stages.push_back(s); });
    EXPECT_FALSE(result.Success);
    EXPECT_TRUE(result.TlsRefused);
    EXPECT_EQ(result.Error, TlsFailureText(row.failure, "localhost", ""));
    EXPECT_EQ(stages, std::vector<TUploadStage>{TUploadStage::Connect});
    EXPECT_EQ(tls.Server.Read("request-1.size"), "0") << "not a byte of the request";
  }
}

TEST(HttpsUpload, ServerWithoutTlsIsAFailureNeverPlainHttp) {
  // A plain server that hangs up on what it cannot read.
  TTestServer plain("upload_server.py", {"--answer", "close"});
  THttpUploadJob job = ReportJob(plain);
  job.Server = "https://localhost:" + std::to_string(plain.Port()) + "/submit.php";
  THttpUploadResult result = UploadViaHttp(job);
  EXPECT_FALSE(result.Success);
  EXPECT_TRUE(result.TlsRefused);
  EXPECT_EQ(result.Error, "No secure connection to localhost could be made (the server closed the connection).");
  EXPECT_EQ(plain.Read("request-1.bin").value_or("?")[0], '\x16') << "a TLS handshake record came, not a request";
  EXPECT_FALSE(plain.Read("request-2.size", 500)) << "and no second, plain attempt";
}

TEST(HttpsUpload, ProxyCarriesTheUploadThroughATunnel) {
  TTlsServer tls("trusted");
  TTestServer proxy("connect_proxy.py");
  THttpUploadJob job = ReportJob(tls.Server);
  job.Server = tls.Address();
  job.ProxySetting = "http=127.0.0.1:1 https=127.0.0.1:" + std::to_string(proxy.Port());
  THttpUploadResult result = UploadViaHttp(job);
  ASSERT_TRUE(result.Success) << result.Error;
  EXPECT_EQ(proxy.Read("connect-1.bin"), ConnectRequestText("localhost", tls.Server.Port()));
  EXPECT_EQ(tls.Server.Read("request-1.bin"), PlainRequest(job, tls.Server.Port()));
  // The proxy carried the upload but could read none of it.
  auto tunnel = proxy.Read("tunnel-1.bin");
  ASSERT_TRUE(tunnel);
  EXPECT_GT(tunnel->size(), 8000u);
  EXPECT_EQ(tunnel->find("POST"), std::string::npos);
  EXPECT_EQ(tunnel->find("rrrrrrrr"), std::string::npos);

  TTestServer refusing("connect_proxy.py", {"--refuse", "407"});
  job.ProxySetting = "127.0.0.1:" + std::to_string(refusing.Port());
  result = UploadViaHttp(job);
  EXPECT_FALSE(result.Success);
  EXPECT_EQ(result.Error,
            "the proxy opened no tunnel to localhost:" + std::to_string(tls.Server.Port()) + " (answer 407)");
}

}  // namespace
}  // namespace vm

// The mail channels, built although this program ships them off: the SMTP conversation
// against the local SMTP server, the MIME message it carries, and the mailto command line.
#include <gtest/gtest.h>

#include <fstream>

#include "crashreport/delivery/Mailto.h"
#include "crashreport/delivery/SmtpClient.h"
#include "crashreport/delivery/SmtpReply.h"
#include "tests/crashreport/common/TestServer.h"

namespace vm {
namespace {

using test::TTestServer;

TMailMessage ReportMail(const TTestServer& server) {
  std::string report = "date/time : 2026-01-05\r\n.a line that starts with a dot\r\nexception message : boom\r\n";
  std::ofstream(server.File("bugreport.txt"), std::ios::binary) << report;
  TMailMessage mail;
  mail.Sender = "Zentrapix <crash@example.org>";
  mail.Recipients = {"dev@example.org", "qa@example.org"};
  mail.Subject = "bug report: Zugriffsverletzung \xE4\xF6\xFC";
  mail.Body = "please find the bug report attached\n.\nend";
  mail.Files = {{server.File("bugreport.txt"), "bugreport.txt"}, {server.File("missing.png"), "screenshot.png"}};
  return mail;
}

TSmtpJob JobFor(const TTestServer& server) {
  TSmtpJob job;
  job.Server = "127.0.0.1";
  job.Port = server.Port();
  job.Date = "Mon, 05 Jan 2026 09:07:03 +0100";
  return job;
}

TEST(SmtpClient, ConversationAndMessageReachTheServer) {
  TTestServer server("smtp_server.py", {"--auth", "crash:s3cret"});
  TSmtpJob job = JobFor(server);
  job.Account = "crash";
  job.Password = "s3cret";
  std::vector<TSmtpStage> stages;
  TSmtpResult result = SendViaSmtp(job, ReportMail(server), [&](TSmtpStage s) { stages.push_back(s); });
  ASSERT_TRUE(result.Success) << result.Error;
  EXPECT_EQ(stages, (std::vector<TSmtpStage>{TSmtpStage::Connect, TSmtpStage::Authenticate, TSmtpStage::SendMail,
                                             TSmtpStage::Final}));

  auto session = server.Read("session-1.txt");
  ASSERT_TRUE(session);
  // The commands up to DATA, byte for byte: AUTH LOGIN sends account and password in Base64.
  EXPECT_EQ(session->substr(0, session->find("DATA\r\n") + 6),
            "EHLO localhost\r\nAUTH LOGIN\r\nY3Jhc2g=\r\nczNjcmV0\r\nMAIL FROM:<crash@example.org>\r\n"
            "RCPT TO:<dev@example.org>\r\nRCPT TO:<qa@example.org>\r\nDATA\r\n");
  EXPECT_EQ(session->substr(session->size() - 11), "\r\n.\r\nQUIT\r\n");
  EXPECT_EQ(server.Read("message-1.subject"), "bug report: Zugriffsverletzung \xE4\xF6\xFC");
  EXPECT_EQ(server.Read("message-1.file.bugreport.txt"), *server.Read("bugreport.txt"));
  EXPECT_FALSE(server.Read("message-1.file.screenshot.png", 0)) << "a missing file is left out";
  auto message = server.Read("message-1.eml");
  ASSERT_TRUE(message);
  EXPECT_NE(message->find("MIME-Version: 1.0\r\n"), std::string::npos);
  EXPECT_NE(message->find("Subject: =?windows-1252?B?"), std::string::npos) << "8-bit subject as encoded word";
  EXPECT_NE(message->find("\r\n.\r\nend\r\n"), std::string::npos) << "a lone dot in the body survives stuffing";
}

TEST(SmtpClient, FallsBackToHeloAndReportsRefusals) {
  {
    TTestServer server("smtp_server.py", {"--no-ehlo"});
    TSmtpResult result = SendViaSmtp(JobFor(server), ReportMail(server));
    EXPECT_TRUE(result.Success) << result.Error;
    auto session = server.Read("session-1.txt");
    ASSERT_TRUE(session);
    EXPECT_EQ(session->substr(0, 32), "EHLO localhost\r\nHELO localhost\r\n");
  }
  {
    TTestServer server("smtp_server.py", {"--auth", "crash:right"});
    TSmtpJob job = JobFor(server);
    job.Account = "crash";
    job.Password = "wrong";
    TSmtpResult result = SendViaSmtp(job, ReportMail(server));
    EXPECT_FALSE(result.Success);
    EXPECT_EQ(result.Error, "AUTH: 535 authentication failed");
  }
  TSmtpJob refused;
  refused.Server = "127.0.0.1";
  refused.Port = test::RefusedPort();
  EXPECT_FALSE(SendViaSmtp(refused, TMailMessage{"", {"a@b"}, "s", "b", {}}).Success);
}

TEST(SmtpReply, LinesAndLimits) {
  using K = TSmtpReply::TKind;
  struct Row {
    const char* bytes;
    K kind;
    int code;
    const char* text;
  } rows[] = {
      {"", K::NeedMore, 0, ""},
      {"220 ready", K::NeedMore, 220, ""},
      {"220 ready\r\n", K::Complete, 220, "ready"},
      {"250-a\r\n250-b\r\n", K::NeedMore, 250, "a\nb"},
      {"250-a\r\n250 b\r\nextra", K::Complete, 250, "a\nb"},
      {"250\r\n", K::Complete, 250, ""},
      {"250-a\r\n354 b\r\n", K::Malformed, 0, ""},  // codes of one reply must agree
      {"25x ok\r\n", K::Malformed, 0, ""},
      {"250*ok\r\n", K::Malformed, 0, ""},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.bytes);
    TSmtpReply r = ParseSmtpReply(row.bytes);
    EXPECT_EQ(r.Kind, row.kind);
    if (row.kind != K::NeedMore) {
      EXPECT_EQ(r.Code, row.code);
    }
    if (row.kind != K::Malformed) {
      EXPECT_EQ(r.Text, row.text);
    }
  }
  std::string endless;
  while (endless.size() <= kSmtpReplyLimit) endless += "250-more\r\n";
  EXPECT_EQ(ParseSmtpReply(endless).Kind, K::Malformed) << "a reply without end is cut off";
}

TEST(Mailto, LinkAndCommandLine) {
  EXPECT_EQ(MailtoEncode("a b&c=d\r\n%\xE4~"), "a%20b%26c%3Dd%0D%0A%25%E4~");
  EXPECT_EQ(MailtoLink({"dev@example.org", "qa@example.org"}, "bug report", "x=1"),
            "mailto:dev@example.org,qa@example.org?subject=bug%20report&body=x%3D1");
  EXPECT_EQ(MailtoCommandLine("\"C:\\mail.exe\" /m \"%1\"", "mailto:a"), "\"C:\\mail.exe\" /m \"mailto:a\"");
  EXPECT_EQ(MailtoCommandLine("mail.exe", "mailto:a"), "mail.exe mailto:a");

  // The cut keeps whole escapes and the text after the link's slot.
  struct Row {
    size_t limit;
    const char* expected;
  } rows[] = {
      {9, "m \"x%20y\""}, {8, "m \"x%20\""}, {7, "m \"x\""}, {6, "m \"x\""}, {5, "m \"x\""}, {4, "m \"\""},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.limit);
    std::string line = MailtoCommandLine("m \"%1\"", "x%20y", row.limit);
    EXPECT_EQ(line, row.expected);
    EXPECT_LE(line.size(), row.limit);
  }
  std::string huge = MailtoCommandLine("m %1", MailtoLink({"a@b"}, "s", std::string(40000, ' ')));
  EXPECT_EQ(huge.size(), kCommandLineLimit - 2) << "a cut inside %20 drops the whole escape";
}

}  // namespace
}  // namespace vm

#include "crashreport/delivery/SmtpClient.h"

#include <chrono>

#include "crashreport/delivery/Base64.h"
#include "crashreport/delivery/SmtpReply.h"
#include "crashreport/delivery/Socket.h"

namespace vm {

namespace {

class TConversation {
public:
  TConversation(TSocket& socket, int replyMs) : FSocket(socket), FReplyMs(replyMs) {}

  // Sends `line` (unless empty) and reads the reply; true when its code is `want`.
  bool Step(const std::string& what, const std::string& line, int want, int alsoFine = 0) {
    if (!line.empty() && !FSocket.Send(line + "\r\n")) return Fail(what, FSocket.Error());
    TSmtpReply reply = Read();
    if (reply.Kind != TSmtpReply::TKind::Complete) return Fail(what, FError.empty() ? "bad reply" : FError);
    FLastCode = reply.Code;
    if (reply.Code != want && (alsoFine == 0 || reply.Code != alsoFine))
      return Fail(what, std::to_string(reply.Code) + " " + reply.Text);
    return true;
  }
  bool SendRaw(std::string_view bytes) { return FSocket.Send(bytes) || Fail("DATA", FSocket.Error()); }
  int LastCode() const { return FLastCode; }
  const std::string& Error() const { return FError; }

private:
  TSmtpReply Read() {
    using Clock = std::chrono::steady_clock;
    const auto deadline = Clock::now() + std::chrono::milliseconds(FReplyMs);
    for (;;) {
      TSmtpReply reply = ParseSmtpReply(FPending);
      if (reply.Kind != TSmtpReply::TKind::NeedMore) {
        FPending.erase(0, reply.Length);
        return reply;
      }
      auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
      char buffer[1024];
      int n = left > 0 ? FSocket.Receive(buffer, sizeof buffer, int(left)) : TSocket::kTimeout;
      if (n <= 0) {
        FError = n == TSocket::kTimeout ? "no reply" : "connection closed";
        return {};
      }
      FPending.append(buffer, size_t(n));
    }
  }
  bool Fail(const std::string& what, const std::string& why) {
    FError = what + ": " + why;
    return false;
  }

  TSocket& FSocket;
  int FReplyMs;
  int FLastCode = 0;
  std::string FPending;
  std::string FError;
};

}  // namespace

std::string DotStuffed(std::string_view message) {
  std::string out;
  bool lineStart = true;
  for (char c : message) {
    if (lineStart && c == '.') out += '.';
    out += c;
    lineStart = c == '\n';
  }
  return out;
}

TSmtpResult SendViaSmtp(const TSmtpJob& job, const TMailMessage& mail, const std::function<void(TSmtpStage)>& stage) {
  auto enter = [&](TSmtpStage s) {
    if (stage) stage(s);
  };
  TSmtpResult result;
  if (mail.Recipients.empty()) {
    result.Error = "no recipient";
    return result;
  }
  enter(TSmtpStage::Connect);
  TSocket socket;
  if (!socket.Connect(job.Server, job.Port, job.ReplyMs)) {
    result.Error = socket.Error();
    return result;
  }
  TConversation c(socket, job.ReplyMs);
  auto done = [&](bool ok) {
    result.Success = ok;
    if (!ok) result.Error = c.Error();
    return result;
  };
  if (!c.Step("greeting", "", 220)) return done(false);
  // An old server rejects EHLO with a 5xx reply; it still knows HELO.
  if (!c.Step("EHLO", "EHLO " + job.HeloName, 250)) {
    if (c.LastCode() < 500 || !c.Step("HELO", "HELO " + job.HeloName, 250)) return done(false);
  }
  if (!job.Account.empty()) {
    enter(TSmtpStage::Authenticate);
    if (!c.Step("AUTH", "AUTH LOGIN", 334) || !c.Step("AUTH", Base64Encode(job.Account), 334) ||
        !c.Step("AUTH", Base64Encode(job.Password), 235))
      return done(false);
  }
  enter(TSmtpStage::SendMail);
  if (!c.Step("MAIL", "MAIL FROM:<" + BareAddress(mail.Sender) + ">", 250)) return done(false);
  for (const std::string& to : mail.Recipients)
    if (!c.Step("RCPT", "RCPT TO:<" + BareAddress(to) + ">", 250, 251)) return done(false);
  if (!c.Step("DATA", "DATA", 354)) return done(false);
  std::string message = DotStuffed(BuildMimeMessage(mail, job.Charset, job.Date));
  if (!c.SendRaw(message)) return done(false);
  enter(TSmtpStage::Final);
  if (!c.Step("end of data", ".", 250)) return done(false);
  c.Step("QUIT", "QUIT", 221);  // the mail is accepted already; a rude goodbye changes nothing
  return done(true);
}

}  // namespace vm

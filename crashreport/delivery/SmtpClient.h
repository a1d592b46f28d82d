// The SMTP conversation of the mail channels: greeting, EHLO (HELO when the server does not
// know it), AUTH LOGIN when an account is given, one message, QUIT. Every reply is awaited
// at most `ReplyMs`. Tests: tests/crashreport/delivery/MailChannelsTest.cpp against
// tests/crashreport/common/servers/smtp_server.py.
#pragma once

#include <functional>
#include <string>

#include "crashreport/delivery/MailMessage.h"

namespace vm {

struct TSmtpJob {
  std::string Server;
  int Port = 25;
  std::string Account, Password;  // empty account: no authentication
  std::string HeloName = "localhost";
  std::string Charset = "windows-1252";
  std::string Date;  // the "Date" header's text, or empty
  int ReplyMs = 7000;
};

struct TSmtpResult {
  bool Success = false;
  std::string Error;  // the step that failed and the server's reply
};

enum class TSmtpStage { Connect, Authenticate, SendMail, Final };

TSmtpResult SendViaSmtp(const TSmtpJob& job, const TMailMessage& mail,
                        const std::function<void(TSmtpStage)>& stage = {});

// The message as DATA carries it: lines starting with "." get another one.
std::string DotStuffed(std::string_view message);

}  // namespace vm

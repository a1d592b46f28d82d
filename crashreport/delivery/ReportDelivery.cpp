#include "crashreport/delivery/ReportDelivery.h"

#include "base/Exception.h"
#include "base/FileIO.h"
#include "base/Text.h"
#include "crashreport/delivery/HttpUpload.h"
#include "crashreport/delivery/HttpUploadMessage.h"
#include "crashreport/delivery/Mailto.h"
#include "crashreport/delivery/SmtpClient.h"
#include "crashreport/delivery/ZipArchive.h"
#include "crashreport/report/BugReportFile.h"
#include "crashreport/report/BugReportReader.h"

namespace vm {

namespace {

thread_local bool inSendThread = false;

// Chooses the first channel that works; the progress box follows its steps.
class TSendAttempt {
public:
  TSendAttempt(const TSendRequest& r, IDeliverySystem& system, IProgressBox* box)
      : R(r), S(*r.Settings), Sys(system), Box(box) {}

  bool Run(const TSendTexts& texts, const TPreparedAttachments& attachments) {
    TMailMessage mail{texts.Sender, texts.Recipients, texts.Subject, texts.Body, {}};
    for (const auto& f : attachments.Files) mail.Files.push_back({f.Path, f.SendAs});
    bool sent = false;
    if (S.MailAsSmtpServer())
      sent = ViaMailExchanger(mail);
    else if (S.MailAsSmtpClient())
      sent = ViaSmtp(mail, S.SmtpServer(), S.SmtpPort(), S.SmtpAccount(), S.SmtpPassword());
    else if (S.UploadViaHttp() && !S.HttpServer().empty())
      sent = ViaHttp(texts, attachments);
    if (!sent && S.MailViaMapi()) sent = Sys.SendViaSystemMail(mail, R.ParentWindow);
    if (!sent && S.MailViaMailto() && !R.Hidden) sent = ViaMailto(texts);
    return sent;
  }

  // What the user should know about a failure beyond the failure text: a server that could
  // not prove who it is may mean that someone is listening in.
  std::string Reason;

private:
  void Enter(TSendStep step) {
    if (Box) Box->Enter(step);
  }

  bool ViaHttp(const TSendTexts& texts, const TPreparedAttachments& attachments) {
    THttpUploadJob job;
    job.Server = S.HttpServer();
    job.Port = S.HttpPort();
    job.Account = S.HttpAccount();
    job.Password = S.HttpPassword();
    job.Sender = texts.Sender;
    job.Fields = SendFields(S, texts);
    for (const auto& f : attachments.Files) job.Files.push_back({f.Path, f.SendAs, f.FieldName});
    job.ProxySetting = Sys.InternetProxy();
    auto stage = [this](TUploadStage s) {
      static constexpr TSendStep kSteps[] = {TSendStep::Connect, TSendStep::Fields, TSendStep::Attachments,
                                             TSendStep::Final};
      Enter(kSteps[int(s)]);
    };
    THttpUploadResult result = UploadViaHttp(job, stage);
    if (result.Success && !result.Location.empty()) Sys.OpenWithShell(result.Location);
    if (result.TlsRefused) Reason = result.Error;
    return result.Success;
  }

  bool ViaSmtp(const TMailMessage& mail, const std::string& server, int port, const std::string& account,
               const std::string& password) {
    TSmtpJob job;
    job.Server = server;
    job.Port = port;
    job.Account = account;
    job.Password = password;
    job.Charset = Sys.Charset();
    job.Date = Sys.MailDate();
    auto stage = [this](TSmtpStage s) {
      static constexpr TSendStep kSteps[] = {TSendStep::Connect, TSendStep::Authenticate, TSendStep::SendMail,
                                             TSendStep::Final};
      Enter(kSteps[int(s)]);
    };
    return SendViaSmtp(job, mail, stage).Success;
  }

  bool ViaMailExchanger(const TMailMessage& mail) {
    if (mail.Recipients.empty()) return false;
    Enter(TSendStep::MxLookup);
    std::string address = BareAddress(mail.Recipients[0]);
    std::string domain = address.substr(address.find('@') + 1);
    for (const std::string& host : Sys.MailExchangers(domain))
      if (ViaSmtp(mail, host, 25, "", "")) return true;
    return false;
  }

  bool ViaMailto(const TSendTexts& texts) {
    std::string command = Sys.MailtoOpenCommand();
    if (command.empty()) return false;
    return Sys.StartCommandLine(MailtoCommandLine(command, MailtoLink(texts.Recipients, texts.Subject, R.BugReport)));
  }

  const TSendRequest& R;
  const ICrashSettings& S;
  IDeliverySystem& Sys;
  IProgressBox* Box;
};

// Entries that share an archive name go out as one ZIP of that name, in the place of the
// first of them; should the archive fail, they go out unpacked rather than not at all.
void PackArchives(std::vector<TSendAttachment>& files, const std::string& temp) {
  for (size_t i = 0; i < files.size(); ++i) {
    const std::string name = files[i].ArchiveName;
    if (name.empty()) continue;
    std::vector<TZipMember> members;
    for (const auto& f : files)
      if (f.ArchiveName == name) members.push_back({f.Path, f.SendAs});
    const std::string zip = temp + FileNameOf(name);
    if (!WriteZipArchive(zip, members)) {
      for (auto& f : files)
        if (f.ArchiveName == name) f.ArchiveName.clear();
      continue;
    }
    TSendAttachment packed{zip, name, files[i].FieldName, ""};
    std::erase_if(files, [&](const TSendAttachment& f) { return f.ArchiveName == name; });
    files.insert(files.begin() + std::ptrdiff_t(i), packed);
  }
}

bool NetworkChannelOn(const ICrashSettings& s) {
  return s.MailAsSmtpServer() || s.MailAsSmtpClient() || s.UploadViaHttp() || s.MailViaMapi();
}

bool PerformSend(const TSendRequest& request, bool inBackground) {
  const ICrashSettings& s = *request.Settings;
  IDeliverySystem& system = DeliverySystem();
  TSendTexts texts = PrepareSendTexts(s, request.BugReport);
  TPreparedAttachments attachments;
  IProgressBox* box = nullptr;
  if (NetworkChannelOn(s)) {
    if (!request.Hidden || s.AutoSendBox()) box = system.ProgressBox();
    if (box) {
      bool withAttachments = s.AttachBugRep() || request.Screenshot || !s.AdditionalAttachments().empty();
      box->Open(s.SendBoxTitle(), SendProgressSteps(s, withAttachments), request.ParentWindow, !inBackground);
      box->Enter(TSendStep::PrepareAttachments);
    }
    attachments = PrepareAttachments(request);
  }
  TSendAttempt attempt(request, system, box);
  bool sent = attempt.Run(texts, attachments);
  if (box) box->Close();
  if (!attachments.ScreenshotFile.empty() && (sent || !s.MailViaMapi())) RemoveFile(attachments.ScreenshotFile);
  if (sent) {
    if (request.Record) request.Record->MarkSent();
    if (attachments.DeleteBugReportFile) RemoveFileForce(attachments.BugReportFile);
  } else if (!request.Hidden) {
    std::string text = s.SendFailMsg();
    if (!attempt.Reason.empty()) text += "\n\n" + attempt.Reason;
    system.ShowSendFailure(request.ParentWindow, text);
  }
  return sent;
}

}  // namespace

std::string ExceptionMessageOf(const std::string& report) {
  return Trim(HeaderValue(ParseReportHeader(report), "exception message"));
}

std::string ExpandSendPlaceholders(const std::string& text, const std::string& message, const std::string& report) {
  static constexpr std::string_view kMsg = "%exceptMsg%", kReport = "%bugReport%";
  std::string out;
  for (size_t i = 0; i < text.size();) {
    std::string_view rest(text.data() + i, text.size() - i);
    if (rest.size() >= kMsg.size() && SameText(rest.substr(0, kMsg.size()), kMsg)) {
      out += message.empty() ? "Unknown" : message;
      i += kMsg.size();
    } else if (rest.size() >= kReport.size() && SameText(rest.substr(0, kReport.size()), kReport)) {
      out += report;
      i += kReport.size();
    } else {
      out += text[i++];
    }
  }
  return out;
}

TSendTexts PrepareSendTexts(const ICrashSettings& s, const std::string& report) {
  TSendTexts t;
  t.ExceptionMessage = ExceptionMessageOf(report);
  t.Subject = ExpandSendPlaceholders(s.MailSubj(), t.ExceptionMessage, report);
  t.Body = ExpandSendPlaceholders(s.MailBody(), t.ExceptionMessage, report);
  t.Recipients = SplitRecipients(s.MailAddr());
  t.Sender = s.MailFrom();
  if (t.Sender.empty() && !t.Recipients.empty()) t.Sender = "Zentrapix " + AngleAddress(t.Recipients[0]);
  return t;
}

TICrashFields SendFields(const ICrashSettings& s, const TSendTexts& t) {
  TICrashFields fields = s.AdditionalFields();
  std::string recipients;
  for (const auto& r : t.Recipients) recipients += (recipients.empty() ? "" : ", ") + r;
  const std::pair<const char*, const std::string*> mail[] = {
      {"MailFrom", &t.Sender}, {"MailSubject", &t.Subject}, {"MailBody", &t.Body}, {"MailAddr", &recipients}};
  for (const auto& [name, value] : mail)
    if (!value->empty()) fields.Put(name, *value);
  return fields;
}

std::vector<TProgressStep> SendProgressSteps(const ICrashSettings& s, bool withAttachments) {
  // Sending the files takes longest; connecting and the small exchanges share the rest.
  std::vector<TProgressStep> steps = {{TSendStep::PrepareAttachments, s.PrepAttMsg(), 2}};
  const bool smtp = s.MailAsSmtpServer() || s.MailAsSmtpClient();
  if (s.MailAsSmtpServer()) steps.push_back({TSendStep::MxLookup, s.MxLookMsg(), 2});
  steps.push_back({TSendStep::Connect, s.ConnMsg(), 2});
  if (smtp) {
    steps.push_back({TSendStep::Authenticate, s.AuthMsg(), 1});
    steps.push_back({TSendStep::SendMail, s.SendMailMsg(), 2});
  }
  if (s.UploadViaHttp()) steps.push_back({TSendStep::Fields, s.FieldMsg(), 1});
  if (withAttachments) steps.push_back({TSendStep::Attachments, s.SendAttMsg(), 10});
  steps.push_back({TSendStep::Final, s.SendFinalMsg(), 1});
  return steps;
}

TPreparedAttachments PrepareAttachments(const TSendRequest& request) {
  const ICrashSettings& s = *request.Settings;
  IDeliverySystem& system = DeliverySystem();
  TPreparedAttachments out;
  const std::string temp = system.TempFolder();
  if (s.AttachBugRep()) {
    out.BugReportFile = BugRepFilePath(s, system.ExeFolder());
    const std::string copy = temp + FileNameOf(out.BugReportFile);
    bool copied = s.AttachBugRepFile() && CopyFileTo(out.BugReportFile, copy);
    // The copy shows the file as it will be once this report is saved; should that fail,
    // the copy still holds the earlier reports, worth sending.
    if (copied && !(request.Record && request.Record->Saved())) {
      try {
        WriteFileCreate(copy, MergeBugReport(ReadFileDenyWrite(copy), request.BugReport, BugRepFileRules(s)));
      } catch (const Exception&) {
      }
    }
    if (!copied) {
      try {
        WriteFileCreate(copy, request.BugReport);
      } catch (const Exception&) {
        RemoveFile(copy);
      }
    }
    if (FileSizeOf(copy)) {
      out.Files.push_back({copy, s.BugRepSendAs(), "BugReport", s.BugRepZip()});
      out.DeleteBugReportFile = copied && s.DelBugRepFile();
    }
  }
  if (request.Screenshot && !request.Screenshot->Empty()) {
    const std::string png = temp + "screenShot.png";
    if (request.Screenshot->SaveToPNGFile(png, s.ScrShotDepth())) {
      out.ScreenshotFile = png;
      out.Files.push_back({png, s.ScrShotSendAs(), "ScreenShot", s.ScrShotZip()});
    }
  }
  for (const TCrashAttachment& a : s.AdditionalAttachments())
    out.Files.push_back({a.Path, a.SendAs, a.FieldName, a.ArchiveName});
  std::erase_if(out.Files, [](const TSendAttachment& f) { return !FileSizeOf(f.Path); });
  PackArchives(out.Files, temp);
  return out;
}

bool SendBugReport(const TSendRequest& request, std::shared_ptr<TSendThread>* thread) {
  if (!request.Settings) return false;
  if (request.Background && !inSendThread && !request.ProcessBlocked) {
    // The thread owns its copy of the report and the screenshot.
    auto copy = std::make_shared<TSendRequest>(request);
    auto started = DeliverySystem().StartThread([copy] {
      inSendThread = true;
      PerformSend(*copy, true);
    });
    if (thread) *thread = started;
    return true;
  }
  return PerformSend(request, false);
}

}  // namespace vm

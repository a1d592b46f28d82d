// Sending a whole report: texts, attachments and fields from the shipped settings, the
// channel order, and what is shown, marked and deleted afterwards. The HTTP channel talks to
// the local upload server; the system's other parts are a recording stand-in.
#include <gtest/gtest.h>
#include <zlib.h>

#include <fstream>
#include <future>
#include <map>

#include "base/FileIO.h"
#include "crashreport/delivery/DeliverySystem.h"
#include "crashreport/delivery/ReportDelivery.h"
#include "crashreport/report/BugReportFile.h"
#include "tests/crashreport/common/FakeCrashSystem.h"
#include "tests/crashreport/common/ShippedRecord.h"
#include "tests/crashreport/common/TestServer.h"

namespace vm {
namespace {

using test::TTestServer;

const std::string kReport =
    "date/time          : 2026-01-05, 09:07:03, 45ms\r\n"
    "exception class    : EAccessViolation\r\n"
    "exception message  : Access violation at address 00401234. Read of address 00000000.\r\n"
    "\r\n"
    "main thread:\r\n"
    "exception message : not this one\r\n";

class TRecordingProgress : public IProgressBox {
public:
  void Open(const std::string& title, const std::vector<TProgressStep>& steps, std::uintptr_t, bool modal) override {
    Events.push_back("open " + title + (modal ? " modal" : ""));
    Steps = steps;
    if (Gate.valid()) GateTimedOut = Gate.wait_for(std::chrono::seconds(10)) != std::future_status::ready;
  }
  void Enter(TSendStep step) override { Entered.push_back(step); }
  void Close() override { Events.push_back("close"); }
  std::vector<std::string> Events;
  std::vector<TProgressStep> Steps;
  std::vector<TSendStep> Entered;
  // When set, the send waits in Open until the test opens the gate.
  std::shared_future<void> Gate;
  bool GateTimedOut = false;
};

class TRecordingSystem : public IDeliverySystem {
public:
  TRecordingSystem(std::string temp, std::string exe) : FTemp(std::move(temp)), FExe(std::move(exe)) {
    FPrevious = SetDeliverySystem(this);
  }
  ~TRecordingSystem() override { SetDeliverySystem(FPrevious); }

  std::string TempFolder() override { return FTemp; }
  std::string ExeFolder() override { return FExe; }
  std::string InternetProxy() override { return Proxy; }
  void OpenWithShell(const std::string& address) override { Opened.push_back(address); }
  void ShowSendFailure(std::uintptr_t, const std::string& text) override { Failures.push_back(text); }
  bool SendViaSystemMail(const TMailMessage& mail, std::uintptr_t) override {
    SystemMails.push_back(mail);
    return SystemMailWorks;
  }
  std::vector<std::string> MailExchangers(const std::string&) override { return {}; }
  std::string MailtoOpenCommand() override { return "\"C:\\mail.exe\" \"%1\""; }
  bool StartCommandLine(const std::string& line) override {
    Started.push_back(line);
    return true;
  }
  IProgressBox* ProgressBox() override { return &Progress; }
  std::shared_ptr<TSendThread> StartThread(std::function<void()> work) override {
    ++Threads;
    return PlatformDeliverySystem().StartThread(std::move(work));
  }
  std::string MailDate() override { return "Mon, 05 Jan 2026 09:07:03 +0000"; }
  std::string Charset() override { return "windows-1252"; }

  std::string Proxy;
  bool SystemMailWorks = false;
  std::vector<std::string> Opened, Failures, Started;
  std::vector<TMailMessage> SystemMails;
  TRecordingProgress Progress;
  int Threads = 0;

private:
  std::string FTemp, FExe;
  IDeliverySystem* FPrevious;
};

struct TRecord : IDeliveryRecord {
  bool Saved() const override { return SavedAlready; }
  void MarkSent() override { ++SentMarks; }
  bool SavedAlready = false;
  int SentMarks = 0;
};

// The shipped settings, their upload server moved to the test server.
class ReportDeliveryTest : public ::testing::Test {
protected:
  void SetUp() override {
    crash.Modules[crash.Exe] = {"C:\\Program Files\\Veilmark\\veilmark.exe", ShippedRecordBytes(), "1.0.0.0", {}};
    settings = std::make_unique<TICrashSettings>(crash.Exe);
    ASSERT_TRUE(settings->Valid());
  }
  void UseServer(const TTestServer& server) {
    settings->SetHttpServer("http://127.0.0.1/submit.php");
    settings->SetHttpPort(server.Port());
    // The copy goes to the temporary folder under the file's own name; keep the two apart.
    system = std::make_unique<TRecordingSystem>(server.File("temp-"), server.File(""));
  }
  TSendRequest Request() {
    TSendRequest r;
    r.BugReport = kReport;
    r.Settings = settings.get();
    r.Record = &record;
    return r;
  }
  static TINVBitmap Picture() {
    TINVBitmap p(5, 3);
    p.SetPixel(1, 1, MakePixel(200, 10, 10));
    p.SetPixel(4, 2, MakePixel(0, 0, 255));
    return p;
  }

  test::TFakeCrashSystem crash;
  std::unique_ptr<TICrashSettings> settings;
  std::unique_ptr<TRecordingSystem> system;
  TRecord record;
};

// The capture side keeps pending reports where a send puts its copies: one name for both.
TEST(ReporterFolder, NamedAfterTheProgramWithoutItsExtension) {
  const std::pair<std::string, std::string> cases[] = {
      {"C:\\Program Files\\Veilmark\\veilmark.exe", "veilmark.Zentrapix"},
      {"/opt/tools/crash.matrix.exe", "crash.matrix.Zentrapix"},
      {"C:\\tools\\noextension", "noextension.Zentrapix"},
      {"C:\\tools\\.exe", ".exe.Zentrapix"},  // a leading dot is no extension
      {"", "program.Zentrapix"},
  };
  for (const auto& [program, folder] : cases) EXPECT_EQ(ReporterFolderName(program), folder) << program;
  EXPECT_EQ(FileNameOf(ReporterTempFolder()), ReporterFolderName(ProgramPath()));
}

TEST_F(ReportDeliveryTest, TextsAndFieldsFromTheSettings) {
  EXPECT_EQ(ExceptionMessageOf(kReport), "Access violation at address 00401234. Read of address 00000000.");
  EXPECT_EQ(ExceptionMessageOf("exception class : EFoo\r\n"), "");
  EXPECT_EQ(ExpandSendPlaceholders("[%EXCEPTMSG%|%exceptmsg%]", "", "r"), "[Unknown|Unknown]");
  EXPECT_EQ(ExpandSendPlaceholders("%bugReport%", "m", "has %exceptMsg% inside"), "has %exceptMsg% inside")
      << "a report is put in once, never expanded again";

  TSendTexts shipped = PrepareSendTexts(*settings, kReport);
  EXPECT_EQ(shipped.Subject, "bug report");
  EXPECT_EQ(shipped.Body, "please find the bug report attached");
  EXPECT_EQ(shipped.Sender, "") << "no MailFrom and no MailAddr";
  TICrashFields fields = SendFields(*settings, shipped);
  ASSERT_EQ(fields.Count(), 2);
  EXPECT_EQ(fields.Name(0), "MailSubject");
  EXPECT_EQ(fields.Name(1), "MailBody");

  settings->SetMailAddr("dev@example.org; qa@example.org");
  settings->SetMailSubj("crash: %exceptMsg%");
  settings->SetAddFields("Build=17|Channel=beta");
  TSendTexts t = PrepareSendTexts(*settings, kReport);
  EXPECT_EQ(t.Sender, "Zentrapix <dev@example.org>");
  EXPECT_EQ(t.Subject, "crash: Access violation at address 00401234. Read of address 00000000.");
  fields = SendFields(*settings, t);
  std::vector<std::string> names;
  for (int i = 0; i < fields.Count(); ++i) names.push_back(fields.Name(i));
  EXPECT_EQ(names, (std::vector<std::string>{"Build", "Channel", "MailFrom", "MailSubject", "MailBody", "MailAddr"}));
  EXPECT_EQ(fields.Values("MailAddr"), "dev@example.org, qa@example.org");
  settings->SetMailFrom("me@example.org");
  EXPECT_EQ(PrepareSendTexts(*settings, kReport).Sender, "me@example.org");
}

TEST_F(ReportDeliveryTest, UploadCarriesReportFileScreenshotAndCleansUp) {
  TTestServer server("upload_server.py");
  UseServer(server);
  // The saved file sits next to the program, read-only; the send appends this report to a copy.
  const std::string bugFile = server.File("bugreport.txt");
  std::ofstream(bugFile, std::ios::binary) << "an earlier report\r\n";
  test::MakeReadOnly(bugFile);
  TSendRequest r = Request();
  r.Screenshot = Picture();

  ASSERT_TRUE(SendBugReport(r));
  // The copy is the file as the save rules will leave it after this report.
  EXPECT_EQ(server.Read("request-1.file.BugReport"),
            MergeBugReport("an earlier report\r\n", kReport, BugRepFileRules(*settings)));
  EXPECT_NE(server.Read("request-1.file.BugReport")->find("an earlier report\r\n"), std::string::npos);
  EXPECT_EQ(server.Read("request-1.filename.BugReport"), "bugreport.txt");
  EXPECT_EQ(server.Read("request-1.file.ScreenShot"), Picture().SaveToPNGBytes(8));
  EXPECT_EQ(server.Read("request-1.filename.ScreenShot"), "screenshot.png");
  EXPECT_EQ(server.Read("request-1.field.MailSubject"), "bug report");
  EXPECT_EQ(record.SentMarks, 1);
  EXPECT_FALSE(FileSizeOf(bugFile)) << "the sent file is deleted, read-only or not";
  EXPECT_FALSE(FileSizeOf(server.File("temp-screenShot.png")));
  EXPECT_TRUE(system->Failures.empty());
  EXPECT_EQ(system->Progress.Events, (std::vector<std::string>{"open Sending bug report... modal", "close"}));
  std::vector<std::string> texts;
  for (auto& s : system->Progress.Steps) texts.push_back(s.Text);
  EXPECT_EQ(texts, (std::vector<std::string>{"Preparing attachments...", "Connecting to server...", "Setting fields...",
                                             "Sending attachments...", "Finalizing..."}));
  EXPECT_EQ(system->Progress.Entered,
            (std::vector<TSendStep>{TSendStep::PrepareAttachments, TSendStep::Connect, TSendStep::Fields,
                                    TSendStep::Attachments, TSendStep::Final}));
}

TEST_F(ReportDeliveryTest, SavedRecordIsNotAppendedTwiceAndFalseFileFlagSendsReportAlone) {
  TTestServer server("upload_server.py");
  UseServer(server);
  const std::string bugFile = server.File("bugreport.txt");

  std::ofstream(bugFile, std::ios::binary) << "saved already\r\n";
  record.SavedAlready = true;
  ASSERT_TRUE(SendBugReport(Request()));
  EXPECT_EQ(server.Read("request-1.file.BugReport"), "saved already\r\n");

  std::ofstream(bugFile, std::ios::binary) << "kept\r\n";
  settings->SetAttachBugRepFile(false);
  ASSERT_TRUE(SendBugReport(Request()));
  EXPECT_EQ(server.Read("request-2.file.BugReport"), kReport);
  EXPECT_TRUE(FileSizeOf(bugFile)) << "a file that was not sent stays";
}

TEST_F(ReportDeliveryTest, FailureShowsTheBoxUnlessHidden) {
  TTestServer server("upload_server.py", {"--answer", "500"});
  UseServer(server);
  std::ofstream(server.File("bugreport.txt"), std::ios::binary) << "old\r\n";

  EXPECT_FALSE(SendBugReport(Request()));
  EXPECT_EQ(system->Failures, (std::vector<std::string>{"Sorry, sending the bug report didn't work."}));
  EXPECT_TRUE(FileSizeOf(server.File("bugreport.txt"))) << "nothing is deleted after a failure";
  EXPECT_EQ(record.SentMarks, 0);

  system = std::make_unique<TRecordingSystem>(server.File("temp-"), server.File(""));
  TSendRequest hidden = Request();
  hidden.Hidden = true;
  settings->SetMailViaMailto(true);
  EXPECT_FALSE(SendBugReport(hidden));
  EXPECT_TRUE(system->Failures.empty()) << "a hidden send shows nothing";
  EXPECT_TRUE(system->Progress.Events.empty());
  EXPECT_TRUE(system->Started.empty()) << "no mailto link for a hidden send";
}

TEST_F(ReportDeliveryTest, RefusedSecureConnectionNamesItsReasonInTheBox) {
  // Nobody trusts this server's CA here; a host without system TLS refuses every handshake.
  TTestServer server("upload_server.py", {"--tls", "untrusted"});
  UseServer(server);
  settings->SetHttpServer("https://localhost:" + std::to_string(server.Port()) + "/submit.php");

  EXPECT_FALSE(SendBugReport(Request()));
  ASSERT_EQ(system->Failures.size(), 1u);
  const std::string lead = "Sorry, sending the bug report didn't work.\n\n";
  EXPECT_EQ(system->Failures[0].substr(0, lead.size()), lead);
  EXPECT_NE(system->Failures[0].find("localhost"), std::string::npos) << system->Failures[0];
  EXPECT_EQ(server.Read("request-1.size"), "0");
  EXPECT_EQ(record.SentMarks, 0);
}

TEST_F(ReportDeliveryTest, LaterChannelsAfterAFailedUpload) {
  TTestServer server("upload_server.py", {"--answer", "500"});
  UseServer(server);
  settings->SetMailAddr("dev@example.org");
  settings->SetMailViaMapi(true);
  settings->SetMailViaMailto(true);
  TSendRequest r = Request();
  r.Screenshot = Picture();

  EXPECT_TRUE(SendBugReport(r));
  ASSERT_EQ(system->SystemMails.size(), 1u);
  EXPECT_EQ(system->SystemMails[0].Files.size(), 2u) << "the mail client gets report and screenshot";
  ASSERT_EQ(system->Started.size(), 1u);
  EXPECT_EQ(
      system->Started[0].rfind("\"C:\\mail.exe\" \"mailto:dev@example.org?subject=bug%20report&body=date%2Ftime", 0),
      0u)
      << system->Started[0];
  EXPECT_EQ(system->Started[0].back(), '"');
  EXPECT_TRUE(system->Failures.empty());

  system->Started.clear();
  system->SystemMailWorks = true;
  EXPECT_TRUE(SendBugReport(r));
  EXPECT_TRUE(system->Started.empty()) << "the mail client took it; no mailto";
}

TEST_F(ReportDeliveryTest, RedirectOpensTheAnswerPage) {
  TTestServer server("upload_server.py", {"--answer", "302", "--location", "http://127.0.0.1/thanks.php?id=3"});
  UseServer(server);
  EXPECT_TRUE(SendBugReport(Request()));
  EXPECT_EQ(system->Opened, (std::vector<std::string>{"http://127.0.0.1/thanks.php?id=3"}));
}

TEST_F(ReportDeliveryTest, BackgroundSendHandsOverItsThread) {
  TTestServer server("upload_server.py");
  UseServer(server);
  TSendRequest r = Request();
  r.Background = true;
  std::shared_ptr<TSendThread> thread;
  ASSERT_TRUE(SendBugReport(r, &thread));
  ASSERT_TRUE(thread);
  EXPECT_EQ(system->Threads, 1);
  ASSERT_TRUE(thread->Wait(10000));
  EXPECT_EQ(record.SentMarks, 1);
  EXPECT_TRUE(server.Read("request-1.file.BugReport"));
  EXPECT_EQ(system->Progress.Events.front(), "open Sending bug report...") << "not modal in the background";

  // A caller that keeps no handle is not held up either: the send waits in the progress
  // box until this thread, back from the call, lets it go.
  std::promise<void> gate;
  system->Progress.Gate = gate.get_future().share();
  ASSERT_TRUE(SendBugReport(r));
  gate.set_value();
  for (int waited = 0; record.SentMarks < 2 && waited < 10000; waited += 20) test::SleepMs(20);
  EXPECT_FALSE(system->Progress.GateTimedOut) << "the call waited for the send";
  EXPECT_EQ(record.SentMarks, 2);
  system->Progress.Gate = {};

  // With the other threads suspended, no new thread may start: the send runs here.
  r.ProcessBlocked = true;
  EXPECT_TRUE(SendBugReport(r, &thread));
  EXPECT_EQ(system->Threads, 2);
  EXPECT_EQ(record.SentMarks, 3);
  EXPECT_EQ(system->Progress.Events.back(), "close");
  EXPECT_EQ(system->Progress.Events[system->Progress.Events.size() - 2], "open Sending bug report... modal")
      << "a send that runs in the caller's thread is modal";
}

// The members of a ZIP file, read by its local headers and inflated with zlib.
std::map<std::string, std::string> UnzipMembers(const std::string& zip) {
  auto u16 = [&](size_t at) {
    return unsigned(static_cast<unsigned char>(zip[at])) | unsigned(static_cast<unsigned char>(zip[at + 1])) << 8;
  };
  auto u32 = [&](size_t at) { return std::uint32_t(u16(at)) | std::uint32_t(u16(at + 2)) << 16; };
  std::map<std::string, std::string> members;
  for (size_t at = 0; at + 30 <= zip.size() && u32(at) == 0x04034b50;) {
    std::uint32_t crc = u32(at + 14), packed = u32(at + 18), size = u32(at + 22);
    unsigned nameLength = u16(at + 26), extra = u16(at + 28);
    std::string name = zip.substr(at + 30, nameLength);
    std::string data(size, '\0');
    z_stream z{};
    inflateInit2(&z, -15);
    z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(zip.data() + at + 30 + nameLength + extra));
    z.avail_in = packed;
    z.next_out = reinterpret_cast<Bytef*>(data.data());
    z.avail_out = size;
    EXPECT_EQ(inflate(&z, Z_FINISH), Z_STREAM_END) << name;
    inflateEnd(&z);
    EXPECT_EQ(crc32(0, reinterpret_cast<const Bytef*>(data.data()), uInt(size)), crc) << name;
    members[name] = data;
    at += 30 + nameLength + extra + packed;
  }
  return members;
}

TEST_F(ReportDeliveryTest, AttachmentsSharingAnArchiveNameGoOutAsOneZip) {
  TTestServer server("upload_server.py");
  UseServer(server);
  std::ofstream(server.File("a.log"), std::ios::binary) << std::string(5000, 'a') << "end";
  std::ofstream(server.File("b.bin"), std::ios::binary) << std::string("\0\1\2\r\n", 5);
  std::ofstream(server.File("c.txt"), std::ios::binary) << "plain";
  settings->SetAddAttachs(server.File("a.log") + ">first.log>Logs>logs.zip|" + server.File("missing") +
                          ">x>Gone>logs.zip|" + server.File("c.txt") + ">c.txt>Third|" + server.File("b.bin") +
                          ">second.bin>Logs2>logs.zip");
  TPreparedAttachments prepared = PrepareAttachments(Request());
  std::vector<std::string> sent;
  for (const auto& f : prepared.Files) sent.push_back(f.FieldName + ":" + f.SendAs);
  EXPECT_EQ(sent, (std::vector<std::string>{"BugReport:bugreport.txt", "Logs:logs.zip", "Third:c.txt"}));
  auto members = UnzipMembers(*server.Read("temp-logs.zip"));
  ASSERT_EQ(members.size(), 2u) << "the missing file is not packed";
  EXPECT_EQ(members["first.log"], std::string(5000, 'a') + "end");
  EXPECT_EQ(members["second.bin"], std::string("\0\1\2\r\n", 5));
}

}  // namespace
}  // namespace vm

// The record shipped in veilmark.exe, key by key against the values the program must
// carry. The bytes come from ShippedRecordBytes(): on the host the built record file, on
// Windows the RCDATA resource of the running test program, found with the Windows
// resource functions.
#include <gtest/gtest.h>

#include "crashreport/settings/CrashSettings.h"
#include "crashreport/settings/CrashSettingsModules.h"
#include "tests/crashreport/common/ShippedRecord.h"

namespace vm {
namespace {

TCrashProperty B(const char* name, bool v) { return {name, TPropertyKind::Boolean, v, 0, {}}; }
TCrashProperty I(const char* name, int v) { return {name, TPropertyKind::Integer, false, v, {}}; }
TCrashProperty T(const char* name, const char* v) { return {name, TPropertyKind::Text, false, 0, v}; }

// clang-format off
const TCrashProperty kShipped[] = {
  // General and capture
  B("Enabled", true), T("MinDebugInfo", "$000129c4, $7c123924, $c1ecd94a"), B("NoSettings", false),
  B("CheckFileCrc", true), B("CheckFreeze", false), I("FreezeTimeout", 60000), B("PauseThreads", false),
  B("PlWaitBox", true), B("ListThreads", true), B("CpuRegs", false), B("StackDump", false),
  B("ShowDisAsm", false), B("HideUglyItems", false), B("ShowRelAddrs", true), B("ShowRelLines", true),
  B("FormatDisAsm", false), I("LimitDisAsm", 5), T("Plugins", ""),
  // Dialog and automatic actions
  B("AutoSave", true), B("AutoSaveIfNotSent", true), B("AutoSend", false), B("AutoSendBox", false),
  B("AutoClip", false), B("AutoContinue", false), I("AutoRestart", 0), I("AutoClose", 0),
  B("AutoShowBugRep", false), B("SendBtnVis", true), B("SaveBtnVis", false), B("PrintBtnVis", false),
  B("ShowBtnVis", true), B("ContinueBtnVis", true), B("RestartBtnVis", true), B("CloseBtnVis", true),
  I("FocusedBtn", 0), B("UglyBtns", true), T("SendAssis", "SendAssistant"), T("SaveAssis", "SaveAssistant"),
  T("PrintAssis", "PrintAssistant"),
  T("Assistant1", "SendAssistant|Send Assistant|ContactForm|DetailsForm|ScrShotForm"),
  T("Assistant2", "SaveAssistant|Save Assistant|ContactForm|DetailsForm"),
  T("Assistant3", "PrintAssistant|Print Assistant|ContactForm|DetailsForm"),
  // Sending and attachments
  T("MailAddr", ""), B("SendInBackgr", true), B("MailAsSmtpServer", false), B("MailAsSmtpClient", false),
  B("UploadViaHttp", true), B("MailViaMapi", false), B("MailViaMailto", false), T("SmtpServer", ""),
  I("SmtpPort", 25), T("SmtpAccount", ""), T("SmtpPassword", ""),
  T("HttpServer", "https://crashreport.quembrix.com/submit.php"), I("HttpPort", 80), T("HttpAccount", ""),
  T("HttpPassword", ""), B("AttachBugRep", true), B("AttachBugRepFile", true), B("DelBugRepFile", true),
  T("BugRepSendAs", "bugreport.txt"), T("BugRepZip", ""), I("ScrShotDepth", 8), B("ScrShotAppOnly", true),
  T("ScrShotSendAs", "screenshot.png"), T("ScrShotZip", ""), T("AddAttachs", ""),
  // Bug-report file and duplicates
  T("BugRepFile", "bugreport.txt"), B("AppendBugReps", true), I("BugRepFileSize", 100000),
  B("NoDupExcepts", true), B("NoDupFreezes", true), I("DupExceptDef", 1), I("DupFreezeDef", 2),
  // Filters
  T("F1Classes", "EDBEditError"), B("F1NoBugRep", true), B("F1NoScrShot", true), B("F1NoHandlers", true),
  B("F1NoSuspend", true), I("F1ShowCfg", 3), T("F1Assis", ""),
  T("F2Classes", ""), B("F2NoBugRep", false), B("F2NoScrShot", false), B("F2NoHandlers", false),
  B("F2NoSuspend", false), I("F2ShowCfg", 0), T("F2Assis", ""),
  B("GnNoBugRep", false), B("GnNoScrShot", false), B("GnNoHandlers", false), B("GnNoSuspend", false),
  I("GnShowCfg", 0), T("GnAssis", ""),
  // Texts
  T("TitleBar", "%appname%"), T("ExceptMsg", "An error occurred in the application."),
  T("FrozenMsg", "The application seems to be frozen."),
  T("BitFaultMsg", "The file \"%modname%\" seems to be corrupt!"), T("SendBtnTxt", "send bug report"),
  T("SaveBtnTxt", "save bug report"), T("PrintBtnTxt", "print bug report"), T("ShowBtnTxt", "show bug report"),
  T("ContinueBtnTxt", "continue application"), T("RestartBtnTxt", "restart application"),
  T("CloseBtnTxt", "close application"), T("OkBtnTxt", "&OK"), T("DetailsBtnTxt", "&Details"),
  T("PlWaitTitle", "Information"), T("PlWaitText", "Please wait a moment..."), T("MailSubj", "bug report"),
  T("MailBody", "please find the bug report attached"), T("SendBoxTitle", "Sending bug report..."),
  T("PrepAttMsg", "Preparing attachments..."), T("MxLookMsg", "Searching for mail server..."),
  T("ConnMsg", "Connecting to server..."), T("AuthMsg", "Authentication..."), T("SendMailMsg", "Sending mail..."),
  T("FieldMsg", "Setting fields..."), T("SendAttMsg", "Sending attachments..."),
  T("SendFinalMsg", "Finalizing..."), T("SendFailMsg", "Sorry, sending the bug report didn't work."),
};
// clang-format on

TEST(ShippedRecord, CarriesEveryKeyWithItsValueAndNothingElse) {
  std::optional<std::string> bytes = ShippedRecordBytes();
  ASSERT_TRUE(bytes) << "no settings record found";
  TSettingsParse parse = ParseSettingsStream(*bytes);
  ASSERT_TRUE(parse.HasPrefix);
  EXPECT_EQ(SettingsStreamError(parse), "");
  ASSERT_EQ(parse.Properties.Count(), int(std::size(kShipped)));
  for (const TCrashProperty& expected : kShipped) {
    const TCrashProperty* found = parse.Properties.Find(expected.Name);
    ASSERT_NE(found, nullptr) << expected.Name;
    EXPECT_EQ(*found, expected) << expected.Name;
  }
  for (const char* absent : {"AutoDelay", "MailFrom", "AddFields", "VersionVar"})
    EXPECT_EQ(parse.Properties.Find(absent), nullptr) << absent;
}

}  // namespace
}  // namespace vm

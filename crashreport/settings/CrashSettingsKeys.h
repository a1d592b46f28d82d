// Every key the crash reporter knows, with its kind and its built-in default: the one list
// from which the defaults table and the typed getters and setters are generated.
// B(name, default) boolean, I(name, default) integer, T(name, default) text.
//
// The defaults serve a module whose record lacks a key, or that has no record at all. They
// follow the shipped record where a value is harmless for any module, and differ where a
// module without its own record must not inherit this program's choices:
//   Enabled false        no record, no reporter
//   MinDebugInfo ""      no debug-information resource is known
//   HttpServer ""        and UploadViaHttp false: never send another module's reports to our server
//   F1Classes ""         the edit-error filter belongs to this program; defaults filter nothing
//   F1... false, F1ShowCfg 0
// The keys the shipped record does not carry: AutoDelay 60, MailFrom "", AddFields "",
// VersionVar 0.
#pragma once

#define VM_CRASH_SETTINGS_GENERAL(B, I, T) \
  B(Enabled, false)                        \
  T(MinDebugInfo, "")                      \
  B(NoSettings, false)                     \
  B(CheckFileCrc, true)                    \
  B(CheckFreeze, false)                    \
  I(FreezeTimeout, 60000)                  \
  B(PauseThreads, false)                   \
  B(PlWaitBox, true)                       \
  B(ListThreads, true)                     \
  B(CpuRegs, false)                        \
  B(StackDump, false)                      \
  B(ShowDisAsm, false)                     \
  B(HideUglyItems, false)                  \
  B(ShowRelAddrs, true)                    \
  B(ShowRelLines, true)                    \
  B(FormatDisAsm, false)                   \
  I(LimitDisAsm, 5)                        \
  T(Plugins, "")                           \
  I(AutoDelay, 60)                         \
  I(VersionVar, 0)

#define VM_CRASH_SETTINGS_DIALOG(B, I, T)                                           \
  B(AutoSave, true)                                                                 \
  B(AutoSaveIfNotSent, true)                                                        \
  B(AutoSend, false)                                                                \
  B(AutoSendBox, false)                                                             \
  B(AutoClip, false)                                                                \
  B(AutoContinue, false)                                                            \
  I(AutoRestart, 0)                                                                 \
  I(AutoClose, 0)                                                                   \
  B(AutoShowBugRep, false)                                                          \
  B(SendBtnVis, true)                                                               \
  B(SaveBtnVis, false)                                                              \
  B(PrintBtnVis, false)                                                             \
  B(ShowBtnVis, true)                                                               \
  B(ContinueBtnVis, true)                                                           \
  B(RestartBtnVis, true)                                                            \
  B(CloseBtnVis, true)                                                              \
  I(FocusedBtn, 0)                                                                  \
  B(UglyBtns, true)                                                                 \
  T(SendAssis, "SendAssistant")                                                     \
  T(SaveAssis, "SaveAssistant")                                                     \
  T(PrintAssis, "PrintAssistant")                                                   \
  T(Assistant1, "SendAssistant|Send Assistant|ContactForm|DetailsForm|ScrShotForm") \
  T(Assistant2, "SaveAssistant|Save Assistant|ContactForm|DetailsForm")             \
  T(Assistant3, "PrintAssistant|Print Assistant|ContactForm|DetailsForm")

#define VM_CRASH_SETTINGS_SENDING(B, I, T) \
  T(MailAddr, "")                          \
  T(MailFrom, "")                          \
  B(SendInBackgr, true)                    \
  B(MailAsSmtpServer, false)               \
  B(MailAsSmtpClient, false)               \
  B(UploadViaHttp, false)                  \
  B(MailViaMapi, false)                    \
  B(MailViaMailto, false)                  \
  T(SmtpServer, "")                        \
  I(SmtpPort, 25)                          \
  T(SmtpAccount, "")                       \
  T(SmtpPassword, "")                      \
  T(HttpServer, "")                        \
  I(HttpPort, 80)                          \
  T(HttpAccount, "")                       \
  T(HttpPassword, "")                      \
  B(AttachBugRep, true)                    \
  B(AttachBugRepFile, true)                \
  B(DelBugRepFile, true)                   \
  T(BugRepSendAs, "bugreport.txt")         \
  T(BugRepZip, "")                         \
  I(ScrShotDepth, 8)                       \
  B(ScrShotAppOnly, true)                  \
  T(ScrShotSendAs, "screenshot.png")       \
  T(ScrShotZip, "")                        \
  T(AddAttachs, "")                        \
  T(AddFields, "")

#define VM_CRASH_SETTINGS_BUGREPORT(B, I, T) \
  T(BugRepFile, "bugreport.txt")             \
  B(AppendBugReps, true)                     \
  I(BugRepFileSize, 100000)                  \
  B(NoDupExcepts, true)                      \
  B(NoDupFreezes, true)                      \
  I(DupExceptDef, 1)                         \
  I(DupFreezeDef, 2)

#define VM_CRASH_SETTINGS_FILTER(B, I, T, prefix) \
  B(prefix##NoBugRep, false)                      \
  B(prefix##NoScrShot, false)                     \
  B(prefix##NoHandlers, false)                    \
  B(prefix##NoSuspend, false)                     \
  I(prefix##ShowCfg, 0)                           \
  T(prefix##Assis, "")

#define VM_CRASH_SETTINGS_FILTERS(B, I, T) \
  T(F1Classes, "")                         \
  VM_CRASH_SETTINGS_FILTER(B, I, T, F1)    \
  T(F2Classes, "")                         \
  VM_CRASH_SETTINGS_FILTER(B, I, T, F2)    \
  VM_CRASH_SETTINGS_FILTER(B, I, T, Gn)

#define VM_CRASH_SETTINGS_TEXTS(B, I, T)                        \
  T(TitleBar, "%appname%")                                      \
  T(ExceptMsg, "An error occurred in the application.")         \
  T(FrozenMsg, "The application seems to be frozen.")           \
  T(BitFaultMsg, "The file \"%modname%\" seems to be corrupt!") \
  T(SendBtnTxt, "send bug report")                              \
  T(SaveBtnTxt, "save bug report")                              \
  T(PrintBtnTxt, "print bug report")                            \
  T(ShowBtnTxt, "show bug report")                              \
  T(ContinueBtnTxt, "continue application")                     \
  T(RestartBtnTxt, "restart application")                       \
  T(CloseBtnTxt, "close application")                           \
  T(OkBtnTxt, "&OK")                                            \
  T(DetailsBtnTxt, "&Details")                                  \
  T(PlWaitTitle, "Information")                                 \
  T(PlWaitText, "Please wait a moment...")                      \
  T(MailSubj, "bug report")                                     \
  T(MailBody, "please find the bug report attached")            \
  T(SendBoxTitle, "Sending bug report...")                      \
  T(PrepAttMsg, "Preparing attachments...")                     \
  T(MxLookMsg, "Searching for mail server...")                  \
  T(ConnMsg, "Connecting to server...")                         \
  T(AuthMsg, "Authentication...")                               \
  T(SendMailMsg, "Sending mail...")                             \
  T(FieldMsg, "Setting fields...")                              \
  T(SendAttMsg, "Sending attachments...")                       \
  T(SendFinalMsg, "Finalizing...")                              \
  T(SendFailMsg, "Sorry, sending the bug report didn't work.")

#define VM_CRASH_SETTINGS(B, I, T)     \
  VM_CRASH_SETTINGS_GENERAL(B, I, T)   \
  VM_CRASH_SETTINGS_DIALOG(B, I, T)    \
  VM_CRASH_SETTINGS_SENDING(B, I, T)   \
  VM_CRASH_SETTINGS_BUGREPORT(B, I, T) \
  VM_CRASH_SETTINGS_FILTERS(B, I, T)   \
  VM_CRASH_SETTINGS_TEXTS(B, I, T)

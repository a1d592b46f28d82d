// What the handler thread does with one hand-over record: the Win32 side of each effect
// that TReportFlow (ReportFlow.h) decides, in its order: the exception's settings and
// filters, the registered handlers, pausing the other threads, the screenshot, the report
// with the stacks of every thread, the sends, the error dialog (or the simple box, or an
// assistant) with its Send, Save and Print buttons, saving, and close, restart or go on.
#include <windows.h>
// After windows.h:
#include <commdlg.h>
#include <tlhelp32.h>

#include <algorithm>
#include <atomic>
#include <ctime>
#include <memory>
#include <optional>

#include "base/Exception.h"
#include "base/FileIO.h"
#include "crashreport/CrashReporter.h"
#include "crashreport/capture/Capture_win32.h"
#include "crashreport/capture/ReportFlow.h"
#include "crashreport/delivery/DeliverySystem.h"
#include "crashreport/delivery/ReportDelivery.h"
#include "crashreport/dialog/Assistant_win32.h"
#include "crashreport/dialog/Clipboard_win32.h"
#include "crashreport/dialog/ExceptionBox_win32.h"
#include "crashreport/report/BugReportFile.h"
#include "crashreport/report/CrashException.h"
#include "crashreport/report/HeaderFacts.h"
#include "crashreport/report/ReportText.h"
#include "crashreport/screenshot/ScreenCapture.h"
#include "crashreport/screenshot/ScreenshotEncoding.h"
#include "crashreport/settings/CrashSettings.h"
#include "crashreport/settings/CrashSettingsFilters.h"
#include "crashreport/settings/CrashSettingsSystem.h"

namespace vm::capture {

namespace {

std::int64_t UtcSeconds() { return std::int64_t(std::time(nullptr)); }

// Suspends every thread of the process but the reporter's and the crashed one.
std::vector<HANDLE> SuspendOtherThreads(DWORD crashed) {
  std::vector<HANDLE> paused;
  HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPTHREAD, 0);
  if (snapshot == INVALID_HANDLE_VALUE) return paused;
  THREADENTRY32 e{};
  e.dwSize = sizeof e;
  for (BOOL ok = Thread32First(snapshot, &e); ok; ok = Thread32Next(snapshot, &e)) {
    if (e.th32OwnerProcessID != GetCurrentProcessId() || e.th32ThreadID == HandlerThreadId() ||
        e.th32ThreadID == crashed)
      continue;
    // The reporter's own threads (the stall watchdog among them) go on: it needs them.
    if (auto named = LookUpThread(e.th32ThreadID); named && named->Name == "-") continue;
    HANDLE h = OpenThread(THREAD_SUSPEND_RESUME, FALSE, e.th32ThreadID);
    if (h && SuspendThread(h) != DWORD(-1))
      paused.push_back(h);
    else if (h)
      CloseHandle(h);
  }
  CloseHandle(snapshot);
  return paused;
}

// The picture comes back for a send; none when the settings' depth asks for no screenshot.
std::optional<TINVBitmap> TakeScreenshotFor(const ICrashSettings& settings) {
  auto picture = TakeScreenshot(settings.ScrShotAppOnly());
  TPngMode mode = PngModeFromDepth(settings.ScrShotDepth());
  if (!picture || mode.Kind == TPngMode::TKind::None) return std::nullopt;
  std::string folder = ReporterTempFolder();
  CreateFolder(folder);
  const std::string file = folder + "\\screenShot.png";
  try {
    WriteFileCreate(file, EncodeScreenshotPng(*picture, mode));
  } catch (const Exception&) {
    RemoveFile(file);  // a screenshot cut short is no screenshot
  }
  return picture;
}

// What an automatic send of one record shares with the handler: saved and sent marks, and
// its own copy of the record's settings, so that a send still running after the program
// decided to go on never reads settings that are gone.
struct TAutoSend : IDeliveryRecord {
  explicit TAutoSend(const TICrashSettings& s) : Settings(s), Report(CurrentReport()) {}
  bool Saved() const override { return IsSaved; }
  void MarkSent() override {
    IsSent = true;
    MarkReportSent(Report);
  }
  TICrashSettings Settings;
  unsigned Report;  // the report this send carries: a late end must not mark the next one
  std::atomic<bool> IsSaved{false}, IsSent{false};
  std::shared_ptr<TSendThread> Thread;
};
// Sends that may still run; only the handler thread touches the list.
constinit TEverLasting<std::vector<std::unique_ptr<TAutoSend>>> AutoSendList;
std::vector<std::unique_ptr<TAutoSend>>& AutoSends = AutoSendList.Value;
// A send ends within its own limits (connect, each piece, the answer: 7 s each); this
// bounds the wait before closing or restarting should one of them hang anyway.
constexpr int kSendWaitMs = 60000;

void ForgetFinishedSends() {
  std::erase_if(AutoSends, [](const auto& send) { return !send->Thread || send->Thread->Wait(0); });
}

// Hands the finished report to delivery as a hidden send in the background; the send
// runs in this thread when other threads are paused (a new thread might wait on them).
std::unique_ptr<TAutoSend> StartHiddenSend(const TICrashSettings& settings, const std::string& report,
                                           const std::optional<TINVBitmap>& picture, bool threadsPaused) {
  auto send = std::make_unique<TAutoSend>(settings);
  TSendRequest request;
  request.BugReport = report;
  request.Screenshot = picture;
  request.Settings = &send->Settings;
  request.Record = send.get();
  request.Background = true;
  request.Hidden = true;
  request.ProcessBlocked = threadsPaused;
  SendBugReport(request, &send->Thread);
  return send;
}

// A send the user asked for: the report with the screenshot when it is attached, shown
// with the progress box, in the background when the settings say so.
std::unique_ptr<TAutoSend> StartUserSend(TICrashException& record, HWND owner, bool threadsPaused) {
  auto send = std::make_unique<TAutoSend>(record);
  TSendRequest request;
  request.BugReport = record.BugReport();
  if (record.AttachScreenshot()) request.Screenshot = record.Screenshot();
  request.ParentWindow = reinterpret_cast<std::uintptr_t>(owner);
  request.Settings = &send->Settings;
  request.Record = send.get();
  request.Background = record.SendInBackgr() && !threadsPaused;
  request.ProcessBlocked = threadsPaused;
  SendBugReport(request, &send->Thread);
  return send;
}

// The save button: the file dialog, starting at the bug-report file's place.
bool SaveThroughFileDialog(TICrashException& record, HWND owner) {
  std::string path = BugRepFilePath(record, FolderOf(ProgramPath()));
  char file[MAX_PATH] = "";
  lstrcpynA(file, path.c_str(), MAX_PATH);
  OPENFILENAMEA ofn{};
  ofn.lStructSize = sizeof ofn;
  ofn.hwndOwner = owner;
  ofn.lpstrFilter = "Text files (*.txt)\0*.txt\0All files\0*.*\0";
  ofn.lpstrFile = file;
  ofn.nMaxFile = MAX_PATH;
  ofn.lpstrDefExt = "txt";
  ofn.Flags = OFN_OVERWRITEPROMPT | OFN_PATHMUSTEXIST | OFN_NOCHANGEDIR;
  if (!GetSaveFileNameA(&ofn)) return false;
  if (SaveBugReport(file, record.BugReport(), BugRepFileRules(record)) == TSaveResult::Saved) return true;
  MessageBeep(MB_ICONHAND);
  return false;
}

THandlerAction HandlerActionOf(dialog::TBoxAction action) {
  using A = dialog::TBoxAction;
  switch (action) {
    case A::Send:
      return THandlerAction::Send;
    case A::Save:
      return THandlerAction::Save;
    case A::Print:
      return THandlerAction::Print;
    case A::Show:
      return THandlerAction::ShowBugReport;
    case A::Continue:
      return THandlerAction::Continue;
    case A::Restart:
      return THandlerAction::Restart;
    case A::Close:
      return THandlerAction::CloseApplication;
    case A::Help:
      break;
  }
  return THandlerAction::Help;
}

// The show step by the filter's show mode: an assistant alone, the simple box, or the full
// dialog (reopened with the details view on request). What ends it comes back.
dialog::TButton ShowRecord(TICrashException& record, const TCrashFilterResult& filter, bool frozen, bool canContinue,
                           const dialog::TAutoActions& autos, const dialog::TBoxActions& actions) {
  using dialog::TButton;
  if (filter.ShowMode == TShowMode::Assistant && RunAssistant(filter.Assistant, record, nullptr) != arNotFound)
    return dialog::ContinueAction(canContinue);
  dialog::TBoxOptions options;
  options.CanContinue = canContinue;
  options.Frozen = frozen;
  options.Autos = autos;
  options.SimpleBox = filter.ShowMode == TShowMode::OkDetailsBox || filter.ShowMode == TShowMode::OkBox;
  options.DetailsButton = filter.ShowMode == TShowMode::OkDetailsBox;
  for (;;) {
    TButton outcome = dialog::RunExceptionBox(record, options, actions);
    if (outcome != TButton::Show) return outcome;
    // Reopened with the details view: no countdown runs in it.
    record.SetAutoContinue(false);
    record.SetAutoRestart(0);
    record.SetAutoClose(0);
    options = {};
    options.CanContinue = canContinue;
    options.Frozen = frozen;
    options.DetailsOpen = true;
    options.FirstShowing = false;
  }
}

// What is known before anything is composed: the exception and the faulting thread's raw stack.
std::string MinimalText(const TExceptionFacts& facts, const SYSTEMTIME& when, const THandoverRecord& r) {
  TMinimalReport minimal;
  minimal.Time = {when.wYear, when.wMonth, when.wDay, when.wHour, when.wMinute, when.wSecond, when.wMilliseconds};
  minimal.Freeze = facts.Type == TExceptionType::Freeze;
  minimal.ClassName = facts.ClassName;
  minimal.Message = minimal.Freeze ? DefaultFrozenMsg() : facts.Message;
  minimal.Thread.Id = minimal.Freeze ? facts.MainThreadId : facts.CrashedThreadId;
  if (auto named = LookUpThread(minimal.Thread.Id)) minimal.Thread.Name = named->Name;
  if (r.Context && !minimal.Freeze)
    for (std::uintptr_t address : RawStack(*reinterpret_cast<const CONTEXT*>(r.Context)))
      minimal.Addresses.push_back(address);
  return MinimalReportText(minimal);
}

// The record of one exception; with `withReport` its report: header at once, then every
// thread's stack, then the checksums. The record's private settings copy decides what it holds.
std::unique_ptr<TICrashException> BuildRecord(const TICrashSettings& settings, TExceptionFacts facts,
                                              const SYSTEMTIME& when, const THandoverRecord& r, bool withReport) {
  if (!withReport) return std::make_unique<TICrashException>(settings, facts);
  THeaderRequest request;
  request.ExceptionTime = {when.wYear,   when.wMonth,  when.wDay,         when.wHour,
                           when.wMinute, when.wSecond, when.wMilliseconds};
  request.SettingsModule = settings.Module();
  request.Version = settings.DisplayVersion();
  if (request.Version == "?") request.Version.clear();
  // Every capture point hands over a context: the fault's, or its own registers.
  CONTEXT none{};
  const CONTEXT& context = r.Context ? *reinterpret_cast<const CONTEXT*>(r.Context) : none;
  // A freeze is the main thread's: its stack is walked where it stands, suspended meanwhile.
  const bool freeze = facts.Type == TExceptionType::Freeze;
  std::vector<TThreadFacts> walked =
      freeze ? CaptureThreads(facts.MainThreadId, nullptr, facts.MainThreadId, {HandlerThreadId()}, true)
             : CaptureThreads(facts.CrashedThreadId, &context, facts.MainThreadId, {HandlerThreadId()}, true);
  if (freeze && !walked.empty()) facts.Location = walked.front().Thread.Current;
  // A caught exception's registers are the reporter's own: its frames are no part of the
  // program's stack, and the first frame after them is where the exception was handed over.
  if (r.ExceptionObject && !walked.empty()) {
    auto& items = walked.front().Items;
    while (items.size() > 1 && (items.front().Unit == "Reporter_win32" || items.front().Unit == "std_function"))
      items.erase(items.begin());
    if (!items.empty()) walked.front().Thread.Current = items.front();
    facts.Location = walked.front().Thread.Current;
  }
  auto record = std::make_unique<TICrashException>(settings, facts);
  // The system's facts in one guard: a fault among them leaves the rows that need none.
  THeaderFacts header;
  header.ExceptionTime = request.ExceptionTime;
  Guarded("header", [&] { header = GatherHeaderFacts(request); });
  record->BuildHeader(header);
  std::vector<TThreadRecord> threads;
  for (const TThreadFacts& t : walked) threads.push_back(t.Thread);
  record->BuildSections(threads);
  PublishReport(record->BugReport(), false);
  const auto& reported = record->ReportedThreads();
  for (size_t i = 0; i < reported.size(); ++i) {
    for (const TThreadFacts& t : walked) {
      if (t.Thread.Id != reported[i].Id) continue;
      if (t.Failure)
        record->SetThreadInternalError(int(i), t.Failure->Step, t.Failure->OwnStack);
      else if (t.StackReadable)
        record->SetThreadStack(int(i), t.Items);
      else
        record->SetThreadNotAccessible(int(i));
    }
  }
  record->Complete();
  return record;
}

// The Win32 side of one exception's flow: what each effect does, and what it keeps for the
// effects after it (the settings, the paused threads, the record and its sends).
class TRecordEffects final : public IReportEffects {
public:
  explicit TRecordEffects(const THandoverRecord& r);

  void BeginReport() override;
  TFlowSettings ReadSettings() override;
  std::int64_t Now() override { return UtcSeconds(); }
  void KeepReport() override {
    RetargetReport(BugRepFilePath(*FSettings, FolderOf(ProgramPath())), BugRepFileRules(*FSettings));
  }
  void EndReport() override { capture::EndReport(); }
  bool CallHandlers(THandlerPhase phase, bool handled) override;
  void PauseOtherThreads() override { FPaused = SuspendOtherThreads(FFacts.CrashedThreadId); }
  void ResumeThreads() override;
  void TakeScreenshot() override;
  bool BuildRecord(bool withReport) override;
  void PublishReport() override { capture::PublishReport(FReport, true); }
  void StartAutoSend() override;
  void CopyToClipboard() override { CopyTextToClipboard(nullptr, FReport); }
  TShowOutcome Show(const dialog::TAutoActions& autos) override;
  bool AnySent() override {
    return std::any_of(FSends.begin(), FSends.end(), [](TAutoSend* s) { return bool(s->IsSent); });
  }
  void AutoSave() override;
  void WaitForSends() override;
  void Close() override { TerminateProcess(GetCurrentProcess(), 1); }
  void Restart() override { RestartProgram(); }

private:
  const THandoverRecord& FHandover;
  SYSTEMTIME FWhen;
  const TCaughtException* FCaught;
  TExceptionFacts FFacts;
  std::unique_ptr<TICrashSettings> FModuleSettings;
  std::optional<TICrashSettings> FSettings;  // per-exception changes stay in this copy
  TCrashFilterResult FFilter;
  std::vector<HANDLE> FPaused;
  std::string FReport;
  std::optional<TINVBitmap> FPicture;
  // The record lives through the show step: the dialog, its details view and the
  // assistants read it and add to it.
  std::unique_ptr<TICrashException> FRecord;
  std::vector<TAutoSend*> FSends;  // this record's, automatic or asked for
};

TRecordEffects::TRecordEffects(const THandoverRecord& r)
    : FHandover(r), FCaught(reinterpret_cast<const TCaughtException*>(r.ExceptionObject)) {
  GetLocalTime(&FWhen);
  FFacts.Type = TExceptionType(r.Type);
  FFacts.Location = DescribeAddress(r.Address, false);
  FFacts.CrashedThreadId = std::uint32_t(r.ThreadId);
  FFacts.MainThreadId = ProgramMainThreadId();
  FFacts.HasContext = r.Context != 0;
  if (FCaught) {
    FFacts.ClassName = FCaught->ClassName;
    FFacts.Message = FCaught->Message;
  } else if (r.Related) {
    DescribeSystemException(*reinterpret_cast<const EXCEPTION_RECORD*>(r.Related), FFacts.ClassName, FFacts.Message);
  }
}

// Kept from here on by the program's own settings as noted at start: reading this
// exception's settings may wait for what blocks the process.
void TRecordEffects::BeginReport() {
  std::string minimal;
  Guarded("minimal report", [&] { minimal = MinimalText(FFacts, FWhen, FHandover); });
  capture::BeginReport(minimal);
}

TFlowSettings TRecordEffects::ReadSettings() {
  SetCurrentStep("the settings");
  ForgetFinishedSends();
  ClearTempFolder();
  FModuleSettings = SettingsForModule(FHandover.Module ? TModuleHandle(FHandover.Module) : CrashSystem().ExeModule());
  const TICrashSettings& settings = FSettings.emplace(*FModuleSettings);
  TClassMatcher matcher = [&](std::string_view name) {
    if (FCaught && FCaught->Error) {
      try {
        std::rethrow_exception(FCaught->Error);
      } catch (const Exception& e) {
        return e.InheritsFrom(name);
      } catch (...) {
      }
    }
    return SameClassNameImpl(name, FFacts.ClassName);
  };
  FFilter = ApplyCrashFilters(settings, matcher);
  TFlowSettings flow{FFilter.CreateBugReport, FFilter.CreateScreenshot, FFilter.SuspendThreads,
                     FFilter.CallHandlers,    settings.AutoSave(),      settings.AutoSaveIfNotSent(),
                     settings.AutoSend(),     settings.AutoClip(),      settings.AutoContinue(),
                     settings.AutoClose(),    settings.AutoRestart()};
  SetCurrentStep("");
  return flow;
}

bool TRecordEffects::CallHandlers(THandlerPhase phase, bool handled) {
  THandlerCall call{phase, FFacts.ClassName, FFacts.Message};
  call.Handled = handled;
  CallRegisteredHandlers(call);
  return call.Handled;
}

void TRecordEffects::ResumeThreads() {
  for (HANDLE h : FPaused) {
    ResumeThread(h);
    CloseHandle(h);
  }
  FPaused.clear();
}

void TRecordEffects::TakeScreenshot() {
  Guarded("screenshot", [&] { FPicture = TakeScreenshotFor(*FSettings); });
}

bool TRecordEffects::BuildRecord(bool withReport) {
  FRecord = capture::BuildRecord(*FSettings, FFacts, FWhen, FHandover, withReport);
  FRecord->SetScreenshot(FPicture);
  if (!withReport) return false;
  FReport = FRecord->BugReport();
  if (FHandover.ReportText) *reinterpret_cast<std::string*>(FHandover.ReportText) = FReport;
  return !FReport.empty();
}

void TRecordEffects::StartAutoSend() {
  AutoSends.push_back(StartHiddenSend(*FSettings, FReport, FPicture, !FPaused.empty()));
  FSends.push_back(AutoSends.back().get());
}

TShowOutcome TRecordEffects::Show(const dialog::TAutoActions& autos) {
  if (HANDLE showing = HandlerShowingEvent()) SetEvent(showing);
  TShowOutcome outcome;
  dialog::TBoxActions actions;
  actions.Tell = [&](dialog::TBoxAction action) {
    THandlerCall told{THandlerPhase::DialogAction, FFacts.ClassName, FFacts.Message};
    told.Action = HandlerActionOf(action);
    if (FFilter.CallHandlers) CallRegisteredHandlers(told);
    return told.Handled;
  };
  actions.Send = [&](HWND owner) {
    if (RunAssistant(FRecord->SendAssis(), *FRecord, owner) == arCancel) return;
    AutoSends.push_back(StartUserSend(*FRecord, owner, !FPaused.empty()));
    FSends.push_back(AutoSends.back().get());
  };
  actions.Save = [&](HWND owner) {
    if (!FPaused.empty()) {  // the file dialog needs threads that are suspended
      MessageBeep(MB_ICONHAND);
      return false;
    }
    if (RunAssistant(FRecord->SaveAssis(), *FRecord, owner) == arCancel) return false;
    if (!SaveThroughFileDialog(*FRecord, owner)) return false;
    outcome.Saved = true;
    MarkReportSaved();
    for (TAutoSend* s : FSends) s->IsSaved = true;
    std::string fixed = FRecord->BugRepFile();
    return !fixed.empty() && (fixed[0] == '\\' || (fixed.size() > 1 && fixed[1] == ':'));
  };
  actions.Print = [&](HWND owner) {
    if (RunAssistant(FRecord->PrintAssis(), *FRecord, owner) == arCancel) return;
    dialog::PrintBugReport(FRecord->BugReport(), owner);
  };
  outcome.Button =
      ShowRecord(*FRecord, FFilter, FFacts.Type == TExceptionType::Freeze, FHandover.CanContinue != 0, autos, actions);
  return outcome;
}

void TRecordEffects::AutoSave() {
  for (TAutoSend* s : FSends) s->IsSaved = true;
  if (SaveBugReport(BugRepFilePath(*FSettings, FolderOf(ProgramPath())), FRecord->BugReport(),
                    BugRepFileRules(*FSettings)) == TSaveResult::Saved)
    MarkReportSaved();
}

void TRecordEffects::WaitForSends() {
  DWORD start = GetTickCount();
  for (TAutoSend* s : FSends) {
    DWORD spent = GetTickCount() - start;
    if (s->Thread) s->Thread->Wait(spent < DWORD(kSendWaitMs) ? int(kSendWaitMs - spent) : 0);
  }
}

}  // namespace

void ProcessRecord(const THandoverRecord& r) {
  TRecordEffects effects(r);
  TReportFlow({TExceptionType(r.Type), r.CanContinue != 0}, History(), effects).Run();
}

}  // namespace vm::capture

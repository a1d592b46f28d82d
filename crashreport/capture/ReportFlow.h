// What the reporter does with one exception, and in which order: the minimal report, the
// settings and filters, the registered handlers' phases, pausing the other threads, the
// screenshot, the report, the automatic send and copy, the dialog or the automatic end,
// saving, and closing, restarting or going on. TReportFlow decides; an IReportEffects does
// (RecordEffects_win32.cpp with the Win32 mechanics, a recorder in the tests).
// Entry: TReportFlow::Run. Tests: tests/crashreport/capture/ReportFlowTest.cpp.
#pragma once

#include <cstdint>

#include "crashreport/CrashReporter.h"
#include "crashreport/capture/CaptureLayouts.h"
#include "crashreport/dialog/DialogRules.h"
#include "crashreport/report/ReportRecords.h"

namespace vm {

// What the flow reads of an exception's settings, its filters applied (the first four are
// the filter's). The defaults are the settings' own.
struct TFlowSettings {
  bool CreateBugReport = true, CreateScreenshot = false, SuspendThreads = false, CallHandlers = true;
  bool AutoSave = true, AutoSaveIfNotSent = true, AutoSend = false, AutoClip = false, AutoContinue = false;
  std::int32_t AutoClose = 0, AutoRestart = 0;  // as TExceptionHistory::AutoActionApplies reads them
};

// How the error dialog (or the assistant shown instead) ended, and whether the user saved
// the report meanwhile.
struct TShowOutcome {
  dialog::TButton Button = dialog::TButton::Continue;
  bool Saved = false;
};

class IReportEffects {
public:
  virtual ~IReportEffects() = default;
  // The minimal report, kept from now on should the handling stop.
  virtual void BeginReport() = 0;
  // The exception's own settings, read once, with its filters applied.
  virtual TFlowSettings ReadSettings() = 0;
  virtual std::int64_t Now() = 0;  // whole seconds, UTC
  // The report being kept goes to the exception's own bug-report file; EndReport drops it
  // unless it is complete and kept.
  virtual void KeepReport() = 0;
  virtual void EndReport() = 0;
  // Tells the registered handlers; `handled` is what earlier phases said. Returns whether
  // the exception is handled now.
  virtual bool CallHandlers(THandlerPhase phase, bool handled) = 0;
  virtual void PauseOtherThreads() = 0;
  virtual void ResumeThreads() = 0;
  virtual void TakeScreenshot() = 0;
  // The exception's record; with `withReport` also its report. True when it has a report text.
  virtual bool BuildRecord(bool withReport) = 0;
  // The complete report into the kept report.
  virtual void PublishReport() = 0;
  virtual void StartAutoSend() = 0;
  virtual void CopyToClipboard() = 0;
  // The dialog (or assistant) with `autos` counting down; its Send, Save and Print buttons
  // act without ending it.
  virtual TShowOutcome Show(const dialog::TAutoActions& autos) = 0;
  // True when one of this exception's sends, automatic or asked for, has been delivered.
  virtual bool AnySent() = 0;
  virtual void AutoSave() = 0;
  // Waits, within one bound, for this exception's sends that may still run.
  virtual void WaitForSends() = 0;
  // Both end the process: they return only in tests.
  virtual void Close() = 0;
  virtual void Restart() = 0;
};

// The facts of the exception that the flow depends on.
struct TFlowFacts {
  TExceptionType Type = TExceptionType::Exception;
  bool CanContinue = true;
};

class TReportFlow {
public:
  // `history` gets this exception's time (a hidden one does not count).
  TReportFlow(TFlowFacts facts, TExceptionHistory& history, IReportEffects& effects)
      : FFacts(facts), FHistory(history), FEffects(effects) {}
  void Run();

private:
  void Tell(THandlerPhase phase);
  void Compose();
  dialog::TButton ShowDialog();
  dialog::TButton AutomaticEnd();
  void End(dialog::TButton button);
  void AutoSave();
  void Finish();

  TFlowFacts FFacts;
  TExceptionHistory& FHistory;
  IReportEffects& FEffects;
  TFlowSettings FSettings;
  bool FKeepsReport = false, FHandled = false, FPaused = false, FHasReport = false, FSaved = false;
};

}  // namespace vm

// TReportFlow: see ReportFlow.h.
#include "crashreport/capture/ReportFlow.h"

namespace vm {

using dialog::TButton;

void TReportFlow::Run() {
  const bool hidden = FFacts.Type == TExceptionType::Hidden;
  if (!hidden) FEffects.BeginReport();
  FSettings = FEffects.ReadSettings();
  if (!hidden) FHistory.Push(FEffects.Now());
  // A report that the handling would save is kept from here on, whatever stops the handling.
  FKeepsReport = FSettings.CreateBugReport && FSettings.AutoSave && !hidden;
  if (FKeepsReport)
    FEffects.KeepReport();
  else
    FEffects.EndReport();

  Tell(THandlerPhase::BeforeReport);
  if (hidden) return;
  FPaused = !FHandled && FFacts.Type == TExceptionType::Exception && FSettings.SuspendThreads;
  if (FPaused) FEffects.PauseOtherThreads();
  if (!FHandled) Compose();
  if (FHandled && FFacts.CanContinue) return Finish();

  // The report is complete here: the automatic send starts before the box is shown.
  if (!FHandled && FHasReport && FSettings.AutoSend) FEffects.StartAutoSend();
  if (!FHandled && FHasReport && FSettings.AutoClip) FEffects.CopyToClipboard();
  TButton button = FHandled ? AutomaticEnd() : ShowDialog();
  if (button == TButton::Close || button == TButton::Restart) return End(button);
  Tell(THandlerPhase::Continuing);
  AutoSave();
  Finish();
}

// A handler may set the exception handled in any phase, or take it back.
void TReportFlow::Tell(THandlerPhase phase) {
  if (FSettings.CallHandlers) FHandled = FEffects.CallHandlers(phase, FHandled);
}

void TReportFlow::Compose() {
  if (FSettings.CreateScreenshot) FEffects.TakeScreenshot();
  FHasReport = FEffects.BuildRecord(FSettings.CreateBugReport);
  if (FKeepsReport) FEffects.PublishReport();
  Tell(THandlerPhase::ReportStarted);
  Tell(THandlerPhase::BeforeShow);
}

TButton TReportFlow::ShowDialog() {
  std::int64_t now = FEffects.Now();
  dialog::TAutoActions autos{FHistory.AutoActionApplies(FSettings.AutoClose, now),
                             FHistory.AutoActionApplies(FSettings.AutoRestart, now), FSettings.AutoContinue};
  TShowOutcome shown = FEffects.Show(autos);
  FSaved = FSaved || shown.Saved;
  return shown.Button;
}

// Handled by a handler but unable to go on: the automatic actions decide, else close.
TButton TReportFlow::AutomaticEnd() {
  std::int64_t now = FEffects.Now();
  bool autoClose = FHistory.AutoActionApplies(FSettings.AutoClose, now);
  bool autoRestart = FHistory.AutoActionApplies(FSettings.AutoRestart, now);
  return autoClose || !autoRestart ? TButton::Close : TButton::Restart;
}

// Before closing or restarting: the save check, then the sends that may still be running.
void TReportFlow::End(TButton button) {
  const bool close = button == TButton::Close;
  Tell(close ? THandlerPhase::Closing : THandlerPhase::Restarting);
  AutoSave();
  FEffects.WaitForSends();
  FEffects.EndReport();
  if (close)
    FEffects.Close();
  else
    FEffects.Restart();
}

// Once per report; with AutoSaveIfNotSent a report that reached its addressee stays unsaved.
void TReportFlow::AutoSave() {
  if (FSaved || !FHasReport || !FSettings.AutoSave) return;
  if (FSettings.AutoSaveIfNotSent && FEffects.AnySent()) return;
  FSaved = true;
  FEffects.AutoSave();
}

void TReportFlow::Finish() {
  FEffects.EndReport();
  if (FPaused) FEffects.ResumeThreads();
}

}  // namespace vm

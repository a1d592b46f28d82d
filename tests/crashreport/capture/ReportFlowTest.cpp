// What the reporter does with one exception, in order, from a table: the settings, the
// exception's kind, a handler that says "handled", the button that ends the dialog and
// whether a send got through, against the effects a recorder saw.
#include <gtest/gtest.h>

#include <optional>
#include <string>

#include "crashreport/capture/ReportFlow.h"

namespace vm {
namespace {

using dialog::TButton;
using T = TExceptionType;
using P = THandlerPhase;

constexpr std::int64_t kNow = 1'000'000;

struct TRow {
  const char* Why;
  TFlowSettings Settings = {};
  TExceptionType Type = T::Exception;
  bool CanContinue = true;
  std::optional<THandlerPhase> HandledAt = {};  // a handler says "handled" from this phase on
  TButton Button = TButton::Continue;           // what ends the dialog
  bool SavedInDialog = false;
  bool Sent = false;  // a send of this exception, automatic or asked for, got through
  int Recent = 0;     // earlier exceptions, one second apart
  const char* Effects;
};

const char* PhaseName(THandlerPhase phase) {
  switch (phase) {
    case P::BeforeReport:
      return "[BeforeReport]";
    case P::ReportStarted:
      return "[ReportStarted]";
    case P::BeforeShow:
      return "[BeforeShow]";
    case P::Closing:
      return "[Closing]";
    case P::Restarting:
      return "[Restarting]";
    case P::Continuing:
      return "[Continuing]";
    case P::DialogAction:
      break;
  }
  return "[DialogAction]";
}

// Writes down every effect by a short name; "[Phase]" is a call of the handlers.
class TRecorder final : public IReportEffects {
public:
  explicit TRecorder(const TRow& row) : FRow(row) {}
  std::string Seen;

  void BeginReport() override { Note("Begin"); }
  TFlowSettings ReadSettings() override {
    Note("Settings");
    return FRow.Settings;
  }
  std::int64_t Now() override { return kNow; }
  void KeepReport() override { Note("Keep"); }
  void EndReport() override { Note("End"); }
  bool CallHandlers(THandlerPhase phase, bool handled) override {
    Note(PhaseName(phase));
    return handled || phase == FRow.HandledAt;
  }
  void PauseOtherThreads() override { Note("Pause"); }
  void ResumeThreads() override { Note("Resume"); }
  void TakeScreenshot() override { Note("Screenshot"); }
  bool BuildRecord(bool withReport) override {
    Note(withReport ? "Report" : "Record");
    return withReport;
  }
  void PublishReport() override { Note("Publish"); }
  void StartAutoSend() override { Note("Send"); }
  void CopyToClipboard() override { Note("Clip"); }
  TShowOutcome Show(const dialog::TAutoActions& autos) override {
    std::string counting = std::string(autos.Close ? "close," : "") + (autos.Restart ? "restart," : "") +
                           (autos.Continue ? "continue," : "");
    Note(counting.empty() ? "Show" : "Show(" + counting.substr(0, counting.size() - 1) + ")");
    return {FRow.Button, FRow.SavedInDialog};
  }
  bool AnySent() override { return FRow.Sent; }
  void AutoSave() override { Note("Save"); }
  void WaitForSends() override { Note("Wait"); }
  void Close() override { Note("Close"); }
  void Restart() override { Note("Restart"); }

private:
  void Note(const std::string& effect) { Seen += (Seen.empty() ? "" : " ") + effect; }
  const TRow& FRow;
};

// The settings' defaults: a report, handlers called, saved automatically unless sent.
const TRow kRows[] = {
    // ---- the dialog's buttons ----
    {.Why = "continue",
     .Effects = "Begin Settings Keep [BeforeReport] Report Publish [ReportStarted] [BeforeShow] Show [Continuing] "
                "Save End"},
    {.Why = "close saves, then waits for the sends",
     .Button = TButton::Close,
     .Effects = "Begin Settings Keep [BeforeReport] Report Publish [ReportStarted] [BeforeShow] Show [Closing] "
                "Save Wait End Close"},
    {.Why = "restart saves, then waits for the sends",
     .Button = TButton::Restart,
     .Effects = "Begin Settings Keep [BeforeReport] Report Publish [ReportStarted] [BeforeShow] Show [Restarting] "
                "Save Wait End Restart"},
    {.Why = "saved from the dialog: not saved again",
     .Button = TButton::Close,
     .SavedInDialog = true,
     .Effects = "Begin Settings Keep [BeforeReport] Report Publish [ReportStarted] [BeforeShow] Show [Closing] "
                "Wait End Close"},
    {.Why = "the automatic actions count down in the dialog: the tenth exception within 30 s",
     .Settings = {.AutoContinue = true, .AutoRestart = 30},
     .Recent = 9,
     .Effects = "Begin Settings Keep [BeforeReport] Report Publish [ReportStarted] [BeforeShow] "
                "Show(restart,continue) [Continuing] Save End"},
    {.Why = "AutoClose 1 always counts down",
     .Settings = {.AutoClose = 1},
     .Effects = "Begin Settings Keep [BeforeReport] Report Publish [ReportStarted] [BeforeShow] Show(close) "
                "[Continuing] Save End"},

    // ---- automatic send, copy and save ----
    {.Why = "the automatic send starts before the dialog; delivered, the report is not saved",
     .Settings = {.AutoSend = true},
     .Sent = true,
     .Effects = "Begin Settings Keep [BeforeReport] Report Publish [ReportStarted] [BeforeShow] Send Show "
                "[Continuing] End"},
    {.Why = "a send that did not get through: saved",
     .Settings = {.AutoSend = true},
     .Effects = "Begin Settings Keep [BeforeReport] Report Publish [ReportStarted] [BeforeShow] Send Show "
                "[Continuing] Save End"},
    {.Why = "delivered, but AutoSaveIfNotSent off: saved",
     .Settings = {.AutoSaveIfNotSent = false, .AutoSend = true},
     .Sent = true,
     .Effects = "Begin Settings Keep [BeforeReport] Report Publish [ReportStarted] [BeforeShow] Send Show "
                "[Continuing] Save End"},
    {.Why = "sent by the user from the dialog, then closed: not saved",
     .Button = TButton::Close,
     .Sent = true,
     .Effects = "Begin Settings Keep [BeforeReport] Report Publish [ReportStarted] [BeforeShow] Show [Closing] "
                "Wait End Close"},
    {.Why = "copied to the clipboard after the send starts",
     .Settings = {.AutoSend = true, .AutoClip = true},
     .Effects = "Begin Settings Keep [BeforeReport] Report Publish [ReportStarted] [BeforeShow] Send Clip Show "
                "[Continuing] Save End"},
    {.Why = "AutoSave off: the report is neither kept nor saved",
     .Settings = {.AutoSave = false},
     .Button = TButton::Close,
     .Effects = "Begin Settings End [BeforeReport] Report [ReportStarted] [BeforeShow] Show [Closing] Wait "
                "End Close"},
    {.Why = "no bug report: a record for the dialog, nothing sent, copied or saved",
     .Settings = {.CreateBugReport = false, .AutoSend = true, .AutoClip = true},
     .Effects = "Begin Settings End [BeforeReport] Record [ReportStarted] [BeforeShow] Show [Continuing] End"},

    // ---- filters ----
    {.Why = "the screenshot comes before the report",
     .Settings = {.CreateScreenshot = true},
     .Effects = "Begin Settings Keep [BeforeReport] Screenshot Report Publish [ReportStarted] [BeforeShow] Show "
                "[Continuing] Save End"},
    {.Why = "other threads pause before the report and resume after going on",
     .Settings = {.SuspendThreads = true},
     .Effects = "Begin Settings Keep [BeforeReport] Pause Report Publish [ReportStarted] [BeforeShow] Show "
                "[Continuing] Save End Resume"},
    {.Why = "paused threads stay paused when the program closes",
     .Settings = {.SuspendThreads = true},
     .Button = TButton::Close,
     .Effects = "Begin Settings Keep [BeforeReport] Pause Report Publish [ReportStarted] [BeforeShow] Show "
                "[Closing] Save Wait End Close"},
    {.Why = "handlers not called",
     .Settings = {.CallHandlers = false},
     .HandledAt = P::BeforeReport,
     .Effects = "Begin Settings Keep Report Publish Show Save End"},

    // ---- a handler handled it ----
    {.Why = "handled before the report: the program goes on at once, no thread paused",
     .Settings = {.SuspendThreads = true},
     .HandledAt = P::BeforeReport,
     .Effects = "Begin Settings Keep [BeforeReport] End"},
    {.Why = "handled before the dialog: no dialog, no save, threads resumed",
     .Settings = {.SuspendThreads = true},
     .HandledAt = P::BeforeShow,
     .Effects = "Begin Settings Keep [BeforeReport] Pause Report Publish [ReportStarted] [BeforeShow] End Resume"},
    {.Why = "handled but cannot go on, no automatic action: closes",
     .CanContinue = false,
     .HandledAt = P::BeforeReport,
     .Effects = "Begin Settings Keep [BeforeReport] [Closing] Wait End Close"},
    {.Why = "handled after the report but cannot go on, AutoRestart 1: restarts, saved, never sent",
     .Settings = {.AutoSend = true, .AutoRestart = 1},
     .CanContinue = false,
     .HandledAt = P::ReportStarted,
     .Effects = "Begin Settings Keep [BeforeReport] Report Publish [ReportStarted] [BeforeShow] [Restarting] Save "
                "Wait End Restart"},
    {.Why = "close wins over restart",
     .Settings = {.AutoClose = 1, .AutoRestart = 1},
     .CanContinue = false,
     .HandledAt = P::BeforeReport,
     .Effects = "Begin Settings Keep [BeforeReport] [Closing] Wait End Close"},
    {.Why = "AutoRestart 30: the tenth exception within 30 s restarts",
     .Settings = {.AutoRestart = 30},
     .CanContinue = false,
     .HandledAt = P::BeforeReport,
     .Recent = 9,
     .Effects = "Begin Settings Keep [BeforeReport] [Restarting] Wait End Restart"},
    {.Why = "AutoRestart 30: the ninth closes",
     .Settings = {.AutoRestart = 30},
     .CanContinue = false,
     .HandledAt = P::BeforeReport,
     .Recent = 8,
     .Effects = "Begin Settings Keep [BeforeReport] [Closing] Wait End Close"},

    // ---- kinds of exception ----
    {.Why = "hidden: the first handler phase only, no report, not counted",
     .Settings = {.SuspendThreads = true, .AutoSend = true},
     .Type = T::Hidden,
     .Effects = "Settings End [BeforeReport]"},
    {.Why = "freeze: the other threads go on",
     .Settings = {.SuspendThreads = true},
     .Type = T::Freeze,
     .Effects = "Begin Settings Keep [BeforeReport] Report Publish [ReportStarted] [BeforeShow] Show [Continuing] "
                "Save End"},
};

TEST(ReportFlow, EffectsInOrder) {
  for (const TRow& row : kRows) {
    SCOPED_TRACE(row.Why);
    TExceptionHistory history;
    for (int i = row.Recent; i >= 1; --i) history.Push(kNow - i);
    TRecorder recorder(row);
    TReportFlow({row.Type, row.CanContinue}, history, recorder).Run();
    EXPECT_EQ(recorder.Seen, row.Effects);
    EXPECT_EQ(history.At(0) == kNow, row.Type != T::Hidden) << "only exceptions that are reported count";
  }
}

}  // namespace
}  // namespace vm

// The crash reporter's front door. InstallCrashReporter runs once at start, before the
// first window; from then on every exception that the program does not handle itself ends
// in the reporter: the unhandled-exception filter, the toolkit's exception funnel, the
// terminate handler, the C runtime's abort, pure-call, invalid-parameter and out-of-memory
// failures, and threads started through CreateThread, CreateRemoteThread and QueueUserWorkItem.
// Windows only (Reporter_win32.cpp). Tests: tests/crashreport/capture/ (the crash matrix).
#pragma once

#include <cstdint>
#include <exception>
#include <functional>
#include <string>

#include "crashreport/capture/CaptureLayouts.h"

namespace vm {

void InstallCrashReporter();
bool CrashReporterInstalled();
// The high-resolution counter at installation, for "program up time".
std::int64_t ReporterStartCounter();

// Hands a caught C++ exception to the reporter, as the capture points do. Returns when the
// program may go on (the exception was silent, or the settings let it continue).
void ReportCaughtException(std::exception_ptr error, TCaptureSource source, bool canContinue);

// Phases of a report that registered handlers are called in.
// DialogAction: a button of the error dialog (or F1) was pressed; `Action` says which.
enum class THandlerPhase {
  BeforeReport = 1,
  ReportStarted = 2,
  BeforeShow = 3,
  Closing = 4,
  Restarting = 5,
  Continuing = 6,
  DialogAction = 7
};
enum class THandlerAction { None, Send, Save, Print, ShowBugReport, Continue, Restart, CloseApplication, Help };
struct THandlerCall {
  THandlerPhase Phase;
  const std::string& ClassName;
  const std::string& Message;
  bool Handled = false;  // set by a handler: the program goes on without a dialog; for a
                         // dialog action: the handler did it (send, save, print, close, restart)
  THandlerAction Action = THandlerAction::None;
};
using TExceptionHandlerFn = std::function<void(THandlerCall&)>;
void RegisterExceptionHandler(TExceptionHandlerFn handler);

// How long the reporter lets a report's composition go without progress (no handler
// call or stack walk begun or ended, no processor time, no window of its own shown) before
// it saves the report as far as it got and ends the program: 30 seconds. A program whose
// handlers are known to be quick or slow may set its own.
void SetReporterStallLimit(unsigned milliseconds);

// The exception-time history of this process (taken over from a restarted predecessor).
TExceptionHistory CrashHistory();

// Enters the calling thread into the thread-name table (shown as its title in reports).
void NameCurrentThread(const std::string& name);

}  // namespace vm

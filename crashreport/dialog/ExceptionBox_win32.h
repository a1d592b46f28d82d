// The error dialog (TExceptionBox) and the simple box, built with plain window calls: they
// run on the reporter's handler thread, in a loop of their own, while the program is broken.
// The rules and the layout are in DialogRules.h; what the buttons do beyond the dialog
// (telling the handlers, sending, saving) the caller hands in as TBoxActions.
#pragma once

#include <windows.h>

#include <functional>
#include <optional>

#include "crashreport/dialog/DialogRules.h"
#include "crashreport/report/CrashException.h"

namespace vm::dialog {

struct TBoxOptions {
  bool SimpleBox = false;
  bool DetailsButton = false;  // simple box with OK and Details
  bool DetailsOpen = false;    // the reshown full dialog
  bool CanContinue = true;
  bool Frozen = false;
  bool FirstShowing = true;  // the error sound
  TAutoActions Autos;        // countdowns that apply (off in a reshown dialog)
};

struct TBoxActions {
  // Tells the handlers a button's action (help included); true when one handled it.
  std::function<bool(TBoxAction)> Tell;
  // Run while the dialog stays; `owner` is the dialog's window.
  std::function<void(HWND owner)> Send, Print;
  // True when the save button is to go (saved to a fixed absolute path).
  std::function<bool(HWND owner)> Save;
};

// Shows the dialog until it closes; returns what ends it: Continue, Restart, Close, or Show
// (reopen it with the details view).
TButton RunExceptionBox(TICrashException& record, const TBoxOptions& options, const TBoxActions& actions);

}  // namespace vm::dialog

namespace vm::dialog {

// Prints a report in a fixed-pitch font after the printer dialog; false when cancelled or
// when printing failed.
bool PrintBugReport(const std::string& report, HWND owner);

}  // namespace vm::dialog

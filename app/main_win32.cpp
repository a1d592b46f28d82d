// Veilmark's entry: installs the crash reporter, names the application for the settings
// store and the title bar, creates the main window and runs the message loop until it closes.
#include <windows.h>

#include "about/rqPathSolve.h"
#include "app/FormVeilmark_win32.h"
#include "crashreport/CrashReporter.h"
#include "settings/qbxConfig.h"
#include "toolkit/Application_win32.h"

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
  vm::InstallCrashReporter();
  // The folders are looked up once, before any window needs one.
  vm::InitPathMacros();
  vm::ConfigManager.ApplicationName = "Veilmark";
  vm::ConfigManager.SetApplication(&vm::Application);
  vm::Application.Initialize();
  vm::Application.SetTitle("Veilmark");
  vm::TformVeilmark formVeilmark;
  try {
    formVeilmark.CreateHandle();
  } catch (...) {
    vm::Application.HandleException(std::current_exception());
    return 1;
  }
  vm::Application.Run();
  return 0;
}

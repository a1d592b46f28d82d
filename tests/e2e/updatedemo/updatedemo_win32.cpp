// A program that turns the About dialog's update check on, against an update server of the
// test's choosing: arguments are the base address, the update file name and "show" (check
// while the dialog is shown) or "click" (wait for the Updates button). It trusts the
// test keys only (the current and the next one); the newest update information it accepts is
// kept under its own settings key, "Update Demo".
#include <windows.h>

#include <string>

#include "about/qbxUIDlgAbout_win32.h"
#include "about/rqPathSolve.h"
#include "settings/qbxConfig.h"
#include "tests/e2e/updatedemo/TestKey.h"
#include "toolkit/Application_win32.h"

namespace {

std::string FromHex(const std::string& hex) {
  std::string bytes;
  for (size_t i = 0; i + 1 < hex.size(); i += 2) bytes += char(std::stoi(hex.substr(i, 2), nullptr, 16));
  return bytes;
}

std::string Argument(int index) {
  int count = 0;
  LPWSTR* args = CommandLineToArgvW(GetCommandLineW(), &count);
  std::string value;
  if (args && index < count)
    for (const wchar_t* p = args[index]; *p; ++p) value += char(*p);
  LocalFree(args);
  return value;
}

}  // namespace

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
  vm::InitPathMacros();
  vm::ConfigManager.ApplicationName = "Update Demo";
  vm::AboutUpdateBase = Argument(1);
  vm::AboutUpdateName = Argument(2);
  vm::AboutUpdateKey = FromHex(kTestUpdateKeyHex);
  vm::AboutUpdateNextKey = FromHex(kTestUpdateNextKeyHex);
  vm::Application.Initialize();
  vm::Application.SetTitle("Update Demo");
  vm::ShowAbout("Update Demo", Argument(3) == "show");
  return 0;
}

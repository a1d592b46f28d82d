// A program that turns the About dialog's update check on, against an update server of the
// test's choosing: arguments are the base address, the update file name and "show" (check
// while the dialog is shown) or "click" (wait for the Updates button). It trusts the test
// key only, so a release signed with it is started and any other is not.
#include <windows.h>

#include <string>

#include "about/qbxUIDlgAbout_win32.h"
#include "about/rqPathSolve.h"
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
  vm::AboutUpdateBase = Argument(1);
  vm::AboutUpdateName = Argument(2);
  vm::AboutUpdateKey = FromHex(kTestUpdateKeyHex);
  vm::Application.Initialize();
  vm::Application.SetTitle("Update Demo");
  vm::ShowAbout("Update Demo", Argument(3) == "show");
  return 0;
}

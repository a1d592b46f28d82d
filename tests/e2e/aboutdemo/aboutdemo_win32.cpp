// A small program with version information of its own that opens the About dialog at once:
// the end-to-end tests check the dialog's caption rule, version and Translations message
// with values that veilmark.exe does not have. The first argument is the title ("-" for
// the empty title).
#include <windows.h>

#include <string>

#include "about/qbxUIDlgAbout_win32.h"
#include "toolkit/Application_win32.h"

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR commandLine, int) {
  std::string title = commandLine && *commandLine ? commandLine : "Demo Tool";
  if (title.size() >= 2 && title.front() == '"' && title.back() == '"') title = title.substr(1, title.size() - 2);
  if (title == "-") title.clear();
  vm::Application.Initialize();
  vm::Application.SetTitle(title);
  vm::ShowAbout(title, false);
  return 0;
}

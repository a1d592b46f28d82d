// Runs an assistant over a real record, for the end-to-end test (test_assistant_pages.py):
// the record is built from the settings linked into this program, as the reporter builds
// it, with a screenshot of the test display; a plain parent window stands for the dialog.
// Prints "temp=<reporter's temporary folder>" first, then after the run "result=N",
// "parent=<enabled 0|1>", "mailfrom=", "attach=", "screenshot=WxH", "header:<name>=<value>"
// for every header field and "section:<name>=<content>" for every further section (CR LF as \n).
//
//   assistantrun [NAME]      the assistant to run, "SendAssistant" by default
#include <windows.h>

#include <cstdio>
#include <string>

#include "crashreport/delivery/DeliverySystem.h"
#include "crashreport/dialog/Assistant_win32.h"
#include "crashreport/report/CrashException.h"
#include "crashreport/report/HeaderFacts.h"
#include "crashreport/screenshot/ScreenCapture.h"
#include "crashreport/settings/CrashSettings.h"

namespace {

std::string OneLine(std::string text) {
  for (size_t i = 0; (i = text.find("\r\n", i)) != std::string::npos;) text.replace(i, 2, "\\n");
  return text;
}

HWND ParentWindow() {
  WNDCLASSA wc = {};
  wc.lpfnWndProc = DefWindowProcA;
  wc.hInstance = GetModuleHandleA(nullptr);
  wc.hbrBackground = GetSysColorBrush(COLOR_APPWORKSPACE);
  wc.lpszClassName = "AssistantRunParent";
  RegisterClassA(&wc);
  HWND parent = CreateWindowExA(0, wc.lpszClassName, "Assistant run", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 40, 40, 640,
                                480, nullptr, nullptr, wc.hInstance, nullptr);
  UpdateWindow(parent);
  return parent;
}

}  // namespace

int main(int argc, char** argv) {
  using namespace vm;
  std::string name = argc > 1 ? argv[1] : "SendAssistant";
  std::printf("temp=%s\n", DeliverySystem().TempFolder().c_str());
  std::fflush(stdout);

  TICrashSettings settings(PlatformCrashSystem().ExeModule());
  TExceptionFacts facts;
  facts.ClassName = "EAccessViolation";
  facts.Message = "Access violation at address 00000000. Read of address 00000000.";
  facts.MainThreadId = facts.CrashedThreadId = GetCurrentThreadId();
  TICrashException record(settings, facts);
  THeaderRequest request;
  request.ExceptionTime = PlatformCrashSystem().Now();
  request.SettingsModule = settings.Module();
  record.BuildHeader(GatherHeaderFacts(request));
  HWND parent = ParentWindow();
  record.SetScreenshot(TakeScreenshot(false));
  record.Complete();

  int result = RunAssistant(name, record, parent);
  std::printf("result=%d\nparent=%d\nmailfrom=%s\nattach=%d\n", result, IsWindowEnabled(parent) ? 1 : 0,
              record.MailFrom().c_str(), record.AttachScreenshot() ? 1 : 0);
  const auto& picture = record.Screenshot();
  std::printf("screenshot=%dx%d\n", picture ? picture->Width() : 0, picture ? picture->Height() : 0);
  TICrashFields header = record.HeaderFields(), sections = record.Sections();
  for (int i = 0; i < header.Count(); ++i)
    std::printf("header:%s=%s\n", header.Name(i).c_str(), OneLine(header.Value(i)).c_str());
  for (int i = 0; i < sections.Count(); ++i)
    std::printf("section:%s=%s\n", sections.Name(i).c_str(), OneLine(sections.Value(i)).c_str());
  std::fflush(stdout);
  DestroyWindow(parent);
  return 0;
}

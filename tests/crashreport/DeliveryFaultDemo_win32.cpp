// delivery_fault_demo PORT FOLDER: a program that faults and uploads its report.
// It shows a window, then writes through a null pointer. Its unhandled-exception filter
// (a small one of its own: the reporter's capture is not part of this program) builds a
// short report, takes the screenshot of its window and sends both to the upload server on
// 127.0.0.1:PORT with the shipped settings. FOLDER receives what the test compares against:
// the bug-report file before the send, the report, and the screenshot's PNG bytes.
// Exit code: 0 sent, 3 not sent, 2 bad arguments.
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "base/FileIO.h"
#include "crashreport/delivery/ReportDelivery.h"
#include "crashreport/report/BugReportFile.h"
#include "crashreport/screenshot/ScreenCapture.h"
#include "crashreport/settings/CrashSettings.h"

namespace {

int port = 0;
std::string folder;

LRESULT CALLBACK DemoProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_PAINT) {
    PAINTSTRUCT ps;
    HDC dc = BeginPaint(window, &ps);
    RECT r;
    GetClientRect(window, &r);
    r.right /= 2;
    HBRUSH blue = CreateSolidBrush(RGB(0, 0, 200));
    FillRect(dc, &r, blue);
    DeleteObject(blue);
    TextOutA(dc, 10, 10, "Veilmark delivery test", 22);
    EndPaint(window, &ps);
    return 0;
  }
  return DefWindowProcA(window, message, wParam, lParam);
}

std::string Hex(std::uintptr_t value) {
  char text[32];
  std::snprintf(text, sizeof text, "%08llX", static_cast<unsigned long long>(value));
  return text;
}

LONG WINAPI Filter(EXCEPTION_POINTERS* info) {
  using namespace vm;
  const auto* record = info->ExceptionRecord;
  std::string report =
      "date/time          : 2026-01-05, 09:07:03, 45ms\r\n"
      "exception number   : 1\r\n"
      "exception class    : EAccessViolation\r\n"
      "exception message  : Access violation at address " +
      Hex(std::uintptr_t(record->ExceptionAddress)) + ". Write of address " +
      Hex(std::uintptr_t(record->ExceptionInformation[1])) + ".\r\n\r\nmain thread:\r\n" + Hex(0x401000) + " demo\r\n";
  auto settings = SettingsForModule(PlatformCrashSystem().ExeModule());
  settings->SetHttpServer("http://127.0.0.1/submit.php");
  settings->SetHttpPort(port);
  settings->SetBugRepFile(folder + "bugreport.txt");
  // The report as the capture would have saved it before, so that the send copies it.
  WriteFileCreate(folder + "bugreport.txt", "an earlier report\r\n");
  WriteFileCreate(folder + "expected-report.txt",
                  MergeBugReport("an earlier report\r\n", report, BugRepFileRules(*settings)));

  TSendRequest request;
  request.BugReport = report;
  request.Settings = settings.get();
  request.Screenshot = TakeScreenshot(settings->ScrShotAppOnly());
  request.Hidden = true;  // nobody is there to close a failure box
  if (request.Screenshot) WriteFileCreate(folder + "expected-screenshot.png", request.Screenshot->SaveToPNGBytes(8));
  if (request.Screenshot) request.Screenshot->SaveToBMPFile(folder + "expected-screenshot.bmp");
  ExitProcess(SendBugReport(request) ? 0 : 3);
}

}  // namespace

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int) {
  if (__argc != 3) return 2;
  port = std::atoi(__argv[1]);
  folder = __argv[2];
  WNDCLASSA windowClass{};
  windowClass.lpfnWndProc = DemoProc;
  windowClass.hInstance = instance;
  windowClass.hbrBackground = HBRUSH(GetStockObject(WHITE_BRUSH));
  windowClass.lpszClassName = "VmDeliveryDemo";
  RegisterClassA(&windowClass);
  HWND window = CreateWindowExA(0, "VmDeliveryDemo", "Delivery demo", WS_OVERLAPPEDWINDOW, 100, 100, 320, 200, nullptr,
                                nullptr, instance, nullptr);
  ShowWindow(window, SW_SHOWNORMAL);
  UpdateWindow(window);
  // Let the window reach the screen before the fault.
  for (DWORD end = GetTickCount() + 500; GetTickCount() < end;) {
    MSG message;
    while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) DispatchMessageA(&message);
    Sleep(20);
  }
  SetUnhandledExceptionFilter(Filter);
  *static_cast<volatile int*>(nullptr) = 1;
  return 1;
}

// details_demo PORT FOLDER REPORT NEWER: the details view and the progress box in a window
// of their own, driven from outside by details_e2e_test.py.
// The window shows REPORT (a bug-report text) in the details view; its buttons:
//   "Refresh" shows NEWER in the same view, as the dialog does when the record changes;
//   "Send"    sends REPORT over HTTP to the upload server on 127.0.0.1:PORT with the
//             progress box, then titles the window "Details demo: sent" or ": not sent";
//   "Wait"    shows the please-wait box for three seconds, as while a report is completed.
// FOLDER is where the send may keep its bug-report file. Exit code 2: bad arguments.
#include <windows.h>

#include <commctrl.h>

#include <cstdlib>
#include <exception>
#include <memory>
#include <string>

#include "base/FileIO.h"
#include "crashreport/delivery/ReportDelivery.h"
#include "crashreport/dialog/DetailsView_win32.h"
#include "crashreport/dialog/ProgressAlert_win32.h"
#include "crashreport/settings/CrashSettings.h"
#include "crashreport/settings/CrashSettingsSystem.h"

namespace {

enum { kRefresh = 101, kSend, kWait };

std::string report, newer;
std::unique_ptr<vm::TICrashSettings> settings;
std::unique_ptr<vm::TDetailsView> view;

int Dpi() {
  HDC dc = GetDC(nullptr);
  int dpi = GetDeviceCaps(dc, LOGPIXELSY);
  ReleaseDC(nullptr, dc);
  return dpi;
}

HFONT Font(const char* face) {
  return CreateFontA(-MulDiv(8, Dpi(), 72), 0, 0, 0, FW_NORMAL, FALSE, FALSE, FALSE, DEFAULT_CHARSET,
                     OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY, DEFAULT_PITCH, face);
}

void Layout(HWND window) {
  RECT client;
  GetClientRect(window, &client);
  const int button = MulDiv(26, Dpi(), 96), gap = MulDiv(8, Dpi(), 96), width = MulDiv(90, Dpi(), 96);
  RECT area{gap, gap, client.right - gap, client.bottom - 2 * gap - button};
  if (view) view->Place(area);
  for (int id = kRefresh; id <= kWait; ++id)
    MoveWindow(GetDlgItem(window, id), gap + (id - kRefresh) * (width + gap), client.bottom - gap - button, width,
               button, TRUE);
}

void Send(HWND window) {
  vm::TSendRequest request;
  request.BugReport = report;
  request.ParentWindow = reinterpret_cast<std::uintptr_t>(window);
  request.Settings = settings.get();
  const bool sent = vm::SendBugReport(request);
  SetWindowTextA(window, sent ? "Details demo: sent" : "Details demo: not sent");
}

LRESULT CALLBACK DemoProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_SIZE:
      Layout(window);
      return 0;
    case WM_COMMAND:
      if (LOWORD(wParam) == kRefresh) view->Show(newer);
      if (LOWORD(wParam) == kSend) Send(window);
      if (LOWORD(wParam) == kWait) {
        const DWORD start = GetTickCount();
        vm::InstallProgressAlert().WaitShowingPleaseWait(
            settings->PlWaitTitle(), settings->PlWaitText(), window, [&] { return GetTickCount() - start > 3000; },
            10000);
      }
      return 0;
    case WM_DESTROY:
      PostQuitMessage(0);
      return 0;
  }
  return DefWindowProcA(window, message, wParam, lParam);
}

}  // namespace

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int) {
  if (__argc != 5) return 2;
  std::string folder = __argv[2];
  try {
    report = vm::ReadFileDenyWrite(std::string(__argv[3]));
    newer = vm::ReadFileDenyWrite(std::string(__argv[4]));
  } catch (const std::exception&) {
    return 2;
  }
  if (report.empty() || newer.empty()) return 2;
  settings = vm::SettingsForModule(vm::CrashSystem().ExeModule());
  settings->SetUploadViaHttp(true);
  settings->SetHttpServer("http://127.0.0.1/submit.php");
  settings->SetHttpPort(std::atoi(__argv[1]));
  settings->SetBugRepFile(folder + "bugreport.txt");
  vm::InstallProgressAlert();

  WNDCLASSA windowClass{};
  windowClass.lpfnWndProc = DemoProc;
  windowClass.hInstance = instance;
  windowClass.hCursor = LoadCursor(nullptr, IDC_ARROW);
  windowClass.hbrBackground = GetSysColorBrush(COLOR_BTNFACE);
  windowClass.lpszClassName = "VmDetailsDemo";
  RegisterClassA(&windowClass);
  HWND window = CreateWindowExA(0, "VmDetailsDemo", "Details demo", WS_OVERLAPPEDWINDOW | WS_CLIPCHILDREN, 40, 40,
                                MulDiv(760, Dpi(), 96), MulDiv(520, Dpi(), 96), nullptr, nullptr, instance, nullptr);
  HFONT text = Font("Tahoma"), fixed = Font("Courier New");
  view = std::make_unique<vm::TDetailsView>(window, text, fixed);
  const char* captions[] = {"Refresh", "Send", "Wait"};
  for (int id = kRefresh; id <= kWait; ++id) {
    HWND b = CreateWindowExA(0, "BUTTON", captions[id - kRefresh], WS_CHILD | WS_VISIBLE | BS_PUSHBUTTON, 0, 0, 0, 0,
                             window, reinterpret_cast<HMENU>(INT_PTR(id)), instance, nullptr);
    SendMessageA(b, WM_SETFONT, reinterpret_cast<WPARAM>(text), FALSE);
  }
  Layout(window);
  view->Show(report);
  ShowWindow(window, SW_SHOWNORMAL);
  MSG message;
  while (GetMessageA(&message, nullptr, 0, 0) > 0) {
    TranslateMessage(&message);
    DispatchMessageA(&message);
  }
  view.reset();
  return 0;
}

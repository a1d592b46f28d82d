// delivery_fault_demo PORT FOLDER: a program that faults under the crash reporter, whose
// automatic send uploads the report and the screenshot.
// It installs the reporter, turns its automatic send on (in memory, for this program only)
// towards the upload server on 127.0.0.1:PORT, shows a window and writes through a null
// pointer. FOLDER holds the bug-report file the send attaches, and receives what the test
// compares against: the screenshot of the window at the moment of the report, as PNG bytes
// and as a BMP. The reporter's box ends the program (exit code 1) once the send is done.
// Exit code 2: bad arguments.
#include <windows.h>

#include <cstdlib>
#include <string>

#include "base/FileIO.h"
#include "crashreport/CrashReporter.h"
#include "crashreport/screenshot/ScreenCapture.h"
#include "crashreport/settings/CrashSettings.h"
#include "crashreport/settings/CrashSettingsSystem.h"

namespace {

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

// Once the reporter has taken its screenshot, and before its box covers anything, the same
// screen is photographed again for the test to compare the upload with.
void NoteScreenshot(vm::THandlerCall& call) {
  if (call.Phase != vm::THandlerPhase::ReportStarted) return;
  auto picture = vm::TakeScreenshot(true);
  if (!picture) return;
  vm::WriteFileCreate(folder + "expected-screenshot.png", picture->SaveToPNGBytes(8));
  picture->SaveToBMPFile(folder + "expected-screenshot.bmp");
}

// Through a volatile pointer, so that the compiler cannot see the null and emit a trap.
int* volatile NullPointer = nullptr;
__attribute__((noinline)) void WriteThroughNull() { *NullPointer = 1; }

}  // namespace

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int) {
  // PORT FOLDER [manual]: manual leaves the send to the error dialog's send button.
  if (__argc != 3 && __argc != 4) return 2;
  folder = __argv[2];
  vm::InstallCrashReporter();
  // Held while the program runs: the in-memory changes live as long as a reference does.
  static auto settings = vm::SettingsForModule(vm::CrashSystem().ExeModule());
  settings->SetAutoSend(__argc == 3);
  settings->SetAutoSave(false);  // the bug-report file is then changed by the send alone
  settings->SetHttpServer("http://127.0.0.1/submit.php");
  settings->SetHttpPort(std::atoi(__argv[1]));
  settings->SetBugRepFile(folder + "bugreport.txt");
  // A report saved before, which the send copies and appends the new one to.
  vm::WriteFileCreate(folder + "bugreport.txt", "an earlier report\r\n");
  vm::RegisterExceptionHandler(NoteScreenshot);

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
  WriteThroughNull();
  return 3;
}

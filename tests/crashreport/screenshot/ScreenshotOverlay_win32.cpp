// screenshot_overlay LEFT TOP WIDTH HEIGHT: another program's window for the capture tests.
// Shows a red, topmost, never-activated window at the given screen rectangle until it is
// sent WM_CLOSE.
#include <windows.h>

#include <cstdlib>

namespace {

LRESULT CALLBACK OverlayProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_DESTROY) {
    PostQuitMessage(0);
    return 0;
  }
  return DefWindowProcA(window, message, wParam, lParam);
}

}  // namespace

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int) {
  if (__argc != 5) return 2;
  const int left = std::atoi(__argv[1]), top = std::atoi(__argv[2]);
  const int width = std::atoi(__argv[3]), height = std::atoi(__argv[4]);
  WNDCLASSA windowClass{};
  windowClass.lpfnWndProc = OverlayProc;
  windowClass.hInstance = instance;
  windowClass.hbrBackground = CreateSolidBrush(RGB(255, 0, 0));
  windowClass.lpszClassName = "VmScreenshotOverlay";
  if (!RegisterClassA(&windowClass)) return 1;
  const HWND window =
      CreateWindowExA(WS_EX_TOPMOST | WS_EX_NOACTIVATE | WS_EX_TOOLWINDOW, "VmScreenshotOverlay", "overlay", WS_POPUP,
                      left, top, width, height, nullptr, nullptr, instance, nullptr);
  if (!window) return 1;
  ShowWindow(window, SW_SHOWNOACTIVATE);
  UpdateWindow(window);
  MSG message;
  while (GetMessageA(&message, nullptr, 0, 0) > 0) {
    TranslateMessage(&message);
    DispatchMessageA(&message);
  }
  return 0;
}

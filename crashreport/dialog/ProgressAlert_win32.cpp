#include "crashreport/dialog/ProgressAlert_win32.h"

#include <commctrl.h>

#include <algorithm>

namespace vm {

namespace {

constexpr const char* kClass = "VmProgressAlert";
constexpr int kImageSize = 48, kTextWidth = 300, kGap = 12;
constexpr int kBarRange = 1000;

HINSTANCE OwnModule() {
  HMODULE module = nullptr;
  GetModuleHandleExA(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                     reinterpret_cast<LPCSTR>(&OwnModule), &module);
  return module;
}

int ScreenDpi() {
  HDC dc = GetDC(nullptr);
  int dpi = dc ? GetDeviceCaps(dc, LOGPIXELSY) : 96;
  if (dc) ReleaseDC(nullptr, dc);
  return dpi > 0 ? dpi : 96;
}

int Scale(int value, int dpi) { return MulDiv(value, dpi, 96); }

// The drawing closest to the screen's resolution; the paint scales it the rest of the way.
HBITMAP LoadImageFor(const char* name, int dpi) {
  std::string resource = std::string(name) + (dpi >= 120 ? "144" : "");
  return static_cast<HBITMAP>(LoadImageA(OwnModule(), resource.c_str(), IMAGE_BITMAP, 0, 0, LR_CREATEDIBSECTION));
}

LRESULT CALLBACK AlertProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_PAINT) {
    PAINTSTRUCT ps;
    HDC dc = BeginPaint(window, &ps);
    auto bitmap = reinterpret_cast<HBITMAP>(GetWindowLongPtrA(window, GWLP_USERDATA));
    BITMAP info{};
    if (bitmap && GetObjectA(bitmap, sizeof info, &info)) {
      HDC source = CreateCompatibleDC(dc);
      HGDIOBJ old = SelectObject(source, bitmap);
      const int dpi = ScreenDpi(), size = Scale(kImageSize, dpi), gap = Scale(kGap, dpi);
      BLENDFUNCTION blend{AC_SRC_OVER, 0, 255, AC_SRC_ALPHA};
      AlphaBlend(dc, gap, gap, size, size, source, 0, 0, info.bmWidth, info.bmHeight, blend);
      SelectObject(source, old);
      DeleteDC(source);
    }
    EndPaint(window, &ps);
    return 0;
  }
  // The box goes when the work is done, not when the user asks.
  if (message == WM_CLOSE) return 0;
  return DefWindowProcA(window, message, wParam, lParam);
}

void RegisterAlertClass() {
  static const bool registered = [] {
    INITCOMMONCONTROLSEX controls{sizeof controls, ICC_PROGRESS_CLASS};
    InitCommonControlsEx(&controls);
    WNDCLASSA c{};
    c.lpfnWndProc = AlertProc;
    c.hInstance = OwnModule();
    c.hCursor = LoadCursor(nullptr, IDC_WAIT);
    c.hbrBackground = GetSysColorBrush(COLOR_BTNFACE);
    c.lpszClassName = kClass;
    return RegisterClassA(&c) != 0;
  }();
  (void)registered;
}

}  // namespace

TIProgressAlert::~TIProgressAlert() {
  if (FOwnerThread == GetCurrentThreadId()) Close();
}

void TIProgressAlert::Create(const std::string& title, const std::string& text, const char* image, HWND parent,
                             bool modal) {
  RegisterAlertClass();
  const int dpi = ScreenDpi(), gap = Scale(kGap, dpi), imageSize = Scale(kImageSize, dpi);
  const int textWidth = Scale(kTextWidth, dpi), lineHeight = Scale(16, dpi), barHeight = Scale(18, dpi);
  FFont = CreateFontA(-MulDiv(8, dpi, 72), 0, 0, 0, FW_NORMAL, FALSE, FALSE, FALSE, DEFAULT_CHARSET, OUT_DEFAULT_PRECIS,
                      CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY, DEFAULT_PITCH | FF_SWISS, "Tahoma");
  FBitmap = LoadImageFor(image, dpi);
  RECT client{0, 0, gap * 3 + imageSize + textWidth, gap * 2 + imageSize};
  const DWORD style = WS_POPUP | WS_CAPTION | WS_BORDER, exStyle = WS_EX_DLGMODALFRAME;
  AdjustWindowRectEx(&client, style, FALSE, exStyle);
  const int width = client.right - client.left, height = client.bottom - client.top;
  // Centred over the owner, or on the screen without one.
  RECT around{0, 0, GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN)};
  if (parent && IsWindowVisible(parent)) GetWindowRect(parent, &around);
  const int x = std::max(0, int(around.left + around.right - width) / 2);
  const int y = std::max(0, int(around.top + around.bottom - height) / 2);
  // A background send runs on a thread of its own: its box has no owner, since an owner on
  // another thread would tie the two threads' input together while the send blocks.
  FParent = parent;
  HWND owner = modal ? parent : nullptr;
  FWindow =
      CreateWindowExA(exStyle, kClass, title.c_str(), style, x, y, width, height, owner, nullptr, OwnModule(), nullptr);
  if (!FWindow) return;
  SetWindowLongPtrA(FWindow, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(FBitmap));
  const int left = gap * 2 + imageSize;
  FText = CreateWindowExA(0, "STATIC", text.c_str(), WS_CHILD | WS_VISIBLE | SS_LEFTNOWORDWRAP | SS_ENDELLIPSIS, left,
                          gap + Scale(4, dpi), textWidth, lineHeight, FWindow, nullptr, OwnModule(), nullptr);
  FBar = CreateWindowExA(0, PROGRESS_CLASSA, "", WS_CHILD | WS_VISIBLE, left, gap + imageSize - barHeight, textWidth,
                         barHeight, FWindow, nullptr, OwnModule(), nullptr);
  SendMessageA(FText, WM_SETFONT, reinterpret_cast<WPARAM>(FFont), FALSE);
  SendMessageA(FBar, PBM_SETRANGE32, 0, kBarRange);
  FPosition = -1;
  SetPosition(0);
  if (modal && parent && IsWindowEnabled(parent)) {
    EnableWindow(parent, FALSE);
    FDisabledParent = true;
  }
  ShowWindow(FWindow, SW_SHOWNORMAL);
  UpdateWindow(FWindow);
  Pump();
}

void TIProgressAlert::Open(const std::string& title, const std::vector<TProgressStep>& steps, std::uintptr_t parent,
                           bool modal) {
  DWORD none = 0;
  if (!FOwnerThread.compare_exchange_strong(none, GetCurrentThreadId())) return;  // one box at a time
  FSteps = steps;
  FWaitStart = 0;
  Create(title, steps.empty() ? std::string() : steps.front().Text, "TCRASHSENDIMG", reinterpret_cast<HWND>(parent),
         modal);
}

void TIProgressAlert::Enter(TSendStep step) {
  if (FOwnerThread != GetCurrentThreadId() || !FWindow) return;
  int total = 0, before = 0;
  bool found = false;
  for (const TProgressStep& s : FSteps) {
    if (s.Step == step) {
      found = true;
      SetText(s.Text);
      before = total;
    }
    total += std::max(0, s.Weight);
  }
  // The bar shows the work done: every step in front of the one now running.
  if (found && total > 0) SetPosition(MulDiv(before, kBarRange, total));
  Pump();
}

void TIProgressAlert::Close() {
  if (FOwnerThread != GetCurrentThreadId()) return;
  // The owner first, so that the system gives it the activation when the box goes.
  if (FDisabledParent) EnableWindow(FParent, TRUE);
  FDisabledParent = false;
  if (FWindow) DestroyWindow(FWindow);
  FWindow = FText = FBar = nullptr;
  if (FBitmap) DeleteObject(FBitmap);
  if (FFont) DeleteObject(FFont);
  FBitmap = nullptr;
  FFont = nullptr;
  FSteps.clear();
  FOwnerThread = 0;
}

void TIProgressAlert::ShowPleaseWait(const std::string& title, const std::string& text, HWND parent) {
  DWORD none = 0;
  if (!FOwnerThread.compare_exchange_strong(none, GetCurrentThreadId())) return;
  FSteps.clear();
  FWaitStart = GetTickCount();
  Create(title, text, "TCRASHWAITIMG", parent, true);
}

void TIProgressAlert::Pump() {
  if (FOwnerThread != GetCurrentThreadId()) return;
  // How long completing takes is not known: the bar creeps on, ever slower, and never fills.
  if (FWaitStart && FWindow) {
    const DWORD elapsed = GetTickCount() - FWaitStart;
    SetPosition(kBarRange - MulDiv(kBarRange, 4000, 4000 + int(std::min<DWORD>(elapsed, 1u << 24))));
  }
  MSG message;
  for (int handled = 0; handled < 200 && PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE); ++handled) {
    if (message.message == WM_QUIT) {
      PostQuitMessage(int(message.wParam));  // for the loop that owns it
      break;
    }
    TranslateMessage(&message);
    DispatchMessageA(&message);
  }
}

void TIProgressAlert::SetText(const std::string& text) {
  if (FText) SetWindowTextA(FText, text.c_str());
}

void TIProgressAlert::SetPosition(int position) {
  if (position == FPosition || !FBar) return;
  FPosition = position;
  SendMessageA(FBar, PBM_SETPOS, WPARAM(position), 0);
}

TIProgressAlert& InstallProgressAlert() {
  // Never destroyed: a send may still run while static objects end at exit.
  static TIProgressAlert* const alert = new TIProgressAlert;
  SetProgressBox(alert);
  return *alert;
}

}  // namespace vm

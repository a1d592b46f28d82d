// Covers TakeScreenshot under Wine and Xvfb: a window of ours partly covered by another
// program's window, our window minimised, and the mouse cursor over it. What was captured
// is kept as PNG files in $VM_ARTIFACTS.
#include <windows.h>

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <functional>
#include <string>
#include <thread>

#include "base/Handles_win32.h"
#include "crashreport/screenshot/ScreenCapture.h"

namespace vm {
namespace {

const TPixel kGreen = MakePixel(0, 160, 0), kWhite = MakePixel(255, 255, 255), kRed = MakePixel(255, 0, 0);
const RECT kWindow = {100, 100, 500, 400};   // ours, on the screen
const RECT kOverlay = {300, 200, 600, 450};  // the other program's, over our lower right part

void PumpMessages() {
  MSG message;
  while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
    TranslateMessage(&message);
    DispatchMessageA(&message);
  }
}

// Pumps messages until `done` holds or five seconds have passed.
bool WaitFor(const std::function<bool()>& done) {
  for (int i = 0; i < 250; ++i) {
    PumpMessages();
    if (done()) return true;
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  return false;
}

void SaveArtifact(const TINVBitmap& picture, const char* name) {
  if (const char* dir = std::getenv("VM_ARTIFACTS")) {
    CreateDirectoryA(dir, nullptr);
    picture.SaveToPNGFile(std::string(dir) + "\\" + name, 8);
  }
}

TPixel Rgb(TPixel p) { return p & 0xFFFFFF; }

class ScreenCapture : public ::testing::Test {
protected:
  void SetUp() override {
    SetCursorPos(2, 2);  // out of the way, unless a test wants it
    WNDCLASSA windowClass{};
    windowClass.lpfnWndProc = DefWindowProcA;
    windowClass.hInstance = GetModuleHandleA(nullptr);
    windowClass.hbrBackground = CreateSolidBrush(RGB(0, 160, 0));
    windowClass.hCursor = LoadCursorA(nullptr, IDC_ARROW);
    windowClass.lpszClassName = "VmScreenshotTestWindow";
    RegisterClassA(&windowClass);
    window = CreateWindowExA(0, "VmScreenshotTestWindow", "screenshot test", WS_POPUP, kWindow.left, kWindow.top,
                             kWindow.right - kWindow.left, kWindow.bottom - kWindow.top, nullptr, nullptr,
                             windowClass.hInstance, nullptr);
    ASSERT_TRUE(window);
    ShowWindow(window, SW_SHOW);
    SetForegroundWindow(window);
    UpdateWindow(window);
    ASSERT_TRUE(WaitFor([] { return ScreenPixel(300, 150) == kGreen; })) << "our window never showed";
  }

  void TearDown() override {
    if (overlayWindow) PostMessageA(overlayWindow, WM_CLOSE, 0, 0);
    if (overlay && WaitForSingleObject(overlay.get(), 5000) != WAIT_OBJECT_0) TerminateProcess(overlay.get(), 1);
    DestroyWindow(window);
    PumpMessages();
  }

  static TPixel ScreenPixel(int x, int y) {
    const HDC screen = GetDC(nullptr);
    const COLORREF c = GetPixel(screen, x, y);
    ReleaseDC(nullptr, screen);
    return MakePixel(GetRValue(c), GetGValue(c), GetBValue(c));
  }

  void StartOverlay() {
    char exe[MAX_PATH];
    GetModuleFileNameA(nullptr, exe, MAX_PATH);
    std::string path = exe;
    path = path.substr(0, path.find_last_of("\\/") + 1) + "screenshot_overlay.exe";
    std::string command = "\"" + path + "\" " + std::to_string(kOverlay.left) + " " + std::to_string(kOverlay.top) +
                          " " + std::to_string(kOverlay.right - kOverlay.left) + " " +
                          std::to_string(kOverlay.bottom - kOverlay.top);
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process{};
    ASSERT_TRUE(
        CreateProcessA(path.c_str(), command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &process))
        << path;
    CloseHandle(process.hThread);
    overlay.reset(process.hProcess);
    ASSERT_TRUE(WaitFor([this] { return (overlayWindow = FindWindowA("VmScreenshotOverlay", nullptr)) != nullptr; }));
    ASSERT_TRUE(WaitFor([] { return ScreenPixel(550, 300) == kRed; })) << "the overlay never showed";
  }

  HWND window = nullptr;
  KernelHandle overlay;
  HWND overlayWindow = nullptr;
};

TEST_F(ScreenCapture, OtherProgramsWindowComesOutWhite) {
  StartOverlay();
  const std::optional<TINVBitmap> desktop = TakeScreenshot(false);
  ASSERT_TRUE(desktop);
  SaveArtifact(*desktop, "screenshot-desktop-with-overlay.png");
  EXPECT_EQ(desktop->Width(), GetSystemMetrics(SM_CXVIRTUALSCREEN));
  EXPECT_EQ(Rgb(desktop->Pixel(550, 300)), kRed) << "the whole desktop shows the other program";
  EXPECT_EQ(Rgb(desktop->Pixel(200, 150)), kGreen);

  const std::optional<TINVBitmap> ours = TakeScreenshot(true);
  ASSERT_TRUE(ours);
  SaveArtifact(*ours, "screenshot-app-only-with-overlay.png");
  ASSERT_EQ(ours->Width(), kWindow.right - kWindow.left) << "cut to our window";
  ASSERT_EQ(ours->Height(), kWindow.bottom - kWindow.top);
  int wrong = 0;
  for (int y = 0; y < ours->Height(); ++y)
    for (int x = 0; x < ours->Width(); ++x) {
      const POINT onScreen = {x + kWindow.left, y + kWindow.top};
      const TPixel expected = PtInRect(&kOverlay, onScreen) ? kWhite : kGreen;
      if (Rgb(ours->Pixel(x, y)) != expected && ++wrong <= 5)
        ADD_FAILURE() << "pixel " << x << "," << y << " is " << std::hex << Rgb(ours->Pixel(x, y));
    }
  EXPECT_EQ(wrong, 0);
}

TEST_F(ScreenCapture, NothingWhenOurWindowIsMinimisedOrHidden) {
  ShowWindow(window, SW_MINIMIZE);
  PumpMessages();
  ASSERT_TRUE(IsIconic(window));
  EXPECT_FALSE(TakeScreenshot(true));
  EXPECT_TRUE(TakeScreenshot(false)) << "the whole desktop is still there";
  ShowWindow(window, SW_HIDE);
  PumpMessages();
  EXPECT_FALSE(TakeScreenshot(true));
}

TEST_F(ScreenCapture, CursorDrawnAtItsPosition) {
  const POINT at = {300, 250};
  SetCursorPos(at.x, at.y);
  ASSERT_TRUE(WaitFor([&] {
    POINT now;
    return GetCursorPos(&now) && now.x == at.x && now.y == at.y;
  }));
  SetCursor(LoadCursorA(nullptr, IDC_ARROW));
  const std::optional<TINVBitmap> ours = TakeScreenshot(true);
  ASSERT_TRUE(ours);
  SaveArtifact(*ours, "screenshot-with-cursor.png");
  // Only the cursor, which lies within its 32 x 32 image around the hot spot, may differ
  // from the window's colour; its outline is dark.
  const int cx = at.x - kWindow.left, cy = at.y - kWindow.top;
  int changed = 0, dark = 0, outside = 0;
  for (int y = 0; y < ours->Height(); ++y)
    for (int x = 0; x < ours->Width(); ++x) {
      const TPixel p = Rgb(ours->Pixel(x, y));
      if (p == kGreen) continue;
      ++changed;
      if (RedOf(p) + GreenOf(p) + BlueOf(p) < 96) ++dark;
      if (std::abs(x - cx) > 32 || std::abs(y - cy) > 32) ++outside;
    }
  EXPECT_GT(changed, 20) << "no cursor drawn";
  EXPECT_GT(dark, 5);
  EXPECT_EQ(outside, 0);
}

}  // namespace
}  // namespace vm

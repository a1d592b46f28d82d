// screenshot_memory: how much a faulting program's memory grows while it photographs its own
// window and encodes the picture as PNG. A measurement, not a test: it prints figures.
//
//   screenshot_memory            runs each mode in a fresh process of its own and relays them
//   screenshot_memory DEPTH      one measurement (DEPTH as `ScrShotDepth`: 8 or 4)
//
// Each measurement shows an 800 x 600 window painted with a screen-like picture, waits until
// it is on the screen, takes the process's counters, captures our windows and encodes them.
// The peak working set is the one true peak Wine keeps (its peak pagefile figure is the
// current one), so it is the headline; it may include file pages mapped on first use of GDI,
// which makes it an upper bound for the private memory used.
#include <windows.h>

#include <psapi.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>

#include "crashreport/screenshot/ScreenCapture.h"
#include "crashreport/screenshot/ScreenshotEncoding.h"
#include "tests/crashreport/screenshot/ScreenshotSamples.h"

namespace {

constexpr int kWidth = 800, kHeight = 600;
const vm::TINVBitmap* gPainting = nullptr;

LRESULT CALLBACK PaintPicture(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message != WM_PAINT) return DefWindowProcA(window, message, wParam, lParam);
  PAINTSTRUCT paint;
  const HDC dc = BeginPaint(window, &paint);
  BITMAPINFO info{};
  info.bmiHeader.biSize = sizeof info.bmiHeader;
  info.bmiHeader.biWidth = gPainting->Width();
  info.bmiHeader.biHeight = gPainting->Height();  // bottom-up, as the picture stores its rows
  info.bmiHeader.biPlanes = 1;
  info.bmiHeader.biBitCount = 32;
  info.bmiHeader.biCompression = BI_RGB;
  SetDIBitsToDevice(dc, 0, 0, DWORD(kWidth), DWORD(kHeight), 0, 0, 0, UINT(kHeight), gPainting->Bits(), &info,
                    DIB_RGB_COLORS);
  EndPaint(window, &paint);
  return 0;
}

void PumpFor(std::chrono::milliseconds time) {
  const auto end = std::chrono::steady_clock::now() + time;
  while (std::chrono::steady_clock::now() < end) {
    MSG message;
    while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) DispatchMessageA(&message);
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
}

PROCESS_MEMORY_COUNTERS_EX Counters() {
  PROCESS_MEMORY_COUNTERS_EX c{};
  c.cb = sizeof c;
  GetProcessMemoryInfo(GetCurrentProcess(), reinterpret_cast<PROCESS_MEMORY_COUNTERS*>(&c), sizeof c);
  return c;
}

double Above(SIZE_T value, SIZE_T start) { return double(value) - double(start); }

int Measure(int depth) {
  const vm::TINVBitmap painting = vm::test::ScreenLikePicture(kWidth, kHeight);
  gPainting = &painting;
  WNDCLASSA windowClass{};
  windowClass.lpfnWndProc = PaintPicture;
  windowClass.hInstance = GetModuleHandleA(nullptr);
  windowClass.lpszClassName = "VmScreenshotMemory";
  RegisterClassA(&windowClass);
  const HWND window = CreateWindowExA(0, windowClass.lpszClassName, "screenshot memory", WS_POPUP, 50, 50, kWidth,
                                      kHeight, nullptr, nullptr, windowClass.hInstance, nullptr);
  if (!window) return std::fprintf(stderr, "screenshot_memory: no window\n"), 1;
  ShowWindow(window, SW_SHOW);
  UpdateWindow(window);
  SetCursorPos(2, 2);
  PumpFor(std::chrono::milliseconds(500));

  const double picture = double(kWidth) * kHeight * 4;
  const PROCESS_MEMORY_COUNTERS_EX start = Counters();
  std::size_t pngBytes = 0;
  PROCESS_MEMORY_COUNTERS_EX captured{}, held{};
  {
    const std::optional<vm::TINVBitmap> shot = vm::TakeScreenshot(true);
    if (!shot || shot->Width() != kWidth || shot->Height() != kHeight)
      return std::fprintf(stderr, "screenshot_memory: capture failed or has the wrong size\n"), 1;
    captured = Counters();
    const std::string png = vm::EncodeScreenshotPng(*shot, vm::PngModeFromDepth(depth));
    pngBytes = png.size();
    held = Counters();
  }
  const PROCESS_MEMORY_COUNTERS_EX end = Counters();
  // Memory that one-time pools keep stays put when the work is repeated; a leak grows.
  constexpr int kRepeats = 4;
  for (int i = 0; i < kRepeats; ++i)
    if (const std::optional<vm::TINVBitmap> shot = vm::TakeScreenshot(true))
      vm::EncodeScreenshotPng(*shot, vm::PngModeFromDepth(depth));
  const PROCESS_MEMORY_COUNTERS_EX repeated = Counters();
  DestroyWindow(window);

  // Wine leaves PrivateUsage at 0 and fills PagefileUsage with the resident anonymous memory.
  const double peak = Above(end.PeakWorkingSetSize, start.WorkingSetSize);
  const double endAbove = Above(end.PagefileUsage, start.PagefileUsage);
  std::printf("memory png%d: picture %.0f peak-above-start %.0f ratio %.2f end-above-start %.0f end-ratio %.2f\n",
              depth, picture, peak, peak / picture, endAbove, endAbove / picture);
  std::printf(
      "  png %zu bytes; working set start %.0f (its peak so far %.0f), peak above start after capture "
      "%.0f, after encoding %.0f; pagefile above start after capture %+.0f, holding picture and png %+.0f, "
      "at the end %+.0f; peak pagefile before %.0f after %.0f; private %.0f\n",
      pngBytes, double(start.WorkingSetSize), double(start.PeakWorkingSetSize),
      Above(captured.PeakWorkingSetSize, start.WorkingSetSize), peak,
      Above(captured.PagefileUsage, start.PagefileUsage), Above(held.PagefileUsage, start.PagefileUsage), endAbove,
      double(start.PeakPagefileUsage), double(end.PeakPagefileUsage), double(end.PrivateUsage));
  std::printf("  after %d more runs: pagefile above start %+.0f, peak working set above start %.0f\n", kRepeats,
              Above(repeated.PagefileUsage, start.PagefileUsage),
              Above(repeated.PeakWorkingSetSize, start.WorkingSetSize));
  std::fflush(stdout);
  return 0;
}

// Each mode in a fresh process, so that one's peak is not the other's.
int MeasureEachMode() {
  char exe[MAX_PATH];
  GetModuleFileNameA(nullptr, exe, MAX_PATH);
  int failures = 0;
  for (const char* depth : {"8", "4"}) {
    std::string command = std::string("\"") + exe + "\" " + depth;
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process{};
    if (!CreateProcessA(exe, command.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr, &startup, &process)) {
      ++failures;
      continue;
    }
    WaitForSingleObject(process.hProcess, INFINITE);
    DWORD code = 1;
    GetExitCodeProcess(process.hProcess, &code);
    failures += code != 0;
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
  }
  return failures ? 1 : 0;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) return MeasureEachMode();
  return Measure(std::atoi(argv[1]));
}

#include <windows.h>

#include <algorithm>
#include <cstring>

#include "base/Handles_win32.h"
#include "crashreport/screenshot/ScreenCapture.h"

namespace vm {
namespace {

template <class H>
struct GdiTraits {
  static H Invalid() { return nullptr; }
  static void Close(H h) { DeleteObject(h); }
};
struct ScreenDCTraits {
  static HDC Invalid() { return nullptr; }
  static void Close(HDC dc) { ReleaseDC(nullptr, dc); }
};
struct MemoryDCTraits {
  static HDC Invalid() { return nullptr; }
  static void Close(HDC dc) { DeleteDC(dc); }
};
using Region = UniqueHandle<HRGN, GdiTraits<HRGN>>;
using Bitmap = UniqueHandle<HBITMAP, GdiTraits<HBITMAP>>;
using ScreenDC = UniqueHandle<HDC, ScreenDCTraits>;
using MemoryDC = UniqueHandle<HDC, MemoryDCTraits>;

// Puts an object into a DC for the guard's lifetime.
class TSelection {
public:
  TSelection(HDC dc, HGDIOBJ object) : FDC(dc), FOld(SelectObject(dc, object)) {}
  ~TSelection() { SelectObject(FDC, FOld); }
  TSelection(const TSelection&) = delete;
  TSelection& operator=(const TSelection&) = delete;

private:
  HDC FDC;
  HGDIOBJ FOld;
};

Region RectRegion(const RECT& r) { return Region(CreateRectRgnIndirect(&r)); }

// All monitors; systems without the multi-monitor metrics report the primary screen only.
RECT VirtualDesktop() {
  const int width = GetSystemMetrics(SM_CXVIRTUALSCREEN), height = GetSystemMetrics(SM_CYVIRTUALSCREEN);
  if (width > 0 && height > 0) {
    const int left = GetSystemMetrics(SM_XVIRTUALSCREEN), top = GetSystemMetrics(SM_YVIRTUALSCREEN);
    return {left, top, left + width, top + height};
  }
  return {0, 0, GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN)};
}

// Walks the top-level windows from the top of the window order down, keeping the union of
// everything seen so far: what of one of our windows lies outside it is what the user sees.
struct TWindowScan {
  DWORD ProcessId = GetCurrentProcessId();
  Region Above{CreateRectRgn(0, 0, 0, 0)};
  Region Visible{CreateRectRgn(0, 0, 0, 0)};
  RECT Bounds{};
  bool Failed = false;

  void Add(HWND window) {
    RECT r;
    // Hidden windows cover nothing, so they neither count nor hide ours.
    if (!IsWindowVisible(window) || !GetWindowRect(window, &r) || IsRectEmpty(&r)) return;
    const Region area = RectRegion(r);
    if (!area) {
      Failed = true;
      return;
    }
    DWORD owner = 0;
    GetWindowThreadProcessId(window, &owner);
    if (owner == ProcessId && !IsIconic(window)) {
      const Region uncovered = RectRegion(r);
      if (!uncovered || CombineRgn(uncovered.get(), uncovered.get(), Above.get(), RGN_DIFF) == ERROR ||
          CombineRgn(Visible.get(), Visible.get(), uncovered.get(), RGN_OR) == ERROR)
        Failed = true;
      UnionRect(&Bounds, &Bounds, &r);
    }
    if (CombineRgn(Above.get(), Above.get(), area.get(), RGN_OR) == ERROR) Failed = true;
  }

  static BOOL CALLBACK Visit(HWND window, LPARAM scan) {
    reinterpret_cast<TWindowScan*>(scan)->Add(window);
    return TRUE;
  }
};

struct TCaptureArea {
  RECT Bounds;
  Region Visible;  // in the picture's coordinates; none for the whole area
};

std::optional<TCaptureArea> AppWindowsArea(const RECT& desktop) {
  TWindowScan scan;
  if (!scan.Above || !scan.Visible) return std::nullopt;
  EnumWindows(&TWindowScan::Visit, reinterpret_cast<LPARAM>(&scan));
  TCaptureArea area;
  if (scan.Failed || !IntersectRect(&area.Bounds, &scan.Bounds, &desktop)) return std::nullopt;
  const Region clip = RectRegion(area.Bounds);
  if (!clip) return std::nullopt;
  const int kind = CombineRgn(scan.Visible.get(), scan.Visible.get(), clip.get(), RGN_AND);
  if (kind == NULLREGION || kind == ERROR) return std::nullopt;
  OffsetRgn(scan.Visible.get(), -area.Bounds.left, -area.Bounds.top);
  area.Visible = std::move(scan.Visible);
  return area;
}

// The cursor the user sees, from the system, or else from the thread that owns the window
// under the mouse.
HCURSOR CurrentCursor(POINT& at) {
  CURSORINFO info{};
  info.cbSize = sizeof info;
  if (GetCursorInfo(&info)) {
    at = info.ptScreenPos;
    return (info.flags & CURSOR_SHOWING) ? info.hCursor : nullptr;
  }
  if (!GetCursorPos(&at)) return nullptr;
  const HWND under = WindowFromPoint(at);
  const DWORD owner = under ? GetWindowThreadProcessId(under, nullptr) : 0;
  const DWORD self = GetCurrentThreadId();
  const bool attach = owner && owner != self && AttachThreadInput(self, owner, TRUE);
  const HCURSOR cursor = GetCursor();
  if (attach) AttachThreadInput(self, owner, FALSE);
  return cursor;
}

void DrawCursor(HDC dc, const RECT& bounds) {
  POINT at;
  const HCURSOR cursor = CurrentCursor(at);
  ICONINFO icon{};
  if (!cursor || !GetIconInfo(cursor, &icon)) return;
  const Bitmap mask(icon.hbmMask), colour(icon.hbmColor);  // GetIconInfo hands us copies
  DrawIconEx(dc, at.x - int(icon.xHotspot) - bounds.left, at.y - int(icon.yHotspot) - bounds.top, cursor, 0, 0, 0,
             nullptr, DI_NORMAL);
}

// Rows copied at a time. A band, not the whole picture, goes through the DIB section, so a
// capture needs little more memory than the picture itself (the faulting program may be short
// of it), and the system's own copy of the screen area it reads stays as small.
constexpr std::size_t kBandBytes = 256 * 1024;

int BandRows(int width, int height) {
  const std::size_t rows = std::max<std::size_t>(1, kBandBytes / (std::size_t(width) * sizeof(TPixel)));
  return int(std::min<std::size_t>(rows, std::size_t(height)));
}

std::optional<TINVBitmap> Capture(bool scrShotAppOnly) {
  const RECT desktop = VirtualDesktop();
  std::optional<TCaptureArea> area;
  if (scrShotAppOnly)
    area = AppWindowsArea(desktop);
  else if (!IsRectEmpty(&desktop))
    area = TCaptureArea{desktop, Region()};
  if (!area) return std::nullopt;
  const RECT& r = area->Bounds;
  const int width = r.right - r.left, height = r.bottom - r.top;
  TINVBitmap picture(width, height);
  const int bandRows = BandRows(width, height);

  const ScreenDC screen(GetDC(nullptr));
  if (!screen) return std::nullopt;
  const MemoryDC memory(CreateCompatibleDC(screen.get()));
  BITMAPINFO info{};
  info.bmiHeader.biSize = sizeof info.bmiHeader;
  info.bmiHeader.biWidth = width;
  info.bmiHeader.biHeight = bandRows;  // bottom-up
  info.bmiHeader.biPlanes = 1;
  info.bmiHeader.biBitCount = 32;
  info.bmiHeader.biCompression = BI_RGB;
  void* bits = nullptr;
  const Bitmap dib(CreateDIBSection(screen.get(), &info, DIB_RGB_COLORS, &bits, nullptr, 0));
  if (!memory || !dib || !bits) return std::nullopt;
  const TSelection selected(memory.get(), dib.get());
  for (int top = 0; top < height; top += bandRows) {
    const int rows = std::min(bandRows, height - top);
    // The band's rows sit at the top of the DIB; its unused bottom rows are never copied.
    PatBlt(memory.get(), 0, 0, width, rows, WHITENESS);
    if (area->Visible) {
      OffsetRgn(area->Visible.get(), 0, -top);
      SelectClipRgn(memory.get(), area->Visible.get());
      OffsetRgn(area->Visible.get(), 0, top);
    }
    if (!BitBlt(memory.get(), 0, 0, width, rows, screen.get(), r.left, r.top + top, SRCCOPY)) return std::nullopt;
    SelectClipRgn(memory.get(), nullptr);
    const RECT bandOnScreen = {r.left, r.top + top, r.right, r.top + top + rows};
    DrawCursor(memory.get(), bandOnScreen);
    GdiFlush();
    // DIB row i from the top is at (bandRows - 1 - i) rows from its start.
    const auto* dibBits = static_cast<const TPixel*>(bits);
    for (int i = 0; i < rows; ++i)
      std::memcpy(picture.Row(top + i), dibBits + std::size_t(bandRows - 1 - i) * std::size_t(width),
                  std::size_t(width) * sizeof(TPixel));
  }
  return picture;
}

}  // namespace

std::optional<TINVBitmap> TakeScreenshot(bool scrShotAppOnly) {
  // The reporter goes on without a picture rather than fail over one (no memory for it,
  // a desktop beyond TINVBitmap's bounds).
  try {
    return Capture(scrShotAppOnly);
  } catch (const std::exception&) {
    return std::nullopt;
  }
}

}  // namespace vm

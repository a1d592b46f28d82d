#include <windows.h>
// After windows.h:
#include <commdlg.h>

#include <string>
#include <vector>

#include "crashreport/dialog/ExceptionBox_win32.h"

namespace vm::dialog {

namespace {

std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  size_t start = 0;
  while (start <= text.size()) {
    size_t end = text.find('\n', start);
    if (end == std::string::npos) end = text.size();
    std::string line = text.substr(start, end - start);
    if (!line.empty() && line.back() == '\r') line.pop_back();
    lines.push_back(line);
    start = end + 1;
  }
  return lines;
}

}  // namespace

bool PrintBugReport(const std::string& report, HWND owner) {
  PRINTDLGA pd{};
  pd.lStructSize = sizeof pd;
  pd.hwndOwner = owner;
  pd.Flags = PD_RETURNDC | PD_NOPAGENUMS | PD_NOSELECTION;
  if (!PrintDlgA(&pd) || !pd.hDC) return false;
  HDC dc = pd.hDC;
  // 9 points at the printer's resolution; the page's margins are a half inch.
  int dpiY = GetDeviceCaps(dc, LOGPIXELSY), dpiX = GetDeviceCaps(dc, LOGPIXELSX);
  HFONT font =
      CreateFontA(-MulDiv(9, dpiY, 72), 0, 0, 0, FW_NORMAL, FALSE, FALSE, FALSE, DEFAULT_CHARSET, OUT_DEFAULT_PRECIS,
                  CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY, FIXED_PITCH | FF_MODERN, "Courier New");
  HGDIOBJ old = SelectObject(dc, font);
  TEXTMETRICA tm{};
  GetTextMetricsA(dc, &tm);
  int lineHeight = tm.tmHeight + tm.tmExternalLeading, left = dpiX / 2, top = dpiY / 2;
  int bottom = GetDeviceCaps(dc, VERTRES) - dpiY / 2;
  DOCINFOA doc{sizeof doc, "bug report", nullptr, nullptr, 0};
  bool ok = StartDocA(dc, &doc) > 0;
  int y = bottom + 1;  // past the page: the first line starts one
  for (const std::string& line : Lines(report)) {
    if (!ok) break;
    if (y + lineHeight > bottom) {
      if (y <= bottom) ok = EndPage(dc) > 0;
      ok = ok && StartPage(dc) > 0;
      y = top;
    }
    TextOutA(dc, left, y, line.c_str(), int(line.size()));
    y += lineHeight;
  }
  if (ok)
    ok = EndPage(dc) > 0 && EndDoc(dc) > 0;
  else
    AbortDoc(dc);
  SelectObject(dc, old);
  DeleteObject(font);
  DeleteDC(dc);
  if (pd.hDevMode) GlobalFree(pd.hDevMode);
  if (pd.hDevNames) GlobalFree(pd.hDevNames);
  return ok;
}

}  // namespace vm::dialog

#include "crashreport/dialog/DetailsView_win32.h"

#include <commctrl.h>

#include <algorithm>

namespace vm {

namespace {

constexpr const char* kClass = "VmDetailsView";
constexpr LPARAM kLineAcross = 1;  // a list row that is one line of text across every column

HINSTANCE OwnModule() {
  HMODULE module = nullptr;
  GetModuleHandleExA(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                     reinterpret_cast<LPCSTR>(&OwnModule), &module);
  return module;
}

// The controls live in a window of the view's own, which gets their notifications: the
// dialog need not know which of them it has to pass on.
LRESULT CALLBACK ViewProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_NOTIFY) {
    auto* view = reinterpret_cast<TDetailsView*>(GetWindowLongPtrA(window, GWLP_USERDATA));
    LRESULT result = 0;
    if (view && view->Notify(reinterpret_cast<const NMHDR*>(lParam), result)) return result;
  }
  if (message == WM_CTLCOLORSTATIC) {  // the read-only text on a window background, not grey
    SetBkColor(reinterpret_cast<HDC>(wParam), GetSysColor(COLOR_WINDOW));
    return reinterpret_cast<LRESULT>(GetSysColorBrush(COLOR_WINDOW));
  }
  return DefWindowProcA(window, message, wParam, lParam);
}

void RegisterViewClass() {
  static const bool registered = [] {
    INITCOMMONCONTROLSEX controls{sizeof controls, ICC_TAB_CLASSES | ICC_LISTVIEW_CLASSES};
    InitCommonControlsEx(&controls);
    WNDCLASSA c{};
    c.lpfnWndProc = ViewProc;
    c.hInstance = OwnModule();
    c.hCursor = LoadCursor(nullptr, IDC_ARROW);
    c.hbrBackground = GetSysColorBrush(COLOR_BTNFACE);
    c.lpszClassName = kClass;
    return RegisterClassA(&c) != 0;
  }();
  (void)registered;
}

// The edit control wants CR LF; the report has it, but lone breaks may come from edits.
std::string WithCrLf(const std::string& text) {
  std::string out;
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '\r' || text[i] == '\n') {
      out += "\r\n";
      if (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n') ++i;
    } else {
      out += text[i];
    }
  }
  return out;
}

int TextWidth(HDC dc, const std::string& text) {
  SIZE size{};
  GetTextExtentPoint32A(dc, text.c_str(), int(std::min<size_t>(text.size(), 1024)), &size);
  return size.cx;
}

}  // namespace

TDetailsView::TDetailsView(HWND parent, HFONT textFont, HFONT fixedFont)
    : FParent(parent), FTextFont(textFont), FFixedFont(fixedFont) {
  RegisterViewClass();
  HINSTANCE instance = OwnModule();
  FHost = CreateWindowExA(WS_EX_CONTROLPARENT, kClass, "", WS_CHILD | WS_VISIBLE | WS_CLIPCHILDREN, 0, 0, 0, 0, parent,
                          nullptr, instance, nullptr);
  SetWindowLongPtrA(FHost, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
  FTabs = CreateWindowExA(0, WC_TABCONTROLA, "", WS_CHILD | WS_VISIBLE | WS_TABSTOP | WS_CLIPSIBLINGS, 0, 0, 0, 0,
                          FHost, nullptr, instance, nullptr);
  FList = CreateWindowExA(WS_EX_CLIENTEDGE, WC_LISTVIEWA, "",
                          WS_CHILD | WS_TABSTOP | LVS_REPORT | LVS_NOSORTHEADER | LVS_SHOWSELALWAYS | LVS_SINGLESEL, 0,
                          0, 0, 0, FHost, nullptr, instance, nullptr);
  FText = CreateWindowExA(WS_EX_CLIENTEDGE, "EDIT", "",
                          WS_CHILD | WS_TABSTOP | WS_VSCROLL | WS_HSCROLL | ES_MULTILINE | ES_READONLY |
                              ES_AUTOHSCROLL | ES_AUTOVSCROLL | ES_NOHIDESEL,
                          0, 0, 0, 0, FHost, nullptr, instance, nullptr);
  SendMessageA(FTabs, WM_SETFONT, reinterpret_cast<WPARAM>(FTextFont), FALSE);
  SendMessageA(FList, WM_SETFONT, reinterpret_cast<WPARAM>(FTextFont), FALSE);
  SendMessageA(FText, WM_SETFONT, reinterpret_cast<WPARAM>(FFixedFont), FALSE);
  SendMessageA(FList, LVM_SETEXTENDEDLISTVIEWSTYLE, 0, LVS_EX_FULLROWSELECT);
}

TDetailsView::~TDetailsView() {
  if (IsWindow(FHost)) DestroyWindow(FHost);
}

void TDetailsView::Place(const RECT& area) {
  FArea = area;
  MoveWindow(FHost, area.left, area.top, area.right - area.left, area.bottom - area.top, TRUE);
  RECT inner{0, 0, area.right - area.left, area.bottom - area.top};
  MoveWindow(FTabs, 0, 0, inner.right, inner.bottom, TRUE);
  SendMessageA(FTabs, TCM_ADJUSTRECT, FALSE, reinterpret_cast<LPARAM>(&inner));
  for (HWND content : {FList, FText}) {
    MoveWindow(content, inner.left, inner.top, inner.right - inner.left, inner.bottom - inner.top, TRUE);
    // Above the tab control, which would otherwise paint over its own display area.
    SetWindowPos(content, HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
  }
}

void TDetailsView::Show(const std::string& bugReport) {
  const std::string previous = FCurrent < int(FContent.size()) ? FContent[size_t(FCurrent)].Caption : std::string();
  std::vector<TDetailsTab> tabs = DetailsTabs(bugReport);
  bool sameTabs = tabs.size() == FContent.size();
  for (size_t i = 0; sameTabs && i < tabs.size(); ++i) sameTabs = tabs[i].Caption == FContent[i].Caption;
  // The user's tab stays when it is still there, by its caption: "call stack" may have
  // become "call stacks", and further sections may have come in between.
  int current = std::min(FCurrent, int(tabs.size()) - 1);
  for (size_t i = 0; i < tabs.size(); ++i)
    if (tabs[i].Caption == previous) current = int(i);
  const bool sameContent = sameTabs && current == FCurrent && tabs[size_t(current)] == FContent[size_t(current)];
  FContent = std::move(tabs);
  if (!sameTabs) {
    SendMessageA(FTabs, TCM_DELETEALLITEMS, 0, 0);
    for (size_t i = 0; i < FContent.size(); ++i) {
      TCITEMA item{};
      item.mask = TCIF_TEXT;
      item.pszText = const_cast<char*>(FContent[i].Caption.c_str());
      SendMessageA(FTabs, TCM_INSERTITEMA, i, reinterpret_cast<LPARAM>(&item));
    }
    Place(FArea);  // the rows of tabs may have changed
  }
  SendMessageA(FTabs, TCM_SETCURSEL, WPARAM(current), 0);
  if (!sameContent || !FShown) ShowTab(current, current == FCurrent && FShown);
}

std::string TDetailsView::CurrentText() const {
  return FCurrent < int(FContent.size()) ? FContent[size_t(FCurrent)].Text : std::string();
}

bool TDetailsView::HandleNotify(LPARAM lParam) {
  LRESULT ignored = 0;
  return Notify(reinterpret_cast<const NMHDR*>(lParam), ignored);
}

bool TDetailsView::Notify(const NMHDR* header, LRESULT& result) {
  if (!header) return false;
  if (header->hwndFrom == FTabs && header->code == TCN_SELCHANGE) {
    ShowTab(int(SendMessageA(FTabs, TCM_GETCURSEL, 0, 0)), false);
    return true;
  }
  if (header->hwndFrom == FList && header->code == NM_CUSTOMDRAW) {
    result = DrawListRow(reinterpret_cast<const NMLVCUSTOMDRAW*>(header));
    return true;
  }
  return false;
}

// Lines across the list (a thread's title, "created by") are drawn over the whole row,
// since the address column would cut them off.
LRESULT TDetailsView::DrawListRow(const NMLVCUSTOMDRAW* draw) {
  if (draw->nmcd.dwDrawStage == CDDS_PREPAINT) return CDRF_NOTIFYITEMDRAW;
  if (draw->nmcd.dwDrawStage != CDDS_ITEMPREPAINT || draw->nmcd.lItemlParam != kLineAcross) return CDRF_DODEFAULT;
  const int row = int(draw->nmcd.dwItemSpec);
  RECT r{};
  r.left = LVIR_BOUNDS;
  SendMessageA(FList, LVM_GETITEMRECT, WPARAM(row), reinterpret_cast<LPARAM>(&r));
  HDC dc = draw->nmcd.hdc;
  FillRect(dc, &r, GetSysColorBrush(COLOR_WINDOW));
  char text[1024] = "";
  LVITEMA item{};
  item.pszText = text;
  item.cchTextMax = sizeof text;
  SendMessageA(FList, LVM_GETITEMTEXTA, WPARAM(row), reinterpret_cast<LPARAM>(&item));
  SetBkMode(dc, TRANSPARENT);
  SetTextColor(dc, RGB(0, 0, 128));
  HGDIOBJ old = SelectObject(dc, FTextFont);
  r.left += 6;
  DrawTextA(dc, text, -1, &r, DT_SINGLELINE | DT_VCENTER | DT_NOPREFIX | DT_END_ELLIPSIS);
  SelectObject(dc, old);
  return CDRF_SKIPDEFAULT;
}

void TDetailsView::ShowTab(int index, bool keepScroll) {
  if (index < 0 || index >= int(FContent.size())) return;
  FCurrent = index;
  FShown = true;
  const TDetailsTab& tab = FContent[size_t(index)];
  if (tab.IsTable()) {
    const int top = keepScroll ? int(SendMessageA(FList, LVM_GETTOPINDEX, 0, 0)) : 0;
    FillList(tab);
    ShowWindow(FText, SW_HIDE);
    ShowWindow(FList, SW_SHOW);
    if (top > 0 && !tab.Rows.empty()) {
      // Scroll to the bottom first, so that the row asked for ends up at the top.
      SendMessageA(FList, LVM_ENSUREVISIBLE, tab.Rows.size() - 1, FALSE);
      SendMessageA(FList, LVM_ENSUREVISIBLE, WPARAM(std::min<size_t>(size_t(top), tab.Rows.size() - 1)), FALSE);
    }
  } else {
    const int top = keepScroll ? int(SendMessageA(FText, EM_GETFIRSTVISIBLELINE, 0, 0)) : 0;
    SetWindowTextA(FText, WithCrLf(tab.Text).c_str());
    if (top > 0) SendMessageA(FText, EM_LINESCROLL, 0, top);
    ShowWindow(FList, SW_HIDE);
    ShowWindow(FText, SW_SHOW);
  }
}

void TDetailsView::FillList(const TDetailsTab& tab) {
  SendMessageA(FList, WM_SETREDRAW, FALSE, 0);
  SendMessageA(FList, LVM_DELETEALLITEMS, 0, 0);
  while (SendMessageA(FList, LVM_DELETECOLUMN, 0, 0)) {
  }
  // Each column as wide as its widest cell (within reason), the last one takes the rest.
  HDC dc = GetDC(FList);
  HGDIOBJ old = SelectObject(dc, FTextFont);
  const int padding = TextWidth(dc, "MM"), widest = TextWidth(dc, std::string(60, 'n'));
  for (size_t c = 0; c < tab.Columns.size(); ++c) {
    int width = TextWidth(dc, tab.Columns[c]);
    for (const auto& row : tab.Rows)
      if (row.size() == tab.Columns.size()) width = std::max(width, TextWidth(dc, row[c]));
    LVCOLUMNA column{};
    column.mask = LVCF_TEXT | LVCF_WIDTH | LVCF_SUBITEM;
    column.cx = std::min(width + padding, widest);
    column.pszText = const_cast<char*>(tab.Columns[c].c_str());
    column.iSubItem = int(c);
    SendMessageA(FList, LVM_INSERTCOLUMNA, c, reinterpret_cast<LPARAM>(&column));
  }
  SelectObject(dc, old);
  ReleaseDC(FList, dc);
  for (size_t r = 0; r < tab.Rows.size(); ++r) {
    const auto& row = tab.Rows[r];
    LVITEMA item{};
    item.mask = LVIF_TEXT | LVIF_PARAM;
    item.iItem = int(r);
    item.pszText = const_cast<char*>(row.empty() ? "" : row[0].c_str());
    item.lParam = row.size() == 1 && tab.Columns.size() > 1 ? kLineAcross : 0;
    const int at = int(SendMessageA(FList, LVM_INSERTITEMA, 0, reinterpret_cast<LPARAM>(&item)));
    for (size_t c = 1; c < row.size(); ++c) {
      LVITEMA cell{};
      cell.iSubItem = int(c);
      cell.pszText = const_cast<char*>(row[c].c_str());
      SendMessageA(FList, LVM_SETITEMTEXTA, WPARAM(at), reinterpret_cast<LPARAM>(&cell));
    }
  }
  if (!tab.Columns.empty())
    SendMessageA(FList, LVM_SETCOLUMNWIDTH, tab.Columns.size() - 1, MAKELPARAM(LVSCW_AUTOSIZE_USEHEADER, 0));
  SendMessageA(FList, WM_SETREDRAW, TRUE, 0);
  InvalidateRect(FList, nullptr, TRUE);
}

}  // namespace vm

#include "toolkit/Controls_win32.h"

#include <commctrl.h>

namespace vm {

namespace {

struct TClassAndStyle {
  const char* ClassName;
  DWORD Style;
  DWORD ExStyle;
};

TClassAndStyle ClassFor(const TControlSpec& s) {
  switch (s.Kind) {
    case TControlKind::Label: {
      DWORD style = s.Centered ? SS_CENTER : s.WordWrap ? SS_LEFT : SS_LEFTNOWORDWRAP;
      return {"STATIC", style | (s.NoPrefix ? SS_NOPREFIX : 0), 0};
    }
    case TControlKind::Edit:
      return {"EDIT", DWORD(ES_AUTOHSCROLL | (s.ReadOnly ? ES_READONLY : 0)), WS_EX_CLIENTEDGE};
    case TControlKind::ListBox:
      return {"LISTBOX", LBS_NOTIFY | LBS_NOINTEGRALHEIGHT | WS_VSCROLL, WS_EX_CLIENTEDGE};
    case TControlKind::Button:
      return {"BUTTON", DWORD(s.Default ? BS_DEFPUSHBUTTON : BS_PUSHBUTTON), 0};
    case TControlKind::Image:
      return {"STATIC", SS_BITMAP | SS_CENTERIMAGE, 0};
    case TControlKind::Icon:
      return {"STATIC", SS_ICON | SS_CENTERIMAGE, 0};
  }
  return {"STATIC", 0, 0};
}

}  // namespace

void TControl::CreateHandle(HWND parent, HINSTANCE instance, int dpi, HFONT font) {
  TClassAndStyle cls = ClassFor(FSpec);
  DWORD style = WS_CHILD | cls.Style | (FSpec.Visible ? WS_VISIBLE : 0) | (FSpec.TabOrder >= 0 ? WS_TABSTOP : 0);
  TRect r = ScaleForDpi(FSpec.Bounds, dpi);
  FHandle = CreateWindowExA(cls.ExStyle, cls.ClassName, FSpec.Caption.c_str(), style, r.Left, r.Top, r.Width, r.Height,
                            parent, reinterpret_cast<HMENU>(static_cast<INT_PTR>(FId)), instance, nullptr);
  SendMessageA(FHandle, WM_SETFONT, reinterpret_cast<WPARAM>(font), FALSE);
  if (FSpec.Kind == TControlKind::ListBox && FSpec.ItemHeight > 0)
    SendMessageA(FHandle, LB_SETITEMHEIGHT, 0, ScaleForDpi(FSpec.ItemHeight, dpi));
}

void TControl::SetBitmap(HBITMAP bitmap) {
  SendMessageA(FHandle, STM_SETIMAGE, IMAGE_BITMAP, reinterpret_cast<LPARAM>(bitmap));
}

void TControl::SetIcon(HICON icon) { SendMessageA(FHandle, STM_SETICON, reinterpret_cast<WPARAM>(icon), 0); }

TControlSpec ControlSpec(TControlKind kind, const char* name, const char* caption, TRect bounds, TAnchors anchors,
                         int tabOrder) {
  TControlSpec s;
  s.Kind = kind;
  s.Name = name;
  s.Caption = caption;
  s.Bounds = bounds;
  s.Anchors = anchors;
  s.TabOrder = tabOrder;
  return s;
}

std::string TControl::Text() const {
  int n = GetWindowTextLengthA(FHandle);
  std::string s(size_t(n) + 1, '\0');
  n = GetWindowTextA(FHandle, s.data(), n + 1);
  s.resize(size_t(n > 0 ? n : 0));
  return s;
}

void TControl::SetText(const std::string& text) { SetWindowTextA(FHandle, text.c_str()); }
bool TControl::Enabled() const { return IsWindowEnabled(FHandle) != FALSE; }
void TControl::SetEnabled(bool enabled) { EnableWindow(FHandle, enabled); }
void TControl::SetVisible(bool visible) { ShowWindow(FHandle, visible ? SW_SHOW : SW_HIDE); }

std::vector<std::string> TControl::Items() const {
  std::vector<std::string> items;
  int n = int(SendMessageA(FHandle, LB_GETCOUNT, 0, 0));
  for (int i = 0; i < n; ++i) items.push_back(Item(i));
  return items;
}

std::string TControl::Item(int index) const {
  LRESULT n = SendMessageA(FHandle, LB_GETTEXTLEN, WPARAM(index), 0);
  if (n == LB_ERR) return std::string();
  std::string s(size_t(n) + 1, '\0');
  n = SendMessageA(FHandle, LB_GETTEXT, WPARAM(index), reinterpret_cast<LPARAM>(s.data()));
  s.resize(n == LB_ERR ? 0 : size_t(n));
  return s;
}

void TControl::SetItems(const std::vector<std::string>& items) {
  SendMessageA(FHandle, LB_RESETCONTENT, 0, 0);
  for (const auto& item : items) AddItem(item);
}

int TControl::AddItem(const std::string& item) {
  return int(SendMessageA(FHandle, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(item.c_str())));
}

int TControl::FindExact(const std::string& text) const {
  LRESULT i = SendMessageA(FHandle, LB_FINDSTRINGEXACT, WPARAM(-1), reinterpret_cast<LPARAM>(text.c_str()));
  return i == LB_ERR ? -1 : int(i);
}

int TControl::ItemIndex() const { return int(SendMessageA(FHandle, LB_GETCURSEL, 0, 0)); }

}  // namespace vm

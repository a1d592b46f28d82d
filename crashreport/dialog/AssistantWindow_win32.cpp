#include "crashreport/dialog/AssistantWindow_win32.h"

#include <algorithm>
#include <string>

namespace vm {

namespace {

constexpr const char* kPageClass = "TNVForm";
constexpr int kFirstItemId = 100;
constexpr COLORREF kBlockingColor = RGB(255, 228, 228);  // a required edit that holds Continue back

// The page's window state; its model is the form.
struct TPageWindow {
  TNVForm& Form;
  HWND Handle = nullptr;
  HFONT Font = nullptr, BoldFont = nullptr;
  HBRUSH BlockingBrush = nullptr;
  int Dpi = 96;
  bool Syncing = false;  // model -> window writes, whose change notifications are ours

  int Scale(int pixels) const { return MulDiv(pixels, Dpi, 96); }
};

int ScreenDpi() {
  HDC dc = GetDC(nullptr);
  int dpi = GetDeviceCaps(dc, LOGPIXELSY);
  ReleaseDC(nullptr, dc);
  return dpi > 0 ? dpi : 96;
}

HWND WindowOf(const TNVItem& item) { return reinterpret_cast<HWND>(item.Window); }

std::string WindowText(HWND h) {
  int n = GetWindowTextLengthA(h);
  std::string text(size_t(n) + 1, '\0');
  text.resize(size_t(GetWindowTextA(h, text.data(), n + 1)));
  return text;
}

bool Blocking(const TNVEdit& edit) { return !edit.Optional && (edit.Text.empty() || !edit.Valid); }

// The user's input into the model.
void ReadWindows(TPageWindow& page) {
  for (auto& item : page.Form.Items) {
    if (!item->Window) continue;
    if (auto* edit = dynamic_cast<TNVEdit*>(item.get()))
      edit->Text = WindowText(WindowOf(*edit));
    else if (auto* check = dynamic_cast<TNVCheckBox*>(item.get()))
      check->Checked = SendMessageA(WindowOf(*check), BM_GETCHECK, 0, 0) == BST_CHECKED;
  }
}

// The model into the window, after a handler may have changed it.
void FollowModel(TPageWindow& page) {
  page.Syncing = true;
  for (auto& item : page.Form.Items) {
    HWND h = WindowOf(*item);
    if (!h) continue;
    bool enabled = item->Enabled;
    if (auto* edit = dynamic_cast<TNVEdit*>(item.get())) {
      if (WindowText(h) != edit->Text) SetWindowTextA(h, edit->Text.c_str());
      InvalidateRect(h, nullptr, TRUE);  // the colour of a blocking edit
    } else if (auto* check = dynamic_cast<TNVCheckBox*>(item.get())) {
      SendMessageA(h, BM_SETCHECK, check->Checked ? BST_CHECKED : BST_UNCHECKED, 0);
    } else if (auto* button = dynamic_cast<TNVButton*>(item.get())) {
      if (item.get() == &page.Form.ContinueBtn()) enabled = enabled && ContinueAllowed(page.Form);
      ShowWindow(h, button->Visible ? SW_SHOWNA : SW_HIDE);
    } else if (item->Kind == TNVItemKind::Image) {
      InvalidateRect(h, nullptr, TRUE);
    }
    if (bool(IsWindowEnabled(h)) != enabled) EnableWindow(h, enabled);
  }
  page.Syncing = false;
}

void Notify(TPageWindow& page, TNVEvent event, TNVItem* item) {
  ReadWindows(page);
  if (page.Form.ActionHandler) page.Form.ActionHandler(page.Form, event, item);
  FollowModel(page);
}

void FocusActiveControl(TPageWindow& page) {
  TNVItem* item = page.Form.ActiveControl.empty() ? nullptr : page.Form.Find(page.Form.ActiveControl);
  if (!item || !item->Window || !IsWindowEnabled(WindowOf(*item))) {
    item = nullptr;
    for (auto& candidate : page.Form.Items)
      if (candidate->Kind == TNVItemKind::Edit && candidate->Window && IsWindowEnabled(WindowOf(*candidate))) {
        item = candidate.get();
        break;
      }
  }
  if (item) SetFocus(WindowOf(*item));
}

void Finish(TPageWindow& page, int result) {
  if (result == arContinue && !IsWindowEnabled(WindowOf(page.Form.ContinueBtn()))) return;
  if (result == arSkip && !IsWindowEnabled(WindowOf(page.Form.SkipBtn()))) return;
  page.Form.ModalResult = result;
}

// The picture fitted into the control, keeping its proportions.
void DrawImage(const TNVImage& image, const DRAWITEMSTRUCT& draw) {
  RECT r = draw.rcItem;
  FillRect(draw.hDC, &r, GetSysColorBrush(COLOR_BTNFACE));
  if (image.Picture.Empty()) return;
  int w = r.right - r.left, h = r.bottom - r.top;
  double fit = std::min(double(w) / image.Picture.Width(), double(h) / image.Picture.Height());
  int dw = std::max(1, int(image.Picture.Width() * fit)), dh = std::max(1, int(image.Picture.Height() * fit));
  BITMAPINFO info = {};
  info.bmiHeader.biSize = sizeof info.bmiHeader;
  info.bmiHeader.biWidth = image.Picture.Width();
  info.bmiHeader.biHeight = image.Picture.Height();  // bottom row first, as the picture stores it
  info.bmiHeader.biPlanes = 1;
  info.bmiHeader.biBitCount = 32;
  info.bmiHeader.biCompression = BI_RGB;
  SetStretchBltMode(draw.hDC, HALFTONE);
  StretchDIBits(draw.hDC, r.left + (w - dw) / 2, r.top + (h - dh) / 2, dw, dh, 0, 0, image.Picture.Width(),
                image.Picture.Height(), image.Picture.Bits(), &info, DIB_RGB_COLORS, SRCCOPY);
}

TNVItem* ItemOfId(TPageWindow& page, int id) {
  size_t index = size_t(id - kFirstItemId);
  return id >= kFirstItemId && index < page.Form.Items.size() ? page.Form.Items[index].get() : nullptr;
}

LRESULT CALLBACK PageProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
  auto* page = reinterpret_cast<TPageWindow*>(GetWindowLongPtrA(hwnd, GWLP_USERDATA));
  if (!page) return DefWindowProcA(hwnd, msg, wParam, lParam);
  switch (msg) {
    case WM_COMMAND: {
      int id = LOWORD(wParam), code = HIWORD(wParam);
      if (id == IDOK) return Finish(*page, arContinue), 0;
      if (id == IDCANCEL) return Finish(*page, arCancel), 0;
      TNVItem* item = ItemOfId(*page, id);
      if (!item) break;
      if (item == &page->Form.ContinueBtn())
        Finish(*page, arContinue);
      else if (item == &page->Form.SkipBtn())
        Finish(*page, arSkip);
      else if (item == &page->Form.CancelBtn())
        Finish(*page, arCancel);
      else if (item->Kind == TNVItemKind::Edit && code == EN_CHANGE && !page->Syncing)
        Notify(*page, TNVEvent::Change, item);
      else if (item->Kind == TNVItemKind::CheckBox && code == BN_CLICKED)
        Notify(*page, TNVEvent::Change, item);
      else if (item->Kind == TNVItemKind::Image && code == STN_CLICKED && static_cast<TNVImage*>(item)->Clickable)
        Notify(*page, TNVEvent::Click, item);
      return 0;
    }
    case DM_GETDEFID:
      return MAKELRESULT(kFirstItemId, DC_HASDEFID);
    case WM_SETCURSOR: {
      auto* image = dynamic_cast<TNVImage*>(ItemOfId(*page, GetDlgCtrlID(HWND(wParam))));
      if (!image || !image->Clickable) break;
      SetCursor(LoadCursorA(nullptr, IDC_HAND));
      return TRUE;
    }
    case WM_TIMER:
      Notify(*page, TNVEvent::Timer, nullptr);
      return 0;
    case WM_CLOSE:
      Finish(*page, arCancel);
      return 0;
    case WM_CTLCOLOREDIT: {
      for (auto& item : page->Form.Items)
        if (auto* edit = dynamic_cast<TNVEdit*>(item.get()); edit && WindowOf(*edit) == HWND(lParam)) {
          if (!edit->Colored || !Blocking(*edit)) break;
          SetBkColor(HDC(wParam), kBlockingColor);
          return LRESULT(page->BlockingBrush);
        }
      break;
    }
    case WM_DRAWITEM: {
      auto* draw = reinterpret_cast<DRAWITEMSTRUCT*>(lParam);
      if (auto* image = dynamic_cast<TNVImage*>(ItemOfId(*page, int(draw->CtlID)))) DrawImage(*image, *draw);
      return TRUE;
    }
  }
  return DefWindowProcA(hwnd, msg, wParam, lParam);
}

void RegisterPageClass() {
  static bool registered = false;
  if (registered) return;
  WNDCLASSA wc = {};
  wc.lpfnWndProc = PageProc;
  wc.hInstance = GetModuleHandleA(nullptr);
  wc.hCursor = LoadCursorA(nullptr, IDC_ARROW);
  wc.hbrBackground = GetSysColorBrush(COLOR_BTNFACE);
  wc.lpszClassName = kPageClass;
  registered = RegisterClassA(&wc) != 0;
}

// The height of `text` wrapped to `width` in `font`.
int TextHeight(HWND hwnd, HFONT font, const std::string& text, int width) {
  HDC dc = GetDC(hwnd);
  HGDIOBJ old = SelectObject(dc, font);
  RECT r = {0, 0, width, 0};
  DrawTextA(dc, text.empty() ? " " : text.c_str(), -1, &r, DT_CALCRECT | DT_WORDBREAK | DT_NOPREFIX);
  SelectObject(dc, old);
  ReleaseDC(hwnd, dc);
  return r.bottom;
}

int TextWidth(HWND hwnd, HFONT font, const std::string& text) {
  HDC dc = GetDC(hwnd);
  HGDIOBJ old = SelectObject(dc, font);
  SIZE size = {};
  GetTextExtentPoint32A(dc, text.c_str(), int(text.size()), &size);
  SelectObject(dc, old);
  ReleaseDC(hwnd, dc);
  return size.cx;
}

// The control of item `index`; its id tells the item back in notifications.
void AddControl(TPageWindow& page, size_t index, const char* cls, const std::string& text, DWORD style, DWORD exStyle,
                RECT r, HFONT font) {
  HWND hwnd = CreateWindowExA(
      exStyle, cls, text.c_str(), WS_CHILD | WS_VISIBLE | style, r.left, r.top, r.right - r.left, r.bottom - r.top,
      page.Handle, reinterpret_cast<HMENU>(INT_PTR(kFirstItemId + int(index))), GetModuleHandleA(nullptr), nullptr);
  SendMessageA(hwnd, WM_SETFONT, WPARAM(font), FALSE);
  page.Form.Items[index]->Window = reinterpret_cast<std::uintptr_t>(hwnd);
}

// Headline, items top to bottom, the three buttons in a row at the bottom right.
void BuildControls(TPageWindow& page, int& clientWidth, int& clientHeight) {
  const int margin = page.Scale(12), gap = page.Scale(6);
  const int width = page.Scale(std::max(page.Form.MinWidth, 300));
  const int lineHeight = TextHeight(page.Handle, page.Font, "Ag", 1000);
  int y = margin;
  if (!page.Form.Message.empty()) {
    int h = TextHeight(page.Handle, page.BoldFont, page.Form.Message, width);
    HWND hwnd = CreateWindowExA(0, "STATIC", page.Form.Message.c_str(), WS_CHILD | WS_VISIBLE | SS_NOPREFIX, margin, y,
                                width, h, page.Handle, nullptr, GetModuleHandleA(nullptr), nullptr);
    SendMessageA(hwnd, WM_SETFONT, WPARAM(page.BoldFont), FALSE);
    y += h + page.Scale(10);
  }
  for (size_t i = 3; i < page.Form.Items.size(); ++i) {
    TNVItem& item = *page.Form.Items[i];
    y += page.Scale(item.Spacing);
    int h = 0;
    if (auto* label = dynamic_cast<TNVLabel*>(&item)) {
      h = TextHeight(page.Handle, page.Font, label->Caption, width);
      AddControl(page, i, "STATIC", label->Caption, SS_NOPREFIX, 0, {margin, y, margin + width, y + h}, page.Font);
      y += h + page.Scale(2);
      continue;
    }
    if (auto* edit = dynamic_cast<TNVEdit*>(&item)) {
      DWORD style = WS_TABSTOP | ES_AUTOHSCROLL;
      if (edit->Lines > 1) style = WS_TABSTOP | WS_VSCROLL | ES_MULTILINE | ES_WANTRETURN | ES_AUTOVSCROLL;
      h = edit->Lines * lineHeight + page.Scale(8);
      AddControl(page, i, "EDIT", edit->Text, style, WS_EX_CLIENTEDGE, {margin, y, margin + width, y + h}, page.Font);
    } else if (auto* check = dynamic_cast<TNVCheckBox*>(&item)) {
      h = lineHeight + page.Scale(6);
      AddControl(page, i, "BUTTON", check->Caption, WS_TABSTOP | BS_AUTOCHECKBOX, 0, {margin, y, margin + width, y + h},
                 page.Font);
    } else if (auto* image = dynamic_cast<TNVImage*>(&item)) {
      int w = std::min(width, page.Scale(image->Width > 0 ? image->Width : 300));
      h = page.Scale(image->Height > 0 ? image->Height : 200);
      int left = margin + (width - w) / 2;
      AddControl(page, i, "STATIC", "", SS_OWNERDRAW | SS_NOTIFY | (image->Border ? WS_BORDER : 0), 0,
                 {left, y, left + w, y + h}, page.Font);
    }
    y += h + gap;
  }
  // The buttons, right-aligned in item order.
  const int buttonHeight = page.Scale(23);
  y += page.Scale(6);
  int x = margin + width;
  for (int i = 2; i >= 0; --i) {
    auto& button = static_cast<TNVButton&>(*page.Form.Items[size_t(i)]);
    int w = std::max(page.Scale(75), TextWidth(page.Handle, page.Font, button.Caption) + page.Scale(24));
    x -= w;
    AddControl(page, size_t(i), "BUTTON", button.Caption, WS_TABSTOP | (i == 0 ? BS_DEFPUSHBUTTON : BS_PUSHBUTTON), 0,
               {x, y, x + w, y + buttonHeight}, page.Font);
    x -= page.Scale(6);
  }
  clientWidth = width + 2 * margin;
  clientHeight = y + buttonHeight + margin;
}

HFONT PageFont(int dpi, int weight) {
  return CreateFontA(-MulDiv(8, dpi, 72), 0, 0, 0, weight, FALSE, FALSE, FALSE, DEFAULT_CHARSET, OUT_DEFAULT_PRECIS,
                     CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY, DEFAULT_PITCH | FF_SWISS, "Tahoma");
}

void CenterOn(HWND hwnd, HWND owner, int width, int height) {
  RECT area;
  if (!owner || !IsWindowVisible(owner) || IsIconic(owner) || !GetWindowRect(owner, &area))
    SystemParametersInfoA(SPI_GETWORKAREA, 0, &area, 0);
  int x = area.left + (area.right - area.left - width) / 2, y = area.top + (area.bottom - area.top - height) / 2;
  SetWindowPos(hwnd, nullptr, std::max(0, x), std::max(0, y), width, height, SWP_NOZORDER | SWP_NOACTIVATE);
}

}  // namespace

int ShowAssistantPage(TNVForm& form, HWND owner) {
  RegisterPageClass();
  TPageWindow page{form};
  page.Dpi = ScreenDpi();
  page.Font = PageFont(page.Dpi, FW_NORMAL);
  page.BoldFont = PageFont(page.Dpi, FW_BOLD);
  page.BlockingBrush = CreateSolidBrush(kBlockingColor);
  form.ModalResult = 0;

  const DWORD style = WS_POPUP | WS_CAPTION | WS_SYSMENU | DS_MODALFRAME | WS_CLIPCHILDREN;
  const DWORD exStyle = WS_EX_DLGMODALFRAME | WS_EX_CONTROLPARENT;
  page.Handle = CreateWindowExA(exStyle, kPageClass, form.Title.c_str(), style, 0, 0, 100, 100, owner, nullptr,
                                GetModuleHandleA(nullptr), nullptr);
  if (!page.Handle) {
    form.ModalResult = arCancel;  // no page to ask with: nothing goes out unasked
  } else {
    SetWindowLongPtrA(page.Handle, GWLP_USERDATA, LONG_PTR(&page));
    int cw = 0, ch = 0;
    BuildControls(page, cw, ch);
    RECT frame = {0, 0, cw, ch};
    AdjustWindowRectEx(&frame, style, FALSE, exStyle);
    CenterOn(page.Handle, owner, frame.right - frame.left, frame.bottom - frame.top);
    Notify(page, TNVEvent::Show, nullptr);
    ShowWindow(page.Handle, SW_SHOW);
    SetForegroundWindow(page.Handle);
    FocusActiveControl(page);
    if (form.Timer > 0) SetTimer(page.Handle, 1, UINT(form.Timer), nullptr);

    MSG msg;
    while (!form.ModalResult) {
      if (GetMessageA(&msg, nullptr, 0, 0) <= 0) {
        form.ModalResult = arCancel;  // the thread is asked to end: the loops outside must see that too
        PostQuitMessage(int(msg.wParam));
        break;
      }
      if (!IsDialogMessageA(page.Handle, &msg)) {
        TranslateMessage(&msg);
        DispatchMessageA(&msg);
      }
    }
    if (form.Timer > 0) KillTimer(page.Handle, 1);
    Notify(page, TNVEvent::Close, nullptr);
    ReadWindows(page);
    for (auto& item : form.Items) item->Window = 0;
    SetWindowLongPtrA(page.Handle, GWLP_USERDATA, 0);
    DestroyWindow(page.Handle);
  }
  DeleteObject(page.Font);
  DeleteObject(page.BoldFont);
  DeleteObject(page.BlockingBrush);
  return form.ModalResult;
}

}  // namespace vm

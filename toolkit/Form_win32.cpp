#include "toolkit/Form_win32.h"

#include <commctrl.h>

#include <algorithm>

#include "base/Exception.h"
#include "toolkit/Application_win32.h"

namespace vm {

namespace {

constexpr int kFirstControlId = 100;

int ScreenDpi() {
  HDC dc = GetDC(nullptr);
  int dpi = GetDeviceCaps(dc, LOGPIXELSY);
  ReleaseDC(nullptr, dc);
  return dpi > 0 ? dpi : 96;
}

DWORD FormStyle(const TFormSpec& spec) {
  if (spec.Dialog) return WS_POPUP | WS_CAPTION | WS_SYSMENU | DS_MODALFRAME | WS_CLIPCHILDREN;
  DWORD style = WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX | WS_CLIPCHILDREN;
  if (spec.Sizeable) style |= WS_THICKFRAME | WS_MAXIMIZEBOX;
  return style;
}

DWORD FormExStyle(const TFormSpec& spec) { return WS_EX_CONTROLPARENT | (spec.Dialog ? WS_EX_DLGMODALFRAME : 0); }

TRect ToRect(const RECT& r) { return {r.left, r.top, r.right - r.left, r.bottom - r.top}; }

}  // namespace

TForm::TForm(TFormSpec spec) : FSpec(std::move(spec)) { Application.AddForm(this); }

TForm::~TForm() {
  if (FHandle) {
    SetWindowLongPtrA(FHandle, GWLP_USERDATA, 0);
    DestroyWindow(FHandle);
  }
  Application.RemoveForm(this);
}

TControl& TForm::AddControl(TControlSpec spec) {
  int id = kFirstControlId + int(FControls.size());
  FControls.push_back(std::make_unique<TControl>(std::move(spec), id));
  return *FControls.back();
}

TControl* TForm::FindControl(const std::string& name) {
  for (auto& c : FControls)
    if (c->Name() == name) return c.get();
  return nullptr;
}

TControl* TForm::ControlById(int id) {
  int index = id - kFirstControlId;
  return index >= 0 && index < int(FControls.size()) ? FControls[size_t(index)].get() : nullptr;
}

void TForm::RegisterClass() {
  HINSTANCE instance = GetModuleHandleA(nullptr);
  WNDCLASSEXA existing{};
  existing.cbSize = sizeof existing;
  if (GetClassInfoExA(instance, FSpec.ClassName.c_str(), &existing)) return;
  WNDCLASSEXA wc{};
  wc.cbSize = sizeof wc;
  wc.lpfnWndProc = StaticWndProc;
  wc.hInstance = instance;
  wc.hIcon = LoadIconA(instance, "MAINICON");
  wc.hIconSm = static_cast<HICON>(
      LoadImageA(instance, "MAINICON", IMAGE_ICON, GetSystemMetrics(SM_CXSMICON), GetSystemMetrics(SM_CYSMICON), 0));
  wc.hCursor = LoadCursorA(nullptr, reinterpret_cast<LPCSTR>(IDC_ARROW));
  wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
  wc.lpszClassName = FSpec.ClassName.c_str();
  RegisterClassExA(&wc);
}

HFONT TForm::FontFor(const TFontSpec& spec) {
  for (auto& [s, font] : FFonts)
    if (s == spec) return static_cast<HFONT>(font.get());
  HFONT font = CreateFontA(ScaleForDpi(spec.Height, FDpi), 0, 0, 0, spec.Bold ? FW_BOLD : FW_NORMAL, FALSE, FALSE,
                           FALSE, DEFAULT_CHARSET, OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY,
                           DEFAULT_PITCH | FF_DONTCARE, spec.Face.c_str());
  FFonts.emplace_back(spec, GdiObject(font));
  return font;
}

void TForm::CreateHandle() {
  if (FHandle) return;
  FDpi = FSpec.Scaled ? ScreenDpi() : 96;
  RegisterClass();
  if (FSpec.Color != CLR_INVALID) FBackground.reset(CreateSolidBrush(FSpec.Color));
  RECT r{0, 0, ScaleForDpi(FSpec.ClientWidth, FDpi), ScaleForDpi(FSpec.ClientHeight, FDpi)};
  AdjustWindowRectEx(&r, FormStyle(FSpec), FALSE, FormExStyle(FSpec));
  HWND owner = FSpec.Dialog && Application.MainForm() ? Application.MainForm()->Handle() : nullptr;
  CreateWindowExA(FormExStyle(FSpec), FSpec.ClassName.c_str(), FSpec.Caption.c_str(), FormStyle(FSpec), CW_USEDEFAULT,
                  CW_USEDEFAULT, r.right - r.left, r.bottom - r.top, owner, nullptr, GetModuleHandleA(nullptr), this);
  if (!FHandle) throw Exception("Cannot create window " + FSpec.Name);
  CreateControls();
  AddTooltips();
  FormCreate();
}

void TForm::CreateControls() {
  // Windows moves focus with Tab in z-order, so tab stops are created in their tab order.
  std::vector<TControl*> order;
  for (auto& c : FControls) order.push_back(c.get());
  std::stable_sort(order.begin(), order.end(), [](TControl* a, TControl* b) {
    int ta = a->Spec().TabOrder < 0 ? 1 << 30 : a->Spec().TabOrder;
    int tb = b->Spec().TabOrder < 0 ? 1 << 30 : b->Spec().TabOrder;
    return ta < tb;
  });
  HINSTANCE instance = GetModuleHandleA(nullptr);
  for (TControl* c : order)
    c->CreateHandle(FHandle, instance, FDpi, FontFor(c->Spec().Font ? *c->Spec().Font : FSpec.Font));
}

void TForm::AddTooltips() {
  bool any = std::any_of(FControls.begin(), FControls.end(), [](auto& c) { return !c->Spec().Hint.empty(); });
  if (!any) return;
  FTooltip = CreateWindowExA(WS_EX_TOPMOST, TOOLTIPS_CLASSA, nullptr, WS_POPUP | TTS_ALWAYSTIP | TTS_NOPREFIX,
                             CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, FHandle, nullptr,
                             GetModuleHandleA(nullptr), nullptr);
  SendMessageA(FTooltip, TTM_SETMAXTIPWIDTH, 0, ScaleForDpi(300, FDpi));
  for (auto& c : FControls) {
    if (c->Spec().Hint.empty()) continue;
    TOOLINFOA ti{};
    ti.cbSize = sizeof ti;
    ti.uFlags = TTF_IDISHWND | TTF_SUBCLASS;
    ti.hwnd = FHandle;
    ti.uId = reinterpret_cast<UINT_PTR>(c->Handle());
    ti.lpszText = const_cast<char*>(c->Spec().Hint.c_str());
    SendMessageA(FTooltip, TTM_ADDTOOLA, 0, reinterpret_cast<LPARAM>(&ti));
  }
}

void TForm::LayoutControls() {
  RECT client;
  GetClientRect(FHandle, &client);
  if (client.right == 0 && client.bottom == 0) return;  // minimised
  int designW = ScaleForDpi(FSpec.ClientWidth, FDpi), designH = ScaleForDpi(FSpec.ClientHeight, FDpi);
  for (auto& c : FControls) {
    TRect r = AnchoredRect(ScaleForDpi(c->Spec().Bounds, FDpi), designW, designH, client.right, client.bottom,
                           c->Spec().Anchors);
    MoveWindow(c->Handle(), r.Left, r.Top, r.Width, r.Height, TRUE);
  }
}

void TForm::CenterOnScreen() {
  RECT r;
  GetWindowRect(FHandle, &r);
  int w = r.right - r.left, h = r.bottom - r.top;
  int left = std::max((GetSystemMetrics(SM_CXSCREEN) - w) / 2, GetSystemMetrics(SM_XVIRTUALSCREEN));
  int top = std::max((GetSystemMetrics(SM_CYSCREEN) - h) / 2, GetSystemMetrics(SM_YVIRTUALSCREEN));
  SetWindowPos(FHandle, nullptr, left, top, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

void TForm::Show() {
  CreateHandle();
  FormShow();
  if (!FHandle || FClosing) return;  // FormShow closed the form
  bool first = !FShown;
  FShown = true;
  if (first && FSpec.CenterOnFirstShow) CenterOnScreen();
  int cmd = FPendingState == TWindowState::wsMaximized   ? SW_SHOWMAXIMIZED
            : FPendingState == TWindowState::wsMinimized ? SW_SHOWMINIMIZED
                                                         : SW_SHOWNORMAL;
  ShowWindow(FHandle, cmd);
  UpdateWindow(FHandle);
}

int TForm::ShowModal() {
  FModal = true;
  FModalResult = mrNone;
  std::vector<HWND> disabled;
  for (TForm* f : Application.Forms())
    if (f != this && f->Handle() && IsWindowEnabled(f->Handle())) {
      EnableWindow(f->Handle(), FALSE);
      disabled.push_back(f->Handle());
    }
  Show();
  MSG msg;
  while (FHandle && IsWindowVisible(FHandle) && FModalResult == mrNone) {
    if (GetMessageA(&msg, nullptr, 0, 0) <= 0) {
      PostQuitMessage(int(msg.wParam));
      break;
    }
    Application.Dispatch(msg);
  }
  for (HWND h : disabled) EnableWindow(h, TRUE);
  if (FHandle) ShowWindow(FHandle, SW_HIDE);
  if (!disabled.empty()) SetActiveWindow(disabled.front());
  FModal = false;
  FShown = false;
  return FModalResult == mrNone ? mrCancel : FModalResult;
}

void TForm::Close() {
  if (FClosing || !FHandle) return;
  FClosing = true;
  struct Reset {
    bool& flag;
    ~Reset() { flag = false; }
  } reset{FClosing};
  FormClose();
  if (FModal) {
    if (FModalResult == mrNone) FModalResult = mrCancel;
    ShowWindow(FHandle, SW_HIDE);
  } else {
    DestroyWindow(FHandle);
  }
}

std::string TForm::Caption() const {
  char buf[512];
  int n = GetWindowTextA(FHandle, buf, sizeof buf);
  return std::string(buf, size_t(n > 0 ? n : 0));
}

void TForm::SetCaption(const std::string& caption) {
  FSpec.Caption = caption;
  if (FHandle) SetWindowTextA(FHandle, caption.c_str());
}

TFormBounds TForm::NormalBounds() const {
  WINDOWPLACEMENT wp{};
  wp.length = sizeof wp;
  GetWindowPlacement(FHandle, &wp);
  TRect r = ToRect(wp.rcNormalPosition);
  return {r.Left, r.Top, r.Width, r.Height};
}

void TForm::SetNormalBounds(const TFormBounds& r) {
  WINDOWPLACEMENT wp{};
  wp.length = sizeof wp;
  GetWindowPlacement(FHandle, &wp);
  wp.rcNormalPosition = RECT{r.Left, r.Top, r.Left + r.Width, r.Top + r.Height};
  if (!IsWindowVisible(FHandle)) wp.showCmd = SW_HIDE;
  SetWindowPlacement(FHandle, &wp);
}

TWindowState TForm::WindowState() const {
  if (!FHandle || !IsWindowVisible(FHandle)) return FPendingState;
  if (IsIconic(FHandle)) return TWindowState::wsMinimized;
  if (IsZoomed(FHandle)) return TWindowState::wsMaximized;
  return TWindowState::wsNormal;
}

void TForm::SetWindowState(TWindowState state) {
  FPendingState = state;
  if (!FHandle || !IsWindowVisible(FHandle)) return;
  ShowWindow(FHandle, state == TWindowState::wsMaximized   ? SW_MAXIMIZE
                      : state == TWindowState::wsMinimized ? SW_MINIMIZE
                                                           : SW_RESTORE);
}

void TForm::OnCommand(int id, int code) {
  if (TControl* c = ControlById(id)) {
    if (code == BN_CLICKED && c->Spec().OnClick) c->Spec().OnClick();
    if (code == BN_CLICKED && c->Spec().ModalResult != mrNone) {
      FModalResult = c->Spec().ModalResult;
      Close();
    }
    if (code == LBN_DBLCLK && c->Spec().OnDblClick) c->Spec().OnDblClick();
    return;
  }
  if (id == IDCANCEL && FSpec.Dialog) Close();
}

LRESULT TForm::WndProc(UINT msg, WPARAM wParam, LPARAM lParam) {
  switch (msg) {
    case WM_COMMAND:
      OnCommand(LOWORD(wParam), HIWORD(wParam));
      return 0;
    case DM_GETDEFID:
      for (auto& c : FControls)
        if (c->Spec().Default && c->Enabled()) return MAKELRESULT(c->Id(), DC_HASDEFID);
      return 0;
    case WM_SIZE:
      LayoutControls();
      return 0;
    case WM_GETMINMAXINFO: {
      auto* info = reinterpret_cast<MINMAXINFO*>(lParam);
      if (FSpec.MinWidth > 0) info->ptMinTrackSize.x = ScaleForDpi(FSpec.MinWidth, FDpi);
      if (FSpec.MinHeight > 0) info->ptMinTrackSize.y = ScaleForDpi(FSpec.MinHeight, FDpi);
      return 0;
    }
    case WM_CTLCOLORSTATIC:
      if (FBackground) {
        SetBkMode(reinterpret_cast<HDC>(wParam), TRANSPARENT);
        return reinterpret_cast<LRESULT>(FBackground.get());
      }
      break;
    case WM_ERASEBKGND:
      if (FBackground) {
        RECT r;
        GetClientRect(FHandle, &r);
        FillRect(reinterpret_cast<HDC>(wParam), &r, static_cast<HBRUSH>(FBackground.get()));
        return 1;
      }
      break;
    case WM_CLOSE:
      Close();
      return 0;
    case WM_DESTROY:
      if (Application.MainForm() == this) PostQuitMessage(0);
      return 0;
  }
  return DefWindowProcA(FHandle, msg, wParam, lParam);
}

LRESULT CALLBACK TForm::StaticWndProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
  if (msg == WM_NCCREATE) {
    auto* form = static_cast<TForm*>(reinterpret_cast<CREATESTRUCTA*>(lParam)->lpCreateParams);
    form->FHandle = hwnd;
    SetWindowLongPtrA(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(form));
  }
  auto* form = reinterpret_cast<TForm*>(GetWindowLongPtrA(hwnd, GWLP_USERDATA));
  if (!form) return DefWindowProcA(hwnd, msg, wParam, lParam);
  if (msg == WM_NCDESTROY) {
    form->FHandle = nullptr;
    form->FTooltip = nullptr;
    SetWindowLongPtrA(hwnd, GWLP_USERDATA, 0);
    return DefWindowProcA(hwnd, msg, wParam, lParam);
  }
  // Exceptions cannot cross Windows' frames: everything stops here and goes to the funnel.
  try {
    return form->WndProc(msg, wParam, lParam);
  } catch (...) {
    Application.HandleException(std::current_exception());
    return 0;
  }
}

}  // namespace vm

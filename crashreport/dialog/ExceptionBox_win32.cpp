#include "crashreport/dialog/ExceptionBox_win32.h"

#include <commctrl.h>

#include <algorithm>
#include <memory>
#include <string>

#include "base/FileIO.h"
#include "crashreport/dialog/Clipboard_win32.h"
#include "crashreport/dialog/DetailsView_win32.h"

namespace vm::dialog {

namespace {

constexpr char kClassName[] = "TExceptionBox";
constexpr int kFirstButtonId = 100, kOkId = IDOK, kDetailsId = 120;
constexpr UINT kCountdownTimer = 1, kRecordChanged = WM_APP + 1;
const char* const kImageNames[] = {"BTNSEND",     "BTNSAVE",    "BTNPRINT", "BTNSHOW",
                                   "BTNCONTINUE", "BTNRESTART", "BTNCLOSE"};

int ScreenDpi() {
  HDC dc = GetDC(nullptr);
  int dpi = GetDeviceCaps(dc, LOGPIXELSY);
  ReleaseDC(nullptr, dc);
  return dpi > 0 ? dpi : 96;
}

// The 144-DPI images from 120 DPI up, else the 96-DPI ones.
HBITMAP LoadImageFor(const std::string& name, int dpi) {
  std::string resource = "TCRASH" + name + (dpi >= 120 ? "144" : "96");
  return HBITMAP(LoadImageA(GetModuleHandleA(nullptr), resource.c_str(), IMAGE_BITMAP, 0, 0, LR_CREATEDIBSECTION));
}

void DrawImage(HDC dc, HBITMAP image, int x, int y) {
  BITMAP info{};
  if (!image || !GetObjectA(image, sizeof info, &info)) return;
  HDC source = CreateCompatibleDC(dc);
  HGDIOBJ old = SelectObject(source, image);
  BLENDFUNCTION blend{AC_SRC_OVER, 0, 255, AC_SRC_ALPHA};
  AlphaBlend(dc, x, y, info.bmWidth, info.bmHeight, source, 0, 0, info.bmWidth, info.bmHeight, blend);
  SelectObject(source, old);
  DeleteDC(source);
}

HFONT MakeFont(const char* face, int height, int dpi) {
  return CreateFontA(-ScaleForDpi(height, dpi), 0, 0, 0, FW_NORMAL, FALSE, FALSE, FALSE, DEFAULT_CHARSET,
                     OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY, DEFAULT_PITCH, face);
}

// Tahoma 11, else MS Sans Serif 12.
HFONT MakeTextFont(int dpi) {
  HFONT font = MakeFont("Tahoma", 11, dpi);
  HDC dc = GetDC(nullptr);
  HGDIOBJ old = SelectObject(dc, font);
  char face[LF_FACESIZE] = "";
  GetTextFaceA(dc, LF_FACESIZE, face);
  SelectObject(dc, old);
  ReleaseDC(nullptr, dc);
  if (lstrcmpiA(face, "Tahoma") == 0) return font;
  DeleteObject(font);
  return MakeFont("MS Sans Serif", 12, dpi);
}

SIZE MeasureText(HFONT font, const std::string& text, int wrapWidth) {
  HDC dc = GetDC(nullptr);
  HGDIOBJ old = SelectObject(dc, font);
  RECT r{0, 0, wrapWidth > 0 ? wrapWidth : 10000, 0};
  UINT flags = DT_CALCRECT | DT_NOPREFIX | (wrapWidth > 0 ? DT_WORDBREAK : DT_SINGLELINE);
  DrawTextA(dc, text.c_str(), int(text.size()), &r, flags);
  SelectObject(dc, old);
  ReleaseDC(nullptr, dc);
  return {r.right, r.bottom};
}

int CaptionWidth(HFONT font, const std::string& caption) {
  std::string plain;
  for (char c : caption)
    if (c != '&') plain += c;
  return int(MeasureText(font, plain, 0).cx);
}

class TExceptionBox {
public:
  TExceptionBox(TICrashException& record, const TBoxOptions& options, const TBoxActions& actions)
      : FRecord(record), FOptions(options), FActions(actions), FDpi(ScreenDpi()) {}
  ~TExceptionBox();
  TButton Run();

private:
  static LRESULT CALLBACK WindowProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam);
  LRESULT Handle(UINT msg, WPARAM wParam, LPARAM lParam);
  void Create();
  void CreateButtons();
  void Place();
  bool PreTranslate(MSG& msg);
  std::optional<TButton> ButtonOfId(int id) const;
  std::optional<TButton> FocusedButtonNow() const;
  void Press(TButton button);
  void CloseWindow();
  void StopCountdown();
  void Tick();
  void DrawButton(const DRAWITEMSTRUCT& item);
  std::string MessageText() const;
  std::string Title() const;
  TButtonSet Usable() const;

  TICrashException& FRecord;
  TBoxOptions FOptions;
  const TBoxActions& FActions;
  int FDpi;
  HWND FWindow = nullptr, FText = nullptr;
  std::array<HWND, kButtonCount> FButtons{};
  std::array<HBITMAP, kButtonCount> FImages{};
  HWND FOk = nullptr, FDetailsBtn = nullptr;
  HBITMAP FIcon = nullptr, FCantContinue = nullptr;
  HFONT FTextFont = nullptr, FFixedFont = nullptr;
  std::unique_ptr<TDetailsView> FDetails;
  TLayoutInput FLayoutIn;
  SIZE FTextSize{};
  std::string FMessage;
  std::optional<TButton> FCountdown;
  DWORD FCountdownStart = 0;
  TButton FResult = TButton::Continue;
  bool FContinueDisabled = false;
  int FChangedCallback = 0;
};

TExceptionBox::~TExceptionBox() {
  if (FChangedCallback) FRecord.UnregisterCallback(FChangedCallback);
  FDetails.reset();
  if (FWindow && IsWindow(FWindow)) DestroyWindow(FWindow);
  for (HBITMAP b : FImages)
    if (b) DeleteObject(b);
  for (HGDIOBJ o : {HGDIOBJ(FIcon), HGDIOBJ(FCantContinue), HGDIOBJ(FTextFont), HGDIOBJ(FFixedFont)})
    if (o) DeleteObject(o);
}

std::string TExceptionBox::MessageText() const {
  std::string exceptionMessage = BreakMessageLines(FRecord.ExceptionMessage());
  if (FOptions.SimpleBox) return FOptions.Frozen ? FRecord.FrozenMsg() : exceptionMessage;
  std::string text = FOptions.Frozen ? FRecord.FrozenMsg() : FRecord.ExceptMsg();
  for (size_t at; (at = text.find("%exceptMsg%")) != std::string::npos;) text.replace(at, 11, exceptionMessage);
  return text;
}

std::string TExceptionBox::Title() const {
  if (!FOptions.SimpleBox) return FRecord.TitleBar();
  std::string name = FileNameOf(ProgramPath());
  return name.substr(0, name.find_last_of('.'));
}

TButtonSet TExceptionBox::Usable() const {
  TButtonSet usable = FLayoutIn.Buttons;
  if (FContinueDisabled) usable[size_t(TButton::Continue)] = false;
  return usable;
}

void TExceptionBox::Create() {
  static bool registered = [] {
    WNDCLASSA wc{};
    wc.lpfnWndProc = WindowProc;
    wc.hInstance = GetModuleHandleA(nullptr);
    wc.hCursor = LoadCursorA(nullptr, IDC_ARROW);
    wc.hbrBackground = HBRUSH(COLOR_BTNFACE + 1);
    wc.lpszClassName = kClassName;
    return RegisterClassA(&wc) != 0;
  }();
  (void)registered;
  FTextFont = MakeTextFont(FDpi);
  FFixedFont = MakeFont("Courier New", 11, FDpi);
  FMessage = MessageText();
  FIcon = FOptions.SimpleBox ? nullptr : LoadImageFor("ICON", FDpi);

  FLayoutIn.Dpi = FDpi;
  FLayoutIn.SimpleBox = FOptions.SimpleBox;
  FLayoutIn.UglyBtns = FRecord.UglyBtns();
  FLayoutIn.HasIcon = FIcon != nullptr;
  FLayoutIn.DetailsOpen = FOptions.DetailsOpen && !FOptions.SimpleBox;
  FLayoutIn.ScreenWidth = GetSystemMetrics(SM_CXSCREEN);
  FLayoutIn.CaptionHeight = GetSystemMetrics(SM_CYCAPTION);
  if (FOptions.SimpleBox) {
    FLayoutIn.SimpleButtons = FOptions.DetailsButton ? 2 : 1;
    FLayoutIn.SimpleCaptionWidth = {CaptionWidth(FTextFont, FRecord.OkBtnTxt()),
                                    CaptionWidth(FTextFont, FRecord.DetailsBtnTxt())};
  } else {
    const bool visible[] = {FRecord.SendBtnVis(), FRecord.SaveBtnVis(),     FRecord.PrintBtnVis(),
                            FRecord.ShowBtnVis(), FRecord.ContinueBtnVis(), FRecord.RestartBtnVis(),
                            FRecord.CloseBtnVis()};
    const std::string captions[] = {FRecord.SendBtnTxt(), FRecord.SaveBtnTxt(),     FRecord.PrintBtnTxt(),
                                    FRecord.ShowBtnTxt(), FRecord.ContinueBtnTxt(), FRecord.RestartBtnTxt(),
                                    FRecord.CloseBtnTxt()};
    for (int i = 0; i < kButtonCount; ++i) {
      FLayoutIn.Buttons[size_t(i)] = visible[i];
      FLayoutIn.CaptionWidth[size_t(i)] = CaptionWidth(FTextFont, captions[i]);
    }
    FContinueDisabled = ContinueDisabled(FLayoutIn.Buttons, FOptions.CanContinue);
  }
  FTextSize = MeasureText(FTextFont, FMessage, TextWrapWidth(FLayoutIn));

  DWORD style = WS_POPUP | WS_CAPTION | WS_SYSMENU | WS_CLIPCHILDREN;
  if (FLayoutIn.DetailsOpen) style |= WS_THICKFRAME | WS_MINIMIZEBOX | WS_MAXIMIZEBOX;
  DWORD exStyle = WS_EX_DLGMODALFRAME | WS_EX_APPWINDOW | WS_EX_CONTROLPARENT;
  TLayout layout = LayoutDialog(FLayoutIn, FTextSize.cx, FTextSize.cy);
  RECT frame{0, 0, layout.ClientWidth, layout.ClientHeight};
  AdjustWindowRectEx(&frame, style, FALSE, exStyle);
  int w = frame.right - frame.left, h = frame.bottom - frame.top;
  int x = (GetSystemMetrics(SM_CXSCREEN) - w) / 2, y = (GetSystemMetrics(SM_CYSCREEN) - h) / 2;
  FWindow = CreateWindowExA(exStyle, kClassName, Title().c_str(), style, x, y, w, h, nullptr, nullptr,
                            GetModuleHandleA(nullptr), this);
  if (!FWindow) return;
  if (!FLayoutIn.DetailsOpen) {
    // No size, minimise or maximise commands on the plain dialog.
    HMENU menu = GetSystemMenu(FWindow, FALSE);
    for (UINT command : {SC_SIZE, SC_MINIMIZE, SC_MAXIMIZE, SC_RESTORE}) DeleteMenu(menu, command, MF_BYCOMMAND);
  }
  FText = CreateWindowExA(0, "Static", FMessage.c_str(), WS_CHILD | WS_VISIBLE | SS_LEFT | SS_NOPREFIX, 0, 0, 0, 0,
                          FWindow, nullptr, GetModuleHandleA(nullptr), nullptr);
  SendMessageA(FText, WM_SETFONT, WPARAM(FTextFont), FALSE);
  CreateButtons();
  if (FLayoutIn.DetailsOpen) {
    FDetails = std::make_unique<TDetailsView>(FWindow, FTextFont, FFixedFont);
    FDetails->Show(FRecord.BugReport());
    HWND window = FWindow;
    // The record changes on other threads while its report is completed: the view
    // refreshes on this thread.
    FChangedCallback = FRecord.RegisterCallback(TICrashException::TCallbackKind::Changed, [window](TICrashException&) {
      PostMessageA(window, kRecordChanged, 0, 0);
    });
  }
  Place();
}

void TExceptionBox::CreateButtons() {
  HINSTANCE instance = GetModuleHandleA(nullptr);
  auto make = [&](const std::string& caption, DWORD style, int id) {
    HWND h = CreateWindowExA(0, "Button", caption.c_str(), WS_CHILD | WS_VISIBLE | WS_TABSTOP | style, 0, 0, 0, 0,
                             FWindow, HMENU(INT_PTR(id)), instance, nullptr);
    SendMessageA(h, WM_SETFONT, WPARAM(FTextFont), FALSE);
    return h;
  };
  if (FOptions.SimpleBox) {
    FOk = make(FRecord.OkBtnTxt(), BS_DEFPUSHBUTTON, kOkId);
    if (FOptions.DetailsButton) FDetailsBtn = make(FRecord.DetailsBtnTxt(), BS_PUSHBUTTON, kDetailsId);
    SetFocus(FOk);
    return;
  }
  const std::string captions[] = {FRecord.SendBtnTxt(), FRecord.SaveBtnTxt(),     FRecord.PrintBtnTxt(),
                                  FRecord.ShowBtnTxt(), FRecord.ContinueBtnTxt(), FRecord.RestartBtnTxt(),
                                  FRecord.CloseBtnTxt()};
  for (int i = 0; i < kButtonCount; ++i) {
    if (!FLayoutIn.Buttons[size_t(i)]) continue;
    FButtons[size_t(i)] = make(captions[i], BS_OWNERDRAW, kFirstButtonId + i);
    FImages[size_t(i)] = LoadImageFor(kImageNames[i], FDpi);
  }
  if (FContinueDisabled) {
    EnableWindow(FButtons[size_t(TButton::Continue)], FALSE);
    FCantContinue = LoadImageFor("BTNCANTCONTINUE", FDpi);
  }
  FCountdown = CountdownButton(FOptions.Autos, Usable(), FOptions.CanContinue);
  if (FCountdown && FRecord.AutoDelay() <= 0) FCountdown.reset();
  auto focused =
      FocusedButton(FRecord.FocusedBtn(), Usable(), CountdownButton(FOptions.Autos, Usable(), FOptions.CanContinue));
  if (focused) SetFocus(FButtons[size_t(*focused)]);
  if (FCountdown) {
    FCountdownStart = GetTickCount();
    SetTimer(FWindow, kCountdownTimer, 10, nullptr);
  }
}

void TExceptionBox::Place() {
  RECT client;
  GetClientRect(FWindow, &client);
  TLayout l = LayoutDialog(FLayoutIn, FTextSize.cx, FTextSize.cy, client.right, client.bottom);
  auto move = [](HWND h, const TRect& r) {
    if (h) MoveWindow(h, r.Left, r.Top, r.Width, r.Height, TRUE);
  };
  move(FText, l.Text);
  for (int i = 0; i < kButtonCount; ++i) move(FButtons[size_t(i)], l.Buttons[size_t(i)]);
  move(FOk, l.SimpleButtons[0]);
  move(FDetailsBtn, l.SimpleButtons[1]);
  if (FDetails) FDetails->Place(RECT{l.Details.Left, l.Details.Top, l.Details.Right(), l.Details.Bottom()});
  RedrawWindow(FWindow, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN);
}

std::optional<TButton> TExceptionBox::ButtonOfId(int id) const {
  if (id >= kFirstButtonId && id < kFirstButtonId + kButtonCount) return TButton(id - kFirstButtonId);
  return std::nullopt;
}

std::optional<TButton> TExceptionBox::FocusedButtonNow() const {
  HWND focus = GetFocus();
  for (int i = 0; i < kButtonCount; ++i)
    if (focus && FButtons[size_t(i)] == focus) return TButton(i);
  return std::nullopt;
}

void TExceptionBox::StopCountdown() {
  if (!FCountdown) return;
  KillTimer(FWindow, kCountdownTimer);
  HWND button = FButtons[size_t(*FCountdown)];
  FCountdown.reset();
  InvalidateRect(button, nullptr, FALSE);
}

void TExceptionBox::Tick() {
  if (!FCountdown) return;
  HWND button = FButtons[size_t(*FCountdown)];
  if (GetFocus() != button) return StopCountdown();  // the user moved on
  InvalidateRect(button, nullptr, FALSE);
  if (GetTickCount() - FCountdownStart >= DWORD(FRecord.AutoDelay()) * 1000) Press(*FCountdown);
}

void TExceptionBox::Press(TButton button) {
  StopCountdown();
  TButton action = button == TButton::Continue ? ContinueAction(FOptions.CanContinue) : button;
  if (FActions.Tell && FActions.Tell(ActionOf(action))) return;  // a handler took it: the dialog stays
  // The dialog stays after these: the focus comes back to the button from the pages and boxes.
  auto refocus = [this, button] {
    if (HWND h = FButtons[size_t(button)]) SetFocus(h);
  };
  switch (action) {
    case TButton::Send:
      if (FActions.Send) FActions.Send(FWindow);
      return refocus();
    case TButton::Print:
      if (FActions.Print) FActions.Print(FWindow);
      return refocus();
    case TButton::Save:
      if (FActions.Save && FActions.Save(FWindow)) {
        DestroyWindow(FButtons[size_t(TButton::Save)]);
        FButtons[size_t(TButton::Save)] = nullptr;
        FLayoutIn.Buttons[size_t(TButton::Save)] = false;
        Place();
        if (auto next = FocusedButton(-1, Usable(), std::nullopt)) SetFocus(FButtons[size_t(*next)]);
        return;
      }
      return refocus();
    default:
      FResult = action;
      DestroyWindow(FWindow);
  }
}

void TExceptionBox::CloseWindow() {
  if (FOptions.SimpleBox) return Press(ContinueAction(FOptions.CanContinue));
  if (auto action = ClosingAction(FocusedButtonNow(), FLayoutIn.Buttons, FOptions.CanContinue, false)) Press(*action);
}

// The dialog's own keys, before the dialog navigation sees them.
bool TExceptionBox::PreTranslate(MSG& msg) {
  if (msg.message != WM_KEYDOWN) return false;
  switch (msg.wParam) {
    case VK_ESCAPE:
      CloseWindow();
      return true;
    case VK_F1:
      if (FActions.Tell) FActions.Tell(TBoxAction::Help);
      return true;
    case VK_RETURN:
      if (auto b = FocusedButtonNow())
        Press(*b);
      else if (FOptions.SimpleBox)
        SendMessageA(GetFocus(), BM_CLICK, 0, 0);
      return true;
    case 'C':
      if (GetKeyState(VK_CONTROL) >= 0) return false;
      CopyTextToClipboard(FWindow, FDetails ? FRecord.BugReport() : FRecord.ExceptionMessage());
      return true;
  }
  return false;
}

void TExceptionBox::DrawButton(const DRAWITEMSTRUCT& item) {
  auto button = ButtonOfId(int(item.CtlID));
  if (!button) return;
  HDC dc = item.hDC;
  RECT r = item.rcItem;
  bool pushed = item.itemState & ODS_SELECTED, disabled = item.itemState & ODS_DISABLED;
  bool focused = item.itemState & ODS_FOCUS;
  if (focused) {  // the default button's dark rim
    FrameRect(dc, &r, HBRUSH(GetStockObject(BLACK_BRUSH)));
    InflateRect(&r, -1, -1);
  }
  DrawFrameControl(dc, &r, DFC_BUTTON, DFCS_BUTTONPUSH | (pushed ? DFCS_PUSHED : 0));
  RECT inner = r;
  InflateRect(&inner, -2, -2);
  if (FCountdown == *button) {
    // The countdown fills the button from the left over AutoDelay seconds.
    double share = double(GetTickCount() - FCountdownStart) / (std::max(1, FRecord.AutoDelay()) * 1000.0);
    RECT fill = inner;
    fill.right = fill.left + LONG((inner.right - inner.left) * std::min(1.0, share));
    HBRUSH brush = CreateSolidBrush(RGB(178, 210, 246));
    FillRect(dc, &fill, brush);
    DeleteObject(brush);
  }
  int offset = pushed ? 1 : 0, pad = ScaleForDpi(7, FDpi);
  HBITMAP image = *button == TButton::Continue && FContinueDisabled ? FCantContinue : FImages[size_t(*button)];
  BITMAP info{};
  int imageWidth = 0;
  if (image && GetObjectA(image, sizeof info, &info)) {
    imageWidth = info.bmWidth;
    DrawImage(dc, image, inner.left + pad + offset, (r.top + r.bottom - info.bmHeight) / 2 + offset);
  }
  char caption[256] = "";
  GetWindowTextA(item.hwndItem, caption, sizeof caption);
  RECT text{inner.left + pad + imageWidth + offset, r.top + offset, inner.right - pad / 2 + offset, r.bottom + offset};
  SetBkMode(dc, TRANSPARENT);
  SetTextColor(dc, GetSysColor(disabled ? COLOR_GRAYTEXT : COLOR_BTNTEXT));
  HGDIOBJ old = SelectObject(dc, FTextFont);
  DrawTextA(dc, caption, -1, &text, DT_CENTER | DT_VCENTER | DT_SINGLELINE);
  SelectObject(dc, old);
  if (focused) {
    RECT dots = inner;
    InflateRect(&dots, -1, -1);
    DrawFocusRect(dc, &dots);
  }
}

LRESULT CALLBACK TExceptionBox::WindowProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
  if (msg == WM_NCCREATE) {
    auto* box = static_cast<TExceptionBox*>(reinterpret_cast<CREATESTRUCTA*>(lParam)->lpCreateParams);
    box->FWindow = hwnd;
    SetWindowLongPtrA(hwnd, GWLP_USERDATA, LONG_PTR(box));
  }
  auto* box = reinterpret_cast<TExceptionBox*>(GetWindowLongPtrA(hwnd, GWLP_USERDATA));
  return box ? box->Handle(msg, wParam, lParam) : DefWindowProcA(hwnd, msg, wParam, lParam);
}

LRESULT TExceptionBox::Handle(UINT msg, WPARAM wParam, LPARAM lParam) {
  switch (msg) {
    case WM_COMMAND: {
      int id = LOWORD(wParam);
      if (HIWORD(wParam) != BN_CLICKED) break;
      if (id == kOkId && FOptions.SimpleBox)
        Press(ContinueAction(FOptions.CanContinue));
      else if (id == kDetailsId)
        Press(TButton::Show);
      else if (id == IDCANCEL)
        CloseWindow();
      else if (auto b = ButtonOfId(id))
        Press(*b);
      return 0;
    }
    case WM_CLOSE:
      CloseWindow();
      return 0;
    case WM_DRAWITEM:
      DrawButton(*reinterpret_cast<const DRAWITEMSTRUCT*>(lParam));
      return TRUE;
    case WM_TIMER:
      if (wParam == kCountdownTimer) Tick();
      return 0;
    case WM_PAINT: {
      PAINTSTRUCT ps;
      HDC dc = BeginPaint(FWindow, &ps);
      if (FIcon) {
        TLayout l = LayoutDialog(FLayoutIn, FTextSize.cx, FTextSize.cy);
        DrawImage(dc, FIcon, l.Icon.Left, l.Icon.Top);
      }
      EndPaint(FWindow, &ps);
      return 0;
    }
    case WM_CTLCOLORSTATIC:
      SetBkMode(HDC(wParam), TRANSPARENT);
      return LRESULT(GetSysColorBrush(COLOR_BTNFACE));
    case WM_SIZE:
      if (FDetails) Place();
      return 0;
    case WM_GETMINMAXINFO:
      if (FDetails) {
        TLayout l = LayoutDialog(FLayoutIn, FTextSize.cx, FTextSize.cy);
        RECT frame{0, 0, l.ClientWidth, l.ClientHeight};
        AdjustWindowRectEx(&frame, DWORD(GetWindowLongA(FWindow, GWL_STYLE)), FALSE,
                           DWORD(GetWindowLongA(FWindow, GWL_EXSTYLE)));
        auto* info = reinterpret_cast<MINMAXINFO*>(lParam);
        info->ptMinTrackSize = {frame.right - frame.left, frame.bottom - frame.top};
      }
      return 0;
    case WM_NOTIFY:
      if (FDetails && FDetails->HandleNotify(lParam)) return 0;
      break;
    case kRecordChanged:
      if (FDetails) FDetails->Show(FRecord.BugReport());
      return 0;
    case WM_DESTROY:
      KillTimer(FWindow, kCountdownTimer);
      return 0;
  }
  return DefWindowProcA(FWindow, msg, wParam, lParam);
}

TButton TExceptionBox::Run() {
  Create();
  if (!FWindow) return ContinueAction(FOptions.CanContinue);
  ShowWindow(FWindow, SW_SHOWNORMAL);
  if (IsIconic(FWindow)) ShowWindow(FWindow, SW_RESTORE);
  SetForegroundWindow(FWindow);
  if (FOptions.FirstShowing) MessageBeep(MB_ICONHAND);
  MSG msg;
  while (IsWindow(FWindow) && GetMessageA(&msg, nullptr, 0, 0) > 0) {
    if (PreTranslate(msg)) continue;
    if (IsDialogMessageA(FWindow, &msg)) continue;
    TranslateMessage(&msg);
    DispatchMessageA(&msg);
  }
  FWindow = nullptr;
  return FResult;
}

}  // namespace

TButton RunExceptionBox(TICrashException& record, const TBoxOptions& options, const TBoxActions& actions) {
  INITCOMMONCONTROLSEX controls{sizeof controls, ICC_TAB_CLASSES | ICC_LISTVIEW_CLASSES | ICC_PROGRESS_CLASS};
  InitCommonControlsEx(&controls);
  TExceptionBox box(record, options, actions);
  return box.Run();
}

}  // namespace vm::dialog

// A top-level form: a window of its own class with child controls laid out at 96 DPI and
// scaled to the system's, anchored to its edges, and the show, close and create events.
// Every message reaches WndProc inside a guard that hands exceptions to the application.
#pragma once

#include <windows.h>

#include <memory>
#include <string>
#include <vector>

#include "base/Handles_win32.h"
#include "settings/ConfigForms.h"
#include "toolkit/Controls_win32.h"
#include "toolkit/Layout.h"

namespace vm {

enum TModalResult { mrNone = 0, mrOk = IDOK, mrCancel = IDCANCEL, mrYes = IDYES, mrNo = IDNO, mrRetry = IDRETRY };

struct TFormSpec {
  std::string ClassName;  // window class, e.g. "TformVeilmark"
  std::string Name;       // component name, e.g. "formVeilmark"
  std::string Caption;
  int ClientWidth = 0, ClientHeight = 0;  // at 96 DPI
  int MinWidth = 0, MinHeight = 0;        // outer size at 96 DPI; 0: none
  TFontSpec Font;
  bool Sizeable = true;
  bool Dialog = false;  // dialog frame, no minimise or maximise box
  bool CenterOnFirstShow = false;
  bool Scaled = true;            // false: laid out in pixels whatever the system's DPI
  COLORREF Color = CLR_INVALID;  // CLR_INVALID: button face
};

class TForm : public IConfigForm {
public:
  explicit TForm(TFormSpec spec);
  ~TForm() override;
  TForm(const TForm&) = delete;
  TForm& operator=(const TForm&) = delete;

  const std::string& Name() const { return FSpec.Name; }
  const TFormSpec& Spec() const { return FSpec; }
  HWND Handle() const { return FHandle; }

  // Adds a control; valid until the form is destroyed. Call before CreateHandle.
  TControl& AddControl(TControlSpec spec);
  TControl* FindControl(const std::string& name);

  // Creates the window and its controls, then runs FormCreate.
  void CreateHandle();
  // Runs FormShow, then shows the window (centred the first time when asked).
  void Show();
  // Shows the form modally: other forms are disabled until it closes. Returns its ModalResult.
  int ShowModal();
  // Runs FormClose and ends the form: a modal form returns, any other form is destroyed.
  void Close();

  void SetModalResult(int result) { FModalResult = result; }
  int ModalResult() const { return FModalResult; }

  std::string Caption() const;
  void SetCaption(const std::string& caption);

  // Placement in screen coordinates, as the settings manager stores it; the normal bounds
  // are those of the restored window, also while it is minimised or maximised.
  std::string ComponentName() const override { return FSpec.Name; }
  TFormBounds NormalBounds() const override;
  void SetNormalBounds(const TFormBounds& r) override;
  TWindowState WindowState() const override;
  void SetWindowState(TWindowState state) override;

protected:
  virtual void FormCreate() {}
  virtual void FormShow() {}
  virtual void FormClose() {}
  // The form's message handler. Overrides call TForm::WndProc first, then add their own.
  virtual LRESULT WndProc(UINT msg, WPARAM wParam, LPARAM lParam);

private:
  static LRESULT CALLBACK StaticWndProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam);
  void RegisterClass();
  void CreateControls();
  void LayoutControls();
  void AddTooltips();
  void CenterOnScreen();
  HFONT FontFor(const TFontSpec& spec);
  TControl* ControlById(int id);
  void OnCommand(int id, int code);

  TFormSpec FSpec;
  HWND FHandle = nullptr;
  HWND FTooltip = nullptr;
  int FDpi = 96;
  bool FShown = false;
  bool FClosing = false;
  bool FModal = false;
  int FModalResult = mrNone;
  TWindowState FPendingState = TWindowState::wsNormal;
  std::vector<std::unique_ptr<TControl>> FControls;
  std::vector<std::pair<TFontSpec, GdiObject>> FFonts;
  GdiObject FBackground;
};

}  // namespace vm

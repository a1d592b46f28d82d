#include "about/qbxUIDlgAbout_win32.h"

#include "about/AboutTexts.h"
#include "about/qbxPEVersions.h"
#include "base/FileIO.h"
#include "toolkit/Application_win32.h"
#include "toolkit/Dialogs_win32.h"

namespace vm {

std::string AboutUpdateName;

namespace {

const TFontSpec kProductFont{"Arial", -27, false};

TFormSpec AboutFormSpec() {
  TFormSpec spec;
  spec.ClassName = "TdlgAbout";
  spec.Name = "dlgAbout";
  spec.Caption = "About ...";
  spec.ClientWidth = 393;
  spec.ClientHeight = 209;
  spec.Dialog = true;
  spec.Sizeable = false;
  spec.CenterOnFirstShow = true;
  spec.Scaled = false;
  spec.Color = GetSysColor(COLOR_WINDOW);
  spec.Font = TFontSpec{"MS Shell Dlg 2", -11, false};
  return spec;
}

TControlSpec Text(const char* name, const char* caption, TRect bounds, TAnchors anchors, bool wrap) {
  TControlSpec s = ControlSpec(TControlKind::Label, name, caption, bounds, anchors);
  s.WordWrap = wrap;
  s.NoPrefix = true;
  return s;
}

TControlSpec ButtonSpec(const char* name, const char* caption, TRect bounds, TAnchors anchors, int tab, bool visible) {
  TControlSpec s = ControlSpec(TControlKind::Button, name, caption, bounds, anchors, tab);
  s.Visible = visible;
  return s;
}

TControlSpec OkSpec() {
  TControlSpec s = ButtonSpec("bnOk", "OK", {304, 176, 81, 25}, akRight | akBottom, 0, true);
  s.Default = true;
  s.ModalResult = mrOk;
  return s;
}

TControlSpec LegalSpec() {
  TControlSpec s = Text("labelLegal", "", {8, 128, 377, 41}, akLeft | akRight | akBottom, true);
  s.Centered = true;
  return s;
}

TControlSpec ProductSpec() {
  TControlSpec s = Text("labelProduct", "A quality QBX product", {8, 8, 377, 33}, akLeft | akTop | akRight, false);
  s.Font = &kProductFont;
  return s;
}

}  // namespace

TdlgAbout::TdlgAbout()
    : TForm(AboutFormSpec()),
      bnOk(AddControl(OkSpec())),
      labelLegal(AddControl(LegalSpec())),
      labelProduct(AddControl(ProductSpec())),
      labelVersion(AddControl(ControlSpec(TControlKind::Label, "labelVersion", "Version unknown", {48, 44, 185, 17},
                                          akLeft | akTop | akRight))),
      imgQBXLogo(AddControl(ControlSpec(TControlKind::Image, "imgQBXLogo", "", {248, 40, 137, 65}, akLeft | akTop))),
      labelDescription(AddControl(Text("labelDescription", "", {48, 64, 193, 49}, akLeft | akTop | akRight, true))),
      imgIcon(AddControl(ControlSpec(TControlKind::Icon, "imgIcon", "", {8, 46, 32, 32}, akLeft | akTop))),
      bnTranslations(
          AddControl(ButtonSpec("bnTranslations", "Translations", {8, 176, 81, 25}, akLeft | akBottom, 2, false))),
      bnUpdates(AddControl(ButtonSpec("bnUpdates", "Updates", {208, 176, 81, 25}, akLeft | akBottom, 1, false))) {
  bnTranslations.SetOnClick([this] { bnTranslationsClick(); });
  bnUpdates.SetOnClick([this] { CheckForUpdates(); });
}

void TdlgAbout::FormCreate() {
  FTranslators.Clear();
  FCheckOnShow = false;
  FLogo.reset(LoadImageA(GetModuleHandleA(nullptr), "QBXLOGO", IMAGE_BITMAP, 0, 0, LR_DEFAULTCOLOR));
  imgQBXLogo.SetBitmap(static_cast<HBITMAP>(FLogo.get()));
}

void TdlgAbout::FormShow() {
  if (FCheckOnShow) CheckForUpdates();
}

void TdlgAbout::SetUpdateName(const std::string& name) {
  FUpdateName = name;
  bnUpdates.SetVisible(!name.empty());
}

void TdlgAbout::LoadVersionInfo(const std::string& fileName) {
  if (GetTranslationCount(fileName) == 0) return;
  TStringList info;
  GetVersionInfo(fileName, 0, info);
  TAboutTexts texts = AboutTextsFor(FTitle, info);
  FVersion = texts.Version;
  SetCaption(texts.Caption);
  labelProduct.SetText(texts.Product);
  labelVersion.SetText(texts.VersionLabel);
  labelDescription.SetText(texts.Description);
  labelLegal.SetText(texts.Legal);
  FTranslators = texts.Translators;
  bnTranslations.SetVisible(FTranslators.Count() > 0);
}

void TdlgAbout::bnTranslationsClick() { ShowMessage(TranslatorsMessage(FTranslators)); }

void ShowAbout(const std::string& title, bool checkOnShow) {
  TdlgAbout dlgAbout;
  dlgAbout.CreateHandle();
  dlgAbout.SetTitle(title);
  dlgAbout.SetUpdateName(AboutUpdateName);
  dlgAbout.LoadVersionInfo(ProgramPath());
  dlgAbout.SetCheckOnShow(checkOnShow);
  TControl* icon = dlgAbout.FindControl("imgIcon");
  icon->SetIcon(LoadIconA(GetModuleHandleA(nullptr), "MAINICON"));
  dlgAbout.ShowModal();
}

void AddAboutMenuItem(TForm* form) {
  if (!form) form = Application.MainForm();
  if (!form || !form->Handle()) return;
  HMENU menu = GetSystemMenu(form->Handle(), FALSE);
  if (!menu) return;
  std::string text = "&About " + Application.Title() + "...";
  InsertMenuA(menu, 6, MF_BYPOSITION | MF_STRING, kAboutCommand, text.c_str());
  DrawMenuBar(form->Handle());
}

}  // namespace vm

#include "app/FormVeilmark_win32.h"

#include <objbase.h>

#include "about/qbxUIDlgAbout_win32.h"
#include "app/ClientIdFile.h"
#include "app/CrashpadSettings.h"
#include "app/IdReplacement.h"
#include "app/RegistryBackup.h"
#include "base/Exception.h"
#include "base/FileIO.h"
#include "base/StringList.h"
#include "base/Text.h"
#include "settings/qbxConfig.h"
#include "toolkit/Application_win32.h"
#include "toolkit/Dialogs_win32.h"

namespace vm {

namespace {

const char* const kBackupValue = "IDBackup";
const char* const kNoFileMessage =
    "Did not find the Google Chrome configuration file \"Local State\". Please use after Chrome has been installed.";

const char* const kNoCrashSettings = "(no crash reporter settings)";
const char* const kUnreadableCrashSettings = "(unreadable crash reporter settings)";
const char* const kBackupKeptOld =
    "Chrome keeps this copy of its ID and puts it back into \"Local State\" when that file loses its own.";
const char* const kCrashKeptOld = "Chrome's crash reporter keeps its old ID.";

const TFontSpec kMonoFont{"Courier New", -11, false};

TFormSpec MainFormSpec() {
  TFormSpec spec;
  spec.ClassName = "TformVeilmark";
  spec.Name = "formVeilmark";
  spec.Caption = "Veilmark";
  spec.ClientWidth = 417;
  spec.ClientHeight = 155;
  spec.MinWidth = 425;
  spec.MinHeight = 185;
  spec.CenterOnFirstShow = true;
  return spec;
}

TControlSpec Label(const char* name, const char* caption, TRect bounds) {
  return ControlSpec(TControlKind::Label, name, caption, bounds);
}

TControlSpec Button(const char* name, const char* caption, TRect bounds, TAnchors anchors, int tabOrder) {
  return ControlSpec(TControlKind::Button, name, caption, bounds, anchors, tabOrder);
}

TControlSpec EditSpec() {
  TControlSpec s = ControlSpec(TControlKind::Edit, "editID", "", {120, 8, 289, 22}, akLeft | akTop | akRight, 0);
  s.ReadOnly = true;
  s.Font = &kMonoFont;
  return s;
}

// Not a tab stop: nothing can be done in it but read and copy.
TControlSpec CrashIdSpec() {
  TControlSpec s = ControlSpec(TControlKind::Edit, "editCrashID", "", {120, 35, 289, 22}, akLeft | akTop | akRight);
  s.ReadOnly = true;
  s.Font = &kMonoFont;
  s.Hint =
      "The ID that Chrome's crash reporter sends with every crash report (User Data\\Crashpad\\settings.dat). "
      "A new random ID gives it a new one too, the uniform ID the uniform one.";
  return s;
}

TControlSpec ListSpec() {
  TControlSpec s =
      ControlSpec(TControlKind::ListBox, "lbOldIDs", "", {120, 62, 289, 54}, akLeft | akTop | akRight | akBottom, 1);
  s.Font = &kMonoFont;
  s.ItemHeight = 14;
  return s;
}

TControlSpec UniformSpec() {
  TControlSpec s =
      Button("bnNewUniform", "Replace with &uniform ID", {120, 122, 178, 25}, akLeft | akRight | akBottom, 2);
  s.Default = true;
  s.Hint = "Use this button to set your ID to a uniform one that is used by many and does not allow tracking to you.";
  return s;
}

TControlSpec RandomSpec() {
  TControlSpec s = Button("bnNewRandom", "New &random ID", {304, 122, 105, 25}, akRight | akBottom, 3);
  s.Hint = "Use this if you just want to change your ID to irritate Google.";
  return s;
}

TStringList ToList(const std::vector<std::string>& items) {
  TStringList list;
  for (const auto& item : items) list.Add(item);
  return list;
}

void ShowError(const std::string& text) { MessageDlg(text, TMsgDlgType::mtError, mbOK); }

}  // namespace

TformVeilmark::TformVeilmark()
    : TForm(MainFormSpec()),
      labelID(AddControl(Label("labelID", "Current Chrome ID:", {8, 11, 106, 13}))),
      labelOldIDs(AddControl(Label("labelOldIDs", "Old IDs (backup):", {8, 62, 106, 13}))),
      editID(AddControl(EditSpec())),
      labelCrashID(AddControl(Label("labelCrashID", "Crash reporter ID:", {8, 38, 106, 13}))),
      editCrashID(AddControl(CrashIdSpec())),
      lbOldIDs(AddControl(ListSpec())),
      bnNewUniform(AddControl(UniformSpec())),
      bnNewRandom(AddControl(RandomSpec())),
      bnExit(AddControl(Button("bnExit", "E&xit", {8, 122, 97, 25}, akLeft | akBottom, 4))) {
  bnNewUniform.SetOnClick([this] { bnNewUniformClick(); });
  bnNewRandom.SetOnClick([this] { bnNewRandomClick(); });
  bnExit.SetOnClick([this] { bnExitClick(); });
  lbOldIDs.SetOnDblClick([this] { lbOldIDsDblClick(); });
}

void TformVeilmark::FormCreate() { AddAboutMenuItem(this); }

void TformVeilmark::FormShow() {
  FLocalStatePath = GetLocalStatePath();
  FCrashpadPath = CrashpadSettingsPath(FLocalStatePath);
  if (!FileExists(FLocalStatePath)) {
    ShowError(kNoFileMessage);
    Close();
    return;
  }
  RemoveReplaceLeftovers(FLocalStatePath);
  TStringList backup;
  if (ConfigManager.LoadStrings("", kBackupValue, backup)) lbOldIDs.SetItems(backup.Items());
  FBackupListLoaded = true;
  ConfigManager.RestoreAllForms();
  // Closed while minimised, the window would come back as a task-bar button only.
  if (WindowState() == TWindowState::wsMinimized) SetWindowState(TWindowState::wsNormal);
  ShowChromeState(ChromeIsRunning(FLocalStatePath));
  ReadShownID();
  ShowCrashID();
  UpdateUniformButton();
}

// A file that cannot be read leaves the field empty; the buttons then read it afresh.
void TformVeilmark::ReadShownID() {
  try {
    std::string id;
    if (ReadClientID(FLocalStatePath, id))
      editID.SetText(id);
    else
      ShowError(kNoIdMessage);
  } catch (const EFileStreamError& e) {
    ShowError(e.Message());
  } catch (const std::bad_alloc&) {
    ShowError(FormatText("Not enough memory to load \"%s\".", DisplayPath(FLocalStatePath).c_str()));
  }
}

void TformVeilmark::ShowChromeState(bool chromeOpen) {
  SetCaption(chromeOpen ? Application.Title() + " - " + kChromeOpenNotice : Application.Title());
}

void TformVeilmark::FormClose() {
  if (!FBackupListLoaded) return;
  SaveBackupList();
  ConfigManager.SaveAllForms();
}

// Another Veilmark may have stored IDs meanwhile: the save keeps them, and the list shows them.
void TformVeilmark::SaveBackupList() {
  TStringList list = ToList(lbOldIDs.Items());
  if (ConfigManager.SaveStringsMerged("", kBackupValue, list) && list.Items() != lbOldIDs.Items())
    lbOldIDs.SetItems(list.Items());
}

void TformVeilmark::BackUp(const std::vector<std::string>& ids) {
  bool grown = false;
  for (const std::string& id : ids)
    if (lbOldIDs.FindExact(id) < 0) {
      lbOldIDs.AddItem(id);
      grown = true;
    }
  if (grown) SaveBackupList();
}

// The field shows only what Chrome's file holds: after a refusal or an error it keeps its text.
void TformVeilmark::ChangeID(const std::string& newId, const std::optional<TUuid>& crashId) {
  TIdReplacement replacement;
  replacement.LocalStatePath = FLocalStatePath;
  replacement.ShownId = editID.Text();
  replacement.BackUp = [this](const std::vector<std::string>& ids) { BackUp(ids); };
  // Chrome's other copies of the ID follow only once its file holds the new one, behind the
  // same check that Chrome is closed.
  std::string copyFailures;
  replacement.AfterFileWritten = [&](const std::string& id, const std::string&) {
    copyFailures = WriteIdCopies(id, crashId);
  };
  TIdChangeResult result;
  for (;;) {
    try {
      result = ReplaceClientID(replacement, newId);
    } catch (const EFileStreamError& e) {
      ShowError(e.Message());
      return;
    }
    ShowChromeState(ChromeIsRunning(FLocalStatePath));
    if (result.Status != TIdChangeStatus::ChromeOpen) break;
    if (MessageDlg(result.Message, TMsgDlgType::mtWarning, mbRetry | mbCancel) != mrRetry) return;
  }
  if (result.FileId) editID.SetText(*result.FileId);
  UpdateUniformButton();
  if (!result.Message.empty()) ShowError(result.Message);
  if (!copyFailures.empty()) ShowError(copyFailures);
}

// Each copy is tried even when another failed; the user hears of every failure at once.
std::string TformVeilmark::WriteIdCopies(const std::string& id, const std::optional<TUuid>& crashId) {
  std::string failures;
  TBackupResult backup = WriteRegistryBackupID(id);
  if (backup.Outcome == TBackupOutcome::Failed) failures += backup.Error + ".\n" + kBackupKeptOld;
  if (crashId) {
    try {
      WriteCrashpadID(FCrashpadPath, *crashId);
    } catch (const EFileStreamError& e) {
      failures += (failures.empty() ? "" : "\n\n") + e.Message() + ".\n" + kCrashKeptOld;
    }
    ShowCrashID();
  }
  if (failures.empty()) return "";
  return "The new ID is in \"Local State\", but not in every copy of it.\n\n" + failures;
}

// Shows what the record holds now; a record that cannot be read is shown as such.
void TformVeilmark::ShowCrashID() {
  try {
    TCrashpadID crash = ReadCrashpadID(FCrashpadPath);
    switch (crash.State) {
      case TCrashpadState::Missing:
        editCrashID.SetText(kNoCrashSettings);
        break;
      case TCrashpadState::Unreadable:
        editCrashID.SetText(kUnreadableCrashSettings);
        break;
      case TCrashpadState::Found:
        editCrashID.SetText(UuidText(crash.Id));
        break;
    }
  } catch (const EFileStreamError&) {
    editCrashID.SetText(kUnreadableCrashSettings);
  }
}

void TformVeilmark::UpdateUniformButton() { bnNewUniform.SetEnabled(editID.Text() != kUniformID); }

void TformVeilmark::bnNewUniformClick() { ChangeID(kUniformID, UuidFromText(kUniformID)); }

// The crash reporter gets an ID of its own, so that its reports cannot be tied to the new ID.
void TformVeilmark::bnNewRandomClick() { ChangeID(NewRandomID(), UuidFromText(NewRandomID())); }

void TformVeilmark::lbOldIDsDblClick() {
  int index = lbOldIDs.ItemIndex();
  if (index >= 0) ChangeID(lbOldIDs.Item(index));
}

void TformVeilmark::bnExitClick() { Close(); }

LRESULT TformVeilmark::WndProc(UINT msg, WPARAM wParam, LPARAM lParam) {
  LRESULT result = TForm::WndProc(msg, wParam, lParam);
  if (msg == WM_SYSCOMMAND && (wParam & 0xFFFFFFFFu) == kAboutCommand) ShowAbout(Application.Title(), false);
  return result;
}

std::string StripGuidBraces(std::string text) {
  if (!text.empty() && text.front() == '{') text.erase(0, 1);
  if (!text.empty() && text.back() == '}') text.pop_back();
  return text;
}

std::string NewRandomID() {
  GUID guid;
  HRESULT hr = CoCreateGuid(&guid);
  if (FAILED(hr)) throw EOSError(SysErrorMessage(DWORD(hr)), DWORD(hr));
  LPOLESTR wide = nullptr;
  hr = StringFromCLSID(guid, &wide);
  if (FAILED(hr)) throw EOSError(SysErrorMessage(DWORD(hr)), DWORD(hr));
  // The GUID text is plain ASCII: hex digits, hyphens and braces.
  std::string text;
  for (const wchar_t* p = wide; *p; ++p) text += char(*p);
  CoTaskMemFree(wide);
  return StripGuidBraces(text);
}

}  // namespace vm

// The About dialog: product name, version, description and legal text from the running
// program's own version information, the translators, and the entry in the main window's
// system menu that opens it. Tests: tests/e2e/test_about.py, tests/e2e/test_update.py.
#pragma once

#include <string>

#include "about/UpdateRules.h"
#include "base/StringList.h"
#include "toolkit/Form_win32.h"

namespace vm {

// The system-menu command of the About entry.
inline constexpr unsigned kAboutCommand = 5666;

// The update file name every dialog takes; empty in Veilmark, so no update check is offered.
extern std::string AboutUpdateName;
// Where the update information lies: the maker's update server. Only tests point it elsewhere.
extern std::string AboutUpdateBase;
// The public keys (CryptoAPI PUBLICKEYBLOBs) that must have signed the update information
// and every program it offers: the current one and the next, so that the maker can change
// keys without a gap. Either may sign. With neither, no update information is believed.
extern std::string AboutUpdateKey;
extern std::string AboutUpdateNextKey;

class TdlgAbout : public TForm {
public:
  TdlgAbout();

  void SetUpdateName(const std::string& name);
  void LoadVersionInfo(const std::string& fileName);
  void SetTitle(const std::string& title) { FTitle = title; }
  void SetCheckOnShow(bool check) { FCheckOnShow = check; }
  const std::string& Version() const { return FVersion; }
  const std::string& UpdateName() const { return FUpdateName; }
  // Asks the update server for a newer release; every outcome is told in a message.
  void CheckForUpdates();

protected:
  void FormCreate() override;
  void FormShow() override;

private:
  void bnTranslationsClick();
  void DownloadRelease(const std::string& url, const std::string& fileName, bool program, const TReleaseFacts& facts,
                       const std::string& signature);

  TControl& bnOk;
  TControl& labelLegal;
  TControl& labelProduct;
  TControl& labelVersion;
  TControl& imgQBXLogo;
  TControl& labelDescription;
  TControl& imgIcon;
  TControl& bnTranslations;
  TControl& bnUpdates;

  TStringList FTranslators;
  std::string FTitle;
  std::string FUpdateName;
  std::string FVersion;
  bool FCheckOnShow = false;
  GdiObject FLogo;
};

// Opens the dialog modally for the running program.
void ShowAbout(const std::string& title, bool checkOnShow);

// Adds "&About <title>..." at position 6 of the form's system menu (the main form's when
// `form` is null).
void AddAboutMenuItem(TForm* form);

}  // namespace vm

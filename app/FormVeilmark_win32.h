// Veilmark's main window: shows Chrome's client ID, keeps the backup list of replaced IDs
// and offers the uniform ID, a random ID or an old ID in its place.
// Tests: tests/e2e (the real program driven from outside).
#pragma once

#include <string>
#include <vector>

#include "toolkit/Form_win32.h"

namespace vm {

class TformVeilmark : public TForm {
public:
  TformVeilmark();

  // The one operation through which every replacement goes.
  void ChangeID(const std::string& newId);
  // Enabled exactly when the shown ID is not the uniform one (letter case significant).
  void UpdateUniformButton();

protected:
  void FormCreate() override;
  void FormShow() override;
  void FormClose() override;
  LRESULT WndProc(UINT msg, WPARAM wParam, LPARAM lParam) override;

private:
  void bnNewUniformClick();
  void bnNewRandomClick();
  void lbOldIDsDblClick();
  void bnExitClick();
  void SaveBackupList();
  void BackUp(const std::vector<std::string>& ids);
  void ReadShownID();
  void ShowChromeState(bool chromeOpen);

  TControl& labelID;
  TControl& labelOldIDs;
  TControl& editID;
  TControl& lbOldIDs;
  TControl& bnNewUniform;
  TControl& bnNewRandom;
  TControl& bnExit;

  std::u8string FLocalStatePath;
  // Set once the stored backup list has been loaded: closing before that (Chrome's file is
  // missing) must not overwrite the stored list with the empty one.
  bool FBackupListLoaded = false;
};

// A new random ID: a GUID in the usual 36-character form, without braces.
std::string NewRandomID();
// Removes a leading "{" and a trailing "}" where they stand.
std::string StripGuidBraces(std::string text);

}  // namespace vm

// Veilmark's main window: shows Chrome's client ID, keeps the backup list of replaced IDs
// and offers the uniform ID, a random ID or an old ID in its place. Beside Chrome's ID it shows
// the one of Chrome's crash reporter, read-only.
// Tests: tests/e2e (the real program driven from outside).
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "app/CrashpadSettings.h"
#include "toolkit/Form_win32.h"

namespace vm {

class TformVeilmark : public TForm {
public:
  TformVeilmark();

  // The one operation through which every replacement goes. `crashId`, when given, also
  // becomes the crash reporter's ID; an old ID written back leaves that one alone.
  void ChangeID(const std::string& newId, const std::optional<TUuid>& crashId = std::nullopt);
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
  // Chrome's other copies of its identity, once "Local State" holds the new ID; the
  // failures in words for the user, empty when there were none.
  std::string WriteIdCopies(const std::string& id, const std::optional<TUuid>& crashId);
  void ShowCrashID();

  TControl& labelID;
  TControl& labelOldIDs;
  TControl& editID;
  TControl& labelCrashID;
  TControl& editCrashID;
  TControl& lbOldIDs;
  TControl& bnNewUniform;
  TControl& bnNewRandom;
  TControl& bnExit;

  std::u8string FLocalStatePath;
  std::u8string FCrashpadPath;
  // Set once the stored backup list has been loaded: closing before that (Chrome's file is
  // missing) must not overwrite the stored list with the empty one.
  bool FBackupListLoaded = false;
};

// A new random ID: a GUID in the usual 36-character form, without braces.
std::string NewRandomID();
// Removes a leading "{" and a trailing "}" where they stand.
std::string StripGuidBraces(std::string text);

}  // namespace vm

// TQBXConfigManager: the settings of the maker's tools, one key per application under the
// maker's key: string lists as multi-string values, and the placement of every form.
// Reads let HKEY_LOCAL_MACHINE win over HKEY_CURRENT_USER; writes go to the current user
// unless asked to go machine-wide. Tests: tests/settings/ConfigManagerTest.cpp.
#pragma once

#include <string>

#include "base/StringList.h"
#include "settings/ConfigForms.h"

namespace vm {

class TQBXConfigManager {
public:
  std::string ApplicationName;  // set once by the program's entry
  std::string CompanyName;

  TQBXConfigManager();

  // The application whose forms RestoreAllForms and SaveAllForms visit; none by default.
  void SetApplication(IConfigApplication* application) { FApplication = application; }

  // "\Software\<company>\<application>\"
  std::string GetBaseKey() const;
  // Base key + "UI\Forms\" + the form's component name.
  std::string GetFormKey(const IConfigForm& form) const;

  // True when the value was found under either root; the list is left as it was otherwise.
  bool LoadStrings(const std::string& section, const std::string& name, TStringList& strings);
  // A list stored as a plain string (REG_SZ) by an older tool or by hand reads as one item.
  // Writes one REG_MULTI_SZ value; false when the key cannot be opened or created.
  bool SaveStrings(const std::string& section, const std::string& name, const TStringList& strings,
                   bool machineWide = false);

  // Saves the list without losing what another running copy of the program has stored
  // meanwhile: the stored items first, in their order, then those of `strings` that the
  // stored list lacks (compared as the list compares, ignoring case). `strings` becomes the
  // list that was written. Result as SaveStrings.
  bool SaveStringsMerged(const std::string& section, const std::string& name, TStringList& strings,
                         bool machineWide = false);

  // True only when all five values were found; each found value is applied at once.
  bool RestoreFormPlacement(IConfigForm& form);
  bool RestoreAllForms();
  // A maximised form keeps the stored normal bounds; a machine-wide save that fails on a
  // write is retried for the current user.
  bool SaveFormPlacement(IConfigForm& form, bool machineWide = false);
  bool SaveAllForms();

private:
  IConfigApplication* FApplication = nullptr;
};

// The single instance, alive for the whole run.
extern TQBXConfigManager ConfigManager;

}  // namespace vm

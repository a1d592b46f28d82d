#include "settings/qbxConfig.h"

#include "settings/MyRegistry.h"
#include "settings/Registry.h"
#include "settings/rqMulticonfigRead.h"

namespace vm {

TQBXConfigManager ConfigManager;

namespace {

THKey WriteRoot(bool machineWide) { return machineWide ? kHKeyLocalMachine : kHKeyCurrentUser; }

// Reads one placement value; HKEY_LOCAL_MACHINE wins over HKEY_CURRENT_USER.
bool ReadPlacementValue(const std::string& key, const char* name, std::int32_t& value) {
  return ReadConfigInteger({kHKeyLocalMachine, kHKeyCurrentUser}, {key}, name, value);
}

}  // namespace

TQBXConfigManager::TQBXConfigManager() : CompanyName("Quembrix Limited") {}

std::string TQBXConfigManager::GetBaseKey() const {
  return "\\Software\\" + CompanyName + "\\" + ApplicationName + "\\";
}

std::string TQBXConfigManager::GetFormKey(const IConfigForm& form) const {
  return GetBaseKey() + "UI\\Forms\\" + form.ComponentName();
}

namespace {

// The list as stored at one root: a multi-string, or a plain string as a one-item list.
bool ReadStoredList(THKey root, const std::string& key, const std::string& name, TStringList& strings) {
  TMyRegistry reg;
  reg.SetRootKey(root);
  if (!reg.OpenReadOnly(key)) return false;
  switch (reg.GetValueKind(name)) {
    case rkMultiString:
      strings.SetText(reg.ReadMultiString(name));
      return true;
    case rkString:
    case rkExpandString:
      strings.SetText(reg.ReadString(name));
      return true;
    default:
      return false;
  }
}

}  // namespace

bool TQBXConfigManager::LoadStrings(const std::string& section, const std::string& name, TStringList& strings) {
  const std::string key = GetBaseKey() + section;
  if (ReadConfigStrings({kHKeyLocalMachine, kHKeyCurrentUser}, {key}, name, strings)) return true;
  return ReadStoredList(kHKeyLocalMachine, key, name, strings) || ReadStoredList(kHKeyCurrentUser, key, name, strings);
}

bool TQBXConfigManager::SaveStringsMerged(const std::string& section, const std::string& name, TStringList& strings,
                                          bool machineWide) {
  TStringList merged;
  ReadStoredList(WriteRoot(machineWide), GetBaseKey() + section, name, merged);
  for (const std::string& item : strings.Items())
    if (merged.IndexOf(item) < 0) merged.Add(item);
  if (!SaveStrings(section, name, merged, machineWide)) return false;
  strings.Assign(merged);
  return true;
}

bool TQBXConfigManager::SaveStrings(const std::string& section, const std::string& name, const TStringList& strings,
                                    bool machineWide) {
  return RegWriteStrings(WriteRoot(machineWide), GetBaseKey() + section, name, strings);
}

bool TQBXConfigManager::RestoreFormPlacement(IConfigForm& form) {
  const std::string key = GetFormKey(form);
  bool all = true;
  auto restoreBound = [&](const char* name, int TFormBounds::*field) {
    std::int32_t value = 0;
    if (!ReadPlacementValue(key, name, value)) {
      all = false;
      return;
    }
    TFormBounds bounds = form.NormalBounds();
    bounds.*field = value;
    form.SetNormalBounds(bounds);
  };
  restoreBound("Left", &TFormBounds::Left);
  restoreBound("Top", &TFormBounds::Top);
  restoreBound("Width", &TFormBounds::Width);
  restoreBound("Height", &TFormBounds::Height);

  // A state outside normal, minimised and maximised has no meaning and is ignored.
  std::int32_t state = 0;
  if (ReadPlacementValue(key, "WindowState", state) && state >= 0 && state <= 2)
    form.SetWindowState(TWindowState(state));
  else
    all = false;
  return all;
}

bool TQBXConfigManager::RestoreAllForms() {
  bool all = true;
  for (int i = 0; FApplication && i < FApplication->FormCount(); ++i)
    if (!RestoreFormPlacement(FApplication->Form(i))) all = false;
  return all;
}

bool TQBXConfigManager::SaveFormPlacement(IConfigForm& form, bool machineWide) {
  try {
    TRegistry reg;
    reg.SetRootKey(WriteRoot(machineWide));
    if (!reg.OpenKey(GetFormKey(form), true)) return false;
    const TWindowState state = form.WindowState();
    if (state != TWindowState::wsMaximized) {
      const TFormBounds bounds = form.NormalBounds();
      reg.WriteInteger("Left", bounds.Left);
      reg.WriteInteger("Top", bounds.Top);
      reg.WriteInteger("Width", bounds.Width);
      reg.WriteInteger("Height", bounds.Height);
    }
    reg.WriteInteger("WindowState", std::int32_t(state));
    reg.CloseKey();
    return true;
  } catch (const ERegistryException&) {
    if (machineWide) return SaveFormPlacement(form, false);
    return false;
  }
}

bool TQBXConfigManager::SaveAllForms() {
  bool all = true;
  for (int i = 0; FApplication && i < FApplication->FormCount(); ++i)
    if (!SaveFormPlacement(FApplication->Form(i))) all = false;
  return all;
}

}  // namespace vm

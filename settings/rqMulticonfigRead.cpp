#include "settings/rqMulticonfigRead.h"

#include "settings/MyRegistry.h"
#include "settings/Registry.h"

namespace vm {

namespace {

TStringList& HiveList() {
  static TStringList hives;
  return hives;
}

// A hive prefix joins a key path with exactly one backslash, whether or not the path
// begins with one.
std::string JoinKey(const std::string& prefix, const std::string& key) {
  if (prefix.empty() || (!key.empty() && key[0] == '\\')) return prefix + key;
  return prefix + "\\" + key;
}

}  // namespace

// The list is filled while the program starts, before anything reads a setting.
const bool gUserHivesLoadedAtStart = (UserHives(), true);

const TStringList& UserHives() {
  static const bool loaded = (LoadUserHives(), true);
  (void)loaded;
  return HiveList();
}

void LoadUserHives() {
  TStringList names;
  TRegistry reg;
  reg.SetRootKey(kHKeyUsers);
  if (reg.OpenKeyReadOnly("\\")) reg.GetKeyNames(names);
  HiveList().Assign(names);
}

int TMultiConfigReader::AddRoot(THKey root) {
  FRoots.push_back(root);
  return int(FRoots.size()) - 1;
}

std::vector<std::pair<THKey, std::string>> TMultiConfigReader::Places() const {
  std::vector<std::pair<THKey, std::string>> places;
  for (auto root = FRoots.rbegin(); root != FRoots.rend(); ++root) {
    std::vector<std::string> prefixes{""};
    if (*root == kHKeyUsers) {
      prefixes.clear();
      for (const std::string& hive : UserHives().Items()) prefixes.push_back("\\" + hive);
    }
    for (const std::string& prefix : prefixes)
      for (const std::string& key : Keys.Items()) places.emplace_back(*root, JoinKey(prefix, key));
  }
  return places;
}

bool TMultiConfigReader::ReadInteger(const std::string& name, std::int32_t& value) const {
  bool found = false;
  for (const auto& [root, path] : Places()) {
    TRegistry reg;
    reg.SetRootKey(root);
    if (!reg.OpenKeyReadOnly(path)) continue;
    TRegDataInfo info;
    // A DWORD of another size than four bytes is malformed and skipped like a wrong type.
    if (reg.GetDataInfo(name, info) && info.RegData == TRegDataType::rdInteger && info.DataSize == 4) {
      value = reg.ReadInteger(name);
      found = true;
    }
  }
  return found;
}

bool TMultiConfigReader::ReadStrings(const std::string& name, TStringList& strings) const {
  bool found = false;
  for (const auto& [root, path] : Places()) {
    TMyRegistry reg;
    reg.SetRootKey(root);
    if (!reg.OpenReadOnly(path)) continue;
    if (reg.GetValueKind(name) == rkMultiString) {
      strings.SetText(reg.ReadMultiString(name));
      found = true;
    }
  }
  return found;
}

bool ReadConfigInteger(std::initializer_list<THKey> roots, std::initializer_list<std::string> keys,
                       const std::string& name, std::int32_t& value) {
  TMultiConfigReader reader;
  for (THKey root : roots) reader.AddRoot(root);
  for (const std::string& key : keys) reader.Keys.Add(key);
  return reader.ReadInteger(name, value);
}

bool ReadConfigStrings(std::initializer_list<THKey> roots, std::initializer_list<std::string> keys,
                       const std::string& name, TStringList& strings) {
  TMultiConfigReader reader;
  for (THKey root : roots) reader.AddRoot(root);
  for (const std::string& key : keys) reader.Keys.Add(key);
  return reader.ReadStrings(name, strings);
}

}  // namespace vm

// TMultiConfigReader: looks a setting up under several roots and key paths in a fixed
// order and lets the place read last win. Tests: the reader rows of
// tests/settings/RegistryTableTest.cpp.
#pragma once

#include <cstdint>
#include <initializer_list>
#include <string>
#include <vector>

#include "base/StringList.h"
#include "settings/RegistryApi.h"

namespace vm {

// Names of the loaded user hives (the subkeys of HKEY_USERS), filled at start-up.
const TStringList& UserHives();
// Reads the list afresh from the registry now in use; empty when HKEY_USERS cannot be opened.
void LoadUserHives();

class TMultiConfigReader {
public:
  TStringList Keys;

  int AddRoot(THKey root);
  int RootCount() const { return int(FRoots.size()); }
  THKey GetRoot(int index) const { return FRoots.at(size_t(index)); }

  // Visits the roots from the last to the first, within HKEY_USERS every loaded hive in
  // order, and within each the key paths in order; every value found overwrites the last.
  // Only a REG_DWORD counts.
  bool ReadInteger(const std::string& name, std::int32_t& value) const;
  // Only a REG_MULTI_SZ counts; it replaces the whole list.
  bool ReadStrings(const std::string& name, TStringList& strings) const;

private:
  // Every full key path in visiting order, with its root.
  std::vector<std::pair<THKey, std::string>> Places() const;

  std::vector<THKey> FRoots;
};

bool ReadConfigInteger(std::initializer_list<THKey> roots, std::initializer_list<std::string> keys,
                       const std::string& name, std::int32_t& value);
bool ReadConfigStrings(std::initializer_list<THKey> roots, std::initializer_list<std::string> keys,
                       const std::string& name, TStringList& strings);

}  // namespace vm

// An in-memory registry that behaves as 64-bit Windows does for a 32-bit program: roots,
// nested keys with case-insensitive names, typed values, the 32-bit view redirected below
// HKEY_LOCAL_MACHINE\SOFTWARE into its Wow6432Node, HKEY_CURRENT_USER as the current
// user's hive under HKEY_USERS, and per-key access rights checked on open and on use.
// Host builds use it as their registry; tests run the same cases against it and, under
// Wine, against the real registry (tests/settings/RegistryTableTest.cpp).
//
// Where it differs from Windows, on purpose (nothing in the settings store depends on it):
// - Everything below HKEY_LOCAL_MACHINE\SOFTWARE is redirected in the 32-bit view; Windows
//   shares a few subkeys between the views. HKEY_CURRENT_USER is not redirected at all
//   (Windows redirects parts of its Software\Classes). HKEY_CLASSES_ROOT is a root of its
//   own, not the merged view of the machine's and the user's classes.
// - Strings are kept as the bytes written; Windows keeps UTF-16 and converts through the
//   ANSI code page, so bytes that the code page does not define may read back changed.
// - Rights are the specific key rights only; standard rights (READ_CONTROL, DELETE, ...)
//   are always granted, and keys created below a restricted key get full rights.
// - No volatile keys, symbolic links, security descriptors, notifications or deletion;
//   subkeys enumerate in the order of their upper-case names.
#pragma once

#include <map>
#include <memory>
#include <string>
#include <vector>

#include "settings/RegistryApi.h"

namespace vm {

class TMemoryRegistry : public IRegistryApi {
public:
  // The hive names under HKEY_USERS: the default profile and the current user.
  static constexpr const char* kDefaultHive = ".DEFAULT";
  static constexpr const char* kCurrentUserHive = "S-1-5-21-1000";

  TMemoryRegistry();
  ~TMemoryRegistry() override;

  long OpenKey(THKey parent, const std::string& subKey, std::uint32_t access, THKey& result) override;
  long CreateKey(THKey parent, const std::string& subKey, std::uint32_t access, THKey& result) override;
  long QueryValue(THKey key, const std::string& name, std::uint32_t* type, void* data, std::uint32_t* size) override;
  long SetValue(THKey key, const std::string& name, std::uint32_t type, const void* data, std::uint32_t size) override;
  long DeleteValue(THKey key, const std::string& name) override;
  long QueryInfoKey(THKey key, TRegKeyInfo& info) override;
  long EnumKey(THKey key, std::uint32_t index, std::string& name) override;
  long CloseKey(THKey key) override;

  // Grants only `rights` (specific key rights; standard rights stay granted) on an existing
  // key, as a restrictive access-control list would. The path is taken in the 32-bit view.
  bool SetKeyRights(THKey root, const std::string& path, std::uint32_t rights);
  int OpenHandleCount() const { return int(FHandles.size()); }

private:
  struct TNode;
  struct THandle {
    TNode* Node;
    std::uint32_t Granted;
  };

  TNode* NodeOf(THKey key, std::uint32_t* granted) const;
  long Resolve(TNode* start, const std::string& subKey, std::uint32_t access, bool create, TNode*& found);
  long Grant(TNode* node, std::uint32_t access, THKey& result);

  std::unique_ptr<TNode> FMachine, FUsers, FClasses;
  TNode* FCurrentUser = nullptr;
  std::map<THKey, THandle> FHandles;
  THKey FNextHandle = 0x1000;
};

}  // namespace vm

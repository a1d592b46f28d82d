// The registries that the table of registry cases runs against: the in-memory model
// everywhere, and under Wine the real registry as well. Every case writes only below key
// names of the test's own and the backend removes them afterwards.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <ostream>
#include <string>
#include <utility>
#include <vector>

#include "settings/RegistryApi.h"

namespace vm::test {

class TRegistryBackend {
public:
  virtual ~TRegistryBackend() = default;
  virtual IRegistryApi& Api() = 0;
  // Grants only `rights` on an existing key (path from the root, in the 32-bit view), as an
  // access-control list of the user's would.
  virtual bool RestrictKey(THKey root, const std::string& path, std::uint32_t rights) = 0;
  // Removes every key that the tests may have written.
  virtual void Cleanup() = 0;
};

struct TBackendKind {
  std::string Name;
  std::function<std::unique_ptr<TRegistryBackend>()> Make;
  friend void PrintTo(const TBackendKind& kind, std::ostream* os) { *os << kind.Name; }
};

// The backends of this build: "Memory", and "Windows" in Windows builds.
std::vector<TBackendKind> RegistryBackends();
std::unique_ptr<TRegistryBackend> MakeMemoryBackend();

// "VeilmarkTest-<process id>": the key name under Software, and the application name of
// the settings-manager tests, that every case uses.
const std::string& TestKeyName();
unsigned long ProcessId();

// A registry whose value writes fail below keys opened from the chosen roots, and, when
// asked, whose data reads fail: faults that a real registry shows seldom.
class TFaultyRegistry : public IRegistryApi {
public:
  explicit TFaultyRegistry(IRegistryApi& inner) : FInner(inner) {}
  std::vector<THKey> FailWritesUnder{kHKeyLocalMachine};
  bool FailDataReads = false;

  long OpenKey(THKey parent, const std::string& subKey, std::uint32_t access, THKey& result) override;
  long CreateKey(THKey parent, const std::string& subKey, std::uint32_t access, THKey& result) override;
  long QueryValue(THKey key, const std::string& name, std::uint32_t* type, void* data, std::uint32_t* size) override;
  long SetValue(THKey key, const std::string& name, std::uint32_t type, const void* data, std::uint32_t size) override;
  long DeleteValue(THKey key, const std::string& name) override { return FInner.DeleteValue(key, name); }
  long QueryInfoKey(THKey key, TRegKeyInfo& info) override { return FInner.QueryInfoKey(key, info); }
  long EnumKey(THKey key, std::uint32_t index, std::string& name) override { return FInner.EnumKey(key, index, name); }
  long CloseKey(THKey key) override;

private:
  void Track(THKey parent, long rc, THKey result);
  IRegistryApi& FInner;
  std::vector<std::pair<THKey, THKey>> FKeyRoots;  // open key, the root it lies under
};

}  // namespace vm::test

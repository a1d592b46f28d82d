#include "tests/settings/RegistryBackend.h"

#include <algorithm>

#include "settings/MemoryRegistry.h"

namespace vm::test {

namespace {

class TMemoryBackend : public TRegistryBackend {
public:
  IRegistryApi& Api() override { return FRegistry; }
  bool RestrictKey(THKey root, const std::string& path, std::uint32_t rights) override {
    return FRegistry.SetKeyRights(root, path, rights);
  }
  void Cleanup() override {}

private:
  TMemoryRegistry FRegistry;
};

}  // namespace

std::unique_ptr<TRegistryBackend> MakeMemoryBackend() { return std::make_unique<TMemoryBackend>(); }

const std::string& TestKeyName() {
  static const std::string name = "VeilmarkTest-" + std::to_string(ProcessId());
  return name;
}

namespace {

template <class Pairs>
auto FindKey(Pairs& pairs, THKey key) {
  return std::find_if(pairs.begin(), pairs.end(), [key](const auto& p) { return p.first == key; });
}

}  // namespace

void TFaultyRegistry::Track(THKey parent, long rc, THKey result) {
  if (rc != kErrorSuccess) return;
  THKey root = parent;
  if (auto it = FindKey(FKeyRoots, parent); it != FKeyRoots.end()) root = it->second;
  FKeyRoots.emplace_back(result, root);
}

long TFaultyRegistry::OpenKey(THKey parent, const std::string& subKey, std::uint32_t access, THKey& result) {
  long rc = FInner.OpenKey(parent, subKey, access, result);
  Track(parent, rc, result);
  return rc;
}

long TFaultyRegistry::CreateKey(THKey parent, const std::string& subKey, std::uint32_t access, THKey& result) {
  long rc = FInner.CreateKey(parent, subKey, access, result);
  Track(parent, rc, result);
  return rc;
}

long TFaultyRegistry::QueryValue(THKey key, const std::string& name, std::uint32_t* type, void* data,
                                 std::uint32_t* size) {
  if (FailDataReads && data) return kErrorAccessDenied;
  return FInner.QueryValue(key, name, type, data, size);
}

long TFaultyRegistry::SetValue(THKey key, const std::string& name, std::uint32_t type, const void* data,
                               std::uint32_t size) {
  auto it = FindKey(FKeyRoots, key);
  THKey root = it != FKeyRoots.end() ? it->second : key;
  if (std::find(FailWritesUnder.begin(), FailWritesUnder.end(), root) != FailWritesUnder.end())
    return kErrorAccessDenied;
  return FInner.SetValue(key, name, type, data, size);
}

long TFaultyRegistry::CloseKey(THKey key) {
  if (auto it = FindKey(FKeyRoots, key); it != FKeyRoots.end()) FKeyRoots.erase(it);
  return FInner.CloseKey(key);
}

}  // namespace vm::test

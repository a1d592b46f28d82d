// A fixture that runs each case against one registry backend, and small helpers that
// write and read raw values the way another program would.
#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "settings/MyRegistry.h"
#include "settings/rqMulticonfigRead.h"
#include "tests/settings/RegistryBackend.h"

namespace vm::test {

class TRegistryFixture {
public:
  explicit TRegistryFixture(const TBackendKind& kind)
      : FBackend(kind.Make()), FUse(std::make_unique<TUseRegistryApi>(FBackend->Api())) {
    LoadUserHives();
  }
  ~TRegistryFixture() {
    FBackend->Cleanup();
    FUse.reset();
    LoadUserHives();
  }
  TRegistryBackend& Backend() { return *FBackend; }

private:
  std::unique_ptr<TRegistryBackend> FBackend;
  std::unique_ptr<TUseRegistryApi> FUse;
};

// "\Software\VeilmarkTest-<pid>\" + sub: a key of the test's own.
inline std::string TestKey(const std::string& sub) { return "\\Software\\" + TestKeyName() + "\\" + sub; }

// Writes a value of any registry type, creating the key (32-bit view unless `view` is 64).
inline void PutRaw(THKey root, const std::string& key, const std::string& name, std::uint32_t type,
                   const std::string& data, int view = 32) {
  TMyRegistry reg;
  reg.SetView(view);
  reg.SetRootKey(root);
  ASSERT_TRUE(reg.OpenForWrite(key, true)) << key;
  ASSERT_EQ(kErrorSuccess,
            RegistryApi().SetValue(reg.CurrentKey(), name, type, data.data(), std::uint32_t(data.size())));
}

// The value's bytes and type as stored; "<missing>" when it cannot be read.
inline std::string GetRaw(THKey root, const std::string& key, const std::string& name, std::uint32_t* type = nullptr,
                          int view = 32) {
  TMyRegistry reg;
  reg.SetView(view);
  reg.SetRootKey(root);
  if (!reg.OpenReadOnly(key)) return "<missing>";
  std::uint32_t size = 4096, t = 0;
  std::string data(size, '\0');
  if (RegistryApi().QueryValue(reg.CurrentKey(), name, &t, data.data(), &size) != kErrorSuccess) return "<missing>";
  if (type) *type = t;
  data.resize(size);
  return data;
}

template <class Param>
std::string BackendCaseName(const ::testing::TestParamInfo<Param>& info) {
  return std::get<0>(info.param).Name + "_" + std::get<1>(info.param).Name;
}

}  // namespace vm::test

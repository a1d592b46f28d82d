// Under Wine the table runs against the real registry too, below keys of the test's own.
#include <windows.h>

#include <sddl.h>

#include <utility>

#include "base/Handles_win32.h"
#include "base/Text.h"
#include "settings/RegistryApi.h"
#include "tests/settings/RegistryBackend.h"

namespace vm::test {

namespace {

struct RegKeyTraits {
  static HKEY Invalid() { return nullptr; }
  static void Close(HKEY key) { RegCloseKey(key); }
};
using RegKey = UniqueHandle<HKEY, RegKeyTraits>;

HKEY ToHKey(THKey key) { return reinterpret_cast<HKEY>(key); }

RegKey Open(HKEY parent, const std::string& path, REGSAM access) {
  HKEY key = nullptr;
  if (RegOpenKeyExA(parent, path.c_str(), 0, access, &key) != ERROR_SUCCESS) return RegKey();
  return RegKey(key);
}

bool SetDacl(HKEY root, const std::string& path, const std::string& sddl) {
  RegKey key = Open(root, path, WRITE_DAC | KEY_WOW64_32KEY);
  PSECURITY_DESCRIPTOR sd = nullptr;
  if (!key || !ConvertStringSecurityDescriptorToSecurityDescriptorA(sddl.c_str(), SDDL_REVISION_1, &sd, nullptr))
    return false;
  bool ok = RegSetKeySecurity(key.get(), DACL_SECURITY_INFORMATION, sd) == ERROR_SUCCESS;
  LocalFree(sd);
  return ok;
}

void RemoveBelow(HKEY root, const std::string& softwarePath, REGSAM view) {
  RegKey software = Open(root, softwarePath, KEY_ALL_ACCESS | view);
  if (!software) return;
  RegDeleteTreeA(software.get(), TestKeyName().c_str());
  RegKey maker = Open(software.get(), "Quembrix Limited", KEY_ALL_ACCESS | view);
  if (!maker) return;
  RegDeleteTreeA(maker.get(), TestKeyName().c_str());
  DWORD subKeys = 1, values = 1;
  RegQueryInfoKeyA(maker.get(), nullptr, nullptr, nullptr, &subKeys, nullptr, nullptr, &values, nullptr, nullptr,
                   nullptr, nullptr);
  maker.reset();
  // The maker's key goes too when the tests left it empty.
  if (subKeys == 0 && values == 0) RegDeleteKeyExA(software.get(), "Quembrix Limited", view, 0);
}

class TWindowsBackend : public TRegistryBackend {
public:
  TWindowsBackend() { Cleanup(); }
  IRegistryApi& Api() override { return PlatformRegistryApi(); }

  bool RestrictKey(THKey root, const std::string& path, std::uint32_t rights) override {
    FRestricted.emplace_back(ToHKey(root), path);
    return SetDacl(ToHKey(root), path, "D:P(A;;" + FormatText("0x%x", unsigned(rights)) + ";;;WD)");
  }

  void Cleanup() override {
    for (auto& [root, path] : FRestricted) SetDacl(root, path, "D:(A;;KA;;;WD)");
    FRestricted.clear();
    for (REGSAM view : {KEY_WOW64_32KEY, KEY_WOW64_64KEY}) {
      RemoveBelow(HKEY_CURRENT_USER, "Software", view);
      RemoveBelow(HKEY_LOCAL_MACHINE, "Software", view);
      RegKey users = Open(HKEY_USERS, "", KEY_READ);
      char name[256];
      for (DWORD i = 0;; ++i) {
        DWORD length = sizeof name;
        if (!users || RegEnumKeyExA(users.get(), i, name, &length, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS)
          break;
        RemoveBelow(HKEY_USERS, std::string(name) + "\\Software", view);
      }
    }
  }

private:
  std::vector<std::pair<HKEY, std::string>> FRestricted;
};

}  // namespace

unsigned long ProcessId() { return GetCurrentProcessId(); }

std::vector<TBackendKind> RegistryBackends() {
  return {{"Memory", MakeMemoryBackend},
          {"Windows", [] { return std::unique_ptr<TRegistryBackend>(new TWindowsBackend); }}};
}

}  // namespace vm::test

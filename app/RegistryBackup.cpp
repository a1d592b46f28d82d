#include "app/RegistryBackup.h"

#include "base/FileIO.h"
#include "base/Text.h"
#include "settings/RegistryApi.h"

namespace vm {

namespace {

class TOpenKey {
public:
  ~TOpenKey() {
    if (FKey) RegistryApi().CloseKey(FKey);
  }
  THKey& Handle() { return FKey; }

private:
  THKey FKey = 0;
};

TBackupResult Failure(long code) {
  std::string value = std::string("HKEY_CURRENT_USER\\") + kChromeClientStateKey + "\\" + kMetricsIdValue;
  return {TBackupOutcome::Failed,
          FormatText("Cannot write the registry value \"%s\". %s", value.c_str(), SysErrorMessage(code).c_str())};
}

}  // namespace

TBackupResult WriteRegistryBackupID(const std::string& id) {
  IRegistryApi& api = RegistryApi();
  TOpenKey key;
  // Chrome opens its key in the 32-bit view, so we name that view whatever our own word size.
  long rc = api.OpenKey(kHKeyCurrentUser, kChromeClientStateKey, kKeyQueryValue | kKeySetValue | kKeyWow64_32Key,
                        key.Handle());
  if (rc == kErrorFileNotFound) return {};
  if (rc != kErrorSuccess) return Failure(rc);
  // REG_SZ data carries its terminating NUL.
  rc = api.SetValue(key.Handle(), kMetricsIdValue, kRegSz, id.c_str(), std::uint32_t(id.size() + 1));
  if (rc != kErrorSuccess) return Failure(rc);
  return {TBackupOutcome::Written, ""};
}

}  // namespace vm

// The registry seam over advapi32.
#include <windows.h>

#include "settings/RegistryApi.h"

namespace vm {

namespace {

static_assert(sizeof(THKey) == sizeof(HKEY), "a key handle must fit THKey");

HKEY ToHKey(THKey key) { return reinterpret_cast<HKEY>(key); }

// The shipped program is 32-bit, so a key opened without view bits lies in the 32-bit
// view; the 64-bit build asks for that view explicitly to see the same registry.
REGSAM WithDefaultView(std::uint32_t access) {
  if (sizeof(void*) == 8 && !(access & kKeyWow64Res)) access |= KEY_WOW64_32KEY;
  return REGSAM(access);
}

class TWin32RegistryApi : public IRegistryApi {
public:
  long OpenKey(THKey parent, const std::string& subKey, std::uint32_t access, THKey& result) override {
    HKEY key = nullptr;
    LONG rc = RegOpenKeyExA(ToHKey(parent), subKey.c_str(), 0, WithDefaultView(access), &key);
    if (rc == ERROR_SUCCESS) result = reinterpret_cast<THKey>(key);
    return rc;
  }

  long CreateKey(THKey parent, const std::string& subKey, std::uint32_t access, THKey& result) override {
    HKEY key = nullptr;
    LONG rc = RegCreateKeyExA(ToHKey(parent), subKey.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE,
                              WithDefaultView(access), nullptr, &key, nullptr);
    if (rc == ERROR_SUCCESS) result = reinterpret_cast<THKey>(key);
    return rc;
  }

  long QueryValue(THKey key, const std::string& name, std::uint32_t* type, void* data, std::uint32_t* size) override {
    DWORD t = 0, s = size ? *size : 0;
    LONG rc = RegQueryValueExA(ToHKey(key), name.c_str(), nullptr, &t, static_cast<BYTE*>(data), size ? &s : nullptr);
    if (type) *type = t;
    if (size) *size = s;
    return rc;
  }

  long SetValue(THKey key, const std::string& name, std::uint32_t type, const void* data, std::uint32_t size) override {
    return RegSetValueExA(ToHKey(key), name.c_str(), 0, type, static_cast<const BYTE*>(data), size);
  }

  long DeleteValue(THKey key, const std::string& name) override { return RegDeleteValueA(ToHKey(key), name.c_str()); }

  long QueryInfoKey(THKey key, TRegKeyInfo& info) override {
    DWORD subKeys = 0, maxSubKeyLen = 0, values = 0, maxValueNameLen = 0, maxValueLen = 0;
    LONG rc = RegQueryInfoKeyA(ToHKey(key), nullptr, nullptr, nullptr, &subKeys, &maxSubKeyLen, nullptr, &values,
                               &maxValueNameLen, &maxValueLen, nullptr, nullptr);
    info = TRegKeyInfo{subKeys, maxSubKeyLen, values, maxValueNameLen, maxValueLen};
    return rc;
  }

  long EnumKey(THKey key, std::uint32_t index, std::string& name) override {
    char buffer[256];  // key names are at most 255 characters
    DWORD length = sizeof buffer;
    LONG rc = RegEnumKeyExA(ToHKey(key), index, buffer, &length, nullptr, nullptr, nullptr, nullptr);
    if (rc == ERROR_SUCCESS) name.assign(buffer, length);
    return rc;
  }

  long CloseKey(THKey key) override {
    if (IsRootKey(key)) return ERROR_SUCCESS;
    return RegCloseKey(ToHKey(key));
  }
};

}  // namespace

IRegistryApi& PlatformRegistryApi() {
  static TWin32RegistryApi api;
  return api;
}

}  // namespace vm

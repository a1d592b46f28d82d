// The registry seam: the few advapi32 calls that the settings store needs, behind one
// narrow interface. RegistryApi_win32.cpp forwards to advapi32; MemoryRegistry.h is the
// in-memory model that host builds use. Tests: tests/settings/RegistryTableTest.cpp.
//
// The settings store behaves as the shipped 32-bit program does on 64-bit Windows: a key
// opened without view bits lies in the 32-bit view. Both backends keep that promise (the
// 64-bit Windows build adds KEY_WOW64_32KEY itself), so a 64-bit test build sees what the
// shipped program sees.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace vm {

// A key handle as the platform has it: a pointer-sized number. The predefined roots are
// the platform's sign-extended constants, so they equal HKEY_* on either word size
// (the names differ because <windows.h> takes HKEY_* as macros).
using THKey = std::intptr_t;

constexpr THKey RootKey(std::uint32_t code) { return THKey(std::int32_t(code)); }
constexpr THKey kHKeyClassesRoot = RootKey(0x80000000u);
constexpr THKey kHKeyCurrentUser = RootKey(0x80000001u);
constexpr THKey kHKeyLocalMachine = RootKey(0x80000002u);
constexpr THKey kHKeyUsers = RootKey(0x80000003u);

// Registry value types.
enum : std::uint32_t {
  kRegNone = 0,
  kRegSz = 1,
  kRegExpandSz = 2,
  kRegBinary = 3,
  kRegDword = 4,
  kRegDwordBigEndian = 5,
  kRegLink = 6,
  kRegMultiSz = 7,
  kRegResourceList = 8,
  kRegFullResourceDescriptor = 9,
  kRegResourceRequirementsList = 10,
  kRegQword = 11,
};

// Access rights.
enum : std::uint32_t {
  kKeyQueryValue = 0x0001,
  kKeySetValue = 0x0002,
  kKeyCreateSubKey = 0x0004,
  kKeyEnumerateSubKeys = 0x0008,
  kKeyNotify = 0x0010,
  kKeyCreateLink = 0x0020,
  kKeyWow64_64Key = 0x0100,
  kKeyWow64_32Key = 0x0200,
  kKeyWow64Res = kKeyWow64_64Key | kKeyWow64_32Key,
  kStandardRightsRead = 0x20000,
  kKeyRead = 0x20019,
  kKeyReadAndEnumerate = 0x20009,  // standard read rights, query values, enumerate subkeys
  kKeyWrite = 0x20006,
  kKeyAllAccess = 0xF003F,
};

// Error codes, as the platform numbers them.
enum : long {
  kErrorSuccess = 0,
  kErrorFileNotFound = 2,
  kErrorAccessDenied = 5,
  kErrorInvalidHandle = 6,
  kErrorInvalidParameter = 87,
  kErrorBadPathname = 161,
  kErrorMoreData = 234,
  kErrorNoMoreItems = 259,
};

struct TRegKeyInfo {
  std::uint32_t SubKeys = 0;
  std::uint32_t MaxSubKeyLen = 0;
  std::uint32_t Values = 0;
  std::uint32_t MaxValueNameLen = 0;
  std::uint32_t MaxValueLen = 0;
};

class IRegistryApi {
public:
  virtual ~IRegistryApi() = default;

  virtual long OpenKey(THKey parent, const std::string& subKey, std::uint32_t access, THKey& result) = 0;
  // Opens the key, creating it and its missing ancestors first.
  virtual long CreateKey(THKey parent, const std::string& subKey, std::uint32_t access, THKey& result) = 0;
  // As RegQueryValueExA: `data` may be null to ask for type and size only; `size` is the
  // buffer size in and the data size out (ERROR_MORE_DATA when the buffer is too small).
  virtual long QueryValue(THKey key, const std::string& name, std::uint32_t* type, void* data, std::uint32_t* size) = 0;
  virtual long SetValue(THKey key, const std::string& name, std::uint32_t type, const void* data,
                        std::uint32_t size) = 0;
  // ERROR_FILE_NOT_FOUND when the key has no value of that name.
  virtual long DeleteValue(THKey key, const std::string& name) = 0;
  virtual long QueryInfoKey(THKey key, TRegKeyInfo& info) = 0;
  // The name of the subkey at `index`; ERROR_NO_MORE_ITEMS past the last.
  virtual long EnumKey(THKey key, std::uint32_t index, std::string& name) = 0;
  virtual long CloseKey(THKey key) = 0;
};

// The registry that the settings store uses: advapi32 on Windows, a process-wide model on
// the host. Tests swap in their own with TUseRegistryApi.
IRegistryApi& RegistryApi();
IRegistryApi& PlatformRegistryApi();

class TUseRegistryApi {
public:
  explicit TUseRegistryApi(IRegistryApi& api);
  ~TUseRegistryApi();
  TUseRegistryApi(const TUseRegistryApi&) = delete;
  TUseRegistryApi& operator=(const TUseRegistryApi&) = delete;

private:
  IRegistryApi* FPrevious;
};

// True for the predefined roots, which are never closed.
inline bool IsRootKey(THKey key) { return key >= kHKeyClassesRoot && key <= RootKey(0x8000000Fu); }

}  // namespace vm

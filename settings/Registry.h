// TRegistry: the plain registry object. A root key, an access mask, and one current key
// with its path; typed reads and writes of the four types it knows. Everything goes
// through the registry seam (RegistryApi.h). Tests: tests/settings/RegistryTableTest.cpp.
#pragma once

#include <cstdint>
#include <string>

#include "base/Exception.h"
#include "settings/RegistryApi.h"

namespace vm {

class TStringList;

// "Failed to set data for '%s'", "Failed to get data for '%s'", "Invalid data type for '%s'".
class ERegistryException : public ExceptionClass<ERegistryException, Exception> {
public:
  static constexpr const char* kClassName = "ERegistryException";
  using ExceptionClass::ExceptionClass;
};

enum class TRegDataType { rdUnknown, rdString, rdExpandString, rdInteger, rdBinary };

struct TRegDataInfo {
  TRegDataType RegData = TRegDataType::rdUnknown;
  int DataSize = 0;
};

TRegDataType RegTypeToDataType(std::uint32_t type);
std::uint32_t DataTypeToRegType(TRegDataType data);

class TRegistry {
public:
  TRegistry();
  explicit TRegistry(std::uint32_t access);
  virtual ~TRegistry();
  TRegistry(const TRegistry&) = delete;
  TRegistry& operator=(const TRegistry&) = delete;

  THKey RootKey() const { return FRootKey; }
  // Closes the current key.
  void SetRootKey(THKey root);
  std::uint32_t Access() const { return FAccess; }
  void SetAccess(std::uint32_t access) { FAccess = access; }
  THKey CurrentKey() const { return FCurrentKey; }
  const std::string& CurrentPath() const { return FCurrentPath; }

  // A path that begins with a backslash is absolute from the root (the backslash is
  // dropped); any other path is relative to the current key when one is open.
  bool OpenKey(const std::string& key, bool canCreate);
  // Tries KEY_READ, then read-and-enumerate, then KEY_QUERY_VALUE, keeping the view bits.
  bool OpenKeyReadOnly(const std::string& key);
  void CloseKey();

  bool ValueExists(const std::string& name);
  bool GetDataInfo(const std::string& name, TRegDataInfo& info);
  int GetDataSize(const std::string& name);  // -1 when the value cannot be queried
  TRegDataType GetDataType(const std::string& name);

  std::string ReadString(const std::string& name);
  void WriteString(const std::string& name, const std::string& value);
  void WriteExpandString(const std::string& name, const std::string& value);
  // True when the value was there and is gone.
  bool DeleteValue(const std::string& name);
  std::int32_t ReadInteger(const std::string& name);
  void WriteInteger(const std::string& name, std::int32_t value);
  int ReadBinaryData(const std::string& name, void* buffer, int size);
  void WriteBinaryData(const std::string& name, const void* buffer, int size);
  void GetKeyNames(TStringList& names);

protected:
  IRegistryApi& Api() { return FApi; }
  // The key a path is opened below; strips the leading backslash of an absolute path.
  THKey BaseKeyFor(std::string& path, bool& relative) const;
  void ChangeKey(THKey key, const std::string& path);
  int GetData(const std::string& name, void* buffer, std::uint32_t size, TRegDataType& regData);
  void PutData(const std::string& name, const void* buffer, std::uint32_t size, TRegDataType regData);

private:
  IRegistryApi& FApi;
  THKey FRootKey = kHKeyCurrentUser;
  THKey FCurrentKey = 0;
  std::string FCurrentPath;
  std::uint32_t FAccess = kKeyAllAccess;
};

}  // namespace vm

#include "settings/Registry.h"

#include "base/StringList.h"
#include "base/Text.h"

namespace vm {

namespace {

[[noreturn]] void RaiseRegistry(const char* format, const std::string& name) {
  throw ERegistryException(FormatText(format, name.c_str()));
}

}  // namespace

TRegDataType RegTypeToDataType(std::uint32_t type) {
  switch (type) {
    case kRegSz:
      return TRegDataType::rdString;
    case kRegExpandSz:
      return TRegDataType::rdExpandString;
    case kRegDword:
      return TRegDataType::rdInteger;
    case kRegBinary:
      return TRegDataType::rdBinary;
    default:
      return TRegDataType::rdUnknown;
  }
}

std::uint32_t DataTypeToRegType(TRegDataType data) {
  switch (data) {
    case TRegDataType::rdString:
      return kRegSz;
    case TRegDataType::rdExpandString:
      return kRegExpandSz;
    case TRegDataType::rdInteger:
      return kRegDword;
    case TRegDataType::rdBinary:
      return kRegBinary;
    default:
      return kRegNone;
  }
}

TRegistry::TRegistry() : FApi(RegistryApi()) {}

TRegistry::TRegistry(std::uint32_t access) : FApi(RegistryApi()), FAccess(access) {}

TRegistry::~TRegistry() { CloseKey(); }

void TRegistry::SetRootKey(THKey root) {
  CloseKey();
  FRootKey = root;
}

THKey TRegistry::BaseKeyFor(std::string& path, bool& relative) const {
  relative = path.empty() || path[0] != '\\';
  if (!relative) path.erase(0, 1);
  return relative && FCurrentKey ? FCurrentKey : FRootKey;
}

void TRegistry::ChangeKey(THKey key, const std::string& path) {
  CloseKey();
  FCurrentKey = key;
  FCurrentPath = path;
}

bool TRegistry::OpenKey(const std::string& key, bool canCreate) {
  std::string path = key;
  bool relative = false;
  THKey base = BaseKeyFor(path, relative);
  THKey opened = 0;
  long rc = canCreate ? FApi.CreateKey(base, path, FAccess, opened) : FApi.OpenKey(base, path, FAccess, opened);
  if (rc != kErrorSuccess) return false;
  ChangeKey(opened, relative && FCurrentKey ? FCurrentPath + "\\" + path : path);
  return true;
}

bool TRegistry::OpenKeyReadOnly(const std::string& key) {
  std::string path = key;
  bool relative = false;
  THKey base = BaseKeyFor(path, relative);
  std::uint32_t view = FAccess & kKeyWow64Res;
  for (std::uint32_t access : {kKeyRead, kKeyReadAndEnumerate, kKeyQueryValue}) {
    THKey opened = 0;
    if (FApi.OpenKey(base, path, access | view, opened) == kErrorSuccess) {
      ChangeKey(opened, relative && FCurrentKey ? FCurrentPath + "\\" + path : path);
      return true;
    }
  }
  return false;
}

void TRegistry::CloseKey() {
  if (FCurrentKey) FApi.CloseKey(FCurrentKey);
  FCurrentKey = 0;
  FCurrentPath.clear();
}

bool TRegistry::GetDataInfo(const std::string& name, TRegDataInfo& info) {
  std::uint32_t type = kRegNone, size = 0;
  info = TRegDataInfo{};
  if (FApi.QueryValue(FCurrentKey, name, &type, nullptr, &size) != kErrorSuccess) return false;
  info.RegData = RegTypeToDataType(type);
  info.DataSize = int(size);
  return true;
}

bool TRegistry::ValueExists(const std::string& name) {
  TRegDataInfo info;
  return GetDataInfo(name, info);
}

int TRegistry::GetDataSize(const std::string& name) {
  TRegDataInfo info;
  return GetDataInfo(name, info) ? info.DataSize : -1;
}

TRegDataType TRegistry::GetDataType(const std::string& name) {
  TRegDataInfo info;
  GetDataInfo(name, info);
  return info.RegData;
}

int TRegistry::GetData(const std::string& name, void* buffer, std::uint32_t size, TRegDataType& regData) {
  std::uint32_t type = kRegNone;
  if (FApi.QueryValue(FCurrentKey, name, &type, buffer, &size) != kErrorSuccess)
    RaiseRegistry("Failed to get data for '%s'", name);
  regData = RegTypeToDataType(type);
  return int(size);
}

void TRegistry::PutData(const std::string& name, const void* buffer, std::uint32_t size, TRegDataType regData) {
  if (FApi.SetValue(FCurrentKey, name, DataTypeToRegType(regData), buffer, size) != kErrorSuccess)
    RaiseRegistry("Failed to set data for '%s'", name);
}

std::string TRegistry::ReadString(const std::string& name) {
  int size = GetDataSize(name);
  if (size <= 0) return {};
  std::string text(size_t(size), '\0');
  TRegDataType regData;
  text.resize(size_t(GetData(name, text.data(), std::uint32_t(size), regData)));
  if (regData != TRegDataType::rdString && regData != TRegDataType::rdExpandString)
    RaiseRegistry("Invalid data type for '%s'", name);
  return std::string(UpToNul(text));
}

void TRegistry::WriteString(const std::string& name, const std::string& value) {
  PutData(name, value.c_str(), std::uint32_t(value.size() + 1), TRegDataType::rdString);
}

bool TRegistry::DeleteValue(const std::string& name) {
  return FCurrentKey && FApi.DeleteValue(FCurrentKey, name) == kErrorSuccess;
}

void TRegistry::WriteExpandString(const std::string& name, const std::string& value) {
  PutData(name, value.c_str(), std::uint32_t(value.size() + 1), TRegDataType::rdExpandString);
}

std::int32_t TRegistry::ReadInteger(const std::string& name) {
  std::int32_t value = 0;
  TRegDataType regData;
  GetData(name, &value, sizeof value, regData);
  if (regData != TRegDataType::rdInteger) RaiseRegistry("Invalid data type for '%s'", name);
  return value;
}

void TRegistry::WriteInteger(const std::string& name, std::int32_t value) {
  PutData(name, &value, sizeof value, TRegDataType::rdInteger);
}

int TRegistry::ReadBinaryData(const std::string& name, void* buffer, int size) {
  TRegDataInfo info;
  if (!GetDataInfo(name, info)) RaiseRegistry("Failed to get data for '%s'", name);
  if (info.RegData != TRegDataType::rdBinary && info.RegData != TRegDataType::rdUnknown)
    RaiseRegistry("Invalid data type for '%s'", name);
  if (info.DataSize > size) RaiseRegistry("Failed to get data for '%s'", name);
  TRegDataType regData;
  return GetData(name, buffer, std::uint32_t(size), regData);
}

void TRegistry::WriteBinaryData(const std::string& name, const void* buffer, int size) {
  PutData(name, buffer, std::uint32_t(size), TRegDataType::rdBinary);
}

void TRegistry::GetKeyNames(TStringList& names) {
  names.Clear();
  TRegKeyInfo info;
  if (FApi.QueryInfoKey(FCurrentKey, info) != kErrorSuccess) return;
  std::string name;
  for (std::uint32_t i = 0; i < info.SubKeys; ++i) {
    if (FApi.EnumKey(FCurrentKey, i, name) != kErrorSuccess) break;
    names.Add(name);
  }
}

}  // namespace vm

#include "settings/MyRegistry.h"

#include "base/StringList.h"
#include "base/Text.h"

namespace vm {

namespace {

constexpr std::uint32_t kKindRegTypes[16] = {
    kRegNone,
    kRegNone,
    kRegSz,
    kRegExpandSz,
    kRegBinary,
    kRegDword,
    kRegDword,
    kRegDwordBigEndian,
    kRegLink,
    kRegMultiSz,
    kRegResourceList,
    kRegFullResourceDescriptor,
    kRegResourceRequirementsList,
    kRegQword,
    kRegQword,
    kRegDword,
};

[[noreturn]] void RaiseRegistry(const char* format, const std::string& name) {
  throw ERegistryException(FormatText(format, name.c_str()));
}

// Kinds that the plain object reads and writes with its own typed calls.
bool IsPlainKind(std::uint8_t kind, TRegDataType& data) {
  switch (kind) {
    case rkUnknown:
      data = TRegDataType::rdUnknown;
      return true;
    case rkString:
      data = TRegDataType::rdString;
      return true;
    case rkExpandString:
      data = TRegDataType::rdExpandString;
      return true;
    case rkBinary:
      data = TRegDataType::rdBinary;
      return true;
    case rkInteger:
      data = TRegDataType::rdInteger;
      return true;
    default:
      return false;
  }
}

TRegKind DataTypeToKind(TRegDataType data) { return RegTypeToKind(DataTypeToRegType(data)); }

}  // namespace

std::uint32_t KindToRegType(std::uint8_t kind) {
  kind &= 0x7F;
  return kind < 16 ? kKindRegTypes[kind] : kRegNone;
}

TRegKind RegTypeToKind(std::uint32_t type) {
  static constexpr TRegKind kinds[12] = {
      rkNone,
      rkString,
      rkExpandString,
      rkBinary,
      rkInteger,
      rkIntegerBE,
      rkLink,
      rkMultiString,
      rkResourceList,
      rkFullResourceDescriptor,
      rkResourceRequirementsList,
      rkQWord,
  };
  return type < 12 ? kinds[type] : rkUnknown;
}

std::string MultiStringFromText(const std::string& text) {
  std::string data;
  data.reserve(text.size() + 1);
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n') {
      data += '\0';
      ++i;
    } else {
      data += text[i];
    }
  }
  data += '\0';
  return data;
}

std::string TextFromMultiString(const std::string& data) {
  std::string text;
  text.reserve(data.size() + data.size() / 4);
  for (size_t i = 0; i < data.size(); ++i) {
    if (data[i] == '\0' && i + 1 < data.size())
      text += "\r\n";
    else
      text += data[i];
  }
  return std::string(UpToNul(text));
}

void TMyRegistry::SetView(int view) {
  if (view != 32 && view != 64) throw ERegistryException("Windows Registry only supported with 32 or 64 bits!");
  FView = std::uint8_t(view);
  SetAccess(AccessForView(Access()));
}

std::uint32_t TMyRegistry::AccessForView(std::uint32_t access) const {
  if (FView == 64) return (access & ~kKeyWow64_32Key) | kKeyWow64_64Key;
  return access & ~kKeyWow64_64Key;
}

std::uint32_t TMyRegistry::ViewBits() const {
  return (Access() & kKeyWow64Res) | (FView == 64 ? std::uint32_t(kKeyWow64_64Key) : 0u);
}

bool TMyRegistry::OpenForWrite(const std::string& key, bool canCreate) {
  SetAccess(AccessForView(Access()));
  return OpenKey(key, canCreate);
}

THKey TMyRegistry::BaseForOpen(std::string& path, bool explicitRelativity, bool relative, bool& isRelative) const {
  if (!explicitRelativity) return BaseKeyFor(path, isRelative);
  isRelative = relative;
  return relative && CurrentKey() ? CurrentKey() : RootKey();
}

bool TMyRegistry::OpenReadOnly(const std::string& key, bool explicitRelativity, bool relative) {
  std::string path = key;
  bool isRelative = false;
  THKey base = BaseForOpen(path, explicitRelativity, relative, isRelative);
  for (std::uint32_t access : {kKeyRead, kKeyReadAndEnumerate, kKeyQueryValue}) {
    THKey opened = 0;
    if (Api().OpenKey(base, path, access | ViewBits(), opened) == kErrorSuccess) {
      ChangeKey(opened, isRelative && CurrentKey() ? CurrentPath() + "\\" + path : path);
      return true;
    }
  }
  return false;
}

bool TMyRegistry::KeyExistsInView(const std::string& key) {
  std::string path = key;
  bool isRelative = false;
  THKey base = BaseForOpen(path, false, false, isRelative);
  THKey opened = 0;
  if (Api().OpenKey(base, path, kKeyReadAndEnumerate | ViewBits(), opened) != kErrorSuccess) return false;
  Api().CloseKey(opened);
  return true;
}

bool TMyRegistry::GetValueInfo(const std::string& name, TRegKind& kind, std::uint32_t& regType, int& size) {
  std::uint32_t type = kRegNone, bytes = 0;
  if (Api().QueryValue(CurrentKey(), name, &type, nullptr, &bytes) != kErrorSuccess) return false;
  kind = RegTypeToKind(type);
  regType = type;
  size = int(bytes);
  return true;
}

TRegKind TMyRegistry::GetValueKind(const std::string& name) {
  TRegKind kind = rkUnknown;
  std::uint32_t type = 0;
  int size = 0;
  return GetValueInfo(name, kind, type, size) ? kind : rkUnknown;
}

void TMyRegistry::PutKindData(const std::string& name, const void* data, std::uint8_t kind, int size) {
  TRegDataType plain;
  if (IsPlainKind(kind, plain)) return PutData(name, data, std::uint32_t(size), plain);
  if (Api().SetValue(CurrentKey(), name, KindToRegType(kind), data, std::uint32_t(size)) != kErrorSuccess)
    RaiseRegistry("Failed to set data for '%s'", name);
}

int TMyRegistry::GetKindData(const std::string& name, void* buffer, std::uint8_t& kind, int size) {
  TRegDataType plain;
  if (IsPlainKind(kind, plain)) {
    int read = GetData(name, buffer, std::uint32_t(size), plain);
    kind = DataTypeToKind(plain);
    return read;
  }
  std::uint32_t type = kRegNone, bytes = std::uint32_t(size);
  if (Api().QueryValue(CurrentKey(), name, &type, buffer, &bytes) != kErrorSuccess)
    RaiseRegistry("Failed to get data for '%s'", name);
  // An integer asked for as one of the DWORD aliases keeps the alias.
  if (!((kind == rkIntegerLE || kind == rkIntegerAlt) && type == kRegDword)) kind = RegTypeToKind(type);
  return int(bytes);
}

std::string TMyRegistry::ReadMultiString(const std::string& name) {
  TRegKind actual = rkUnknown;
  std::uint32_t type = 0;
  int size = 0;
  if (!GetValueInfo(name, actual, type, size) || size <= 0) return {};
  std::string data(size_t(size), '\0');
  std::uint8_t kind = rkMultiString;
  // The bytes actually read count: the size asked first may be larger than the data.
  data.resize(size_t(GetKindData(name, data.data(), kind, size)));
  if (kind != rkMultiString) RaiseRegistry("Invalid data type for '%s'", name);
  return TextFromMultiString(data);
}

void TMyRegistry::WriteMultiString(const std::string& name, const std::string& text) {
  std::string data = MultiStringFromText(text);
  PutKindData(name, data.data(), rkMultiString, int(data.size()));
}

bool RegReadText(THKey root, const std::string& key, const std::string& name, std::string& text, int view) {
  TMyRegistry reg;
  reg.SetView(view);
  reg.SetRootKey(root);
  if (!reg.OpenReadOnly(key)) return false;
  switch (reg.GetValueKind(name)) {
    case rkString:
    case rkExpandString:
      text = reg.ReadString(name);
      return true;
    case rkMultiString:
      text = reg.ReadMultiString(name);
      return true;
    default:
      return false;
  }
}

bool RegWriteValue(THKey root, const std::string& key, const std::string& name, const std::string& text, TRegKind kind,
                   int view) {
  TMyRegistry reg;
  reg.SetView(view);
  reg.SetRootKey(root);
  if (!reg.OpenForWrite(key, true)) return false;
  switch (kind) {
    case rkString:
      reg.WriteString(name, text);
      return true;
    case rkExpandString:
      reg.WriteExpandString(name, text);
      return true;
    case rkMultiString:
      reg.WriteMultiString(name, text);
      return true;
    default:
      return false;
  }
}

bool RegWriteStrings(THKey root, const std::string& key, const std::string& name, const TStringList& strings) {
  return RegWriteValue(root, key, name, strings.Text(), rkMultiString, 32);
}

bool RegKeyExistsView(THKey root, const std::string& key, int viewSelector) {
  try {
    TMyRegistry reg;
    if (viewSelector == 0) reg.SetView(32);
    if (viewSelector == 1) reg.SetView(64);
    reg.SetRootKey(root);
    return reg.KeyExistsInView(key);
  } catch (...) {
    return false;
  }
}

}  // namespace vm

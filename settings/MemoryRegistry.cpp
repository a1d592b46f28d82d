#include "settings/MemoryRegistry.h"

#include <algorithm>
#include <cstring>

#include "base/Text.h"

namespace vm {

namespace {

constexpr std::uint32_t kSpecificRights = 0xFFFF & ~kKeyWow64Res;
constexpr std::uint32_t kMaximumAllowed = 0x02000000;
constexpr const char* kWow64Node = "Wow6432Node";

std::vector<std::string> PathTokens(const std::string& path) {
  std::vector<std::string> tokens;
  size_t start = 0;
  while (start < path.size()) {
    size_t end = path.find('\\', start);
    if (end == std::string::npos) end = path.size();
    tokens.push_back(path.substr(start, end - start));
    start = end + 1;
  }
  return tokens;
}

}  // namespace

struct TMemoryRegistry::TNode {
  struct TValue {
    std::string Name;
    std::uint32_t Type;
    std::string Data;
  };

  std::string Name;
  std::map<std::string, std::unique_ptr<TNode>> SubKeys;  // by upper-case name, so sorted
  std::vector<TValue> Values;
  std::uint32_t Rights = kSpecificRights;
  bool Redirected = false;  // the 32-bit view of this key's children is its Wow6432Node

  explicit TNode(std::string name) : Name(std::move(name)) {}

  TNode* Find(const std::string& name) const {
    auto it = SubKeys.find(UpperCase(name));
    return it == SubKeys.end() ? nullptr : it->second.get();
  }
  TNode* Add(const std::string& name) {
    auto& slot = SubKeys[UpperCase(name)];
    if (!slot) slot = std::make_unique<TNode>(name);
    return slot.get();
  }
  TValue* Value(const std::string& name) {
    for (auto& v : Values)
      if (SameText(v.Name, name)) return &v;
    return nullptr;
  }
  // Where a child named `token` lies in the view that `access` asks for.
  TNode* Viewed(const std::string& token, std::uint32_t access) {
    if (!Redirected || (access & kKeyWow64_64Key) || SameText(token, kWow64Node)) return this;
    return Find(kWow64Node);
  }
};

TMemoryRegistry::TMemoryRegistry()
    : FMachine(std::make_unique<TNode>("HKEY_LOCAL_MACHINE")),
      FUsers(std::make_unique<TNode>("HKEY_USERS")),
      FClasses(std::make_unique<TNode>("HKEY_CLASSES_ROOT")) {
  TNode* software = FMachine->Add("SOFTWARE");
  software->Redirected = true;
  software->Add(kWow64Node);
  FMachine->Add("SYSTEM");
  FUsers->Add(kDefaultHive)->Add("Software");
  FCurrentUser = FUsers->Add(kCurrentUserHive);
  FCurrentUser->Add("Software");
}

TMemoryRegistry::~TMemoryRegistry() = default;

TMemoryRegistry::TNode* TMemoryRegistry::NodeOf(THKey key, std::uint32_t* granted) const {
  if (granted) *granted = kSpecificRights;
  if (key == kHKeyLocalMachine) return FMachine.get();
  if (key == kHKeyUsers) return FUsers.get();
  if (key == kHKeyCurrentUser) return FCurrentUser;
  if (key == kHKeyClassesRoot) return FClasses.get();
  auto it = FHandles.find(key);
  if (it == FHandles.end()) return nullptr;
  if (granted) *granted = it->second.Granted;
  return it->second.Node;
}

long TMemoryRegistry::Resolve(TNode* node, const std::string& subKey, std::uint32_t access, bool create,
                              TNode*& found) {
  std::vector<std::string> tokens = PathTokens(subKey);
  for (size_t i = 0; i < tokens.size(); ++i) {
    const std::string& token = tokens[i];
    // A trailing backslash is tolerated; an empty name inside the path is not.
    if (token.empty()) {
      if (i + 1 == tokens.size()) break;
      return kErrorBadPathname;
    }
    TNode* viewed = node->Viewed(token, access);
    if (!viewed) return kErrorFileNotFound;
    TNode* child = viewed->Find(token);
    if (!child) {
      if (!create) return kErrorFileNotFound;
      if (!(viewed->Rights & kKeyCreateSubKey)) return kErrorAccessDenied;
      child = viewed->Add(token);
      if (child->Name == "SOFTWARE" && viewed == FMachine.get()) child->Redirected = true;
    }
    node = child;
  }
  found = node;
  return kErrorSuccess;
}

long TMemoryRegistry::Grant(TNode* node, std::uint32_t access, THKey& result) {
  std::uint32_t wanted = access & kSpecificRights;
  if (access & kMaximumAllowed) wanted = node->Rights;
  if (wanted & ~node->Rights) return kErrorAccessDenied;
  result = FNextHandle;
  FNextHandle += 4;
  FHandles[result] = THandle{node, wanted};
  return kErrorSuccess;
}

long TMemoryRegistry::OpenKey(THKey parent, const std::string& subKey, std::uint32_t access, THKey& result) {
  TNode* start = NodeOf(parent, nullptr);
  if (!start) return kErrorInvalidHandle;
  TNode* node = nullptr;
  if (long rc = Resolve(start, subKey, access, false, node)) return rc;
  return Grant(node, access, result);
}

long TMemoryRegistry::CreateKey(THKey parent, const std::string& subKey, std::uint32_t access, THKey& result) {
  TNode* start = NodeOf(parent, nullptr);
  if (!start) return kErrorInvalidHandle;
  if (!subKey.empty() && subKey[0] == '\\') return kErrorBadPathname;
  TNode* node = nullptr;
  if (long rc = Resolve(start, subKey, access, true, node)) return rc;
  return Grant(node, access, result);
}

long TMemoryRegistry::QueryValue(THKey key, const std::string& name, std::uint32_t* type, void* data,
                                 std::uint32_t* size) {
  std::uint32_t granted = 0;
  TNode* node = NodeOf(key, &granted);
  if (!node) return kErrorInvalidHandle;
  if (!(granted & kKeyQueryValue)) return kErrorAccessDenied;
  TNode::TValue* value = node->Value(name);
  if (!value) return kErrorFileNotFound;
  if (type) *type = value->Type;
  std::uint32_t length = std::uint32_t(value->Data.size());
  if (!size) return data ? kErrorInvalidParameter : kErrorSuccess;
  if (data) {
    if (*size < length) {
      *size = length;
      return kErrorMoreData;
    }
    if (length) std::memcpy(data, value->Data.data(), length);
  }
  *size = length;
  return kErrorSuccess;
}

long TMemoryRegistry::SetValue(THKey key, const std::string& name, std::uint32_t type, const void* data,
                               std::uint32_t size) {
  std::uint32_t granted = 0;
  TNode* node = NodeOf(key, &granted);
  if (!node) return kErrorInvalidHandle;
  if (!(granted & kKeySetValue)) return kErrorAccessDenied;
  std::string bytes(static_cast<const char*>(data), size);
  if (TNode::TValue* value = node->Value(name)) {
    value->Type = type;
    value->Data = std::move(bytes);
  } else {
    node->Values.push_back({name, type, std::move(bytes)});
  }
  return kErrorSuccess;
}

long TMemoryRegistry::DeleteValue(THKey key, const std::string& name) {
  std::uint32_t granted = 0;
  TNode* node = NodeOf(key, &granted);
  if (!node) return kErrorInvalidHandle;
  if (!(granted & kKeySetValue)) return kErrorAccessDenied;
  TNode::TValue* value = node->Value(name);
  if (!value) return kErrorFileNotFound;
  node->Values.erase(node->Values.begin() + (value - node->Values.data()));
  return kErrorSuccess;
}

long TMemoryRegistry::QueryInfoKey(THKey key, TRegKeyInfo& info) {
  std::uint32_t granted = 0;
  TNode* node = NodeOf(key, &granted);
  if (!node) return kErrorInvalidHandle;
  if (!(granted & kKeyQueryValue)) return kErrorAccessDenied;
  info = TRegKeyInfo{};
  info.SubKeys = std::uint32_t(node->SubKeys.size());
  for (auto& [upper, child] : node->SubKeys)
    info.MaxSubKeyLen = std::max(info.MaxSubKeyLen, std::uint32_t(child->Name.size()));
  info.Values = std::uint32_t(node->Values.size());
  for (auto& v : node->Values) {
    info.MaxValueNameLen = std::max(info.MaxValueNameLen, std::uint32_t(v.Name.size()));
    info.MaxValueLen = std::max(info.MaxValueLen, std::uint32_t(v.Data.size()));
  }
  return kErrorSuccess;
}

long TMemoryRegistry::EnumKey(THKey key, std::uint32_t index, std::string& name) {
  std::uint32_t granted = 0;
  TNode* node = NodeOf(key, &granted);
  if (!node) return kErrorInvalidHandle;
  if (!(granted & kKeyEnumerateSubKeys)) return kErrorAccessDenied;
  if (index >= node->SubKeys.size()) return kErrorNoMoreItems;
  auto it = node->SubKeys.begin();
  std::advance(it, index);
  name = it->second->Name;
  return kErrorSuccess;
}

long TMemoryRegistry::CloseKey(THKey key) {
  if (IsRootKey(key)) return kErrorSuccess;
  return FHandles.erase(key) ? kErrorSuccess : kErrorInvalidHandle;
}

bool TMemoryRegistry::SetKeyRights(THKey root, const std::string& path, std::uint32_t rights) {
  TNode* start = NodeOf(root, nullptr);
  TNode* node = nullptr;
  if (!start || Resolve(start, path, 0, false, node) != kErrorSuccess) return false;
  node->Rights = rights & kSpecificRights;
  return true;
}

}  // namespace vm

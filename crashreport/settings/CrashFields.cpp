#include "crashreport/settings/CrashFields.h"

#include "base/Text.h"

namespace vm {

int TICrashFields::IndexOf(std::string_view name) const {
  for (size_t i = 0; i < FItems.size(); ++i)
    if (SameText(FItems[i].Name, name)) return int(i);
  return -1;
}

std::string TICrashFields::Values(std::string_view name) const {
  int i = IndexOf(name);
  return i < 0 ? std::string() : FItems[size_t(i)].Value;
}

void TICrashFields::Put(std::string_view name, std::string_view value) {
  int i = IndexOf(name);
  if (i >= 0)
    FItems[size_t(i)].Value = value;
  else
    FItems.push_back({std::string(name), std::string(value)});
}

void TICrashFields::Insert(int index, std::string_view name, std::string_view value) {
  FItems.insert(FItems.begin() + index, TField{std::string(name), std::string(value)});
}

void TICrashFields::Delete(int index) { FItems.erase(FItems.begin() + index); }

}  // namespace vm

// TICrashFields: an ordered list of name/value pairs (bug-report header fields, form
// values, additional fields). Names compare without regard to case.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace vm {

class TICrashFields {
public:
  int Count() const { return int(FItems.size()); }
  const std::string& Name(int index) const { return FItems.at(size_t(index)).Name; }
  const std::string& Value(int index) const { return FItems.at(size_t(index)).Value; }
  int IndexOf(std::string_view name) const;
  bool Contains(std::string_view name) const { return IndexOf(name) >= 0; }
  // The value of the first pair of that name, or empty.
  std::string Values(std::string_view name) const;
  // Replaces the value of the first pair of that name, or appends a pair; empty values stay.
  void Put(std::string_view name, std::string_view value);
  void SetValue(int index, std::string_view value) { FItems.at(size_t(index)).Value = value; }
  void Insert(int index, std::string_view name, std::string_view value);
  void Delete(int index);
  void Clear() { FItems.clear(); }

  bool operator==(const TICrashFields&) const = default;

private:
  struct TField {
    std::string Name, Value;
    bool operator==(const TField&) const = default;
  };
  std::vector<TField> FItems;
};

}  // namespace vm

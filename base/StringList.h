// An ordered list of 8-bit texts, optionally sorted and free of duplicates, that doubles
// as a small name=value dictionary. Its text form is the lines joined with CR LF after
// every line; reading a text splits at CR LF, lone CR and lone LF, and stops at a NUL.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace vm {

enum class TDuplicates { dupIgnore, dupAccept, dupError };

class TStringList {
public:
  TStringList() = default;
  TStringList(std::initializer_list<std::string> lines);

  int Count() const { return int(FItems.size()); }
  bool Empty() const { return FItems.empty(); }
  const std::string& operator[](int index) const { return FItems.at(size_t(index)); }
  const std::vector<std::string>& Items() const { return FItems; }

  // Appends (or, when sorted, inserts in order). Returns the index, or -1 when a
  // duplicate was ignored; throws when duplicates are errors.
  int Add(std::string_view s);
  void Insert(int index, std::string_view s);
  void Put(int index, std::string_view s);
  void Delete(int index);
  void Clear() { FItems.clear(); }
  void Assign(const TStringList& other) { FItems = other.FItems; }

  // Case-insensitive unless CaseSensitive is set.
  int IndexOf(std::string_view s) const;

  bool Sorted() const { return FSorted; }
  void SetSorted(bool sorted);
  TDuplicates Duplicates() const { return FDuplicates; }
  void SetDuplicates(TDuplicates d) { FDuplicates = d; }
  bool CaseSensitive() const { return FCaseSensitive; }
  void SetCaseSensitive(bool cs) { FCaseSensitive = cs; }

  std::string Text() const;
  void SetText(std::string_view text);

  // Name=value access: the first line whose name (text before the first "=") equals `name`
  // ignoring letter case.
  int IndexOfName(std::string_view name) const;
  std::string Names(int index) const;
  std::string ValueFromIndex(int index) const;
  std::string Values(std::string_view name) const;
  // Replaces the value of the first matching line or appends one; the empty value deletes it.
  void SetValue(std::string_view name, std::string_view value);

  // Reads while others may read but not write; throws EFOpenError.
  void LoadFromFile(const std::string& path);
  // Creates or truncates; throws EFCreateError.
  void SaveToFile(const std::string& path) const;

  bool operator==(const TStringList& other) const { return FItems == other.FItems; }

private:
  int Compare(std::string_view a, std::string_view b) const;
  // Binary search in a sorted list: true when found; `index` is the position either way.
  bool Find(std::string_view s, int& index) const;

  std::vector<std::string> FItems;
  bool FSorted = false;
  bool FCaseSensitive = false;
  TDuplicates FDuplicates = TDuplicates::dupIgnore;
};

// Splits `text` into lines at CR LF, lone CR and lone LF; a NUL ends the text.
std::vector<std::string> SplitLines(std::string_view text);
// Joins with CR LF after every line, the last included.
std::string JoinLines(const std::vector<std::string>& lines);

}  // namespace vm

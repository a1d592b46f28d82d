#include "base/StringList.h"

#include <algorithm>

#include "base/Exception.h"
#include "base/FileIO.h"
#include "base/Text.h"

namespace vm {

std::vector<std::string> SplitLines(std::string_view text) {
  text = UpToNul(text);
  std::vector<std::string> lines;
  size_t start = 0;
  while (start < text.size()) {
    size_t end = text.find_first_of("\r\n", start);
    if (end == std::string_view::npos) {
      lines.emplace_back(text.substr(start));
      break;
    }
    lines.emplace_back(text.substr(start, end - start));
    start = end + 1;
    if (text[end] == '\r' && start < text.size() && text[start] == '\n') ++start;
  }
  return lines;
}

std::string JoinLines(const std::vector<std::string>& lines) {
  size_t size = 0;
  for (const auto& l : lines) size += l.size() + 2;
  std::string text;
  text.reserve(size);
  for (const auto& l : lines) {
    text += l;
    text += "\r\n";
  }
  return text;
}

TStringList::TStringList(std::initializer_list<std::string> lines) : FItems(lines) {}

int TStringList::Compare(std::string_view a, std::string_view b) const {
  if (FCaseSensitive) return a.compare(b);
  return UpperCase(a).compare(UpperCase(b));
}

bool TStringList::Find(std::string_view s, int& index) const {
  int lo = 0, hi = Count() - 1;
  bool found = false;
  while (lo <= hi) {
    int mid = (lo + hi) / 2;
    int c = Compare(FItems[size_t(mid)], s);
    if (c < 0) {
      lo = mid + 1;
    } else {
      hi = mid - 1;
      if (c == 0) {
        found = true;
        if (FDuplicates != TDuplicates::dupAccept) lo = mid;
      }
    }
  }
  index = lo;
  return found;
}

int TStringList::Add(std::string_view s) {
  if (!FSorted) {
    FItems.emplace_back(s);
    return Count() - 1;
  }
  int index;
  if (Find(s, index)) {
    if (FDuplicates == TDuplicates::dupIgnore) return -1;
    if (FDuplicates == TDuplicates::dupError) throw Exception("String list does not allow duplicates");
  }
  FItems.emplace(FItems.begin() + index, s);
  return index;
}

void TStringList::Insert(int index, std::string_view s) {
  if (FSorted) throw Exception("Operation not allowed on sorted list");
  if (index < 0 || index > Count()) throw Exception(FormatText("List index out of bounds (%d)", index));
  FItems.emplace(FItems.begin() + index, s);
}

void TStringList::Put(int index, std::string_view s) {
  if (FSorted) throw Exception("Operation not allowed on sorted list");
  FItems.at(size_t(index)) = std::string(s);
}

void TStringList::Delete(int index) {
  if (index < 0 || index >= Count()) throw Exception(FormatText("List index out of bounds (%d)", index));
  FItems.erase(FItems.begin() + index);
}

int TStringList::IndexOf(std::string_view s) const {
  if (FSorted) {
    int index;
    return Find(s, index) ? index : -1;
  }
  for (int i = 0; i < Count(); ++i)
    if (Compare(FItems[size_t(i)], s) == 0) return i;
  return -1;
}

void TStringList::SetSorted(bool sorted) {
  if (sorted && !FSorted) {
    std::stable_sort(FItems.begin(), FItems.end(),
                     [this](const std::string& a, const std::string& b) { return Compare(a, b) < 0; });
    if (FDuplicates == TDuplicates::dupIgnore) {
      auto last = std::unique(FItems.begin(), FItems.end(),
                              [this](const std::string& a, const std::string& b) { return Compare(a, b) == 0; });
      FItems.erase(last, FItems.end());
    }
  }
  FSorted = sorted;
}

std::string TStringList::Text() const { return JoinLines(FItems); }

void TStringList::SetText(std::string_view text) {
  FItems.clear();
  for (auto& line : SplitLines(text)) Add(line);
}

int TStringList::IndexOfName(std::string_view name) const {
  for (int i = 0; i < Count(); ++i) {
    const std::string& line = FItems[size_t(i)];
    size_t eq = line.find('=');
    if (eq != std::string::npos && SameText(std::string_view(line).substr(0, eq), name)) return i;
  }
  return -1;
}

std::string TStringList::Names(int index) const {
  const std::string& line = FItems.at(size_t(index));
  size_t eq = line.find('=');
  return eq == std::string::npos ? std::string() : line.substr(0, eq);
}

std::string TStringList::ValueFromIndex(int index) const {
  const std::string& line = FItems.at(size_t(index));
  size_t eq = line.find('=');
  return eq == std::string::npos ? std::string() : line.substr(eq + 1);
}

std::string TStringList::Values(std::string_view name) const {
  int i = IndexOfName(name);
  return i < 0 ? std::string() : ValueFromIndex(i);
}

void TStringList::SetValue(std::string_view name, std::string_view value) {
  int i = IndexOfName(name);
  if (value.empty()) {
    if (i >= 0) Delete(i);
    return;
  }
  std::string line = std::string(name) + "=" + std::string(value);
  if (i < 0) {
    Add(line);
  } else if (FSorted) {
    // A sorted list keeps its order: the changed line moves to its new place.
    Delete(i);
    Add(line);
  } else {
    FItems[size_t(i)] = line;
  }
}

void TStringList::LoadFromFile(const std::string& path) { SetText(ReadFileDenyWrite(path)); }

void TStringList::SaveToFile(const std::string& path) const { WriteFileCreate(path, Text()); }

}  // namespace vm

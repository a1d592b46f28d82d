#include "server/Versions.h"

#include <algorithm>

namespace vm::server {
namespace {

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

// The next dot-separated part of `text`, taken off its front.
std::string_view NextPart(std::string_view& text) {
  const size_t dot = text.find('.');
  std::string_view part = text.substr(0, dot);
  text = dot == std::string_view::npos ? std::string_view() : text.substr(dot + 1);
  return part;
}

// Numbers of any length, without converting: fewer digits (after leading zeros) is smaller.
int CompareNumbers(std::string_view a, std::string_view b) {
  while (!a.empty() && a[0] == '0') a.remove_prefix(1);
  while (!b.empty() && b[0] == '0') b.remove_prefix(1);
  if (a.size() != b.size()) return a.size() < b.size() ? -1 : 1;
  return a.compare(b);
}

int ComparePart(std::string_view a, std::string_view b) {
  const size_t na = std::find_if_not(a.begin(), a.end(), IsDigit) - a.begin();
  const size_t nb = std::find_if_not(b.begin(), b.end(), IsDigit) - b.begin();
  if (int c = CompareNumbers(a.substr(0, na), b.substr(0, nb))) return c;
  return a.substr(na).compare(b.substr(nb));
}

}  // namespace

int CompareVersions(std::string_view a, std::string_view b) {
  while (!a.empty() || !b.empty()) {
    const int c = ComparePart(NextPart(a), NextPart(b));
    if (c) return c < 0 ? -1 : 1;
  }
  return 0;
}

void SortVersions(std::vector<std::string>& versions) {
  std::stable_sort(versions.begin(), versions.end(),
                   [](const std::string& a, const std::string& b) { return CompareVersions(a, b) < 0; });
}

bool IsVersionNumber(std::string_view text) {
  if (text.empty() || text.size() > 64 || text.front() == '.' || text.back() == '.') return false;
  for (size_t i = 0; i < text.size(); ++i)
    if (!IsDigit(text[i]) && !(text[i] == '.' && text[i - 1] != '.')) return false;
  return true;
}

}  // namespace vm::server

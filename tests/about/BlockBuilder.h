// Writes VS_VERSIONINFO nodes the way resource compilers lay them out, so that tests can
// make well-formed blocks and then damage exactly the field they care about.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace vmtest {

struct TNodeSpec {
  std::u16string Key;
  std::string Value;         // stored bytes
  uint16_t ValueLength = 0;  // as written in the header
  bool IsText = false;
  std::vector<TNodeSpec> Children;
};

inline void PutWord(std::string& out, size_t at, uint16_t w) {
  out[at] = char(w & 0xFF);
  out[at + 1] = char(w >> 8);
}

inline std::string Utf16Bytes(std::u16string_view s) {
  std::string out;
  for (char16_t c : s) out += {char(c & 0xFF), char(c >> 8)};
  return out;
}

// A text value, stored with its NUL and counted in characters including it.
inline TNodeSpec Text(std::u16string key, std::u16string value) {
  std::u16string stored = value + u'\0';
  return TNodeSpec{std::move(key), Utf16Bytes(stored), uint16_t(stored.size()), true, {}};
}
inline TNodeSpec Binary(std::u16string key, std::string value) {
  uint16_t length = uint16_t(value.size());
  return TNodeSpec{std::move(key), std::move(value), length, false, {}};
}
inline TNodeSpec Node(std::u16string key, std::vector<TNodeSpec> children, bool isText = true) {
  return TNodeSpec{std::move(key), {}, 0, isText, std::move(children)};
}

inline void Pad4(std::string& out) { out.resize((out.size() + 3) & ~size_t(3), '\0'); }

inline std::string Build(const TNodeSpec& node) {
  std::string out(6, '\0');
  PutWord(out, 2, node.ValueLength);
  PutWord(out, 4, node.IsText ? 1 : 0);
  out += Utf16Bytes(node.Key + u'\0');
  Pad4(out);
  out += node.Value;
  for (const TNodeSpec& child : node.Children) {
    Pad4(out);
    out += Build(child);
  }
  PutWord(out, 0, uint16_t(out.size()));
  return out;
}

// Offset of the first node whose key is `key` (found by its UTF-16 text).
inline size_t NodeOffset(const std::string& block, std::u16string_view key) {
  return block.find(Utf16Bytes(std::u16string(key) + u'\0')) - 6;
}

}  // namespace vmtest

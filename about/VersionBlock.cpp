// Look-ups in a VS_VERSIONINFO block; covered by tests/about/VersionBlockTest.cpp and the
// fuzz_version_block target.
#include "about/VersionBlock.h"

#include <algorithm>

#include "base/AnsiText.h"
#include "base/Text.h"

namespace vm {

namespace {

constexpr size_t kHeaderBytes = 6;  // wLength, wValueLength, wType

size_t Align4(size_t n) { return (n + 3) & ~size_t(3); }

uint16_t WordAt(std::string_view bytes, size_t at) {
  return uint16_t(uint8_t(bytes[at]) | (uint8_t(bytes[at + 1]) << 8));
}

// A node's parts as offsets into the block, every one inside [Start, End).
struct TNode {
  size_t Start = 0, End = 0;
  size_t KeyOffset = 0, KeyChars = 0;
  size_t ValueOffset = 0, ValueBytes = 0;
  size_t ChildrenOffset = 0;
  bool IsText = false;
};

// Reads the node at `start`, which must lie before `limit` (its parent's end).
std::optional<TNode> ParseNode(std::string_view bytes, size_t start, size_t limit) {
  if (start >= limit || limit - start < kHeaderBytes) return std::nullopt;
  uint16_t length = WordAt(bytes, start);
  if (length < kHeaderBytes) return std::nullopt;
  TNode node;
  node.Start = start;
  node.End = std::min(start + length, limit);
  node.IsText = WordAt(bytes, start + 4) != 0;
  node.KeyOffset = start + kHeaderBytes;
  size_t pos = node.KeyOffset;
  while (pos + 2 <= node.End && WordAt(bytes, pos) != 0) pos += 2;
  if (pos + 2 > node.End) return std::nullopt;  // key without its NUL
  node.KeyChars = (pos - node.KeyOffset) / 2;
  // Value and children sit at 4-byte steps from the node's own start, as the platform
  // computes them; the value is cut at the node's end.
  size_t declaredValueBytes = size_t(WordAt(bytes, start + 2)) * (node.IsText ? 2 : 1);
  size_t valueOffset = start + Align4(pos + 2 - start);
  node.ChildrenOffset = valueOffset + Align4(declaredValueBytes);
  node.ValueOffset = std::min(valueOffset, node.End);
  node.ValueBytes = std::min(declaredValueBytes, node.End - node.ValueOffset);
  return node;
}

bool KeyEquals(std::string_view bytes, const TNode& node, std::string_view name) {
  if (node.KeyChars != name.size()) return false;
  for (size_t i = 0; i < name.size(); ++i) {
    uint16_t c = WordAt(bytes, node.KeyOffset + 2 * i);
    // Paths are ASCII; a key character outside ASCII never matches.
    if (c >= 0x80 || AsciiUpper(char(c)) != AsciiUpper(name[i])) return false;
  }
  return true;
}

std::optional<TNode> FindChild(std::string_view bytes, const TNode& parent, std::string_view name) {
  size_t at = parent.ChildrenOffset;
  while (at < parent.End) {
    std::optional<TNode> child = ParseNode(bytes, at, parent.End);
    if (!child) return std::nullopt;
    if (KeyEquals(bytes, *child, name)) return child;
    at += Align4(WordAt(bytes, at));  // at least 8: ParseNode refused shorter nodes
  }
  return std::nullopt;
}

std::u16string_view::size_type FirstNul(std::u16string_view s) { return std::min(s.find(u'\0'), s.size()); }

}  // namespace

TVersionBlock::TVersionBlock(std::string bytes) : FBytes(std::move(bytes)) {
  // A byte of text at offset 4 marks the 16-bit layout with ANSI keys, which no PE file
  // carries; the platform tells the two apart the same way.
  if (FBytes.size() < kHeaderBytes || uint8_t(FBytes[4]) >= ' ') return;
  if (std::optional<TNode> root = ParseNode(FBytes, 0, FBytes.size())) FRootEnd = root->End;
}

std::optional<TVersionValue> TVersionBlock::Query(std::string_view path) const {
  if (!IsValid()) return std::nullopt;
  std::optional<TNode> node = ParseNode(FBytes, 0, FRootEnd);
  while (node && !path.empty()) {
    size_t slash = std::min(path.find('\\'), path.size());
    if (slash > 0) node = FindChild(FBytes, *node, path.substr(0, slash));
    path.remove_prefix(std::min(slash + 1, path.size()));
  }
  if (!node) return std::nullopt;
  return TVersionValue{std::string_view(FBytes).substr(node->ValueOffset, node->ValueBytes), node->IsText};
}

std::optional<std::string> TVersionBlock::QueryText(std::string_view path) const {
  std::optional<TVersionValue> value = Query(path);
  if (!value) return std::nullopt;
  if (!value->IsText) return std::string(UpToNul(value->Bytes));
  std::u16string text(value->Bytes.size() / 2, u'\0');
  for (size_t i = 0; i < text.size(); ++i) text[i] = char16_t(WordAt(value->Bytes, 2 * i));
  return WideToAnsi(std::u16string_view(text).substr(0, FirstNul(text)));
}

std::vector<TTranslation> TVersionBlock::Translations() const {
  std::vector<TTranslation> result;
  std::optional<TVersionValue> value = Query("\\VarFileInfo\\Translation");
  if (!value) return result;
  for (size_t at = 0; at + 4 <= value->Bytes.size(); at += 4)
    result.push_back(TTranslation{WordAt(value->Bytes, at), WordAt(value->Bytes, at + 2)});
  return result;
}

}  // namespace vm

// The VS_VERSIONINFO block: a tree of nodes, each
//   WORD wLength       bytes of the node, its children included
//   WORD wValueLength  value length: in characters when wType is 1 (text), else in bytes
//   WORD wType         1 text, 0 binary
//   WCHAR szKey[]      NUL-terminated, then padding to a 4-byte boundary
//   value              then padding to a 4-byte boundary
//   children           each starting on a 4-byte boundary
// Look-ups follow the platform's VerQueryValue: a path of backslash-separated keys, empty
// components skipped, keys compared ignoring letter case, the first matching child taken.
// Every length in the block is checked against its parent and the buffer: a damaged block
// gives "not found", never a read outside the bytes.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace vm {

// One entry of "\VarFileInfo\Translation": low word the language, high word the code page.
struct TTranslation {
  uint16_t Language = 0;
  uint16_t CodePage = 0;
  bool operator==(const TTranslation&) const = default;
};

struct TVersionValue {
  std::string_view Bytes;  // the value as stored (UTF-16LE when IsText), cut at its node's end
  bool IsText = false;
};

class TVersionBlock {
public:
  // Takes the block's bytes; IsValid() tells whether they start with a usable root node.
  explicit TVersionBlock(std::string bytes);

  bool IsValid() const { return FRootEnd != 0; }
  std::optional<TVersionValue> Query(std::string_view path) const;
  // The value at `path` as 8-bit text up to its first NUL; nothing when the path is absent.
  std::optional<std::string> QueryText(std::string_view path) const;
  // The entries of "\VarFileInfo\Translation", empty when there is none.
  std::vector<TTranslation> Translations() const;

private:
  std::string FBytes;
  size_t FRootEnd = 0;
};

}  // namespace vm

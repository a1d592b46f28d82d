#include "crashreport/capture/SymbolTable.h"

#include <zlib.h>

#include <algorithm>
#include <cstring>

#include "crashreport/capture/PeLayout.h"

namespace vm {

namespace {

constexpr std::string_view kTableMagic("VMSYM001", 8);
constexpr std::string_view kTrailerMagic("VMSYMTB1", 8);
constexpr std::size_t kHeaderSize = 8 + 4 * 4;
// Far above any real program; a larger count is damage, not a table.
constexpr std::uint32_t kMaxTableBytes = 64u << 20;

}  // namespace

std::optional<TSymbolTable> TSymbolTable::Parse(std::string_view t) {
  if (t.size() < kHeaderSize || t.substr(0, 8) != kTableMagic) return std::nullopt;
  TSymbolTable table;
  table.FTextCrc = ReadLe32(t, 8);
  std::uint64_t functions = ReadLe32(t, 12), lines = ReadLe32(t, 16), pool = ReadLe32(t, 20);
  std::uint64_t size = kHeaderSize + functions * 20 + lines * 12 + pool;
  if (size != t.size() || pool == 0 || t.back() != '\0') return std::nullopt;
  std::size_t at = kHeaderSize;
  std::size_t poolAt = std::size_t(size - pool);
  table.FPool.assign(t.substr(poolAt));
  auto offsetOk = [&](std::uint32_t off) { return off < pool; };
  for (std::uint64_t i = 0; i < functions; ++i, at += 20) {
    TFunction f{ReadLe32(t, at), ReadLe32(t, at + 4), ReadLe32(t, at + 8), ReadLe32(t, at + 12), ReadLe32(t, at + 16)};
    if (!offsetOk(f.Name) || !offsetOk(f.Unit) || f.End < f.Rva) return std::nullopt;
    if (!table.FFunctions.empty() && f.Rva < table.FFunctions.back().Rva) return std::nullopt;
    table.FFunctions.push_back(f);
  }
  for (std::uint64_t i = 0; i < lines; ++i, at += 12) {
    TLine l{ReadLe32(t, at), ReadLe32(t, at + 4), ReadLe32(t, at + 8)};
    if (!offsetOk(l.Unit)) return std::nullopt;
    if (!table.FLines.empty() && l.Rva < table.FLines.back().Rva) return std::nullopt;
    table.FLines.push_back(l);
  }
  return table;
}

std::optional<TSymbolInfo> TSymbolTable::Lookup(std::uint32_t rva) const {
  auto f = std::upper_bound(FFunctions.begin(), FFunctions.end(), rva,
                            [](std::uint32_t a, const TFunction& fn) { return a < fn.Rva; });
  const TFunction* fn = nullptr;
  if (f != FFunctions.begin() && rva < std::prev(f)->End) fn = &*std::prev(f);
  auto l = std::upper_bound(FLines.begin(), FLines.end(), rva,
                            [](std::uint32_t a, const TLine& line) { return a < line.Rva; });
  const TLine* line = l != FLines.begin() ? &*std::prev(l) : nullptr;
  // A line entry counts only inside the function it belongs to.
  if (line && fn && line->Rva < fn->Rva) line = nullptr;
  if (!fn && !line) return std::nullopt;
  TSymbolInfo info;
  if (fn) {
    info.Function = Text(fn->Name);
    info.FunctionRva = fn->Rva;
    info.FunctionLine = fn->FirstLine;
    info.Unit = Text(fn->Unit);
  }
  if (line) {
    info.Line = line->Line;
    info.Unit = Text(line->Unit);
  }
  return info;
}

std::optional<std::uint32_t> CodeSectionCrc(std::string_view pe) {
  auto layout = ReadPeLayout(pe);
  if (!layout) return std::nullopt;
  for (const TPeSection& s : layout->Sections)
    if (s.Name == ".text")
      return std::uint32_t(
          crc32(0, reinterpret_cast<const Bytef*>(pe.data() + s.Raw.From), uInt(s.Raw.To - s.Raw.From)));
  return std::nullopt;
}

std::optional<TSymbolTable> ReadEmbeddedSymbols(std::string_view file, std::string* why) {
  auto fail = [&](const char* reason) -> std::optional<TSymbolTable> {
    if (why) *why = reason;
    return std::nullopt;
  };
  // A signature's certificate data follows the table; the table ends where it begins.
  auto layout = ReadPeLayout(file);
  std::string_view content = file.substr(0, layout ? layout->ContentEnd : file.size());
  if (content.size() < 12 || content.substr(content.size() - 8) != kTrailerMagic) return fail("no symbol table");
  std::uint32_t packed = ReadLe32(content, content.size() - 12);
  if (packed > content.size() - 12 || packed > kMaxTableBytes) return fail("damaged symbol table");
  std::string_view stream = content.substr(content.size() - 12 - packed, packed);
  // The table's size is not stored: grow the buffer until the stream fits.
  std::string table(std::size_t(packed) * 4 + 64, '\0');
  for (;;) {
    uLongf size = uLongf(table.size());
    int rc = uncompress(reinterpret_cast<Bytef*>(table.data()), &size, reinterpret_cast<const Bytef*>(stream.data()),
                        uLong(stream.size()));
    if (rc == Z_OK) {
      table.resize(size);
      break;
    }
    if (rc != Z_BUF_ERROR || table.size() >= kMaxTableBytes) return fail("damaged symbol table");
    table.resize(table.size() * 2);
  }
  auto parsed = TSymbolTable::Parse(table);
  if (!parsed) return fail("damaged symbol table");
  auto crc = CodeSectionCrc(file);
  if (!crc || *crc != parsed->TextCrc()) return fail("stale symbol table (made for other code)");
  return parsed;
}

}  // namespace vm

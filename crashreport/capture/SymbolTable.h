// The program's symbol table: made at build time from the linked program (its function
// symbols and its DWARF line table) and appended to the program file, so that the shipped,
// stripped program still turns addresses into function, unit and line. The table records a
// checksum of the code section it was made from and is refused for any other code. A code
// signature appends its certificate data behind the table; the reader looks for the table
// where that data begins (PeLayout.h), so a signed program keeps its names.
// Entry points: TSymbolTable::Parse, ReadEmbeddedSymbols. Written by postlink.py.
// Tests: tests/crashreport/capture/SymbolTableTest.cpp.
//
// Trailer at the end of the program file's own content (before any certificate data):
//   [zlib stream of the table][u32 stream size][8 bytes "VMSYMTB1"]
// postlink.py puts zero bytes in front of the stream so that the file's size is a multiple
// of 8: a signer pads the file to that size before it appends the certificate data, and
// padding behind the trailer would hide it.
// Table (all numbers u32 little-endian, strings NUL-terminated, offsets into the pool):
//   "VMSYM001"  textCrc  functionCount  lineCount  poolSize
//   functions[functionCount]  {rva, endRva, nameOffset, unitOffset, firstLine}   by rva
//   lines[lineCount]          {rva, line, unitOffset}                           by rva
//   pool[poolSize]
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace vm {

struct TSymbolInfo {
  std::string Function;  // empty when no function covers the address
  std::string Unit;      // source file name without extension
  std::uint32_t FunctionRva = 0;
  std::uint32_t Line = 0;          // 0: unknown
  std::uint32_t FunctionLine = 0;  // the function's first line, 0: unknown
};

class TSymbolTable {
public:
  // Nothing when the bytes are not a well-formed table.
  static std::optional<TSymbolTable> Parse(std::string_view table);

  std::uint32_t TextCrc() const { return FTextCrc; }
  std::size_t FunctionCount() const { return FFunctions.size(); }
  // The function and line at an address given relative to the image base.
  std::optional<TSymbolInfo> Lookup(std::uint32_t rva) const;

private:
  struct TFunction {
    std::uint32_t Rva, End, Name, Unit, FirstLine;
  };
  struct TLine {
    std::uint32_t Rva, Line, Unit;
  };
  const char* Text(std::uint32_t offset) const { return FPool.data() + offset; }

  std::uint32_t FTextCrc = 0;
  std::vector<TFunction> FFunctions;
  std::vector<TLine> FLines;
  std::string FPool;
};

// CRC-32 of the raw bytes of the PE file's first code section (".text"), or nothing when
// the bytes are not a PE file with one. Stripping leaves these bytes as they are.
std::optional<std::uint32_t> CodeSectionCrc(std::string_view peFile);

// The table embedded at the end of `programFile`'s content, checked against the file's code.
// Nothing, with the reason in `why`, when there is none, it is damaged, or it was made for
// other code (a stale table).
std::optional<TSymbolTable> ReadEmbeddedSymbols(std::string_view programFile, std::string* why = nullptr);

}  // namespace vm

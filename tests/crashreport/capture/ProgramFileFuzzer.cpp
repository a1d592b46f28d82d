// Fuzzes what the reporter reads of its own program file, which may be damaged: the PE
// layout, the integrity check and the embedded symbol table. Any bytes must be read without
// a fault, and every range the layout names must lie inside the file, in order.
#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include "crashreport/capture/FileCheck.h"
#include "crashreport/capture/PeLayout.h"
#include "crashreport/capture/SymbolTable.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace vm;
  std::string_view file(reinterpret_cast<const char*>(data), size);
  if (auto layout = ReadPeLayout(file)) {
    if (layout->ContentEnd > size) std::abort();
    for (const TPeSection& s : layout->Sections)
      if (s.Raw.From > s.Raw.To || s.Raw.To > size) std::abort();
  }
  std::size_t at = 0;
  for (const TByteRange& r : SignedHashRanges(file)) {
    if (r.From < at || r.From > r.To || r.To > size) std::abort();
    at = r.To;
  }
  CheckFileCrc(file);
  if (auto table = ReadEmbeddedSymbols(file)) table->Lookup(0x1000);
  return 0;
}

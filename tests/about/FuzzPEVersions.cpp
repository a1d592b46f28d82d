// Any bytes as a PE file: find the version resource, then read every translation's lines.
// Seeds: the fixture DLLs in corpus/fuzz_pe_versions.
#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include "about/PEResource.h"
#include "about/qbxPEVersions.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  vm::TMemorySource file(std::string_view(reinterpret_cast<const char*>(data), size));
  std::optional<std::string> bytes = vm::ReadVersionResource(file);
  if (!bytes) return 0;
  vm::TVersionBlock block(std::move(*bytes));
  int count = int(block.Translations().size());
  for (int index = 0; index < count && index < 8; ++index) {
    vm::TStringList lines;
    if (!vm::AppendVersionStrings(block, index, lines) || lines.Count() < 12) std::abort();
  }
  return 0;
}

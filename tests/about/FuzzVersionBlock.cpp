// Any bytes as a VS_VERSIONINFO block: look-ups must stay inside the bytes and end.
// Seeds: the fixtures' version blocks in corpus/fuzz_version_block.
#include <cstddef>
#include <cstdint>

#include "about/qbxPEVersions.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  vm::TVersionBlock block(std::string(reinterpret_cast<const char*>(data), size));
  std::vector<vm::TTranslation> translations = block.Translations();
  // Also a table that the data does not declare, to reach tables under any name.
  translations.push_back(vm::TTranslation{0x0409, 0x04E4});
  for (size_t i = 0; i < translations.size() && i < 8; ++i) {
    vm::TStringList lines;
    for (std::string_view key : vm::VersionKeys) lines.Add(vm::QueryVersionString(key, block, translations[i]));
  }
  (void)block.QueryText("\\");
  return 0;
}

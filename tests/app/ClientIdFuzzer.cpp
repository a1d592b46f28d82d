// libFuzzer target for reading and replacing the client ID in arbitrary "Local State" bytes:
// no crash, and a replacement puts the new ID where the entry's ID stood, finds it there
// again, and keeps everything from the first NUL on.
#include <cstdint>
#include <cstdlib>
#include <string>

#include "app/ClientIdFile.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string bytes(reinterpret_cast<const char*>(data), size);
  const std::string newId = "11111111-2222-3333-4444-555555555555";
  std::optional<std::string> id = vm::FindClientIdInText(bytes);
  std::optional<std::string> rewritten = vm::ReplaceClientIdInText(bytes, newId);
  if (id.has_value() != rewritten.has_value()) std::abort();
  if (!rewritten) return 0;
  if (id->size() != 36 || !vm::IsClientIdForm(*id)) std::abort();
  const std::optional<vm::TClientIdEntry> before = vm::FindClientIdEntry(bytes);
  const std::optional<vm::TClientIdEntry> after = vm::FindClientIdEntry(*rewritten);
  if (!before || !after || after->Id != newId || after->Offset != before->Offset) std::abort();
  const size_t nul = bytes.find('\0');
  if (nul != std::string::npos) {
    const std::string tail = bytes.substr(nul);
    if (rewritten->size() < tail.size() || rewritten->compare(rewritten->size() - tail.size(), tail.size(), tail) != 0)
      std::abort();
  }
  return 0;
}

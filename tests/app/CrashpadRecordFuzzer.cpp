// libFuzzer target for the crash reporter's settings record: no crash on any bytes, and a
// renewed record differs from its input in the UUID's 16 bytes only and reads back the new UUID.
#include <cstdint>
#include <cstdlib>
#include <string>

#include "app/CrashpadSettings.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string bytes(reinterpret_cast<const char*>(data), size);
  const vm::TUuid fresh = {0xde, 0xad, 0xbe, 0xef, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12};
  std::optional<vm::TUuid> id = vm::CrashpadIdInRecord(bytes);
  std::optional<std::string> renewed = vm::RenewCrashpadRecord(bytes, fresh);
  if (id.has_value() != renewed.has_value()) std::abort();
  if (!renewed) return 0;
  if (renewed->size() != bytes.size()) std::abort();
  for (std::size_t i = 0; i < bytes.size(); ++i) {
    bool inUuid = i >= vm::kCrashpadIdOffset && i < vm::kCrashpadIdOffset + 16;
    if (!inUuid && (*renewed)[i] != bytes[i]) std::abort();
  }
  if (vm::CrashpadIdInRecord(*renewed) != fresh) std::abort();
  if (vm::UuidFromText(vm::UuidText(*id)) != id) std::abort();
  return 0;
}

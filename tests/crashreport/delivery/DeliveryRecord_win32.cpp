// The shipped settings for the delivery tests under Windows: the record linked into the
// test program as into veilmark.exe, read through the real resource functions.
#include "tests/crashreport/common/ShippedRecord.h"
#include "crashreport/settings/CrashSettingsSystem.h"

namespace vm {

std::optional<std::string> ShippedRecordBytes() {
  return PlatformCrashSystem().SettingsResource(PlatformCrashSystem().ExeModule());
}

}  // namespace vm

// The shipped settings for the delivery tests under Windows: the record linked into the
// test program as into veilmark.exe, read through the real resource functions.
#include "crashreport/settings/CrashSettingsSystem.h"
#include "tests/crashreport/common/ShippedRecord.h"

namespace vm {

std::optional<std::string> ShippedRecordBytes() {
  return PlatformCrashSystem().SettingsResource(PlatformCrashSystem().ExeModule());
}

}  // namespace vm

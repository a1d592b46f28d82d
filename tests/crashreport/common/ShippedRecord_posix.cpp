#include "base/FileIO.h"
#include "tests/crashreport/common/ShippedRecord.h"

namespace vm {

// The record file that the build made from settings/Zentrapix.settings.
std::optional<std::string> ShippedRecordBytes() { return ReadFileDenyWrite(VM_CRASH_RECORD_FILE); }

}  // namespace vm

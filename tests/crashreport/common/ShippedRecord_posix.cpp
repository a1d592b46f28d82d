#include "tests/crashreport/common/ShippedRecord.h"

#include "base/FileIO.h"

namespace vm {

// The record file that the build made from settings/Zentrapix.settings.
std::optional<std::string> ShippedRecordBytes() { return ReadFileDenyWrite(VM_CRASH_RECORD_FILE); }

}  // namespace vm

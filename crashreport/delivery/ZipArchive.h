// The archive for attachments that share an archive name: a plain ZIP file, each member
// deflated, so that any unpacker on the receiving side reads it.
// Tests: tests/crashreport/delivery/ReportDeliveryTest.cpp.
#pragma once

#include <string>
#include <vector>

namespace vm {

struct TZipMember {
  std::string Path;  // the file to pack
  std::string Name;  // its name inside the archive
};

// Writes the archive whole or not at all; false (nothing left at `zipPath`) when a member
// cannot be read or the archive cannot be written. Members that are too large for a plain
// ZIP (4 GB) fail it too.
bool WriteZipArchive(const std::string& zipPath, const std::vector<TZipMember>& members);

}  // namespace vm

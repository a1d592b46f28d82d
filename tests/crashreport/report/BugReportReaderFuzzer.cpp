// Uploaded report texts are arbitrary bytes: splitting and header parsing must stay within
// the input and keep their promises on any of them.
#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include "crashreport/report/BugReportFile.h"
#include "crashreport/report/BugReportReader.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  std::string_view file(reinterpret_cast<const char*>(data), size);
  size_t total = 0;
  for (std::string_view report : vm::SplitBugReportFile(file)) {
    if (report.substr(0, 9) != "date/time") std::abort();
    total += report.size();
    for (const vm::TReportHeaderLine& line : vm::ParseReportHeader(report))
      if (line.Name.size() + line.Value.size() > report.size()) std::abort();
  }
  if (total > size) std::abort();
  // The merge runs on the same bytes when a damaged file is on disk.
  std::string merged = vm::MergeBugReport(file, "date/time : 1\r\ncallstack crc : $00000000, $00000000, $00000000",
                                          vm::TBugRepFileRules{});
  if (merged.size() > size + 200) std::abort();
  return 0;
}

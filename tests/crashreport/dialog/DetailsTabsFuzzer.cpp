// The details view reads any report text a record may hold (an assistant may have replaced
// it): cutting it into sections and tables must stay within the input and keep its shape.
#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include "crashreport/dialog/DetailsTabs.h"
#include "crashreport/report/BugReportReader.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  std::string_view report(reinterpret_cast<const char*>(data), size);
  size_t sectionBytes = 0;
  for (const vm::TReportSection& s : vm::ParseReportSections(report)) sectionBytes += s.Title.size() + s.Content.size();
  if (sectionBytes > size) std::abort();
  std::vector<vm::TDetailsTab> tabs = vm::DetailsTabs(report);
  if (tabs.size() < 2 || tabs[0].Caption != "general") std::abort();
  for (const vm::TDetailsTab& t : tabs) {
    if (!t.IsTable() && !t.Rows.empty()) std::abort();
    for (const auto& row : t.Rows)
      if (row.size() != 1 && row.size() != t.Columns.size()) std::abort();
  }
  return 0;
}

// The one place where the server meets the crash reporter's report reader.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace vm::server::seam {

struct THeaderLine {
  std::string Name, Value;
};
using THeader = std::vector<THeaderLine>;

std::vector<std::string_view> SplitBugReportFile(std::string_view file);
THeader ParseReportHeader(std::string_view report);
std::string HeaderValue(const THeader& header, std::string_view name);
bool HasHeaderLine(const THeader& header, std::string_view name);

}  // namespace vm::server::seam

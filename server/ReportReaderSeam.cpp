// Interim reader, replaced by the crash reporter's own one when it is in the tree.
#include "server/ReportReaderSeam.h"

namespace vm::server::seam {

std::vector<std::string_view> SplitBugReportFile(std::string_view file) {
  static constexpr std::string_view kStart = "date/time";
  std::vector<size_t> starts;
  if (file.substr(0, kStart.size()) == kStart) starts.push_back(0);
  for (size_t at = file.find("\r\ndate/time"); at != std::string_view::npos; at = file.find("\r\ndate/time", at + 2))
    starts.push_back(at + 2);
  std::vector<std::string_view> out;
  for (size_t i = 0; i < starts.size(); ++i) {
    size_t end = i + 1 < starts.size() ? starts[i + 1] : file.size();
    std::string_view r = file.substr(starts[i], end - starts[i]);
    while (r.size() >= 2 && r.substr(r.size() - 2) == "\r\n") r.remove_suffix(2);
    out.push_back(r);
  }
  return out;
}

THeader ParseReportHeader(std::string_view report) {
  THeader header;
  size_t pos = 0;
  while (pos < report.size()) {
    size_t end = report.find_first_of("\r\n", pos);
    if (end == std::string_view::npos) end = report.size();
    std::string_view line = report.substr(pos, end - pos);
    if (line.empty()) break;
    size_t colon = line.find(": ");
    std::string_view name = colon == std::string_view::npos ? line : line.substr(0, colon);
    while (!name.empty() && name.back() == ' ') name.remove_suffix(1);
    header.push_back({std::string(name), colon == std::string_view::npos ? "" : std::string(line.substr(colon + 2))});
    pos = end;
    if (pos < report.size() && report[pos] == '\r') ++pos;
    if (pos < report.size() && report[pos] == '\n') ++pos;
  }
  return header;
}

std::string HeaderValue(const THeader& header, std::string_view name) {
  for (const auto& l : header)
    if (l.Name == name) return l.Value;
  return {};
}

bool HasHeaderLine(const THeader& header, std::string_view name) {
  for (const auto& l : header)
    if (l.Name == name) return true;
  return false;
}

}  // namespace vm::server::seam

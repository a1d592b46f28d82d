#include "crashreport/report/BugReportReader.h"

namespace vm {

namespace {

constexpr std::string_view kFirstLabel = "date/time";
constexpr std::string_view kBoundary = "\r\ndate/time";
constexpr std::string_view kReportGap = "\r\n\r\n";

}  // namespace

std::vector<size_t> ReportStarts(std::string_view file) {
  std::vector<size_t> starts;
  if (file.substr(0, kFirstLabel.size()) == kFirstLabel) starts.push_back(0);
  for (size_t at = file.find(kBoundary); at != std::string_view::npos; at = file.find(kBoundary, at + 2))
    starts.push_back(at + 2);
  return starts;
}

std::vector<std::string_view> SplitBugReportFile(std::string_view file) {
  std::vector<size_t> starts = ReportStarts(file);
  std::vector<std::string_view> reports;
  for (size_t i = 0; i < starts.size(); ++i) {
    size_t end = i + 1 < starts.size() ? starts[i + 1] - 2 : file.size();
    std::string_view report = file.substr(starts[i], end - starts[i]);
    // The gap between reports is two line breaks; the one in front of the boundary is gone.
    if (i + 1 < starts.size() && report.size() >= 2 && report.substr(report.size() - 2) == "\r\n")
      report.remove_suffix(2);
    else if (report.size() >= kReportGap.size() && report.substr(report.size() - kReportGap.size()) == kReportGap)
      report.remove_suffix(kReportGap.size());
    reports.push_back(report);
  }
  return reports;
}

namespace {

// The line at `start` (without its break) and where the next one starts.
std::string_view LineAt(std::string_view text, size_t start, size_t& next) {
  size_t end = text.find_first_of("\r\n", start);
  if (end == std::string_view::npos) end = text.size();
  next = end + (end >= text.size() ? 0 : text.substr(end, 2) == "\r\n" ? 2 : 1);
  return text.substr(start, end - start);
}

}  // namespace

TReportHeader ParseReportHeader(std::string_view report) {
  TReportHeader header;
  size_t start = 0;
  while (start < report.size()) {
    size_t end = report.find_first_of("\r\n", start);
    if (end == std::string_view::npos) end = report.size();
    std::string_view line = report.substr(start, end - start);
    if (line.empty()) break;
    size_t colon = line.find(": ");
    std::string_view name = line.substr(0, colon);
    while (!name.empty() && name.back() == ' ') name.remove_suffix(1);
    std::string_view value = colon == std::string_view::npos ? std::string_view() : line.substr(colon + 2);
    header.push_back({std::string(name), std::string(value)});
    start = end + (report.substr(end, 2) == "\r\n" ? 2 : 1);
  }
  return header;
}

std::vector<TReportSection> ParseReportSections(std::string_view report) {
  std::vector<TReportSection> sections;
  size_t at = 0, next = 0;
  while (at < report.size() && !LineAt(report, at, next).empty()) at = next;  // the header
  TReportSection* open = nullptr;
  while (at < report.size()) {
    std::string_view line = LineAt(report, at, next);
    at = next;
    if (line.empty()) {
      open = nullptr;
    } else if (!open) {
      open = &sections.emplace_back(TReportSection{std::string(line), {}});
    } else {
      if (!open->Content.empty()) open->Content += "\r\n";
      open->Content += line;
    }
  }
  return sections;
}

std::string HeaderValue(const TReportHeader& header, std::string_view name) {
  for (const TReportHeaderLine& line : header)
    if (line.Name == name) return line.Value;
  return {};
}

bool HasHeaderLine(const TReportHeader& header, std::string_view name) {
  for (const TReportHeaderLine& line : header)
    if (line.Name == name) return true;
  return false;
}

}  // namespace vm

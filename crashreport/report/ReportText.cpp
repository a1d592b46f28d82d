#include "crashreport/report/ReportText.h"

#include <algorithm>

namespace vm {

namespace {

// A header value stays on its one line: breaks become blanks.
std::string OneLine(const std::string& value) {
  std::string text;
  for (size_t i = 0; i < value.size(); ++i) {
    if (value[i] == '\r' && i + 1 < value.size() && value[i + 1] == '\n') continue;
    text += (value[i] == '\r' || value[i] == '\n') ? ' ' : value[i];
  }
  return text;
}

void AppendContent(std::string& text, const std::string& content) {
  size_t start = 0;
  for (;;) {
    size_t end = content.find_first_of("\r\n", start);
    std::string line = content.substr(start, end == std::string::npos ? std::string::npos : end - start);
    while (!line.empty() && line.back() == ' ') line.pop_back();
    text += "\r\n";
    text += line.empty() ? "." : line;
    if (end == std::string::npos) return;
    start = end + (content.compare(end, 2, "\r\n") == 0 ? 2 : 1);
  }
}

}  // namespace

std::string ComposeReportText(const TICrashFields& header, const TICrashFields& sections) {
  size_t width = 0;
  for (int i = 0; i < header.Count(); ++i) width = std::max(width, header.Name(i).size());
  std::string text;
  for (int i = 0; i < header.Count(); ++i) {
    if (i > 0) text += "\r\n";
    text += header.Name(i);
    text.append(width + 1 - header.Name(i).size(), ' ');
    text += ": " + OneLine(header.Value(i));
  }
  for (int i = 0; i < sections.Count(); ++i) {
    const std::string& title = sections.Name(i);
    text += "\r\n\r\n" + title;
    if (title.find(':') == std::string::npos) text += ':';
    AppendContent(text, sections.Value(i));
  }
  return text;
}

}  // namespace vm

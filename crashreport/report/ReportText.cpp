#include "crashreport/report/ReportText.h"

#include <algorithm>

#include "base/Text.h"
#include "crashreport/report/ReportFormat.h"

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

std::string MinimalReportText(const TMinimalReport& facts) {
  TICrashFields header, sections;
  header.Put("date/time", FormatReportDateTime(facts.Time));
  if (!facts.Freeze) header.Put("exception class", facts.ClassName);
  if (!facts.Message.empty() && facts.Message != facts.ClassName)
    header.Put("exception message", CleanExceptionMessage(facts.Message));
  std::string lines;
  for (std::uint64_t address : facts.Addresses)
    lines += (lines.empty() ? "" : "\r\n") + FormatText("%08llx", static_cast<unsigned long long>(address));
  sections.Put(ThreadSectionTitle(facts.Thread), lines.empty() ? ">> stack not accessible" : lines);
  return ComposeReportText(header, sections);
}

std::string IncompleteReportText(std::string_view composed, std::string_view minimal, std::string_view why) {
  std::string text(composed.empty() ? minimal : composed);
  return text + "\r\n\r\n>> report incomplete: " + std::string(why);
}

}  // namespace vm

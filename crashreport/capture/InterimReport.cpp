#include "crashreport/capture/InterimReport.h"

#include <algorithm>
#include <cstdio>

namespace vm {

namespace {

std::string Hex8(std::uintptr_t v) {
  char text[24];
  std::snprintf(text, sizeof text, "%08llx", static_cast<unsigned long long>(v));
  return text;
}

std::string Padded(std::string text, std::size_t width) {
  if (text.size() < width) text.append(width - text.size(), ' ');
  return text;
}

std::string ItemLine(const TStackItem& item) {
  std::string line = Hex8(item.Address) + " " + Padded(item.Module, 16) + " " + Padded(item.Unit, 20) + " ";
  line += item.Line ? std::to_string(item.Line) : std::string();
  if (item.HasRelLine) line += " +" + std::to_string(item.RelLine);
  return Padded(line, 60) + " " + item.Function;
}

}  // namespace

std::string FormatInterimReport(const TInterimHeader& header, const TCrashFacts& facts) {
  std::string text;
  auto field = [&](const char* label, const std::string& value) {
    if (!value.empty()) text += Padded(label, 18) + ": " + value + "\r\n";
  };
  field("date/time", header.DateTime);
  field("process id", header.ProcessId);
  field("executable", header.Executable);
  field("exception class", facts.ClassName);
  if (facts.Message != facts.ClassName) field("exception message", facts.Message);
  for (const TThreadFacts& thread : facts.Threads) {
    text += "\r\n" + thread.Title + ":" + (thread.Suspended ? " <suspended>" : "");
    if (thread.Priority) text += " <priority:" + std::to_string(thread.Priority) + ">";
    text += "\r\n";
    if (!thread.StackReadable) text += ">> stack not accessible\r\n";
    for (const TStackItem& item : thread.Items)
      if (!item.Function.empty()) text += ItemLine(item) + "\r\n";
    if (thread.CreatedAt) text += ">> created by " + thread.CreatorTitle + " at:\r\n" + ItemLine(*thread.CreatedAt) + "\r\n";
  }
  return text;
}

}  // namespace vm

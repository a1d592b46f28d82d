// A report in the program's text layout, for the server's unit tests.
#pragma once

#include <string>
#include <utility>
#include <vector>

namespace vm::server::test {

using TLines = std::vector<std::pair<std::string, std::string>>;

inline TLines DefaultHeader() {
  return {{"date/time", "2026-12-10, 09:15:02, 250ms"},
          {"computer name", "OFFICE-PC"},
          {"user name", "anna"},
          {"executable", "veilmark.exe"},
          {"version", "1.0.0.7"},
          {"Zentrapix version", "3.0h"},
          {"callstack crc", "$0a1b2c3d, $4e5f6071, $8293a4b5"},
          {"exception number", "1"},
          {"exception class", "EAccessViolation"},
          {"exception message", "Access violation"}};
}

// Labels padded to one more than the longest, as the reporter writes them.
inline std::string ReportText(const TLines& header, const std::string& stack = "0040a1b2 veilmark.exe main") {
  size_t width = 0;
  for (const auto& [name, value] : header) width = std::max(width, name.size() + 1);
  std::string text;
  for (const auto& [name, value] : header) {
    if (!text.empty()) text += "\r\n";
    text += name + std::string(width - name.size(), ' ') + ": " + value;
  }
  return text + "\r\n\r\nmain thread ($1a2c):\r\n" + stack;
}

inline TLines With(TLines header, const std::string& name, const std::string& value) {
  for (auto& line : header)
    if (line.first == name) {
      line.second = value;
      return header;
    }
  header.emplace_back(name, value);
  return header;
}

inline TLines Without(TLines header, const std::string& name) {
  std::erase_if(header, [&](const auto& line) { return line.first == name; });
  return header;
}

}  // namespace vm::server::test

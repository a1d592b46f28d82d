// The mailto channel's command line: the link and its place in the shell's mailto command.
// Tests: tests/crashreport/delivery/MailChannelsTest.cpp.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace vm {

// The longest command line the system starts.
inline constexpr size_t kCommandLineLimit = 32766;

// Every byte but letters, digits and "-_.~" as "%XX" (uppercase hex).
std::string MailtoEncode(std::string_view text);
// "mailto:" recipients "?subject=" subject "&body=" report, the texts encoded.
std::string MailtoLink(const std::vector<std::string>& recipients, std::string_view subject, std::string_view report);
// `link` in place of "%1" in the shell's open command (after a blank when it has none), cut
// to `limit` characters without leaving a "%" escape split.
std::string MailtoCommandLine(std::string_view openCommand, std::string_view link, size_t limit = kCommandLineLimit);

}  // namespace vm

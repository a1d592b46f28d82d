#include "crashreport/delivery/HttpAnswer.h"

#include "base/Text.h"

namespace vm {

namespace {

using TKind = THttpVerdict::TKind;

// The second blank-separated word of a status line.
std::string StatusWord(std::string_view line) {
  size_t start = line.find(' ');
  if (start == std::string_view::npos) return {};
  start = line.find_first_not_of(' ', start);
  if (start == std::string_view::npos) return {};
  size_t end = line.find_first_of(" \r", start);
  return std::string(line.substr(start, end == std::string_view::npos ? end : end - start));
}

// The value of the first "Location: " line of a header block.
std::string LocationOf(std::string_view head) {
  size_t at = 0;
  while (at < head.size()) {
    size_t end = head.find("\r\n", at);
    std::string_view line = head.substr(at, end == std::string_view::npos ? end : end - at);
    if (StartsText("Location:", line)) return Trim(line.substr(9));
    if (end == std::string_view::npos) break;
    at = end + 2;
  }
  return {};
}

THttpVerdict Verdict(TKind kind, std::string status, std::string location = {}) {
  return {kind, std::move(status), std::move(location)};
}

}  // namespace

THttpVerdict JudgeHttpAnswer(std::string_view answer, bool complete) {
  // Interim answers may repeat; each is skipped up to its empty line.
  for (;;) {
    size_t lineEnd = answer.find("\r\n");
    if (lineEnd == std::string_view::npos)
      return complete ? Verdict(TKind::Failure, StatusWord(answer)) : THttpVerdict{};
    std::string status = StatusWord(answer.substr(0, lineEnd));
    if (status == "100") {
      size_t blank = answer.find("\r\n\r\n");
      if (blank == std::string_view::npos) return complete ? Verdict(TKind::Failure, status) : THttpVerdict{};
      answer.remove_prefix(blank + 4);
      continue;
    }
    if (status == "200") return Verdict(TKind::Success, status);
    if (status != "302") return Verdict(TKind::Failure, status);
    size_t headEnd = answer.find("\r\n\r\n");
    if (headEnd == std::string_view::npos && !complete) return THttpVerdict{};
    return Verdict(TKind::Success, status, LocationOf(answer.substr(0, headEnd)));
  }
}

THttpVerdict JudgeConnectAnswer(std::string_view answer, bool complete) {
  size_t lineEnd = answer.find("\r\n");
  if (lineEnd == std::string_view::npos) return complete ? Verdict(TKind::Failure, StatusWord(answer)) : THttpVerdict{};
  std::string status = StatusWord(answer.substr(0, lineEnd));
  if (status.size() != 3 || status[0] != '2') return Verdict(TKind::Failure, status);
  size_t headEnd = answer.find("\r\n\r\n");
  if (headEnd == std::string_view::npos) return complete ? Verdict(TKind::Failure, status) : THttpVerdict{};
  return Verdict(headEnd + 4 == answer.size() ? TKind::Success : TKind::Failure, status);
}

}  // namespace vm

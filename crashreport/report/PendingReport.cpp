#include "crashreport/report/PendingReport.h"

#include <cstdlib>

#include "base/Exception.h"
#include "base/FileIO.h"
#include "base/Text.h"
#include "crashreport/report/ReportFormat.h"

namespace vm {

namespace {

constexpr std::string_view kFirstLine = "Zentrapix pending report";
constexpr std::string_view kPrefix = "pending-", kSuffix = ".txt";

std::string StateText(bool saved, bool sent) {
  if (saved && sent) return "saved, sent";
  return saved ? "saved" : sent ? "sent" : "none";
}

// Reads "name: value\r\n" at `at`; false when the line is not exactly that.
bool ReadLine(std::string_view bytes, size_t& at, std::string_view name, std::string& value) {
  size_t end = bytes.find("\r\n", at);
  if (end == std::string_view::npos) return false;
  std::string_view line = bytes.substr(at, end - at);
  if (line.size() < name.size() + 2 || line.substr(0, name.size()) != name || line.substr(name.size(), 2) != ": ")
    return false;
  value = std::string(line.substr(name.size() + 2));
  at = end + 2;
  return true;
}

// A whole unsigned number in the given base, or nothing.
std::optional<std::uint64_t> Number(std::string_view text, int base) {
  if (text.empty() || text.size() > 20) return std::nullopt;
  std::string copy(text);
  char* end = nullptr;
  unsigned long long value = std::strtoull(copy.c_str(), &end, base);
  if (*end || copy[0] == '-' || copy[0] == '+' || copy[0] == ' ') return std::nullopt;
  return value;
}

std::optional<std::uint64_t> DollarNumber(std::string_view text) {
  if (text.empty() || text[0] != '$') return std::nullopt;
  return Number(text.substr(1), 16);
}

}  // namespace

std::string EncodePendingReport(const TPendingReport& p) {
  std::string text(kFirstLine);
  text += "\r\nprogram: " + p.Program;
  text += "\r\nprocess: " + DollarHex(p.ProcessId) + " " + std::to_string(p.ProcessStart);
  text += "\r\nbug-report file: " + p.BugReportFile;
  text += "\r\nstate: " + StateText(p.Saved, p.Sent);
  text += "\r\nreport: " + std::to_string(p.Report.size()) + " " + DollarHex(Crc32(0, p.Report));
  return text + "\r\n\r\n" + p.Report;
}

std::optional<TPendingReport> DecodePendingReport(std::string_view bytes) {
  if (bytes.substr(0, kFirstLine.size()) != kFirstLine || bytes.substr(kFirstLine.size(), 2) != "\r\n")
    return std::nullopt;
  size_t at = kFirstLine.size() + 2;
  TPendingReport p;
  std::string process, state, report;
  if (!ReadLine(bytes, at, "program", p.Program) || !ReadLine(bytes, at, "process", process) ||
      !ReadLine(bytes, at, "bug-report file", p.BugReportFile) || !ReadLine(bytes, at, "state", state) ||
      !ReadLine(bytes, at, "report", report) || bytes.substr(at, 2) != "\r\n")
    return std::nullopt;
  at += 2;
  size_t blank = process.find(' '), gap = report.find(' ');
  if (blank == std::string::npos || gap == std::string::npos) return std::nullopt;
  auto pid = DollarNumber(std::string_view(process).substr(0, blank));
  auto start = Number(std::string_view(process).substr(blank + 1), 10);
  auto length = Number(std::string_view(report).substr(0, gap), 10);
  auto crc = DollarNumber(std::string_view(report).substr(gap + 1));
  if (!pid || *pid > 0xffffffffu || !start || !length || !crc) return std::nullopt;
  if (*length != bytes.size() - at) return std::nullopt;
  p.Report = std::string(bytes.substr(at));
  if (Crc32(0, p.Report) != *crc) return std::nullopt;
  if (state == "none") {
  } else if (state == "saved")
    p.Saved = true;
  else if (state == "sent")
    p.Sent = true;
  else if (state == "saved, sent")
    p.Saved = p.Sent = true;
  else
    return std::nullopt;
  if (p.Program.empty() || p.BugReportFile.empty() || p.Report.empty()) return std::nullopt;
  p.ProcessId = std::uint32_t(*pid);
  p.ProcessStart = *start;
  return p;
}

std::string PendingFileName(std::uint32_t processId) {
  return std::string(kPrefix) + DollarHex(processId).substr(1) + std::string(kSuffix);
}

bool IsPendingFileName(std::string_view name) {
  return name.size() > kPrefix.size() + kSuffix.size() && StartsText(kPrefix, name) &&
         SameText(name.substr(name.size() - kSuffix.size()), kSuffix);
}

TPendingFold FoldPendingReport(const std::string& pendingPath, const std::string& program,
                               const std::function<bool(const TPendingReport&)>& running,
                               const TBugRepFileRules& rules) {
  std::string bytes;
  try {
    bytes = ReadFileDenyWrite(pendingPath);
  } catch (const Exception&) {
    return TPendingFold::Kept;  // being written just now, or not ours to read
  }
  std::optional<TPendingReport> pending = DecodePendingReport(bytes);
  if (pending) {
    if (!SameText(pending->Program, program) || running(*pending)) return TPendingFold::Kept;
    if (!pending->Saved && !pending->Sent &&
        SaveBugReport(pending->BugReportFile, pending->Report, rules) != TSaveResult::Saved)
      return TPendingFold::Kept;  // nothing is lost: the next start tries again
  }
  RemoveFile(pendingPath);
  return pending && !pending->Saved && !pending->Sent ? TPendingFold::Folded : TPendingFold::Removed;
}

}  // namespace vm

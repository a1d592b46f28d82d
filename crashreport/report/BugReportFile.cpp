#include "crashreport/report/BugReportFile.h"

#include <cstdlib>

#include "base/Exception.h"
#include "base/FileIO.h"
#include "crashreport/report/BugReportReader.h"

namespace vm {

namespace {

constexpr std::string_view kGap = "\r\n\r\n";
constexpr size_t kCrcTextLength = 31;  // three "$xxxxxxxx" joined by ", "

bool IsFreeze(const TReportHeader& header) { return !HasHeaderLine(header, "exception class"); }

bool SameOrigin(const TReportHeader& old, const TReportHeader& now) {
  for (const char* name : {"executable", "current module", "exception class", "version"})
    if (HeaderValue(old, name) != HeaderValue(now, name)) return false;
  if (!HasHeaderLine(old, "version"))
    for (const char* name : {"exec. date/time", "module date/time"})
      if (HeaderValue(old, name) != HeaderValue(now, name)) return false;
  return true;
}

int OldCount(const TReportHeader& old) {
  std::string text = HeaderValue(old, "count");
  long count = std::strtol(text.c_str(), nullptr, 10);
  return count >= 1 && count < 1000000000 ? int(count) : 1;
}

// The report with a "count" line after its "callstack crc" line, aligned like that line.
std::string WithCount(std::string_view report, int count) {
  size_t line = report.find("\r\ncallstack crc");
  if (line == std::string_view::npos) return std::string(report);
  line += 2;
  size_t colon = report.find(": ", line), end = report.find("\r\n", line);
  if (colon == std::string_view::npos || (end != std::string_view::npos && colon > end)) return std::string(report);
  std::string label = "count";
  label.append(colon > line + label.size() ? colon - line - label.size() : 1, ' ');
  std::string text(report.substr(0, end == std::string_view::npos ? report.size() : end));
  text += "\r\n" + label + ": " + std::to_string(count);
  if (end != std::string_view::npos) text += report.substr(end);
  return text;
}

// Merges into `file` an old report that duplicates `report`: removes it and returns the
// new report with its count; the report unchanged when there is none.
std::string MergeDuplicate(std::string& file, std::string_view report, const std::string& key) {
  const TReportHeader now = ParseReportHeader(report);
  const std::vector<size_t> starts = ReportStarts(file);
  const std::string needle = ": " + key;
  for (size_t hit = file.rfind(needle); hit != std::string::npos;
       hit = hit ? file.rfind(needle, hit - 1) : std::string::npos) {
    size_t i = starts.size();
    while (i > 0 && starts[i - 1] > hit) --i;
    if (i == 0) continue;  // in front of the first report: no report to merge with
    size_t start = starts[i - 1], end = i < starts.size() ? starts[i] : file.size();
    const TReportHeader old = ParseReportHeader(std::string_view(file).substr(start, end - start));
    if (!SameOrigin(old, now)) {
      if (start == 0) break;
      hit = start;  // the search goes on in front of this report
      continue;
    }
    std::string merged = WithCount(report, OldCount(old) + 1);
    // The report goes with the gap behind it, so the reports around it keep theirs.
    file.erase(start, end - start);
    return merged;
  }
  return std::string(report);
}

void DropOldest(std::string& file, std::uint64_t limit) {
  if (limit == 0 || file.size() <= limit) return;
  for (size_t start : ReportStarts(file))
    if (start > 0 && (file.size() - start) * 4 < limit * 3) {
      file.erase(0, start);
      return;
    }
}

}  // namespace

TBugRepFileRules BugRepFileRules(const ICrashSettings& s) {
  TBugRepFileRules rules;
  rules.AppendBugReps = s.AppendBugReps();
  rules.BugRepFileSize = s.BugRepFileSize();
  rules.NoDupExcepts = s.NoDupExcepts();
  rules.NoDupFreezes = s.NoDupFreezes();
  rules.DupExceptDef = s.DupExceptDef();
  rules.DupFreezeDef = s.DupFreezeDef();
  return rules;
}

std::string ResolveBugRepFilePath(std::string_view name, const std::string& exeFolder) {
  bool absolute = (name.size() >= 2 && name[1] == ':') || (!name.empty() && (name[0] == '\\' || name[0] == '/'));
  if (absolute || exeFolder.empty()) return std::string(name);
  char separator = exeFolder.find('\\') == std::string::npos && exeFolder.find('/') != std::string::npos ? '/' : '\\';
  std::string path = exeFolder;
  if (path.back() != '\\' && path.back() != '/') path += separator;
  return path + std::string(name);
}

std::string BugRepFilePath(const ICrashSettings& settings, const std::string& exeFolder) {
  return ResolveBugRepFilePath(settings.BugRepFile(), exeFolder);
}

std::string DuplicateKey(std::string_view report, const TBugRepFileRules& rules) {
  const TReportHeader header = ParseReportHeader(report);
  std::string crc = HeaderValue(header, "callstack crc");
  if (crc.size() != kCrcTextLength) return {};
  const bool freeze = IsFreeze(header);
  if (freeze ? !rules.NoDupFreezes : !rules.NoDupExcepts) return {};
  const int def = freeze ? rules.DupFreezeDef : rules.DupExceptDef;
  return crc.substr(0, def <= 0 ? 9 : def == 1 ? 20 : kCrcTextLength);
}

std::string MergeBugReport(std::string_view oldFile, std::string_view report, const TBugRepFileRules& rules) {
  if (!rules.AppendBugReps) return std::string(report) + std::string(kGap);
  std::string file(oldFile);
  std::string fresh(report);
  std::string key = DuplicateKey(report, rules);
  if (!file.empty() && !key.empty()) fresh = MergeDuplicate(file, report, key);
  DropOldest(file, rules.BugRepFileSize > 0 ? std::uint64_t(rules.BugRepFileSize) : 0);
  // A file whose end was edited by hand still gets its reports apart, so that the next
  // search finds this one.
  if (!file.empty() && !file.ends_with(kGap)) file += file.ends_with("\r\n") ? "\r\n" : kGap;
  return file + fresh + std::string(kGap);
}

TSaveResult SaveBugReport(const std::string& path, std::string_view report, const TBugRepFileRules& rules) {
  CreateFoldersFor(path);
  std::string old;
  if (ReadFileExclusive(path, old) == TExclusiveRead::Failed) return TSaveResult::NotOpened;
  std::string content = MergeBugReport(old, report, rules);
  try {
    ReplaceFileContents(path, content);
  } catch (const Exception&) {
    return TSaveResult::NotWritten;
  }
  return TSaveResult::Saved;
}

}  // namespace vm

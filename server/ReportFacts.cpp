// Report facts on top of the crash reporter's own report reader and duplicate key.
#include "server/ReportFacts.h"

#include <openssl/evp.h>

#include <charconv>

#include "crashreport/report/BugReportFile.h"
#include "crashreport/report/BugReportReader.h"

namespace vm::server {
std::string Sha256Hex(std::string_view bytes) {
  unsigned char md[EVP_MAX_MD_SIZE];
  unsigned int len = 0;
  EVP_Digest(bytes.data(), bytes.size(), md, &len, EVP_sha256(), nullptr);
  static const char hex[] = "0123456789abcdef";
  std::string out;
  for (unsigned i = 0; i < len; ++i) {
    out += hex[md[i] >> 4];
    out += hex[md[i] & 15];
  }
  return out;
}

namespace {

std::string Trimmed(std::string s) {
  size_t b = s.find_first_not_of(' '), e = s.find_last_not_of(' ');
  return b == std::string::npos ? std::string() : s.substr(b, e - b + 1);
}

int CountOf(const std::string& text) {
  int n = 0;
  auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), n);
  // A damaged or absurd count must not inflate a group: such a report counts once.
  if (ec != std::errc() || end != text.data() + text.size() || n < 1 || n > 1000000) return 1;
  return n;
}

}  // namespace

std::vector<std::string_view> SplitReports(std::string_view file) { return SplitBugReportFile(file); }

std::optional<TReportFacts> ReadReportFacts(std::string_view report) {
  const TReportHeader header = ParseReportHeader(report);
  auto value = [&](std::string_view name) { return Trimmed(HeaderValue(header, name)); };
  auto has = [&](std::string_view name) { return HasHeaderLine(header, name); };
  if (!has("date/time") || !has("executable") || !has("callstack crc")) return std::nullopt;

  TReportFacts f;
  f.Text = std::string(report);
  f.DateTime = value("date/time");
  f.ComputerName = value("computer name");
  f.UserName = value("user name");
  f.Executable = value("executable");
  f.CurrentModule = value("current module");
  f.Version = value("version");
  f.ExecDateTime = value("exec. date/time");
  f.ModuleDateTime = value("module date/time");
  f.CallstackCrc = value("callstack crc");
  f.ExceptionClass = value("exception class");
  f.ExceptionMessage = value("exception message");
  f.ContactName = value("contact name");
  f.ContactEmail = value("contact email");
  if (has("count")) f.Count = CountOf(value("count"));
  f.Digest = Sha256Hex(report);
  f.GroupKey = GroupKeyOf(f);
  return f;
}

std::string GroupKeyOf(const TReportFacts& f) {
  // The program's shipped rules: two checksums for exceptions, three for freezes.
  std::string key = DuplicateKey(f.Text, TBugRepFileRules{});
  if (key.empty()) return "single\n" + f.Digest;
  // Schema 2 cut the keys stored before it down to this form (SqliteReportStore.cpp).
  for (const std::string* part : {&f.Executable, &f.CurrentModule, &f.ExceptionClass}) key += "\n" + *part;
  return key;
}

}  // namespace vm::server

#include "about/UpdateRules.h"

#include <algorithm>
#include <array>
#include <string_view>

#include "base/Text.h"

namespace vm {

namespace {

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

std::vector<std::string> DottedParts(const std::string& version) {
  std::vector<std::string> parts;
  size_t start = 0;
  for (;;) {
    size_t dot = version.find('.', start);
    parts.push_back(version.substr(start, dot - start));
    if (dot == std::string::npos) return parts;
    start = dot + 1;
  }
}

// Two runs of digits as numbers of any length: leading zeros dropped, then the longer is
// the larger, and equal lengths compare digit by digit.
int CompareNumbers(const std::string& a, const std::string& b) {
  auto significant = [](const std::string& s) { return s.substr(std::min(s.find_first_not_of('0'), s.size())); };
  const std::string x = significant(a), y = significant(b);
  if (x.size() != y.size()) return x.size() < y.size() ? -1 : 1;
  return x.compare(y) < 0 ? -1 : x.compare(y) > 0 ? 1 : 0;
}

// "YYYY-MM-DD", optionally followed by "Thh:mm:ssZ": forms whose text order is their time order.
bool IsPublishedDate(const std::string& text) {
  static const std::string kDate = "9999-99-99", kStamp = "9999-99-99T99:99:99Z";
  if (text.size() != kDate.size() && text.size() != kStamp.size()) return false;
  for (size_t i = 0; i < text.size(); ++i)
    if (kStamp[i] == '9' ? !IsDigit(text[i]) : text[i] != kStamp[i]) return false;
  return true;
}

bool IsWholeNumber(const std::string& text, std::uint64_t& value) {
  // Up to 15 digits: no release comes near a petabyte, and no overflow can come of it.
  if (text.empty() || text.size() > 15 || !std::all_of(text.begin(), text.end(), IsDigit)) return false;
  value = std::stoull(text);
  return true;
}

std::string Extension(const std::string& fileName) {
  size_t dot = fileName.rfind('.');
  return dot == std::string::npos ? std::string() : LowerCase(fileName.substr(dot + 1));
}

}  // namespace

bool IsDottedNumber(const std::string& version) {
  for (const std::string& part : DottedParts(version))
    if (part.empty() || !std::all_of(part.begin(), part.end(), IsDigit)) return false;
  return true;
}

int CompareVersions(const std::string& a, const std::string& b, const TTextOrder& textOrder) {
  if (!IsDottedNumber(a) || !IsDottedNumber(b)) return textOrder(a, b);
  std::vector<std::string> x = DottedParts(a), y = DottedParts(b);
  x.resize(std::max(x.size(), y.size()), "0");
  y.resize(x.size(), "0");
  for (size_t i = 0; i < x.size(); ++i)
    if (int order = CompareNumbers(x[i], y[i])) return order;
  return 0;
}

bool SplitSignedText(const std::string& file, TSignedText& parts) {
  // At most one line break (CR LF, LF or CR) may follow the signature.
  size_t end = file.size();
  if (end >= 2 && file.compare(end - 2, 2, "\r\n") == 0)
    end -= 2;
  else if (end >= 1 && (file[end - 1] == '\n' || file[end - 1] == '\r'))
    end -= 1;
  size_t lineStart = end == 0 ? std::string::npos : file.find_last_of("\r\n", end - 1);
  lineStart = lineStart == std::string::npos ? 0 : lineStart + 1;
  const std::string line = file.substr(lineStart, end - lineStart);
  const std::string key = std::string(kFileSignatureKey) + "=";
  if (line.size() < key.size() || !SameText(line.substr(0, key.size()), key)) return false;
  parts.Body = file.substr(0, lineStart);
  parts.SignatureHex = line.substr(key.size());
  return true;
}

bool HexToBytes(const std::string& hex, std::string& bytes) {
  auto digit = [](char c) -> int {
    if (IsDigit(c)) return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
  };
  if (hex.empty() || hex.size() % 2) return false;
  std::string out;
  for (size_t i = 0; i < hex.size(); i += 2) {
    int hi = digit(hex[i]), lo = digit(hex[i + 1]);
    if (hi < 0 || lo < 0) return false;
    out += char(hi * 16 + lo);
  }
  bytes = std::move(out);
  return true;
}

bool SignedByAnyKey(const TUpdateJudge& judge, const std::string& data, const std::string& signatureHex) {
  return std::any_of(judge.Keys.begin(), judge.Keys.end(),
                     [&](const std::string& key) { return !key.empty() && judge.Verify(data, signatureHex, key); });
}

TUpdateTrust JudgeUpdateFile(const std::string& file, const TUpdateJudge& judge, TStringList& info) {
  if (std::all_of(judge.Keys.begin(), judge.Keys.end(), [](const std::string& k) { return k.empty(); }))
    return TUpdateTrust::NoKey;
  TSignedText parts;
  if (!SplitSignedText(file, parts)) return TUpdateTrust::Unsigned;
  if (!SignedByAnyKey(judge, parts.Body, parts.SignatureHex)) return TUpdateTrust::BadSignature;
  TStringList lines;
  lines.SetText(parts.Body);
  if (!SameText(lines.Values("Product"), judge.Product) || judge.Product.empty()) return TUpdateTrust::OtherProduct;
  const std::string published = lines.Values("Published");
  if (!IsPublishedDate(published)) return TUpdateTrust::Undated;
  if (CompareVersions(lines.Values("CurrentVersion"), judge.Mark.Version, judge.TextOrder) < 0 ||
      published < judge.Mark.Published)
    return TUpdateTrust::Older;
  TReleaseFacts facts;
  if (lines.IndexOfName("URL") >= 0 && !ReadReleaseFacts(lines, facts)) return TUpdateTrust::NoReleaseFacts;
  info.Assign(lines);
  return TUpdateTrust::Trusted;
}

TUpdateMark RaiseMark(const TUpdateMark& mark, const TStringList& info, const TTextOrder& textOrder) {
  TUpdateMark raised = mark;
  const std::string version = info.Values("CurrentVersion"), published = info.Values("Published");
  if (CompareVersions(version, mark.Version, textOrder) > 0) raised.Version = version;
  if (published > mark.Published) raised.Published = published;
  return raised;
}

TStringList MarkToStrings(const TUpdateMark& mark) {
  return {"CurrentVersion=" + mark.Version, "Published=" + mark.Published};
}

TUpdateMark MarkFromStrings(const TStringList& lines) {
  return {lines.Values("CurrentVersion"), lines.Values("Published")};
}

bool ReadReleaseFacts(const TStringList& info, TReleaseFacts& facts) {
  const std::string sha = info.Values("SHA256");
  std::string digest;
  if (sha.size() != 64 || !HexToBytes(sha, digest)) return false;
  if (!IsWholeNumber(info.Values("Size"), facts.Size)) return false;
  facts.Sha256 = LowerCase(sha);
  return true;
}

bool IsSignedRelease(const TReleaseFacts& facts, std::uint64_t size, const std::string& sha256) {
  return size == facts.Size && facts.Sha256.size() == 64 && LowerCase(sha256) == facts.Sha256;
}

std::string ReleaseFileName(const std::string& url) {
  size_t slash = url.rfind('/');
  return slash == std::string::npos ? url : url.substr(slash + 1);
}

bool IsPlainFileName(const std::string& name) {
  if (name.empty() || name.back() == '.' || name.back() == ' ') return false;
  for (unsigned char c : name)
    if (c < 32 || std::string_view("<>:\"/\\|?*").find(char(c)) != std::string_view::npos) return false;
  // Device names open the device, with any extension.
  static const std::array<const char*, 4> kDevices = {"con", "prn", "aux", "nul"};
  const std::string stem = LowerCase(name.substr(0, name.find('.')));
  if (std::find(kDevices.begin(), kDevices.end(), stem) != kDevices.end()) return false;
  if (stem.size() == 4 && (stem.compare(0, 3, "com") == 0 || stem.compare(0, 3, "lpt") == 0) && stem[3] >= '1' &&
      stem[3] <= '9')
    return false;
  return true;
}

bool IsProgramName(const std::string& fileName) {
  // Every type that opening through the shell runs as code or as an installer.
  static const std::array<const char*, 19> kPrograms = {"exe", "com", "scr", "pif", "bat", "cmd", "ps1",
                                                        "msi", "msp", "vbs", "vbe", "js",  "jse", "wsf",
                                                        "wsh", "hta", "cpl", "lnk", "jar"};
  const std::string extension = Extension(fileName);
  return std::find(kPrograms.begin(), kPrograms.end(), extension) != kPrograms.end();
}

}  // namespace vm

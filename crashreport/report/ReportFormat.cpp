#include "crashreport/report/ReportFormat.h"

#include <algorithm>
#include <array>

#include "base/Text.h"

namespace vm {

std::string FormatReportDateTime(const TLocalTime& t) {
  return FormatText("%04d-%02d-%02d, %02d:%02d:%02d, %dms", t.Year, t.Month, t.Day, t.Hour, t.Minute, t.Second,
                    t.Millisecond);
}

std::string FormatExecDateTime(const TLocalTime& t) {
  return FormatText("%04d-%02d-%02d %02d:%02d\r\n", t.Year, t.Month, t.Day, t.Hour, t.Minute);
}

std::string FormatDuration(std::uint64_t milliseconds) {
  static const char* const kUnits[] = {"day", "hour", "minute", "second"};
  std::uint64_t seconds = milliseconds / 1000;
  const std::uint64_t amounts[] = {seconds / 86400, seconds / 3600 % 24, seconds / 60 % 60, seconds % 60};
  std::string text;
  int written = 0;
  for (int i = 0; i < 4 && written < 2; ++i) {
    if (amounts[i] == 0) continue;
    text +=
        FormatText("%llu %s%s ", static_cast<unsigned long long>(amounts[i]), kUnits[i], amounts[i] == 1 ? "" : "s");
    ++written;
  }
  // An empty row would read as a fact that could not be gathered.
  return text.empty() ? "0 seconds " : text;
}

std::string FormatProgramUpTime(std::uint64_t milliseconds) {
  if (milliseconds < 1000) return FormatText("%llu milliseconds", static_cast<unsigned long long>(milliseconds));
  return FormatDuration(milliseconds);
}

std::string FormatSize(std::uint64_t bytes, char decimalSeparator) {
  if (bytes < 1024) return FormatText("%llu Bytes", static_cast<unsigned long long>(bytes));
  static const char* const kUnits[] = {"KB", "MB", "GB"};
  double value = double(bytes) / 1024;
  int unit = 0;
  for (std::uint64_t limit = std::uint64_t(1) << 20; unit < 2 && bytes >= limit; limit <<= 10, ++unit) value /= 1024;
  std::string text = FormatText("%.2f %s", value, kUnits[unit]);
  std::replace(text.begin(), text.end(), '.', decimalSeparator);
  return text;
}

std::string CleanExceptionMessage(std::string_view message) {
  std::string text;
  for (char c : message) {
    if (c == '\r' || c == '\n') c = ' ';
    if (c == ' ' && !text.empty() && text.back() == ' ') continue;
    text += c;
  }
  return text;
}

std::string DollarHex(std::uint64_t value) { return FormatText("$%llx", static_cast<unsigned long long>(value)); }

std::string CompilerText() {
#if defined(__clang__)
  std::string name = "Clang " __clang_version__;
#elif defined(__GNUC__)
  // The compiler's own version text: distributions name their builds in it ("12-posix").
  std::string name = std::string("GCC ") + __VERSION__;
#elif defined(_MSC_VER)
  std::string name = FormatText("Microsoft C++ %d", _MSC_VER);
#else
  std::string name = "C++ compiler";
#endif
#if defined(__MINGW64_VERSION_MAJOR)
  name = FormatText("MinGW-w64 %d.%d ", __MINGW64_VERSION_MAJOR, __MINGW64_VERSION_MINOR) + name;
#endif
  return Trim(name) + FormatText(" (C++%ld)", (__cplusplus / 100) % 100);
}

std::string ThreadTitle(std::uint32_t id, std::string_view name, std::string_view className) {
  if (!name.empty()) return std::string(name) + " (" + DollarHex(id) + ")";
  std::string title = "thread " + DollarHex(id);
  if (!className.empty()) title += " (" + std::string(className) + ")";
  return title;
}

std::string ThreadSectionTitle(const TThreadRecord& thread) {
  std::string title = ThreadTitle(thread.Id, thread.Name, thread.ClassName) + ":";
  if (thread.Suspended) title += " <suspended>";
  if (thread.Priority != 0) title += FormatText(" <priority:%d>", thread.Priority);
  return title;
}

bool IsHiddenThreadName(std::string_view name) {
  return name == "-" || name == "AntiFreezeThread" || name == "HandleExceptionThread";
}

bool IsKeptStackItem(const TStackItem& item, const TStackLineOptions& options) {
  return !item.Function.empty() && !(options.HideUglyItems && item.Line == 0);
}

namespace {

std::string PadRight(std::string text, size_t width) {
  if (text.size() < width) text.append(width - text.size(), ' ');
  return text;
}

std::string PadLeft(const std::string& text, size_t width) {
  return text.size() < width ? std::string(width - text.size(), ' ') + text : text;
}

std::string ModuleName(const TStackItem& item) { return item.Module.empty() ? "???" : item.Module; }

bool ShowsRelLine(const TStackItem& item, const TStackLineOptions& options) {
  return options.ShowRelLines && item.Line != 0 && item.RelLine >= 0;
}

// Column 5 (the plain line beside a relative one) and column 6 (relative or plain line).
std::string LineColumn(const TStackItem& item, const TStackLineOptions& options) {
  return ShowsRelLine(item, options) ? std::to_string(item.Line) : std::string();
}
std::string RelLineColumn(const TStackItem& item, const TStackLineOptions& options) {
  if (item.Line == 0) return {};
  return ShowsRelLine(item, options) ? "+" + std::to_string(item.RelLine) : std::to_string(item.Line);
}

}  // namespace

std::vector<std::string> FormatStackLines(const std::vector<TStackItem>& items, const TStackLineOptions& options) {
  size_t offsetWidth = 1, moduleWidth = 0, unitWidth = 0, lineWidth = 0, relWidth = 0;
  for (const TStackItem& item : items) {
    offsetWidth = std::max(offsetWidth, FormatText("%x", unsigned(item.RelAddr)).size());
    moduleWidth = std::max(moduleWidth, ModuleName(item).size());
    unitWidth = std::max(unitWidth, item.Unit.size());
    lineWidth = std::max(lineWidth, LineColumn(item, options).size());
    relWidth = std::max(relWidth, RelLineColumn(item, options).size());
  }
  std::vector<std::string> lines;
  for (const TStackItem& item : items) {
    // A 64-bit address keeps all its digits; a 32-bit one always shows eight.
    std::string line = FormatText("%08llx ", static_cast<unsigned long long>(item.Address));
    if (options.ShowRelAddrs) line += FormatText("+%0*x ", int(offsetWidth), unsigned(item.RelAddr));
    line += PadRight(ModuleName(item), moduleWidth + 1);
    line += PadRight(item.Unit, unitWidth + 1);
    if (lineWidth > 0) line += PadLeft(LineColumn(item, options), lineWidth + 1);
    if (relWidth > 0) line += PadLeft(RelLineColumn(item, options), relWidth + 1);
    line += " " + item.Function;
    lines.push_back(std::move(line));
  }
  return lines;
}

std::string InternalErrorContent(std::string_view step, const std::vector<TStackItem>& ownStack,
                                 const TStackItem* location, const TStackLineOptions& options) {
  std::string text = ">> internal error in " + std::string(step) + ":";
  for (const std::string& line : FormatStackLines(ownStack, options)) text += "\r\n" + line;
  if (location) text += "\r\n>> original exception location: \r\n" + FormatStackLines({*location}, options).at(0);
  return text;
}

namespace {

constexpr std::array<std::uint32_t, 256> MakeCrcTable() {
  std::array<std::uint32_t, 256> table{};
  for (std::uint32_t n = 0; n < 256; ++n) {
    std::uint32_t c = n;
    for (int k = 0; k < 8; ++k) c = (c & 1) ? 0xEDB88320u ^ (c >> 1) : c >> 1;
    table[n] = c;
  }
  return table;
}
constexpr std::array<std::uint32_t, 256> kCrcTable = MakeCrcTable();

std::uint32_t Crc32Value(std::uint32_t crc, std::uint32_t value) {
  const char bytes[4] = {char(value), char(value >> 8), char(value >> 16), char(value >> 24)};
  return Crc32(crc, std::string_view(bytes, 4));
}

}  // namespace

std::uint32_t Crc32(std::uint32_t crc, std::string_view bytes) {
  crc = ~crc;
  for (unsigned char b : bytes) crc = kCrcTable[(crc ^ b) & 0xFF] ^ (crc >> 8);
  return ~crc;
}

std::uint32_t StackItemCrc(const TStackItem& item) {
  if (item.Function.empty()) return std::uint32_t(item.Address);
  std::uint32_t crc = Crc32(item.RelAddr, LowerCase(item.Module));
  crc = Crc32(crc, LowerCase(item.Unit));
  return Crc32(crc, LowerCase(item.Function));
}

namespace {

std::uint32_t ThreadCrc(const std::vector<TStackItem>& items) {
  if (items.empty()) return 0;
  std::uint32_t crc = StackItemCrc(items[0]);
  for (size_t i = 1; i < items.size(); ++i) crc = Crc32Value(crc, StackItemCrc(items[i]));
  return crc;
}

}  // namespace

TCallstackChecksums ComputeCallstackChecksums(const std::vector<TStackItem>& crashed,
                                              const std::vector<std::vector<TStackItem>>& others) {
  TCallstackChecksums sums;
  if (!crashed.empty()) sums.Crc[0] = StackItemCrc(crashed[0]);
  sums.Crc[1] = ThreadCrc(crashed);
  sums.Crc[2] = sums.Crc[1];
  for (const auto& items : others) {
    bool hasLines = std::any_of(items.begin(), items.end(), [](const TStackItem& i) { return i.Line != 0; });
    if (hasLines) sums.Crc[2] = Crc32Value(sums.Crc[2], ThreadCrc(items));
  }
  return sums;
}

std::string CallstackCrcText(const TCallstackChecksums& sums) {
  return FormatText("$%08x, $%08x, $%08x", unsigned(sums.Crc[0]), unsigned(sums.Crc[1]), unsigned(sums.Crc[2]));
}

}  // namespace vm

#include "crashreport/dialog/DetailsTabs.h"

#include <algorithm>
#include <cctype>

#include "crashreport/report/BugReportReader.h"

namespace vm {

namespace {

using TRow = std::vector<std::string>;

std::vector<std::string_view> Lines(std::string_view text) {
  std::vector<std::string_view> lines;
  size_t start = 0;
  while (start <= text.size()) {
    size_t end = text.find_first_of("\r\n", start);
    if (end == std::string_view::npos) end = text.size();
    lines.push_back(text.substr(start, end - start));
    if (end >= text.size()) break;
    start = end + (text.substr(end, 2) == "\r\n" ? 2 : 1);
  }
  return lines;
}

bool StartsWith(std::string_view text, std::string_view prefix) { return text.substr(0, prefix.size()) == prefix; }

bool AllOf(std::string_view text, int (*test)(int)) {
  return !text.empty() && std::all_of(text.begin(), text.end(), [&](char c) { return test((unsigned char)c) != 0; });
}
bool IsHex(std::string_view text) { return AllOf(text, isxdigit); }
bool IsNumber(std::string_view text) { return AllOf(text, isdigit); }

size_t SkipBlanks(std::string_view line, size_t at) {
  while (at < line.size() && line[at] == ' ') ++at;
  return at;
}
size_t TokenEnd(std::string_view line, size_t at) {
  while (at < line.size() && line[at] != ' ') ++at;
  return at;
}

// ---- thread sections ----

std::string_view WithoutSuffix(std::string_view text, std::string_view suffix) {
  return text.size() >= suffix.size() && text.substr(text.size() - suffix.size()) == suffix
             ? text.substr(0, text.size() - suffix.size())
             : text;
}

// "main thread ($1a2c):", "thread $2b10 (TUpdateThread):", "thread $3c04: <suspended> <priority:2>"
bool IsThreadTitle(std::string_view title) {
  if (title.size() > 1 && title.back() == '>') {
    size_t open = title.rfind(" <priority:");
    if (open != std::string_view::npos) title = title.substr(0, open);
  }
  title = WithoutSuffix(title, " <suspended>");
  if (title.empty() || title.back() != ':') return false;
  title.remove_suffix(1);
  if (StartsWith(title, "thread $")) {
    std::string_view rest = title.substr(8);
    size_t end = rest.find(' ');
    return IsHex(rest.substr(0, end)) && (end == std::string_view::npos || StartsWith(rest.substr(end), " ("));
  }
  size_t open = title.rfind(" ($");
  return open != std::string_view::npos && title.back() == ')' && open > 0 &&
         IsHex(title.substr(open + 3, title.size() - open - 4));
}

// ---- stack lines ----

// A stack line's cells: address, relative address, module, unit, line, relative line,
// function. Everything in front of the function is padded to the same widths across the
// lines of one listing, so the unit column starts at the same distance from the module on
// each of them: `unitOffset` (64-bit addresses differ in length, so the module's column
// may not). Function names may hold blanks; the function is the rest of the line.
struct TStackPrefix {
  size_t ModuleStart = 0, ModuleEnd = 0;
  TRow Cells;
};

bool ReadStackPrefix(std::string_view line, TStackPrefix& out) {
  size_t end = TokenEnd(line, 0);
  std::string_view address = line.substr(0, end);
  if (address.size() < 8 || address.size() > 16 || !IsHex(address)) return false;
  TRow cells(7);
  cells[0] = address;
  size_t at = SkipBlanks(line, end);
  if (at < line.size() && line[at] == '+') {
    end = TokenEnd(line, at);
    if (!IsHex(line.substr(at + 1, end - at - 1))) return false;
    cells[1] = line.substr(at, end - at);
    at = SkipBlanks(line, end);
  }
  end = TokenEnd(line, at);
  if (end == at || end >= line.size()) return false;  // a module, then a function
  cells[2] = line.substr(at, end - at);
  out = {at, end, std::move(cells)};
  return true;
}

TRow ReadStackLine(std::string_view line, TStackPrefix prefix, size_t unitOffset) {
  TRow cells = std::move(prefix.Cells);
  size_t at = SkipBlanks(line, prefix.ModuleEnd);
  if (at == prefix.ModuleStart + unitOffset && at < line.size()) {
    size_t end = TokenEnd(line, at);
    cells[3] = line.substr(at, end - at);
    at = SkipBlanks(line, end);
  }
  // Then up to two numbers: the line and its distance from the function's start, or the
  // line alone.
  std::vector<std::string_view> numbers;
  while (numbers.size() < 2 && at < line.size()) {
    size_t end = TokenEnd(line, at);
    std::string_view token = line.substr(at, end - at);
    if (!IsNumber(token) && !(token.size() > 1 && token[0] == '+' && IsNumber(token.substr(1)))) break;
    if (end >= line.size()) break;  // the function is never missing
    numbers.push_back(token);
    at = SkipBlanks(line, end);
  }
  if (!numbers.empty()) cells[4] = numbers[0];
  if (numbers.size() == 2) cells[5] = numbers[1];
  cells[6] = line.substr(at);
  return cells;
}

bool IsRemark(std::string_view line) { return StartsWith(line, ">>"); }

// The lines of a call-stack text as rows: a remark (">> " lines: thread titles, "created
// by", "stack not accessible") is a row of one cell across the list, an empty line an
// empty one. False when any other line is not a stack line.
bool ReadStackRows(const std::vector<std::string_view>& lines, std::vector<TRow>& rows) {
  std::vector<TStackPrefix> prefixes(lines.size());
  for (size_t i = 0; i < lines.size(); ++i)
    if (!lines[i].empty() && !IsRemark(lines[i]) && !ReadStackPrefix(lines[i], prefixes[i])) return false;
  // One listing runs up to the next remark, except "created by": the creator's line is
  // formatted with the thread's own lines.
  for (size_t first = 0; first < lines.size();) {
    size_t last = first, unitOffset = 0;
    auto joins = [&](size_t i) {
      return !lines[i].empty() && (!IsRemark(lines[i]) || StartsWith(lines[i], ">> created by "));
    };
    while (last < lines.size() && (last == first || joins(last))) ++last;
    for (size_t i = first; i < last; ++i)
      if (!lines[i].empty() && !IsRemark(lines[i]))
        unitOffset = std::max(unitOffset, prefixes[i].ModuleEnd - prefixes[i].ModuleStart + 1);
    for (size_t i = first; i < last; ++i) {
      if (lines[i].empty() || IsRemark(lines[i]))
        rows.push_back({std::string(lines[i])});
      else
        rows.push_back(ReadStackLine(lines[i], prefixes[i], unitOffset));
    }
    first = last;
  }
  return true;
}

// ---- columns of their own (modules, processes, stack dump, disassembly) ----

// Each of these lists starts its lines with an address, a handle or an id.
bool IsNumberCell(std::string_view cell) {
  if (!cell.empty() && cell[0] == '$') cell.remove_prefix(1);
  return IsHex(cell);
}

// Splits lines at the places where a column starts on every line: a blank in front of it
// on every line and text on at least one. The first `count - 1` such places cut the
// columns; the last column is the rest of the line (instructions, paths hold blanks).
bool ReadLinedUpRows(const std::vector<std::string_view>& lines, size_t count, std::vector<TRow>& rows) {
  size_t width = 0;
  for (std::string_view line : lines) width = std::max(width, line.size());
  auto blankAt = [&](size_t p) {
    return std::all_of(lines.begin(), lines.end(), [&](std::string_view l) { return p >= l.size() || l[p] == ' '; });
  };
  std::vector<size_t> cuts;
  for (size_t p = 1; p < width && cuts.size() + 1 < count; ++p)
    if (blankAt(p - 1) && !blankAt(p)) cuts.push_back(p);
  if (cuts.size() + 1 != count) return false;
  for (std::string_view line : lines) {
    if (line.empty() || line[0] == ' ') return false;  // every row has its first cell
    TRow row;
    size_t from = 0;
    for (size_t i = 0; i <= cuts.size(); ++i) {
      size_t to = i < cuts.size() ? std::min(cuts[i], line.size()) : line.size();
      std::string_view cell = from < line.size() ? line.substr(from, to - from) : std::string_view();
      while (!cell.empty() && cell.back() == ' ') cell.remove_suffix(1);
      while (!cell.empty() && cell.front() == ' ') cell.remove_prefix(1);
      row.emplace_back(cell);
      from = to;
    }
    if (!IsNumberCell(row[0])) return false;
    rows.push_back(std::move(row));
  }
  return true;
}

// Lines that do not line up: the first `count - 1` words, then the rest of the line.
bool ReadWordRows(const std::vector<std::string_view>& lines, size_t count, std::vector<TRow>& rows) {
  for (std::string_view line : lines) {
    TRow row;
    size_t at = SkipBlanks(line, 0);
    while (row.size() + 1 < count && at < line.size()) {
      size_t end = TokenEnd(line, at);
      row.emplace_back(line.substr(at, end - at));
      at = SkipBlanks(line, end);
    }
    if (at >= line.size() || !IsNumberCell(row.empty() ? std::string_view() : std::string_view(row[0]))) return false;
    row.emplace_back(line.substr(at));
    rows.push_back(std::move(row));
  }
  return true;
}

bool ReadColumnRows(const std::vector<std::string_view>& lines, size_t count, std::vector<TRow>& rows) {
  if (ReadLinedUpRows(lines, count, rows)) return true;
  rows.clear();
  if (ReadWordRows(lines, count, rows)) return true;
  rows.clear();
  return false;
}

// Registers come as pairs on a line: "EAX=00000000 EBX=0012ff40" or "eax = 00000000 ...".
bool ReadRegisterRows(const std::vector<std::string_view>& lines, std::vector<TRow>& rows) {
  for (std::string_view line : lines) {
    std::string flat;
    for (size_t i = 0; i < line.size(); ++i) {  // "name = value" to "name=value"
      if (line[i] == ' ' && (SkipBlanks(line, i) < line.size() && line[SkipBlanks(line, i)] == '=')) continue;
      if (line[i] == ' ' && !flat.empty() && flat.back() == '=') continue;
      flat += line[i];
    }
    std::string_view rest = flat;
    size_t at = SkipBlanks(rest, 0);
    if (at >= rest.size()) return false;
    while (at < rest.size()) {
      size_t end = TokenEnd(rest, at);
      std::string_view pair = rest.substr(at, end - at);
      size_t eq = pair.find('=');
      if (eq == 0 || eq == std::string_view::npos || eq + 1 == pair.size()) return false;
      rows.push_back({std::string(pair.substr(0, eq)), std::string(pair.substr(eq + 1))});
      at = SkipBlanks(rest, end);
    }
  }
  return true;
}

struct TSectionKind {
  std::string_view Title;
  std::vector<std::string> Columns;
  bool Registers;
};

const std::vector<TSectionKind>& SectionKinds() {
  static const std::vector<TSectionKind> kinds = {
      {"modules", {"handle", "size", "version", "file"}, false},
      {"processes", {"id", "memory", "priority", "file"}, false},
      {"cpu registers", {"register", "value"}, true},
      {"stack dump", {"address", "values", "characters"}, false},
      {"disassembling", {"address", "code", "instruction"}, false},
  };
  return kinds;
}

const std::vector<std::string>& StackColumns() {
  static const std::vector<std::string> columns = {"address", "relative address", "module",  "unit",
                                                   "line",    "relative line",    "function"};
  return columns;
}

std::string_view TitleName(std::string_view title) { return WithoutSuffix(title, ":"); }

std::string JoinCrLf(const std::vector<std::string>& lines) {
  std::string text;
  for (size_t i = 0; i < lines.size(); ++i) text += (i ? "\r\n" : "") + lines[i];
  return text;
}

TDetailsTab GeneralTab(std::string_view report) {
  TDetailsTab tab{"general", {"description", "value"}, {}, {}};
  std::vector<std::string_view> lines = Lines(report);
  std::vector<std::string> text;
  for (const TReportHeaderLine& line : ParseReportHeader(report)) {
    tab.Rows.push_back({line.Name, line.Value});
    text.emplace_back(lines.at(text.size()));  // the header reads one row per line
  }
  tab.Text = JoinCrLf(text);
  if (tab.Rows.empty()) tab.Columns.clear();
  return tab;
}

TDetailsTab CallStackTab(const std::vector<TReportSection>& sections, size_t& used) {
  used = sections.empty() ? 0 : 1;
  if (sections.size() > 1 && IsThreadTitle(sections[0].Title) && IsThreadTitle(sections[1].Title))
    while (used < sections.size() && IsThreadTitle(sections[used].Title)) ++used;
  std::vector<std::string> text;
  for (size_t i = 0; i < used; ++i) {
    if (i) text.emplace_back();
    text.push_back(">> " + sections[i].Title);
    if (!sections[i].Content.empty()) text.push_back(sections[i].Content);
  }
  TDetailsTab tab{used > 1 ? "call stacks" : "call stack", {}, {}, JoinCrLf(text)};
  std::vector<TRow> rows;
  if (!StartsWith(tab.Text, ">> will be") && ReadStackRows(Lines(tab.Text), rows) && !tab.Text.empty()) {
    tab.Columns = StackColumns();
    tab.Rows = std::move(rows);
  }
  return tab;
}

}  // namespace

std::string DetailsTabCaption(std::string_view sectionTitle) {
  std::string_view name = TitleName(sectionTitle);
  if (name == "cpu registers") return "cpu regs";
  if (name == "disassembling") return "disasm";
  return std::string(name);
}

TDetailsTab ReadSectionTable(std::string caption, std::string_view content) {
  TDetailsTab tab{std::move(caption), {}, {}, std::string(content)};
  if (content.empty() || StartsWith(content, ">> will be")) return tab;
  std::vector<std::string_view> lines = Lines(content);
  std::vector<TRow> rows;
  for (const TSectionKind& kind : SectionKinds()) {
    if (DetailsTabCaption(kind.Title) != tab.Caption) continue;
    bool read = kind.Registers ? ReadRegisterRows(lines, rows) : ReadColumnRows(lines, kind.Columns.size(), rows);
    if (read) {
      tab.Columns = kind.Columns;
      tab.Rows = std::move(rows);
    }
    return tab;
  }
  // Any other section that holds stack lines (a thread listed further down, an internal
  // error's stack) reads as a stack.
  if (ReadStackRows(lines, rows) && std::any_of(rows.begin(), rows.end(), [](const TRow& r) { return r.size() > 1; })) {
    tab.Columns = StackColumns();
    tab.Rows = std::move(rows);
  }
  return tab;
}

std::vector<TDetailsTab> DetailsTabs(std::string_view bugReport) {
  std::vector<TDetailsTab> tabs = {GeneralTab(bugReport)};
  std::vector<TReportSection> sections = ParseReportSections(bugReport);
  size_t used = 0;
  tabs.push_back(CallStackTab(sections, used));
  for (size_t i = used; i < sections.size(); ++i)
    tabs.push_back(ReadSectionTable(DetailsTabCaption(sections[i].Title), sections[i].Content));
  return tabs;
}

}  // namespace vm

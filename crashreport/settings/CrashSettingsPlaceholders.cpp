#include "crashreport/settings/CrashSettingsPlaceholders.h"

#include "base/FileIO.h"
#include "base/Text.h"

namespace vm {

namespace {

enum class TPlaceholder {
  AppName,
  ModName,
  AppVersion,
  ModVersion,
  ExceptMsg,
  BugReport,
  LF,
  Date,
  Time,
  DateTime,
  UserAppData,
  CommonAppData
};

struct TPlaceholderName {
  std::string_view Text;
  TPlaceholder Id;
};

constexpr TPlaceholderName kPlaceholders[] = {
    {"%appname%", TPlaceholder::AppName},
    {"%modname%", TPlaceholder::ModName},
    {"%appversion%", TPlaceholder::AppVersion},
    {"%modversion%", TPlaceholder::ModVersion},
    {"%exceptMsg%", TPlaceholder::ExceptMsg},
    {"%bugReport%", TPlaceholder::BugReport},
    {"%LF%", TPlaceholder::LF},
    {"%date%", TPlaceholder::Date},
    {"%time%", TPlaceholder::Time},
    {"%datetime%", TPlaceholder::DateTime},
    {"%userappdata%", TPlaceholder::UserAppData},
    {"%commonappdata%", TPlaceholder::CommonAppData},
};

std::string Replacement(const TPlaceholderName& p, const TPlaceholderValues& v) {
  switch (p.Id) {
    case TPlaceholder::AppName:
      return v.AppName;
    case TPlaceholder::ModName:
      return v.ModName;
    case TPlaceholder::AppVersion:
      return v.AppVersion;
    case TPlaceholder::ModVersion:
      return v.ModVersion;
    case TPlaceholder::ExceptMsg:
      if (!v.ExceptMsg) return std::string(p.Text);
      return v.ExceptMsg->empty() ? "Unknown" : *v.ExceptMsg;
    case TPlaceholder::BugReport:
      return v.BugReport ? *v.BugReport : std::string(p.Text);
    case TPlaceholder::LF:
      return "\r\n";
    case TPlaceholder::Date:
      return FormatPlaceholderDate(v.Now);
    case TPlaceholder::Time:
      return FormatPlaceholderTime(v.Now);
    case TPlaceholder::DateTime:
      return FormatPlaceholderDate(v.Now) + ", " + FormatPlaceholderTime(v.Now);
    case TPlaceholder::UserAppData:
      return v.UserAppData ? v.UserAppData() : std::string();
    case TPlaceholder::CommonAppData:
      return v.CommonAppData ? v.CommonAppData() : std::string();
  }
  return {};
}

const TPlaceholderName* PlaceholderAt(std::string_view rest) {
  for (const TPlaceholderName& p : kPlaceholders)
    if (StartsText(p.Text, rest)) return &p;
  return nullptr;
}

}  // namespace

std::string ExpandPlaceholders(std::string_view text, const TPlaceholderValues& values) {
  std::string out;
  out.reserve(text.size());
  size_t i = 0;
  while (i < text.size()) {
    size_t mark = text.find('%', i);
    if (mark == std::string_view::npos) break;
    out.append(text.substr(i, mark - i));
    if (const TPlaceholderName* p = PlaceholderAt(text.substr(mark))) {
      out += Replacement(*p, values);
      i = mark + p->Text.size();
    } else {
      out += '%';
      i = mark + 1;
    }
  }
  if (i < text.size()) out.append(text.substr(i));
  return out;
}

std::string FormatPlaceholderDate(const TLocalTime& t) { return FormatText("%04d-%02d-%02d", t.Year, t.Month, t.Day); }

std::string FormatPlaceholderTime(const TLocalTime& t) {
  return FormatText("%02d:%02d:%02d, %dms", t.Hour, t.Minute, t.Second, t.Millisecond);
}

std::string PlaceholderFolder(std::string shellPath, std::string_view exePath) {
  if (shellPath.empty()) {
    shellPath = FolderOf(exePath);
    if (!shellPath.empty()) shellPath.pop_back();  // the separator
  }
  while (!shellPath.empty() && shellPath.back() == '\\') shellPath.pop_back();
  return shellPath;
}

}  // namespace vm

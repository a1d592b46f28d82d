#include "base/FileIO.h"

#include <filesystem>
#include <system_error>

#include "base/AnsiText.h"
#include "base/Text.h"

namespace vm {

std::string OpenErrorText(const std::string& path, unsigned long code) {
  return FormatText("Cannot open file \"%s\". %s", path.c_str(), SysErrorMessage(code).c_str());
}

std::string CreateErrorText(const std::string& path, unsigned long code) {
  return FormatText("Cannot create file \"%s\". %s", path.c_str(), SysErrorMessage(code).c_str());
}

std::string TooLargeErrorText(const std::string& path, size_t maxBytes) {
  return FormatText("Cannot open file \"%s\". It is larger than %zu MB, too large to load", path.c_str(),
                    maxBytes >> 20);
}

std::string DisplayPath(const std::u8string& path) { return Utf8ToAnsi(path); }

namespace {

template <class Char>
std::basic_string<Char> Folder(std::basic_string_view<Char> path) {
  const Char separators[] = {Char('/'), Char('\\'), Char(0)};
  size_t at = path.find_last_of(separators);
  return std::basic_string<Char>(at == path.npos ? path.substr(0, 0) : path.substr(0, at + 1));
}

}  // namespace

std::string FolderOf(std::string_view path) { return Folder(path); }
std::u8string FolderOf(std::u8string_view path) { return Folder(path); }

std::string FileNameOf(std::string_view path) { return std::string(path.substr(Folder(path).size())); }

namespace {

// `name` is `base` + suffix + the digits of a process id.
bool IsOurs(const std::u8string& name, const std::u8string& base, const std::u8string& suffix) {
  const std::u8string prefix = base + suffix;
  if (name.size() <= prefix.size() || name.compare(0, prefix.size(), prefix) != 0) return false;
  for (size_t i = prefix.size(); i < name.size(); ++i)
    if (name[i] < u8'0' || name[i] > u8'9') return false;
  return true;
}

}  // namespace

void RemoveReplaceLeftovers(const std::u8string& path) {
  namespace fs = std::filesystem;
  const fs::path file(path);
  const std::u8string base = file.filename().u8string();
  // A backup copy holds the only copy of the file while the swap is half done: keep it then.
  const bool fileInPlace = FileExists(path);
  std::error_code ec;
  for (const fs::directory_entry& entry : fs::directory_iterator(file.parent_path(), ec)) {
    const std::u8string name = entry.path().filename().u8string();
    if (IsOurs(name, base, u8".vmnew") || (fileInPlace && IsOurs(name, base, u8".vmold"))) fs::remove(entry.path(), ec);
  }
}

}  // namespace vm

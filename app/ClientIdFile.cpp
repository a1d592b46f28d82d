#include "app/ClientIdFile.h"

#include "base/FileIO.h"
#include "base/StringList.h"
#include "regexpr/PatternEngine.h"
#include "settings/SpecialFolders.h"

namespace vm {

const char* const kClientIdExpression =
    "\"client_id\": \"([0-9A-Z]{8}-[0-9A-Z]{4}-[0-9A-Z]{4}-[0-9A-Z]{4}-[0-9A-Z]{12})\"";
const char* const kModernClientIdExpression =
    "\"client_id2\"[ \\t]*:[ \\t]*\"([0-9A-Z]{8}-[0-9A-Z]{4}-[0-9A-Z]{4}-[0-9A-Z]{4}-[0-9A-Z]{12})\"";

namespace {

// The file as the ID logic sees it: the text before the first NUL byte, in lines joined
// with CR LF, and the bytes from the NUL on, which are carried through a rewrite untouched.
struct TLocalStateText {
  std::string Lines;
  std::string Tail;
};

TLocalStateText SplitLocalState(std::string_view bytes) {
  size_t nul = bytes.find('\0');
  if (nul == std::string_view::npos) nul = bytes.size();
  return {JoinLines(SplitLines(bytes.substr(0, nul))), std::string(bytes.substr(nul))};
}

std::optional<TClientIdEntry> FindEntry(const std::string& text) {
  for (const char* expression : {kClientIdExpression, kModernClientIdExpression}) {
    TPatternEngine engine;
    engine.SetModifier(TPatternEngine::kModI, true);
    engine.SetExpression(expression);
    if (engine.Exec(text)) return TClientIdEntry{engine.GroupText(1), size_t(engine.MatchPos(1) - 1)};
  }
  return std::nullopt;
}

bool IsIdChar(char c) { return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); }

}  // namespace

std::u8string LocalStatePathIn(const std::u8string& folder) {
  std::u8string path = folder;
  if (path.empty() || path.back() != u8'\\') path += u8'\\';
  return path + u8"Google\\Chrome\\User Data\\Local State";
}

std::u8string GetLocalStatePath() { return LocalStatePathIn(GetSpecialFolderUtf8(kCsidlLocalAppData)); }

std::optional<TClientIdEntry> FindClientIdEntry(std::string_view fileBytes) {
  return FindEntry(SplitLocalState(fileBytes).Lines);
}

std::optional<std::string> FindClientIdInText(std::string_view fileBytes) {
  std::optional<TClientIdEntry> entry = FindClientIdEntry(fileBytes);
  if (!entry) return std::nullopt;
  return entry->Id;
}

std::optional<std::string> ReplaceClientIdInText(std::string_view fileBytes, const std::string& newId) {
  TLocalStateText file = SplitLocalState(fileBytes);
  std::optional<TClientIdEntry> entry = FindEntry(file.Lines);
  if (!entry) return std::nullopt;
  // The entry's own ID, where the expression found it: the same text may stand earlier
  // under another key, and that one is not Chrome's ID.
  std::string text = std::move(file.Lines);
  text.replace(entry->Offset, entry->Id.size(), newId);
  return JoinLines(SplitLines(text)) + file.Tail;
}

bool IsClientIdForm(std::string_view text) {
  static constexpr size_t kBlocks[] = {8, 4, 4, 4, 12};
  size_t at = 0;
  for (size_t block : kBlocks) {
    if (at > 0 && (at >= text.size() || text[at++] != '-')) return false;
    for (size_t i = 0; i < block; ++i, ++at)
      if (at >= text.size() || !IsIdChar(text[at])) return false;
  }
  return at == text.size();
}

bool ReadClientID(const std::u8string& path, std::string& id) {
  std::optional<std::string> found = FindClientIdInText(ReadFileDenyWrite(path, kMaxLocalStateBytes));
  if (found) id = *found;
  return found.has_value();
}

std::u8string ChromeLockFile(const std::u8string& localStatePath) { return FolderOf(localStatePath) + u8"lockfile"; }

bool ChromeIsRunning(const std::u8string& localStatePath) { return FileHeldByAnother(ChromeLockFile(localStatePath)); }

bool WrittenFileHolds(std::string_view written, std::string_view readBack, const std::string& newId) {
  if (written != readBack) return false;
  std::optional<std::string> id = FindClientIdInText(readBack);
  return id && *id == newId;
}

}  // namespace vm

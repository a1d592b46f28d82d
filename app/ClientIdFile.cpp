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

std::optional<std::string> FindClientID(const std::string& text) {
  for (const char* expression : {kClientIdExpression, kModernClientIdExpression}) {
    TPatternEngine engine;
    engine.SetModifier(TPatternEngine::kModI, true);
    engine.SetExpression(expression);
    if (engine.Exec(text)) return engine.GroupText(1);
  }
  return std::nullopt;
}

}  // namespace

std::string LocalStatePathIn(const std::string& folder) {
  std::string path = folder;
  if (path.empty() || path.back() != '\\') path += '\\';
  return path + "Google\\Chrome\\User Data\\Local State";
}

std::string GetLocalStatePath() { return LocalStatePathIn(GetSpecialFolder(kCsidlLocalAppData)); }

std::optional<std::string> FindClientIdInText(std::string_view fileBytes) {
  return FindClientID(SplitLocalState(fileBytes).Lines);
}

std::optional<std::string> ReplaceClientIdInText(std::string_view fileBytes, const std::string& newId) {
  TLocalStateText file = SplitLocalState(fileBytes);
  std::optional<std::string> oldId = FindClientID(file.Lines);
  if (!oldId) return std::nullopt;
  std::string text = std::move(file.Lines);
  text.replace(text.find(*oldId), oldId->size(), newId);
  return JoinLines(SplitLines(text)) + file.Tail;
}

bool ReadClientID(const std::string& path, std::string& id) {
  std::optional<std::string> found = FindClientIdInText(ReadFileDenyWrite(path));
  if (found) id = *found;
  return found.has_value();
}

bool WriteClientID(const std::string& path, const std::string& newId) {
  std::optional<std::string> text = ReplaceClientIdInText(ReadFileDenyWrite(path), newId);
  if (text) ReplaceFileContents(path, *text);
  return text.has_value();
}

}  // namespace vm

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

TLocalStateText ReadLocalState(const std::string& path) {
  std::string bytes = ReadFileDenyWrite(path);
  size_t nul = bytes.find('\0');
  std::string tail = nul == std::string::npos ? std::string() : bytes.substr(nul);
  bytes.resize(nul == std::string::npos ? bytes.size() : nul);
  return {JoinLines(SplitLines(bytes)), tail};
}

bool FindClientID(const std::string& text, std::string& id) {
  for (const char* expression : {kClientIdExpression, kModernClientIdExpression}) {
    TPatternEngine engine;
    engine.SetModifier(TPatternEngine::kModI, true);
    engine.SetExpression(expression);
    if (engine.Exec(text)) {
      id = engine.GroupText(1);
      return true;
    }
  }
  return false;
}

}  // namespace

std::string LocalStatePathIn(const std::string& folder) {
  std::string path = folder;
  if (path.empty() || path.back() != '\\') path += '\\';
  return path + "Google\\Chrome\\User Data\\Local State";
}

std::string GetLocalStatePath() { return LocalStatePathIn(GetSpecialFolder(kCsidlLocalAppData)); }

bool ReadClientID(const std::string& path, std::string& id) { return FindClientID(ReadLocalState(path).Lines, id); }

bool WriteClientID(const std::string& path, const std::string& newId) {
  TLocalStateText file = ReadLocalState(path);
  std::string oldId;
  if (!FindClientID(file.Lines, oldId)) return false;
  std::string text = file.Lines;
  text.replace(text.find(oldId), oldId.size(), newId);
  ReplaceFileContents(path, JoinLines(SplitLines(text)) + file.Tail);
  return true;
}

}  // namespace vm

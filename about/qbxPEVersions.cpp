// Version texts of an executable; covered by tests/about/PEVersionsTest.cpp.
#include "about/qbxPEVersions.h"

#include "about/ByteSource.h"
#include "about/PEResource.h"
#include "base/Text.h"

namespace vm {

namespace {

constexpr std::string_view kTranslatorsKey = "Translators";

}  // namespace

std::optional<TVersionBlock> LoadVersionBlock(const std::string& fileName) {
  TFileSource file(fileName);
  if (!file.IsOpen()) return std::nullopt;
  std::optional<std::string> bytes = ReadVersionResource(file);
  if (!bytes) return std::nullopt;
  TVersionBlock block(std::move(*bytes));
  if (!block.IsValid()) return std::nullopt;
  return block;
}

int GetTranslationCount(const std::string& fileName) {
  std::optional<TVersionBlock> block = LoadVersionBlock(fileName);
  return block ? int(block->Translations().size()) : 0;
}

bool GetVersionInfo(const std::string& fileName, int index, TStringList& list) {
  std::optional<TVersionBlock> block = LoadVersionBlock(fileName);
  return block && AppendVersionStrings(*block, index, list);
}

bool AppendVersionStrings(const TVersionBlock& block, int index, TStringList& list) {
  std::vector<TTranslation> translations = block.Translations();
  if (index < 0 || size_t(index) >= translations.size()) return false;
  TTranslation translation = translations[size_t(index)];
  for (std::string_view key : VersionKeys) {
    std::string line = QueryVersionString(key, block, translation);
    // An empty Translators value is left out; a value that itself ends in "=" is kept.
    if (key == kTranslatorsKey && line.size() == key.size() + 1) continue;
    list.Add(line);
  }
  return true;
}

std::string QueryVersionString(std::string_view key, const TVersionBlock& block, TTranslation translation) {
  std::optional<std::string> value = block.QueryText(VersionStringPath(key, translation));
  return std::string(key) + "=" + value.value_or(std::string());
}

std::string VersionStringPath(std::string_view key, TTranslation translation) {
  return "\\StringFileInfo\\" + IntToHex(translation.Language, 4) + IntToHex(translation.CodePage, 4) + "\\" +
         std::string(key);
}

}  // namespace vm

#include "about/AboutTexts.h"

namespace vm {

namespace {

std::string ReplaceAll(std::string text, const std::string& from, const std::string& to) {
  for (size_t at = text.find(from); at != std::string::npos; at = text.find(from, at + to.size()))
    text.replace(at, from.size(), to);
  return text;
}

}  // namespace

std::string NormaliseVersion(const std::string& version) {
  return ReplaceAll(ReplaceAll(version, ", ", "."), ",", ".");
}

TAboutTexts AboutTextsFor(const std::string& title, const TStringList& info) {
  TAboutTexts t;
  t.Version = NormaliseVersion(info.Values("ProductVersion"));
  t.Caption = "About " + (title.empty() ? info.Values("ProductName") : title);
  t.Product = info.Values("ProductName");
  t.VersionLabel = "Version " + t.Version;
  t.Description = info.Values("FileDescription") + " " + NormaliseVersion(info.Values("FileVersion"));
  t.Legal = info.Values("LegalCopyright") + "\r\n" + info.Values("LegalTrademarks");
  t.Translators.SetText(info.Values("Translators"));
  return t;
}

std::string TranslatorsMessage(const TStringList& translators) {
  std::string text;
  for (int i = 0; i < translators.Count(); ++i) {
    const std::string& line = translators[i];
    size_t eq = line.find('=');
    std::string name = eq == std::string::npos ? line : line.substr(0, eq);
    std::string value = eq == std::string::npos ? std::string() : line.substr(eq + 1);
    text += name + ": " + value + "\r\n";
  }
  return text;
}

}  // namespace vm

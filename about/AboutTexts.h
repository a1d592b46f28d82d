// The texts of the About dialog, worked out from a version-information list. Portable, so
// that the rules are tested on the host; qbxUIDlgAbout_win32 puts them on the screen.
// Tests: tests/about/AboutTextsTest.cpp.
#pragma once

#include <string>

#include "base/StringList.h"

namespace vm {

// ", " and then "," become ".": "1, 2, 0, 15" and "1,2,0,15" give "1.2.0.15".
std::string NormaliseVersion(const std::string& version);

struct TAboutTexts {
  std::string Caption;
  std::string Product;
  std::string Version;  // normalised ProductVersion
  std::string VersionLabel;
  std::string Description;
  std::string Legal;
  TStringList Translators;  // name=value lines
};

// The dialog's texts for a title and the first translation's version strings.
TAboutTexts AboutTextsFor(const std::string& title, const TStringList& versionInfo);

// One "name: value" line with CR LF per translator.
std::string TranslatorsMessage(const TStringList& translators);

}  // namespace vm

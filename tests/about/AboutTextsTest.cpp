// Covers about/AboutTexts: what the About dialog shows for a version-information list.
#include <gtest/gtest.h>

#include "about/AboutTexts.h"

namespace {

TEST(AboutTexts, NormalisesVersions) {
  const std::pair<const char*, const char*> rows[] = {
      {"1, 0, 0, 3", "1.0.0.3"}, {"1,0,0,3", "1.0.0.3"}, {"1, 2,0 ,15", "1.2.0 .15"}, {"0.1.0.0", "0.1.0.0"}, {"", ""},
  };
  for (const auto& [in, out] : rows) EXPECT_EQ(vm::NormaliseVersion(in), out) << in;
}

TEST(AboutTexts, VeilmarksOwnInformation) {
  vm::TStringList info{"FileVersion=0.1.0.0",
                       "CompanyName=Quembrix Limited",
                       "LegalCopyright=Copyright",
                       "LegalTrademarks=",
                       "ProductName=Veilmark",
                       "ProductVersion=0.1.0.0",
                       "FileDescription=Anonymizes Googles Chrome browser."};
  vm::TAboutTexts t = vm::AboutTextsFor("Veilmark", info);
  EXPECT_EQ(t.Caption, "About Veilmark");
  EXPECT_EQ(t.Product, "Veilmark");
  EXPECT_EQ(t.VersionLabel, "Version 0.1.0.0");
  EXPECT_EQ(t.Description, "Anonymizes Googles Chrome browser. 0.1.0.0");
  EXPECT_EQ(t.Legal, "Copyright\r\n");
  EXPECT_EQ(t.Translators.Count(), 0);
}

TEST(AboutTexts, CaptionRuleAndTranslators) {
  vm::TStringList info{"ProductName=Demo Product", "ProductVersion=1, 0, 0, 3", "FileVersion=1,0,0,3"};
  info.Add("Translators=de=Name1\r\nfr=Name2");
  EXPECT_EQ(vm::AboutTextsFor("Veilmark", info).Caption, "About Veilmark") << "the title wins";
  vm::TAboutTexts t = vm::AboutTextsFor("", info);
  EXPECT_EQ(t.Caption, "About Demo Product");
  EXPECT_EQ(t.VersionLabel, "Version 1.0.0.3");
  EXPECT_EQ(t.Description, " 1.0.0.3") << "the blank stands although the description is empty";
  EXPECT_EQ(t.Legal, "\r\n");
  EXPECT_EQ(vm::TranslatorsMessage(t.Translators), "de: Name1\r\nfr: Name2\r\n");
}

}  // namespace

// Per-exception filters on the program's exception classes, assistant definitions and the
// form cache.
#include <gtest/gtest.h>

#include "base/Text.h"
#include "crashreport/settings/CrashSettingsAssistants.h"
#include "crashreport/settings/CrashSettingsFilters.h"
#include "tests/crashreport/common/FakeCrashSystem.h"

namespace vm {
namespace {

// A database edit error and a class derived from it, as a data-aware part would raise them.
class EDBEditError : public ExceptionClass<EDBEditError, Exception> {
public:
  static constexpr const char* kClassName = "EDBEditError";
  using ExceptionClass::ExceptionClass;
};
class EMaskEditError : public ExceptionClass<EMaskEditError, EDBEditError> {
public:
  static constexpr const char* kClassName = "EMaskEditError";
  using ExceptionClass::ExceptionClass;
};

class CrashFiltersTest : public ::testing::Test {
protected:
  // The shipped filters, and a second filter that takes file errors to assistant mode.
  void SetUp() override {
    system.Modules[system.Exe] = {"C:\\P\\veilmark.exe",
                                  TSettingsStreamWriter()
                                      .Bool("Enabled", true)
                                      .Bool("PauseThreads", true)
                                      .Text("F1Classes", "EDBEditError")
                                      .Bool("F1NoBugRep", true)
                                      .Bool("F1NoScrShot", true)
                                      .Bool("F1NoHandlers", true)
                                      .Bool("F1NoSuspend", true)
                                      .Int("F1ShowCfg", 3)
                                      .Text("F2Classes", " EAbort , EFileStreamError")
                                      .Int("F2ShowCfg", 1)
                                      .Text("F2Assis", "SaveAssistant")
                                      .Int("GnShowCfg", 0)
                                      .Int("ScrShotDepth", 8)
                                      .Finish(),
                                  std::nullopt,
                                  {}};
  }
  test::TFakeCrashSystem system;
};

TEST_F(CrashFiltersTest, ClassOrAncestorPicksTheGroup) {
  TICrashSettings s(system.Exe);
  struct Row {
    const char* why;
    const Exception& e;
    const char* group;
  };
  EDBEditError db("x");
  EMaskEditError derived("x");
  EFOpenError open("x");
  EOSError unrelated("x", 5);
  const Row rows[] = {
      {"the listed class", db, "F1"},
      {"derived from the listed class", derived, "F1"},
      {"ancestor EFileStreamError in F2's list", open, "F2"},
      {"unrelated class", unrelated, "Gn"},
  };
  for (const Row& row : rows) EXPECT_EQ(ApplyCrashFilters(s, row.e).Group, row.group) << row.why;

  TCrashFilterResult f1 = ApplyCrashFilters(s, derived);
  EXPECT_FALSE(f1.CreateBugReport);
  EXPECT_FALSE(f1.CreateScreenshot);
  EXPECT_FALSE(f1.CallHandlers);
  EXPECT_FALSE(f1.SuspendThreads);
  EXPECT_EQ(f1.ShowMode, TShowMode::OkBox);

  TCrashFilterResult gn = ApplyCrashFilters(s, unrelated);
  EXPECT_TRUE(gn.CreateBugReport);
  EXPECT_TRUE(gn.CreateScreenshot);
  EXPECT_TRUE(gn.CallHandlers);
  EXPECT_TRUE(gn.SuspendThreads);
  EXPECT_EQ(gn.ShowMode, TShowMode::FullDialog);

  TCrashFilterResult f2 = ApplyCrashFilters(s, open);
  EXPECT_EQ(f2.ShowMode, TShowMode::Assistant);
  EXPECT_EQ(f2.Assistant, "SaveAssistant");
}

TEST_F(CrashFiltersTest, ScreenshotNeedsDepthAndSuspensionNeedsPauseThreads) {
  TICrashSettings s(system.Exe);
  EOSError e("x", 5);
  s.SetScrShotDepth(0);
  s.SetPauseThreads(false);
  s.SetGnShowCfg(7);
  TCrashFilterResult r = ApplyCrashFilters(s, e);
  EXPECT_FALSE(r.CreateScreenshot);
  EXPECT_FALSE(r.SuspendThreads);
  EXPECT_EQ(r.ShowMode, TShowMode::FullDialog) << "an unknown mode shows the full dialog";
}

TEST_F(CrashFiltersTest, ClassListsMatchWholeNamesIgnoringCase) {
  auto is = [](std::string_view cls) { return [cls](std::string_view n) { return SameText(n, cls); }; };
  EXPECT_TRUE(MatchesClassList("EFoo,edbediterror", is("EDBEditError")));
  EXPECT_FALSE(MatchesClassList("EDBEdit", is("EDBEditError")));
  EXPECT_FALSE(MatchesClassList("", is("")));
  EXPECT_FALSE(MatchesClassList(" , ,", is("")));
}

TEST_F(CrashFiltersTest, AssistantDefinitions) {
  TICrashSettings s(system.Exe);  // this record names none: the defaults' three apply
  std::vector<TAssistantDef> all = ReadAssistants(s);
  ASSERT_EQ(all.size(), 3u);
  EXPECT_EQ(all[0], (TAssistantDef{"SendAssistant", "Send Assistant", {"ContactForm", "DetailsForm", "ScrShotForm"}}));
  EXPECT_EQ(all[2].Title, "Print Assistant");

  s.WriteText("Assistant1", "Mine|My Title|ContactForm|ScrShotForm|DetailsForm");
  s.WriteText("Assistant2", "");  // reading stops at the first missing or empty definition
  EXPECT_EQ(ReadAssistants(s).size(), 1u);
  std::optional<TAssistantDef> with = FindAssistant(s, "MINE", true);
  ASSERT_TRUE(with);
  EXPECT_EQ(with->Forms, (std::vector<std::string>{"ContactForm", "ScrShotForm", "DetailsForm"}));
  std::optional<TAssistantDef> without = FindAssistant(s, "mine", false);
  ASSERT_TRUE(without);
  EXPECT_EQ(without->Forms, (std::vector<std::string>{"ContactForm", "DetailsForm"}));
  s.SetScrShotDepth(0);
  EXPECT_EQ(FindAssistant(s, "mine", true)->Forms.size(), 2u) << "no depth, no screenshot page";
  EXPECT_FALSE(FindAssistant(s, "SaveAssistant", true));
  EXPECT_EQ(AssistantFormResource("ContactForm"), "TCrashContactForm");
}

TEST(CrashFormCache, FilledByItemNameAndCopiedBack) {
  TICrashFields cache;
  FillFormCache(
      cache, {{"ContactName", false, "Ann", false}, {"ContactMail", false, "", false}, {"AgreeCheck", true, "", true}});
  FillFormCache(cache, {{"contactname", false, "Anne", false}, {"CopyMe", true, "", false}});
  EXPECT_EQ(cache.Values("ContactName"), "Anne");
  EXPECT_EQ(cache.Values("AgreeCheck"), "+");
  EXPECT_EQ(cache.Values("CopyMe"), "-");

  std::vector<TFormItem> page = {
      {"ContactName", false, "", false}, {"AgreeCheck", true, "", false}, {"ContactMail", false, "old", false}};
  EXPECT_TRUE(PrefillFromFormCache(cache, page)) << "every item cached, an empty one too";
  EXPECT_EQ(page[0].Text, "Anne");
  EXPECT_TRUE(page[1].Checked);
  EXPECT_EQ(page[2].Text, "");
  std::vector<TFormItem> other = {{"ContactName", false, "", false}, {"Details", false, "keep", false}};
  EXPECT_FALSE(PrefillFromFormCache(cache, other));
  EXPECT_EQ(other[0].Text, "Anne");
  EXPECT_EQ(other[1].Text, "keep");
}

}  // namespace
}  // namespace vm

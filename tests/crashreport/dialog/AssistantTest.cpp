// The assistants' portable rules: the address test, the enabling rule, the page values
// that go into the report, the run over the pages, and the contact page's handler.
#include <gtest/gtest.h>

#include <deque>

#include "AssistantPageFiles.h"
#include "crashreport/dialog/Assistant.h"
#include "crashreport/dialog/AssistantPages.h"
#include "crashreport/dialog/ContactForm.h"
#include "crashreport/report/CrashException.h"
#include "crashreport/settings/CrashSettingsStream.h"
#include "settings/MemoryRegistry.h"
#include "settings/Registry.h"
#include "tests/crashreport/common/FakeCrashSystem.h"
#include "tests/crashreport/common/ReportFixtures.h"

namespace vm {
namespace {

using test::FixtureExceptionFacts;
using test::FixtureHeaderFacts;

TEST(AssistantAddressTest, FollowsTheRuleCharacterByCharacter) {
  struct {
    const char* address;
    bool valid;
    const char* why;
  } rows[] = {
      {"jane@example.com", true, "letters, one @, a dotted domain"},
      {"Jane.Doe@mail.example.co.uk", true, "dots in both parts"},
      {"o'neil+bugs_2-x@ex-ample.org", true, "every allowed sign"},
      {"jane@examplecom", false, "no . after the @"},
      {"jane.doe@example", false, "the only . is before the @"},
      {"@example.com", false, "@ first"},
      {"jane@.example.com", false, ". right after the @"},
      {".jane@example.com", false, "begins with ."},
      {"jane@example.com.", false, "ends with ."},
      {"jane@@example.com", false, "two @ side by side"},
      {"ja@ne@example.com", false, "two @"},
      {"jane@example.", false, "ends with . (the only one after the @)"},
      {"jane@", false, "nothing after the @"},
      {"", false, "empty"},
      {"jane doe@example.com", false, "a blank inside"},
      {" jane@example.com", false, "a leading blank"},
      {"jane@example.com ", false, "a trailing blank"},
      {"jane@exa mple.com", false, "a blank in the domain"},
      {"jane!@example.com", false, "a sign outside the set"},
      {"j\xe4ne@example.com", false, "a letter outside A-Z"},
      {"jane@example..com", true, "two dots inside: the rule does not forbid them"},
  };
  for (const auto& row : rows) EXPECT_EQ(ValidEmailAddress(row.address), row.valid) << row.address << ": " << row.why;
}

// A page of the shipped ones, as the program reads it.
TNVForm ShippedPage(const std::string& name) {
  TAssistantPageParse parse = ParseAssistantPage(test::ShippedPageBytes(name), name);
  EXPECT_TRUE(parse.Found && parse.Error.empty()) << name;
  return std::move(parse.Form);
}

TEST(AssistantEnablingTest, ContinueWaitsForEveryRequiredEditToHoldValidText) {
  TNVForm contact = ShippedPage("ContactForm");
  auto& name = *contact.Find<TNVEdit>("NameEdit");
  auto& email = *contact.Find<TNVEdit>("EmailEdit");
  EXPECT_FALSE(ContinueAllowed(contact)) << "the address is required and empty";
  email.Text = "jane@example.com";
  EXPECT_TRUE(ContinueAllowed(contact)) << "the name is optional";
  email.Valid = false;
  EXPECT_FALSE(ContinueAllowed(contact)) << "an address marked invalid";
  email.Valid = true;
  name.Valid = false;
  EXPECT_TRUE(ContinueAllowed(contact)) << "an optional edit never blocks";

  TNVForm screenshot = ShippedPage("ScrShotForm");
  EXPECT_TRUE(ContinueAllowed(screenshot)) << "a page without edits";
}

class AssistantRecordTest : public ::testing::Test {
protected:
  AssistantRecordTest() {
    system.Modules[system.Exe].Resource = TSettingsStreamWriter().Bool("Enabled", true).Finish();
    NewRecord();
  }
  void NewRecord() {
    TICrashSettings settings(system.Exe);
    record = std::make_unique<TICrashException>(settings, FixtureExceptionFacts());
    record->BuildHeader(FixtureHeaderFacts());
  }
  std::string Header(std::string_view name) const { return record->HeaderFields().Values(name); }
  bool HasSection(std::string_view name) const { return record->Sections().Contains(name); }

  // The send assistant's three pages; `script` answers each page in turn after filling it.
  int Run(std::deque<std::function<int(TNVForm&)>> script) {
    assistant = {"SendAssistant", "Send Assistant", {}, 0};
    for (const char* name : {"ContactForm", "DetailsForm", "ScrShotForm"}) assistant.Forms.push_back(ShippedPage(name));
    return RunAssistantPages(assistant, *record, [&](TNVForm& page) {
      int result = script.front()(page);
      script.pop_front();
      return result;
    });
  }

  test::TFakeCrashSystem system;
  std::unique_ptr<TICrashException> record;
  TNVAssistant assistant;
};

int FillContact(TNVForm& page) {
  page.Find<TNVEdit>("NameEdit")->Text = "Jane Doe";
  page.Find<TNVEdit>("EmailEdit")->Text = "jane@example.com";
  return arContinue;
}
int FillDetails(TNVForm& page) {
  page.Find<TNVEdit>("DetailsMemo")->Text = "I pressed Change.\r\nThen it failed.";
  return arContinue;
}
int Answer(TNVForm&, int result) { return result; }
auto Press(int result) {
  return [result](TNVForm& page) { return Answer(page, result); };
}

TEST_F(AssistantRecordTest, ContinuedPagesPutTheirValuesIntoTheReport) {
  EXPECT_EQ(Run({FillContact, FillDetails, Press(arContinue)}), arContinue);
  EXPECT_EQ(Header("contact name"), "Jane Doe");
  EXPECT_EQ(Header("contact email"), "jane@example.com");
  EXPECT_EQ(record->Sections().Values("error details"), "I pressed Change.\r\nThen it failed.");
  EXPECT_FALSE(record->HeaderFields().Contains("error details")) << "a section, not a header field";
  EXPECT_FALSE(record->HeaderFields().Contains("remember me")) << "the check box has no output name";
}

TEST_F(AssistantRecordTest, SkipLeavesThePageOutAndCancelLeavesEverythingOut) {
  EXPECT_EQ(Run({FillContact, [](TNVForm& p) { return FillDetails(p), arSkip; }, Press(arContinue)}), arContinue);
  EXPECT_FALSE(HasSection("error details")) << "skipped, although it was filled";
  EXPECT_EQ(Header("contact email"), "jane@example.com");

  NewRecord();
  EXPECT_EQ(Run({FillContact, [](TNVForm& p) { return FillDetails(p), arCancel; }}), arCancel);
  EXPECT_FALSE(record->HeaderFields().Contains("contact email")) << "cancelled: nothing goes in";
  EXPECT_FALSE(HasSection("error details"));
  EXPECT_EQ(record->FormCache().Values("EmailEdit"), "jane@example.com") << "the cache keeps what was typed";
  EXPECT_EQ(record->FormCache().Values("DetailsMemo"), "I pressed Change.\r\nThen it failed.");
}

TEST_F(AssistantRecordTest, ValueRulesForCheckBoxesEditsAndSections) {
  TNVForm page;
  auto check = std::make_unique<TNVCheckBox>("Attach");
  check->OutputName = "attach";
  auto unnamed = std::make_unique<TNVCheckBox>("Quiet");
  auto empty = std::make_unique<TNVEdit>("Empty");
  empty->OutputName = "empty field";
  auto oneLine = std::make_unique<TNVEdit>("OneLine");
  oneLine->OutputName = "one line";
  oneLine->OutputType = TNVOutputType::nvoOwnSection;  // a single line stays a header field
  oneLine->Text = "short";
  page.Items.push_back(std::move(check));
  page.Items.push_back(std::move(unnamed));
  page.Items.push_back(std::move(empty));
  page.Items.push_back(std::move(oneLine));
  PutPageValues(page, *record);
  EXPECT_EQ(Header("attach"), "no");
  EXPECT_FALSE(record->HeaderFields().Contains("empty field"));
  EXPECT_EQ(Header("one line"), "short");
  EXPECT_FALSE(HasSection("one line"));
  page.Find<TNVCheckBox>("Attach")->Checked = true;
  PutPageValues(page, *record);
  EXPECT_EQ(Header("attach"), "yes");
}

TEST_F(AssistantRecordTest, TheFormCacheFillsTheNextAssistantsPages) {
  Run({FillContact, FillDetails, Press(arContinue)});
  TNVForm again = ShippedPage("ContactForm");
  EXPECT_FALSE(PrefillFromFormCache(TICrashFields(), again));
  EXPECT_TRUE(PrefillFromFormCache(record->FormCache(), again));
  EXPECT_EQ(again.Find<TNVEdit>("EmailEdit")->Text, "jane@example.com");
}

class ContactFormTest : public AssistantRecordTest {
protected:
  TNVForm Show() {
    TNVForm page = ShippedPage("ContactForm");
    page.Record = record.get();
    HandleContactForm(page, TNVEvent::Show, nullptr);
    return page;
  }
  void Close(TNVForm& page, int result) {
    page.ModalResult = result;
    HandleContactForm(page, TNVEvent::Close, nullptr);
  }
  std::optional<std::string> Stored(const char* value) {
    TRegistry reg;
    if (!reg.OpenKeyReadOnly(kContactFormKey) || !reg.ValueExists(value)) return std::nullopt;
    return reg.ReadString(value);
  }

  TMemoryRegistry registry;
  TUseRegistryApi useRegistry{registry};
};

TEST_F(ContactFormTest, RemembersNameAndAddressAcrossRunsAndForgetsOnRequest) {
  TNVForm first = Show();
  EXPECT_EQ(first.Find<TNVEdit>("EmailEdit")->Text, "");
  EXPECT_NE(first.ActiveControl, "ContinueBtn");
  first.Find<TNVEdit>("NameEdit")->Text = "Jane Doe";
  first.Find<TNVEdit>("EmailEdit")->Text = "jane@example.com";
  first.Find<TNVCheckBox>("MemCheck")->Checked = true;
  Close(first, arContinue);
  EXPECT_EQ(Stored("RememberName"), "Jane Doe");
  EXPECT_EQ(Stored("RememberEmail"), "jane@example.com");
  EXPECT_EQ(record->MailFrom(), "Jane Doe <jane@example.com>");

  TNVForm second = Show();
  EXPECT_EQ(second.Find<TNVEdit>("NameEdit")->Text, "Jane Doe");
  EXPECT_EQ(second.Find<TNVEdit>("EmailEdit")->Text, "jane@example.com");
  EXPECT_TRUE(second.Find<TNVCheckBox>("MemCheck")->Checked);
  EXPECT_EQ(second.ActiveControl, "ContinueBtn");
  second.Find<TNVCheckBox>("MemCheck")->Checked = false;
  Close(second, arContinue);
  EXPECT_EQ(Stored("RememberName"), std::nullopt);
  EXPECT_EQ(Stored("RememberEmail"), std::nullopt);
}

TEST_F(ContactFormTest, OnlyContinueStoresAndNoNameMeansNoSender) {
  TNVForm page = Show();
  page.Find<TNVEdit>("EmailEdit")->Text = "jane@example.com";
  page.Find<TNVCheckBox>("MemCheck")->Checked = true;
  Close(page, arSkip);
  EXPECT_EQ(Stored("RememberEmail"), std::nullopt);
  Close(page, arContinue);
  EXPECT_EQ(Stored("RememberEmail"), "jane@example.com");
  EXPECT_EQ(Stored("RememberName"), "");
  EXPECT_EQ(record->MailFrom(), "") << "no name: the sender stays as the settings have it";
}

TEST_F(ContactFormTest, EveryChangeOfTheAddressIsTested) {
  TNVForm page = Show();
  auto& email = *page.Find<TNVEdit>("EmailEdit");
  email.Text = "jane@examplecom";
  HandleContactForm(page, TNVEvent::Change, &email);
  EXPECT_FALSE(email.Valid);
  EXPECT_FALSE(ContinueAllowed(page));
  email.Text = "jane@example.com";
  HandleContactForm(page, TNVEvent::Change, &email);
  EXPECT_TRUE(email.Valid);
  EXPECT_TRUE(ContinueAllowed(page));
}

TEST_F(ContactFormTest, ARememberedBadAddressIsMarkedAndKeepsTheFocusAway) {
  {
    TRegistry reg;
    ASSERT_TRUE(reg.OpenKey(kContactFormKey, true));
    reg.WriteString("RememberEmail", "jane at example");
  }
  TNVForm page = Show();
  EXPECT_EQ(page.Find<TNVEdit>("EmailEdit")->Text, "jane at example");
  EXPECT_FALSE(page.Find<TNVEdit>("EmailEdit")->Valid);
  EXPECT_NE(page.ActiveControl, "ContinueBtn") << "Continue is disabled";
}

}  // namespace
}  // namespace vm

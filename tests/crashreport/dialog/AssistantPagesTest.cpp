// The assistant pages' resources: the three shipped pages as the program reads them, and
// pages that break off.
#include <gtest/gtest.h>

#include "AssistantPageFiles.h"
#include "crashreport/dialog/AssistantPages.h"
#include "crashreport/settings/CrashSettingsStream.h"

namespace vm {
namespace {

// An item's kind and its texts in one line, so that a page compares as a short listing.
std::string Describe(const TNVItem& item) {
  std::string flags = item.Enabled ? "" : " disabled";
  if (item.Spacing) flags += " spacing=" + std::to_string(item.Spacing);
  if (auto* b = dynamic_cast<const TNVButton*>(&item)) return "button " + b->Name + " \"" + b->Caption + "\"" + flags;
  if (auto* l = dynamic_cast<const TNVLabel*>(&item)) return "label \"" + l->Caption + "\"" + flags;
  if (auto* e = dynamic_cast<const TNVEdit*>(&item))
    return "edit " + e->Name + " lines=" + std::to_string(e->Lines) + (e->Optional ? " optional" : " required") +
           " -> \"" + e->OutputName + "\"" + (e->OutputType == TNVOutputType::nvoOwnSection ? " section" : " header") +
           flags;
  if (auto* c = dynamic_cast<const TNVCheckBox*>(&item))
    return "check " + c->Name + " \"" + c->Caption + "\"" + (c->Checked ? " checked" : "") + flags;
  if (auto* i = dynamic_cast<const TNVImage*>(&item))
    return "image " + i->Name + (i->Clickable ? " clickable" : "") + (i->Border ? " border" : "") + flags;
  return "?";
}

std::vector<std::string> Listing(const TNVForm& form) {
  std::vector<std::string> lines{form.Name + " \"" + form.Message + "\" handler=" + form.OnAction +
                                 " timer=" + std::to_string(form.Timer) + " active=" + form.ActiveControl};
  for (const auto& item : form.Items) lines.push_back(Describe(*item));
  return lines;
}

TEST(AssistantPagesTest, TheShippedPagesReadAsTheyAreWritten) {
  struct {
    const char* name;
    std::vector<std::string> listing;
  } pages[] = {
      {"ContactForm",
       {"ContactForm \"Contact Information\" handler=Zentrapix.HandleContactForm timer=0 active=",
        "button ContinueBtn \"Continue\"", "button SkipBtn \"Skip\" disabled", "button CancelBtn \"Cancel\"",
        "label \"your name:\"", "edit NameEdit lines=1 optional -> \"contact name\" header",
        "label \"your email:\" spacing=4", "edit EmailEdit lines=1 required -> \"contact email\" header",
        "check MemCheck \"remember me\" spacing=4"}},
      {"DetailsForm",
       {"DetailsForm \"Error Details\" handler= timer=0 active=", "button ContinueBtn \"Continue\"",
        "button SkipBtn \"Skip\"", "button CancelBtn \"Cancel\"", "label \"in which situation did the error occur?\"",
        "edit DetailsMemo lines=9 required -> \"error details\" section"}},
      {"ScrShotForm",
       {"ScrShotForm \"Screenshot Configuration\" handler=Zentrapix.HandleScreenshotForm timer=250 active=ContinueBtn",
        "button ContinueBtn \"Continue\"", "button SkipBtn \"Skip\" disabled", "button CancelBtn \"Cancel\"",
        "check AttachCheck \"attach a screenshot to the bug report\" checked",
        "image ScrShotImg clickable border spacing=4", "label \"(click to edit image)\""}},
  };
  for (const auto& page : pages) {
    std::string bytes = test::ShippedPageBytes(page.name);
    ASSERT_FALSE(bytes.empty()) << page.name;
    TAssistantPageParse parse = ParseAssistantPage(bytes, page.name);
    EXPECT_TRUE(parse.Found);
    EXPECT_EQ(parse.Error, "");
    EXPECT_EQ(Listing(parse.Form), page.listing) << page.name;
    EXPECT_FALSE(ParseAssistantPage(bytes, "OtherForm").Found) << "the prefix names the page";
  }
}

TSettingsStreamWriter Page() {
  TSettingsStreamWriter w(FormStreamPrefix("TCrashTestForm", "TestForm"));
  w.Text("Message", "Test").Text("ContinueBtn", "TNVButton").Text("ContinueBtn.Caption", "Go on");
  return w;
}

TEST(AssistantPagesTest, ABadTypeByteGivesTheBoxTextAndThePageReadSoFar) {
  std::string bytes = Page().Text("NoteLabel", "TNVLabel").Raw("NoteLabel.Caption", 0x0f, "x").Finish();
  TAssistantPageParse parse = ParseAssistantPage(bytes, "TestForm");
  EXPECT_TRUE(parse.Found);
  EXPECT_EQ(parse.Error, "Internal error: Invalid assistant resource ($0f).");
  EXPECT_EQ(Listing(parse.Form),
            (std::vector<std::string>{"TestForm \"Test\" handler= timer=0 active=", "button ContinueBtn \"Go on\"",
                                      "button SkipBtn \"Skip\"", "button CancelBtn \"Cancel\"", "label \"\""}));
}

TEST(AssistantPagesTest, BrokenOrOddPagesStillOfferTheWayOut) {
  // Cut inside the caption of the first button: the page keeps its three default buttons.
  std::string whole = Page().Finish();
  TAssistantPageParse cut = ParseAssistantPage(whole.substr(0, whole.size() - 3), "TestForm");
  EXPECT_EQ(cut.Error, "Internal error: Invalid assistant resource (truncated).");
  ASSERT_GE(cut.Form.Items.size(), 3u);
  EXPECT_EQ(cut.Form.ContinueBtn().Caption, "Continue");
  EXPECT_EQ(cut.Form.CancelBtn().Caption, "Cancel");

  // Unknown kinds and properties, a second item of one name, a property of an undeclared
  // item and a text where a number belongs are passed over.
  std::string odd = Page()
                        .Text("Slider", "TNVSlider")
                        .Text("NameEdit", "TNVEdit")
                        .Int("NameEdit.Lines", 0)
                        .Bool("NameEdit.Sparkle", true)
                        .Text("NameEdit", "TNVLabel")
                        .Text("Ghost.Caption", "boo")
                        .Text("Timer", "soon")
                        .Finish();
  TAssistantPageParse parse = ParseAssistantPage(odd, "TestForm");
  EXPECT_EQ(parse.Error, "");
  EXPECT_EQ(parse.Form.Timer, 0);
  ASSERT_EQ(parse.Form.Items.size(), 4u);
  EXPECT_EQ(Describe(*parse.Form.Items[3]), "edit NameEdit lines=1 required -> \"\" header");

  EXPECT_FALSE(ParseAssistantPage("", "TestForm").Found);
  EXPECT_FALSE(ParseAssistantPage(TSettingsStreamWriter().Finish(), "TestForm").Found) << "the settings' prefix";
}

}  // namespace
}  // namespace vm

// The settings object over an in-memory system: defaults, the lookup order with the
// settings provider, reads of another kind, writes, reload, copies, the shared chain and
// the choice of the settings for a module.
#include <gtest/gtest.h>

#include "crashreport/settings/CrashSettings.h"
#include "crashreport/settings/CrashSettingsDefaults.h"
#include "crashreport/settings/CrashSettingsModules.h"
#include "tests/crashreport/common/FakeCrashSystem.h"

namespace vm {
namespace {

constexpr TModuleHandle kExe = 0x400000, kDll = 0x10000000, kOther = 0x20000000;

class CrashSettingsTest : public ::testing::Test {
protected:
  void SetUp() override {
    system.Modules[kExe] = {"C:\\Programs\\Veilmark\\veilmark.exe", std::nullopt, "1.2.3.4", {}};
    system.Modules[kDll] = {"C:\\Programs\\Veilmark\\helper.dll", std::nullopt, std::nullopt, {}};
    system.Modules[kOther] = {"C:\\Windows\\other.dll", std::nullopt, std::nullopt, {}};
  }
  void Give(TModuleHandle m, const TSettingsStreamWriter& w) { system.Modules[m].Resource = w.Finish(); }

  test::TFakeCrashSystem system;
};

TEST_F(CrashSettingsTest, DefaultsCoverEveryKnownKeyWithTheRequiredValues) {
  const TCrashPropertyList& d = CrashSettingsDefaults();
  EXPECT_GE(d.Count(), 120);
  for (int i = 0; i < d.Count(); ++i) EXPECT_EQ(d.Find(d[i].Name), &d[i]) << "duplicate " << d[i].Name;
  TICrashSettings s(kExe);  // no resource at all
  EXPECT_FALSE(s.Valid());
  EXPECT_FALSE(s.Enabled());
  EXPECT_EQ(s.AutoDelay(), 60);
  EXPECT_EQ(s.MailFrom(), "");
  EXPECT_EQ(s.AddFields(), "");
  EXPECT_EQ(s.VersionVar(), 0);
  EXPECT_EQ(s.BugRepFile(), "bugreport.txt");
  EXPECT_FALSE(s.SetEnabled(true)) << "writes to invalid settings are refused";
  EXPECT_FALSE(s.Enabled());
  EXPECT_TRUE(system.Errors.empty());
}

TEST_F(CrashSettingsTest, RecordWinsOverDefaultsAndReadsOfAnotherKindAreEmpty) {
  Give(kExe,
       TSettingsStreamWriter().Bool("Enabled", true).Int("AutoDelay", 5).Text("MailFrom", "a@b").Text("Odd", "7"));
  TICrashSettings s(kExe);
  EXPECT_TRUE(s.Valid());
  EXPECT_TRUE(s.Enabled());
  EXPECT_EQ(s.AutoDelay(), 5);
  EXPECT_EQ(s.MailFrom(), "a@b");
  EXPECT_EQ(s.ReadInt("Odd"), 0);         // a text read as an integer
  EXPECT_FALSE(s.ReadBool("AutoDelay"));  // an integer read as a boolean
  EXPECT_EQ(s.ReadText("Enabled"), "");
  EXPECT_EQ(s.ReadText("enabled"), "") << "names match exactly";
  EXPECT_EQ(s.ReadInt("NoSuchKey"), 0);
  EXPECT_EQ(s.SmtpPort(), 25) << "a key the record lacks reads its default";
}

TEST_F(CrashSettingsTest, PrefixOnlyOrForeignResourceReadsDefaults) {
  for (std::string bytes : {std::string(kSettingsStreamPrefix) + '\0', std::string("MZ not a record")}) {
    system.Modules[kExe].Resource = bytes;
    TICrashSettings s(kExe);
    EXPECT_TRUE(s.Valid());
    EXPECT_FALSE(s.Enabled());
    EXPECT_EQ(s.FreezeTimeout(), 60000);
    EXPECT_EQ(s.ExceptMsg(), "An error occurred in the application.");
  }
  EXPECT_TRUE(system.Errors.empty());
}

TEST_F(CrashSettingsTest, BadTypeShowsTheBoxOnceAndKeepsEarlierProperties) {
  Give(kExe, TSettingsStreamWriter().Int("AutoDelay", 9).Raw("X", 0x1f, ""));
  {
    TICrashSettings a(kExe), b(kExe);  // the second shares the parsed list
    EXPECT_EQ(a.AutoDelay(), 9);
    EXPECT_EQ(b.AutoDelay(), 9);
  }
  EXPECT_EQ(system.Errors, std::vector<std::string>{"Internal error: Invalid settings resource ($1f)."});
}

TEST_F(CrashSettingsTest, WritesChangeTheSharedListUntilReload) {
  Give(kExe, TSettingsStreamWriter().Bool("Enabled", true).Int("HttpPort", 80));
  TICrashSettings a(kExe), b(kExe);
  EXPECT_TRUE(a.SetHttpPort(8080));
  EXPECT_EQ(b.HttpPort(), 8080) << "one list per module";
  EXPECT_FALSE(a.WriteText("HttpPort", "x")) << "a key of another kind is refused";
  EXPECT_EQ(a.HttpPort(), 8080);
  EXPECT_TRUE(a.WriteText("NewKey", "v"));
  EXPECT_EQ(b.ReadText("NewKey"), "v");
  b.Reload();
  EXPECT_EQ(a.HttpPort(), 80);
  EXPECT_EQ(a.ReadText("NewKey"), "");
}

TEST_F(CrashSettingsTest, CopiesArePrivate) {
  Give(kExe, TSettingsStreamWriter().Bool("Enabled", true).Int("ScrShotDepth", 8));
  TICrashSettings module(kExe);
  TICrashSettings copy(module);
  EXPECT_TRUE(copy.Valid());
  EXPECT_TRUE(copy.SetScrShotDepth(0));
  EXPECT_EQ(copy.ScrShotDepth(), 0);
  EXPECT_EQ(module.ScrShotDepth(), 8);
  copy.Reload();
  EXPECT_EQ(copy.ScrShotDepth(), 8);
}

TEST_F(CrashSettingsTest, ChainHoldsOneCountedEntryPerModule) {
  Give(kExe, TSettingsStreamWriter().Bool("Enabled", true));
  Give(kDll, TSettingsStreamWriter().Bool("Enabled", true));
  auto chain = [] {
    TSettingsBlockRef block = TSettingsBlockRef::Open();
    std::vector<std::pair<TModuleHandle, long>> entries;
    for (TModuleSettings* m = block.Head(); m; m = m->Next) entries.emplace_back(m->Module, m->RefCount);
    return entries;
  };
  {
    TICrashSettings a(kExe), b(kExe), c(kDll), none(kOther);
    EXPECT_EQ(chain(), (std::vector<std::pair<TModuleHandle, long>>{{kExe, 2}, {kDll, 1}}));
  }
  EXPECT_TRUE(chain().empty());
}

TEST_F(CrashSettingsTest, ProviderAnswersInPlaceOfTheDefaults) {
  Give(kExe, TSettingsStreamWriter().Bool("Enabled", true).Int("AutoDelay", 30).Text("MailFrom", "exe@x"));
  Give(kDll, TSettingsStreamWriter().Bool("Enabled", true).Text("MailFrom", "dll@x"));
  ASSERT_TRUE(RegisterSettingsProvider(kExe));
  EXPECT_FALSE(RegisterSettingsProvider(kDll)) << "one provider per process";
  {
    TICrashSettings dll(kDll), other(kOther), exe(kExe);
    EXPECT_EQ(dll.MailFrom(), "dll@x") << "own property first";
    EXPECT_EQ(dll.AutoDelay(), 30) << "then the provider";
    EXPECT_EQ(other.AutoDelay(), 30);
    EXPECT_TRUE(other.Enabled()) << "even for a module without a record";
    EXPECT_EQ(exe.ReadInt("SmtpPort"), 25) << "the provider itself reads the defaults";
  }
  UnregisterSettingsProvider(kExe);
  TICrashSettings dll(kDll);
  EXPECT_EQ(dll.AutoDelay(), 60);
}

TEST_F(CrashSettingsTest, SettingsForModuleSkipsDeferringAndInvalidModules) {
  Give(kExe, TSettingsStreamWriter().Bool("Enabled", true).Int("AutoDelay", 1));
  Give(kDll, TSettingsStreamWriter().Bool("NoSettings", true).Int("AutoDelay", 2));
  Give(kOther, TSettingsStreamWriter().Int("AutoDelay", 3));
  EXPECT_EQ(SettingsForModule(kExe)->Module(), kExe);
  EXPECT_EQ(SettingsForModule(kDll)->Module(), kExe) << "NoSettings defers to the home module";
  system.Home = kDll;  // the home module defers too: the loaded modules in address order follow
  EXPECT_EQ(SettingsForModule(0x30000000)->Module(), kExe);
  system.Modules[kExe].Resource.reset();
  EXPECT_EQ(SettingsForModule(kDll)->Module(), kOther);
  system.Modules[kOther].Resource.reset();
  auto none = SettingsForModule(kDll);
  EXPECT_EQ(none->Module(), kDll) << "no module qualifies: the module's own settings";
}

TEST_F(CrashSettingsTest, VersionTextsForThePlaceholders) {
  Give(kExe, TSettingsStreamWriter()
                 .Bool("Enabled", true)
                 .Text("TitleBar", "%appname% %appversion% / %modname% %modversion%"));
  Give(kDll,
       TSettingsStreamWriter().Int("VersionVar", 0x1234).Text("TitleBar", "%modname% %modversion% (%appversion%)"));
  system.Modules[kDll].Texts[0x1234] = "2.0 beta";
  EXPECT_EQ(TICrashSettings(kExe).TitleBar(), "veilmark.exe 1.2.3.4 / veilmark.exe 1.2.3.4");
  TICrashSettings dll(kDll);
  EXPECT_EQ(dll.VersionText(), "2.0 beta");
  EXPECT_EQ(dll.TitleBar(), "helper.dll 2.0 beta (1.2.3.4)");
  system.Modules[kDll].Texts.clear();  // a bad offset reads as empty: the file version, else "?"
  dll.Reload();
  EXPECT_EQ(dll.VersionText(), "");
  EXPECT_EQ(dll.TitleBar(), "helper.dll ? (1.2.3.4)");
}

TEST_F(CrashSettingsTest, AdditionalFieldsAndAttachments) {
  Give(kExe, TSettingsStreamWriter()
                 .Text("AddFields", "Customer = ACME | Build=%appversion%|=lost|Flag")
                 .Text("AddAttachs", "%userappdata%\\log.txt|C:\\a b\\trace.dat>trace.bin>Trace>logs.zip| "));
  system.Folders[kFolderAppData] = "C:\\Users\\u\\AppData\\Roaming\\";
  TICrashSettings s(kExe);
  TICrashFields fields = s.AdditionalFields();
  ASSERT_EQ(fields.Count(), 3);
  EXPECT_EQ(fields.Values("customer"), "ACME");
  EXPECT_EQ(fields.Values("Build"), "1.2.3.4");
  EXPECT_TRUE(fields.Contains("Flag"));
  std::vector<TCrashAttachment> expected = {
      {"C:\\Users\\u\\AppData\\Roaming\\log.txt", "log.txt", "Attachment1", ""},
      {"C:\\a b\\trace.dat", "trace.bin", "Trace", "logs.zip"},
  };
  EXPECT_EQ(s.AdditionalAttachments(), expected);
}

TEST_F(CrashSettingsTest, RecordFormatsAsItsSourceLines) {
  Give(kExe, TSettingsStreamWriter().Bool("Enabled", true).Int("Port", -3).Text("Msg", "say \"hi\""));
  std::optional<TCrashPropertyList> record = LoadProgramSettingsRecord();
  ASSERT_TRUE(record);
  EXPECT_EQ(FormatSettingsRecord(*record), "Enabled B true\r\nPort I -3\r\nMsg T \"say \"\"hi\"\"\"\r\n");
  system.Modules[kExe].Resource.reset();
  EXPECT_FALSE(LoadProgramSettingsRecord());
}

}  // namespace
}  // namespace vm

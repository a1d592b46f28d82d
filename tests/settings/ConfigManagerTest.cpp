// The settings manager over every registry backend of the build: string lists and form
// placement, as the main window stores them between runs.
#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <tuple>

#include "settings/Registry.h"
#include "settings/qbxConfig.h"
#include "tests/settings/RegistryFixture.h"
#include "tests/settings/TestForms.h"

namespace vm::test {
namespace {

using namespace std::string_literals;

const THKey HKCU = kHKeyCurrentUser;
const THKey HKLM = kHKeyLocalMachine;

struct TManagerCase {
  std::string Name;
  std::function<void(TQBXConfigManager&)> Run;
  friend void PrintTo(const TManagerCase& row, std::ostream* os) { *os << row.Name; }
};

std::string FormKey(const std::string& form) {
  return "\\Software\\Quembrix Limited\\" + TestKeyName() + "\\UI\\Forms\\" + form;
}

void PutDword(THKey root, const std::string& key, const std::string& name, std::int32_t value) {
  PutRaw(root, key, name, kRegDword, std::string(reinterpret_cast<const char*>(&value), 4));
}

std::int32_t GetDword(THKey root, const std::string& key, const std::string& name) {
  std::string data = GetRaw(root, key, name);
  std::int32_t value = -1;
  if (data.size() == 4) std::memcpy(&value, data.data(), 4);
  return value;
}

const TFormBounds kStored{10, 20, 640, 480};

const TManagerCase kManagerCases[] = {
    {"StringListRoundTrip",
     [](TQBXConfigManager& manager) {
       const TStringList ids{"11111111-2222-3333-4444-555555555555", "0F1E2D3C-AAAA-BBBB-CCCC-000000000001"};
       ASSERT_TRUE(manager.SaveStrings("", "IDBackup", ids));
       std::uint32_t type = 0;
       EXPECT_EQ(ids[0] + "\0"s + ids[1] + "\0\0"s, GetRaw(HKCU, manager.GetBaseKey(), "IDBackup", &type));
       EXPECT_EQ(kRegMultiSz, type);
       TStringList loaded{"stale"};
       EXPECT_TRUE(manager.LoadStrings("", "IDBackup", loaded));
       EXPECT_EQ(ids, loaded);
     }},
    {"EmptyListStoresOneNul",
     [](TQBXConfigManager& manager) {
       ASSERT_TRUE(manager.SaveStrings("", "IDBackup", TStringList{}));
       EXPECT_EQ("\0"s, GetRaw(HKCU, manager.GetBaseKey(), "IDBackup"));
       TStringList loaded{"stale"};
       EXPECT_TRUE(manager.LoadStrings("", "IDBackup", loaded));
       EXPECT_TRUE(loaded.Empty());
     }},
    {"MissingListLeavesTheList",
     [](TQBXConfigManager& manager) {
       TStringList loaded{"kept"};
       EXPECT_FALSE(manager.LoadStrings("", "IDBackup", loaded));
       EXPECT_EQ((TStringList{"kept"}), loaded);
     }},
    {"MachineListWins",
     [](TQBXConfigManager& manager) {
       ASSERT_TRUE(manager.SaveStrings("Section\\", "IDBackup", TStringList{"user"}));
       ASSERT_TRUE(manager.SaveStrings("Section\\", "IDBackup", TStringList{"machine"}, true));
       TStringList loaded;
       EXPECT_TRUE(manager.LoadStrings("Section\\", "IDBackup", loaded));
       EXPECT_EQ((TStringList{"machine"}), loaded);
     }},
    {"MergedSaveKeepsWhatAnotherCopyStored",
     [](TQBXConfigManager& manager) {
       // Two windows at once: the other one stored C after this one loaded {A, B}.
       ASSERT_TRUE(manager.SaveStrings("", "IDBackup", TStringList{"A", "C"}));
       TStringList window{"A", "B", "c"};
       ASSERT_TRUE(manager.SaveStringsMerged("", "IDBackup", window));
       EXPECT_EQ((TStringList{"A", "C", "B"}), window)
           << "stored order first, then the new items, no duplicates by case";
       TStringList loaded;
       EXPECT_TRUE(manager.LoadStrings("", "IDBackup", loaded));
       EXPECT_EQ(window, loaded);
     }},
    {"MergedSaveIntoNothingStoredWritesTheList",
     [](TQBXConfigManager& manager) {
       TStringList window{"A", "B"};
       ASSERT_TRUE(manager.SaveStringsMerged("", "IDBackup", window));
       EXPECT_EQ("A\0B\0\0"s, GetRaw(HKCU, manager.GetBaseKey(), "IDBackup"));
     }},
    {"PlainStringReadsAsOneItemAndIsKeptByTheMerge",
     [](TQBXConfigManager& manager) {
       const std::string id = "0F1E2D3C-AAAA-BBBB-CCCC-000000000001";
       PutRaw(HKCU, manager.GetBaseKey(), "IDBackup", kRegSz, id + "\0"s);
       TStringList loaded;
       EXPECT_TRUE(manager.LoadStrings("", "IDBackup", loaded));
       EXPECT_EQ((TStringList{id}), loaded);
       TStringList window{"B"};
       ASSERT_TRUE(manager.SaveStringsMerged("", "IDBackup", window));
       EXPECT_EQ((TStringList{id, "B"}), window);
       std::uint32_t type = 0;
       EXPECT_EQ(id + "\0B\0\0"s, GetRaw(HKCU, manager.GetBaseKey(), "IDBackup", &type));
       EXPECT_EQ(kRegMultiSz, type);
     }},
    {"PlacementRoundTrip",
     [](TQBXConfigManager& manager) {
       TTestForm saved("formVeilmark", kStored, TWindowState::wsMinimized);
       ASSERT_TRUE(manager.SaveFormPlacement(saved));
       EXPECT_EQ(640, GetDword(HKCU, FormKey("formVeilmark"), "Width"));
       EXPECT_EQ(1, GetDword(HKCU, FormKey("formVeilmark"), "WindowState"));
       TTestForm restored("formVeilmark");
       EXPECT_TRUE(manager.RestoreFormPlacement(restored));
       EXPECT_EQ(kStored, restored.NormalBounds());
       EXPECT_EQ(TWindowState::wsMinimized, restored.WindowState());
     }},
    {"MaximisedFormKeepsTheNormalBounds",
     [](TQBXConfigManager& manager) {
       TTestForm form("formVeilmark", kStored);
       ASSERT_TRUE(manager.SaveFormPlacement(form));
       form.SetNormalBounds({0, 0, 1024, 768});
       form.SetWindowState(TWindowState::wsMaximized);
       ASSERT_TRUE(manager.SaveFormPlacement(form));
       EXPECT_EQ(2, GetDword(HKCU, FormKey("formVeilmark"), "WindowState"));
       TTestForm restored("formVeilmark");
       EXPECT_TRUE(manager.RestoreFormPlacement(restored));
       EXPECT_EQ(kStored, restored.NormalBounds());
       EXPECT_EQ(TWindowState::wsMaximized, restored.WindowState());
     }},
    {"NoPlacementChangesNothing",
     [](TQBXConfigManager& manager) {
       TTestForm form("formVeilmark", kStored, TWindowState::wsMaximized);
       EXPECT_FALSE(manager.RestoreFormPlacement(form));
       EXPECT_EQ(kStored, form.NormalBounds());
       EXPECT_EQ(TWindowState::wsMaximized, form.WindowState());
     }},
    {"PartialPlacementMovesButKeepsTheSize",
     [](TQBXConfigManager& manager) {
       PutDword(HKCU, FormKey("formVeilmark"), "Left", 300);
       PutDword(HKCU, FormKey("formVeilmark"), "Top", -40);
       TTestForm form("formVeilmark", kStored);
       EXPECT_FALSE(manager.RestoreFormPlacement(form));
       EXPECT_EQ((TFormBounds{300, -40, 640, 480}), form.NormalBounds());
     }},
    {"ValuesOfOtherTypesOrStatesAreIgnored",
     [](TQBXConfigManager& manager) {
       TTestForm saved("formVeilmark", {1, 2, 3, 4}, TWindowState::wsNormal);
       ASSERT_TRUE(manager.SaveFormPlacement(saved));
       PutRaw(HKCU, FormKey("formVeilmark"), "Left", kRegSz, "1\0"s);
       for (std::int32_t state : {3, 258, -1}) {
         PutDword(HKCU, FormKey("formVeilmark"), "WindowState", state);
         TTestForm form("formVeilmark", kStored, TWindowState::wsMinimized);
         EXPECT_FALSE(manager.RestoreFormPlacement(form)) << state;
         EXPECT_EQ((TFormBounds{10, 2, 3, 4}), form.NormalBounds());
         EXPECT_EQ(TWindowState::wsMinimized, form.WindowState()) << state;
       }
     }},
    {"MachinePlacementWins",
     [](TQBXConfigManager& manager) {
       TTestForm user("formVeilmark", {1, 1, 500, 300});
       TTestForm machine("formVeilmark", kStored, TWindowState::wsMaximized);
       ASSERT_TRUE(manager.SaveFormPlacement(user));
       ASSERT_TRUE(manager.SaveFormPlacement(machine, true));  // keeps no bounds of its own
       TTestForm form("formVeilmark");
       EXPECT_TRUE(manager.RestoreFormPlacement(form));
       EXPECT_EQ((TFormBounds{1, 1, 500, 300}), form.NormalBounds());
       EXPECT_EQ(TWindowState::wsMaximized, form.WindowState());
     }},
    {"FailedMachineSaveIsRetriedForTheUser",
     [](TQBXConfigManager& manager) {
       TFaultyRegistry faulty(RegistryApi());
       TUseRegistryApi use(faulty);
       TTestForm form("formVeilmark", kStored);
       EXPECT_TRUE(manager.SaveFormPlacement(form, true));
       EXPECT_EQ(640, GetDword(HKCU, FormKey("formVeilmark"), "Width"));
       EXPECT_EQ("<missing>", GetRaw(HKLM, FormKey("formVeilmark"), "Width"));
       faulty.FailWritesUnder.clear();
       EXPECT_TRUE(manager.SaveFormPlacement(form, true));
       EXPECT_EQ(640, GetDword(HKLM, FormKey("formVeilmark"), "Width"));
     }},
    {"FailedUserSaveReportsFalse",
     [](TQBXConfigManager& manager) {
       TFaultyRegistry faulty(RegistryApi());
       faulty.FailWritesUnder = {HKLM, HKCU};
       TUseRegistryApi use(faulty);
       TTestForm form("formVeilmark", kStored);
       EXPECT_FALSE(manager.SaveFormPlacement(form));
       EXPECT_FALSE(manager.SaveFormPlacement(form, true));
       // A list's write error is the caller's to handle.
       EXPECT_THROW(manager.SaveStrings("", "IDBackup", TStringList{"x"}), ERegistryException);
     }},
    {"AllFormsAreVisited",
     [](TQBXConfigManager& manager) {
       TTestForm first("formFirst", kStored), second("formSecond", {5, 6, 7, 8});
       TTestApplication application;
       application.Forms = {&first, &second};
       manager.SetApplication(&application);
       ASSERT_TRUE(manager.SaveFormPlacement(second));
       second.SetNormalBounds({0, 0, 1, 1});
       EXPECT_FALSE(manager.RestoreAllForms());                      // the first has nothing stored ...
       EXPECT_EQ((TFormBounds{5, 6, 7, 8}), second.NormalBounds());  // ... the second is restored anyway
       EXPECT_TRUE(manager.SaveAllForms());
       EXPECT_TRUE(manager.RestoreAllForms());
       manager.SetApplication(nullptr);
     }},
};

class ConfigManagerTable : public ::testing::TestWithParam<std::tuple<TBackendKind, TManagerCase>> {};
using TParam = std::tuple<TBackendKind, TManagerCase>;

TEST_P(ConfigManagerTable, Case) {
  TRegistryFixture fixture(std::get<0>(GetParam()));
  TQBXConfigManager manager;
  manager.ApplicationName = TestKeyName();
  std::get<1>(GetParam()).Run(manager);
}

INSTANTIATE_TEST_SUITE_P(Backends, ConfigManagerTable,
                         ::testing::Combine(::testing::ValuesIn(RegistryBackends()),
                                            ::testing::ValuesIn(kManagerCases)),
                         BackendCaseName<TParam>);

TEST(ConfigManager, KeysOfTheMakerAndTheApplication) {
  EXPECT_EQ("Quembrix Limited", ConfigManager.CompanyName);
  TQBXConfigManager manager;
  manager.ApplicationName = "Veilmark";
  EXPECT_EQ("\\Software\\Quembrix Limited\\Veilmark\\", manager.GetBaseKey());
  EXPECT_EQ("\\Software\\Quembrix Limited\\Veilmark\\UI\\Forms\\formVeilmark",
            manager.GetFormKey(TTestForm("formVeilmark")));
  EXPECT_TRUE(manager.RestoreAllForms());  // no application, no forms
}

}  // namespace
}  // namespace vm::test

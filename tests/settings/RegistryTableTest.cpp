// One table of registry cases, run against every backend of the build: the in-memory
// model on the host, and under Wine the model and the real registry. A row that passes on
// one backend and fails on the other marks a place where the model is not faithful.
#include <gtest/gtest.h>

#include <functional>
#include <tuple>

#include "base/StringList.h"
#include "settings/MemoryRegistry.h"
#include "settings/MyRegistry.h"
#include "settings/rqMulticonfigRead.h"
#include "tests/settings/RegistryFixture.h"

namespace vm::test {
namespace {

using namespace std::string_literals;

const THKey HKCU = kHKeyCurrentUser;
const THKey HKLM = kHKeyLocalMachine;

std::string ThrownMessage(const std::function<void()>& action) {
  try {
    action();
  } catch (const ERegistryException& e) {
    return e.Message();
  }
  return "<nothing thrown>";
}

struct TRegistryCase {
  std::string Name;
  std::function<void(TRegistryBackend&)> Run;
  friend void PrintTo(const TRegistryCase& row, std::ostream* os) { *os << row.Name; }
};

const TRegistryCase kRegistryCases[] = {
    // --- Values through TRegistry, TMyRegistry and the functions ---
    {"StringsAreStoredWithTheirNul",
     [](TRegistryBackend&) {
       ASSERT_TRUE(RegWriteValue(HKCU, TestKey("s"), "Name", "hello", rkString));
       std::uint32_t type = 0;
       EXPECT_EQ("hello\0"s, GetRaw(HKCU, TestKey("s"), "Name", &type));
       EXPECT_EQ(kRegSz, type);
       std::string text;
       EXPECT_TRUE(RegReadText(HKCU, TestKey("s"), "Name", text));
       EXPECT_EQ("hello", text);
     }},
    {"ExpandableStringsReadUnexpanded",
     [](TRegistryBackend&) {
       ASSERT_TRUE(RegWriteValue(HKCU, TestKey("s"), "Path", "%SystemRoot%\\x", rkExpandString));
       std::string text;
       EXPECT_TRUE(RegReadText(HKCU, TestKey("s"), "Path", text));
       EXPECT_EQ("%SystemRoot%\\x", text);
       TMyRegistry reg;
       ASSERT_TRUE(reg.OpenReadOnly(TestKey("s")));
       EXPECT_EQ(rkExpandString, reg.GetValueKind("Path"));
     }},
    {"AnsiTextRoundTrips",
     [](TRegistryBackend&) {
       ASSERT_TRUE(RegWriteStrings(HKCU, TestKey("ansi"), "List", TStringList{"caf\xE9", "\xC4rger"}));
       TStringList list;
       EXPECT_TRUE(ReadConfigStrings({HKCU}, {TestKey("ansi")}, "List", list));
       EXPECT_EQ((TStringList{"caf\xE9", "\xC4rger"}), list);
     }},
    {"DefaultValueHasTheEmptyName",
     [](TRegistryBackend&) {
       ASSERT_TRUE(RegWriteValue(HKCU, TestKey("d"), "", "default", rkString));
       std::string text;
       EXPECT_TRUE(RegReadText(HKCU, TestKey("d"), "", text));
       EXPECT_EQ("default", text);
     }},
    {"ReadTextRefusesOtherKindsAndMissingPlaces",
     [](TRegistryBackend&) {
       PutRaw(HKCU, TestKey("r"), "Number", kRegDword, "\x07\0\0\0"s);
       std::string text = "unchanged";
       EXPECT_FALSE(RegReadText(HKCU, TestKey("r"), "Number", text));
       EXPECT_FALSE(RegReadText(HKCU, TestKey("r"), "Missing", text));
       EXPECT_FALSE(RegReadText(HKCU, TestKey("nowhere"), "Number", text));
       EXPECT_EQ("unchanged", text);
     }},
    {"WriteValueWritesOnlyTextKinds",
     [](TRegistryBackend&) {
       EXPECT_FALSE(RegWriteValue(HKCU, TestKey("w"), "Bin", "abc", rkBinary));
       EXPECT_EQ("<missing>", GetRaw(HKCU, TestKey("w"), "Bin"));
     }},
    {"MultiStringBytesAndText",
     [](TRegistryBackend&) {
       ASSERT_TRUE(RegWriteStrings(HKCU, TestKey("m"), "List", TStringList{"x", "y"}));
       std::uint32_t type = 0;
       EXPECT_EQ("x\0y\0\0"s, GetRaw(HKCU, TestKey("m"), "List", &type));
       EXPECT_EQ(kRegMultiSz, type);
       TMyRegistry reg;
       ASSERT_TRUE(reg.OpenReadOnly(TestKey("m")));
       EXPECT_EQ("x\r\ny\r\n", reg.ReadMultiString("List"));
       std::string text;
       EXPECT_TRUE(RegReadText(HKCU, TestKey("m"), "List", text));
       EXPECT_EQ("x\r\ny\r\n", text);
     }},
    {"EmptyListIsOneNul",
     [](TRegistryBackend&) {
       ASSERT_TRUE(RegWriteStrings(HKCU, TestKey("m"), "Empty", TStringList{}));
       EXPECT_EQ("\0"s, GetRaw(HKCU, TestKey("m"), "Empty"));
       TStringList list{"old"};
       EXPECT_TRUE(ReadConfigStrings({HKCU}, {TestKey("m")}, "Empty", list));
       EXPECT_TRUE(list.Empty());
     }},
    {"MultiStringWithoutFinalPairOrWithEmptyStrings",
     [](TRegistryBackend&) {
       PutRaw(HKCU, TestKey("m"), "Short", kRegMultiSz, "a\0b\0"s);
       PutRaw(HKCU, TestKey("m"), "Bare", kRegMultiSz, "a\0b"s);
       PutRaw(HKCU, TestKey("m"), "Gaps", kRegMultiSz, "a\0\0b\0\0"s);
       TMyRegistry reg;
       ASSERT_TRUE(reg.OpenReadOnly(TestKey("m")));
       EXPECT_EQ("a\r\nb", reg.ReadMultiString("Short"));
       EXPECT_EQ("a\r\nb", reg.ReadMultiString("Bare"));
       EXPECT_EQ("a\r\n\r\nb\r\n", reg.ReadMultiString("Gaps"));
       EXPECT_EQ("", reg.ReadMultiString("Missing"));
     }},
    {"MultiStringOfAnotherTypeIsAnError",
     [](TRegistryBackend&) {
       PutRaw(HKCU, TestKey("m"), "Text", kRegSz, "abc\0"s);
       TMyRegistry reg;
       ASSERT_TRUE(reg.OpenReadOnly(TestKey("m")));
       EXPECT_EQ("Invalid data type for 'Text'", ThrownMessage([&] { reg.ReadMultiString("Text"); }));
     }},
    {"IntegersAndBinaryThroughThePlainObject",
     [](TRegistryBackend&) {
       TRegistry reg;
       ASSERT_TRUE(reg.OpenKey(TestKey("p"), true));
       reg.WriteInteger("Int", -5);
       reg.WriteBinaryData("Bin", "\x01\x02\x03", 3);
       reg.WriteString("Str", "12");
       EXPECT_EQ(-5, reg.ReadInteger("Int"));
       EXPECT_EQ(TRegDataType::rdInteger, reg.GetDataType("Int"));
       EXPECT_EQ(4, reg.GetDataSize("Int"));
       char buffer[8] = {};
       EXPECT_EQ(3, reg.ReadBinaryData("Bin", buffer, sizeof buffer));
       EXPECT_EQ("\x01\x02\x03", std::string(buffer));
       EXPECT_EQ("Invalid data type for 'Str'", ThrownMessage([&] { reg.ReadInteger("Str"); }));
       EXPECT_EQ("Failed to get data for 'None'", ThrownMessage([&] { reg.ReadInteger("None"); }));
       EXPECT_FALSE(reg.ValueExists("None"));
       EXPECT_EQ(-1, reg.GetDataSize("None"));
     }},
    {"KindsMapToRegistryTypes",
     [](TRegistryBackend&) {
       TMyRegistry reg;
       ASSERT_TRUE(reg.OpenForWrite(TestKey("k"), true));
       const std::uint32_t dword = 0x01020304;
       const std::uint64_t qword = 42;
       reg.PutKindData("BE", &dword, rkIntegerBE, 4);
       reg.PutKindData("LE", &dword, rkIntegerLE, 4);
       reg.PutKindData("Q", &qword, rkQWordLE, 8);
       reg.PutKindData("Top", &dword, 0x80 | rkIntegerBE, 4);  // the top bit is ignored
       EXPECT_EQ(rkIntegerBE, reg.GetValueKind("BE"));
       EXPECT_EQ(rkInteger, reg.GetValueKind("LE"));
       EXPECT_EQ(rkQWord, reg.GetValueKind("Q"));
       EXPECT_EQ(rkIntegerBE, reg.GetValueKind("Top"));
       EXPECT_EQ(rkUnknown, reg.GetValueKind("Missing"));

       std::uint32_t read = 0;
       std::uint8_t kind = rkIntegerLE;  // a DWORD alias keeps its kind
       EXPECT_EQ(4, reg.GetKindData("LE", &read, kind, 4));
       EXPECT_EQ(rkIntegerLE, kind);
       EXPECT_EQ(dword, read);
       kind = rkIntegerAlt;
       reg.GetKindData("LE", &read, kind, 4);
       EXPECT_EQ(rkIntegerAlt, kind);
       std::uint64_t q = 0;
       kind = rkQWordLE;  // but a QWORD always reads as rkQWord
       EXPECT_EQ(8, reg.GetKindData("Q", &q, kind, 8));
       EXPECT_EQ(rkQWord, kind);
       EXPECT_EQ(qword, q);
       kind = rkMultiString;  // a direct read reports the actual kind
       reg.GetKindData("BE", &read, kind, 4);
       EXPECT_EQ(rkIntegerBE, kind);
       EXPECT_EQ("Failed to get data for 'Missing'",
                 ThrownMessage([&] { reg.GetKindData("Missing", &read, kind, 4); }));
     }},
    {"WritesThroughAReadOnlyKeyFail",
     [](TRegistryBackend&) {
       ASSERT_TRUE(RegWriteValue(HKCU, TestKey("ro"), "v", "1", rkString));
       TMyRegistry reg;
       ASSERT_TRUE(reg.OpenReadOnly(TestKey("ro")));
       const std::uint32_t dword = 1;
       EXPECT_EQ("Failed to set data for 'v'", ThrownMessage([&] { reg.PutKindData("v", &dword, rkInteger, 4); }));
       EXPECT_EQ("Failed to set data for 'v'", ThrownMessage([&] { reg.PutKindData("v", &dword, rkIntegerBE, 4); }));
       EXPECT_EQ("Failed to set data for 'w'", ThrownMessage([&] { reg.WriteMultiString("w", "a\r\n"); }));
     }},

    // --- Keys, paths and views ---
    {"RelativeAndAbsolutePaths",
     [](TRegistryBackend&) {
       TMyRegistry reg;
       const std::string base = TestKey("a").substr(1, TestKey("a").size() - 2);  // without the backslashes
       ASSERT_TRUE(reg.OpenForWrite("\\" + base, true));
       EXPECT_EQ(base, reg.CurrentPath());
       ASSERT_TRUE(reg.OpenForWrite("b", true));  // below the current key
       EXPECT_EQ(base + "\\b", reg.CurrentPath());
       ASSERT_TRUE(reg.OpenReadOnly("\\" + base));
       EXPECT_EQ(base, reg.CurrentPath());
       ASSERT_TRUE(reg.OpenReadOnly("b", true, true));
       EXPECT_EQ(base + "\\b", reg.CurrentPath());
       ASSERT_TRUE(reg.OpenReadOnly(base, true, false));  // from the root, without a backslash
       EXPECT_EQ(base, reg.CurrentPath());
       EXPECT_FALSE(reg.OpenReadOnly("missing"));
       EXPECT_EQ(base, reg.CurrentPath());  // a failed open keeps the current key
       EXPECT_TRUE(reg.KeyExistsInView("b"));
       EXPECT_FALSE(reg.KeyExistsInView("c"));
       EXPECT_EQ(base, reg.CurrentPath());
     }},
    {"SubkeyNamesInOrder",
     [](TRegistryBackend&) {
       TRegistry reg;
       for (const char* name : {"b", "A", "c"}) ASSERT_TRUE(reg.OpenKey(TestKey("n\\") + name, true));
       ASSERT_TRUE(reg.OpenKeyReadOnly(TestKey("n")));
       TStringList names;
       reg.GetKeyNames(names);
       EXPECT_EQ((TStringList{"A", "b", "c"}), names);
     }},
    {"KeyNamesIgnoreCase",
     [](TRegistryBackend&) {
       ASSERT_TRUE(RegWriteValue(HKCU, TestKey("Case\\Sub"), "Value", "v", rkString));
       std::string text;
       EXPECT_TRUE(RegReadText(HKCU, TestKey("CASE\\sub"), "VALUE", text));
       EXPECT_EQ("v", text);
     }},
    {"ViewsDifferUnderTheMachineSoftwareKey",
     [](TRegistryBackend&) {
       ASSERT_TRUE(RegWriteValue(HKLM, TestKey("v"), "Bits", "32", rkString, 32));
       ASSERT_TRUE(RegWriteValue(HKLM, TestKey("v"), "Bits", "64", rkString, 64));
       std::string text;
       EXPECT_TRUE(RegReadText(HKLM, TestKey("v"), "Bits", text, 32));
       EXPECT_EQ("32", text);
       EXPECT_TRUE(RegReadText(HKLM, TestKey("v"), "Bits", text, 64));
       EXPECT_EQ("64", text);
       // The 32-bit view lies in Wow6432Node, as the 64-bit view shows it.
       EXPECT_TRUE(RegReadText(HKLM, "\\Software\\Wow6432Node\\" + TestKeyName() + "\\v", "Bits", text, 64));
       EXPECT_EQ("32", text);
       ASSERT_TRUE(RegWriteValue(HKLM, TestKey("only64"), "x", "x", rkString, 64));
       EXPECT_TRUE(RegKeyExistsView(HKLM, TestKey("only64"), 1));
       EXPECT_FALSE(RegKeyExistsView(HKLM, TestKey("only64"), 0));
       EXPECT_FALSE(RegKeyExistsView(HKLM, TestKey("only64"), 7));  // the default view is the 32-bit one
     }},
    {"UserSoftwareKeyIsShared",
     [](TRegistryBackend&) {
       ASSERT_TRUE(RegWriteValue(HKCU, TestKey("shared"), "x", "user", rkString, 32));
       std::string text;
       EXPECT_TRUE(RegReadText(HKCU, TestKey("shared"), "x", text, 64));
       EXPECT_EQ("user", text);
     }},
    {"ReadOnlyOpenFallsBackToQueryRights",
     [](TRegistryBackend& backend) {
       ASSERT_TRUE(RegWriteValue(HKCU, TestKey("q"), "v", "queried", rkString));
       ASSERT_TRUE(backend.RestrictKey(HKCU, TestKey("q").substr(1), kKeyQueryValue));
       TMyRegistry reg;
       reg.SetView(64);
       const std::uint32_t access = reg.Access();
       ASSERT_TRUE(reg.OpenReadOnly(TestKey("q")));
       EXPECT_EQ(access, reg.Access());
       EXPECT_EQ("queried", reg.ReadString("v"));
       EXPECT_FALSE(reg.KeyExistsInView(TestKey("q")));  // existence asks for enumeration too
       TRegistry plain;
       EXPECT_TRUE(plain.OpenKeyReadOnly(TestKey("q")));
       EXPECT_FALSE(plain.OpenKey(TestKey("q"), false));  // full access is refused
     }},

    // --- The configuration reader ---
    {"MachineWinsOverUser",
     [](TRegistryBackend&) {
       PutRaw(HKCU, TestKey("c"), "Num", kRegDword, "\x01\0\0\0"s);
       PutRaw(HKLM, TestKey("c"), "Num", kRegDword, "\x02\0\0\0"s);
       RegWriteStrings(HKCU, TestKey("c"), "List", TStringList{"user"});
       RegWriteStrings(HKLM, TestKey("c"), "List", TStringList{"machine", "wide"});
       std::int32_t value = 0;
       EXPECT_TRUE(ReadConfigInteger({HKLM, HKCU}, {TestKey("c")}, "Num", value));
       EXPECT_EQ(2, value);
       TStringList list;
       EXPECT_TRUE(ReadConfigStrings({HKLM, HKCU}, {TestKey("c")}, "List", list));
       EXPECT_EQ((TStringList{"machine", "wide"}), list);
       EXPECT_TRUE(ReadConfigInteger({HKCU, HKLM}, {TestKey("c")}, "Num", value));
       EXPECT_EQ(1, value);
     }},
    {"LastKeyPathWins",
     [](TRegistryBackend&) {
       PutRaw(HKCU, TestKey("first"), "Num", kRegDword, "\x01\0\0\0"s);
       PutRaw(HKCU, TestKey("second"), "Num", kRegDword, "\x02\0\0\0"s);
       std::int32_t value = 0;
       EXPECT_TRUE(ReadConfigInteger({HKCU}, {TestKey("first"), TestKey("second")}, "Num", value));
       EXPECT_EQ(2, value);
       EXPECT_TRUE(ReadConfigInteger({HKCU}, {TestKey("first"), TestKey("none")}, "Num", value));
       EXPECT_EQ(1, value);
     }},
    {"OnlyTheExpectedTypeCounts",
     [](TRegistryBackend&) {
       PutRaw(HKCU, TestKey("t"), "Num", kRegSz, "42\0"s);
       PutRaw(HKCU, TestKey("t"), "Short", kRegDword, "\x01\0"s);
       PutRaw(HKCU, TestKey("t"), "List", kRegSz, "a\0"s);
       std::int32_t value = 7;
       EXPECT_FALSE(ReadConfigInteger({HKLM, HKCU}, {TestKey("t")}, "Num", value));
       EXPECT_FALSE(ReadConfigInteger({HKLM, HKCU}, {TestKey("t")}, "Short", value));
       EXPECT_EQ(7, value);
       TStringList list{"kept"};
       EXPECT_FALSE(ReadConfigStrings({HKLM, HKCU}, {TestKey("t")}, "List", list));
       EXPECT_EQ((TStringList{"kept"}), list);
     }},
    {"NoRootsOrNoKeysFindNothing",
     [](TRegistryBackend&) {
       PutRaw(HKCU, TestKey("e"), "Num", kRegDword, "\x01\0\0\0"s);
       std::int32_t value = 7;
       EXPECT_FALSE(ReadConfigInteger({}, {TestKey("e")}, "Num", value));
       EXPECT_FALSE(ReadConfigInteger({HKCU}, {}, "Num", value));
       EXPECT_EQ(7, value);
       TStringList list{"kept"};
       EXPECT_FALSE(ReadConfigStrings({}, {TestKey("e")}, "Num", list));
       EXPECT_EQ((TStringList{"kept"}), list);
     }},
    {"EveryLoadedUserHiveIsRead",
     [](TRegistryBackend&) {
       const TStringList& hives = UserHives();
       ASSERT_GE(hives.Count(), 2);
       const std::string first = "\\" + hives[0], last = "\\" + hives[hives.Count() - 1];
       PutRaw(kHKeyUsers, first + TestKey("h"), "Num", kRegDword, "\x01\0\0\0"s);
       std::int32_t value = 0;
       EXPECT_TRUE(ReadConfigInteger({kHKeyUsers}, {TestKey("h")}, "Num", value));
       EXPECT_EQ(1, value);
       PutRaw(kHKeyUsers, last + TestKey("h"), "Num", kRegDword, "\x02\0\0\0"s);
       EXPECT_TRUE(ReadConfigInteger({kHKeyUsers}, {TestKey("h")}, "Num", value));
       EXPECT_EQ(2, value);
     }},
    {"CurrentUserIsOneOfTheHives",
     [](TRegistryBackend&) {
       RegWriteStrings(HKCU, TestKey("u"), "List", TStringList{"mine"});
       TStringList list;
       EXPECT_TRUE(ReadConfigStrings({kHKeyUsers}, {TestKey("u")}, "List", list));
       EXPECT_EQ((TStringList{"mine"}), list);
     }},
};

class RegistryTable : public ::testing::TestWithParam<std::tuple<TBackendKind, TRegistryCase>> {};
using TParam = std::tuple<TBackendKind, TRegistryCase>;

TEST_P(RegistryTable, Case) {
  TRegistryFixture fixture(std::get<0>(GetParam()));
  std::get<1>(GetParam()).Run(fixture.Backend());
}

INSTANTIATE_TEST_SUITE_P(Backends, RegistryTable,
                         ::testing::Combine(::testing::ValuesIn(RegistryBackends()),
                                            ::testing::ValuesIn(kRegistryCases)),
                         BackendCaseName<TParam>);

TEST(MyRegistry, SetViewRefusesOtherWidthsAndKeepsTheMask) {
  TMyRegistry reg;
  reg.SetView(64);
  const std::uint32_t access = reg.Access();
  EXPECT_EQ(kKeyAllAccess | kKeyWow64_64Key, access);
  EXPECT_EQ("Windows Registry only supported with 32 or 64 bits!", ThrownMessage([&] { reg.SetView(48); }));
  EXPECT_EQ(access, reg.Access());
  EXPECT_EQ(64, reg.View());
  reg.SetView(32);
  EXPECT_EQ(kKeyAllAccess, reg.Access());
}

TEST(MyRegistry, KeyExistsViewSwallowsErrors) {
  TMemoryRegistry model;
  TUseRegistryApi use(model);
  EXPECT_FALSE(RegKeyExistsView(THKey(0x1234), "\\Software", 0));  // not a key handle
  EXPECT_TRUE(RegKeyExistsView(kHKeyLocalMachine, "\\Software", 0));
}

TEST(MyRegistry, PlainObjectLeavesNoKeyOpen) {
  TMemoryRegistry model;
  TUseRegistryApi use(model);
  {
    TMyRegistry reg;
    ASSERT_TRUE(reg.OpenForWrite("\\Software\\a\\b", true));
    EXPECT_FALSE(reg.OpenReadOnly("c", true, true));
    ASSERT_TRUE(reg.OpenForWrite("\\Software\\a", false));
    EXPECT_EQ(1, model.OpenHandleCount());
  }
  EXPECT_EQ(0, model.OpenHandleCount());
}

// Lists survive the trip through multi-string data, empty lines included.
TEST(MultiString, ListsRoundTrip) {
  const TStringList lists[] = {{}, {""}, {"a"}, {"a", ""}, {"", "b"}, {"11111111-2222-3333-4444-555555555555", "x"}};
  for (const TStringList& list : lists) {
    TStringList back;
    back.SetText(TextFromMultiString(MultiStringFromText(list.Text())));
    EXPECT_EQ(list, back) << list.Text();
  }
  EXPECT_EQ("a\0b\0"s, MultiStringFromText("a\r\nb"));
  EXPECT_EQ("\r\0"s, MultiStringFromText("\r"));  // a lone CR is kept
}

}  // namespace
}  // namespace vm::test

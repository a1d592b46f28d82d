// Covers base/StringList: line splitting and joining, sorting, name=value access, files.
#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>

#include "base/Exception.h"
#include "base/FileIO.h"
#include "base/StringList.h"

using vm::TStringList;

namespace {

struct SplitRow {
  const char* why;
  std::string text;
  std::vector<std::string> lines;
  std::string joined;
};

TEST(StringList, SplitsAndJoinsLineBreaksOfEveryKind) {
  using namespace std::string_literals;
  const SplitRow rows[] = {
      {"empty text gives the empty list", "", {}, ""},
      {"one line without a break", "a", {"a"}, "a\r\n"},
      {"CR LF", "a\r\nb\r\n", {"a", "b"}, "a\r\nb\r\n"},
      {"lone LF, no final break", "a\nb", {"a", "b"}, "a\r\nb\r\n"},
      {"lone CR", "a\rb\r", {"a", "b"}, "a\r\nb\r\n"},
      {"LF CR is two breaks", "a\n\rb", {"a", "", "b"}, "a\r\n\r\nb\r\n"},
      {"CR CR LF is an empty line", "a\r\r\nb", {"a", "", "b"}, "a\r\n\r\nb\r\n"},
      {"empty lines kept", "\n\n", {"", ""}, "\r\n\r\n"},
      {"NUL ends the text", "a\nb\0c\nd"s, {"a", "b"}, "a\r\nb\r\n"},
      {"NUL first", "\0abc"s, {}, ""},
  };
  for (const auto& row : rows) {
    TStringList list;
    list.SetText(row.text);
    EXPECT_EQ(list.Items(), row.lines) << row.why;
    EXPECT_EQ(list.Text(), row.joined) << row.why;
  }
}

TEST(StringList, SortedListIgnoresDuplicatesRegardlessOfCase) {
  TStringList list;
  list.SetSorted(true);
  for (const char* s : {"pear", "Apple", "fig", "apple", "PEAR"}) list.Add(s);
  EXPECT_EQ(list.Items(), (std::vector<std::string>{"Apple", "fig", "pear"}));
  EXPECT_EQ(list.IndexOf("FIG"), 1);
  EXPECT_EQ(list.IndexOf("kiwi"), -1);

  list.SetDuplicates(vm::TDuplicates::dupError);
  EXPECT_THROW(list.Add("Fig"), vm::Exception);
  list.SetDuplicates(vm::TDuplicates::dupAccept);
  list.Add("Fig");
  EXPECT_EQ(list.Count(), 4);
}

TEST(StringList, NameValueAccess) {
  TStringList list{"Key=one", "key=two", "noequals", "Other=x=y", "=empty name"};
  EXPECT_EQ(list.Values("KEY"), "one") << "first line whose name matches ignoring case";
  EXPECT_EQ(list.Values("other"), "x=y") << "value is everything after the first =";
  EXPECT_EQ(list.Values("noequals"), "") << "a line without = has no name";
  EXPECT_EQ(list.Values("missing"), "");
  EXPECT_EQ(list.Values(""), "empty name");

  list.SetValue("kEy", "three");
  EXPECT_EQ(list[0], "kEy=three");
  EXPECT_EQ(list[1], "key=two") << "only the first match changes";

  list.SetValue("new", "v");
  EXPECT_EQ(list[list.Count() - 1], "new=v");

  list.SetValue("KEY", "");
  EXPECT_EQ(list.Values("key"), "two") << "empty value deletes only the first match";
  list.SetValue("absent", "");
  EXPECT_EQ(list.Count(), 5);
}

TEST(StringList, FileRoundTripAndErrors) {
  auto dir =
      std::filesystem::temp_directory_path() /
      ("vm-sl-" + std::to_string(::testing::UnitTest::GetInstance()->random_seed()) + std::to_string(std::rand()));
  std::filesystem::create_directories(dir);
  std::string path = (dir / "list.txt").string();

  TStringList list{"alpha", "", "gamma"};
  list.SaveToFile(path);
  EXPECT_EQ(vm::ReadFileDenyWrite(path), "alpha\r\n\r\ngamma\r\n");

  TStringList shorter{"x"};
  shorter.SaveToFile(path);
  EXPECT_EQ(vm::ReadFileDenyWrite(path), "x\r\n") << "saving truncates";

  TStringList loaded;
  loaded.LoadFromFile(path);
  EXPECT_EQ(loaded.Items(), std::vector<std::string>{"x"});

  std::string missing = (dir / "missing.txt").string();
  try {
    loaded.LoadFromFile(missing);
    FAIL() << "loading a missing file must throw";
  } catch (const vm::EFOpenError& e) {
    std::string prefix = "Cannot open file \"" + missing + "\". ";
    EXPECT_EQ(e.Message().substr(0, prefix.size()), prefix);
    EXPECT_GT(e.Message().size(), prefix.size()) << "the system's description follows";
  }
  std::string badDir = (dir / "no-such-dir" / "f.txt").string();
  try {
    list.SaveToFile(badDir);
    FAIL() << "saving into a missing folder must throw";
  } catch (const vm::EFCreateError& e) {
    EXPECT_EQ(e.Message().rfind("Cannot create file \"" + badDir + "\". ", 0), 0u) << e.Message();
  }
  std::filesystem::remove_all(dir);
}

}  // namespace

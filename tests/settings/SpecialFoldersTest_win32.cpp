// The special folders as Wine's shell answers them.
#include <gtest/gtest.h>

#include "base/Text.h"
#include "settings/SpecialFolders.h"

namespace vm::test {
namespace {

TEST(SpecialFoldersOnWindows, ThePlatformKnowsTheUsualFolders) {
  const std::string windows = GetWindowsDir();
  EXPECT_TRUE(SameText("C:\\windows", windows)) << windows;
  EXPECT_TRUE(StartsText(windows + "\\", GetSystemDir())) << GetSystemDir();
  EXPECT_TRUE(SameText(windows, GetSpecialFolderEx(kCsidlWindows)));
  const std::string local = GetSpecialFolder(kCsidlLocalAppData);
  EXPECT_TRUE(StartsText("C:\\users\\", local)) << local;
  EXPECT_EQ("", GetSpecialFolder(0x7F));  // no such folder
}

}  // namespace
}  // namespace vm::test

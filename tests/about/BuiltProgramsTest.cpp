// Reads what the Windows builds of this tree made, when there are any: the shipped
// program's version information must be what the About dialog expects, and the fixture
// DLL that the build's resource compiler made must read like the checked-in copy.
#include <gtest/gtest.h>

#include <filesystem>
#include <vector>

#include "about/qbxPEVersions.h"
#include "tests/about/Fixtures.h"

namespace {

std::vector<std::string> BuiltFiles(const char* relativePath) {
  std::vector<std::string> dirs = {VM_SOURCE_DIR "/build/windows", VM_SOURCE_DIR "/build/windows-x64"};
  if (const char* extra = std::getenv("VM_WINDOWS_BUILD")) dirs.push_back(extra);
  std::vector<std::string> files;
  for (const std::string& dir : dirs)
    if (std::filesystem::is_regular_file(dir + "/" + relativePath)) files.push_back(dir + "/" + relativePath);
  return files;
}

std::vector<std::string> Lines(const std::string& file, int index) {
  vm::TStringList lines;
  EXPECT_TRUE(vm::GetVersionInfo(file, index, lines)) << file;
  return lines.Items();
}

TEST(BuiltPrograms, VeilmarkVersionInformation) {
  std::vector<std::string> programs = BuiltFiles("app/veilmark.exe");
  if (programs.empty()) GTEST_SKIP() << "no Windows build of veilmark.exe in this tree";
  for (const std::string& exe : programs) {
    SCOPED_TRACE(exe);
    std::optional<vm::TVersionBlock> block = vm::LoadVersionBlock(exe);
    ASSERT_TRUE(block);
    ASSERT_EQ(block->Translations(), (std::vector<vm::TTranslation>{{0x1809, 1252}}));
    std::vector<std::string> lines = Lines(exe, 0);
    ASSERT_EQ(lines.size(), 12u);  // no Translators line
    EXPECT_EQ(lines[0], "FileVersion=0.1.0.0");
    EXPECT_EQ(lines[1], "CompanyName=Quembrix Limited");
    EXPECT_EQ(lines[2], "InternalName=");
    EXPECT_EQ(lines[3], "Comments=");
    EXPECT_NE(lines[4].find("Quembrix Limited"), std::string::npos) << lines[4];
    EXPECT_EQ(lines[5], "LegalTrademarks=");
    EXPECT_EQ(lines[6], "OriginalFilename=");
    EXPECT_EQ(lines[7], "ProductName=Veilmark");
    EXPECT_EQ(lines[8], "ProductVersion=0.1.0.0");
    EXPECT_EQ(lines[9], "FileDescription=Anonymizes Googles Chrome browser.");
  }
}

TEST(BuiltPrograms, BuiltFixtureReadsLikeTheCheckedInOne) {
  std::vector<std::string> fixtures = BuiltFiles("tests/about/version_fixture.dll");
  if (fixtures.empty()) GTEST_SKIP() << "no Windows build of the fixture DLL in this tree";
  const std::string checkedIn = vmtest::FixturePath("versions64.dll");
  for (const std::string& dll : fixtures) {
    ASSERT_EQ(vm::GetTranslationCount(dll), 3) << dll;
    for (int index = 0; index < 3; ++index) EXPECT_EQ(Lines(dll, index), Lines(checkedIn, index)) << dll;
  }
}

}  // namespace

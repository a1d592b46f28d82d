// Holds the reader against the platform's version library (GetFileVersionInfoSizeA,
// GetFileVersionInfoA, VerQueryValueA): the same translations and the same lines, for this
// test program, the fixtures and DLLs of the system. Extend kCheckedFiles to check more.
#include <windows.h>

#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "about/qbxPEVersions.h"
#include "tests/about/Fixtures.h"

namespace {

std::string OwnExecutable() {
  char path[MAX_PATH];
  DWORD n = GetModuleFileNameA(nullptr, path, MAX_PATH);
  return std::string(path, n);
}

std::string SystemFile(const char* name) {
  char dir[MAX_PATH];
  UINT n = GetSystemDirectoryA(dir, MAX_PATH);
  return std::string(dir, n) + "\\" + name;
}

std::vector<std::string> CheckedFiles() {
  std::vector<std::string> files = {
      OwnExecutable(),
      VM_BUILT_FIXTURE,
      vmtest::FixturePath("versions32.dll"),
      vmtest::FixturePath("versions64.dll"),
      vmtest::FixturePath("languages.dll"),
      vmtest::FixturePath("other.dll"),
      vmtest::FixturePath("missing.dll"),
      SystemFile("kernel32.dll"),
      SystemFile("comctl32.dll"),
      SystemFile("shell32.dll"),
      SystemFile("version.dll"),
      SystemFile("user32.dll"),
  };
#ifdef VM_VEILMARK_EXE
  files.push_back(VM_VEILMARK_EXE);
#endif
  return files;
}

// What the platform's library gives for one file: its translations and, per translation,
// the key table's lines under the same rules as the reader's.
struct TPlatformInfo {
  std::vector<vm::TTranslation> Translations;
  std::vector<std::vector<std::string>> Lines;
};

std::string PlatformValue(const std::vector<char>& block, const std::string& path) {
  void* value = nullptr;
  UINT length = 0;
  if (!VerQueryValueA(block.data(), path.c_str(), &value, &length) || !value) return std::string();
  const char* text = static_cast<const char*>(value);
  return std::string(text, strnlen(text, length));
}

TPlatformInfo ReadWithPlatform(const std::string& file) {
  TPlatformInfo info;
  DWORD ignored = 0;
  DWORD size = GetFileVersionInfoSizeA(file.c_str(), &ignored);
  if (size == 0) return info;
  std::vector<char> block(size);
  if (!GetFileVersionInfoA(file.c_str(), 0, size, block.data())) return info;
  void* value = nullptr;
  UINT length = 0;
  if (!VerQueryValueA(block.data(), "\\VarFileInfo\\Translation", &value, &length) || !value) return info;
  for (UINT at = 0; at + 4 <= length; at += 4) {
    WORD pair[2];
    std::memcpy(pair, static_cast<const char*>(value) + at, sizeof pair);
    info.Translations.push_back(vm::TTranslation{pair[0], pair[1]});
  }
  for (vm::TTranslation translation : info.Translations) {
    std::vector<std::string> lines;
    for (std::string_view key : vm::VersionKeys) {
      std::string text = PlatformValue(block, vm::VersionStringPath(key, translation));
      if (key != "Translators" || !text.empty()) lines.push_back(std::string(key) + "=" + text);
    }
    info.Lines.push_back(lines);
  }
  return info;
}

TEST(PlatformVersions, ReaderMatchesThePlatformLibrary) {
  int withVersionInfo = 0;
  for (const std::string& file : CheckedFiles()) {
    SCOPED_TRACE(file);
    TPlatformInfo platform = ReadWithPlatform(file);
    int count = vm::GetTranslationCount(file);
    ASSERT_EQ(count, int(platform.Translations.size()));
    std::optional<vm::TVersionBlock> block = vm::LoadVersionBlock(file);
    EXPECT_EQ(block ? block->Translations() : std::vector<vm::TTranslation>(), platform.Translations);
    for (int index = 0; index < count; ++index) {
      vm::TStringList lines;
      ASSERT_TRUE(vm::GetVersionInfo(file, index, lines)) << "translation " << index;
      EXPECT_EQ(lines.Items(), platform.Lines[size_t(index)]) << "translation " << index;
    }
    if (count > 0) ++withVersionInfo;
  }
  // Guards the comparison itself: most files must have had something to compare.
  EXPECT_GE(withVersionInfo, 9);
}

TEST(PlatformVersions, OwnVersionInformation) {
  vm::TStringList lines;
  ASSERT_EQ(vm::GetTranslationCount(OwnExecutable()), 1);
  ASSERT_TRUE(vm::GetVersionInfo(OwnExecutable(), 0, lines));
  EXPECT_EQ(lines.Values("ProductName"), "Veilmark about tests");
  EXPECT_EQ(lines.Values("LegalCopyright"), "Copyright \xA9 Quembrix Limited");
  EXPECT_EQ(lines.Count(), 12);
}

}  // namespace

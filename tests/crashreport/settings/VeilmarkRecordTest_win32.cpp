// veilmark.exe carries the same settings record as the one checked key by key in
// ShippedRecordTest: read from the program file with the Windows resource functions.
#include <windows.h>

#include <gtest/gtest.h>

#include "crashreport/settings/CrashSettings.h"
#include "tests/crashreport/common/ShippedRecord.h"

#ifdef VM_VEILMARK_EXE
namespace vm {
namespace {

std::string ResourceOf(const char* file) {
  HMODULE module = LoadLibraryExA(file, nullptr, LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE);
  if (!module) return {};
  std::string bytes;
  if (HRSRC info = FindResourceA(module, "TZENTRAPIX", MAKEINTRESOURCEA(10) /* RT_RCDATA */)) {
    HGLOBAL data = LoadResource(module, info);
    const char* p = static_cast<const char*>(LockResource(data));
    if (p) bytes.assign(p, SizeofResource(module, info));
  }
  FreeLibrary(module);
  return bytes;
}

TEST(VeilmarkRecord, ProgramCarriesTheShippedRecord) {
  std::string program = ResourceOf(VM_VEILMARK_EXE);
  ASSERT_FALSE(program.empty()) << VM_VEILMARK_EXE << " has no TZENTRAPIX resource";
  std::optional<std::string> shipped = ShippedRecordBytes();
  ASSERT_TRUE(shipped);
  EXPECT_EQ(program, *shipped);
}

}  // namespace
}  // namespace vm
#endif

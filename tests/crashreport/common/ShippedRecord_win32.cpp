// Under Windows the record is read back from the test program's own resource, linked in
// from vm_crash_resource exactly as into veilmark.exe, through the real system seam
// (FindResourceA, LoadResource, LockResource, SizeofResource).
#include <windows.h>

#include <gtest/gtest.h>

#include "crashreport/settings/CrashSettings.h"
#include "crashreport/settings/CrashSettingsModules.h"
#include "tests/crashreport/common/ShippedRecord.h"

namespace vm {

std::optional<std::string> ShippedRecordBytes() {
  return PlatformCrashSystem().SettingsResource(PlatformCrashSystem().ExeModule());
}

namespace {

TEST(ShippedRecordWin32, ProgramReadsItsOwnSettings) {
  std::optional<TCrashPropertyList> record = LoadProgramSettingsRecord();
  ASSERT_TRUE(record);
  std::string lines = FormatSettingsRecord(*record);
  EXPECT_NE(lines.find("HttpServer T \"https://crashreport.quembrix.com/submit.php\"\r\n"), std::string::npos);

  TModuleHandle exe = CrashSystem().ExeModule();
  std::unique_ptr<TICrashSettings> settings = SettingsForModule(exe);
  ASSERT_TRUE(settings->Valid());
  EXPECT_EQ(settings->Module(), exe);
  EXPECT_TRUE(settings->Enabled());
  EXPECT_EQ(settings->AutoDelay(), 60) << "a key the record lacks";
  EXPECT_EQ(settings->TitleBar(), "crashsettings_tests.exe");
  EXPECT_EQ(settings->BitFaultMsg(), "The file \"crashsettings_tests.exe\" seems to be corrupt!");
}

TEST(ShippedRecordWin32, ModuleWithoutRecordIsInvalid) {
  TICrashSettings kernel(reinterpret_cast<TModuleHandle>(GetModuleHandleA("kernel32.dll")));
  EXPECT_FALSE(kernel.Valid());
  EXPECT_FALSE(kernel.Enabled());
}

}  // namespace
}  // namespace vm

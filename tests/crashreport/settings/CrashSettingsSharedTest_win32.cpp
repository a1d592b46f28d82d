// Two modules of one process (this program and a test library, each with its own copy of
// the settings code) see one chain in the named shared block.
#include <windows.h>

#include <gtest/gtest.h>

#include <cstdio>

#include "base/Handles_win32.h"
#include "crashreport/settings/CrashSettings.h"
#include "tests/crashreport/common/FakeCrashSystem.h"

namespace vm {
namespace {

struct TestDll {
  TestDll() : Module(LoadLibraryA("crashsettings_testdll.dll")) {}
  ~TestDll() {
    if (Module) FreeLibrary(Module);
  }
  template <class F>
  F Get(const char* name) {
    return reinterpret_cast<F>(reinterpret_cast<void*>(GetProcAddress(Module, name)));
  }
  HMODULE Module;
};

std::string BlockName() {
  char name[64];
  std::snprintf(name, sizeof name, "ZentrapixSettingsBuf$%lx", GetCurrentProcessId());
  return name;
}

bool BlockExists() {
  KernelHandle mapping(OpenFileMappingA(FILE_MAP_READ, FALSE, BlockName().c_str()));
  return bool(mapping);
}

TEST(CrashSettingsShared, ProgramAndLibrarySeeOneChain) {
  TestDll dll;
  ASSERT_NE(dll.Module, nullptr) << "crashsettings_testdll.dll not found";
  auto open = dll.Get<void* (*)(std::uintptr_t)>("CrashTestDll_Open");
  auto close = dll.Get<void (*)(void*)>("CrashTestDll_Close");
  auto readInt = dll.Get<int (*)(void*, const char*)>("CrashTestDll_ReadInt");
  auto chainLength = dll.Get<int (*)()>("CrashTestDll_ChainLength");
  auto home = dll.Get<std::uintptr_t (*)()>("CrashTestDll_Home");
  auto settingsModuleFor = dll.Get<std::uintptr_t (*)(std::uintptr_t)>("CrashTestDll_SettingsModuleFor");
  ASSERT_TRUE(open && close && readInt && chainLength && home && settingsModuleFor);

  TModuleHandle exe = CrashSystem().ExeModule(), lib = reinterpret_cast<TModuleHandle>(dll.Module);
  EXPECT_EQ(home(), lib) << "the library's reporter code lives in the library";
  EXPECT_FALSE(BlockExists());
  {
    TICrashSettings program(exe);
    ASSERT_TRUE(program.Valid());
    EXPECT_TRUE(BlockExists());
    ASSERT_TRUE(program.SetFreezeTimeout(1234));

    void* fromLibrary = open(exe);  // the library's code, the library's view of the block
    EXPECT_EQ(readInt(fromLibrary, "FreezeTimeout"), 1234) << "the library sees the program's list";
    EXPECT_EQ(chainLength(), 1);

    TICrashSettings library(lib);  // the library's record, parsed by the program's code
    EXPECT_TRUE(library.Valid());
    EXPECT_EQ(library.FreezeTimeout(), 777);
    EXPECT_TRUE(library.NoSettings());
    EXPECT_EQ(chainLength(), 2);
    EXPECT_EQ(settingsModuleFor(lib), exe) << "the library defers to the program's settings";
    close(fromLibrary);
    EXPECT_EQ(program.FreezeTimeout(), 1234);
  }
  EXPECT_FALSE(BlockExists()) << "the last reference frees the block";
}

TEST(CrashSettingsShared, BlockThatCannotBeHadLeavesTheModuleWithoutSettings) {
  test::TFakeCrashSystem system;  // records the box instead of showing it
  system.Modules[system.Exe].Resource = TSettingsStreamWriter().Bool("Enabled", true).Finish();
  // Another object holding the block's name keeps the mapping from being created.
  KernelHandle squatter(CreateMutexA(nullptr, FALSE, BlockName().c_str()));
  ASSERT_TRUE(squatter);
  TICrashSettings s(system.Exe);
  EXPECT_FALSE(s.Valid());
  EXPECT_FALSE(s.Enabled());
  EXPECT_EQ(system.Errors, std::vector<std::string>{"internal error (opening settings buffer)"});
}

}  // namespace
}  // namespace vm

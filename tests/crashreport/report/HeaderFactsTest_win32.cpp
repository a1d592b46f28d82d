// The header gathered from Windows (under Wine in our runs): every row the system can
// answer is filled, and the record lays them out.
#include <windows.h>

#include <gtest/gtest.h>

#include "crashreport/report/CrashException.h"
#include "crashreport/report/HeaderFacts.h"

namespace vm {
namespace {

TEST(HeaderFactsWin32, EveryRowWindowsCanAnswerIsFilled) {
  NoteReporterStart();
  Sleep(20);
  THeaderRequest request;
  request.ExceptionTime = {2026, 1, 5, 9, 7, 3, 45};
  request.SettingsModule = reinterpret_cast<TModuleHandle>(GetModuleHandleA(nullptr));
  request.Version = "1.0.0.0";
  THeaderFacts f = GatherHeaderFacts(request);
  EXPECT_TRUE(f.ComputerName && !f.ComputerName->empty());
  EXPECT_TRUE(f.UserName && !f.UserName->empty());
  ASSERT_TRUE(f.OperatingSystem);
  EXPECT_EQ(f.OperatingSystem->rfind("Windows", 0), 0u) << *f.OperatingSystem;
  ASSERT_TRUE(f.OsBuild);
  EXPECT_GT(*f.OsBuild, 0u);
  EXPECT_TRUE(f.SystemLanguage && !f.SystemLanguage->empty());
  EXPECT_TRUE(f.SystemUpTimeMs);
  ASSERT_TRUE(f.ProgramUpTimeMs);
  EXPECT_GE(*f.ProgramUpTimeMs, 15u);
  EXPECT_GE(f.ProcessorCount, 1);
  EXPECT_TRUE(f.PhysicalFree && f.PhysicalTotal && *f.PhysicalFree <= *f.PhysicalTotal);
  ASSERT_FALSE(f.FreeDisk.empty());
  EXPECT_TRUE(f.Display && f.Display->Width > 0 && f.Display->Bits > 0);
  EXPECT_EQ(f.ProcessId, GetCurrentProcessId());
  EXPECT_TRUE(f.AllocatedMemory && *f.AllocatedMemory > 0);
  EXPECT_EQ(f.Executable, "report_tests.exe");
  EXPECT_FALSE(f.CurrentModule) << "the settings belong to the executable";
  EXPECT_TRUE(f.ExecDateTime && f.ExecDateTime->Year >= 2024);
  EXPECT_NE(f.CompiledWith.find("GCC"), std::string::npos) << f.CompiledWith;

  TExceptionFacts e;
  e.ClassName = "EAccessViolation";
  e.Message = "Access violation";
  TICrashException record(TICrashSettings(request.SettingsModule), e);
  record.BuildHeader(f);
  std::string text = record.BugReport();
  for (const char* label :
       {"date/time",        "computer name",     "user name",       "operating system", "system language",
        "system up time",   "program up time",   "physical memory", "free disk space",  "display mode",
        "process id",       "allocated memory",  "executable",      "exec. date/time",  "version",
        "compiled with",    "Zentrapix version", "callstack crc",   "exception number", "exception class",
        "exception message"})
    EXPECT_TRUE(record.HeaderFields().Contains(label)) << label << "\n" << text;
  std::printf("%s\n", text.c_str());  // the gathered header, for the log
}

}  // namespace
}  // namespace vm

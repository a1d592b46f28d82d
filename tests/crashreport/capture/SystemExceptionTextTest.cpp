// The class name and message of a system exception, as the report's header shows them.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "crashreport/capture/SystemExceptionText.h"

namespace vm {
namespace {

TEST(SystemExceptionText, ClassAndMessageByCode) {
  struct Row {
    const char* why;
    std::uint32_t code;
    std::vector<std::uint64_t> parameters;
    std::uint64_t address;
    std::string module;
    const char* className;
    const char* message;
  } rows[] = {
      {"a read outside every module",
       kAccessViolationCode,
       {0, 0x10},
       0x401000,
       "",
       "EAccessViolation",
       "Access violation at address 00401000. Read of address 00000010."},
      {"a write inside a module names it",
       kAccessViolationCode,
       {1, 0xDEADBEEF},
       0x77001234,
       "ntdll.dll",
       "EAccessViolation",
       "Access violation at address 77001234 in module \"ntdll.dll\". Write of address DEADBEEF."},
      {"an execution",
       kAccessViolationCode,
       {8, 0x1234},
       0x1234,
       "",
       "EAccessViolation",
       "Access violation at address 00001234. Execution of address 00001234."},
      {"an unknown kind reads as a read",
       kAccessViolationCode,
       {3, 4},
       5,
       "",
       "EAccessViolation",
       "Access violation at address 00000005. Read of address 00000004."},
      {"without both parameters: a read of 0",
       kAccessViolationCode,
       {1},
       0x2000,
       "",
       "EAccessViolation",
       "Access violation at address 00002000. Read of address 00000000."},
      {"64-bit addresses keep every digit",
       kAccessViolationCode,
       {0, 0x7FF6000000001000},
       0x7FF612345678,
       "a.exe",
       "EAccessViolation",
       "Access violation at address 7FF612345678 in module \"a.exe\". Read of address 7FF6000000001000."},
      {"stack overflow", kStackOverflowCode, {}, 0x401000, "", "EStackOverflow", "Stack overflow."},
      {"division by zero", kIntDivideByZeroCode, {}, 0x401000, "", "EDivByZero", "Division by zero."},
      {"illegal instruction", kIllegalInstructionCode, {}, 0, "", "EPrivilege", "Privileged instruction."},
      {"privileged instruction", kPrivInstructionCode, {}, 0, "", "EPrivilege", "Privileged instruction."},
      {"any other code names itself",
       0xE06D7363,
       {1, 2, 3},
       0x401000,
       "x.dll",
       "EExternalException",
       "External exception E06D7363."},
      {"a small code is padded", 0x80, {}, 0, "", "EExternalException", "External exception 00000080."},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.why);
    TExceptionText text = DescribeSystemException(row.code, row.parameters, row.address, row.module);
    EXPECT_EQ(text.ClassName, row.className);
    EXPECT_EQ(text.Message, row.message);
  }
}

// A report must not lose the end of the message to a long module path.
TEST(SystemExceptionText, LongModuleNameKeepsTheWholeMessage) {
  std::string module(300, 'm');
  std::vector<std::uint64_t> parameters{1, 0x10};
  TExceptionText text = DescribeSystemException(kAccessViolationCode, parameters, 0x401000, module);
  EXPECT_EQ(text.Message,
            "Access violation at address 00401000 in module \"" + module + "\". Write of address 00000010.");
}

}  // namespace
}  // namespace vm

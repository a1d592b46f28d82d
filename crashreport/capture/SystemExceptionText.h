// The class name and message that a report shows for a system exception (an access
// violation, a stack overflow, ...), from its code, its parameters and where it happened.
// Entry: DescribeSystemException; the Windows shim that reads the system's record is in
// Handler_win32.cpp. Tests: tests/crashreport/capture/SystemExceptionTextTest.cpp.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>

namespace vm {

// The system's exception codes that get a text of their own; every other code is an
// "EExternalException" that names its code.
enum : std::uint32_t {
  kAccessViolationCode = 0xC0000005,
  kIllegalInstructionCode = 0xC000001D,
  kIntDivideByZeroCode = 0xC0000094,
  kPrivInstructionCode = 0xC0000096,
  kStackOverflowCode = 0xC00000FD,
};

struct TExceptionText {
  std::string ClassName, Message;
};

// `parameters` as the system hands them over (for an access violation: the kind of access,
// 0 read, 1 write, 8 execution, then the address accessed); `module`: the file name of the
// module that holds `address`, or empty when none does.
TExceptionText DescribeSystemException(std::uint32_t code, std::span<const std::uint64_t> parameters,
                                       std::uint64_t address, std::string_view module);

}  // namespace vm

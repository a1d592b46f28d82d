// DescribeSystemException: see SystemExceptionText.h.
#include "crashreport/capture/SystemExceptionText.h"

#include "base/Text.h"

namespace vm {

namespace {

TExceptionText AccessViolation(std::span<const std::uint64_t> parameters, std::uint64_t address,
                               std::string_view module) {
  // The system gives the kind and the target together; a record without them reads as a read of 0.
  const bool known = parameters.size() >= 2;
  const std::uint64_t kind = known ? parameters[0] : 0, target = known ? parameters[1] : 0;
  const char* what = kind == 1 ? "Write" : kind == 8 ? "Execution" : "Read";
  auto at = static_cast<unsigned long long>(address);
  auto of = static_cast<unsigned long long>(target);
  std::string message = module.empty()
                            ? FormatText("Access violation at address %08llX. %s of address %08llX.", at, what, of)
                            : FormatText("Access violation at address %08llX in module \"%s\". %s of address %08llX.",
                                         at, std::string(module).c_str(), what, of);
  return {"EAccessViolation", message};
}

}  // namespace

TExceptionText DescribeSystemException(std::uint32_t code, std::span<const std::uint64_t> parameters,
                                       std::uint64_t address, std::string_view module) {
  switch (code) {
    case kAccessViolationCode:
      return AccessViolation(parameters, address, module);
    case kStackOverflowCode:
      return {"EStackOverflow", "Stack overflow."};
    case kIntDivideByZeroCode:
      return {"EDivByZero", "Division by zero."};
    case kIllegalInstructionCode:
    case kPrivInstructionCode:
      return {"EPrivilege", "Privileged instruction."};
  }
  return {"EExternalException", FormatText("External exception %08lX.", static_cast<unsigned long>(code))};
}

}  // namespace vm

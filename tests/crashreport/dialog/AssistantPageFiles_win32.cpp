#include <windows.h>

#include "AssistantPageFiles.h"
#include "base/Text.h"

namespace vm::test {

std::string ShippedPageBytes(const std::string& formName) {
  HMODULE exe = GetModuleHandleA(nullptr);
  HRSRC found = FindResourceA(exe, UpperCase("TCrash" + formName).c_str(), MAKEINTRESOURCEA(10));
  HGLOBAL loaded = found ? LoadResource(exe, found) : nullptr;
  const void* bytes = loaded ? LockResource(loaded) : nullptr;
  return bytes ? std::string(static_cast<const char*>(bytes), SizeofResource(exe, found)) : std::string();
}

}  // namespace vm::test

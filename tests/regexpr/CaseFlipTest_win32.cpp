// Covers regexpr/CaseFlip_win32.cpp against CaseFlip1252.cpp: on a system whose ANSI code
// page is 1252, the host table must give what CharUpperA/CharLowerA give, for all 256 bytes.
#include <windows.h>

#include <gtest/gtest.h>

#include "regexpr/CaseFlip.h"

namespace {

TEST(CaseFlipWin32, HostTableEqualsPlatformFunctions) {
  if (GetACP() != 1252) GTEST_SKIP() << "ANSI code page is " << GetACP() << ", not 1252";
  const unsigned char* platform = vm::pattern::PlatformCaseFlipTable();
  const unsigned char* table = vm::pattern::CodePage1252CaseFlipTable();
  for (int c = 0; c < 256; ++c) EXPECT_EQ(int(table[c]), int(platform[c])) << "byte " << c;
}

}  // namespace

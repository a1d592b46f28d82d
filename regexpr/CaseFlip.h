// The case function of the pattern engine: a 256-entry table that maps each byte to its
// upper case in the ANSI code page, or to its lower case when upper case leaves it as it
// is. Windows asks CharUpperA/CharLowerA (CaseFlip_win32.cpp); other hosts use the table of
// code page 1252 (CaseFlip_host.cpp). Covered by tests/regexpr/EngineTest.cpp and, under
// Wine, CaseFlipTest_win32.cpp, which compares the two for all 256 bytes.
#pragma once

namespace vm::pattern {

// The platform's table, built once; shared read-only by every engine object.
const unsigned char* PlatformCaseFlipTable();
// Code page 1252's case pairs, the same 256 results as the platform functions give there.
const unsigned char* CodePage1252CaseFlipTable();

}  // namespace vm::pattern

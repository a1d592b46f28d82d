// The one conversion between Unicode texts and the system's ANSI code page, the 8-bit text
// the program works in. Windows converts with the code page itself (AnsiText_win32.cpp);
// the host stands in for the Western code page 1252 (AnsiText_posix.cpp).
// Tests: tests/base/AnsiTextTest.cpp
#pragma once

#include <string>
#include <string_view>

namespace vm {

// What the code page cannot spell becomes "?", one for each UTF-16 unit as the system
// writes it (two for a character outside the basic plane).
// No best-fit letters: a look-alike could turn a foreign character in a name into a
// separator or another file's name.
std::string WideToAnsi(std::u16string_view text);
std::string Utf8ToAnsi(std::u8string_view text);
// Every byte has its character (an undefined one its C1 control of the same number).
std::u16string AnsiToWide(std::string_view text);

}  // namespace vm

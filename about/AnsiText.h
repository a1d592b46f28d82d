// UTF-16 texts of version resources, turned into the 8-bit ANSI texts the program works in.
// Windows converts with the system's ANSI code page, exactly as the platform's A functions
// do (AnsiText_win32.cpp); the host stands in with code page 1252 (AnsiText_posix.cpp).
#pragma once

#include <string>
#include <string_view>

namespace vm {

// Characters the code page lacks become "?" (Windows may pick a best-fit letter instead).
std::string WideToAnsi(std::u16string_view text);

}  // namespace vm

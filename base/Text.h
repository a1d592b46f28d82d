// 8-bit text helpers. Texts are bytes in the system's ANSI code page; a NUL ends a text
// handed to the platform. Case folding here is ASCII only, as the name=value lists and
// class-name comparisons need; the pattern engine has its own code-page table.
#pragma once

#include <cstdarg>
#include <string>
#include <string_view>
#include <vector>

namespace vm {

char AsciiUpper(char c);
char AsciiLower(char c);
std::string UpperCase(std::string_view s);
std::string LowerCase(std::string_view s);
bool SameText(std::string_view a, std::string_view b);
// Text up to its first NUL, as the platform and the pattern engine see it.
std::string_view UpToNul(std::string_view s);
bool StartsText(std::string_view prefix, std::string_view s);
std::string Trim(std::string_view s);
std::string IntToHex(unsigned long value, int digits);
// printf-style formatting into a std::string.
std::string FormatText(const char* format, ...)
#if defined(__MINGW32__)
    __attribute__((format(gnu_printf, 1, 2)))
#elif defined(__GNUC__)
    __attribute__((format(printf, 1, 2)))
#endif
    ;
std::string FormatTextV(const char* format, va_list args);

}  // namespace vm

// Path macros: names such as "<$WINDIR>" or "<$DESKTOP>" with the folder each stands for on
// this computer, built once at start from the shell's special folders and the registry,
// and replaced in texts by ResolvePathMacros. Portable over the registry and shell seams.
// Tests: tests/about/PathSolveTest.cpp, tests/about/PathSolveTest_win32.cpp.
#pragma once

#include <string>

#include "base/StringList.h"
#include "settings/RegistryApi.h"

namespace vm {

// Lines "<$NAME>=folder" in build order. A name may stand on several lines, because both
// passes append; reading and setting by name use the first line, resolving the last.
extern TStringList PathMacros;

// Both passes over the global table, 64-bit view first: called once at program start.
void InitPathMacros();

void BuildPathMacros(TStringList& macros, const std::string& prefix, int view);
// Fills one macro from a registry value; missing or non-text values leave it as it was.
void ReadMacroFromRegistry(TStringList& macros, const std::string& macro, THKey root, const std::string& cutAt,
                           const std::string& suffix, bool overwrite, int view, const std::string& valueName,
                           const std::string& keyPath);
// Sets `macro` to `source`'s value without a trailing backslash when `macro` reads empty.
void CopyMacroIfEmpty(TStringList& macros, const std::string& macro, const std::string& source);

// The text with every known macro replaced. A text that begins with "<regexpr>" or holds
// "=<regexpr>" is a pattern: the folders go in escaped.
std::string ResolvePathMacros(const std::string& text);
std::string ResolvePathMacros(const TStringList& macros, const std::string& text);
std::string EscapeForPattern(const std::string& text);

}  // namespace vm

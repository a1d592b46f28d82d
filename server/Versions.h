// Program versions as the reports give them ("1.0.0.8"), compared as numbers part by part,
// so that 1.0.0.10 comes after 1.0.0.9. Every store orders and compares versions with these.
// Tests: tests/server/ServerLogicTest.cpp.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace vm::server {

// <0, 0 or >0. Each dot-separated part compares by its leading number, then by the rest as
// text; a missing part counts as 0 ("1.0" equals "1.0.0.0").
int CompareVersions(std::string_view a, std::string_view b);
// Sorted lowest first.
void SortVersions(std::vector<std::string>& versions);
// Numbers separated by dots ("1", "1.0.0.8"), at most 64 characters: what a developer may
// type as the version a group was resolved in.
bool IsVersionNumber(std::string_view text);

}  // namespace vm::server

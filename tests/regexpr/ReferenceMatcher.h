// A small, obviously correct reference matcher for the test build only. It parses a
// subset of the pattern syntax (literal letters, '.', bracket sets without ranges, groups,
// alternation, * + ? {n,m} and their lazy forms) into a tree and matches by trying every
// choice in priority order with continuations, copying captures at each step. Slow, and
// meant to be: ReferenceTest compares the engine with it on generated patterns.
#pragma once

#include <string>

namespace vm::test {

// "@pos g0|g1|..." as MatchTest's Outcome, or "none". Tries every start position before the
// subject end, so patterns given to it must consume at least one character.
std::string ReferenceOutcome(const std::string& pattern, const std::string& subject);

}  // namespace vm::test

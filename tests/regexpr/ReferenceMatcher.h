// A small, obviously correct reference matcher for the test build only. It parses a
// subset of the pattern syntax (literal letters, '.', bracket sets without ranges, groups,
// alternation, ^ $ \b \B, back-references \1 to \9, * + ? {n,m} and their lazy forms) into
// a tree and matches by trying every choice in priority order with continuations, copying
// captures at each step. Slow, and meant to be: ReferenceTest compares the engine with it.
//
// Repetitions that consume nothing follow one plain rule: a repetition that matched empty
// counts towards the minimum like any other, and once the minimum is met it ends the loop,
// so that only what follows the loop is tried next. A capture takes its new value when its
// group closes, so a back-reference inside its own group sees the previous repetition's.
#pragma once

#include <string>

namespace vm::test {

// "@pos g0|g1|..." as MatchTest's Outcome, or "none". Tries every start position before the
// subject end, so patterns given to it must consume at least one character.
std::string ReferenceOutcome(const std::string& pattern, const std::string& subject);

}  // namespace vm::test

// The engine object: settings, modifiers, program validity, error texts and raising.
// Compiling is PatternCompiler.cpp, matching PatternMatcher.cpp, the listing PatternDump.cpp.
// Covered by tests/regexpr/EngineTest.cpp.
#include "regexpr/PatternEngine.h"

#include <algorithm>

#include "base/Text.h"
#include "regexpr/CaseFlip.h"
#include "regexpr/PatternCompiler.h"
#include "regexpr/PatternData.h"

namespace vm {

using namespace pattern;
using Byte = std::uint8_t;

namespace {

constexpr std::uint32_t kModifierBit[] = {0, ModI, ModR, ModS, ModG, ModM, ModX};

const char kDefaultSpaceChars[] = " \t\n\r\f";
const char kDefaultWordChars[] = "0123456789abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ_";
const char kDefaultLineBreaks[] = "\r\n";

// The sets of the default lists, built once for every engine object to copy.
struct TDefaultSets {
  TByteSet lineBreaks, word;
  TDefaultSets() {
    for (const char* c = kDefaultLineBreaks; *c; ++c) lineBreaks.Add(Byte(*c));
    for (const char* c = kDefaultWordChars; *c; ++c) word.Add(Byte(*c));
  }
};

struct TErrorEntry {
  int code;
  const char* text;
};

// The texts are what users and logs have always seen, misspellings included.
const TErrorEntry kErrorTable[] = {
    {0, "No errors"},
    {100, "TPatternEngine(comp): Null Argument"},
    {101, "TPatternEngine(comp): Regexp Too Big"},
    {102, "TPatternEngine(comp): ParseReg Too Many ()"},
    {103, "TPatternEngine(comp): ParseReg Unmatched ()"},
    {104, "TPatternEngine(comp): ParseReg Unmatched ()"},
    {105, "TPatternEngine(comp): ParseReg Junk On End"},
    {106, "TPatternEngine(comp): *+ Operand Could Be Empty"},
    {107, "TPatternEngine(comp): Nested *?+"},
    {108, "TPatternEngine(comp): Bad Hex Digit"},
    {109, "TPatternEngine(comp): Invalid [] Range"},
    {110, "TPatternEngine(comp): Parse Atom Trailing \\"},
    {111, "TPatternEngine(comp): No Hex Code After \\x"},
    {112, "TPatternEngine(comp): Hex Code After \\x Is Too Big"},
    {113, "TPatternEngine(comp): Unmatched []"},
    {114, "TPatternEngine(comp): Internal Urp"},
    {115, "TPatternEngine(comp): ?+*{ Follows Nothing"},
    {116, "TPatternEngine(comp): Trailing \\"},
    {119, "TPatternEngine(comp): RarseAtom Internal Disaster"},
    {122, "TPatternEngine(comp): BRACES Argument Too Big"},
    {124, "TPatternEngine(comp): BRACE Min Param Greater then Max"},
    {125, "TPatternEngine(comp): Unclosed (?#Comment)"},
    {126,
     "TPatternEngine(comp): If you want take part in beta-testing BRACES '{min,max}' and non-greedy "
     "ops '*?', '+?', '?"
     "?' for complex cases - remove '.' from {.$DEFINE ComplexBraces}"},
    {127, "TPatternEngine(comp): Urecognized Modifier"},
    {128, "TPatternEngine(comp): LinePairedSeparator must countain two different chars or no chars at all"},
    {1000, "TPatternEngine(exec): RegRepeat Called Inappropriately"},
    {1001, "TPatternEngine(exec): MatchPrim Memory Corruption"},
    {1002, "TPatternEngine(exec): MatchPrim Corrupted Pointers"},
    {1003, "TPatternEngine(exec): Not Assigned Expression Property"},
    {1004, "TPatternEngine(exec): Corrupted Program"},
    {1005, "TPatternEngine(exec): No Inpit String Specified"},
    {1006, "TPatternEngine(exec): Offset Must Be Greater Then 0"},
    {1007, "TPatternEngine(exec): ExecNext Without Exec[Pos]"},
    {1008, "TPatternEngine(exec): GetInputString Without InputString"},
    {1011, "TPatternEngine(dump): Corrupted Opcode"},
    {1014, "TPatternEngine(exec): Loop Stack Exceeded"},
    {1015, "TPatternEngine(exec): Loop Without LoopEntry !"},
    // Ours: a run that would otherwise overflow the stack or run for ever.
    {TPatternEngine::kErrRecursionTooDeep, "TPatternEngine(exec): Match Recursion Too Deep"},
    {TPatternEngine::kErrStepLimit, "TPatternEngine(exec): Match Step Limit Exceeded"},
};

}  // namespace

TPatternEngine::TPatternEngine() : F(std::make_unique<TPatternData>()) {
  F->caseFlip = PlatformCaseFlipTable();
  F->spaceChars = kDefaultSpaceChars;
  F->wordChars = kDefaultWordChars;
  F->lineBreaks = kDefaultLineBreaks;
  static const TDefaultSets kDefaultSets;
  F->lineBreakSet = kDefaultSets.lineBreaks;
  F->wordSet = kDefaultSets.word;
  SetLinePairedSeparator("\r\n");
  SetModifier(kModI, false);
  SetModifier(kModR, true);
  SetModifier(kModS, true);
  SetModifier(kModG, true);
  SetModifier(kModM, false);
}

TPatternEngine::~TPatternEngine() = default;

const std::string& TPatternEngine::Expression() const { return F->pattern; }

void TPatternEngine::SetExpression(std::string_view pattern) {
  pattern = UpToNul(pattern);
  if (F->compiled && F->hasPattern && pattern == F->pattern) return;
  F->compiled = false;
  F->hasPattern = false;
  F->pattern.clear();
  // An empty pattern drops the program too: a later run must say that there is no
  // pattern rather than quietly run the previous one.
  FreeProgram();
  if (!pattern.empty()) {
    F->pattern.assign(pattern);
    F->hasPattern = true;
  }
}

bool TPatternEngine::Modifier(int index) const {
  return index >= 1 && index <= 6 && (F->modifiers & kModifierBit[index]) != 0;
}

void TPatternEngine::SetModifier(int index, bool on) {
  if (index < 1 || index > 6) Fail(1013);
  if (on)
    F->modifiers |= kModifierBit[index];
  else
    F->modifiers &= ~kModifierBit[index];
}

std::uint32_t TPatternEngine::ModifierWord() const { return F->modifiers; }

bool TPatternEngine::ReadModifierLetters(std::string_view letters, std::uint32_t& word) {
  bool on = true;
  for (char c : letters) {
    std::uint32_t bit = 0;
    switch (AsciiLower(c)) {
      case '-':
        on = false;
        continue;
      case 'i':
        bit = ModI;
        break;
      case 'r':
        bit = ModR;
        break;
      case 's':
        bit = ModS;
        break;
      case 'g':
        bit = ModG;
        break;
      case 'm':
        bit = ModM;
        break;
      case 'x':
        bit = ModX;
        break;
      default:
        return false;
    }
    word = on ? (word | bit) : (word & ~bit);
  }
  return true;
}

std::string TPatternEngine::LinePairedSeparator() const {
  if (!F->pairSet) return std::string();
  return std::string{char(F->pairHead), char(F->pairTail)};
}

void TPatternEngine::SetLinePairedSeparator(std::string_view pair) {
  if (pair.empty()) {
    if (F->pairSet) FreeProgram();
    F->pairSet = false;
    return;
  }
  if (pair.size() != 2 || pair[0] == pair[1]) Fail(128);
  Byte head = Byte(pair[0]), tail = Byte(pair[1]);
  if (F->pairSet && F->pairHead == head && F->pairTail == tail) return;
  F->pairSet = true;
  F->pairHead = head;
  F->pairTail = tail;
  FreeProgram();
}

// \s, \w and the choice of line anchors are compiled into the program, so a changed list
// must drop it; otherwise the next run would still use the old characters.
const std::string& TPatternEngine::SpaceCharList() const { return F->spaceChars; }
void TPatternEngine::SetSpaceCharList(std::string_view chars) {
  if (chars != F->spaceChars) F->spaceChars.assign(chars), FreeProgram();
}
const std::string& TPatternEngine::WordCharList() const { return F->wordChars; }
void TPatternEngine::SetWordCharList(std::string_view chars) {
  if (chars != F->wordChars) F->wordChars.assign(chars), FreeProgram(), RebuildCharSets();
}
const std::string& TPatternEngine::LineBreakList() const { return F->lineBreaks; }
void TPatternEngine::SetLineBreakList(std::string_view chars) {
  if (chars != F->lineBreaks) F->lineBreaks.assign(chars), FreeProgram(), RebuildCharSets();
}

unsigned char TPatternEngine::CaseFlip(unsigned char c) const { return F->caseFlip[c]; }

void TPatternEngine::SetMatchStepLimit(std::uint64_t steps) { F->stepLimit = steps; }

void TPatternEngine::RebuildCharSets() {
  F->lineBreakSet.Clear();
  for (char c : F->lineBreaks)
    if (c) F->lineBreakSet.Add(Byte(c));
  F->wordSet.Clear();
  for (char c : F->wordChars)
    if (c) F->wordSet.Add(Byte(c));
}

void TPatternEngine::FreeProgram() {
  F->program.reset();
  F->programSize = 0;
  F->requiredLiteral = nullptr;
  F->compiled = false;
}

void TPatternEngine::CompilePattern() {
  if (!F->hasPattern) Fail(1003);
  TPatternCompiler(*this, *F).Compile();
}

bool TPatternEngine::ProgramIsValid() {
  if (F->program && F->modifiers != F->programModifiers) FreeProgram();
  if (!F->program) CompilePattern();
  if (F->program[0] != kProgramMagic) Fail(1004);
  return true;
}

int TPatternEngine::ErrorPosition() const {
  if (!F->patternStart || !F->parseCursor) return 0;
  return int(F->parseCursor - F->patternStart);
}

std::string TPatternEngine::ErrorText(int code) const {
  for (const TErrorEntry& e : kErrorTable)
    if (e.code == code) return e.text;
  return "Unknown error";
}

void TPatternEngine::RaiseError(int code) {
  std::string message = ErrorText(code);
  if (code < 1000) message += " (pos " + std::to_string(ErrorPosition()) + ")";
  throw EPatternError(message, code, ErrorPosition());
}

void TPatternEngine::Fail(int code) {
  RaiseError(code);
  // A descendant's RaiseError must not return; should one do so, the operation still stops.
  throw EPatternError(ErrorText(code), code, ErrorPosition());
}

std::string_view TPatternEngine::ProgramBytes() {
  ProgramIsValid();
  return std::string_view(reinterpret_cast<const char*>(F->program.get()), F->programSize);
}

}  // namespace vm

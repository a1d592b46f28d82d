// Hosts without the Windows case functions use code page 1252. See CaseFlip.h.
#include "regexpr/CaseFlip.h"

namespace vm::pattern {

const unsigned char* PlatformCaseFlipTable() { return CodePage1252CaseFlipTable(); }

}  // namespace vm::pattern

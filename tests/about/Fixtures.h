// The checked-in fixture DLLs of tests/about/data (see make-fixtures.sh there).
#pragma once

#include <string>

#include "base/FileIO.h"

namespace vmtest {

inline std::string FixturePath(const char* name) { return std::string(VM_TEST_DATA) + "/" + name; }
inline std::string FixtureBytes(const char* name) { return vm::ReadFileDenyWrite(FixturePath(name)); }

}  // namespace vmtest

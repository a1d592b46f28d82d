// The built-in defaults: one property per known key (CrashSettingsKeys.h), read when a
// module's record lacks the key. Tests: tests/crashreport/settings/CrashSettingsTest.cpp.
#pragma once

#include "crashreport/settings/CrashSettingsStream.h"

namespace vm {

const TCrashPropertyList& CrashSettingsDefaults();

}  // namespace vm

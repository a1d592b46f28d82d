// Chrome's second copy of the client ID: the value "metricsid" of its installer's key in the
// user's registry. Chrome copies it back into "Local State" whenever that file has lost its
// ID, so a replacement that left the old ID there would not last.
// Tests: tests/app/RegistryBackupTest.cpp and tests/e2e/test_id_copies.py.
#pragma once

#include <string>

namespace vm {

// Below HKEY_CURRENT_USER, in the 32-bit view; Chrome stable's installer key.
inline constexpr const char* kChromeClientStateKey =
    "Software\\Google\\Update\\ClientState\\{8A69D345-D564-463c-AFF1-A69D9E530F96}";
inline constexpr const char* kMetricsIdValue = "metricsid";

enum class TBackupOutcome {
  NoKey,    // Chrome keeps no backup here: nothing was created
  Written,  // "metricsid" now holds the ID
  Failed,   // the key is there but could not be written; Error says why
};

struct TBackupResult {
  TBackupOutcome Outcome = TBackupOutcome::NoKey;
  std::string Error;
};

// Puts `id` into "metricsid" when Chrome's key exists. The two date values beside it are
// left as they are: they tell when reporting began, not who the user is.
TBackupResult WriteRegistryBackupID(const std::string& id);

}  // namespace vm

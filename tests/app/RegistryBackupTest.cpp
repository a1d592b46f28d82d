// Covers app/RegistryBackup: Chrome's copy of the client ID in the registry, over the
// in-memory registry.
#include <gtest/gtest.h>

#include "app/ClientIdFile.h"
#include "app/RegistryBackup.h"
#include "settings/MemoryRegistry.h"
#include "settings/MyRegistry.h"

namespace {

using namespace vm;

const std::string kKey = std::string("\\") + kChromeClientStateKey;
const char* const kOldId = "0A1B2C3D-4E5F-6A7B-8C9D-0E1F2A3B4C5D";

class RegistryBackup : public ::testing::Test {
protected:
  void Put(const std::string& name, const std::string& text) {
    ASSERT_TRUE(RegWriteValue(kHKeyCurrentUser, kKey, name, text, rkString));
  }
  // The value as Chrome reads it back; "<missing>" when it is not there.
  std::string Get(const std::string& name) {
    std::string text = "<missing>";
    RegReadText(kHKeyCurrentUser, kKey, name, text);
    return text;
  }
  bool KeyExists(const std::string& path) { return RegKeyExistsView(kHKeyCurrentUser, path, 0); }

  TMemoryRegistry registry;
  TUseRegistryApi use{registry};
};

TEST_F(RegistryBackup, ReplacesTheIdAndKeepsTheDates) {
  Put("metricsid", kOldId);
  Put("metricsid_installdate", "1700000000");
  Put("metricsid_enableddate", "1700000100");
  Put("other", "kept");

  TBackupResult result = WriteRegistryBackupID(kUniformID);
  EXPECT_EQ(result.Outcome, TBackupOutcome::Written) << result.Error;
  EXPECT_EQ(Get("metricsid"), kUniformID);
  EXPECT_EQ(Get("metricsid_installdate"), "1700000000");
  EXPECT_EQ(Get("metricsid_enableddate"), "1700000100");
  EXPECT_EQ(Get("other"), "kept");
}

TEST_F(RegistryBackup, KeyWithoutTheValueGetsIt) {
  // An installer key whose backup was never written, or was cleared: the key is Chrome's,
  // so the shown ID goes in and nothing else appears.
  Put("ap", "x64-stable");
  EXPECT_EQ(WriteRegistryBackupID(kUniformID).Outcome, TBackupOutcome::Written);
  EXPECT_EQ(Get("metricsid"), kUniformID);
  EXPECT_EQ(Get("metricsid_installdate"), "<missing>");
}

TEST_F(RegistryBackup, AbsentKeyIsLeftAbsent) {
  // Chrome's Update key without the stable channel's key, and no Google key at all.
  ASSERT_TRUE(RegWriteValue(kHKeyCurrentUser, "\\Software\\Google\\Update\\ClientState\\{other}", "x", "y", rkString));
  EXPECT_EQ(WriteRegistryBackupID(kUniformID).Outcome, TBackupOutcome::NoKey);
  EXPECT_FALSE(KeyExists(kKey));

  TMemoryRegistry empty;
  TUseRegistryApi useEmpty(empty);
  TBackupResult result = WriteRegistryBackupID(kUniformID);
  EXPECT_EQ(result.Outcome, TBackupOutcome::NoKey);
  EXPECT_EQ(result.Error, "");
  EXPECT_FALSE(KeyExists("\\Software\\Google"));
}

TEST_F(RegistryBackup, RefusedWriteIsReportedAndChangesNothing) {
  Put("metricsid", kOldId);
  // Readable but not writable: the key's rights allow only queries.
  ASSERT_TRUE(registry.SetKeyRights(kHKeyCurrentUser, kChromeClientStateKey, kKeyQueryValue | kKeyEnumerateSubKeys));

  TBackupResult result = WriteRegistryBackupID(kUniformID);
  EXPECT_EQ(result.Outcome, TBackupOutcome::Failed);
  const std::string prefix =
      std::string("Cannot write the registry value \"HKEY_CURRENT_USER\\") + kChromeClientStateKey + "\\metricsid\". ";
  EXPECT_EQ(result.Error.rfind(prefix, 0), 0u) << result.Error;
  EXPECT_GT(result.Error.size(), prefix.size()) << "the system's reason follows";
  EXPECT_EQ(Get("metricsid"), kOldId);
  EXPECT_EQ(registry.OpenHandleCount(), 0) << "the key is closed on every path";
}

}  // namespace

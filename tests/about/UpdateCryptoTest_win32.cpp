// Covers about/UpdateCrypto_win32 against the system's CryptoAPI: SHA-256 digests of files
// (the published test vectors) and RSA signatures made by the tests' signing code with the
// test keys of tests/e2e/updatedemo.
#include <gtest/gtest.h>

#include "about/UpdateCrypto_win32.h"
#include "about/UpdateRules.h"
#include "base/Handles_win32.h"
#include "tests/e2e/updatedemo/TestKey.h"

namespace {

// sign(b"abc") with test_key.json, as tests/e2e/testserver.py makes it.
constexpr const char* kAbcSignature =
    "6f41f992af5423c845109d6fd86dd8808c5ab64087cc608cbd6c3cc730bc6d5edda9749edb867463e86f719678d02103"
    "00bf61a44755b1ca4d241776a918e6a6225fb72864bbb61229139ccd3be34a3ad718f408071f2c25b4c28d4b92dc4d5f"
    "fbbc637739619906522a0a2c43ba012bcf6155f1986de0d2312edce39eab75fdc9e0dcd17173266a6a8634ab72e46f17"
    "8faa004f50490f9d0d5183b2a9398ed56bb1d0388f248e2e859cf6a9383dedb894093bda32a74cdda3057cbd6408fa92"
    "534f2c4d7cf0a19c92fe6e571a198f0768d06e67b7865fac434a807fd97215e9d5ef200c463de96fe22c516d9734caaa"
    "5b09f4d76042ab4a0fa48478d07ad254";

std::string Key(const char* hex) {
  std::string blob;
  vm::HexToBytes(hex, blob);
  return blob;
}

// A file with `bytes` in the temporary folder, deleted when the test is done.
class TempFile {
public:
  explicit TempFile(const std::string& bytes) {
    char folder[MAX_PATH + 1], path[MAX_PATH + 1];
    GetTempPathA(sizeof folder, folder);
    GetTempFileNameA(folder, "vmt", 0, path);
    FHandle.reset(
        CreateFileA(path, GENERIC_READ | GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_FLAG_DELETE_ON_CLOSE, nullptr));
    DWORD written = 0;
    WriteFile(FHandle.get(), bytes.data(), DWORD(bytes.size()), &written, nullptr);
  }
  HANDLE Handle() const { return FHandle.get(); }

private:
  vm::FileHandle FHandle;
};

TEST(UpdateCrypto, FileDigest) {
  const std::pair<std::string, const char*> rows[] = {
      {"", "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855"},
      {"abc", "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad"},
      {std::string(100000, 'a'), "6d1cf22d7cc09b085dfc25ee1a1f3ae0265804c607bc2074ad253bcc82fd81ee"},
  };
  for (const auto& [bytes, digest] : rows) {
    TempFile file(bytes);
    std::uint64_t size = 1;
    std::string sha;
    ASSERT_TRUE(vm::FileDigest(file.Handle(), size, sha));
    EXPECT_EQ(size, bytes.size());
    EXPECT_EQ(sha, digest) << bytes.size() << " bytes";
  }
}

TEST(UpdateCrypto, Signatures) {
  const std::string key = Key(kTestUpdateKeyHex), next = Key(kTestUpdateNextKeyHex);
  EXPECT_TRUE(vm::VerifySignature("abc", kAbcSignature, key));
  EXPECT_FALSE(vm::VerifySignature("abd", kAbcSignature, key)) << "another text";
  EXPECT_FALSE(vm::VerifySignature("abc", kAbcSignature, next)) << "another key";
  EXPECT_FALSE(vm::VerifySignature("abc", kAbcSignature, "")) << "no key";
  EXPECT_FALSE(vm::VerifySignature("abc", std::string(kAbcSignature).substr(2), key)) << "a byte short";
  EXPECT_FALSE(vm::VerifySignature("abc", "zz", key)) << "not hexadecimal";
  TempFile file("abc");
  EXPECT_TRUE(vm::VerifyFileSignature(file.Handle(), kAbcSignature, key));
  EXPECT_FALSE(vm::VerifyFileSignature(file.Handle(), kAbcSignature, next));
}

}  // namespace

#include "about/UpdateCrypto_win32.h"

#include <wincrypt.h>

#include <algorithm>
#include <vector>

#include "about/UpdateRules.h"

namespace vm {

namespace {

// A SHA-256 hash in a provider of its own, with the key it is checked against.
class TSha256 {
public:
  TSha256() {
    if (CryptAcquireContextA(&FProvider, nullptr, nullptr, PROV_RSA_AES, CRYPT_VERIFYCONTEXT))
      CryptCreateHash(FProvider, CALG_SHA_256, 0, 0, &FHash);
  }
  ~TSha256() {
    if (FKey) CryptDestroyKey(FKey);
    if (FHash) CryptDestroyHash(FHash);
    if (FProvider) CryptReleaseContext(FProvider, 0);
  }
  TSha256(const TSha256&) = delete;
  TSha256& operator=(const TSha256&) = delete;

  bool Add(const void* data, size_t size) {
    return FHash && CryptHashData(FHash, static_cast<const BYTE*>(data), DWORD(size), 0);
  }

  // Reads `file` from its start into the hash.
  bool AddFile(HANDLE file, std::uint64_t& size) {
    if (SetFilePointer(file, 0, nullptr, FILE_BEGIN) == INVALID_SET_FILE_POINTER) return false;
    std::vector<BYTE> buffer(64 * 1024);
    size = 0;
    for (;;) {
      DWORD n = 0;
      if (!ReadFile(file, buffer.data(), DWORD(buffer.size()), &n, nullptr)) return false;
      if (n == 0) return true;
      if (!Add(buffer.data(), n)) return false;
      size += n;
    }
  }

  std::string DigestHex() {
    BYTE digest[32];
    DWORD size = sizeof digest;
    if (!FHash || !CryptGetHashParam(FHash, HP_HASHVAL, digest, &size, 0) || size != sizeof digest) return "";
    static const char kDigits[] = "0123456789abcdef";
    std::string hex;
    for (BYTE b : digest) hex += {kDigits[b >> 4], kDigits[b & 15]};
    return hex;
  }

  bool Verify(const std::string& signatureHex, const std::string& publicKeyBlob) {
    std::string signature;
    if (!FHash || publicKeyBlob.empty() || !HexToBytes(signatureHex, signature)) return false;
    // Signing tools write the most significant byte first; CryptoAPI takes it the other way round.
    std::reverse(signature.begin(), signature.end());
    if (!CryptImportKey(FProvider, reinterpret_cast<const BYTE*>(publicKeyBlob.data()), DWORD(publicKeyBlob.size()), 0,
                        0, &FKey))
      return false;
    return CryptVerifySignatureA(FHash, reinterpret_cast<const BYTE*>(signature.data()), DWORD(signature.size()), FKey,
                                 nullptr, 0) != FALSE;
  }

private:
  HCRYPTPROV FProvider = 0;
  HCRYPTHASH FHash = 0;
  HCRYPTKEY FKey = 0;
};

}  // namespace

bool VerifySignature(const std::string& data, const std::string& signatureHex, const std::string& publicKeyBlob) {
  TSha256 hash;
  return hash.Add(data.data(), data.size()) && hash.Verify(signatureHex, publicKeyBlob);
}

bool VerifyFileSignature(HANDLE file, const std::string& signatureHex, const std::string& publicKeyBlob) {
  TSha256 hash;
  std::uint64_t size = 0;
  return hash.AddFile(file, size) && hash.Verify(signatureHex, publicKeyBlob);
}

bool FileDigest(HANDLE file, std::uint64_t& size, std::string& sha256Hex) {
  TSha256 hash;
  if (!hash.AddFile(file, size)) return false;
  sha256Hex = hash.DigestHex();
  return !sha256Hex.empty();
}

}  // namespace vm

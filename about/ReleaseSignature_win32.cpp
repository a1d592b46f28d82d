#include "about/ReleaseSignature_win32.h"

#include <wincrypt.h>

#include <algorithm>
#include <vector>

namespace vm {

namespace {

bool HexToBytes(const std::string& hex, std::vector<BYTE>& bytes) {
  auto digit = [](char c) -> int {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
  };
  if (hex.empty() || hex.size() % 2) return false;
  for (size_t i = 0; i < hex.size(); i += 2) {
    int hi = digit(hex[i]), lo = digit(hex[i + 1]);
    if (hi < 0 || lo < 0) return false;
    bytes.push_back(BYTE(hi * 16 + lo));
  }
  return true;
}

struct TCryptoContext {
  HCRYPTPROV Provider = 0;
  HCRYPTKEY Key = 0;
  HCRYPTHASH Hash = 0;
  ~TCryptoContext() {
    if (Hash) CryptDestroyHash(Hash);
    if (Key) CryptDestroyKey(Key);
    if (Provider) CryptReleaseContext(Provider, 0);
  }
};

bool HashFile(HANDLE file, HCRYPTHASH hash) {
  if (SetFilePointer(file, 0, nullptr, FILE_BEGIN) == INVALID_SET_FILE_POINTER) return false;
  std::vector<BYTE> buffer(64 * 1024);
  for (;;) {
    DWORD n = 0;
    if (!ReadFile(file, buffer.data(), DWORD(buffer.size()), &n, nullptr)) return false;
    if (n == 0) return true;
    if (!CryptHashData(hash, buffer.data(), n, 0)) return false;
  }
}

}  // namespace

bool VerifyReleaseSignature(HANDLE file, const std::string& signatureHex, const std::string& publicKeyBlob) {
  std::vector<BYTE> signature;
  if (publicKeyBlob.empty() || !HexToBytes(signatureHex, signature)) return false;
  // The signature is written most significant byte first, as signing tools give it;
  // CryptoAPI takes it the other way round.
  std::reverse(signature.begin(), signature.end());
  TCryptoContext c;
  if (!CryptAcquireContextA(&c.Provider, nullptr, nullptr, PROV_RSA_AES, CRYPT_VERIFYCONTEXT)) return false;
  if (!CryptImportKey(c.Provider, reinterpret_cast<const BYTE*>(publicKeyBlob.data()),
                      DWORD(publicKeyBlob.size()), 0, 0, &c.Key))
    return false;
  if (!CryptCreateHash(c.Provider, CALG_SHA_256, 0, 0, &c.Hash)) return false;
  if (!HashFile(file, c.Hash)) return false;
  return CryptVerifySignatureA(c.Hash, signature.data(), DWORD(signature.size()), c.Key, nullptr, 0) != FALSE;
}

}  // namespace vm

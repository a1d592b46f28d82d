// The cryptography of the update check, through the system's CryptoAPI: RSA signatures
// (PKCS #1 v1.5 over SHA-256, written as hexadecimal digits, most significant byte first)
// checked with a public key built into the program, and the SHA-256 of a downloaded file.
// A network attacker can change the update information and the release, but cannot sign
// anything of their own. The rules of what must be signed are in UpdateRules.
// Tests: tests/e2e/test_update.py, tests/about/UpdateCryptoTest_win32.cpp.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>

namespace vm {

// True when `signatureHex` signs `data` under `publicKeyBlob`, a CryptoAPI PUBLICKEYBLOB.
// An empty key accepts nothing.
bool VerifySignature(const std::string& data, const std::string& signatureHex, const std::string& publicKeyBlob);

// The same for the bytes read from `file`, from its start.
bool VerifyFileSignature(HANDLE file, const std::string& signatureHex, const std::string& publicKeyBlob);

// The size and the SHA-256 (64 lower-case hexadecimal digits) of the bytes of `file`, read
// from its start; false when the file cannot be read.
bool FileDigest(HANDLE file, std::uint64_t& size, std::string& sha256Hex);

}  // namespace vm

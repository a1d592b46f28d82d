// The check a downloaded program must pass before the update check starts it: an RSA
// signature (PKCS #1 v1.5 over SHA-256, written as hexadecimal digits in the update
// information) made with the maker's private key, verified with the public key built into
// the program through the system's CryptoAPI. A network attacker can change the update
// information and the file, but cannot sign a file of their own.
// Tests: tests/e2e/test_update.py.
#pragma once

#include <windows.h>

#include <string>

namespace vm {

// True when `signatureHex` is a valid signature of the bytes read from `file` (from its
// start) under `publicKeyBlob`, a CryptoAPI PUBLICKEYBLOB. An empty key accepts nothing.
bool VerifyReleaseSignature(HANDLE file, const std::string& signatureHex, const std::string& publicKeyBlob);

}  // namespace vm

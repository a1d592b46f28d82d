// Account passwords as salted slow hashes (yescrypt through the system's libcrypt), and
// random tokens for login sessions. Tests: tests/server/ServerLogicTest.cpp.
#pragma once

#include <string>

namespace vm::server {

// A new salted hash of `password`, e.g. "$y$j9T$<salt>$<hash>". Throws std::runtime_error.
std::string HashPassword(const std::string& password);
// True when `password` gives `hash` again; compares in constant time.
bool VerifyPassword(const std::string& password, const std::string& hash);
// `bytes` bytes from the system's random source, as lowercase hex.
std::string RandomToken(int bytes);

}  // namespace vm::server

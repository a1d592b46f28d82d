#include "server/Passwords.h"

#include <crypt.h>
#include <sys/random.h>

#include <memory>
#include <stdexcept>
#include <vector>

namespace vm::server {

std::string HashPassword(const std::string& password) {
  char salt[CRYPT_GENSALT_OUTPUT_SIZE];
  // Count 0 takes the library's current default cost; the salt comes from the OS.
  if (!crypt_gensalt_rn("$y$", 0, nullptr, 0, salt, sizeof salt)) throw std::runtime_error("cannot make a salt");
  auto data = std::make_unique<crypt_data>();
  const char* hash = crypt_rn(password.c_str(), salt, data.get(), sizeof(crypt_data));
  if (!hash || hash[0] == '*') throw std::runtime_error("cannot hash the password");
  return hash;
}

bool VerifyPassword(const std::string& password, const std::string& hash) {
  auto data = std::make_unique<crypt_data>();
  const char* again = crypt_rn(password.c_str(), hash.c_str(), data.get(), sizeof(crypt_data));
  if (!again || again[0] == '*') return false;
  const std::string other(again);
  if (other.size() != hash.size()) return false;
  unsigned char diff = 0;
  for (size_t i = 0; i < hash.size(); ++i) diff |= static_cast<unsigned char>(other[i] ^ hash[i]);
  return diff == 0;
}

std::string RandomToken(int bytes) {
  std::vector<unsigned char> raw(static_cast<size_t>(bytes));
  size_t got = 0;
  while (got < raw.size()) {
    ssize_t n = getrandom(raw.data() + got, raw.size() - got, 0);
    if (n < 0) throw std::runtime_error("no random bytes");
    got += size_t(n);
  }
  static const char hex[] = "0123456789abcdef";
  std::string out;
  for (unsigned char c : raw) {
    out += hex[c >> 4];
    out += hex[c & 15];
  }
  return out;
}

}  // namespace vm::server

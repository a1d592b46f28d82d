// Base64 (RFC 4648 alphabet, "=" padding) for the upload's Basic authorization and the
// mail channel's attachments and encoded words.
#pragma once

#include <string>
#include <string_view>

namespace vm {

std::string Base64Encode(std::string_view bytes);
// The same, broken into lines of `lineLength` characters ended by CR LF (mail bodies).
std::string Base64Lines(std::string_view bytes, size_t lineLength = 76);

}  // namespace vm

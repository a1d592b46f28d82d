// The path helpers of DeliveryFiles.h that are the same on every system: both separators
// count, since the host tests hand in Windows-style names too.
#include "crashreport/delivery/DeliveryFiles.h"

namespace vm {

std::string PathFolder(const std::string& path) {
  size_t at = path.find_last_of("/\\");
  return at == std::string::npos ? std::string() : path.substr(0, at + 1);
}

std::string PathFileName(const std::string& path) {
  size_t at = path.find_last_of("/\\");
  return at == std::string::npos ? path : path.substr(at + 1);
}

}  // namespace vm

#include "base/FileIO.h"

#include "base/Text.h"

namespace vm {

std::string OpenErrorText(const std::string& path, unsigned long code) {
  return FormatText("Cannot open file \"%s\". %s", path.c_str(), SysErrorMessage(code).c_str());
}

std::string CreateErrorText(const std::string& path, unsigned long code) {
  return FormatText("Cannot create file \"%s\". %s", path.c_str(), SysErrorMessage(code).c_str());
}

}  // namespace vm

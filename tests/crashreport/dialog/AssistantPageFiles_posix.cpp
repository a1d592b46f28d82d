#include "AssistantPageFiles.h"
#include "base/FileIO.h"

namespace vm::test {

std::string ShippedPageBytes(const std::string& formName) {
  return ReadFileDenyWrite(std::string(VM_ASSISTANT_PAGES) + "/TCrash" + formName + ".bin");
}

}  // namespace vm::test

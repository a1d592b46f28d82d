// The shipped assistant pages' bytes as this platform's test sees them: the built files on
// the host, the resources linked into the test program under Windows.
#pragma once

#include <string>

namespace vm::test {

std::string ShippedPageBytes(const std::string& formName);

}  // namespace vm::test

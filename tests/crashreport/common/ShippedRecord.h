// The shipped settings record's bytes as this platform's test sees them.
#pragma once

#include <optional>
#include <string>

namespace vm {

std::optional<std::string> ShippedRecordBytes();

}  // namespace vm

// Finds the version resource in a PE file (PE32 or PE32+) without loading it: headers,
// section table, then the resource directory's three levels (type, name, language).
#pragma once

#include <optional>
#include <string>

#include "about/ByteSource.h"

namespace vm {

// Resource type and name of the version information, as the platform looks it up.
constexpr uint32_t kResourceTypeVersion = 16;  // RT_VERSION
constexpr uint32_t kVersionResourceName = 1;   // VS_VERSION_INFO

// The bytes of the version resource (at most 64 KB, the most its root node can span),
// or nothing when the file is no PE file or has no version resource. Of several languages
// it takes the neutral one, else US English, else the first, much as the platform's
// resource loader does on an English system.
std::optional<std::string> ReadVersionResource(const TByteSource& file);

}  // namespace vm

#include "base/Exception.h"

#include "base/Text.h"

namespace vm {

bool SameClassNameImpl(std::string_view a, std::string_view b) { return SameText(a, b); }

bool Exception::InheritsFrom(std::string_view name) const { return SameText(name, "Exception"); }

}  // namespace vm

#include "tests/settings/RegistryBackend.h"

namespace vm::test {

std::vector<TBackendKind> RegistryBackends() { return {{"Memory", MakeMemoryBackend}}; }

}  // namespace vm::test

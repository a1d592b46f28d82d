#include <unistd.h>

#include "tests/settings/RegistryBackend.h"

namespace vm::test {

std::vector<TBackendKind> RegistryBackends() { return {{"Memory", MakeMemoryBackend}}; }

unsigned long ProcessId() { return static_cast<unsigned long>(getpid()); }

}  // namespace vm::test

// Host builds keep their registry in memory, for the life of the process.
#include "settings/MemoryRegistry.h"

namespace vm {

IRegistryApi& PlatformRegistryApi() {
  static TMemoryRegistry registry;
  return registry;
}

}  // namespace vm

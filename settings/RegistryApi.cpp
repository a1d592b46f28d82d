#include "settings/RegistryApi.h"

namespace vm {

namespace {
IRegistryApi* gRegistryApi = nullptr;
}

IRegistryApi& RegistryApi() { return gRegistryApi ? *gRegistryApi : PlatformRegistryApi(); }

TUseRegistryApi::TUseRegistryApi(IRegistryApi& api) : FPrevious(gRegistryApi) { gRegistryApi = &api; }

TUseRegistryApi::~TUseRegistryApi() { gRegistryApi = FPrevious; }

}  // namespace vm

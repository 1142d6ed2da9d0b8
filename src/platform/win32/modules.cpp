// Run-time module loading and the registry root, over the Windows loader.
#include <windows.h>

#include "platform/modules.h"

namespace vantorel::platform {

ModuleHandle load_module(const char* name) { return name == nullptr ? nullptr : LoadLibraryA(name); }

void* find_routine(ModuleHandle module, const char* name) {
    if (module == nullptr || name == nullptr) return nullptr;
    return reinterpret_cast<void*>(GetProcAddress(static_cast<HMODULE>(module), name));
}

void free_module(ModuleHandle module) {
    if (module != nullptr) FreeLibrary(static_cast<HMODULE>(module));
}

void* registry_local_machine() { return HKEY_LOCAL_MACHINE; }

}  // namespace vantorel::platform

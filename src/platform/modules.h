// Run-time module loading and the registry calls reached through it. On Windows
// these are LoadLibraryA/GetProcAddress/FreeLibrary and the advapi32 registry
// routines; elsewhere a small stand-in answers the same calls, with the
// environment variable VANTOREL_USECPU in place of the USECPU registry value.
#pragma once

#include <cstdint>

#if defined(__i386__)
#define VT_REGISTRY_CALL __attribute__((stdcall))
#else
#define VT_REGISTRY_CALL
#endif

namespace vantorel::platform {

using ModuleHandle = void*;

ModuleHandle load_module(const char* name);
void* find_routine(ModuleHandle module, const char* name);
void free_module(ModuleHandle module);

// Signatures of the three registry routines as the codec calls them.
using RegOpenKeyRoutine = int32_t(VT_REGISTRY_CALL *)(void* root, const char* path, uint32_t options,
                                                              uint32_t access, void** key);
using RegQueryValueRoutine = int32_t(VT_REGISTRY_CALL *)(void* key, const char* name, uint32_t* reserved,
                                                                 uint32_t* type, uint8_t* data, uint32_t* size);
using RegCloseKeyRoutine = int32_t(VT_REGISTRY_CALL *)(void* key);

// HKEY_LOCAL_MACHINE and KEY_QUERY_VALUE as the registry calls expect them.
void* registry_local_machine();
constexpr uint32_t REGISTRY_KEY_QUERY_VALUE = 0x0001;

}  // namespace vantorel::platform

// Stand-ins for run-time module loading and the registry. The "modules" are
// fixed tokens; the only registry value the codec reads, USECPU, comes from the
// environment variable VANTOREL_USECPU (a decimal integer).
#include "platform/modules.h"

#include <cstdlib>
#include <cstring>

namespace vantorel::platform {

namespace {

int module_token_user32;
int module_token_advapi32;
int key_token;
int local_machine_token;

constexpr char kCodecKeyPath[] = "Software\\Morvane Corporation\\Tessaline\\Quorra";

int32_t VT_REGISTRY_CALL posix_reg_open_key(void* root, const char* path, uint32_t, uint32_t, void** key) {
    *key = nullptr;
    if (root != &local_machine_token || path == nullptr || std::strcmp(path, kCodecKeyPath) != 0) return 2;
    if (std::getenv("VANTOREL_USECPU") == nullptr) return 2;  // no key: nothing was ever stored
    *key = &key_token;
    return 0;
}

int32_t VT_REGISTRY_CALL posix_reg_query_value(void* key, const char* name, uint32_t*, uint32_t* type,
                                               uint8_t* data, uint32_t* size) {
    if (key != &key_token || name == nullptr || std::strcmp(name, "USECPU") != 0) return 2;
    const char* text = std::getenv("VANTOREL_USECPU");
    if (text == nullptr || *text == '\0') return 2;
    char* end = nullptr;
    long value = std::strtol(text, &end, 10);
    if (end == nullptr || *end != '\0') return 13;  // not a number: unreadable
    if (type != nullptr) *type = 4;                   // a 4-byte value
    if (data == nullptr || size == nullptr || *size < 4) return 234;
    int32_t v = static_cast<int32_t>(value);
    std::memcpy(data, &v, 4);
    *size = 4;
    return 0;
}

int32_t VT_REGISTRY_CALL posix_reg_close_key(void* key) { return key == &key_token ? 0 : 6; }

}  // namespace

ModuleHandle load_module(const char* name) {
    if (name == nullptr) return nullptr;
    if (std::strcmp(name, "user32") == 0) return &module_token_user32;
    if (std::strcmp(name, "advapi32") == 0) return &module_token_advapi32;
    return nullptr;
}

void* find_routine(ModuleHandle module, const char* name) {
    if (module == &module_token_advapi32) {
        if (std::strcmp(name, "RegOpenKeyExA") == 0) return reinterpret_cast<void*>(&posix_reg_open_key);
        if (std::strcmp(name, "RegQueryValueExA") == 0) return reinterpret_cast<void*>(&posix_reg_query_value);
        if (std::strcmp(name, "RegCloseKey") == 0) return reinterpret_cast<void*>(&posix_reg_close_key);
    }
    // user32's routines are used only by the write side; none is offered here.
    return nullptr;
}

void free_module(ModuleHandle) {}

void* registry_local_machine() { return &local_machine_token; }

}  // namespace vantorel::platform

// Processor detection, the USECPU override and the process-wide memory routines.
// Opening a record loads two system modules (advapi32 for the registry, user32
// for routines only the write side would use); closing it frees them.
#include <cstdlib>
#include <cstring>

#include "codec/codec.h"
#include "platform/modules.h"
#include "platform/processor.h"

namespace vantorel {

PROCESSOR_DESCRIPTION g_processor = {0, 0, 0, 0, 0, 0, "            "};
void (*g_copy_bytes)(void*, const void*, size_t) = &copy_bytes;
void (*g_zero_bytes)(void*, size_t) = &zero_bytes;

namespace {

// user32 routine addresses; process-wide and used only by the write side.
void* g_user32_routines[4];

constexpr char kRegistryPath[] = "Software\\Morvane Corporation\\Tessaline\\Quorra";

void clear_description() {
    g_processor = PROCESSOR_DESCRIPTION{0, 0, 0, 0, 0, 0, "            "};
}

// CPUID is slow where a hypervisor traps it, and every open describes the
// processor twice; the answers never change, so each leaf is asked once.
struct CpuidLeaf {
    bool asked = false;
    bool answered = false;
    uint32_t regs[4] = {};
};

bool cached_cpuid(uint32_t leaf, uint32_t regs[4]) {
    static CpuidLeaf leaves[2];
    CpuidLeaf& entry = leaves[leaf & 1];
    if (!entry.asked) {
        entry.answered = platform::run_cpuid(leaf, entry.regs);
        entry.asked = true;
    }
    std::memcpy(regs, entry.regs, sizeof entry.regs);
    return entry.answered;
}

void describe_processor() {
    clear_description();
    uint32_t regs[4];
    if (!cached_cpuid(0, regs)) {
        clear_description();
        return;
    }
    // Vendor: EBX, EDX, ECX in this order.
    std::memcpy(g_processor.vendor + 0, &regs[1], 4);
    std::memcpy(g_processor.vendor + 4, &regs[3], 4);
    std::memcpy(g_processor.vendor + 8, &regs[2], 4);
    g_processor.vendor[12] = '\0';
    if (regs[0] == 0) return;
    if (!cached_cpuid(1, regs)) {
        clear_description();
        return;
    }
    uint32_t eax = regs[0];
    g_processor.brand_index = static_cast<int32_t>(regs[1] & 0xFF);
    g_processor.processor_type = static_cast<int32_t>((eax >> 12) & 0x3);
    g_processor.family = static_cast<int32_t>((eax >> 8) & 0xF);
    g_processor.model = static_cast<int32_t>((eax >> 4) & 0xF);
    g_processor.stepping = static_cast<int32_t>(eax & 0xF);
    g_processor.feature_flags = regs[3];
}

}  // namespace

void copy_bytes(void* destination, const void* source, size_t count) {
    if (count != 0) std::memmove(destination, source, count);
}

void zero_bytes(void* destination, size_t count) {
    if (count != 0) std::memset(destination, 0, count);
}

JPEG_STATUS select_processor_variant(STAGE_TABLE* table) {
    if (table->user32_module == nullptr) table->user32_module = platform::load_module("user32");
    if (table->user32_module != nullptr) {
        static const char* const kNames[4] = {"MessageBoxA", "PeekMessageA", "PostQuitMessage", "wsprintfA"};
        for (int i = 0; i < 4; ++i) {
            g_user32_routines[i] = platform::find_routine(table->user32_module, kNames[i]);
            if (g_user32_routines[i] == nullptr) break;
        }
    }
    if (table->advapi32_module == nullptr) table->advapi32_module = platform::load_module("advapi32");
    if (table->advapi32_module != nullptr) {
        void** words[3] = {&table->reg_open_key, &table->reg_query_value, &table->reg_close_key};
        static const char* const kNames[3] = {"RegOpenKeyExA", "RegQueryValueExA", "RegCloseKey"};
        for (int i = 0; i < 3; ++i) {
            *words[i] = platform::find_routine(table->advapi32_module, kNames[i]);
            if (*words[i] == nullptr) break;
        }
    }
    int32_t index = detect_variant(table);
    g_copy_bytes = &copy_bytes;
    g_zero_bytes = &zero_bytes;
    fill_stage_table(table, index);
    return STATUS_SUCCESS;
}

int32_t detect_variant(STAGE_TABLE* table) {
    describe_processor();
    int32_t forced = read_cpu_override(table);
    if (forced >= 0 && forced <= 6) return forced;

    return variant_for_processor(g_processor.family, g_processor.feature_flags);
}

int32_t variant_for_processor(int32_t family, uint32_t flags) {
    // EDX bit 23: 64-bit packed integers; bit 25: first vector extension; bit 26: second.
    const bool packed64 = (flags >> 23) & 1u;
    const bool vector1 = (flags >> 25) & 1u;
    const bool vector2 = (flags >> 26) & 1u;
    switch (family) {
    case 5:
        return packed64 ? 3 : 1;
    case 6:
        if (!packed64) return 2;
        return vector1 ? 5 : 4;
    case 15:
        return vector2 ? 6 : 0;
    default:
        return 0;
    }
}

int32_t read_cpu_override(STAGE_TABLE* table) {
    if (table->reg_open_key == nullptr || table->reg_query_value == nullptr || table->reg_close_key == nullptr)
        return -1;
    auto open_key = reinterpret_cast<platform::RegOpenKeyRoutine>(table->reg_open_key);
    auto query_value = reinterpret_cast<platform::RegQueryValueRoutine>(table->reg_query_value);
    auto close_key = reinterpret_cast<platform::RegCloseKeyRoutine>(table->reg_close_key);

    void* key = nullptr;
    int32_t value = -1;
    if (open_key(platform::registry_local_machine(), kRegistryPath, 0, platform::REGISTRY_KEY_QUERY_VALUE, &key) == 0) {
        uint32_t size = 4;
        uint32_t type = 0;
        uint8_t data[4];
        std::memcpy(data, &value, 4);
        query_value(key, "USECPU", nullptr, &type, data, &size);
        std::memcpy(&value, data, 4);
    }
    if (key != nullptr) close_key(key);
    return value;
}

void release_modules(STAGE_TABLE* table) {
    if (table->user32_module != nullptr) {
        platform::free_module(table->user32_module);
        table->user32_module = nullptr;
    }
    for (auto& r : g_user32_routines) r = nullptr;
    if (table->advapi32_module != nullptr) {
        platform::free_module(table->advapi32_module);
        table->advapi32_module = nullptr;
    }
    table->reg_open_key = nullptr;
    table->reg_query_value = nullptr;
    table->reg_close_key = nullptr;
}

void* codec_alloc(size_t bytes) { return std::malloc(bytes == 0 ? 1 : bytes); }

void codec_free(void* block) { std::free(block); }

}  // namespace vantorel

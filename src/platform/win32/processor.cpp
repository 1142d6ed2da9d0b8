// CPUID through the compiler's intrinsic, as on every x86 platform.
#include "platform/processor.h"

#include <cpuid.h>

namespace vantorel::platform {

bool run_cpuid(uint32_t leaf, uint32_t regs[4]) {
    regs[0] = regs[1] = regs[2] = regs[3] = 0;
    // Leaf 0 reports the highest leaf; 0 back from it also means no CPUID at all.
    const unsigned highest = __get_cpuid_max(0, nullptr);
    if (leaf != 0 && highest < leaf) return false;
#if defined(__i386__)
    // On 32-bit processors 0 may also mean that the instruction is missing.
    if (highest == 0) return false;
#endif
    unsigned a = 0, b = 0, c = 0, d = 0;
    __cpuid(leaf, a, b, c, d);
    regs[0] = a;
    regs[1] = b;
    regs[2] = c;
    regs[3] = d;
    return true;
}

bool run_cpuid_subleaf(uint32_t leaf, uint32_t subleaf, uint32_t regs[4]) {
    regs[0] = regs[1] = regs[2] = regs[3] = 0;
    // A subleaf is only ever asked of leaves above 0, so a highest leaf of 0
    // (or no CPUID at all) answers nothing.
    const unsigned highest = __get_cpuid_max(0, nullptr);
    if (highest == 0 || highest < leaf) return false;
    unsigned a = 0, b = 0, c = 0, d = 0;
    __cpuid_count(leaf, subleaf, a, b, c, d);
    regs[0] = a;
    regs[1] = b;
    regs[2] = c;
    regs[3] = d;
    return true;
}

bool read_xcr0(uint64_t* value) {
    *value = 0;
    uint32_t regs[4];
    if (!run_cpuid(1, regs) || ((regs[2] >> 27) & 1u) == 0) return false;
    // Written as an instruction rather than the intrinsic, which would need the
    // XSAVE instruction set for the whole function.
    uint32_t low = 0, high = 0;
    __asm__ volatile("xgetbv" : "=a"(low), "=d"(high) : "c"(0u));
    *value = (static_cast<uint64_t>(high) << 32) | low;
    return true;
}

}  // namespace vantorel::platform

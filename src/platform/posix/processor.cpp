// CPUID through the compiler's intrinsic; processors without it report nothing.
#include "platform/processor.h"

#if defined(__i386__) || defined(__x86_64__)
#include <cpuid.h>
#endif

namespace vantorel::platform {

bool run_cpuid(uint32_t leaf, uint32_t regs[4]) {
    regs[0] = regs[1] = regs[2] = regs[3] = 0;
#if defined(__i386__) || defined(__x86_64__)
    unsigned a = 0, b = 0, c = 0, d = 0;
    if (__get_cpuid_max(0, nullptr) < leaf) {
        if (leaf != 0) return false;
    }
    __cpuid(leaf, a, b, c, d);
    regs[0] = a;
    regs[1] = b;
    regs[2] = c;
    regs[3] = d;
    return true;
#else
    (void)leaf;
    return false;
#endif
}

bool run_cpuid_subleaf(uint32_t leaf, uint32_t subleaf, uint32_t regs[4]) {
    regs[0] = regs[1] = regs[2] = regs[3] = 0;
#if defined(__i386__) || defined(__x86_64__)
    // Leaf 0 reports the highest basic leaf, and 0 when there is no CPUID.
    const unsigned highest = __get_cpuid_max(0, nullptr);
    if (highest == 0 || highest < leaf) return false;
    unsigned a = 0, b = 0, c = 0, d = 0;
    __cpuid_count(leaf, subleaf, a, b, c, d);
    regs[0] = a;
    regs[1] = b;
    regs[2] = c;
    regs[3] = d;
    return true;
#else
    (void)leaf;
    (void)subleaf;
    return false;
#endif
}

bool read_xcr0(uint64_t* value) {
    *value = 0;
#if defined(__i386__) || defined(__x86_64__)
    uint32_t regs[4];
    if (!run_cpuid(1, regs) || ((regs[2] >> 27) & 1u) == 0) return false;
    // Written as an instruction rather than the intrinsic, which would need the
    // XSAVE instruction set for the whole function.
    uint32_t low = 0, high = 0;
    __asm__ volatile("xgetbv" : "=a"(low), "=d"(high) : "c"(0u));
    *value = (static_cast<uint64_t>(high) << 32) | low;
    return true;
#else
    return false;
#endif
}

}  // namespace vantorel::platform

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

}  // namespace vantorel::platform

// Processor description through the CPUID instruction.
#pragma once

#include <cstdint>

namespace vantorel::platform {

// Runs CPUID for the leaf; false when the processor cannot (no such instruction).
bool run_cpuid(uint32_t leaf, uint32_t regs[4]);  // regs: EAX, EBX, ECX, EDX

}  // namespace vantorel::platform

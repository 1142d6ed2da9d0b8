// Processor description through the CPUID instruction.
#pragma once

#include <cstdint>

namespace vantorel::platform {

// Runs CPUID for the leaf; false when the processor cannot (no such instruction).
bool run_cpuid(uint32_t leaf, uint32_t regs[4]);  // regs: EAX, EBX, ECX, EDX

// The same for leaves that take a subleaf in ECX (leaf 7: the extended
// features; leaf 0xD: the saved register state). False, with zeros, for a leaf
// above the highest one the processor reports.
bool run_cpuid_subleaf(uint32_t leaf, uint32_t subleaf, uint32_t regs[4]);

// Extended control register 0 (XGETBV with ECX = 0): the register state the
// operating system saves on a task switch. Bit 1 is the 128-bit vector state,
// bit 2 the upper halves of the 256-bit registers. The instruction exists only
// where CPUID leaf 1 reports OSXSAVE (ECX bit 27); without it this returns false
// and sets 0, without executing it.
bool read_xcr0(uint64_t* value);

}  // namespace vantorel::platform

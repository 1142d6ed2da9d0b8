// The packed 8x8 direct transform for processors with the fourth vector
// extension's first part (CPUID leaf 1, ECX bit 19), whose 32-bit multiply keeps
// the low halves of four products in one instruction. Everything else is the
// 128-bit baseline body (idct_direct_parts.inc), with the same results.
#include "codec/decoder/x86/x86_stages.h"

#if VANTOREL_X86_BODIES
#include <emmintrin.h>
#include <smmintrin.h>

#pragma GCC push_options
#pragma GCC target("sse4.1")
// clang ignores the GCC pragma; its own form gives every function here the
// same instruction set.
#if defined(__clang__)
#pragma clang attribute push(__attribute__((target("sse4.1"))), apply_to = function)
#endif

namespace vantorel::x86 {

namespace {

struct DirectMultiply {
    static __m128i low32(__m128i x, __m128i k) { return _mm_mullo_epi32(x, k); }
};

#include "codec/decoder/x86/idct_direct_parts.inc"

}  // namespace

#if defined(__i386__)
__attribute__((force_align_arg_pointer))
#endif
void idct_direct_8x8_sse41(int16_t* block) {
    idct_8x8<DirectMultiply>(block);
}

}  // namespace vantorel::x86

#if defined(__clang__)
#pragma clang attribute pop
#endif
#pragma GCC pop_options

#endif

// Dequantisation of the direct family where the 32-bit unsigned-saturating pack
// exists (CPUID leaf 1, ECX bit 19): the low halves of the steps are masked out
// and packed as they are, which the 128-bit baseline has to do with shifts.
// Products keep their low 16 bits, as in the generic routine.
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

#if defined(__i386__)
__attribute__((force_align_arg_pointer))
#endif
void dequantize_direct_sse41(int16_t* block, const QUANT_VALUE* values) {
    const __m128i low_half = _mm_set1_epi32(0xFFFF);
    for (int i = 0; i < 64; i += 8) {
        const __m128i v0 = _mm_and_si128(_mm_loadu_si128(reinterpret_cast<const __m128i*>(values + i)), low_half);
        const __m128i v1 = _mm_and_si128(_mm_loadu_si128(reinterpret_cast<const __m128i*>(values + i + 4)), low_half);
        const __m128i steps = _mm_packus_epi32(v0, v1);  // 0..65535: packed unchanged
        __m128i* p = reinterpret_cast<__m128i*>(block + i);
        _mm_storeu_si128(p, _mm_mullo_epi16(_mm_loadu_si128(p), steps));
    }
}

}  // namespace vantorel::x86

#if defined(__clang__)
#pragma clang attribute pop
#endif
#pragma GCC pop_options

#endif

// Dequantisation of the direct family on 256-bit registers: sixteen steps at a
// time are masked to their low halves and packed, which leaves them in the
// order [0-3, 8-11 | 4-7, 12-15]; one quadword permute restores it. Products
// keep their low 16 bits, as in the generic routine.
#include "codec/decoder/x86/x86_stages.h"

#if VANTOREL_X86_BODIES
#include <immintrin.h>

#pragma GCC push_options
#pragma GCC target("avx2")
#if defined(__clang__)
#pragma clang attribute push(__attribute__((target("avx2"))), apply_to = function)
#endif

namespace vantorel::x86 {

#if defined(__i386__)
__attribute__((force_align_arg_pointer))
#endif
void dequantize_direct_avx2(int16_t* block, const QUANT_VALUE* values) {
    const __m256i low_half = _mm256_set1_epi32(0xFFFF);
    for (int i = 0; i < 64; i += 16) {
        const __m256i v0 =
            _mm256_and_si256(_mm256_loadu_si256(reinterpret_cast<const __m256i*>(values + i)), low_half);
        const __m256i v1 =
            _mm256_and_si256(_mm256_loadu_si256(reinterpret_cast<const __m256i*>(values + i + 8)), low_half);
        const __m256i steps = _mm256_permute4x64_epi64(_mm256_packus_epi32(v0, v1), 0xD8);
        __m256i* p = reinterpret_cast<__m256i*>(block + i);
        _mm256_storeu_si256(p, _mm256_mullo_epi16(_mm256_loadu_si256(p), steps));
    }
}

}  // namespace vantorel::x86

#if defined(__clang__)
#pragma clang attribute pop
#endif
#pragma GCC pop_options

#endif

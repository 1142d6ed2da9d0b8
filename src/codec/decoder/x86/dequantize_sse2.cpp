// Dequantisation of the direct family on 128-bit registers, eight coefficients
// per step. Only the low 16 bits of each product are kept, and those depend only
// on the low 16 bits of the step, so a 16-bit multiply gives the generic result
// for every step value, including prepared values wider than 16 bits.
#include "codec/decoder/x86/x86_stages.h"

#if VANTOREL_X86_BODIES
#include <emmintrin.h>

namespace vantorel::x86 {

VANTOREL_SSE2_ENTRY void dequantize_direct_sse2(int16_t* block, const QUANT_VALUE* values) {
    for (int i = 0; i < 64; i += 8) {
        // The low halves of eight 32-bit steps, sign-extended so that the
        // saturating pack leaves them unchanged.
        const __m128i v0 = _mm_loadu_si128(reinterpret_cast<const __m128i*>(values + i));
        const __m128i v1 = _mm_loadu_si128(reinterpret_cast<const __m128i*>(values + i + 4));
        const __m128i steps = _mm_packs_epi32(_mm_srai_epi32(_mm_slli_epi32(v0, 16), 16),
                                              _mm_srai_epi32(_mm_slli_epi32(v1, 16), 16));
        __m128i* p = reinterpret_cast<__m128i*>(block + i);
        _mm_storeu_si128(p, _mm_mullo_epi16(_mm_loadu_si128(p), steps));
    }
}

}  // namespace vantorel::x86

#endif

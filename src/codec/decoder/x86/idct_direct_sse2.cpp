// The direct-family 8x8 inverse transform on 128-bit registers: eight rows (then
// eight columns) at once, one register per frequency.
//
// Every product is formed by pmaddwd, which multiplies 16-bit pairs and adds them
// exactly in 32 bits, so the sums equal the generic routine's 32-bit arithmetic.
// Two constants do not fit a signed 16-bit factor: 42813 is split into
// 32768 + 10045 (the 32768 part is a shift), and the 5793 scaling of the odd
// terms multiplies 32-bit values, done with the unsigned 32x32 multiply whose
// low half is the same for signed inputs. The one place the results can part
// from the generic ones is the 16-bit store of the row results, which saturates:
// row results beyond +-32767 need coefficients no 8-bit picture produces.
#include "codec/decoder/x86/x86_stages.h"

#if VANTOREL_X86_BODIES
#include <emmintrin.h>

#pragma GCC push_options
#pragma GCC target("sse2")

namespace vantorel::x86 {

namespace {

// Low 32 bits of x * k in each lane.
struct WidenedMultiply {
    static __m128i low32(__m128i x, __m128i k) {
        const __m128i even = _mm_mul_epu32(x, k);
        const __m128i odd = _mm_mul_epu32(_mm_srli_epi64(x, 32), k);
        return _mm_unpacklo_epi32(_mm_shuffle_epi32(even, _MM_SHUFFLE(0, 0, 2, 0)),
                                  _mm_shuffle_epi32(odd, _MM_SHUFFLE(0, 0, 2, 0)));
    }
};

#include "codec/decoder/x86/idct_direct_parts.inc"

}  // namespace

VANTOREL_SSE2_ENTRY void idct_direct_8x8_sse2(int16_t* block) { idct_8x8<WidenedMultiply>(block); }

}  // namespace vantorel::x86

#pragma GCC pop_options

#endif

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

namespace vantorel::x86 {

namespace {

// A register of (a, b) 16-bit pairs for pmaddwd: a multiplies the first element
// of each pair, b the second.
VANTOREL_SSE2 inline __m128i pair(int a, int b) {
    return _mm_set1_epi32(static_cast<int>(static_cast<uint32_t>(static_cast<uint16_t>(a)) |
                                           (static_cast<uint32_t>(static_cast<uint16_t>(b)) << 16)));
}

// Low 32 bits of x * k in each lane.
VANTOREL_SSE2 inline __m128i mul32(__m128i x, __m128i k) {
    const __m128i even = _mm_mul_epu32(x, k);
    const __m128i odd = _mm_mul_epu32(_mm_srli_epi64(x, 32), k);
    return _mm_unpacklo_epi32(_mm_shuffle_epi32(even, _MM_SHUFFLE(0, 0, 2, 0)),
                              _mm_shuffle_epi32(odd, _MM_SHUFFLE(0, 0, 2, 0)));
}

template <bool High>
VANTOREL_SSE2 inline __m128i interleave(__m128i a, __m128i b) {
    return High ? _mm_unpackhi_epi16(a, b) : _mm_unpacklo_epi16(a, b);
}

// x << 15 as 32 bits for four 16-bit lanes: placing x in the high half gives
// x << 16, and an arithmetic shift right by one keeps the sign.
template <bool High>
VANTOREL_SSE2 inline __m128i widen_shift15(__m128i x) {
    return _mm_srai_epi32(interleave<High>(_mm_setzero_si128(), x), 1);
}

// The eight-point transform of four lanes (the low or high half of each input
// register), before the pass's rounding shift. Same terms as the generic one.
template <bool High>
VANTOREL_SSE2 inline void transform_half(const __m128i p[8], __m128i out[8]) {
    const __m128i p17 = interleave<High>(p[1], p[7]);
    const __m128i p53 = interleave<High>(p[5], p[3]);
    const __m128i p26 = interleave<High>(p[2], p[6]);

    const __m128i f = _mm_madd_epi16(p17, pair(6393, -32138));
    const __m128i h = _mm_madd_epi16(p17, pair(32138, 6393));
    const __m128i g = _mm_madd_epi16(p53, pair(27246, -18205));
    const __m128i l = _mm_madd_epi16(p53, pair(18205, 27246));

    const __m128i half = _mm_set1_epi32(2048);
    const __m128i k5793 = _mm_set1_epi32(5793);
    const __m128i e = mul32(_mm_srai_epi32(_mm_add_epi32(_mm_add_epi32(f, g), half), 12), k5793);
    const __m128i t = mul32(_mm_srai_epi32(_mm_add_epi32(_mm_add_epi32(h, l), half), 12), k5793);
    const __m128i a = _mm_sub_epi32(_mm_sub_epi32(_mm_add_epi32(h, f), l), g);
    const __m128i c = _mm_sub_epi32(_mm_sub_epi32(_mm_add_epi32(h, g), l), f);

    const __m128i s0 = widen_shift15<High>(p[0]);
    const __m128i s4 = widen_shift15<High>(p[4]);
    const __m128i u = _mm_add_epi32(s0, s4);
    const __m128i r = _mm_sub_epi32(s0, s4);
    const __m128i w = _mm_add_epi32(_mm_madd_epi16(p26, pair(10045, 17734)), widen_shift15<High>(p[2]));
    const __m128i b = _mm_sub_epi32(_mm_madd_epi16(p26, pair(17734, -10045)), widen_shift15<High>(p[6]));

    const __m128i uw = _mm_add_epi32(u, w);
    const __m128i u_w = _mm_sub_epi32(u, w);
    const __m128i rb = _mm_add_epi32(r, b);
    const __m128i r_b = _mm_sub_epi32(r, b);
    out[0] = _mm_add_epi32(uw, t);
    out[7] = _mm_sub_epi32(uw, t);
    out[1] = _mm_add_epi32(rb, a);
    out[6] = _mm_sub_epi32(rb, a);
    out[2] = _mm_add_epi32(r_b, c);
    out[5] = _mm_sub_epi32(r_b, c);
    out[3] = _mm_add_epi32(u_w, e);
    out[4] = _mm_sub_epi32(u_w, e);
}

VANTOREL_SSE2 inline void transpose(__m128i v[8]) {
    const __m128i a0 = _mm_unpacklo_epi16(v[0], v[1]);
    const __m128i a1 = _mm_unpackhi_epi16(v[0], v[1]);
    const __m128i a2 = _mm_unpacklo_epi16(v[2], v[3]);
    const __m128i a3 = _mm_unpackhi_epi16(v[2], v[3]);
    const __m128i a4 = _mm_unpacklo_epi16(v[4], v[5]);
    const __m128i a5 = _mm_unpackhi_epi16(v[4], v[5]);
    const __m128i a6 = _mm_unpacklo_epi16(v[6], v[7]);
    const __m128i a7 = _mm_unpackhi_epi16(v[6], v[7]);
    const __m128i b0 = _mm_unpacklo_epi32(a0, a2);
    const __m128i b1 = _mm_unpackhi_epi32(a0, a2);
    const __m128i b2 = _mm_unpacklo_epi32(a1, a3);
    const __m128i b3 = _mm_unpackhi_epi32(a1, a3);
    const __m128i b4 = _mm_unpacklo_epi32(a4, a6);
    const __m128i b5 = _mm_unpackhi_epi32(a4, a6);
    const __m128i b6 = _mm_unpacklo_epi32(a5, a7);
    const __m128i b7 = _mm_unpackhi_epi32(a5, a7);
    v[0] = _mm_unpacklo_epi64(b0, b4);
    v[1] = _mm_unpackhi_epi64(b0, b4);
    v[2] = _mm_unpacklo_epi64(b1, b5);
    v[3] = _mm_unpackhi_epi64(b1, b5);
    v[4] = _mm_unpacklo_epi64(b2, b6);
    v[5] = _mm_unpackhi_epi64(b2, b6);
    v[6] = _mm_unpacklo_epi64(b3, b7);
    v[7] = _mm_unpackhi_epi64(b3, b7);
}

}  // namespace

VANTOREL_SSE2_ENTRY void idct_direct_8x8_sse2(int16_t* block) {
    __m128i v[8];
    for (int i = 0; i < 8; ++i) v[i] = _mm_loadu_si128(reinterpret_cast<const __m128i*>(block + 8 * i));

    // Many blocks are sparse. Rows of zero coefficients give zero row results,
    // so when rows 4-7 are empty only half of the row pass is needed; a block
    // with nothing but its DC value gives one sample everywhere.
    const __m128i zero = _mm_setzero_si128();
    const __m128i low_rows = _mm_or_si128(_mm_or_si128(v[1], v[2]), v[3]);
    const __m128i high_rows = _mm_or_si128(_mm_or_si128(v[4], v[5]), _mm_or_si128(v[6], v[7]));
    const bool high_empty = _mm_movemask_epi8(_mm_cmpeq_epi16(high_rows, zero)) == 0xFFFF;
    if (high_empty) {
        const __m128i ac = _mm_or_si128(low_rows, _mm_and_si128(v[0], _mm_set_epi16(-1, -1, -1, -1, -1, -1, -1, 0)));
        if (_mm_movemask_epi8(_mm_cmpeq_epi16(ac, zero)) == 0xFFFF) {
            // The row pass gives 8 x DC (saturated to 16 bits like every row
            // result) in row 0; the column pass gives (that + 32) >> 6.
            const int32_t dc = block[0];
            int32_t row = dc * 8;
            row = row > 32767 ? 32767 : row < -32768 ? -32768 : row;
            const int32_t x = (row + 32) >> 6;
            const int16_t sample = static_cast<int16_t>(x < -128 ? 0 : x >= 128 ? 255 : x + 128);
            const __m128i fill = _mm_set1_epi16(sample);
            for (int k = 0; k < 8; ++k) _mm_storeu_si128(reinterpret_cast<__m128i*>(block + 8 * k), fill);
            return;
        }
    }

    // Row pass: after the transpose register k holds frequency k of all eight
    // rows, and each output register holds one column of the row results.
    transpose(v);
    __m128i lo[8], hi[8];
    transform_half<false>(v, lo);
    const __m128i row_round = _mm_set1_epi32(2048);
    if (high_empty) {
        for (int k = 0; k < 8; ++k)
            v[k] = _mm_packs_epi32(_mm_srai_epi32(_mm_add_epi32(lo[k], row_round), 12), zero);
    } else {
        transform_half<true>(v, hi);
        for (int k = 0; k < 8; ++k) {
            v[k] = _mm_packs_epi32(_mm_srai_epi32(_mm_add_epi32(lo[k], row_round), 12),
                                   _mm_srai_epi32(_mm_add_epi32(hi[k], row_round), 12));
        }
    }

    // Column pass: back to one register per row of row results, so the lanes are
    // the columns and output register k is sample row k.
    transpose(v);
    transform_half<false>(v, lo);
    transform_half<true>(v, hi);
    const __m128i column_round = _mm_set1_epi32(0x100000);
    const __m128i level = _mm_set1_epi16(128);
    const __m128i top = _mm_set1_epi16(255);
    for (int k = 0; k < 8; ++k) {
        __m128i x = _mm_packs_epi32(_mm_srai_epi32(_mm_add_epi32(lo[k], column_round), 21),
                                    _mm_srai_epi32(_mm_add_epi32(hi[k], column_round), 21));
        // Saturation keeps the sign, so the clamp to 0..255 after the level shift
        // is the same as on the 32-bit value.
        x = _mm_min_epi16(_mm_max_epi16(_mm_adds_epi16(x, level), zero), top);
        _mm_storeu_si128(reinterpret_cast<__m128i*>(block + 8 * k), x);
    }
}

}  // namespace vantorel::x86

#endif

// The packed 8x8 transform of the scaled family, for processors with the byte
// shuffle extension (CPUID leaf 1, ECX bit 9), whose rounding high-half multiply
// gives (x K + 0x4000) >> 15 exactly for sixteen-bit x and K. Multipliers of 2^15
// or more are split into a whole part, added as x or 2x, and a fraction below
// 2^15, which keeps the products exact too. The columns pass works on the rows
// of the block as they lie (eight columns at once); after a transpose the rows
// pass does likewise, and a second transpose puts the samples back in order.
//
// All arithmetic is sixteen-bit with saturating additions. Wherever the generic
// routine's values fit in sixteen bits, which covers the coefficients of real
// pictures, the samples are the generic ones; with extreme coefficients sums
// saturate here where the generic routine carries 32 bits, and samples differ.
#include "codec/decoder/x86/x86_stages.h"

#if VANTOREL_X86_BODIES
#include <emmintrin.h>
#include <tmmintrin.h>

#pragma GCC push_options
#pragma GCC target("ssse3")
#if defined(__clang__)
#pragma clang attribute push(__attribute__((target("ssse3"))), apply_to = function)
#endif

namespace vantorel::x86 {

namespace {

#include "codec/decoder/x86/transpose_parts.inc"

inline __m128i add(__m128i a, __m128i b) { return _mm_adds_epi16(a, b); }
inline __m128i sub(__m128i a, __m128i b) { return _mm_subs_epi16(a, b); }

// (x K + 0x4000) >> 15 for the four multipliers of the flow graph.
inline __m128i times_25080(__m128i x) { return _mm_mulhrs_epi16(x, _mm_set1_epi16(25080)); }
inline __m128i times_46341(__m128i x) { return add(x, _mm_mulhrs_epi16(x, _mm_set1_epi16(46341 - 32768))); }
inline __m128i times_35468(__m128i x) { return add(x, _mm_mulhrs_epi16(x, _mm_set1_epi16(35468 - 32768))); }
inline __m128i times_85627(__m128i x) {
    return add(add(x, x), _mm_mulhrs_epi16(x, _mm_set1_epi16(85627 - 65536)));
}

// The columns pass: v[r] is row r of the block, each lane one column.
inline void columns(__m128i v[8]) {
    const __m128i x0 = v[0], x1 = v[1], x2 = v[2], x3 = v[3], x4 = v[4], x5 = v[5], x6 = v[6], x7 = v[7];
    const __m128i e = times_25080(sub(sub(add(x5, x7), x3), x1));
    const __m128i f = times_46341(sub(sub(add(x1, x7), x5), x3));
    const __m128i g = add(add(add(x5, x3), x1), x7);
    const __m128i h = sub(e, times_85627(sub(x5, x3)));
    const __m128i l = sub(sub(times_35468(sub(x1, x7)), e), g);
    const __m128i u = add(x2, x6);
    const __m128i v_ = sub(times_46341(sub(x2, x6)), u);
    const __m128i d = sub(x0, x4);
    const __m128i t = add(x4, x0);
    const __m128i hfl = sub(add(h, f), l);
    v[0] = add(add(add(g, u), x4), x0);
    v[1] = add(add(v_, d), l);
    v[2] = sub(sub(add(d, f), v_), l);
    v[3] = sub(sub(t, u), hfl);
    v[4] = add(sub(t, u), hfl);
    v[5] = sub(sub(d, v_), sub(f, l));
    v[6] = sub(add(v_, d), l);
    v[7] = sub(add(add(u, x4), x0), g);
}

// (x + 8) >> 4 level-shifted and clamped to 0..255.
inline __m128i descale(__m128i x) {
    const __m128i s = add(_mm_srai_epi16(add(x, _mm_set1_epi16(8)), 4), _mm_set1_epi16(128));
    return _mm_min_epi16(_mm_max_epi16(s, _mm_setzero_si128()), _mm_set1_epi16(255));
}

// The rows pass: v[k] holds value k of every row, each lane one row.
inline void rows(__m128i v[8]) {
    const __m128i y0 = v[0], y1 = v[1], y2 = v[2], y3 = v[3], y4 = v[4], y5 = v[5], y6 = v[6], y7 = v[7];
    const __m128i k = times_25080(sub(sub(add(y5, y7), y3), y1));
    const __m128i odd_sum = add(add(add(y1, y3), y5), y7);
    const __m128i odd_diff = times_46341(sub(sub(add(y1, y7), y5), y3));
    const __m128i odd_g = sub(sub(times_35468(sub(y1, y7)), k), odd_sum);
    const __m128i odd_h = sub(k, times_85627(sub(y5, y3)));
    const __m128i even_sum = add(y2, y6);
    const __m128i dc_sum = add(y0, y4);
    const __m128i even_rot = sub(times_46341(sub(y2, y6)), even_sum);
    const __m128i w = sub(add(even_rot, y0), y4);
    const __m128i v2 = sub(sub(y0, y4), even_rot);
    const __m128i f2 = sub(odd_diff, odd_g);
    v[0] = descale(add(add(odd_sum, even_sum), dc_sum));
    v[1] = descale(add(w, odd_g));
    v[2] = descale(add(v2, f2));
    v[3] = descale(sub(sub(sub(dc_sum, even_sum), odd_h), f2));
    v[4] = descale(sub(add(add(dc_sum, odd_h), f2), even_sum));
    v[5] = descale(sub(v2, f2));
    v[6] = descale(sub(w, odd_g));
    v[7] = descale(sub(add(even_sum, dc_sum), odd_sum));
}

}  // namespace

#if defined(__i386__)
__attribute__((force_align_arg_pointer))
#endif
void idct_scaled_8x8_ssse3(int16_t* block) {
    __m128i v[8];
    for (int i = 0; i < 8; ++i) v[i] = _mm_loadu_si128(reinterpret_cast<const __m128i*>(block + 8 * i));
    // A block with only its DC value: both passes carry it unchanged to every
    // position, so every sample is its descaled value.
    __m128i ac = _mm_and_si128(v[0], _mm_setr_epi16(0, -1, -1, -1, -1, -1, -1, -1));
    for (int i = 1; i < 8; ++i) ac = _mm_or_si128(ac, v[i]);
    if (_mm_movemask_epi8(_mm_cmpeq_epi8(ac, _mm_setzero_si128())) == 0xFFFF) {
        const __m128i fill = descale(_mm_set1_epi16(block[0]));
        for (int i = 0; i < 8; ++i) _mm_storeu_si128(reinterpret_cast<__m128i*>(block + 8 * i), fill);
        return;
    }
    columns(v);
    transpose(v);
    rows(v);
    transpose(v);
    for (int i = 0; i < 8; ++i) _mm_storeu_si128(reinterpret_cast<__m128i*>(block + 8 * i), v[i]);
}

}  // namespace vantorel::x86

#if defined(__clang__)
#pragma clang attribute pop
#endif
#pragma GCC pop_options

#endif

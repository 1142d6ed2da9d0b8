// The triangle-filtered writer of whole Y 2xV, Cb 1x1, Cr 1x1 MCUs on 128-bit
// registers, for processors with the byte shuffle (CPUID leaf 1, ECX bit 9).
// It gives the generic writer's bytes: the same 3:1 sums, the same rewritten
// in-place colour formulas in 16-bit lanes (see smooth_output.cpp), and the
// unsigned saturating pack as the clamp to 0..255. What it adds is the layout:
// each output row is worked as sixteen pixels in pixel order, and the three
// colour planes of a row are interleaved into pixels with byte shuffles and
// stored as three (or four) whole 16-byte stores.
#include "codec/decoder/x86/x86_stages.h"

#if VANTOREL_X86_BODIES
#include <emmintrin.h>
#include <tmmintrin.h>

#include <array>

#pragma GCC push_options
#pragma GCC target("ssse3")
#if defined(__clang__)
#pragma clang attribute push(__attribute__((target("ssse3"))), apply_to = function)
#endif

namespace vantorel::x86 {

namespace {

#include "codec/decoder/x86/smooth_parts.inc"

alignas(16) constexpr auto kInterleave = make_interleave<16>();

inline __m128i control(int chunk, int plane) {
    return _mm_load_si128(reinterpret_cast<const __m128i*>(kInterleave[chunk][plane].data()));
}

// (3 centre + other + bias) >> shift, the two parities with their own biases.
inline __m128i weigh(__m128i centre, __m128i other, __m128i bias, int shift) {
    const __m128i sum = _mm_add_epi16(_mm_add_epi16(_mm_add_epi16(centre, centre), centre), other);
    return _mm_srli_epi16(_mm_add_epi16(sum, bias), shift);
}

// One filtered chroma row in pixel order: pixels 0-7 and 8-15.
struct ROW {
    __m128i low, high;
};

inline ROW pixel_order(__m128i even, __m128i odd) {
    return {_mm_unpacklo_epi16(even, odd), _mm_unpackhi_epi16(even, odd)};
}

// The 8V filtered rows of one chroma component.
template <int32_t V>
void filter_chroma(const int16_t* const (*n)[3], ROW* rows) {
    if constexpr (V == 2) {
        SUMS tile[10];
        // The row above and below come from the blocks there, or repeat the
        // block's own first and last rows (the corner samples likewise).
        tile[0] = n[0][1] != nullptr ? tile_row(n[0], 7) : tile_row(n[1], 0);
        for (int32_t r = 0; r < 8; ++r) tile[r + 1] = tile_row(n[1], r);
        tile[9] = n[2][1] != nullptr ? tile_row(n[2], 0) : tile_row(n[1], 7);
        const __m128i eight = _mm_set1_epi16(8), seven = _mm_set1_epi16(7);
        for (int32_t r = 0; r < 8; ++r) {
            const SUMS& c = tile[r + 1];
            rows[2 * r] = pixel_order(weigh(c.even, tile[r].even, eight, 4), weigh(c.odd, tile[r].odd, seven, 4));
            rows[2 * r + 1] =
                pixel_order(weigh(c.even, tile[r + 2].even, eight, 4), weigh(c.odd, tile[r + 2].odd, seven, 4));
        }
    } else {
        const __m128i one = _mm_set1_epi16(1), two = _mm_set1_epi16(2);
        for (int32_t r = 0; r < 8; ++r) {
            const SUMS s = tile_row(n[1], r);
            rows[r] = pixel_order(_mm_srli_epi16(_mm_add_epi16(s.even, one), 2),
                                  _mm_srli_epi16(_mm_add_epi16(s.odd, two), 2));
        }
    }
}

// The in-place colour formulas of eight pixels, each less its bias, as signed
// 16-bit lanes for the saturating pack.
struct COLOUR {
    __m128i red, green, blue;
};

inline COLOUR convert(__m128i y, __m128i cb, __m128i cr) {
    // Y + Cr + ((103 Cr + 11) >> 8) - 179
    const __m128i red_part = _mm_srli_epi16(_mm_add_epi16(_mm_mullo_epi16(cr, _mm_set1_epi16(103)), _mm_set1_epi16(11)), 8);
    const __m128i red = _mm_sub_epi16(_mm_add_epi16(_mm_add_epi16(y, cr), red_part), _mm_set1_epi16(179));
    // Y + ((22774 - 88 Cb + 73 Cr) >> 8) + 302 - Cr - 255, the shift on the unsigned sum
    const __m128i green_sum = _mm_sub_epi16(_mm_add_epi16(_mm_set1_epi16(22774), _mm_mullo_epi16(cr, _mm_set1_epi16(73))),
                                            _mm_mullo_epi16(cb, _mm_set1_epi16(88)));
    const __m128i green =
        _mm_add_epi16(_mm_sub_epi16(_mm_add_epi16(y, _mm_srli_epi16(green_sum, 8)), cr), _mm_set1_epi16(302 - 255));
    // Y + 2 Cb + ((15023 - 58 Cb) >> 8) - 285
    const __m128i blue_part = _mm_srli_epi16(_mm_sub_epi16(_mm_set1_epi16(15023), _mm_mullo_epi16(cb, _mm_set1_epi16(58))), 8);
    const __m128i blue =
        _mm_sub_epi16(_mm_add_epi16(_mm_add_epi16(y, _mm_add_epi16(cb, cb)), blue_part), _mm_set1_epi16(285));
    return {red, green, blue};
}

// Converts and stores one output row of sixteen pixels.
template <int32_t FORMAT>
inline void store_row(const int16_t* left, const int16_t* right, const ROW& cb, const ROW& cr, uint8_t* out) {
    const __m128i low_byte = _mm_set1_epi16(0xFF);
    const COLOUR a = convert(_mm_and_si128(load8(left), low_byte), cb.low, cr.low);
    const COLOUR b = convert(_mm_and_si128(load8(right), low_byte), cb.high, cr.high);
    const __m128i red = _mm_packus_epi16(a.red, b.red);
    const __m128i green = _mm_packus_epi16(a.green, b.green);
    const __m128i blue = _mm_packus_epi16(a.blue, b.blue);
    const __m128i first = FORMAT == SMOOTH_BGR ? blue : red;
    const __m128i third = FORMAT == SMOOTH_BGR ? red : blue;
    if constexpr (FORMAT == SMOOTH_QUAD) {
        const __m128i opaque = _mm_set1_epi8(-1);
        const __m128i front_low = _mm_unpacklo_epi8(first, green), front_high = _mm_unpackhi_epi8(first, green);
        const __m128i back_low = _mm_unpacklo_epi8(third, opaque), back_high = _mm_unpackhi_epi8(third, opaque);
        __m128i* p = reinterpret_cast<__m128i*>(out);
        _mm_storeu_si128(p, _mm_unpacklo_epi16(front_low, back_low));
        _mm_storeu_si128(p + 1, _mm_unpackhi_epi16(front_low, back_low));
        _mm_storeu_si128(p + 2, _mm_unpacklo_epi16(front_high, back_high));
        _mm_storeu_si128(p + 3, _mm_unpackhi_epi16(front_high, back_high));
    } else {
        __m128i* p = reinterpret_cast<__m128i*>(out);
        for (int chunk = 0; chunk < 3; ++chunk) {
            const __m128i bytes = _mm_or_si128(_mm_or_si128(_mm_shuffle_epi8(first, control(chunk, 0)),
                                                            _mm_shuffle_epi8(green, control(chunk, 1))),
                                               _mm_shuffle_epi8(third, control(chunk, 2)));
            _mm_storeu_si128(p + chunk, bytes);
        }
    }
}

template <int32_t V, int32_t FORMAT>
void write(const SMOOTHED_MCU& m) {
    ROW cb[8 * V], cr[8 * V];
    filter_chroma<V>(m.cb, cb);
    filter_chroma<V>(m.cr, cr);
    uint8_t* row = m.out;
    for (int32_t y = 0; y < 8 * V; ++y) {
        const int16_t* left = m.luma + (y / 8) * 128 + (y % 8) * 8;
        store_row<FORMAT>(left, left + 64, cb[y], cr[y], row);
        row = reinterpret_cast<uint8_t*>(reinterpret_cast<uintptr_t>(row) + static_cast<uintptr_t>(m.stride));
    }
}

}  // namespace

VANTOREL_SMOOTHED_ENTRY(write_smoothed_ssse3)

}  // namespace vantorel::x86

#if defined(__clang__)
#pragma clang attribute pop
#endif
#pragma GCC pop_options

#endif

// The triangle-filtered MCU writer of smooth_ssse3.cpp on 256-bit registers:
// two output rows at once, the upper one in the low 128-bit lane and the lower
// one in the high lane, with the 128-bit body's bytes. Under 2x1 luma the two
// rows are neighbours; under 2x2 they are two apart (rows 4j and 4j + 2, or
// 4j + 1 and 4j + 3), the pairing that lets the vertical filter reuse its
// terms with the fewest lane permutes. The chroma leaves the filter less
// fixed offsets and the colour formulas are rewritten around them (see
// convert), for fewer operations per pixel with the same 16-bit results.
#include "codec/decoder/x86/x86_stages.h"

#if VANTOREL_X86_BODIES
#include <immintrin.h>

#include <array>

#pragma GCC push_options
#pragma GCC target("avx2")
#if defined(__clang__)
#pragma clang attribute push(__attribute__((target("avx2"))), apply_to = function)
#endif

namespace vantorel::x86 {

namespace {

#include "codec/decoder/x86/constant_table_parts.inc"
#include "codec/decoder/x86/smooth_parts.inc"

// Two 128-bit rows as the lanes of one register: `upper` low, `lower` high.
inline __m256i pair(__m128i upper, __m128i lower) {
    return _mm256_inserti128_si256(_mm256_castsi128_si256(upper), lower, 1);
}

// The filtered chroma samples leave the filter less these offsets, around
// which the colour formulas' constants are folded: they put each formula's
// rounding where one rounding multiply reproduces it (see convert).
constexpr int kCrOffset = 108, kCbOffset = 67;

// Sixteen equal 16-bit lanes.
using LANES = LANES_OF<int16_t>;

constexpr LANES splat(int value) { return splat_of(static_cast<int16_t>(value)); }

// The writer's constants, read from memory through a pointer the compiler
// cannot see into (see constants()).
struct CONSTANTS {
    LANES low_byte = splat(0xFF), three = splat(3);
    // The filter biases, less 16 (2x2) or 4 (2x1) times each offset: 8 and 7 for
    // even and odd pixels under 2x2 luma, 1 and 2 under 2x1.
    LANES cb_even_2x2 = splat(8 - 16 * kCbOffset), cb_odd_2x2 = splat(7 - 16 * kCbOffset);
    LANES cr_even_2x2 = splat(8 - 16 * kCrOffset), cr_odd_2x2 = splat(7 - 16 * kCrOffset);
    LANES cb_even_2x1 = splat(1 - 4 * kCbOffset), cb_odd_2x1 = splat(2 - 4 * kCbOffset);
    LANES cr_even_2x1 = splat(1 - 4 * kCrOffset), cr_odd_2x1 = splat(2 - 4 * kCrOffset);
    // The colour formulas' (see convert).
    LANES red_y = splat(-28), red_x = splat(13182);
    LANES green_x = splat(73), green_w = splat(-88), green_bias = splat(9146);
    LANES blue_y = splat(-108), blue_w = splat(25344);
};

alignas(32) constexpr CONSTANTS kConstants{};

// kConstants, its contents hidden from the optimiser (constant_table_parts.inc).
inline const CONSTANTS& constants() { return hidden(kConstants); }

// One pair of filtered chroma rows in pixel order: pixels 0-7 and 8-15 of both.
struct ROWS {
    __m256i low, high;
};

// The two parities' (sum + bias) >> SHIFT, the sums signed, in pixel order.
template <int SHIFT>
inline ROWS pixel_order(__m256i even, __m256i odd) {
    even = _mm256_srai_epi16(even, SHIFT);
    odd = _mm256_srai_epi16(odd, SHIFT);
    return {_mm256_unpacklo_epi16(even, odd), _mm256_unpackhi_epi16(even, odd)};
}

// The horizontal sums of two neighbouring rows of a block at once, row r in
// the low lane and row r + 1 in the high one; the rows are adjacent in memory,
// and so are those of the neighbour blocks that supply the outer samples.
struct SUMS2 {
    __m256i even, odd;
};

inline __m256i load16(const int16_t* p) { return _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p)); }

inline SUMS2 tile_rows(const CONSTANTS& k, const int16_t* const band[3], int32_t r) {
    const __m256i low_byte = lanes(k.low_byte);
    const __m256i s = _mm256_and_si256(load16(band[1] + 8 * r), low_byte);
    // Lane 7 of `left` is the sample left of each row, lane 0 of `right` the one
    // right of it: from the neighbour blocks, or the row's own end samples.
    const __m256i left = band[0] != nullptr ? _mm256_and_si256(load16(band[0] + 8 * r), low_byte)
                                            : _mm256_bslli_epi128(s, 14);
    const __m256i right = band[2] != nullptr ? _mm256_and_si256(load16(band[2] + 8 * r), low_byte)
                                             : _mm256_bsrli_epi128(s, 14);
    const __m256i before = _mm256_alignr_epi8(s, left, 14);
    const __m256i after = _mm256_alignr_epi8(right, s, 2);
    const __m256i triple = _mm256_mullo_epi16(s, lanes(k.three));
    return {_mm256_add_epi16(triple, before), _mm256_add_epi16(triple, after)};
}

// The filtered rows of one chroma component under 2x2 luma, less its offset
// (which `even` and `odd`, the biases, carry), in four steps. Output rows 2r
// and 2r + 1 weigh block row r three times with the block row above it and
// with the one below it (from the blocks there, or the block's own first and
// last rows where one is missing): (3 centre + other + bias) >> 4. With block rows (2j, 2j + 1) in the lanes of `centre`, the rows above
// them are (2j - 1, 2j) and those below (2j + 1, 2j + 2), which are the next
// step's rows above; so step j gives output rows (4j, 4j + 2), then
// (4j + 1, 4j + 3), for one lane permute per parity, with 3 centre + bias
// formed once for both. The block pointers are copied in, as the output
// stores may alias the record's.
class CHROMA_2X2 {
public:
    CHROMA_2X2(const CONSTANTS& k, const int16_t* const (*n)[3], const LANES& even, const LANES& odd)
        : k_(k),
          middle_{n[1][0], n[1][1], n[1][2]},
          below_{n[2][1] != nullptr ? n[2][0] : n[1][0], n[2][1] != nullptr ? n[2][1] : n[1][1],
                 n[2][1] != nullptr ? n[2][2] : n[1][2]},
          below_row_(n[2][1] != nullptr ? 0 : 7),
          even_(even),
          odd_(odd),
          centre_(tile_rows(k, middle_, 0)) {
        const SUMS edge = n[0][1] != nullptr ? tile_row(n[0], 7, low_byte()) : tile_row(middle_, 0, low_byte());
        above_ = {_mm256_permute2x128_si256(_mm256_castsi128_si256(edge.even), centre_.even, 0x20),
                  _mm256_permute2x128_si256(_mm256_castsi128_si256(edge.odd), centre_.odd, 0x20)};
    }

    // Output rows (4j, 4j + 2) in `upper` and (4j + 1, 4j + 3) in `lower`;
    // then on to step j + 1.
    template <int32_t J>
    void step(ROWS& upper, ROWS& lower) {
        SUMS2 below, next{};
        if constexpr (J < 3) {
            next = tile_rows(k_, middle_, 2 * J + 2);
            below = {_mm256_permute2x128_si256(centre_.even, next.even, 0x21),
                     _mm256_permute2x128_si256(centre_.odd, next.odd, 0x21)};
        } else {
            const SUMS edge = tile_row(below_, below_row_, low_byte());
            below = {_mm256_permute2x128_si256(centre_.even, _mm256_castsi128_si256(edge.even), 0x21),
                     _mm256_permute2x128_si256(centre_.odd, _mm256_castsi128_si256(edge.odd), 0x21)};
        }
        const __m256i three = lanes(k_.three);
        const __m256i even = _mm256_add_epi16(_mm256_mullo_epi16(centre_.even, three), lanes(even_));
        const __m256i odd = _mm256_add_epi16(_mm256_mullo_epi16(centre_.odd, three), lanes(odd_));
        upper = pixel_order<4>(_mm256_add_epi16(even, above_.even), _mm256_add_epi16(odd, above_.odd));
        lower = pixel_order<4>(_mm256_add_epi16(even, below.even), _mm256_add_epi16(odd, below.odd));
        above_ = below;
        centre_ = next;
    }

private:
    __m128i low_byte() const { return _mm256_castsi256_si128(lanes(k_.low_byte)); }

    const CONSTANTS& k_;
    const int16_t* middle_[3];  // the block's band
    const int16_t* below_[3];   // the band and row that give the row below the block
    int32_t below_row_;
    const LANES &even_, &odd_;
    SUMS2 centre_, above_;
};

// Rows 2r and 2r + 1 of one chroma component under 2x1 luma, less its offset:
// the horizontal sums alone, (sum + bias) >> 2.
inline ROWS chroma_2x1(const CONSTANTS& k, const int16_t* const band[3], int32_t r, const LANES& even,
                       const LANES& odd) {
    const SUMS2 both = tile_rows(k, band, 2 * r);
    return pixel_order<2>(_mm256_add_epi16(both.even, lanes(even)), _mm256_add_epi16(both.odd, lanes(odd)));
}

struct COLOUR {
    __m256i red, green, blue;
};

// The colour formulas of the 128-bit body, lane for lane, rewritten for
// chroma less its offsets, x = Cr - 108 (within -108..147) and w = Cb - 67
// (within -67..188), so that they give the same 16-bit values for every Y,
// Cb, Cr in 0..255:
//   red   Y + Cr + ((103 Cr + 11) >> 8) - 179 = Y - 28 + x + ((103 x + 127) >> 8)
//   green Y + ((22774 - 88 Cb + 73 Cr) >> 8) + 47 - Cr
//         = Y - x + ((73 x - 88 w + 9146) >> 8), the sum within -15282..25773
//   blue  Y + 2 Cb + ((15023 - 58 Cb) >> 8) - 285 = Y - 108 + w + ((198 w + 129) >> 8)
// where the rounding multiply (x 13182 + 2^14) >> 15 equals (103 x + 127) >> 8
// and (w 25344 + 2^14) >> 15 equals (198 w + 129) >> 8 over those ranges (all
// checked value by value; the smoothing tests compare the two bodies over
// every Cb, Cr pair).
inline COLOUR convert(const CONSTANTS& k, __m256i y, __m256i w, __m256i x) {
    const __m256i red = _mm256_add_epi16(_mm256_add_epi16(y, lanes(k.red_y)),
                                         _mm256_add_epi16(x, _mm256_mulhrs_epi16(x, lanes(k.red_x))));
    const __m256i green_sum = _mm256_add_epi16(
        _mm256_add_epi16(_mm256_mullo_epi16(x, lanes(k.green_x)), _mm256_mullo_epi16(w, lanes(k.green_w))),
        lanes(k.green_bias));
    const __m256i green = _mm256_sub_epi16(_mm256_add_epi16(y, _mm256_srai_epi16(green_sum, 8)), x);
    const __m256i blue = _mm256_add_epi16(_mm256_add_epi16(y, lanes(k.blue_y)),
                                          _mm256_add_epi16(w, _mm256_mulhrs_epi16(w, lanes(k.blue_w))));
    return {red, green, blue};
}

inline void store_lanes(__m256i v, uint8_t* upper, uint8_t* lower) {
    _mm_storeu_si128(reinterpret_cast<__m128i*>(upper), _mm256_castsi256_si128(v));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(lower), _mm256_extracti128_si256(v, 1));
}

// Shuffle controls that interleave the three colour planes of sixteen pixels
// into 48 bytes, from the packs
//   P0 = first 0-7, green 0-7;  P1 = third 0-7, first 8-15;  P2 = green 8-15, third 8-15
// (first and third being red and blue in the format's order): control
// [chunk][pack] picks, for each byte of output chunk `chunk`, the byte of pack
// `pack` that belongs there, or zero (0x80). Chunk 0 needs P0 and P1 only,
// chunk 2 P1 and P2 only. Repeated in both 128-bit lanes.
constexpr std::array<std::array<std::array<int8_t, 32>, 3>, 3> make_pack_interleave() {
    std::array<std::array<std::array<int8_t, 32>, 3>, 3> c{};
    for (int chunk = 0; chunk < 3; ++chunk)
        for (int pack = 0; pack < 3; ++pack)
            for (int i = 0; i < 32; ++i) {
                const int at = 16 * chunk + i % 16, pixel = at / 3, plane = at % 3;
                const int low = pixel < 8 ? 0 : 1, index = pixel % 8;
                // Where the plane's pixel is: {pack, byte}.
                int from = -1, byte = 0;
                if (plane == 0) from = low == 0 ? 0 : 1, byte = low == 0 ? index : 8 + index;
                if (plane == 1) from = low == 0 ? 0 : 2, byte = low == 0 ? 8 + index : index;
                if (plane == 2) from = low == 0 ? 1 : 2, byte = low == 0 ? index : 8 + index;
                c[chunk][pack][i] = from == pack ? static_cast<int8_t>(byte) : static_cast<int8_t>(-128);
            }
    return c;
}

alignas(32) constexpr auto kPackInterleave = make_pack_interleave();

inline __m256i pack_control(int chunk, int pack) {
    return _mm256_load_si256(reinterpret_cast<const __m256i*>(kPackInterleave[chunk][pack].data()));
}

// Converts and stores two output rows: `left` and `right` are the luma block
// rows of the upper output row, BELOW samples on those of the lower one.
template <int32_t FORMAT, int32_t BELOW>
inline void store_rows(const CONSTANTS& k, const int16_t* left, const int16_t* right, const ROWS& cb, const ROWS& cr,
                       uint8_t* upper, uint8_t* lower) {
    const __m256i low_byte = lanes(k.low_byte);
    __m256i y_left, y_right;
    if constexpr (BELOW == 8) {
        y_left = _mm256_and_si256(load16(left), low_byte);
        y_right = _mm256_and_si256(load16(right), low_byte);
    } else {
        y_left = _mm256_and_si256(pair(load8(left), load8(left + BELOW)), low_byte);
        y_right = _mm256_and_si256(pair(load8(right), load8(right + BELOW)), low_byte);
    }
    const COLOUR a = convert(k, y_left, cb.low, cr.low);
    const COLOUR b = convert(k, y_right, cb.high, cr.high);
    const __m256i a_first = FORMAT == SMOOTH_BGR ? a.blue : a.red, a_third = FORMAT == SMOOTH_BGR ? a.red : a.blue;
    const __m256i b_first = FORMAT == SMOOTH_BGR ? b.blue : b.red, b_third = FORMAT == SMOOTH_BGR ? b.red : b.blue;
    if constexpr (FORMAT == SMOOTH_QUAD) {
        const __m256i first = _mm256_packus_epi16(a_first, b_first);
        const __m256i green = _mm256_packus_epi16(a.green, b.green);
        const __m256i third = _mm256_packus_epi16(a_third, b_third);
        const __m256i opaque = _mm256_set1_epi8(-1);
        const __m256i front_low = _mm256_unpacklo_epi8(first, green), front_high = _mm256_unpackhi_epi8(first, green);
        const __m256i back_low = _mm256_unpacklo_epi8(third, opaque), back_high = _mm256_unpackhi_epi8(third, opaque);
        store_lanes(_mm256_unpacklo_epi16(front_low, back_low), upper, lower);
        store_lanes(_mm256_unpackhi_epi16(front_low, back_low), upper + 16, lower + 16);
        store_lanes(_mm256_unpacklo_epi16(front_high, back_high), upper + 32, lower + 32);
        store_lanes(_mm256_unpackhi_epi16(front_high, back_high), upper + 48, lower + 48);
    } else {
        const __m256i p0 = _mm256_packus_epi16(a_first, a.green);
        const __m256i p1 = _mm256_packus_epi16(a_third, b_first);
        const __m256i p2 = _mm256_packus_epi16(b.green, b_third);
        const __m256i chunk0 =
            _mm256_or_si256(_mm256_shuffle_epi8(p0, pack_control(0, 0)), _mm256_shuffle_epi8(p1, pack_control(0, 1)));
        const __m256i chunk1 =
            _mm256_or_si256(_mm256_or_si256(_mm256_shuffle_epi8(p0, pack_control(1, 0)),
                                            _mm256_shuffle_epi8(p1, pack_control(1, 1))),
                            _mm256_shuffle_epi8(p2, pack_control(1, 2)));
        const __m256i chunk2 =
            _mm256_or_si256(_mm256_shuffle_epi8(p1, pack_control(2, 1)), _mm256_shuffle_epi8(p2, pack_control(2, 2)));
        store_lanes(chunk0, upper, lower);
        store_lanes(chunk1, upper + 16, lower + 16);
        store_lanes(chunk2, upper + 32, lower + 32);
    }
}

// The record's luma and output, copied out of it: the output stores may alias it.
struct TARGET {
    const int16_t* luma;
    uint8_t* out;
    intptr_t stride;

    // Output row `y`.
    uint8_t* row(int32_t y) const {
        return reinterpret_cast<uint8_t*>(reinterpret_cast<uintptr_t>(out) +
                                          static_cast<uintptr_t>(stride) * static_cast<uintptr_t>(y));
    }
};

// The chroma of the whole MCU is filtered before the first store, so that all
// the filter's loads issue ahead of the output stores. Within whole decodes
// this measured faster than filtering step by step between the stores (and no
// slower with everything in cache), for the price of keeping the filtered rows
// on the stack.
template <int32_t V, int32_t FORMAT>
void write(const SMOOTHED_MCU& m) {
    const CONSTANTS& k = constants();
    const TARGET t{m.luma, m.out, m.stride};
    ROWS cb[4 * V], cr[4 * V];
    if constexpr (V == 2) {
        // cb[2j] and cb[2j + 1]: output rows (4j, 4j + 2) and (4j + 1, 4j + 3).
        CHROMA_2X2 cb_filter(k, m.cb, k.cb_even_2x2, k.cb_odd_2x2);
        CHROMA_2X2 cr_filter(k, m.cr, k.cr_even_2x2, k.cr_odd_2x2);
        cb_filter.step<0>(cb[0], cb[1]);
        cr_filter.step<0>(cr[0], cr[1]);
        cb_filter.step<1>(cb[2], cb[3]);
        cr_filter.step<1>(cr[2], cr[3]);
        cb_filter.step<2>(cb[4], cb[5]);
        cr_filter.step<2>(cr[4], cr[5]);
        cb_filter.step<3>(cb[6], cb[7]);
        cr_filter.step<3>(cr[6], cr[7]);
        for (int32_t j = 0; j < 4; ++j) {
            // Luma rows of the top (j < 2) or bottom pair of blocks.
            const int16_t* left = t.luma + (j / 2) * 128 + (j % 2) * 32;
            store_rows<FORMAT, 16>(k, left, left + 64, cb[2 * j], cr[2 * j], t.row(4 * j), t.row(4 * j + 2));
            store_rows<FORMAT, 16>(k, left + 8, left + 72, cb[2 * j + 1], cr[2 * j + 1], t.row(4 * j + 1),
                                   t.row(4 * j + 3));
        }
    } else {
        const int16_t* const cb_band[3] = {m.cb[1][0], m.cb[1][1], m.cb[1][2]};
        const int16_t* const cr_band[3] = {m.cr[1][0], m.cr[1][1], m.cr[1][2]};
        for (int32_t r = 0; r < 4; ++r) {
            cb[r] = chroma_2x1(k, cb_band, r, k.cb_even_2x1, k.cb_odd_2x1);
            cr[r] = chroma_2x1(k, cr_band, r, k.cr_even_2x1, k.cr_odd_2x1);
        }
        for (int32_t r = 0; r < 4; ++r) {
            const int16_t* left = t.luma + 16 * r;
            store_rows<FORMAT, 8>(k, left, left + 64, cb[r], cr[r], t.row(2 * r), t.row(2 * r + 1));
        }
    }
}

}  // namespace

VANTOREL_SMOOTHED_ENTRY(write_smoothed_avx2)

}  // namespace vantorel::x86

#if defined(__clang__)
#pragma clang attribute pop
#endif
#pragma GCC pop_options

#endif

// The triangle-filtered MCU writer of smooth_ssse3.cpp on 256-bit registers:
// two output rows at once, the upper one in the low 128-bit lane and the one
// below it in the high lane. Every operation of the 128-bit body works within a
// lane, so each lane does exactly what the 128-bit body does for its row and
// the bytes are the same. For 2x2 sampling the two rows are the pair that one
// chroma row gives (weighed with the row above it and with the row below it).
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

#include "codec/decoder/x86/smooth_parts.inc"

alignas(32) constexpr auto kInterleave = make_interleave<32>();

inline __m256i control(int chunk, int plane) {
    return _mm256_load_si256(reinterpret_cast<const __m256i*>(kInterleave[chunk][plane].data()));
}

// Two 128-bit rows as the lanes of one register: `upper` low, `lower` high.
inline __m256i pair(__m128i upper, __m128i lower) {
    return _mm256_inserti128_si256(_mm256_castsi128_si256(upper), lower, 1);
}

uint8_t* row_below(uint8_t* row, intptr_t stride) {
    return reinterpret_cast<uint8_t*>(reinterpret_cast<uintptr_t>(row) + static_cast<uintptr_t>(stride));
}

// (3 centre + other + bias) >> 4.
inline __m256i weigh(__m256i centre, __m256i other, __m256i bias) {
    const __m256i sum = _mm256_add_epi16(_mm256_add_epi16(_mm256_add_epi16(centre, centre), centre), other);
    return _mm256_srli_epi16(_mm256_add_epi16(sum, bias), 4);
}

// One pair of filtered chroma rows in pixel order: pixels 0-7 and 8-15 of both.
struct ROWS {
    __m256i low, high;
};

inline ROWS pixel_order(__m256i even, __m256i odd) {
    return {_mm256_unpacklo_epi16(even, odd), _mm256_unpackhi_epi16(even, odd)};
}

// The horizontal sums of two neighbouring rows of a block at once, row r in
// the low lane and row r + 1 in the high one; the rows are adjacent in memory,
// and so are those of the neighbour blocks that supply the outer samples.
struct SUMS2 {
    __m256i even, odd;
};

inline __m256i load16(const int16_t* p) { return _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p)); }

inline SUMS2 tile_rows(const int16_t* const band[3], int32_t r) {
    const __m256i low_byte = _mm256_set1_epi16(0xFF);
    const __m256i s = _mm256_and_si256(load16(band[1] + 8 * r), low_byte);
    // Lane 7 of `left` is the sample left of each row, lane 0 of `right` the one
    // right of it: from the neighbour blocks, or the row's own end samples.
    const __m256i left = band[0] != nullptr ? _mm256_and_si256(load16(band[0] + 8 * r), low_byte)
                                            : _mm256_bslli_epi128(s, 14);
    const __m256i right = band[2] != nullptr ? _mm256_and_si256(load16(band[2] + 8 * r), low_byte)
                                             : _mm256_bsrli_epi128(s, 14);
    const __m256i before = _mm256_alignr_epi8(s, left, 14);
    const __m256i after = _mm256_alignr_epi8(right, s, 2);
    const __m256i triple = _mm256_add_epi16(_mm256_add_epi16(s, s), s);
    return {_mm256_add_epi16(triple, before), _mm256_add_epi16(triple, after)};
}

// The 4V row pairs of one chroma component.
template <int32_t V>
void filter_chroma(const int16_t* const (*n)[3], ROWS* rows) {
    if constexpr (V == 2) {
        // Tile rows 1-8 are the block's rows 0-7, taken in pairs (1, 2), (3, 4),
        // ...; rows 0 and 9, above and below the block, come from the blocks
        // there or repeat the block's own first and last rows.
        SUMS2 inner[4];
        for (int32_t j = 0; j < 4; ++j) inner[j] = tile_rows(n[1], 2 * j);
        const SUMS edge_above = n[0][1] != nullptr ? tile_row(n[0], 7) : tile_row(n[1], 0);
        const SUMS edge_below = n[2][1] != nullptr ? tile_row(n[2], 0) : tile_row(n[1], 7);
        const SUMS2 edges = {pair(edge_above.even, edge_below.even), pair(edge_above.odd, edge_below.odd)};
        const __m256i eight = _mm256_set1_epi16(8), seven = _mm256_set1_epi16(7);
        // Output rows 2r and 2r + 1 weigh tile row r + 1 (block row r) with tile
        // rows r and r + 2, the block rows above and below it.
        for (int32_t r = 0; r < 8; ++r) {
            __m256i centre_even, centre_odd, other_even, other_odd;
            const SUMS2& own = inner[r / 2];
            if (r % 2 == 0) {
                centre_even = _mm256_permute2x128_si256(own.even, own.even, 0x00);
                centre_odd = _mm256_permute2x128_si256(own.odd, own.odd, 0x00);
                // Above: block row r - 1 (the high lane of the previous pair, or
                // the edge row); below: block row r + 1, the high lane here.
                if (r == 0) {
                    other_even = _mm256_permute2x128_si256(edges.even, own.even, 0x30);
                    other_odd = _mm256_permute2x128_si256(edges.odd, own.odd, 0x30);
                } else {
                    other_even = _mm256_permute2x128_si256(inner[r / 2 - 1].even, own.even, 0x31);
                    other_odd = _mm256_permute2x128_si256(inner[r / 2 - 1].odd, own.odd, 0x31);
                }
            } else {
                centre_even = _mm256_permute2x128_si256(own.even, own.even, 0x11);
                centre_odd = _mm256_permute2x128_si256(own.odd, own.odd, 0x11);
                // Above: block row r - 1, the low lane here; below: block row
                // r + 1 (the low lane of the next pair, or the edge row).
                if (r == 7) {
                    other_even = _mm256_permute2x128_si256(own.even, edges.even, 0x30);
                    other_odd = _mm256_permute2x128_si256(own.odd, edges.odd, 0x30);
                } else {
                    other_even = _mm256_permute2x128_si256(own.even, inner[r / 2 + 1].even, 0x20);
                    other_odd = _mm256_permute2x128_si256(own.odd, inner[r / 2 + 1].odd, 0x20);
                }
            }
            rows[r] = pixel_order(weigh(centre_even, other_even, eight), weigh(centre_odd, other_odd, seven));
        }
    } else {
        const __m256i one = _mm256_set1_epi16(1), two = _mm256_set1_epi16(2);
        for (int32_t r = 0; r < 4; ++r) {
            const SUMS2 both = tile_rows(n[1], 2 * r);
            rows[r] = pixel_order(_mm256_srli_epi16(_mm256_add_epi16(both.even, one), 2),
                                  _mm256_srli_epi16(_mm256_add_epi16(both.odd, two), 2));
        }
    }
}

struct COLOUR {
    __m256i red, green, blue;
};

// The colour formulas of the 128-bit body, lane for lane.
inline COLOUR convert(__m256i y, __m256i cb, __m256i cr) {
    const __m256i red_part =
        _mm256_srli_epi16(_mm256_add_epi16(_mm256_mullo_epi16(cr, _mm256_set1_epi16(103)), _mm256_set1_epi16(11)), 8);
    const __m256i red = _mm256_sub_epi16(_mm256_add_epi16(_mm256_add_epi16(y, cr), red_part), _mm256_set1_epi16(179));
    const __m256i green_sum =
        _mm256_sub_epi16(_mm256_add_epi16(_mm256_set1_epi16(22774), _mm256_mullo_epi16(cr, _mm256_set1_epi16(73))),
                         _mm256_mullo_epi16(cb, _mm256_set1_epi16(88)));
    const __m256i green = _mm256_add_epi16(_mm256_sub_epi16(_mm256_add_epi16(y, _mm256_srli_epi16(green_sum, 8)), cr),
                                           _mm256_set1_epi16(302 - 255));
    const __m256i blue_part = _mm256_srli_epi16(
        _mm256_sub_epi16(_mm256_set1_epi16(15023), _mm256_mullo_epi16(cb, _mm256_set1_epi16(58))), 8);
    const __m256i blue = _mm256_sub_epi16(_mm256_add_epi16(_mm256_add_epi16(y, _mm256_add_epi16(cb, cb)), blue_part),
                                          _mm256_set1_epi16(285));
    return {red, green, blue};
}

inline void store_lanes(__m256i v, uint8_t* upper, uint8_t* lower) {
    _mm_storeu_si128(reinterpret_cast<__m128i*>(upper), _mm256_castsi256_si128(v));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(lower), _mm256_extracti128_si256(v, 1));
}

// Converts and stores two output rows: `left` and `right` are the luma block
// rows of the upper output row, `below` the distance to those of the lower one.
template <int32_t FORMAT>
inline void store_rows(const int16_t* left, const int16_t* right, intptr_t below, const ROWS& cb, const ROWS& cr,
                       uint8_t* upper, uint8_t* lower) {
    const __m256i low_byte = _mm256_set1_epi16(0xFF);
    const __m256i y_left = _mm256_and_si256(pair(load8(left), load8(left + below)), low_byte);
    const __m256i y_right = _mm256_and_si256(pair(load8(right), load8(right + below)), low_byte);
    const COLOUR a = convert(y_left, cb.low, cr.low);
    const COLOUR b = convert(y_right, cb.high, cr.high);
    const __m256i red = _mm256_packus_epi16(a.red, b.red);
    const __m256i green = _mm256_packus_epi16(a.green, b.green);
    const __m256i blue = _mm256_packus_epi16(a.blue, b.blue);
    const __m256i first = FORMAT == SMOOTH_BGR ? blue : red;
    const __m256i third = FORMAT == SMOOTH_BGR ? red : blue;
    if constexpr (FORMAT == SMOOTH_QUAD) {
        const __m256i opaque = _mm256_set1_epi8(-1);
        const __m256i front_low = _mm256_unpacklo_epi8(first, green), front_high = _mm256_unpackhi_epi8(first, green);
        const __m256i back_low = _mm256_unpacklo_epi8(third, opaque), back_high = _mm256_unpackhi_epi8(third, opaque);
        store_lanes(_mm256_unpacklo_epi16(front_low, back_low), upper, lower);
        store_lanes(_mm256_unpackhi_epi16(front_low, back_low), upper + 16, lower + 16);
        store_lanes(_mm256_unpacklo_epi16(front_high, back_high), upper + 32, lower + 32);
        store_lanes(_mm256_unpackhi_epi16(front_high, back_high), upper + 48, lower + 48);
    } else {
        for (int chunk = 0; chunk < 3; ++chunk) {
            const __m256i bytes = _mm256_or_si256(_mm256_or_si256(_mm256_shuffle_epi8(first, control(chunk, 0)),
                                                                  _mm256_shuffle_epi8(green, control(chunk, 1))),
                                                  _mm256_shuffle_epi8(third, control(chunk, 2)));
            store_lanes(bytes, upper + 16 * chunk, lower + 16 * chunk);
        }
    }
}

template <int32_t V, int32_t FORMAT>
void write(const SMOOTHED_MCU& m) {
    ROWS cb[4 * V], cr[4 * V];
    filter_chroma<V>(m.cb, cb);
    filter_chroma<V>(m.cr, cr);
    uint8_t* row = m.out;
    for (int32_t p = 0; p < 4 * V; ++p) {
        const int32_t y = 2 * p;
        const int16_t* left = m.luma + (y / 8) * 128 + (y % 8) * 8;
        uint8_t* next = row_below(row, m.stride);
        store_rows<FORMAT>(left, left + 64, 8, cb[p], cr[p], row, next);
        row = row_below(next, m.stride);
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

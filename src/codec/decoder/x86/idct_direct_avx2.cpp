// The 8x8 direct transform on 256-bit registers (CPUID leaf 7, EBX bit 5, with
// the operating system saving the upper register halves). Each lane does the
// arithmetic of the 128-bit bodies (idct_direct_parts.inc) in the same order,
// with the same 16-bit saturation of the row results, so the samples are the
// same for every input; the 256-bit registers hold all eight rows (or columns)
// of a frequency at once where those bodies work on two halves of four.
//
// Data layout. A 256-bit register of sixteen 16-bit values is used in "split"
// form: its low 128 bits hold lanes 0-3 of two frequencies a and b, its high
// 128 bits lanes 4-7 of the same two:
//     [ a0 a1 a2 a3 b0 b1 b2 b3 | a4 a5 a6 a7 b4 b5 b6 b7 ]
// The 256-bit unpack and pack instructions work within each 128-bit half, which
// suits this form: unpacking two split registers pairs their first (or second)
// frequencies in lane order 0-7, as pmaddwd wants them, and packing two 32-bit
// results (lanes 0-7 of frequencies a and b) gives the split form again.
// A block is four split registers: frequencies (0, 1), (2, 3), (4, 5), (6, 7).
#include "codec/decoder/x86/x86_stages.h"

#if VANTOREL_X86_BODIES
#include <immintrin.h>

#pragma GCC push_options
#pragma GCC target("avx2")
// clang ignores the GCC pragma; its own form gives every function here the
// same instruction set.
#if defined(__clang__)
#pragma clang attribute push(__attribute__((target("avx2"))), apply_to = function)
#endif

namespace vantorel::x86 {

namespace {

#include "codec/decoder/x86/constant_table_parts.inc"

// Eight equal 32-bit lanes: a value, or an (a, b) pair of 16-bit values for
// pmaddwd, where a multiplies the first element of each pair and b the second.
using LANES = LANES_OF<int32_t>;

constexpr LANES splat(int32_t value) { return splat_of(value); }

constexpr LANES pair_of(int a, int b) {
    return splat(static_cast<int32_t>(static_cast<uint32_t>(static_cast<uint16_t>(a)) |
                                      (static_cast<uint32_t>(static_cast<uint16_t>(b)) << 16)));
}

struct CONSTANTS {
    LANES f = pair_of(6393, -32138), h = pair_of(32138, 6393);
    LANES g = pair_of(27246, -18205), l = pair_of(18205, 27246);
    LANES w = pair_of(10045, 17734), b = pair_of(17734, -10045);
    LANES half = splat(2048), k5793 = splat(5793);
    LANES row_rounding = pair_of(4096, 4096), column_rounding = splat(0x100000);
    LANES level = pair_of(128, 128), top = pair_of(255, 255);
};

alignas(32) constexpr CONSTANTS kConstants{};

// kConstants, its contents hidden from the optimiser (constant_table_parts.inc).
inline const CONSTANTS& constants() { return hidden(kConstants); }

// x << 15 as 32 bits, lanes 0-7 of the first frequency of a split register:
// placing x in the high half gives x << 16, and an arithmetic shift right by one
// keeps the sign.
inline __m256i first_shift15(__m256i split) {
    return _mm256_srai_epi32(_mm256_unpacklo_epi16(_mm256_setzero_si256(), split), 1);
}

// The eight-point transform of eight lanes, before the pass's rounding shift.
// f01, f23, f45, f67 hold the frequencies in split form. Same terms as the
// 128-bit bodies. `s0` is input 0 shifted left by 15 with the pass's rounding
// term already added: every output takes it exactly once (through u or r), and
// the sums wrap modulo 2^32 as the generic ones do, so adding it there gives
// the same 32-bit results as adding it to each output.
inline void transform(const CONSTANTS& k, __m256i s0, __m256i f01, __m256i f23, __m256i f45, __m256i f67,
                      __m256i out[8]) {
    const __m256i p17 = _mm256_unpackhi_epi16(f01, f67);
    const __m256i p53 = _mm256_unpackhi_epi16(f45, f23);
    const __m256i p26 = _mm256_unpacklo_epi16(f23, f67);

    const __m256i f = _mm256_madd_epi16(p17, lanes(k.f));
    const __m256i h = _mm256_madd_epi16(p17, lanes(k.h));
    const __m256i g = _mm256_madd_epi16(p53, lanes(k.g));
    const __m256i l = _mm256_madd_epi16(p53, lanes(k.l));

    const __m256i half = lanes(k.half);
    const __m256i k5793 = lanes(k.k5793);
    const __m256i e = _mm256_mullo_epi32(_mm256_srai_epi32(_mm256_add_epi32(_mm256_add_epi32(f, g), half), 12), k5793);
    const __m256i t = _mm256_mullo_epi32(_mm256_srai_epi32(_mm256_add_epi32(_mm256_add_epi32(h, l), half), 12), k5793);
    const __m256i a = _mm256_sub_epi32(_mm256_sub_epi32(_mm256_add_epi32(h, f), l), g);
    const __m256i c = _mm256_sub_epi32(_mm256_sub_epi32(_mm256_add_epi32(h, g), l), f);

    const __m256i s4 = first_shift15(f45);
    const __m256i u = _mm256_add_epi32(s0, s4);
    const __m256i r = _mm256_sub_epi32(s0, s4);
    const __m256i w = _mm256_add_epi32(_mm256_madd_epi16(p26, lanes(k.w)), first_shift15(f23));
    const __m256i b = _mm256_sub_epi32(_mm256_madd_epi16(p26, lanes(k.b)), first_shift15(f67));

    const __m256i uw = _mm256_add_epi32(u, w);
    const __m256i u_w = _mm256_sub_epi32(u, w);
    const __m256i rb = _mm256_add_epi32(r, b);
    const __m256i r_b = _mm256_sub_epi32(r, b);
    out[0] = _mm256_add_epi32(uw, t);
    out[7] = _mm256_sub_epi32(uw, t);
    out[1] = _mm256_add_epi32(rb, a);
    out[6] = _mm256_sub_epi32(rb, a);
    out[2] = _mm256_add_epi32(r_b, c);
    out[5] = _mm256_sub_epi32(r_b, c);
    out[3] = _mm256_add_epi32(u_w, e);
    out[4] = _mm256_sub_epi32(u_w, e);
}

// Input 0 of the row pass as (x << 15) + 2048, the row rounding term: the low
// 16 bits of each 32-bit lane take 4096 instead of zero before the arithmetic
// shift by one, which costs nothing extra.
inline __m256i first_shift15_row_rounded(const CONSTANTS& k, __m256i split) {
    return _mm256_srai_epi32(_mm256_unpacklo_epi16(lanes(k.row_rounding), split), 1);
}

// Input 0 of the column pass with the column rounding term 2^20 added.
inline __m256i first_shift15_column_rounded(const CONSTANTS& k, __m256i split) {
    return _mm256_add_epi32(first_shift15(split), lanes(k.column_rounding));
}

}  // namespace

// Rows r and r + 4 of the block go into the two halves of one register, so that
// within each half the first transpose is a 4 x 8 one, done with unpacks only.
#if defined(__i386__)
__attribute__((force_align_arg_pointer))
#endif
void idct_direct_8x8_avx2(int16_t* block) {
    const auto rows = [block](int r) {
        return _mm256_inserti128_si256(
            _mm256_castsi128_si256(_mm_loadu_si128(reinterpret_cast<const __m128i*>(block + 8 * r))),
            _mm_loadu_si128(reinterpret_cast<const __m128i*>(block + 8 * r + 32)), 1);
    };
    const __m256i r04 = rows(0);
    const __m256i r15 = rows(1);
    const __m256i r26 = rows(2);
    const __m256i r37 = rows(3);

    // A block with nothing but its DC value gives one sample everywhere: the row
    // pass gives 8 x DC (saturated to 16 bits like every row result) in row 0,
    // and the column pass (that + 32) >> 6. The full passes give the same.
    const __m256i ac = _mm256_or_si256(
        _mm256_or_si256(
            _mm256_and_si256(r04, _mm256_setr_epi16(0, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1)),
            r15),
        _mm256_or_si256(r26, r37));
    if (_mm256_testz_si256(ac, ac)) {
        const int32_t dc = block[0];
        int32_t row = dc * 8;
        row = row > 32767 ? 32767 : row < -32768 ? -32768 : row;
        const int32_t x = (row + 32) >> 6;
        const __m256i fill = _mm256_set1_epi16(static_cast<int16_t>(x < -128 ? 0 : x >= 128 ? 255 : x + 128));
        for (int k = 0; k < 4; ++k) _mm256_storeu_si256(reinterpret_cast<__m256i*>(block + 16 * k), fill);
        return;
    }

    // First transpose: in each half, rows 0-3 (4-7) become frequencies in split
    // form. A rows-4-7-empty shortcut would save nothing here: all eight rows
    // go through the row pass at once, and rows of zeros give zero results.
    const __m256i a0 = _mm256_unpacklo_epi16(r04, r15);
    const __m256i a1 = _mm256_unpackhi_epi16(r04, r15);
    const __m256i a2 = _mm256_unpacklo_epi16(r26, r37);
    const __m256i a3 = _mm256_unpackhi_epi16(r26, r37);
    __m256i out[8];
    const __m256i f01 = _mm256_unpacklo_epi32(a0, a2);
    const CONSTANTS& k = constants();
    transform(k, first_shift15_row_rounded(k, f01), f01, _mm256_unpackhi_epi32(a0, a2), _mm256_unpacklo_epi32(a1, a3),
              _mm256_unpackhi_epi32(a1, a3), out);

    // The row results, saturated to 16 bits: m01 holds columns 0 and 1 of rows
    // 0-3 in its low half and of rows 4-7 in its high half, and so on.
    const auto shifted = [&out](int k) { return _mm256_srai_epi32(out[k], 12); };
    const __m256i m01 = _mm256_packs_epi32(shifted(0), shifted(1));
    const __m256i m23 = _mm256_packs_epi32(shifted(2), shifted(3));
    const __m256i m45 = _mm256_packs_epi32(shifted(4), shifted(5));
    const __m256i m67 = _mm256_packs_epi32(shifted(6), shifted(7));

    // Second transpose: rows of row results as frequencies, columns as lanes.
    // First gather columns 0-3 into the low halves and 4-7 into the high ones,
    // then a 4 x 4 transpose within each half.
    const __m256i top_a = _mm256_permute2x128_si256(m01, m45, 0x20);     // rows 0-3, columns 0 1 | 4 5
    const __m256i top_b = _mm256_permute2x128_si256(m23, m67, 0x20);     // rows 0-3, columns 2 3 | 6 7
    const __m256i bottom_a = _mm256_permute2x128_si256(m01, m45, 0x31);  // rows 4-7, columns 0 1 | 4 5
    const __m256i bottom_b = _mm256_permute2x128_si256(m23, m67, 0x31);  // rows 4-7, columns 2 3 | 6 7
    const __m256i t0 = _mm256_unpacklo_epi16(top_a, top_b);
    const __m256i t1 = _mm256_unpackhi_epi16(top_a, top_b);
    const __m256i b0 = _mm256_unpacklo_epi16(bottom_a, bottom_b);
    const __m256i b1 = _mm256_unpackhi_epi16(bottom_a, bottom_b);
    const __m256i c01 = _mm256_unpacklo_epi16(t0, t1);
    transform(k, first_shift15_column_rounded(k, c01), c01, _mm256_unpackhi_epi16(t0, t1), _mm256_unpacklo_epi16(b0, b1),
              _mm256_unpackhi_epi16(b0, b1), out);

    // Output register k is sample row k, columns as lanes. Packing rows k and
    // k + 1 gives the split form; the quadword permute puts each row's eight
    // samples together. Saturation keeps the sign, so the clamp to 0..255 after
    // the level shift is the same as on the 32-bit value.
    const __m256i level = lanes(k.level);
    const __m256i zero = _mm256_setzero_si256();
    const __m256i top = lanes(k.top);
    for (int k = 0; k < 8; k += 2) {
        __m256i x = _mm256_packs_epi32(_mm256_srai_epi32(out[k], 21), _mm256_srai_epi32(out[k + 1], 21));
        x = _mm256_min_epi16(_mm256_max_epi16(_mm256_adds_epi16(x, level), zero), top);
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(block + 8 * k), _mm256_permute4x64_epi64(x, 0xD8));
    }
}

}  // namespace vantorel::x86

#if defined(__clang__)
#pragma clang attribute pop
#endif
#pragma GCC pop_options

#endif

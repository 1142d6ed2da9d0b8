// Inverse DCT of the direct family: blocks of plainly dequantised coefficients
// (natural order, index 8 x vertical frequency + horizontal frequency) become
// level-shifted 8-bit samples, in place, at full size or reduced to 4x4, 2x2 or
// 1x1 for the 1/2, 1/4 and 1/8 scale reads.
//
// All arithmetic is 32-bit fixed point. A stream can carry coefficients whose
// products overflow 32 bits; every sum and product is therefore formed in
// uint32_t, which wraps exactly like two's-complement arithmetic, and converted
// back to int32_t only for the arithmetic right shifts. For every input that does
// not overflow this gives the plain signed results.
#include "codec/decoder/decoder.h"

namespace vantorel {

namespace {

using u32 = uint32_t;

inline u32 wrap(int32_t v) {
    return static_cast<u32>(v);
}
// Arithmetic right shift of a wrapped value.
inline int32_t sar(u32 v, int n) {
    return static_cast<int32_t>(v) >> n;
}

// Row results are kept as 16-bit values, saturated: extreme coefficients then
// give black or white instead of wrapping around to unrelated samples, and the
// packed bodies, which keep row results in 16-bit lanes, give the same bytes.
inline int32_t saturate16(int32_t v) {
    return v < -32768 ? -32768 : v > 32767 ? 32767 : v;
}

// Level shift and clamp in one step: -128..127 becomes 0..255.
inline int16_t clamp_sample(int32_t x) {
    if (x < -128) return 0;
    if (x >= 128) return 255;
    return static_cast<int16_t>(x + 128);
}

// The 8-point inverse transform of eight lanes at once, the common part of both
// passes of the 8x8 routine: lane i takes p[k][i] as its input k and receives its
// eight results in out[k][i], before the pass's final rounding shift. The loop
// over the lanes has a fixed trip count and no branches, so the compiler turns it
// into packed arithmetic; with 16-bit inputs every product is a 16 x 16-bit
// multiply widened to 32 bits, which is why no factor exceeds 16 signed bits.
//
// The constants are cosines at 15 fractional bits:
//   32138 = 2^15 cos(pi/16)    27246 = 2^15 cos(3pi/16)
//   18205 = 2^15 cos(5pi/16)    6393 = 2^15 cos(7pi/16)
//   42813 = 2^15 sqrt2 cos(pi/8), 17734 = 2^15 sqrt2 sin(pi/8)  (the even rotation)
//    5793 = 2^13 / sqrt2, applied after a 12-bit reduction to the odd terms that
//           need the extra 1/sqrt2 factor.
// 42813 is applied as 32768 + 10045, the first part a shift; modulo 2^32 that is
// the same product.
// The odd part first rotates (p1, p7) by 7pi/16 and (p5, p3) by 3pi/16; their
// sums and differences, some scaled by 1/sqrt2, give the four odd terms T, A, C, E
// of outputs 0/7, 1/6, 2/5 and 3/4. The even part is the butterfly of p0 +- p4
// (shifted to the same 15-bit scale) with the rotation of (p2, p6) by pi/8.
// Overall each pass's result is 16 sqrt2 x 2^12 times the textbook 1-D value.
//
// The pass runs on `Lanes` lanes. With HighZero the inputs 4-7 are
// known to be zero and are not read; the compiler drops their products.
// `bias` is added to every result: each result takes u or r exactly once and
// the sums wrap, so it goes in there, once instead of eight times.
template <int Lanes, bool HighZero, typename T>
inline void transform_lanes(const T (&p)[8][Lanes], u32 (&out)[8][Lanes], u32 bias = 0) {
    for (int i = 0; i < Lanes; ++i) {
        const u32 p0 = wrap(p[0][i]), p1 = wrap(p[1][i]), p2 = wrap(p[2][i]), p3 = wrap(p[3][i]);
        const u32 p4 = HighZero ? 0u : wrap(p[4][i]), p5 = HighZero ? 0u : wrap(p[5][i]);
        const u32 p6 = HighZero ? 0u : wrap(p[6][i]), p7 = HighZero ? 0u : wrap(p[7][i]);

        const u32 f = p1 * 6393u - p7 * 32138u;
        const u32 g = p5 * 27246u - p3 * 18205u;
        const u32 h = p7 * 6393u + p1 * 32138u;
        const u32 l = p5 * 18205u + p3 * 27246u;

        const u32 e = wrap(sar(f + g + 2048u, 12)) * 5793u;
        const u32 t = wrap(sar(h + l + 2048u, 12)) * 5793u;
        const u32 a = h + f - l - g;
        const u32 c = h + g - l - f;

        const u32 u = ((p0 + p4) << 15) + bias;
        const u32 r = ((p0 - p4) << 15) + bias;
        const u32 w = p2 * 10045u + (p2 << 15) + p6 * 17734u;
        const u32 b = p2 * 17734u - p6 * 10045u - (p6 << 15);

        out[0][i] = t + u + w;
        out[7][i] = u + w - t;
        out[1][i] = a + r + b;
        out[6][i] = r + b - a;
        out[2][i] = c + (r - b);
        out[5][i] = (r - b) - c;
        out[3][i] = e + (u - w);
        out[4][i] = (u - w) - e;
    }
}

// Column pass on the row results (in[k][c]: row k, column c), rounding shift,
// level shift and clamp into the block. The results before the clamp lie within
// +-2^10, so the clamp works on 16-bit values.
template <bool HighZero, typename T>
inline void column_pass(const T (&in)[8][8], int16_t* block) {
    u32 out[8][8];
    transform_lanes<8, HighZero>(in, out, 0x100000u);
    for (int k = 0; k < 8; ++k) {
        for (int c = 0; c < 8; ++c) {
            int16_t s = static_cast<int16_t>(sar(out[k][c], 21) + 128);
            s = s < 0 ? int16_t{0} : s;
            s = s > 255 ? int16_t{255} : s;
            block[8 * k + c] = s;
        }
    }
}

// The row pass of rows 0-3 alone. Four lanes of 32-bit products would not use
// the widening 16-bit multiply, so the products are formed in lanes of eight
// that pair two inputs of the same four rows: lanes 0-3 take one input of rows
// 0-3, lanes 4-7 the other, each with its own factor; the two halves are then
// added or subtracted. Every product of a 16-bit input and a factor below 2^15
// is exact in int32_t, and the sums are the same wrapping sums as in
// transform_lanes, with the row rounding term 2048 included. With HighZero the
// inputs 4-7 are zero.
template <bool HighZero>
inline void row_pass_4(const int16_t* block, u32 (&out)[8][4]) {
    int16_t x17[8], x53[8], x26[8];
    for (int r = 0; r < 4; ++r) {
        x17[r] = block[8 * r + 1];
        x17[4 + r] = HighZero ? int16_t{0} : block[8 * r + 7];
        x53[r] = HighZero ? int16_t{0} : block[8 * r + 5];
        x53[4 + r] = block[8 * r + 3];
        x26[r] = block[8 * r + 2];
        x26[4 + r] = HighZero ? int16_t{0} : block[8 * r + 6];
    }
    static constexpr int16_t kf[8] = {6393, 6393, 6393, 6393, 32138, 32138, 32138, 32138};
    static constexpr int16_t kh[8] = {32138, 32138, 32138, 32138, 6393, 6393, 6393, 6393};
    static constexpr int16_t kg[8] = {27246, 27246, 27246, 27246, 18205, 18205, 18205, 18205};
    static constexpr int16_t kl[8] = {18205, 18205, 18205, 18205, 27246, 27246, 27246, 27246};
    static constexpr int16_t kw[8] = {10045, 10045, 10045, 10045, 17734, 17734, 17734, 17734};
    static constexpr int16_t kb[8] = {17734, 17734, 17734, 17734, 10045, 10045, 10045, 10045};
    int32_t pf[8], ph[8], pg[8], pl[8], pw[8], pb[8];
    for (int i = 0; i < 8; ++i) {
        pf[i] = x17[i] * kf[i];
        ph[i] = x17[i] * kh[i];
        pg[i] = x53[i] * kg[i];
        pl[i] = x53[i] * kl[i];
        pw[i] = x26[i] * kw[i];
        pb[i] = x26[i] * kb[i];
    }
    for (int i = 0; i < 4; ++i) {
        const u32 p0 = wrap(block[8 * i]), p4 = HighZero ? 0u : wrap(block[8 * i + 4]);
        const u32 p2 = wrap(x26[i]), p6 = wrap(x26[4 + i]);
        const u32 f = wrap(pf[i]) - wrap(pf[4 + i]);
        const u32 g = wrap(pg[i]) - wrap(pg[4 + i]);
        const u32 h = wrap(ph[4 + i]) + wrap(ph[i]);
        const u32 l = wrap(pl[i]) + wrap(pl[4 + i]);
        const u32 e = wrap(sar(f + g + 2048u, 12)) * 5793u;
        const u32 t = wrap(sar(h + l + 2048u, 12)) * 5793u;
        const u32 a = h + f - l - g;
        const u32 c = h + g - l - f;
        const u32 u = ((p0 + p4) << 15) + 2048u;
        const u32 r = ((p0 - p4) << 15) + 2048u;
        const u32 w = wrap(pw[i]) + (p2 << 15) + wrap(pw[4 + i]);
        const u32 b = wrap(pb[i]) - wrap(pb[4 + i]) - (p6 << 15);
        out[0][i] = t + u + w;
        out[7][i] = u + w - t;
        out[1][i] = a + r + b;
        out[6][i] = r + b - a;
        out[2][i] = c + (r - b);
        out[5][i] = (r - b) - c;
        out[3][i] = e + (u - w);
        out[4][i] = (u - w) - e;
    }
}

// Both passes for a block whose rows 4-7 (Rows == 4) and/or columns 4-7
// (HighColumns) hold only zeros. Zero rows give zero row results, so the row
// pass needs only the first Rows rows and the column pass sees zeros in its
// inputs 4-7; zero columns are zero inputs 4-7 of every row.
template <int Rows, bool HighColumnsZero>
inline void transform_block(int16_t* block) {
    u32 out[8][Rows];  // out[k][row]: result k of each row
    if constexpr (Rows == 4) {
        row_pass_4<HighColumnsZero>(block, out);
    } else {
        int16_t freq[8][Rows];  // freq[k][row]: coefficient k of each row
        for (int k = 0; k < 8; ++k)
            for (int row = 0; row < Rows; ++row) freq[k][row] = block[8 * row + k];
        transform_lanes<Rows, HighColumnsZero>(freq, out, 2048u);
    }

    int32_t rows[8][8];  // rows[k][row], rounded and saturated
    for (int k = 0; k < 8; ++k) {
        for (int row = 0; row < Rows; ++row) rows[k][row] = saturate16(sar(out[k][row], 12));
        for (int row = Rows; row < 8; ++row) rows[k][row] = 0;
    }
    int16_t in[8][8];  // in[row][k]
    for (int row = 0; row < 8; ++row)
        for (int k = 0; k < 8; ++k) in[row][k] = static_cast<int16_t>(rows[k][row]);
    column_pass<Rows == 4>(in, block);
}

}  // namespace

// Rows first into a 32-bit work area, rounded back by 2^12 so that the row results
// keep their 16 sqrt2 gain as extra precision; then columns. After the column pass
// the two gains and the fixed point multiply to 16 sqrt2 x 16 sqrt2 x 2^12 = 2^21,
// so one rounding shift by 21 leaves the textbook 2-D value, which is then level
// shifted and clamped.
//
// The row pass runs on all eight rows at once, so the block is first turned so
// that one array holds one frequency of every row; the row results are turned
// back for the column pass, which runs on all eight columns at once. Row results
// are saturated to 16 bits (those of ordinary pictures fit anyway), so the
// column pass multiplies 16-bit values.
//
// Sparse blocks are common. A block that holds only its DC value gives one
// sample everywhere: the row pass leaves DC << 15 in every output of row 0 and
// nothing elsewhere, rounded to 8 x DC, and the column pass turns that into
// (8 x DC) << 15 in every output. Blocks with coefficients in row 0 only or in
// column 0 only need one 8-point transform; blocks whose coefficients lie in
// rows 0-3 and/or columns 0-3 skip the work on the zeros.
void idct_direct_8x8(int16_t* block) {
    // Per column: the OR of its values in rows 1-7; row 0 apart.
    uint16_t below[8], bottom[8];
    for (int c = 0; c < 8; ++c) {
        bottom[c] = static_cast<uint16_t>(block[32 + c] | block[40 + c] | block[48 + c] | block[56 + c]);
        below[c] = static_cast<uint16_t>(block[8 + c] | block[16 + c] | block[24 + c] | bottom[c]);
    }
    uint16_t lower = 0, high_rows = 0, first_row = 0, right = 0, high_columns = 0;
    for (int c = 0; c < 8; ++c) {
        lower |= below[c];
        high_rows |= bottom[c];
    }
    for (int c = 1; c < 8; ++c) {
        first_row |= static_cast<uint16_t>(block[c]);
        right |= static_cast<uint16_t>(below[c] | block[c]);
    }
    for (int c = 4; c < 8; ++c) high_columns |= static_cast<uint16_t>(below[c] | block[c]);

    if ((lower | first_row) == 0) {
        const u32 row = wrap(saturate16(sar((wrap(block[0]) << 15) + 2048u, 12)));
        const int16_t s = clamp_sample(sar((row << 15) + 0x100000u, 21));
        for (int i = 0; i < 64; ++i) block[i] = s;
        return;
    }
    if (lower == 0) {
        // Only row 0 holds coefficients: the other rows give zero row results, so
        // column c sees only its input 0, the row result x, and every output of
        // that column pass is x << 15: one sample down the whole column.
        int32_t in[8][1];
        u32 out[8][1];
        for (int k = 0; k < 8; ++k) in[k][0] = block[k];
        transform_lanes<1, false>(in, out);
        int16_t samples[8];
        for (int c = 0; c < 8; ++c) {
            const u32 x = wrap(saturate16(sar(out[c][0] + 2048u, 12)));
            samples[c] = clamp_sample(sar((x << 15) + 0x100000u, 21));
        }
        for (int row = 0; row < 8; ++row)
            for (int c = 0; c < 8; ++c) block[8 * row + c] = samples[c];
        return;
    }
    if (right == 0) {
        // Only column 0 holds coefficients: row r has only its input 0, and all
        // eight of its results are that value << 15, so every column pass sees the
        // same inputs: one sample across each row.
        int32_t in[8][1];
        u32 out[8][1];
        for (int row = 0; row < 8; ++row) in[row][0] = saturate16(sar((wrap(block[8 * row]) << 15) + 2048u, 12));
        transform_lanes<1, false>(in, out);
        for (int row = 0; row < 8; ++row) {
            const int16_t s = clamp_sample(sar(out[row][0] + 0x100000u, 21));
            for (int c = 0; c < 8; ++c) block[8 * row + c] = s;
        }
        return;
    }
    if (high_rows == 0) {
        if (high_columns == 0)
            transform_block<4, true>(block);
        else
            transform_block<4, false>(block);
    } else if (high_columns == 0) {
        transform_block<8, true>(block);
    } else {
        transform_block<8, false>(block);
    }
}

// Reduced transforms. An output sample of a reduced block stands for the average
// of a 2x2 (4x4, 8x8) group of full-size samples; averaging the cosine basis over
// such a group leaves a shorter basis whose weights fold in that average. The
// weights are at 13 fractional bits:
//   15137 = 2^13 x 1.847759065   6270 = 2^13 x 0.765366865   (even part of 4x4)
//   11893 = 1.451774981, 8697 = 1.061594337, 17799 = 2.172734803, 1730 = 0.211164243
//    7373 = 0.899976223, 20995 = 2.562915447, 4926 = 0.601344887, 4176 = 0.509795579
//   29692 = 3.624509785, 10426 = 1.272758580, 6967 = 0.850430095, 5906 = 0.720959822
// (the last four for 2x2). Frequency 4 averages to zero over pairs of samples and
// is skipped by the 4x4 form; only odd frequencies and DC survive the 2x2 form.
//
// Both passes run on all their lanes at once, with fixed trip counts and no
// branches inside, so that the compiler packs them; the only tests are made once
// per block, on which coefficients are zero. A column that holds nothing but its
// DC gives 4 x DC in each of its rows through the full formula as well (DC << 14
// cannot wrap for a 16-bit DC, and the rounding term vanishes in the shift).
// A row that holds nothing but its DC is defined as sar(w0 + 16, 5): the full
// formula shifts w0 by 14 first, which wraps once |w0| >= 2^17 (large AC values
// of column 0 give such rows), so both are formed and the row's own test picks
// one, lane by lane.

namespace {

inline u32 odd_2(u32 x1, u32 x3, u32 x5, u32 x7) {
    return x1 * 29692u - x3 * 10426u + x5 * 6967u - x7 * 5906u;
}

// Level shift and clamp of a 32-bit value, as clamp_sample, written as
// min / max so that it packs.
inline int32_t clamp_level(int32_t x) {
    x = x < -128 ? -128 : x;
    x = x > 127 ? 127 : x;
    return x + 128;
}

// Both passes of the 4x4 form. Columns first: lane c is column c (column 4 is
// formed with the others and not used). Each product is a 16-bit coefficient
// times a factor below 2^15, exact in 32 bits; the sums wrap. The row pass then
// runs with lane r = row r. With HighZero, rows 5-7 and columns 5-7 hold only
// zeros: the column pass drops the products of its inputs 5-7, and columns 5-7
// give zero results, so the row pass drops those of its inputs 5-7 as well.
// (Forming only columns 0-3 would halve the lanes of the column pass; it packs
// worse and is slower.)
template <bool HighZero>
inline void transform_4x4(int16_t* block) {
    u32 work[8][4];  // work[c][r]: row r of column c, rounded
    {
        u32 cols[4][8];
        for (int c = 0; c < 8; ++c) {
            const int32_t x0 = block[c], x1 = block[8 + c], x2 = block[16 + c], x3 = block[24 + c];
            const int32_t x5 = HighZero ? 0 : block[40 + c], x6 = HighZero ? 0 : block[48 + c];
            const int32_t x7 = HighZero ? 0 : block[56 + c];
            const u32 even = wrap(x2 * 15137) - wrap(x6 * 6270);
            const u32 t10 = (wrap(x0) << 14) + even + 2048u;
            const u32 t12 = (wrap(x0) << 14) - even + 2048u;
            const u32 t0 = wrap(x5 * 11893) + wrap(x1 * 8697) - wrap(x3 * 17799) - wrap(x7 * 1730);
            const u32 t2 = wrap(x3 * 7373) + wrap(x1 * 20995) - wrap(x5 * 4926) - wrap(x7 * 4176);
            cols[0][c] = wrap(sar(t10 + t2, 12));
            cols[1][c] = wrap(sar(t12 + t0, 12));
            cols[2][c] = wrap(sar(t12 - t0, 12));
            cols[3][c] = wrap(sar(t10 - t2, 12));
        }
        for (int c = 0; c < 8; ++c)
            for (int r = 0; r < 4; ++r) work[c][r] = cols[r][c];
    }
    int32_t result[4][4];  // result[k][r]
    for (int r = 0; r < 4; ++r) {
        const u32 x0 = work[0][r], x1 = work[1][r], x2 = work[2][r], x3 = work[3][r];
        const u32 x5 = HighZero ? 0u : work[5][r], x6 = HighZero ? 0u : work[6][r];
        const u32 x7 = HighZero ? 0u : work[7][r];
        const u32 even = x2 * 15137u - x6 * 6270u;
        const u32 t10 = (x0 << 14) + even + 0x40000u;
        const u32 t12 = (x0 << 14) - even + 0x40000u;
        const u32 t0 = x5 * 11893u + x1 * 8697u - x3 * 17799u - x7 * 1730u;
        const u32 t2 = x3 * 7373u + x1 * 20995u - x5 * 4926u - x7 * 4176u;
        const bool dc_only = (x1 | x2 | x3 | x5 | x6 | x7) == 0;
        const int32_t dc = sar(x0 + 16u, 5);
        result[0][r] = clamp_level(dc_only ? dc : sar(t10 + t2, 19));
        result[1][r] = clamp_level(dc_only ? dc : sar(t12 + t0, 19));
        result[2][r] = clamp_level(dc_only ? dc : sar(t12 - t0, 19));
        result[3][r] = clamp_level(dc_only ? dc : sar(t10 - t2, 19));
    }
    for (int r = 0; r < 4; ++r)
        for (int k = 0; k < 4; ++k) block[8 * r + k] = static_cast<int16_t>(result[k][r]);
}

}  // namespace

// Row 4 and column 4 are never read. A block whose other coefficients are all
// zero but its DC (common in smooth areas and in chroma) gives one sample: its
// column 0 is 4 x DC in every row through the full formula, the other columns
// are zero, so every row takes the DC-only value sar(4 x DC + 16, 5). Blocks
// whose coefficients lie in rows and columns 0-3 skip the work on the zeros.
void idct_direct_4x4(int16_t* block) {
    // Per column: the OR of rows 5-7, and of rows 1-3 and 5-7.
    uint16_t high[8], below[8];
    for (int c = 0; c < 8; ++c) {
        high[c] = static_cast<uint16_t>(block[40 + c] | block[48 + c] | block[56 + c]);
        below[c] = static_cast<uint16_t>(block[8 + c] | block[16 + c] | block[24 + c] | high[c]);
    }
    // ac: every coefficient read but the DC; outer: those in rows or columns 5-7.
    uint16_t ac = below[0], outer = 0;
    for (int c = 1; c < 8; ++c)
        if (c != 4) ac = static_cast<uint16_t>(ac | below[c] | block[c]);
    for (int c = 0; c < 4; ++c) outer = static_cast<uint16_t>(outer | high[c]);
    for (int c = 5; c < 8; ++c) outer = static_cast<uint16_t>(outer | below[c] | block[c]);

    if (ac == 0) {
        const int16_t s = clamp_sample(sar(wrap(block[0]) * 4u + 16u, 5));
        for (int r = 0; r < 4; ++r)
            for (int k = 0; k < 4; ++k) block[8 * r + k] = s;
        return;
    }
    if (outer == 0)
        transform_4x4<true>(block);
    else
        transform_4x4<false>(block);
}

// Only rows and columns 0, 1, 3, 5 and 7 are read. A block that holds nothing
// there but its DC gives one sample, as in the 4x4 form. Otherwise the column
// pass runs on all eight columns at once (a column holding only its DC gives
// 4 x DC through the full formula too: DC << 15 cannot wrap) and the row pass
// forms both the full result and the DC-only sar(w0 + 16, 5) for each row,
// which differ once w0 << 15 wraps, and picks by the row's own test.
void idct_direct_2x2(int16_t* block) {
    uint16_t odd[8];  // per column: the OR of rows 1, 3, 5 and 7
    for (int c = 0; c < 8; ++c)
        odd[c] = static_cast<uint16_t>(block[8 + c] | block[24 + c] | block[40 + c] | block[56 + c]);
    uint16_t ac = odd[0];
    for (int c = 1; c < 8; c += 2) ac = static_cast<uint16_t>(ac | odd[c] | block[c]);
    if (ac == 0) {
        const int16_t s = clamp_sample(sar(wrap(block[0]) * 4u + 16u, 5));
        block[0] = block[1] = block[8] = block[9] = s;
        return;
    }

    u32 work[2][8];  // work[r][c]
    for (int c = 0; c < 8; ++c) {
        const int32_t x0 = block[c], x1 = block[8 + c], x3 = block[24 + c], x5 = block[40 + c], x7 = block[56 + c];
        const u32 z = wrap(x1 * 29692) - wrap(x3 * 10426) + wrap(x5 * 6967) - wrap(x7 * 5906);
        const u32 base = (wrap(x0) << 15) + 4096u;
        work[0][c] = wrap(sar(base + z, 13));
        work[1][c] = wrap(sar(base - z, 13));
    }
    int16_t result[2][2];
    for (int r = 0; r < 2; ++r) {
        const u32* w = work[r];
        const u32 z = odd_2(w[1], w[3], w[5], w[7]);
        const u32 base = (w[0] << 15) + 0x80000u;
        const bool dc_only = (w[1] | w[3] | w[5] | w[7]) == 0;
        const int32_t dc = sar(w[0] + 16u, 5);
        result[r][0] = clamp_sample(dc_only ? dc : sar(base + z, 20));
        result[r][1] = clamp_sample(dc_only ? dc : sar(base - z, 20));
    }
    block[0] = result[0][0], block[1] = result[0][1];
    block[8] = result[1][0], block[9] = result[1][1];
}

// The average of all 64 samples is DC / 8.
void idct_direct_1x1(int16_t* block) {
    block[0] = clamp_sample(sar(wrap(block[0]) + 4u, 3));
}

}  // namespace vantorel

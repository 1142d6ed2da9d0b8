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

inline u32 wrap(int32_t v) { return static_cast<u32>(v); }
// Arithmetic right shift of a wrapped value.
inline int32_t sar(u32 v, int n) { return static_cast<int32_t>(v) >> n; }

// Level shift and clamp in one step: -128..127 becomes 0..255.
inline int16_t clamp_sample(int32_t x) {
    if (x < -128) return 0;
    if (x >= 128) return 255;
    return static_cast<int16_t>(x + 128);
}

// One 8-point inverse transform, the common part of both passes of the 8x8
// routine. p holds the eight inputs, out receives the eight results before the
// pass's final rounding shift.
//
// The constants are cosines at 15 fractional bits:
//   32138 = 2^15 cos(pi/16)    27246 = 2^15 cos(3pi/16)
//   18205 = 2^15 cos(5pi/16)    6393 = 2^15 cos(7pi/16)
//   42813 = 2^15 sqrt2 cos(pi/8), 17734 = 2^15 sqrt2 sin(pi/8)  (the even rotation)
//    5793 = 2^13 / sqrt2, applied after a 12-bit reduction to the odd terms that
//           need the extra 1/sqrt2 factor.
// The odd part first rotates (p1, p7) by 7pi/16 and (p5, p3) by 3pi/16; their
// sums and differences, some scaled by 1/sqrt2, give the four odd terms T, A, C, E
// of outputs 0/7, 1/6, 2/5 and 3/4. The even part is the butterfly of p0 +- p4
// (shifted to the same 15-bit scale) with the rotation of (p2, p6) by pi/8.
// Overall each pass's result is 16 sqrt2 x 2^12 times the textbook 1-D value.
inline void transform_8(const u32 p[8], u32 out[8]) {
    const u32 f = p[1] * 6393u - p[7] * 32138u;
    const u32 g = p[5] * 27246u - p[3] * 18205u;
    const u32 h = p[7] * 6393u + p[1] * 32138u;
    const u32 l = p[5] * 18205u + p[3] * 27246u;

    const u32 e = wrap(sar(f + g + 2048u, 12)) * 5793u;
    const u32 t = wrap(sar(h + l + 2048u, 12)) * 5793u;
    const u32 a = h + f - l - g;
    const u32 c = h + g - l - f;

    const u32 u = (p[0] + p[4]) << 15;
    const u32 r = (p[0] - p[4]) << 15;
    const u32 w = p[2] * 42813u + p[6] * 17734u;
    const u32 b = p[2] * 17734u - p[6] * 42813u;

    out[0] = t + u + w;
    out[7] = u + w - t;
    out[1] = a + r + b;
    out[6] = r + b - a;
    out[2] = c + (r - b);
    out[5] = (r - b) - c;
    out[3] = e + (u - w);
    out[4] = (u - w) - e;
}

}  // namespace

// Rows first into a 32-bit work area, rounded back by 2^12 so that the row results
// keep their 16 sqrt2 gain as extra precision; then columns. After the column pass
// the two gains and the fixed point multiply to 16 sqrt2 x 16 sqrt2 x 2^12 = 2^21,
// so one rounding shift by 21 leaves the textbook 2-D value, which is then level
// shifted and clamped.
void idct_direct_8x8(int16_t* block) {
    alignas(32) u32 work[64];
    u32 in[8];
    u32 out[8];
    for (int row = 0; row < 8; ++row) {
        for (int k = 0; k < 8; ++k) in[k] = wrap(block[8 * row + k]);
        transform_8(in, out);
        for (int k = 0; k < 8; ++k) work[8 * row + k] = wrap(sar(out[k] + 2048u, 12));
    }
    for (int col = 0; col < 8; ++col) {
        for (int k = 0; k < 8; ++k) in[k] = work[8 * k + col];
        transform_8(in, out);
        for (int k = 0; k < 8; ++k) block[8 * k + col] = clamp_sample(sar(out[k] + 0x100000u, 21));
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
// Columns that carry nothing but their DC are common and take a short path with
// the same result.

namespace {

// Rows 0-3 of a 4-point reduced transform, before the rounding shift.
inline void transform_4(u32 x0, u32 x1, u32 x2, u32 x3, u32 x5, u32 x6, u32 x7, u32 out[4]) {
    const u32 even = x2 * 15137u - x6 * 6270u;
    const u32 t10 = (x0 << 14) + even;
    const u32 t12 = (x0 << 14) - even;
    const u32 t0 = x5 * 11893u + x1 * 8697u - x3 * 17799u - x7 * 1730u;
    const u32 t2 = x3 * 7373u + x1 * 20995u - x5 * 4926u - x7 * 4176u;
    out[0] = t10 + t2;
    out[1] = t12 + t0;
    out[2] = t12 - t0;
    out[3] = t10 - t2;
}

inline u32 odd_2(u32 x1, u32 x3, u32 x5, u32 x7) {
    return x1 * 29692u - x3 * 10426u + x5 * 6967u - x7 * 5906u;
}

}  // namespace

void idct_direct_4x4(int16_t* block) {
    u32 work[4 * 8] = {};
    u32 out[4];
    for (int col = 0; col < 8; ++col) {
        if (col == 4) continue;
        const int16_t* c = block + col;
        if (c[8] == 0 && c[16] == 0 && c[24] == 0 && c[40] == 0 && c[48] == 0 && c[56] == 0) {
            const u32 dc = wrap(c[0]) * 4u;
            for (int r = 0; r < 4; ++r) work[8 * r + col] = dc;
            continue;
        }
        transform_4(wrap(c[0]), wrap(c[8]), wrap(c[16]), wrap(c[24]), wrap(c[40]), wrap(c[48]),
                    wrap(c[56]), out);
        for (int r = 0; r < 4; ++r) work[8 * r + col] = wrap(sar(out[r] + 2048u, 12));
    }
    for (int row = 0; row < 4; ++row) {
        const u32* w = work + 8 * row;
        int16_t* dst = block + 8 * row;
        if (w[1] == 0 && w[2] == 0 && w[3] == 0 && w[5] == 0 && w[6] == 0 && w[7] == 0) {
            const int16_t s = clamp_sample(sar(w[0] + 16u, 5));
            for (int k = 0; k < 4; ++k) dst[k] = s;
            continue;
        }
        transform_4(w[0], w[1], w[2], w[3], w[5], w[6], w[7], out);
        for (int k = 0; k < 4; ++k) dst[k] = clamp_sample(sar(out[k] + 0x40000u, 19));
    }
}

void idct_direct_2x2(int16_t* block) {
    u32 work[2 * 8] = {};
    static constexpr int kColumns[5] = {0, 1, 3, 5, 7};
    for (int col : kColumns) {
        const int16_t* c = block + col;
        if (c[8] == 0 && c[24] == 0 && c[40] == 0 && c[56] == 0) {
            const u32 dc = wrap(c[0]) * 4u;
            work[col] = dc;
            work[8 + col] = dc;
            continue;
        }
        const u32 z = odd_2(wrap(c[8]), wrap(c[24]), wrap(c[40]), wrap(c[56]));
        const u32 base = wrap(c[0]) << 15;
        work[col] = wrap(sar(base + z + 4096u, 13));
        work[8 + col] = wrap(sar(base - z + 4096u, 13));
    }
    for (int row = 0; row < 2; ++row) {
        const u32* w = work + 8 * row;
        int16_t* dst = block + 8 * row;
        if (w[1] == 0 && w[3] == 0 && w[5] == 0 && w[7] == 0) {
            const int16_t s = clamp_sample(sar(w[0] + 16u, 5));
            dst[0] = s;
            dst[1] = s;
            continue;
        }
        const u32 z = odd_2(w[1], w[3], w[5], w[7]);
        const u32 base = w[0] << 15;
        dst[0] = clamp_sample(sar(base + z + 0x80000u, 20));
        dst[1] = clamp_sample(sar(base - z + 0x80000u, 20));
    }
}

// The average of all 64 samples is DC / 8.
void idct_direct_1x1(int16_t* block) {
    block[0] = clamp_sample(sar(wrap(block[0]) + 4u, 3));
}

}  // namespace vantorel

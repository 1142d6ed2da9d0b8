// Inverse DCT of the scaled family: the coefficients arrive already multiplied by
// 2 x a(u) x a(v), a(0) = 1, a(n) = sqrt2 cos(n pi/16), through the prepared
// quantisation table. With those factors folded in, the 8-point inverse transform
// factors into butterflies and only five multiplications (the Arai-Agui-Nakajima
// flow graph), and the reduced forms need only a few more.
//
// The first pass keeps its results in the block itself as 16-bit values, so very
// large coefficients wrap there; all other arithmetic is 32-bit. Sums and products
// are formed in uint32_t, which wraps exactly like two's-complement arithmetic,
// and converted back to int32_t for the arithmetic right shifts, so no input can
// cause signed overflow while every input that fits gives the plain results.
#include "codec/decoder/decoder.h"

namespace vantorel {

namespace {

using u32 = uint32_t;

inline u32 wrap(int32_t v) { return static_cast<u32>(v); }
inline int32_t sar(u32 v, int n) { return static_cast<int32_t>(v) >> n; }
inline int16_t low16(u32 v) { return static_cast<int16_t>(v); }

// Multiplies by K / 2^15 with rounding.
inline u32 mul15(u32 x, u32 k) { return wrap(sar(x * k + 0x4000u, 15)); }

inline int16_t clamp_sample(int32_t x) {
    if (x < -128) return 0;
    if (x >= 128) return 255;
    return static_cast<int16_t>(x + 128);
}

// The rounding descale of the second pass: results carry 2^4 x 2 of scale (the
// factor 8 of the 2-D transform and the 2 folded into the table).
inline int16_t descale(u32 x) { return clamp_sample(sar(x + 8u, 4)); }

}  // namespace

// The AAN flow graph, multipliers at 15 fractional bits:
//   25080 = 2^15 x 0.765366865 = 2^15 x 2 sin(pi/8)
//   35468 = 2^15 x 1.082392200 = 2^15 x 2 sqrt2 sin(pi/8)
//   46341 = 2^15 x 1.414213562 = 2^15 x sqrt2
//   85627 = 2^15 x 2.613125930 = 2^15 x 2 sqrt2 cos(pi/8)
// Even part: x0 +- x4 and the rotation of (x2, x6), which with the scale factors
// reduces to one multiplication by sqrt2 of x2 - x6. Odd part: the sums and
// differences of (x1, x7) and (x5, x3), one multiplication by sqrt2 and the rotation
// by pi/8 written with three multiplications that share e = 0.765 (z10 - z12).
// Columns first, stored back as 16-bit values, then rows, descaled by 16.
void idct_scaled_8x8(int16_t* block) {
    for (int col = 0; col < 8; ++col) {
        int16_t* c = block + col;
        const u32 x0 = wrap(c[0]), x1 = wrap(c[8]), x2 = wrap(c[16]), x3 = wrap(c[24]);
        const u32 x4 = wrap(c[32]), x5 = wrap(c[40]), x6 = wrap(c[48]), x7 = wrap(c[56]);

        const u32 e = mul15(x5 + x7 - x3 - x1, 25080u);
        const u32 f = mul15(x1 + x7 - x5 - x3, 46341u);
        const u32 g = x5 + x3 + x1 + x7;
        const u32 h = e - mul15(x5 - x3, 85627u);
        const u32 l = mul15(x1 - x7, 35468u) - e - g;
        const u32 u = x2 + x6;
        const u32 v = mul15(x2 - x6, 46341u) - u;
        const u32 d = x0 - x4;

        c[0] = low16(g + u + x4 + x0);
        c[8] = low16(v + d + l);
        c[16] = low16(d + f - v - l);
        c[24] = low16((x4 + x0 - u) - (h + f - l));
        c[32] = low16((x4 + x0 - u) + (h + f - l));
        c[40] = low16((d - v) - (f - l));
        c[48] = low16((v + d) - l);
        c[56] = low16((u + x4 + x0) - g);
    }
    for (int row = 0; row < 8; ++row) {
        int16_t* r = block + 8 * row;
        const u32 y0 = wrap(r[0]), y1 = wrap(r[1]), y2 = wrap(r[2]), y3 = wrap(r[3]);
        const u32 y4 = wrap(r[4]), y5 = wrap(r[5]), y6 = wrap(r[6]), y7 = wrap(r[7]);

        const u32 k = mul15(y5 + y7 - y3 - y1, 25080u);
        const u32 odd_sum = y1 + y3 + y5 + y7;
        const u32 odd_diff = mul15(y1 + y7 - y5 - y3, 46341u);
        const u32 odd_g = mul15(y1 - y7, 35468u) - k - odd_sum;
        const u32 odd_h = k - mul15(y5 - y3, 85627u);

        const u32 even_sum = y2 + y6;
        const u32 dc_sum = y0 + y4;
        const u32 even_rot = mul15(y2 - y6, 46341u) - even_sum;
        const u32 w = even_rot + y0 - y4;
        const u32 v2 = y0 - y4 - even_rot;
        const u32 f2 = odd_diff - odd_g;

        r[0] = descale(odd_sum + even_sum + dc_sum);
        r[1] = descale(w + odd_g);
        r[2] = descale(v2 + f2);
        r[3] = descale(dc_sum - even_sum - odd_h - f2);
        r[4] = descale(dc_sum + odd_h + f2 - even_sum);
        r[5] = descale(v2 - f2);
        r[6] = descale(w - odd_g);
        r[7] = descale(even_sum + dc_sum - odd_sum);
    }
}

// Reduced forms. Averaging pairs (or groups) of full-size outputs leaves a short
// basis: for 4x4 frequency 4 vanishes, frequencies 2 and 6 collapse into one term
// in (x2 - x6) x sqrt2 / 2, and the odd frequencies into two terms hi and k' from
// the differences m = x1 - x7 and k = x5 - x3, with multipliers at 16 bits:
//   60548 = 2^16 x 0.923880 = 2^16 cos(pi/8)    25080 = 2^16 x 0.382683 = 2^16 sin(pi/8)
// (the second term uses 60547, one lower; 2^16 cos(pi/8) = 60547.6 rounds either
// way within the precision of the rest, and both values are kept as they are). For 2x2 only the odd differences survive, weighted at 17 bits by
//   85627 / 2^17 = 0.653281 = cos(pi/8) / sqrt2
//   35468 / 2^17 = 0.270598 = sin(pi/8) / sqrt2
// (the 8x8 form's multipliers 2.613 and 1.082 divided by 4).
// Both store their first pass as 16-bit values in the block and descale the second
// by 16 like the 8x8 form.

namespace {

struct Reduced4 {
    u32 c, hi, kp;
};

inline Reduced4 terms_4(u32 x1, u32 x2, u32 x3, u32 x5, u32 x6, u32 x7) {
    const u32 k = x5 - x3;
    const u32 m = x1 - x7;
    // The even term is halved with truncation toward zero.
    const int32_t even = sar((x2 - x6) * 46341u + 0x4000u, 15);
    Reduced4 t;
    t.c = wrap(even / 2);
    t.hi = wrap(sar(m * 60548u - k * 25080u + 0x8000u, 16));
    t.kp = wrap(sar(k * 60547u + m * 25080u + 0x8000u, 16));
    return t;
}

inline u32 term_2(u32 x1, u32 x3, u32 x5, u32 x7) {
    return wrap(sar((x1 - x7) * 85627u + (x5 - x3) * 35468u + 0x10000u, 17));
}

}  // namespace

void idct_scaled_4x4(int16_t* block) {
    for (int col = 0; col < 8; ++col) {
        if (col == 4) continue;
        int16_t* c = block + col;
        const u32 b = wrap(c[0]);
        const Reduced4 t = terms_4(wrap(c[8]), wrap(c[16]), wrap(c[24]), wrap(c[40]), wrap(c[48]),
                                   wrap(c[56]));
        c[0] = low16(b + t.c + t.hi);
        c[8] = low16(b + t.kp - t.c);
        c[16] = low16(b - t.c - t.kp);
        c[24] = low16(b + t.c - t.hi);
    }
    for (int row = 0; row < 4; ++row) {
        int16_t* r = block + 8 * row;
        const u32 w0 = wrap(r[0]);
        const Reduced4 t = terms_4(wrap(r[1]), wrap(r[2]), wrap(r[3]), wrap(r[5]), wrap(r[6]), wrap(r[7]));
        r[0] = descale(w0 + t.c + t.hi);
        r[1] = descale(w0 - t.c + t.kp);
        r[2] = descale(w0 - t.c - t.kp);
        r[3] = descale(w0 + t.c - t.hi);
    }
}

void idct_scaled_2x2(int16_t* block) {
    static constexpr int kColumns[5] = {0, 1, 3, 5, 7};
    for (int col : kColumns) {
        int16_t* c = block + col;
        const u32 x0 = wrap(c[0]);
        const u32 t = term_2(wrap(c[8]), wrap(c[24]), wrap(c[40]), wrap(c[56]));
        c[0] = low16(x0 + t);
        c[8] = low16(x0 - t);
    }
    for (int row = 0; row < 2; ++row) {
        int16_t* r = block + 8 * row;
        const u32 w0 = wrap(r[0]);
        const u32 t = term_2(wrap(r[1]), wrap(r[3]), wrap(r[5]), wrap(r[7]));
        r[0] = descale(w0 + t);
        r[1] = descale(w0 - t);
    }
}

// The DC carries 2 x DC of the plain coefficient; the block average is DC / 8.
void idct_scaled_1x1(int16_t* block) {
    block[0] = descale(wrap(block[0]));
}

}  // namespace vantorel

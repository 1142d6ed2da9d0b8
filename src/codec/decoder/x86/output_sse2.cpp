// Output kernels on 128-bit registers: eight chroma samples give their colour
// terms at once, sixteen pixels are built per step and written as whole rows.
//
// The kernels give exactly the generic kernels' bytes. The cut MCUs at the DIB
// edge and around a region go through the generic per-pixel store, so any
// difference here would make a pixel's bytes depend on whether its MCU happens
// to be cut, and a region would no longer be the crop of the whole picture.
//
// The red and blue terms, (359 Cr - 45813) >> 8 and (454 Cb - 57937) >> 8, are
// taken from the high half of one 16-bit product each, with the factors and
// offsets chosen so that the floor lands on the same value for every sample
// 0..255:  red = ((32 Cr + 1) x 2872) >> 16) - 179   (32 x 2872 = 359 x 256)
//          blue = ((256 Cb + 99) x 454) >> 16) - 227  (unsigned; 256 x 454)
// The offsets 2872 and 99 x 454 sit inside the range of offsets that round like
// the generic ones (+11 and +175 at 8 fraction bits), since 359 Cr and 454 Cb
// take only whole values. The green term needs more than 16 bits on the way and
// is formed with pmaddwd. The sum with Y saturates to 0..255 in the final pack.
//
// Samples are the 0..255 results of the inverse transforms. A kernel writes the
// bytes of its MCU's pixels and nothing else: a row of 16 three-byte pixels is
// exactly three registers, and eight-pixel rows end with an 8-byte store.
#include "codec/decoder/x86/x86_stages.h"

#if VANTOREL_X86_BODIES
#include <emmintrin.h>

namespace vantorel::x86 {

namespace {

enum Order { ORDER_RGB, ORDER_BGR, ORDER_QUAD };

struct Terms {
    __m128i red, green, blue;
};

VANTOREL_SSE2 inline __m128i load8(const int16_t* p) {
    return _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
}

// The colour terms of eight chroma samples (16-bit lanes).
VANTOREL_SSE2 inline Terms chroma_terms(__m128i cb, __m128i cr) {
    Terms t;
    const __m128i one = _mm_set1_epi16(1);
    t.red = _mm_sub_epi16(_mm_mulhi_epi16(_mm_add_epi16(_mm_slli_epi16(cr, 5), one), _mm_set1_epi16(2872)),
                          _mm_set1_epi16(179));
    t.blue = _mm_sub_epi16(_mm_mulhi_epu16(_mm_add_epi16(_mm_slli_epi16(cb, 8), _mm_set1_epi16(99)),
                                           _mm_set1_epi16(454)),
                           _mm_set1_epi16(227));
    const __m128i weights = _mm_set1_epi32(88 | (183 << 16));
    const __m128i offset = _mm_set1_epi32(34806);
    const __m128i lo = _mm_srai_epi32(_mm_sub_epi32(_mm_madd_epi16(_mm_unpacklo_epi16(cb, cr), weights), offset), 8);
    const __m128i hi = _mm_srai_epi32(_mm_sub_epi32(_mm_madd_epi16(_mm_unpackhi_epi16(cb, cr), weights), offset), 8);
    t.green = _mm_packs_epi32(lo, hi);
    return t;
}

// Each chroma term twice, for the pixel pairs it covers: chroma 0-3 give pixels
// 0-7 (`left`), chroma 4-7 pixels 8-15 (`right`).
struct WideTerms {
    Terms left, right;
};

VANTOREL_SSE2 inline WideTerms widen(const Terms& t) {
    WideTerms w;
    w.left.red = _mm_unpacklo_epi16(t.red, t.red);
    w.left.green = _mm_unpacklo_epi16(t.green, t.green);
    w.left.blue = _mm_unpacklo_epi16(t.blue, t.blue);
    w.right.red = _mm_unpackhi_epi16(t.red, t.red);
    w.right.green = _mm_unpackhi_epi16(t.green, t.green);
    w.right.blue = _mm_unpackhi_epi16(t.blue, t.blue);
    return w;
}

// Sixteen pixels as three byte registers (R, G, B), from two groups of eight
// luma samples and their terms.
struct Pixels16 {
    __m128i r, g, b;
};

VANTOREL_SSE2 inline Pixels16 make_pixels(__m128i y0, const Terms& t0, __m128i y1, const Terms& t1) {
    Pixels16 p;
    p.r = _mm_packus_epi16(_mm_adds_epi16(y0, t0.red), _mm_adds_epi16(y1, t1.red));
    p.g = _mm_packus_epi16(_mm_subs_epi16(y0, t0.green), _mm_subs_epi16(y1, t1.green));
    p.b = _mm_packus_epi16(_mm_adds_epi16(y0, t0.blue), _mm_adds_epi16(y1, t1.blue));
    return p;
}

// Four 32-bit pixels (three bytes and a zero) into the low 12 bytes.
VANTOREL_SSE2 inline __m128i squeeze(__m128i p) {
    const __m128i low24 = _mm_set_epi32(0, 0x00FFFFFF, 0, 0x00FFFFFF);
    const __m128i high24 = _mm_set_epi32(0x0000FFFF, static_cast<int>(0xFF000000u), 0x0000FFFF,
                                         static_cast<int>(0xFF000000u));
    // Each 64-bit half holds two pixels: close the gap between them.
    const __m128i halves = _mm_or_si128(_mm_and_si128(p, low24), _mm_and_si128(_mm_srli_epi64(p, 8), high24));
    return _mm_or_si128(_mm_move_epi64(halves), _mm_slli_si128(_mm_srli_si128(halves, 8), 6));
}

// The 48 bytes of sixteen three-byte pixels, first/second/third byte of each.
struct Bytes48 {
    __m128i a, b, c;
};

VANTOREL_SSE2 inline Bytes48 interleave3(__m128i first, __m128i second, __m128i third) {
    const __m128i zero = _mm_setzero_si128();
    const __m128i lo01 = _mm_unpacklo_epi8(first, second);
    const __m128i hi01 = _mm_unpackhi_epi8(first, second);
    const __m128i lo2 = _mm_unpacklo_epi8(third, zero);
    const __m128i hi2 = _mm_unpackhi_epi8(third, zero);
    const __m128i q0 = squeeze(_mm_unpacklo_epi16(lo01, lo2));
    const __m128i q1 = squeeze(_mm_unpackhi_epi16(lo01, lo2));
    const __m128i q2 = squeeze(_mm_unpacklo_epi16(hi01, hi2));
    const __m128i q3 = squeeze(_mm_unpackhi_epi16(hi01, hi2));
    Bytes48 out;
    out.a = _mm_or_si128(q0, _mm_slli_si128(q1, 12));
    out.b = _mm_or_si128(_mm_srli_si128(q1, 4), _mm_slli_si128(q2, 8));
    out.c = _mm_or_si128(_mm_srli_si128(q2, 8), _mm_slli_si128(q3, 4));
    return out;
}

VANTOREL_SSE2 inline void store(uint8_t* p, __m128i v) { _mm_storeu_si128(reinterpret_cast<__m128i*>(p), v); }
VANTOREL_SSE2 inline void store8(uint8_t* p, __m128i v) { _mm_storel_epi64(reinterpret_cast<__m128i*>(p), v); }

// Sixteen pixels in the member's byte order, as 48 or 64 bytes.
template <Order O>
struct Packed {
    __m128i v[4];
};

template <Order O>
VANTOREL_SSE2 inline Packed<O> pack(const Pixels16& p) {
    Packed<O> out;
    if constexpr (O == ORDER_QUAD) {
        const __m128i opaque = _mm_set1_epi8(static_cast<char>(0xFF));
        const __m128i rg_lo = _mm_unpacklo_epi8(p.r, p.g);
        const __m128i rg_hi = _mm_unpackhi_epi8(p.r, p.g);
        const __m128i ba_lo = _mm_unpacklo_epi8(p.b, opaque);
        const __m128i ba_hi = _mm_unpackhi_epi8(p.b, opaque);
        out.v[0] = _mm_unpacklo_epi16(rg_lo, ba_lo);
        out.v[1] = _mm_unpackhi_epi16(rg_lo, ba_lo);
        out.v[2] = _mm_unpacklo_epi16(rg_hi, ba_hi);
        out.v[3] = _mm_unpackhi_epi16(rg_hi, ba_hi);
    } else {
        const Bytes48 b = O == ORDER_RGB ? interleave3(p.r, p.g, p.b) : interleave3(p.b, p.g, p.r);
        out.v[0] = b.a;
        out.v[1] = b.b;
        out.v[2] = b.c;
        out.v[3] = _mm_setzero_si128();
    }
    return out;
}

// Sixteen pixels of one DIB row.
template <Order O>
VANTOREL_SSE2 inline void store_row16(uint8_t* row, const Packed<O>& p) {
    store(row, p.v[0]);
    store(row + 16, p.v[1]);
    store(row + 32, p.v[2]);
    if constexpr (O == ORDER_QUAD) store(row + 48, p.v[3]);
}

// The first eight pixels to `row0` and the last eight to `row1`.
template <Order O>
VANTOREL_SSE2 inline void store_rows8(uint8_t* row0, uint8_t* row1, const Packed<O>& p) {
    if constexpr (O == ORDER_QUAD) {
        store(row0, p.v[0]);
        store(row0 + 16, p.v[1]);
        store(row1, p.v[2]);
        store(row1 + 16, p.v[3]);
    } else {
        // 24 bytes per row: bytes 0-23 and 24-47 of the 48.
        store(row0, p.v[0]);
        store8(row0 + 16, p.v[1]);
        store8(row1, _mm_srli_si128(p.v[1], 8));
        store(row1 + 8, p.v[2]);
    }
}

template <Order O>
VANTOREL_SSE2 void kernel_444(const int16_t* y, const int16_t* cb, const int16_t* cr, uint8_t* dest,
                              intptr_t stride) {
    for (int r = 0; r < 8; r += 2) {
        const Terms t0 = chroma_terms(load8(cb + 8 * r), load8(cr + 8 * r));
        const Terms t1 = chroma_terms(load8(cb + 8 * r + 8), load8(cr + 8 * r + 8));
        const Pixels16 p = make_pixels(load8(y + 8 * r), t0, load8(y + 8 * r + 8), t1);
        store_rows8<O>(dest + r * stride, dest + (r + 1) * stride, pack<O>(p));
    }
}

// 16 x 8: two luma blocks side by side, chroma row r covers luma row r.
template <Order O>
VANTOREL_SSE2 void kernel_422(const int16_t* y, const int16_t* cb, const int16_t* cr, uint8_t* dest,
                              intptr_t stride) {
    for (int r = 0; r < 8; ++r) {
        const WideTerms t = widen(chroma_terms(load8(cb + 8 * r), load8(cr + 8 * r)));
        const Pixels16 p = make_pixels(load8(y + 8 * r), t.left, load8(y + 64 + 8 * r), t.right);
        store_row16<O>(dest + r * stride, pack<O>(p));
    }
}

// 16 x 16: four luma blocks in raster order, chroma row j covers luma rows 2j
// and 2j + 1.
template <Order O>
VANTOREL_SSE2 void kernel_420(const int16_t* y, const int16_t* cb, const int16_t* cr, uint8_t* dest,
                              intptr_t stride) {
    for (int j = 0; j < 8; ++j) {
        const WideTerms t = widen(chroma_terms(load8(cb + 8 * j), load8(cr + 8 * j)));
        const int16_t* left = y + (j / 4) * 128 + ((2 * j) % 8) * 8;
        for (int v = 0; v < 2; ++v) {
            const Pixels16 p = make_pixels(load8(left + 8 * v), t.left, load8(left + 64 + 8 * v), t.right);
            store_row16<O>(dest + (2 * j + v) * stride, pack<O>(p));
        }
    }
}

}  // namespace

VANTOREL_SSE2_ENTRY void copy_gray_sse2(const int16_t* samples, uint8_t* dest, intptr_t stride) {
    for (int r = 0; r < 8; r += 2) {
        const __m128i bytes = _mm_packus_epi16(load8(samples + 8 * r), load8(samples + 8 * r + 8));
        store8(dest + r * stride, bytes);
        store8(dest + (r + 1) * stride, _mm_srli_si128(bytes, 8));
    }
}

#define VANTOREL_SSE2_KERNEL(name, layout, order)                                                             \
    VANTOREL_SSE2_ENTRY void name(const int16_t* y, const int16_t* cb, const int16_t* cr, uint8_t* dest,          \
                            intptr_t stride) {                                                              \
        kernel_##layout<order>(y, cb, cr, dest, stride);                                                    \
    }

VANTOREL_SSE2_KERNEL(convert_ycc444_rgb_sse2, 444, ORDER_RGB)
VANTOREL_SSE2_KERNEL(convert_ycc444_bgr_sse2, 444, ORDER_BGR)
VANTOREL_SSE2_KERNEL(convert_ycc444_quad_sse2, 444, ORDER_QUAD)
VANTOREL_SSE2_KERNEL(convert_ycc422_rgb_sse2, 422, ORDER_RGB)
VANTOREL_SSE2_KERNEL(convert_ycc422_bgr_sse2, 422, ORDER_BGR)
VANTOREL_SSE2_KERNEL(convert_ycc422_quad_sse2, 422, ORDER_QUAD)
VANTOREL_SSE2_KERNEL(convert_ycc420_rgb_sse2, 420, ORDER_RGB)
VANTOREL_SSE2_KERNEL(convert_ycc420_bgr_sse2, 420, ORDER_BGR)
VANTOREL_SSE2_KERNEL(convert_ycc420_quad_sse2, 420, ORDER_QUAD)

#undef VANTOREL_SSE2_KERNEL

}  // namespace vantorel::x86

#endif

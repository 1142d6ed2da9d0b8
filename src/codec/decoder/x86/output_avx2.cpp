// The packed output kernels on 256-bit registers (CPUID leaf 7, EBX bit 5, with
// the system saving the upper register halves). The colour arithmetic is that
// of the 128-bit kernels (kernel_parts.inc), operation for operation, and every
// unpack, pack and byte shuffle used works within a 128-bit lane, so each lane
// does exactly what the 128-bit kernel does for sixteen pixels: the bytes are
// the same for every sample in the 16-bit range. What differs is which pixels
// share a register:
//   4:4:4  a step covers rows r..r+3. Luma, Cb and Cr are loaded as rows
//          (r, r+1) and (r+2, r+3), one register each, so the low lanes build
//          rows r and r+2 and the high lanes rows r+1 and r+3;
//   4:2:2  rows r and r+1 of each block in the low and high lane; the chroma
//          row of each lane is the one of its luma row;
//   4:2:0  luma rows 2j and 2j+1 in the two lanes, chroma row j in both.
// Three-byte pixels are stored lane by lane with the stores of the 128-bit
// kernels. Quad pixels are first regrouped by 32-bit pixel groups across the
// lanes (one permute per colour) so that the unpacks leave whole rows of eight
// pixels in each register, stored with one 256-bit store each.
//
// As in the 128-bit kernels, a kernel writes the bytes of its MCU's pixels and
// nothing else.
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

enum Order { ORDER_RGB, ORDER_BGR, ORDER_QUAD };

inline __m256i load16(const int16_t* p) { return _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p)); }

// Eight samples in both lanes.
inline __m256i load8_twice(const int16_t* p) {
    return _mm256_broadcastsi128_si256(_mm_loadu_si128(reinterpret_cast<const __m128i*>(p)));
}

struct Terms {
    __m256i red, green, blue;
};

// The colour terms of sixteen chroma samples, eight per lane, computed as the
// 128-bit kernels compute them for eight.
inline Terms chroma_terms(__m256i cb, __m256i cr) {
    Terms t;
    const __m256i one = _mm256_set1_epi16(1);
    t.red = _mm256_sub_epi16(
        _mm256_mulhi_epi16(_mm256_add_epi16(_mm256_slli_epi16(cr, 5), one), _mm256_set1_epi16(2872)),
        _mm256_set1_epi16(179));
    t.blue = _mm256_sub_epi16(_mm256_mulhi_epu16(_mm256_add_epi16(_mm256_slli_epi16(cb, 8), _mm256_set1_epi16(99)),
                                                 _mm256_set1_epi16(454)),
                              _mm256_set1_epi16(227));
    const __m256i weights = _mm256_set1_epi32(88 | (183 << 16));
    const __m256i offset = _mm256_set1_epi32(34806);
    const __m256i lo =
        _mm256_srai_epi32(_mm256_sub_epi32(_mm256_madd_epi16(_mm256_unpacklo_epi16(cb, cr), weights), offset), 8);
    const __m256i hi =
        _mm256_srai_epi32(_mm256_sub_epi32(_mm256_madd_epi16(_mm256_unpackhi_epi16(cb, cr), weights), offset), 8);
    // Within each lane: the four pairs of the low half, then those of the high
    // half, so the terms come back in sample order.
    t.green = _mm256_packs_epi32(lo, hi);
    return t;
}

// Each term twice, per lane: chroma 0-3 of a lane give its pixels 0-7
// (`left`), chroma 4-7 its pixels 8-15 (`right`).
struct WideTerms {
    Terms left, right;
};

inline WideTerms widen(const Terms& t) {
    WideTerms w;
    w.left.red = _mm256_unpacklo_epi16(t.red, t.red);
    w.left.green = _mm256_unpacklo_epi16(t.green, t.green);
    w.left.blue = _mm256_unpacklo_epi16(t.blue, t.blue);
    w.right.red = _mm256_unpackhi_epi16(t.red, t.red);
    w.right.green = _mm256_unpackhi_epi16(t.green, t.green);
    w.right.blue = _mm256_unpackhi_epi16(t.blue, t.blue);
    return w;
}

// Thirty-two pixels as three byte registers; each lane holds the eight pixels
// of its lane of y0, then the eight of y1.
struct Pixels32 {
    __m256i r, g, b;
};

inline Pixels32 make_pixels(__m256i y0, const Terms& t0, __m256i y1, const Terms& t1) {
    Pixels32 p;
    p.r = _mm256_packus_epi16(_mm256_adds_epi16(y0, t0.red), _mm256_adds_epi16(y1, t1.red));
    p.g = _mm256_packus_epi16(_mm256_subs_epi16(y0, t0.green), _mm256_subs_epi16(y1, t1.green));
    p.b = _mm256_packus_epi16(_mm256_adds_epi16(y0, t0.blue), _mm256_adds_epi16(y1, t1.blue));
    return p;
}

// Shuffle controls: output register q, source register s, the same for both
// lanes. Byte i of a lane of register q is byte 16 q + i of that lane's 48,
// channel (16 q + i) % 3 of pixel (16 q + i) / 3; it comes from source s when
// that channel is s, else it is cleared (control byte 0x80).
struct ShuffleControls {
    alignas(32) uint8_t bytes[3][3][32];
    constexpr ShuffleControls() : bytes{} {
        for (int q = 0; q < 3; ++q)
            for (int s = 0; s < 3; ++s)
                for (int i = 0; i < 32; ++i) {
                    const int j = 16 * q + i % 16;
                    bytes[q][s][i] = static_cast<uint8_t>(j % 3 == s ? j / 3 : 0x80);
                }
    }
};
constexpr ShuffleControls kControls;

inline __m256i gather(int q, __m256i first, __m256i second, __m256i third) {
    const auto control = [q](int s) {
        return _mm256_loadu_si256(reinterpret_cast<const __m256i*>(kControls.bytes[q][s]));
    };
    return _mm256_or_si256(
        _mm256_or_si256(_mm256_shuffle_epi8(first, control(0)), _mm256_shuffle_epi8(second, control(1))),
        _mm256_shuffle_epi8(third, control(2)));
}

// Per lane, the 48 bytes of its sixteen three-byte pixels in the member's order.
struct Bytes96 {
    __m256i a, b, c;
};

template <Order O>
inline Bytes96 three_bytes(const Pixels32& p) {
    const __m256i first = O == ORDER_RGB ? p.r : p.b;
    const __m256i third = O == ORDER_RGB ? p.b : p.r;
    Bytes96 out;
    out.a = gather(0, first, p.g, third);
    out.b = gather(1, first, p.g, third);
    out.c = gather(2, first, p.g, third);
    return out;
}

// Quad pixels. With eight-pixel groups A, B in the low lanes and C, D in the
// high lanes of the byte registers, the 32-bit groups of four pixels are first
// put in the order A0-3 C0-3 B0-3 D0-3 | A4-7 C4-7 B4-7 D4-7; the unpacks then
// give A, C, B, D as whole registers of eight (R, G, B, 255) pixels.
struct Quad {
    __m256i a, c, b, d;
};

inline Quad quad_pixels(const Pixels32& p) {
    const __m256i order = _mm256_setr_epi32(0, 4, 2, 6, 1, 5, 3, 7);
    const __m256i r = _mm256_permutevar8x32_epi32(p.r, order);
    const __m256i g = _mm256_permutevar8x32_epi32(p.g, order);
    const __m256i b = _mm256_permutevar8x32_epi32(p.b, order);
    const __m256i opaque = _mm256_set1_epi8(static_cast<char>(0xFF));
    const __m256i rg_lo = _mm256_unpacklo_epi8(r, g);
    const __m256i rg_hi = _mm256_unpackhi_epi8(r, g);
    const __m256i ba_lo = _mm256_unpacklo_epi8(b, opaque);
    const __m256i ba_hi = _mm256_unpackhi_epi8(b, opaque);
    Quad out;
    out.a = _mm256_unpacklo_epi16(rg_lo, ba_lo);
    out.c = _mm256_unpackhi_epi16(rg_lo, ba_lo);
    out.b = _mm256_unpacklo_epi16(rg_hi, ba_hi);
    out.d = _mm256_unpackhi_epi16(rg_hi, ba_hi);
    return out;
}

inline void store16(uint8_t* p, __m128i v) { _mm_storeu_si128(reinterpret_cast<__m128i*>(p), v); }
inline void store32(uint8_t* p, __m256i v) { _mm256_storeu_si256(reinterpret_cast<__m256i*>(p), v); }
inline void store_low8(uint8_t* p, __m128i v) { _mm_storel_epi64(reinterpret_cast<__m128i*>(p), v); }
inline void store_high8(uint8_t* p, __m128i v) {
    _mm_storeh_pi(reinterpret_cast<__m64*>(p), _mm_castsi128_ps(v));
}

inline __m128i low_lane(__m256i v) { return _mm256_castsi256_si128(v); }
inline __m128i high_lane(__m256i v) { return _mm256_extracti128_si256(v, 1); }

// One lane's 48 bytes as two rows of eight three-byte pixels.
inline void store_rows8(uint8_t* row0, uint8_t* row1, __m128i a, __m128i b, __m128i c) {
    store16(row0, a);
    store_low8(row0 + 16, b);
    store_high8(row1, b);
    store16(row1 + 8, c);
}

// One lane's 48 bytes as one row of sixteen three-byte pixels.
inline void store_row16(uint8_t* row, __m128i a, __m128i b, __m128i c) {
    store16(row, a);
    store16(row + 16, b);
    store16(row + 32, c);
}

// Two rows of sixteen pixels, row0 from the low lanes and row1 from the high.
template <Order O>
inline void store_pair16(uint8_t* row0, uint8_t* row1, const Pixels32& p) {
    if constexpr (O == ORDER_QUAD) {
        const Quad q = quad_pixels(p);
        store32(row0, q.a);
        store32(row0 + 32, q.b);
        store32(row1, q.c);
        store32(row1 + 32, q.d);
    } else {
        const Bytes96 v = three_bytes<O>(p);
        store_row16(row0, low_lane(v.a), low_lane(v.b), low_lane(v.c));
        store_row16(row1, high_lane(v.a), high_lane(v.b), high_lane(v.c));
    }
}

template <Order O>
void kernel_444(const int16_t* y, const int16_t* cb, const int16_t* cr, uint8_t* dest, intptr_t stride) {
    for (int r = 0; r < 8; r += 4) {
        const int at = 8 * r;
        const Terms t0 = chroma_terms(load16(cb + at), load16(cr + at));
        const Terms t1 = chroma_terms(load16(cb + at + 16), load16(cr + at + 16));
        // Low lanes: rows r, r + 2; high lanes: rows r + 1, r + 3.
        const Pixels32 p = make_pixels(load16(y + at), t0, load16(y + at + 16), t1);
        uint8_t* row = dest + r * stride;
        if constexpr (O == ORDER_QUAD) {
            const Quad q = quad_pixels(p);
            store32(row, q.a);
            store32(row + stride, q.c);
            store32(row + 2 * stride, q.b);
            store32(row + 3 * stride, q.d);
        } else {
            const Bytes96 v = three_bytes<O>(p);
            store_rows8(row, row + 2 * stride, low_lane(v.a), low_lane(v.b), low_lane(v.c));
            store_rows8(row + stride, row + 3 * stride, high_lane(v.a), high_lane(v.b), high_lane(v.c));
        }
    }
}

// 16 x 8: two luma blocks side by side, chroma row r covers luma row r.
template <Order O>
void kernel_422(const int16_t* y, const int16_t* cb, const int16_t* cr, uint8_t* dest, intptr_t stride) {
    for (int r = 0; r < 8; r += 2) {
        const WideTerms t = widen(chroma_terms(load16(cb + 8 * r), load16(cr + 8 * r)));
        const Pixels32 p = make_pixels(load16(y + 8 * r), t.left, load16(y + 64 + 8 * r), t.right);
        store_pair16<O>(dest + r * stride, dest + (r + 1) * stride, p);
    }
}

// 16 x 16: four luma blocks in raster order, chroma row j covers luma rows 2j
// and 2j + 1.
template <Order O>
void kernel_420(const int16_t* y, const int16_t* cb, const int16_t* cr, uint8_t* dest, intptr_t stride) {
    for (int j = 0; j < 8; ++j) {
        const WideTerms t = widen(chroma_terms(load8_twice(cb + 8 * j), load8_twice(cr + 8 * j)));
        const int16_t* left = y + (j / 4) * 128 + ((2 * j) % 8) * 8;
        const Pixels32 p = make_pixels(load16(left), t.left, load16(left + 64), t.right);
        store_pair16<O>(dest + 2 * j * stride, dest + (2 * j + 1) * stride, p);
    }
}

}  // namespace

#if defined(__i386__)
#define VANTOREL_AVX2_ENTRY __attribute__((force_align_arg_pointer))
#else
#define VANTOREL_AVX2_ENTRY
#endif

#define VANTOREL_AVX2_KERNEL(name, layout, order)                                                         \
    VANTOREL_AVX2_ENTRY void name(const int16_t* y, const int16_t* cb, const int16_t* cr, uint8_t* dest, \
                                  intptr_t stride) {                                                     \
        kernel_##layout<order>(y, cb, cr, dest, stride);                                                 \
    }

VANTOREL_AVX2_KERNEL(convert_ycc444_rgb_avx2, 444, ORDER_RGB)
VANTOREL_AVX2_KERNEL(convert_ycc444_bgr_avx2, 444, ORDER_BGR)
VANTOREL_AVX2_KERNEL(convert_ycc444_quad_avx2, 444, ORDER_QUAD)
VANTOREL_AVX2_KERNEL(convert_ycc422_rgb_avx2, 422, ORDER_RGB)
VANTOREL_AVX2_KERNEL(convert_ycc422_bgr_avx2, 422, ORDER_BGR)
VANTOREL_AVX2_KERNEL(convert_ycc422_quad_avx2, 422, ORDER_QUAD)
VANTOREL_AVX2_KERNEL(convert_ycc420_rgb_avx2, 420, ORDER_RGB)
VANTOREL_AVX2_KERNEL(convert_ycc420_bgr_avx2, 420, ORDER_BGR)
VANTOREL_AVX2_KERNEL(convert_ycc420_quad_avx2, 420, ORDER_QUAD)

#undef VANTOREL_AVX2_KERNEL
#undef VANTOREL_AVX2_ENTRY

}  // namespace vantorel::x86

#if defined(__clang__)
#pragma clang attribute pop
#endif
#pragma GCC pop_options

#endif

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

#pragma GCC push_options
#pragma GCC target("sse2")

namespace vantorel::x86 {

namespace {

#include "codec/decoder/x86/kernel_parts.inc"

struct Squeeze {
// Four 32-bit pixels (three bytes and a zero) into the low 12 bytes.
static __m128i squeeze(__m128i p) {
    const __m128i low24 = _mm_set_epi32(0, 0x00FFFFFF, 0, 0x00FFFFFF);
    const __m128i high24 = _mm_set_epi32(0x0000FFFF, static_cast<int>(0xFF000000u), 0x0000FFFF,
                                         static_cast<int>(0xFF000000u));
    // Each 64-bit half holds two pixels: close the gap between them.
    const __m128i halves = _mm_or_si128(_mm_and_si128(p, low24), _mm_and_si128(_mm_srli_epi64(p, 8), high24));
    return _mm_or_si128(_mm_move_epi64(halves), _mm_slli_si128(_mm_srli_si128(halves, 8), 6));
}

static Bytes48 bytes(__m128i first, __m128i second, __m128i third) {
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

};

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
        kernel_##layout<order, Squeeze>(y, cb, cr, dest, stride);                                                    \
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

#pragma GCC pop_options

#endif

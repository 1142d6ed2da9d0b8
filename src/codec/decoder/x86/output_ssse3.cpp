// The three-byte output kernels again, for processors with the byte shuffle
// (CPUID leaf 1, ECX bit 9): each of the three output registers of sixteen
// pixels is gathered from the three colour registers by one shuffle each, in
// place of the shifts and masks the 128-bit baseline needs. Colour arithmetic and
// bytes are those of the baseline kernels (kernel_parts.inc).
#include "codec/decoder/x86/x86_stages.h"

#if VANTOREL_X86_BODIES
#include <emmintrin.h>
#include <tmmintrin.h>

#pragma GCC push_options
#pragma GCC target("ssse3")
// clang ignores the GCC pragma; its own form gives every function here the
// same instruction set.
#if defined(__clang__)
#pragma clang attribute push(__attribute__((target("ssse3"))), apply_to = function)
#endif

namespace vantorel::x86 {

namespace {

#include "codec/decoder/x86/kernel_parts.inc"

// Shuffle controls: output register q, source register s. Byte i of register q
// is byte 16 q + i of the 48, that is channel (16 q + i) % 3 of pixel
// (16 q + i) / 3; it comes from source s when that channel is s, else it is
// cleared (control byte 0x80).
struct ShuffleControls {
    alignas(16) uint8_t bytes[3][3][16];
    constexpr ShuffleControls() : bytes{} {
        for (int q = 0; q < 3; ++q)
            for (int s = 0; s < 3; ++s)
                for (int i = 0; i < 16; ++i) {
                    const int j = 16 * q + i;
                    bytes[q][s][i] = static_cast<uint8_t>(j % 3 == s ? j / 3 : 0x80);
                }
    }
};
constexpr ShuffleControls kControls;

struct Shuffle {
    static __m128i gather(int q, __m128i first, __m128i second, __m128i third) {
        const auto control = [q](int s) {
            return _mm_load_si128(reinterpret_cast<const __m128i*>(kControls.bytes[q][s]));
        };
        return _mm_or_si128(_mm_or_si128(_mm_shuffle_epi8(first, control(0)), _mm_shuffle_epi8(second, control(1))),
                            _mm_shuffle_epi8(third, control(2)));
    }
    static Bytes48 bytes(__m128i first, __m128i second, __m128i third) {
        Bytes48 out;
        out.a = gather(0, first, second, third);
        out.b = gather(1, first, second, third);
        out.c = gather(2, first, second, third);
        return out;
    }
};

}  // namespace

#if defined(__i386__)
#define VANTOREL_SSSE3_ENTRY __attribute__((force_align_arg_pointer))
#else
#define VANTOREL_SSSE3_ENTRY
#endif

#define VANTOREL_SSSE3_KERNEL(name, layout, order)                                                         \
    VANTOREL_SSSE3_ENTRY void name(const int16_t* y, const int16_t* cb, const int16_t* cr, uint8_t* dest, \
                                   intptr_t stride) {                                                     \
        kernel_##layout<order, Shuffle>(y, cb, cr, dest, stride);                                         \
    }

VANTOREL_SSSE3_KERNEL(convert_ycc444_rgb_ssse3, 444, ORDER_RGB)
VANTOREL_SSSE3_KERNEL(convert_ycc444_bgr_ssse3, 444, ORDER_BGR)
VANTOREL_SSSE3_KERNEL(convert_ycc422_rgb_ssse3, 422, ORDER_RGB)
VANTOREL_SSSE3_KERNEL(convert_ycc422_bgr_ssse3, 422, ORDER_BGR)
VANTOREL_SSSE3_KERNEL(convert_ycc420_rgb_ssse3, 420, ORDER_RGB)
VANTOREL_SSSE3_KERNEL(convert_ycc420_bgr_ssse3, 420, ORDER_BGR)

// Grey samples into three equal bytes: the low byte of each sample, picked
// three times over by two shuffles per row (the first sixteen bytes of the
// row's 24, then the last eight).
VANTOREL_SSSE3_ENTRY void spread_gray_ssse3(const int16_t* samples, uint8_t* dest, intptr_t stride) {
    const __m128i first = _mm_setr_epi8(0, 0, 0, 2, 2, 2, 4, 4, 4, 6, 6, 6, 8, 8, 8, 10);
    const __m128i last = _mm_setr_epi8(10, 10, 12, 12, 12, 14, 14, 14, -1, -1, -1, -1, -1, -1, -1, -1);
    for (int32_t y = 0; y < 8; ++y) {
        const __m128i row = _mm_loadu_si128(reinterpret_cast<const __m128i*>(samples + 8 * y));
        uint8_t* line = reinterpret_cast<uint8_t*>(reinterpret_cast<uintptr_t>(dest) +
                                                   static_cast<uintptr_t>(static_cast<intptr_t>(y) * stride));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(line), _mm_shuffle_epi8(row, first));
        _mm_storel_epi64(reinterpret_cast<__m128i*>(line + 16), _mm_shuffle_epi8(row, last));
    }
}

#undef VANTOREL_SSSE3_KERNEL
#undef VANTOREL_SSSE3_ENTRY

}  // namespace vantorel::x86

#if defined(__clang__)
#pragma clang attribute pop
#endif
#pragma GCC pop_options

#endif

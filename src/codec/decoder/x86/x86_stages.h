// Processor-specific bodies of the stage table's per-block and per-MCU words.
// Each body is compiled for its instruction set with a function attribute, so
// the rest of the library keeps the baseline flags; the table fill installs a
// body only after checking that the processor has the instructions it uses.
#pragma once

#include <cstdint>

#include "codec/jpeg_record.h"

#if defined(__i386__) || defined(__x86_64__)
#define VANTOREL_X86_BODIES 1
#define VANTOREL_SSE2 __attribute__((target("sse2")))
// The routines the table calls. A 32-bit caller may hand over a stack aligned
// to 4 bytes only, while register spills of 128-bit values need 16: those
// routines realign their frame on entry.
#if defined(__i386__)
#define VANTOREL_SSE2_ENTRY __attribute__((target("sse2"), force_align_arg_pointer))
#else
#define VANTOREL_SSE2_ENTRY VANTOREL_SSE2
#endif
#else
#define VANTOREL_X86_BODIES 0
#endif

namespace vantorel::x86 {

// One whole, wholly visible MCU of Y 2xV, Cb 1x1, Cr 1x1 for the triangle-filter
// writer: the 2V luma blocks in raster order and, for each chroma component,
// its block ([1][1]) with the neighbouring blocks around it, null where there is
// none (the filter then repeats the block's own edge samples).
enum SMOOTH_FORMAT : int32_t { SMOOTH_RGB, SMOOTH_BGR, SMOOTH_QUAD };  // quad: R, G, B, 255
struct SMOOTHED_MCU {
    const int16_t* luma;
    const int16_t* cb[3][3];
    const int16_t* cr[3][3];
    int32_t v;  // 1 or 2
    SMOOTH_FORMAT format;
    uint8_t* out;  // pixel (0, 0) of the MCU
    intptr_t stride;
};

#if VANTOREL_X86_BODIES
// 8x8 inverse transform of the direct family with packed 16-bit rows. The row
// results are saturated to 16 bits before the column pass; within that range
// the samples equal the generic routine's.
void idct_direct_8x8_sse2(int16_t* block);
// The same transform with the 32-bit multiply of CPUID leaf 1, ECX bit 19.
void idct_direct_8x8_sse41(int16_t* block);
// coefficient x step, low 16 bits, eight at a time: the generic results.
void dequantize_direct_sse2(int16_t* block, const QUANT_VALUE* values);
// The same with the unsigned 32-bit pack of CPUID leaf 1, ECX bit 19.
void dequantize_direct_sse41(int16_t* block, const QUANT_VALUE* values);

// The 8x8 transform of the scaled family with the rounding high-half multiply
// of CPUID leaf 1, ECX bit 9, in 16-bit lanes with saturating additions: the
// generic samples wherever the generic sums fit 16 bits (all picture blocks).
void idct_scaled_8x8_ssse3(int16_t* block);

// The 8x8 transform on 256-bit registers, with the results of the SSE4.1 body
// for every input. Only where avx2_reported() holds for this processor and
// system.
void idct_direct_8x8_avx2(int16_t* block);

// Dequantisation of the direct family on 256-bit registers, with the generic
// results. Only where avx2_reported() holds.
void dequantize_direct_avx2(int16_t* block, const QUANT_VALUE* values);

// Whether the 256-bit integer instructions may run, from what the processor and
// the system report: CPUID leaf 1 ECX bits 27 (the system has enabled XGETBV)
// and 28 (256-bit registers), XCR0 bits 1 and 2 (the system saves the 128-bit
// state and the upper halves, so a task switch cannot lose them), and CPUID
// leaf 7 subleaf 0 EBX bit 5 (the integer instructions). xcr0 must be 0 when it
// could not be read.
constexpr bool avx2_reported(uint32_t leaf1_ecx, uint64_t xcr0, uint32_t leaf7_ebx) {
    const uint32_t xsave_and_avx = (1u << 27) | (1u << 28);
    return (leaf1_ecx & xsave_and_avx) == xsave_and_avx && (xcr0 & 6u) == 6u && ((leaf7_ebx >> 5) & 1u) != 0;
}

// Output kernels, eight or sixteen pixels per step, with the generic kernels'
// colour arithmetic and bytes.
void copy_gray_sse2(const int16_t* samples, uint8_t* dest, intptr_t stride);
void convert_ycc444_rgb_sse2(const int16_t* y, const int16_t* cb, const int16_t* cr, uint8_t* dest, intptr_t stride);
void convert_ycc444_bgr_sse2(const int16_t* y, const int16_t* cb, const int16_t* cr, uint8_t* dest, intptr_t stride);
void convert_ycc422_rgb_sse2(const int16_t* y, const int16_t* cb, const int16_t* cr, uint8_t* dest, intptr_t stride);
void convert_ycc422_bgr_sse2(const int16_t* y, const int16_t* cb, const int16_t* cr, uint8_t* dest, intptr_t stride);
void convert_ycc420_rgb_sse2(const int16_t* y, const int16_t* cb, const int16_t* cr, uint8_t* dest, intptr_t stride);
void convert_ycc420_bgr_sse2(const int16_t* y, const int16_t* cb, const int16_t* cr, uint8_t* dest, intptr_t stride);
// The same three-byte kernels with the byte shuffle of the third vector
// extension (CPUID leaf 1, ECX bit 9) for spreading bytes into pixels.
void convert_ycc444_rgb_ssse3(const int16_t* y, const int16_t* cb, const int16_t* cr, uint8_t* dest, intptr_t stride);
void convert_ycc444_bgr_ssse3(const int16_t* y, const int16_t* cb, const int16_t* cr, uint8_t* dest, intptr_t stride);
void convert_ycc422_rgb_ssse3(const int16_t* y, const int16_t* cb, const int16_t* cr, uint8_t* dest, intptr_t stride);
void convert_ycc422_bgr_ssse3(const int16_t* y, const int16_t* cb, const int16_t* cr, uint8_t* dest, intptr_t stride);
void convert_ycc420_rgb_ssse3(const int16_t* y, const int16_t* cb, const int16_t* cr, uint8_t* dest, intptr_t stride);
void convert_ycc420_bgr_ssse3(const int16_t* y, const int16_t* cb, const int16_t* cr, uint8_t* dest, intptr_t stride);
// Grey into three equal bytes per pixel (kernel_spread_gray's bytes).
void spread_gray_ssse3(const int16_t* samples, uint8_t* dest, intptr_t stride);
void convert_ycc444_quad_sse2(const int16_t* y, const int16_t* cb, const int16_t* cr, uint8_t* dest, intptr_t stride);
void convert_ycc422_quad_sse2(const int16_t* y, const int16_t* cb, const int16_t* cr, uint8_t* dest, intptr_t stride);
void convert_ycc420_quad_sse2(const int16_t* y, const int16_t* cb, const int16_t* cr, uint8_t* dest, intptr_t stride);
// The nine packed kernels on 256-bit registers, with the bytes of the shuffle
// bodies (three-byte pixels) and of the 128-bit quad bodies for every sample.
// Only where avx2_reported() holds; the three-byte ones also only where the
// shuffle bodies are allowed.
void convert_ycc444_rgb_avx2(const int16_t* y, const int16_t* cb, const int16_t* cr, uint8_t* dest, intptr_t stride);
void convert_ycc422_rgb_avx2(const int16_t* y, const int16_t* cb, const int16_t* cr, uint8_t* dest, intptr_t stride);
void convert_ycc420_rgb_avx2(const int16_t* y, const int16_t* cb, const int16_t* cr, uint8_t* dest, intptr_t stride);
void convert_ycc444_bgr_avx2(const int16_t* y, const int16_t* cb, const int16_t* cr, uint8_t* dest, intptr_t stride);
void convert_ycc422_bgr_avx2(const int16_t* y, const int16_t* cb, const int16_t* cr, uint8_t* dest, intptr_t stride);
void convert_ycc420_bgr_avx2(const int16_t* y, const int16_t* cb, const int16_t* cr, uint8_t* dest, intptr_t stride);
void convert_ycc444_quad_avx2(const int16_t* y, const int16_t* cb, const int16_t* cr, uint8_t* dest, intptr_t stride);
void convert_ycc422_quad_avx2(const int16_t* y, const int16_t* cb, const int16_t* cr, uint8_t* dest, intptr_t stride);
void convert_ycc420_quad_avx2(const int16_t* y, const int16_t* cb, const int16_t* cr, uint8_t* dest, intptr_t stride);

// The generic writer's bytes, with the byte shuffle of CPUID leaf 1, ECX bit 9.
// Installed with the other shuffle bodies; write_smoothed_mcu calls it when the
// record's stage table holds them.
void write_smoothed_ssse3(const SMOOTHED_MCU& mcu);
// The same bytes two rows at a time on 256-bit registers; where the table holds
// the 256-bit transform (avx2_reported) besides the shuffle bodies.
void write_smoothed_avx2(const SMOOTHED_MCU& mcu);
#endif

}  // namespace vantorel::x86

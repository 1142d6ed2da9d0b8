// The stage table fill: the generic routine of every word, or a processor
// variant's body where one exists. Words set per scan (17-21, 24, 40) start empty;
// 65 and 68 start as copies of 63 and 66.
#include "codec/codec.h"
#include "codec/decoder/decoder.h"
#include "codec/decoder/x86/x86_stages.h"
#include "platform/processor.h"

namespace vantorel {

namespace {

void finish_nothing() {}

// The write side has no routines in this library; its words hold this one so
// that no word is ever called empty.
void write_side_unavailable() {}

void fill_generic(STAGE_TABLE* t) {
    t->finish_request = &finish_nothing;
    t->encode_fdct_a = &write_side_unavailable;
    t->encode_fdct_b = &write_side_unavailable;
    t->idct_scaled_8x8 = &idct_scaled_8x8;
    t->idct_scaled_4x4 = &idct_scaled_4x4;
    t->idct_scaled_2x2 = &idct_scaled_2x2;
    t->idct_scaled_1x1 = &idct_scaled_1x1;
    t->idct_direct_8x8 = &idct_direct_8x8;
    t->idct_direct_4x4 = &idct_direct_4x4;
    t->idct_direct_2x2 = &idct_direct_2x2;
    t->idct_direct_1x1 = &idct_direct_1x1;
    t->active_fdct = nullptr;
    t->active_idct_8x8 = nullptr;
    t->active_idct_4x4 = nullptr;
    t->active_idct_2x2 = nullptr;
    t->active_idct_1x1 = nullptr;
    t->encoder_stage_22 = &write_side_unavailable;
    t->encoder_stage_23 = &write_side_unavailable;
    t->active_input_conversion = nullptr;
    t->encoder_stage_25 = &write_side_unavailable;
    for (auto& w : t->encoder_convert) w = &write_side_unavailable;
    t->active_output_driver = nullptr;
    t->output_kernel_41 = &kernel_copy_gray;
    t->output_kernel_42 = &kernel_convert_ycc444_rgb;
    t->output_kernel_43 = &kernel_convert_ycc422_rgb;
    t->output_kernel_44 = &kernel_convert_ycc420_rgb;
    t->output_kernel_45 = &kernel_convert_ycc444_bgr;
    t->output_kernel_46 = &kernel_convert_ycc422_bgr;
    t->output_kernel_47 = &kernel_convert_ycc420_bgr;
    t->output_kernel_48 = &kernel_convert_ycc444_quad;
    t->output_kernel_49 = &kernel_convert_ycc422_quad;
    t->output_kernel_50 = &kernel_convert_ycc420_quad;
    t->output_kernel_51 = &kernel_copy_444;
    t->output_kernel_52 = &kernel_copy_422;
    t->output_kernel_53 = &kernel_copy_420;
    t->output_kernel_54 = &kernel_copy_444_quad;
    t->output_kernel_55 = &kernel_pack_ycc422;
    t->output_kernel_56 = &kernel_convert_ycca444_quad;
    t->output_kernel_57 = &kernel_convert_ycca422_quad;
    t->output_kernel_58 = &kernel_convert_ycca420_quad;
    t->output_kernel_59 = &kernel_copy_4444_quad;
    t->encode_block = &write_side_unavailable;
    t->decode_block = &decode_block;
    t->decode_block_dc_only = &decode_block_dc_only;
    t->quantize_a = &write_side_unavailable;
    t->quantize_b = &write_side_unavailable;
    t->active_quantize = t->quantize_a;
    t->dequantize_scaled = &dequantize_scaled;
    t->dequantize_direct = &dequantize_direct;
    t->active_dequantize = t->dequantize_scaled;
}

#if VANTOREL_X86_BODIES
// CPUID leaf 1 ECX, which the processor description does not keep; asked once
// per process. Bit 9: the byte shuffle; bit 19: the 32-bit packed multiply.
uint32_t leaf1_ecx() {
    static const uint32_t ecx = [] {
        uint32_t regs[4];
        return platform::run_cpuid(1, regs) ? regs[2] : 0u;
    }();
    return ecx;
}

// The 256-bit bodies need the processor's instructions and a system that saves
// the upper register halves; asked once per process.
bool avx2_usable() {
    static const bool usable = [] {
        uint64_t xcr0 = 0;
        if (!platform::read_xcr0(&xcr0)) xcr0 = 0;
        uint32_t leaf7[4];
        if (!platform::run_cpuid_subleaf(7, 0, leaf7)) leaf7[1] = 0;
        return x86::avx2_reported(leaf1_ecx(), xcr0, leaf7[1]);
    }();
    return usable;
}
#endif

// Variant fills A-D. Whatever the variant index says (it can be forced), a body
// is stored only when the processor reports the instructions it uses; other
// words keep the generic routine. The 256-bit bodies clear the upper register
// halves before they return (the compiler ends them with vzeroupper), so no body
// leaves state behind and finish_request stays the do-nothing routine.
void fill_variant(STAGE_TABLE* t, int32_t variant) {
    fill_generic(t);
    (void)variant;
    // The block decoders with the accumulator at the top of a 64-bit register:
    // plain integer instructions, so every variant fill has them.
    t->decode_block = &decode_block_wide;
    t->decode_block_dc_only = &decode_block_dc_only_wide;
#if VANTOREL_X86_BODIES
    // CPUID leaf 1, EDX bit 26: the 128-bit packed-integer instructions.
    const bool sse2 = ((g_processor.feature_flags >> 26) & 1u) != 0;
    if (!sse2) return;
    t->idct_direct_8x8 = &x86::idct_direct_8x8_sse2;
    t->dequantize_direct = &x86::dequantize_direct_sse2;
    t->output_kernel_41 = &x86::copy_gray_sse2;
    t->output_kernel_42 = &x86::convert_ycc444_rgb_sse2;
    t->output_kernel_43 = &x86::convert_ycc422_rgb_sse2;
    t->output_kernel_44 = &x86::convert_ycc420_rgb_sse2;
    t->output_kernel_45 = &x86::convert_ycc444_bgr_sse2;
    t->output_kernel_46 = &x86::convert_ycc422_bgr_sse2;
    t->output_kernel_47 = &x86::convert_ycc420_bgr_sse2;
    t->output_kernel_48 = &x86::convert_ycc444_quad_sse2;
    t->output_kernel_49 = &x86::convert_ycc422_quad_sse2;
    t->output_kernel_50 = &x86::convert_ycc420_quad_sse2;
    if ((leaf1_ecx() >> 19) & 1u) {
        t->idct_direct_8x8 = &x86::idct_direct_8x8_sse41;
        t->dequantize_direct = &x86::dequantize_direct_sse41;
    }
    if (avx2_usable()) {
        t->idct_direct_8x8 = &x86::idct_direct_8x8_avx2;
        t->dequantize_direct = &x86::dequantize_direct_avx2;
    }
    if ((leaf1_ecx() >> 9) & 1u) {
        t->idct_scaled_8x8 = &x86::idct_scaled_8x8_ssse3;
        t->output_kernel_42 = &x86::convert_ycc444_rgb_ssse3;
        t->output_kernel_43 = &x86::convert_ycc422_rgb_ssse3;
        t->output_kernel_44 = &x86::convert_ycc420_rgb_ssse3;
        t->output_kernel_45 = &x86::convert_ycc444_bgr_ssse3;
        t->output_kernel_46 = &x86::convert_ycc422_bgr_ssse3;
        t->output_kernel_47 = &x86::convert_ycc420_bgr_ssse3;
    }
    // The 256-bit output kernels, after the shuffle bodies so that they take
    // those words. Their three-byte pixels are laid out with the same byte
    // shuffle, so those need both.
    if (avx2_usable()) {
        t->output_kernel_48 = &x86::convert_ycc444_quad_avx2;
        t->output_kernel_49 = &x86::convert_ycc422_quad_avx2;
        t->output_kernel_50 = &x86::convert_ycc420_quad_avx2;
        if ((leaf1_ecx() >> 9) & 1u) {
            t->output_kernel_42 = &x86::convert_ycc444_rgb_avx2;
            t->output_kernel_43 = &x86::convert_ycc422_rgb_avx2;
            t->output_kernel_44 = &x86::convert_ycc420_rgb_avx2;
            t->output_kernel_45 = &x86::convert_ycc444_bgr_avx2;
            t->output_kernel_46 = &x86::convert_ycc422_bgr_avx2;
            t->output_kernel_47 = &x86::convert_ycc420_bgr_avx2;
        }
    }
#endif
}

}  // namespace

void fill_stage_table(STAGE_TABLE* table, int32_t variant) {
    // 0, 1, 2 and anything outside 0-6 take the generic fill; 3-6 are A-D.
    if (variant >= 3 && variant <= 6)
        fill_variant(table, variant);
    else
        fill_generic(table);
}

GrayKernel spread_gray_kernel_for(const STAGE_TABLE* table) {
#if VANTOREL_X86_BODIES
    // The shuffle body goes with the packed smoothed writers.
    if (smoothed_writer_for(table) != SMOOTHED_GENERIC) return &x86::spread_gray_ssse3;
#else
    (void)table;
#endif
    return &kernel_spread_gray;
}

SMOOTHED_WRITER smoothed_writer_for(const STAGE_TABLE* table) {
    // Every variant fill, and no generic one, installs the wide block decoders.
    if (table == nullptr || table->decode_block != &decode_block_wide) return SMOOTHED_GENERIC;
#if VANTOREL_X86_BODIES
    const bool sse2 = ((g_processor.feature_flags >> 26) & 1u) != 0;
    if (!sse2 || ((leaf1_ecx() >> 9) & 1u) == 0) return SMOOTHED_GENERIC;
    return avx2_usable() ? SMOOTHED_256 : SMOOTHED_128;
#else
    return SMOOTHED_GENERIC;
#endif
}

}  // namespace vantorel

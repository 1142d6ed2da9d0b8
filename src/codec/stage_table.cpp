// The stage table fill: the generic routine of every word, or a processor
// variant's body where one exists. Words set per scan (17-21, 24, 40) start empty;
// 65 and 68 start as copies of 63 and 66.
#include "codec/codec.h"
#include "codec/decoder/decoder.h"

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

}  // namespace

void fill_stage_table(STAGE_TABLE* table, int32_t variant) {
    fill_generic(table);
    // Variant fills A-D (indices 3-6) replace single words with processor-specific
    // bodies. Until those bodies exist every index uses the generic fill.
    (void)variant;
}

}  // namespace vantorel

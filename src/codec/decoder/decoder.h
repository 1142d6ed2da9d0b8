// The routines the decoder's stages offer one another. Each group is defined in
// the file named above it; a stage reaches the per-block and per-MCU routines of
// another only through the record's STAGE_TABLE.
#pragma once

#include <cstdint>

#include "codec/decoder/x86/x86_stages.h"
#include "codec/jpeg_record.h"

namespace vantorel {

// --- byte_source.cpp -------------------------------------------------------
void reset_byte_source(BYTE_SOURCE* source);
JPEG_STATUS fill_input_buffer(BYTE_SOURCE* source);
JPEG_STATUS take_bytes(BYTE_SOURCE* source, uint32_t count, const uint8_t** out);
// Delivers count contiguous bytes; when they straddle the buffer, *copy receives a
// block the caller frees with codec_free (and *copied is 1).
JPEG_STATUS read_segment_bytes(BYTE_SOURCE* source, uint32_t count, const uint8_t** out,
                               uint8_t** copy, int32_t* copied);
JPEG_STATUS read_be16(BYTE_SOURCE* source, uint32_t* value);
JPEG_STATUS seek_next_marker(BYTE_SOURCE* source);
// *code is 0-255, or 256 when no further byte could be read.
JPEG_STATUS read_next_marker(BYTE_SOURCE* source, int32_t* code);
JPEG_STATUS skip_segment(BYTE_SOURCE* source);
JPEG_STATUS rewind_byte_source(JPEG_PROPERTIES* props);
JPEG_STATUS give_back_input(JPEG_PROPERTIES* props);

// --- markers.cpp -----------------------------------------------------------
JPEG_STATUS decode_stream(JPEG_PROPERTIES* props);
void free_scan_info(SCAN_INFO* scan);

// --- segments.cpp ----------------------------------------------------------
JPEG_STATUS read_dqt(JPEG_PROPERTIES* props, int32_t idct_family);
JPEG_STATUS read_dht(JPEG_PROPERTIES* props);
JPEG_STATUS read_dri(JPEG_PROPERTIES* props, int32_t* interval);
JPEG_STATUS read_sof(JPEG_PROPERTIES* props);
JPEG_STATUS start_scan(JPEG_PROPERTIES* props, SCAN_INFO* scan);
// Turn 64 zig-zag values in table->quant_values into the prepared natural-order form.
void prepare_quant_natural(QUANT_TABLE* table);
void prepare_quant_scaled(QUANT_TABLE* table);

// --- app_segments.cpp ------------------------------------------------------
JPEG_STATUS read_app0(JPEG_PROPERTIES* props);
JPEG_STATUS read_app14(JPEG_PROPERTIES* props);
JPEG_STATUS read_com(JPEG_PROPERTIES* props);

// --- huffman.cpp -----------------------------------------------------------
extern const int32_t natural_order[80];
extern const int32_t extend_offset[16];
JPEG_STATUS build_huff_decode_table(const uint8_t counts[16], const uint8_t* values, uint32_t table_class,
                                    uint32_t table_id, HUFF_DECODE_TABLE* table);
JPEG_STATUS fill_bits(BYTE_SOURCE* source, int32_t need);
JPEG_STATUS decode_huff_symbol(BYTE_SOURCE* source, const HUFF_DECODE_TABLE* table, int32_t* symbol);
// Generic block decoders (stage words 61 and 62).
JPEG_STATUS decode_block(BYTE_SOURCE* source, const HUFF_DECODE_TABLE* dc_table,
                         const HUFF_DECODE_TABLE* ac_table, int16_t* predictor, int16_t* block);
JPEG_STATUS decode_block_dc_only(BYTE_SOURCE* source, const HUFF_DECODE_TABLE* dc_table,
                                 const HUFF_DECODE_TABLE* ac_table, int16_t* predictor, int16_t* block);
// The processor-variant forms (64-bit accumulator with the valid bits at the
// top): the same results, reporting "Error EOF" where a file yields no bytes.
JPEG_STATUS decode_block_wide(BYTE_SOURCE* source, const HUFF_DECODE_TABLE* dc_table,
                              const HUFF_DECODE_TABLE* ac_table, int16_t* predictor, int16_t* block);
JPEG_STATUS decode_block_dc_only_wide(BYTE_SOURCE* source, const HUFF_DECODE_TABLE* dc_table,
                                      const HUFF_DECODE_TABLE* ac_table, int16_t* predictor, int16_t* block);
// A look-up of the next BITS bits that decodes a short AC code together with
// its magnitude bits: the bits both take (0 where the plain steps must run:
// a code longer than 8 bits, or one whose magnitude bits do not fit), the
// run, and the extended value in the top half. A code of no magnitude is
// flagged END (end of block) or SKIP (sixteen zeros). Built per table for a
// scan.
struct JOINED_HUFF_TABLE {
    static constexpr int32_t BITS = 9;
    static constexpr uint32_t TOTAL = 0x1F, END = 0x20, SKIP = 0x40;
    uint32_t entry[1 << BITS];
};
void build_joined_table(const HUFF_DECODE_TABLE* table, JOINED_HUFF_TABLE* out);
// decode_block_wide followed by dequantize_direct with `quant`, in one pass:
// the same coefficients (dequantised), predictor, pending marker and input
// position. On a failed block the coefficients are unspecified.
JPEG_STATUS decode_block_joined(BYTE_SOURCE* source, const HUFF_DECODE_TABLE* dc_table,
                                const HUFF_DECODE_TABLE* ac_table, const JOINED_HUFF_TABLE* ac_joined,
                                const QUANT_VALUE* quant, int16_t* predictor, int16_t* block);

// The next n bits (1-16), most significant first; bits past the end of in-memory
// data read as zeros. The caller has filled first.
inline uint32_t peek_bits(const BYTE_SOURCE* source, int32_t n) {
    int32_t shift = source->bit_count - n;
    if (source->bit_count <= 0) return 0;
    uint64_t bits = shift >= 0 ? (source->bit_acc >> shift) : (source->bit_acc << -shift);
    return static_cast<uint32_t>(bits) & ((1u << n) - 1u);
}
inline uint32_t get_bits(BYTE_SOURCE* source, int32_t n) {
    uint32_t value = peek_bits(source, n);
    source->bit_count -= n;
    return value;
}

// --- sequential.cpp --------------------------------------------------------
JPEG_STATUS decode_scan(BYTE_SOURCE* source, SCAN_INFO* scan, JPEG_PROPERTIES* props);
JPEG_STATUS decode_sequential_scan(BYTE_SOURCE* source, SCAN_INFO* scan, JPEG_PROPERTIES* props,
                                   int32_t scale_factor);
JPEG_STATUS decode_sequential_region(BYTE_SOURCE* source, SCAN_INFO* scan, JPEG_PROPERTIES* props,
                                     int32_t scale_factor);
JPEG_STATUS process_restart(BYTE_SOURCE* source, SCAN_INFO* scan, int32_t mcus_per_row, int32_t mcu_rows,
                            int32_t mcu_col, int32_t mcu_row);
void save_row_entry(int32_t row, BYTE_SOURCE* source, SCAN_INFO* scan, JPEG_PROPERTIES* props);
JPEG_STATUS restore_row_entry(int32_t row, BYTE_SOURCE* source, SCAN_INFO* scan, JPEG_PROPERTIES* props);

// How the scan drivers walk one scan: its components, its MCU grid and the
// frame's, and what becomes of each decoded MCU. Filled (and the scan checked)
// by describe_scan; shared by the sequential and progressive drivers.
struct SCAN_LAYOUT {
    int32_t component_count;         // Ns
    int32_t frame_index[4];          // frame component of each scan component
    int32_t h_samp[4], v_samp[4];    // its sampling factors
    int32_t blocks[4];               // its blocks in one MCU of this scan
    int32_t mcu_blocks;              // blocks in one MCU of this scan
    int32_t mcus_per_row, mcu_rows;  // this scan's MCU grid (one block per MCU when Ns = 1)
    int32_t frame_mcus_per_row, frame_mcu_rows;
    int32_t frame_mcu_blocks;        // blocks in one MCU of the whole frame
    int32_t frame_block_offset[4];   // first block of each frame component in a frame MCU
    int32_t max_h, max_v;
    int32_t width, height;
    int32_t scale_factor;
    int32_t simple_sampling, lag_h, lag_v;
    int32_t coefficient_mode;        // quantised blocks go to the caller's planes, no output step
    int32_t output_step;             // decoded MCUs go through output_mcu
};
JPEG_STATUS describe_scan(const SCAN_INFO* scan, const JPEG_PROPERTIES* props, int32_t scale_factor,
                          SCAN_LAYOUT* layout);
// Copies one 8x8 block into the caller's plane of a frame component.
void store_block_in_plane(const JPEG_PROPERTIES* props, const SCAN_LAYOUT* layout, int32_t frame_index,
                          int32_t block_col, int32_t block_row, const int16_t* block);
// The interrupt check after an output call for (col, row) in a grid of
// mcus_per_row x mcu_rows: -1 to go on, else the status the driver returns.
JPEG_STATUS check_interrupt(JPEG_PROPERTIES* props, SCAN_INFO* scan, int32_t mcu_col, int32_t mcu_row,
                            int32_t mcus_per_row, int32_t mcu_rows, int32_t lag_h, int32_t lag_v);
// The caller's region in MCUs of mcu_w x mcu_h output pixels, widened for the
// output lag and clamped to the grid (left <= right, top <= bottom).
void region_in_mcus(const JPEG_PROPERTIES* props, int32_t mcu_w, int32_t mcu_h, int32_t mcus_per_row,
                    int32_t mcu_rows, int32_t lag_h, int32_t lag_v, int32_t* left, int32_t* top,
                    int32_t* right, int32_t* bottom);

// --- progressive.cpp -------------------------------------------------------
JPEG_STATUS decode_dc_first(BYTE_SOURCE* source, const HUFF_DECODE_TABLE* dc_table, int16_t* block,
                            int16_t* predictor, int32_t al);
JPEG_STATUS decode_dc_refine(BYTE_SOURCE* source, int16_t* block, int32_t al);
JPEG_STATUS decode_ac_first(BYTE_SOURCE* source, int16_t* block, const HUFF_DECODE_TABLE* ac_table,
                            int32_t ss, int32_t se, int32_t al);
JPEG_STATUS decode_ac_refine(BYTE_SOURCE* source, int16_t* block, const HUFF_DECODE_TABLE* ac_table,
                             int32_t ss, int32_t se, int32_t al);
JPEG_STATUS decode_progressive_scan(BYTE_SOURCE* source, SCAN_INFO* scan, JPEG_PROPERTIES* props,
                                    int32_t scale_factor);
JPEG_STATUS decode_progressive_region(BYTE_SOURCE* source, SCAN_INFO* scan, JPEG_PROPERTIES* props,
                                      int32_t scale_factor);

// --- output_driver.cpp -----------------------------------------------------
void output_mcu(JPEG_PROPERTIES* props, BYTE_SOURCE* source, SCAN_INFO* scan, int32_t mcu_col,
                int32_t mcu_row, int32_t blocks, int16_t* mcu_buffer, int32_t mcus_per_row,
                int32_t mcu_rows, int32_t scale_factor, int32_t simple_sampling);
// One component of an MCU as it lies in mcu_buffer: its frame component, its
// sampling factors and its run of blocks.
struct MCU_COMPONENT {
    int32_t frame_index;
    int32_t h_samp, v_samp;
    int32_t first_block, block_count;
};
// The components of the current MCU: the frame's (progressive MCUs) or the scan's
// (sequential ones; a one-component scan has one block). Returns their number, or
// 0 when the sampling factors are out of range or the blocks exceed MAX_MCU_BLOCKS.
int32_t describe_mcu_components(const JPEG_PROPERTIES* props, const SCAN_INFO* scan, bool frame_components,
                                MCU_COMPONENT out[4]);
// Slot `slot` of smoothing-ring buffer `buffer` (one frame MCU of samples), or null
// when there is no ring or the slot does not lie wholly inside it.
int16_t* smooth_ring_slot(const JPEG_PROPERTIES* props, int32_t buffer, int32_t slot);
// The ring's geometry worked out once for many look-ups: slot s of buffer b starts
// at buffers[b] + s * slot_values and lies wholly inside its buffer for 0 <= s <
// slots, exactly the slots smooth_ring_slot hands out. False (and no slots) when
// smooth_ring_slot would give null for every slot.
struct SMOOTH_RING_VIEW {
    int16_t* buffers[4];
    int64_t slot_values;
    int64_t slots;
};
bool view_smooth_ring(const JPEG_PROPERTIES* props, SMOOTH_RING_VIEW* view);
// The ring's one data block starts at the lowest of its four buffer pointers
// (the row rotation permutes them); 0 for no block.
inline uintptr_t ring_block_start(const SMOOTH_RING* ring) {
    uintptr_t lowest = reinterpret_cast<uintptr_t>(ring->buffers[0]);
    for (int32_t i = 1; i < 4; ++i) {
        const uintptr_t p = reinterpret_cast<uintptr_t>(ring->buffers[i]);
        if (p < lowest) lowest = p;
    }
    return lowest;
}
inline int16_t* ring_view_slot(const SMOOTH_RING_VIEW& view, int32_t buffer, int32_t slot) {
    if (buffer < 0 || buffer > 3 || slot < 0 || slot >= view.slots) return nullptr;
    return view.buffers[buffer] + static_cast<int64_t>(slot) * view.slot_values;
}
// output_members.cpp:
// The kernel an installed member hands a whole MCU to (its own entry routine
// being the active output driver), with the MCU's size in pixels, the pixel
// size the member requires and the luma blocks before the first chroma block:
// exactly one of the three kernels is set. False for any other driver.
struct MEMBER_KERNEL {
    Kernel3 three;
    Kernel4 four;
    GrayKernel gray;
    int32_t width, height;
    int32_t bytes_per_pixel;
    int32_t luma_blocks;
};
bool member_kernel(const JPEG_PROPERTIES* props, MEMBER_KERNEL* out);
// reduced_output.cpp:
// The routine write_scaled_mcu hands a wholly visible MCU of block size
// `block_size` to, where it has one for the record's frame, scan and pixel
// layout, with the MCU's size in pixels, the pixel size and where the
// components start in the MCU buffer. False where it has none.
using ReducedWholeRoutine = void (*)(const int16_t* luma, const int16_t* cb, const int16_t* cr, uint8_t* out,
                                     intptr_t stride);
struct REDUCED_WHOLE_WRITER {
    ReducedWholeRoutine routine;
    int32_t width, height;
    int32_t bytes_per_pixel;
    int32_t luma, cb, cr;
};
bool reduced_whole_writer(const JPEG_PROPERTIES* props, const SCAN_INFO* scan, int32_t block_size,
                          int32_t simple_sampling, REDUCED_WHOLE_WRITER* out);
// smooth_output.cpp:
// A writer of one whole MCU with its neighbours found (generic or packed body).
using SmoothedMcuWriter = void (*)(const x86::SMOOTHED_MCU& mcu);
// The output step of a sequential scan over the whole image, settled once for
// the scan in three common cases:
// - full scale, no smoothing, one of the fixed members installed: a wholly
//   visible MCU goes straight to the member's kernel;
// - full scale, the triangle filter over Y 2x2 or 2x1 with Cb and Cr 1x1
//   through the general member: an MCU inside the image goes into the ring,
//   and its delayed neighbour out to the smoothed writer, with the neighbours
//   read straight from the ring;
// - 1/2, 1/4 and 1/8 scale, no smoothing, a layout the reduced writers have a
//   whole-MCU routine for: each block gets its reduced transform and a wholly
//   visible MCU goes straight to that routine.
// Every other MCU goes through output_mcu. Either way the DIB, the ring and
// the MCU buffer are left as output_mcu leaves them.
enum OUTPUT_PLAN_KIND { PLAN_KERNEL, PLAN_SMOOTHED, PLAN_REDUCED };
struct OUTPUT_PLAN {
    OUTPUT_PLAN_KIND kind;
    JPEG_PROPERTIES* props;
    BYTE_SOURCE* source;
    SCAN_INFO* scan;
    int16_t* mcu;
    IdctRoutine idct;
    int32_t blocks;
    int32_t mcus_per_row, mcu_rows;
    int32_t simple_sampling;
    int32_t whole_cols, whole_rows;     // MCUs lying wholly inside the DIB, from the top left
    uintptr_t column_bytes, row_bytes;  // DIB address steps of one MCU column and row
    intptr_t stride;
    MEMBER_KERNEL kernel;      // PLAN_KERNEL
    REDUCED_WHOLE_WRITER reduced;  // PLAN_REDUCED, with each block's transform
    IdctRoutine block_idct[MAX_MCU_BLOCKS];
    int32_t block_size;
    SmoothedMcuWriter writer;  // PLAN_SMOOTHED, with the record's fixed fields (v, format, stride)
    x86::SMOOTHED_MCU fixed;
    int64_t slot_values;
};
// False when the scan is in neither case; every MCU then takes output_mcu.
bool plan_output(JPEG_PROPERTIES* props, BYTE_SOURCE* source, SCAN_INFO* scan, const SCAN_LAYOUT& layout,
                 OUTPUT_PLAN* plan);
// Where MCU (col, row) of a planned scan is best decoded: straight into the
// ring slot the step would copy it to, or else the MCU buffer.
int16_t* planned_destination(const OUTPUT_PLAN& plan, int32_t col, int32_t row);
// output_mcu for MCU (col, row) of a planned scan (col and row inside the grid),
// decoded at `decoded`: planned_destination's answer, or the MCU buffer.
void output_planned_mcu(const OUTPUT_PLAN& plan, int32_t col, int32_t row, int16_t* decoded);

// reduced_output.cpp: the writers of write_scaled_mcu.

void write_mcu_direct(JPEG_PROPERTIES* props, BYTE_SOURCE* source, int32_t mcu_col, int32_t mcu_row,
                      int32_t block_size);
void write_reduced_sequential(JPEG_PROPERTIES* props, BYTE_SOURCE* source, SCAN_INFO* scan, int32_t mcu_col,
                              int32_t mcu_row, int32_t block_size, int32_t simple_sampling);
void write_reduced_progressive(JPEG_PROPERTIES* props, BYTE_SOURCE* source, int32_t mcu_col, int32_t mcu_row,
                               int32_t block_size, int32_t simple_sampling);
void convert_reduced_mcu(JPEG_PROPERTIES* props, BYTE_SOURCE* source, int32_t mcu_col, int32_t mcu_row,
                         int32_t block_size);
// placement.cpp
JPEG_STATUS place_mcu(const MCU_RECT* region, int32_t mcu_w, int32_t mcu_h, int32_t mcu_col,
                      int32_t mcu_row, int32_t bytes_per_pixel, intptr_t stride, uint8_t* pixels,
                      int32_t dib_width, int32_t dib_height, uint8_t** out_ptr, MCU_RECT* visible);
// The common case of place_mcu, worked out in line: with no region set and the
// whole MCU inside the DIB, the address place_mcu would give for it (its
// visible rectangle then being the whole MCU); null in every other case, which
// the caller leaves to place_mcu.
inline uint8_t* whole_mcu_address(const JPEG_PROPERTIES* props, int32_t mcu_w, int32_t mcu_h, int32_t mcu_col,
                                  int32_t mcu_row, int32_t bytes_per_pixel) {
    if (props->roi_left != 0 || props->roi_top != 0 || props->roi_right != 0 || props->roi_bottom != 0) return nullptr;
    if (props->output_start == nullptr || mcu_col < 0 || mcu_row < 0 || mcu_w <= 0 || mcu_h <= 0) return nullptr;
    const int64_t x = static_cast<int64_t>(mcu_col) * mcu_w;
    const int64_t y = static_cast<int64_t>(mcu_row) * mcu_h;
    const int64_t rows = props->dib_height < 0 ? -static_cast<int64_t>(props->dib_height) : props->dib_height;
    if (x + mcu_w > props->dib_width || y + mcu_h > rows) return nullptr;
    return reinterpret_cast<uint8_t*>(reinterpret_cast<uintptr_t>(props->output_start) +
                                      static_cast<uintptr_t>(x) * static_cast<uintptr_t>(bytes_per_pixel) +
                                      static_cast<uintptr_t>(y) * static_cast<uintptr_t>(props->dib_stride));
}
MCU_RECT intersect_rect(const MCU_RECT& a, const MCU_RECT& b);
inline bool rects_equal(const MCU_RECT& a, const MCU_RECT& b) {
    return a.left == b.left && a.top == b.top && a.right == b.right && a.bottom == b.bottom;
}
bool rects_differ(const MCU_RECT& a, const MCU_RECT& b);
MCU_RECT offset_rect(const MCU_RECT& rect, int32_t x, int32_t y);
void write_scaled_mcu(JPEG_PROPERTIES* props, BYTE_SOURCE* source, SCAN_INFO* scan, int32_t mcu_col,
                      int32_t mcu_row, int32_t block_size, int32_t simple_sampling);

// --- dequantize.cpp, idct_direct.cpp, idct_scaled.cpp ----------------------
void dequantize_direct(int16_t* block, const QUANT_VALUE* values);
void dequantize_scaled(int16_t* block, const QUANT_VALUE* values);
void idct_direct_8x8(int16_t* block);
void idct_direct_4x4(int16_t* block);
void idct_direct_2x2(int16_t* block);
void idct_direct_1x1(int16_t* block);
void idct_scaled_8x8(int16_t* block);
void idct_scaled_4x4(int16_t* block);
void idct_scaled_2x2(int16_t* block);
void idct_scaled_1x1(int16_t* block);

// --- colour.cpp ------------------------------------------------------------
JPEG_STATUS convert_general(JPEG_PROPERTIES* props, int32_t mcu_col, int32_t mcu_row);
JPEG_STATUS output_sequential_general(JPEG_PROPERTIES* props, int32_t mcu_col, int32_t mcu_row);
JPEG_STATUS output_progressive_general(JPEG_PROPERTIES* props, int32_t mcu_col, int32_t mcu_row);
JPEG_STATUS convert_in_place(JPEG_PROPERTIES* props, int32_t mcu_col, int32_t mcu_row);
JPEG_STATUS output_ycc_scan(JPEG_PROPERTIES* props, int32_t mcu_col, int32_t mcu_row);
JPEG_STATUS copy_general(JPEG_PROPERTIES* props, int32_t mcu_col, int32_t mcu_row);
// Grey into three equal bytes per pixel; cut MCUs go to copy_general.
JPEG_STATUS spread_gray(JPEG_PROPERTIES* props, int32_t mcu_col, int32_t mcu_row);
void apply_deferred_color_conversion(JPEG_PROPERTIES* props);
// Stores one component plane (32 bytes per row) into DIB channel `channel`, whose
// byte within the pixel is `channel_byte`, for the pixels of `clip`.
void write_component_plane(const JPEG_PROPERTIES* props, int32_t channel, int32_t channel_byte,
                           const uint8_t* plane, const MCU_RECT& clip, uint8_t* mcu_out);

// --- smooth_output.cpp -----------------------------------------------------
// Writes a whole MCU of a three-component Y/Cb/Cr frame sampled 2x2 or 2x1 (chroma
// 1x1) with the triangle filter and the in-place colour conversion into RGB, BGR
// or four-byte quad pixels, giving the bytes convert_general would. Returns false,
// having written nothing, for any other layout and for an MCU cut by the DIB or
// the region; convert_general then takes it.
bool write_smoothed_mcu(JPEG_PROPERTIES* props, int32_t mcu_col, int32_t mcu_row);
// The same for an MCU held elsewhere than the MCU buffer (a smoothing ring slot),
// with the ring's view when the caller has just taken it (null: taken here).
bool write_smoothed_mcu_from(JPEG_PROPERTIES* props, int32_t mcu_col, int32_t mcu_row, const int16_t* mcu,
                             const SMOOTH_RING_VIEW* ring_view);
// What write_smoothed_mcu_from settles before it looks at any one MCU: the
// writer for the record's frame, scan, pixel layout and stage table, with
// `fixed`'s v, format and stride filled in; null where it writes nothing.
SmoothedMcuWriter smoothed_writer_setup(const JPEG_PROPERTIES* props, x86::SMOOTHED_MCU* fixed);

// --- output_select.cpp, output_members.cpp ---------------------------------
JPEG_STATUS select_output_routines(JPEG_PROPERTIES* props);
// Entry routines of the fixed members (installed as the active output driver).
JPEG_STATUS convert_ycc444_rgb(JPEG_PROPERTIES* props, int32_t mcu_col, int32_t mcu_row);
JPEG_STATUS convert_ycc444_bgr(JPEG_PROPERTIES* props, int32_t mcu_col, int32_t mcu_row);
JPEG_STATUS convert_ycc420_rgb(JPEG_PROPERTIES* props, int32_t mcu_col, int32_t mcu_row);
JPEG_STATUS convert_ycc420_bgr(JPEG_PROPERTIES* props, int32_t mcu_col, int32_t mcu_row);
JPEG_STATUS convert_ycc422_rgb(JPEG_PROPERTIES* props, int32_t mcu_col, int32_t mcu_row);
JPEG_STATUS convert_ycc422_bgr(JPEG_PROPERTIES* props, int32_t mcu_col, int32_t mcu_row);
JPEG_STATUS convert_ycc444_quad(JPEG_PROPERTIES* props, int32_t mcu_col, int32_t mcu_row);
JPEG_STATUS convert_ycc420_quad(JPEG_PROPERTIES* props, int32_t mcu_col, int32_t mcu_row);
JPEG_STATUS convert_ycc422_quad(JPEG_PROPERTIES* props, int32_t mcu_col, int32_t mcu_row);
JPEG_STATUS convert_ycca444_quad(JPEG_PROPERTIES* props, int32_t mcu_col, int32_t mcu_row);
JPEG_STATUS convert_ycca420_quad(JPEG_PROPERTIES* props, int32_t mcu_col, int32_t mcu_row);
JPEG_STATUS convert_ycca422_quad(JPEG_PROPERTIES* props, int32_t mcu_col, int32_t mcu_row);
JPEG_STATUS copy_444_quad(JPEG_PROPERTIES* props, int32_t mcu_col, int32_t mcu_row);
JPEG_STATUS copy_4444_quad(JPEG_PROPERTIES* props, int32_t mcu_col, int32_t mcu_row);
JPEG_STATUS copy_444(JPEG_PROPERTIES* props, int32_t mcu_col, int32_t mcu_row);
JPEG_STATUS copy_420(JPEG_PROPERTIES* props, int32_t mcu_col, int32_t mcu_row);
JPEG_STATUS copy_422(JPEG_PROPERTIES* props, int32_t mcu_col, int32_t mcu_row);
JPEG_STATUS pack_ycc422(JPEG_PROPERTIES* props, int32_t mcu_col, int32_t mcu_row);
JPEG_STATUS copy_gray(JPEG_PROPERTIES* props, int32_t mcu_col, int32_t mcu_row);
// The generic kernels the stage table's words 41-59 hold in the generic fill.
void kernel_copy_gray(const int16_t* samples, uint8_t* dest, intptr_t stride);
void kernel_spread_gray(const int16_t* samples, uint8_t* dest, intptr_t stride);
void kernel_convert_ycc444_rgb(const int16_t* y, const int16_t* cb, const int16_t* cr, uint8_t* dest, intptr_t stride);
void kernel_convert_ycc422_rgb(const int16_t* y, const int16_t* cb, const int16_t* cr, uint8_t* dest, intptr_t stride);
void kernel_convert_ycc420_rgb(const int16_t* y, const int16_t* cb, const int16_t* cr, uint8_t* dest, intptr_t stride);
void kernel_convert_ycc444_bgr(const int16_t* y, const int16_t* cb, const int16_t* cr, uint8_t* dest, intptr_t stride);
void kernel_convert_ycc422_bgr(const int16_t* y, const int16_t* cb, const int16_t* cr, uint8_t* dest, intptr_t stride);
void kernel_convert_ycc420_bgr(const int16_t* y, const int16_t* cb, const int16_t* cr, uint8_t* dest, intptr_t stride);
void kernel_convert_ycc444_quad(const int16_t* y, const int16_t* cb, const int16_t* cr, uint8_t* dest, intptr_t stride);
void kernel_convert_ycc422_quad(const int16_t* y, const int16_t* cb, const int16_t* cr, uint8_t* dest, intptr_t stride);
void kernel_convert_ycc420_quad(const int16_t* y, const int16_t* cb, const int16_t* cr, uint8_t* dest, intptr_t stride);
void kernel_copy_444(const int16_t* c0, const int16_t* c1, const int16_t* c2, uint8_t* dest, intptr_t stride);
void kernel_copy_422(const int16_t* c0, const int16_t* c1, const int16_t* c2, uint8_t* dest, intptr_t stride);
void kernel_copy_420(const int16_t* c0, const int16_t* c1, const int16_t* c2, uint8_t* dest, intptr_t stride);
void kernel_copy_444_quad(const int16_t* c0, const int16_t* c1, const int16_t* c2, uint8_t* dest, intptr_t stride);
void kernel_pack_ycc422(const int16_t* y, const int16_t* cb, const int16_t* cr, uint8_t* dest, intptr_t stride);
void kernel_convert_ycca444_quad(const int16_t* y, const int16_t* cb, const int16_t* cr, const int16_t* a, uint8_t* dest, intptr_t stride);
void kernel_convert_ycca422_quad(const int16_t* y, const int16_t* cb, const int16_t* cr, const int16_t* a, uint8_t* dest, intptr_t stride);
void kernel_convert_ycca420_quad(const int16_t* y, const int16_t* cb, const int16_t* cr, const int16_t* a, uint8_t* dest, intptr_t stride);
void kernel_copy_4444_quad(const int16_t* c0, const int16_t* c1, const int16_t* c2, const int16_t* c3, uint8_t* dest, intptr_t stride);

}  // namespace vantorel

// The codec's records and enumerations: the caller-owned JPEG_RECORD, the inner
// JPEG_PROPERTIES that follows its caller-visible fields, the byte source, the
// frame/scan/table records and the per-record STAGE_TABLE of routine addresses.
//
// Everything here is a plain record. A caller zero-fills a JPEG_RECORD, opens it
// with open_codec, sets request fields, calls read_image one or more times and
// closes it with close_codec. Between calls the whole decoder state lives here.
#pragma once

#include <cstddef>
#include <cstdint>

namespace vantorel {

// ---------------------------------------------------------------------------
// Statuses
// ---------------------------------------------------------------------------

using JPEG_STATUS = int32_t;

enum : JPEG_STATUS {
    STATUS_ROI_SUCCESS = 2,
    STATUS_INTERRUPT_SUCCESS = 1,
    STATUS_SUCCESS = 0,
    STATUS_EXCEPTION_DETECTED = -1,
    STATUS_INVALID_ENCODER = -2,
    STATUS_UNSUPPORTED_SUBSAMPLING = -3,
    STATUS_UNSUPPORTED_BYTES_PER_PIXEL = -4,
    STATUS_MEMORY_ERROR = -5,
    STATUS_BAD_HUFFMAN_TABLE = -6,
    STATUS_BAD_QUANTIZATION_TABLE = -7,
    STATUS_INVALID_PROPERTIES = -8,
    STATUS_ERROR_CLOSE_FILE = -9,
    STATUS_INVALID_FILE_NAME = -10,
    STATUS_ERROR_EOF = -11,
    STATUS_NOT_SUPPORTED = -12,
    STATUS_NOT_JPEG = -13,
    STATUS_ERROR_COMP = -14,
    STATUS_ERROR_SOF = -15,
    STATUS_ERROR_DNL = -16,
    STATUS_NO_HUFFMAN_TABLE = -17,
    STATUS_NO_QUANTIZATION_TABLE = -18,
    STATUS_NO_FRAME = -19,
    STATUS_MULTIPLY_FRAME = -20,
    STATUS_DATA_ERROR = -21,
    STATUS_NO_IMAGE = -22,
    STATUS_FILE_ERROR = -23,
    STATUS_INTERNAL_ERROR = -24,
    STATUS_BAD_RST_MARKER = -25,
    STATUS_THUMBNAIL_TOO_SMALL = -26,
    STATUS_THUMBNAIL_WRONG_COLOR = -27,
    STATUS_OUTPUT_BUFFER_TOO_SMALL = -28,
    STATUS_UNSUPPORTED_FRAME = -29,
    STATUS_COMMENT_BUFFER_ERROR = -30,
    STATUS_RESERVED = -99,
};

// Internal result of the bit reader: a marker ends the entropy-coded data and
// fewer bits than needed remain. Never returned to a caller of the codec.
constexpr JPEG_STATUS MARKER_REACHED = 100;

// ---------------------------------------------------------------------------
// Request kinds, colour spaces, sampling layouts
// ---------------------------------------------------------------------------

using IO_MODE = int32_t;

enum : IO_MODE {
    READ_PARAMS_FILE = 0,
    READ_PARAMS_BUFFER = 1,
    READ_IMAGE_FILE = 2,
    READ_IMAGE_BUFFER = 3,
    READ_TABLES_FILE = 4,
    READ_TABLES_BUFFER = 5,
    READ_SCANS_FILE = 6,
    READ_SCANS_BUFFER = 7,
    // 8-13 are the write side's kinds; validation knows them, reads never serve them.
    WRITE_KIND_FIRST = 8,
    WRITE_KIND_LAST = 13,
    READ_IMAGE_HALF_FILE = 14,
    READ_IMAGE_HALF_BUFFER = 15,
    READ_IMAGE_QUARTER_FILE = 16,
    READ_IMAGE_QUARTER_BUFFER = 17,
    READ_IMAGE_EIGHTH_FILE = 18,
    READ_IMAGE_EIGHTH_BUFFER = 19,
    READ_THUMBNAIL_FILE = 20,
    READ_THUMBNAIL_BUFFER = 21,
};

using COLOR_SPACE = int32_t;

enum : COLOR_SPACE {
    CS_RGB = 1,
    CS_BGR = 2,
    CS_YCBCR = 3,
    CS_GRAY = 4,
    CS_QUAD = 5,
    CS_YCC_QUAD = 6,
    CS_OTHER = 255,
};

using SUBSAMPLING = int32_t;

enum : SUBSAMPLING {
    SUBSAMPLE_NONE = 0,
    SUBSAMPLE_2X2 = 1,
    SUBSAMPLE_2X1 = 2,
    SUBSAMPLE_QUAD_2X2 = 3,
    SUBSAMPLE_QUAD_2X1 = 4,
    SUBSAMPLE_OTHER = 255,
};

constexpr int32_t INPUT_BUFFER_SIZE = 4096;
constexpr int32_t ROW_INDEX_ENTRIES = 8192;
// An MCU holds at most 4 components of at most 4x4 blocks each.
constexpr int32_t MAX_MCU_BLOCKS = 64;

struct JPEG_PROPERTIES;
struct BYTE_SOURCE;
struct HUFF_DECODE_TABLE;

// ---------------------------------------------------------------------------
// Stage table: 69 machine words. Six header words, then routine addresses.
// ---------------------------------------------------------------------------

// Prepared quantisation values. They are kept 32 bits wide: the scaled family's
// preparation multiplies a step by up to about 490, which does not fit 16 bits.
using QUANT_VALUE = int32_t;

using FinishRoutine = void (*)();
using WriteSideRoutine = void (*)();
using IdctRoutine = void (*)(int16_t* block);
using DequantizeRoutine = void (*)(int16_t* block, const QUANT_VALUE* values);
using BlockDecodeRoutine = JPEG_STATUS (*)(BYTE_SOURCE* source, const HUFF_DECODE_TABLE* dc_table,
                                           const HUFF_DECODE_TABLE* ac_table, int16_t* predictor,
                                           int16_t* block);
using OutputDriverRoutine = JPEG_STATUS (*)(JPEG_PROPERTIES* props, int32_t mcu_col, int32_t mcu_row);
// Kernels convert one whole MCU. Sample pointers point into the MCU buffer at the
// offsets of the member's layout; stride is the signed distance between DIB rows.
using GrayKernel = void (*)(const int16_t* samples, uint8_t* dest, intptr_t stride);
using Kernel3 = void (*)(const int16_t* c0, const int16_t* c1, const int16_t* c2, uint8_t* dest,
                         intptr_t stride);
using Kernel4 = void (*)(const int16_t* c0, const int16_t* c1, const int16_t* c2, const int16_t* c3,
                         uint8_t* dest, intptr_t stride);

struct STAGE_TABLE {
    intptr_t scan_header_size;           // 0: bytes of the latest SOS segment incl. marker
    void* user32_module;                 // 1
    void* advapi32_module;               // 2
    void* reg_open_key;                  // 3
    void* reg_query_value;               // 4
    void* reg_close_key;                 // 5
    FinishRoutine finish_request;        // 6
    WriteSideRoutine encode_fdct_a;      // 7
    WriteSideRoutine encode_fdct_b;      // 8
    IdctRoutine idct_scaled_8x8;         // 9
    IdctRoutine idct_scaled_4x4;         // 10
    IdctRoutine idct_scaled_2x2;         // 11
    IdctRoutine idct_scaled_1x1;         // 12
    IdctRoutine idct_direct_8x8;         // 13
    IdctRoutine idct_direct_4x4;         // 14
    IdctRoutine idct_direct_2x2;         // 15
    IdctRoutine idct_direct_1x1;         // 16
    WriteSideRoutine active_fdct;        // 17
    IdctRoutine active_idct_8x8;         // 18
    IdctRoutine active_idct_4x4;         // 19
    IdctRoutine active_idct_2x2;         // 20
    IdctRoutine active_idct_1x1;         // 21
    WriteSideRoutine encoder_stage_22;   // 22
    WriteSideRoutine encoder_stage_23;   // 23
    WriteSideRoutine active_input_conversion;  // 24
    WriteSideRoutine encoder_stage_25;   // 25
    WriteSideRoutine encoder_convert[14];      // 26-39
    OutputDriverRoutine active_output_driver;  // 40
    GrayKernel output_kernel_41;         // copy_gray
    Kernel3 output_kernel_42;            // convert_ycc444_rgb
    Kernel3 output_kernel_43;            // convert_ycc422_rgb
    Kernel3 output_kernel_44;            // convert_ycc420_rgb
    Kernel3 output_kernel_45;            // convert_ycc444_bgr
    Kernel3 output_kernel_46;            // convert_ycc422_bgr
    Kernel3 output_kernel_47;            // convert_ycc420_bgr
    Kernel3 output_kernel_48;            // convert_ycc444_quad
    Kernel3 output_kernel_49;            // convert_ycc422_quad
    Kernel3 output_kernel_50;            // convert_ycc420_quad
    Kernel3 output_kernel_51;            // copy_444
    Kernel3 output_kernel_52;            // copy_422
    Kernel3 output_kernel_53;            // copy_420
    Kernel3 output_kernel_54;            // copy_444_quad
    Kernel3 output_kernel_55;            // pack_ycc422
    Kernel4 output_kernel_56;            // convert_ycca444_quad
    Kernel4 output_kernel_57;            // convert_ycca422_quad
    Kernel4 output_kernel_58;            // convert_ycca420_quad
    Kernel4 output_kernel_59;            // copy_4444_quad
    WriteSideRoutine encode_block;       // 60
    BlockDecodeRoutine decode_block;     // 61
    BlockDecodeRoutine decode_block_dc_only;   // 62
    WriteSideRoutine quantize_a;         // 63
    WriteSideRoutine quantize_b;         // 64
    WriteSideRoutine active_quantize;    // 65
    DequantizeRoutine dequantize_scaled; // 66
    DequantizeRoutine dequantize_direct; // 67
    DequantizeRoutine active_dequantize; // 68
};

static_assert(sizeof(STAGE_TABLE) == 69 * sizeof(void*), "the stage table is 69 machine words");
static_assert(offsetof(STAGE_TABLE, active_output_driver) == 40 * sizeof(void*));
static_assert(offsetof(STAGE_TABLE, decode_block) == 61 * sizeof(void*));
static_assert(offsetof(STAGE_TABLE, active_dequantize) == 68 * sizeof(void*));

// ---------------------------------------------------------------------------
// Byte source
// ---------------------------------------------------------------------------

struct BYTE_SOURCE {
    uint64_t bit_acc;         // entropy-coded bits read ahead; valid bits are the low bit_count
    STAGE_TABLE* stage_table;
    int32_t bit_count;
    const uint8_t* cur;       // next unread byte
    const uint8_t* begin;     // internal buffer (file) or the caller's buffer (memory)
    const uint8_t* end;       // one past the last valid byte
    int32_t position;         // stream bytes consumed since the stream start
    int32_t size;             // buffer capacity
    uint32_t avail;           // end - cur
    int32_t eob_run;          // progressive end-of-band run
    uint8_t pending_marker;   // marker met inside scan data; 0 = none
    void* file;               // open input file; null for a memory source
    uint8_t* mcu_out_ptr;     // output side only: DIB address of pixel (0,0) of the current MCU
    alignas(16) uint8_t buffer[INPUT_BUFFER_SIZE];
};

// ---------------------------------------------------------------------------
// Tables, frame and scan records
// ---------------------------------------------------------------------------

struct QUANT_TABLE {
    int32_t quant_precision;  // Pq of the last DQT for this identifier
    int32_t quant_id;
    QUANT_VALUE* quant_values;  // 64 prepared values in natural order, then 16 zeros
    alignas(32) QUANT_VALUE storage[80];
};

struct HUFF_DECODE_TABLE {
    uint32_t table_class;     // 0 DC, 1 AC
    uint32_t table_id;
    uint32_t lookahead[256];  // length << 16 | symbol; 0 = code longer than 8 bits
    uint16_t symbols[257];
    uint16_t min_code[17];
    int16_t max_code[18];
    uint16_t first_index[17];
};

struct RAW_QUANT_ENTRY {
    uint8_t* buffer;          // caller's buffer for the raw 64 or 128 bytes, or null
    uint8_t identifier;
};

struct RAW_HUFF_ENTRY {
    uint8_t* counts;          // caller's 16-byte BITS buffer, or null
    uint8_t* values;          // caller's symbol buffer (up to 256 bytes), or null
    uint8_t table_class;
    uint8_t identifier;
};

struct COMPONENT_INFO {
    int32_t identifier;
    int32_t h_samp;
    int32_t v_samp;
    int32_t quant_selector;
};

struct FRAME_INFO {
    int32_t precision;
    int32_t width;
    int32_t height;
    int32_t mcu_height;
    int32_t mcu_width;
    int32_t max_h_sampling;
    int32_t max_v_sampling;
    int32_t component_count;
    int32_t mcus_per_row;
    int32_t mcu_count;
    COMPONENT_INFO* components;  // four records, allocated by open_codec
};

struct SCAN_COMPONENT {
    int32_t frame_index;
    int32_t h_samp;
    int32_t v_samp;
    const HUFF_DECODE_TABLE* dc_table;
    const HUFF_DECODE_TABLE* ac_table;
    const QUANT_TABLE* quant_table;
};

struct SCAN_INFO {
    int32_t component_count;  // Ns
    int32_t reserved;
    int32_t ss;
    int32_t se;
    int32_t ah;
    int32_t al;
    int32_t restart_interval;
    int32_t resume_state[2];  // resume column, resume row; both 0 = not started
    int32_t dc_predictors[4];
    SCAN_COMPONENT* components;
};

struct ROW_INDEX_ENTRY {
    intptr_t position;        // file kinds: stream bytes consumed; memory kinds: the read pointer; -1 unknown
    int32_t predictors[4];
    uint64_t accumulator;
    int32_t bit_count;
    uint8_t marker;
};

struct SMOOTH_RING {
    int16_t* buffers[4];      // quarters of one data block, rotated per MCU row
    int32_t row;              // MCU row last seen
};

// A rectangle of MCU-relative or image pixels; right and bottom are exclusive.
struct MCU_RECT {
    int32_t left, top, right, bottom;
};

// Caller record for coefficient output: a flag, then one plane per component.
struct COEF_OUTPUT {
    int32_t flag;             // 0: quantised coefficients; non-zero: inverse-transformed values
    int16_t* planes[4];
};

// ---------------------------------------------------------------------------
// JPEG_PROPERTIES: the codec's inner state
// ---------------------------------------------------------------------------

struct JPEG_PROPERTIES {
    // request
    IO_MODE io_mode;
    // region of interest (output pixels; all 0 = whole image)
    int32_t roi_left, roi_top, roi_right, roi_bottom;
    // transform choice: 0 scaled family, 1 direct family
    int32_t idct_family;
    // output choice
    int32_t output_path;
    int32_t interrupt_request;
    // request copies
    uint8_t* dib_pixels;
    int32_t dib_width;
    int32_t dib_height;
    int32_t dib_row_pad;
    int32_t dib_channels;
    COLOR_SPACE dib_color;
    uint32_t dib_subsampling;
    intptr_t dib_stride;      // signed bytes from one image row to the next
    const char* jpeg_path;
    const uint8_t* jpeg_buffer;
    int32_t jpeg_buffer_size;
    int32_t jpeg_width;
    int32_t jpeg_height;
    int32_t jpeg_channels;
    COLOR_SPACE jpeg_color;
    SUBSAMPLING jpeg_subsampling;
    uint32_t thumb_width;
    uint32_t thumb_height;
    uint32_t needs_color_conversion;
    uint32_t needs_upsampling;
    uint32_t quality;
    // decoder mode
    int32_t multi_scan;
    int32_t mcus_per_row;
    int32_t mcu_rows;
    // table bookkeeping
    int32_t quant_table_count;
    int32_t quant_id_limit;
    int32_t ac_table_count;
    int32_t dc_table_count;
    int32_t huff_id_limit;
    // quantisation tables
    QUANT_TABLE quant_tables[4];
    // Huffman decode tables: AC 0-3, then DC 0-3
    HUFF_DECODE_TABLE huff_tables[8];
    // table reload
    int32_t reload_quant_tables;
    int32_t reload_huff_tables;
    RAW_QUANT_ENTRY raw_quant[4];
    RAW_HUFF_ENTRY raw_huff[8];
    // frame header and components (component_count and components live in frame)
    FRAME_INFO frame;
    uint8_t dc_selectors[4];
    uint8_t ac_selectors[4];
    // byte source
    BYTE_SOURCE source;
    // stage table and the processor variant chosen at open
    STAGE_TABLE* stage_table;
    int32_t processor_variant;
    // scan state
    SCAN_INFO* current_scan;
    int16_t* coef_buffer;
    COEF_OUTPUT* coef_output;
    int32_t upsample_filter;  // 0 replication, 1 triangle filter
    SMOOTH_RING* smooth_ring;
    ROW_INDEX_ENTRY* row_index;
    int32_t row_index_entries;
    // comment: in, the caller's buffer and its capacity; out, the comment's length
    uint8_t* jpeg_comment;
    uint32_t jpeg_comment_size;
    // Adobe segment
    uint16_t adobe_version;
    uint16_t adobe_flags0;
    uint16_t adobe_flags1;
    int32_t adobe_transform;
    int32_t adobe_present;
    // JFIF segment
    int32_t jfif_present;
    uint16_t jfif_version;
    uint8_t jfif_units;
    uint16_t jfif_x_density;
    uint16_t jfif_y_density;
    int32_t jfif_reserved[2];
    // decode driver state
    int32_t awaiting_frame;
    int32_t restart_interval;
    int32_t progressive_scans;
    int32_t dc_components_done;
    int32_t components_done;
    int32_t decoded_components;
    // output start and work areas
    uint8_t* output_start;
    uint8_t* work_area;
    alignas(32) uint8_t work_storage[64];
    alignas(32) int16_t mcu_buffer[MAX_MCU_BLOCKS * 64];
    alignas(32) uint8_t component_plane[32 * 32];
    // coefficient output: which caller target (its address and planes, mixed)
    // the planes were last written for, and the frame shape they were sized by
    uintptr_t coef_target_key;
    int32_t coef_target_shape[3];
    // the processor variant again, near the end of the record
    int32_t processor_variant_copy;
    // Optional bound a caller may set on the progressive scans of one image:
    // every scan renders the whole picture again once its coefficients are
    // complete, so a small stream of many tiny scans over a large frame costs
    // far more than its size suggests. 0 (the default) decodes every scan; a
    // positive value fails the image request with "Not supported" at the first
    // scan past it, leaving the picture as the scans before it rendered it.
    int32_t progressive_scan_limit;
};

// ---------------------------------------------------------------------------
// JPEG_RECORD: caller-visible fields, then the inner state
// ---------------------------------------------------------------------------

struct JPEG_RECORD {
    uint32_t props_preset;
    uint8_t* dib_pixels;
    int32_t dib_width;
    int32_t dib_height;
    int32_t dib_row_pad;
    int32_t dib_channels;
    COLOR_SPACE dib_color;
    uint32_t dib_subsampling;
    const char* jpeg_path;
    const uint8_t* jpeg_buffer;
    int32_t jpeg_buffer_size;
    int32_t jpeg_width;
    int32_t jpeg_height;
    int32_t jpeg_channels;
    COLOR_SPACE jpeg_color;
    SUBSAMPLING jpeg_subsampling;
    uint32_t thumb_width;
    uint32_t thumb_height;
    uint32_t needs_color_conversion;
    uint32_t needs_upsampling;
    uint32_t quality;
    JPEG_PROPERTIES props;
};

}  // namespace vantorel

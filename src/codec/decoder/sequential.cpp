// Scan dispatch and the sequential scan drivers.
//
// decode_scan is called by the marker dispatcher for every scan (and again for
// an interrupted one). It chooses the transform family, settles whether the
// caller wants a region, and hands the scan to one of four drivers: sequential
// or progressive, whole image or region. The sequential drivers live here,
// together with what every driver shares: the scan checks and geometry, the
// restart handling, the MCU-row index that lets a region read seek instead of
// decode, the interrupt protocol, and the copy of blocks into caller planes.
#include "codec/codec.h"
#include "codec/decoder/decoder.h"
#include "platform/files.h"

namespace vantorel {

namespace {

int32_t scale_for_request(IO_MODE kind) {
    switch (kind) {
    case READ_IMAGE_HALF_FILE:
    case READ_IMAGE_HALF_BUFFER: return 2;
    case READ_IMAGE_QUARTER_FILE:
    case READ_IMAGE_QUARTER_BUFFER: return 4;
    case READ_IMAGE_EIGHTH_FILE:
    case READ_IMAGE_EIGHTH_BUFFER: return 8;
    default: return 1;
    }
}

int32_t ceil_div(int32_t a, int32_t b) { return b > 0 ? (a + b - 1) / b : 0; }

// Row positions are kept as offsets from the stream's start: the file offset
// for a file, the distance from the caller's buffer start in memory. An offset
// (rather than a raw pointer) can be checked against the buffer of a later
// request, so a stale entry can never send the reader outside it.
intptr_t current_offset(const BYTE_SOURCE* source, const JPEG_PROPERTIES* props) {
    if (source->file != nullptr) return source->position;
    if (props->jpeg_buffer == nullptr || source->cur == nullptr) return -1;
    return source->cur - props->jpeg_buffer;
}

// Creates the row index (or a larger one when this scan has more MCU rows than
// the current index can describe). Every entry starts unknown.
JPEG_STATUS ensure_row_index(JPEG_PROPERTIES* props, int32_t rows) {
    int32_t wanted = rows + 1 > ROW_INDEX_ENTRIES ? rows + 1 : ROW_INDEX_ENTRIES;
    if (props->row_index != nullptr && props->row_index_entries >= wanted) return STATUS_SUCCESS;
    if (props->row_index != nullptr) {
        codec_free(props->row_index);
        props->row_index = nullptr;
        props->row_index_entries = 0;
    }
    auto* index = static_cast<ROW_INDEX_ENTRY*>(codec_alloc(sizeof(ROW_INDEX_ENTRY) * static_cast<size_t>(wanted)));
    if (index == nullptr) return STATUS_MEMORY_ERROR;
    g_zero_bytes(index, sizeof(ROW_INDEX_ENTRY) * static_cast<size_t>(wanted));
    for (int32_t i = 0; i < wanted; ++i) index[i].position = -1;
    props->row_index = index;
    props->row_index_entries = wanted;
    return STATUS_SUCCESS;
}

// Marks every entry unknown: the index then describes no scan.
void forget_row_index(JPEG_PROPERTIES* props) {
    if (props->row_index == nullptr) return;
    for (int32_t i = 0; i < props->row_index_entries; ++i) props->row_index[i].position = -1;
}

bool row_entry_known(const JPEG_PROPERTIES* props, int32_t row) {
    return props->row_index != nullptr && row >= 0 && row < props->row_index_entries &&
           props->row_index[row].position >= 0;
}

// Decodes one MCU of a sequential scan. Normal mode leaves the dequantised
// blocks in mcu_buffer; coefficient mode copies the quantised blocks into the
// caller's planes at their absolute block positions.
JPEG_STATUS decode_sequential_mcu(BYTE_SOURCE* source, SCAN_INFO* scan, JPEG_PROPERTIES* props,
                                  const SCAN_LAYOUT& layout, int32_t col, int32_t row) {
    STAGE_TABLE* table = props->stage_table;
    int16_t* block = props->mcu_buffer;
    for (int32_t i = 0; i < layout.component_count; ++i) {
        const SCAN_COMPONENT& comp = scan->components[i];
        const int32_t h = layout.component_count == 1 ? 1 : layout.h_samp[i];
        for (int32_t b = 0; b < layout.blocks[i]; ++b, block += 64) {
            int16_t predictor = static_cast<int16_t>(scan->dc_predictors[i]);
            const JPEG_STATUS status = table->decode_block(source, comp.dc_table, comp.ac_table, &predictor, block);
            scan->dc_predictors[i] = predictor;
            if (status < 0) return status;
            if (layout.coefficient_mode) {
                // A one-component scan has one block per MCU, at the MCU's own place.
                const int32_t bx = layout.component_count == 1 ? col : col * h + b % h;
                const int32_t by = layout.component_count == 1 ? row : row * layout.v_samp[i] + b / h;
                store_block_in_plane(props, &layout, layout.frame_index[i], bx, by, block);
            } else {
                table->active_dequantize(block, comp.quant_table->quant_values);
            }
        }
    }
    return STATUS_SUCCESS;
}

// decode_sequential_mcu's work in normal mode with the per-block choices made
// once for the scan: the tables, the predictor and the quantiser of each block
// of the MCU in order. Where the variant block decoder and a direct-family
// quantiser are installed and the scan is long enough to repay it, each
// distinct AC table also gets its joined look-up, and each block is decoded
// and dequantised in one pass with it.
struct DECODE_PLAN {
    static constexpr int32_t MAX_BLOCKS = 10;
    static constexpr int32_t MAX_JOINED = 4;
    BlockDecodeRoutine decode;
    DequantizeRoutine dequantize;
    int32_t blocks;
    struct {
        const HUFF_DECODE_TABLE* dc;
        const HUFF_DECODE_TABLE* ac;
        const QUANT_VALUE* quant;
        int32_t component;
        const JOINED_HUFF_TABLE* joined;
    } block[MAX_BLOCKS];
    bool joined;
    int32_t joined_tables;
    const HUFF_DECODE_TABLE* joined_source[MAX_JOINED];
    JOINED_HUFF_TABLE joined_table[MAX_JOINED];
};

// The joined look-up of `table`, built on first use; null when all are taken.
const JOINED_HUFF_TABLE* joined_for(DECODE_PLAN* plan, const HUFF_DECODE_TABLE* table) {
    for (int32_t i = 0; i < plan->joined_tables; ++i)
        if (plan->joined_source[i] == table) return &plan->joined_table[i];
    if (plan->joined_tables == DECODE_PLAN::MAX_JOINED) return nullptr;
    const int32_t i = plan->joined_tables++;
    plan->joined_source[i] = table;
    build_joined_table(table, &plan->joined_table[i]);
    return &plan->joined_table[i];
}

// False (with nothing planned) in coefficient mode and for an MCU of more blocks
// than a scan may carry. `mcus` is how many MCUs the call may decode.
bool plan_decode(const SCAN_INFO* scan, const JPEG_PROPERTIES* props, const SCAN_LAYOUT& layout, int64_t mcus,
                 DECODE_PLAN* plan) {
    const STAGE_TABLE* table = props->stage_table;
    plan->joined_tables = 0;
    if (layout.coefficient_mode || table->decode_block == nullptr || table->active_dequantize == nullptr) return false;
    plan->decode = table->decode_block;
    plan->dequantize = table->active_dequantize;
    int32_t n = 0;
    for (int32_t i = 0; i < layout.component_count; ++i) {
        const SCAN_COMPONENT& comp = scan->components[i];
        if (comp.quant_table == nullptr) return false;
        for (int32_t b = 0; b < layout.blocks[i]; ++b) {
            if (n == DECODE_PLAN::MAX_BLOCKS) return false;
            plan->block[n++] = {comp.dc_table, comp.ac_table, comp.quant_table->quant_values, i, nullptr};
        }
    }
    plan->blocks = n;
    // A table costs about as much to build as decoding a few dozen blocks, and a
    // caller asking for interrupts gets one MCU per call, so short runs keep
    // to the installed routines.
    plan->joined = table->decode_block == &decode_block_wide && props->idct_family == 1 &&
                   props->interrupt_request == 0 && mcus * n >= 1024;
    for (int32_t b = 0; plan->joined && b < n; ++b) {
        auto& p = plan->block[b];
        p.joined = p.ac != nullptr ? joined_for(plan, p.ac) : nullptr;
        if (p.joined == nullptr) plan->joined = false;
    }
    return true;
}

JPEG_STATUS decode_planned_mcu(BYTE_SOURCE* source, SCAN_INFO* scan, const DECODE_PLAN& plan, int16_t* block) {
    for (int32_t b = 0; b < plan.blocks; ++b, block += 64) {
        const auto& p = plan.block[b];
        int16_t predictor = static_cast<int16_t>(scan->dc_predictors[p.component]);
        if (plan.joined) {
            const JPEG_STATUS status = decode_block_joined(source, p.dc, p.ac, p.joined, p.quant, &predictor, block);
            scan->dc_predictors[p.component] = predictor;
            if (status < 0) return status;
        } else {
            const JPEG_STATUS status = plan.decode(source, p.dc, p.ac, &predictor, block);
            scan->dc_predictors[p.component] = predictor;
            if (status < 0) return status;
            plan.dequantize(block, p.quant);
        }
    }
    return STATUS_SUCCESS;
}

// Passes over one MCU keeping only the DC predictors in step.
JPEG_STATUS skip_sequential_mcu(BYTE_SOURCE* source, SCAN_INFO* scan, JPEG_PROPERTIES* props,
                                const SCAN_LAYOUT& layout) {
    STAGE_TABLE* table = props->stage_table;
    int16_t* scratch = props->mcu_buffer;
    for (int32_t i = 0; i < layout.component_count; ++i) {
        const SCAN_COMPONENT& comp = scan->components[i];
        for (int32_t b = 0; b < layout.blocks[i]; ++b) {
            int16_t predictor = static_cast<int16_t>(scan->dc_predictors[i]);
            const JPEG_STATUS status =
                table->decode_block_dc_only(source, comp.dc_table, comp.ac_table, &predictor, scratch);
            scan->dc_predictors[i] = predictor;
            if (status < 0) return status;
        }
    }
    return STATUS_SUCCESS;
}

void emit_mcu(JPEG_PROPERTIES* props, BYTE_SOURCE* source, SCAN_INFO* scan, const SCAN_LAYOUT& layout,
              int32_t col, int32_t row) {
    output_mcu(props, source, scan, col, row, layout.mcu_blocks, props->mcu_buffer, layout.mcus_per_row,
               layout.mcu_rows, layout.scale_factor, layout.simple_sampling);
}

// Skips MCUs [from, to) of one row with the DC-only decoder. Block and restart
// failures are reported as the region driver's own statuses.
JPEG_STATUS skip_columns(BYTE_SOURCE* source, SCAN_INFO* scan, JPEG_PROPERTIES* props, const SCAN_LAYOUT& layout,
                         int32_t row, int32_t from, int32_t to) {
    for (int32_t col = from; col < to; ++col) {
        if (skip_sequential_mcu(source, scan, props, layout) < 0) return STATUS_DATA_ERROR;
        if (process_restart(source, scan, layout.mcus_per_row, layout.mcu_rows, col, row) != 0)
            return STATUS_BAD_RST_MARKER;
    }
    return STATUS_SUCCESS;
}

// Points mcu_out_ptr at the first MCU a region row outputs: row_in_region MCU
// rows of mcu_lines lines down, skip MCUs of mcu_w pixels across. It is only a
// hint for the writers (they place every MCU themselves), so it is computed in
// wrapping unsigned arithmetic: no overflow, and no address outside the DIB is
// ever formed by pointer arithmetic.
void set_out_pointer(JPEG_PROPERTIES* props, int32_t row_in_region, int32_t mcu_lines, int32_t skip, int32_t mcu_w) {
    if (props->dib_pixels == nullptr) return;
    const uintptr_t base = reinterpret_cast<uintptr_t>(props->dib_pixels);
    const uintptr_t down = static_cast<uintptr_t>(row_in_region) * static_cast<uintptr_t>(mcu_lines) *
                           static_cast<uintptr_t>(props->dib_stride);
    const uintptr_t across = static_cast<uintptr_t>(skip) * static_cast<uintptr_t>(props->dib_channels) *
                             static_cast<uintptr_t>(mcu_w);
    props->source.mcu_out_ptr = reinterpret_cast<uint8_t*>(base + down + across);
}

// The caller sizes coefficient planes from the frame it was told about. A
// stream may carry a second, different frame header; pixels are clipped to the
// DIB, but planes have no size of their own, so a target keeps the frame shape
// of its first scan and any other shape is refused for it. A new target (or
// new planes) starts afresh.
JPEG_STATUS check_coefficient_target(JPEG_PROPERTIES* props) {
    const COEF_OUTPUT* target = props->coef_output;
    if (target == nullptr) {
        props->coef_target_key = 0;
        return STATUS_SUCCESS;
    }
    uintptr_t key = reinterpret_cast<uintptr_t>(target) * 31u + 1u;
    for (int16_t* plane : target->planes) key = key * 31u + reinterpret_cast<uintptr_t>(plane);
    const FRAME_INFO& frame = props->frame;
    uint32_t sampling = static_cast<uint32_t>(frame.component_count);
    for (int32_t i = 0; i < frame.component_count && i < 4; ++i)
        sampling = sampling * 256u + static_cast<uint32_t>(frame.components[i].h_samp * 16 + frame.components[i].v_samp);
    const int32_t shape[3] = {frame.width, frame.height, static_cast<int32_t>(sampling)};
    if (props->coef_target_key != key) {
        props->coef_target_key = key;
        for (int32_t i = 0; i < 3; ++i) props->coef_target_shape[i] = shape[i];
        return STATUS_SUCCESS;
    }
    for (int32_t i = 0; i < 3; ++i)
        if (props->coef_target_shape[i] != shape[i]) return STATUS_DATA_ERROR;
    return STATUS_SUCCESS;
}

}  // namespace

// ---------------------------------------------------------------------------
// Shared by all drivers
// ---------------------------------------------------------------------------

JPEG_STATUS describe_scan(const SCAN_INFO* scan, const JPEG_PROPERTIES* props, int32_t scale_factor,
                          SCAN_LAYOUT* layout) {
    g_zero_bytes(layout, sizeof *layout);
    const FRAME_INFO& frame = props->frame;
    const int32_t nf = frame.component_count;
    if (frame.components == nullptr || nf < 1 || nf > 4 || frame.width < 1 || frame.height < 1)
        return STATUS_DATA_ERROR;
    // Sampling factors are 1 to 4; with at most four components a frame MCU then
    // never holds more blocks than mcu_buffer can take.
    int32_t max_h = 1, max_v = 1, frame_blocks = 0;
    bool simple = true;
    for (int32_t i = 0; i < nf; ++i) {
        const COMPONENT_INFO& c = frame.components[i];
        if (c.h_samp < 1 || c.h_samp > 4 || c.v_samp < 1 || c.v_samp > 4) return STATUS_DATA_ERROR;
        if (c.quant_selector < 0 || c.quant_selector > 3) return STATUS_DATA_ERROR;
        layout->frame_block_offset[i] = frame_blocks;
        frame_blocks += c.h_samp * c.v_samp;
        if (c.h_samp > max_h) max_h = c.h_samp;
        if (c.v_samp > max_v) max_v = c.v_samp;
        if (c.h_samp != c.v_samp || c.h_samp > 2) simple = false;
    }
    if (frame_blocks > MAX_MCU_BLOCKS) return STATUS_DATA_ERROR;

    const int32_t ns = scan->component_count;
    // A scan names one to four distinct frame components, in frame order.
    if (scan->components == nullptr || ns < 1 || ns > 4 || ns > nf) return STATUS_DATA_ERROR;
    layout->component_count = ns;
    int32_t previous = -1, scan_blocks = 0;
    for (int32_t i = 0; i < ns; ++i) {
        const SCAN_COMPONENT& sc = scan->components[i];
        if (sc.frame_index <= previous || sc.frame_index >= nf) return STATUS_DATA_ERROR;
        if (sc.dc_table == nullptr || sc.ac_table == nullptr || sc.quant_table == nullptr ||
            sc.quant_table->quant_values == nullptr)
            return STATUS_DATA_ERROR;
        previous = sc.frame_index;
        const COMPONENT_INFO& c = frame.components[sc.frame_index];
        layout->frame_index[i] = sc.frame_index;
        layout->h_samp[i] = c.h_samp;
        layout->v_samp[i] = c.v_samp;
        layout->blocks[i] = ns == 1 ? 1 : c.h_samp * c.v_samp;
        scan_blocks += layout->blocks[i];
    }
    if (scan_blocks > MAX_MCU_BLOCKS) return STATUS_DATA_ERROR;
    layout->mcu_blocks = scan_blocks;

    if (props->progressive_scans != 0) {
        // Bands beyond coefficient 63, empty bands and point transforms wider
        // than a coefficient would index outside a block or the store; a band of
        // AC coefficients belongs to one component only.
        if (scan->ss < 0 || scan->ss > scan->se || scan->se > 63) return STATUS_DATA_ERROR;
        if (scan->al < 0 || scan->al > 13 || scan->ah < 0 || scan->ah > 13) return STATUS_DATA_ERROR;
        if (scan->ss > 0 && ns != 1) return STATUS_DATA_ERROR;
    }

    layout->max_h = max_h;
    layout->max_v = max_v;
    layout->width = frame.width;
    layout->height = frame.height;
    layout->frame_mcus_per_row = ceil_div(frame.width, 8 * max_h);
    layout->frame_mcu_rows = ceil_div(frame.height, 8 * max_v);
    layout->frame_mcu_blocks = frame_blocks;
    if (ns == 1) {
        // A one-component scan is not interleaved: its MCU is one block, and the
        // component covers ceil(X * H / Hmax) samples per line.
        layout->mcus_per_row = ceil_div(frame.width * layout->h_samp[0], 8 * max_h);
        layout->mcu_rows = ceil_div(frame.height * layout->v_samp[0], 8 * max_v);
    } else {
        layout->mcus_per_row = layout->frame_mcus_per_row;
        layout->mcu_rows = layout->frame_mcu_rows;
    }
    layout->scale_factor = scale_factor;
    layout->simple_sampling = (max_h == 1 && max_v == 1) ? 0 : (simple ? 1 : 0);

    const COEF_OUTPUT* target = props->coef_output;
    layout->coefficient_mode = target != nullptr && target->flag == 0;
    layout->output_step = !layout->coefficient_mode;
    if (target != nullptr) {
        for (int32_t i = 0; i < nf; ++i)
            if (target->planes[i] == nullptr) return STATUS_INVALID_PROPERTIES;
    }
    // The smoothing lag only concerns pixels; with a plane target every MCU is
    // delivered in place, so no delayed (flush) call is ever made.
    if (props->upsample_filter == 1 && max_h == 2 && target == nullptr) {
        layout->lag_h = (max_v == 1 || max_v == 2) ? 1 : 0;
        layout->lag_v = max_v == 2 ? 1 : 0;
    }
    return STATUS_SUCCESS;
}

void store_block_in_plane(const JPEG_PROPERTIES* props, const SCAN_LAYOUT* layout, int32_t frame_index,
                          int32_t block_col, int32_t block_row, const int16_t* block) {
    const COEF_OUTPUT* target = props->coef_output;
    if (target == nullptr || frame_index < 0 || frame_index > 3) return;
    int16_t* plane = target->planes[frame_index];
    const COMPONENT_INFO& c = props->frame.components[frame_index];
    // The plane is MCUs-per-row x H blocks wide and MCU-rows x V blocks high.
    const int32_t blocks_across = layout->frame_mcus_per_row * c.h_samp;
    const int32_t blocks_down = layout->frame_mcu_rows * c.v_samp;
    if (plane == nullptr || block_col < 0 || block_row < 0 || block_col >= blocks_across || block_row >= blocks_down)
        return;
    const size_t stride = static_cast<size_t>(blocks_across) * 8;
    int16_t* dest = plane + static_cast<size_t>(block_row) * 8 * stride + static_cast<size_t>(block_col) * 8;
    for (int32_t line = 0; line < 8; ++line) g_copy_bytes(dest + line * stride, block + line * 8, 16);
}

JPEG_STATUS check_interrupt(JPEG_PROPERTIES* props, SCAN_INFO* scan, int32_t mcu_col, int32_t mcu_row,
                            int32_t mcus_per_row, int32_t mcu_rows, int32_t lag_h, int32_t lag_v) {
    if (props->interrupt_request == 0) return -1;
    // With an output lag the first column (or row) produces no pixels yet.
    if (lag_h && mcu_col == 0) return -1;
    if (lag_v && mcu_row == 0) return -1;
    const int32_t next_col = (mcu_col + 1) % (mcus_per_row + lag_h);
    if (next_col == 0) {
        if (mcu_row + 1 == mcu_rows + lag_v) {
            scan->resume_state[0] = 0;
            scan->resume_state[1] = 0;
            return STATUS_SUCCESS;
        }
        scan->resume_state[1] = mcu_row + 1;
    } else {
        scan->resume_state[1] = mcu_row;
    }
    scan->resume_state[0] = next_col;
    // Report the MCU just output; the read operation turns right and bottom
    // into the pixel extent reached.
    props->roi_left = props->roi_right = mcu_col - lag_h;
    props->roi_top = props->roi_bottom = mcu_row - lag_v;
    return STATUS_INTERRUPT_SUCCESS;
}

void region_in_mcus(const JPEG_PROPERTIES* props, int32_t mcu_w, int32_t mcu_h, int32_t mcus_per_row,
                    int32_t mcu_rows, int32_t lag_h, int32_t lag_v, int32_t* left, int32_t* top,
                    int32_t* right, int32_t* bottom) {
    if (mcu_w < 1) mcu_w = 1;
    if (mcu_h < 1) mcu_h = 1;
    int32_t l = props->roi_left / mcu_w;
    int32_t t = props->roi_top / mcu_h;
    int32_t r = ceil_div(props->roi_right, mcu_w);
    int32_t b = ceil_div(props->roi_bottom, mcu_h);
    if (l > 0) l -= lag_h;
    if (t > 0) t -= lag_v;
    if (r < mcus_per_row) r += lag_h;
    if (b < mcu_rows) b += lag_v;
    // The region is given in output pixels but clamped to the full-size image,
    // so at a reduced scale it can reach past the grid: keep it inside.
    if (r > mcus_per_row) r = mcus_per_row;
    if (b > mcu_rows) b = mcu_rows;
    if (r < 0) r = 0;
    if (b < 0) b = 0;
    if (l > r) l = r;
    if (t > b) t = b;
    if (l < 0) l = 0;
    if (t < 0) t = 0;
    *left = l;
    *top = t;
    *right = r;
    *bottom = b;
}

JPEG_STATUS process_restart(BYTE_SOURCE* source, SCAN_INFO* scan, int32_t mcus_per_row, int32_t mcu_rows,
                            int32_t mcu_col, int32_t mcu_row) {
    const int32_t interval = scan->restart_interval;
    if (interval <= 0) return STATUS_SUCCESS;
    const int64_t done = static_cast<int64_t>(mcu_row) * mcus_per_row + mcu_col + 1;
    if (done % interval != 0 || done >= static_cast<int64_t>(mcus_per_row) * mcu_rows) return STATUS_SUCCESS;
    for (int32_t& predictor : scan->dc_predictors) predictor = 0;
    // The fill bits before the marker are dropped; the stale accumulator bits
    // are never read again.
    source->bit_count = 0;
    if (source->pending_marker != 0) {
        source->pending_marker = 0;
        return STATUS_SUCCESS;
    }
    // Whatever marker ends the interval is taken as its restart marker.
    int32_t code = 0;
    const JPEG_STATUS status = read_next_marker(source, &code);
    return status < 0 ? status : STATUS_SUCCESS;
}

void save_row_entry(int32_t row, BYTE_SOURCE* source, SCAN_INFO* scan, JPEG_PROPERTIES* props) {
    if (props->row_index == nullptr || row < 0 || row >= props->row_index_entries) return;
    ROW_INDEX_ENTRY& entry = props->row_index[row];
    for (int32_t i = 0; i < 4; ++i) entry.predictors[i] = scan->dc_predictors[i];
    entry.accumulator = source->bit_acc;
    entry.bit_count = source->bit_count;
    entry.marker = source->pending_marker;
    entry.position = current_offset(source, props);
}

JPEG_STATUS restore_row_entry(int32_t row, BYTE_SOURCE* source, SCAN_INFO* scan, JPEG_PROPERTIES* props) {
    if (!row_entry_known(props, row)) return STATUS_FILE_ERROR;
    const ROW_INDEX_ENTRY& entry = props->row_index[row];
    if (source->file != nullptr) {
        if (entry.position > INT32_MAX) return STATUS_FILE_ERROR;
        const int32_t offset = static_cast<int32_t>(entry.position);
        if (!platform::seek_file(source->file, offset, platform::SEEK_FROM_BEGIN)) return STATUS_FILE_ERROR;
        source->position = offset;
        if (fill_input_buffer(source) != STATUS_SUCCESS) return STATUS_FILE_ERROR;
    } else {
        if (props->jpeg_buffer == nullptr || props->jpeg_buffer_size < 0 || entry.position > props->jpeg_buffer_size)
            return STATUS_FILE_ERROR;
        source->cur = props->jpeg_buffer + entry.position;
        source->end = props->jpeg_buffer + props->jpeg_buffer_size;
        source->position = static_cast<int32_t>(entry.position);
        source->avail = static_cast<uint32_t>(props->jpeg_buffer_size - entry.position);
    }
    for (int32_t i = 0; i < 4; ++i) scan->dc_predictors[i] = entry.predictors[i];
    source->bit_acc = entry.accumulator;
    source->bit_count = entry.bit_count;
    source->pending_marker = entry.marker;
    return STATUS_SUCCESS;
}

// ---------------------------------------------------------------------------
// Scan dispatch
// ---------------------------------------------------------------------------

JPEG_STATUS decode_scan(BYTE_SOURCE* source, SCAN_INFO* scan, JPEG_PROPERTIES* props) {
    if (source == nullptr || scan == nullptr || props == nullptr || props->stage_table == nullptr)
        return STATUS_INTERNAL_ERROR;
    STAGE_TABLE* table = props->stage_table;

    if (props->idct_family == 1) {
        table->active_idct_8x8 = table->idct_direct_8x8;
        table->active_idct_4x4 = table->idct_direct_4x4;
        table->active_idct_2x2 = table->idct_direct_2x2;
        table->active_idct_1x1 = table->idct_direct_1x1;
        table->active_dequantize = table->dequantize_direct;
    } else {
        table->active_idct_8x8 = table->idct_scaled_8x8;
        table->active_idct_4x4 = table->idct_scaled_4x4;
        table->active_idct_2x2 = table->idct_scaled_2x2;
        table->active_idct_1x1 = table->idct_scaled_1x1;
        table->active_dequantize = table->dequantize_scaled;
    }

    const int32_t scale = scale_for_request(props->io_mode);
    SCAN_LAYOUT layout;
    JPEG_STATUS status = describe_scan(scan, props, scale, &layout);
    if (status != STATUS_SUCCESS) return status;

    // Never call an empty stage word: a scan whose routines are missing (for
    // example no output member suits the requested pixel layout) is refused
    // before a single block is decoded.
    const bool progressive = props->progressive_scans != 0;
    if (table->decode_block == nullptr || table->decode_block_dc_only == nullptr ||
        table->active_dequantize == nullptr || table->active_idct_8x8 == nullptr ||
        table->active_idct_4x4 == nullptr || table->active_idct_2x2 == nullptr || table->active_idct_1x1 == nullptr)
        return STATUS_INTERNAL_ERROR;
    if (layout.output_step && props->coef_output == nullptr) {
        if (props->dib_pixels == nullptr) return STATUS_INVALID_PROPERTIES;
        if (scale == 1 && table->active_output_driver == nullptr) return STATUS_INVALID_PROPERTIES;
    }
    status = check_coefficient_target(props);
    if (status != STATUS_SUCCESS) return status;
    // Inverse-transformed planes are written per frame MCU by the output step,
    // which a scan carrying only some of the components cannot supply.
    if (props->coef_output != nullptr && layout.output_step && !progressive &&
        layout.component_count < props->frame.component_count)
        return STATUS_NOT_SUPPORTED;

    const int32_t width = layout.width;
    const int32_t height = layout.height;
    const bool region = (props->roi_right != 0 && props->roi_right < width) ||
                        (props->roi_bottom != 0 && props->roi_bottom < height) || props->roi_top > 0 ||
                        props->roi_left > 0;
    if (region) {
        if (props->roi_right > width) props->roi_right = width;
        if (props->roi_bottom > height) props->roi_bottom = height;
        if (props->roi_left < 0) props->roi_left = 0;
        if (props->roi_top < 0) props->roi_top = 0;
        status = ensure_row_index(props, layout.mcu_rows);
        if (status != STATUS_SUCCESS) return status;
    }

    if (progressive)
        status = region ? decode_progressive_region(source, scan, props, scale)
                        : decode_progressive_scan(source, scan, props, scale);
    else
        status = region ? decode_sequential_region(source, scan, props, scale)
                        : decode_sequential_scan(source, scan, props, scale);

    if (status == STATUS_SUCCESS) source->bit_count = 0;
    if (table->finish_request != nullptr) table->finish_request();
    return status;
}

// ---------------------------------------------------------------------------
// Sequential drivers
// ---------------------------------------------------------------------------

JPEG_STATUS decode_sequential_scan(BYTE_SOURCE* source, SCAN_INFO* scan, JPEG_PROPERTIES* props,
                                   int32_t scale_factor) {
    SCAN_LAYOUT layout;
    JPEG_STATUS status = describe_scan(scan, props, scale_factor, &layout);
    if (status != STATUS_SUCCESS) return status;
    const int32_t mcus_per_row = layout.mcus_per_row;
    const int32_t mcu_rows = layout.mcu_rows;
    const int32_t lag_h = layout.lag_h, lag_v = layout.lag_v;
    const bool output = layout.output_step != 0;

    int32_t resume_col = scan->resume_state[0] > 0 ? scan->resume_state[0] : 0;
    const int32_t resume_row = scan->resume_state[1] > 0 ? scan->resume_state[1] : 0;
    OUTPUT_PLAN plan;
    const bool planned = output && plan_output(props, source, scan, layout, &plan);
    DECODE_PLAN decode_plan;
    const int64_t mcus = static_cast<int64_t>(mcus_per_row) * (mcu_rows - resume_row) - resume_col;
    const bool decode_planned = plan_decode(scan, props, layout, mcus, &decode_plan);

    for (int32_t row = resume_row; row < mcu_rows; ++row) {
        for (int32_t col = row == resume_row ? resume_col : 0; col < mcus_per_row; ++col) {
            int16_t* decoded = props->mcu_buffer;
            if (decode_planned) {
                if (planned) decoded = planned_destination(plan, col, row);
                status = decode_planned_mcu(source, scan, decode_plan, decoded);
            } else {
                status = decode_sequential_mcu(source, scan, props, layout, col, row);
            }
            if (status < 0) return status;
            status = process_restart(source, scan, mcus_per_row, mcu_rows, col, row);
            if (status != 0) return status;
            if (planned)
                output_planned_mcu(plan, col, row, decoded);
            else if (output)
                emit_mcu(props, source, scan, layout, col, row);
            status = check_interrupt(props, scan, col, row, mcus_per_row, mcu_rows, lag_h, lag_v);
            if (status >= 0) return status;
        }
        if (lag_h && output) {
            emit_mcu(props, source, scan, layout, mcus_per_row, row);
            status = check_interrupt(props, scan, mcus_per_row, row, mcus_per_row, mcu_rows, lag_h, lag_v);
            if (status >= 0) return status;
        }
    }
    if (lag_v && output) {
        // The last MCU row is still owed: release it with the flush row.
        for (int32_t col = resume_row == mcu_rows ? resume_col : 0; col < mcus_per_row; ++col) {
            emit_mcu(props, source, scan, layout, col, mcu_rows);
            status = check_interrupt(props, scan, col, mcu_rows, mcus_per_row, mcu_rows, lag_h, lag_v);
            if (status >= 0) return status;
        }
        if (lag_h) {
            emit_mcu(props, source, scan, layout, mcus_per_row, mcu_rows);
            status = check_interrupt(props, scan, mcus_per_row, mcu_rows, mcus_per_row, mcu_rows, lag_h, lag_v);
            if (status >= 0) return status;
        }
    }
    scan->resume_state[0] = 0;
    scan->resume_state[1] = 0;
    return STATUS_SUCCESS;
}

JPEG_STATUS decode_sequential_region(BYTE_SOURCE* source, SCAN_INFO* scan, JPEG_PROPERTIES* props,
                                     int32_t scale_factor) {
    SCAN_LAYOUT layout;
    JPEG_STATUS status = describe_scan(scan, props, scale_factor, &layout);
    if (status != STATUS_SUCCESS) return status;
    const int32_t mcus_per_row = layout.mcus_per_row;
    const int32_t mcu_rows = layout.mcu_rows;
    const int32_t lag_h = layout.lag_h, lag_v = layout.lag_v;
    const bool output = layout.output_step != 0;
    const bool later_pass = props->multi_scan == 1 && props->decoded_components != 0;
    const int32_t scale = scale_factor > 0 ? scale_factor : 1;

    const bool single = layout.component_count == 1;
    const int32_t mcu_w = (single ? 8 * layout.max_h / layout.h_samp[0] : 8 * layout.max_h) / scale;
    const int32_t mcu_h = (single ? 8 * layout.max_v / layout.v_samp[0] : 8 * layout.max_v) / scale;
    int32_t left, top, right, bottom;
    region_in_mcus(props, mcu_w, mcu_h, mcus_per_row, mcu_rows, lag_h, lag_v, &left, &top, &right, &bottom);

    int32_t resume_col = scan->resume_state[0] > 0 ? scan->resume_state[0] : 0;
    const int32_t resume_row = scan->resume_state[1] > 0 ? scan->resume_state[1] : 0;
    const int32_t start = resume_row > top ? resume_row : top;

    if (resume_col == 0 && resume_row < mcu_rows) {
        // The stream stands at the start of the resume row. Reach row start.
        if (later_pass) {
            for (int32_t row = resume_row; row < start; ++row) {
                status = skip_columns(source, scan, props, layout, row, 0, mcus_per_row);
                if (status != STATUS_SUCCESS) return status;
            }
        } else {
            // The index holds the rows of one scan. A scan starting afresh (its
            // record has never been indexed; SCAN_INFO's reserved word marks one
            // that has) forgets what another scan left there, since restoring such
            // an entry would send the reader back into that scan's data, over and
            // over. A kept scan resumed for another region finds the stream where
            // the last region left it, not at the resume row, so it always starts
            // from a row it has recorded.
            const bool resumed = scan->reserved != 0;
            if (!resumed) {
                forget_row_index(props);
                save_row_entry(resume_row, source, scan, props);
                scan->reserved = 1;
            }
            if (start != resume_row || resumed) {
                int32_t from = start;
                while (from > 0 && !row_entry_known(props, from)) --from;
                // The live position is nearer than any earlier entry when it lies
                // between that entry and the start row.
                if (!resumed && resume_row <= start && resume_row >= from) from = resume_row;
                if (resumed || from != resume_row) {
                    if (restore_row_entry(from, source, scan, props) != STATUS_SUCCESS) return STATUS_FILE_ERROR;
                }
                for (int32_t row = from; row < start; ++row) {
                    status = skip_columns(source, scan, props, layout, row, 0, mcus_per_row);
                    if (status != STATUS_SUCCESS) return status;
                    if (!row_entry_known(props, row + 1)) save_row_entry(row + 1, source, scan, props);
                }
            }
        }
    }

    for (int32_t row = start; row < bottom; ++row) {
        const int32_t first = row == resume_row ? resume_col : 0;
        status = skip_columns(source, scan, props, layout, row, first, left);
        if (status != STATUS_SUCCESS) return status;
        if (output) {
            const int32_t skip = first - left > 0 ? first - left : 0;
            set_out_pointer(props, row - top, mcu_h, skip, mcu_w);
        }
        for (int32_t col = first > left ? first : left; col < right; ++col) {
            if (decode_sequential_mcu(source, scan, props, layout, col, row) < 0) return STATUS_DATA_ERROR;
            if (process_restart(source, scan, mcus_per_row, mcu_rows, col, row) != 0) return STATUS_BAD_RST_MARKER;
            if (output) emit_mcu(props, source, scan, layout, col, row);
            if (props->interrupt_request != 0 && props->multi_scan == 0 && !(lag_h && col == left) &&
                !(lag_v && row == top)) {
                if (col != right - 1 + lag_h) {
                    scan->resume_state[0] = (col + 1) % (right + lag_h);
                    scan->resume_state[1] = row;
                    props->roi_left = props->roi_right = col - lag_h;
                    props->roi_top = props->roi_bottom = row - lag_v;
                    return STATUS_INTERRUPT_SUCCESS;
                }
                scan->resume_state[0] = 0;
                scan->resume_state[1] = 0;
            }
        }
        if (lag_h && output) {
            // The delayed MCU is owed only when the row reaches the image's right
            // edge; otherwise the widened last column lies outside the region.
            if (right == mcus_per_row) emit_mcu(props, source, scan, layout, right, row);
            if (props->interrupt_request != 0 && props->multi_scan == 0) {
                scan->resume_state[0] = 0;
                scan->resume_state[1] = 0;
            }
        }
        if (row + 1 < mcu_rows) {
            // Reach the start of the next row.
            if (later_pass) {
                status = skip_columns(source, scan, props, layout, row, right, mcus_per_row);
                if (status != STATUS_SUCCESS) return status;
            } else if (!row_entry_known(props, row + 1)) {
                status = skip_columns(source, scan, props, layout, row, right, mcus_per_row);
                if (status != STATUS_SUCCESS) return status;
                save_row_entry(row + 1, source, scan, props);
            } else if (right < mcus_per_row) {
                if (restore_row_entry(row + 1, source, scan, props) != STATUS_SUCCESS) return STATUS_FILE_ERROR;
            }
        }
        resume_col = 0;
    }
    if (lag_v && output && bottom == mcu_rows && start < bottom) {
        // As at the right edge, only a region that reaches the bottom edge owes a row.
        for (int32_t col = left; col < right + lag_h; ++col) emit_mcu(props, source, scan, layout, col, bottom);
    }
    scan->resume_state[0] = 0;
    scan->resume_state[1] = 0;
    if (props->stage_table->finish_request != nullptr) props->stage_table->finish_request();
    if (props->multi_scan == 1 && props->components_done < props->frame.component_count) return STATUS_SUCCESS;
    return STATUS_ROI_SUCCESS;
}

}  // namespace vantorel

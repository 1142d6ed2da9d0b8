// Progressive scans: the four block routines and the two drivers.
//
// A progressive frame sends each block's coefficients over several scans (DC
// first, then spectral bands of AC coefficients, each refined bit by bit), so
// every coefficient of the frame is kept in the whole-image store coef_buffer
// and each scan adds its part in place. The image is rendered from the store
// once every component has its DC at full precision and its last AC band has
// begun; from then on each scan renders it again as it goes.
//
// Block order. An interleaved (DC) scan walks the frame's MCUs. A scan of one
// component walks that component's own blocks row by row, which for a
// subsampled component is not the MCU order; both land in the store at the
// block's place inside its frame MCU.
#include <cstring>

#include "codec/codec.h"
#include "codec/decoder/bit_reader.h"
#include "codec/decoder/decoder.h"

namespace vantorel {

namespace {

// Reads s magnitude bits and extends them to a signed value. Returns 0, a
// negative status, or MARKER_REACHED.
inline JPEG_STATUS read_magnitude(BYTE_SOURCE* source, int32_t s, int32_t* value) {
    return next_value(source, s, value);
}

inline JPEG_STATUS read_bit(BYTE_SOURCE* source, uint32_t* bit) {
    if (source->bit_count < 1) {
        const JPEG_STATUS status = top_up(source, 1);
        if (status != STATUS_SUCCESS) return status;
    }
    *bit = get_bits(source, 1);
    return STATUS_SUCCESS;
}

// Length of an end-of-band run announced by a symbol with run field r: 2^r plus
// r further bits.
inline JPEG_STATUS read_eob_run(BYTE_SOURCE* source, int32_t r, int32_t* run) {
    int32_t length = 1 << r;
    if (r > 0) {
        if (source->bit_count < r) {
            const JPEG_STATUS status = top_up(source, r);
            if (status != STATUS_SUCCESS) return status;
        }
        length += static_cast<int32_t>(get_bits(source, r));
    }
    *run = length;
    return STATUS_SUCCESS;
}

// A correction bit for a coefficient already non-zero: a 1 adds one unit of
// this scan's precision away from zero, unless that bit is already set.
inline JPEG_STATUS refine_coefficient(BYTE_SOURCE* source, int16_t* coefficient, int32_t p1) {
    uint32_t bit = 0;
    const JPEG_STATUS status = read_bit(source, &bit);
    if (status != STATUS_SUCCESS) return status;
    const int32_t c = *coefficient;
    if (bit != 0 && (c & p1) == 0) *coefficient = static_cast<int16_t>(static_cast<uint16_t>(c >= 0 ? c + p1 : c - p1));
    return STATUS_SUCCESS;
}

// Zig-zag position of each natural index (the inverse of natural_order).
struct ZIGZAG_POSITIONS {
    int16_t of[64];
    constexpr ZIGZAG_POSITIONS() : of{} {
        constexpr int32_t order[64] = {
            0,  1,  8,  16, 9,  2,  3,  10, 17, 24, 32, 25, 18, 11, 4,  5,  12, 19, 26, 33, 40, 48,
            41, 34, 27, 20, 13, 6,  7,  14, 21, 28, 35, 42, 49, 56, 57, 50, 43, 36, 29, 22, 15, 23,
            30, 37, 44, 51, 58, 59, 52, 45, 38, 31, 39, 46, 53, 60, 61, 54, 47, 55, 62, 63,
        };
        for (int32_t k = 0; k < 64; ++k) of[order[k]] = static_cast<int16_t>(k);
    }
};
constexpr ZIGZAG_POSITIONS kZigzag{};

// The highest zig-zag position in first..last whose coefficient is non-zero,
// or first - 1 when there is none. Most blocks of a late refinement scan hold a
// few low-frequency values and nothing in the rest of the band, so this looks
// at eight coefficients at a time, without branches (vector types of the
// compiler: packed registers where the processor has them, plain code
// elsewhere).
using Lanes16 = int16_t __attribute__((vector_size(16)));

inline int32_t last_nonzero_in_band(const int16_t* block, int32_t first, int32_t last) {
    const Lanes16 lo = Lanes16{} + static_cast<int16_t>(first);
    const Lanes16 hi = Lanes16{} + static_cast<int16_t>(last);
    Lanes16 found = lo - 1;
    for (int32_t i = 0; i < 64; i += 8) {
        Lanes16 c, z;
        std::memcpy(&c, block + i, sizeof c);
        std::memcpy(&z, kZigzag.of + i, sizeof z);
        const Lanes16 wanted = (c != 0) & (z >= lo) & (z <= hi);
        const Lanes16 candidate = (z & wanted) | (found & ~wanted);
        const Lanes16 higher = candidate > found;
        found = (candidate & higher) | (found & ~higher);
    }
    int32_t best = first - 1;
    for (int32_t l = 0; l < 8; ++l) best = found[l] > best ? found[l] : best;
    return best;
}

// Maps the result of a bit-reader step inside a block routine: a marker ends
// the block quietly, a failure travels up.
inline JPEG_STATUS block_result(JPEG_STATUS status) {
    return status < 0 ? status : STATUS_SUCCESS;
}

// Which MCUs of the frame get output, and in which mode.
struct OUTPUT_WINDOW {
    int32_t left, top, right, bottom;
    bool region;
};

struct PROGRESSIVE_RUN {
    BYTE_SOURCE* source;
    SCAN_INFO* scan;
    JPEG_PROPERTIES* props;
    const SCAN_LAYOUT* layout;
    OUTPUT_WINDOW window;
    bool output_enabled;
};

int16_t* store_block(const PROGRESSIVE_RUN& run, int32_t col, int32_t row, int32_t frame_index, int32_t h, int32_t v) {
    const SCAN_LAYOUT& L = *run.layout;
    const COMPONENT_INFO& c = run.props->frame.components[frame_index];
    const size_t mcu = static_cast<size_t>(row) * static_cast<size_t>(L.frame_mcus_per_row) + static_cast<size_t>(col);
    const size_t block = mcu * static_cast<size_t>(L.frame_mcu_blocks) +
                         static_cast<size_t>(L.frame_block_offset[frame_index] + v * c.h_samp + h);
    return run.props->coef_buffer + block * 64;
}

// How many blocks ahead of the one being decoded a one-component walk asks
// for, and the request itself: both 64-byte halves of a 128-byte block. A hint
// only; it never faults and changes no result.
constexpr int32_t kPrefetchAhead = 6;

inline void prefetch_block(const int16_t* block) {
#if defined(__GNUC__) || defined(__clang__)
    __builtin_prefetch(block);
    __builtin_prefetch(block + 32);
#else
    (void)block;
#endif
}

// Sends one MCU of the store on: into the caller's planes as stored, or
// dequantised through the output step.
void output_store_mcu(const PROGRESSIVE_RUN& run, int32_t col, int32_t row) {
    const SCAN_LAYOUT& L = *run.layout;
    JPEG_PROPERTIES* props = run.props;
    const int16_t* mcu = store_block(run, col, row, 0, 0, 0);
    const int32_t nf = props->frame.component_count;
    if (L.coefficient_mode) {
        for (int32_t fi = 0; fi < nf; ++fi) {
            const COMPONENT_INFO& c = props->frame.components[fi];
            for (int32_t v = 0; v < c.v_samp; ++v)
                for (int32_t h = 0; h < c.h_samp; ++h)
                    store_block_in_plane(props, &L, fi, col * c.h_samp + h, row * c.v_samp + v,
                                         mcu + (L.frame_block_offset[fi] + v * c.h_samp + h) * 64);
        }
        return;
    }
    // The store keeps the quantised values for later refinement; work on a copy.
    g_copy_bytes(props->mcu_buffer, mcu, static_cast<size_t>(L.frame_mcu_blocks) * 64 * sizeof(int16_t));
    int16_t* block = props->mcu_buffer;
    for (int32_t fi = 0; fi < nf; ++fi) {
        const COMPONENT_INFO& c = props->frame.components[fi];
        const QUANT_VALUE* values = props->quant_tables[c.quant_selector].quant_values;
        for (int32_t b = 0; b < c.h_samp * c.v_samp; ++b, block += 64)
            props->stage_table->active_dequantize(block, values);
    }
    output_mcu(props, run.source, run.scan, col, row, L.frame_mcu_blocks, props->mcu_buffer, L.frame_mcus_per_row,
               L.frame_mcu_rows, L.scale_factor, L.simple_sampling);
}

void flush_call(const PROGRESSIVE_RUN& run, int32_t col, int32_t row) {
    const SCAN_LAYOUT& L = *run.layout;
    output_mcu(run.props, run.source, run.scan, col, row, L.frame_mcu_blocks, run.props->mcu_buffer,
               L.frame_mcus_per_row, L.frame_mcu_rows, L.scale_factor, L.simple_sampling);
}

bool row_in_window(const PROGRESSIVE_RUN& run, int32_t row) {
    return row >= run.window.top && row < run.window.bottom;
}

void point_at_region_row(const PROGRESSIVE_RUN& run, int32_t row, int32_t first_col) {
    JPEG_PROPERTIES* props = run.props;
    if (!run.window.region || props->dib_pixels == nullptr || run.layout->coefficient_mode) return;
    const SCAN_LAYOUT& L = *run.layout;
    const int32_t skip = first_col - run.window.left > 0 ? first_col - run.window.left : 0;
    // A hint only (the writers place each MCU themselves): wrapping unsigned
    // arithmetic, never pointer arithmetic outside the DIB.
    const uintptr_t across =
        static_cast<uintptr_t>(skip) * static_cast<uintptr_t>(props->dib_channels) * static_cast<uintptr_t>(L.max_h);
    const uintptr_t down = static_cast<uintptr_t>(row - run.window.top) * static_cast<uintptr_t>(L.max_v) *
                           static_cast<uintptr_t>(props->dib_stride);
    const uintptr_t offset = (across + down) * 8u / static_cast<uintptr_t>(L.scale_factor);
    run.source->mcu_out_ptr = reinterpret_cast<uint8_t*>(reinterpret_cast<uintptr_t>(props->dib_pixels) + offset);
}

// Output of a whole MCU row after a band walk (AC scans, one-component DC scans).
void output_mcu_row(const PROGRESSIVE_RUN& run, int32_t row) {
    if (!run.output_enabled) return;
    const SCAN_LAYOUT& L = *run.layout;
    if (!row_in_window(run, row)) return;
    point_at_region_row(run, row, 0);
    for (int32_t col = run.window.left; col < run.window.right; ++col) output_store_mcu(run, col, row);
    // The delayed MCU at the right edge; a region ending earlier owes none.
    if (L.lag_h && L.output_step && run.window.right == L.frame_mcus_per_row)
        flush_call(run, L.frame_mcus_per_row, row);
}

// The final flush row that releases the last MCU row with vertical smoothing.
void output_flush_row(const PROGRESSIVE_RUN& run, int32_t first_col) {
    const SCAN_LAYOUT& L = *run.layout;
    if (!run.output_enabled || !L.lag_v || !L.output_step) return;
    if (run.window.bottom != L.frame_mcu_rows) return;
    const int32_t from = first_col > run.window.left ? first_col : run.window.left;
    for (int32_t col = from; col < run.window.right + L.lag_h; ++col) flush_call(run, col, L.frame_mcu_rows);
}

// Decodes one block of the scan's component i in place in the store.
JPEG_STATUS decode_store_block(const PROGRESSIVE_RUN& run, int32_t i, int16_t* block) {
    SCAN_INFO* scan = run.scan;
    const SCAN_COMPONENT& comp = scan->components[i];
    BYTE_SOURCE* source = run.source;
    if (scan->ss == 0) {
        if (scan->ah != 0) return decode_dc_refine(source, block, scan->al);
        g_zero_bytes(block, 64 * sizeof(int16_t));
        int16_t predictor = static_cast<int16_t>(scan->dc_predictors[i]);
        const JPEG_STATUS status = decode_dc_first(source, comp.dc_table, block, &predictor, scan->al);
        scan->dc_predictors[i] = predictor;
        return status;
    }
    if (scan->ah != 0) return decode_ac_refine(source, block, comp.ac_table, scan->ss, scan->se, scan->al);
    return decode_ac_first(source, block, comp.ac_table, scan->ss, scan->se, scan->al);
}

// The status a region driver ends a scan with: ROI Success once the image has
// been rendered, 0 while further scans are needed.
JPEG_STATUS region_end(const JPEG_PROPERTIES* props) {
    const int32_t nf = props->frame.component_count;
    return props->dc_components_done >= nf && props->components_done >= nf ? STATUS_ROI_SUCCESS : STATUS_SUCCESS;
}

// Walks the frame's MCUs: interleaved DC scans and DC scans of a component with
// one block per MCU.
JPEG_STATUS walk_mcus(const PROGRESSIVE_RUN& run) {
    const SCAN_LAYOUT& L = *run.layout;
    SCAN_INFO* scan = run.scan;
    JPEG_PROPERTIES* props = run.props;
    const int32_t mpr = L.frame_mcus_per_row, rows = L.frame_mcu_rows;
    const int32_t lag_h = L.lag_h, lag_v = L.lag_v;
    const bool region = run.window.region;
    const bool outputs = run.output_enabled;
    const int32_t resume_col = scan->resume_state[0] > 0 ? scan->resume_state[0] : 0;
    const int32_t resume_row = scan->resume_state[1] > 0 ? scan->resume_state[1] : 0;

    // Interrupt check after MCU (col, row). A region wraps at the grid itself
    // and finishes without the flush row; the whole image follows the common
    // protocol. Returns -1 to go on, -2 when a region scan is complete.
    auto interrupt = [&](int32_t col, int32_t row) -> JPEG_STATUS {
        if (!region) return check_interrupt(props, scan, col, row, mpr, rows, outputs ? lag_h : 0, outputs ? lag_v : 0);
        if (props->interrupt_request == 0) return -1;
        if (lag_h && col == 0) return -1;
        if (lag_v && row == 0) return -1;
        const int32_t next_col = col + 1 >= mpr ? 0 : col + 1;
        if (next_col == 0 && row + 1 >= rows) return -2;
        scan->resume_state[0] = next_col;
        scan->resume_state[1] = next_col == 0 ? row + 1 : row;
        props->roi_left = props->roi_right = col - lag_h;
        props->roi_top = props->roi_bottom = row - lag_v;
        return STATUS_INTERRUPT_SUCCESS;
    };

    bool complete = false;  // a region scan whose interrupt check found it finished
    for (int32_t row = resume_row; row < rows && !complete; ++row) {
        const int32_t first = row == resume_row ? resume_col : 0;
        const bool out_row = outputs && row_in_window(run, row);
        if (out_row) point_at_region_row(run, row, first);
        for (int32_t col = first; col < mpr; ++col) {
            for (int32_t i = 0; i < L.component_count; ++i) {
                const int32_t fi = L.frame_index[i];
                const COMPONENT_INFO& c = props->frame.components[fi];
                const int32_t h_count = L.component_count == 1 ? 1 : c.h_samp;
                const int32_t v_count = L.component_count == 1 ? 1 : c.v_samp;
                for (int32_t v = 0; v < v_count; ++v) {
                    for (int32_t h = 0; h < h_count; ++h) {
                        const JPEG_STATUS status = decode_store_block(run, i, store_block(run, col, row, fi, h, v));
                        if (status < 0) return status;
                    }
                }
            }
            if (process_restart(run.source, scan, mpr, rows, col, row) != 0) return STATUS_BAD_RST_MARKER;
            if (out_row && col >= run.window.left && col < run.window.right) output_store_mcu(run, col, row);
            const JPEG_STATUS status = interrupt(col, row);
            if (status == -2) {
                complete = true;
                break;
            }
            if (status >= 0) return status;
        }
        if (lag_h && out_row && L.output_step) {
            if (!region || run.window.right == mpr) flush_call(run, mpr, row);
            if (!region) {
                const JPEG_STATUS status = check_interrupt(props, scan, mpr, row, mpr, rows, lag_h, lag_v);
                if (status >= 0) return status;
            }
        }
    }
    if (!region && outputs && lag_v && L.output_step) {
        for (int32_t col = resume_row == rows ? resume_col : 0; col < mpr + lag_h; ++col) {
            flush_call(run, col, rows);
            const JPEG_STATUS status = check_interrupt(props, scan, col, rows, mpr, rows, lag_h, lag_v);
            if (status >= 0) return status;
        }
    } else if (region) {
        output_flush_row(run, 0);
    }
    scan->resume_state[0] = 0;
    scan->resume_state[1] = 0;
    return region ? region_end(props) : STATUS_SUCCESS;
}

// Walks the blocks of a one-component scan in the component's own raster
// order, MCU row by MCU row of the frame, outputting each MCU row once its
// blocks are all in.
JPEG_STATUS walk_component_blocks(const PROGRESSIVE_RUN& run) {
    const SCAN_LAYOUT& L = *run.layout;
    SCAN_INFO* scan = run.scan;
    JPEG_PROPERTIES* props = run.props;
    const int32_t fi = L.frame_index[0];
    const int32_t h_samp = L.h_samp[0], v_samp = L.v_samp[0];
    const int32_t blocks_across = L.mcus_per_row, blocks_down = L.mcu_rows;
    const int32_t rows = L.frame_mcu_rows;
    const int32_t lag_v = L.lag_v;
    const bool region = run.window.region;
    const int32_t resume_row = scan->resume_state[1] > 0 ? scan->resume_state[1] : 0;

    for (int32_t row = resume_row; row < rows; ++row) {
        for (int32_t v = 0; v < v_samp; ++v) {
            const int32_t by = row * v_samp + v;
            if (by >= blocks_down) break;
            for (int32_t bx = 0; bx < blocks_across; ++bx) {
                // The store is far larger than the caches, and a subsampled
                // component's blocks lie an MCU apart in it, a stride the
                // hardware does not foresee: ask for a block some way ahead.
                if (bx + kPrefetchAhead < blocks_across) {
                    const int32_t ahead = bx + kPrefetchAhead;
                    prefetch_block(store_block(run, ahead / h_samp, row, fi, ahead % h_samp, v));
                }
                int16_t* block = store_block(run, bx / h_samp, row, fi, bx % h_samp, v);
                const JPEG_STATUS status = decode_store_block(run, 0, block);
                if (status < 0) return status;
                if (process_restart(run.source, scan, blocks_across, blocks_down, bx, by) != 0)
                    return STATUS_BAD_RST_MARKER;
            }
        }
        output_mcu_row(run, row);
        if (props->interrupt_request != 0) {
            scan->resume_state[0] = 0;
            scan->resume_state[1] = row + 1;
            if (row + 1 == rows + lag_v) {
                scan->resume_state[1] = 0;
                if (region) break;
                return STATUS_SUCCESS;
            }
            props->roi_left = props->roi_right = L.frame_mcus_per_row - 1;
            props->roi_top = props->roi_bottom = region ? row - lag_v : row;
            return STATUS_INTERRUPT_SUCCESS;
        }
    }
    if (region) {
        output_flush_row(run, 0);
    } else if (run.output_enabled && lag_v && L.output_step) {
        for (int32_t col = 0; col < L.frame_mcus_per_row + L.lag_h; ++col) flush_call(run, col, rows);
    }
    scan->resume_state[0] = 0;
    scan->resume_state[1] = 0;
    return region ? region_end(props) : STATUS_SUCCESS;
}

JPEG_STATUS run_progressive(BYTE_SOURCE* source, SCAN_INFO* scan, JPEG_PROPERTIES* props, int32_t scale_factor,
                            bool region) {
    SCAN_LAYOUT layout;
    JPEG_STATUS status = describe_scan(scan, props, scale_factor, &layout);
    if (status != STATUS_SUCCESS) return status;
    // The dispatcher makes the store, zero-filled, for the current frame at the
    // first progressive scan (and anew whenever the frame's shape changes).
    if (props->coef_buffer == nullptr) return STATUS_MEMORY_ERROR;

    PROGRESSIVE_RUN run{source, scan, props, &layout, {0, 0, layout.frame_mcus_per_row, layout.frame_mcu_rows, false},
                        false};
    const int32_t nf = props->frame.component_count;
    run.output_enabled = props->dc_components_done >= nf && props->components_done >= nf;
    if (region) {
        const int32_t scale = scale_factor > 0 ? scale_factor : 1;
        int32_t mcu_w = 8 * layout.max_h / scale, mcu_h = 8 * layout.max_v / scale;
        region_in_mcus(props, mcu_w, mcu_h, layout.frame_mcus_per_row, layout.frame_mcu_rows, layout.lag_h,
                       layout.lag_v, &run.window.left, &run.window.top, &run.window.right, &run.window.bottom);
        run.window.region = true;
    }
    // One-component scans follow the component's block order; only when the
    // component has a single block per MCU is that the MCU order as well.
    const bool by_blocks = layout.component_count == 1 && layout.h_samp[0] * layout.v_samp[0] > 1;
    if (scan->ss == 0 && !by_blocks) return walk_mcus(run);
    return walk_component_blocks(run);
}

}  // namespace

// ---------------------------------------------------------------------------
// Block routines
// ---------------------------------------------------------------------------

JPEG_STATUS decode_dc_first(BYTE_SOURCE* source, const HUFF_DECODE_TABLE* dc_table, int16_t* block, int16_t* predictor,
                            int32_t al) {
    int32_t symbol = 0;
    JPEG_STATUS status = next_symbol(source, dc_table, &symbol);
    if (status != STATUS_SUCCESS) return block_result(status);
    const int32_t s = symbol & 15;
    if (s > 0) {
        int32_t diff = 0;
        status = read_magnitude(source, s, &diff);
        if (status != STATUS_SUCCESS) return block_result(status);
        *predictor = static_cast<int16_t>(static_cast<uint16_t>(*predictor + diff));
    }
    block[0] =
        static_cast<int16_t>(static_cast<uint16_t>(static_cast<uint32_t>(static_cast<uint16_t>(*predictor)) << al));
    return STATUS_SUCCESS;
}

JPEG_STATUS decode_dc_refine(BYTE_SOURCE* source, int16_t* block, int32_t al) {
    uint32_t bit = 0;
    const JPEG_STATUS status = read_bit(source, &bit);
    if (status != STATUS_SUCCESS) return block_result(status);
    if (bit != 0) block[0] = static_cast<int16_t>(static_cast<uint16_t>(block[0]) | (1u << al));
    return STATUS_SUCCESS;
}

JPEG_STATUS decode_ac_first(BYTE_SOURCE* source, int16_t* block, const HUFF_DECODE_TABLE* ac_table, int32_t ss,
                            int32_t se, int32_t al) {
    if (source->eob_run > 0) {
        --source->eob_run;
        return STATUS_SUCCESS;
    }
    for (int32_t k = ss; k <= se;) {
        int32_t symbol = 0;
        JPEG_STATUS status = next_symbol(source, ac_table, &symbol);
        if (status != STATUS_SUCCESS) return block_result(status);
        const int32_t r = symbol >> 4, s = symbol & 15;
        if (s == 0) {
            if (r < 15) {
                int32_t run = 0;
                status = read_eob_run(source, r, &run);
                if (status != STATUS_SUCCESS) return block_result(status);
                source->eob_run = run - 1;  // this block is the first of the run
                break;
            }
            k += 16;
            continue;
        }
        // k <= 63 and r <= 15 here: the guard entries of natural_order catch a
        // run that overshoots the band.
        k += r;
        int32_t value = 0;
        status = read_magnitude(source, s, &value);
        if (status != STATUS_SUCCESS) return block_result(status);
        block[natural_order[k]] = static_cast<int16_t>(static_cast<uint16_t>(static_cast<uint32_t>(value) << al));
        ++k;
    }
    return STATUS_SUCCESS;
}

JPEG_STATUS decode_ac_refine(BYTE_SOURCE* source, int16_t* block, const HUFF_DECODE_TABLE* ac_table, int32_t ss,
                             int32_t se, int32_t al) {
    const int32_t p1 = 1 << al;
    int32_t k = ss;
    JPEG_STATUS status = STATUS_SUCCESS;
    if (source->eob_run == 0) {
        while (k <= se) {
            int32_t symbol = 0;
            status = next_symbol(source, ac_table, &symbol);
            if (status != STATUS_SUCCESS) return block_result(status);
            int32_t r = symbol >> 4;
            const int32_t s = symbol & 15;
            bool has_value = false;
            int16_t value = 0;
            if (s == 0 && r < 15) {
                int32_t run = 0;
                status = read_eob_run(source, r, &run);
                if (status != STATUS_SUCCESS) return block_result(status);
                source->eob_run = run;
                break;  // the rest of this band is refined as part of the run
            }
            if (s != 0) {
                uint32_t bit = 0;
                status = read_bit(source, &bit);
                if (status != STATUS_SUCCESS) return block_result(status);
                value = static_cast<int16_t>(bit != 0 ? p1 : -p1);
                has_value = true;
            }
            // Pass over r coefficients still zero (correcting the non-zero ones
            // met on the way); the new value goes to the zero after them.
            while (k <= se) {
                int16_t* coefficient = &block[natural_order[k]];
                if (*coefficient != 0) {
                    status = refine_coefficient(source, coefficient, p1);
                    if (status != STATUS_SUCCESS) return block_result(status);
                } else if (--r < 0) {
                    break;
                }
                ++k;
            }
            // k is at most se + 1 <= 64, within natural_order and its guards.
            if (has_value) block[natural_order[k]] = value;
            ++k;
        }
    }
    if (source->eob_run > 0) {
        // Only coefficients already non-zero take a correction bit here; past
        // the last of them in the band there is nothing to read.
        const int32_t last = last_nonzero_in_band(block, k, se);
        for (; k <= last; ++k) {
            int16_t* coefficient = &block[natural_order[k]];
            if (*coefficient != 0) {
                status = refine_coefficient(source, coefficient, p1);
                if (status != STATUS_SUCCESS) return block_result(status);
            }
        }
        --source->eob_run;
    }
    return STATUS_SUCCESS;
}

// ---------------------------------------------------------------------------
// Drivers
// ---------------------------------------------------------------------------

JPEG_STATUS decode_progressive_scan(BYTE_SOURCE* source, SCAN_INFO* scan, JPEG_PROPERTIES* props,
                                    int32_t scale_factor) {
    return run_progressive(source, scan, props, scale_factor, false);
}

JPEG_STATUS decode_progressive_region(BYTE_SOURCE* source, SCAN_INFO* scan, JPEG_PROPERTIES* props,
                                      int32_t scale_factor) {
    return run_progressive(source, scan, props, scale_factor, true);
}

}  // namespace vantorel

// The per-MCU output step. Every scan driver hands each finished, dequantised
// MCU to output_mcu, which inverse-transforms its blocks at the requested
// reduction and passes the samples on: at full scale to the output member the
// selector installed, at 1/2, 1/4 and 1/8 scale to the reduced writers.
//
// Smoothing (the triangle-filter upsampling) needs each chroma block's
// neighbours, so with it the MCUs pass through the smoothing ring and leave one
// MCU (2x1 sampling) or one MCU row and column (2x2 sampling) late; the drivers
// make extra "flush" calls at the end of each row and of the image to release
// the last delayed ones.
//
// A coefficient request with a non-zero flag stops after the transform: the
// samples go into the caller's planes instead of the DIB.
#include <algorithm>
#include <cstring>

#include "codec/codec.h"
#include "codec/decoder/decoder.h"
#include "codec/decoder/reduced_sizes.h"

namespace vantorel {

namespace {

void copy_values(int16_t* destination, const int16_t* source, size_t count) {
    if (count == 0 || destination == source) return;
    if (g_copy_bytes != nullptr)
        g_copy_bytes(destination, source, count * sizeof(int16_t));
    else
        std::memcpy(destination, source, count * sizeof(int16_t));
}

// 8, 4, 2 or 1 samples per block side; 0 for a scale the codec does not offer.
int32_t reduced_block_size(int32_t scale_factor) {
    switch (scale_factor) {
        case 1: return 8;
        case 2: return 4;
        case 4: return 2;
        case 8: return 1;
        default: return 0;
    }
}

bool sampling_factor_ok(int32_t f) { return f >= 1 && f <= 4; }

// The blocks of one frame MCU, with the checks describe_mcu_components makes
// of the frame's components; 0 where it would describe none.
int32_t frame_mcu_block_count(const JPEG_PROPERTIES* props) {
    const FRAME_INFO& frame = props->frame;
    if (frame.components == nullptr || frame.component_count < 1 || frame.component_count > 4) return 0;
    int32_t blocks = 0;
    for (int32_t i = 0; i < frame.component_count; ++i) {
        const int32_t h = frame.components[i].h_samp;
        const int32_t v = frame.components[i].v_samp;
        if (!sampling_factor_ok(h) || !sampling_factor_ok(v)) return 0;
        blocks += h * v;
    }
    return blocks <= MAX_MCU_BLOCKS ? blocks : 0;
}

// ---------------------------------------------------------------------------
// Inverse transform of the MCU's blocks
// ---------------------------------------------------------------------------

// The active transform for blocks of size x size samples; null for other sizes.
IdctRoutine transform_of_size(const STAGE_TABLE* table, int32_t size) {
    switch (size) {
        case 8: return table->active_idct_8x8;
        case 4: return table->active_idct_4x4;
        case 2: return table->active_idct_2x2;
        case 1: return table->active_idct_1x1;
        default: return nullptr;
    }
}

// At reduced scale each component's blocks are transformed at the size
// reduced_transform_factor gives: a subsampled component comes out larger than
// the luma so that the writer has less to replicate (for 4:2:0 the chroma then
// covers the MCU outright). At full scale every block is 8 x 8.
bool transform_mcu(const JPEG_PROPERTIES* props, const MCU_COMPONENT* comps, int32_t count, int16_t* mcu,
                   int32_t blocks, int32_t scale_factor, int32_t simple_sampling) {
    const STAGE_TABLE* table = props->stage_table;
    if (table == nullptr) return false;
    const int32_t n = reduced_block_size(scale_factor);
    auto transform_for = [table](int32_t size) { return transform_of_size(table, size); };
    const IdctRoutine normal = transform_for(n);
    if (normal == nullptr) return false;

    int32_t done = 0;
    if (n < 8) {
        // Check every routine first, so that an MCU is either wholly transformed or untouched.
        IdctRoutine chosen[4] = {nullptr, nullptr, nullptr, nullptr};
        for (int32_t i = 0; i < count; ++i) {
            const int32_t k = reduced_transform_factor(props, comps[i].h_samp, comps[i].v_samp, n, simple_sampling);
            chosen[i] = transform_for(n * k);
            if (chosen[i] == nullptr) return false;
        }
        for (int32_t i = 0; i < count; ++i) {
            for (int32_t b = 0; b < comps[i].block_count; ++b) {
                const int32_t index = comps[i].first_block + b;
                if (index >= blocks) break;
                chosen[i](mcu + 64 * index);
            }
            const int32_t end = comps[i].first_block + comps[i].block_count;
            done = end < blocks ? end : blocks;
        }
    }
    // Every block the layout did not cover.
    for (int32_t b = done; b < blocks; ++b) normal(mcu + 64 * b);
    return true;
}

// ---------------------------------------------------------------------------
// Coefficient output
// ---------------------------------------------------------------------------

// Copies the transformed blocks into the caller's component planes, each plane
// an image of 16-bit values with MCUs-per-row x H x 8 values per line. Blocks
// that would fall outside the frame's block grid are not stored, so a plane of
// the documented size is never overrun.
void deliver_coefficients(const JPEG_PROPERTIES* props, const SCAN_INFO* scan, const int16_t* mcu, int32_t blocks,
                          int32_t mcu_col, int32_t mcu_row) {
    const COEF_OUTPUT* out = props->coef_output;
    const bool frame_form = props->progressive_scans != 0;
    MCU_COMPONENT comps[4];
    const int32_t count = describe_mcu_components(props, scan, frame_form, comps);
    const bool one_block = !frame_form && scan != nullptr && scan->component_count == 1;
    for (int32_t i = 0; i < count; ++i) {
        const int32_t fi = comps[i].frame_index;
        int16_t* plane = out->planes[fi];
        if (plane == nullptr) continue;
        const int32_t h = comps[i].h_samp;
        const int32_t v = comps[i].v_samp;
        const int64_t line = static_cast<int64_t>(props->mcus_per_row) * h * 8;
        const int64_t block_cols = static_cast<int64_t>(props->mcus_per_row) * h;
        const int64_t block_rows = static_cast<int64_t>(props->mcu_rows) * v;
        for (int32_t b = 0; b < comps[i].block_count; ++b) {
            const int32_t index = comps[i].first_block + b;
            if (index >= blocks) return;
            // A one-component scan's MCU is a single block of the component's own grid.
            const int64_t bx = one_block ? mcu_col : static_cast<int64_t>(mcu_col) * h + b % h;
            const int64_t by = one_block ? mcu_row : static_cast<int64_t>(mcu_row) * v + b / h;
            if (bx < 0 || by < 0 || bx >= block_cols || by >= block_rows) continue;
            int16_t* dst = plane + by * 8 * line + bx * 8;
            const int16_t* src = mcu + 64 * index;
            for (int32_t r = 0; r < 8; ++r) copy_values(dst + r * line, src + 8 * r, 8);
        }
    }
}

// ---------------------------------------------------------------------------
// The smoothing ring
// ---------------------------------------------------------------------------

// The MCU holds a component that the triangle filter enlarges: H = 1 for 2x1
// smoothing, H = V = 1 for 2x2 smoothing. Other MCUs (for instance a luma-only
// scan of a multi-scan image) need no neighbours and bypass the ring.
bool has_filtered_component(const MCU_COMPONENT* comps, int32_t count, bool vertical) {
    for (int32_t i = 0; i < count; ++i)
        if (comps[i].h_samp == 1 && (!vertical || comps[i].v_samp == 1)) return true;
    return false;
}

// Repeats value m - 1 of every row into values m..7 in the blocks of components
// with H = 1: samples past the right image edge then equal the last real one.
void pad_right(int16_t* mcu, int32_t blocks, const MCU_COMPONENT* comps, int32_t count, int32_t m) {
    if (m < 1 || m > 7) return;
    for (int32_t i = 0; i < count; ++i) {
        if (comps[i].h_samp != 1) continue;
        for (int32_t b = 0; b < comps[i].block_count; ++b) {
            const int32_t index = comps[i].first_block + b;
            if (index >= blocks) break;
            int16_t* block = mcu + 64 * index;
            for (int32_t r = 0; r < 8; ++r)
                for (int32_t k = m; k < 8; ++k) block[8 * r + k] = block[8 * r + m - 1];
        }
    }
}

// Repeats row m - 1 into rows m..7 in the blocks of components with V = 1.
void pad_bottom(int16_t* mcu, int32_t blocks, const MCU_COMPONENT* comps, int32_t count, int32_t m) {
    if (m < 1 || m > 7) return;
    for (int32_t i = 0; i < count; ++i) {
        if (comps[i].v_samp != 1) continue;
        for (int32_t b = 0; b < comps[i].block_count; ++b) {
            const int32_t index = comps[i].first_block + b;
            if (index >= blocks) break;
            int16_t* block = mcu + 64 * index;
            for (int32_t r = m; r < 8; ++r) copy_values(block + 8 * r, block + 8 * (m - 1), 8);
        }
    }
}

// Where the delayed MCU goes on: at full scale to the installed member, at
// reduced scale to the reduced writers. No member installed means no output.
void hand_on(JPEG_PROPERTIES* props, BYTE_SOURCE* source, SCAN_INFO* scan, int32_t mcu_col, int32_t mcu_row,
             int32_t block_size, int32_t simple_sampling) {
    if (block_size == 8) {
        OutputDriverRoutine member = props->stage_table->active_output_driver;
        if (member != nullptr) member(props, mcu_col, mcu_row);
        return;
    }
    write_scaled_mcu(props, source, scan, mcu_col, mcu_row, block_size, simple_sampling);
}

struct RING_STEP {
    JPEG_PROPERTIES* props;
    BYTE_SOURCE* source;
    SCAN_INFO* scan;
    int16_t* mcu;
    int32_t blocks;
    int32_t mcu_col, mcu_row;
    int32_t mcus_per_row, mcu_rows;
    int32_t scale_factor, block_size, simple_sampling;
    bool flush;
    const MCU_COMPONENT* comps;
    int32_t count;
    SMOOTH_RING_VIEW* ring;  // the ring's geometry, read once per MCU (kept in step with a rotation)
};

// Slot `slot` of ring buffer `buffer`, as smooth_ring_slot gives it.
int16_t* ring_slot(const RING_STEP& s, int32_t buffer, int32_t slot) {
    return ring_view_slot(*s.ring, buffer, slot);
}

// Hands on a delayed MCU kept in a ring slot. At full scale the general member
// first offers whole MCUs to the direct smoothed writer; that writer reads the
// slot itself, so the MCU is copied back into the MCU buffer only for the
// other writers.
void hand_on_from_slot(const RING_STEP& s, const int16_t* slot, int32_t mcu_col, int32_t mcu_row,
                       int32_t block_size) {
    JPEG_PROPERTIES* props = s.props;
    if (block_size == 8 && props->stage_table->active_output_driver == &convert_general &&
        write_smoothed_mcu_from(props, mcu_col, mcu_row, slot, s.ring))
        return;
    copy_values(s.mcu, slot, static_cast<size_t>(s.blocks) * 64);
    hand_on(props, s.source, s.scan, mcu_col, mcu_row, block_size, s.simple_sampling);
}

// Horizontal smoothing (Hmax 2, Vmax 1): ring buffer 1 keeps the current MCU
// row; the MCU to the left of the one just decoded is written, with its left
// neighbour in the slot before it and its right neighbour in the slot after.
void smooth_horizontal(const RING_STEP& s) {
    JPEG_PROPERTIES* props = s.props;
    const int32_t n = s.block_size;
    int16_t* previous = ring_slot(s, 1, s.mcu_col);
    if (!s.flush) {
        int16_t* current = ring_slot(s, 1, s.mcu_col + 1);
        if (current == nullptr || (previous == nullptr && s.mcu_col > 0)) {
            // The ring was made for another geometry: write this MCU as it is.
            hand_on(props, s.source, s.scan, s.mcu_col, s.mcu_row, n, s.simple_sampling);
            return;
        }
        const int32_t rest = props->frame.width % 16;
        if (s.mcu_col == s.mcus_per_row - 1 && rest != 0) {
            const int32_t m = (rest + 2 * s.scale_factor - 1) / (2 * s.scale_factor);
            pad_right(s.mcu, s.blocks, s.comps, s.count, m);
        }
        copy_values(current, s.mcu, static_cast<size_t>(s.blocks) * 64);
        if (s.mcu_col == 0 && previous != nullptr) {
            // The left image edge: the sample beyond it repeats the first one.
            for (int32_t b = 0; b < s.blocks; ++b)
                for (int32_t r = 0; r < 8; ++r) previous[64 * b + 8 * r + n - 1] = s.mcu[64 * b + 8 * r];
        }
        if (s.mcu_col == s.mcus_per_row - 1) {
            // The right image edge likewise, so the last sample never meets a stale slot.
            int16_t* beyond = ring_slot(s, 1, s.mcu_col + 2);
            if (beyond != nullptr)
                for (int32_t b = 0; b < s.blocks; ++b)
                    for (int32_t r = 0; r < 8; ++r) beyond[64 * b + 8 * r] = s.mcu[64 * b + 8 * r + n - 1];
        }
    }
    if (s.mcu_col <= props->roi_left / (2 * n)) return;
    if (previous == nullptr) return;
    hand_on_from_slot(s, previous, s.mcu_col - 1, s.mcu_row, n);
}

// Moves the ring on by one MCU row: buffer 0 takes buffer 1, buffer 1 takes
// buffer 2 and buffer 2 the old buffer 0, whose row is no longer needed; at
// the flush row buffer 2 takes the bottom-edge copy in buffer 3 and buffer 3
// the old buffer 0. Only the pointers move, so the four stay the four quarters
// of the ring's one block in some order.
void rotate_ring(const RING_STEP& s, bool flush_row) {
    SMOOTH_RING* ring = s.props->smooth_ring;
    if (s.ring == nullptr || s.ring->slots < 1) return;
    int16_t* reused = ring->buffers[0];
    ring->buffers[0] = ring->buffers[1];
    ring->buffers[1] = ring->buffers[2];
    if (flush_row) {
        ring->buffers[2] = ring->buffers[3];
        ring->buffers[3] = reused;
    } else {
        ring->buffers[2] = reused;
    }
    for (int32_t i = 0; i < 4; ++i) s.ring->buffers[i] = ring->buffers[i];
}

// Smoothing in both directions (Hmax = Vmax = 2, full scale): buffers 0, 1, 2
// hold the MCU rows above, at and below the row written, buffer 3 the copy of the
// bottom image edge. The MCU up and to the left of the one just decoded is
// written, so all eight of its neighbours are known.
void smooth_both(const RING_STEP& s) {
    JPEG_PROPERTIES* props = s.props;
    SMOOTH_RING* ring = props->smooth_ring;
    const int32_t col = s.mcu_col;
    const int32_t last_col = s.mcus_per_row - 1;
    if (s.mcu_row != ring->row) {
        rotate_ring(s, s.mcu_row >= s.mcu_rows);
        ring->row = s.mcu_row;
    }
    if (!s.flush) {
        int16_t* current = ring_slot(s, 2, col + 1);
        if (current == nullptr) {
            hand_on(props, s.source, s.scan, col, s.mcu_row, 8, s.simple_sampling);
            return;
        }
        const int32_t rest_w = props->frame.width % 16;
        const int32_t rest_h = props->frame.height % 16;
        if (col == last_col && rest_w != 0) pad_right(s.mcu, s.blocks, s.comps, s.count, (rest_w + 1) / 2);
        if (s.mcu_row == s.mcu_rows - 1 && rest_h != 0)
            pad_bottom(s.mcu, s.blocks, s.comps, s.count, (rest_h + 1) / 2);
        copy_values(current, s.mcu, static_cast<size_t>(s.blocks) * 64);

        int16_t* left = col == 0 ? ring_slot(s, 2, 0) : nullptr;
        int16_t* right = col == last_col ? ring_slot(s, 2, col + 2) : nullptr;
        if (left != nullptr || right != nullptr) {
            for (int32_t b = 0; b < s.blocks; ++b) {
                const int16_t* block = s.mcu + 64 * b;
                for (int32_t r = 0; r < 8; ++r) {
                    if (left != nullptr) left[64 * b + 8 * r + 7] = block[8 * r];
                    if (right != nullptr) right[64 * b + 8 * r] = block[8 * r + 7];
                }
            }
        }
        // Top and bottom image edges: the row beyond repeats the first (last) row,
        // with the corner samples beside it at the first and last column.
        if (s.mcu_row == 0 || s.mcu_row == s.mcu_rows - 1) {
            const struct {
                bool active;
                int32_t buffer, from_row, to_row;
            } edges[2] = {{s.mcu_row == 0, 1, 0, 7}, {s.mcu_row == s.mcu_rows - 1, 3, 7, 0}};
            for (const auto& e : edges) {
                if (!e.active) continue;
                int16_t* same = ring_slot(s, e.buffer, col + 1);
                int16_t* corner_left = col == 0 ? ring_slot(s, e.buffer, 0) : nullptr;
                int16_t* corner_right = col == last_col ? ring_slot(s, e.buffer, col + 2) : nullptr;
                for (int32_t b = 0; b < s.blocks; ++b) {
                    const int16_t* block = s.mcu + 64 * b;
                    if (same != nullptr) copy_values(same + 64 * b + 8 * e.to_row, block + 8 * e.from_row, 8);
                    if (corner_left != nullptr) corner_left[64 * b + 8 * e.to_row + 7] = block[8 * e.from_row];
                    if (corner_right != nullptr) corner_right[64 * b + 8 * e.to_row] = block[8 * e.from_row + 7];
                }
            }
        }
    }
    if (col <= props->roi_left / 16 || s.mcu_row <= props->roi_top / 16) return;
    const int16_t* delayed = ring_slot(s, 1, col);
    if (delayed == nullptr) return;
    hand_on_from_slot(s, delayed, col - 1, s.mcu_row - 1, 8);
}

}  // namespace

// ---------------------------------------------------------------------------
// Shared with the reduced writers
// ---------------------------------------------------------------------------

int32_t describe_mcu_components(const JPEG_PROPERTIES* props, const SCAN_INFO* scan, bool frame_components,
                                MCU_COMPONENT out[4]) {
    int32_t count = 0;
    int32_t next_block = 0;
    if (frame_components) {
        const FRAME_INFO& frame = props->frame;
        if (frame.components == nullptr || frame.component_count < 1 || frame.component_count > 4) return 0;
        for (int32_t i = 0; i < frame.component_count; ++i) {
            const int32_t h = frame.components[i].h_samp;
            const int32_t v = frame.components[i].v_samp;
            if (!sampling_factor_ok(h) || !sampling_factor_ok(v)) return 0;
            out[count++] = MCU_COMPONENT{i, h, v, next_block, h * v};
            next_block += h * v;
        }
    } else {
        if (scan == nullptr || scan->components == nullptr || scan->component_count < 1 ||
            scan->component_count > 4)
            return 0;
        for (int32_t i = 0; i < scan->component_count; ++i) {
            const SCAN_COMPONENT& sc = scan->components[i];
            if (!sampling_factor_ok(sc.h_samp) || !sampling_factor_ok(sc.v_samp)) return 0;
            if (sc.frame_index < 0 || sc.frame_index > 3) return 0;
            // A one-component scan carries one block per MCU whatever its sampling.
            const int32_t blocks = scan->component_count == 1 ? 1 : sc.h_samp * sc.v_samp;
            out[count++] = MCU_COMPONENT{sc.frame_index, sc.h_samp, sc.v_samp, next_block, blocks};
            next_block += blocks;
        }
    }
    return next_block <= MAX_MCU_BLOCKS ? count : 0;
}

// The ring's buffers are the four quarters of one block, each of (MCUs per row
// + 2) slots of one frame MCU, in the order the row rotation has left them. The
// quarter size is read back from the buffer addresses, so a slot is handed out
// only if it lies wholly inside its quarter, whatever geometry the current scan
// has.
bool view_smooth_ring(const JPEG_PROPERTIES* props, SMOOTH_RING_VIEW* view) {
    *view = SMOOTH_RING_VIEW{};
    const SMOOTH_RING* ring = props->smooth_ring;
    if (ring == nullptr) return false;
    const int32_t frame_blocks = frame_mcu_block_count(props);
    if (frame_blocks == 0) return false;
    const int64_t slot_values = static_cast<int64_t>(frame_blocks) * 64;
    const uintptr_t base = ring_block_start(ring);
    if (base == 0) return false;
    uintptr_t highest = 0;
    for (int32_t i = 0; i < 4; ++i) highest = std::max(highest, reinterpret_cast<uintptr_t>(ring->buffers[i]));
    // The usual ring has one slot per MCU column of the frame and two more; its
    // geometry then needs no division.
    const uint64_t columns = props->mcus_per_row > 0 ? static_cast<uint64_t>(props->mcus_per_row) + 2 : 0;
    const uint64_t usual_quarter = static_cast<uint64_t>(slot_values) * sizeof(int16_t) * columns;
    const uint64_t span = static_cast<uint64_t>(highest - base);
    const bool usual = columns != 0 && span == 3 * usual_quarter;
    const uintptr_t quarter_bytes = usual ? static_cast<uintptr_t>(usual_quarter) : static_cast<uintptr_t>(span / 3);
    if (quarter_bytes == 0 || static_cast<uint64_t>(quarter_bytes) > (uint64_t{1} << 40)) return false;
    // Each buffer must be a different quarter of the block.
    uint32_t seen = 0;
    for (int32_t i = 0; i < 4; ++i) {
        const uintptr_t offset = reinterpret_cast<uintptr_t>(ring->buffers[i]) - base;
        uint32_t quarter_index = 4;
        for (uint32_t q = 0; q < 4; ++q)
            if (offset == q * quarter_bytes) quarter_index = q;
        if (quarter_index == 4) return false;
        seen |= 1u << quarter_index;
    }
    if (seen != 15) return false;
    const int64_t quarter = static_cast<int64_t>(quarter_bytes / sizeof(int16_t));
    const int64_t slots = usual ? static_cast<int64_t>(columns) : quarter / slot_values;
    if (slots < 1) return false;
    for (int32_t i = 0; i < 4; ++i) view->buffers[i] = ring->buffers[i];
    view->slot_values = slot_values;
    view->slots = slots;
    return true;
}

int16_t* smooth_ring_slot(const JPEG_PROPERTIES* props, int32_t buffer, int32_t slot) {
    SMOOTH_RING_VIEW view;
    if (!view_smooth_ring(props, &view)) return nullptr;
    return ring_view_slot(view, buffer, slot);
}

// ---------------------------------------------------------------------------
// The output step
// ---------------------------------------------------------------------------

void output_mcu(JPEG_PROPERTIES* props, BYTE_SOURCE* source, SCAN_INFO* scan, int32_t mcu_col, int32_t mcu_row,
                int32_t blocks, int16_t* mcu_buffer, int32_t mcus_per_row, int32_t mcu_rows, int32_t scale_factor,
                int32_t simple_sampling) {
    if (props == nullptr || mcu_buffer == nullptr || props->stage_table == nullptr) return;
    const int32_t n = reduced_block_size(scale_factor);
    if (n == 0 || mcus_per_row < 1 || mcu_rows < 1 || mcu_col < 0 || mcu_row < 0) return;
    if (blocks < 0) blocks = 0;
    if (blocks > MAX_MCU_BLOCKS) blocks = MAX_MCU_BLOCKS;
    // A column or row one past the grid releases a delayed MCU and carries none.
    const bool flush = mcu_col >= mcus_per_row || mcu_row >= mcu_rows;

    // The component layout matters to reduced transforms and to smoothing; a
    // full-size MCU without smoothing transforms every block alike.
    MCU_COMPONENT comps[4];
    const bool smoothing = props->upsample_filter == 1 && props->smooth_ring != nullptr;
    const int32_t count =
        n < 8 || smoothing ? describe_mcu_components(props, scan, props->progressive_scans != 0, comps) : 0;
    if (!flush && !transform_mcu(props, comps, count, mcu_buffer, blocks, scale_factor, simple_sampling)) return;

    if (props->coef_output != nullptr && props->coef_output->flag != 0) {
        if (!flush) deliver_coefficients(props, scan, mcu_buffer, blocks, mcu_col, mcu_row);
        return;
    }
    if (!smoothing) {
        // Nothing is delayed without the ring, so a flush call has nothing to release.
        if (!flush) hand_on(props, source, scan, mcu_col, mcu_row, n, simple_sampling);
        return;
    }

    // A ring slot holds one frame MCU; an MCU with more blocks cannot be delayed.
    int32_t frame_blocks = 0;
    SMOOTH_RING_VIEW ring{};
    if (view_smooth_ring(props, &ring)) {
        frame_blocks = static_cast<int32_t>(ring.slot_values / 64);
    } else {
        frame_blocks = frame_mcu_block_count(props);
    }
    const RING_STEP step{props,    source,       scan, mcu_buffer,      blocks, mcu_col, mcu_row, mcus_per_row,
                         mcu_rows, scale_factor, n,    simple_sampling, flush,  comps,   count,   &ring};
    const int32_t max_h = props->frame.max_h_sampling;
    const int32_t max_v = props->frame.max_v_sampling;
    const bool ring_usable = count > 0 && blocks <= frame_blocks;
    if (ring_usable && max_h == 2 && max_v == 1 && has_filtered_component(comps, count, false)) {
        smooth_horizontal(step);
        return;
    }
    if (ring_usable && max_h == 2 && max_v == 2 && scale_factor == 1 && has_filtered_component(comps, count, true)) {
        smooth_both(step);
        return;
    }
    // Nothing was delayed, so a flush call has nothing to release.
    if (flush) return;
    hand_on(props, source, scan, mcu_col, mcu_row, n, simple_sampling);
}

// ---------------------------------------------------------------------------
// The planned output step
// ---------------------------------------------------------------------------

namespace {

// The triangle-filter case: Y 2xV, Cb 1x1, Cr 1x1 in the scan and the frame,
// through the general member and the ring.
bool plan_smoothed(JPEG_PROPERTIES* props, const SCAN_INFO* scan, const SCAN_LAYOUT& layout, OUTPUT_PLAN* plan) {
    if (props->stage_table->active_output_driver != &convert_general) return false;
    x86::SMOOTHED_MCU fixed{};
    const SmoothedMcuWriter writer = smoothed_writer_setup(props, &fixed);
    if (writer == nullptr) return false;
    const int32_t v = fixed.v;
    MCU_COMPONENT comps[4];
    const int32_t count = describe_mcu_components(props, scan, false, comps);
    if (count != 3 || comps[0].h_samp != 2 || comps[0].v_samp != v || comps[1].block_count != 1 ||
        comps[2].block_count != 1 || comps[1].h_samp != 1 || comps[1].v_samp != 1 || comps[2].h_samp != 1 ||
        comps[2].v_samp != 1)
        return false;
    const int32_t blocks = 2 * v + 2;
    if (layout.mcu_blocks != blocks || frame_mcu_block_count(props) != blocks) return false;
    if (props->frame.max_h_sampling != 2 || props->frame.max_v_sampling != v) return false;
    if (layout.mcus_per_row != props->mcus_per_row || layout.mcu_rows != props->mcu_rows) return false;
    // Every slot the step touches must lie inside the ring.
    SMOOTH_RING_VIEW ring;
    if (!view_smooth_ring(props, &ring) || ring.slot_values != int64_t{64} * blocks) return false;
    if (ring.slots < static_cast<int64_t>(layout.mcus_per_row) + 2) return false;
    plan->kind = PLAN_SMOOTHED;
    plan->writer = writer;
    plan->fixed = fixed;
    plan->slot_values = ring.slot_values;
    plan->blocks = blocks;
    plan->kernel.width = 16;
    plan->kernel.height = 8 * v;
    plan->kernel.bytes_per_pixel = props->dib_channels;
    return true;
}

// Reduced scales without smoothing: each block's transform as
// transform_mcu would choose it, and the reduced writers' whole-MCU routine.
bool plan_reduced(JPEG_PROPERTIES* props, const SCAN_INFO* scan, const SCAN_LAYOUT& layout, OUTPUT_PLAN* plan) {
    const int32_t n = reduced_block_size(layout.scale_factor);
    if (n != 4 && n != 2 && n != 1) return false;
    if (!reduced_whole_writer(props, scan, n, layout.simple_sampling, &plan->reduced)) return false;
    if (props->dib_channels != plan->reduced.bytes_per_pixel) return false;
    const STAGE_TABLE* table = props->stage_table;
    auto transform_for = [table](int32_t size) { return transform_of_size(table, size); };
    MCU_COMPONENT comps[4];
    const int32_t count = describe_mcu_components(props, scan, false, comps);
    const IdctRoutine normal = transform_for(n);
    if (normal == nullptr) return false;
    for (int32_t b = 0; b < layout.mcu_blocks; ++b) plan->block_idct[b] = normal;
    for (int32_t i = 0; i < count; ++i) {
        const IdctRoutine chosen =
            transform_for(n * reduced_transform_factor(props, comps[i].h_samp, comps[i].v_samp, n, layout.simple_sampling));
        if (chosen == nullptr) return false;
        for (int32_t b = 0; b < comps[i].block_count; ++b) {
            const int32_t index = comps[i].first_block + b;
            if (index >= layout.mcu_blocks) break;
            plan->block_idct[index] = chosen;
        }
    }
    plan->kind = PLAN_REDUCED;
    plan->blocks = layout.mcu_blocks;
    plan->block_size = n;
    plan->kernel.width = plan->reduced.width;
    plan->kernel.height = plan->reduced.height;
    return true;
}

// Where a wholly visible MCU (col, row) starts; null when the DIB cuts it.
uint8_t* planned_address(const OUTPUT_PLAN& plan, int32_t col, int32_t row) {
    if (col >= plan.whole_cols || row >= plan.whole_rows) return nullptr;
    return reinterpret_cast<uint8_t*>(reinterpret_cast<uintptr_t>(plan.props->output_start) +
                                      static_cast<uintptr_t>(col) * plan.column_bytes +
                                      static_cast<uintptr_t>(row) * plan.row_bytes);
}

void output_planned_kernel(const OUTPUT_PLAN& plan, int32_t col, int32_t row) {
    JPEG_PROPERTIES* props = plan.props;
    int16_t* mcu = plan.mcu;
    for (int32_t b = 0; b < plan.blocks; ++b) plan.idct(mcu + 64 * b);
    uint8_t* out = planned_address(plan, col, row);
    if (out == nullptr) {
        props->stage_table->active_output_driver(props, col, row);
        return;
    }
    props->source.mcu_out_ptr = out;
    const MEMBER_KERNEL& k = plan.kernel;
    const int16_t* cb = mcu + 64 * k.luma_blocks;
    if (k.three != nullptr)
        k.three(mcu, cb, cb + 64, out, plan.stride);
    else if (k.four != nullptr)
        k.four(mcu, cb, cb + 64, cb + 128, out, plan.stride);
    else
        k.gray(mcu, out, plan.stride);
}

void output_planned_reduced(const OUTPUT_PLAN& plan, int32_t col, int32_t row) {
    int16_t* mcu = plan.mcu;
    for (int32_t b = 0; b < plan.blocks; ++b) plan.block_idct[b](mcu + 64 * b);
    uint8_t* out = planned_address(plan, col, row);
    if (out == nullptr) {
        write_scaled_mcu(plan.props, plan.source, plan.scan, col, row, plan.block_size, plan.simple_sampling);
        return;
    }
    plan.source->mcu_out_ptr = out;
    const REDUCED_WHOLE_WRITER& w = plan.reduced;
    w.routine(mcu + w.luma, mcu + w.cb, mcu + w.cr, out, plan.stride);
}

// The ring slot MCU (col, row) goes into when the planned step takes it
// itself; null for the image's edge MCUs (their padding and edge copies) and
// while the ring has not reached the MCU's row, which go the general way.
int16_t* planned_slot(const OUTPUT_PLAN& plan, int32_t col, int32_t row) {
    const SMOOTH_RING* ring = plan.props->smooth_ring;
    const bool both = plan.fixed.v == 2;
    const bool inside = col >= 1 && col + 1 < plan.mcus_per_row &&
                        (!both || (row >= 1 && row + 1 < plan.mcu_rows && ring->row == row));
    return inside ? ring->buffers[both ? 2 : 1] + (col + 1) * plan.slot_values : nullptr;
}

void output_planned_smoothed(const OUTPUT_PLAN& plan, int32_t col, int32_t row, int16_t* decoded) {
    JPEG_PROPERTIES* props = plan.props;
    int16_t* const slot = planned_slot(plan, col, row);
    if (slot == nullptr) {
        output_mcu(props, plan.source, plan.scan, col, row, plan.blocks, plan.mcu, plan.mcus_per_row, plan.mcu_rows, 1,
                   plan.simple_sampling);
        return;
    }
    for (int32_t b = 0; b < plan.blocks; ++b) plan.idct(decoded + 64 * b);
    copy_values(slot, decoded, static_cast<size_t>(plan.blocks) * 64);
    const bool both = plan.fixed.v == 2;
    const int64_t step = plan.slot_values;
    int16_t* const* buffers = props->smooth_ring->buffers;
    int16_t* mcu = plan.mcu;

    // The delayed MCU: one column back, and one row up under 2x2 sampling.
    const int32_t c = col - 1;
    const int32_t r = both ? row - 1 : row;
    const int16_t* delayed = buffers[1] + col * step;
    uint8_t* out = planned_address(plan, c, r);
    if (out == nullptr) {
        // Cut by the DIB: handed on as output_mcu hands on a ring slot.
        if (write_smoothed_mcu_from(props, c, r, delayed, nullptr)) return;
        copy_values(mcu, delayed, static_cast<size_t>(plan.blocks) * 64);
        convert_general(props, c, r);
        return;
    }
    props->source.mcu_out_ptr = out;

    x86::SMOOTHED_MCU m = plan.fixed;
    m.luma = delayed;
    m.out = out;
    // Slot s holds MCU column s - 1; the row above exists unless r is the first.
    const int16_t* rows[3] = {both && r > 0 ? buffers[0] : nullptr, buffers[1], both ? buffers[2] : nullptr};
    const int64_t chroma = 64 * static_cast<int64_t>(plan.blocks - 2);
    for (int32_t dy = 0; dy < 3; ++dy) {
        for (int32_t dx = 0; dx < 3; ++dx) {
            const int16_t* slot = rows[dy] != nullptr && (dx != 0 || c > 0) ? rows[dy] + (c + dx) * step : nullptr;
            m.cb[dy][dx] = slot != nullptr ? slot + chroma : nullptr;
            m.cr[dy][dx] = slot != nullptr ? slot + chroma + 64 : nullptr;
        }
    }
    plan.writer(m);
}

}  // namespace

bool plan_output(JPEG_PROPERTIES* props, BYTE_SOURCE* source, SCAN_INFO* scan, const SCAN_LAYOUT& layout,
                 OUTPUT_PLAN* plan) {
    *plan = OUTPUT_PLAN{};
    if (props == nullptr || scan == nullptr || props->stage_table == nullptr) return false;
    if (!layout.output_step || layout.coefficient_mode) return false;
    if (props->progressive_scans != 0 || scan != props->current_scan) return false;
    if (props->coef_output != nullptr && props->coef_output->flag != 0) return false;
    const STAGE_TABLE* table = props->stage_table;
    if (table->active_output_driver == nullptr || table->active_idct_8x8 == nullptr) return false;
    if (layout.mcus_per_row < 1 || layout.mcu_rows < 1 || layout.mcu_blocks < 1 ||
        layout.mcu_blocks > MAX_MCU_BLOCKS)
        return false;
    // The whole image, with every pixel of a whole MCU visible.
    if (props->roi_left != 0 || props->roi_top != 0 || props->roi_right != 0 || props->roi_bottom != 0) return false;
    if (props->output_start == nullptr) return false;

    const bool smoothing = props->upsample_filter == 1 && props->smooth_ring != nullptr;
    if (layout.scale_factor != 1) {
        if (smoothing || !plan_reduced(props, scan, layout, plan)) return false;
    } else if (smoothing) {
        if (!plan_smoothed(props, scan, layout, plan)) return false;
    } else {
        if (!member_kernel(props, &plan->kernel) || props->dib_channels != plan->kernel.bytes_per_pixel) return false;
        plan->kind = PLAN_KERNEL;
        plan->blocks = layout.mcu_blocks;
    }
    const int64_t rows = props->dib_height < 0 ? -static_cast<int64_t>(props->dib_height) : props->dib_height;
    const int64_t columns = props->dib_width > 0 ? props->dib_width : 0;
    const int32_t w = plan->kernel.width, h = plan->kernel.height;
    plan->props = props;
    plan->source = source;
    plan->scan = scan;
    plan->mcu = props->mcu_buffer;
    plan->idct = table->active_idct_8x8;
    plan->mcus_per_row = layout.mcus_per_row;
    plan->mcu_rows = layout.mcu_rows;
    plan->simple_sampling = layout.simple_sampling;
    plan->whole_cols = static_cast<int32_t>(std::min<int64_t>(columns / w, layout.mcus_per_row));
    plan->whole_rows = static_cast<int32_t>(std::min<int64_t>(rows / h, layout.mcu_rows));
    plan->column_bytes = static_cast<uintptr_t>(w) * static_cast<uintptr_t>(props->dib_channels);
    plan->row_bytes = static_cast<uintptr_t>(h) * static_cast<uintptr_t>(props->dib_stride);
    plan->stride = props->dib_stride;
    return true;
}

int16_t* planned_destination(const OUTPUT_PLAN& plan, int32_t col, int32_t row) {
    if (plan.kind == PLAN_SMOOTHED)
        if (int16_t* slot = planned_slot(plan, col, row)) return slot;
    return plan.mcu;
}

void output_planned_mcu(const OUTPUT_PLAN& plan, int32_t col, int32_t row, int16_t* decoded) {
    if (plan.kind == PLAN_KERNEL)
        output_planned_kernel(plan, col, row);
    else if (plan.kind == PLAN_REDUCED)
        output_planned_reduced(plan, col, row);
    else
        output_planned_smoothed(plan, col, row, decoded);
}

}  // namespace vantorel

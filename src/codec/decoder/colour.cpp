// Upsampling and colour conversion for the layouts no fixed member serves.
//
// The general writer enlarges one component of the MCU at a time into the 32x32
// component plane (by replication, or by the triangle filter when the caller asks
// for smoothing) and stores the plane into that component's DIB channel. A pass
// over the placed pixels then turns Y, Cb, Cr bytes into colour where the
// request needs it. The same conversion runs once over the whole DIB for
// multi-scan images, whose components arrive in separate passes.
//
// The in-place passes compute green as Y + ((34806 - 88 Cb - 183 Cr) >> 8). The
// fixed members subtract the floored positive sum instead, which is one higher
// whenever the sum is not a multiple of 256; both forms are kept on purpose.
#include "codec/decoder/decoder.h"

namespace vantorel {

namespace {

constexpr int32_t PLANE_STRIDE = 32;

inline uint8_t clamp_byte(int32_t v) { return static_cast<uint8_t>(v < 0 ? 0 : v > 255 ? 255 : v); }
inline int32_t low_byte(int16_t v) { return static_cast<uint8_t>(v); }

uint8_t* offset_address(uint8_t* base, intptr_t bytes) {
    return reinterpret_cast<uint8_t*>(reinterpret_cast<uintptr_t>(base) + static_cast<uintptr_t>(bytes));
}

MCU_RECT region_of(const JPEG_PROPERTIES* props) {
    return MCU_RECT{props->roi_left, props->roi_top, props->roi_right, props->roi_bottom};
}

JPEG_STATUS place(JPEG_PROPERTIES* props, int32_t w, int32_t h, int32_t col, int32_t row, MCU_RECT* clip) {
    if (props->output_start == nullptr || props->dib_channels < 1) return STATUS_INVALID_PROPERTIES;
    const MCU_RECT region = region_of(props);
    return place_mcu(&region, w, h, col, row, props->dib_channels, props->dib_stride, props->output_start,
                     props->dib_width, props->dib_height, &props->source.mcu_out_ptr, clip);
}

bool sampling_in_range(const FRAME_INFO& frame) {
    return frame.max_h_sampling >= 1 && frame.max_h_sampling <= 4 && frame.max_v_sampling >= 1 &&
           frame.max_v_sampling <= 4;
}

// Y, Cb, Cr to R, G, B in the in-place form.
struct RGB_VALUE {
    uint8_t r, g, b;
};

inline RGB_VALUE convert_pixel(int32_t y, int32_t cb, int32_t cr) {
    return RGB_VALUE{clamp_byte(y + ((359 * cr - 45813) >> 8)), clamp_byte(y + ((34806 - 88 * cb - 183 * cr) >> 8)),
                     clamp_byte(y + ((454 * cb - 57937) >> 8))};
}

// ---------------------------------------------------------------------------
// Filling the component plane
// ---------------------------------------------------------------------------

// Enlarges h x v blocks to w x ht pixels, giving every pixel the sample whose
// area covers it. For whole-number ratios this is plain replication by the
// ratio; for ratios such as 3 against 4 it still defines every pixel of the
// MCU, so nothing undefined ever reaches the DIB.
void replicate_component(const int16_t* blocks, int32_t h, int32_t v, int32_t w, int32_t ht, uint8_t* plane) {
    int32_t col_offset[PLANE_STRIDE];
    int32_t row_offset[PLANE_STRIDE];
    for (int32_t px = 0; px < w; ++px) {
        const int32_t sx = px * h * 8 / w;
        col_offset[px] = (sx / 8) * 64 + sx % 8;
    }
    for (int32_t py = 0; py < ht; ++py) {
        const int32_t sy = py * v * 8 / ht;
        row_offset[py] = (sy / 8) * h * 64 + (sy % 8) * 8;
    }
    for (int32_t py = 0; py < ht; ++py) {
        const int16_t* src = blocks + row_offset[py];
        uint8_t* out = plane + py * PLANE_STRIDE;
        for (int32_t px = 0; px < w; ++px) out[px] = static_cast<uint8_t>(low_byte(src[col_offset[px]]));
    }
}

// Where the neighbours of a smoothed block come from: the ring keeps the MCUs
// around the one being written (buffer 1 is its row, 0 the row above, 2 the row
// below; slot s holds MCU column s - 1). A neighbour outside the image is the
// edge sample itself, so the filter never reaches into an unwritten slot.
struct NEIGHBOURS {
    const int16_t* block[3][3];  // [row - 1 .. row + 1][col - 1 .. col + 1]; [1][1] is the block itself
};

int32_t frame_blocks_per_mcu(const JPEG_PROPERTIES* props) {
    int32_t total = 0;
    for (int32_t i = 0; i < props->frame.component_count && total <= MAX_MCU_BLOCKS; ++i)
        total += props->frame.components[i].h_samp * props->frame.components[i].v_samp;
    return total;
}

NEIGHBOURS find_neighbours(const JPEG_PROPERTIES* props, const int16_t* self, int32_t block_offset, int32_t col,
                           int32_t row, bool vertical) {
    NEIGHBOURS n{};
    n.block[1][1] = self;
    if (props->smooth_ring == nullptr || props->frame.components == nullptr) return n;
    const int32_t slot_blocks = frame_blocks_per_mcu(props);
    if (slot_blocks < 1 || slot_blocks > MAX_MCU_BLOCKS || block_offset >= slot_blocks) return n;
    for (int32_t dy = -1; dy <= 1; ++dy) {
        if (dy != 0 && !vertical) continue;
        if (row + dy < 0 || row + dy >= props->mcu_rows) continue;
        for (int32_t dx = -1; dx <= 1; ++dx) {
            if (dx == 0 && dy == 0) continue;
            if (col + dx < 0 || col + dx >= props->mcus_per_row) continue;
            // The ring hands out a slot only when it lies wholly inside its buffer.
            const int16_t* slot = smooth_ring_slot(props, 1 + dy, col + dx + 1);
            if (slot != nullptr) n.block[dy + 1][dx + 1] = slot + block_offset * 64;
        }
    }
    return n;
}

// Sample (r, c) of the block's surroundings, r and c from -1 to 8. A missing
// neighbour is replaced by the nearest sample that exists.
int32_t neighbourhood_sample(const NEIGHBOURS& n, int32_t r, int32_t c) {
    int32_t dy = r < 0 ? 0 : r > 7 ? 2 : 1;
    int32_t dx = c < 0 ? 0 : c > 7 ? 2 : 1;
    if (n.block[dy][1] == nullptr) dy = 1, r = r < 0 ? 0 : r > 7 ? 7 : r;
    if (n.block[dy][dx] == nullptr) dx = 1, c = c < 0 ? 0 : c > 7 ? 7 : c;
    return low_byte(n.block[dy][dx][((r + 8) % 8) * 8 + (c + 8) % 8]);
}

// 2 x 1 triangle filter: every chroma sample gives two pixels, each leaning a
// quarter towards the neighbour on its side.
void triangle_2x1(const NEIGHBOURS& n, uint8_t* plane) {
    for (int32_t r = 0; r < 8; ++r) {
        int32_t s[10];
        for (int32_t k = -1; k <= 8; ++k) s[k + 1] = neighbourhood_sample(n, r, k);
        uint8_t* out = plane + r * PLANE_STRIDE;
        for (int32_t k = 0; k < 8; ++k) {
            const int32_t c = 3 * s[k + 1];
            out[2 * k] = static_cast<uint8_t>((c + s[k] + 1) >> 2);
            out[2 * k + 1] = static_cast<uint8_t>((c + s[k + 2] + 2) >> 2);
        }
    }
}

// 2 x 2 triangle filter: weights 9, 3, 3, 1 over the sample, its horizontal and
// vertical neighbour on the pixel's side and the diagonal one; the left pixel of
// each pair rounds with 8, the right one with 7.
void triangle_2x2(const NEIGHBOURS& n, uint8_t* plane) {
    int32_t s[10][10];
    for (int32_t r = -1; r <= 8; ++r)
        for (int32_t c = -1; c <= 8; ++c) s[r + 1][c + 1] = neighbourhood_sample(n, r, c);
    for (int32_t r = 0; r < 8; ++r) {
        uint8_t* top = plane + (2 * r) * PLANE_STRIDE;
        uint8_t* bottom = top + PLANE_STRIDE;
        for (int32_t k = 0; k < 8; ++k) {
            const int32_t c = 9 * s[r + 1][k + 1];
            const int32_t l = 3 * s[r + 1][k], rt = 3 * s[r + 1][k + 2];
            const int32_t u = 3 * s[r][k + 1], d = 3 * s[r + 2][k + 1];
            top[2 * k] = static_cast<uint8_t>((c + l + u + s[r][k] + 8) >> 4);
            top[2 * k + 1] = static_cast<uint8_t>((c + rt + u + s[r][k + 2] + 7) >> 4);
            bottom[2 * k] = static_cast<uint8_t>((c + l + d + s[r + 2][k] + 8) >> 4);
            bottom[2 * k + 1] = static_cast<uint8_t>((c + rt + d + s[r + 2][k + 2] + 7) >> 4);
        }
    }
}

// ---------------------------------------------------------------------------
// The general writer
// ---------------------------------------------------------------------------

struct WRITER_COMPONENT {
    int32_t h, v;
};

JPEG_STATUS write_general(JPEG_PROPERTIES* props, int32_t col, int32_t row, bool progressive) {
    const FRAME_INFO& frame = props->frame;
    if (!sampling_in_range(frame) || frame.components == nullptr) return STATUS_INVALID_PROPERTIES;
    const int32_t max_h = frame.max_h_sampling;
    const int32_t max_v = frame.max_v_sampling;

    // The components this MCU carries: a sequential scan's own, else the frame's.
    // Every component holds at least one block, so no MCU lists more components
    // than the MCU buffer has blocks.
    WRITER_COMPONENT comps[MAX_MCU_BLOCKS];
    int32_t count = 0;
    const SCAN_INFO* scan = props->current_scan;
    const bool from_scan = !progressive && scan != nullptr && scan->components != nullptr && scan->component_count >= 1;
    const int32_t listed = from_scan ? scan->component_count : frame.component_count;
    for (int32_t i = 0; i < listed && count < MAX_MCU_BLOCKS; ++i) {
        const int32_t h = from_scan ? scan->components[i].h_samp : frame.components[i].h_samp;
        const int32_t v = from_scan ? scan->components[i].v_samp : frame.components[i].v_samp;
        if (h < 1 || h > max_h || v < 1 || v > max_v) return STATUS_INVALID_PROPERTIES;
        comps[count++] = WRITER_COMPONENT{h, v};
    }
    if (count == 0) return STATUS_INVALID_PROPERTIES;

    const int32_t decoded = props->decoded_components;
    const bool one_component = from_scan && listed == 1;
    int32_t w = 8 * max_h, ht = 8 * max_v;
    if (one_component) {
        // A one-component scan's MCU is one block, spread over the pixels the
        // component's sampling gives it.
        if (decoded >= props->dib_channels) return STATUS_SUCCESS;
        w = 8 * (max_h / comps[0].h);
        ht = 8 * (max_v / comps[0].v);
        comps[0] = WRITER_COMPONENT{1, 1};
    }

    MCU_RECT clip{};
    const JPEG_STATUS placed = place(props, w, ht, col, row, &clip);
    if (placed != STATUS_SUCCESS) return placed;
    uint8_t* out = props->source.mcu_out_ptr;

    const bool reversed = props->dib_color == CS_BGR && props->jpeg_color == CS_RGB;
    const int32_t step = reversed ? -1 : 1;
    int32_t channel_byte = reversed ? 2 - decoded : decoded;
    int32_t limit = count < props->dib_channels ? count : props->dib_channels;
    if (progressive && props->jpeg_color == CS_GRAY && limit > 1) limit = 1;

    const int32_t filter = props->upsample_filter;
    uint8_t* plane = props->component_plane;
    int32_t block_offset = 0;
    int32_t n = 0;
    for (; n < limit; ++n) {
        const WRITER_COMPONENT& comp = comps[n];
        const int32_t blocks = comp.h * comp.v;
        if (block_offset + blocks > MAX_MCU_BLOCKS) return STATUS_INVALID_PROPERTIES;
        const int16_t* samples = props->mcu_buffer + block_offset * 64;
        const int32_t fx = w / (8 * comp.h);
        const int32_t fy = ht / (8 * comp.v);
        if (filter == 1 && max_h == 2 && max_v == 1 && fx == 2 && fy == 1 && blocks == 1) {
            triangle_2x1(find_neighbours(props, samples, block_offset, col, row, false), plane);
        } else if (filter == 1 && max_h == 2 && max_v == 2 && fx == 2 && fy == 2 && blocks == 1) {
            triangle_2x2(find_neighbours(props, samples, block_offset, col, row, true), plane);
        } else {
            replicate_component(samples, comp.h, comp.v, w, ht, plane);
        }
        write_component_plane(props, decoded + n, channel_byte, plane, clip, out);
        channel_byte += step;
        block_offset += blocks;
    }

    // Channels no component fills (the fourth byte of a four-byte pixel, say). A
    // multi-scan image fills them once, with its last component.
    if (props->dib_color == CS_OTHER && props->jpeg_color == CS_OTHER) return STATUS_SUCCESS;
    int32_t first = n;
    if (props->multi_scan == 1) {
        if (decoded + listed != frame.component_count) return STATUS_SUCCESS;
        first = frame.component_count;
        channel_byte = reversed ? 2 - first : first;
    }
    for (int32_t ch = first; ch < props->dib_channels; ++ch) {
        write_component_plane(props, ch, channel_byte, plane, clip, out);
        channel_byte += step;
    }
    return STATUS_SUCCESS;
}

}  // namespace

void write_component_plane(const JPEG_PROPERTIES* props, int32_t channel, int32_t channel_byte,
                           const uint8_t* plane, const MCU_RECT& clip, uint8_t* mcu_out) {
    const int32_t bpp = props->dib_channels;
    const COLOR_SPACE d = props->dib_color;
    const COLOR_SPACE j = props->jpeg_color;
    if (channel >= bpp && d != CS_YCBCR) return;
    // Every byte written lies inside the pixel, whatever channel number arrives.
    if (channel_byte < 0 || channel_byte >= bpp) return;

    enum { PLAIN, FILL_255, GREY_SPREAD } mode = PLAIN;
    int32_t spread = 0;
    if (j == CS_GRAY && (d == CS_QUAD || d == CS_RGB || d == CS_BGR)) {
        // A grey sample fills the colour bytes of the pixel (and 255 after them for
        // a four-byte pixel) in one go, from the first channel only.
        if (channel_byte != 0) return;
        mode = GREY_SPREAD;
        spread = bpp < 3 ? bpp : 3;
    } else if ((j == CS_YCBCR || j == CS_RGB) && d == CS_QUAD && channel >= 3) {
        mode = FILL_255;
    }
    const bool alpha = mode == GREY_SPREAD && d == CS_QUAD && bpp >= 4;

    for (int32_t y = clip.top; y < clip.bottom; ++y) {
        uint8_t* row = offset_address(mcu_out, y * props->dib_stride);
        const uint8_t* src = plane + y * PLANE_STRIDE;
        for (int32_t x = clip.left; x < clip.right; ++x) {
            uint8_t* p = row + static_cast<intptr_t>(x) * bpp;
            if (mode == PLAIN) {
                p[channel_byte] = src[x];
            } else if (mode == FILL_255) {
                p[channel_byte] = 255;
            } else {
                for (int32_t b = 0; b < spread; ++b) p[b] = src[x];
                if (alpha) p[3] = 255;
            }
        }
    }
}

JPEG_STATUS output_sequential_general(JPEG_PROPERTIES* props, int32_t mcu_col, int32_t mcu_row) {
    return write_general(props, mcu_col, mcu_row, false);
}

JPEG_STATUS output_progressive_general(JPEG_PROPERTIES* props, int32_t mcu_col, int32_t mcu_row) {
    return write_general(props, mcu_col, mcu_row, true);
}

JPEG_STATUS convert_general(JPEG_PROPERTIES* props, int32_t mcu_col, int32_t mcu_row) {
    // Whole smoothed MCUs of the usual layouts take the direct route; it writes
    // the bytes the two passes below would.
    if (write_smoothed_mcu(props, mcu_col, mcu_row)) return STATUS_SUCCESS;
    const JPEG_STATUS status = props->progressive_scans != 0 ? output_progressive_general(props, mcu_col, mcu_row)
                                                              : output_sequential_general(props, mcu_col, mcu_row);
    convert_in_place(props, mcu_col, mcu_row);
    return status;
}

JPEG_STATUS convert_in_place(JPEG_PROPERTIES* props, int32_t mcu_col, int32_t mcu_row) {
    const COLOR_SPACE d = props->dib_color;
    const COLOR_SPACE j = props->jpeg_color;
    const int32_t bpp = props->dib_channels;
    if (d != CS_RGB && d != CS_BGR && d != CS_QUAD) return STATUS_SUCCESS;
    // The pass reads three bytes of every pixel; narrower pixels have nothing to convert.
    if (bpp < 3) return STATUS_SUCCESS;
    if (bpp != 3 && j != CS_YCC_QUAD && j != CS_YCBCR) return STATUS_SUCCESS;
    if (!sampling_in_range(props->frame)) return STATUS_INVALID_PROPERTIES;
    MCU_RECT clip{};
    const JPEG_STATUS placed =
        place(props, 8 * props->frame.max_h_sampling, 8 * props->frame.max_v_sampling, mcu_col, mcu_row, &clip);
    if (placed != STATUS_SUCCESS) return placed;
    uint8_t* out = props->source.mcu_out_ptr;
    const bool bgr = bpp == 3 && d == CS_BGR;
    const bool invert = bpp != 3 && j == CS_YCC_QUAD;
    for (int32_t y = clip.top; y < clip.bottom; ++y) {
        uint8_t* row = offset_address(out, y * props->dib_stride);
        for (int32_t x = clip.left; x < clip.right; ++x) {
            uint8_t* p = row + static_cast<intptr_t>(x) * bpp;
            const RGB_VALUE c = convert_pixel(p[0], p[1], p[2]);
            if (bgr) {
                p[0] = c.b, p[1] = c.g, p[2] = c.r;
            } else if (invert) {
                p[0] = static_cast<uint8_t>(255 - c.r), p[1] = static_cast<uint8_t>(255 - c.g);
                p[2] = static_cast<uint8_t>(255 - c.b);
            } else {
                p[0] = c.r, p[1] = c.g, p[2] = c.b;
            }
        }
    }
    return STATUS_SUCCESS;
}

// The scans of a multi-scan image requested as packed luminance/chrominance:
// the luminance scan fills byte 0 of every pixel of an 8x8 MCU; a chrominance
// scan's block covers 16 x 8 pixels and its sample k of a row goes to byte 1 of
// pixel 2k (Cb) or of pixel 2k + 1 (Cr).
JPEG_STATUS output_ycc_scan(JPEG_PROPERTIES* props, int32_t mcu_col, int32_t mcu_row) {
    if (props->dib_channels != 2) return STATUS_INVALID_PROPERTIES;
    const int32_t decoded = props->decoded_components;
    const int16_t* block = props->mcu_buffer;
    MCU_RECT clip{};
    const JPEG_STATUS placed = place(props, decoded == 0 ? 8 : 16, 8, mcu_col, mcu_row, &clip);
    if (placed != STATUS_SUCCESS) return placed;
    uint8_t* out = props->source.mcu_out_ptr;
    for (int32_t y = clip.top; y < clip.bottom; ++y) {
        uint8_t* row = offset_address(out, y * props->dib_stride);
        if (decoded == 0) {
            for (int32_t x = clip.left; x < clip.right; ++x) row[2 * x] = static_cast<uint8_t>(block[y * 8 + x]);
            continue;
        }
        // Cr belongs to the odd pixel of a pair; it is written only where that
        // pixel is visible, so an odd-width DIB keeps its row end untouched.
        const int32_t parity = decoded == 2 ? 1 : 0;
        for (int32_t x = clip.left; x < clip.right; ++x) {
            if ((x & 1) != parity) continue;
            row[2 * x + 1] = static_cast<uint8_t>(block[y * 8 + x / 2]);
        }
    }
    return STATUS_SUCCESS;
}

// Plain copy of 1x1-sampled components, one component per channel; missing
// channels of a four-byte pixel become 255 and a grey sample fills the colour
// bytes.
JPEG_STATUS copy_general(JPEG_PROPERTIES* props, int32_t mcu_col, int32_t mcu_row) {
    const FRAME_INFO& frame = props->frame;
    if (frame.components == nullptr) return STATUS_INVALID_PROPERTIES;
    MCU_RECT clip{};
    const JPEG_STATUS placed = place(props, 8, 8, mcu_col, mcu_row, &clip);
    if (placed != STATUS_SUCCESS) return placed;
    uint8_t* out = props->source.mcu_out_ptr;
    const int32_t bpp = props->dib_channels;
    const bool reversed = props->dib_color == CS_BGR && props->jpeg_color == CS_RGB;
    const bool grey = props->jpeg_color == CS_GRAY;
    const int32_t step = reversed ? -1 : 1;
    int32_t channel_byte = reversed ? 2 : 0;
    int32_t block_offset = 0;
    for (int32_t n = 0; n < bpp; ++n, channel_byte += step) {
        const bool has_component = n < frame.component_count;
        const int32_t component_offset = block_offset;
        if (has_component)
            block_offset += frame.components[n].h_samp * frame.components[n].v_samp;
        if (channel_byte < 0 || channel_byte >= bpp) continue;
        enum { NOTHING, SAMPLE, PREVIOUS, FILL_255 } mode = NOTHING;
        if (grey && n >= 1) {
            mode = n <= 2 ? PREVIOUS : FILL_255;
            if (mode == PREVIOUS && (channel_byte - step < 0 || channel_byte - step >= bpp)) continue;
        } else if (has_component) {
            if (component_offset >= MAX_MCU_BLOCKS) continue;
            mode = SAMPLE;
        } else if (n == 3 && props->dib_color == CS_QUAD) {
            mode = FILL_255;
        }
        if (mode == NOTHING) continue;
        const int16_t* samples = props->mcu_buffer + component_offset * 64;
        for (int32_t y = clip.top; y < clip.bottom; ++y) {
            uint8_t* row = offset_address(out, y * props->dib_stride);
            for (int32_t x = clip.left; x < clip.right; ++x) {
                uint8_t* p = row + static_cast<intptr_t>(x) * bpp + channel_byte;
                if (mode == SAMPLE)
                    *p = static_cast<uint8_t>(samples[y * 8 + x]);
                else if (mode == PREVIOUS)
                    *p = *(p - step);
                else
                    *p = 255;
            }
        }
    }
    return STATUS_SUCCESS;
}

// Converts a finished multi-scan DIB from Y, Cb, Cr bytes to colour. The rows
// are those of the region (or the whole DIB) but never more than the DIB holds,
// and they are counted from the first image row, wherever the DIB keeps it.
void apply_deferred_color_conversion(JPEG_PROPERTIES* props) {
    const COLOR_SPACE d = props->dib_color;
    const COLOR_SPACE j = props->jpeg_color;
    const int32_t bpp = props->dib_channels;
    if (d != CS_RGB && d != CS_BGR && d != CS_QUAD) return;
    if (props->needs_color_conversion == 0 || props->output_start == nullptr) return;
    if (bpp != 3 && bpp != 4) return;
    if (bpp == 4 && j != CS_YCBCR && j != CS_YCC_QUAD) return;

    const int64_t dib_rows = props->dib_height < 0 ? -static_cast<int64_t>(props->dib_height) : props->dib_height;
    int64_t rows = props->roi_bottom != props->roi_top
                       ? static_cast<int64_t>(props->roi_bottom) - props->roi_top
                       : dib_rows;
    if (rows > dib_rows) rows = dib_rows;
    int64_t columns = static_cast<int64_t>(props->roi_right) - props->roi_left;
    if (columns == 0) columns = props->dib_width;
    if (columns > props->dib_width) columns = props->dib_width;
    if (rows <= 0 || columns <= 0) return;

    for (int64_t r = rows - 1; r >= 0; --r) {
        uint8_t* row = offset_address(props->output_start, static_cast<intptr_t>(r) * props->dib_stride);
        for (int64_t x = 0; x < columns; ++x) {
            uint8_t* p = row + x * bpp;
            const RGB_VALUE c = convert_pixel(p[0], p[1], p[2]);
            if (bpp == 3) {
                if (d == CS_BGR)
                    p[0] = c.b, p[1] = c.g, p[2] = c.r;
                else
                    p[0] = c.r, p[1] = c.g, p[2] = c.b;
            } else if (j == CS_YCC_QUAD) {
                p[0] = static_cast<uint8_t>(255 - c.r), p[1] = static_cast<uint8_t>(255 - c.g);
                p[2] = static_cast<uint8_t>(255 - c.b);
            } else {
                p[0] = c.r, p[1] = c.g, p[2] = c.b, p[3] = 255;
            }
        }
    }
}

}  // namespace vantorel

// The writers of reads at 1/2, 1/4 and 1/8 scale. The inverse transform has
// already shrunk every block to n x n samples (n = 4, 2, 1), so an MCU is written
// the way the general full-scale writer writes it, only smaller: placed with
// place_mcu, each component enlarged to the MCU's resolution in the work plane,
// stored into its DIB channel, and colour converted in place afterwards where
// the request asks for it.
//
// Every byte written lies inside the visible rectangle that place_mcu returns
// and inside the pixel's own dib_channels bytes, whatever the sampling factors,
// colour spaces and channel counts combine to.
#include <cstring>
#include <utility>

#include "codec/decoder/decoder.h"
#include "codec/decoder/reduced_sizes.h"

namespace vantorel {

namespace {

constexpr int32_t PLANE_STRIDE = 32;

// output_start is image row 0: the first buffer row, or the last one of a
// bottom-up DIB (whose stride is then negative).
bool dib_ready(const JPEG_PROPERTIES* props) {
    return props->output_start != nullptr && props->dib_channels >= 1 && props->dib_width >= 1;
}

// Places an MCU of w x h output pixels; false when none of it is visible.
bool place(JPEG_PROPERTIES* props, BYTE_SOURCE* source, int32_t w, int32_t h, int32_t mcu_col, int32_t mcu_row,
           MCU_RECT* clip) {
    const MCU_RECT region{props->roi_left, props->roi_top, props->roi_right, props->roi_bottom};
    return place_mcu(&region, w, h, mcu_col, mcu_row, props->dib_channels, props->dib_stride, props->output_start,
                     props->dib_width, props->dib_height, &source->mcu_out_ptr, clip) == STATUS_SUCCESS;
}

inline uint8_t low_byte(int16_t sample) { return static_cast<uint8_t>(sample); }

inline uint8_t clamp_byte(int32_t v) { return static_cast<uint8_t>(v < 0 ? 0 : v > 255 ? 255 : v); }

// Writes one channel of the visible pixels from the work plane. `channel` is the
// channel number, `offset` its byte within the pixel (it may be negative or past
// the pixel for odd layouts; such bytes are skipped). What is written depends on
// the colour pair: a grey sample fills three bytes of an RGB or BGR pixel and a
// four-byte pixel also gets 255 after them; the fourth channel of a four-byte
// pixel of a three-colour image is 255; otherwise the channel takes the sample.
void store_plane_channel(const JPEG_PROPERTIES* props, int32_t channel, int32_t offset, const uint8_t* plane,
                         const MCU_RECT& clip, uint8_t* mcu_out) {
    const int32_t channels = props->dib_channels;
    const COLOR_SPACE dib = props->dib_color;
    const COLOR_SPACE jpeg = props->jpeg_color;
    if (channel >= channels && dib != CS_YCBCR) return;

    enum { SAMPLE, GREY_QUAD, OPAQUE, GREY_TRIPLE } kind = SAMPLE;
    if (jpeg == CS_GRAY && dib == CS_QUAD)
        kind = GREY_QUAD;
    else if ((jpeg == CS_YCBCR || jpeg == CS_RGB) && dib == CS_QUAD && channel >= 3)
        kind = OPAQUE;
    else if (jpeg == CS_GRAY && (dib == CS_RGB || dib == CS_BGR))
        kind = GREY_TRIPLE;

    auto put = [channels](uint8_t* pixel, int32_t byte, uint8_t value) {
        if (byte >= 0 && byte < channels) pixel[byte] = value;
    };
    for (int32_t y = clip.top; y < clip.bottom; ++y) {
        uint8_t* row = mcu_out + static_cast<intptr_t>(y) * props->dib_stride;
        const uint8_t* samples = plane + y * PLANE_STRIDE;
        for (int32_t x = clip.left; x < clip.right; ++x) {
            uint8_t* pixel = row + static_cast<intptr_t>(x) * channels;
            const uint8_t s = samples[x];
            switch (kind) {
                case GREY_QUAD:
                    put(pixel, offset, s);
                    put(pixel, offset + 1, s);
                    put(pixel, offset + 2, s);
                    put(pixel, offset + 3, 255);
                    break;
                case OPAQUE: put(pixel, offset, 255); break;
                case GREY_TRIPLE:
                    put(pixel, offset, s);
                    put(pixel, offset + 1, s);
                    put(pixel, offset + 2, s);
                    break;
                case SAMPLE: put(pixel, offset, s); break;
            }
        }
    }
}

struct PLANE_JOB {
    const int16_t* mcu;
    MCU_COMPONENT comp;
    int32_t blocks_across, blocks_down;  // the component's blocks in this MCU
    int32_t block_size;                  // samples per block side
    int32_t fx, fy;                      // enlargement
    int32_t width, height;               // the MCU in output pixels (at most 32 x 32)
};

// Fills the width x height corner of the plane with the component enlarged by
// fx x fy. Where the sampling ratio is not a whole number the component covers
// less than the MCU; the rest repeats the last covered column and row, so every
// pixel of the plane is defined.
void fill_replicated(const PLANE_JOB& j, uint8_t* plane) {
    const int32_t bs = j.block_size;
    for (int32_t b = 0; b < j.comp.block_count; ++b) {
        const int16_t* block = j.mcu + 64 * (j.comp.first_block + b);
        const int32_t bx = b % j.blocks_across;
        const int32_t by = b / j.blocks_across;
        for (int32_t sy = 0; sy < bs; ++sy)
            for (int32_t sx = 0; sx < bs; ++sx) {
                const uint8_t value = low_byte(block[8 * sy + sx]);
                for (int32_t dy = 0; dy < j.fy; ++dy) {
                    const int32_t py = (by * bs + sy) * j.fy + dy;
                    if (py >= j.height) break;
                    for (int32_t dx = 0; dx < j.fx; ++dx) {
                        const int32_t px = (bx * bs + sx) * j.fx + dx;
                        if (px >= j.width) break;
                        plane[py * PLANE_STRIDE + px] = value;
                    }
                }
            }
    }
    int32_t covered_w = j.blocks_across * bs * j.fx;
    int32_t covered_h = j.blocks_down * bs * j.fy;
    if (covered_w > j.width) covered_w = j.width;
    if (covered_h > j.height) covered_h = j.height;
    for (int32_t py = 0; py < covered_h; ++py)
        for (int32_t px = covered_w; px < j.width; ++px)
            plane[py * PLANE_STRIDE + px] = plane[py * PLANE_STRIDE + covered_w - 1];
    for (int32_t py = covered_h; py < j.height; ++py)
        for (int32_t px = 0; px < j.width; ++px)
            plane[py * PLANE_STRIDE + px] = plane[(covered_h - 1) * PLANE_STRIDE + px];
}

// The 2x1 triangle filter on n x n blocks: pixel 2k leans a quarter towards the
// sample on its left, pixel 2k + 1 towards the one on its right. Across the MCU's
// left and right edges the neighbours come from the smoothing ring (slot col
// holds the MCU to the left, slot col + 2 the one to the right, each with the
// image edge repeated); without them the block's own edge sample is used.
void fill_triangle_2x1(const JPEG_PROPERTIES* props, const PLANE_JOB& j, int32_t mcu_col, uint8_t* plane) {
    const int32_t n = j.block_size;
    MCU_COMPONENT frame[4];
    const int32_t frame_count = describe_mcu_components(props, nullptr, true, frame);
    const int32_t slot_blocks = frame_count == 0 ? 0 : frame[frame_count - 1].first_block + frame[frame_count - 1].block_count;
    for (int32_t b = 0; b < j.comp.block_count; ++b) {
        const int32_t index = j.comp.first_block + b;
        const int16_t* block = j.mcu + 64 * index;
        // A ring slot holds one frame MCU; a block past it has no neighbours there.
        const bool in_slot = index < slot_blocks;
        const int16_t* left_slot = in_slot ? smooth_ring_slot(props, 1, mcu_col) : nullptr;
        const int16_t* right_slot = in_slot ? smooth_ring_slot(props, 1, mcu_col + 2) : nullptr;
        const int32_t bx = b % j.blocks_across;
        const int32_t by = b / j.blocks_across;
        for (int32_t r = 0; r < n; ++r) {
            int32_t s[10];
            for (int32_t k = 0; k < n; ++k) s[k + 1] = low_byte(block[8 * r + k]);
            s[0] = left_slot != nullptr ? low_byte(left_slot[64 * index + 8 * r + n - 1]) : s[1];
            s[n + 1] = right_slot != nullptr ? low_byte(right_slot[64 * index + 8 * r]) : s[n];
            const int32_t py = by * n + r;
            if (py >= j.height) break;
            uint8_t* out = plane + py * PLANE_STRIDE;
            for (int32_t k = 0; k < n; ++k) {
                const int32_t px = (bx * n + k) * 2;
                if (px >= j.width) break;
                const int32_t c = 3 * s[k + 1];
                out[px] = static_cast<uint8_t>((c + s[k] + 1) >> 2);
                if (px + 1 < j.width) out[px + 1] = static_cast<uint8_t>((c + s[k + 2] + 2) >> 2);
            }
        }
    }
}

// The reduced general writer. `frame_form` takes the components and geometry of
// the whole frame (progressive MCUs, which always carry every component); the
// sequential form takes the scan's, where a one-component scan's MCU is that
// component's footprint with a single block.
void write_reduced_general(JPEG_PROPERTIES* props, BYTE_SOURCE* source, const SCAN_INFO* scan, int32_t mcu_col,
                           int32_t mcu_row, int32_t n, int32_t simple_sampling, bool frame_form) {
    if (!dib_ready(props)) return;
    const int32_t max_h = props->frame.max_h_sampling;
    const int32_t max_v = props->frame.max_v_sampling;
    if (max_h < 1 || max_h > 4 || max_v < 1 || max_v > 4) return;
    MCU_COMPONENT comps[4];
    const int32_t count = describe_mcu_components(props, scan, frame_form, comps);
    if (count == 0) return;
    const bool one_component = !frame_form && scan->component_count == 1;
    const int32_t decoded = props->decoded_components;
    if (one_component && decoded >= props->dib_channels) return;

    const int32_t width = one_component ? (max_h / comps[0].h_samp) * n : max_h * n;
    const int32_t height = one_component ? (max_v / comps[0].v_samp) * n : max_v * n;
    if (width < 1 || height < 1 || width > PLANE_STRIDE || height > PLANE_STRIDE) return;
    MCU_RECT clip;
    if (!place(props, source, width, height, mcu_col, mcu_row, &clip)) return;
    uint8_t* const out = source->mcu_out_ptr;

    const bool reversed = props->dib_color == CS_BGR && props->jpeg_color == CS_RGB;
    const int32_t step = reversed ? -1 : 1;
    int32_t offset = reversed ? 2 - decoded : decoded;
    int32_t limit = count < props->dib_channels ? count : props->dib_channels;
    if (frame_form && props->jpeg_color == CS_GRAY && limit > 1) limit = 1;
    const bool smoothing_2x1 = props->upsample_filter == 1 && max_h == 2 && max_v == 1 && n > 1;

    uint8_t* plane = props->component_plane;
    for (int32_t i = 0; i < limit; ++i) {
        PLANE_JOB job;
        job.mcu = props->mcu_buffer;
        job.comp = comps[i];
        job.blocks_across = one_component ? 1 : comps[i].h_samp;
        job.blocks_down = one_component ? 1 : comps[i].v_samp;
        // A subsampled component may have been transformed k times larger than
        // n (the output step asks the same question); it is then enlarged by
        // only what is left of its ratio.
        const int32_t k = reduced_transform_factor(props, comps[i].h_samp, comps[i].v_samp, n, simple_sampling);
        const int32_t fx = max_h / comps[i].h_samp > 0 ? max_h / comps[i].h_samp : 1;
        const int32_t fy = max_v / comps[i].v_samp > 0 ? max_v / comps[i].v_samp : 1;
        job.block_size = n * k;
        job.fx = fx / k > 0 ? fx / k : 1;
        job.fy = fy / k > 0 ? fy / k : 1;
        job.width = width;
        job.height = height;
        if (smoothing_2x1 && k == 1 && job.fx == 2 && job.fy == 1)
            fill_triangle_2x1(props, job, mcu_col, plane);
        else
            fill_replicated(job, plane);
        store_plane_channel(props, i, offset, plane, clip, out);
        offset += step;
    }
    if (limit == 0) return;

    // Channels no component fills: 255 for the fourth byte of a four-byte pixel,
    // a grey sample for the second and third of a grey image, and so on. A
    // multi-scan image fills them once, with its last scan.
    if (props->dib_color == CS_OTHER && props->jpeg_color == CS_OTHER) return;
    int32_t channel = limit;
    if (props->multi_scan == 1) {
        const int32_t frame_count = props->frame.component_count;
        if (decoded + count < frame_count) return;
        channel = frame_count;
    }
    for (; channel < props->dib_channels; ++channel) {
        store_plane_channel(props, channel, offset, plane, clip, out);
        offset += step;
    }
}

// 1, 2 or 4 as a shift; -1 for any other value.
int32_t shift_of(int32_t value) {
    switch (value) {
        case 1: return 0;
        case 2: return 1;
        case 4: return 2;
        default: return -1;
    }
}

// The direct writer below works on the whole MCU at once, at most 16 x 16
// pixels (4 blocks of 4 samples each way), kept row after row with a stride of
// the MCU's width. Its loops run over every pixel of the visible rows, whole MCU
// widths, with no tests inside, and only the visible pixels are stored.
constexpr int32_t MCU_SIDE = 16;
constexpr int32_t MCU_AREA = MCU_SIDE * MCU_SIDE;

struct YCC_ROWS {
    const int16_t* luma;  // the first luma block; max_h blocks a row of blocks
    const int16_t* cb;
    const int16_t* cr;
    int32_t max_h, n_shift, rx_shift, ry_shift;
    // The visible rectangle place_mcu has just stored: read field by field, as
    // it was written (one wide copy of it waits for the stores to drain).
    const MCU_RECT& clip;
    uint8_t* out;
    intptr_t stride;
};

struct YCC_WORK {
    int16_t luma[MCU_AREA];                                    // as stored in the blocks
    int16_t red[MCU_AREA], green[MCU_AREA], blue[MCU_AREA];  // per pixel
    int16_t chroma_red[64], chroma_green[64], chroma_blue[64];  // per chroma sample, as in the block
    uint32_t words[MCU_AREA];                                  // converted pixels, byte 0 lowest
};

// The luma samples of rows top..bottom - 1: N from each of the blocks of a row
// of blocks, 64 apart.
template <int32_t N>
void gather_luma(const YCC_ROWS& j, int32_t width, int16_t* luma) {
    for (int32_t y = j.clip.top; y < j.clip.bottom; ++y) {
        const int16_t* samples = j.luma + 64 * ((y >> j.n_shift) * j.max_h) + 8 * (y & (N - 1));
        int16_t* row = luma + y * width;
        for (int32_t b = 0; b < j.max_h; ++b)
            for (int32_t k = 0; k < N; ++k) row[N * b + k] = samples[64 * b + k];
    }
}

// The colour terms of chroma samples 0..SAMPLES - 1 of rows first_row..end_row - 1
// of the chroma blocks (8 samples a row) into the three arrays, whose rows are
// to_stride apart.
template <int32_t SAMPLES>
void colour_terms(const YCC_ROWS& j, int32_t first_row, int32_t end_row, int16_t* red, int16_t* green,
                  int16_t* blue, int32_t to_stride) {
    for (int32_t row = first_row; row < end_row; ++row)
        for (int32_t c = 0; c < SAMPLES; ++c) {
            const int32_t from = 8 * row + c;
            const int32_t to = to_stride * row + c;
            const int32_t cb = j.cb[from] & 0xFF;
            const int32_t cr = j.cr[from] & 0xFF;
            red[to] = static_cast<int16_t>((359 * cr - 45813) >> 8);
            green[to] = static_cast<int16_t>((34806 - 88 * cb - 183 * cr) >> 8);
            blue[to] = static_cast<int16_t>((454 * cb - 57937) >> 8);
        }
}

// Spreads the terms over the pixels of rows top..bottom - 1: pixel (x, y) takes
// those of chroma sample (x >> RX, y >> ry_shift).
template <int32_t RX, int32_t SAMPLES>
void spread_terms(const YCC_ROWS& j, int32_t width, YCC_WORK* w) {
    for (int32_t y = j.clip.top; y < j.clip.bottom; ++y) {
        const int32_t from = 8 * (y >> j.ry_shift);
        const int32_t to = y * width;
        for (int32_t c = 0; c < SAMPLES; ++c)
            for (int32_t d = 0; d < (1 << RX); ++d) {
                w->red[to + (c << RX) + d] = w->chroma_red[from + c];
                w->green[to + (c << RX) + d] = w->chroma_green[from + c];
                w->blue[to + (c << RX) + d] = w->chroma_blue[from + c];
            }
    }
}

// The terms of every pixel of rows top..bottom - 1. A row covers SAMPLES
// chroma samples (1, 2, 4 or 8), a fixed count in the loops above, so that they
// pack or unroll and the copies are plain moves.
// Chroma that is not enlarged (4:4:4, or chroma transformed at the full
// ratio) has one sample per pixel, and its terms go straight to the pixels.
template <int32_t SAMPLES>
void pixel_terms(const YCC_ROWS& j, int32_t width, YCC_WORK* w) {
    if (j.rx_shift == 0 && j.ry_shift == 0) {
        colour_terms<SAMPLES>(j, j.clip.top, j.clip.bottom, w->red, w->green, w->blue, width);
        return;
    }
    colour_terms<SAMPLES>(j, j.clip.top >> j.ry_shift, ((j.clip.bottom - 1) >> j.ry_shift) + 1, w->chroma_red,
                          w->chroma_green, w->chroma_blue, 8);
    if (j.rx_shift == 0)
        spread_terms<0, SAMPLES>(j, width, w);
    else if (j.rx_shift == 1)
        spread_terms<1, SAMPLES>(j, width, w);
    else
        spread_terms<2, SAMPLES>(j, width, w);
}

// Luma plus term, clamped to 0..255: the luma byte is 0..255 and a term lies
// within +-256, so the sum and the clamp stay in 16 bits.
inline uint32_t clamped(int16_t luma, int16_t term) {
    int16_t v = static_cast<int16_t>((luma & 0xFF) + term);
    v = v < 0 ? int16_t{0} : v;
    v = v > 255 ? int16_t{255} : v;
    return static_cast<uint32_t>(v);
}

// Converts the pixels first..end - 1 of the work area: red at byte RED of the
// word (blue opposite it, green between), and 255 in byte 3 for four-byte pixels.
template <int32_t CHANNELS, int32_t RED>
void convert_pixels(YCC_WORK* w, int32_t first, int32_t end) {
    for (int32_t i = first; i < end; ++i) {
        const uint32_t r = clamped(w->luma[i], w->red[i]);
        const uint32_t g = clamped(w->luma[i], w->green[i]);
        const uint32_t b = clamped(w->luma[i], w->blue[i]);
        const uint32_t low = RED == 0 ? r : b;
        const uint32_t high = RED == 0 ? b : r;
        w->words[i] = low | g << 8 | high << 16 | (CHANNELS == 4 ? 0xFF000000u : 0u);
    }
}

// Converts and stores the visible pixels of one MCU. Four-byte pixels are
// copied out a row at a time; three-byte pixels are stored four bytes at a time
// from left to right, the fourth byte of each store being overwritten by the
// next pixel, and the last pixel of a row as three bytes, so that nothing is
// written outside the visible pixels. For blocks of 4 or 2 samples a side (1/2
// and 1/4 scale). Kept out of line: inlined into its caller, GCC 12 left these
// loops scalar.
template <int32_t CHANNELS, int32_t RED>
[[gnu::noinline]] void write_ycc_rows(const YCC_ROWS& j) {
    YCC_WORK w;
    const int32_t n = 1 << j.n_shift;
    const int32_t width = j.max_h * n;
    if (n == 4)
        gather_luma<4>(j, width, w.luma);
    else
        gather_luma<2>(j, width, w.luma);
    switch (width >> j.rx_shift) {
        case 8: pixel_terms<8>(j, width, &w); break;
        case 4: pixel_terms<4>(j, width, &w); break;
        case 2: pixel_terms<2>(j, width, &w); break;
        default: pixel_terms<1>(j, width, &w); break;
    }
    convert_pixels<CHANNELS, RED>(&w, j.clip.top * width, j.clip.bottom * width);

    const int32_t left = j.clip.left, right = j.clip.right;
    for (int32_t y = j.clip.top; y < j.clip.bottom; ++y) {
        uint8_t* row = j.out + static_cast<intptr_t>(y) * j.stride;
        const uint32_t* words = w.words + y * width;
        if (CHANNELS == 4) {
            std::memcpy(row + 4 * static_cast<intptr_t>(left), words + left, 4 * static_cast<size_t>(right - left));
        } else {
            for (int32_t x = left; x < right - 1; ++x) std::memcpy(row + 3 * static_cast<intptr_t>(x), words + x, 4);
            uint8_t* last = row + 3 * static_cast<intptr_t>(right - 1);
            const uint32_t word = words[right - 1];
            last[0] = static_cast<uint8_t>(word);
            last[1] = static_cast<uint8_t>(word >> 8);
            last[2] = static_cast<uint8_t>(word >> 16);
        }
    }
}

// ---------------------------------------------------------------------------
// Whole MCUs of the common samplings at 1/2 and 1/4 scale
// ---------------------------------------------------------------------------
// An MCU that is wholly visible, with luma sampled 1x1, 1x2, 2x1 or 2x2 and
// blocks of 4 or 2 samples a side, is 4 or 8 pixels wide. It is worked eight
// pixels at a time (one row of 8, or two rows of 4) in vectors of the compiler
// (packed registers where the processor has them, plain code elsewhere), with
// the sampling fixed at compile time so that every gather, spread and store is
// a constant move. The colour terms are worked once per chroma sample row.
// The bytes are those of write_ycc_rows.
//
// The vectors pay only where the baseline instruction set packs them (x86-64
// has SSE2 throughout); elsewhere, the 32-bit x86 build among them, the
// compiler would work them lane by lane, slower than write_ycc_rows, which
// such builds keep.
#if defined(__x86_64__) && defined(__SSE2__)
#define VANTOREL_WHOLE_MCU_LANES 1
#else
#define VANTOREL_WHOLE_MCU_LANES 0
#endif

using WholeMcuWriter = void (*)(const int16_t* luma, const int16_t* cb, const int16_t* cr, uint8_t* out,
                                intptr_t stride);

#if VANTOREL_WHOLE_MCU_LANES
using Lanes16 = int16_t __attribute__((vector_size(16)));
using Words = uint32_t __attribute__((vector_size(16)));
using Pairs = uint64_t __attribute__((vector_size(16)));

// The same sixteen bytes as another lane type.
template <typename TO, typename FROM>
inline TO lanes_as(FROM v) {
    static_assert(sizeof(TO) == sizeof(FROM), "same width");
    return (TO)v;
}

struct TERM_LANES {
    Lanes16 red, green, blue;
};

// The terms of eight chroma samples, each taken as its low byte. The products
// of the three formulas overflow 16 bits; split into a multiple of 256 and a
// remainder that stays within 16 bits they give the same values:
//   (359 cr - 45813) >> 8        = cr - 179 + ((103 cr + 11) >> 8)
//   (34806 - 88 cb - 183 cr) >> 8 = 136 - cr + ((73 cr - 88 cb - 10) >> 8)
//   (454 cb - 57937) >> 8        = 2 cb - 227 + ((175 - 58 cb) >> 8)
inline TERM_LANES term_lanes(Lanes16 cb, Lanes16 cr) {
    cb &= 0xFF;
    cr &= 0xFF;
    TERM_LANES t;
    t.red = cr - 179 + ((cr * 103 + 11) >> 8);
    t.green = 136 - cr + ((cr * 73 - cb * 88 - 10) >> 8);
    t.blue = cb + cb - 227 + ((175 - cb * 58) >> 8);
    return t;
}

// The low byte of luma plus a term, clamped to 0..255 (the sum fits 16 bits).
inline Lanes16 clamped_lanes(Lanes16 luma, Lanes16 term) {
    Lanes16 v = luma + term;
    v = v < 0 ? Lanes16{} : v;
    return v > 255 ? Lanes16{} + 255 : v;
}

inline uint64_t load_u64(const int16_t* p) {
    uint64_t v;
    std::memcpy(&v, p, sizeof v);
    return v;
}

inline uint32_t load_u32(const int16_t* p) {
    uint32_t v;
    std::memcpy(&v, p, sizeof v);
    return v;
}

template <int32_t MAX_H, int32_t MAX_V, int32_t N, int32_t RX, int32_t RY>
struct WHOLE_MCU {
    static constexpr int32_t WIDTH = MAX_H * N;
    static constexpr int32_t HEIGHT = MAX_V * N;
    static_assert(WIDTH == 4 || WIDTH == 8, "eight pixels make whole rows");
    static constexpr int32_t VECTORS = WIDTH * HEIGHT / 8;
    // Chroma rows per term vector: two rows of four samples when the rows of
    // a pixel vector take different chroma rows, else one row of eight.
    static constexpr int32_t CHROMA_ROWS = (WIDTH == 4 && RY == 0) ? 2 : 1;
    static constexpr int32_t TERM_VECTORS = (HEIGHT >> RY) / CHROMA_ROWS;
    static_assert((WIDTH >> RX) * CHROMA_ROWS <= 8, "a term vector holds the samples of its rows");

    // Pixel `lane` of pixel vector v: its position in the MCU, and the term
    // vector and lane of the chroma sample that covers it.
    static constexpr int32_t x_of(int32_t v, int32_t lane) { return (8 * v + lane) % WIDTH; }
    static constexpr int32_t y_of(int32_t v, int32_t lane) { return (8 * v + lane) / WIDTH; }
    static constexpr int32_t term_vector(int32_t v) { return (y_of(v, 0) >> RY) / CHROMA_ROWS; }
    static constexpr int32_t term_lane(int32_t v, int32_t lane) {
        return ((y_of(v, lane) >> RY) % CHROMA_ROWS) * 4 + (x_of(v, lane) >> RX);
    }
    static constexpr bool one_term_vector(int32_t v) {
        for (int32_t lane = 0; lane < 8; ++lane)
            if (((y_of(v, lane) >> RY) / CHROMA_ROWS) != term_vector(v)) return false;
        return true;
    }

    // The start of the N luma samples of pixel (x, y), a multiple of N across.
    static constexpr int32_t luma_at(int32_t x, int32_t y) {
        return 64 * ((y / N) * MAX_H + x / N) + 8 * (y % N);
    }

    template <int32_t V>
    static Lanes16 luma_lanes(const int16_t* luma) {
        if constexpr (N == 4) {
            const Pairs p{load_u64(luma + luma_at(x_of(V, 0), y_of(V, 0))),
                          load_u64(luma + luma_at(x_of(V, 4), y_of(V, 4)))};
            return lanes_as<Lanes16>(p);
        } else {
            const Words w{load_u32(luma + luma_at(x_of(V, 0), y_of(V, 0))),
                          load_u32(luma + luma_at(x_of(V, 2), y_of(V, 2))),
                          load_u32(luma + luma_at(x_of(V, 4), y_of(V, 4))),
                          load_u32(luma + luma_at(x_of(V, 6), y_of(V, 6)))};
            return lanes_as<Lanes16>(w);
        }
    }

    // Chroma samples of term vector j: chroma row j, or the first four samples
    // of rows 2j and 2j + 1.
    static Lanes16 chroma_lanes(const int16_t* block, int32_t j) {
        if constexpr (CHROMA_ROWS == 1) {
            Lanes16 v;
            std::memcpy(&v, block + 8 * j, sizeof v);
            return v;
        } else {
            const Pairs p{load_u64(block + 16 * j), load_u64(block + 16 * j + 8)};
            return lanes_as<Lanes16>(p);
        }
    }

    template <int32_t V>
    static Lanes16 spread(Lanes16 terms) {
        static_assert(one_term_vector(V), "a pixel vector takes one term vector");
        return __builtin_shufflevector(terms, terms, term_lane(V, 0), term_lane(V, 1), term_lane(V, 2),
                                       term_lane(V, 3), term_lane(V, 4), term_lane(V, 5), term_lane(V, 6),
                                       term_lane(V, 7));
    }
};

// Four converted pixels, byte 0 lowest (255 in byte 3 for four-byte pixels),
// to `to`. Three-byte pixels go as two 8-byte stores of two pixels each, the
// second one's last two bytes falling on the next pixel, which is stored
// after it; when these are the last pixels of the row the second pair is
// stored as exactly its six bytes.
template <int32_t CHANNELS, bool LAST>
inline void store_four(uint8_t* to, Words words) {
    if constexpr (CHANNELS == 4) {
        std::memcpy(to, &words, sizeof words);
    } else {
        const Pairs p = lanes_as<Pairs>(words);
        const Pairs packed = (p & 0xFFFFFFu) | ((p >> 8) & 0xFFFFFF000000u);
        const uint64_t first = packed[0], second = packed[1];
        std::memcpy(to, &first, 8);
        if constexpr (LAST) {
            const auto low = static_cast<uint32_t>(second);
            const auto high = static_cast<uint16_t>(second >> 32);
            std::memcpy(to + 6, &low, 4);
            std::memcpy(to + 10, &high, 2);
        } else {
            std::memcpy(to + 6, &second, 8);
        }
    }
}

template <typename MCU, int32_t CHANNELS, int32_t RED, int32_t V>
inline void convert_vector(const int16_t* luma, const TERM_LANES* terms, uint8_t* out, intptr_t stride) {
    const TERM_LANES& t = terms[MCU::term_vector(V)];
    const Lanes16 y = MCU::template luma_lanes<V>(luma) & 0xFF;
    const Lanes16 r = clamped_lanes(y, MCU::template spread<V>(t.red));
    const Lanes16 g = clamped_lanes(y, MCU::template spread<V>(t.green));
    const Lanes16 b = clamped_lanes(y, MCU::template spread<V>(t.blue));
    const Lanes16 low = (RED == 0 ? r : b) | g << 8;
    const Lanes16 high = (RED == 0 ? b : r) | (CHANNELS == 4 ? int16_t(0xFF00) : int16_t(0));
    const Lanes16 first = __builtin_shufflevector(low, high, 0, 8, 1, 9, 2, 10, 3, 11);
    const Lanes16 second = __builtin_shufflevector(low, high, 4, 12, 5, 13, 6, 14, 7, 15);
    const int32_t x = MCU::x_of(V, 0), y0 = MCU::y_of(V, 0);
    uint8_t* row = out + static_cast<intptr_t>(y0) * stride + CHANNELS * x;
    if constexpr (MCU::WIDTH == 8) {
        store_four<CHANNELS, false>(row, lanes_as<Words>(first));
        store_four<CHANNELS, true>(row + 4 * CHANNELS, lanes_as<Words>(second));
    } else {
        store_four<CHANNELS, true>(row, lanes_as<Words>(first));
        store_four<CHANNELS, true>(row + stride, lanes_as<Words>(second));
    }
}

template <typename MCU, int32_t CHANNELS, int32_t RED, int32_t... V>
inline void convert_vectors(const int16_t* luma, const TERM_LANES* terms, uint8_t* out, intptr_t stride,
                            std::integer_sequence<int32_t, V...>) {
    (convert_vector<MCU, CHANNELS, RED, V>(luma, terms, out, stride), ...);
}

// Writes a wholly visible MCU whose top-left pixel is at `out`.
template <typename MCU, int32_t CHANNELS, int32_t RED>
void write_whole_mcu(const int16_t* luma, const int16_t* cb, const int16_t* cr, uint8_t* out, intptr_t stride) {
    TERM_LANES terms[MCU::TERM_VECTORS];
    for (int32_t j = 0; j < MCU::TERM_VECTORS; ++j)
        terms[j] = term_lanes(MCU::chroma_lanes(cb, j), MCU::chroma_lanes(cr, j));
    convert_vectors<MCU, CHANNELS, RED>(luma, terms, out, stride,
                                        std::make_integer_sequence<int32_t, MCU::VECTORS>{});
}

template <typename MCU>
WholeMcuWriter whole_mcu_writer_for(int32_t channels, COLOR_SPACE dib) {
    if (channels == 4) return write_whole_mcu<MCU, 4, 0>;
    return dib == CS_BGR ? write_whole_mcu<MCU, 3, 2> : write_whole_mcu<MCU, 3, 0>;
}
#endif  // VANTOREL_WHOLE_MCU_LANES

// One pixel from its luma sample and the chroma bytes that cover it.
template <int32_t CHANNELS, int32_t RED>
inline void store_ycc_pixel(uint8_t* pixel, int16_t luma, int32_t cb, int32_t cr) {
    pixel[RED] = static_cast<uint8_t>(clamped(luma, static_cast<int16_t>((359 * cr - 45813) >> 8)));
    pixel[1] = static_cast<uint8_t>(clamped(luma, static_cast<int16_t>((34806 - 88 * cb - 183 * cr) >> 8)));
    pixel[2 - RED] = static_cast<uint8_t>(clamped(luma, static_cast<int16_t>((454 * cb - 57937) >> 8)));
    if (CHANNELS == 4) pixel[3] = 255;
}

// Writes a wholly visible MCU of luma sampled 1 x MAX_V at 1/4 scale: two
// pixels a row, too few for the vectors above, each converted on its own.
// Chroma is not enlarged across; down, by 1 << RY.
template <int32_t MAX_V, int32_t RY, int32_t CHANNELS, int32_t RED>
void write_narrow_mcu(const int16_t* luma, const int16_t* cb, const int16_t* cr, uint8_t* out, intptr_t stride) {
    for (int32_t y = 0; y < 2 * MAX_V; ++y) {
        uint8_t* row = out + static_cast<intptr_t>(y) * stride;
        for (int32_t x = 0; x < 2; ++x) {
            const int32_t i = 8 * (y >> RY) + x;
            store_ycc_pixel<CHANNELS, RED>(row + CHANNELS * x, luma[64 * (y >> 1) + 8 * (y & 1) + x], cb[i] & 0xFF,
                                           cr[i] & 0xFF);
        }
    }
}

template <int32_t MAX_V, int32_t RY>
WholeMcuWriter narrow_mcu_writer_for(int32_t channels, COLOR_SPACE dib) {
    if (channels == 4) return write_narrow_mcu<MAX_V, RY, 4, 0>;
    return dib == CS_BGR ? write_narrow_mcu<MAX_V, RY, 3, 2> : write_narrow_mcu<MAX_V, RY, 3, 0>;
}

// Writes a wholly visible MCU at 1/8 scale: MAX_H x MAX_V pixels, pixel (x, y)
// from luma block y * MAX_H + x and chroma sample (x >> RX, y >> RY).
template <int32_t MAX_H, int32_t MAX_V, int32_t RX, int32_t RY, int32_t CHANNELS, int32_t RED>
void write_tiny_mcu(const int16_t* luma, const int16_t* cb, const int16_t* cr, uint8_t* out, intptr_t stride) {
    for (int32_t y = 0; y < MAX_V; ++y)
        for (int32_t x = 0; x < MAX_H; ++x) {
            const int32_t i = 8 * (y >> RY) + (x >> RX);
            store_ycc_pixel<CHANNELS, RED>(out + static_cast<intptr_t>(y) * stride + CHANNELS * x,
                                           luma[64 * (y * MAX_H + x)], cb[i] & 0xFF, cr[i] & 0xFF);
        }
}

template <int32_t MAX_H, int32_t MAX_V, int32_t RX, int32_t RY>
WholeMcuWriter tiny_mcu_writer_for(int32_t channels, COLOR_SPACE dib) {
    if (channels == 4) return write_tiny_mcu<MAX_H, MAX_V, RX, RY, 4, 0>;
    return dib == CS_BGR ? write_tiny_mcu<MAX_H, MAX_V, RX, RY, 3, 2> : write_tiny_mcu<MAX_H, MAX_V, RX, RY, 3, 0>;
}

// The writer for wholly visible MCUs of this sampling, or null for those that
// write_ycc_rows or write_ycc_pixels alone takes.
WholeMcuWriter whole_mcu_writer(int32_t max_h, int32_t max_v, int32_t n, int32_t rx_shift, int32_t ry_shift,
                                int32_t channels, COLOR_SPACE dib) {
    const int32_t key = (max_h << 12) | (max_v << 8) | (n << 4) | (rx_shift << 2) | ry_shift;
    switch (key) {
        case 0x1110: return tiny_mcu_writer_for<1, 1, 0, 0>(channels, dib);
        case 0x2110: return tiny_mcu_writer_for<2, 1, 0, 0>(channels, dib);
        case 0x2114: return tiny_mcu_writer_for<2, 1, 1, 0>(channels, dib);
        case 0x1210: return tiny_mcu_writer_for<1, 2, 0, 0>(channels, dib);
        case 0x1211: return tiny_mcu_writer_for<1, 2, 0, 1>(channels, dib);
        case 0x2210: return tiny_mcu_writer_for<2, 2, 0, 0>(channels, dib);
        case 0x2215: return tiny_mcu_writer_for<2, 2, 1, 1>(channels, dib);
        case 0x1120: return narrow_mcu_writer_for<1, 0>(channels, dib);
        case 0x1221: return narrow_mcu_writer_for<2, 1>(channels, dib);
#if VANTOREL_WHOLE_MCU_LANES
        case 0x1140: return whole_mcu_writer_for<WHOLE_MCU<1, 1, 4, 0, 0>>(channels, dib);
        case 0x1241: return whole_mcu_writer_for<WHOLE_MCU<1, 2, 4, 0, 1>>(channels, dib);
        case 0x2144: return whole_mcu_writer_for<WHOLE_MCU<2, 1, 4, 1, 0>>(channels, dib);
        case 0x2124: return whole_mcu_writer_for<WHOLE_MCU<2, 1, 2, 1, 0>>(channels, dib);
        case 0x2240: return whole_mcu_writer_for<WHOLE_MCU<2, 2, 4, 0, 0>>(channels, dib);
        case 0x2245: return whole_mcu_writer_for<WHOLE_MCU<2, 2, 4, 1, 1>>(channels, dib);
        case 0x2220: return whole_mcu_writer_for<WHOLE_MCU<2, 2, 2, 0, 0>>(channels, dib);
        case 0x2225: return whole_mcu_writer_for<WHOLE_MCU<2, 2, 2, 1, 1>>(channels, dib);
#endif
        default: return nullptr;
    }
}

// The visible pixels of an MCU of 1x1 blocks (1/8 scale), one at a time:
// pixel (x, y) takes luma block y * max_h + x and chroma sample
// (x >> rx_shift, y >> ry_shift).
template <int32_t CHANNELS, int32_t RED>
void write_ycc_pixels(const YCC_ROWS& j) {
    for (int32_t y = j.clip.top; y < j.clip.bottom; ++y) {
        uint8_t* row = j.out + static_cast<intptr_t>(y) * j.stride;
        for (int32_t x = j.clip.left; x < j.clip.right; ++x) {
            const int32_t i = 8 * (y >> j.ry_shift) + (x >> j.rx_shift);
            store_ycc_pixel<CHANNELS, RED>(row + static_cast<intptr_t>(x) * CHANNELS, j.luma[64 * (y * j.max_h + x)],
                                           j.cb[i] & 0xFF, j.cr[i] & 0xFF);
        }
    }
}

// The common photographs (YCbCr with one luma component and two 1x1 chroma
// components, to three-byte BGR or RGB or four-byte RGB + 255) straight from the
// blocks into the DIB: each visible pixel takes its luma sample and the chroma
// samples that cover it and is converted at once. It gives the bytes of the
// general writer followed by the in-place conversion, which would fill the work
// plane per component, store it and read it back. False when the MCU is not of
// that kind (the caller then takes the general writers); `frame_form` as for
// write_reduced_general.
// What the direct writer settles before it looks at any one MCU; false when
// the MCUs are not of its kind.
struct YCC_DIRECT_FORM {
    int32_t max_h, n_shift, rx_shift, ry_shift;
    int32_t mcu_w, mcu_h;
    int32_t luma, cb, cr;  // first values of the components in the MCU buffer
    int32_t channels;
    COLOR_SPACE dib;
    WholeMcuWriter whole_writer;  // null: none for this layout
};

bool ycc_direct_form(const JPEG_PROPERTIES* props, const SCAN_INFO* scan, int32_t n, int32_t simple_sampling,
                     bool frame_form, YCC_DIRECT_FORM* f) {
    if (!dib_ready(props) || props->jpeg_color != CS_YCBCR || props->frame.component_count != 3) return false;
    // A later scan of the same components would write shifted channels.
    if (props->decoded_components != 0) return false;
    const COLOR_SPACE dib = props->dib_color;
    const int32_t channels = props->dib_channels;
    if (!((channels == 3 && (dib == CS_BGR || dib == CS_RGB)) || (channels == 4 && dib == CS_QUAD))) return false;
    const int32_t max_h = props->frame.max_h_sampling;
    const int32_t max_v = props->frame.max_v_sampling;
    const int32_t n_shift = shift_of(n);
    if (shift_of(max_h) < 0 || shift_of(max_v) < 0 || n_shift < 0) return false;
    // The triangle filter needs the ring's neighbours: the general writer does it.
    if (props->upsample_filter == 1 && max_h == 2 && max_v == 1 && n > 1) return false;
    MCU_COMPONENT comps[4];
    if (describe_mcu_components(props, scan, frame_form, comps) != 3) return false;
    if (comps[0].h_samp != max_h || comps[0].v_samp != max_v || comps[0].block_count != max_h * max_v) return false;
    for (int32_t i = 1; i < 3; ++i)
        if (comps[i].h_samp != 1 || comps[i].v_samp != 1 || comps[i].block_count != 1) return false;
    if (comps[2].first_block + 1 > MAX_MCU_BLOCKS) return false;

    // Chroma blocks hold n * k samples a side and each is enlarged by what
    // remains of the ratio (max / k, a power of two like max and k).
    // k, max_h and max_v are 1, 2 or 4: shifts and masks do the divisions.
    const int32_t k = reduced_transform_factor(props, 1, 1, n, simple_sampling);
    const int32_t k_shift = shift_of(k);
    if (k_shift < 0 || (max_h & (k - 1)) != 0 || (max_v & (k - 1)) != 0) return false;
    const int32_t rx_shift = shift_of(max_h >> k_shift);
    const int32_t ry_shift = shift_of(max_v >> k_shift);
    if (rx_shift < 0 || ry_shift < 0) return false;

    *f = YCC_DIRECT_FORM{max_h,
                         n_shift,
                         rx_shift,
                         ry_shift,
                         max_h * n,
                         max_v * n,
                         64 * comps[0].first_block,
                         64 * comps[1].first_block,
                         64 * comps[2].first_block,
                         channels,
                         dib,
                         whole_mcu_writer(max_h, max_v, n, rx_shift, ry_shift, channels, dib)};
    return true;
}

// The direct form write_scaled_mcu gives a sequential or progressive MCU at
// block size n, if any; the routing is that of write_scaled_mcu.
bool scaled_direct_form(const JPEG_PROPERTIES* props, const SCAN_INFO* scan, int32_t n, int32_t simple_sampling,
                        YCC_DIRECT_FORM* f) {
    const bool progressive = props->progressive_scans != 0;
    if (props->multi_scan == 1 && !progressive) return false;
    const bool upsampling = props->needs_upsampling != 0;
    const bool conversion = props->needs_color_conversion != 0;
    if (upsampling && conversion) {
        const SCAN_INFO* own = progressive ? nullptr : scan != nullptr ? scan : props->current_scan;
        return ycc_direct_form(props, own, n, simple_sampling, progressive, f);
    }
    // The direct writer takes the frame's components and an n x n MCU.
    return conversion && props->frame.max_h_sampling == 1 && props->frame.max_v_sampling == 1 &&
           ycc_direct_form(props, nullptr, n, simple_sampling, true, f);
}

// The common photographs (YCbCr with one luma component and two 1x1 chroma
// components, to three-byte BGR or RGB or four-byte RGB + 255) straight from the
// blocks into the DIB: each visible pixel takes its luma sample and the chroma
// samples that cover it and is converted at once. It gives the bytes of the
// general writer followed by the in-place conversion, which would fill the work
// plane per component, store it and read it back. False when the MCU is not of
// that kind (the caller then takes the general writers); `frame_form` as for
// write_reduced_general.
bool write_reduced_ycc_direct(JPEG_PROPERTIES* props, BYTE_SOURCE* source, const SCAN_INFO* scan, int32_t mcu_col,
                              int32_t mcu_row, int32_t n, int32_t simple_sampling, bool frame_form) {
    YCC_DIRECT_FORM f;
    if (!ycc_direct_form(props, scan, n, simple_sampling, frame_form, &f)) return false;
    const int32_t max_h = f.max_h, n_shift = f.n_shift, rx_shift = f.rx_shift, ry_shift = f.ry_shift;
    const int32_t mcu_w = f.mcu_w, mcu_h = f.mcu_h, channels = f.channels;
    const COLOR_SPACE dib = f.dib;
    const int16_t* const luma = props->mcu_buffer + f.luma;
    const int16_t* const cb = props->mcu_buffer + f.cb;
    const int16_t* const cr = props->mcu_buffer + f.cr;
    const WholeMcuWriter whole_writer = f.whole_writer;
    if (whole_writer != nullptr) {
        if (uint8_t* whole = whole_mcu_address(props, mcu_w, mcu_h, mcu_col, mcu_row, channels)) {
            source->mcu_out_ptr = whole;
            whole_writer(luma, cb, cr, whole, props->dib_stride);
            return true;
        }
    }
    MCU_RECT clip;
    if (!place(props, source, mcu_w, mcu_h, mcu_col, mcu_row, &clip)) return true;
    if (whole_writer != nullptr && rects_equal(clip, MCU_RECT{0, 0, mcu_w, mcu_h})) {
        whole_writer(luma, cb, cr, source->mcu_out_ptr, props->dib_stride);
        return true;
    }
    const YCC_ROWS rows{luma,
                        cb,
                        cr,
                        max_h,
                        n_shift,
                        rx_shift,
                        ry_shift,
                        clip,
                        source->mcu_out_ptr,
                        props->dib_stride};
    if (n == 1) {
        // At 1/8 scale an MCU has at most 16 pixels, mostly 1 to 4: the work
        // area would cost more than they do, so each is converted on its own.
        if (channels == 4)
            write_ycc_pixels<4, 0>(rows);
        else if (dib == CS_BGR)
            write_ycc_pixels<3, 2>(rows);
        else
            write_ycc_pixels<3, 0>(rows);
    } else if (channels == 4) {
        write_ycc_rows<4, 0>(rows);
    } else if (dib == CS_BGR) {
        write_ycc_rows<3, 2>(rows);
    } else {
        write_ycc_rows<3, 0>(rows);
    }
    return true;
}

}  // namespace

bool reduced_whole_writer(const JPEG_PROPERTIES* props, const SCAN_INFO* scan, int32_t block_size,
                          int32_t simple_sampling, REDUCED_WHOLE_WRITER* out) {
    *out = REDUCED_WHOLE_WRITER{};
    YCC_DIRECT_FORM f;
    if (props == nullptr || !scaled_direct_form(props, scan, block_size, simple_sampling, &f)) return false;
    if (f.whole_writer == nullptr) return false;
    *out = REDUCED_WHOLE_WRITER{f.whole_writer, f.mcu_w, f.mcu_h, f.channels, f.luma, f.cb, f.cr};
    return true;
}

void write_reduced_sequential(JPEG_PROPERTIES* props, BYTE_SOURCE* source, SCAN_INFO* scan, int32_t mcu_col,
                              int32_t mcu_row, int32_t block_size, int32_t simple_sampling) {
    if (scan == nullptr) scan = props->current_scan;
    if (scan == nullptr) return;
    write_reduced_general(props, source, scan, mcu_col, mcu_row, block_size, simple_sampling, false);
}

void write_reduced_progressive(JPEG_PROPERTIES* props, BYTE_SOURCE* source, int32_t mcu_col, int32_t mcu_row,
                               int32_t block_size, int32_t simple_sampling) {
    write_reduced_general(props, source, nullptr, mcu_col, mcu_row, block_size, simple_sampling, true);
}

// An MCU of 1x1-sampled components: each channel copies the first block of its
// component; a grey image repeats its sample into the second and third channels.
void write_mcu_direct(JPEG_PROPERTIES* props, BYTE_SOURCE* source, int32_t mcu_col, int32_t mcu_row,
                      int32_t block_size) {
    if (!dib_ready(props)) return;
    MCU_COMPONENT comps[4];
    const int32_t count = describe_mcu_components(props, nullptr, true, comps);
    if (count == 0) return;
    MCU_RECT clip;
    if (!place(props, source, block_size, block_size, mcu_col, mcu_row, &clip)) return;
    uint8_t* const out = source->mcu_out_ptr;
    const int32_t channels = props->dib_channels;
    const bool reversed = props->dib_color == CS_BGR && props->jpeg_color == CS_RGB;
    const bool grey = props->jpeg_color == CS_GRAY;
    if (channels == 1 && !reversed) {
        // One byte per pixel (a grey picture to a grey DIB): a row is a run of low bytes.
        const int16_t* samples = props->mcu_buffer + 64 * comps[0].first_block;
        for (int32_t y = clip.top; y < clip.bottom; ++y) {
            uint8_t* row = out + static_cast<intptr_t>(y) * props->dib_stride;
            for (int32_t x = clip.left; x < clip.right; ++x) row[x] = low_byte(samples[8 * y + x]);
        }
        return;
    }
    for (int32_t y = clip.top; y < clip.bottom; ++y) {
        uint8_t* row = out + static_cast<intptr_t>(y) * props->dib_stride;
        for (int32_t x = clip.left; x < clip.right; ++x) {
            uint8_t* pixel = row + static_cast<intptr_t>(x) * channels;
            for (int32_t k = 0; k < channels; ++k) {
                if (k < count) {
                    const int32_t byte = reversed ? 2 - k : k;
                    if (byte >= 0 && byte < channels)
                        pixel[byte] = low_byte(props->mcu_buffer[64 * comps[k].first_block + 8 * y + x]);
                } else if (grey && k < 3) {
                    pixel[k] = pixel[0];
                } else if (k == 3 && (grey || props->dib_color == CS_QUAD)) {
                    pixel[k] = 255;
                }
            }
        }
    }
}

// YCbCr to RGB in place over the visible pixels of the reduced MCU, reading Y, Cb,
// Cr from the first three bytes of each pixel. Three-byte pixels get B, G, R for
// a BGR DIB and R, G, B otherwise; wider pixels get R, G, B (inverted for a
// four-channel YCCK-style image) in their first three bytes and keep the rest.
void convert_reduced_mcu(JPEG_PROPERTIES* props, BYTE_SOURCE* source, int32_t mcu_col, int32_t mcu_row,
                         int32_t block_size) {
    const COLOR_SPACE dib = props->dib_color;
    if (dib != CS_RGB && dib != CS_BGR && dib != CS_QUAD) return;
    // The pass reads three bytes of every pixel; narrower pixels hold no YCbCr.
    if (!dib_ready(props) || props->dib_channels < 3) return;
    const int32_t max_h = props->frame.max_h_sampling;
    const int32_t max_v = props->frame.max_v_sampling;
    if (max_h < 1 || max_h > 4 || max_v < 1 || max_v > 4) return;
    MCU_RECT clip;
    if (!place(props, source, block_size * max_h, block_size * max_v, mcu_col, mcu_row, &clip)) return;
    uint8_t* const out = source->mcu_out_ptr;
    const int32_t channels = props->dib_channels;
    const COLOR_SPACE jpeg = props->jpeg_color;
    if (channels != 3 && jpeg != CS_YCBCR && jpeg != CS_YCC_QUAD) return;
    for (int32_t y = clip.top; y < clip.bottom; ++y) {
        uint8_t* row = out + static_cast<intptr_t>(y) * props->dib_stride;
        for (int32_t x = clip.left; x < clip.right; ++x) {
            uint8_t* pixel = row + static_cast<intptr_t>(x) * channels;
            const int32_t luma = pixel[0], cb = pixel[1], cr = pixel[2];
            const uint8_t r = clamp_byte(luma + ((359 * cr - 45813) >> 8));
            const uint8_t g = clamp_byte(luma + ((34806 - 88 * cb - 183 * cr) >> 8));
            const uint8_t b = clamp_byte(luma + ((454 * cb - 57937) >> 8));
            if (channels == 3 && dib == CS_BGR) {
                pixel[0] = b, pixel[1] = g, pixel[2] = r;
            } else if (channels == 3 || jpeg == CS_YCBCR) {
                pixel[0] = r, pixel[1] = g, pixel[2] = b;
            } else {
                pixel[0] = static_cast<uint8_t>(255 - r), pixel[1] = static_cast<uint8_t>(255 - g),
                pixel[2] = static_cast<uint8_t>(255 - b);
            }
        }
    }
}

// Chooses the writers for a reduced MCU from the two conversion flags. A
// progressive MCU always carries the whole frame, so it is read in the frame's
// layout; a sequential one in its scan's.
void write_scaled_mcu(JPEG_PROPERTIES* props, BYTE_SOURCE* source, SCAN_INFO* scan, int32_t mcu_col, int32_t mcu_row,
                      int32_t block_size, int32_t simple_sampling) {
    if (props == nullptr || source == nullptr) return;
    if (block_size != 1 && block_size != 2 && block_size != 4 && block_size != 8) return;
    const bool progressive = props->progressive_scans != 0;
    auto general = [&] {
        if (progressive)
            write_reduced_progressive(props, source, mcu_col, mcu_row, block_size, simple_sampling);
        else
            write_reduced_sequential(props, source, scan, mcu_col, mcu_row, block_size, simple_sampling);
    };
    if (props->multi_scan == 1 && !progressive) {
        write_reduced_sequential(props, source, scan, mcu_col, mcu_row, block_size, simple_sampling);
        return;
    }
    const bool upsampling = props->needs_upsampling != 0;
    const bool conversion = props->needs_color_conversion != 0;
    if (upsampling && conversion) {
        const SCAN_INFO* own = progressive ? nullptr : scan != nullptr ? scan : props->current_scan;
        if (write_reduced_ycc_direct(props, source, own, mcu_col, mcu_row, block_size, simple_sampling, progressive))
            return;
        general();
        convert_reduced_mcu(props, source, mcu_col, mcu_row, block_size);
    } else if (conversion) {
        // The direct writer takes the frame's components and an n x n MCU.
        if (props->frame.max_h_sampling == 1 && props->frame.max_v_sampling == 1 &&
            write_reduced_ycc_direct(props, source, nullptr, mcu_col, mcu_row, block_size, simple_sampling, true))
            return;
        write_mcu_direct(props, source, mcu_col, mcu_row, block_size);
        convert_reduced_mcu(props, source, mcu_col, mcu_row, block_size);
    } else if (!upsampling && props->dib_color != CS_YCBCR) {
        write_mcu_direct(props, source, mcu_col, mcu_row, block_size);
    } else if (!upsampling) {
        // A YCbCr DIB keeps its samples: the conversion pass leaves it unchanged.
        general();
        convert_reduced_mcu(props, source, mcu_col, mcu_row, block_size);
    } else {
        general();
    }
}

}  // namespace vantorel

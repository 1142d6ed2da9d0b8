// Triangle-filtered output of whole MCUs in the usual smoothing layouts: three
// components Y, Cb, Cr with Y sampled 2x2 or 2x1 and both chroma components 1x1,
// into three-byte RGB or BGR pixels or four-byte quad pixels.
//
// The general writer gives these MCUs the same bytes one component plane at a
// time and fetches every chroma neighbour through a chain of tests. Here the
// neighbour blocks are looked up once per MCU and copied, with the edge rules,
// into a padded chroma tile; the filter then runs as plain row loops over the
// tile, and each pixel is converted and its bytes stored once. Every loop has a
// fixed trip count and no tests inside, so the compiler vectorises it for any
// processor the library runs on.
//
// Arithmetic, exactly as the general writer's:
//   2x1: out[2k] = (3 s[k] + s[k-1] + 1) >> 2, out[2k+1] = (3 s[k] + s[k+1] + 2) >> 2
//   2x2: (9c + 3l + 3u + ul + 8) >> 4 and (9c + 3r + 3u + ur + 7) >> 4 for the top
//        pixel pair, the same with the row below for the bottom pair; worked here as
//        the horizontal sums (3 c + l, 3 c + r) of every tile row, then 3 times a
//        row's sum plus its neighbour row's, which is the same sum of products.
//   R = Y + ((359 Cr - 45813) >> 8), G = Y + ((34806 - 88 Cb - 183 Cr) >> 8),
//   B = Y + ((454 Cb - 57937) >> 8), each clamped to 0..255.
// A neighbour outside the image (or missing from the ring) is replaced by the
// nearest sample of the blocks that exist, as in the general writer.
//
// The eight-lane loops carry "#pragma GCC unroll 1": unrolled early, they would
// leave the compiler vectorising across rows with a transpose of every tile
// instead of turning each loop into a few whole-vector operations.
#include <bit>
#include <cstring>

#include "codec/codec.h"
#include "codec/decoder/decoder.h"
#include "codec/decoder/x86/x86_stages.h"

namespace vantorel {

namespace {

enum PIXEL_FORMAT { PIXEL_RGB, PIXEL_BGR, PIXEL_QUAD };

uint8_t* offset_address(uint8_t* base, intptr_t bytes) {
    return reinterpret_cast<uint8_t*>(reinterpret_cast<uintptr_t>(base) + static_cast<uintptr_t>(bytes));
}

bool sampled(int32_t h, int32_t v, int32_t want_h, int32_t want_v) {
    return h == want_h && v == want_v;
}

// The filtered chroma of one component, split by pixel parity: even[y][k] is
// the value of pixel 2k of MCU row y, odd[y][k] that of pixel 2k + 1. Kept this
// way, every pass below works on whole rows of eight 16-bit lanes.
template <int32_t V>
struct FILTERED_CHROMA {
    uint16_t even[8 * V][8];
    uint16_t odd[8 * V][8];
};

// Copies one row of the padded tile: the sample left of the block row, its eight
// samples and the sample right of it. `band` is one row of CHROMA_NEIGHBOURS and
// `r` the row within those blocks.
inline void fill_tile_row(const int16_t* const band[3], int32_t r, uint16_t* out) {
    // Everything is read before anything is written: the tile's 16-bit lanes
    // could otherwise, as far as the compiler knows, overlap the samples.
    const int16_t* middle = band[1] + 8 * r;
    const int16_t left = band[0] != nullptr ? band[0][8 * r + 7] : middle[0];
    const int16_t right = band[2] != nullptr ? band[2][8 * r] : middle[7];
    uint16_t samples[8];
#pragma GCC unroll 1
    for (int32_t k = 0; k < 8; ++k) samples[k] = static_cast<uint16_t>(middle[k] & 0xFF);
    out[0] = static_cast<uint16_t>(left & 0xFF);
    std::memcpy(out + 1, samples, sizeof samples);
    out[9] = static_cast<uint16_t>(right & 0xFF);
}

// The horizontal 3:1 sums of one tile row (10 values, sample k at k + 1):
// 3 s[k] + s[k - 1] for the even pixel of sample k, 3 s[k] + s[k + 1] for the odd one.
inline void horizontal_sums(const uint16_t* t, uint16_t* even, uint16_t* odd) {
#pragma GCC unroll 1
    for (int32_t k = 0; k < 8; ++k) {
        const uint16_t centre = static_cast<uint16_t>(3 * t[k + 1]);
        even[k] = static_cast<uint16_t>(centre + t[k]);
        odd[k] = static_cast<uint16_t>(centre + t[k + 2]);
    }
}

// (3 centre + other + BIAS) >> SHIFT over eight lanes; every sum stays below 2^16.
template <int32_t SHIFT, int32_t BIAS>
inline void weigh(const uint16_t* centre, const uint16_t* other, uint16_t* out) {
#pragma GCC unroll 1
    for (int32_t k = 0; k < 8; ++k)
        out[k] = static_cast<uint16_t>(static_cast<uint16_t>(3 * centre[k] + other[k] + BIAS) >> SHIFT);
}

template <int32_t SHIFT, int32_t BIAS>
inline void round_off(const uint16_t* sum, uint16_t* out) {
#pragma GCC unroll 1
    for (int32_t k = 0; k < 8; ++k) out[k] = static_cast<uint16_t>(static_cast<uint16_t>(sum[k] + BIAS) >> SHIFT);
}

// The triangle-filtered chroma of one component. The tile holds rows -1..8 of
// the block's surroundings for V = 2 and rows 0..7 for V = 1, each with the
// columns -1..8. The horizontal sums come first; for V = 2 the vertical 3:1
// step then weighs the sums of the row and of its neighbour row, which gives
// the 9, 3, 3, 1 weights of the 2x2 filter exactly.
// `n` holds the blocks around the chroma block, [row - 1 .. row + 1][col - 1 ..
// col + 1], [1][1] the block itself, null where there is no neighbour.
template <int32_t V>
void filter_chroma(const int16_t* const (*n)[3], FILTERED_CHROMA<V>* out) {
    constexpr int32_t TILE_ROWS = V == 2 ? 10 : 8;
    uint16_t tile[TILE_ROWS][10];
    uint16_t even[TILE_ROWS][8], odd[TILE_ROWS][8];
    if constexpr (V == 2) {
        // The row above the block comes from the block above; without one, from
        // the block's own first row (the corner samples follow the same rule).
        if (n[0][1] != nullptr)
            fill_tile_row(n[0], 7, tile[0]);
        else
            fill_tile_row(n[1], 0, tile[0]);
        for (int32_t r = 0; r < 8; ++r) fill_tile_row(n[1], r, tile[r + 1]);
        if (n[2][1] != nullptr)
            fill_tile_row(n[2], 0, tile[9]);
        else
            fill_tile_row(n[1], 7, tile[9]);
        for (int32_t t = 0; t < TILE_ROWS; ++t) horizontal_sums(tile[t], even[t], odd[t]);
        for (int32_t r = 0; r < 8; ++r) {
            weigh<4, 8>(even[r + 1], even[r], out->even[2 * r]);
            weigh<4, 7>(odd[r + 1], odd[r], out->odd[2 * r]);
            weigh<4, 8>(even[r + 1], even[r + 2], out->even[2 * r + 1]);
            weigh<4, 7>(odd[r + 1], odd[r + 2], out->odd[2 * r + 1]);
        }
    } else {
        for (int32_t r = 0; r < 8; ++r) fill_tile_row(n[1], r, tile[r]);
        for (int32_t r = 0; r < 8; ++r) {
            horizontal_sums(tile[r], even[r], odd[r]);
            round_off<2, 1>(even[r], out->even[r]);
            round_off<2, 2>(odd[r], out->odd[r]);
        }
    }
}

// The colour arithmetic in 16-bit lanes. Each in-place formula is rewritten so
// that every intermediate value is a non-negative number below 2^16: the
// multiple of 256 in each product is taken out before the shift, a multiple of
// 256 is added inside the shift and taken off outside, and the constant that
// is left becomes a bias subtracted just before the clamp:
//   Y + ((359 Cr - 45813) >> 8)        = Y + Cr + ((103 Cr + 11) >> 8) - 179
//   Y + ((34806 - 88 Cb - 183 Cr) >> 8) = Y + ((22774 - 88 Cb + 73 Cr) >> 8) + 302 - Cr - 255
//   Y + ((454 Cb - 57937) >> 8)         = Y + 2 Cb + ((15023 - 58 Cb) >> 8) - 285
constexpr int32_t RED_BIAS = 179;
constexpr int32_t GREEN_BIAS = 255;
constexpr int32_t BLUE_BIAS = 285;

constexpr uint16_t red_sum(uint16_t y, uint16_t cr) {
    return static_cast<uint16_t>(y + cr + (static_cast<uint16_t>(103 * cr + 11) >> 8));
}
constexpr uint16_t green_sum(uint16_t y, uint16_t cb, uint16_t cr) {
    return static_cast<uint16_t>(y + (static_cast<uint16_t>(22774 - 88 * cb + 73 * cr) >> 8) + 302 - cr);
}
constexpr uint16_t blue_sum(uint16_t y, uint16_t cb) {
    return static_cast<uint16_t>(y + 2 * cb + (static_cast<uint16_t>(15023 - 58 * cb) >> 8));
}

// sum - BIAS clamped to 0..255, for sums below 2^15.
template <int32_t BIAS>
constexpr uint16_t clamp_less(uint16_t sum) {
    const int16_t s = static_cast<int16_t>(static_cast<int16_t>(sum) - BIAS);
    return static_cast<uint16_t>(s < 0 ? 0 : s > 255 ? 255 : s);
}

// For every Cb, Cr pair: the sum less its bias is Y plus the in-place term, and
// Y = 255 neither wraps the sum nor reaches 2^15. Since a sum grows with Y one
// for one, clamp_less then gives the in-place byte for every Y. The checks are
// split so that no single one exceeds a compiler's constant-evaluation budget.
constexpr bool sum_matches(int32_t at_0, int32_t at_255, int32_t bias, int32_t term) {
    return at_0 - bias == term && at_255 == at_0 + 255 && at_255 < 32768;
}

constexpr bool red_and_blue_match_in_place_formulas() {
    for (int32_t c = 0; c < 256; ++c) {
        const auto v = static_cast<uint16_t>(c);
        if (!sum_matches(red_sum(0, v), red_sum(255, v), RED_BIAS, (359 * c - 45813) >> 8)) return false;
        if (!sum_matches(blue_sum(0, v), blue_sum(255, v), BLUE_BIAS, (454 * c - 57937) >> 8)) return false;
    }
    return true;
}

constexpr bool green_matches_in_place_formula(int32_t first_cb, int32_t end_cb) {
    for (int32_t cb = first_cb; cb < end_cb; ++cb) {
        for (int32_t cr = 0; cr < 256; ++cr) {
            const auto b = static_cast<uint16_t>(cb), r = static_cast<uint16_t>(cr);
            if (!sum_matches(green_sum(0, b, r), green_sum(255, b, r), GREEN_BIAS, (34806 - 88 * cb - 183 * cr) >> 8))
                return false;
        }
    }
    return true;
}

static_assert(red_and_blue_match_in_place_formulas());
static_assert(green_matches_in_place_formula(0, 32));
static_assert(green_matches_in_place_formula(32, 64));
static_assert(green_matches_in_place_formula(64, 96));
static_assert(green_matches_in_place_formula(96, 128));
static_assert(green_matches_in_place_formula(128, 160));
static_assert(green_matches_in_place_formula(160, 192));
static_assert(green_matches_in_place_formula(192, 224));
static_assert(green_matches_in_place_formula(224, 256));

// Eight pixels of one parity: their colour bytes in DIB order, one 16-bit lane
// each (a quad pixel's fourth byte is always 255).
struct COLOUR_LANES {
    uint16_t first[8], second[8], third[8];
};

template <PIXEL_FORMAT F>
inline void convert_lanes(const uint16_t* lum, const uint16_t* cb, const uint16_t* cr, COLOUR_LANES* out) {
#pragma GCC unroll 1
    for (int32_t k = 0; k < 8; ++k) {
        const uint16_t red = clamp_less<RED_BIAS>(red_sum(lum[k], cr[k]));
        const uint16_t green = clamp_less<GREEN_BIAS>(green_sum(lum[k], cb[k], cr[k]));
        const uint16_t blue = clamp_less<BLUE_BIAS>(blue_sum(lum[k], cb[k]));
        out->first[k] = F == PIXEL_BGR ? blue : red;
        out->second[k] = green;
        out->third[k] = F == PIXEL_BGR ? red : blue;
    }
}

// Converts and stores the 16 x 8V pixels of the MCU; the luma blocks lie in
// raster order, two per block row. The bytes of pixels 2k and 2k + 1 are
// joined pairwise into 16-bit lanes and the lanes of one pair laid side by
// side, so that each pair becomes 8 bytes in memory order: for three-byte
// pixels its six bytes and two spare ones, stored with an 8-byte store that
// the next one partly overwrites (the last pair stores just its six), for quad
// pixels its two whole pixels.
template <int32_t V, PIXEL_FORMAT F>
void store_mcu(const int16_t* luma, const FILTERED_CHROMA<V>& cb, const FILTERED_CHROMA<V>& cr, uint8_t* out,
               intptr_t stride) {
    for (int32_t y = 0; y < 8 * V; ++y) {
        const int16_t* left = luma + (y / 8) * 128 + (y % 8) * 8;
        uint16_t lum_even[8], lum_odd[8];
        for (int32_t k = 0; k < 4; ++k) {
            lum_even[k] = static_cast<uint16_t>(left[2 * k] & 0xFF);
            lum_odd[k] = static_cast<uint16_t>(left[2 * k + 1] & 0xFF);
            lum_even[k + 4] = static_cast<uint16_t>(left[64 + 2 * k] & 0xFF);
            lum_odd[k + 4] = static_cast<uint16_t>(left[64 + 2 * k + 1] & 0xFF);
        }
        COLOUR_LANES even, odd;
        convert_lanes<F>(lum_even, cb.even[y], cr.even[y], &even);
        convert_lanes<F>(lum_odd, cb.odd[y], cr.odd[y], &odd);
        uint8_t* row = offset_address(out, y * stride);
        if constexpr (std::endian::native == std::endian::little) {
            uint16_t pairs[8][4];
#pragma GCC unroll 1
            for (int32_t k = 0; k < 8; ++k) {
                if constexpr (F == PIXEL_QUAD) {
                    pairs[k][0] = static_cast<uint16_t>(even.first[k] | even.second[k] << 8);
                    pairs[k][1] = static_cast<uint16_t>(even.third[k] | 0xFF00);
                    pairs[k][2] = static_cast<uint16_t>(odd.first[k] | odd.second[k] << 8);
                    pairs[k][3] = static_cast<uint16_t>(odd.third[k] | 0xFF00);
                } else {
                    pairs[k][0] = static_cast<uint16_t>(even.first[k] | even.second[k] << 8);
                    pairs[k][1] = static_cast<uint16_t>(even.third[k] | odd.first[k] << 8);
                    pairs[k][2] = static_cast<uint16_t>(odd.second[k] | odd.third[k] << 8);
                    pairs[k][3] = pairs[k][2];  // spare: overwritten or never stored
                }
            }
            if constexpr (F == PIXEL_QUAD) {
                for (int32_t k = 0; k < 8; ++k) std::memcpy(row + 8 * k, pairs[k], 8);
            } else {
                for (int32_t k = 0; k < 7; ++k) std::memcpy(row + 6 * k, pairs[k], 8);
                std::memcpy(row + 42, pairs[7], 6);
            }
        } else {
            const COLOUR_LANES* parity[2] = {&even, &odd};
            constexpr int32_t BPP = F == PIXEL_QUAD ? 4 : 3;
            for (int32_t x = 0; x < 16; ++x) {
                const COLOUR_LANES& c = *parity[x % 2];
                uint8_t* p = row + BPP * x;
                p[0] = static_cast<uint8_t>(c.first[x / 2]);
                p[1] = static_cast<uint8_t>(c.second[x / 2]);
                p[2] = static_cast<uint8_t>(c.third[x / 2]);
                if constexpr (F == PIXEL_QUAD) p[3] = 255;
            }
        }
    }
}

// Kept out of line: inlined into its caller, the whole MCU's work grew large
// enough that the compiler stopped vectorising it, at a third of the speed.
template <int32_t V, PIXEL_FORMAT F>
[[gnu::noinline]] void write_mcu(const x86::SMOOTHED_MCU& m) {
    FILTERED_CHROMA<V> cb, cr;
    filter_chroma<V>(m.cb, &cb);
    filter_chroma<V>(m.cr, &cr);
    store_mcu<V, F>(m.luma, cb, cr, m.out, m.stride);
}

// The neighbours of the MCU's Cb and Cr blocks (the two blocks after the luma),
// from the smoothing ring: buffer 1 holds the MCU's row, 0 the row above and 2
// the row below; slot s holds MCU column s - 1. Rows other than the MCU's own
// are looked at only for 2x2 sampling, and nothing outside the image is.
void find_neighbours(const JPEG_PROPERTIES* props, const SMOOTH_RING_VIEW* ring, const int16_t* mcu,
                     int32_t luma_blocks, int32_t col, int32_t row, bool vertical, const int16_t* cb[3][3],
                     const int16_t* cr[3][3]) {
    // Every entry is assigned once (clearing the records first costs a string
    // store as long as the rest of the look-up). The ring's row buffers and the
    // usable columns are worked out first, so each entry is one test.
    const int16_t* rows[3] = {nullptr, nullptr, nullptr};
    if (ring != nullptr) {
        for (int32_t dy = -1; dy <= 1; ++dy)
            if ((dy == 0 || vertical) && row + dy >= 0 && row + dy < props->mcu_rows) rows[dy + 1] = ring->buffers[1 + dy];
    }
    // Slot s holds MCU column s - 1; the slot must exist in the ring too.
    const int64_t limit = ring != nullptr ? ring->slots - 1 : 0;
    const int64_t step = ring != nullptr ? ring->slot_values : 0;
    bool column_usable[3];
    for (int32_t dx = -1; dx <= 1; ++dx)
        column_usable[dx + 1] = col + dx >= 0 && col + dx < props->mcus_per_row && col + dx < limit;
    const int64_t chroma = static_cast<int64_t>(luma_blocks) * 64;
    for (int32_t dy = 0; dy < 3; ++dy) {
        for (int32_t dx = 0; dx < 3; ++dx) {
            const int16_t* slot = nullptr;
            if (dx == 1 && dy == 1)
                slot = mcu;
            else if (rows[dy] != nullptr && column_usable[dx])
                slot = rows[dy] + static_cast<int64_t>(col + dx) * step;
            cb[dy][dx] = slot != nullptr ? slot + chroma : nullptr;
            cr[dy][dx] = slot != nullptr ? slot + chroma + 64 : nullptr;
        }
    }
}

}  // namespace

SmoothedMcuWriter smoothed_writer_setup(const JPEG_PROPERTIES* props, x86::SMOOTHED_MCU* fixed) {
    if (props->upsample_filter != 1 || props->jpeg_color != CS_YCBCR) return nullptr;
    if (props->multi_scan != 0 || props->decoded_components != 0) return nullptr;
    const COLOR_SPACE d = props->dib_color;
    const int32_t bpp = props->dib_channels;
    PIXEL_FORMAT format;
    if (bpp == 3 && d == CS_RGB)
        format = PIXEL_RGB;
    else if (bpp == 3 && d == CS_BGR)
        format = PIXEL_BGR;
    else if (bpp == 4 && d == CS_QUAD)
        format = PIXEL_QUAD;
    else
        return nullptr;

    // The frame, and a sequential MCU's scan, must be exactly Y 2xV, Cb 1x1, Cr 1x1.
    const FRAME_INFO& frame = props->frame;
    if (frame.components == nullptr || frame.component_count != 3) return nullptr;
    if (frame.max_h_sampling != 2 || (frame.max_v_sampling != 1 && frame.max_v_sampling != 2)) return nullptr;
    const int32_t v = frame.max_v_sampling;
    const COMPONENT_INFO* fc = frame.components;
    if (!sampled(fc[0].h_samp, fc[0].v_samp, 2, v) || !sampled(fc[1].h_samp, fc[1].v_samp, 1, 1) ||
        !sampled(fc[2].h_samp, fc[2].v_samp, 1, 1))
        return nullptr;
    const SCAN_INFO* scan = props->current_scan;
    if (props->progressive_scans == 0 && scan != nullptr && scan->components != nullptr && scan->component_count >= 1) {
        const SCAN_COMPONENT* sc = scan->components;
        if (scan->component_count != 3 || !sampled(sc[0].h_samp, sc[0].v_samp, 2, v) ||
            !sampled(sc[1].h_samp, sc[1].v_samp, 1, 1) || !sampled(sc[2].h_samp, sc[2].v_samp, 1, 1))
            return nullptr;
    }

    fixed->v = v;
    fixed->format = format == PIXEL_RGB ? x86::SMOOTH_RGB : format == PIXEL_BGR ? x86::SMOOTH_BGR : x86::SMOOTH_QUAD;
    fixed->stride = props->dib_stride;
#if VANTOREL_X86_BODIES
    const SMOOTHED_WRITER body = smoothed_writer_for(props->stage_table);
    if (body == SMOOTHED_256) return &x86::write_smoothed_avx2;
    if (body == SMOOTHED_128) return &x86::write_smoothed_ssse3;
#endif
    if (v == 2) {
        if (format == PIXEL_RGB) return &write_mcu<2, PIXEL_RGB>;
        if (format == PIXEL_BGR) return &write_mcu<2, PIXEL_BGR>;
        return &write_mcu<2, PIXEL_QUAD>;
    }
    if (format == PIXEL_RGB) return &write_mcu<1, PIXEL_RGB>;
    if (format == PIXEL_BGR) return &write_mcu<1, PIXEL_BGR>;
    return &write_mcu<1, PIXEL_QUAD>;
}

bool write_smoothed_mcu_from(JPEG_PROPERTIES* props, int32_t mcu_col, int32_t mcu_row, const int16_t* mcu,
                             const SMOOTH_RING_VIEW* ring_view) {
    x86::SMOOTHED_MCU m;
    const SmoothedMcuWriter writer = smoothed_writer_setup(props, &m);
    if (writer == nullptr) return false;

    // Only a wholly visible MCU; a cut one keeps to the general writer.
    if (props->output_start == nullptr) return false;
    const int32_t bpp = props->dib_channels;
    uint8_t* out = whole_mcu_address(props, 16, 8 * m.v, mcu_col, mcu_row, bpp);
    if (out == nullptr) {
        const MCU_RECT region{props->roi_left, props->roi_top, props->roi_right, props->roi_bottom};
        MCU_RECT clip{};
        if (place_mcu(&region, 16, 8 * m.v, mcu_col, mcu_row, bpp, props->dib_stride, props->output_start,
                      props->dib_width, props->dib_height, &out, &clip) != STATUS_SUCCESS)
            return false;
        if (!rects_equal(clip, MCU_RECT{0, 0, 16, 8 * m.v})) return false;
    }
    props->source.mcu_out_ptr = out;

    SMOOTH_RING_VIEW view;
    const SMOOTH_RING_VIEW* ring = ring_view;
    if (ring == nullptr) ring = view_smooth_ring(props, &view) ? &view : nullptr;
    find_neighbours(props, ring, mcu, 2 * m.v, mcu_col, mcu_row, m.v == 2, m.cb, m.cr);
    m.luma = mcu;
    m.out = out;
    writer(m);
    return true;
}

bool write_smoothed_mcu(JPEG_PROPERTIES* props, int32_t mcu_col, int32_t mcu_row) {
    return write_smoothed_mcu_from(props, mcu_col, mcu_row, props->mcu_buffer, nullptr);
}

}  // namespace vantorel

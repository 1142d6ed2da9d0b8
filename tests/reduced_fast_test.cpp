// The reduced inverse transforms (4x4, 2x2, 1x1) and the direct YCbCr writer of
// reduced MCUs against the straightforward scalar forms they replaced, kept
// below as the model. The transforms' model goes column by column and row by
// row, with short paths for columns and rows that hold only their DC value;
// every output must match exactly over dense, sparse and DC-only blocks and over
// the most extreme 16-bit coefficients, where the 32-bit sums wrap. The writer's
// model converts pixel by pixel; every DIB byte must match over every sampling
// it takes, regions, cut MCUs, bottom-up and padded DIBs and samples outside
// 0..255.
#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "codec/decoder/decoder.h"
#include "codec/decoder/reduced_sizes.h"
#include "support/output_fixture.h"

namespace vantorel {
namespace model {

using u32 = uint32_t;

inline u32 wrap(int32_t v) { return static_cast<u32>(v); }
inline int32_t sar(u32 v, int n) { return static_cast<int32_t>(v) >> n; }
inline int16_t clamp_sample(int32_t x) {
    if (x < -128) return 0;
    if (x >= 128) return 255;
    return static_cast<int16_t>(x + 128);
}

inline void transform_4(u32 x0, u32 x1, u32 x2, u32 x3, u32 x5, u32 x6, u32 x7, u32 out[4]) {
    const u32 even = x2 * 15137u - x6 * 6270u;
    const u32 t10 = (x0 << 14) + even;
    const u32 t12 = (x0 << 14) - even;
    const u32 t0 = x5 * 11893u + x1 * 8697u - x3 * 17799u - x7 * 1730u;
    const u32 t2 = x3 * 7373u + x1 * 20995u - x5 * 4926u - x7 * 4176u;
    out[0] = t10 + t2;
    out[1] = t12 + t0;
    out[2] = t12 - t0;
    out[3] = t10 - t2;
}

inline u32 odd_2(u32 x1, u32 x3, u32 x5, u32 x7) {
    return x1 * 29692u - x3 * 10426u + x5 * 6967u - x7 * 5906u;
}

void idct_4x4(int16_t* block) {
    u32 work[4 * 8] = {};
    u32 out[4];
    for (int col = 0; col < 8; ++col) {
        if (col == 4) continue;
        const int16_t* c = block + col;
        if (c[8] == 0 && c[16] == 0 && c[24] == 0 && c[40] == 0 && c[48] == 0 && c[56] == 0) {
            const u32 dc = wrap(c[0]) * 4u;
            for (int r = 0; r < 4; ++r) work[8 * r + col] = dc;
            continue;
        }
        transform_4(wrap(c[0]), wrap(c[8]), wrap(c[16]), wrap(c[24]), wrap(c[40]), wrap(c[48]), wrap(c[56]), out);
        for (int r = 0; r < 4; ++r) work[8 * r + col] = wrap(sar(out[r] + 2048u, 12));
    }
    for (int row = 0; row < 4; ++row) {
        const u32* w = work + 8 * row;
        int16_t* dst = block + 8 * row;
        if (w[1] == 0 && w[2] == 0 && w[3] == 0 && w[5] == 0 && w[6] == 0 && w[7] == 0) {
            const int16_t s = clamp_sample(sar(w[0] + 16u, 5));
            for (int k = 0; k < 4; ++k) dst[k] = s;
            continue;
        }
        transform_4(w[0], w[1], w[2], w[3], w[5], w[6], w[7], out);
        for (int k = 0; k < 4; ++k) dst[k] = clamp_sample(sar(out[k] + 0x40000u, 19));
    }
}

void idct_2x2(int16_t* block) {
    u32 work[2 * 8] = {};
    static constexpr int kColumns[5] = {0, 1, 3, 5, 7};
    for (int col : kColumns) {
        const int16_t* c = block + col;
        if (c[8] == 0 && c[24] == 0 && c[40] == 0 && c[56] == 0) {
            const u32 dc = wrap(c[0]) * 4u;
            work[col] = dc;
            work[8 + col] = dc;
            continue;
        }
        const u32 z = odd_2(wrap(c[8]), wrap(c[24]), wrap(c[40]), wrap(c[56]));
        const u32 base = wrap(c[0]) << 15;
        work[col] = wrap(sar(base + z + 4096u, 13));
        work[8 + col] = wrap(sar(base - z + 4096u, 13));
    }
    for (int row = 0; row < 2; ++row) {
        const u32* w = work + 8 * row;
        int16_t* dst = block + 8 * row;
        if (w[1] == 0 && w[3] == 0 && w[5] == 0 && w[7] == 0) {
            const int16_t s = clamp_sample(sar(w[0] + 16u, 5));
            dst[0] = s;
            dst[1] = s;
            continue;
        }
        const u32 z = odd_2(w[1], w[3], w[5], w[7]);
        const u32 base = w[0] << 15;
        dst[0] = clamp_sample(sar(base + z + 0x80000u, 20));
        dst[1] = clamp_sample(sar(base - z + 0x80000u, 20));
    }
}

void idct_1x1(int16_t* block) { block[0] = clamp_sample(sar(wrap(block[0]) + 4u, 3)); }

// The direct writer of reduced YCbCr MCUs as it was, with its helpers.
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


// 1, 2 or 4 as a shift; -1 for any other value.
int32_t shift_of(int32_t value) {
    switch (value) {
        case 1: return 0;
        case 2: return 1;
        case 4: return 2;
        default: return -1;
    }
}

// The three colour terms of each chroma sample of one chroma row (at most 8).
struct YCC_TERMS {
    int32_t red[8], green[8], blue[8];
};

// Converts pixels left..right - 1 of one row: CHANNELS bytes per pixel, red at
// byte RED (blue opposite it, green between), and 255 in a fourth byte.
template <int32_t CHANNELS, int32_t RED>
void store_converted_row(uint8_t* row, const uint8_t* luma, const YCC_TERMS& terms, int32_t left, int32_t right,
                         int32_t chroma_shift) {
    for (int32_t x = left; x < right; ++x) {
        const int32_t c = x >> chroma_shift;
        const int32_t value = luma[x];
        uint8_t* pixel = row + static_cast<intptr_t>(x) * CHANNELS;
        pixel[RED] = clamp_byte(value + terms.red[c]);
        pixel[1] = clamp_byte(value + terms.green[c]);
        pixel[2 - RED] = clamp_byte(value + terms.blue[c]);
        if (CHANNELS == 4) pixel[3] = 255;
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
bool write_reduced_ycc_direct(JPEG_PROPERTIES* props, BYTE_SOURCE* source, const SCAN_INFO* scan, int32_t mcu_col,
                              int32_t mcu_row, int32_t n, int32_t simple_sampling, bool frame_form) {
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
    const int32_t k = reduced_transform_factor(props, 1, 1, n, simple_sampling);
    const int32_t rx_shift = shift_of(max_h / k);
    const int32_t ry_shift = shift_of(max_v / k);
    if (rx_shift < 0 || ry_shift < 0 || max_h % k != 0 || max_v % k != 0) return false;

    MCU_RECT clip;
    if (!place(props, source, max_h * n, max_v * n, mcu_col, mcu_row, &clip)) return true;
    uint8_t* const out = source->mcu_out_ptr;
    const int16_t* const luma = props->mcu_buffer + 64 * comps[0].first_block;
    const int16_t* const cb_block = props->mcu_buffer + 64 * comps[1].first_block;
    const int16_t* const cr_block = props->mcu_buffer + 64 * comps[2].first_block;
    // One row at a time: the row's luma samples and the chroma terms of the
    // chroma samples under it (shared by the rows one chroma row covers) go to
    // small arrays first, so the pixel loop is plain arithmetic and stores.
    const int32_t n_mask = n - 1;
    uint8_t luma_row[PLANE_STRIDE];
    YCC_TERMS terms;
    int32_t terms_row = -1;
    const int32_t first_chroma = clip.left >> rx_shift;
    const int32_t end_chroma = ((clip.right - 1) >> rx_shift) + 1;
    for (int32_t y = clip.top; y < clip.bottom; ++y) {
        const int16_t* luma_samples = luma + 64 * ((y >> n_shift) * max_h) + 8 * (y & n_mask);
        for (int32_t x = clip.left; x < clip.right; ++x)
            luma_row[x] = low_byte(luma_samples[64 * (x >> n_shift) + (x & n_mask)]);
        if ((y >> ry_shift) != terms_row) {
            terms_row = y >> ry_shift;
            for (int32_t c = first_chroma; c < end_chroma; ++c) {
                const int32_t cb = low_byte(cb_block[8 * terms_row + c]);
                const int32_t cr = low_byte(cr_block[8 * terms_row + c]);
                terms.red[c] = (359 * cr - 45813) >> 8;
                terms.green[c] = (34806 - 88 * cb - 183 * cr) >> 8;
                terms.blue[c] = (454 * cb - 57937) >> 8;
            }
        }
        uint8_t* row = out + static_cast<intptr_t>(y) * props->dib_stride;
        if (channels == 4)
            store_converted_row<4, 0>(row, luma_row, terms, clip.left, clip.right, rx_shift);
        else if (dib == CS_BGR)
            store_converted_row<3, 2>(row, luma_row, terms, clip.left, clip.right, rx_shift);
        else
            store_converted_row<3, 0>(row, luma_row, terms, clip.left, clip.right, rx_shift);
    }
    return true;
}


}  // namespace model

namespace {

using Block = std::array<int16_t, 64>;

// Blocks of many shapes: which coefficients are present (all, a random few, the
// DC alone, whole columns or rows of nothing but DC-row / DC-column values) and
// how large they are (small, image-like, anything, or only the extremes).
Block random_block(std::mt19937& rng) {
    Block b{};
    std::uniform_int_distribution<int> shape(0, 9), magnitude(0, 4), any(-32768, 32767), bit(0, 1);
    const int m = magnitude(rng);
    auto value = [&]() -> int16_t {
        switch (m) {
            case 0: return static_cast<int16_t>(any(rng) % 8);
            case 1: return static_cast<int16_t>(any(rng) % 256);
            case 2: return static_cast<int16_t>(any(rng) % 4096);
            case 3: return static_cast<int16_t>(any(rng));
            default: {
                static constexpr int16_t kEdge[6] = {-32768, 32767, -32767, 16384, -16384, 0};
                return kEdge[std::uniform_int_distribution<int>(0, 5)(rng)];
            }
        }
    };
    switch (shape(rng)) {
        case 0:  // dense
        case 1:
            for (auto& v : b) v = value();
            break;
        case 2:  // DC only
            b[0] = value();
            break;
        case 3:  // row 0 only: every column holds only its DC
            for (int c = 0; c < 8; ++c) b[c] = bit(rng) ? value() : int16_t{0};
            break;
        case 4:  // column 0 only: every row's column pass input is DC-like
            for (int r = 0; r < 8; ++r) b[8 * r] = bit(rng) ? value() : int16_t{0};
            break;
        case 5:  // a few coefficients anywhere
        case 6: {
            const int count = std::uniform_int_distribution<int>(1, 6)(rng);
            for (int i = 0; i < count; ++i) b[std::uniform_int_distribution<int>(0, 63)(rng)] = value();
            break;
        }
        case 7:  // row 0 and column 0
            for (int i = 0; i < 8; ++i) {
                b[i] = bit(rng) ? value() : int16_t{0};
                b[8 * i] = bit(rng) ? value() : int16_t{0};
            }
            break;
        case 8:  // the top-left 4x4 corner
            for (int r = 0; r < 4; ++r)
                for (int c = 0; c < 4; ++c) b[8 * r + c] = value();
            break;
        default:  // only what the frequencies 4 drop: row 4 and column 4, plus DC
            b[0] = value();
            for (int i = 0; i < 8; ++i) {
                b[32 + i] = value();
                b[8 * i + 4] = value();
            }
            break;
    }
    return b;
}

template <typename Fast, typename Model>
void compare_many(Fast fast, Model reference, int n, uint32_t seed) {
    std::mt19937 rng(seed);
    for (int trial = 0; trial < 400000; ++trial) {
        const Block input = random_block(rng);
        Block expected = input, actual = input;
        reference(expected.data());
        fast(actual.data());
        // Only the n x n corner is the result; the rest of the block is scratch.
        for (int r = 0; r < n; ++r)
            for (int c = 0; c < n; ++c)
                ASSERT_EQ(actual[8 * r + c], expected[8 * r + c])
                    << "trial " << trial << " at " << r << "," << c << " coefficient 0 = " << input[0];
    }
}

TEST(ReducedFast, Transform4x4MatchesModel) { compare_many(idct_direct_4x4, model::idct_4x4, 4, 1u); }
TEST(ReducedFast, Transform2x2MatchesModel) { compare_many(idct_direct_2x2, model::idct_2x2, 2, 2u); }
TEST(ReducedFast, Transform1x1MatchesModel) { compare_many(idct_direct_1x1, model::idct_1x1, 1, 3u); }

// A row whose only non-zero input is its DC takes sar(w0 + 16, 5), while the
// full formula would shift w0 by 14 first and wrap once |w0| >= 2^17. Such rows
// come from columns whose large AC values cancel into one row sum.
TEST(ReducedFast, Transform4x4LargeDcRows) {
    std::mt19937 rng(4u);
    std::uniform_int_distribution<int> any(-32768, 32767);
    for (int trial = 0; trial < 200000; ++trial) {
        Block input{};
        // Column 0 only, large values: every row result of column 0 is large
        // and the other inputs of each row are zero.
        for (int r = 0; r < 8; ++r) input[8 * r] = static_cast<int16_t>(any(rng));
        if (trial & 1) input[4] = static_cast<int16_t>(any(rng));  // column 4 is ignored
        Block expected = input, actual = input;
        model::idct_4x4(expected.data());
        idct_direct_4x4(actual.data());
        for (int r = 0; r < 4; ++r)
            for (int c = 0; c < 4; ++c) ASSERT_EQ(actual[8 * r + c], expected[8 * r + c]) << trial;
    }
}


// ---------------------------------------------------------------------------
// The direct YCbCr writer of reduced MCUs
// ---------------------------------------------------------------------------

struct WriterFixture : test::OutputFixture {
    WriterFixture() {
        props->current_scan = &scan;
        scan.components = scan_components;
    }
    // Luma sampled h x v, both chroma components 1 x 1, one interleaved scan.
    void layout(int32_t h, int32_t v, int32_t width, int32_t height) {
        frame({{h, v}, {1, 1}, {1, 1}}, CS_YCBCR, width, height);
        props->frame.width = width, props->frame.height = height;
        props->frame.max_h_sampling = h, props->frame.max_v_sampling = v;
        props->mcus_per_row = props->frame.mcus_per_row = (width + 8 * h - 1) / (8 * h);
        props->mcu_rows = (height + 8 * v - 1) / (8 * v);
        scan.component_count = 3;
        scan_components[0] = SCAN_COMPONENT{0, h, v, nullptr, nullptr, nullptr};
        scan_components[1] = SCAN_COMPONENT{1, 1, 1, nullptr, nullptr, nullptr};
        scan_components[2] = SCAN_COMPONENT{2, 1, 1, nullptr, nullptr, nullptr};
        blocks = h * v + 2;
    }
    SCAN_INFO scan{};
    SCAN_COMPONENT scan_components[4]{};
    int32_t blocks = 0;
};

// Every configuration the writer takes, at random: luma sampling, block size,
// the simple-sampling flag, progressive or sequential, smoothing requested or
// not, the three pixel layouts, the whole image or a region, top-down or
// bottom-up with padding, and MCUs anywhere in the image, including cut ones.
TEST(ReducedFast, DirectYccWriterMatchesModel) {
    std::mt19937 rng(5u);
    auto pick = [&rng](int32_t low, int32_t high) { return std::uniform_int_distribution<int32_t>(low, high)(rng); };
    static constexpr int32_t kFactors[3] = {1, 2, 4};
    const struct {
        COLOR_SPACE color;
        int32_t channels;
    } targets[] = {{CS_BGR, 3}, {CS_RGB, 3}, {CS_QUAD, 4}};
    int32_t compared = 0;
    for (int32_t trial = 0; trial < 30000; ++trial) {
        const int32_t h = kFactors[pick(0, 2)], v = kFactors[pick(0, 2)], n = kFactors[pick(0, 2)];
        const int32_t simple = pick(0, 1), progressive = pick(0, 1), smooth = pick(0, 3) == 0 ? 1 : 0;
        const auto target = targets[pick(0, 2)];
        const int32_t mcu_w = h * n, mcu_h = v * n;
        const int32_t image_w = pick(1, 3 * mcu_w), image_h = pick(1, 3 * mcu_h);
        const bool use_region = pick(0, 2) == 0;
        int32_t region[4] = {0, 0, 0, 0};
        if (use_region) {
            region[0] = pick(0, image_w - 1), region[1] = pick(0, image_h - 1);
            region[2] = pick(region[0] + 1, image_w), region[3] = pick(region[1] + 1, image_h);
        }
        const int32_t dib_w = use_region ? region[2] - region[0] : image_w;
        const int32_t dib_h = use_region ? region[3] - region[1] : image_h;
        const bool bottom_up = pick(0, 1) == 1;
        const int32_t pad = pick(0, 3);
        const int32_t col = pick(0, (image_w - 1) / mcu_w), row = pick(0, (image_h - 1) / mcu_h);
        const bool subsampled = h != 1 || v != 1;

        std::vector<int16_t> samples(64 * static_cast<size_t>(h * v + 2));
        for (int16_t& value : samples) {
            const int32_t r = pick(0, 15);
            value = static_cast<int16_t>(r == 0 ? pick(-32768, 32767) : r == 1 ? pick(-40, 300) : pick(0, 255));
        }
        const std::string what = "trial " + std::to_string(trial) + " luma " + std::to_string(h) + "x" +
                                 std::to_string(v) + " n " + std::to_string(n) + " simple " +
                                 std::to_string(simple) + " progressive " + std::to_string(progressive) +
                                 " channels " + std::to_string(target.channels) + " region " +
                                 std::to_string(use_region) + " mcu " + std::to_string(col) + "," +
                                 std::to_string(row);
        SCOPED_TRACE(what);

        auto prepare = [&](WriterFixture& f) {
            f.layout(h, v, image_w, image_h);
            f.props->needs_upsampling = subsampled ? 1 : 0;
            f.props->needs_color_conversion = 1;
            f.props->progressive_scans = progressive;
            f.props->upsample_filter = smooth;
            if (use_region) f.region(region[0], region[1], region[2], region[3]);
            f.dib(target.color, target.channels, dib_w, bottom_up ? -dib_h : dib_h, pad);
            std::copy(samples.begin(), samples.end(), f.props->mcu_buffer);
        };
        WriterFixture expected;
        prepare(expected);
        const SCAN_INFO* own = subsampled && progressive == 0 ? &expected.scan : nullptr;
        const bool frame_form = subsampled ? progressive != 0 : true;
        const bool direct = model::write_reduced_ycc_direct(expected.props.get(), &expected.props->source, own, col,
                                                            row, n, simple, frame_form);
        if (!direct) continue;

        WriterFixture actual;
        prepare(actual);
        write_scaled_mcu(actual.props.get(), &actual.props->source, &actual.scan, col, row, n, simple);
        ASSERT_EQ(actual.pixels, expected.pixels);
        // The blocks are read only.
        ASSERT_TRUE(std::equal(samples.begin(), samples.end(), actual.props->mcu_buffer));
        ++compared;
    }
    EXPECT_GT(compared, 10000);
}

// The DIB of a WriterFixture moved into a buffer with guard bytes before its
// first row and after its last, so that a store past either end shows.
struct GuardedDib {
    static constexpr size_t GUARD = 64;
    explicit GuardedDib(WriterFixture& f) {
        const size_t body = static_cast<size_t>(f.row_bytes * f.rows);
        bytes.assign(GUARD + body + GUARD, test::CANARY);
        uint8_t* first = bytes.data() + GUARD;
        f.props->dib_pixels = first;
        f.props->output_start = f.props->dib_height < 0 ? first + (f.rows - 1) * f.row_bytes : first;
    }
    bool guards_intact() const {
        for (size_t i = 0; i < GUARD; ++i)
            if (bytes[i] != test::CANARY || bytes[bytes.size() - 1 - i] != test::CANARY) return false;
        return true;
    }
    std::vector<uint8_t> bytes;
};

// Wholly visible MCUs of every sampling the direct writer takes at 1/2 and 1/4
// scale (luma 1x1, 1x2, 2x1, 2x2 and the wider 4x1, 1x4, 4x2, 2x4, 4x4), with
// and without the larger chroma transform, in every pixel layout, against the
// model byte for byte. The MCUs lie anywhere in images of several MCUs, at the
// bottom-right corner of the DIB too, whose rows are top-down or bottom-up and
// padded or not, with or without a region around them; the DIB sits between
// guard bytes. Samples go well outside 0..255.
TEST(ReducedFast, WholeMcusMatchModelInEveryLayout) {
    std::mt19937 rng(6u);
    auto pick = [&rng](int32_t low, int32_t high) { return std::uniform_int_distribution<int32_t>(low, high)(rng); };
    static constexpr int32_t kSamplings[][2] = {{1, 1}, {1, 2}, {2, 1}, {2, 2}, {4, 1}, {1, 4}, {4, 2}, {2, 4}, {4, 4}};
    const struct {
        COLOR_SPACE color;
        int32_t channels;
    } targets[] = {{CS_BGR, 3}, {CS_RGB, 3}, {CS_QUAD, 4}};
    int32_t compared = 0;
    for (const auto& sampling : kSamplings)
        for (const int32_t n : {2, 4})
            for (const int32_t simple : {0, 1})
                for (const auto& target : targets)
                    for (int32_t round = 0; round < 150; ++round) {
                        const int32_t h = sampling[0], v = sampling[1];
                        const int32_t progressive = pick(0, 1);
                        const int32_t mcu_w = h * n, mcu_h = v * n;
                        const int32_t cols = pick(1, 3), rows = pick(1, 3);
                        // Whole MCUs only: the image may end inside the next one.
                        const int32_t image_w = cols * mcu_w + (pick(0, 1) ? pick(0, mcu_w - 1) : 0);
                        const int32_t image_h = rows * mcu_h + (pick(0, 1) ? pick(0, mcu_h - 1) : 0);
                        const int32_t col = round % 4 == 0 ? cols - 1 : pick(0, cols - 1);
                        const int32_t row = round % 4 == 0 ? rows - 1 : pick(0, rows - 1);
                        // A region, when there is one, covers the MCU.
                        const bool use_region = pick(0, 2) == 0;
                        int32_t region[4] = {0, 0, image_w, image_h};
                        if (use_region) {
                            region[0] = pick(0, col * mcu_w), region[1] = pick(0, row * mcu_h);
                            region[2] = pick((col + 1) * mcu_w, image_w);
                            region[3] = pick((row + 1) * mcu_h, image_h);
                        }
                        const int32_t dib_w = region[2] - region[0], dib_h = region[3] - region[1];
                        const bool bottom_up = pick(0, 1) == 1;
                        const int32_t pad = pick(0, 1) ? 0 : pick(1, 3);

                        std::vector<int16_t> samples(64 * static_cast<size_t>(h * v + 2));
                        for (int16_t& value : samples) {
                            const int32_t r = pick(0, 7);
                            value = static_cast<int16_t>(r == 0   ? pick(-32768, 32767)
                                                         : r == 1 ? pick(-300, 600)
                                                         : r == 2 ? (pick(0, 1) ? 0 : 255)
                                                                  : pick(0, 255));
                        }
                        SCOPED_TRACE("luma " + std::to_string(h) + "x" + std::to_string(v) + " n " +
                                     std::to_string(n) + " simple " + std::to_string(simple) + " progressive " +
                                     std::to_string(progressive) + " channels " + std::to_string(target.channels) +
                                     " colour " + std::to_string(target.color) + " round " + std::to_string(round));

                        const bool subsampled = h != 1 || v != 1;
                        auto prepare = [&](WriterFixture& f) {
                            f.layout(h, v, image_w, image_h);
                            f.props->needs_upsampling = subsampled ? 1 : 0;
                            f.props->needs_color_conversion = 1;
                            f.props->progressive_scans = progressive;
                            if (use_region) f.region(region[0], region[1], region[2], region[3]);
                            f.dib(target.color, target.channels, dib_w, bottom_up ? -dib_h : dib_h, pad);
                            std::copy(samples.begin(), samples.end(), f.props->mcu_buffer);
                        };
                        WriterFixture expected;
                        prepare(expected);
                        GuardedDib expected_dib(expected);
                        const SCAN_INFO* own = subsampled && progressive == 0 ? &expected.scan : nullptr;
                        const bool frame_form = subsampled ? progressive != 0 : true;
                        if (!model::write_reduced_ycc_direct(expected.props.get(), &expected.props->source, own,
                                                             col, row, n, simple, frame_form))
                            continue;

                        WriterFixture actual;
                        prepare(actual);
                        GuardedDib actual_dib(actual);
                        write_scaled_mcu(actual.props.get(), &actual.props->source, &actual.scan, col, row, n,
                                         simple);
                        ASSERT_TRUE(actual_dib.guards_intact());
                        ASSERT_EQ(actual_dib.bytes, expected_dib.bytes);
                        // The MCU's address is left as the general writer leaves it.
                        ASSERT_EQ(actual.props->source.mcu_out_ptr - actual_dib.bytes.data(),
                                  expected.props->source.mcu_out_ptr - expected_dib.bytes.data());
                        ASSERT_TRUE(std::equal(samples.begin(), samples.end(), actual.props->mcu_buffer));
                        ++compared;
                    }
    // Every configuration above is one the direct writer takes.
    EXPECT_EQ(compared, 9 * 2 * 2 * 3 * 150);
}

// Every pair of chroma bytes (with luma spanning 0..255 and beyond) through
// wholly visible 4:4:4 and 4:2:0 MCUs: the colour terms are worked in a split
// form on the whole-MCU path, and each term must equal its formula everywhere.
TEST(ReducedFast, WholeMcusConvertEveryChromaPair) {
    const struct {
        COLOR_SPACE color;
        int32_t channels;
    } targets[] = {{CS_BGR, 3}, {CS_RGB, 3}, {CS_QUAD, 4}};
    for (const int32_t h : {1, 2}) {
        // 4:4:4 at 1/2: 16 pairs per MCU; 4:2:0 at 1/2 with the larger chroma
        // transform: 64 pairs per MCU.
        const int32_t pairs_per_mcu = h == 1 ? 16 : 64;
        for (const auto& target : targets) {
            int32_t pair = 0;
            while (pair < 65536) {
                WriterFixture expected, actual;
                auto prepare = [&](WriterFixture& f) {
                    f.layout(h, h, 4 * h, 4 * h);
                    f.props->needs_upsampling = h == 1 ? 0 : 1;
                    f.props->needs_color_conversion = 1;
                    f.dib(target.color, target.channels, 4 * h, 4 * h);
                    int16_t* luma = f.block(0);
                    for (int32_t b = 0; b < h * h; ++b)
                        for (int32_t i = 0; i < 64; ++i)
                            luma[64 * b + i] = static_cast<int16_t>((pair / 7 + 37 * b + 11 * i) % 300 - 20);
                    int16_t* cb = f.block(h * h);
                    int16_t* cr = f.block(h * h + 1);
                    for (int32_t s = 0; s < pairs_per_mcu; ++s) {
                        const int32_t at = h == 1 ? 8 * (s / 4) + s % 4 : s;
                        const int32_t p = pair + s;
                        // Past 0..255 the low byte counts: add a multiple of 256 now and then.
                        cb[at] = static_cast<int16_t>((p & 0xFF) + ((p >> 3) % 3 - 1) * 256);
                        cr[at] = static_cast<int16_t>(((p >> 8) & 0xFF) + ((p >> 5) % 3 - 1) * 512);
                    }
                };
                prepare(expected);
                prepare(actual);
                const SCAN_INFO* own = h == 1 ? nullptr : &expected.scan;
                ASSERT_TRUE(model::write_reduced_ycc_direct(expected.props.get(), &expected.props->source, own, 0,
                                                            0, 4, 1, h == 1));
                write_scaled_mcu(actual.props.get(), &actual.props->source, &actual.scan, 0, 0, 4, 1);
                ASSERT_EQ(actual.pixels, expected.pixels) << "pairs from " << pair;
                pair += pairs_per_mcu;
            }
        }
    }
}

}  // namespace
}  // namespace vantorel

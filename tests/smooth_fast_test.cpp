// The direct writer for smoothed 2x2 and 2x1 Y/Cb/Cr MCUs (write_smoothed_mcu,
// reached through convert_general). Three views of it:
//   - MCU by MCU against the general writer and in-place pass it stands in for,
//     over grids with missing neighbours, cut MCUs, regions, bottom-up and
//     padded DIBs and samples outside 0..255;
//   - the layouts and MCUs it must leave alone, untouched;
//   - whole decodes of streams of odd sizes against a straightforward model of
//     the filter and conversion computed from the decoded component samples.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "codec/decoder/x86/x86_stages.h"
#include "support/output_fixture.h"
#include "support/reference_jpeg.h"
#include "support/reference_vantorel.h"

namespace vantorel {
namespace {

using namespace vantorel::test;

uint32_t next_random(uint32_t* seed) {
    *seed = *seed * 1664525u + 1013904223u;
    return *seed >> 8;
}

// Mostly 0..255; one sample in sixteen anywhere in the 16-bit range, so that a
// writer that does not keep to the low byte as the general one does shows up.
int16_t random_sample(uint32_t* seed) {
    const uint32_t r = next_random(seed);
    if (r % 16 == 0) return static_cast<int16_t>(next_random(seed) & 0xFFFF);
    return static_cast<int16_t>(r % 256);
}

// A smoothing ring of four buffers of (columns + 2) slots, every sample random.
struct RandomRing {
    RandomRing(OutputFixture& f, int32_t columns, int32_t blocks, uint32_t seed)
        : data(static_cast<size_t>(4 * (columns + 2) * blocks * 64)) {
        for (int16_t& value : data) value = random_sample(&seed);
        for (int32_t b = 0; b < 4; ++b) ring.buffers[b] = data.data() + b * (columns + 2) * blocks * 64;
        f.props->smooth_ring = &ring;
    }
    std::vector<int16_t> data;
    SMOOTH_RING ring{};
};

struct GRID_CASE {
    const char* name;
    int32_t v;              // Y sampled 2 x v
    COLOR_SPACE dib;        // CS_RGB, CS_BGR (3 bytes) or CS_QUAD (4 bytes)
    int32_t width, height;  // the image; the DIB is as large, or the region's size
    int32_t region[4];      // left, top, right, bottom; all 0 for the whole image
    bool bottom_up;
    int32_t pad;
    bool progressive;
    bool ring;  // without a ring every neighbour is missing
    bool scan;  // a sequential scan listing the three components
    int32_t ring_short = 0;  // the ring has this many MCU columns fewer than the image
};

// What every MCU of the grid leaves in the DIB when written by `writer`.
enum WRITER { THROUGH_CONVERT_GENERAL, GENERAL_ONLY, DIRECT_ONLY };

struct GRID_RESULT {
    std::vector<uint8_t> pixels;
    std::vector<JPEG_STATUS> statuses;
    int32_t direct = 0;  // MCUs the direct writer took
};

// `detected`: the record's stage table is filled for this processor (its packed
// bodies) instead of generically.
GRID_RESULT render_grid(const GRID_CASE& c, WRITER writer, bool detected = false) {
    OutputFixture f;
    if (detected) {
        EXPECT_GE(select_processor_variant(&f.table), 0);
    }
    f.frame({{2, c.v}, {1, 1}, {1, 1}}, CS_YCBCR, c.width, c.height);
    const bool whole = c.region[0] == 0 && c.region[1] == 0 && c.region[2] == 0 && c.region[3] == 0;
    const int32_t dib_w = whole ? c.width : c.region[2] - c.region[0];
    const int32_t dib_h = whole ? c.height : c.region[3] - c.region[1];
    f.dib(c.dib, c.dib == CS_QUAD ? 4 : 3, dib_w, c.bottom_up ? -dib_h : dib_h, c.pad);
    if (!whole) f.region(c.region[0], c.region[1], c.region[2], c.region[3]);
    f.props->upsample_filter = 1;
    f.props->progressive_scans = c.progressive ? 1 : 0;
    EXPECT_EQ(f.select(), 0) << c.name;
    EXPECT_EQ(f.active(), &convert_general) << c.name;
    SCAN_COMPONENT components[3]{};
    SCAN_INFO scan{};
    if (c.scan) {
        for (int32_t i = 0; i < 3; ++i) {
            components[i].frame_index = i;
            components[i].h_samp = i == 0 ? 2 : 1;
            components[i].v_samp = i == 0 ? c.v : 1;
        }
        scan.component_count = 3;
        scan.components = components;
        f.props->current_scan = &scan;
    }
    const int32_t blocks = 2 * c.v + 2;
    std::unique_ptr<RandomRing> ring;
    if (c.ring) ring = std::make_unique<RandomRing>(f, f.props->mcus_per_row - c.ring_short, blocks, 77);

    GRID_RESULT out;
    uint32_t seed = 5;
    for (int32_t row = 0; row < f.props->mcu_rows; ++row) {
        for (int32_t col = 0; col < f.props->mcus_per_row; ++col) {
            for (int32_t i = 0; i < blocks * 64; ++i) f.props->mcu_buffer[i] = random_sample(&seed);
            JPEG_PROPERTIES* p = f.props.get();
            JPEG_STATUS status = STATUS_SUCCESS;
            if (writer == THROUGH_CONVERT_GENERAL) {
                status = convert_general(p, col, row);
            } else if (writer == GENERAL_ONLY) {
                status =
                    c.progressive ? output_progressive_general(p, col, row) : output_sequential_general(p, col, row);
                convert_in_place(p, col, row);
            } else if (write_smoothed_mcu(p, col, row)) {
                ++out.direct;
            }
            out.statuses.push_back(status);
        }
    }
    f.props->current_scan = nullptr;
    out.pixels = f.pixels;
    return out;
}

// Whole MCUs of a grid: those of the image (or region) the DIB shows completely.
int32_t whole_mcus(const GRID_CASE& c) {
    const bool whole = c.region[0] == 0 && c.region[1] == 0 && c.region[2] == 0 && c.region[3] == 0;
    const int32_t left = whole ? 0 : c.region[0], top = whole ? 0 : c.region[1];
    const int32_t right = whole ? c.width : c.region[2], bottom = whole ? c.height : c.region[3];
    const int32_t mcu_h = 8 * c.v;
    int32_t count = 0;
    for (int32_t y = 0; y < c.height; y += mcu_h)
        for (int32_t x = 0; x < c.width; x += 16)
            if (x >= left && y >= top && x + 16 <= right && y + mcu_h <= bottom) ++count;
    return count;
}

TEST(SmoothDirect, EveryMcuMatchesTheGeneralWriterAndCutOnesAreLeftToIt) {
    const GRID_CASE cases[] = {
        {"2x2 bgr, cut right and bottom", 2, CS_BGR, 53, 37, {0, 0, 0, 0}, false, 0, false, true, true},
        {"2x2 rgb bottom-up padded", 2, CS_RGB, 64, 48, {0, 0, 0, 0}, true, 3, false, true, false},
        {"2x2 quad progressive", 2, CS_QUAD, 61, 40, {0, 0, 0, 0}, false, 2, true, true, false},
        {"2x2 rgb without a ring", 2, CS_RGB, 48, 32, {0, 0, 0, 0}, false, 0, false, false, true},
        {"2x2 bgr region from mid-MCU", 2, CS_BGR, 80, 64, {5, 3, 70, 61}, false, 1, false, true, true},
        {"2x2 quad region bottom-up", 2, CS_QUAD, 80, 64, {16, 16, 64, 48}, true, 0, false, true, true},
        {"2x1 bgr, cut right and bottom", 1, CS_BGR, 53, 21, {0, 0, 0, 0}, false, 0, false, true, true},
        {"2x1 rgb bottom-up padded", 1, CS_RGB, 64, 24, {0, 0, 0, 0}, true, 1, false, true, false},
        {"2x1 quad progressive", 1, CS_QUAD, 35, 17, {0, 0, 0, 0}, false, 0, true, true, false},
        {"2x1 bgr region from mid-MCU", 1, CS_BGR, 96, 40, {9, 2, 90, 37}, true, 2, false, true, true},
        {"2x1 rgb one column", 1, CS_RGB, 16, 32, {0, 0, 0, 0}, false, 0, false, true, true},
        // A ring made for a narrower image: the slots it lacks are missing neighbours.
        {"2x2 bgr, ring two columns short", 2, CS_BGR, 80, 48, {0, 0, 0, 0}, false, 0, false, true, true, 2},
        {"2x1 rgb, ring one column short", 1, CS_RGB, 64, 24, {0, 0, 0, 0}, false, 0, false, true, true, 1},
    };
    for (const GRID_CASE& c : cases) {
        SCOPED_TRACE(c.name);
        const GRID_RESULT converted = render_grid(c, THROUGH_CONVERT_GENERAL);
        const GRID_RESULT general = render_grid(c, GENERAL_ONLY);
        const GRID_RESULT direct = render_grid(c, DIRECT_ONLY);
        const GRID_RESULT packed = render_grid(c, DIRECT_ONLY, true);
        ASSERT_EQ(converted.statuses, general.statuses);
        // With the processor's packed bodies the direct writer leaves the same bytes.
        EXPECT_EQ(packed.direct, direct.direct);
        ASSERT_EQ(packed.pixels.size(), direct.pixels.size());
        for (size_t i = 0; i < direct.pixels.size(); ++i) ASSERT_EQ(packed.pixels[i], direct.pixels[i]) << "byte " << i;
        ASSERT_EQ(converted.pixels.size(), general.pixels.size());
        for (size_t i = 0; i < general.pixels.size(); ++i)
            ASSERT_EQ(converted.pixels[i], general.pixels[i]) << "byte " << i;
        // The direct writer took exactly the whole MCUs, and what it wrote alone
        // is what the general path wrote there; the rest it left as it was.
        EXPECT_EQ(direct.direct, whole_mcus(c));
        EXPECT_GT(direct.direct, 0);
        for (size_t i = 0; i < general.pixels.size(); ++i)
            if (direct.pixels[i] != CANARY) {
                ASSERT_EQ(direct.pixels[i], general.pixels[i]) << "byte " << i;
            }
    }
}

// Each of these changes one thing about an otherwise served 2x2 MCU; the direct
// writer must decline it without touching the DIB.
TEST(SmoothDirect, DeclinesEveryOtherLayoutWithoutWriting) {
    struct VARIANT {
        const char* name;
        void (*change)(OutputFixture&, SCAN_INFO&, SCAN_COMPONENT*);
    };
    const VARIANT variants[] = {
        {"replication", [](OutputFixture& f, SCAN_INFO&, SCAN_COMPONENT*) { f.props->upsample_filter = 0; }},
        {"RGB stream", [](OutputFixture& f, SCAN_INFO&, SCAN_COMPONENT*) { f.props->jpeg_color = CS_RGB; }},
        {"four-byte BGR", [](OutputFixture& f, SCAN_INFO&, SCAN_COMPONENT*) { f.props->dib_channels = 4; }},
        {"three-byte quad", [](OutputFixture& f, SCAN_INFO&, SCAN_COMPONENT*) { f.props->dib_color = CS_QUAD; }},
        {"grey DIB", [](OutputFixture& f, SCAN_INFO&, SCAN_COMPONENT*) { f.props->dib_color = CS_GRAY; }},
        {"multi-scan", [](OutputFixture& f, SCAN_INFO&, SCAN_COMPONENT*) { f.props->multi_scan = 1; }},
        {"later component", [](OutputFixture& f, SCAN_INFO&, SCAN_COMPONENT*) { f.props->decoded_components = 1; }},
        {"one-component scan", [](OutputFixture&, SCAN_INFO& s, SCAN_COMPONENT*) { s.component_count = 1; }},
        {"scan with 2x2 chroma", [](OutputFixture&, SCAN_INFO&, SCAN_COMPONENT* c) { c[1].v_samp = 2; }},
        {"1x2 luma", [](OutputFixture& f, SCAN_INFO&, SCAN_COMPONENT*) { f.components[0].h_samp = 1; }},
        {"four components", [](OutputFixture& f, SCAN_INFO&, SCAN_COMPONENT*) { f.props->frame.component_count = 4; }},
        {"no DIB", [](OutputFixture& f, SCAN_INFO&, SCAN_COMPONENT*) { f.props->output_start = nullptr; }},
        {"region outside the MCU", [](OutputFixture& f, SCAN_INFO&, SCAN_COMPONENT*) { f.region(40, 40, 48, 48); }},
        {"region cutting the MCU", [](OutputFixture& f, SCAN_INFO&, SCAN_COMPONENT*) { f.region(17, 0, 48, 48); }},
        {"DIB narrower than the MCU", [](OutputFixture& f, SCAN_INFO&, SCAN_COMPONENT*) { f.props->dib_width = 15; }},
    };
    for (const VARIANT& v : variants) {
        SCOPED_TRACE(v.name);
        OutputFixture f;
        f.frame({{2, 2}, {1, 1}, {1, 1}}, CS_YCBCR, 48, 48);
        f.dib(CS_BGR, 3, 48, 48);
        f.props->upsample_filter = 1;
        ASSERT_EQ(f.select(), 0);
        SCAN_COMPONENT components[3]{};
        for (int32_t i = 0; i < 3; ++i) {
            components[i].frame_index = i;
            components[i].h_samp = i == 0 ? 2 : 1;
            components[i].v_samp = i == 0 ? 2 : 1;
        }
        SCAN_INFO scan{};
        scan.component_count = 3;
        scan.components = components;
        f.props->current_scan = &scan;
        uint32_t seed = 9;
        for (int32_t i = 0; i < 6 * 64; ++i) f.props->mcu_buffer[i] = random_sample(&seed);
        ASSERT_TRUE(write_smoothed_mcu(f.props.get(), 1, 1));  // the layout as set up is served
        f.pixels.assign(f.pixels.size(), CANARY);
        v.change(f, scan, components);
        EXPECT_FALSE(write_smoothed_mcu(f.props.get(), 1, 1));
        for (uint8_t b : f.pixels) ASSERT_EQ(b, CANARY);
        f.props->current_scan = nullptr;
    }
}

// ---------------------------------------------------------------------------
// Whole decodes against a model
// ---------------------------------------------------------------------------

// A picture whose chroma changes within every MCU, so that a wrong neighbour,
// edge or bias changes pixels.
RawImage make_picture(int width, int height) {
    RawImage image;
    image.width = width, image.height = height, image.channels = 3;
    image.pixels.resize(static_cast<size_t>(width * height * 3));
    uint32_t seed = 31;
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            uint8_t* p = &image.pixels[static_cast<size_t>((y * width + x) * 3)];
            p[0] = static_cast<uint8_t>((x * 11 + y * 5) % 256);
            p[1] = static_cast<uint8_t>((x * 3 + y * 13 + ((x / 3 + y / 2) % 2) * 90) % 256);
            p[2] = static_cast<uint8_t>(next_random(&seed) % 256);
        }
    return image;
}

std::vector<uint8_t> encode(const RawImage& image, int v, bool progressive) {
    RefEncodeOptions options;
    options.quality = 85;
    set_sampling(&options, 2, v);
    options.progressive = progressive;
    std::vector<uint8_t> stream;
    std::string error;
    EXPECT_TRUE(ref_encode(image, options, &stream, &error)) << error;
    return stream;
}

// The decoded samples: Y per pixel, Cb and Cr per chroma sample (ceil(w / 2)
// by ceil(h / v) of them), read from a replicated decode that leaves the
// components unconverted.
struct PLANES {
    int width = 0, height = 0, chroma_width = 0, chroma_height = 0;
    std::vector<int> y, cb, cr;
};

PLANES decode_planes(const std::vector<uint8_t>& stream, int v) {
    OurDecodeOptions options;
    options.jpeg_color = CS_RGB;  // take the components as they are
    options.dib_color = CS_RGB;
    const OurDecodeResult plain = our_decode(stream, options);
    EXPECT_EQ(plain.status, STATUS_SUCCESS);
    PLANES p;
    p.width = plain.image.width, p.height = plain.image.height;
    p.chroma_width = (p.width + 1) / 2;
    p.chroma_height = v == 2 ? (p.height + 1) / 2 : p.height;
    const auto byte = [&](int x, int y, int c) {
        return static_cast<int>(plain.image.pixels[static_cast<size_t>((y * p.width + x) * 3 + c)]);
    };
    for (int y = 0; y < p.height; ++y)
        for (int x = 0; x < p.width; ++x) p.y.push_back(byte(x, y, 0));
    for (int j = 0; j < p.chroma_height; ++j)
        for (int k = 0; k < p.chroma_width; ++k) {
            p.cb.push_back(byte(2 * k, v * j, 1));
            p.cr.push_back(byte(2 * k, v * j, 2));
        }
    return p;
}

int clamp_index(int i, int n) {
    return i < 0 ? 0 : i >= n ? n - 1 : i;
}
int clamp_byte(int v) {
    return v < 0 ? 0 : v > 255 ? 255 : v;
}

// The filter written out per pixel: the sample under the pixel and its
// neighbours on the pixel's side, the edge sample standing in outside the image.
int filtered(const PLANES& p, const std::vector<int>& plane, int v, int x, int y) {
    const int k = x / 2, j = v == 2 ? y / 2 : y;
    const bool even = x % 2 == 0;
    const int side = clamp_index(even ? k - 1 : k + 1, p.chroma_width);
    const auto at = [&](int jj, int kk) { return plane[static_cast<size_t>(jj * p.chroma_width + kk)]; };
    if (v == 1) return (3 * at(j, k) + at(j, side) + (even ? 1 : 2)) >> 2;
    const int other_row = clamp_index(y % 2 == 0 ? j - 1 : j + 1, p.chroma_height);
    return (9 * at(j, k) + 3 * at(j, side) + 3 * at(other_row, k) + at(other_row, side) + (even ? 8 : 7)) >> 4;
}

// The picture the smoothed decode must give: packed, top-down, in `layout`.
RawImage model_picture(const PLANES& p, int v, COLOR_SPACE layout) {
    RawImage out;
    out.width = p.width, out.height = p.height, out.channels = layout == CS_QUAD ? 4 : 3;
    for (int y = 0; y < p.height; ++y)
        for (int x = 0; x < p.width; ++x) {
            const int luma = p.y[static_cast<size_t>(y * p.width + x)];
            const int cb = filtered(p, p.cb, v, x, y), cr = filtered(p, p.cr, v, x, y);
            const auto r = static_cast<uint8_t>(clamp_byte(luma + ((359 * cr - 45813) >> 8)));
            const auto g = static_cast<uint8_t>(clamp_byte(luma + ((34806 - 88 * cb - 183 * cr) >> 8)));
            const auto b = static_cast<uint8_t>(clamp_byte(luma + ((454 * cb - 57937) >> 8)));
            if (layout == CS_BGR)
                out.pixels.insert(out.pixels.end(), {b, g, r});
            else
                out.pixels.insert(out.pixels.end(), {r, g, b});
            if (layout == CS_QUAD) out.pixels.push_back(255);
        }
    return out;
}

RawImage crop(const RawImage& image, int l, int t, int r, int b) {
    RawImage out;
    out.width = r - l, out.height = b - t, out.channels = image.channels;
    for (int y = t; y < b; ++y) {
        const auto row = image.pixels.begin() + static_cast<long>((y * image.width + l) * image.channels);
        out.pixels.insert(out.pixels.end(), row, row + static_cast<long>((r - l) * image.channels));
    }
    return out;
}

void expect_same_picture(const RawImage& ours, const RawImage& model, const std::string& what) {
    ASSERT_EQ(ours.width, model.width) << what;
    ASSERT_EQ(ours.height, model.height) << what;
    ASSERT_EQ(ours.channels, model.channels) << what;
    for (size_t i = 0; i < model.pixels.size(); ++i) {
        const size_t pixel = i / static_cast<size_t>(model.channels);
        ASSERT_EQ(ours.pixels[i], model.pixels[i])
            << what << ": pixel " << pixel % static_cast<size_t>(model.width) << ","
            << pixel / static_cast<size_t>(model.width) << " byte " << i % static_cast<size_t>(model.channels);
    }
}

struct DECODE_CASE {
    const char* name;
    COLOR_SPACE layout;
    bool bottom_up, step;
    int pad;
    bool has_roi;
    int roi[4];
};

TEST(SmoothDirect, DecodesMatchTheFilterModelForOddSizesRegionsAndSteps) {
    const DECODE_CASE decodes[] = {
        {"bgr", CS_BGR, false, false, 0, false, {0, 0, 0, 0}},
        {"rgb bottom-up padded", CS_RGB, true, false, 3, false, {0, 0, 0, 0}},
        {"quad stepwise", CS_QUAD, false, true, 0, false, {0, 0, 0, 0}},
        {"bgr region from mid-MCU", CS_BGR, false, false, 1, true, {5, 3, 50, 34}},
        {"rgb region stepwise bottom-up", CS_RGB, true, true, 2, true, {17, 9, 52, 36}},
    };
    struct STREAM_CASE {
        int v, width, height;
        bool progressive;
    };
    const STREAM_CASE streams[] = {
        {2, 53, 37, false}, {2, 53, 37, true},  {2, 64, 48, false}, {1, 53, 37, false},
        {1, 53, 37, true},  {1, 67, 21, false}, {2, 7, 5, false},   {2, 181, 77, false},
        {1, 181, 77, false},
    };
    for (const STREAM_CASE& s : streams) {
        const std::vector<uint8_t> stream = encode(make_picture(s.width, s.height), s.v, s.progressive);
        const PLANES planes = decode_planes(stream, s.v);
        ASSERT_EQ(planes.width, s.width);
        for (const DECODE_CASE& d : decodes) {
            const std::string what = "2x" + std::to_string(s.v) + " " + std::to_string(s.width) + "x" +
                                     std::to_string(s.height) + (s.progressive ? " progressive " : " ") + d.name;
            if (d.has_roi && (d.roi[2] > s.width || d.roi[3] > s.height)) continue;
            OurDecodeOptions options;
            options.smooth = true;
            options.dib_color = d.layout;
            options.bottom_up = d.bottom_up;
            options.step = d.step;
            options.pad = d.pad;
            options.has_roi = d.has_roi;
            for (int i = 0; i < 4; ++i) options.roi[i] = d.roi[i];
            const OurDecodeResult ours = our_decode(stream, options);
            ASSERT_GE(ours.status, 0) << what;
            EXPECT_TRUE(ours.pad_intact) << what;
            RawImage model = model_picture(planes, s.v, d.layout);
            if (d.has_roi) model = crop(model, d.roi[0], d.roi[1], d.roi[2], d.roi[3]);
            expect_same_picture(ours.image, model, what);
        }
    }
}

#if VANTOREL_X86_BODIES
// The 128-bit and 256-bit bodies of the direct writer on random MCUs, random
// neighbour sets (every block present or missing on its own) and every format:
// each of them stands in for the generic writer, so they must agree byte for
// byte. Only the bodies this processor can run are compared.
TEST(SmoothDirect, PackedBodiesAgreeOnRandomMcus) {
    if (!__builtin_cpu_supports("ssse3") || !__builtin_cpu_supports("avx2")) GTEST_SKIP() << "no 256-bit body here";
    uint32_t seed = 99;
    std::vector<int16_t> blocks(13 * 64);  // four luma blocks, then nine Cb and nine Cr neighbour blocks
    for (int32_t round = 0; round < 400; ++round) {
        for (int16_t& value : blocks) value = random_sample(&seed);
        const int32_t v = 1 + round % 2;
        const auto format = static_cast<x86::SMOOTH_FORMAT>(round / 2 % 3);
        const int32_t bpp = format == x86::SMOOTH_QUAD ? 4 : 3;
        const intptr_t stride = 16 * bpp + 5;
        std::vector<uint8_t> out[2];
        for (auto& o : out) o.assign(static_cast<size_t>(stride) * 16, CANARY);
        x86::SMOOTHED_MCU m{};
        m.luma = blocks.data();
        const uint32_t present = next_random(&seed);
        for (int32_t i = 0; i < 9; ++i) {
            const bool here = i == 4 || ((present >> i) & 1u) != 0;
            m.cb[i / 3][i % 3] = here ? blocks.data() + 64 * (4 + i % 5) : nullptr;
            m.cr[i / 3][i % 3] = here ? blocks.data() + 64 * (8 + i % 5) : nullptr;
        }
        m.v = v;
        m.format = format;
        m.stride = stride;
        m.out = out[0].data();
        x86::write_smoothed_ssse3(m);
        m.out = out[1].data();
        x86::write_smoothed_avx2(m);
        ASSERT_EQ(out[0], out[1]) << "round " << round;
        // Exactly the MCU's 16 x 8V pixels are written.
        for (intptr_t y = 0; y < 16; ++y)
            for (intptr_t x = 0; x < stride; ++x) {
                const bool inside = y < 8 * v && x < 16 * bpp;
                if (!inside) {
                    ASSERT_EQ(out[0][y * stride + x], CANARY) << "round " << round;
                }
            }
    }
}

// Every pair of chroma values through both packed bodies: blocks of one Cb and
// one Cr value filter to exactly those values, and the four luma blocks hold
// every value 0..255, so under 2x2 luma the colour formulas meet every Y, Cb,
// Cr they can be given (the 256-bit body rewrites them); 2x1 MCUs, using two
// of the luma blocks, take every pair too. Samples carry varying high bytes,
// which both must ignore.
TEST(SmoothDirect, PackedBodiesAgreeOverEveryChromaPair) {
    if (!__builtin_cpu_supports("ssse3") || !__builtin_cpu_supports("avx2")) GTEST_SKIP() << "no 256-bit body here";
    std::vector<int16_t> blocks(6 * 64);  // four luma blocks, one Cb block, one Cr block
    for (int32_t cb = 0; cb < 256; ++cb)
        for (int32_t cr = 0; cr < 256; ++cr) {
            for (int32_t i = 0; i < 256; ++i)
                blocks[i] = static_cast<int16_t>(((i + cb + cr) & 0xFF) + 256 * (i % 7 - 3));
            for (int32_t i = 0; i < 64; ++i) {
                blocks[256 + i] = static_cast<int16_t>(cb + 256 * (i % 5 - 2));
                blocks[320 + i] = static_cast<int16_t>(cr - 256 * (i % 3));
            }
            for (int32_t v = 1; v <= 2; ++v) {
                const auto format = static_cast<x86::SMOOTH_FORMAT>((cr + v) % 3);
                const intptr_t stride = 16 * (format == x86::SMOOTH_QUAD ? 4 : 3);
                std::vector<uint8_t> out[2];
                for (auto& o : out) o.assign(static_cast<size_t>(stride) * 16, CANARY);
                x86::SMOOTHED_MCU m{};
                m.luma = blocks.data();
                for (int32_t i = 0; i < 9; ++i) {
                    const bool here = i == 4 || (cb + i) % 3 != 0;
                    m.cb[i / 3][i % 3] = here ? blocks.data() + 256 : nullptr;
                    m.cr[i / 3][i % 3] = here ? blocks.data() + 320 : nullptr;
                }
                m.v = v;
                m.format = format;
                m.stride = stride;
                m.out = out[0].data();
                x86::write_smoothed_ssse3(m);
                m.out = out[1].data();
                x86::write_smoothed_avx2(m);
                ASSERT_EQ(out[0], out[1]) << "Cb " << cb << " Cr " << cr << " 2x" << v;
            }
        }
}
#endif

}  // namespace
}  // namespace vantorel

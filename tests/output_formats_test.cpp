// The output selector and the fixed members: which routine each accepted layout
// gets, and the exact bytes every member writes for whole MCUs (the kernels) and
// for MCUs cut by the DIB edge, the row pad or a region (the partial routines).
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "support/output_fixture.h"

namespace vantorel {
namespace {

using test::CANARY;
using test::OutputFixture;

enum Fmt { RGB, BGR, QUAD, YCCA, COPY3, COPY_QUAD, COPY4, PACK, GRAY };

struct MEMBER_CASE {
    const char* name;
    OutputDriverRoutine routine;
    int32_t w, h;
    Fmt fmt;
    int32_t channels;
    bool fourth;  // a fourth component sampled like luma follows Cb and Cr
};

const MEMBER_CASE MEMBERS[] = {
    {"convert_ycc444_rgb", &convert_ycc444_rgb, 8, 8, RGB, 3, false},
    {"convert_ycc444_bgr", &convert_ycc444_bgr, 8, 8, BGR, 3, false},
    {"convert_ycc420_rgb", &convert_ycc420_rgb, 16, 16, RGB, 3, false},
    {"convert_ycc420_bgr", &convert_ycc420_bgr, 16, 16, BGR, 3, false},
    {"convert_ycc422_rgb", &convert_ycc422_rgb, 16, 8, RGB, 3, false},
    {"convert_ycc422_bgr", &convert_ycc422_bgr, 16, 8, BGR, 3, false},
    {"convert_ycc444_quad", &convert_ycc444_quad, 8, 8, QUAD, 4, false},
    {"convert_ycc420_quad", &convert_ycc420_quad, 16, 16, QUAD, 4, false},
    {"convert_ycc422_quad", &convert_ycc422_quad, 16, 8, QUAD, 4, false},
    {"convert_ycca444_quad", &convert_ycca444_quad, 8, 8, YCCA, 4, true},
    {"convert_ycca420_quad", &convert_ycca420_quad, 16, 16, YCCA, 4, true},
    {"convert_ycca422_quad", &convert_ycca422_quad, 16, 8, YCCA, 4, true},
    {"copy_444_quad", &copy_444_quad, 8, 8, COPY_QUAD, 4, false},
    {"copy_4444_quad", &copy_4444_quad, 8, 8, COPY4, 4, true},
    {"copy_444", &copy_444, 8, 8, COPY3, 3, false},
    {"copy_420", &copy_420, 16, 16, COPY3, 3, false},
    {"copy_422", &copy_422, 16, 8, COPY3, 3, false},
    {"pack_ycc422", &pack_ycc422, 16, 8, PACK, 2, false},
    {"copy_gray", &copy_gray, 8, 8, GRAY, 1, false},
};

uint8_t clamp(int32_t v) { return static_cast<uint8_t>(v < 0 ? 0 : v > 255 ? 255 : v); }

// Fills the MCU with varied samples, including the extremes that clamp.
void fill_samples(OutputFixture& f, uint32_t seed) {
    for (int32_t i = 0; i < 10 * 64; ++i) {
        seed = seed * 1103515245u + 12345u;
        int32_t v = static_cast<int32_t>((seed >> 16) % 256);
        if (i % 29 == 0) v = 0;
        if (i % 31 == 0) v = 255;
        f.props->mcu_buffer[i] = static_cast<int16_t>(v);
    }
}

// What pixel (x, y) of the MCU must hold, from the documented arithmetic alone.
std::vector<uint8_t> expected_pixel(const MEMBER_CASE& m, const int16_t* mcu, int32_t x, int32_t y) {
    const int32_t luma_blocks = (m.w / 8) * (m.h / 8);
    const int32_t block = (y / 8) * (m.w / 8) + x / 8;
    const int32_t in_block = (y % 8) * 8 + x % 8;
    const int32_t lum = mcu[block * 64 + in_block];
    const int32_t cx = x * 8 / m.w, cy = y * 8 / m.h;
    const int32_t cb = mcu[luma_blocks * 64 + cy * 8 + cx];
    const int32_t cr = mcu[(luma_blocks + 1) * 64 + cy * 8 + cx];
    const int32_t c3 = m.fourth ? mcu[(luma_blocks + 2 + block) * 64 + in_block] : 0;
    const uint8_t r = clamp(lum + ((359 * cr - 45813) >> 8));
    const uint8_t g = clamp(lum - ((88 * cb + 183 * cr - 34806) >> 8));
    const uint8_t b = clamp(lum + ((454 * cb - 57937) >> 8));
    auto low = [](int32_t v) { return static_cast<uint8_t>(v); };
    switch (m.fmt) {
        case RGB: return {r, g, b};
        case BGR: return {b, g, r};
        case QUAD: return {r, g, b, 255};
        case YCCA: return {uint8_t(255 - r), uint8_t(255 - g), uint8_t(255 - b), low(c3)};
        case COPY3: return {low(lum), low(cb), low(cr)};
        case COPY_QUAD: return {low(lum), low(cb), low(cr), 255};
        case COPY4: return {low(lum), low(cb), low(cr), low(c3)};
        case PACK: return {low(lum), low(x % 2 == 0 ? cb : cr)};
        case GRAY: return {clamp(lum)};
    }
    return {};
}

// Checks the whole DIB: pixels of `visible` (image coordinates, DIB offset by
// the region's origin) hold the expected bytes, every other byte the canary.
void expect_dib(OutputFixture& f, const MEMBER_CASE& m, int32_t origin_x, int32_t origin_y,
                const std::string& what) {
    const int32_t width = f.props->dib_width;
    for (intptr_t row = 0; row < f.rows; ++row) {
        for (intptr_t i = 0; i < f.row_bytes; ++i) {
            const int32_t y = static_cast<int32_t>(f.props->dib_height < 0 ? f.rows - 1 - row : row);
            const int32_t x = static_cast<int32_t>(i / m.channels);
            const int32_t b = static_cast<int32_t>(i % m.channels);
            const int32_t mx = x + origin_x, my = y + origin_y;
            const bool inside = x < width && mx < m.w && my < m.h;
            const uint8_t got = f.pixels[static_cast<size_t>(row * f.row_bytes + i)];
            const uint8_t want = inside ? expected_pixel(m, f.props->mcu_buffer, mx, my)[b] : CANARY;
            ASSERT_EQ(got, want) << m.name << " " << what << " pixel (" << x << "," << y << ") byte " << b;
        }
    }
}

TEST(FixedMembers, WholeMcuGoesThroughTheKernelWithTheDocumentedBytes) {
    for (const MEMBER_CASE& m : MEMBERS) {
        OutputFixture f;
        fill_samples(f, 7);
        f.dib(CS_OTHER, m.channels, m.w, m.h, 3);
        ASSERT_EQ(m.routine(f.props.get(), 0, 0), 0) << m.name;
        expect_dib(f, m, 0, 0, "whole");
    }
}

TEST(FixedMembers, CutMcuWritesTheKernelsBytesOnlyInsideTheDib) {
    for (const MEMBER_CASE& m : MEMBERS) {
        for (int32_t cut = 1; cut < 8; cut += 3) {
            OutputFixture f;
            fill_samples(f, 11 + cut);
            f.dib(CS_OTHER, m.channels, m.w - cut, m.h - (cut + 2) % m.h, 5);
            ASSERT_EQ(m.routine(f.props.get(), 0, 0), 0) << m.name;
            expect_dib(f, m, 0, 0, "cut " + std::to_string(cut));
        }
    }
}

TEST(FixedMembers, RegionInsideAnMcuWritesNothingBeforeTheRegionStart) {
    for (const MEMBER_CASE& m : MEMBERS) {
        OutputFixture f;
        fill_samples(f, 23);
        f.region(3, 5, 3 + 9, 5 + 2);
        f.dib(CS_OTHER, m.channels, 9, 2, 1);
        ASSERT_EQ(m.routine(f.props.get(), 0, 0), 0) << m.name;
        expect_dib(f, m, 3, 5, "region");
        // An MCU wholly right of the region is refused and writes nothing.
        f.pixels.assign(f.pixels.size(), CANARY);
        EXPECT_EQ(m.routine(f.props.get(), 2, 0), STATUS_INVALID_PROPERTIES) << m.name;
        for (uint8_t b : f.pixels) ASSERT_EQ(b, CANARY) << m.name;
    }
}

TEST(FixedMembers, BottomUpDibReceivesTheFirstImageRowInItsLastBufferRow) {
    for (const MEMBER_CASE& m : MEMBERS) {
        OutputFixture f;
        fill_samples(f, 31);
        f.dib(CS_OTHER, m.channels, m.w, -m.h, 2);
        ASSERT_EQ(m.routine(f.props.get(), 0, 0), 0) << m.name;
        expect_dib(f, m, 0, 0, "bottom-up whole");
        OutputFixture g;
        fill_samples(g, 31);
        g.dib(CS_OTHER, m.channels, m.w - 1, -(m.h - 3), 2);
        ASSERT_EQ(m.routine(g.props.get(), 0, 0), 0) << m.name;
        expect_dib(g, m, 0, 0, "bottom-up cut");
    }
}

TEST(FixedMembers, RefuseAPixelSizeTheyWereNotMadeFor) {
    for (const MEMBER_CASE& m : MEMBERS) {
        OutputFixture f;
        f.dib(CS_OTHER, m.channels + 1, m.w, m.h);
        EXPECT_EQ(m.routine(f.props.get(), 0, 0), STATUS_INVALID_PROPERTIES) << m.name;
        for (uint8_t b : f.pixels) ASSERT_EQ(b, CANARY) << m.name;
    }
}

TEST(FixedMembers, ColourEdgeValuesOfTheKernelForm) {
    OutputFixture f;
    f.dib(CS_RGB, 3, 8, 8);
    for (int i = 0; i < 64; ++i) f.block(0)[i] = 128, f.block(1)[i] = 128, f.block(2)[i] = 128;
    // Pixel 1: Y = Cb = Cr = 0. Pixel 2: Y 255, Cr 255. Pixel 3: Y 0, Cb 0.
    f.block(0)[1] = 0, f.block(1)[1] = 0, f.block(2)[1] = 0;
    f.block(0)[2] = 255, f.block(2)[2] = 255;
    f.block(0)[3] = 0, f.block(1)[3] = 0;
    ASSERT_EQ(convert_ycc444_rgb(f.props.get(), 0, 0), 0);
    // Neutral chroma: the green sum is -118, whose floor over 256 is -1, so the
    // kernel form's green is one above Y (the in-place form keeps 128).
    EXPECT_EQ(f.at(0, 0, 0), 128);
    EXPECT_EQ(f.at(0, 0, 1), 129);
    EXPECT_EQ(f.at(0, 0, 2), 128);
    EXPECT_EQ(f.at(1, 0, 0), 0);
    EXPECT_EQ(f.at(1, 0, 1), 136);
    EXPECT_EQ(f.at(1, 0, 2), 0);
    EXPECT_EQ(f.at(2, 0, 0), 255);
    EXPECT_EQ(f.at(3, 0, 2), 0);
}

// ---------------------------------------------------------------------------
// The selector
// ---------------------------------------------------------------------------

using SAMPLING = std::vector<std::pair<int32_t, int32_t>>;
const SAMPLING S444{{1, 1}, {1, 1}, {1, 1}};
const SAMPLING S420{{2, 2}, {1, 1}, {1, 1}};
const SAMPLING S422{{2, 1}, {1, 1}, {1, 1}};
const SAMPLING S411{{4, 1}, {1, 1}, {1, 1}};
const SAMPLING Q444{{1, 1}, {1, 1}, {1, 1}, {1, 1}};
const SAMPLING Q420{{2, 2}, {1, 1}, {1, 1}, {2, 2}};
const SAMPLING Q422{{2, 1}, {1, 1}, {1, 1}, {2, 1}};

struct SELECT_CASE {
    SAMPLING sampling;
    COLOR_SPACE jpeg;
    COLOR_SPACE dib;
    int32_t channels;
    int32_t filter;
    OutputDriverRoutine member;
    int32_t path;
};

TEST(OutputSelector, EveryAcceptedLayoutGetsItsMember) {
    const SAMPLING grey{{1, 1}};
    const SELECT_CASE cases[] = {
        {S420, CS_YCBCR, CS_BGR, 3, 0, &convert_ycc420_bgr, 4},
        {S420, CS_YCBCR, CS_BGR, 3, 1, &convert_general, 0},
        {S420, CS_YCBCR, CS_RGB, 3, 0, &convert_ycc420_rgb, 3},
        {S422, CS_YCBCR, CS_RGB, 3, 0, &convert_ycc422_rgb, 5},
        {S422, CS_YCBCR, CS_BGR, 3, 0, &convert_ycc422_bgr, 6},
        {S411, CS_YCBCR, CS_BGR, 3, 0, &convert_general, 0},
        {S420, CS_YCBCR, CS_QUAD, 4, 0, &convert_ycc420_quad, 8},
        {S422, CS_YCBCR, CS_QUAD, 4, 0, &convert_ycc422_quad, 9},
        {Q422, CS_YCC_QUAD, CS_QUAD, 4, 0, &convert_ycca422_quad, 12},
        {Q420, CS_YCC_QUAD, CS_QUAD, 4, 0, &convert_ycca420_quad, 11},
        {S444, CS_YCBCR, CS_RGB, 3, 0, &convert_ycc444_rgb, 1},
        {S444, CS_YCBCR, CS_BGR, 3, 0, &convert_ycc444_bgr, 2},
        {S444, CS_YCBCR, CS_QUAD, 4, 0, &convert_ycc444_quad, 7},
        {Q444, CS_YCC_QUAD, CS_QUAD, 4, 0, &convert_ycca444_quad, 10},
        {S420, CS_RGB, CS_RGB, 3, 0, &copy_420, 16},
        {S420, CS_RGB, CS_RGB, 3, 1, &output_sequential_general, 16},
        {S422, CS_RGB, CS_RGB, 3, 0, &copy_422, 17},
        {S420, CS_RGB, CS_BGR, 3, 0, &output_sequential_general, 0},
        {S420, CS_YCBCR, CS_GRAY, 1, 0, &output_sequential_general, 0},
        {Q420, CS_QUAD, CS_QUAD, 4, 0, &output_sequential_general, 0},
        {S422, CS_YCBCR, CS_YCBCR, 2, 0, &pack_ycc422, 19},
        {grey, CS_GRAY, CS_GRAY, 1, 0, &copy_gray, 0},
        {grey, CS_GRAY, CS_BGR, 3, 0, &spread_gray, 0},
        {grey, CS_GRAY, CS_QUAD, 4, 0, &copy_general, 0},
        {S444, CS_RGB, CS_RGB, 3, 0, &copy_444, 15},
        {S444, CS_RGB, CS_BGR, 3, 0, &copy_general, 0},
        {S444, CS_RGB, CS_QUAD, 4, 0, &copy_444_quad, 13},
        {S444, CS_YCBCR, CS_GRAY, 1, 0, &copy_general, 0},
        {Q444, CS_QUAD, CS_QUAD, 4, 0, &copy_4444_quad, 14},
    };
    for (const SELECT_CASE& c : cases) {
        OutputFixture f;
        f.frame(c.sampling, c.jpeg, 40, 24);
        f.dib(c.dib, c.channels, 40, 24);
        f.props->upsample_filter = c.filter;
        EXPECT_EQ(f.select(), 0);
        EXPECT_EQ(f.active(), c.member) << "components " << c.sampling.size() << " jpeg " << c.jpeg << " dib "
                                        << c.dib << "/" << c.channels << " filter " << c.filter;
        EXPECT_EQ(f.props->output_path, c.path);
    }
}

TEST(OutputSelector, FlagsAndMcuGeometryFollowTheFrame) {
    OutputFixture f;
    f.frame(S420, CS_YCBCR, 17, 16);
    f.dib(CS_BGR, 3, 17, 16);
    ASSERT_EQ(f.select(), 0);
    EXPECT_EQ(f.props->needs_color_conversion, 1u);
    EXPECT_EQ(f.props->needs_upsampling, 1u);
    EXPECT_EQ(f.props->frame.max_h_sampling, 2);
    EXPECT_EQ(f.props->frame.mcu_width, 16);
    EXPECT_EQ(f.props->frame.mcu_height, 16);
    EXPECT_EQ(f.props->frame.mcus_per_row, 2);
    EXPECT_EQ(f.props->mcus_per_row, 2);
    EXPECT_EQ(f.props->mcu_rows, 1);
    EXPECT_EQ(f.props->frame.mcu_count, 2);
    // A multi-scan image keeps the frame's MCU count but 8x8 MCUs.
    f.props->multi_scan = 1;
    ASSERT_EQ(f.select(), 0);
    EXPECT_EQ(f.props->frame.mcu_width, 8);
    EXPECT_EQ(f.props->frame.mcus_per_row, 2);
    EXPECT_EQ(f.active(), &output_sequential_general);
    // Luminance/chrominance output converts nothing and upsamples nothing.
    f.props->multi_scan = 0;
    f.frame(S422, CS_YCBCR, 17, 16);
    f.dib(CS_YCBCR, 2, 17, 16);
    ASSERT_EQ(f.select(), 0);
    EXPECT_EQ(f.props->needs_color_conversion, 0u);
    EXPECT_EQ(f.props->needs_upsampling, 0u);
}

TEST(OutputSelector, ProgressiveScansAfterTheFirstUseTheProgressiveWriter) {
    OutputFixture f;
    f.frame(S420, CS_RGB, 32, 32);
    f.dib(CS_BGR, 3, 32, 32);
    ASSERT_EQ(f.select(), 0);
    EXPECT_EQ(f.active(), &output_sequential_general);
    f.props->progressive_scans = 1;
    ASSERT_EQ(f.select(), 0);
    EXPECT_EQ(f.active(), &output_progressive_general);
}

TEST(OutputSelector, YccOutputNeedsTheTwoByOneLayout) {
    OutputFixture f;
    f.frame(S420, CS_YCBCR, 16, 16);
    f.dib(CS_YCBCR, 2, 16, 16);
    EXPECT_EQ(f.select(), STATUS_INVALID_PROPERTIES);
}

TEST(OutputSelector, CountOutsideOneTo255IsAComponentError) {
    OutputFixture f;
    f.frame(S444, CS_YCBCR, 8, 8);
    f.props->frame.component_count = 0;
    EXPECT_EQ(f.select(), STATUS_ERROR_COMP);
    f.props->frame.component_count = 256;
    EXPECT_EQ(f.select(), STATUS_ERROR_COMP);
}

// No member serves these; an image request must fail instead of running with an
// empty or stale routine.
TEST(OutputSelector, UnservedLayoutFailsTheImageRequestAndLeavesNoStaleMember) {
    OutputFixture f;
    f.frame(S420, CS_YCBCR, 16, 16);
    f.dib(CS_BGR, 3, 16, 16);
    ASSERT_EQ(f.select(), 0);
    ASSERT_EQ(f.active(), &convert_ycc420_bgr);
    f.props->upsample_filter = 2;
    EXPECT_EQ(f.select(), STATUS_INVALID_PROPERTIES);
    ASSERT_NE(f.active(), nullptr);
    EXPECT_NE(f.active(), &convert_ycc420_bgr);
    EXPECT_EQ(f.write(0, 0), STATUS_INVALID_PROPERTIES);
    for (uint8_t b : f.pixels) ASSERT_EQ(b, CANARY);
    // A parameters request decodes no scan: the same frame header is no failure.
    f.props->io_mode = READ_PARAMS_BUFFER;
    EXPECT_EQ(f.select(), 0);
    EXPECT_EQ(f.write(0, 0), STATUS_INVALID_PROPERTIES);
    // Other layouts without a member.
    f.props->io_mode = READ_IMAGE_FILE;
    f.props->upsample_filter = 0;
    f.frame(S444, CS_YCBCR, 16, 16);
    f.dib(CS_OTHER, 3, 16, 16);
    EXPECT_EQ(f.select(), STATUS_INVALID_PROPERTIES);
    f.frame(S444, CS_OTHER, 16, 16);
    f.dib(CS_OTHER, 2, 16, 16);
    EXPECT_EQ(f.select(), STATUS_INVALID_PROPERTIES);
}

TEST(OutputSelector, LoneComponentWithLargeFactorsIsTreatedAsOneByOne) {
    OutputFixture f;
    f.frame({{2, 2}}, CS_GRAY, 20, 9);
    f.dib(CS_GRAY, 1, 20, 9);
    ASSERT_EQ(f.select(), 0);
    EXPECT_EQ(f.props->needs_upsampling, 0u);
    EXPECT_EQ(f.active(), &copy_gray);
    EXPECT_EQ(f.props->frame.mcu_width, 8);
    EXPECT_EQ(f.props->mcus_per_row, 3);
    EXPECT_EQ(f.props->mcu_rows, 2);
    f.frame({{3, 1}}, CS_GRAY, 20, 9);
    f.dib(CS_BGR, 3, 20, 9);
    ASSERT_EQ(f.select(), 0);
    EXPECT_EQ(f.active(), &spread_gray);
}

// The packed-luminance request with three channels from a 2x1 stream: each
// 16x8 MCU must appear whole, chroma repeated over both pixels of a pair.
TEST(OutputSelector, ThreeChannelYccFromTwoByOneStreamReplicatesChroma) {
    OutputFixture f;
    f.frame(S422, CS_YCBCR, 16, 8);
    f.dib(CS_YCBCR, 3, 16, 8, 1);
    ASSERT_EQ(f.select(), 0);
    for (int i = 0; i < 64; ++i) {
        f.block(0)[i] = static_cast<int16_t>(i);
        f.block(1)[i] = static_cast<int16_t>(100 + i);
        f.block(2)[i] = static_cast<int16_t>(i * 2);
        f.block(3)[i] = static_cast<int16_t>(i * 3);
    }
    ASSERT_EQ(f.write(0, 0), 0);
    for (int y = 0; y < 8; ++y) {
        for (int x = 0; x < 16; ++x) {
            const int lum = x < 8 ? y * 8 + x : 100 + y * 8 + x - 8;
            ASSERT_EQ(f.at(x, y, 0), lum) << x << "," << y;
            ASSERT_EQ(f.at(x, y, 1), (y * 8 + x / 2) * 2) << x << "," << y;
            ASSERT_EQ(f.at(x, y, 2), (y * 8 + x / 2) * 3) << x << "," << y;
        }
        ASSERT_EQ(f.pixels[static_cast<size_t>(y * f.row_bytes + 48)], CANARY);
    }
}

TEST(OutputSelector, MultiScanYccWithOtherThanTwoChannelsUsesTheGeneralWriter) {
    OutputFixture f;
    f.frame(S422, CS_YCBCR, 16, 8);
    f.dib(CS_YCBCR, 1, 16, 8);
    f.props->multi_scan = 1;
    ASSERT_EQ(f.select(), 0);
    EXPECT_EQ(f.active(), &output_sequential_general);
    f.dib(CS_YCBCR, 2, 16, 8);
    ASSERT_EQ(f.select(), 0);
    EXPECT_EQ(f.active(), &output_ycc_scan);
}

}  // namespace
}  // namespace vantorel

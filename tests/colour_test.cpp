// The general writer and the colour passes: replication for any sampling (also
// ratios that are not whole numbers), the triangle filters with their neighbours,
// grey, RGB and four-channel layouts, the in-place and the deferred conversion,
// and the packed luminance/chrominance scans.
#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

#include "support/output_fixture.h"

namespace vantorel {
namespace {

using test::CANARY;
using test::OutputFixture;
using SAMPLING = std::vector<std::pair<int32_t, int32_t>>;

uint8_t clamp(int32_t v) { return static_cast<uint8_t>(v < 0 ? 0 : v > 255 ? 255 : v); }

void fill_samples(OutputFixture& f, int32_t blocks, uint32_t seed) {
    for (int32_t i = 0; i < blocks * 64; ++i) {
        seed = seed * 1664525u + 1013904223u;
        f.props->mcu_buffer[i] = static_cast<int16_t>((seed >> 20) % 256);
    }
}

// The sample of component k that covers MCU pixel (x, y): the nearest one.
int32_t covering_sample(const OutputFixture& f, int32_t k, int32_t x, int32_t y) {
    int32_t offset = 0, max_h = 0, max_v = 0;
    for (int32_t i = 0; i < f.props->frame.component_count; ++i) {
        max_h = std::max(max_h, f.components[i].h_samp);
        max_v = std::max(max_v, f.components[i].v_samp);
    }
    for (int32_t i = 0; i < k; ++i) offset += f.components[i].h_samp * f.components[i].v_samp;
    const int32_t h = f.components[k].h_samp, v = f.components[k].v_samp;
    const int32_t sx = x * h / max_h, sy = y * v / max_v;
    return f.props->mcu_buffer[(offset + (sy / 8) * h + sx / 8) * 64 + (sy % 8) * 8 + sx % 8];
}

struct RGB_BYTES {
    uint8_t r, g, b;
};

RGB_BYTES general_form(int32_t y, int32_t cb, int32_t cr) {
    return {clamp(y + ((359 * cr - 45813) >> 8)), clamp(y + ((34806 - 88 * cb - 183 * cr) >> 8)),
            clamp(y + ((454 * cb - 57937) >> 8))};
}

TEST(GeneralWriter, ConvertsAnyLayoutWithTheInPlaceGreenAndClipsToTheDib) {
    OutputFixture f;
    f.frame({{4, 1}, {1, 1}, {1, 1}}, CS_YCBCR, 29, 6);
    f.dib(CS_BGR, 3, 29, 6, 2);
    ASSERT_EQ(f.select(), 0);
    ASSERT_EQ(f.active(), &convert_general);
    fill_samples(f, 6, 3);
    ASSERT_EQ(f.write(0, 0), 0);
    for (int32_t y = 0; y < f.rows; ++y) {
        for (int32_t x = 0; x < 29; ++x) {
            const RGB_BYTES c = general_form(covering_sample(f, 0, x, y), covering_sample(f, 1, x, y),
                                             covering_sample(f, 2, x, y));
            ASSERT_EQ(f.at(x, y, 0), c.b) << x << "," << y;
            ASSERT_EQ(f.at(x, y, 1), c.g) << x << "," << y;
            ASSERT_EQ(f.at(x, y, 2), c.r) << x << "," << y;
        }
        ASSERT_EQ(f.pixels[static_cast<size_t>(y * f.row_bytes + 87)], CANARY);
        ASSERT_EQ(f.pixels[static_cast<size_t>(y * f.row_bytes + 88)], CANARY);
    }
}

TEST(GeneralWriter, GeneralGreenIsOneBelowTheKernelFormWhenTheSumIsNotWhole) {
    OutputFixture f;
    f.frame({{2, 1}, {1, 1}, {1, 1}}, CS_YCBCR, 16, 8);
    f.dib(CS_RGB, 3, 16, 8);
    f.props->upsample_filter = 1;
    ASSERT_EQ(f.select(), 0);
    ASSERT_EQ(f.active(), &convert_general);
    // Pixel 0: Y = Cb = Cr = 0; pixel 4 (chroma column 2, neighbours 128): all 128.
    for (int i = 0; i < 64 * 4; ++i) f.props->mcu_buffer[i] = 128;
    f.block(0)[0] = 0, f.block(0)[1] = 0, f.block(2)[0] = 0, f.block(3)[0] = 0;
    ASSERT_EQ(f.write(0, 0), 0);
    EXPECT_EQ(f.at(4, 0, 0), 128);
    EXPECT_EQ(f.at(4, 0, 1), 128);
    EXPECT_EQ(f.at(4, 0, 2), 128);
    // Pixel 0 sees chroma (3 * 0 + 0 + 1) >> 2 = 0 after filtering at the edge.
    EXPECT_EQ(f.at(0, 0, 0), 0);
    EXPECT_EQ(f.at(0, 0, 1), 135);
    EXPECT_EQ(f.at(0, 0, 2), 0);
}

// Whole-number ratios other than 2 are replicated by their factor; 3 against 2
// or 4 against 3 leave no pixel of the MCU undefined.
TEST(GeneralWriter, ReplicatesEveryRatioWithoutLeavingAPixelUnwritten) {
    const SAMPLING layouts[] = {
        {{3, 1}, {1, 1}, {1, 1}},
        {{4, 2}, {1, 1}, {1, 1}},
        {{3, 1}, {2, 1}, {1, 1}},
        {{4, 1}, {3, 1}, {1, 1}},
        {{2, 3}, {1, 2}, {1, 1}},
        {{4, 4}, {3, 2}, {1, 3}},
    };
    for (const SAMPLING& s : layouts) {
        OutputFixture f;
        const int32_t w = 8 * s[0].first, h = 8 * s[0].second;
        f.frame(s, CS_RGB, w, h);
        f.dib(CS_RGB, 3, w, h);
        ASSERT_EQ(f.select(), 0);
        int32_t blocks = 0;
        for (auto [sh, sv] : s) blocks += sh * sv;
        fill_samples(f, blocks, 17);
        ASSERT_EQ(f.write(0, 0), 0);
        for (int32_t y = 0; y < h; ++y)
            for (int32_t x = 0; x < w; ++x)
                for (int32_t k = 0; k < 3; ++k)
                    ASSERT_EQ(f.at(x, y, k), covering_sample(f, k, x, y))
                        << s[0].first << "x" << s[0].second << "/" << s[1].first << "x" << s[1].second << " pixel "
                        << x << "," << y << " component " << k;
    }
}

// A 2x1 ring with `columns` MCUs of four blocks each (Y, Y, Cb, Cr).
struct Ring {
    explicit Ring(OutputFixture& f, int32_t columns) : data(4 * (columns + 2) * 4 * 64, 0) {
        ring.buffers[0] = data.data();
        for (int b = 1; b < 4; ++b) ring.buffers[b] = data.data() + b * (columns + 2) * 4 * 64;
        f.props->smooth_ring = &ring;
    }
    int16_t* slot(int32_t buffer, int32_t s) { return ring.buffers[buffer] + s * 4 * 64; }
    std::vector<int16_t> data;
    SMOOTH_RING ring{};
};

TEST(TriangleFilter, TwoByOneLeansTowardsTheNeighboursInTheRing) {
    OutputFixture f;
    f.frame({{2, 1}, {1, 1}, {1, 1}}, CS_RGB, 48, 8);
    f.dib(CS_RGB, 3, 48, 8);
    f.props->upsample_filter = 1;
    ASSERT_EQ(f.select(), 0);
    ASSERT_EQ(f.active(), &output_sequential_general);
    Ring ring(f, 3);
    // MCU column 1; its left neighbour (MCU 0, slot 1) ends its Cb rows with 10.
    for (int r = 0; r < 8; ++r) {
        ring.slot(1, 1)[2 * 64 + r * 8 + 7] = 10;
        ring.slot(1, 3)[2 * 64 + r * 8 + 0] = 200;  // right neighbour, MCU 2
        for (int k = 0; k < 8; ++k) f.block(2)[r * 8 + k] = static_cast<int16_t>(k == 0 ? 10 : 20);
    }
    ASSERT_EQ(f.write(1, 0), 0);
    EXPECT_EQ(f.at(16, 0, 1), 10);
    EXPECT_EQ(f.at(17, 0, 1), 13);
    EXPECT_EQ(f.at(18, 0, 1), 17);
    EXPECT_EQ(f.at(19, 0, 1), 20);
    EXPECT_EQ(f.at(31, 3, 1), (3 * 20 + 200 + 2) >> 2);
    // The last column has no right neighbour: the edge sample stands in for it.
    ASSERT_EQ(f.write(2, 0), 0);
    for (int r = 0; r < 8; ++r) {
        EXPECT_EQ(f.at(46, r, 1), (3 * 20 + 20 + 1) >> 2);
        EXPECT_EQ(f.at(47, r, 1), 20);
    }
    // Column 0 has no left neighbour either, whatever slot 0 holds.
    ring.slot(1, 0)[2 * 64 + 7] = 255;
    ASSERT_EQ(f.write(0, 0), 0);
    EXPECT_EQ(f.at(0, 0, 1), 10);
}

TEST(TriangleFilter, TwoByTwoWeighsNineThreeThreeOneWithItsBiases) {
    OutputFixture f;
    f.frame({{2, 2}, {1, 1}, {1, 1}}, CS_RGB, 48, 48);
    f.dib(CS_RGB, 3, 48, 48);
    f.props->upsample_filter = 1;
    ASSERT_EQ(f.select(), 0);
    // Six blocks per MCU in the ring: Y x4, Cb, Cr.
    std::vector<int16_t> data(4 * 5 * 6 * 64, 0);
    SMOOTH_RING ring{};
    for (int b = 0; b < 4; ++b) ring.buffers[b] = data.data() + b * 5 * 6 * 64;
    f.props->smooth_ring = &ring;
    auto cb_of = [&](int buffer, int slot) { return ring.buffers[buffer] + (slot * 6 + 4) * 64; };
    // MCU (1, 1): Cb all 100; above 40, below 160, left 70, right 130; diagonals
    // 10 and 254, chosen so that each sum lands where the rounding bias decides.
    for (int i = 0; i < 64; ++i) {
        f.block(4)[i] = 100;
        cb_of(0, 2)[i] = 40;
        cb_of(2, 2)[i] = 160;
        cb_of(1, 1)[i] = 70;
        cb_of(1, 3)[i] = 130;
        cb_of(0, 1)[i] = 10;
        cb_of(2, 3)[i] = 254;
    }
    ASSERT_EQ(f.write(1, 1), 0);
    // Top-left pixel: 9c + 3l + 3u + ul + 8.
    EXPECT_EQ(f.at(16, 16, 1), 78);
    // Bottom-right pixel of the MCU: 9c + 3rt + 3d + dr + 7.
    EXPECT_EQ(f.at(31, 31, 1), 126);
    // Inside the block every neighbour is 100: 1600 + bias, shifted, gives 100.
    EXPECT_EQ(f.at(20, 20, 1), 100);
    // At the image corner (MCU 0, 0) the edge samples replace every neighbour.
    for (int i = 0; i < 64; ++i) f.block(4)[i] = static_cast<int16_t>(i % 8 == 0 ? 80 : 100);
    ASSERT_EQ(f.write(0, 0), 0);
    EXPECT_EQ(f.at(0, 0, 1), 80);
    EXPECT_EQ(f.at(1, 0, 1), (720 + 300 + 240 + 100 + 7) >> 4);
}

TEST(GeneralLayouts, GreyFillsEveryColourByteAndTheFourthWith255) {
    OutputFixture f;
    f.frame({{1, 1}}, CS_GRAY, 8, 8);
    f.dib(CS_QUAD, 4, 6, 5, 3);
    ASSERT_EQ(f.select(), 0);
    ASSERT_EQ(f.active(), &copy_general);
    fill_samples(f, 1, 5);
    ASSERT_EQ(f.write(0, 0), 0);
    for (int y = 0; y < 5; ++y) {
        for (int x = 0; x < 6; ++x) {
            const uint8_t g = static_cast<uint8_t>(f.block(0)[y * 8 + x]);
            EXPECT_EQ(f.at(x, y, 0), g);
            EXPECT_EQ(f.at(x, y, 1), g);
            EXPECT_EQ(f.at(x, y, 2), g);
            EXPECT_EQ(f.at(x, y, 3), 255);
        }
        for (int p = 24; p < 27; ++p) EXPECT_EQ(f.pixels[static_cast<size_t>(y * f.row_bytes + p)], CANARY);
    }
    OutputFixture b;
    b.frame({{1, 1}}, CS_GRAY, 8, 8);
    b.dib(CS_BGR, 3, 8, 8);
    ASSERT_EQ(b.select(), 0);
    b.block(0)[9] = 77;
    ASSERT_EQ(b.write(0, 0), 0);
    EXPECT_EQ(b.at(1, 1, 0), 77);
    EXPECT_EQ(b.at(1, 1, 1), 77);
    EXPECT_EQ(b.at(1, 1, 2), 77);
}

TEST(GeneralLayouts, RgbStreamToBgrReversesTheBytes) {
    OutputFixture f;
    f.frame({{1, 1}, {1, 1}, {1, 1}}, CS_RGB, 8, 8);
    f.dib(CS_BGR, 3, 8, 8);
    ASSERT_EQ(f.select(), 0);
    f.block(0)[0] = 1, f.block(1)[0] = 2, f.block(2)[0] = 3;
    ASSERT_EQ(f.write(0, 0), 0);
    EXPECT_EQ(f.at(0, 0, 0), 3);
    EXPECT_EQ(f.at(0, 0, 1), 2);
    EXPECT_EQ(f.at(0, 0, 2), 1);
    // The same through the general writer (subsampled RGB).
    OutputFixture g;
    g.frame({{2, 1}, {1, 1}, {1, 1}}, CS_RGB, 16, 8);
    g.dib(CS_BGR, 3, 16, 8);
    ASSERT_EQ(g.select(), 0);
    g.block(0)[1] = 1, g.block(2)[0] = 2, g.block(3)[0] = 3;
    ASSERT_EQ(g.write(0, 0), 0);
    EXPECT_EQ(g.at(1, 0, 0), 3);
    EXPECT_EQ(g.at(1, 0, 1), 2);
    EXPECT_EQ(g.at(1, 0, 2), 1);
}

TEST(GeneralLayouts, YccQuadIsInvertedAndKeepsItsFourthComponent) {
    OutputFixture f;
    f.frame({{2, 2}, {1, 1}, {1, 1}, {2, 2}}, CS_YCC_QUAD, 16, 16);
    f.dib(CS_QUAD, 4, 16, 16);
    f.props->upsample_filter = 1;
    ASSERT_EQ(f.select(), 0);
    ASSERT_EQ(f.active(), &convert_general);
    fill_samples(f, 10, 9);
    f.props->upsample_filter = 0;
    f.pixels.assign(f.pixels.size(), CANARY);
    f.props->stage_table->active_output_driver = &convert_general;
    ASSERT_EQ(f.write(0, 0), 0);
    for (int y = 0; y < 16; ++y) {
        for (int x = 0; x < 16; ++x) {
            const RGB_BYTES c = general_form(covering_sample(f, 0, x, y), covering_sample(f, 1, x, y),
                                             covering_sample(f, 2, x, y));
            ASSERT_EQ(f.at(x, y, 0), 255 - c.r);
            ASSERT_EQ(f.at(x, y, 1), 255 - c.g);
            ASSERT_EQ(f.at(x, y, 2), 255 - c.b);
            ASSERT_EQ(f.at(x, y, 3), static_cast<uint8_t>(covering_sample(f, 3, x, y)));
        }
    }
}

TEST(DeferredConversion, ConvertsTheFinishedBottomUpDibWithinItsRows) {
    OutputFixture f;
    f.frame({{1, 1}, {1, 1}, {1, 1}}, CS_YCBCR, 5, 3);
    f.dib(CS_QUAD, 4, 5, -3, 2);
    f.props->needs_color_conversion = 1;
    for (int y = 0; y < 3; ++y)
        for (int x = 0; x < 5; ++x) f.at(x, y, 0) = 0, f.at(x, y, 1) = 0, f.at(x, y, 2) = 0, f.at(x, y, 3) = 9;
    // A region taller than the DIB must not take the pass past the buffer.
    f.region(0, 0, 5, 40);
    apply_deferred_color_conversion(f.props.get());
    for (int y = 0; y < 3; ++y) {
        for (int x = 0; x < 5; ++x) {
            EXPECT_EQ(f.at(x, y, 0), 0);
            EXPECT_EQ(f.at(x, y, 1), 135);
            EXPECT_EQ(f.at(x, y, 2), 0);
            EXPECT_EQ(f.at(x, y, 3), 255);
        }
        EXPECT_EQ(f.pixels[static_cast<size_t>(y * f.row_bytes + 20)], CANARY);
    }
    // Four-channel YCC: inverted, fourth byte kept.
    f.props->jpeg_color = CS_YCC_QUAD;
    f.at(0, 0, 0) = 128, f.at(0, 0, 1) = 128, f.at(0, 0, 2) = 128, f.at(0, 0, 3) = 7;
    f.region(0, 0, 0, 0);
    apply_deferred_color_conversion(f.props.get());
    EXPECT_EQ(f.at(0, 0, 0), 127);
    EXPECT_EQ(f.at(0, 0, 1), 127);
    EXPECT_EQ(f.at(0, 0, 3), 7);
}

TEST(MultiScan, EachScanFillsItsChannelAndTheLastOneTheFourth) {
    OutputFixture f;
    f.frame({{2, 1}, {1, 1}, {1, 1}}, CS_YCBCR, 20, 8);
    f.dib(CS_QUAD, 4, 20, 8);
    f.props->multi_scan = 1;
    ASSERT_EQ(f.select(), 0);
    ASSERT_EQ(f.active(), &output_sequential_general);
    SCAN_COMPONENT sc{};
    SCAN_INFO scan{};
    scan.component_count = 1;
    scan.components = &sc;
    f.props->current_scan = &scan;
    // Luma scan: one block per 8x8 MCU, column 2 is cut to 4 pixels.
    sc.h_samp = 2, sc.v_samp = 1;
    for (int i = 0; i < 64; ++i) f.block(0)[i] = 50;
    for (int col = 0; col < 3; ++col) ASSERT_EQ(f.write(col, 0), 0);
    // Cb scan: one block covers 16 x 8 pixels.
    f.props->decoded_components = 1;
    sc.h_samp = 1, sc.v_samp = 1;
    for (int i = 0; i < 64; ++i) f.block(0)[i] = static_cast<int16_t>(i % 8);
    for (int col = 0; col < 2; ++col) ASSERT_EQ(f.write(col, 0), 0);
    EXPECT_EQ(f.at(19, 7, 0), 50);
    EXPECT_EQ(f.at(19, 7, 1), 1);
    EXPECT_EQ(f.at(16, 0, 1), 0);
    EXPECT_EQ(f.at(19, 0, 3), CANARY);
    // Cr scan, the last: the fourth channel becomes 255.
    f.props->decoded_components = 2;
    for (int col = 0; col < 2; ++col) ASSERT_EQ(f.write(col, 0), 0);
    EXPECT_EQ(f.at(5, 3, 2), 2);
    EXPECT_EQ(f.at(19, 7, 3), 255);
    f.props->current_scan = nullptr;
}

TEST(MultiScan, PackedScansNeverWritePastAnOddWidthRow) {
    OutputFixture f;
    f.frame({{2, 1}, {1, 1}, {1, 1}}, CS_YCBCR, 17, 2);
    f.dib(CS_YCBCR, 2, 17, 2);
    f.props->multi_scan = 1;
    ASSERT_EQ(f.select(), 0);
    ASSERT_EQ(f.active(), &output_ycc_scan);
    for (int i = 0; i < 64; ++i) f.block(0)[i] = static_cast<int16_t>(i);
    for (int col = 0; col < 3; ++col) ASSERT_EQ(f.write(col, 0), 0);
    f.props->decoded_components = 1;
    for (int i = 0; i < 64; ++i) f.block(0)[i] = static_cast<int16_t>(100 + i);
    for (int col = 0; col < 2; ++col) ASSERT_EQ(f.write(col, 0), 0);
    f.props->decoded_components = 2;
    for (int i = 0; i < 64; ++i) f.block(0)[i] = static_cast<int16_t>(200 + i);
    for (int col = 0; col < 2; ++col) ASSERT_EQ(f.write(col, 0), 0);
    // Y, Cb, Y, Cr per pixel pair.
    EXPECT_EQ(f.at(0, 1, 0), 8);
    EXPECT_EQ(f.at(0, 1, 1), 108);
    EXPECT_EQ(f.at(1, 1, 0), 9);
    EXPECT_EQ(f.at(1, 1, 1), 208);
    EXPECT_EQ(f.at(16, 0, 0), 0);
    EXPECT_EQ(f.at(16, 0, 1), 100);
    ASSERT_EQ(f.pixels.size(), 68u);
}

TEST(GeneralWriter, McuOutsideTheRegionLeavesTheDibUntouched) {
    OutputFixture f;
    f.frame({{2, 2}, {1, 1}, {1, 1}}, CS_YCBCR, 64, 64);
    f.dib(CS_BGR, 3, 8, 8);
    f.props->upsample_filter = 1;
    f.region(32, 32, 40, 40);
    ASSERT_EQ(f.select(), 0);
    fill_samples(f, 6, 1);
    EXPECT_EQ(f.write(0, 0), STATUS_INVALID_PROPERTIES);
    EXPECT_EQ(f.write(3, 1), STATUS_INVALID_PROPERTIES);
    for (uint8_t b : f.pixels) ASSERT_EQ(b, CANARY);
    EXPECT_EQ(f.write(2, 2), 0);
}

}  // namespace
}  // namespace vantorel

// The per-MCU output step and the reduced-scale writers on hand-made MCUs: the
// smoothing ring's delay, edge padding and row rotation, coefficient output,
// transform choice, and what the 1/2, 1/4 and 1/8 writers put into the DIB
// (and never outside the visible pixels).
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <string>
#include <utility>
#include <vector>

#include "support/output_fixture.h"
#include "support/reference_jpeg.h"
#include "support/reference_vantorel.h"

namespace vantorel {
namespace {

using test::CANARY;
using test::OutputFixture;

// Leaves the samples as they are, so that tests see exactly what they put in.
void keep_block(int16_t*) {}
void mark_8x8(int16_t* b) { b[0] = 8; }
void mark_4x4(int16_t* b) { b[0] = 4; }
void mark_2x2(int16_t* b) { b[0] = 2; }
void mark_1x1(int16_t* b) { b[0] = 1; }

struct Emitted {
    int32_t col, row;
    std::vector<int16_t> mcu;
};
std::vector<Emitted>* g_emitted = nullptr;
int32_t g_emitted_blocks = 0;

JPEG_STATUS record_output(JPEG_PROPERTIES* props, int32_t col, int32_t row) {
    g_emitted->push_back(Emitted{col, row, std::vector<int16_t>(props->mcu_buffer,
                                                                 props->mcu_buffer + 64 * g_emitted_blocks)});
    return STATUS_SUCCESS;
}

struct DriverFixture : OutputFixture {
    DriverFixture() {
        table.active_idct_8x8 = table.active_idct_4x4 = table.active_idct_2x2 = table.active_idct_1x1 = &keep_block;
        table.active_output_driver = &record_output;
        g_emitted = &emitted;
        props->current_scan = &scan;
        scan.components = scan_components;
    }
    ~DriverFixture() { g_emitted = nullptr; }

    // A frame of one interleaved scan carrying every component.
    void layout(std::vector<std::pair<int32_t, int32_t>> sampling, int32_t width, int32_t height) {
        frame(sampling, CS_YCBCR, width, height);
        int32_t max_h = 1, max_v = 1;
        blocks = 0;
        for (auto [h, v] : sampling) {
            max_h = std::max(max_h, h), max_v = std::max(max_v, v);
            blocks += h * v;
        }
        props->frame.width = width, props->frame.height = height;
        props->frame.max_h_sampling = max_h, props->frame.max_v_sampling = max_v;
        props->mcus_per_row = props->frame.mcus_per_row = (width + 8 * max_h - 1) / (8 * max_h);
        props->mcu_rows = (height + 8 * max_v - 1) / (8 * max_v);
        scan.component_count = static_cast<int32_t>(sampling.size());
        for (size_t i = 0; i < sampling.size(); ++i)
            scan_components[i] = SCAN_COMPONENT{static_cast<int32_t>(i), sampling[i].first, sampling[i].second,
                                                nullptr, nullptr, nullptr};
        g_emitted_blocks = blocks;
    }

    // The ring as the marker code makes it: one zeroed block in four quarters.
    void make_ring() {
        quarter = static_cast<size_t>(blocks) * 64 * (props->mcus_per_row + 2);
        ring_data.assign(4 * quarter, 0);
        for (int i = 0; i < 4; ++i) ring.buffers[i] = ring_data.data() + i * quarter;
        ring.row = 0;
        props->smooth_ring = &ring;
        props->upsample_filter = 1;
    }

    int16_t* slot(int buffer, int s) { return ring.buffers[buffer] + static_cast<size_t>(s) * blocks * 64; }

    // Every sample of block b of the MCU becomes base + b.
    void fill_mcu(int16_t base) {
        for (int32_t b = 0; b < blocks; ++b)
            for (int i = 0; i < 64; ++i) block(b)[i] = static_cast<int16_t>(base + b);
    }

    void output(int32_t col, int32_t row, int32_t scale = 1, int32_t simple = 0) {
        output_mcu(props.get(), &props->source, &scan, col, row, blocks, props->mcu_buffer, props->mcus_per_row,
                   props->mcu_rows, scale, simple);
    }

    SCAN_INFO scan{};
    SCAN_COMPONENT scan_components[4]{};
    SMOOTH_RING ring{};
    std::vector<int16_t> ring_data;
    size_t quarter = 0;
    int32_t blocks = 0;
    std::vector<Emitted> emitted;
};

// ---------------------------------------------------------------------------
// Smoothing ring
// ---------------------------------------------------------------------------

TEST(SmoothingRing, HorizontalSmoothingDelaysOneMcuAndPadsTheLastColumn) {
    DriverFixture f;
    f.layout({{2, 1}, {1, 1}, {1, 1}}, 17, 8);  // two MCU columns, the second 1 pixel wide
    f.make_ring();
    ASSERT_EQ(f.props->mcus_per_row, 2);

    f.fill_mcu(100);
    f.output(0, 0);
    EXPECT_TRUE(f.emitted.empty()) << "the first MCU waits for its right neighbour";
    // The sample left of the image repeats the first one.
    EXPECT_EQ(f.slot(1, 0)[64 * 2 + 8 * 3 + 7], 102);

    f.fill_mcu(200);
    for (int r = 0; r < 8; ++r)
        for (int k = 0; k < 8; ++k) f.block(2)[8 * r + k] = static_cast<int16_t>(10 * r + k);
    f.output(1, 0);
    ASSERT_EQ(f.emitted.size(), 1u);
    EXPECT_EQ(f.emitted[0].col, 0);
    EXPECT_EQ(f.emitted[0].mcu[0], 100);
    EXPECT_EQ(f.emitted[0].mcu[64 * 2], 102);

    f.output(2, 0);  // end-of-row flush releases the last MCU
    ASSERT_EQ(f.emitted.size(), 2u);
    EXPECT_EQ(f.emitted[1].col, 1);
    // 17 mod 16 = 1 pixel: one chroma sample per row is real, the rest repeat it.
    for (int r = 0; r < 8; ++r)
        for (int k = 0; k < 8; ++k) EXPECT_EQ(f.emitted[1].mcu[64 * 2 + 8 * r + k], 10 * r) << r << "," << k;
    // Luma (H = 2) is never padded.
    EXPECT_EQ(f.emitted[1].mcu[64 * 1], 201);
    // The sample right of the image repeats the last one.
    EXPECT_EQ(f.slot(1, 3)[64 * 2 + 8 * 5], 50);
}

TEST(SmoothingRing, BothDirectionsEmitTheMcuUpAndLeftWithEveryNeighbourInPlace) {
    DriverFixture f;
    f.layout({{2, 2}, {1, 1}, {1, 1}}, 32, 20);  // 2 x 2 MCUs, the last row 4 pixels high
    f.make_ring();
    int16_t* const first_buffer = f.ring.buffers[0];
    auto value = [](int col, int row) { return static_cast<int16_t>(100 * row + 10 * col); };
    auto chroma = [&](const int16_t* s) { return s + 64 * 4; };  // the Cb block of a slot

    std::vector<std::vector<int16_t>> above, same, below;  // Cb slot col+1 of buffers 0-2 at each emission
    std::vector<int16_t> above_left;                       // the Cb sample up and to the left
    auto step = [&](int col, int row) {
        const size_t before = f.emitted.size();
        if (col < 2 && row < 2) {
            f.fill_mcu(value(col, row));
            // Row r of the Cb block holds its row number, so edge copies are visible.
            for (int r = 0; r < 8; ++r)
                for (int k = 0; k < 8; ++k) f.block(4)[8 * r + k] = static_cast<int16_t>(value(col, row) + r);
        }
        f.output(col, row);
        if (f.emitted.size() > before) {
            const int c = f.emitted.back().col;
            above.emplace_back(chroma(f.slot(0, c + 1)), chroma(f.slot(0, c + 1)) + 64);
            same.emplace_back(chroma(f.slot(1, c + 1)), chroma(f.slot(1, c + 1)) + 64);
            below.emplace_back(chroma(f.slot(2, c + 1)), chroma(f.slot(2, c + 1)) + 64);
            above_left.push_back(chroma(f.slot(0, c))[63]);
        }
    };
    for (int row = 0; row <= 2; ++row)
        for (int col = 0; col <= 2; ++col) step(col, row);

    ASSERT_EQ(f.emitted.size(), 4u);
    const int expected[4][2] = {{0, 0}, {1, 0}, {0, 1}, {1, 1}};
    for (int i = 0; i < 4; ++i) {
        const int c = expected[i][0], r = expected[i][1];
        EXPECT_EQ(f.emitted[i].col, c);
        EXPECT_EQ(f.emitted[i].row, r);
        EXPECT_EQ(f.emitted[i].mcu[0], value(c, r)) << i;
        EXPECT_EQ(same[i][0], value(c, r)) << i;
    }
    // Above row 0 lies a copy of its first row; below the last row a copy of its
    // last real row (20 mod 16 = 4 pixels: chroma rows 0 and 1 are real).
    EXPECT_EQ(above[0][8 * 7], value(0, 0));
    EXPECT_EQ(below[0][0], value(0, 1));
    EXPECT_EQ(above[2][8 * 7], value(0, 0) + 7);
    EXPECT_EQ(below[2][0], value(0, 1) + 1) << "bottom edge repeats the last real chroma row";
    EXPECT_EQ(f.emitted[2].mcu[64 * 4 + 8 * 5], value(0, 1) + 1) << "rows past the image are padded";
    // Corner beside the top-left MCU: its first sample.
    EXPECT_EQ(above_left[0], value(0, 0));
    EXPECT_EQ(above_left[2], value(0, 0) + 7) << "left edge of the row above";
    // Rows move by rotating the pointers: three rotations (rows 1, 2 and the
    // flush row) leave the four quarters of the one block in a new order, and
    // the block is still found (and freed) from its lowest pointer.
    EXPECT_EQ(ring_block_start(&f.ring), reinterpret_cast<uintptr_t>(first_buffer));
    std::vector<int16_t*> quarters(f.ring.buffers, f.ring.buffers + 4);
    std::sort(quarters.begin(), quarters.end());
    EXPECT_EQ(quarters[0], first_buffer);
    for (int i = 1; i < 4; ++i) EXPECT_EQ(quarters[i] - quarters[i - 1], quarters[1] - quarters[0]);
    EXPECT_NE(f.ring.buffers[0], first_buffer);
    EXPECT_EQ(f.ring.row, 2);
}

TEST(SmoothingRing, McusLeftOfTheRegionAreNotEmitted) {
    DriverFixture f;
    f.layout({{2, 2}, {1, 1}, {1, 1}}, 48, 16);
    f.make_ring();
    f.region(20, 0, 48, 16);
    f.fill_mcu(7);
    for (int row = 0; row <= 1; ++row)
        for (int col = 0; col <= 3; ++col) f.output(col, row);
    // MCU 0 lies wholly left of x = 20 and is skipped.
    ASSERT_EQ(f.emitted.size(), 2u);
    EXPECT_EQ(f.emitted[0].col, 1);
    EXPECT_EQ(f.emitted[1].col, 2);
}

TEST(SmoothingRing, RingOfAnotherGeometryIsNeverIndexedPastItsEnd) {
    DriverFixture f;
    f.layout({{2, 1}, {1, 1}, {1, 1}}, 16, 8);  // ring for one MCU column
    f.make_ring();
    f.layout({{2, 1}, {1, 1}, {1, 1}}, 64, 8);  // then four columns arrive
    f.fill_mcu(1);
    for (int col = 0; col <= 4; ++col) f.output(col, 0);
    // Whatever could not be delayed was written directly; nothing touched memory
    // outside the ring (the sanitizer build checks), and each MCU left once.
    EXPECT_LE(f.emitted.size(), 4u);
    EXPECT_NE(smooth_ring_slot(f.props.get(), 3, 2), nullptr);
    EXPECT_EQ(smooth_ring_slot(f.props.get(), 3, 3), nullptr);
}

TEST(SmoothingRing, OnlyFourDistinctQuartersOfOneBlockMakeARing) {
    // Rotated in any order the four buffers still form a ring; two buffers on
    // one quarter, or a buffer off the quarter grid, never hand out a slot.
    DriverFixture f;
    f.layout({{2, 2}, {1, 1}, {1, 1}}, 32, 32);
    f.make_ring();
    int16_t* const quarters[4] = {f.ring.buffers[0], f.ring.buffers[1], f.ring.buffers[2], f.ring.buffers[3]};
    const int order[][4] = {{0, 1, 2, 3}, {1, 2, 0, 3}, {3, 0, 1, 2}, {2, 3, 1, 0}};
    for (const auto& o : order) {
        for (int i = 0; i < 4; ++i) f.ring.buffers[i] = quarters[o[i]];
        SMOOTH_RING_VIEW view;
        ASSERT_TRUE(view_smooth_ring(f.props.get(), &view));
        EXPECT_EQ(view.slots, f.props->mcus_per_row + 2);
        EXPECT_EQ(smooth_ring_slot(f.props.get(), 1, 0), quarters[o[1]]);
    }
    for (int i = 0; i < 4; ++i) f.ring.buffers[i] = quarters[i];
    f.ring.buffers[2] = quarters[1];
    EXPECT_EQ(smooth_ring_slot(f.props.get(), 0, 0), nullptr) << "a quarter used twice";
    f.ring.buffers[2] = quarters[2] + 1;
    EXPECT_EQ(smooth_ring_slot(f.props.get(), 0, 0), nullptr) << "a buffer between quarters";
    for (int i = 0; i < 4; ++i) f.ring.buffers[i] = quarters[i];
}

// ---------------------------------------------------------------------------
// The output step
// ---------------------------------------------------------------------------

TEST(OutputStep, FlushCallsWithNothingDelayedOutputNothing) {
    DriverFixture f;
    f.layout({{2, 2}, {1, 1}, {1, 1}}, 32, 32);
    f.output(2, 0);  // column one past the row
    f.output(0, 2);  // row one past the image
    f.output(2, 2);
    EXPECT_TRUE(f.emitted.empty());
    f.output(1, 1);
    ASSERT_EQ(f.emitted.size(), 1u);
}

TEST(OutputStep, NoInstalledMemberOrUnknownScaleWritesNothing) {
    DriverFixture f;
    f.layout({{1, 1}, {1, 1}, {1, 1}}, 8, 8);
    f.table.active_output_driver = nullptr;
    f.output(0, 0);  // must not call through the empty word
    f.table.active_output_driver = &record_output;
    f.output(0, 0, 3);
    f.table.active_idct_8x8 = nullptr;
    f.output(0, 0);
    EXPECT_TRUE(f.emitted.empty());
}

TEST(OutputStep, SimpleSamplingTransformsOneByOneComponentsOneSizeLarger) {
    DriverFixture f;
    f.layout({{2, 2}, {1, 1}, {1, 1}}, 16, 16);
    f.table.active_idct_8x8 = &mark_8x8;
    f.table.active_idct_4x4 = &mark_4x4;
    f.table.active_idct_2x2 = &mark_2x2;
    f.table.active_idct_1x1 = &mark_1x1;
    f.props->output_start = nullptr;  // no DIB: only the transforms matter here
    const struct {
        int32_t scale, simple, luma, chroma;
    } cases[] = {{1, 1, 8, 8}, {2, 0, 4, 4}, {2, 1, 4, 8}, {4, 1, 2, 4}, {8, 1, 1, 2}, {8, 0, 1, 1}};
    for (const auto& c : cases) {
        f.fill_mcu(0);
        f.output(0, 0, c.scale, c.simple);
        for (int b = 0; b < 4; ++b) EXPECT_EQ(f.block(b)[0], c.luma) << "scale " << c.scale << " block " << b;
        EXPECT_EQ(f.block(4)[0], c.chroma) << "scale " << c.scale << " simple " << c.simple;
        EXPECT_EQ(f.block(5)[0], c.chroma) << "scale " << c.scale << " simple " << c.simple;
    }
}

TEST(OutputStep, SubsampledComponentsAreTransformedAtTheLargestSizeTheirShareAllows) {
    DriverFixture f;
    f.table.active_idct_8x8 = &mark_8x8;
    f.table.active_idct_4x4 = &mark_4x4;
    f.table.active_idct_2x2 = &mark_2x2;
    f.table.active_idct_1x1 = &mark_1x1;
    f.props->output_start = nullptr;  // no DIB: only the transforms matter here
    // A component keeps the size of its blocks' output share: it grows by the
    // largest power of two that divides both its enlargements, up to 8 samples.
    const struct {
        const char* name;
        std::vector<std::pair<int32_t, int32_t>> sampling;
        int32_t scale, simple;
        std::vector<int32_t> sizes;  // per component
    } cases[] = {
        {"4x2 at 1/2", {{4, 2}, {1, 1}, {1, 1}}, 2, 0, {4, 8, 8}},
        {"4x2 at 1/4", {{4, 2}, {1, 1}, {1, 1}}, 4, 0, {2, 4, 4}},
        {"4x2 at 1/8", {{4, 2}, {1, 1}, {1, 1}}, 8, 0, {1, 2, 2}},
        {"4x2 at full scale", {{4, 2}, {1, 1}, {1, 1}}, 1, 0, {8, 8, 8}},
        {"2x1 chroma under 4x2 luma", {{4, 2}, {2, 1}, {1, 1}}, 4, 0, {2, 4, 4}},
        {"4x4 at 1/2", {{4, 4}, {2, 2}, {1, 1}}, 2, 0, {4, 8, 8}},
        {"4x4 at 1/8", {{4, 4}, {2, 2}, {1, 1}}, 8, 0, {1, 2, 4}},
        {"4x1: no vertical share", {{4, 1}, {1, 1}, {1, 1}}, 2, 0, {4, 4, 4}},
        {"1x2: no horizontal share", {{1, 2}, {1, 1}, {1, 1}}, 4, 0, {2, 2, 2}},
        {"3x1: no vertical share", {{3, 1}, {1, 1}, {1, 1}}, 8, 0, {1, 1, 1}},
        {"ratio 4 / 3 is not whole", {{4, 2}, {3, 1}, {1, 1}}, 4, 0, {2, 2, 4}},
        {"2x1 with the simple flag set", {{2, 1}, {1, 1}, {1, 1}}, 2, 1, {4, 4, 4}},
        {"1x1 with the simple flag set", {{1, 1}, {1, 1}, {1, 1}}, 2, 1, {4, 4, 4}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        f.layout(c.sampling, 64, 32);
        f.fill_mcu(0);
        f.output(0, 0, c.scale, c.simple);
        int32_t b = 0;
        for (size_t i = 0; i < c.sampling.size(); ++i)
            for (int32_t k = 0; k < c.sampling[i].first * c.sampling[i].second; ++k, ++b)
                EXPECT_EQ(f.block(b)[0], c.sizes[i]) << "component " << i << " block " << k;
    }

    // A component alone in its scan (one block per MCU) is sized the same way.
    f.layout({{4, 2}, {1, 1}, {1, 1}}, 64, 32);
    f.scan.component_count = 1;
    f.scan_components[0] = SCAN_COMPONENT{2, 1, 1, nullptr, nullptr, nullptr};
    f.blocks = 1;
    f.fill_mcu(0);
    f.output(0, 0, 2);
    EXPECT_EQ(f.block(0)[0], 8);
}

TEST(OutputStep, CoefficientRequestFillsThePlanesAndNoPixels) {
    DriverFixture f;
    f.layout({{2, 1}, {1, 1}, {1, 1}}, 32, 16);  // 2 x 2 MCUs
    COEF_OUTPUT request{};
    request.flag = 1;
    // Planes of exactly the documented size: MCUs-per-row x H x 8 values per line.
    std::vector<int16_t> luma(2 * 2 * 8 * 2 * 8, -1), cb(2 * 8 * 2 * 8, -1), cr(2 * 8 * 2 * 8, -1);
    request.planes[0] = luma.data(), request.planes[1] = cb.data(), request.planes[2] = cr.data();
    f.props->coef_output = &request;
    f.make_ring();  // smoothing must not delay coefficient output
    for (int row = 0; row <= 2; ++row)
        for (int col = 0; col <= 2; ++col) {
            f.fill_mcu(static_cast<int16_t>(10 * (10 * row + col)));
            f.output(col, row);
        }
    EXPECT_TRUE(f.emitted.empty());
    // Luma block (3, 1) is the second block of MCU (1, 1); Cb of MCU (1, 0) at (1, 0).
    EXPECT_EQ(luma[(8 * 1 + 2) * 32 + 8 * 3 + 5], 110 + 1);
    EXPECT_EQ(cb[(8 * 0 + 7) * 16 + 8 * 1], 10 + 2);
    EXPECT_EQ(cr[(8 * 1 + 0) * 16], 100 + 3);
    for (int16_t v : luma) EXPECT_NE(v, -1);
}

// ---------------------------------------------------------------------------
// Reduced-scale writers
// ---------------------------------------------------------------------------

struct ReducedFixture : DriverFixture {
    void write(int32_t col, int32_t row, int32_t n, int32_t simple = 0) {
        write_scaled_mcu(props.get(), &props->source, &scan, col, row, n, simple);
    }
    void flags(uint32_t upsampling, uint32_t conversion) {
        props->needs_upsampling = upsampling;
        props->needs_color_conversion = conversion;
    }
};

TEST(ReducedWriters, ReplicateSubsampledComponentsOrTakeTheLargerTransformAsIs) {
    ReducedFixture f;
    f.layout({{2, 2}, {1, 1}, {1, 1}}, 16, 16);
    f.props->jpeg_color = CS_RGB;  // no conversion: the DIB shows the samples
    f.flags(1, 0);
    f.dib(CS_RGB, 3, 4, 4);
    for (int b = 0; b < 4; ++b)
        for (int i = 0; i < 64; ++i) f.block(b)[i] = static_cast<int16_t>(10 * b + i);
    for (int i = 0; i < 64; ++i) f.block(4)[i] = static_cast<int16_t>(100 + i), f.block(5)[i] = 200;
    f.write(0, 0, 2);  // 1/4 scale: 2 x 2 samples per luma block, 4 x 4 pixels
    EXPECT_EQ(f.at(0, 0, 0), 0);
    EXPECT_EQ(f.at(1, 1, 0), 9);
    EXPECT_EQ(f.at(2, 0, 0), 10);
    EXPECT_EQ(f.at(3, 3, 0), 39);
    for (int y = 0; y < 4; ++y)
        for (int x = 0; x < 4; ++x) EXPECT_EQ(f.at(x, y, 1), 100 + 8 * (y / 2) + x / 2) << x << "," << y;

    f.write(0, 0, 2, 1);  // simple sampling: the chroma block already holds 4 x 4 samples
    for (int y = 0; y < 4; ++y)
        for (int x = 0; x < 4; ++x) EXPECT_EQ(f.at(x, y, 1), 100 + 8 * y + x) << x << "," << y;
    EXPECT_EQ(f.at(3, 3, 2), 200);
}

TEST(ReducedWriters, LargerChromaTransformIsEnlargedOnlyByWhatRemainsOfItsRatio) {
    ReducedFixture f;
    f.layout({{4, 2}, {1, 1}, {1, 1}}, 32, 16);
    f.props->jpeg_color = CS_RGB;  // no conversion: the DIB shows the samples
    f.flags(1, 0);
    for (int32_t n : {1, 2, 4}) {
        SCOPED_TRACE("block size " + std::to_string(n));
        // At 1/8 scale the MCU is 4 x 2 pixels and each chroma block holds 2 x 2
        // samples, at 1/4 8 x 4 pixels over 4 x 4 samples, at 1/2 16 x 8 over 8 x 8.
        f.dib(CS_RGB, 3, 4 * n, 2 * n);
        for (int b = 0; b < 8; ++b)
            for (int i = 0; i < 64; ++i) f.block(b)[i] = static_cast<int16_t>(b);
        for (int i = 0; i < 64; ++i) f.block(8)[i] = static_cast<int16_t>(100 + i), f.block(9)[i] = 50 + i;
        f.write(0, 0, n);
        for (int y = 0; y < 2 * n; ++y)
            for (int x = 0; x < 4 * n; ++x) {
                EXPECT_EQ(f.at(x, y, 0), (y / n) * 4 + x / n) << x << "," << y;
                EXPECT_EQ(f.at(x, y, 1), 100 + 8 * y + x / 2) << x << "," << y;
                EXPECT_EQ(f.at(x, y, 2), 50 + 8 * y + x / 2) << x << "," << y;
            }
    }
    // A chroma scan of its own covers the same 4 x 2 share of the frame's MCU.
    f.props->multi_scan = 1;
    f.props->decoded_components = 1;
    f.scan.component_count = 1;
    f.scan_components[0] = SCAN_COMPONENT{1, 1, 1, nullptr, nullptr, nullptr};
    f.dib(CS_RGB, 3, 8, 4);
    for (int i = 0; i < 64; ++i) f.block(0)[i] = static_cast<int16_t>(i);
    f.write(0, 0, 2);
    for (int y = 0; y < 4; ++y)
        for (int x = 0; x < 8; ++x) {
            EXPECT_EQ(f.at(x, y, 1), 8 * y + x / 2) << x << "," << y;
            EXPECT_EQ(f.at(x, y, 0), CANARY) << "a later scan writes only its own channel";
        }
}

TEST(ReducedWriters, HorizontalTriangleFilterTakesNeighboursFromTheRing) {
    ReducedFixture f;
    f.layout({{2, 1}, {1, 1}, {1, 1}}, 48, 8);
    f.props->jpeg_color = CS_RGB;
    f.flags(1, 0);
    f.make_ring();
    f.dib(CS_RGB, 3, 24, 4);
    f.fill_mcu(0);
    const int16_t row[4] = {10, 20, 20, 20};
    for (int r = 0; r < 4; ++r)
        for (int k = 0; k < 4; ++k) f.block(2)[8 * r + k] = row[k];
    f.slot(1, 1)[64 * 2 + 3] = 10;  // last sample of row 0 of the MCU to the left
    f.slot(1, 3)[64 * 2] = 40;      // first sample of row 0 of the MCU to the right
    f.write(1, 0, 4);
    const int want[8] = {10, 13, 17, 20, 20, 20, 20, 25};
    for (int x = 0; x < 8; ++x) EXPECT_EQ(f.at(8 + x, 0, 1), want[x]) << x;
    // Without the ring the block's own edge samples stand in.
    f.props->smooth_ring = nullptr;
    f.write(1, 0, 4);
    EXPECT_EQ(f.at(8, 0, 1), 10);
    EXPECT_EQ(f.at(15, 0, 1), 20);
}

TEST(ReducedWriters, McuCutByTheDibEdgeWritesOnlyVisiblePixels) {
    ReducedFixture f;
    f.layout({{2, 2}, {1, 1}, {1, 1}}, 10, 6);
    f.flags(1, 1);
    f.dib(CS_BGR, 3, 5, 3, 2);  // 1/2 scale of 10 x 6, two pad bytes per row
    for (int b = 0; b < 6; ++b)
        for (int i = 0; i < 64; ++i) f.block(b)[i] = 128;
    f.write(0, 0, 4);
    for (int y = 0; y < 3; ++y) {
        for (int x = 0; x < 5; ++x)
            for (int b = 0; b < 3; ++b) EXPECT_EQ(f.at(x, y, b), 128) << x << "," << y;
        EXPECT_EQ(f.pixels[y * f.row_bytes + 15], CANARY);
        EXPECT_EQ(f.pixels[y * f.row_bytes + 16], CANARY);
    }
    // An MCU wholly past the image (a flush call's position) touches nothing.
    f.pixels.assign(f.pixels.size(), CANARY);
    f.write(1, 0, 4);
    f.write(0, 1, 4);
    for (uint8_t v : f.pixels) EXPECT_EQ(v, CANARY);
}

TEST(ReducedWriters, RegionStartingInsideAnMcuWritesNothingBeforeIt) {
    ReducedFixture f;
    f.layout({{1, 1}, {1, 1}, {1, 1}}, 16, 16);
    f.props->jpeg_color = CS_RGB;
    f.flags(0, 0);
    f.region(3, 1, 8, 4);
    f.dib(CS_RGB, 3, 5, 3);
    f.fill_mcu(50);
    f.write(0, 0, 4);  // MCU (0, 0) covers pixels 0-3; the region starts at x = 3
    for (int y = 0; y < 3; ++y) {
        EXPECT_EQ(f.at(0, y, 0), 50);
        for (int x = 1; x < 5; ++x) EXPECT_EQ(f.at(x, y, 0), CANARY) << x << "," << y;
    }
}

TEST(ReducedWriters, SamplingRatiosThatAreNotWholeFillEveryPixel) {
    ReducedFixture f;
    // Hmax 4: the second component (H = 3) enlarges by 4 / 3 = 1 and covers 3 of
    // the 4 columns; the fourth repeats the third.
    f.layout({{4, 1}, {3, 1}, {1, 1}}, 32, 8);
    f.props->jpeg_color = CS_RGB;
    f.flags(1, 0);
    f.dib(CS_RGB, 3, 4, 1);
    for (int b = 0; b < 8; ++b) f.block(b)[0] = static_cast<int16_t>(10 + b);
    f.write(0, 0, 1);
    const int want[4] = {14, 15, 16, 16};
    for (int x = 0; x < 4; ++x) {
        EXPECT_EQ(f.at(x, 0, 0), 10 + x);
        EXPECT_EQ(f.at(x, 0, 1), want[x]) << x;
        EXPECT_EQ(f.at(x, 0, 2), 17);
    }
}

TEST(ReducedWriters, BottomUpDibGetsTheFirstImageRowLast) {
    ReducedFixture f;
    f.layout({{1, 1}, {1, 1}, {1, 1}}, 8, 8);
    f.props->jpeg_color = CS_RGB;
    f.flags(0, 0);
    f.dib(CS_RGB, 3, 2, -2);
    for (int i = 0; i < 64; ++i) f.block(0)[i] = static_cast<int16_t>(i);
    f.write(0, 0, 2);
    EXPECT_EQ(f.pixels[f.row_bytes], 0) << "image row 0 is the last buffer row";
    EXPECT_EQ(f.pixels[0], 8);
}

TEST(ReducedWriters, GreyImageFillsEveryChannelWithoutOverrunningThePixel) {
    ReducedFixture f;
    f.layout({{2, 2}}, 16, 16);  // a 2x2-sampled grey frame in a one-component scan
    f.props->jpeg_color = CS_GRAY;
    f.flags(1, 0);
    f.dib(CS_BGR, 3, 2, 2);  // no pad: the last pixel ends the buffer
    f.block(0)[0] = 77, f.block(0)[1] = 78, f.block(0)[8] = 79, f.block(0)[9] = 80;
    f.write(0, 0, 2);
    const int want[4] = {77, 78, 79, 80};
    for (int i = 0; i < 4; ++i)
        for (int b = 0; b < 3; ++b) EXPECT_EQ(f.at(i % 2, i / 2, b), want[i]) << i << " byte " << b;
}

TEST(ReducedWriters, LaterScanOfAMultiScanImageWritesOnlyItsChannel) {
    ReducedFixture f;
    f.layout({{2, 2}, {1, 1}, {1, 1}}, 16, 16);
    f.props->multi_scan = 1;
    f.props->decoded_components = 1;
    f.scan.component_count = 1;
    f.scan_components[0] = SCAN_COMPONENT{1, 1, 1, nullptr, nullptr, nullptr};
    f.dib(CS_QUAD, 4, 8, 8);
    for (int i = 0; i < 64; ++i) f.block(0)[i] = 90;
    f.write(0, 0, 4);  // the Cb block covers the whole 8 x 8 reduced MCU
    EXPECT_EQ(f.at(7, 7, 1), 90);
    EXPECT_EQ(f.at(7, 7, 0), CANARY);
    EXPECT_EQ(f.at(7, 7, 3), CANARY) << "the fourth channel waits for the last scan";
    f.props->decoded_components = 2;
    f.write(0, 0, 4);
    EXPECT_EQ(f.at(0, 0, 2), 90);
    EXPECT_EQ(f.at(0, 0, 3), 255);
}

TEST(ReducedWriters, DirectWriterChannelOrderAndFillers) {
    ReducedFixture f;
    f.layout({{1, 1}, {1, 1}, {1, 1}}, 8, 8);
    f.flags(0, 0);
    f.block(0)[0] = 1, f.block(1)[0] = 2, f.block(2)[0] = 3;
    f.props->jpeg_color = CS_RGB;
    f.dib(CS_BGR, 3, 1, 1);
    f.write(0, 0, 1);
    EXPECT_EQ(f.at(0, 0, 0), 3);
    EXPECT_EQ(f.at(0, 0, 2), 1);
    f.dib(CS_QUAD, 4, 1, 1);
    f.write(0, 0, 1);
    EXPECT_EQ(f.at(0, 0, 3), 255);

    f.layout({{1, 1}}, 8, 8);
    f.props->jpeg_color = CS_GRAY;
    f.dib(CS_QUAD, 4, 1, 1);
    f.block(0)[0] = 60;
    f.write(0, 0, 1);
    EXPECT_EQ(f.at(0, 0, 0), 60);
    EXPECT_EQ(f.at(0, 0, 2), 60);
    EXPECT_EQ(f.at(0, 0, 3), 255);
}

TEST(ReducedWriters, GreyToOneChannelCopiesLowBytesOfTheVisiblePixelsOnly) {
    ReducedFixture f;
    f.layout({{1, 1}}, 16, 16);
    f.props->jpeg_color = CS_GRAY;
    f.flags(0, 0);
    // The region starts inside MCU (1, 1) of 4 x 4 pixels and ends inside it.
    f.region(5, 6, 7, 8);
    f.dib(CS_GRAY, 1, 2, 2, 3);
    for (int i = 0; i < 64; ++i) f.block(0)[i] = static_cast<int16_t>(i * 11 - 40);  // some outside 0..255
    f.write(1, 1, 4);
    for (int y = 0; y < 2; ++y)
        for (int x = 0; x < 2; ++x) {
            const int sx = x + 1, sy = y + 2;  // the sample under region pixel (x, y)
            EXPECT_EQ(f.at(x, y), static_cast<uint8_t>((8 * sy + sx) * 11 - 40)) << x << "," << y;
        }
    for (int y = 0; y < 2; ++y)
        for (int p = 2; p < 5; ++p) EXPECT_EQ(f.pixels[static_cast<size_t>(y) * 5 + p], CANARY) << "pad byte";
    // A one-byte BGR pixel of an RGB picture has no byte for its red channel.
    f.props->jpeg_color = CS_RGB;
    f.dib(CS_BGR, 1, 2, 2);
    f.write(1, 1, 4);
    for (uint8_t byte : f.pixels) EXPECT_EQ(byte, CANARY);
}

TEST(ReducedWriters, ColourConversionInPlace) {
    ReducedFixture f;
    f.layout({{1, 1}, {1, 1}, {1, 1}}, 8, 8);
    f.flags(0, 1);
    f.dib(CS_BGR, 3, 1, 1);
    // Y = 0, Cb = Cr = 0: red and blue clamp to 0, the general green is 135.
    f.write(0, 0, 1);
    EXPECT_EQ(f.at(0, 0, 0), 0);
    EXPECT_EQ(f.at(0, 0, 1), 135);
    EXPECT_EQ(f.at(0, 0, 2), 0);
    f.block(0)[0] = 128, f.block(1)[0] = 128, f.block(2)[0] = 128;
    f.write(0, 0, 1);
    EXPECT_EQ(f.at(0, 0, 0), 128);
    EXPECT_EQ(f.at(0, 0, 2), 128);
    // A four-channel YCCK-style image stores the complement and keeps byte 3.
    f.layout({{1, 1}, {1, 1}, {1, 1}, {1, 1}}, 8, 8);
    f.props->jpeg_color = CS_YCC_QUAD;
    f.dib(CS_QUAD, 4, 1, 1);
    f.block(0)[0] = 128, f.block(1)[0] = 128, f.block(2)[0] = 128, f.block(3)[0] = 9;
    f.write(0, 0, 1);
    EXPECT_EQ(f.at(0, 0, 0), 127);
    EXPECT_EQ(f.at(0, 0, 3), 9);
    // A pixel narrower than three bytes holds no YCbCr and is left alone.
    f.layout({{1, 1}, {1, 1}, {1, 1}}, 8, 8);
    f.props->jpeg_color = CS_YCBCR;
    f.dib(CS_RGB, 1, 1, 1);
    convert_reduced_mcu(f.props.get(), &f.props->source, 0, 0, 1);
    EXPECT_EQ(f.at(0, 0, 0), CANARY);
}

TEST(ReducedWriters, DirectYccPathGivesTheBytesOfThePlaneWriterAndConversion) {
    // The common YCbCr layouts are written without the work plane; every case
    // here must give the bytes of the plane writer followed by the in-place
    // conversion, which the test calls itself.
    const std::vector<std::vector<std::pair<int32_t, int32_t>>> layouts = {
        {{1, 1}, {1, 1}, {1, 1}}, {{2, 1}, {1, 1}, {1, 1}}, {{1, 2}, {1, 1}, {1, 1}}, {{2, 2}, {1, 1}, {1, 1}},
        {{4, 1}, {1, 1}, {1, 1}}, {{4, 2}, {1, 1}, {1, 1}}, {{4, 4}, {1, 1}, {1, 1}}, {{3, 1}, {1, 1}, {1, 1}},
        {{2, 2}, {2, 1}, {1, 1}}};
    struct Target {
        COLOR_SPACE color;
        int32_t channels;
    };
    const Target targets[] = {{CS_BGR, 3}, {CS_RGB, 3}, {CS_QUAD, 4}};
    uint32_t seed = 12345;
    auto next = [&seed] {
        seed = seed * 1103515245u + 12345u;
        return static_cast<int16_t>(static_cast<int32_t>((seed >> 8) % 320) - 32);  // a few out of 0..255
    };
    int compared = 0;
    for (const auto& sampling : layouts) {
        for (int32_t n : {1, 2, 4}) {
            for (int32_t simple : {0, 1}) {
                for (int32_t progressive : {0, 1}) {
                    for (int32_t smooth : {0, 1}) {
                        for (const Target& t : targets) {
                            for (int32_t shape = 0; shape < 3; ++shape) {
                                ReducedFixture f;
                                f.layout(sampling, 64, 64);
                                const int32_t w = f.props->frame.max_h_sampling * n;
                                const int32_t h = f.props->frame.max_v_sampling * n;
                                const bool subsampled = w != n || h != n;
                                f.flags(subsampled ? 1 : 0, 1);
                                f.props->progressive_scans = progressive;
                                f.props->upsample_filter = smooth;
                                const std::string what = "layout " + std::to_string(sampling[0].first) + "x" +
                                                         std::to_string(sampling[0].second) + "/" +
                                                         std::to_string(sampling[1].first) + " n " +
                                                         std::to_string(n) + " simple " + std::to_string(simple) +
                                                         " progressive " + std::to_string(progressive) +
                                                         " smooth " + std::to_string(smooth) + " channels " +
                                                         std::to_string(t.channels) + " shape " +
                                                         std::to_string(shape);
                                SCOPED_TRACE(what);
                                // 0: whole DIB; 1: a region cutting the MCU at (1, 1); 2: bottom-up, cut short.
                                auto prepare = [&] {
                                    f.region(0, 0, 0, 0);
                                    if (shape == 0) {
                                        f.dib(t.color, t.channels, 2 * w, 2 * h, 1);
                                    } else if (shape == 1) {
                                        const int32_t l = w > 1 ? w - 1 : w, top = h / 2 + 1;
                                        f.region(l, top, 2 * w - 1 > l ? 2 * w - 1 : l + 1, 2 * h);
                                        f.dib(t.color, t.channels, f.props->roi_right - l, 2 * h - top, 2);
                                    } else {
                                        f.dib(t.color, t.channels, 2 * w - 1, -(2 * h - 1));
                                    }
                                };
                                std::vector<int16_t> samples(64 * static_cast<size_t>(f.blocks));
                                for (int16_t& v : samples) v = next();
                                auto load = [&] { std::copy(samples.begin(), samples.end(), f.props->mcu_buffer); };

                                prepare();
                                load();
                                f.write(1, 1, n, simple);
                                f.write(0, 0, n, simple);
                                const std::vector<uint8_t> fast = f.pixels;

                                prepare();
                                load();
                                for (int32_t at : {1, 0}) {
                                    if (subsampled) {
                                        if (progressive != 0)
                                            write_reduced_progressive(f.props.get(), &f.props->source, at, at, n,
                                                                      simple);
                                        else
                                            write_reduced_sequential(f.props.get(), &f.props->source, &f.scan, at,
                                                                     at, n, simple);
                                    } else {
                                        write_mcu_direct(f.props.get(), &f.props->source, at, at, n);
                                    }
                                    convert_reduced_mcu(f.props.get(), &f.props->source, at, at, n);
                                }
                                ASSERT_EQ(fast, f.pixels);
                                ++compared;
                            }
                        }
                    }
                }
            }
        }
    }
    EXPECT_GT(compared, 1000);
}

// ---------------------------------------------------------------------------
// Reduced scale, whole decodes
// ---------------------------------------------------------------------------

struct ReducedStream {
    std::string name;
    std::vector<uint8_t> bytes;
};

// Streams whose subsampled components are transformed larger than the luma at
// reduced scale (4x2, and 4x4 in scans of its own), and neighbours that are not.
std::vector<ReducedStream> reduced_streams(const test::RawImage& photo) {
    struct Kind {
        const char* name;
        int h, v;
        bool separate, progressive;
        int restart;
    };
    const Kind kinds[] = {{"4x2", 4, 2, false, false, 0},         {"4x2 restarts", 4, 2, false, false, 3},
                          {"4x2 separate scans", 4, 2, true, false, 0}, {"4x2 progressive", 4, 2, false, true, 2},
                          {"4x4 separate scans", 4, 4, true, false, 0}, {"4x1", 4, 1, false, false, 0},
                          {"3x1", 3, 1, false, false, 0},         {"2x2", 2, 2, false, false, 0}};
    std::vector<ReducedStream> streams;
    for (const Kind& k : kinds) {
        test::RefEncodeOptions o;
        test::set_sampling(&o, k.h, k.v);
        o.separate_scans = k.separate;
        o.progressive = k.progressive;
        o.restart_blocks = k.restart;
        std::vector<uint8_t> bytes;
        std::string error;
        if (test::ref_encode(test::crop_image(photo, 7, 19, 75, 53, 3), o, &bytes, &error))
            streams.push_back({k.name, bytes});
        else
            ADD_FAILURE() << k.name << ": " << error;
    }
    return streams;
}

test::RawImage crop_pixels(const test::RawImage& image, int l, int t, int r, int b) {
    test::RawImage out;
    out.width = r - l, out.height = b - t, out.channels = image.channels;
    for (int y = t; y < b; ++y) {
        auto start = image.pixels.begin() + (static_cast<long>(y) * image.width + l) * image.channels;
        out.pixels.insert(out.pixels.end(), start, start + static_cast<long>(r - l) * image.channels);
    }
    return out;
}

TEST(ReducedScale, EverySamplingAgreesWithTheReferenceAndWithItsRegionsAndSteps) {
    test::RawImage photo;
    if (!test::load_test_photo(&photo)) GTEST_SKIP() << "no corpus photo";
    for (const ReducedStream& s : reduced_streams(photo)) {
        for (int scale : {2, 4, 8}) {
            for (bool smooth : {false, true}) {
                const std::string what = s.name + " 1/" + std::to_string(scale) + (smooth ? " smoothed" : "");
                SCOPED_TRACE(what);
                test::OurDecodeOptions o;
                o.scale = scale;
                o.smooth = smooth;
                const test::OurDecodeResult whole = test::our_decode(s.bytes, o);
                ASSERT_EQ(whole.status, STATUS_SUCCESS) << get_status_message(whole.status);
                if (!smooth) {
                    test::RefDecodeOptions ro;
                    ro.scale_denom = scale;
                    test::RawImage ref;
                    std::string error;
                    ASSERT_TRUE(test::ref_decode(s.bytes.data(), s.bytes.size(), ro, &ref, &error)) << error;
                    const test::ImageDiff diff = test::compare_images(whole.image, ref);
                    ASSERT_TRUE(diff.same_shape);
                    EXPECT_GE(diff.psnr, 32.0);
                    std::printf("[psnr] %-22s %6.2f dB\n", what.c_str(), diff.psnr);
                }
                test::OurDecodeOptions stepped = o;
                stepped.step = true;
                const test::OurDecodeResult steps = test::our_decode(s.bytes, stepped);
                ASSERT_GE(steps.status, 0) << get_status_message(steps.status);
                EXPECT_EQ(steps.image.pixels, whole.image.pixels) << "step by step";
                const int w = whole.image.width, h = whole.image.height;
                const int regions[][4] = {{w / 4, h / 3, w * 3 / 4, h * 2 / 3}, {1, 1, w, h},
                                          {w / 2, 0, w, h / 2},                 {w - 1, h - 1, w, h}};
                for (const auto& roi : regions) {
                    if (roi[2] <= roi[0] || roi[3] <= roi[1]) continue;
                    test::OurDecodeOptions part = o;
                    part.has_roi = true;
                    for (int i = 0; i < 4; ++i) part.roi[i] = roi[i];
                    const test::OurDecodeResult got = test::our_decode(s.bytes, part);
                    ASSERT_GE(got.status, 0) << get_status_message(got.status);
                    EXPECT_EQ(got.image.pixels, crop_pixels(whole.image, roi[0], roi[1], roi[2], roi[3]).pixels)
                        << "region " << roi[0] << "," << roi[1] << "-" << roi[2] << "," << roi[3];
                }
            }
        }
    }
}

}  // namespace
}  // namespace vantorel

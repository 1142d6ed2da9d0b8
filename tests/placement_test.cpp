// MCU placement: the address of an MCU in the DIB and the part of it a writer may
// touch, with and without a region, for top-down and bottom-up DIBs; and the
// small rectangle helpers beside it.
#include <gtest/gtest.h>

#include <climits>
#include <cstdint>
#include <vector>

#include "codec/decoder/decoder.h"

namespace vantorel {
namespace {

MCU_RECT rect(int32_t l, int32_t t, int32_t r, int32_t b) { return MCU_RECT{l, t, r, b}; }

void expect_rect(const MCU_RECT& got, int32_t l, int32_t t, int32_t r, int32_t b) {
    EXPECT_EQ(got.left, l);
    EXPECT_EQ(got.top, t);
    EXPECT_EQ(got.right, r);
    EXPECT_EQ(got.bottom, b);
}

TEST(PlaceMcu, WholeImageMcuLandsAtItsPixelAndIsFullyVisible) {
    std::vector<uint8_t> dib(40 * 3 * 32);
    const intptr_t stride = 40 * 3;
    uint8_t* out = nullptr;
    MCU_RECT visible{};
    MCU_RECT none{0, 0, 0, 0};
    ASSERT_EQ(place_mcu(&none, 16, 16, 1, 1, 3, stride, dib.data(), 40, 32, &out, &visible), 0);
    EXPECT_EQ(out, dib.data() + 16 * 3 + 16 * stride);
    expect_rect(visible, 0, 0, 16, 16);
    // A null region means the same as the all-zero one.
    ASSERT_EQ(place_mcu(nullptr, 8, 8, 2, 0, 3, stride, dib.data(), 40, 32, &out, &visible), 0);
    EXPECT_EQ(out, dib.data() + 16 * 3);
}

TEST(PlaceMcu, McuCutByTheImageEdgeIsClippedToTheDib) {
    // 17 x 16 image with 16 x 16 MCUs: the second column shows one pixel.
    std::vector<uint8_t> dib(17 * 3 * 16);
    uint8_t* out = nullptr;
    MCU_RECT visible{};
    ASSERT_EQ(place_mcu(nullptr, 16, 16, 1, 0, 3, 17 * 3, dib.data(), 17, 16, &out, &visible), 0);
    expect_rect(visible, 0, 0, 1, 16);
    // 20 rows, 8-high MCUs: the third row shows 4 rows.
    ASSERT_EQ(place_mcu(nullptr, 8, 8, 0, 2, 3, 17 * 3, dib.data(), 17, 20, &out, &visible), 0);
    expect_rect(visible, 0, 0, 8, 4);
}

TEST(PlaceMcu, McuWhollyBeyondTheDibHasNothingVisibleAndIsRefused) {
    std::vector<uint8_t> dib(16 * 16);
    uint8_t* out = nullptr;
    MCU_RECT visible{1, 1, 1, 1};
    // The flush column of a 16-wide image.
    EXPECT_EQ(place_mcu(nullptr, 8, 8, 2, 0, 1, 16, dib.data(), 16, 16, &out, &visible), STATUS_INVALID_PROPERTIES);
    expect_rect(visible, 0, 0, 0, 0);
    EXPECT_EQ(place_mcu(nullptr, 8, 8, 0, 2, 1, 16, dib.data(), 16, 16, &out, &visible), STATUS_INVALID_PROPERTIES);
    // A DIB of height 0 passes validation and receives nothing.
    EXPECT_EQ(place_mcu(nullptr, 8, 8, 0, 0, 1, 16, dib.data(), 16, 0, &out, &visible), STATUS_INVALID_PROPERTIES);
}

TEST(PlaceMcu, BottomUpDibCountsRowsUpwardFromTheLastBufferRow) {
    const int32_t width = 8, height = -24;
    const intptr_t stride = -(width * 4);
    std::vector<uint8_t> dib(8 * 4 * 24);
    uint8_t* last_row = dib.data() + 23 * width * 4;
    uint8_t* out = nullptr;
    MCU_RECT visible{};
    ASSERT_EQ(place_mcu(nullptr, 8, 16, 0, 1, 4, stride, last_row, width, height, &out, &visible), 0);
    // Image row 16 is buffer row 23 - 16 = 7.
    EXPECT_EQ(out, dib.data() + 7 * width * 4);
    expect_rect(visible, 0, 0, 8, 8);
}

TEST(PlaceMcu, RegionStartingInsideAnMcuPutsTheAddressLeftOfTheDibAndClipsTheRest) {
    // Region (5, 3)-(21, 13); the DIB holds the region only (16 x 10).
    MCU_RECT region{5, 3, 21, 13};
    std::vector<uint8_t> dib(16 * 10);
    uint8_t* out = nullptr;
    MCU_RECT visible{};
    ASSERT_EQ(place_mcu(&region, 8, 8, 0, 0, 1, 16, dib.data(), 16, 10, &out, &visible), 0);
    EXPECT_EQ(reinterpret_cast<intptr_t>(out), reinterpret_cast<intptr_t>(dib.data()) - 5 - 3 * 16);
    expect_rect(visible, 5, 3, 8, 8);
    // The first pixel the writer may touch is the DIB's first byte.
    EXPECT_EQ(reinterpret_cast<intptr_t>(out) + visible.left + visible.top * 16,
              reinterpret_cast<intptr_t>(dib.data()));
    // Column 2 (x 16) is cut on the right by the region, row 1 (y 8) at the bottom.
    ASSERT_EQ(place_mcu(&region, 8, 8, 2, 1, 1, 16, dib.data(), 16, 10, &out, &visible), 0);
    expect_rect(visible, 0, 0, 5, 5);
    EXPECT_EQ(out, dib.data() + 11 + 5 * 16);
}

TEST(PlaceMcu, RegionClipsToASmallerDibAsWell) {
    // The caller's DIB is narrower and shorter than the region: the DIB wins.
    MCU_RECT region{0, 0, 64, 64};
    std::vector<uint8_t> dib(10 * 6);
    uint8_t* out = nullptr;
    MCU_RECT visible{};
    ASSERT_EQ(place_mcu(&region, 8, 8, 1, 0, 1, 10, dib.data(), 10, 6, &out, &visible), 0);
    expect_rect(visible, 0, 0, 2, 6);
    EXPECT_EQ(place_mcu(&region, 8, 8, 2, 0, 1, 10, dib.data(), 10, 6, &out, &visible), STATUS_INVALID_PROPERTIES);
}

TEST(PlaceMcu, McusOutsideTheRegionAreRefused) {
    MCU_RECT region{16, 16, 32, 32};
    std::vector<uint8_t> dib(16 * 16);
    uint8_t* out = nullptr;
    MCU_RECT visible{};
    EXPECT_EQ(place_mcu(&region, 8, 8, 4, 2, 1, 16, dib.data(), 16, 16, &out, &visible), STATUS_INVALID_PROPERTIES);
    EXPECT_EQ(place_mcu(&region, 8, 8, 2, 4, 1, 16, dib.data(), 16, 16, &out, &visible), STATUS_INVALID_PROPERTIES);
    EXPECT_EQ(place_mcu(&region, 8, 8, 0, 2, 1, 16, dib.data(), 16, 16, &out, &visible), STATUS_INVALID_PROPERTIES);
    // An MCU ending exactly where the region begins touches it but shows nothing.
    EXPECT_EQ(place_mcu(&region, 8, 8, 1, 2, 1, 16, dib.data(), 16, 16, &out, &visible), STATUS_INVALID_PROPERTIES);
    expect_rect(visible, 0, 0, 0, 0);
    EXPECT_EQ(place_mcu(&region, 8, 8, 2, 2, 1, 16, dib.data(), 16, 16, &out, &visible), 0);
}

TEST(PlaceMcu, HostileRegionValuesNeverProduceAVisiblePixelOutsideTheDib) {
    const int32_t w = 12, h = 9;
    MCU_RECT regions[] = {{INT32_MIN, INT32_MIN, INT32_MAX, INT32_MAX},
                          {-40, -7, 30, 20},
                          {INT32_MAX - 3, 0, INT32_MAX, 8},
                          {20, 20, 4, 4},
                          {3, 1, 5, 2}};
    for (const MCU_RECT& region : regions) {
        for (int32_t row = 0; row < 6; ++row) {
            for (int32_t col = 0; col < 6; ++col) {
                uint8_t* out = nullptr;
                MCU_RECT visible{};
                if (place_mcu(&region, 16, 8, col, row, 2, w * 2, nullptr, w, h, &out, &visible) != 0) continue;
                ASSERT_LT(visible.left, visible.right);
                ASSERT_LT(visible.top, visible.bottom);
                // Address of the first and last visible pixel relative to the DIB start.
                const intptr_t base = reinterpret_cast<intptr_t>(out);
                const intptr_t first = base + visible.left * 2 + visible.top * w * 2;
                const intptr_t last = base + (visible.right - 1) * 2 + (visible.bottom - 1) * w * 2;
                EXPECT_GE(first, 0);
                EXPECT_LT(last, w * 2 * h);
                // The visible run of a row never wraps into the next row.
                if (first >= 0) {
                    EXPECT_LE(first % (w * 2) + (visible.right - visible.left) * 2, w * 2);
                }
            }
        }
    }
}

TEST(Rectangles, IntersectionKeepsTouchingEdgesAndEmptiesDisjointRectangles) {
    expect_rect(intersect_rect(rect(0, 0, 8, 8), rect(4, 2, 16, 16)), 4, 2, 8, 8);
    expect_rect(intersect_rect(rect(0, 0, 8, 8), rect(8, 0, 16, 8)), 8, 0, 8, 8);
    expect_rect(intersect_rect(rect(0, 0, 8, 8), rect(9, 0, 16, 8)), 0, 0, 0, 0);
    expect_rect(intersect_rect(rect(0, 10, 8, 16), rect(0, 0, 8, 8)), 0, 0, 0, 0);
}

TEST(Rectangles, EqualityComparesAllFourValues) {
    EXPECT_TRUE(rects_equal(rect(1, 2, 3, 4), rect(1, 2, 3, 4)));
    EXPECT_FALSE(rects_equal(rect(1, 2, 3, 4), rect(1, 2, 3, 5)));
    EXPECT_FALSE(rects_equal(rect(1, 2, 3, 4), rect(0, 2, 3, 4)));
    EXPECT_TRUE(rects_differ(rect(1, 2, 3, 4), rect(1, 9, 3, 4)));
    EXPECT_FALSE(rects_differ(rect(1, 2, 3, 4), rect(1, 2, 3, 4)));
}

TEST(Rectangles, OffsetMovesByMinusThePointButKeepsTheEmptyRectangle) {
    expect_rect(offset_rect(rect(8, 8, 16, 13), 8, 8), 0, 0, 8, 5);
    expect_rect(offset_rect(rect(0, 0, 0, 0), 8, 8), 0, 0, 0, 0);
    expect_rect(offset_rect(rect(2, 0, 4, 0), 8, 0), -6, 0, -4, 0);
}

}  // namespace
}  // namespace vantorel

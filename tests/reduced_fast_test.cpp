// The reduced inverse transforms (4x4, 2x2) against the straightforward scalar
// forms they replaced, kept below as the model: column by column and row by row,
// with the short paths for columns and rows that hold only their DC value. Every
// output must match exactly, over dense, sparse and DC-only blocks and over the
// most extreme 16-bit coefficients, where the 32-bit sums wrap.
#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <cstring>
#include <random>

#include "codec/decoder/decoder.h"

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

}  // namespace
}  // namespace vantorel

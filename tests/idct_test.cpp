// Dequantisation and the inverse transforms of both families: fixed known values,
// accuracy against an exact double-precision inverse DCT, the reduced transforms
// against the box average of the exact full-size block, agreement between the
// families, and safe behaviour on the most extreme 16-bit coefficients.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <random>

#include "codec/decoder/decoder.h"

namespace vantorel {
namespace {

using Block = std::array<int16_t, 64>;
using Exact = std::array<double, 64>;

constexpr double kPi = 3.14159265358979323846;

double c_of(int u) { return u == 0 ? 1.0 / std::sqrt(2.0) : 1.0; }

// Textbook inverse DCT of coefficients in natural order (8 x vertical + horizontal).
Exact exact_idct(const std::array<double, 64>& coef) {
    Exact out{};
    for (int y = 0; y < 8; ++y)
        for (int x = 0; x < 8; ++x) {
            double sum = 0;
            for (int v = 0; v < 8; ++v)
                for (int u = 0; u < 8; ++u)
                    sum += c_of(u) * c_of(v) * coef[8 * v + u] * std::cos((2 * x + 1) * u * kPi / 16) *
                           std::cos((2 * y + 1) * v * kPi / 16);
            out[8 * y + x] = sum / 4;
        }
    return out;
}

std::array<double, 64> exact_fdct(const Exact& pixels) {
    std::array<double, 64> coef{};
    for (int v = 0; v < 8; ++v)
        for (int u = 0; u < 8; ++u) {
            double sum = 0;
            for (int y = 0; y < 8; ++y)
                for (int x = 0; x < 8; ++x)
                    sum += pixels[8 * y + x] * std::cos((2 * x + 1) * u * kPi / 16) *
                           std::cos((2 * y + 1) * v * kPi / 16);
            coef[8 * v + u] = c_of(u) * c_of(v) * sum / 4;
        }
    return coef;
}

int clamp_level(double level_shifted) {
    return std::clamp(static_cast<int>(std::lround(level_shifted + 128)), 0, 255);
}

// The scaled family's table preparation: q x a(u) a(v) / 8 x 2048, rounded.
QUANT_VALUE scaled_value(int q, int index) {
    auto a = [](int n) { return n == 0 ? 1.0 : std::sqrt(2.0) * std::cos(n * kPi / 16); };
    const double s = a(index / 8) * a(index % 8) / 8;
    return static_cast<QUANT_VALUE>(q * s * 2048 + 0.5);
}

// The usual luminance table scaled to a quality, in natural order.
std::array<int, 64> quant_table(int quality) {
    static constexpr int kBase[64] = {16, 11, 10, 16, 24,  40,  51,  61,  12, 12, 14, 19, 26,  58,  60,  55,
                                      14, 13, 16, 24, 40,  57,  69,  56,  14, 17, 22, 29, 51,  87,  80,  62,
                                      18, 22, 37, 56, 68,  109, 103, 77,  24, 35, 55, 64, 81,  104, 113, 92,
                                      49, 64, 78, 87, 103, 121, 120, 101, 72, 92, 95, 98, 112, 100, 103, 99};
    const int scale = quality < 50 ? 5000 / quality : 200 - 2 * quality;
    std::array<int, 64> q{};
    for (int i = 0; i < 64; ++i) q[i] = std::clamp((kBase[i] * scale + 50) / 100, 1, 255);
    return q;
}

// A block of image-like content: a level, a gradient, sometimes an edge, and noise.
Exact random_pixels(std::mt19937& rng) {
    std::uniform_real_distribution<double> level(-120, 120), slope(-12, 12), noise(-1, 1);
    std::uniform_int_distribution<int> kind(0, 3), pos(1, 7);
    const double base = level(rng), gx = slope(rng), gy = slope(rng);
    const double amplitude = kind(rng) == 0 ? 40 : 6;
    const int edge_kind = kind(rng), edge = pos(rng);
    const double step = level(rng) / 2;
    Exact p{};
    for (int y = 0; y < 8; ++y)
        for (int x = 0; x < 8; ++x) {
            double v = base + gx * (x - 3.5) + gy * (y - 3.5) + amplitude * noise(rng);
            if (edge_kind == 1 && x >= edge) v += step;
            if (edge_kind == 2 && y >= edge) v += step;
            p[8 * y + x] = std::clamp(v, -128.0, 127.0);
        }
    return p;
}

// One quantised block as a decoder meets it, with the table that produced it.
struct Sample {
    Block quantised;
    std::array<int, 64> table;
    std::array<double, 64> dequantised;  // plain coefficient x step, the exact input
};

Sample random_sample(std::mt19937& rng) {
    static constexpr int kQualities[] = {25, 50, 75, 90, 95, 100};
    std::uniform_int_distribution<int> pick(0, 5);
    Sample s;
    s.table = quant_table(kQualities[pick(rng)]);
    const auto coef = exact_fdct(random_pixels(rng));
    for (int i = 0; i < 64; ++i) {
        const long q = std::lround(coef[i] / s.table[i]);
        s.quantised[i] = static_cast<int16_t>(q);
        s.dequantised[i] = static_cast<double>(q) * s.table[i];
    }
    return s;
}

Block run_direct(const Sample& s, void (*idct)(int16_t*)) {
    Block b = s.quantised;
    QUANT_VALUE values[64];
    for (int i = 0; i < 64; ++i) values[i] = s.table[i];
    dequantize_direct(b.data(), values);
    idct(b.data());
    return b;
}

Block run_scaled(const Sample& s, void (*idct)(int16_t*)) {
    Block b = s.quantised;
    QUANT_VALUE values[64];
    for (int i = 0; i < 64; ++i) values[i] = scaled_value(s.table[i], i);
    dequantize_scaled(b.data(), values);
    idct(b.data());
    return b;
}

// Average of each group x group square of the exact block, level shifted and clamped.
int box_average(const Exact& exact, int group, int row, int col) {
    double sum = 0;
    for (int y = 0; y < group; ++y)
        for (int x = 0; x < group; ++x) sum += exact[8 * (row * group + y) + col * group + x];
    return clamp_level(sum / (group * group));
}

Block dc_only(int16_t dc) {
    Block b{};
    b[0] = dc;
    return b;
}

// ---------------------------------------------------------------------------

TEST(Dequantize, DirectKeepsTheLowSixteenBitsOfTheProduct) {
    Block b{};
    b[0] = 3;
    b[1] = 300;
    b[2] = -300;
    b[63] = 32767;
    QUANT_VALUE values[64];
    std::fill(std::begin(values), std::end(values), 1);
    values[0] = 16;
    values[1] = 255;
    values[2] = 255;
    values[63] = 32767;
    dequantize_direct(b.data(), values);
    EXPECT_EQ(b[0], 48);
    EXPECT_EQ(b[1], 10964);   // 76500 wrapped
    EXPECT_EQ(b[2], -10964);
    EXPECT_EQ(b[63], 1);      // 32767 * 32767 = 0x3FFF0001
    EXPECT_EQ(b[5], 0);
}

TEST(Dequantize, ScaledRoundsBySevenBitsAndWrapsLargeProducts) {
    Block b{};
    b[0] = 64;
    b[1] = 3;
    b[2] = -3;
    b[3] = 32767;
    b[4] = -32768;
    b[5] = -32768;
    QUANT_VALUE values[64] = {};
    values[0] = 256;
    values[1] = 4096;
    values[2] = 100;
    values[3] = 100000;    // a 16-bit table step times the largest scale factor
    values[4] = 100000;
    values[5] = 65535 * 4;
    dequantize_scaled(b.data(), values);
    EXPECT_EQ(b[0], 128);  // (64 x 256 + 64) >> 7
    EXPECT_EQ(b[1], 96);
    EXPECT_EQ(b[2], -2);   // the shift floors: (-300 + 64) >> 7
    EXPECT_EQ(b[3], -25357);
    EXPECT_EQ(b[4], 24576);
    EXPECT_EQ(b[5], 1024);
}

TEST(InverseTransform, DcOnlyBlocksGiveTheirAverageEverywhere) {
    // Direct family, table value 1: 64 / 8 + 128.
    const std::pair<void (*)(int16_t*), int> direct[] = {
        {idct_direct_8x8, 8}, {idct_direct_4x4, 4}, {idct_direct_2x2, 2}, {idct_direct_1x1, 1}};
    for (auto [idct, n] : direct) {
        Block b = dc_only(64);
        idct(b.data());
        for (int y = 0; y < n; ++y)
            for (int x = 0; x < n; ++x) EXPECT_EQ(b[8 * y + x], 136) << "direct " << n << " at " << x << "," << y;
    }
    // Scaled family: table value 1 prepares to 256, and DC 64 dequantises to 128.
    const std::pair<void (*)(int16_t*), int> scaled[] = {
        {idct_scaled_8x8, 8}, {idct_scaled_4x4, 4}, {idct_scaled_2x2, 2}, {idct_scaled_1x1, 1}};
    for (auto [idct, n] : scaled) {
        Block b = dc_only(64);
        QUANT_VALUE values[64];
        for (int i = 0; i < 64; ++i) values[i] = scaled_value(1, i);
        ASSERT_EQ(values[0], 256);
        dequantize_scaled(b.data(), values);
        ASSERT_EQ(b[0], 128);
        idct(b.data());
        for (int y = 0; y < n; ++y)
            for (int x = 0; x < n; ++x) EXPECT_EQ(b[8 * y + x], 136) << "scaled " << n << " at " << x << "," << y;
    }
}

TEST(InverseTransform, OneByOneClampsAtBothEnds) {
    auto direct = [](int16_t dc) { Block b = dc_only(dc); idct_direct_1x1(b.data()); return b[0]; };
    EXPECT_EQ(direct(1020), 255);
    EXPECT_EQ(direct(1011), 254);
    EXPECT_EQ(direct(-1028), 0);
    EXPECT_EQ(direct(-1020), 1);
    EXPECT_EQ(direct(32767), 255);
    EXPECT_EQ(direct(-32768), 0);
    auto scaled = [](int16_t dc) { Block b = dc_only(dc); idct_scaled_1x1(b.data()); return b[0]; };
    EXPECT_EQ(scaled(2040), 255);
    EXPECT_EQ(scaled(2023), 254);
    EXPECT_EQ(scaled(-2056), 0);
    EXPECT_EQ(scaled(-2040), 1);
    EXPECT_EQ(scaled(32767), 255);
    EXPECT_EQ(scaled(-32768), 0);
}

TEST(InverseTransform, FullSizeTransformsStayWithinTwoLevelsOfTheExactOne) {
    std::mt19937 rng(1234);
    int worst_direct = 0, worst_scaled = 0;
    double total_direct = 0, total_scaled = 0;
    constexpr int kBlocks = 3000;
    for (int n = 0; n < kBlocks; ++n) {
        const Sample s = random_sample(rng);
        const Exact exact = exact_idct(s.dequantised);
        const Block d = run_direct(s, idct_direct_8x8);
        const Block f = run_scaled(s, idct_scaled_8x8);
        for (int i = 0; i < 64; ++i) {
            const int want = clamp_level(exact[i]);
            worst_direct = std::max(worst_direct, std::abs(d[i] - want));
            worst_scaled = std::max(worst_scaled, std::abs(f[i] - want));
            total_direct += std::abs(d[i] - want);
            total_scaled += std::abs(f[i] - want);
        }
    }
    EXPECT_LE(worst_direct, 2);
    EXPECT_LE(worst_scaled, 2);
    // Rounding errors, not a bias: most samples are exact.
    EXPECT_LT(total_direct / (64.0 * kBlocks), 0.25);
    EXPECT_LT(total_scaled / (64.0 * kBlocks), 0.25);
}

TEST(InverseTransform, ReducedTransformsGiveTheBoxAverageOfTheFullBlock) {
    std::mt19937 rng(99);
    const struct {
        void (*idct)(int16_t*);
        int size;
        bool scaled;
    } cases[] = {{idct_direct_4x4, 4, false}, {idct_direct_2x2, 2, false}, {idct_direct_1x1, 1, false},
                 {idct_scaled_4x4, 4, true},  {idct_scaled_2x2, 2, true},  {idct_scaled_1x1, 1, true}};
    int worst[6] = {};
    int mismatches[6] = {};
    int samples[6] = {};
    for (int n = 0; n < 2000; ++n) {
        const Sample s = random_sample(rng);
        const Exact exact = exact_idct(s.dequantised);
        for (int c = 0; c < 6; ++c) {
            const Block b = cases[c].scaled ? run_scaled(s, cases[c].idct) : run_direct(s, cases[c].idct);
            const int group = 8 / cases[c].size;
            for (int y = 0; y < cases[c].size; ++y)
                for (int x = 0; x < cases[c].size; ++x) {
                    const int error = std::abs(b[8 * y + x] - box_average(exact, group, y, x));
                    worst[c] = std::max(worst[c], error);
                    mismatches[c] += error != 0;
                    ++samples[c];
                }
        }
    }
    for (int c = 0; c < 6; ++c) {
        EXPECT_LE(worst[c], 1) << (cases[c].scaled ? "scaled " : "direct ") << cases[c].size;
        // Off by one only where the exact average lies near a rounding boundary; the
        // scaled family rounds its first pass to integers and is off a little more often.
        const int allowed = samples[c] * (cases[c].scaled ? 8 : 3) / 100;
        EXPECT_LT(mismatches[c], allowed) << (cases[c].scaled ? "scaled " : "direct ") << cases[c].size;
    }
}

TEST(InverseTransform, FrequencyFourVanishesFromTheHalfSizeAverage) {
    // Cosines of frequency 4 average to zero over each pair of samples, so the
    // half-size block of a DC plus frequency-4 block is flat at the DC level.
    Block d = dc_only(160);
    d[4] = 200;
    d[32] = -150;
    idct_direct_4x4(d.data());
    Block s = dc_only(320);  // the scaled family sees twice the plain DC
    s[4] = 400;
    s[32] = -300;
    idct_scaled_4x4(s.data());
    for (int y = 0; y < 4; ++y)
        for (int x = 0; x < 4; ++x) {
            EXPECT_EQ(d[8 * y + x], 148) << x << "," << y;
            EXPECT_EQ(s[8 * y + x], 148) << x << "," << y;
        }
}

TEST(InverseTransform, BothFamiliesAgreeOnTheSameStream) {
    std::mt19937 rng(7);
    const std::pair<void (*)(int16_t*), void (*)(int16_t*)> pairs[] = {{idct_direct_8x8, idct_scaled_8x8},
                                                                      {idct_direct_4x4, idct_scaled_4x4},
                                                                      {idct_direct_2x2, idct_scaled_2x2},
                                                                      {idct_direct_1x1, idct_scaled_1x1}};
    const int sizes[] = {8, 4, 2, 1};
    for (int n = 0; n < 1500; ++n) {
        const Sample s = random_sample(rng);
        for (int p = 0; p < 4; ++p) {
            const Block d = run_direct(s, pairs[p].first);
            const Block f = run_scaled(s, pairs[p].second);
            for (int y = 0; y < sizes[p]; ++y)
                for (int x = 0; x < sizes[p]; ++x)
                    ASSERT_LE(std::abs(d[8 * y + x] - f[8 * y + x]), 2)
                        << "size " << sizes[p] << " block " << n << " at " << x << "," << y;
        }
    }
}

TEST(InverseTransform, ExtremeCoefficientsGiveSamplesInRange) {
    // Hostile streams can hold any 16-bit value in any position; the transforms must
    // still finish with samples 0-255 (the sanitizer build checks the arithmetic).
    std::mt19937 rng(4242);
    std::uniform_int_distribution<int> any(-32768, 32767), corner(0, 3);
    void (*const all[8])(int16_t*) = {idct_direct_8x8, idct_direct_4x4, idct_direct_2x2, idct_direct_1x1,
                                     idct_scaled_8x8, idct_scaled_4x4, idct_scaled_2x2, idct_scaled_1x1};
    const int sizes[8] = {8, 4, 2, 1, 8, 4, 2, 1};
    QUANT_VALUE big[64];
    for (int i = 0; i < 64; ++i) big[i] = scaled_value(65535, i);
    for (int n = 0; n < 400; ++n) {
        Block in{};
        for (auto& v : in) {
            // Mostly the extremes themselves, which stress the wrap-around most.
            const int k = corner(rng);
            v = static_cast<int16_t>(k == 0 ? -32768 : k == 1 ? 32767 : any(rng));
        }
        for (int t = 0; t < 8; ++t) {
            Block b = in;
            if (n % 2) (t < 4 ? dequantize_direct(b.data(), big) : dequantize_scaled(b.data(), big));
            all[t](b.data());
            for (int y = 0; y < sizes[t]; ++y)
                for (int x = 0; x < sizes[t]; ++x) {
                    ASSERT_GE(b[8 * y + x], 0);
                    ASSERT_LE(b[8 * y + x], 255);
                }
        }
    }
}

}  // namespace
}  // namespace vantorel

// The 256-bit body of the 8x8 direct transform against the generic routine and
// the 128-bit bodies, on every kind of block a stream can make (sparse, dense,
// extreme, hostile), and the check of the processor and system bits that
// decides whether it may run.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <random>
#include <vector>

#include "codec/decoder/decoder.h"
#include "codec/decoder/x86/x86_stages.h"

namespace vantorel {
namespace {

#if VANTOREL_X86_BODIES

// ---------------------------------------------------------------------------
// The bits that allow the 256-bit bodies
// ---------------------------------------------------------------------------

TEST(VariantWideBodies, NeedEveryProcessorAndSystemBit) {
    constexpr uint32_t kOsxsave = 1u << 27, kAvx = 1u << 28, kAvx2 = 1u << 5;
    constexpr uint64_t kSaved = 6;  // 128-bit state and upper halves
    EXPECT_TRUE(x86::avx2_reported(kOsxsave | kAvx, kSaved, kAvx2));
    // Any one of them missing: the processor or the system cannot run them.
    EXPECT_FALSE(x86::avx2_reported(kAvx, kSaved, kAvx2));        // XGETBV not enabled
    EXPECT_FALSE(x86::avx2_reported(kOsxsave, kSaved, kAvx2));    // no 256-bit registers
    EXPECT_FALSE(x86::avx2_reported(kOsxsave | kAvx, 2, kAvx2));  // upper halves not saved
    EXPECT_FALSE(x86::avx2_reported(kOsxsave | kAvx, 4, kAvx2));  // 128-bit state not saved
    EXPECT_FALSE(x86::avx2_reported(kOsxsave | kAvx, 0, kAvx2));  // XCR0 unreadable
    EXPECT_FALSE(x86::avx2_reported(kOsxsave | kAvx, kSaved, 0));
    EXPECT_FALSE(x86::avx2_reported(~kOsxsave, ~0ull, ~0u));  // every other bit set
    EXPECT_FALSE(x86::avx2_reported(~0u, ~0ull, ~kAvx2));
}

// ---------------------------------------------------------------------------
// The transform
// ---------------------------------------------------------------------------

bool wide_usable() {
    return __builtin_cpu_supports("avx2");
}

// The row results of the generic transform in floating point: 8 sqrt2 x the
// textbook one-dimensional inverse transform of each row. The packed bodies
// store them in 16 bits; where all of them stay well inside that range, the
// packed bodies must give exactly the generic samples.
double largest_row_result(const int16_t block[64]) {
    double largest = 0.0;
    for (int row = 0; row < 8; ++row) {
        for (int x = 0; x < 8; ++x) {
            double sum = 0.0;
            for (int u = 0; u < 8; ++u)
                sum += (u == 0 ? std::sqrt(0.5) : 1.0) * block[8 * row + u] * std::cos((2 * x + 1) * u * M_PI / 16);
            largest = std::fmax(largest, std::fabs(8.0 * std::sqrt(2.0) * sum));
        }
    }
    return largest;
}

// Runs one body on a copy of the block placed in the middle of a guarded buffer,
// at an address that is not a multiple of 32 (or 16) when `offset` is odd, and
// checks that nothing around the 64 coefficients changed.
void run_guarded(IdctRoutine body, const int16_t in[64], int offset, int16_t out[64]) {
    constexpr int kGuard = 40;
    std::vector<int16_t> buffer(64 + 2 * kGuard + 16, int16_t{0x5A5A});
    int16_t* block = buffer.data() + kGuard + offset;
    std::memcpy(block, in, 64 * sizeof(int16_t));
    body(block);
    std::memcpy(out, block, 64 * sizeof(int16_t));
    for (size_t i = 0; i < buffer.size(); ++i) {
        const bool inside = i >= static_cast<size_t>(kGuard + offset) && i < static_cast<size_t>(kGuard + offset + 64);
        if (!inside) {
            ASSERT_EQ(buffer[i], int16_t{0x5A5A}) << "element " << i << " outside the block written";
        }
    }
}

struct Kinds {
    std::mt19937 rng{2024};
    int16_t pick(std::initializer_list<int> values) {
        std::uniform_int_distribution<size_t> at(0, values.size() - 1);
        return static_cast<int16_t>(values.begin()[at(rng)]);
    }
    int uniform(int low, int high) { return std::uniform_int_distribution<int>(low, high)(rng); }

    // Block kind n % 9, each a shape a stream can carry.
    void make(int n, int16_t b[64]) {
        std::memset(b, 0, 64 * sizeof(int16_t));
        switch (n % 9) {
            case 0:  // coefficients falling off with frequency, as pictures give
                for (int i = 0; i < 64; ++i) {
                    const int reach = 1024 / (1 + (i / 8) + (i % 8));
                    b[i] = static_cast<int16_t>(uniform(0, 3) ? 0 : uniform(-reach, reach));
                }
                b[0] = static_cast<int16_t>(uniform(-1024, 1023));
                break;
            case 1:  // a few coefficients anywhere
                for (int k = uniform(1, 6); k > 0; --k) b[uniform(0, 63)] = static_cast<int16_t>(uniform(-1023, 1023));
                break;
            case 2:  // rows 0-3 only, dense
                for (int i = 0; i < 32; ++i) b[i] = static_cast<int16_t>(uniform(-300, 300));
                break;
            case 3:  // dense, anything 16 bits hold
                for (int i = 0; i < 64; ++i) b[i] = static_cast<int16_t>(uniform(-32768, 32767));
                break;
            case 4:  // only the extremes and zero
                for (int i = 0; i < 64; ++i) b[i] = pick({-32768, 32767, 0, -32768, 32767});
                break;
            case 5: {
                // Signs that line up with the basis of one sample: the largest sums,
                // which wrap 32 bits in the generic arithmetic.
                const int x = uniform(0, 7), y = uniform(0, 7);
                const int magnitude = pick({32767, 16384, 4096});
                for (int v = 0; v < 8; ++v)
                    for (int u = 0; u < 8; ++u) {
                        const double c = std::cos((2 * x + 1) * u * M_PI / 16) * std::cos((2 * y + 1) * v * M_PI / 16);
                        b[8 * v + u] = static_cast<int16_t>(c < 0 ? -magnitude - (magnitude == 32767) : magnitude);
                    }
                break;
            }
            case 6:  // one extreme coefficient, the rest small
                for (int i = 0; i < 64; ++i) b[i] = static_cast<int16_t>(uniform(-4, 4));
                b[uniform(0, 63)] = pick({-32768, 32767});
                break;
            case 7:  // DC plus one row 4-7 coefficient: neither shortcut applies
                b[0] = static_cast<int16_t>(uniform(-2047, 2047));
                b[uniform(32, 63)] = static_cast<int16_t>(uniform(-2047, 2047));
                break;
            default:  // large but mostly in range: around the 16-bit saturation of row results
                for (int i = 0; i < 16; ++i) b[i] = static_cast<int16_t>(uniform(-700, 700));
                break;
        }
    }
};

// The samples of the 128-bit bodies for every kind of block, at aligned and
// unaligned addresses, and the generic samples wherever the row results fit in
// 16 bits.
TEST(VariantWideTransform, GivesTheBytesOfThe128BitBodiesForEveryBlock) {
    if (!wide_usable()) GTEST_SKIP() << "no 256-bit integer instructions on this processor or system";
    Kinds kinds;
    int compared_with_generic = 0, saturating = 0;
    for (int n = 0; n < 60000; ++n) {
        int16_t in[64];
        kinds.make(n, in);
        int16_t wide[64], narrow[64], baseline[64], generic[64];
        run_guarded(&x86::idct_direct_8x8_avx2, in, n % 3, wide);
        if (HasFatalFailure()) return;
        run_guarded(&x86::idct_direct_8x8_sse2, in, 0, baseline);
        std::memcpy(narrow, in, sizeof narrow);
        if (__builtin_cpu_supports("sse4.1")) {
            x86::idct_direct_8x8_sse41(narrow);
        } else {
            std::memcpy(narrow, baseline, sizeof narrow);
        }
        ASSERT_EQ(std::memcmp(wide, narrow, sizeof wide), 0) << "block " << n << " kind " << n % 9;
        ASSERT_EQ(std::memcmp(wide, baseline, sizeof wide), 0) << "block " << n << " kind " << n % 9;
        for (int i = 0; i < 64; ++i) ASSERT_TRUE(wide[i] >= 0 && wide[i] <= 255) << n;
        // The generic routine saturates its row results the same way, so its
        // samples are the same on both sides of the saturation point.
        std::memcpy(generic, in, sizeof generic);
        idct_direct_8x8(generic);
        ASSERT_EQ(std::memcmp(wide, generic, sizeof wide), 0) << "block " << n << " kind " << n % 9;
        if (largest_row_result(in) < 32000.0)
            ++compared_with_generic;
        else
            ++saturating;
    }
    // Both sides of the saturation point were reached.
    EXPECT_GT(compared_with_generic, 20000);
    EXPECT_GT(saturating, 10000);
}

// Every DC value takes the DC-only path and gives the generic samples. Beyond
// 4095 the row result 8 x DC saturates and the block is black or white by the
// sign of DC, in every body. One more coefficient anywhere, however small, must
// leave that path.
TEST(VariantWideTransform, DcOnlyBlocksAndTheirNeighbours) {
    if (!wide_usable()) GTEST_SKIP() << "no 256-bit integer instructions on this processor or system";
    for (int dc = -32768; dc <= 32767; ++dc) {
        int16_t a[64] = {static_cast<int16_t>(dc)}, b[64] = {static_cast<int16_t>(dc)};
        int16_t c[64] = {static_cast<int16_t>(dc)};
        x86::idct_direct_8x8_sse2(a);
        x86::idct_direct_8x8_avx2(b);
        ASSERT_EQ(std::memcmp(a, b, sizeof a), 0) << dc;
        idct_direct_8x8(c);
        ASSERT_EQ(std::memcmp(c, b, sizeof c), 0) << dc;
        if (dc < -4095 || dc > 4095) {
            for (int i = 0; i < 64; ++i) ASSERT_EQ(b[i], dc > 0 ? 255 : 0) << dc;
        }
    }
    for (int position = 1; position < 64; ++position) {
        for (int value : {1, -1, 37, -500}) {
            for (int dc : {0, 100, -1024}) {
                int16_t a[64] = {static_cast<int16_t>(dc)};
                a[position] = static_cast<int16_t>(value);
                int16_t b[64];
                std::memcpy(b, a, sizeof b);
                idct_direct_8x8(a);
                x86::idct_direct_8x8_avx2(b);
                ASSERT_EQ(std::memcmp(a, b, sizeof a), 0) << "position " << position << " value " << value;
            }
        }
    }
}

#endif  // VANTOREL_X86_BODIES

}  // namespace
}  // namespace vantorel

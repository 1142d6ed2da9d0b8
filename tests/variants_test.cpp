// Processor-specific stage bodies against the generic routines: the transforms
// and dequantisation on many blocks, the output kernels against a scalar model
// of their truncated colour terms, the fill's checks of the processor, and whole
// decodes with every variant index against index 0.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "codec/codec.h"
#include "codec/decoder/decoder.h"
#include "codec/decoder/x86/x86_stages.h"
#include "support/reference_jpeg.h"
#include "support/reference_vantorel.h"

namespace vantorel {
namespace {

using test::RawImage;

constexpr uint32_t kSse2 = 1u << 26;

bool processor_has_sse2() {
    STAGE_TABLE table{};
    select_processor_variant(&table);  // describes the processor
    release_modules(&table);
    return (g_processor.feature_flags & kSse2) != 0;
}

// ---------------------------------------------------------------------------
// The fill
// ---------------------------------------------------------------------------

TEST(VariantFill, BodiesOnlyWhereTheProcessorHasTheirInstructions) {
    const bool sse2 = processor_has_sse2();
    STAGE_TABLE generic{};
    fill_stage_table(&generic, 0);
    for (int32_t index = 0; index <= 7; ++index) {
        STAGE_TABLE t{};
        fill_stage_table(&t, index);
        const bool variant = index >= 3 && index <= 6;
        // Words no variant body replaces are always the generic routines.
        EXPECT_EQ(t.finish_request, generic.finish_request);
        // Every variant fill has the wide block decoders, whatever the processor.
        EXPECT_EQ(t.decode_block, variant ? &decode_block_wide : &decode_block) << index;
        EXPECT_EQ(t.decode_block_dc_only, variant ? &decode_block_dc_only_wide : &decode_block_dc_only) << index;
        EXPECT_EQ(t.idct_direct_4x4, generic.idct_direct_4x4);
        EXPECT_EQ(t.dequantize_scaled, generic.dequantize_scaled);
        EXPECT_EQ(t.output_kernel_51, generic.output_kernel_51);
        EXPECT_EQ(t.output_kernel_59, generic.output_kernel_59);
        EXPECT_EQ(t.active_dequantize, t.dequantize_scaled);
        EXPECT_EQ(t.active_idct_8x8, nullptr);
#if VANTOREL_X86_BODIES
        const bool bodies = variant && sse2;
        const bool multiply = __builtin_cpu_supports("sse4.1");
        // The run-time library's own check, which also asks whether the system
        // saves the 256-bit registers.
        const bool wide = __builtin_cpu_supports("avx2");
        EXPECT_EQ(t.idct_direct_8x8 == &x86::idct_direct_8x8_sse2, bodies && !multiply && !wide) << index;
        EXPECT_EQ(t.idct_direct_8x8 == &x86::idct_direct_8x8_sse41, bodies && multiply && !wide) << index;
        EXPECT_EQ(t.idct_direct_8x8 == &x86::idct_direct_8x8_avx2, bodies && wide) << index;
        EXPECT_EQ(t.dequantize_direct == &x86::dequantize_direct_sse2, bodies && !multiply) << index;
        EXPECT_EQ(t.dequantize_direct == &x86::dequantize_direct_sse41, bodies && multiply && !wide) << index;
        EXPECT_EQ(t.dequantize_direct == &x86::dequantize_direct_avx2, bodies && wide) << index;
        const bool shuffle = __builtin_cpu_supports("ssse3");
        EXPECT_EQ(t.output_kernel_47 == &x86::convert_ycc420_bgr_sse2, bodies && !shuffle) << index;
        EXPECT_EQ(t.output_kernel_47 == &x86::convert_ycc420_bgr_ssse3, bodies && shuffle && !wide) << index;
        EXPECT_EQ(t.output_kernel_47 == &x86::convert_ycc420_bgr_avx2, bodies && shuffle && wide) << index;
        EXPECT_EQ(t.output_kernel_50 == &x86::convert_ycc420_quad_sse2, bodies && !wide) << index;
        EXPECT_EQ(t.output_kernel_50 == &x86::convert_ycc420_quad_avx2, bodies && wide) << index;
        EXPECT_EQ(t.output_kernel_41 == &x86::copy_gray_sse2, bodies) << index;
        EXPECT_EQ(t.idct_scaled_8x8 == &x86::idct_scaled_8x8_ssse3, bodies && shuffle) << index;
        // The triangle-filter writer goes with the fill: packed only for a
        // variant fill on a processor with the byte shuffle.
        const SMOOTHED_WRITER writer = smoothed_writer_for(&t);
        EXPECT_EQ(writer == SMOOTHED_GENERIC, !(bodies && shuffle)) << index;
        EXPECT_EQ(writer == SMOOTHED_128, bodies && shuffle && !wide) << index;
        EXPECT_EQ(writer == SMOOTHED_256, bodies && shuffle && wide) << index;
#else
        (void)variant;
        (void)sse2;
        EXPECT_EQ(t.idct_direct_8x8, generic.idct_direct_8x8);
#endif
    }
    // A variant index forced on a processor without the 128-bit instructions
    // keeps the generic routines, apart from the block decoders, which need none.
    const PROCESSOR_DESCRIPTION saved = g_processor;
    g_processor.feature_flags &= ~kSse2;
    STAGE_TABLE forced{};
    fill_stage_table(&forced, 6);
    g_processor = saved;
    EXPECT_EQ(forced.decode_block, &decode_block_wide);
    EXPECT_EQ(forced.decode_block_dc_only, &decode_block_dc_only_wide);
    g_processor.feature_flags &= ~kSse2;
    EXPECT_EQ(smoothed_writer_for(&forced), SMOOTHED_GENERIC);
    g_processor = saved;
    forced.decode_block = generic.decode_block;
    forced.decode_block_dc_only = generic.decode_block_dc_only;
    EXPECT_EQ(std::memcmp(&forced, &generic, sizeof forced), 0);
}

#if VANTOREL_X86_BODIES

// ---------------------------------------------------------------------------
// Transforms and dequantisation
// ---------------------------------------------------------------------------

// Coefficients as an encoder makes them: a random picture block (smooth ramp plus
// noise), its exact forward DCT, quantised with steps of a typical range and
// multiplied back.
void realistic_block(std::mt19937& rng, int16_t out[64]) {
    std::uniform_real_distribution<double> unit(0.0, 1.0);
    const double base = unit(rng) * 255.0;
    const double gx = (unit(rng) - 0.5) * 40.0, gy = (unit(rng) - 0.5) * 40.0;
    const double noise = unit(rng) < 0.3 ? 120.0 : 20.0;
    double pixels[64];
    for (int i = 0; i < 64; ++i) {
        double v = base + gx * (i % 8 - 3.5) + gy * (i / 8 - 3.5) + (unit(rng) - 0.5) * noise;
        pixels[i] = std::fmin(255.0, std::fmax(0.0, v)) - 128.0;
    }
    const int step_range = 1 + static_cast<int>(unit(rng) * 40.0);
    for (int v = 0; v < 8; ++v) {
        for (int u = 0; u < 8; ++u) {
            double sum = 0.0;
            for (int y = 0; y < 8; ++y)
                for (int x = 0; x < 8; ++x)
                    sum += pixels[y * 8 + x] * std::cos((2 * x + 1) * u * M_PI / 16) *
                           std::cos((2 * y + 1) * v * M_PI / 16);
            const double cu = u == 0 ? std::sqrt(0.5) : 1.0, cv = v == 0 ? std::sqrt(0.5) : 1.0;
            const double coefficient = 0.25 * cu * cv * sum;
            const int step = 1 + (step_range * (u + v + 1)) / 8;
            out[v * 8 + u] = static_cast<int16_t>(std::lround(coefficient / step) * step);
        }
    }
}

// Block n of a test run: every fourth one sparse (a few coefficients of any
// size a picture can give), the others realistic.
void picture_block(std::mt19937& rng, int n, int16_t out[64]) {
    if (n % 4 != 3) {
        realistic_block(rng, out);
        return;
    }
    std::memset(out, 0, 64 * sizeof(int16_t));
    std::uniform_int_distribution<int> pos(0, 63), value(-1023, 1023), count(1, 6);
    for (int k = count(rng); k > 0; --k) out[pos(rng)] = static_cast<int16_t>(value(rng));
}

// The packed 8x8 bodies this processor can run.
std::vector<IdctRoutine> packed_transforms() {
    std::vector<IdctRoutine> out{&x86::idct_direct_8x8_sse2};
    if (__builtin_cpu_supports("sse4.1")) out.push_back(&x86::idct_direct_8x8_sse41);
    if (__builtin_cpu_supports("avx2")) out.push_back(&x86::idct_direct_8x8_avx2);
    return out;
}

TEST(VariantTransforms, DirectEightByEightWithinOneLevelOfTheGenericOne) {
    std::mt19937 rng(1234);
    int differing = 0;
    for (int n = 0; n < 20000; ++n) {
        int16_t a[64];
        picture_block(rng, n, a);
        int16_t original[64];
        std::memcpy(original, a, sizeof a);
        idct_direct_8x8(a);
        for (IdctRoutine body : packed_transforms()) {
            int16_t b[64];
            std::memcpy(b, original, sizeof b);
            body(b);
            for (int i = 0; i < 64; ++i) {
                ASSERT_LE(std::abs(a[i] - b[i]), 1) << "block " << n << " sample " << i;
                differing += a[i] != b[i];
            }
        }
    }
    // The packed form keeps the generic precision; it may round differently only
    // when a row result leaves 16 bits, which these blocks never do.
    EXPECT_EQ(differing, 0);
}

// The scaled family: coefficients of picture blocks through the family's own
// table preparation (steps of 1, so the block's values are the coefficients)
// and dequantisation, then the generic transform and the packed one. The packed
// one keeps every sum in 16 bits, which picture blocks never leave, so it gives
// the generic samples; any sample may differ by at most one level.
TEST(VariantTransforms, ScaledEightByEightMatchesTheGenericOneOnPictureBlocks) {
    if (!__builtin_cpu_supports("ssse3")) GTEST_SKIP() << "no byte shuffle here";
    QUANT_TABLE table{};
    table.quant_values = table.storage;
    for (int k = 0; k < 64; ++k) table.storage[k] = 1;
    prepare_quant_scaled(&table);
    std::mt19937 rng(4321);
    int differing = 0;
    for (int n = 0; n < 20000; ++n) {
        int16_t a[64];
        picture_block(rng, n, a);
        dequantize_scaled(a, table.quant_values);
        int16_t b[64];
        std::memcpy(b, a, sizeof a);
        idct_scaled_8x8(a);
        x86::idct_scaled_8x8_ssse3(b);
        for (int i = 0; i < 64; ++i) {
            ASSERT_LE(std::abs(a[i] - b[i]), 1) << "block " << n << " sample " << i;
            differing += a[i] != b[i];
        }
    }
    EXPECT_EQ(differing, 0);
    // Blocks of a DC value alone take a short path: every 16-bit DC.
    for (int dc = -32768; dc <= 32767; ++dc) {
        int16_t a[64] = {static_cast<int16_t>(dc)};
        int16_t b[64] = {static_cast<int16_t>(dc)};
        idct_scaled_8x8(a);
        x86::idct_scaled_8x8_ssse3(b);
        ASSERT_EQ(std::memcmp(a, b, sizeof a), 0) << dc;
    }
    // Extreme coefficients saturate instead of carrying 32 bits: the samples may
    // then differ, but are still samples.
    std::uniform_int_distribution<int> any(-32768, 32767);
    for (int n = 0; n < 2000; ++n) {
        int16_t b[64];
        for (int16_t& v : b) v = static_cast<int16_t>(any(rng));
        x86::idct_scaled_8x8_ssse3(b);
        for (int16_t v : b) ASSERT_TRUE(v >= 0 && v <= 255);
    }
}

// The short paths for sparse blocks: DC only, and coefficients in rows 0-3 only.
TEST(VariantTransforms, DirectEightByEightSparseBlocksAreExact) {
    for (int dc = -4096; dc <= 4095; ++dc) {
        int16_t a[64] = {static_cast<int16_t>(dc)};
        idct_direct_8x8(a);
        for (IdctRoutine body : packed_transforms()) {
            int16_t b[64] = {static_cast<int16_t>(dc)};
            body(b);
            ASSERT_EQ(std::memcmp(a, b, sizeof a), 0) << dc;
        }
    }
    std::mt19937 rng(77);
    std::uniform_int_distribution<int> value(-600, 600), pos(0, 31), count(1, 8);
    for (int n = 0; n < 5000; ++n) {
        int16_t a[64] = {};
        for (int k = count(rng); k > 0; --k) a[pos(rng)] = static_cast<int16_t>(value(rng));
        if (n % 3 == 0) a[0] = 0;
        if (n % 5 == 0) a[8 * (4 + n % 4) + n % 8] = static_cast<int16_t>(value(rng));  // one high row
        int16_t original[64];
        std::memcpy(original, a, sizeof a);
        idct_direct_8x8(a);
        for (IdctRoutine body : packed_transforms()) {
            int16_t b[64];
            std::memcpy(b, original, sizeof b);
            body(b);
            ASSERT_EQ(std::memcmp(a, b, sizeof a), 0) << n;
        }
    }
}

TEST(VariantTransforms, DirectEightByEightKeepsHostileBlocksInRange) {
    std::mt19937 rng(99);
    std::uniform_int_distribution<int> any(-32768, 32767);
    for (int n = 0; n < 2000; ++n) {
        int16_t original[64];
        for (auto& c : original) c = static_cast<int16_t>(any(rng));
        int16_t first[64];
        std::memcpy(first, original, sizeof first);
        x86::idct_direct_8x8_sse2(first);
        for (int i = 0; i < 64; ++i) ASSERT_TRUE(first[i] >= 0 && first[i] <= 255);
        // Every packed body saturates the same way.
        for (IdctRoutine body : packed_transforms()) {
            int16_t b[64];
            std::memcpy(b, original, sizeof b);
            body(b);
            ASSERT_EQ(std::memcmp(first, b, sizeof b), 0) << n;
        }
    }
    for (IdctRoutine body : packed_transforms()) {
        int16_t dc[64] = {64};
        body(dc);
        for (int i = 0; i < 64; ++i) EXPECT_EQ(dc[i], 136);
    }
}

TEST(VariantTransforms, DequantisationIsIdentical) {
    std::mt19937 rng(7);
    std::uniform_int_distribution<int> coefficient(-32768, 32767);
    std::uniform_int_distribution<int> small(1, 255);
    std::uniform_int_distribution<int32_t> wide(-2000000, 2000000);
    for (int n = 0; n < 5000; ++n) {
        int16_t a[64], b[64];
        alignas(32) QUANT_VALUE steps[80] = {};
        for (int i = 0; i < 64; ++i) {
            a[i] = b[i] = static_cast<int16_t>(coefficient(rng));
            steps[i] = n % 2 ? small(rng) : wide(rng);
        }
        int16_t c[64], d[64];
        std::memcpy(c, b, sizeof c);
        std::memcpy(d, b, sizeof d);
        dequantize_direct(a, steps);
        x86::dequantize_direct_sse2(b, steps);
        ASSERT_EQ(std::memcmp(a, b, sizeof a), 0) << n;
        if (__builtin_cpu_supports("sse4.1")) {
            x86::dequantize_direct_sse41(c, steps);
            ASSERT_EQ(std::memcmp(a, c, sizeof a), 0) << n;
        }
        if (__builtin_cpu_supports("avx2")) {
            // Sixteen steps per register: a mix-up of the packed order shows here.
            x86::dequantize_direct_avx2(d, steps);
            ASSERT_EQ(std::memcmp(a, d, sizeof a), 0) << n;
        }
    }
}

// ---------------------------------------------------------------------------
// Output kernels
// ---------------------------------------------------------------------------

uint8_t clamp_byte(int v) { return static_cast<uint8_t>(v < 0 ? 0 : v > 255 ? 255 : v); }

enum class Order { kRGB, kBGR, kQuad };
enum class Layout { k444, k422, k420 };

struct KernelCase {
    const char* name;
    Layout layout;
    Order order;
    Kernel3 body;
};

// The bytes of pixel (px, py) of an MCU, from the colour formulas written out.
void model_pixel(Layout layout, Order order, const int16_t* y, const int16_t* cb, const int16_t* cr, int px,
                 int py, uint8_t* out) {
    int luma, chroma;
    switch (layout) {
    case Layout::k444:
        luma = py * 8 + px;
        chroma = luma;
        break;
    case Layout::k422:
        luma = (px / 8) * 64 + py * 8 + px % 8;
        chroma = py * 8 + px / 2;
        break;
    default:
        luma = ((py / 8) * 2 + px / 8) * 64 + (py % 8) * 8 + px % 8;
        chroma = (py / 2) * 8 + px / 2;
        break;
    }
    const int red = (359 * cr[chroma] - 45813) >> 8;
    const int blue = (454 * cb[chroma] - 57937) >> 8;
    const int green = (88 * cb[chroma] + 183 * cr[chroma] - 34806) >> 8;
    const uint8_t r = clamp_byte(y[luma] + red), g = clamp_byte(y[luma] - green), b = clamp_byte(y[luma] + blue);
    if (order == Order::kBGR) {
        out[0] = b, out[1] = g, out[2] = r;
    } else {
        out[0] = r, out[1] = g, out[2] = b;
        if (order == Order::kQuad) out[3] = 255;
    }
}

TEST(VariantKernels, MatchTheColourFormulasAndWriteOnlyTheirPixels) {
    const KernelCase cases[] = {
        {"444 rgb", Layout::k444, Order::kRGB, &x86::convert_ycc444_rgb_sse2},
        {"444 bgr", Layout::k444, Order::kBGR, &x86::convert_ycc444_bgr_sse2},
        {"444 quad", Layout::k444, Order::kQuad, &x86::convert_ycc444_quad_sse2},
        {"422 rgb", Layout::k422, Order::kRGB, &x86::convert_ycc422_rgb_sse2},
        {"422 bgr", Layout::k422, Order::kBGR, &x86::convert_ycc422_bgr_sse2},
        {"422 quad", Layout::k422, Order::kQuad, &x86::convert_ycc422_quad_sse2},
        {"420 rgb", Layout::k420, Order::kRGB, &x86::convert_ycc420_rgb_sse2},
        {"420 bgr", Layout::k420, Order::kBGR, &x86::convert_ycc420_bgr_sse2},
        {"420 quad", Layout::k420, Order::kQuad, &x86::convert_ycc420_quad_sse2},
    };
    std::vector<KernelCase> all(std::begin(cases), std::end(cases));
    if (__builtin_cpu_supports("ssse3")) {
        all.push_back({"444 rgb shuffle", Layout::k444, Order::kRGB, &x86::convert_ycc444_rgb_ssse3});
        all.push_back({"444 bgr shuffle", Layout::k444, Order::kBGR, &x86::convert_ycc444_bgr_ssse3});
        all.push_back({"422 rgb shuffle", Layout::k422, Order::kRGB, &x86::convert_ycc422_rgb_ssse3});
        all.push_back({"422 bgr shuffle", Layout::k422, Order::kBGR, &x86::convert_ycc422_bgr_ssse3});
        all.push_back({"420 rgb shuffle", Layout::k420, Order::kRGB, &x86::convert_ycc420_rgb_ssse3});
        all.push_back({"420 bgr shuffle", Layout::k420, Order::kBGR, &x86::convert_ycc420_bgr_ssse3});
    }
    std::mt19937 rng(5);
    std::uniform_int_distribution<int> sample(0, 255);
    for (const KernelCase& c : all) {
        const int w = c.layout == Layout::k444 ? 8 : 16;
        const int h = c.layout == Layout::k420 ? 16 : 8;
        const int luma_blocks = w * h / 64;
        const int bpp = c.order == Order::kQuad ? 4 : 3;
        const int row_bytes = w * bpp;
        const intptr_t stride = row_bytes + 13;  // a gap the kernel must leave alone
        // Every (Cb, Cr) pair, 64 per MCU, with random luma: the red and blue
        // terms are rounded through 16-bit products, which must floor like the
        // formulas for every sample value.
        for (int first = 0; first < 65536; first += 64) {
            int16_t y[4 * 64], cb[64], cr[64];
            for (int i = 0; i < luma_blocks * 64; ++i) y[i] = static_cast<int16_t>(sample(rng));
            for (int i = 0; i < 64; ++i) {
                cb[i] = static_cast<int16_t>((first + i) & 255);
                cr[i] = static_cast<int16_t>((first + i) >> 8);
            }
            std::vector<uint8_t> dib(static_cast<size_t>(stride) * (h + 2), 0xA5);
            uint8_t* origin = dib.data() + stride;
            c.body(y, cb, cr, origin, stride);
            for (size_t i = 0; i < dib.size(); ++i) {
                const intptr_t offset = static_cast<intptr_t>(i) - stride;
                const bool inside = offset >= 0 && offset / stride < h && offset % stride < row_bytes;
                if (!inside) {
                    ASSERT_EQ(dib[i], 0xA5) << c.name << ": byte outside the MCU at " << offset;
                    continue;
                }
                const int py = static_cast<int>(offset / stride);
                const int px = static_cast<int>((offset % stride) / bpp);
                uint8_t expect[4];
                model_pixel(c.layout, c.order, y, cb, cr, px, py, expect);
                ASSERT_EQ(dib[i], expect[(offset % stride) % bpp])
                    << c.name << " pixel " << px << "," << py << " cb " << cb[0] << " first " << first;
            }
        }
    }
}

// A cut MCU is written by the generic per-pixel store, so a kernel that gave
// other bytes would make a region differ from the crop of the whole picture.
TEST(VariantKernels, GiveTheGenericKernelsBytes) {
    struct Pair {
        Kernel3 generic, body;
    };
    const Pair pairs[] = {
        {&kernel_convert_ycc444_rgb, &x86::convert_ycc444_rgb_sse2},
        {&kernel_convert_ycc444_bgr, &x86::convert_ycc444_bgr_sse2},
        {&kernel_convert_ycc444_quad, &x86::convert_ycc444_quad_sse2},
        {&kernel_convert_ycc422_rgb, &x86::convert_ycc422_rgb_sse2},
        {&kernel_convert_ycc422_bgr, &x86::convert_ycc422_bgr_sse2},
        {&kernel_convert_ycc422_quad, &x86::convert_ycc422_quad_sse2},
        {&kernel_convert_ycc420_rgb, &x86::convert_ycc420_rgb_sse2},
        {&kernel_convert_ycc420_bgr, &x86::convert_ycc420_bgr_sse2},
        {&kernel_convert_ycc420_quad, &x86::convert_ycc420_quad_sse2},
    };
    std::vector<Pair> all(std::begin(pairs), std::end(pairs));
    if (__builtin_cpu_supports("ssse3")) {
        all.push_back({&kernel_convert_ycc444_rgb, &x86::convert_ycc444_rgb_ssse3});
        all.push_back({&kernel_convert_ycc444_bgr, &x86::convert_ycc444_bgr_ssse3});
        all.push_back({&kernel_convert_ycc422_rgb, &x86::convert_ycc422_rgb_ssse3});
        all.push_back({&kernel_convert_ycc422_bgr, &x86::convert_ycc422_bgr_ssse3});
        all.push_back({&kernel_convert_ycc420_rgb, &x86::convert_ycc420_rgb_ssse3});
        all.push_back({&kernel_convert_ycc420_bgr, &x86::convert_ycc420_bgr_ssse3});
    }
    std::mt19937 rng(11);
    std::uniform_int_distribution<int> sample(0, 255);
    for (const Pair& p : all) {
        for (int n = 0; n < 300; ++n) {
            int16_t y[256], cb[64], cr[64];
            for (auto& v : y) v = static_cast<int16_t>(sample(rng));
            for (int i = 0; i < 64; ++i) {
                cb[i] = static_cast<int16_t>(sample(rng));
                cr[i] = static_cast<int16_t>(sample(rng));
            }
            uint8_t a[16 * 64], b[16 * 64];
            std::memset(a, 0x33, sizeof a);
            std::memset(b, 0x33, sizeof b);
            p.generic(y, cb, cr, a, 64);
            p.body(y, cb, cr, b, 64);
            ASSERT_EQ(std::memcmp(a, b, sizeof a), 0) << n;
        }
    }
}

TEST(VariantKernels, GrayCopyIsIdentical) {
    std::mt19937 rng(3);
    std::uniform_int_distribution<int> any(-400, 700);
    for (int n = 0; n < 500; ++n) {
        int16_t s[64];
        for (auto& v : s) v = static_cast<int16_t>(any(rng));
        uint8_t a[8 * 11], b[8 * 11];
        std::memset(a, 0x5A, sizeof a);
        std::memset(b, 0x5A, sizeof b);
        kernel_copy_gray(s, a, 11);
        x86::copy_gray_sse2(s, b, 11);
        ASSERT_EQ(std::memcmp(a, b, sizeof a), 0);
    }
}

// Grey into three-byte pixels: each sample's low byte three times, and nothing
// written past the 24 bytes of a row.
TEST(VariantKernels, GreySpreadRepeatsEachLowByteThreeTimes) {
    std::vector<std::pair<const char*, GrayKernel>> kernels = {{"generic", &kernel_spread_gray}};
    if (__builtin_cpu_supports("ssse3")) kernels.push_back({"shuffle", &x86::spread_gray_ssse3});
    std::mt19937 rng(8);
    std::uniform_int_distribution<int> any(-32768, 32767);
    constexpr int kStride = 29;
    for (const auto& [name, kernel] : kernels) {
        for (int n = 0; n < 300; ++n) {
            int16_t s[64];
            for (auto& v : s) v = static_cast<int16_t>(n % 2 == 0 ? any(rng) & 255 : any(rng));
            uint8_t dib[8 * kStride];
            std::memset(dib, 0x5A, sizeof dib);
            kernel(s, dib, kStride);
            for (int i = 0; i < 8 * kStride; ++i) {
                const int y = i / kStride, x = i % kStride;
                const uint8_t expect = x < 24 ? static_cast<uint8_t>(s[8 * y + x / 3]) : 0x5A;
                ASSERT_EQ(dib[i], expect) << name << " row " << y << " byte " << x;
            }
        }
    }
}

#endif  // VANTOREL_X86_BODIES

// ---------------------------------------------------------------------------
// Whole decodes with every variant index
// ---------------------------------------------------------------------------

class EveryIndex : public ::testing::Test {
protected:
    void SetUp() override {
        const char* old = std::getenv("VANTOREL_USECPU");
        had_ = old != nullptr;
        if (had_) saved_ = old;
    }
    void TearDown() override {
        if (had_)
            setenv("VANTOREL_USECPU", saved_.c_str(), 1);
        else
            unsetenv("VANTOREL_USECPU");
    }
    bool had_ = false;
    std::string saved_;
};

struct Request {
    const char* name;
    test::OurDecodeOptions options;
};

std::vector<Request> requests() {
    std::vector<Request> out;
    test::OurDecodeOptions o;
    out.push_back({"full", o});
    o.dib_color = CS_BGR;
    out.push_back({"full bgr", o});
    o.dib_color = 0;
    o.smooth = true;
    out.push_back({"smoothing", o});
    o.smooth = false;
    o.scale = 2;
    out.push_back({"half", o});
    o.scale = 8;
    out.push_back({"eighth", o});
    o.scale = 1;
    o.has_roi = true;
    o.roi[0] = 13, o.roi[1] = 9, o.roi[2] = 150, o.roi[3] = 101;
    out.push_back({"region", o});
    return out;
}

std::vector<std::pair<std::string, std::vector<uint8_t>>> streams() {
    std::vector<std::pair<std::string, std::vector<uint8_t>>> out;
    RawImage photo;
    if (test::load_test_photo(&photo)) {
        // An odd size, so that the edge MCUs go through the partial routines.
        RawImage picture = test::resize_image(photo, 227, 149);
        RawImage grey = test::crop_image(picture, 0, 0, 227, 149, 1);
        struct Kind {
            const char* name;
            int h, v;
            bool grey, progressive;
            int restart;
        };
        const Kind kinds[] = {{"420", 2, 2, false, false, 0},       {"422", 2, 1, false, false, 3},
                              {"444", 1, 1, false, false, 0},       {"grey", 1, 1, true, false, 5},
                              {"progressive 420", 2, 2, false, true, 0}};
        for (const Kind& k : kinds) {
            test::RefEncodeOptions options;
            options.color = k.grey ? test::RefColor::kGray : test::RefColor::kYCbCr;
            test::set_sampling(&options, k.h, k.v);
            options.progressive = k.progressive;
            options.restart_blocks = k.restart;
            std::vector<uint8_t> stream;
            std::string error;
            if (test::ref_encode(k.grey ? grey : picture, options, &stream, &error)) out.emplace_back(k.name, stream);
        }
        // A truncated stream: the variants must stop the same way.
        if (!out.empty()) {
            std::vector<uint8_t> cut(out[0].second.begin(), out[0].second.begin() + out[0].second.size() * 2 / 3);
            out.emplace_back("420 cut", cut);
        }
    }
    for (const char* path : {"/libjpeg-turbo/testorig.jpg", "/libjpeg-turbo/testimgint.jpg",
                             "/jpeg-decoder/reftest/images/restarts.jpg"}) {
        std::vector<uint8_t> bytes = test::read_file_bytes(std::string(VANTOREL_CORPUS_DIR) + path);
        if (!bytes.empty()) out.emplace_back(path, bytes);
    }
    return out;
}

TEST_F(EveryIndex, DecodesMatchTheGenericFill) {
    const auto all = streams();
    if (all.empty()) GTEST_SKIP() << "no corpus photo";
    for (const auto& [name, stream] : all) {
        for (const Request& request : requests()) {
            setenv("VANTOREL_USECPU", "0", 1);
            const test::OurDecodeResult base = test::our_decode(stream, request.options);
            for (int index = 1; index <= 6; ++index) {
                setenv("VANTOREL_USECPU", std::to_string(index).c_str(), 1);
                const test::OurDecodeResult r = test::our_decode(stream, request.options);
                ASSERT_EQ(r.status, base.status) << name << " " << request.name << " index " << index;
                ASSERT_EQ(r.image.pixels.size(), base.image.pixels.size());
                EXPECT_TRUE(r.pad_intact);
                // The bodies give the generic bytes: the transform's packed rows
                // keep its precision for every picture, and the kernels round like
                // the generic ones.
                EXPECT_TRUE(r.image.pixels == base.image.pixels) << name << " " << request.name << " index " << index;
            }
        }
    }
}

}  // namespace
}  // namespace vantorel

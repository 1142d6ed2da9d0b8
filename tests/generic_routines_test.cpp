// The generic per-block and per-MCU routines (index 0 of the stage table) against
// plain one-value-at-a-time models of their arithmetic. The generic routines
// define the decoder's output, and their bodies are written for speed (packed
// loops, short paths for sparse blocks), so every byte is compared with the
// straightforward form here, over realistic, sparse, extreme and hostile inputs.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "codec/decoder/decoder.h"

namespace vantorel {
namespace {

using u32 = uint32_t;

u32 wrap(int32_t v) {
    return static_cast<u32>(v);
}
int32_t sar(u32 v, int n) {
    return static_cast<int32_t>(v) >> n;
}
int16_t level_clamp(int32_t x) {
    return static_cast<int16_t>(x < -128 ? 0 : x >= 128 ? 255 : x + 128);
}

// --- inverse transform model --------------------------------------------------
// One 8-point pass of the direct transform, one output at a time, with the
// products and sums wrapping in 32 bits.
void model_pass(const u32 p[8], u32 out[8]) {
    const u32 f = p[1] * 6393u - p[7] * 32138u;
    const u32 g = p[5] * 27246u - p[3] * 18205u;
    const u32 h = p[7] * 6393u + p[1] * 32138u;
    const u32 l = p[5] * 18205u + p[3] * 27246u;
    const u32 e = wrap(sar(f + g + 2048u, 12)) * 5793u;
    const u32 t = wrap(sar(h + l + 2048u, 12)) * 5793u;
    const u32 a = h + f - l - g;
    const u32 c = h + g - l - f;
    const u32 u = (p[0] + p[4]) << 15;
    const u32 r = (p[0] - p[4]) << 15;
    const u32 w = p[2] * 42813u + p[6] * 17734u;
    const u32 b = p[2] * 17734u - p[6] * 42813u;
    const u32 even[4] = {u + w, r + b, r - b, u - w};
    const u32 odd[4] = {t, a, c, e};
    for (int k = 0; k < 4; ++k) {
        out[k] = even[k] + odd[k];
        out[7 - k] = even[k] - odd[k];
    }
}

void model_idct_8x8(int16_t* block) {
    u32 work[64];
    for (int row = 0; row < 8; ++row) {
        u32 in[8], out[8];
        for (int k = 0; k < 8; ++k) in[k] = wrap(block[8 * row + k]);
        model_pass(in, out);
        // Row results saturate at 16 bits, as in the packed bodies.
        for (int k = 0; k < 8; ++k) {
            const int32_t v = sar(out[k] + 2048u, 12);
            work[8 * row + k] = wrap(v < -32768 ? -32768 : v > 32767 ? 32767 : v);
        }
    }
    for (int col = 0; col < 8; ++col) {
        u32 in[8], out[8];
        for (int k = 0; k < 8; ++k) in[k] = work[8 * k + col];
        model_pass(in, out);
        for (int k = 0; k < 8; ++k) block[8 * k + col] = level_clamp(sar(out[k] + 0x100000u, 21));
    }
}

// Runs the routine and the model on the same block; reports the first difference.
::testing::AssertionResult same_transform(const int16_t (&coefficients)[64]) {
    int16_t got[64], want[64];
    std::memcpy(got, coefficients, sizeof got);
    std::memcpy(want, coefficients, sizeof want);
    idct_direct_8x8(got);
    model_idct_8x8(want);
    for (int i = 0; i < 64; ++i) {
        if (got[i] != want[i]) {
            std::string text;
            for (int k = 0; k < 64; ++k) text += std::to_string(coefficients[k]) + (k % 8 == 7 ? "; " : " ");
            return ::testing::AssertionFailure()
                   << "sample " << i << ": " << got[i] << " instead of " << want[i] << " for " << text;
        }
    }
    return ::testing::AssertionSuccess();
}

TEST(GenericTransform, DcOnlyBlocksMatchTheFullArithmeticForEveryDcValue) {
    for (int dc = -32768; dc <= 32767; ++dc) {
        const int16_t block[64] = {static_cast<int16_t>(dc)};
        ASSERT_TRUE(same_transform(block));
    }
}

TEST(GenericTransform, SparseBlocksInEveryRowAndColumnPattern) {
    std::mt19937 rng(2024);
    std::uniform_int_distribution<int> small(-1200, 1200), any(-32768, 32767), pos(0, 63), count(1, 6);
    for (int n = 0; n < 40000; ++n) {
        int16_t block[64] = {};
        const bool hostile = n % 7 == 0;
        // Each pattern: one row only, one column only, the top-left corner, rows
        // 0-3 only, anywhere.
        const int pattern = n % 5;
        for (int k = count(rng); k > 0; --k) {
            int at = pos(rng);
            if (pattern == 0) at = 8 * (n / 5 % 8) + at % 8;
            if (pattern == 1) at = (n / 5 % 8) + 8 * (at % 8);
            if (pattern == 2) at = 8 * (at % 3) + at / 8 % 3;
            if (pattern == 3) at %= 32;
            block[at] = static_cast<int16_t>(hostile ? any(rng) : small(rng));
        }
        if (n % 3 == 0) block[0] = static_cast<int16_t>(hostile ? any(rng) : small(rng) * 4);
        ASSERT_TRUE(same_transform(block));
    }
}

TEST(GenericTransform, DenseRealisticAndHostileBlocks) {
    std::mt19937 rng(7);
    std::uniform_int_distribution<int> any(-32768, 32767);
    std::uniform_int_distribution<int> magnitude(0, 15);
    for (int n = 0; n < 30000; ++n) {
        int16_t block[64];
        // Coefficient sizes from tiny to the full 16 bits, so that some blocks
        // keep their row results within 16 bits and others wrap anywhere.
        const int bits = magnitude(rng);
        for (int k = 0; k < 64; ++k) {
            const int32_t v = any(rng);
            block[k] = static_cast<int16_t>(bits == 15 ? v : v >> (15 - bits));
        }
        if (n % 10 == 0)
            for (int k = 0; k < 64; ++k) block[k] = static_cast<int16_t>((n / 10 + k) % 3 == 0 ? -32768 : 32767);
        ASSERT_TRUE(same_transform(block));
    }
}

// Coefficients only in the shapes the transform treats apart (the first row,
// the first column, rows 0-3, columns 0-3, the top-left 4x4), with the extreme
// 16-bit values at every position, so that the sums and products wrap.
TEST(GenericTransform, SparseShapesWithExtremeValues) {
    std::mt19937 rng(31);
    const int16_t extremes[] = {-32768, -32767, -16384, -1, 1, 2, 16383, 32766, 32767};
    std::uniform_int_distribution<int> any(-32768, 32767), pick(0, 8), coin(0, 3);
    for (int n = 0; n < 50000; ++n) {
        const int shape = n % 5;
        int16_t block[64] = {};
        for (int at = 0; at < 64; ++at) {
            const int row = at / 8, col = at % 8;
            const bool inside = shape == 0   ? row == 0
                                : shape == 1 ? col == 0
                                : shape == 2 ? row < 4
                                : shape == 3 ? col < 4
                                             : row < 4 && col < 4;
            if (!inside) continue;
            const int choice = coin(rng);
            block[at] = static_cast<int16_t>(choice == 0 ? 0 : choice == 1 ? extremes[pick(rng)] : any(rng));
        }
        if (n % 7 == 0) block[0] = 0;
        ASSERT_TRUE(same_transform(block));
    }
}

// Row results near the 16-bit limits: one large coefficient per row, scaled so
// that the row pass lands on either side of +-32767.
TEST(GenericTransform, RowResultsAroundTheSixteenBitLimit) {
    for (int u = 0; u < 8; ++u) {
        for (int v = 0; v < 8; ++v) {
            for (int value = 1300; value <= 1700; ++value) {
                for (int sign = -1; sign <= 1; sign += 2) {
                    int16_t block[64] = {};
                    block[8 * v + u] = static_cast<int16_t>(sign * value);
                    block[8 * ((v + 1) % 8) + (u + 3) % 8] = static_cast<int16_t>(sign * 37);
                    ASSERT_TRUE(same_transform(block));
                }
            }
        }
    }
}

// --- dequantisation ------------------------------------------------------------
TEST(GenericDequantize, DirectProductsKeepTheirLowSixteenBitsForAnyStep) {
    std::mt19937 rng(11);
    std::uniform_int_distribution<int> any16(-32768, 32767);
    std::uniform_int_distribution<int32_t> any32(INT32_MIN, INT32_MAX), step(1, 255);
    for (int n = 0; n < 2000; ++n) {
        int16_t block[64];
        QUANT_VALUE values[64];
        for (int k = 0; k < 64; ++k) {
            block[k] = static_cast<int16_t>(n % 2 ? any16(rng) : any16(rng) >> 6);
            values[k] = n % 3 == 0 ? any32(rng) : step(rng);
        }
        int16_t want[64];
        for (int k = 0; k < 64; ++k) want[k] = static_cast<int16_t>(wrap(block[k]) * static_cast<u32>(values[k]));
        dequantize_direct(block, values);
        ASSERT_EQ(std::memcmp(block, want, sizeof want), 0) << n;
    }
}

// --- output kernels -----------------------------------------------------------
// Pixel (x, y) of an MCU from the per-pixel arithmetic: the luma block and
// sample it falls in, the chroma sample covering it, the colour terms.
enum class Pixel { kRgb, kBgr, kQuad, kYcca, kCopy3, kCopyQuad, kCopy4, kPack };

struct KernelCase {
    const char* name;
    Kernel3 three;
    Kernel4 four;
    int width, height;  // 8x8, 16x8 or 16x16
    Pixel pixel;
    int bytes;
};

uint8_t clamp_byte(int32_t v) {
    return static_cast<uint8_t>(v < 0 ? 0 : v > 255 ? 255 : v);
}

void expected_pixel(const KernelCase& k, const int16_t* y, const int16_t* cb, const int16_t* cr, const int16_t* c3,
                    int x, int row, uint8_t* out) {
    const int block = (row / 8) * (k.width / 8) + x / 8;
    const int at = block * 64 + (row % 8) * 8 + x % 8;
    const int chroma = (row * 8 / k.height) * 8 + x * 8 / k.width;
    const int32_t lum = y[at], b_ = cb[chroma], r_ = cr[chroma];
    const uint8_t r = clamp_byte(lum + ((359 * r_ - 45813) >> 8));
    const uint8_t g = clamp_byte(lum - ((88 * b_ + 183 * r_ - 34806) >> 8));
    const uint8_t b = clamp_byte(lum + ((454 * b_ - 57937) >> 8));
    const uint8_t fourth = c3 != nullptr ? static_cast<uint8_t>(c3[at]) : 0;
    const uint8_t l = static_cast<uint8_t>(lum), cbl = static_cast<uint8_t>(b_), crl = static_cast<uint8_t>(r_);
    switch (k.pixel) {
        case Pixel::kRgb:
            out[0] = r, out[1] = g, out[2] = b;
            break;
        case Pixel::kBgr:
            out[0] = b, out[1] = g, out[2] = r;
            break;
        case Pixel::kQuad:
            out[0] = r, out[1] = g, out[2] = b, out[3] = 255;
            break;
        case Pixel::kYcca:
            out[0] = static_cast<uint8_t>(255 - r), out[1] = static_cast<uint8_t>(255 - g);
            out[2] = static_cast<uint8_t>(255 - b), out[3] = fourth;
            break;
        case Pixel::kCopy3:
            out[0] = l, out[1] = cbl, out[2] = crl;
            break;
        case Pixel::kCopyQuad:
            out[0] = l, out[1] = cbl, out[2] = crl, out[3] = 255;
            break;
        case Pixel::kCopy4:
            out[0] = l, out[1] = cbl, out[2] = crl, out[3] = fourth;
            break;
        case Pixel::kPack:
            out[0] = l, out[1] = x % 2 == 0 ? cbl : crl;
            break;
    }
}

const KernelCase kKernels[] = {
    {"convert_ycc444_rgb", kernel_convert_ycc444_rgb, nullptr, 8, 8, Pixel::kRgb, 3},
    {"convert_ycc422_rgb", kernel_convert_ycc422_rgb, nullptr, 16, 8, Pixel::kRgb, 3},
    {"convert_ycc420_rgb", kernel_convert_ycc420_rgb, nullptr, 16, 16, Pixel::kRgb, 3},
    {"convert_ycc444_bgr", kernel_convert_ycc444_bgr, nullptr, 8, 8, Pixel::kBgr, 3},
    {"convert_ycc422_bgr", kernel_convert_ycc422_bgr, nullptr, 16, 8, Pixel::kBgr, 3},
    {"convert_ycc420_bgr", kernel_convert_ycc420_bgr, nullptr, 16, 16, Pixel::kBgr, 3},
    {"convert_ycc444_quad", kernel_convert_ycc444_quad, nullptr, 8, 8, Pixel::kQuad, 4},
    {"convert_ycc422_quad", kernel_convert_ycc422_quad, nullptr, 16, 8, Pixel::kQuad, 4},
    {"convert_ycc420_quad", kernel_convert_ycc420_quad, nullptr, 16, 16, Pixel::kQuad, 4},
    {"copy_444", kernel_copy_444, nullptr, 8, 8, Pixel::kCopy3, 3},
    {"copy_422", kernel_copy_422, nullptr, 16, 8, Pixel::kCopy3, 3},
    {"copy_420", kernel_copy_420, nullptr, 16, 16, Pixel::kCopy3, 3},
    {"copy_444_quad", kernel_copy_444_quad, nullptr, 8, 8, Pixel::kCopyQuad, 4},
    {"pack_ycc422", kernel_pack_ycc422, nullptr, 16, 8, Pixel::kPack, 2},
    {"convert_ycca444_quad", nullptr, kernel_convert_ycca444_quad, 8, 8, Pixel::kYcca, 4},
    {"convert_ycca422_quad", nullptr, kernel_convert_ycca422_quad, 16, 8, Pixel::kYcca, 4},
    {"convert_ycca420_quad", nullptr, kernel_convert_ycca420_quad, 16, 16, Pixel::kYcca, 4},
    {"copy_4444_quad", nullptr, kernel_copy_4444_quad, 8, 8, Pixel::kCopy4, 4},
};

constexpr uint8_t kGuard = 0xA5;
constexpr int kMargin = 32;  // guard bytes around and between the MCU rows

// Runs one kernel into a guarded buffer and compares every byte with the model;
// bytes outside the MCU's pixels must keep the guard value.
::testing::AssertionResult kernel_matches(const KernelCase& k, const int16_t* y, const int16_t* cb, const int16_t* cr,
                                          const int16_t* c3) {
    const int row_bytes = k.width * k.bytes;
    const intptr_t stride = row_bytes + kMargin;
    std::vector<uint8_t> buffer(static_cast<size_t>(kMargin + stride * k.height + kMargin), kGuard);
    uint8_t* dest = buffer.data() + kMargin;
    if (k.three != nullptr)
        k.three(y, cb, cr, dest, stride);
    else
        k.four(y, cb, cr, c3, dest, stride);
    for (size_t i = 0; i < buffer.size(); ++i) {
        const intptr_t off = static_cast<intptr_t>(i) - kMargin;
        const intptr_t row = off >= 0 ? off / stride : -1;
        const intptr_t col = off >= 0 ? off % stride : -1;
        uint8_t want = kGuard;
        if (row >= 0 && row < k.height && col < row_bytes) {
            uint8_t pixel[4];
            expected_pixel(k, y, cb, cr, c3, static_cast<int>(col / k.bytes), static_cast<int>(row), pixel);
            want = pixel[col % k.bytes];
        }
        if (buffer[i] != want)
            return ::testing::AssertionFailure() << k.name << ": byte " << col << " of row " << row << " is "
                                                 << int(buffer[i]) << " instead of " << int(want);
    }
    return ::testing::AssertionSuccess();
}

// Every (Cb, Cr) pair with every luma value appears in some MCU of the sweep.
TEST(GenericKernels, EveryChromaPairMatchesThePerPixelArithmetic) {
    std::vector<int16_t> y(256), cb(64), cr(64), c3(256);
    for (const KernelCase& k : kKernels) {
        for (int first = 0; first < 65536; first += 64) {
            for (int i = 0; i < 64; ++i) {
                const int pair = first + i;
                cb[i] = static_cast<int16_t>(pair >> 8);
                cr[i] = static_cast<int16_t>(pair & 255);
            }
            for (int i = 0; i < 256; ++i) {
                y[i] = static_cast<int16_t>((first / 64 * 7 + i * 13) & 255);
                c3[i] = static_cast<int16_t>(255 - i);
            }
            ASSERT_TRUE(kernel_matches(k, y.data(), cb.data(), cr.data(), c3.data()));
        }
    }
}

// Samples outside 0..255 (never made by the transforms, but the kernels must
// still give the model's bytes): anything from -32768 to 32767, and MCUs where
// a single sample of one plane leaves the byte range.
TEST(GenericKernels, OutOfRangeSamplesMatchThePerPixelArithmetic) {
    std::mt19937 rng(5);
    std::uniform_int_distribution<int> any(-32768, 32767), near(-300, 560), byte(0, 255), plane(0, 2);
    std::vector<int16_t> y(256), cb(64), cr(64), c3(256);
    for (int n = 0; n < 600; ++n) {
        const int kind = n % 3;
        auto draw = [&] { return static_cast<int16_t>(kind == 0 ? any(rng) : kind == 1 ? near(rng) : byte(rng)); };
        for (auto& v : y) v = draw();
        for (auto& v : cb) v = draw();
        for (auto& v : cr) v = draw();
        for (auto& v : c3) v = draw();
        if (kind == 2) {
            // Just outside the byte range or anywhere; in any luma block or chroma.
            const int16_t odd = static_cast<int16_t>(n % 4 == 0 ? -1 : n % 4 == 1 ? 256 : any(rng) | 0x100);
            const int which = plane(rng);
            std::vector<int16_t>& target = which == 0 ? y : which == 1 ? cb : cr;
            target[static_cast<size_t>(rng() % target.size())] = odd;
        }
        for (const KernelCase& k : kKernels) ASSERT_TRUE(kernel_matches(k, y.data(), cb.data(), cr.data(), c3.data()));
    }
}

TEST(GenericKernels, GreyCopyClampsEverySampleAndWritesOnlyItsPixels) {
    std::mt19937 rng(3);
    std::uniform_int_distribution<int> any(-32768, 32767), near(-40, 300);
    const intptr_t stride = 8 + kMargin;
    for (int n = 0; n < 500; ++n) {
        int16_t samples[64];
        for (auto& s : samples) s = static_cast<int16_t>(n % 2 ? any(rng) : near(rng));
        std::vector<uint8_t> buffer(static_cast<size_t>(kMargin + stride * 8 + kMargin), kGuard);
        kernel_copy_gray(samples, buffer.data() + kMargin, stride);
        for (size_t i = 0; i < buffer.size(); ++i) {
            const intptr_t off = static_cast<intptr_t>(i) - kMargin;
            const bool inside = off >= 0 && off / stride < 8 && off % stride < 8;
            const uint8_t want = inside ? clamp_byte(samples[(off / stride) * 8 + off % stride]) : kGuard;
            ASSERT_EQ(buffer[i], want) << n << " at " << off;
        }
    }
}

}  // namespace
}  // namespace vantorel

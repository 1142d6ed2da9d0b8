// The 256-bit packed output kernels against the 128-bit bodies of the same
// words (byte shuffle for three-byte pixels, baseline for quad pixels): the
// same bytes for every MCU, whatever its samples, written top-down or
// bottom-up into a DIB whose rows are wider than the MCU, and not one byte
// outside the MCU's pixels. Also which bodies the stage table installs.
#include <gtest/gtest.h>

#include <cstring>
#include <iterator>
#include <random>
#include <vector>

#include "codec/codec.h"
#include "codec/decoder/decoder.h"
#include "codec/decoder/x86/x86_stages.h"

namespace vantorel {
namespace {

#if VANTOREL_X86_BODIES

bool wide_usable() { return __builtin_cpu_supports("avx2") && __builtin_cpu_supports("ssse3"); }

using Kernel = void (*)(const int16_t*, const int16_t*, const int16_t*, uint8_t*, intptr_t);

struct KernelCase {
    const char* name;
    int width, height, bpp;  // MCU pixels and bytes per pixel
    Kernel wide, narrow, generic;
    Kernel3 STAGE_TABLE::*word;
};

const KernelCase kCases[] = {
    {"444 rgb", 8, 8, 3, &x86::convert_ycc444_rgb_avx2, &x86::convert_ycc444_rgb_ssse3, &kernel_convert_ycc444_rgb,
     &STAGE_TABLE::output_kernel_42},
    {"422 rgb", 16, 8, 3, &x86::convert_ycc422_rgb_avx2, &x86::convert_ycc422_rgb_ssse3, &kernel_convert_ycc422_rgb,
     &STAGE_TABLE::output_kernel_43},
    {"420 rgb", 16, 16, 3, &x86::convert_ycc420_rgb_avx2, &x86::convert_ycc420_rgb_ssse3, &kernel_convert_ycc420_rgb,
     &STAGE_TABLE::output_kernel_44},
    {"444 bgr", 8, 8, 3, &x86::convert_ycc444_bgr_avx2, &x86::convert_ycc444_bgr_ssse3, &kernel_convert_ycc444_bgr,
     &STAGE_TABLE::output_kernel_45},
    {"422 bgr", 16, 8, 3, &x86::convert_ycc422_bgr_avx2, &x86::convert_ycc422_bgr_ssse3, &kernel_convert_ycc422_bgr,
     &STAGE_TABLE::output_kernel_46},
    {"420 bgr", 16, 16, 3, &x86::convert_ycc420_bgr_avx2, &x86::convert_ycc420_bgr_ssse3, &kernel_convert_ycc420_bgr,
     &STAGE_TABLE::output_kernel_47},
    {"444 quad", 8, 8, 4, &x86::convert_ycc444_quad_avx2, &x86::convert_ycc444_quad_sse2,
     &kernel_convert_ycc444_quad, &STAGE_TABLE::output_kernel_48},
    {"422 quad", 16, 8, 4, &x86::convert_ycc422_quad_avx2, &x86::convert_ycc422_quad_sse2,
     &kernel_convert_ycc422_quad, &STAGE_TABLE::output_kernel_49},
    {"420 quad", 16, 16, 4, &x86::convert_ycc420_quad_avx2, &x86::convert_ycc420_quad_sse2,
     &kernel_convert_ycc420_quad, &STAGE_TABLE::output_kernel_50},
};

// One MCU's samples, each component in a buffer of exactly its size so that a
// read past it is caught by the address sanitizer.
struct Mcu {
    std::vector<int16_t> y, cb, cr;
    bool in_range = true;  // every sample 0..255
};

class Samples {
public:
    // Kind n % 6: the shapes a decode gives and those only hostile
    // coefficients can give.
    Mcu make(int n, int luma_samples) {
        Mcu m{std::vector<int16_t>(luma_samples), std::vector<int16_t>(64), std::vector<int16_t>(64)};
        const int kind = n % 6;
        for (std::vector<int16_t>* c : {&m.y, &m.cb, &m.cr})
            for (int16_t& s : *c) s = sample(kind);
        for (std::vector<int16_t>* c : {&m.y, &m.cb, &m.cr})
            for (int16_t s : *c) m.in_range = m.in_range && s >= 0 && s <= 255;
        return m;
    }

private:
    int uniform(int low, int high) { return std::uniform_int_distribution<int>(low, high)(rng_); }
    int16_t sample(int kind) {
        switch (kind) {
            case 0:
            case 1:  // the transform's results
                return static_cast<int16_t>(uniform(0, 255));
            case 2:  // near black and white: the saturating end of every term
                return static_cast<int16_t>(uniform(0, 1) ? uniform(0, 12) : uniform(243, 255));
            case 3:  // mostly in range, a few samples anywhere
                return static_cast<int16_t>(uniform(0, 15) ? uniform(0, 255) : uniform(-32768, 32767));
            case 4:  // anywhere in 16 bits
                return static_cast<int16_t>(uniform(-32768, 32767));
            default: {  // the edges of 8, 11 and 16 bits, where shifts and sums wrap
                static const int16_t edges[] = {-32768, -32767, -1024, -256, -129, -128, -1,  0,    1,    127,
                                                128,    255,    256,   257,  1023,  2047, 4095, 8191, 32766, 32767};
                return edges[uniform(0, static_cast<int>(std::size(edges)) - 1)];
            }
        }
    }
    std::mt19937 rng_{20240611};
};

// A DIB with `gap` bytes after each row of the MCU and `margin` rows above and
// below, every byte `canary`. The MCU goes `left` bytes into its rows.
struct Dib {
    int width_bytes, height, gap, left, margin;
    intptr_t stride() const { return width_bytes + left + gap; }
    size_t size() const { return static_cast<size_t>(stride()) * (height + 2 * margin); }
    // Pixel (0, 0) of the MCU: its top row, or its bottom row when bottom-up
    // (then the kernel goes up through memory with a negative stride).
    size_t origin(bool bottom_up) const {
        const int row = margin + (bottom_up ? height - 1 : 0);
        return static_cast<size_t>(row) * stride() + left;
    }
    bool inside(size_t i) const {
        const intptr_t row = static_cast<intptr_t>(i) / stride() - margin;
        const intptr_t col = static_cast<intptr_t>(i) % stride() - left;
        return row >= 0 && row < height && col >= 0 && col < width_bytes;
    }
};

std::vector<uint8_t> run(Kernel body, const Mcu& m, const Dib& dib, bool bottom_up, uint8_t canary) {
    std::vector<uint8_t> out(dib.size(), canary);
    const intptr_t stride = bottom_up ? -dib.stride() : dib.stride();
    body(m.y.data(), m.cb.data(), m.cr.data(), out.data() + dib.origin(bottom_up), stride);
    return out;
}

// The bytes of the 128-bit body on every kind of MCU, top-down and bottom-up,
// at odd offsets and row gaps, with every byte of the MCU's pixels written
// (two canaries) and none outside them; the generic kernel's bytes wherever the
// samples are those a transform gives.
TEST(WideOutputKernels, GiveTheBytesOfThe128BitBodiesAndWriteOnlyTheirPixels) {
    if (!wide_usable()) GTEST_SKIP() << "no 256-bit integer instructions or byte shuffle on this processor";
    Samples samples;
    for (const KernelCase& c : kCases) {
        int in_range = 0, out_of_range = 0;
        for (int n = 0; n < 3000; ++n) {
            const Mcu m = samples.make(n, c.width * c.height);
            const Dib dib{c.width * c.bpp, c.height, 1 + n % 37, n % 5, 1 + n % 2};
            const bool bottom_up = (n / 6) % 2 == 1;
            for (const uint8_t canary : {uint8_t{0xA5}, uint8_t{0x5A}}) {
                const std::vector<uint8_t> wide = run(c.wide, m, dib, bottom_up, canary);
                const std::vector<uint8_t> narrow = run(c.narrow, m, dib, bottom_up, canary);
                for (size_t i = 0; i < wide.size(); ++i) {
                    if (!dib.inside(i)) {
                        ASSERT_EQ(wide[i], canary) << c.name << " MCU " << n << ": byte " << i << " outside the MCU";
                    }
                    ASSERT_EQ(wide[i], narrow[i]) << c.name << " MCU " << n << (bottom_up ? " bottom-up" : "")
                                                  << ": byte " << i << " differs from the 128-bit body";
                }
                if (m.in_range) {
                    ASSERT_EQ(wide, run(c.generic, m, dib, bottom_up, canary)) << c.name << " MCU " << n;
                }
            }
            if (c.bpp == 4) {
                const std::vector<uint8_t> wide = run(c.wide, m, dib, bottom_up, 0);
                for (size_t i = 0; i < wide.size(); ++i) {
                    if (dib.inside(i) && (static_cast<intptr_t>(i) % dib.stride() - dib.left) % 4 == 3) {
                        ASSERT_EQ(wide[i], 255) << c.name << " MCU " << n << ": alpha at byte " << i;
                    }
                }
            }
            ++(m.in_range ? in_range : out_of_range);
        }
        EXPECT_GT(in_range, 1000) << c.name;
        EXPECT_GT(out_of_range, 1000) << c.name;
    }
}

// A flat MCU with one sample set apart, for every sample of every component:
// the generic kernel's bytes, so a row, lane or block written to the wrong
// place shows as the one different pixel (or chroma group) out of place.
TEST(WideOutputKernels, EverySamplePlacesItsPixels) {
    if (!wide_usable()) GTEST_SKIP() << "no 256-bit integer instructions or byte shuffle on this processor";
    for (const KernelCase& c : kCases) {
        const int luma_samples = c.width * c.height;
        Mcu base{std::vector<int16_t>(luma_samples, 128), std::vector<int16_t>(64, 128),
                 std::vector<int16_t>(64, 128)};
        const Dib dib{c.width * c.bpp, c.height, 7, 3, 1};
        for (int component = 0; component < 3; ++component) {
            const int count = component == 0 ? luma_samples : 64;
            for (int at = 0; at < count; ++at) {
                Mcu m = base;
                (component == 0 ? m.y : component == 1 ? m.cb : m.cr)[at] = 20;
                for (const bool bottom_up : {false, true}) {
                    const std::vector<uint8_t> wide = run(c.wide, m, dib, bottom_up, 0xA5);
                    const std::vector<uint8_t> narrow = run(c.narrow, m, dib, bottom_up, 0xA5);
                    ASSERT_EQ(wide, narrow) << c.name << " component " << component << " sample " << at;
                    ASSERT_EQ(wide, run(c.generic, m, dib, bottom_up, 0xA5))
                        << c.name << " component " << component << " sample " << at;
                }
            }
        }
    }
}

// The stage table holds the 256-bit bodies in words 42-50 of every variant fill
// on a processor that runs them, and the 128-bit ones (or the generic kernels)
// elsewhere.
TEST(WideOutputKernels, InstalledInEveryVariantFillWhereTheProcessorRunsThem) {
    // The fill reads the 128-bit bit from the process-wide processor
    // description, which selecting a variant writes.
    STAGE_TABLE probe{};
    select_processor_variant(&probe);
    release_modules(&probe);
    const bool sse2 = ((g_processor.feature_flags >> 26) & 1u) != 0;
    ASSERT_EQ(sse2, __builtin_cpu_supports("sse2") != 0);
    const bool shuffle = __builtin_cpu_supports("ssse3");
    const bool wide = __builtin_cpu_supports("avx2");
    for (int32_t index = 0; index <= 7; ++index) {
        STAGE_TABLE t{};
        fill_stage_table(&t, index);
        const bool bodies = index >= 3 && index <= 6 && sse2;
        for (const KernelCase& c : kCases) {
            const bool three = c.bpp == 3;
            const bool expect_wide = bodies && wide && (!three || shuffle);
            EXPECT_EQ(t.*c.word == c.wide, expect_wide) << c.name << " index " << index;
            if (!bodies) {
                EXPECT_EQ(t.*c.word, c.generic) << c.name << " index " << index;
            }
            if (bodies && !wide && (!three || shuffle)) {
                EXPECT_EQ(t.*c.word, c.narrow) << c.name << " index " << index;
            }
        }
    }
}

#endif  // VANTOREL_X86_BODIES

}  // namespace
}  // namespace vantorel

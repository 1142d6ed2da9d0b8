// The fixed output members: one routine per common sample layout and pixel
// format, so that the usual images run without a work plane.
//
// Each member has three parts. The entry routine (installed as the active output
// driver) places the MCU; when the whole MCU is visible it hands it to the
// member's kernel, a straight-line loop that writes every pixel of the MCU row by
// row; when the MCU is cut by the DIB edge or the region it walks the MCU in 8x8
// quarters and lets the partial routine store only the visible pixels of each.
// Kernel and partial routine share the per-pixel store below, so a cut MCU gets
// exactly the bytes the kernel would have written.
//
// Colour arithmetic (fixed point, 8 fraction bits; >> is a floor division):
//   red term   = (359 Cr - 45813) >> 8     359/256 = 1.40234
//   green term = (88 Cb + 183 Cr - 34806) >> 8   88/256 = 0.34375, 183/256 = 0.71484
//   blue term  = (454 Cb - 57937) >> 8     454/256 = 1.77344
//   R = Y + red, G = Y - green, B = Y + blue, each clamped to 0..255.
// The terms depend on the chroma pair only and are computed once per chroma
// sample, then shared by the 1, 2 or 4 pixels that sample covers.
#include <bit>
#include <cstring>

#include "codec/codec.h"
#include "codec/decoder/decoder.h"

namespace vantorel {

namespace {

enum Layout { LAYOUT_444, LAYOUT_422, LAYOUT_420 };

enum Format {
    FMT_RGB,        // R G B
    FMT_BGR,        // B G R
    FMT_QUAD,       // R G B 255
    FMT_YCCA,       // ~R ~G ~B c3
    FMT_COPY3,      // c0 c1 c2
    FMT_COPY_QUAD,  // c0 c1 c2 255
    FMT_COPY4,      // c0 c1 c2 c3
    FMT_PACK,       // pairs Y0 Cb Y1 Cr
};

constexpr bool converts(Format f) {
    return f == FMT_RGB || f == FMT_BGR || f == FMT_QUAD || f == FMT_YCCA;
}

constexpr int32_t bytes_per_pixel(Format f) {
    return f == FMT_PACK ? 2 : (f == FMT_RGB || f == FMT_BGR || f == FMT_COPY3) ? 3 : 4;
}

constexpr int32_t layout_width(Layout l) {
    return l == LAYOUT_444 ? 8 : 16;
}
constexpr int32_t layout_height(Layout l) {
    return l == LAYOUT_420 ? 16 : 8;
}
constexpr int32_t luma_blocks(Layout l) {
    return l == LAYOUT_444 ? 1 : l == LAYOUT_422 ? 2 : 4;
}

// Addresses of a placed MCU may lie outside the DIB (a region starting inside
// an MCU); only the visible pixels are dereferenced, so the offset is taken in
// plain integer arithmetic.
uint8_t* offset_address(uint8_t* base, intptr_t bytes) {
    return reinterpret_cast<uint8_t*>(reinterpret_cast<uintptr_t>(base) + static_cast<uintptr_t>(bytes));
}

inline uint8_t clamp_byte(int32_t v) {
    return static_cast<uint8_t>(v < 0 ? 0 : v > 255 ? 255 : v);
}

// What one chroma sample contributes to the pixels it covers: the three colour
// terms for the converting formats, the two chroma bytes for the copying ones.
struct Chroma {
    int32_t a, b, c;
};

template <Format F>
inline Chroma prepare_chroma(int32_t cb, int32_t cr) {
    if constexpr (converts(F)) {
        return Chroma{(359 * cr - 45813) >> 8, (88 * cb + 183 * cr - 34806) >> 8, (454 * cb - 57937) >> 8};
    } else {
        return Chroma{cb, cr, 0};
    }
}

// Stores one pixel. `odd` matters only to the packed format, whose pixel pairs
// carry Cb in the even pixel and Cr in the odd one.
template <Format F>
inline void store_pixel(uint8_t* p, int32_t y, const Chroma& c, int32_t c3, bool odd) {
    if constexpr (converts(F)) {
        const uint8_t r = clamp_byte(y + c.a);
        const uint8_t g = clamp_byte(y - c.b);
        const uint8_t b = clamp_byte(y + c.c);
        if constexpr (F == FMT_RGB) {
            p[0] = r, p[1] = g, p[2] = b;
        } else if constexpr (F == FMT_BGR) {
            p[0] = b, p[1] = g, p[2] = r;
        } else if constexpr (F == FMT_QUAD) {
            p[0] = r, p[1] = g, p[2] = b, p[3] = 255;
        } else {
            p[0] = static_cast<uint8_t>(255 - r), p[1] = static_cast<uint8_t>(255 - g);
            p[2] = static_cast<uint8_t>(255 - b), p[3] = static_cast<uint8_t>(c3);
        }
    } else if constexpr (F == FMT_PACK) {
        p[0] = static_cast<uint8_t>(y);
        p[1] = static_cast<uint8_t>(odd ? c.b : c.a);
    } else {
        p[0] = static_cast<uint8_t>(y), p[1] = static_cast<uint8_t>(c.a), p[2] = static_cast<uint8_t>(c.b);
        if constexpr (F == FMT_COPY_QUAD) p[3] = 255;
        if constexpr (F == FMT_COPY4) p[3] = static_cast<uint8_t>(c3);
    }
}

// The fourth component exists only for the four-component formats; elsewhere the
// kernels read it from the luma block so that no null pointer is ever touched.
template <Format F>
inline const int16_t* fourth_or(const int16_t* c3, const int16_t* y) {
    return (F == FMT_YCCA || F == FMT_COPY4) && c3 != nullptr ? c3 : y;
}

// ---------------------------------------------------------------------------
// Kernels: a whole MCU, no clipping, no per-pixel tests.
// ---------------------------------------------------------------------------

template <Format F>
void kernel_444(const int16_t* __restrict y, const int16_t* __restrict cb, const int16_t* __restrict cr,
                const int16_t* __restrict c3, uint8_t* __restrict dest, intptr_t stride) {
    constexpr int32_t bpp = bytes_per_pixel(F);
    const int16_t* a = fourth_or<F>(c3, y);
    for (int32_t r = 0; r < 8; ++r) {
        uint8_t* row = dest + r * stride;
        for (int32_t x = 0; x < 8; ++x) {
            const int32_t i = r * 8 + x;
            store_pixel<F>(row + x * bpp, y[i], prepare_chroma<F>(cb[i], cr[i]), a[i], false);
        }
    }
}

// 16 x 8: two luma blocks side by side, one chroma sample per pixel pair.
template <Format F>
void kernel_422(const int16_t* __restrict y, const int16_t* __restrict cb, const int16_t* __restrict cr,
                const int16_t* __restrict c3, uint8_t* __restrict dest, intptr_t stride) {
    constexpr int32_t bpp = bytes_per_pixel(F);
    const int16_t* a = fourth_or<F>(c3, y);
    for (int32_t r = 0; r < 8; ++r) {
        uint8_t* row = dest + r * stride;
        for (int32_t half = 0; half < 2; ++half) {
            const int16_t* yb = y + half * 64 + r * 8;
            const int16_t* ab = a + half * 64 + r * 8;
            const int16_t* cbr = cb + r * 8 + half * 4;
            const int16_t* crr = cr + r * 8 + half * 4;
            uint8_t* out = row + half * 8 * bpp;
            for (int32_t k = 0; k < 4; ++k) {
                const Chroma c = prepare_chroma<F>(cbr[k], crr[k]);
                store_pixel<F>(out + (2 * k) * bpp, yb[2 * k], c, ab[2 * k], false);
                store_pixel<F>(out + (2 * k + 1) * bpp, yb[2 * k + 1], c, ab[2 * k + 1], true);
            }
        }
    }
}

// 16 x 16: four luma blocks in raster order, one chroma sample per 2 x 2 pixels.
template <Format F>
void kernel_420(const int16_t* __restrict y, const int16_t* __restrict cb, const int16_t* __restrict cr,
                const int16_t* __restrict c3, uint8_t* __restrict dest, intptr_t stride) {
    constexpr int32_t bpp = bytes_per_pixel(F);
    const int16_t* a = fourth_or<F>(c3, y);
    for (int32_t j = 0; j < 8; ++j) {
        Chroma terms[8];
        for (int32_t k = 0; k < 8; ++k) terms[k] = prepare_chroma<F>(cb[j * 8 + k], cr[j * 8 + k]);
        const int32_t block_row = j / 4;
        for (int32_t v = 0; v < 2; ++v) {
            const int32_t in_block = (2 * j + v) % 8;
            uint8_t* row = dest + (2 * j + v) * stride;
            for (int32_t half = 0; half < 2; ++half) {
                const int32_t block = block_row * 2 + half;
                const int16_t* yb = y + block * 64 + in_block * 8;
                const int16_t* ab = a + block * 64 + in_block * 8;
                uint8_t* out = row + half * 8 * bpp;
                for (int32_t k = 0; k < 4; ++k) {
                    const Chroma& c = terms[half * 4 + k];
                    store_pixel<F>(out + (2 * k) * bpp, yb[2 * k], c, ab[2 * k], false);
                    store_pixel<F>(out + (2 * k + 1) * bpp, yb[2 * k + 1], c, ab[2 * k + 1], true);
                }
            }
        }
    }
}

// ---------------------------------------------------------------------------
// Converting kernels for samples within 0..255, which is all the transforms and
// upsamplers ever produce. On that range the colour terms and the sums fit 16
// bits when the large factors are split off exactly:
//   (359 Cr - 45813) >> 8        = Cr - 179 + ((103 Cr + 11) >> 8)
//   (88 Cb + 183 Cr - 34806) >> 8 = Cr - 136 + ((88 Cb - 73 Cr + 10) >> 8)
//   (454 Cb - 57937) >> 8        = 2 Cb - 227 + ((175 - 58 Cb) >> 8)
// (each moves a multiple of 256 out of the floor division; the remaining sums
// stay within -18615..26276). Every loop below has a fixed trip count and works
// on 16-bit lanes, so the compiler packs eight or sixteen values per step. The
// kernels check the range first and leave any other MCU to the per-pixel form.
// ---------------------------------------------------------------------------

template <int N>
inline bool within_bytes(const int16_t* samples) {
    uint16_t high = 0;
    for (int i = 0; i < N; ++i) high |= static_cast<uint16_t>(samples[i]);
    return (high & 0xFF00u) == 0;
}

template <int N>
struct Terms {
    int16_t red[N], green[N], blue[N];
};

template <int N>
inline void colour_terms(const int16_t* cb, const int16_t* cr, Terms<N>& t) {
    for (int i = 0; i < N; ++i) {
        const int16_t b = cb[i], r = cr[i];
        t.red[i] = static_cast<int16_t>(r - 179 + static_cast<int16_t>(static_cast<int16_t>(103 * r + 11) >> 8));
        t.green[i] =
            static_cast<int16_t>(r - 136 + static_cast<int16_t>(static_cast<int16_t>(88 * b - 73 * r + 10) >> 8));
        t.blue[i] = static_cast<int16_t>(2 * b - 227 + static_cast<int16_t>(static_cast<int16_t>(175 - 58 * b) >> 8));
    }
}

// The terms of a subsampled MCU spread to one entry per pixel, rows of 16 pixels
// top to bottom: pixel (x, row) takes chroma sample (x / 2, row / rows_per).
template <int Rows, int RowsPer>
inline void spread_terms(const Terms<64>& in, Terms<16 * Rows>& out) {
    for (int row = 0; row < Rows; ++row) {
        for (int x = 0; x < 16; ++x) {
            const int from = (row / RowsPer) * 8 + x / 2;
            out.red[16 * row + x] = in.red[from];
            out.green[16 * row + x] = in.green[from];
            out.blue[16 * row + x] = in.blue[from];
        }
    }
}

// The luma of a 16-pixel-wide MCU in rows of 16: blocks side by side, block rows
// top to bottom.
template <int Rows>
inline void luma_rows(const int16_t* y, int16_t (&out)[16 * Rows]) {
    for (int row = 0; row < Rows; ++row) {
        const int16_t* left = y + (row / 8) * 128 + (row % 8) * 8;
        std::memcpy(out + 16 * row, left, 8 * sizeof(int16_t));
        std::memcpy(out + 16 * row + 8, left + 64, 8 * sizeof(int16_t));
    }
}

inline uint32_t clamp16(int16_t v) {
    v = v < 0 ? int16_t{0} : v;
    v = v > 255 ? int16_t{255} : v;
    return static_cast<uint16_t>(v);
}

// N pixels as 32-bit words holding the pixel's bytes in memory order from the
// lowest byte up (the fourth byte is 255 for the quad format and is not stored
// for the three-byte ones). One loop over the whole MCU, so that the compiler
// packs it rather than unrolling it.
template <Format F, int N>
inline void convert_pixels(const int16_t* y, const Terms<N>& t, uint32_t (&px)[N]) {
    for (int i = 0; i < N; ++i) {
        const uint32_t r = clamp16(static_cast<int16_t>(y[i] + t.red[i]));
        const uint32_t g = clamp16(static_cast<int16_t>(y[i] - t.green[i]));
        const uint32_t b = clamp16(static_cast<int16_t>(y[i] + t.blue[i]));
        if constexpr (F == FMT_BGR)
            px[i] = b | g << 8 | r << 16;
        else if constexpr (F == FMT_QUAD)
            px[i] = r | g << 8 | b << 16 | 0xFF000000u;
        else
            px[i] = r | g << 8 | b << 16;
    }
}

// Stores the W pixels px[0..W) at out. Three-byte pixels on a little-endian
// machine go out as overlapping four-byte stores in ascending order, each one's
// extra byte rewritten by the next pixel; the last pixel stores exactly its
// three bytes, so nothing past the run is touched.
template <Format F, int W>
inline void store_run(uint8_t* out, const uint32_t* px) {
    if constexpr (std::endian::native == std::endian::little) {
        if constexpr (F == FMT_QUAD) {
            std::memcpy(out, px, 4 * W);
        } else {
            for (int i = 0; i < W - 1; ++i) std::memcpy(out + 3 * i, px + i, 4);
            std::memcpy(out + 3 * (W - 1), px + W - 1, 3);
        }
    } else {
        constexpr int bpp = bytes_per_pixel(F);
        for (int i = 0; i < W; ++i)
            for (int k = 0; k < bpp; ++k) out[bpp * i + k] = static_cast<uint8_t>(px[i] >> (8 * k));
    }
}

template <Format F>
void convert_444(const int16_t* __restrict y, const int16_t* __restrict cb, const int16_t* __restrict cr,
                 uint8_t* __restrict dest, intptr_t stride) {
    if (!(within_bytes<64>(y) && within_bytes<64>(cb) && within_bytes<64>(cr))) {
        kernel_444<F>(y, cb, cr, nullptr, dest, stride);
        return;
    }
    Terms<64> t;
    colour_terms(cb, cr, t);
    uint32_t px[64];
    convert_pixels<F>(y, t, px);
    for (int32_t r = 0; r < 8; ++r) store_run<F, 8>(dest + r * stride, px + 8 * r);
}

// 16 x 8 and 16 x 16: the terms are worked out once per chroma sample, spread
// to the pixels, and the luma gathered into rows of 16.
template <Format F, int Rows>
void convert_wide(const int16_t* __restrict y, const int16_t* __restrict cb, const int16_t* __restrict cr,
                  uint8_t* __restrict dest, intptr_t stride) {
    Terms<64> t;
    colour_terms(cb, cr, t);
    Terms<16 * Rows> spread;
    spread_terms<Rows, Rows / 8>(t, spread);
    int16_t luma[16 * Rows];
    luma_rows<Rows>(y, luma);
    uint32_t px[16 * Rows];
    convert_pixels<F>(luma, spread, px);
    for (int32_t r = 0; r < Rows; ++r) store_run<F, 16>(dest + r * stride, px + 16 * r);
}

template <Format F>
void convert_422(const int16_t* __restrict y, const int16_t* __restrict cb, const int16_t* __restrict cr,
                 uint8_t* __restrict dest, intptr_t stride) {
    if (!(within_bytes<128>(y) && within_bytes<64>(cb) && within_bytes<64>(cr))) {
        kernel_422<F>(y, cb, cr, nullptr, dest, stride);
        return;
    }
    convert_wide<F, 8>(y, cb, cr, dest, stride);
}

template <Format F>
void convert_420(const int16_t* __restrict y, const int16_t* __restrict cb, const int16_t* __restrict cr,
                 uint8_t* __restrict dest, intptr_t stride) {
    if (!(within_bytes<256>(y) && within_bytes<64>(cb) && within_bytes<64>(cr))) {
        kernel_420<F>(y, cb, cr, nullptr, dest, stride);
        return;
    }
    convert_wide<F, 16>(y, cb, cr, dest, stride);
}

// ---------------------------------------------------------------------------
// Partial routines: one 8x8 quarter of a cut MCU, only the pixels of `rect`
// (quarter-relative). The chroma pointers already point at the samples that
// cover the quarter (row stride 8). The terms of the quarter's chroma samples
// are built once, then looked up per pixel.
// ---------------------------------------------------------------------------

template <Layout L, Format F>
void store_partial(const int16_t* y, const int16_t* cb, const int16_t* cr, const int16_t* c3, uint8_t* dest,
                   intptr_t stride, const MCU_RECT& rect) {
    constexpr int32_t bpp = bytes_per_pixel(F);
    constexpr int32_t chroma_cols = L == LAYOUT_444 ? 8 : 4;
    constexpr int32_t chroma_rows = L == LAYOUT_420 ? 4 : 8;
    const int16_t* a = fourth_or<F>(c3, y);
    Chroma terms[chroma_rows][chroma_cols];
    for (int32_t j = 0; j < chroma_rows; ++j)
        for (int32_t k = 0; k < chroma_cols; ++k) terms[j][k] = prepare_chroma<F>(cb[j * 8 + k], cr[j * 8 + k]);
    for (int32_t py = rect.top; py < rect.bottom; ++py) {
        uint8_t* row = offset_address(dest, py * stride);
        const int32_t j = L == LAYOUT_420 ? py / 2 : py;
        for (int32_t px = rect.left; px < rect.right; ++px) {
            const int32_t k = L == LAYOUT_444 ? px : px / 2;
            store_pixel<F>(row + px * bpp, y[py * 8 + px], terms[j][k], a[py * 8 + px], (px & 1) != 0);
        }
    }
}

// The entry routine shared by every three- and four-component member.
template <Layout L, Format F>
JPEG_STATUS run_member(JPEG_PROPERTIES* props, int32_t mcu_col, int32_t mcu_row, Kernel3 kernel3, Kernel4 kernel4) {
    constexpr int32_t w = layout_width(L);
    constexpr int32_t h = layout_height(L);
    constexpr int32_t bpp = bytes_per_pixel(F);
    // The selector installs a member only for its own pixel size; anything else
    // would write past the pixels this member was placed for.
    if (props->dib_channels != bpp || props->output_start == nullptr) return STATUS_INVALID_PROPERTIES;
    const int16_t* y = props->mcu_buffer;
    const int16_t* cb = y + luma_blocks(L) * 64;
    const int16_t* cr = cb + 64;
    const int16_t* c3 = cr + 64;
    const intptr_t stride = props->dib_stride;

    // The common case first: no region, and the MCU wholly inside the DIB.
    if (uint8_t* whole = whole_mcu_address(props, w, h, mcu_col, mcu_row, bpp)) {
        props->source.mcu_out_ptr = whole;
        if (kernel4 != nullptr)
            kernel4(y, cb, cr, c3, whole, stride);
        else
            kernel3(y, cb, cr, whole, stride);
        return STATUS_SUCCESS;
    }

    const MCU_RECT region{props->roi_left, props->roi_top, props->roi_right, props->roi_bottom};
    MCU_RECT clip{};
    const JPEG_STATUS placed = place_mcu(&region, w, h, mcu_col, mcu_row, bpp, props->dib_stride, props->output_start,
                                         props->dib_width, props->dib_height, &props->source.mcu_out_ptr, &clip);
    if (placed != STATUS_SUCCESS) return placed;
    uint8_t* out = props->source.mcu_out_ptr;

    if (rects_equal(clip, MCU_RECT{0, 0, w, h})) {
        if (kernel4 != nullptr)
            kernel4(y, cb, cr, c3, out, stride);
        else
            kernel3(y, cb, cr, out, stride);
        return STATUS_SUCCESS;
    }

    for (int32_t q = 0; q < 4; ++q) {
        const int32_t qx = (q & 1) * 8;
        const int32_t qy = (q >> 1) * 8;
        if (qx >= w || qy >= h) continue;
        const MCU_RECT part = intersect_rect(clip, MCU_RECT{qx, qy, qx + 8, qy + 8});
        if (part.right <= part.left || part.bottom <= part.top) continue;
        const int32_t block = (qy / 8) * (w / 8) + qx / 8;
        const int32_t chroma = (L == LAYOUT_444 ? 0 : qx / 2) + (L == LAYOUT_420 ? (qy / 2) * 8 : 0);
        store_partial<L, F>(y + block * 64, cb + chroma, cr + chroma, c3 + block * 64,
                            offset_address(out, qx * bpp + qy * stride), stride, offset_rect(part, qx, qy));
    }
    return STATUS_SUCCESS;
}

const STAGE_TABLE* table_of(const JPEG_PROPERTIES* props) {
    return props->stage_table;
}

// A kernel word left empty (a table filled by hand, say) falls back to the
// generic kernel, so an entry routine never calls through a null word.
template <typename K>
K word_or(const JPEG_PROPERTIES* props, K STAGE_TABLE::*word, K generic) {
    const STAGE_TABLE* t = table_of(props);
    if (t == nullptr || t->*word == nullptr) return generic;
    return t->*word;
}

}  // namespace

// ---------------------------------------------------------------------------
// Generic kernels (the stage table's words 41-59 in the generic fill)
// ---------------------------------------------------------------------------

// The whole block is clamped in one packed loop, then stored row by row.
void kernel_copy_gray(const int16_t* samples, uint8_t* dest, intptr_t stride) {
    uint8_t bytes[64];
    for (int32_t i = 0; i < 64; ++i) {
        int16_t v = samples[i];
        v = v < 0 ? int16_t{0} : v;
        v = v > 255 ? int16_t{255} : v;
        bytes[i] = static_cast<uint8_t>(v);
    }
    for (int32_t r = 0; r < 8; ++r) std::memcpy(dest + r * stride, bytes + 8 * r, 8);
}

#define VANTOREL_KERNEL3(name, layout, format)                                                           \
    void name(const int16_t* c0, const int16_t* c1, const int16_t* c2, uint8_t* dest, intptr_t stride) { \
        kernel_##layout<format>(c0, c1, c2, nullptr, dest, stride);                                      \
    }
#define VANTOREL_CONVERT3(name, layout, format)                                                          \
    void name(const int16_t* c0, const int16_t* c1, const int16_t* c2, uint8_t* dest, intptr_t stride) { \
        convert_##layout<format>(c0, c1, c2, dest, stride);                                              \
    }
#define VANTOREL_KERNEL4(name, layout, format)                                                           \
    void name(const int16_t* c0, const int16_t* c1, const int16_t* c2, const int16_t* c3, uint8_t* dest, \
              intptr_t stride) {                                                                         \
        kernel_##layout<format>(c0, c1, c2, c3, dest, stride);                                           \
    }

VANTOREL_CONVERT3(kernel_convert_ycc444_rgb, 444, FMT_RGB)
VANTOREL_CONVERT3(kernel_convert_ycc422_rgb, 422, FMT_RGB)
VANTOREL_CONVERT3(kernel_convert_ycc420_rgb, 420, FMT_RGB)
VANTOREL_CONVERT3(kernel_convert_ycc444_bgr, 444, FMT_BGR)
VANTOREL_CONVERT3(kernel_convert_ycc422_bgr, 422, FMT_BGR)
VANTOREL_CONVERT3(kernel_convert_ycc420_bgr, 420, FMT_BGR)
VANTOREL_CONVERT3(kernel_convert_ycc444_quad, 444, FMT_QUAD)
VANTOREL_CONVERT3(kernel_convert_ycc422_quad, 422, FMT_QUAD)
VANTOREL_CONVERT3(kernel_convert_ycc420_quad, 420, FMT_QUAD)
VANTOREL_KERNEL3(kernel_copy_444, 444, FMT_COPY3)
VANTOREL_KERNEL3(kernel_copy_422, 422, FMT_COPY3)
VANTOREL_KERNEL3(kernel_copy_420, 420, FMT_COPY3)
VANTOREL_KERNEL3(kernel_copy_444_quad, 444, FMT_COPY_QUAD)
VANTOREL_KERNEL3(kernel_pack_ycc422, 422, FMT_PACK)
VANTOREL_KERNEL4(kernel_convert_ycca444_quad, 444, FMT_YCCA)
VANTOREL_KERNEL4(kernel_convert_ycca422_quad, 422, FMT_YCCA)
VANTOREL_KERNEL4(kernel_convert_ycca420_quad, 420, FMT_YCCA)
VANTOREL_KERNEL4(kernel_copy_4444_quad, 444, FMT_COPY4)

#undef VANTOREL_KERNEL3
#undef VANTOREL_CONVERT3
#undef VANTOREL_KERNEL4

// ---------------------------------------------------------------------------
// Entry routines of the fixed members
// ---------------------------------------------------------------------------

// Every three- and four-component member: entry routine, layout, pixel format,
// kernel word and the generic kernel standing in for an empty word.
#define VANTOREL_THREE_COMPONENT_MEMBERS(X)                                                         \
    X(convert_ycc444_rgb, LAYOUT_444, FMT_RGB, output_kernel_42, &kernel_convert_ycc444_rgb)        \
    X(convert_ycc444_bgr, LAYOUT_444, FMT_BGR, output_kernel_45, &kernel_convert_ycc444_bgr)        \
    X(convert_ycc420_rgb, LAYOUT_420, FMT_RGB, output_kernel_44, &kernel_convert_ycc420_rgb)        \
    X(convert_ycc420_bgr, LAYOUT_420, FMT_BGR, output_kernel_47, &kernel_convert_ycc420_bgr)        \
    X(convert_ycc422_rgb, LAYOUT_422, FMT_RGB, output_kernel_43, &kernel_convert_ycc422_rgb)        \
    X(convert_ycc422_bgr, LAYOUT_422, FMT_BGR, output_kernel_46, &kernel_convert_ycc422_bgr)        \
    X(convert_ycc444_quad, LAYOUT_444, FMT_QUAD, output_kernel_48, &kernel_convert_ycc444_quad)     \
    X(convert_ycc420_quad, LAYOUT_420, FMT_QUAD, output_kernel_50, &kernel_convert_ycc420_quad)     \
    X(convert_ycc422_quad, LAYOUT_422, FMT_QUAD, output_kernel_49, &kernel_convert_ycc422_quad)     \
    X(copy_444_quad, LAYOUT_444, FMT_COPY_QUAD, output_kernel_54, &kernel_copy_444_quad)           \
    X(copy_420, LAYOUT_420, FMT_COPY3, output_kernel_53, &kernel_copy_420)                          \
    X(copy_422, LAYOUT_422, FMT_COPY3, output_kernel_52, &kernel_copy_422)                          \
    X(pack_ycc422, LAYOUT_422, FMT_PACK, output_kernel_55, &kernel_pack_ycc422)
#define VANTOREL_FOUR_COMPONENT_MEMBERS(X)                                                          \
    X(convert_ycca444_quad, LAYOUT_444, FMT_YCCA, output_kernel_56, &kernel_convert_ycca444_quad)   \
    X(convert_ycca420_quad, LAYOUT_420, FMT_YCCA, output_kernel_58, &kernel_convert_ycca420_quad)   \
    X(convert_ycca422_quad, LAYOUT_422, FMT_YCCA, output_kernel_57, &kernel_convert_ycca422_quad)   \
    X(copy_4444_quad, LAYOUT_444, FMT_COPY4, output_kernel_59, &kernel_copy_4444_quad)

#define VANTOREL_MEMBER3(name, layout, format, word, generic)                                             \
    JPEG_STATUS name(JPEG_PROPERTIES* props, int32_t mcu_col, int32_t mcu_row) {                          \
        return run_member<layout, format>(props, mcu_col, mcu_row,                                        \
                                          word_or<Kernel3>(props, &STAGE_TABLE::word, generic), nullptr); \
    }
#define VANTOREL_MEMBER4(name, layout, format, word, generic)                                    \
    JPEG_STATUS name(JPEG_PROPERTIES* props, int32_t mcu_col, int32_t mcu_row) {                 \
        return run_member<layout, format>(props, mcu_col, mcu_row, nullptr,                      \
                                          word_or<Kernel4>(props, &STAGE_TABLE::word, generic)); \
    }

VANTOREL_THREE_COMPONENT_MEMBERS(VANTOREL_MEMBER3)
VANTOREL_FOUR_COMPONENT_MEMBERS(VANTOREL_MEMBER4)

#undef VANTOREL_MEMBER3
#undef VANTOREL_MEMBER4

// copy_444 calls its generic kernel directly: no variant replaces it.
JPEG_STATUS copy_444(JPEG_PROPERTIES* props, int32_t mcu_col, int32_t mcu_row) {
    return run_member<LAYOUT_444, FMT_COPY3>(props, mcu_col, mcu_row, &kernel_copy_444, nullptr);
}

// One grey component into a one-byte DIB; every sample is clamped first.
JPEG_STATUS copy_gray(JPEG_PROPERTIES* props, int32_t mcu_col, int32_t mcu_row) {
    if (props->dib_channels != 1 || props->output_start == nullptr) return STATUS_INVALID_PROPERTIES;
    if (uint8_t* whole = whole_mcu_address(props, 8, 8, mcu_col, mcu_row, 1)) {
        props->source.mcu_out_ptr = whole;
        word_or<GrayKernel>(props, &STAGE_TABLE::output_kernel_41, &kernel_copy_gray)(props->mcu_buffer, whole,
                                                                                     props->dib_stride);
        return STATUS_SUCCESS;
    }
    const MCU_RECT region{props->roi_left, props->roi_top, props->roi_right, props->roi_bottom};
    MCU_RECT clip{};
    const JPEG_STATUS placed = place_mcu(&region, 8, 8, mcu_col, mcu_row, 1, props->dib_stride, props->output_start,
                                         props->dib_width, props->dib_height, &props->source.mcu_out_ptr, &clip);
    if (placed != STATUS_SUCCESS) return placed;
    const int16_t* samples = props->mcu_buffer;
    uint8_t* out = props->source.mcu_out_ptr;
    if (rects_equal(clip, MCU_RECT{0, 0, 8, 8})) {
        word_or<GrayKernel>(props, &STAGE_TABLE::output_kernel_41, &kernel_copy_gray)(samples, out, props->dib_stride);
        return STATUS_SUCCESS;
    }
    for (int32_t py = clip.top; py < clip.bottom; ++py) {
        uint8_t* row = offset_address(out, py * props->dib_stride);
        for (int32_t px = clip.left; px < clip.right; ++px) row[px] = clamp_byte(samples[py * 8 + px]);
    }
    return STATUS_SUCCESS;
}


namespace {

template <Layout L, Format F>
bool describe_member(Kernel3 three, Kernel4 four, MEMBER_KERNEL* out) {
    *out = MEMBER_KERNEL{three, four, nullptr, layout_width(L), layout_height(L), bytes_per_pixel(F), luma_blocks(L)};
    return true;
}

}  // namespace

bool member_kernel(const JPEG_PROPERTIES* props, MEMBER_KERNEL* out) {
    *out = MEMBER_KERNEL{};
    if (props == nullptr || props->stage_table == nullptr) return false;
    const OutputDriverRoutine member = props->stage_table->active_output_driver;
#define VANTOREL_DESCRIBE3(name, layout, format, word, generic) \
    if (member == &name)                                         \
        return describe_member<layout, format>(word_or<Kernel3>(props, &STAGE_TABLE::word, generic), nullptr, out);
#define VANTOREL_DESCRIBE4(name, layout, format, word, generic) \
    if (member == &name)                                         \
        return describe_member<layout, format>(nullptr, word_or<Kernel4>(props, &STAGE_TABLE::word, generic), out);
    VANTOREL_THREE_COMPONENT_MEMBERS(VANTOREL_DESCRIBE3)
    VANTOREL_FOUR_COMPONENT_MEMBERS(VANTOREL_DESCRIBE4)
#undef VANTOREL_DESCRIBE3
#undef VANTOREL_DESCRIBE4
    if (member == &copy_444) return describe_member<LAYOUT_444, FMT_COPY3>(&kernel_copy_444, nullptr, out);
    if (member == &spread_gray && props->jpeg_color == CS_GRAY) {
        *out = MEMBER_KERNEL{nullptr, nullptr, spread_gray_kernel_for(props->stage_table), 8, 8, 3, 1};
        return true;
    }
    if (member == &copy_gray) {
        *out = MEMBER_KERNEL{nullptr, nullptr, word_or<GrayKernel>(props, &STAGE_TABLE::output_kernel_41, &kernel_copy_gray),
                             8, 8, 1, 1};
        return true;
    }
    return false;
}

}  // namespace vantorel

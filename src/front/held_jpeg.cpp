// The held JPEG picture: decoded once by the codec into a top-down DIB, painted
// any number of times, freed on request. One picture at a time, process-wide.
#include <cstring>

#include "codec/codec.h"
#include "front/front.h"

namespace vantorel {

namespace {

// Largest DIB the library holds: its size must fit the signed 32-bit sizes the
// device calls work with, on 32-bit Windows as elsewhere.
constexpr uint64_t kLargestDib = 0x7FFFFFFF;

struct HeldJpeg {
    uint8_t* pixels = nullptr;
    platform::BITMAPINFO header{};
    int32_t width = 0;
    int32_t height = 0;
    int32_t channels = 0;
};

HeldJpeg g_held;

void release_held() {
    codec_free(g_held.pixels);
    g_held.pixels = nullptr;
}

}  // namespace

bool ChooseDibLayout(int32_t jpeg_channels, COLOR_SPACE reported_color, int32_t width, int32_t height,
                     DIB_LAYOUT* layout) {
    switch (jpeg_channels) {
    case 1:
        *layout = {CS_GRAY, 3, CS_BGR, 0, 0};
        break;
    case 3:
        // Streams the codec reported as RGB (an Adobe segment with transform 0)
        // carry no luminance/chrominance; asking for YCbCr would convert twice.
        *layout = {reported_color == CS_RGB ? CS_RGB : CS_YCBCR, 3, CS_BGR, 0, 0};
        break;
    case 4:
        // Plain four-channel streams are taken as they are, not as YCCK.
        *layout = {reported_color == CS_QUAD ? CS_QUAD : CS_YCC_QUAD, 4, CS_QUAD, 0, 0};
        break;
    default:
        *layout = {CS_OTHER, jpeg_channels, CS_OTHER, 0, 0};
        break;
    }
    if (width <= 0 || height <= 0 || layout->dib_channels <= 0) return false;
    const uint64_t row = static_cast<uint64_t>(width) * static_cast<uint64_t>(layout->dib_channels);
    const uint64_t padded = (row + 3) & ~static_cast<uint64_t>(3);
    layout->row_pad = static_cast<int32_t>(padded - row);
    const uint64_t total = padded * static_cast<uint64_t>(height);
    if (total > kLargestDib) return false;
    layout->total_bytes = static_cast<size_t>(total);
    return true;
}

void FillDibHeader(platform::BITMAPINFO* info, int32_t width, int32_t height, int32_t channels) {
    std::memset(info, 0, sizeof *info);
    info->bmiHeader.biSize = 40;
    info->bmiHeader.biWidth = width;
    info->bmiHeader.biHeight = -height;  // negative: the first row is the top row
    info->bmiHeader.biPlanes = 1;
    info->bmiHeader.biBitCount = channels == 3 ? 24 : channels == 4 ? 32 : 0;
    info->bmiHeader.biCompression = 0;
}

void ScaleQuadChannels(uint8_t* pixels, int32_t width, int32_t height) {
    if (pixels == nullptr || width <= 0 || height <= 0) return;
    const size_t count = static_cast<size_t>(width) * static_cast<size_t>(height);
    for (size_t i = 0; i < count; ++i) {
        uint8_t* px = pixels + i * 4;
        const uint32_t b0 = px[0], b1 = px[1], b2 = px[2], b3 = px[3];
        px[2] = static_cast<uint8_t>((b0 * b3 + 1) >> 8);
        px[1] = static_cast<uint8_t>((b1 * b3 + 1) >> 8);
        px[0] = static_cast<uint8_t>((b2 * b3 + 1) >> 8);
    }
}

const uint8_t* HeldJpegPixels() { return g_held.pixels; }

const platform::BITMAPINFO& HeldJpegHeader() { return g_held.header; }

bool LoadJpeg(const char* name) {
    if (g_held.pixels != nullptr) FreeJpeg();

    JPEG_RECORD record;
    std::memset(&record, 0, sizeof record);
    if (open_codec(&record) != STATUS_SUCCESS) return false;

    record.jpeg_path = name;
    if (read_image(&record, READ_PARAMS_FILE) != STATUS_SUCCESS) {
        close_codec(&record);
        return false;
    }

    DIB_LAYOUT layout;
    const bool fits = ChooseDibLayout(record.jpeg_channels, record.jpeg_color, record.jpeg_width,
                                      record.jpeg_height, &layout);
    record.jpeg_color = layout.jpeg_color;
    record.dib_channels = layout.dib_channels;
    record.dib_color = layout.dib_color;
    record.dib_width = record.jpeg_width;
    record.dib_height = record.jpeg_height;
    record.dib_row_pad = layout.row_pad;
    if (!fits) {
        close_codec(&record);
        return false;
    }

    g_held.pixels = static_cast<uint8_t*>(codec_alloc(layout.total_bytes));
    if (g_held.pixels == nullptr) {
        close_codec(&record);
        return false;
    }
    record.dib_pixels = g_held.pixels;

    if (read_image(&record, READ_IMAGE_FILE) != STATUS_SUCCESS) {
        release_held();
        close_codec(&record);
        return false;
    }
    // The decode is complete, but a record that does not close cleanly leaves its
    // outcome in doubt: hold nothing rather than a picture of unknown state.
    if (close_codec(&record) != STATUS_SUCCESS) {
        release_held();
        return false;
    }

    if (record.dib_color == CS_QUAD) ScaleQuadChannels(g_held.pixels, record.dib_width, record.dib_height);

    FillDibHeader(&g_held.header, record.dib_width, record.dib_height, record.dib_channels);
    g_held.width = record.dib_width;
    g_held.height = record.dib_height;
    g_held.channels = record.dib_channels;
    return true;
}

bool PaintJpeg(HDC dc, const RECT* rect) {
    if (g_held.pixels == nullptr) return false;
    if (rect == nullptr) return true;  // nowhere to draw; the picture stays held
    platform::stretch_dib_bits(dc, rect->left, rect->top, static_cast<int32_t>(0u + rect->right - rect->left),
                               static_cast<int32_t>(0u + rect->bottom - rect->top), 0, 0, g_held.width,
                               g_held.height, g_held.pixels, &g_held.header, platform::GFX_DIB_RGB_COLORS,
                               platform::GFX_SRCCOPY);
    return true;
}

bool FreeJpeg() {
    if (g_held.pixels == nullptr) return false;
    release_held();
    return true;
}

bool RenderJpeg(HDC dc, const RECT* rect, const char* name) {
    if (LoadJpeg(name)) {
        PaintJpeg(dc, rect);
        FreeJpeg();
    }
    return true;
}

}  // namespace vantorel

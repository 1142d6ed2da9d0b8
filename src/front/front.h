// The rendering front: the routines behind the eleven exports. They report a
// plain success flag; a host never sees a codec status.
#pragma once

#include <cstddef>
#include <cstdint>

#include "codec/jpeg_record.h"
#include "platform/graphics.h"
#include "vantorel/vantorel.h"

namespace vantorel {

// Metafiles (metafile.cpp).
bool PlayMetafileFile(HDC dc, const RECT* rect, const char* name);

// Held JPEG picture (held_jpeg.cpp).
bool LoadJpeg(const char* name);
bool PaintJpeg(HDC dc, const RECT* rect);
bool FreeJpeg();
bool RenderJpeg(HDC dc, const RECT* rect, const char* name);

// How a decoded JPEG is laid out in the held DIB.
struct DIB_LAYOUT {
    COLOR_SPACE jpeg_color;  // the stream colour asked of the codec
    int32_t dib_channels;
    COLOR_SPACE dib_color;
    int32_t row_pad;         // 0-3 bytes after each row
    size_t total_bytes;      // (row bytes + pad) x height
};
// Chooses the layout for a stream with the reported channel count and colour;
// false when the picture is empty or too large to hold.
bool ChooseDibLayout(int32_t jpeg_channels, COLOR_SPACE reported_color, int32_t width, int32_t height,
                     DIB_LAYOUT* layout);
// Describes a top-down DIB of the given size to the device.
void FillDibHeader(platform::BITMAPINFO* info, int32_t width, int32_t height, int32_t channels);
// Scales the three colour bytes of each 4-byte pixel by the fourth and reverses
// their order, giving the byte order of a 32-bit Windows DIB.
void ScaleQuadChannels(uint8_t* pixels, int32_t width, int32_t height);
// The held picture, for inspection: null when none is held.
const uint8_t* HeldJpegPixels();
const platform::BITMAPINFO& HeldJpegHeader();

// Held BMP picture (held_bitmap.cpp).
bool LoadBitmapFile(const char* name);
bool PaintBitmapFile(HDC dc, const RECT* rect);
bool FreeBitmapFile();
bool RenderBitmapFile(HDC dc, const RECT* rect, const char* name);

// Text paragraph (paragraph.cpp).
bool DrawParagraph(HDC dc, const char* text, const RECT* rect, PARAGRAPH_FONT font, int32_t alignment,
                   double line_spacing);
void SelectParagraphFont(HDC dc, PARAGRAPH_FONT font);
bool ReleaseParagraphFont(HDC dc);
void RotateAboutCentre(int32_t cx, int32_t cy, int32_t* x, int32_t* y, double angle);

}  // namespace vantorel

// The graphics facility the rendering front draws through. On Windows each
// routine is one GDI (or user32) call with the same arguments; natively a
// recording stand-in answers them deterministically so that the front's call
// order and arguments can be checked exactly.
#pragma once

#include <cstdint>

#include "vantorel/vantorel.h"

namespace vantorel::platform {

using GraphicsHandle = void*;  // fonts, bitmaps, metafiles, memory device contexts

#if defined(_WIN32)
using ::BITMAP;
using ::BITMAPINFO;
using ::BITMAPINFOHEADER;
using ::SIZE;
#else
// The Windows records the front fills or reads, with their Windows layout.
struct BITMAPINFOHEADER {
    uint32_t biSize;
    int32_t biWidth;
    int32_t biHeight;
    uint16_t biPlanes;
    uint16_t biBitCount;
    uint32_t biCompression;
    uint32_t biSizeImage;
    int32_t biXPelsPerMeter;
    int32_t biYPelsPerMeter;
    uint32_t biClrUsed;
    uint32_t biClrImportant;
};
struct RGBQUAD {
    uint8_t rgbBlue, rgbGreen, rgbRed, rgbReserved;
};
struct BITMAPINFO {
    BITMAPINFOHEADER bmiHeader;
    RGBQUAD bmiColors[1];
};
struct BITMAP {
    int32_t bmType;
    int32_t bmWidth;
    int32_t bmHeight;
    int32_t bmWidthBytes;
    uint16_t bmPlanes;
    uint16_t bmBitsPixel;
    void* bmBits;
};
struct SIZE {
    int32_t cx;
    int32_t cy;
};
#endif
static_assert(sizeof(BITMAPINFOHEADER) == 40, "a DIB header is 40 bytes");

// Constants of the calls, with their Windows values.
constexpr int32_t GFX_MM_ANISOTROPIC = 8;
constexpr uint32_t GFX_DIB_RGB_COLORS = 0;
constexpr uint32_t GFX_SRCCOPY = 0x00CC0020;
constexpr int32_t GFX_TRANSPARENT = 1;
constexpr uint32_t GFX_IMAGE_BITMAP = 0;
constexpr uint32_t GFX_LR_LOADFROMFILE = 0x0010;
constexpr uint32_t GFX_LR_CREATEDIBSECTION = 0x2000;
constexpr uint32_t GFX_DEFAULT_CHARSET = 1;
constexpr uint32_t GFX_OUT_CHARACTER_PRECIS = 2;
constexpr uint32_t GFX_CLIP_CHARACTER_PRECIS = 1;
constexpr uint32_t GFX_DRAFT_QUALITY = 1;
constexpr uint32_t GFX_ANTIALIASED_QUALITY = 4;

// Metafiles (GetEnhMetaFileA ... SetMetaFileBitsEx).
GraphicsHandle get_enh_metafile(const char* name);
bool play_enh_metafile(HDC dc, GraphicsHandle metafile, const RECT* rect);
bool delete_enh_metafile(GraphicsHandle metafile);
GraphicsHandle get_metafile(const char* name);
GraphicsHandle set_metafile_bits(uint32_t size, const uint8_t* data);
bool play_metafile(HDC dc, GraphicsHandle metafile);
bool delete_metafile(GraphicsHandle metafile);

// Device-context state (SaveDC ... IntersectClipRect); the extent and origin calls
// never hand back the previous values.
int32_t save_dc(HDC dc);
bool restore_dc(HDC dc, int32_t saved);
int32_t set_map_mode(HDC dc, int32_t mode);
bool set_window_ext(HDC dc, int32_t x, int32_t y);
bool set_viewport_ext(HDC dc, int32_t x, int32_t y);
bool set_viewport_org(HDC dc, int32_t x, int32_t y);
bool set_window_org(HDC dc, int32_t x, int32_t y);
int32_t intersect_clip_rect(HDC dc, int32_t left, int32_t top, int32_t right, int32_t bottom);

// Pictures (StretchDIBits ... LoadImageA).
int32_t stretch_dib_bits(HDC dc, int32_t x, int32_t y, int32_t width, int32_t height, int32_t source_x,
                         int32_t source_y, int32_t source_width, int32_t source_height, const void* bits,
                         const BITMAPINFO* info, uint32_t usage, uint32_t rop);
HDC create_compatible_dc(HDC dc);
GraphicsHandle select_object(HDC dc, GraphicsHandle object);
bool stretch_blt(HDC dc, int32_t x, int32_t y, int32_t width, int32_t height, HDC source, int32_t source_x,
                 int32_t source_y, int32_t source_width, int32_t source_height, uint32_t rop);
bool delete_dc(HDC dc);
int32_t get_object(GraphicsHandle object, int32_t size, void* out);
bool delete_object(GraphicsHandle object);
GraphicsHandle load_image(const char* name, uint32_t type, int32_t width, int32_t height, uint32_t flags);

// Text (CreateFontA ... TextOutA).
GraphicsHandle create_font(int32_t height, int32_t width, int32_t escapement, int32_t orientation, int32_t weight,
                           uint32_t italic, uint32_t underline, uint32_t strike_out, uint32_t charset,
                           uint32_t out_precision, uint32_t clip_precision, uint32_t quality,
                           uint32_t pitch_and_family, const char* face);
uint32_t set_text_color(HDC dc, COLORREF color);
int32_t set_bk_mode(HDC dc, int32_t mode);
bool get_text_extent_point(HDC dc, const char* text, int32_t count, SIZE* size);
bool set_text_justification(HDC dc, int32_t extra, int32_t breaks);
bool text_out(HDC dc, int32_t x, int32_t y, const char* text, int32_t count);

}  // namespace vantorel::platform

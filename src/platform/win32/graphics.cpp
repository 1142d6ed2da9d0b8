// The front's graphics facility: each routine is the one GDI or user32 call of
// the same name, with the same arguments.
#include <windows.h>

#include "platform/graphics.h"

namespace vantorel::platform {

GraphicsHandle get_enh_metafile(const char* name) { return GetEnhMetaFileA(name); }

bool play_enh_metafile(HDC dc, GraphicsHandle metafile, const RECT* rect) {
    return PlayEnhMetaFile(dc, static_cast<HENHMETAFILE>(metafile), rect) != 0;
}

bool delete_enh_metafile(GraphicsHandle metafile) { return DeleteEnhMetaFile(static_cast<HENHMETAFILE>(metafile)) != 0; }

GraphicsHandle get_metafile(const char* name) { return GetMetaFileA(name); }

GraphicsHandle set_metafile_bits(uint32_t size, const uint8_t* data) { return SetMetaFileBitsEx(size, data); }

bool play_metafile(HDC dc, GraphicsHandle metafile) { return PlayMetaFile(dc, static_cast<HMETAFILE>(metafile)) != 0; }

bool delete_metafile(GraphicsHandle metafile) { return DeleteMetaFile(static_cast<HMETAFILE>(metafile)) != 0; }

int32_t save_dc(HDC dc) { return SaveDC(dc); }

bool restore_dc(HDC dc, int32_t saved) { return RestoreDC(dc, saved) != 0; }

int32_t set_map_mode(HDC dc, int32_t mode) { return SetMapMode(dc, mode); }

bool set_window_ext(HDC dc, int32_t x, int32_t y) { return SetWindowExtEx(dc, x, y, nullptr) != 0; }

bool set_viewport_ext(HDC dc, int32_t x, int32_t y) { return SetViewportExtEx(dc, x, y, nullptr) != 0; }

bool set_viewport_org(HDC dc, int32_t x, int32_t y) { return SetViewportOrgEx(dc, x, y, nullptr) != 0; }

bool set_window_org(HDC dc, int32_t x, int32_t y) { return SetWindowOrgEx(dc, x, y, nullptr) != 0; }

int32_t intersect_clip_rect(HDC dc, int32_t left, int32_t top, int32_t right, int32_t bottom) {
    return IntersectClipRect(dc, left, top, right, bottom);
}

int32_t stretch_dib_bits(HDC dc, int32_t x, int32_t y, int32_t width, int32_t height, int32_t source_x,
                         int32_t source_y, int32_t source_width, int32_t source_height, const void* bits,
                         const BITMAPINFO* info, uint32_t usage, uint32_t rop) {
    return StretchDIBits(dc, x, y, width, height, source_x, source_y, source_width, source_height, bits, info, usage,
                         rop);
}

HDC create_compatible_dc(HDC dc) { return CreateCompatibleDC(dc); }

GraphicsHandle select_object(HDC dc, GraphicsHandle object) { return SelectObject(dc, static_cast<HGDIOBJ>(object)); }

bool stretch_blt(HDC dc, int32_t x, int32_t y, int32_t width, int32_t height, HDC source, int32_t source_x,
                 int32_t source_y, int32_t source_width, int32_t source_height, uint32_t rop) {
    return StretchBlt(dc, x, y, width, height, source, source_x, source_y, source_width, source_height, rop) != 0;
}

bool delete_dc(HDC dc) { return DeleteDC(dc) != 0; }

int32_t get_object(GraphicsHandle object, int32_t size, void* out) {
    return GetObjectA(static_cast<HGDIOBJ>(object), size, out);
}

bool delete_object(GraphicsHandle object) { return DeleteObject(static_cast<HGDIOBJ>(object)) != 0; }

GraphicsHandle load_image(const char* name, uint32_t type, int32_t width, int32_t height, uint32_t flags) {
    return LoadImageA(nullptr, name, type, width, height, flags);
}

GraphicsHandle create_font(int32_t height, int32_t width, int32_t escapement, int32_t orientation, int32_t weight,
                           uint32_t italic, uint32_t underline, uint32_t strike_out, uint32_t charset,
                           uint32_t out_precision, uint32_t clip_precision, uint32_t quality,
                           uint32_t pitch_and_family, const char* face) {
    return CreateFontA(height, width, escapement, orientation, weight, italic, underline, strike_out, charset,
                       out_precision, clip_precision, quality, pitch_and_family, face);
}

uint32_t set_text_color(HDC dc, COLORREF color) { return SetTextColor(dc, color); }

int32_t set_bk_mode(HDC dc, int32_t mode) { return SetBkMode(dc, mode); }

bool get_text_extent_point(HDC dc, const char* text, int32_t count, SIZE* size) {
    return GetTextExtentPoint32A(dc, text, count, size) != 0;
}

bool set_text_justification(HDC dc, int32_t extra, int32_t breaks) {
    return SetTextJustification(dc, extra, breaks) != 0;
}

bool text_out(HDC dc, int32_t x, int32_t y, const char* text, int32_t count) {
    return TextOutA(dc, x, y, text, count) != 0;
}

}  // namespace vantorel::platform

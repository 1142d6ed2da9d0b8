// The held BMP picture: the platform reads the file into a DIB section, which is
// painted from a memory device context until it is freed. One at a time.
#include "front/front.h"

namespace vantorel {

namespace {

platform::GraphicsHandle g_bitmap = nullptr;
platform::BITMAP g_description{};

}  // namespace

bool LoadBitmapFile(const char* name) {
    if (g_bitmap != nullptr) FreeBitmapFile();
    g_bitmap = nullptr;
    g_bitmap = platform::load_image(name, platform::GFX_IMAGE_BITMAP, 0, 0,
                                    platform::GFX_LR_CREATEDIBSECTION | platform::GFX_LR_LOADFROMFILE);
    if (g_bitmap == nullptr) return false;
    platform::get_object(g_bitmap, static_cast<int32_t>(sizeof g_description), &g_description);
    return true;
}

bool PaintBitmapFile(HDC dc, const RECT* rect) {
    if (g_bitmap == nullptr) return false;
    if (rect == nullptr) return true;  // nowhere to draw; the bitmap stays held
    HDC memory = platform::create_compatible_dc(dc);
    platform::select_object(memory, g_bitmap);
    platform::stretch_blt(dc, rect->left, rect->top, static_cast<int32_t>(0u + rect->right - rect->left),
                          static_cast<int32_t>(0u + rect->bottom - rect->top), memory, 0, 0,
                          g_description.bmWidth, g_description.bmHeight, platform::GFX_SRCCOPY);
    platform::delete_dc(memory);
    return true;
}

bool FreeBitmapFile() {
    if (g_bitmap == nullptr) return false;
    platform::delete_object(g_bitmap);
    g_bitmap = nullptr;
    return true;
}

bool RenderBitmapFile(HDC dc, const RECT* rect, const char* name) {
    if (LoadBitmapFile(name)) {
        PaintBitmapFile(dc, rect);
        FreeBitmapFile();
    }
    return true;
}

}  // namespace vantorel

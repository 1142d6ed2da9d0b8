// The eleven exports: thin shells over the front's routines, plus the choice of
// renderer by file name.
#include <cctype>
#include <cstring>

#include "front/front.h"

namespace {

VANTOREL_BOOL flag(bool value) { return value ? 1 : 0; }

}  // namespace

extern "C" {

VANTOREL_BOOL VT_CALL VtRender(HDC dc, const RECT* rect, char* name) {
    if (name == nullptr) return 0;
    // The caller's buffer is lowered in place: the host sees the lowered name.
    for (char* c = name; *c != '\0'; ++c) *c = static_cast<char>(std::tolower(static_cast<unsigned char>(*c)));
    // The extensions are looked for anywhere in the name, in this order.
    if (std::strstr(name, ".wmf") != nullptr || std::strstr(name, ".emf") != nullptr)
        return flag(vantorel::PlayMetafileFile(dc, rect, name));
    if (std::strstr(name, ".bmp") != nullptr) return flag(vantorel::RenderBitmapFile(dc, rect, name));
    if (std::strstr(name, ".jpg") != nullptr) return flag(vantorel::RenderJpeg(dc, rect, name));
    return 0;
}

VANTOREL_BOOL VT_CALL VtRenderWMF(HDC dc, const RECT* rect, const char* name) {
    return flag(vantorel::PlayMetafileFile(dc, rect, name));
}

VANTOREL_BOOL VT_CALL VtRenderJPG(HDC dc, const RECT* rect, const char* name) {
    return flag(vantorel::RenderJpeg(dc, rect, name));
}

VANTOREL_BOOL VT_CALL VtLoadJPG(const char* name) { return flag(vantorel::LoadJpeg(name)); }

VANTOREL_BOOL VT_CALL VtFreeJPG(uint32_t) { return flag(vantorel::FreeJpeg()); }

VANTOREL_BOOL VT_CALL VtPaintJPG(HDC dc, const RECT* rect) { return flag(vantorel::PaintJpeg(dc, rect)); }

VANTOREL_BOOL VT_CALL VtRenderBMP(HDC dc, const RECT* rect, const char* name) {
    return flag(vantorel::RenderBitmapFile(dc, rect, name));
}

VANTOREL_BOOL VT_CALL VtLoadBMP(const char* name) { return flag(vantorel::LoadBitmapFile(name)); }

VANTOREL_BOOL VT_CALL VtFreeBMP(uint32_t) { return flag(vantorel::FreeBitmapFile()); }

VANTOREL_BOOL VT_CALL VtPaintBMP(HDC dc, const RECT* rect) { return flag(vantorel::PaintBitmapFile(dc, rect)); }

VANTOREL_BOOL VT_CALL VtTextParagraph(HDC dc, const char* text, const RECT* rect, PARAGRAPH_FONT font,
                                int32_t alignment, double line_spacing) {
    return flag(vantorel::DrawParagraph(dc, text, rect, font, alignment, line_spacing));
}

}  // extern "C"

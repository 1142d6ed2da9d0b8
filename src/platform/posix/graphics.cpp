// Native stand-in for the graphics calls: records each call with its arguments
// and answers deterministically (see graphics_log.h). Nothing is drawn.
#include "platform/posix/graphics_log.h"

#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>

namespace vantorel::platform {

namespace {

enum class Kind { FONT, BITMAP, ENH_METAFILE, METAFILE, MEMORY_DC };

struct Object {
    Kind kind;
    int32_t width = 0;   // bitmaps
    int32_t height = 0;  // bitmaps; fonts: the requested height
};

struct DcState {
    GraphicsHandle font = nullptr;
    GraphicsHandle bitmap = nullptr;
    int32_t saved_levels = 0;
};

constexpr uintptr_t kStockFont = 0xF0;
constexpr uintptr_t kStockBitmap = 0xB0;

struct LogState {
    std::vector<std::string> calls;
    std::map<uintptr_t, Object> objects;
    std::map<uintptr_t, DcState> dcs;
    uintptr_t next_handle = 0x1000;
    bool fail_fonts = false;
    graphics_log::DibPaint last_paint;
};

LogState& state() {
    static LogState s;
    return s;
}

void log(const char* format, ...) __attribute__((format(printf, 1, 2)));
void log(const char* format, ...) {
    char line[1024];
    va_list args;
    va_start(args, format);
    std::vsnprintf(line, sizeof line, format, args);
    va_end(args);
    state().calls.emplace_back(line);
}

uintptr_t id(const void* handle) { return reinterpret_cast<uintptr_t>(handle); }

GraphicsHandle make(Object object) {
    uintptr_t h = state().next_handle++;
    state().objects[h] = object;
    return reinterpret_cast<GraphicsHandle>(h);
}

Object* find(GraphicsHandle handle, Kind kind) {
    auto it = state().objects.find(id(handle));
    if (it == state().objects.end() || it->second.kind != kind) return nullptr;
    return &it->second;
}

bool erase(GraphicsHandle handle, Kind kind) {
    if (find(handle, kind) == nullptr) return false;
    state().objects.erase(id(handle));
    return true;
}

DcState& dc_state(HDC dc) {
    auto [it, inserted] = state().dcs.try_emplace(id(dc));
    if (inserted) {
        it->second.font = reinterpret_cast<GraphicsHandle>(kStockFont);
        it->second.bitmap = reinterpret_cast<GraphicsHandle>(kStockBitmap);
    }
    return it->second;
}

// Reads up to n leading bytes of a file; returns how many were read.
size_t read_head(const char* name, uint8_t* out, size_t n) {
    if (name == nullptr) return 0;
    std::FILE* f = std::fopen(name, "rb");
    if (f == nullptr) return 0;
    size_t got = std::fread(out, 1, n, f);
    std::fclose(f);
    return got;
}

uint16_t le16(const uint8_t* p) { return static_cast<uint16_t>(p[0] | p[1] << 8); }
uint32_t le32(const uint8_t* p) { return p[0] | p[1] << 8 | p[2] << 16 | static_cast<uint32_t>(p[3]) << 24; }

// A Windows metafile without the placeable header: type 1 or 2, header of 9 words.
bool is_plain_metafile(const uint8_t* p, size_t n) {
    return n >= 18 && (le16(p) == 1 || le16(p) == 2) && le16(p + 2) == 9;
}

std::string quoted(const char* text, int32_t count) {
    if (text == nullptr) return "null";
    std::string s = "\"";
    for (int32_t i = 0; i < count; ++i) s += text[i];
    return s + "\"";
}

const char* name_or_null(const char* name) { return name == nullptr ? "null" : name; }

}  // namespace

namespace graphics_log {

void reset() { state() = LogState{}; }

const std::vector<std::string>& calls() { return state().calls; }

std::vector<std::string> calls_named(const std::string& name) {
    std::vector<std::string> out;
    for (const auto& c : state().calls)
        if (c.compare(0, name.size() + 1, name + "(") == 0) out.push_back(c);
    return out;
}

int live_objects() { return static_cast<int>(state().objects.size()); }

const DibPaint& last_dib_paint() { return state().last_paint; }

void fail_font_creation(bool fail) { state().fail_fonts = fail; }

}  // namespace graphics_log

GraphicsHandle get_enh_metafile(const char* name) {
    uint8_t head[44];
    size_t n = read_head(name, head, sizeof head);
    GraphicsHandle h = nullptr;
    if (n == sizeof head && le32(head) == 1 && std::memcmp(head + 40, " EMF", 4) == 0)
        h = make({Kind::ENH_METAFILE});
    log("GetEnhMetaFileA(%s)=%#lx", name_or_null(name), static_cast<unsigned long>(id(h)));
    return h;
}

bool play_enh_metafile(HDC dc, GraphicsHandle metafile, const RECT* rect) {
    if (rect == nullptr) {
        log("PlayEnhMetaFile(%#lx,%#lx,null)", static_cast<unsigned long>(id(dc)),
            static_cast<unsigned long>(id(metafile)));
        return false;
    }
    log("PlayEnhMetaFile(%#lx,%#lx,%d,%d,%d,%d)", static_cast<unsigned long>(id(dc)),
        static_cast<unsigned long>(id(metafile)), rect->left, rect->top, rect->right, rect->bottom);
    return find(metafile, Kind::ENH_METAFILE) != nullptr;
}

bool delete_enh_metafile(GraphicsHandle metafile) {
    log("DeleteEnhMetaFile(%#lx)", static_cast<unsigned long>(id(metafile)));
    return erase(metafile, Kind::ENH_METAFILE);
}

GraphicsHandle get_metafile(const char* name) {
    uint8_t head[18];
    size_t n = read_head(name, head, sizeof head);
    GraphicsHandle h = is_plain_metafile(head, n) ? make({Kind::METAFILE}) : nullptr;
    log("GetMetaFileA(%s)=%#lx", name_or_null(name), static_cast<unsigned long>(id(h)));
    return h;
}

GraphicsHandle set_metafile_bits(uint32_t size, const uint8_t* data) {
    GraphicsHandle h = data != nullptr && is_plain_metafile(data, size) ? make({Kind::METAFILE}) : nullptr;
    log("SetMetaFileBitsEx(%u)=%#lx", size, static_cast<unsigned long>(id(h)));
    return h;
}

bool play_metafile(HDC dc, GraphicsHandle metafile) {
    log("PlayMetaFile(%#lx,%#lx)", static_cast<unsigned long>(id(dc)), static_cast<unsigned long>(id(metafile)));
    return find(metafile, Kind::METAFILE) != nullptr;
}

bool delete_metafile(GraphicsHandle metafile) {
    log("DeleteMetaFile(%#lx)", static_cast<unsigned long>(id(metafile)));
    return erase(metafile, Kind::METAFILE);
}

int32_t save_dc(HDC dc) {
    int32_t level = ++dc_state(dc).saved_levels;
    log("SaveDC(%#lx)=%d", static_cast<unsigned long>(id(dc)), level);
    return level;
}

bool restore_dc(HDC dc, int32_t saved) {
    log("RestoreDC(%#lx,%d)", static_cast<unsigned long>(id(dc)), saved);
    DcState& s = dc_state(dc);
    if (saved <= 0 || saved > s.saved_levels) return false;
    s.saved_levels = saved - 1;
    return true;
}

int32_t set_map_mode(HDC dc, int32_t mode) {
    log("SetMapMode(%#lx,%d)", static_cast<unsigned long>(id(dc)), mode);
    return 1;
}

bool set_window_ext(HDC dc, int32_t x, int32_t y) {
    log("SetWindowExtEx(%#lx,%d,%d)", static_cast<unsigned long>(id(dc)), x, y);
    return true;
}

bool set_viewport_ext(HDC dc, int32_t x, int32_t y) {
    log("SetViewportExtEx(%#lx,%d,%d)", static_cast<unsigned long>(id(dc)), x, y);
    return true;
}

bool set_viewport_org(HDC dc, int32_t x, int32_t y) {
    log("SetViewportOrgEx(%#lx,%d,%d)", static_cast<unsigned long>(id(dc)), x, y);
    return true;
}

bool set_window_org(HDC dc, int32_t x, int32_t y) {
    log("SetWindowOrgEx(%#lx,%d,%d)", static_cast<unsigned long>(id(dc)), x, y);
    return true;
}

int32_t intersect_clip_rect(HDC dc, int32_t left, int32_t top, int32_t right, int32_t bottom) {
    log("IntersectClipRect(%#lx,%d,%d,%d,%d)", static_cast<unsigned long>(id(dc)), left, top, right, bottom);
    return 2;  // a simple rectangular region
}

int32_t stretch_dib_bits(HDC dc, int32_t x, int32_t y, int32_t width, int32_t height, int32_t source_x,
                         int32_t source_y, int32_t source_width, int32_t source_height, const void* bits,
                         const BITMAPINFO* info, uint32_t usage, uint32_t rop) {
    log("StretchDIBits(%#lx,%d,%d,%d,%d,%d,%d,%d,%d,%s,%s,%u,%#x)", static_cast<unsigned long>(id(dc)), x, y,
        width, height, source_x, source_y, source_width, source_height, bits ? "bits" : "null",
        info ? "info" : "null", usage, rop);
    graphics_log::DibPaint& paint = state().last_paint;
    paint.bits = bits;
    paint.info = info != nullptr ? *info : BITMAPINFO{};
    paint.source_width = source_width;
    paint.source_height = source_height;
    return bits != nullptr && info != nullptr ? height : 0;
}

HDC create_compatible_dc(HDC dc) {
    GraphicsHandle h = make({Kind::MEMORY_DC});
    log("CreateCompatibleDC(%#lx)=%#lx", static_cast<unsigned long>(id(dc)), static_cast<unsigned long>(id(h)));
    return static_cast<HDC>(h);
}

GraphicsHandle select_object(HDC dc, GraphicsHandle object) {
    GraphicsHandle previous = nullptr;
    DcState& s = dc_state(dc);
    if (find(object, Kind::FONT) != nullptr || id(object) == kStockFont) {
        previous = s.font;
        s.font = object;
    } else if (find(object, Kind::BITMAP) != nullptr || id(object) == kStockBitmap) {
        previous = s.bitmap;
        s.bitmap = object;
    }
    log("SelectObject(%#lx,%#lx)=%#lx", static_cast<unsigned long>(id(dc)), static_cast<unsigned long>(id(object)),
        static_cast<unsigned long>(id(previous)));
    return previous;
}

bool stretch_blt(HDC dc, int32_t x, int32_t y, int32_t width, int32_t height, HDC source, int32_t source_x,
                 int32_t source_y, int32_t source_width, int32_t source_height, uint32_t rop) {
    log("StretchBlt(%#lx,%d,%d,%d,%d,%#lx,%d,%d,%d,%d,%#x)", static_cast<unsigned long>(id(dc)), x, y, width,
        height, static_cast<unsigned long>(id(source)), source_x, source_y, source_width, source_height, rop);
    return find(source, Kind::MEMORY_DC) != nullptr;
}

bool delete_dc(HDC dc) {
    log("DeleteDC(%#lx)", static_cast<unsigned long>(id(dc)));
    state().dcs.erase(id(dc));
    return erase(dc, Kind::MEMORY_DC);
}

int32_t get_object(GraphicsHandle object, int32_t size, void* out) {
    log("GetObjectA(%#lx,%d)", static_cast<unsigned long>(id(object)), size);
    const Object* bitmap = find(object, Kind::BITMAP);
    if (bitmap == nullptr || out == nullptr || size < static_cast<int32_t>(sizeof(BITMAP))) return 0;
    BITMAP description{};
    description.bmWidth = bitmap->width;
    description.bmHeight = bitmap->height;
    description.bmPlanes = 1;
    description.bmBitsPixel = 32;
    description.bmWidthBytes = bitmap->width * 4;
    std::memcpy(out, &description, sizeof description);
    return static_cast<int32_t>(sizeof description);
}

bool delete_object(GraphicsHandle object) {
    log("DeleteObject(%#lx)", static_cast<unsigned long>(id(object)));
    return erase(object, Kind::FONT) || erase(object, Kind::BITMAP);
}

GraphicsHandle load_image(const char* name, uint32_t type, int32_t width, int32_t height, uint32_t flags) {
    uint8_t head[26];
    size_t n = read_head(name, head, sizeof head);
    GraphicsHandle h = nullptr;
    if (type == GFX_IMAGE_BITMAP && n == sizeof head && head[0] == 'B' && head[1] == 'M') {
        Object bitmap{Kind::BITMAP};
        if (le32(head + 14) == 12) {  // the oldest header: 16-bit sizes
            bitmap.width = le16(head + 18);
            bitmap.height = le16(head + 20);
        } else {
            bitmap.width = static_cast<int32_t>(le32(head + 18));
            int32_t h32 = static_cast<int32_t>(le32(head + 22));
            bitmap.height = h32 < 0 ? -h32 : h32;
        }
        h = make(bitmap);
    }
    log("LoadImageA(%s,%u,%d,%d,%#x)=%#lx", name_or_null(name), type, width, height, flags,
        static_cast<unsigned long>(id(h)));
    return h;
}

GraphicsHandle create_font(int32_t height, int32_t width, int32_t escapement, int32_t orientation, int32_t weight,
                           uint32_t italic, uint32_t underline, uint32_t strike_out, uint32_t charset,
                           uint32_t out_precision, uint32_t clip_precision, uint32_t quality,
                           uint32_t pitch_and_family, const char* face) {
    GraphicsHandle h = nullptr;
    if (!state().fail_fonts) h = make({Kind::FONT, 0, height});
    log("CreateFontA(%d,%d,%d,%d,%d,%u,%u,%u,%u,%u,%u,%u,%u,%s)=%#lx", height, width, escapement, orientation,
        weight, italic, underline, strike_out, charset, out_precision, clip_precision, quality, pitch_and_family,
        name_or_null(face), static_cast<unsigned long>(id(h)));
    return h;
}

uint32_t set_text_color(HDC dc, COLORREF color) {
    log("SetTextColor(%#lx,%#x)", static_cast<unsigned long>(id(dc)), color);
    return 0;
}

int32_t set_bk_mode(HDC dc, int32_t mode) {
    log("SetBkMode(%#lx,%d)", static_cast<unsigned long>(id(dc)), mode);
    return 2;
}

bool get_text_extent_point(HDC dc, const char* text, int32_t count, SIZE* size) {
    log("GetTextExtentPoint32A(%#lx,%s,%d)", static_cast<unsigned long>(id(dc)), quoted(text, count).c_str(),
        count);
    const Object* font = find(dc_state(dc).font, Kind::FONT);
    int32_t height = font != nullptr ? std::abs(font->height) : 0;
    if (height == 0) height = 16;
    if (size != nullptr) {
        size->cx = count * (height / 2);
        size->cy = height;
    }
    return true;
}

bool set_text_justification(HDC dc, int32_t extra, int32_t breaks) {
    log("SetTextJustification(%#lx,%d,%d)", static_cast<unsigned long>(id(dc)), extra, breaks);
    return true;
}

bool text_out(HDC dc, int32_t x, int32_t y, const char* text, int32_t count) {
    log("TextOutA(%#lx,%d,%d,%s,%d)", static_cast<unsigned long>(id(dc)), x, y, quoted(text, count).c_str(), count);
    return true;
}

}  // namespace vantorel::platform

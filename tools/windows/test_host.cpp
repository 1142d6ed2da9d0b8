// Windows integration host: loads vantorel.dll the way a host application does,
// resolves every export by name and by ordinal, draws into 32-bit DIB-section
// memory device contexts and checks the real pixels. It also links the codec
// itself, for reference decodes, the registry override and the fault guard.
//
//   vantorel_host <corpus folder> <scratch folder>
//
// The scratch folder holds the metafile reference renderings as BMP files
// (made by the test script). Prints one line per check and "N passed, M failed";
// exits non-zero when any check failed.
#include <windows.h>

#include <cmath>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <iterator>
#include <vector>

#include "codec/codec.h"
#include "vantorel/vantorel.h"

using namespace vantorel;

namespace {

// ------------------------------------------------------------------ reporting

int g_passed = 0;
int g_failed = 0;
std::string g_failure;

void fail(const char* format, ...) {
    if (!g_failure.empty()) return;  // the first reason is the one that matters
    char text[512];
    va_list args;
    va_start(args, format);
    std::vsnprintf(text, sizeof text, format, args);
    va_end(args);
    g_failure = text;
}

void check(bool condition, const char* what) {
    if (!condition) fail("%s", what);
}

void run(const char* name, void (*test)()) {
    g_failure.clear();
    test();
    if (g_failure.empty()) {
        ++g_passed;
        std::printf("PASS %s\n", name);
    } else {
        ++g_failed;
        std::printf("FAIL %s: %s\n", name, g_failure.c_str());
    }
    std::fflush(stdout);
}

// ---------------------------------------------------------------- the library

using RenderFn = VANTOREL_BOOL(WINAPI*)(HDC, const RECT*, char*);
using RenderConstFn = VANTOREL_BOOL(WINAPI*)(HDC, const RECT*, const char*);
using LoadFn = VANTOREL_BOOL(WINAPI*)(const char*);
using FreeFn = VANTOREL_BOOL(WINAPI*)(uint32_t);
using PaintFn = VANTOREL_BOOL(WINAPI*)(HDC, const RECT*);
using ParagraphFn = VANTOREL_BOOL(WINAPI*)(HDC, const char*, const RECT*, PARAGRAPH_FONT, int32_t, double);

const char* const kExportNames[11] = {"VtRender",   "VtRenderWMF", "VtRenderJPG", "VtLoadJPG",
                                      "VtFreeJPG",  "VtPaintJPG",  "VtRenderBMP", "VtLoadBMP",
                                      "VtFreeBMP",  "VtPaintBMP",  "VtTextParagraph"};

HMODULE g_library = nullptr;
FARPROC g_exports[11];

template <typename Fn>
Fn api(int ordinal) {
    return reinterpret_cast<Fn>(reinterpret_cast<void*>(g_exports[ordinal - 1]));
}

std::string g_corpus;
std::string g_scratch;

std::string corpus(const char* relative) { return g_corpus + "/" + relative; }

bool file_exists(const std::string& path) { return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

// ------------------------------------------------------------------- canvases

constexpr uint32_t kBackground = 0x00FF00FF;  // magenta: in none of the pictures

struct Canvas {
    HDC dc = nullptr;
    HBITMAP bitmap = nullptr;
    HGDIOBJ previous = nullptr;
    uint32_t* pixels = nullptr;
    int width = 0;
    int height = 0;

    Canvas(int w, int h, uint32_t fill = kBackground) : width(w), height(h) {
        dc = CreateCompatibleDC(nullptr);
        BITMAPINFO info{};
        info.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
        info.bmiHeader.biWidth = w;
        info.bmiHeader.biHeight = -h;
        info.bmiHeader.biPlanes = 1;
        info.bmiHeader.biBitCount = 32;
        void* bits = nullptr;
        bitmap = CreateDIBSection(dc, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
        pixels = static_cast<uint32_t*>(bits);
        previous = SelectObject(dc, bitmap);
        for (int i = 0; i < w * h; ++i) pixels[i] = fill;
    }
    ~Canvas() {
        SelectObject(dc, previous);
        DeleteObject(bitmap);
        DeleteDC(dc);
    }
    Canvas(const Canvas&) = delete;
    Canvas& operator=(const Canvas&) = delete;

    uint32_t at(int x, int y) const {
        GdiFlush();
        return pixels[y * width + x] & 0xFFFFFF;
    }
    // Pixels outside r that are no longer the fill colour.
    int changed_outside(const RECT& r, uint32_t fill = kBackground) const {
        GdiFlush();
        int n = 0;
        for (int y = 0; y < height; ++y)
            for (int x = 0; x < width; ++x)
                if ((x < r.left || x >= r.right || y < r.top || y >= r.bottom) && at(x, y) != (fill & 0xFFFFFF)) ++n;
        return n;
    }
    int changed_inside(const RECT& r, uint32_t fill = kBackground) const {
        GdiFlush();
        int n = 0;
        for (int y = r.top; y < r.bottom; ++y)
            for (int x = r.left; x < r.right; ++x)
                if (at(x, y) != (fill & 0xFFFFFF)) ++n;
        return n;
    }
};

// ---------------------------------------------------------- codec references

// The codec's own decode in the layout the library holds, as 0x00RRGGBB pixels.
bool codec_decode(const std::string& path, std::vector<uint32_t>* out, int* width, int* height) {
    auto* record = static_cast<JPEG_RECORD*>(std::calloc(1, sizeof(JPEG_RECORD)));
    if (record == nullptr || open_codec(record) != STATUS_SUCCESS) {
        std::free(record);
        return false;
    }
    bool ok = false;
    record->jpeg_path = path.c_str();
    if (read_image(record, READ_PARAMS_FILE) == STATUS_SUCCESS) {
        const int w = record->jpeg_width, h = record->jpeg_height, n = record->jpeg_channels;
        const int channels = n == 4 ? 4 : 3;
        if (n == 1) record->jpeg_color = CS_GRAY;
        if (n == 3 && record->jpeg_color != CS_RGB) record->jpeg_color = CS_YCBCR;
        if (n == 4 && record->jpeg_color != CS_QUAD) record->jpeg_color = CS_YCC_QUAD;
        const int row = (w * channels + 3) & ~3;
        std::vector<uint8_t> dib(static_cast<size_t>(row) * h);
        record->dib_pixels = dib.data();
        record->dib_width = w;
        record->dib_height = h;
        record->dib_channels = channels;
        record->dib_color = channels == 4 ? CS_QUAD : CS_BGR;
        record->dib_row_pad = row - w * channels;
        if (read_image(record, READ_IMAGE_FILE) == STATUS_SUCCESS) {
            out->assign(static_cast<size_t>(w) * h, 0);
            for (int y = 0; y < h; ++y)
                for (int x = 0; x < w; ++x) {
                    const uint8_t* p = dib.data() + y * row + x * channels;
                    uint32_t b = p[0], g = p[1], r = p[2];
                    if (channels == 4) {  // the four-channel pass, done here independently
                        const uint32_t k = p[3];
                        r = (p[0] * k + 1) >> 8;
                        g = (p[1] * k + 1) >> 8;
                        b = (p[2] * k + 1) >> 8;
                    }
                    (*out)[static_cast<size_t>(y) * w + x] = r << 16 | g << 8 | b;
                }
            *width = w;
            *height = h;
            ok = true;
        }
    }
    close_codec(record);
    std::free(record);
    return ok;
}

// ---------------------------------------------------------------------- tests

void exports_resolve_by_name_and_ordinal() {
    for (int i = 0; i < 11; ++i) {
        FARPROC by_name = GetProcAddress(g_library, kExportNames[i]);
        FARPROC by_ordinal = GetProcAddress(g_library, MAKEINTRESOURCEA(i + 1));
        if (by_name == nullptr || by_name != by_ordinal) fail("%s is not export %d", kExportNames[i], i + 1);
    }
}

void jpeg_painted_one_to_one_matches_the_codecs_decode() {
    const char* files[] = {"libjpeg-turbo/testorig.jpg", "jpeg-decoder/reftest/images/mozilla/jpg-gray.jpg",
                           "jpeg-decoder/reftest/images/mozilla/jpg-cmyk-1.jpg"};
    for (const char* file : files) {
        const std::string path = corpus(file);
        std::vector<uint32_t> expected;
        int w = 0, h = 0;
        if (!codec_decode(path, &expected, &w, &h)) return fail("the codec cannot decode %s", file);
        Canvas canvas(w, h);
        if (!api<LoadFn>(4)(path.c_str())) return fail("VtLoadJPG(%s) failed", file);
        RECT r{0, 0, w, h};
        check(api<PaintFn>(6)(canvas.dc, &r) != 0, "VtPaintJPG reported nothing held");
        check(api<FreeFn>(5)(0) != 0, "VtFreeJPG reported nothing held");
        int differ = 0;
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x)
                if (canvas.at(x, y) != expected[static_cast<size_t>(y) * w + x]) ++differ;
        if (differ != 0) fail("%s: %d of %d pixels differ from the codec's decode", file, differ, w * h);
    }
}

void jpeg_painted_into_a_rectangle_stays_inside_it() {
    Canvas canvas(200, 160);
    const RECT r{30, 40, 130, 90};
    check(api<RenderConstFn>(3)(canvas.dc, &r, corpus("libjpeg-turbo/testorig.jpg").c_str()) != 0,
          "VtRenderJPG returned false");
    if (canvas.changed_outside(r) != 0) fail("%d pixels drawn outside the rectangle", canvas.changed_outside(r));
    if (canvas.changed_inside(r) < 100 * 50 * 95 / 100) fail("the rectangle is not filled");
    check(canvas.at(30, 40) != kBackground && canvas.at(129, 89) != kBackground, "corners not painted");
}

void held_jpeg_lifecycle() {
    Canvas canvas(10, 10);
    RECT r{0, 0, 10, 10};
    check(api<FreeFn>(5)(0) == 0, "VtFreeJPG with nothing held returned true");
    check(api<PaintFn>(6)(canvas.dc, &r) == 0, "VtPaintJPG with nothing held returned true");
    check(api<LoadFn>(4)("no such file.jpg") == 0, "loading a missing file returned true");
    check(api<RenderConstFn>(3)(canvas.dc, &r, "no such file.jpg") != 0, "VtRenderJPG of a missing file was false");
    check(canvas.changed_inside(r) == 0, "a missing file drew something");
    check(api<LoadFn>(4)(corpus("libjpeg-turbo/testorig.jpg").c_str()) != 0, "load failed");
    check(api<LoadFn>(4)(corpus("libjpeg-turbo/testimgari.jpg").c_str()) == 0, "an unsupported file loaded");
    check(api<PaintFn>(6)(canvas.dc, &r) == 0, "a failed load left a picture held");
    check(api<FreeFn>(5)(0) == 0, "a failed load left something to free");
}

// The platform's own LoadImage + StretchBlt, for comparing BMP painting.
void reference_bmp(HDC dc, const RECT& r, const std::string& path) {
    HBITMAP bitmap = static_cast<HBITMAP>(
        LoadImageA(nullptr, path.c_str(), IMAGE_BITMAP, 0, 0, LR_CREATEDIBSECTION | LR_LOADFROMFILE));
    if (bitmap == nullptr) return;
    BITMAP description{};
    GetObjectA(bitmap, sizeof description, &description);
    HDC memory = CreateCompatibleDC(dc);
    HGDIOBJ old = SelectObject(memory, bitmap);
    StretchBlt(dc, r.left, r.top, r.right - r.left, r.bottom - r.top, memory, 0, 0, description.bmWidth,
               description.bmHeight, SRCCOPY);
    SelectObject(memory, old);
    DeleteDC(memory);
    DeleteObject(bitmap);
}

void bmp_of_each_depth_paints_as_the_platform_does() {
    const std::string folder = corpus("pillow/bmp/g");
    WIN32_FIND_DATAA found;
    HANDLE search = FindFirstFileA((folder + "/*.bmp").c_str(), &found);
    if (search == INVALID_HANDLE_VALUE) return fail("no BMP files in %s", folder.c_str());
    int files = 0;
    do {
        const std::string path = folder + "/" + found.cFileName;
        const RECT r{7, 5, 107, 85};
        Canvas mine(120, 100), theirs(120, 100);
        reference_bmp(theirs.dc, r, path);
        check(api<RenderConstFn>(7)(mine.dc, &r, path.c_str()) != 0, "VtRenderBMP returned false");
        GdiFlush();
        int differ = 0;
        for (int i = 0; i < 120 * 100; ++i)
            if ((mine.pixels[i] & 0xFFFFFF) != (theirs.pixels[i] & 0xFFFFFF)) ++differ;
        if (differ != 0) fail("%s: %d pixels differ from LoadImage + StretchBlt", found.cFileName, differ);
        if (mine.changed_outside(r) != 0) fail("%s: drawn outside the rectangle", found.cFileName);
        ++files;
    } while (FindNextFileA(search, &found));
    FindClose(search);
    check(files >= 10, "too few BMP files found");
}

void held_bmp_lifecycle() {
    const std::string path = corpus("pillow/bmp/g/rgb24.bmp");
    Canvas canvas(64, 64);
    RECT a{0, 0, 32, 32}, b{32, 32, 64, 64};
    check(api<FreeFn>(9)(0) == 0, "VtFreeBMP with nothing held returned true");
    check(api<PaintFn>(10)(canvas.dc, &a) == 0, "VtPaintBMP with nothing held returned true");
    check(api<LoadFn>(8)(path.c_str()) != 0, "VtLoadBMP failed");
    check(api<PaintFn>(10)(canvas.dc, &a) != 0 && api<PaintFn>(10)(canvas.dc, &b) != 0, "VtPaintBMP failed");
    check(canvas.changed_inside(a) > 900 && canvas.changed_inside(b) > 900, "held bitmap not painted twice");
    check(api<FreeFn>(9)(0) != 0, "VtFreeBMP failed");
    check(api<FreeFn>(9)(0) == 0, "second VtFreeBMP returned true");
    check(api<LoadFn>(8)("no such file.bmp") == 0, "a missing BMP loaded");
}

// Share of pixels whose "red" classification agrees with a reference picture
// scaled to the rectangle.
double agreement_with(const Canvas& canvas, const RECT& r, const std::string& reference_bmp_path) {
    Canvas reference(canvas.width, canvas.height);
    reference_bmp(reference.dc, r, reference_bmp_path);
    GdiFlush();
    auto red = [](uint32_t c) { return ((c >> 16) & 0xFF) > 160 && ((c >> 8) & 0xFF) < 96 && (c & 0xFF) < 96; };
    int agree = 0, total = 0;
    for (int y = r.top; y < r.bottom; ++y)
        for (int x = r.left; x < r.right; ++x) {
            ++total;
            if (red(canvas.at(x, y)) == red(reference.at(x, y))) ++agree;
        }
    return total == 0 ? 0 : static_cast<double>(agree) / total;
}

// Bounding box of the red pixels inside r.
RECT red_box(const Canvas& canvas, const RECT& r) {
    RECT box{r.right, r.bottom, -1, -1};
    for (int y = r.top; y < r.bottom; ++y)
        for (int x = r.left; x < r.right; ++x) {
            const uint32_t c = canvas.at(x, y);
            if (((c >> 16) & 0xFF) > 160 && ((c >> 8) & 0xFF) < 96 && (c & 0xFF) < 96) {
                if (x < box.left) box.left = x;
                if (y < box.top) box.top = y;
                if (x > box.right) box.right = x;
                if (y > box.bottom) box.bottom = y;
            }
        }
    return box;
}

const RECT kMetafileRect{20, 30, 180, 190};

void draws_inside(const Canvas& canvas, const char* file) {
    const int outside = canvas.changed_outside(kMetafileRect, 0x00FFFFFF);
    if (outside != 0) fail("%s: %d pixels drawn outside the rectangle", file, outside);
    const int inside = canvas.changed_inside(kMetafileRect, 0x00FFFFFF);
    if (inside < 160 * 160 / 2) fail("%s: only %d pixels drawn inside the rectangle", file, inside);
}

void placeable_wmf_draws_inside_its_rectangle() {
    Canvas canvas(220, 220, 0x00FFFFFF);
    check(api<RenderConstFn>(2)(canvas.dc, &kMetafileRect, corpus("pillow/drawing.wmf").c_str()) != 0,
          "VtRenderWMF returned false");
    draws_inside(canvas, "drawing.wmf");
    // The file's box is (0,0)-(1369,1369) and its disc spans 263-1587 in both
    // directions: mapped box onto rectangle, the disc starts 263/1369 of the way
    // in and is cut at the rectangle's right and bottom edges.
    const RECT disc = red_box(canvas, kMetafileRect);
    const int start = 263 * 160 / 1369;
    if (std::abs(disc.left - (kMetafileRect.left + start)) > 4 || std::abs(disc.top - (kMetafileRect.top + start)) > 4 ||
        disc.right < kMetafileRect.right - 2 || disc.bottom < kMetafileRect.bottom - 2)
        fail("the disc is not where the bounding box puts it: (%ld,%ld)-(%ld,%ld)", disc.left, disc.top, disc.right,
             disc.bottom);
    const std::string ref = g_scratch + "/drawing_wmf_ref.bmp";
    if (file_exists(ref))
        std::printf("note: drawing.wmf agrees with its reference rendering on %.0f%% of the rectangle "
                    "(the reference fits the drawing's own extent, which lies partly outside its box)\n",
                    agreement_with(canvas, kMetafileRect, ref) * 100);
}

void emf_draws_inside_its_rectangle() {
    Canvas canvas(220, 220, 0x00FFFFFF);
    std::string name = corpus("pillow/drawing.emf");
    check(api<RenderFn>(1)(canvas.dc, &kMetafileRect, &name[0]) != 0, "VtRender returned false");
    draws_inside(canvas, "drawing.emf");
    const std::string ref = g_scratch + "/drawing_emf_ref.bmp";
    if (!file_exists(ref)) return fail("reference %s missing", ref.c_str());
    const double agreement = agreement_with(canvas, kMetafileRect, ref);
    if (agreement < 0.95) fail("drawing.emf: only %.0f%% like the reference rendering", agreement * 100);
}

void metafiles_leave_the_hosts_mapping_as_it_was() {
    for (const char* file : {"pillow/drawing.wmf", "pillow/drawing.emf"}) {
        Canvas canvas(100, 100, 0x00FFFFFF);
        SetMapMode(canvas.dc, MM_ANISOTROPIC);
        SetWindowExtEx(canvas.dc, 200, 300, nullptr);
        SetViewportExtEx(canvas.dc, 100, 150, nullptr);
        SetWindowOrgEx(canvas.dc, 7, 9, nullptr);
        SetViewportOrgEx(canvas.dc, 3, 4, nullptr);
        const RECT r{0, 0, 100, 100};
        api<RenderConstFn>(2)(canvas.dc, &r, corpus(file).c_str());
        SIZE window{}, viewport{};
        POINT window_org{}, viewport_org{};
        GetWindowExtEx(canvas.dc, &window);
        GetViewportExtEx(canvas.dc, &viewport);
        GetWindowOrgEx(canvas.dc, &window_org);
        GetViewportOrgEx(canvas.dc, &viewport_org);
        if (GetMapMode(canvas.dc) != MM_ANISOTROPIC || window.cx != 200 || window.cy != 300 || viewport.cx != 100 ||
            viewport.cy != 150 || window_org.x != 7 || window_org.y != 9 || viewport_org.x != 3 ||
            viewport_org.y != 4)
            fail("%s changed the host's mapping", file);
    }
}

void render_dispatches_by_lowered_name() {
    Canvas canvas(100, 100, 0x00FFFFFF);
    const RECT r{10, 10, 90, 90};
    std::string name = corpus("pillow/drawing.emf");
    for (char& c : name) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    std::string lowered = name;
    for (char& c : lowered) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    std::vector<char> buffer(name.begin(), name.end());
    buffer.push_back('\0');
    check(api<RenderFn>(1)(canvas.dc, &r, buffer.data()) != 0, "VtRender returned false");
    check(lowered == buffer.data(), "the name was not lowered in place");
    char text[] = "README.TXT";
    check(api<RenderFn>(1)(canvas.dc, &r, text) == 0, "VtRender accepted a .txt name");
}

PARAGRAPH_FONT paragraph_font(int height, double angle) {
    PARAGRAPH_FONT font;
    std::memset(&font, 0, sizeof font);
    std::strcpy(font.face_name, "Tahoma");
    font.height = height;
    font.weight = FW_NORMAL;
    font.smooth = 0;
    font.color = RGB(0, 0, 0);
    font.angle = angle;
    return font;
}

// Bounding box of the pixels that are not white.
RECT ink_box(const Canvas& canvas) {
    RECT box{canvas.width, canvas.height, -1, -1};
    for (int y = 0; y < canvas.height; ++y)
        for (int x = 0; x < canvas.width; ++x)
            if (canvas.at(x, y) != 0xFFFFFF) {
                if (x < box.left) box.left = x;
                if (y < box.top) box.top = y;
                if (x > box.right) box.right = x;
                if (y > box.bottom) box.bottom = y;
            }
    return box;
}

// Whether the platform's text output honours SetTextJustification (Wine 8 does
// not): the same words drawn with extra space must end further right.
bool platform_justifies() {
    auto right_edge = [](int extra) {
        Canvas canvas(400, 40, 0x00FFFFFF);
        HFONT font = CreateFontA(16, 0, 0, 0, FW_NORMAL, 0, 0, 0, DEFAULT_CHARSET, OUT_CHARACTER_PRECIS,
                                 CLIP_CHARACTER_PRECIS, DRAFT_QUALITY, 0, "Tahoma");
        HGDIOBJ old = SelectObject(canvas.dc, font);
        SetBkMode(canvas.dc, TRANSPARENT);
        SetTextJustification(canvas.dc, extra, 3);
        TextOutA(canvas.dc, 0, 0, "ab cd ef gh", 11);
        SelectObject(canvas.dc, old);
        DeleteObject(font);
        return ink_box(canvas).right;
    };
    return right_edge(100) > right_edge(0) + 50;
}

const char kText[] = "The quick brown fox jumps over the lazy dog and keeps running far away from here";

void paragraphs_in_each_alignment_draw_inside_their_box() {
    const RECT box{40, 30, 260, 170};
    RECT ink[4];
    for (int alignment = VT_ALIGN_LEFT; alignment <= VT_ALIGN_JUSTIFY; ++alignment) {
        Canvas canvas(300, 200, 0x00FFFFFF);
        VANTOREL_BOOL released =
            api<ParagraphFn>(11)(canvas.dc, kText, &box, paragraph_font(16, 0), alignment, 1.0);
        check(released != 0, "VtTextParagraph did not release its font");
        ink[alignment - VT_ALIGN_LEFT] = ink_box(canvas);
        const RECT& b = ink[alignment - VT_ALIGN_LEFT];
        if (b.right < 0) return fail("alignment %d drew nothing", alignment);
        if (b.left < box.left || b.right >= box.right || b.top < box.top || b.bottom >= box.bottom)
            fail("alignment %d drew outside its box (%ld,%ld)-(%ld,%ld)", alignment, b.left, b.top, b.right,
                 b.bottom);
    }
    check(ink[0].left <= box.left + 3, "left-aligned text does not start at the left edge");
    check(ink[1].right >= box.right - 4, "right-aligned text does not end at the right edge");
    check(ink[1].left > ink[0].left + 2, "right-aligned text starts where left-aligned text does");
    const int centre = (ink[2].left + ink[2].right) / 2;
    check(std::abs(centre - (box.left + box.right) / 2) <= 8, "centred text is not centred");
    if (!platform_justifies()) {
        std::printf("note: this platform ignores SetTextJustification; justified lines are not checked for width\n");
        check(ink[3].left <= box.left + 3, "justified text does not start at the left edge");
    } else if (ink[3].left > box.left + 3 || ink[3].right < box.right - 6)
        fail("justified lines do not fill the width: ink (%ld,%ld)-(%ld,%ld)", ink[3].left, ink[3].top, ink[3].right,
             ink[3].bottom);
}

void rotated_paragraph_draws_turned() {
    const RECT box{100, 200, 300, 400};
    Canvas flat(400, 500, 0x00FFFFFF), turned(400, 500, 0x00FFFFFF);
    api<ParagraphFn>(11)(flat.dc, "Turned text", &box, paragraph_font(20, 0), VT_ALIGN_LEFT, 1.0);
    check(api<ParagraphFn>(11)(turned.dc, "Turned text", &box, paragraph_font(20, 90), VT_ALIGN_LEFT, 1.0) != 0,
          "VtTextParagraph returned false");
    const RECT a = ink_box(flat), b = ink_box(turned);
    if (b.right < 0) return fail("the rotated paragraph drew nothing");
    check(a.right - a.left > a.bottom - a.top, "unrotated text is not wider than tall");
    check(b.bottom - b.top > b.right - b.left, "text turned by 90 degrees is not taller than wide");
    // The start point (100, 200) turns about the centre (200, 300) to (300, 200),
    // and the text runs upward from there.
    if (b.left < 270 || b.right > 330 || b.bottom > 210 || b.top < 40)
        fail("the turned text is misplaced: (%ld,%ld)-(%ld,%ld)", b.left, b.top, b.right, b.bottom);
}

// Every variant index the registry can force must decode exactly like the
// generic fill (index 0). The value the run started with is put back, so a
// suite run under a forced index keeps it for the tests after this one.
void usecpu_in_the_registry_is_honoured() {
    const char* path = "Software\\Morvane Corporation\\Tessaline\\Quorra";
    HKEY key = nullptr;
    if (RegCreateKeyExA(HKEY_LOCAL_MACHINE, path, 0, nullptr, 0, KEY_SET_VALUE | KEY_QUERY_VALUE, nullptr, &key,
                        nullptr) != ERROR_SUCCESS)
        return fail("cannot create the registry key");
    DWORD saved = 0, saved_type = 0, saved_size = sizeof saved;
    const bool had_value = RegQueryValueExA(key, "USECPU", nullptr, &saved_type, reinterpret_cast<BYTE*>(&saved),
                                            &saved_size) == ERROR_SUCCESS;
    const char* files[] = {"libjpeg-turbo/testorig.jpg", "jpeg-decoder/reftest/images/mozilla/jpg-gray.jpg",
                           "jpeg-decoder/reftest/images/mozilla/jpg-cmyk-1.jpg",
                           "jpeg-decoder/reftest/images/mozilla/jpg-progressive.jpg",
                           "jpeg-decoder/reftest/images/restarts.jpg"};
    std::vector<std::vector<uint32_t>> generic(std::size(files));
    auto* record = static_cast<JPEG_RECORD*>(std::calloc(1, sizeof(JPEG_RECORD)));
    for (DWORD forced : {0u, 1u, 2u, 3u, 4u, 5u, 6u}) {
        RegSetValueExA(key, "USECPU", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&forced), 4);
        std::memset(record, 0, sizeof *record);
        if (open_codec(record) != STATUS_SUCCESS) {
            fail("open_codec failed");
            break;
        }
        if (record->props.processor_variant != static_cast<int32_t>(forced))
            fail("USECPU %lu gave variant %d", forced, record->props.processor_variant);
        close_codec(record);
        for (size_t f = 0; f < std::size(files); ++f) {
            std::vector<uint32_t> pixels;
            int w = 0, h = 0;
            if (!codec_decode(corpus(files[f]), &pixels, &w, &h)) {
                fail("USECPU %lu: the codec cannot decode %s", forced, files[f]);
                continue;
            }
            if (forced == 0)
                generic[f] = pixels;
            else if (pixels != generic[f])
                fail("USECPU %lu: %s decodes unlike the generic fill", forced, files[f]);
        }
    }
    if (had_value)
        RegSetValueExA(key, "USECPU", 0, saved_type, reinterpret_cast<const BYTE*>(&saved), saved_size);
    else
        RegDeleteValueA(key, "USECPU");
    RegCloseKey(key);
    if (!had_value) RegDeleteKeyA(HKEY_LOCAL_MACHINE, path);
    std::free(record);
}

// A stream with a comment before the frame: testorig.jpg with a COM segment
// put in after SOI.
std::vector<uint8_t> stream_with_comment(const char* comment) {
    std::vector<uint8_t> out;
    FILE* f = std::fopen(corpus("libjpeg-turbo/testorig.jpg").c_str(), "rb");
    if (f == nullptr) return out;
    std::vector<uint8_t> file;
    uint8_t chunk[4096];
    size_t n;
    while ((n = std::fread(chunk, 1, sizeof chunk, f)) > 0) file.insert(file.end(), chunk, chunk + n);
    std::fclose(f);
    const size_t length = std::strlen(comment) + 2;
    out = {0xFF, 0xD8, 0xFF, 0xFE, static_cast<uint8_t>(length >> 8), static_cast<uint8_t>(length)};
    out.insert(out.end(), comment, comment + std::strlen(comment));
    out.insert(out.end(), file.begin() + 2, file.end());
    return out;
}

void comment_buffer_on_an_inaccessible_page_gives_minus_30() {
    std::vector<uint8_t> stream = stream_with_comment("a comment the caller cannot take");
    if (stream.empty()) return fail("no stream");
    void* page = VirtualAlloc(nullptr, 4096, MEM_COMMIT | MEM_RESERVE, PAGE_NOACCESS);
    auto* record = static_cast<JPEG_RECORD*>(std::calloc(1, sizeof(JPEG_RECORD)));
    check(open_codec(record) == STATUS_SUCCESS, "open_codec failed");
    record->props.jpeg_comment = static_cast<uint8_t*>(page);
    record->props.jpeg_comment_size = 100;
    record->jpeg_buffer = stream.data();
    record->jpeg_buffer_size = static_cast<int32_t>(stream.size());
    const JPEG_STATUS status = read_image(record, READ_PARAMS_BUFFER);
    if (status != STATUS_COMMENT_BUFFER_ERROR) fail("reading gave %d, not -30", status);
    check(close_codec(record) == STATUS_SUCCESS, "the record did not close");
    std::free(record);
    VirtualFree(page, 0, MEM_RELEASE);
}

void dib_on_a_read_only_page_gives_minus_1_and_the_record_closes() {
    auto* record = static_cast<JPEG_RECORD*>(std::calloc(1, sizeof(JPEG_RECORD)));
    check(open_codec(record) == STATUS_SUCCESS, "open_codec failed");
    const std::string path = corpus("libjpeg-turbo/testorig.jpg");
    record->jpeg_path = path.c_str();
    if (read_image(record, READ_PARAMS_FILE) != STATUS_SUCCESS) {
        fail("parameters request failed");
    } else {
        const int w = record->jpeg_width, h = record->jpeg_height, row = (w * 3 + 3) & ~3;
        void* dib = VirtualAlloc(nullptr, static_cast<SIZE_T>(row) * h, MEM_COMMIT | MEM_RESERVE, PAGE_READONLY);
        record->dib_pixels = static_cast<uint8_t*>(dib);
        record->dib_width = w;
        record->dib_height = h;
        record->dib_row_pad = row - w * 3;
        record->dib_channels = 3;
        record->dib_color = CS_BGR;
        record->jpeg_color = CS_YCBCR;
        const JPEG_STATUS status = read_image(record, READ_IMAGE_FILE);
        if (status != STATUS_EXCEPTION_DETECTED) fail("decoding into a read-only DIB gave %d, not -1", status);
        VirtualFree(dib, 0, MEM_RELEASE);
    }
    check(close_codec(record) == STATUS_SUCCESS, "the record did not close");
    // The codec still works after the fault.
    std::vector<uint32_t> pixels;
    int w, h;
    check(codec_decode(path, &pixels, &w, &h), "decoding after a fault failed");
    std::free(record);
}

void repeated_rendering_leaves_no_graphics_objects() {
    Canvas canvas(120, 120, 0x00FFFFFF);
    const RECT r{0, 0, 120, 120};
    const DWORD before = GetGuiResources(GetCurrentProcess(), GR_GDIOBJECTS);
    for (int i = 0; i < 20; ++i) {
        api<RenderConstFn>(2)(canvas.dc, &r, corpus("pillow/drawing.wmf").c_str());
        api<RenderConstFn>(2)(canvas.dc, &r, corpus("pillow/drawing.emf").c_str());
        api<RenderConstFn>(7)(canvas.dc, &r, corpus("pillow/bmp/g/pal8.bmp").c_str());
        api<ParagraphFn>(11)(canvas.dc, kText, &r, paragraph_font(12, 30), VT_ALIGN_JUSTIFY, 1.0);
    }
    const DWORD after = GetGuiResources(GetCurrentProcess(), GR_GDIOBJECTS);
    if (after > before) fail("%lu graphics objects left behind", after - before);
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 3) {
        std::fprintf(stderr, "usage: %s <corpus folder> <scratch folder>\n", argv[0]);
        return 2;
    }
    g_corpus = argv[1];
    g_scratch = argv[2];
    SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOGPFAULTERRORBOX);

    g_library = LoadLibraryA("vantorel.dll");
    if (g_library == nullptr) {
        std::printf("FAIL load vantorel.dll (error %lu)\n0 passed, 1 failed\n", GetLastError());
        return 1;
    }
    for (int i = 0; i < 11; ++i) g_exports[i] = GetProcAddress(g_library, MAKEINTRESOURCEA(i + 1));
    run("exports resolve by name and by ordinal", exports_resolve_by_name_and_ordinal);
    for (FARPROC e : g_exports)
        if (e == nullptr) {
            std::printf("%d passed, %d failed\n", g_passed, g_failed + 1);
            return 1;
        }

    run("JPEG painted 1:1 matches the codec's own decode (4:2:0, grey, CMYK)",
        jpeg_painted_one_to_one_matches_the_codecs_decode);
    run("JPEG painted into a rectangle stretches inside it and nowhere else",
        jpeg_painted_into_a_rectangle_stays_inside_it);
    run("held JPEG lifecycle", held_jpeg_lifecycle);
    run("BMP of each depth paints exactly as LoadImage + StretchBlt", bmp_of_each_depth_paints_as_the_platform_does);
    run("held BMP lifecycle", held_bmp_lifecycle);
    run("placeable WMF draws inside its rectangle like its reference", placeable_wmf_draws_inside_its_rectangle);
    run("EMF draws inside its rectangle like its reference", emf_draws_inside_its_rectangle);
    run("metafiles leave the host's mapping mode, extents and origins", metafiles_leave_the_hosts_mapping_as_it_was);
    run("VtRender lowers the name and dispatches", render_dispatches_by_lowered_name);
    run("paragraphs in each alignment draw inside their box", paragraphs_in_each_alignment_draw_inside_their_box);
    run("a rotated paragraph draws turned", rotated_paragraph_draws_turned);
    run("USECPU in the registry is honoured, and every index decodes like the generic fill",
        usecpu_in_the_registry_is_honoured);
    run("comment buffer on an inaccessible page gives -30", comment_buffer_on_an_inaccessible_page_gives_minus_30);
    run("DIB on a read-only page gives -1 and the record closes",
        dib_on_a_read_only_page_gives_minus_1_and_the_record_closes);
    run("repeated rendering leaves no graphics objects", repeated_rendering_leaves_no_graphics_objects);

    std::printf("%d passed, %d failed\n", g_passed, g_failed);
    return g_failed == 0 ? 0 : 1;
}

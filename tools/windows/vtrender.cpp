// Demo host: draws a JPEG, a BMP, a placeable WMF, an EMF and a paragraph with
// vantorel.dll into one picture and writes it as a 24-bit BMP file.
//
//   vtrender OUT.bmp PICTURE.jpg PICTURE.bmp PICTURE.wmf PICTURE.emf ["paragraph text"]
#include <windows.h>

#include <cstdio>
#include <cstring>
#include <vector>

#include "vantorel/vantorel.h"

namespace {

using RenderFn = VANTOREL_BOOL(WINAPI*)(HDC, const RECT*, char*);
using ParagraphFn = VANTOREL_BOOL(WINAPI*)(HDC, const char*, const RECT*, PARAGRAPH_FONT, int32_t, double);

bool write_bmp(const char* path, const uint32_t* pixels, int width, int height) {
    const int row = (width * 3 + 3) & ~3;
    BITMAPFILEHEADER file{};
    BITMAPINFOHEADER info{};
    file.bfType = 0x4D42;
    file.bfOffBits = sizeof file + sizeof info;
    file.bfSize = file.bfOffBits + static_cast<DWORD>(row) * height;
    info.biSize = sizeof info;
    info.biWidth = width;
    info.biHeight = height;  // bottom-up rows, the common form
    info.biPlanes = 1;
    info.biBitCount = 24;
    FILE* out = std::fopen(path, "wb");
    if (out == nullptr) return false;
    std::fwrite(&file, sizeof file, 1, out);
    std::fwrite(&info, sizeof info, 1, out);
    std::vector<uint8_t> line(row, 0);
    for (int y = height - 1; y >= 0; --y) {
        for (int x = 0; x < width; ++x) {
            const uint32_t c = pixels[y * width + x];
            line[x * 3 + 0] = static_cast<uint8_t>(c);
            line[x * 3 + 1] = static_cast<uint8_t>(c >> 8);
            line[x * 3 + 2] = static_cast<uint8_t>(c >> 16);
        }
        std::fwrite(line.data(), 1, line.size(), out);
    }
    return std::fclose(out) == 0;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 6) {
        std::fprintf(stderr, "usage: %s OUT.bmp PICTURE.jpg PICTURE.bmp PICTURE.wmf PICTURE.emf [text]\n", argv[0]);
        return 2;
    }
    HMODULE library = LoadLibraryA("vantorel.dll");
    if (library == nullptr) {
        std::fprintf(stderr, "cannot load vantorel.dll (error %lu)\n", GetLastError());
        return 1;
    }
    auto render = reinterpret_cast<RenderFn>(reinterpret_cast<void*>(GetProcAddress(library, "VtRender")));
    auto paragraph =
        reinterpret_cast<ParagraphFn>(reinterpret_cast<void*>(GetProcAddress(library, "VtTextParagraph")));
    if (render == nullptr || paragraph == nullptr) {
        std::fprintf(stderr, "vantorel.dll lacks its exports\n");
        return 1;
    }

    const int width = 640, height = 600;
    HDC dc = CreateCompatibleDC(nullptr);
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
    info.bmiHeader.biWidth = width;
    info.bmiHeader.biHeight = -height;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    void* bits = nullptr;
    HBITMAP canvas = CreateDIBSection(dc, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    HGDIOBJ previous = SelectObject(dc, canvas);
    auto* pixels = static_cast<uint32_t*>(bits);
    for (int i = 0; i < width * height; ++i) pixels[i] = 0xFFFFFF;

    // Four pictures in a 2 x 2 grid, each chosen by its name.
    const RECT cells[4] = {{10, 10, 310, 230}, {330, 10, 630, 230}, {10, 240, 310, 460}, {330, 240, 630, 460}};
    int status = 0;
    for (int i = 0; i < 4; ++i) {
        std::vector<char> name(argv[2 + i], argv[2 + i] + std::strlen(argv[2 + i]) + 1);
        if (!render(dc, &cells[i], name.data())) {
            std::fprintf(stderr, "not drawn: %s\n", argv[2 + i]);
            status = 1;
        }
    }

    PARAGRAPH_FONT font;
    std::memset(&font, 0, sizeof font);
    std::strcpy(font.face_name, "Tahoma");
    font.height = 18;
    font.weight = FW_BOLD;
    font.smooth = 1;
    font.color = RGB(20, 40, 140);
    const RECT text_box{10, 470, 630, 590};
    const char* text = argc > 6 ? argv[6]
                                : "Vantorel draws JPEG, BMP and metafile pictures stretched into rectangles, "
                                  "and paragraphs of text word-wrapped, aligned and justified like this one.";
    paragraph(dc, text, &text_box, font, VT_ALIGN_JUSTIFY, 1.0);

    GdiFlush();
    if (!write_bmp(argv[1], pixels, width, height)) {
        std::fprintf(stderr, "cannot write %s\n", argv[1]);
        status = 1;
    }
    SelectObject(dc, previous);
    DeleteObject(canvas);
    DeleteDC(dc);
    FreeLibrary(library);
    return status;
}

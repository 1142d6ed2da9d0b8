/* Vantorel: the eleven drawing entry points of vantorel.dll.
 *
 * Every entry point uses the standard calling convention of exported Windows
 * functions (the callee removes its arguments) and answers with a one-byte
 * boolean: only the low byte of the result register is meaningful.
 *
 * The header also compiles outside Windows, where the library is built natively
 * for its unit tests; there the few Windows types it uses are declared here with
 * the same layout. */
#ifndef VANTOREL_VANTOREL_H
#define VANTOREL_VANTOREL_H

#include <stdint.h>

#if defined(_WIN32)
#include <windows.h>
#define VT_CALL WINAPI
typedef BOOLEAN VANTOREL_BOOL;
#else
typedef void* HDC;
typedef uint32_t COLORREF;
typedef struct tagRECT {
    int32_t left;
    int32_t top;
    int32_t right;
    int32_t bottom;
} RECT;
#define VT_CALL
typedef unsigned char VANTOREL_BOOL;
#endif

#ifdef __cplusplus
extern "C" {
#endif

/* Paragraph alignment codes of VtTextParagraph. */
enum {
    VT_ALIGN_LEFT = 20,
    VT_ALIGN_RIGHT = 21,
    VT_ALIGN_CENTRE = 22,
    VT_ALIGN_JUSTIFY = 23
};

/* The font of a paragraph, passed by value: 60 bytes laid out on 4-byte
 * boundaries, so that VtTextParagraph takes 84 bytes of arguments on 32-bit
 * Windows (device context, text, rectangle, this record, alignment, spacing). */
#pragma pack(push, 4)
typedef struct PARAGRAPH_FONT {
    char face_name[32];   /* NUL-terminated; never read past its 32 bytes */
    int32_t height;       /* handed to the font creation unchanged */
    int32_t weight;
    uint8_t italic;       /* nonzero turns the attribute on */
    uint8_t strike_out;
    uint8_t underline;
    uint8_t unused;
    uint32_t smooth;      /* low byte nonzero: antialiased glyphs */
    COLORREF color;
    double angle;         /* degrees, counter-clockwise */
} PARAGRAPH_FONT;
#pragma pack(pop)

#ifdef __cplusplus
static_assert(sizeof(PARAGRAPH_FONT) == 60, "PARAGRAPH_FONT must stay 60 bytes");
#endif

/* Picks the renderer from the name, which is lowered in place first. */
VANTOREL_BOOL VT_CALL VtRender(HDC dc, const RECT* rect, char* name);
VANTOREL_BOOL VT_CALL VtRenderWMF(HDC dc, const RECT* rect, const char* name);
VANTOREL_BOOL VT_CALL VtRenderJPG(HDC dc, const RECT* rect, const char* name);
VANTOREL_BOOL VT_CALL VtLoadJPG(const char* name);
VANTOREL_BOOL VT_CALL VtFreeJPG(uint32_t ignored);
VANTOREL_BOOL VT_CALL VtPaintJPG(HDC dc, const RECT* rect);
VANTOREL_BOOL VT_CALL VtRenderBMP(HDC dc, const RECT* rect, const char* name);
VANTOREL_BOOL VT_CALL VtLoadBMP(const char* name);
VANTOREL_BOOL VT_CALL VtFreeBMP(uint32_t ignored);
VANTOREL_BOOL VT_CALL VtPaintBMP(HDC dc, const RECT* rect);
VANTOREL_BOOL VT_CALL VtTextParagraph(HDC dc, const char* text, const RECT* rect, PARAGRAPH_FONT font,
                                int32_t alignment, double line_spacing);

#ifdef __cplusplus
}
#endif

#endif /* VANTOREL_VANTOREL_H */

// A paragraph of single-byte text drawn into a rectangle: word-wrapped at
// spaces, aligned left, right, centred or justified, each line's start turned
// about the rectangle's centre by the paragraph angle, in the requested font.
// The platform measures and draws; this file decides where each line goes.
#include <cmath>
#include <cstring>

#include "front/front.h"

namespace vantorel {

namespace {

// Font state between SelectParagraphFont and ReleaseParagraphFont.
bool g_font_selected = false;
platform::GraphicsHandle g_font = nullptr;
platform::GraphicsHandle g_previous_font = nullptr;

// A double truncated toward zero into the 32-bit range (NaN counts as 0), so
// that hostile angles and spacings never overflow a conversion.
int32_t truncate_to_int32(double value) {
    if (!(value == value)) return 0;
    if (value >= 2147483647.0) return INT32_MAX;
    if (value <= -2147483648.0) return INT32_MIN;
    return static_cast<int32_t>(value);
}

int32_t clamp_to_int32(int64_t value) {
    if (value > INT32_MAX) return INT32_MAX;
    if (value < INT32_MIN) return INT32_MIN;
    return static_cast<int32_t>(value);
}

// Positive values go to the nearer integer (halves upward); negative values are
// truncated toward zero.
int64_t round_half_up_positive(double value) {
    double whole = 0;
    const double fraction = std::modf(value, &whole);
    if (fraction >= 0.5) whole += 1;
    if (!(whole == whole)) return 0;
    if (whole >= 9.0e18) return INT64_C(9000000000000000000);
    if (whole <= -9.0e18) return -INT64_C(9000000000000000000);
    return static_cast<int64_t>(whole);
}

}  // namespace

void RotateAboutCentre(int32_t cx, int32_t cy, int32_t* x, int32_t* y, double angle) {
    const double theta = angle * 3.141592653589793 * 0.005555555555555556;
    const double dx = static_cast<double>(*x) - cx;
    const double dy = static_cast<double>(*y) - cy;
    const double c = std::cos(theta);
    const double s = std::sin(theta);
    *x = clamp_to_int32(round_half_up_positive(c * dx - s * dy) + cx);
    *y = clamp_to_int32(round_half_up_positive(s * dx + c * dy) + cy);
}

void SelectParagraphFont(HDC dc, PARAGRAPH_FONT font) {
    g_font_selected = true;
    const int32_t degrees = truncate_to_int32(font.angle);
    const int32_t escapement = clamp_to_int32(static_cast<int64_t>(degrees) * 10);
    // The face name is read only within its 32 bytes, terminated or not.
    char face[sizeof font.face_name + 1];
    size_t length = 0;
    while (length < sizeof font.face_name && font.face_name[length] != '\0') ++length;
    std::memcpy(face, font.face_name, length);
    face[length] = '\0';
    g_font = platform::create_font(font.height, 0, escapement, escapement, font.weight, font.italic,
                                   font.underline, font.strike_out, platform::GFX_DEFAULT_CHARSET,
                                   platform::GFX_OUT_CHARACTER_PRECIS, platform::GFX_CLIP_CHARACTER_PRECIS,
                                   (font.smooth & 0xFF) != 0 ? platform::GFX_ANTIALIASED_QUALITY
                                                             : platform::GFX_DRAFT_QUALITY,
                                   0, face);
    g_previous_font = platform::select_object(dc, g_font);
    platform::set_text_color(dc, font.color);
    platform::set_bk_mode(dc, platform::GFX_TRANSPARENT);
}

bool ReleaseParagraphFont(HDC dc) {
    if (!g_font_selected) return false;
    platform::select_object(dc, g_previous_font);
    const bool deleted = platform::delete_object(g_font);
    g_font = nullptr;
    g_previous_font = nullptr;
    g_font_selected = false;
    return deleted;
}

bool DrawParagraph(HDC dc, const char* text, const RECT* rect, PARAGRAPH_FONT font, int32_t alignment,
                   double line_spacing) {
    if (rect == nullptr) return false;  // no box to lay out in; no font was made
    if (text == nullptr) text = "";
    SelectParagraphFont(dc, font);

    const int32_t left = rect->left;
    const int32_t right = rect->right;
    const int64_t width = static_cast<int64_t>(right) - left;
    const int32_t cx = static_cast<int32_t>((static_cast<int64_t>(left) + right) / 2);
    const int32_t cy = static_cast<int32_t>((static_cast<int64_t>(rect->top) + rect->bottom) / 2);
    const int64_t spacing = truncate_to_int32(line_spacing);
    int64_t y = rect->top;
    // Codes outside 20-23 keep the previous line's x; the first line starts at the left.
    int32_t x = left;

    const char* position = text;
    for (;;) {
        while (*position == ' ') ++position;
        const char* line_start = position;
        int32_t breaks = 0;
        const char* candidate = position;
        bool at_end = false;
        platform::SIZE extent{};

        // Take words while the line measured up to each following space fits. The
        // last word of the text joins the line unmeasured.
        for (;;) {
            candidate = position;
            while (*position != '\0' && *position != ' ') ++position;
            if (*position == '\0') {
                at_end = true;
                break;
            }
            ++position;  // just past the space
            ++breaks;
            platform::set_text_justification(dc, 0, 0);
            platform::get_text_extent_point(dc, line_start, static_cast<int32_t>(position - 1 - line_start), &extent);
            if (extent.cx >= width) break;
        }

        // Settle where the line ends and how many spaces it holds.
        --breaks;
        const char* line_end;
        if (at_end) {
            line_end = position;
        } else if (*candidate == ' ') {
            line_end = candidate;
        } else if (candidate == line_start) {
            // A first word wider than the box stands alone, with its following space.
            line_end = position;
            breaks = -1;
        } else {
            line_end = candidate;
            while (line_end > line_start && *line_end != ' ') {
                --line_end;
                --breaks;
            }
        }

        const int32_t count = static_cast<int32_t>(line_end - line_start);
        platform::set_text_justification(dc, 0, 0);
        platform::get_text_extent_point(dc, line_start, count, &extent);

        switch (alignment) {
        case VT_ALIGN_LEFT:
            x = left;
            break;
        case VT_ALIGN_RIGHT:
            x = clamp_to_int32(static_cast<int64_t>(right) - extent.cx);
            break;
        case VT_ALIGN_CENTRE:
            x = clamp_to_int32((static_cast<int64_t>(left) + right - extent.cx) / 2);
            break;
        case VT_ALIGN_JUSTIFY:
            x = left;
            // The last line of the paragraph is never stretched.
            if (*line_end != '\0' && breaks > 0)
                platform::set_text_justification(dc, clamp_to_int32(width - extent.cx), breaks);
            break;
        default:
            break;
        }

        int32_t start_x = x;
        int32_t start_y = clamp_to_int32(y);
        RotateAboutCentre(cx, cy, &start_x, &start_y, font.angle);
        platform::text_out(dc, start_x, start_y, line_start, count);

        // Saturating, so that no spacing can overflow; a saturated y ends the loop
        // or, going upward, still ends with the text.
        y = clamp_to_int32(y + spacing * extent.cy);
        position = line_end;
        if (*position == '\0' || y >= rect->bottom) break;
    }
    return ReleaseParagraphFont(dc);
}

}  // namespace vantorel

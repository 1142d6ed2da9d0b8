// Where an MCU lands in the caller's DIB and which part of it may be written.
//
// Every writer, full scale or reduced, asks place_mcu for the address of the
// MCU's top-left pixel and for the visible rectangle in MCU-relative pixels. The
// writers then touch only pixels inside that rectangle, so the DIB's row pad,
// pixels past the image edge and everything outside the region stay unchanged.
// A bottom-up DIB needs nothing special here: its first row address and negative
// stride were set up by the read operation.
#include "codec/decoder/decoder.h"

namespace vantorel {

namespace {

constexpr MCU_RECT EMPTY_RECT{0, 0, 0, 0};

int64_t min64(int64_t a, int64_t b) {
    return a < b ? a : b;
}
int64_t max64(int64_t a, int64_t b) {
    return a > b ? a : b;
}

bool is_empty_rect(const MCU_RECT& r) {
    return r.left == 0 && r.top == 0 && r.right == 0 && r.bottom == 0;
}

}  // namespace

// The region and DIB fields may hold any values a caller chose, so all the
// geometry is done in 64 bits and the address in unsigned pointer arithmetic:
// only the visible rectangle, which is bounded by the DIB on every side, is ever
// dereferenced by a writer.
JPEG_STATUS place_mcu(const MCU_RECT* region, int32_t mcu_w, int32_t mcu_h, int32_t mcu_col, int32_t mcu_row,
                      int32_t bytes_per_pixel, intptr_t stride, uint8_t* pixels, int32_t dib_width, int32_t dib_height,
                      uint8_t** out_ptr, MCU_RECT* visible) {
    const int64_t x = static_cast<int64_t>(mcu_col) * mcu_w;
    const int64_t y = static_cast<int64_t>(mcu_row) * mcu_h;
    const int64_t rows = dib_height < 0 ? -static_cast<int64_t>(dib_height) : dib_height;
    const bool whole_image = region == nullptr || is_empty_rect(*region);

    int64_t left, top, right, bottom, origin_x, origin_y;
    if (whole_image) {
        origin_x = x;
        origin_y = y;
        left = 0;
        top = 0;
        right = min64(mcu_w, dib_width - x);
        bottom = min64(mcu_h, rows - y);
    } else {
        if (x >= region->right || x + mcu_w < region->left || y >= region->bottom || y + mcu_h < region->top) {
            *visible = EMPTY_RECT;
            return STATUS_INVALID_PROPERTIES;
        }
        origin_x = x - region->left;
        origin_y = y - region->top;
        left = max64(static_cast<int64_t>(region->left) - x, 0);
        top = max64(static_cast<int64_t>(region->top) - y, 0);
        right = min64(min64(mcu_w, region->right - x), static_cast<int64_t>(dib_width) + region->left - x);
        bottom = min64(min64(mcu_h, region->bottom - y), rows + region->top - y);
    }

    // Nothing of this MCU is visible (it lies past the image edge, or only
    // touches the region): report it like an MCU outside the region so that no
    // writer goes on with a degenerate rectangle.
    if (right <= left || bottom <= top || dib_width <= 0 || mcu_w <= 0 || mcu_h <= 0) {
        *visible = EMPTY_RECT;
        return STATUS_INVALID_PROPERTIES;
    }

    const uintptr_t address = reinterpret_cast<uintptr_t>(pixels) +
                              static_cast<uintptr_t>(origin_x) * static_cast<uintptr_t>(bytes_per_pixel) +
                              static_cast<uintptr_t>(origin_y) * static_cast<uintptr_t>(stride);
    *out_ptr = reinterpret_cast<uint8_t*>(address);
    *visible = MCU_RECT{static_cast<int32_t>(left), static_cast<int32_t>(top), static_cast<int32_t>(right),
                        static_cast<int32_t>(bottom)};
    return STATUS_SUCCESS;
}

MCU_RECT intersect_rect(const MCU_RECT& a, const MCU_RECT& b) {
    MCU_RECT r{a.left > b.left ? a.left : b.left, a.top > b.top ? a.top : b.top, a.right < b.right ? a.right : b.right,
               a.bottom < b.bottom ? a.bottom : b.bottom};
    // Rectangles that only share an edge still meet; the result then has no area.
    if (r.left > r.right || r.top > r.bottom) return EMPTY_RECT;
    return r;
}

bool rects_differ(const MCU_RECT& a, const MCU_RECT& b) {
    return !rects_equal(a, b);
}

MCU_RECT offset_rect(const MCU_RECT& rect, int32_t x, int32_t y) {
    if (is_empty_rect(rect)) return rect;
    // Wrapping arithmetic keeps hostile coordinates from overflowing.
    auto sub = [](int32_t a, int32_t b) {
        return static_cast<int32_t>(static_cast<uint32_t>(a) - static_cast<uint32_t>(b));
    };
    return MCU_RECT{sub(rect.left, x), sub(rect.top, y), sub(rect.right, x), sub(rect.bottom, y)};
}

}  // namespace vantorel

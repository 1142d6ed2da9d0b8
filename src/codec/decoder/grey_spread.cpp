// Grey pictures into three-byte pixels: every sample becomes three equal bytes
// (its low byte). A whole 8x8 MCU goes to the kernel; an MCU cut by the DIB
// edge or the region goes to copy_general, which writes the same bytes pixel
// by pixel.
#include <cstring>

#include "codec/codec.h"
#include "codec/decoder/decoder.h"

namespace vantorel {

void kernel_spread_gray(const int16_t* samples, uint8_t* dest, intptr_t stride) {
    for (int32_t y = 0; y < 8; ++y) {
        uint8_t row[24];
        for (int32_t x = 0; x < 8; ++x) {
            const uint8_t s = static_cast<uint8_t>(samples[8 * y + x]);
            row[3 * x] = s;
            row[3 * x + 1] = s;
            row[3 * x + 2] = s;
        }
        // The MCU lies wholly inside the DIB, so this row's 24 bytes do too.
        uint8_t* line = reinterpret_cast<uint8_t*>(reinterpret_cast<uintptr_t>(dest) +
                                                   static_cast<uintptr_t>(static_cast<intptr_t>(y) * stride));
        std::memcpy(line, row, sizeof row);
    }
}

JPEG_STATUS spread_gray(JPEG_PROPERTIES* props, int32_t mcu_col, int32_t mcu_row) {
    if (props->dib_channels != 3 || props->jpeg_color != CS_GRAY || props->output_start == nullptr)
        return copy_general(props, mcu_col, mcu_row);
    uint8_t* out = whole_mcu_address(props, 8, 8, mcu_col, mcu_row, 3);
    if (out == nullptr) {
        const MCU_RECT region{props->roi_left, props->roi_top, props->roi_right, props->roi_bottom};
        MCU_RECT clip{};
        const JPEG_STATUS placed = place_mcu(&region, 8, 8, mcu_col, mcu_row, 3, props->dib_stride,
                                             props->output_start, props->dib_width, props->dib_height, &out, &clip);
        if (placed != STATUS_SUCCESS || !rects_equal(clip, MCU_RECT{0, 0, 8, 8}))
            return copy_general(props, mcu_col, mcu_row);
    }
    props->source.mcu_out_ptr = out;
    spread_gray_kernel_for(props->stage_table)(props->mcu_buffer, out, props->dib_stride);
    return STATUS_SUCCESS;
}

}  // namespace vantorel

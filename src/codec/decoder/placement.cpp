// Placeholder: the routines of this stage are not written yet.
#include "codec/decoder/decoder.h"

namespace vantorel {

JPEG_STATUS place_mcu(const MCU_RECT* /*region*/, int32_t /*mcu_w*/, int32_t /*mcu_h*/, int32_t /*mcu_col*/, int32_t /*mcu_row*/, int32_t /*bytes_per_pixel*/, intptr_t /*stride*/, uint8_t* /*pixels*/, int32_t /*dib_width*/, int32_t /*dib_height*/, uint8_t** /*out_ptr*/, MCU_RECT* /*visible*/) { return STATUS_NOT_SUPPORTED; }
MCU_RECT intersect_rect(const MCU_RECT& /*a*/, const MCU_RECT& /*b*/) { return MCU_RECT{}; }
bool rects_equal(const MCU_RECT& /*a*/, const MCU_RECT& /*b*/) { return false; }
MCU_RECT offset_rect(const MCU_RECT& /*rect*/, int32_t /*x*/, int32_t /*y*/) { return MCU_RECT{}; }

}  // namespace vantorel

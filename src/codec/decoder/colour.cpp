// Placeholder: the routines of this stage are not written yet.
#include "codec/decoder/decoder.h"

namespace vantorel {

JPEG_STATUS convert_general(JPEG_PROPERTIES* /*props*/, int32_t /*mcu_col*/, int32_t /*mcu_row*/) { return STATUS_NOT_SUPPORTED; }
JPEG_STATUS output_sequential_general(JPEG_PROPERTIES* /*props*/, int32_t /*mcu_col*/, int32_t /*mcu_row*/) { return STATUS_NOT_SUPPORTED; }
JPEG_STATUS output_progressive_general(JPEG_PROPERTIES* /*props*/, int32_t /*mcu_col*/, int32_t /*mcu_row*/) { return STATUS_NOT_SUPPORTED; }
JPEG_STATUS convert_in_place(JPEG_PROPERTIES* /*props*/, int32_t /*mcu_col*/, int32_t /*mcu_row*/) { return STATUS_NOT_SUPPORTED; }
JPEG_STATUS output_ycc_scan(JPEG_PROPERTIES* /*props*/, int32_t /*mcu_col*/, int32_t /*mcu_row*/) { return STATUS_NOT_SUPPORTED; }
JPEG_STATUS copy_general(JPEG_PROPERTIES* /*props*/, int32_t /*mcu_col*/, int32_t /*mcu_row*/) { return STATUS_NOT_SUPPORTED; }
void apply_deferred_color_conversion(JPEG_PROPERTIES* /*props*/) {  }

}  // namespace vantorel

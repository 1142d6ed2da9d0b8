// Placeholder: the routines of this stage are not written yet.
#include "codec/decoder/decoder.h"

namespace vantorel {

void output_mcu(JPEG_PROPERTIES* /*props*/, BYTE_SOURCE* /*source*/, SCAN_INFO* /*scan*/, int32_t /*mcu_col*/, int32_t /*mcu_row*/, int32_t /*blocks*/, int16_t* /*mcu_buffer*/, int32_t /*mcus_per_row*/, int32_t /*mcu_rows*/, int32_t /*scale_factor*/, int32_t /*simple_sampling*/) {  }
void write_scaled_mcu(JPEG_PROPERTIES* /*props*/, BYTE_SOURCE* /*source*/, SCAN_INFO* /*scan*/, int32_t /*mcu_col*/, int32_t /*mcu_row*/, int32_t /*block_size*/, int32_t /*simple_sampling*/) {  }

}  // namespace vantorel

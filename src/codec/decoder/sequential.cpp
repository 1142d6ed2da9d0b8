// Placeholder: the routines of this stage are not written yet.
#include "codec/decoder/decoder.h"

namespace vantorel {

JPEG_STATUS decode_scan(BYTE_SOURCE* /*source*/, SCAN_INFO* /*scan*/, JPEG_PROPERTIES* /*props*/) { return STATUS_NOT_SUPPORTED; }
JPEG_STATUS decode_sequential_scan(BYTE_SOURCE* /*source*/, SCAN_INFO* /*scan*/, JPEG_PROPERTIES* /*props*/, int32_t /*scale_factor*/) { return STATUS_NOT_SUPPORTED; }
JPEG_STATUS decode_sequential_region(BYTE_SOURCE* /*source*/, SCAN_INFO* /*scan*/, JPEG_PROPERTIES* /*props*/, int32_t /*scale_factor*/) { return STATUS_NOT_SUPPORTED; }
JPEG_STATUS process_restart(BYTE_SOURCE* /*source*/, SCAN_INFO* /*scan*/, int32_t /*mcus_per_row*/, int32_t /*mcu_rows*/, int32_t /*mcu_col*/, int32_t /*mcu_row*/) { return STATUS_NOT_SUPPORTED; }
void save_row_entry(int32_t /*row*/, BYTE_SOURCE* /*source*/, SCAN_INFO* /*scan*/, JPEG_PROPERTIES* /*props*/) {  }
JPEG_STATUS restore_row_entry(int32_t /*row*/, BYTE_SOURCE* /*source*/, SCAN_INFO* /*scan*/, JPEG_PROPERTIES* /*props*/) { return STATUS_NOT_SUPPORTED; }

}  // namespace vantorel

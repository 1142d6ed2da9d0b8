// Placeholder: the routines of this stage are not written yet.
#include "codec/decoder/decoder.h"

namespace vantorel {

JPEG_STATUS decode_dc_first(BYTE_SOURCE* /*source*/, const HUFF_DECODE_TABLE* /*dc_table*/, int16_t* /*block*/, int16_t* /*predictor*/, int32_t /*al*/) { return STATUS_NOT_SUPPORTED; }
JPEG_STATUS decode_dc_refine(BYTE_SOURCE* /*source*/, int16_t* /*block*/, int32_t /*al*/) { return STATUS_NOT_SUPPORTED; }
JPEG_STATUS decode_ac_first(BYTE_SOURCE* /*source*/, int16_t* /*block*/, const HUFF_DECODE_TABLE* /*ac_table*/, int32_t /*ss*/, int32_t /*se*/, int32_t /*al*/) { return STATUS_NOT_SUPPORTED; }
JPEG_STATUS decode_ac_refine(BYTE_SOURCE* /*source*/, int16_t* /*block*/, const HUFF_DECODE_TABLE* /*ac_table*/, int32_t /*ss*/, int32_t /*se*/, int32_t /*al*/) { return STATUS_NOT_SUPPORTED; }
JPEG_STATUS decode_progressive_scan(BYTE_SOURCE* /*source*/, SCAN_INFO* /*scan*/, JPEG_PROPERTIES* /*props*/, int32_t /*scale_factor*/) { return STATUS_NOT_SUPPORTED; }
JPEG_STATUS decode_progressive_region(BYTE_SOURCE* /*source*/, SCAN_INFO* /*scan*/, JPEG_PROPERTIES* /*props*/, int32_t /*scale_factor*/) { return STATUS_NOT_SUPPORTED; }

}  // namespace vantorel

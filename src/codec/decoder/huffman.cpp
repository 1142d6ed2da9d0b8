// Placeholder: the routines of this stage are not written yet.
#include "codec/decoder/decoder.h"

namespace vantorel {

JPEG_STATUS build_huff_decode_table(const uint8_t /*counts*/[16], const uint8_t* /*values*/, uint32_t /*table_class*/, uint32_t /*table_id*/, HUFF_DECODE_TABLE* /*table*/) { return STATUS_NOT_SUPPORTED; }
JPEG_STATUS fill_bits(BYTE_SOURCE* /*source*/, int32_t /*need*/) { return STATUS_NOT_SUPPORTED; }
JPEG_STATUS decode_huff_symbol(BYTE_SOURCE* /*source*/, const HUFF_DECODE_TABLE* /*table*/, int32_t* /*symbol*/) { return STATUS_NOT_SUPPORTED; }
JPEG_STATUS decode_block(BYTE_SOURCE* /*source*/, const HUFF_DECODE_TABLE* /*dc_table*/, const HUFF_DECODE_TABLE* /*ac_table*/, int16_t* /*predictor*/, int16_t* /*block*/) { return STATUS_NOT_SUPPORTED; }
JPEG_STATUS decode_block_dc_only(BYTE_SOURCE* /*source*/, const HUFF_DECODE_TABLE* /*dc_table*/, const HUFF_DECODE_TABLE* /*ac_table*/, int16_t* /*predictor*/, int16_t* /*block*/) { return STATUS_NOT_SUPPORTED; }
const int32_t natural_order[80] = {};
const int32_t extend_offset[16] = {};

}  // namespace vantorel

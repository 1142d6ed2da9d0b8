// Placeholder: the routines of this stage are not written yet.
#include "codec/decoder/decoder.h"

namespace vantorel {

void reset_byte_source(BYTE_SOURCE* /*source*/) {  }
JPEG_STATUS fill_input_buffer(BYTE_SOURCE* /*source*/) { return STATUS_NOT_SUPPORTED; }
JPEG_STATUS take_bytes(BYTE_SOURCE* /*source*/, uint32_t /*count*/, const uint8_t** /*out*/) { return STATUS_NOT_SUPPORTED; }
JPEG_STATUS read_segment_bytes(BYTE_SOURCE* /*source*/, uint32_t /*count*/, const uint8_t** /*out*/, uint8_t** /*copy*/, int32_t* /*copied*/) { return STATUS_NOT_SUPPORTED; }
JPEG_STATUS read_be16(BYTE_SOURCE* /*source*/, uint32_t* /*value*/) { return STATUS_NOT_SUPPORTED; }
JPEG_STATUS seek_next_marker(BYTE_SOURCE* /*source*/) { return STATUS_NOT_SUPPORTED; }
JPEG_STATUS read_next_marker(BYTE_SOURCE* /*source*/, int32_t* /*code*/) { return STATUS_NOT_SUPPORTED; }
JPEG_STATUS skip_segment(BYTE_SOURCE* /*source*/) { return STATUS_NOT_SUPPORTED; }
JPEG_STATUS rewind_byte_source(JPEG_PROPERTIES* /*props*/) { return STATUS_NOT_SUPPORTED; }
JPEG_STATUS give_back_input(JPEG_PROPERTIES* /*props*/) { return STATUS_NOT_SUPPORTED; }

}  // namespace vantorel

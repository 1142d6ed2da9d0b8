// Placeholder: the routines of this stage are not written yet.
#include "codec/decoder/decoder.h"

namespace vantorel {

JPEG_STATUS decode_stream(JPEG_PROPERTIES* /*props*/) { return STATUS_NOT_SUPPORTED; }
void free_scan_info(SCAN_INFO* /*scan*/) {  }

}  // namespace vantorel

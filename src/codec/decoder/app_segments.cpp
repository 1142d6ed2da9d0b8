// Placeholder: the routines of this stage are not written yet.
#include "codec/decoder/decoder.h"

namespace vantorel {

JPEG_STATUS read_app0(JPEG_PROPERTIES* /*props*/) { return STATUS_NOT_SUPPORTED; }
JPEG_STATUS read_app14(JPEG_PROPERTIES* /*props*/) { return STATUS_NOT_SUPPORTED; }
JPEG_STATUS read_com(JPEG_PROPERTIES* /*props*/) { return STATUS_NOT_SUPPORTED; }

}  // namespace vantorel

// Placeholder: the routines of this stage are not written yet.
#include "codec/decoder/decoder.h"

namespace vantorel {

JPEG_STATUS read_dqt(JPEG_PROPERTIES* /*props*/, int32_t /*idct_family*/) { return STATUS_NOT_SUPPORTED; }
JPEG_STATUS read_dht(JPEG_PROPERTIES* /*props*/) { return STATUS_NOT_SUPPORTED; }
JPEG_STATUS read_dri(JPEG_PROPERTIES* /*props*/, int32_t* /*interval*/) { return STATUS_NOT_SUPPORTED; }
JPEG_STATUS read_sof(JPEG_PROPERTIES* /*props*/) { return STATUS_NOT_SUPPORTED; }
JPEG_STATUS start_scan(JPEG_PROPERTIES* /*props*/, SCAN_INFO* /*scan*/) { return STATUS_NOT_SUPPORTED; }
void prepare_quant_natural(QUANT_TABLE* /*table*/) {  }
void prepare_quant_scaled(QUANT_TABLE* /*table*/) {  }

}  // namespace vantorel

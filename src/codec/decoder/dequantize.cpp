// Placeholder: the routines of this stage are not written yet.
#include "codec/decoder/decoder.h"

namespace vantorel {

void dequantize_direct(int16_t* /*block*/, const QUANT_VALUE* /*values*/) {  }
void dequantize_scaled(int16_t* /*block*/, const QUANT_VALUE* /*values*/) {  }
void idct_direct_8x8(int16_t* /*block*/) {  }
void idct_direct_4x4(int16_t* /*block*/) {  }
void idct_direct_2x2(int16_t* /*block*/) {  }
void idct_direct_1x1(int16_t* /*block*/) {  }
void idct_scaled_8x8(int16_t* /*block*/) {  }
void idct_scaled_4x4(int16_t* /*block*/) {  }
void idct_scaled_2x2(int16_t* /*block*/) {  }
void idct_scaled_1x1(int16_t* /*block*/) {  }

}  // namespace vantorel

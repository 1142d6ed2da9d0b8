// Placeholder: the routines of this stage are not written yet.
#include "codec/decoder/decoder.h"

namespace vantorel {

JPEG_STATUS select_output_routines(JPEG_PROPERTIES* /*props*/) { return STATUS_NOT_SUPPORTED; }
void kernel_copy_gray(const int16_t* /*samples*/, uint8_t* /*dest*/, intptr_t /*stride*/) {  }
void kernel_convert_ycc444_rgb(const int16_t* /*y*/, const int16_t* /*cb*/, const int16_t* /*cr*/, uint8_t* /*dest*/, intptr_t /*stride*/) {  }
void kernel_convert_ycc422_rgb(const int16_t* /*y*/, const int16_t* /*cb*/, const int16_t* /*cr*/, uint8_t* /*dest*/, intptr_t /*stride*/) {  }
void kernel_convert_ycc420_rgb(const int16_t* /*y*/, const int16_t* /*cb*/, const int16_t* /*cr*/, uint8_t* /*dest*/, intptr_t /*stride*/) {  }
void kernel_convert_ycc444_bgr(const int16_t* /*y*/, const int16_t* /*cb*/, const int16_t* /*cr*/, uint8_t* /*dest*/, intptr_t /*stride*/) {  }
void kernel_convert_ycc422_bgr(const int16_t* /*y*/, const int16_t* /*cb*/, const int16_t* /*cr*/, uint8_t* /*dest*/, intptr_t /*stride*/) {  }
void kernel_convert_ycc420_bgr(const int16_t* /*y*/, const int16_t* /*cb*/, const int16_t* /*cr*/, uint8_t* /*dest*/, intptr_t /*stride*/) {  }
void kernel_convert_ycc444_quad(const int16_t* /*y*/, const int16_t* /*cb*/, const int16_t* /*cr*/, uint8_t* /*dest*/, intptr_t /*stride*/) {  }
void kernel_convert_ycc422_quad(const int16_t* /*y*/, const int16_t* /*cb*/, const int16_t* /*cr*/, uint8_t* /*dest*/, intptr_t /*stride*/) {  }
void kernel_convert_ycc420_quad(const int16_t* /*y*/, const int16_t* /*cb*/, const int16_t* /*cr*/, uint8_t* /*dest*/, intptr_t /*stride*/) {  }
void kernel_copy_444(const int16_t* /*c0*/, const int16_t* /*c1*/, const int16_t* /*c2*/, uint8_t* /*dest*/, intptr_t /*stride*/) {  }
void kernel_copy_422(const int16_t* /*c0*/, const int16_t* /*c1*/, const int16_t* /*c2*/, uint8_t* /*dest*/, intptr_t /*stride*/) {  }
void kernel_copy_420(const int16_t* /*c0*/, const int16_t* /*c1*/, const int16_t* /*c2*/, uint8_t* /*dest*/, intptr_t /*stride*/) {  }
void kernel_copy_444_quad(const int16_t* /*c0*/, const int16_t* /*c1*/, const int16_t* /*c2*/, uint8_t* /*dest*/, intptr_t /*stride*/) {  }
void kernel_pack_ycc422(const int16_t* /*y*/, const int16_t* /*cb*/, const int16_t* /*cr*/, uint8_t* /*dest*/, intptr_t /*stride*/) {  }
void kernel_convert_ycca444_quad(const int16_t* /*y*/, const int16_t* /*cb*/, const int16_t* /*cr*/, const int16_t* /*a*/, uint8_t* /*dest*/, intptr_t /*stride*/) {  }
void kernel_convert_ycca422_quad(const int16_t* /*y*/, const int16_t* /*cb*/, const int16_t* /*cr*/, const int16_t* /*a*/, uint8_t* /*dest*/, intptr_t /*stride*/) {  }
void kernel_convert_ycca420_quad(const int16_t* /*y*/, const int16_t* /*cb*/, const int16_t* /*cr*/, const int16_t* /*a*/, uint8_t* /*dest*/, intptr_t /*stride*/) {  }
void kernel_copy_4444_quad(const int16_t* /*c0*/, const int16_t* /*c1*/, const int16_t* /*c2*/, const int16_t* /*c3*/, uint8_t* /*dest*/, intptr_t /*stride*/) {  }

}  // namespace vantorel

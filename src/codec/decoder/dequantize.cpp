// Dequantisation: multiplies a decoded block of 64 coefficients, in place, by the
// prepared quantisation values of its component.
//
// The direct transforms take plainly dequantised coefficients (coefficient x step).
// The scaled transforms take coefficients that already carry their AAN scale: the
// table was prepared as step x a(u) x a(v) x 256, so the product is divided by 128
// (with rounding) to leave coefficient x step x a(u) x a(v) x 2, the input the
// scaled 8x8 transform expects.
//
// Both keep only the low 16 bits of the result, like the 16-bit blocks they write.
// Hostile streams can make the 32-bit product overflow; the products are formed in
// unsigned arithmetic, which wraps exactly like two's-complement multiplication
// and keeps the results of every product that does fit.
#include "codec/decoder/decoder.h"

namespace vantorel {

// The low 16 bits of a product depend only on the low 16 bits of its factors,
// so the multiply is formed on those: the compiler packs it as eight 16-bit
// multiplies per step.
void dequantize_direct(int16_t* block, const QUANT_VALUE* values) {
    for (int i = 0; i < 64; ++i) {
        const uint32_t product = static_cast<uint32_t>(static_cast<uint16_t>(block[i])) *
                                 static_cast<uint32_t>(static_cast<uint16_t>(values[i]));
        block[i] = static_cast<int16_t>(product);
    }
}

void dequantize_scaled(int16_t* block, const QUANT_VALUE* values) {
    for (int i = 0; i < 64; ++i) {
        const uint32_t product = static_cast<uint32_t>(static_cast<int32_t>(block[i])) *
                                     static_cast<uint32_t>(values[i]) +
                                 64u;
        block[i] = static_cast<int16_t>(static_cast<int32_t>(product) >> 7);
    }
}

}  // namespace vantorel

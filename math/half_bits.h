// Bit-exact conversions between single-precision and 16-bit floats. The half
// format has no infinities or NaNs: exponent 31 is ordinary, so its largest
// magnitude is 131008 and everything from 131040 up saturates to 0x7FFF.
#pragma once

#include <cstdint>
#include <cstring>

namespace klmath {

inline uint16_t FloatBitsToHalf(uint32_t v) {
    uint32_t s = (v >> 16) & 0x8000u;
    uint32_t a = v & 0x7FFFFFFFu;
    if (a > 0x47FFEFFFu) return static_cast<uint16_t>(s | 0x7FFFu);
    if (a >= 0x38800000u) {
        // Rebias the exponent and round the mantissa to nearest, ties to even.
        return static_cast<uint16_t>(s | ((a - 0x38000000u + 0xFFFu + ((a >> 13) & 1u)) >> 13));
    }
    uint32_t e = a >> 23;
    uint32_t shift = 113 - e;
    uint32_t m = shift >= 32 ? 0 : ((a & 0x7FFFFFu) | 0x800000u) >> shift;
    return static_cast<uint16_t>(s | ((m + 0xFFFu + ((m >> 13) & 1u)) >> 13));
}

inline uint32_t HalfToFloatBits(uint16_t h) {
    uint32_t sign = static_cast<uint32_t>(h & 0x8000u) << 16;
    uint32_t exponent = (h >> 10) & 0x1Fu;
    uint32_t mantissa = h & 0x3FFu;
    if (exponent != 0) return sign | ((exponent + 112) << 23) | (mantissa << 13);
    if (mantissa == 0) return sign;
    int e = -14;
    while (!(mantissa & 0x400u)) {
        mantissa <<= 1;
        --e;
    }
    return sign | (static_cast<uint32_t>(e + 127) << 23) | ((mantissa & 0x3FFu) << 13);
}

}  // namespace klmath

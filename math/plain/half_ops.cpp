// Plain variants: arrays of floats to 16-bit floats and back.
#include "math/half_bits.h"
#include "math/plain/plain_ops.h"

namespace klmath::plain {

KLFLOAT16* Float32To16Array(KLFLOAT16* out, const float* in, UINT n) {
    for (UINT i = 0; i < n; ++i) {
        uint32_t v;
        std::memcpy(&v, &in[i], 4);
        out[i].value = FloatBitsToHalf(v);
    }
    return out;
}

float* Float16To32Array(float* out, const KLFLOAT16* in, UINT n) {
    for (UINT i = 0; i < n; ++i) {
        uint32_t v = HalfToFloatBits(in[i].value);
        std::memcpy(&out[i], &v, 4);
    }
    return out;
}

}  // namespace klmath::plain

// SSE and SSE2 variants of 16-bit floats to floats. Both avoid the plain
// variant's normalising loop: the half's bits are placed into a float with the
// exponent rebiased by 112, and a zero exponent (subnormal half) is handled by
// adding 2^-14 to the pattern and subtracting it again as a float, which is
// exact. Exponent 31 needs no special case, since the format has no
// infinities.
#include "math/sse/sse_core.h"
#include "math/sse/sse_slots.h"

namespace klmath::simd {
namespace {

constexpr uint32_t kRebias = 112u << 23;
constexpr uint32_t kSubnormalBias = 113u << 23;  // the bit pattern of 2^-14

// Scalar bit placement for one half; only float arithmetic is left to SSE.
inline uint32_t PlaceBits(uint16_t h, float* correction) {
    uint32_t magnitude = static_cast<uint32_t>(h & 0x7FFFu) << 13;
    bool subnormal = (magnitude & 0x0F800000u) == 0;
    *correction = subnormal ? 0x1p-14f : 0.0f;
    return (magnitude + (subnormal ? kSubnormalBias : kRebias)) | (static_cast<uint32_t>(h & 0x8000u) << 16);
}

float* HalfToFloatSse(float* out, const KLFLOAT16* in, UINT n) {
    UINT i = 0;
    for (; i + 4 <= n; i += 4) {
        alignas(16) uint32_t bits[4];
        alignas(16) float corr[4];
        for (int k = 0; k < 4; ++k) bits[k] = PlaceBits(in[i + k].value, &corr[k]);
        __m128 v = _mm_load_ps(reinterpret_cast<const float*>(bits));
        // Subtract the correction from the magnitude; the sign bit is kept by
        // doing it on the absolute value.
        const __m128 signBit = _mm_set1_ps(-0.0f);
        __m128 sign = _mm_and_ps(v, signBit);
        __m128 mag = _mm_sub_ps(_mm_andnot_ps(signBit, v), _mm_load_ps(corr));
        _mm_storeu_ps(out + i, _mm_or_ps(mag, sign));
    }
    for (; i < n; ++i) {
        float corr;
        uint32_t bits = PlaceBits(in[i].value, &corr);
        float v;
        std::memcpy(&v, &bits, 4);
        out[i] = std::copysign(std::fabs(v) - corr, v);
    }
    return out;
}

// Eight halves per step entirely in vector registers.
inline void Convert8(const KLFLOAT16* in, float* out) {
    const __m128i h = _mm_loadu_si128(reinterpret_cast<const __m128i*>(in));
    const __m128i zero = _mm_setzero_si128();
    const __m128i magMask = _mm_set1_epi32(0x7FFF), signMask = _mm_set1_epi32(0x8000);
    const __m128i expMask = _mm_set1_epi32(0x0F800000);
    const __m128i rebias = _mm_set1_epi32(static_cast<int>(kRebias));
    const __m128i subBias = _mm_set1_epi32(static_cast<int>(kSubnormalBias));
    const __m128 subValue = _mm_castsi128_ps(subBias);
    for (int half = 0; half < 2; ++half) {
        __m128i w = half == 0 ? _mm_unpacklo_epi16(h, zero) : _mm_unpackhi_epi16(h, zero);
        __m128i mag = _mm_slli_epi32(_mm_and_si128(w, magMask), 13);
        __m128i sign = _mm_slli_epi32(_mm_and_si128(w, signMask), 16);
        __m128i isSub = _mm_cmpeq_epi32(_mm_and_si128(mag, expMask), zero);
        __m128i bias = _mm_or_si128(_mm_and_si128(isSub, subBias), _mm_andnot_si128(isSub, rebias));
        __m128 f = _mm_castsi128_ps(_mm_add_epi32(mag, bias));
        f = _mm_sub_ps(f, _mm_and_ps(_mm_castsi128_ps(isSub), subValue));
        _mm_storeu_ps(out + 4 * half, _mm_or_ps(f, _mm_castsi128_ps(sign)));
    }
}

float* HalfToFloatSse2(float* out, const KLFLOAT16* in, UINT n) {
    UINT i = 0;
    for (; i + 8 <= n; i += 8) Convert8(in + i, out + i);
    if (i < n) {
        KLFLOAT16 tailIn[8] = {};
        float tailOut[8];
        std::memcpy(tailIn, in + i, (n - i) * sizeof(KLFLOAT16));
        Convert8(tailIn, tailOut);
        std::memcpy(out + i, tailOut, (n - i) * sizeof(float));
    }
    return out;
}

}  // namespace

std::span<const SlotEntry> HalfSlots(Family family) {
    static const SlotEntry sse[] = {Use<kSlotFloat16To32Array>(&HalfToFloatSse)};
    static const SlotEntry sse2[] = {Use<kSlotFloat16To32Array>(&HalfToFloatSse2)};
    return family == Family::Sse ? std::span<const SlotEntry>(sse) : std::span<const SlotEntry>(sse2);
}

}  // namespace klmath::simd

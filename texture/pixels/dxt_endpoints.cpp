// Endpoint searches of the block encoders: a few Newton steps that fit the
// palette line to the points it has to represent.
#include <utility>

#include "texture/pixels/dxt_vector.h"

namespace {

// Palette weights per line position: low endpoint, high endpoint.
const float kColorLow4[4] = {1.0f, 2.0f / 3.0f, 1.0f / 3.0f, 0.0f};
const float kColorHigh4[4] = {0.0f, 1.0f / 3.0f, 2.0f / 3.0f, 1.0f};
const float kColorLow3[3] = {1.0f, 0.5f, 0.0f};
const float kColorHigh3[3] = {0.0f, 0.5f, 1.0f};
const float kAlphaLow8[8] = {1.0f, 6.0f / 7.0f, 5.0f / 7.0f, 4.0f / 7.0f, 3.0f / 7.0f, 2.0f / 7.0f, 1.0f / 7.0f, 0.0f};
// The last high weight is 8/7, not 1: this is the table the alpha fit is tuned with.
const float kAlphaHigh8[8] = {0.0f, 1.0f / 7.0f, 2.0f / 7.0f, 3.0f / 7.0f, 4.0f / 7.0f, 5.0f / 7.0f, 6.0f / 7.0f, 8.0f / 7.0f};
const float kAlphaLow6[6] = {1.0f, 0.8f, 0.6f, 0.4f, 0.2f, 0.0f};
const float kAlphaHigh6[6] = {0.0f, 0.2f, 0.4f, 0.6f, 0.8f, 1.0f};

constexpr int kMaxRounds = 8;
constexpr float kSmallestNormal = 1.17549435e-38f;
constexpr float kMinColorExtent = 1.0f / 4096.0f;
// The gradient sums below leave out a common factor 1/8 (exact, being a power
// of two), so the test "each component squared below 2^-16" of the scaled
// sums reads 2^-10 here.
constexpr float kColorConverged = 1.0f / 1024.0f;
constexpr float kMinAlphaExtent = 1.0f / 256.0f;
constexpr float kAlphaConverged = 1.0f / 64.0f;

inline float Clamp01(float v) { return v < 0.0f ? 0.0f : (v > 1.0f ? 1.0f : v); }

// Of the box's four diagonals, the one along which the points spread most.
// Returns 0 for low-to-high, 1 with blue reversed, 2 with green reversed, 3 with both.
int ChooseDiagonal(const Vec4* points, Vec4 low, Vec4 high, float extent2) {
    const Vec4 mid = (low + high) * 0.5f;
    const Vec4 scale = (high - low) / extent2;
    float sums[4] = {0, 0, 0, 0};
    for (uint32_t i = 0; i < kBlockTexels; ++i) {
        const Vec4 u = (points[i] - mid) * scale;
        const float ux = u.R(), uy = u.G(), uz = u.B();
        const float d[4] = {ux + uy + uz, ux + uy - uz, ux - uy + uz, ux - uy - uz};
        for (int k = 0; k < 4; ++k) sums[k] += d[k] * d[k];
    }
    int best = 0;
    for (int k = 1; k < 4; ++k)
        if (sums[k] > sums[best]) best = k;
    return best;
}

// Exchanges the blue (bit 0) and green (bit 1) lanes of two vectors where the mask says.
void SwapLanes(Vec4* a, Vec4* b, int diagonal) {
    const __m128 mask = _mm_castsi128_ps(_mm_set_epi32(0, (diagonal & 1) ? -1 : 0, (diagonal & 2) ? -1 : 0, 0));
    const __m128 x = _mm_and_ps(_mm_xor_ps(a->v, b->v), mask);
    a->v = _mm_xor_ps(a->v, x);
    b->v = _mm_xor_ps(b->v, x);
}

}  // namespace

void RefineColorEndpoints(const Vec4* points, int positions, Vec4* lowOut, Vec4* highOut) {
    Vec4 low = ToVec4(kColorWeights), high = Vec4::Zero();
    for (uint32_t i = 0; i < kBlockTexels; ++i) {
        low = Min(low, points[i]);
        high = Max(high, points[i]);
    }
    const Vec4 extent = high - low;
    const float extent2 = Dot3(extent, extent);
    if (extent2 < kSmallestNormal) {
        *lowOut = low, *highOut = high;
        return;
    }
    SwapLanes(&low, &high, ChooseDiagonal(points, low, high, extent2));
    if (extent2 >= kMinColorExtent) {
        const float* wLow = positions == 3 ? kColorLow3 : kColorLow4;
        const float* wHigh = positions == 3 ? kColorHigh3 : kColorHigh4;
        const float last = static_cast<float>(positions - 1);
        for (int round = 0; round < kMaxRounds; ++round) {
            Vec4 palette[4];
            for (int k = 0; k < positions; ++k) palette[k] = low * wLow[k] + high * wHigh[k];
            const Vec4 span = high - low;
            const float length2 = Dot3(span, span);
            if (length2 < kMinColorExtent) break;
            const Vec4 dir = span * (last / length2);
            Vec4 gLow = Vec4::Zero(), gHigh = Vec4::Zero();
            float hLow = 0, hHigh = 0;
            for (uint32_t i = 0; i < kBlockTexels; ++i) {
                const float t = Dot3(points[i] - low, dir);
                int k;
                if (t >= last) {
                    k = positions - 1;
                } else {
                    k = static_cast<int>(t + 0.5f);
                    if (k < 0) k = 0;
                }
                const Vec4 r = palette[k] - points[i];
                const float wl = wLow[k], wh = wHigh[k];
                gLow += r * wl;
                gHigh += r * wh;
                hLow += wl * wl;
                hHigh += wh * wh;
            }
            if (hLow > 0) low = low - gLow / hLow;
            if (hHigh > 0) high = high - gHigh / hHigh;
            if (AllBelow(gLow * gLow, kColorConverged) && AllBelow(gHigh * gHigh, kColorConverged)) break;
        }
    }
    *lowOut = low, *highOut = high;
}

void RefineColorEndpoints(const WeightedColor* points, int positions, WeightedColor* low, WeightedColor* high) {
    Vec4 vectors[kBlockTexels], l, h;
    for (uint32_t i = 0; i < kBlockTexels; ++i) vectors[i] = ToVec4(points[i]);
    RefineColorEndpoints(vectors, positions, &l, &h);
    *low = ToWeightedColor(l), *high = ToWeightedColor(h);
}

void RefineAlphaEndpoints(const float* alphas, int positions, float* lowOut, float* highOut) {
    const bool six = positions == 6;
    float low = 1.0f, high = 0.0f;
    for (uint32_t i = 0; i < kBlockTexels; ++i) {
        const float a = alphas[i];
        // The 6-position palette holds 0 and 1 as fixed entries, so its
        // endpoints span only the values between them.
        if (six && (a <= 0.0f || a >= 1.0f)) continue;
        if (a < low) low = a;
        if (a > high) high = a;
    }
    const float* wLow = six ? kAlphaLow6 : kAlphaLow8;
    const float* wHigh = six ? kAlphaHigh6 : kAlphaHigh8;
    const float last = static_cast<float>(positions - 1);
    for (int round = 0; round < kMaxRounds; ++round) {
        if (high - low < kMinAlphaExtent) break;
        float palette[8];
        for (int k = 0; k < positions; ++k) palette[k] = high * wHigh[k] + low * wLow[k];
        const float scale = last / (high - low);
        float gLow = 0, hLow = 0, gHigh = 0, hHigh = 0;
        for (uint32_t i = 0; i < kBlockTexels; ++i) {
            const float x = alphas[i];
            const float g = (x - low) * scale;
            int k;
            if (g <= 0.0f) {
                if (six && x <= low * 0.5f) continue;  // served by the fixed 0
                k = 0;
            } else if (g >= last) {
                if (six && x >= (high + 1.0f) * 0.5f) continue;  // served by the fixed 1
                k = positions - 1;
            } else {
                k = static_cast<int>(g + 0.5f);
            }
            const float r = x - palette[k];
            gLow += r * wLow[k];
            hLow += wLow[k] * wLow[k];
            gHigh += r * wHigh[k];
            hHigh += wHigh[k] * wHigh[k];
        }
        if (hLow > 0) low -= gLow / hLow;
        if (hHigh > 0) high -= gHigh / hHigh;
        if (low > high) std::swap(low, high);
        if (gLow * gLow < kAlphaConverged && gHigh * gHigh < kAlphaConverged) break;
    }
    *lowOut = Clamp01(low);
    *highOut = Clamp01(high);
}

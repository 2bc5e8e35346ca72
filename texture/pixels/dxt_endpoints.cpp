// Endpoint searches of the block encoders: a few Newton steps that fit the
// palette line to the points it has to represent.
#include <utility>

#include "texture/pixels/dxt_blocks.h"

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
constexpr float kColorConverged = 1.0f / 65536.0f;
constexpr float kMinAlphaExtent = 1.0f / 256.0f;
constexpr float kAlphaConverged = 1.0f / 64.0f;

inline WeightedColor Sub(const WeightedColor& a, const WeightedColor& b) { return {a.r - b.r, a.g - b.g, a.b - b.b}; }
inline float Dot(const WeightedColor& a, const WeightedColor& b) { return a.r * b.r + a.g * b.g + a.b * b.b; }

inline float Clamp01(float v) { return v < 0.0f ? 0.0f : (v > 1.0f ? 1.0f : v); }

// Of the box's four diagonals, the one along which the points spread most.
// Returns 0 for low-to-high, 1 with blue reversed, 2 with green reversed, 3 with both.
int ChooseDiagonal(const WeightedColor* points, const WeightedColor& low, const WeightedColor& high, float extent2) {
    const WeightedColor mid = {(low.r + high.r) * 0.5f, (low.g + high.g) * 0.5f, (low.b + high.b) * 0.5f};
    const WeightedColor scale = {(high.r - low.r) / extent2, (high.g - low.g) / extent2, (high.b - low.b) / extent2};
    float sums[4] = {0, 0, 0, 0};
    for (uint32_t i = 0; i < kBlockTexels; ++i) {
        const float ux = (points[i].r - mid.r) * scale.r;
        const float uy = (points[i].g - mid.g) * scale.g;
        const float uz = (points[i].b - mid.b) * scale.b;
        const float d[4] = {ux + uy + uz, ux + uy - uz, ux - uy + uz, ux - uy - uz};
        for (int k = 0; k < 4; ++k) sums[k] += d[k] * d[k];
    }
    int best = 0;
    for (int k = 1; k < 4; ++k)
        if (sums[k] > sums[best]) best = k;
    return best;
}

}  // namespace

void RefineColorEndpoints(const WeightedColor* points, int positions, WeightedColor* lowOut, WeightedColor* highOut) {
    WeightedColor low = kColorWeights, high = {0, 0, 0};
    for (uint32_t i = 0; i < kBlockTexels; ++i) {
        const WeightedColor& p = points[i];
        if (p.r < low.r) low.r = p.r;
        if (p.g < low.g) low.g = p.g;
        if (p.b < low.b) low.b = p.b;
        if (p.r > high.r) high.r = p.r;
        if (p.g > high.g) high.g = p.g;
        if (p.b > high.b) high.b = p.b;
    }
    const WeightedColor extent = Sub(high, low);
    const float extent2 = Dot(extent, extent);
    if (extent2 < kSmallestNormal) {
        *lowOut = low, *highOut = high;
        return;
    }
    const int diagonal = ChooseDiagonal(points, low, high, extent2);
    if (diagonal & 1) std::swap(low.b, high.b);
    if (diagonal & 2) std::swap(low.g, high.g);
    if (extent2 >= kMinColorExtent) {
        const float* wLow = positions == 3 ? kColorLow3 : kColorLow4;
        const float* wHigh = positions == 3 ? kColorHigh3 : kColorHigh4;
        const float last = static_cast<float>(positions - 1);
        for (int round = 0; round < kMaxRounds; ++round) {
            WeightedColor palette[4];
            for (int k = 0; k < positions; ++k)
                palette[k] = {low.r * wLow[k] + high.r * wHigh[k], low.g * wLow[k] + high.g * wHigh[k],
                              low.b * wLow[k] + high.b * wHigh[k]};
            const WeightedColor span = Sub(high, low);
            const float length2 = Dot(span, span);
            if (length2 < kMinColorExtent) break;
            const float s = last / length2;
            const WeightedColor dir = {span.r * s, span.g * s, span.b * s};
            WeightedColor gLow = {0, 0, 0}, gHigh = {0, 0, 0};
            float hLow = 0, hHigh = 0;
            for (uint32_t i = 0; i < kBlockTexels; ++i) {
                const float t = Dot(Sub(points[i], low), dir);
                int k;
                if (t >= last) {
                    k = positions - 1;
                } else {
                    k = static_cast<int>(t + 0.5f);
                    if (k < 0) k = 0;
                }
                const WeightedColor r = Sub(palette[k], points[i]);
                const float wl = wLow[k] * 0.125f, wh = wHigh[k] * 0.125f;
                gLow.r += r.r * wl, gLow.g += r.g * wl, gLow.b += r.b * wl;
                gHigh.r += r.r * wh, gHigh.g += r.g * wh, gHigh.b += r.b * wh;
                hLow += wLow[k] * wl;
                hHigh += wHigh[k] * wh;
            }
            if (hLow > 0) low = {low.r - gLow.r / hLow, low.g - gLow.g / hLow, low.b - gLow.b / hLow};
            if (hHigh > 0) high = {high.r - gHigh.r / hHigh, high.g - gHigh.g / hHigh, high.b - gHigh.b / hHigh};
            if (gLow.r * gLow.r < kColorConverged && gLow.g * gLow.g < kColorConverged &&
                gLow.b * gLow.b < kColorConverged && gHigh.r * gHigh.r < kColorConverged &&
                gHigh.g * gHigh.g < kColorConverged && gHigh.b * gHigh.b < kColorConverged)
                break;
        }
    }
    *lowOut = low, *highOut = high;
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

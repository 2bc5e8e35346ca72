// Three-dimensional gradient noise: a hashed lattice of twelve edge gradients
// blended with the quintic fade curve.
#include <array>
#include <cstdint>

#include "math/klmath.h"

namespace {

// A fixed permutation of 0..255 (Fisher-Yates driven by a linear congruential
// generator), repeated once so that hashing needs no wrap-around.
std::array<uint8_t, 512> MakePermutation() {
    std::array<uint8_t, 512> p{};
    for (int i = 0; i < 256; ++i) p[i] = static_cast<uint8_t>(i);
    uint32_t state = 0x2545F491u;
    for (int i = 255; i > 0; --i) {
        state = state * 1664525u + 1013904223u;
        int j = static_cast<int>((state >> 8) % static_cast<uint32_t>(i + 1));
        std::swap(p[i], p[j]);
    }
    for (int i = 0; i < 256; ++i) p[256 + i] = p[i];
    return p;
}

const std::array<uint8_t, 512> kPerm = MakePermutation();

float Fade(float t) { return t * t * t * (t * (t * 6 - 15) + 10); }
float Lerp(float t, float a, float b) { return a + t * (b - a); }

float Gradient(int hash, float x, float y, float z) {
    int h = hash & 15;
    float u = h < 8 ? x : y;
    float v = h < 4 ? y : (h == 12 || h == 14 ? x : z);
    return ((h & 1) ? -u : u) + ((h & 2) ? -v : v);
}

}  // namespace

float KLPerlinNoise3(const KLVECTOR3* v) {
    float fx = std::floor(v->x), fy = std::floor(v->y), fz = std::floor(v->z);
    if (!std::isfinite(fx) || !std::isfinite(fy) || !std::isfinite(fz)) return 0.0f;
    // The lattice repeats every 256 cells.
    int X = static_cast<int>(std::fmod(fx, 256.0f) + 256.0f) & 255;
    int Y = static_cast<int>(std::fmod(fy, 256.0f) + 256.0f) & 255;
    int Z = static_cast<int>(std::fmod(fz, 256.0f) + 256.0f) & 255;
    float x = v->x - fx, y = v->y - fy, z = v->z - fz;
    float u = Fade(x), w = Fade(y), t = Fade(z);
    int A = kPerm[X] + Y, AA = kPerm[A] + Z, AB = kPerm[A + 1] + Z;
    int B = kPerm[X + 1] + Y, BA = kPerm[B] + Z, BB = kPerm[B + 1] + Z;
    float r = Lerp(t,
                   Lerp(w, Lerp(u, Gradient(kPerm[AA], x, y, z), Gradient(kPerm[BA], x - 1, y, z)),
                        Lerp(u, Gradient(kPerm[AB], x, y - 1, z), Gradient(kPerm[BB], x - 1, y - 1, z))),
                   Lerp(w, Lerp(u, Gradient(kPerm[AA + 1], x, y, z - 1), Gradient(kPerm[BA + 1], x - 1, y, z - 1)),
                        Lerp(u, Gradient(kPerm[AB + 1], x, y - 1, z - 1),
                             Gradient(kPerm[BB + 1], x - 1, y - 1, z - 1))));
    return r < -1.0f ? -1.0f : (r > 1.0f ? 1.0f : r);
}

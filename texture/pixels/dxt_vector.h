// The colour arithmetic of the DXT encoders on four-lane vectors (red, green,
// blue and an unused lane kept at 0). Each lane does exactly the single-
// precision operation the plain per-channel code would, and dot products add
// in the order red, green, blue, so results are bit for bit those of scalar
// code; the vectors only keep the three channels in one register.
#pragma once

#include <emmintrin.h>

#include "texture/pixels/dxt_blocks.h"

struct Vec4 {
    __m128 v;
    static Vec4 Zero() { return {_mm_setzero_ps()}; }
    static Vec4 Rgb(float r, float g, float b) { return {_mm_set_ps(0.0f, b, g, r)}; }
    float R() const { return _mm_cvtss_f32(v); }
    float G() const { return _mm_cvtss_f32(_mm_shuffle_ps(v, v, 1)); }
    float B() const { return _mm_cvtss_f32(_mm_shuffle_ps(v, v, 2)); }
    Vec4& operator+=(const Vec4& o) {
        v = _mm_add_ps(v, o.v);
        return *this;
    }
};

inline Vec4 operator+(Vec4 a, Vec4 b) { return {_mm_add_ps(a.v, b.v)}; }
inline Vec4 operator-(Vec4 a, Vec4 b) { return {_mm_sub_ps(a.v, b.v)}; }
inline Vec4 operator*(Vec4 a, Vec4 b) { return {_mm_mul_ps(a.v, b.v)}; }
inline Vec4 operator*(Vec4 a, float s) { return {_mm_mul_ps(a.v, _mm_set1_ps(s))}; }
inline Vec4 operator/(Vec4 a, Vec4 b) { return {_mm_div_ps(a.v, b.v)}; }
inline Vec4 operator/(Vec4 a, float s) { return {_mm_div_ps(a.v, _mm_set1_ps(s))}; }
inline Vec4 Min(Vec4 a, Vec4 b) { return {_mm_min_ps(a.v, b.v)}; }
inline Vec4 Max(Vec4 a, Vec4 b) { return {_mm_max_ps(a.v, b.v)}; }

// r*r' + g*g' + b*b', added left to right.
inline float Dot3(Vec4 a, Vec4 b) {
    const Vec4 p = a * b;
    return (p.R() + p.G()) + p.B();
}

// Whether every colour lane of a is below the limit.
inline bool AllBelow(Vec4 a, float limit) {
    return (_mm_movemask_ps(_mm_cmplt_ps(a.v, _mm_set1_ps(limit))) & 7) == 7;
}

inline Vec4 ToVec4(const WeightedColor& c) { return Vec4::Rgb(c.r, c.g, c.b); }
inline WeightedColor ToWeightedColor(const Vec4& c) { return {c.R(), c.G(), c.B()}; }

// RefineColorEndpoints on points already held as vectors.
void RefineColorEndpoints(const Vec4* points, int positions, Vec4* low, Vec4* high);

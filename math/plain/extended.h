// Helpers of the plain variants: extended-precision intermediates and the
// unaligned element access of the array forms.
#pragma once

#include <cstring>

#include "math/klmath.h"

namespace klmath::plain {

// The x87 80-bit format: sums of products are formed in it and rounded to
// single precision only when stored.
using ext = long double;

inline ext Dot3(ext ax, ext ay, ext az, ext bx, ext by, ext bz) { return ax * bx + ay * by + az * bz; }

// Array elements may sit at any byte offset, so they are copied, not cast.
template <typename T>
inline T LoadAt(const void* base, UINT stride, UINT i) {
    T value;
    std::memcpy(&value, static_cast<const BYTE*>(base) + static_cast<size_t>(stride) * i, sizeof(T));
    return value;
}

template <typename T>
inline T LoadAtOffset(const void* base, size_t offset) {
    T value;
    std::memcpy(&value, static_cast<const BYTE*>(base) + offset, sizeof(T));
    return value;
}

template <typename T>
inline void StoreAt(void* base, UINT stride, UINT i, const T& value) {
    std::memcpy(static_cast<BYTE*>(base) + static_cast<size_t>(stride) * i, &value, sizeof(T));
}

// The product a * b in extended precision, rounded when stored.
inline KLMATRIX MultiplyExt(const KLMATRIX& a, const KLMATRIX& b) {
    KLMATRIX r;
    for (int i = 0; i < 4; ++i)
        for (int j = 0; j < 4; ++j) {
            ext s = 0;
            for (int k = 0; k < 4; ++k) s += static_cast<ext>(a.m[i][k]) * b.m[k][j];
            r.m[i][j] = static_cast<float>(s);
        }
    return r;
}

// Normalisation rule shared by the plain variants: squared length in extended
// precision rounded to single; zero below the smallest normal float (or not a
// number); the input copied unchanged within 2^-23 of unit length.
enum class NormCase { Zero, Copy, Scale };
inline NormCase ClassifyLengthSq(float L) {
    if (!(L > 0x1p-126f)) return NormCase::Zero;
    if (std::fabs(L - 1.0f) <= 0x1p-23f) return NormCase::Copy;
    return NormCase::Scale;
}

}  // namespace klmath::plain

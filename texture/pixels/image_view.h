// A described rectangle (or box) of pixels in memory, and the filter word that
// steers copies between two of them.
#pragma once

#include "gfx/d3d9.h"

// Filter word: kind in the low 16 bits, flags above. Shared by texture
// creation, the resampler and mip-map generation.
enum TexFilter : uint32_t {
    TexFilterNone = 1,
    TexFilterPoint = 2,
    TexFilterLinear = 3,
    TexFilterTriangle = 4,
    TexFilterBox = 5,
    TexFilterMirrorU = 0x10000,
    TexFilterMirrorV = 0x20000,
    TexFilterMirrorW = 0x40000,
    TexFilterMirror = 0x70000,
    TexFilterDither = 0x80000,
    TexFilterSrgbIn = 0x100000,
    TexFilterSrgbOut = 0x200000,
};

constexpr uint32_t kTexFilterKindMask = 0xFFFF;
// The default filter of level writes: tent filter with ordered dithering.
constexpr uint32_t kDefaultLevelFilter = TexFilterTriangle | TexFilterDither;

inline uint32_t TexFilterKind(uint32_t filter) { return filter & kTexFilterKindMask; }
// A word whose kind is 0 or above Box, or with any bit at or above 0x400000, is invalid.
inline bool IsValidTexFilter(uint32_t filter) {
    const uint32_t kind = TexFilterKind(filter);
    return kind >= TexFilterNone && kind <= TexFilterBox && (filter & ~0x3FFFFFu) == 0;
}

// left, top, right, bottom, front, back; right, bottom and back are exclusive.
struct ImageBox {
    uint32_t left = 0, top = 0, right = 0, bottom = 0, front = 0, back = 1;
    uint32_t Width() const { return right - left; }
    uint32_t Height() const { return bottom - top; }
    uint32_t Depth() const { return back - front; }
};

struct ImageView {
    BYTE* pixels = nullptr;
    D3DFORMAT format = D3DFMT_UNKNOWN;
    uint32_t rowPitch = 0;
    uint32_t slicePitch = 0;
    ImageBox extent;          // the whole memory
    ImageBox region;          // the part to process
    bool dither = false;
    bool srgb = false;
    DWORD colorKey = 0;       // ARGB; 0 for none
    const BYTE* palette = nullptr;  // 256 entries red, green, blue, alpha, or null
};

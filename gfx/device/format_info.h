// What the device knows about each pixel format: storage size, block size,
// what it may be used for, and how to read one texel as four floats.
#pragma once

#include "gfx/d3d9types.h"

namespace gfx {

enum FormatUse : uint32_t {
    kUseTexture = 1u << 0,       // sampled by textures (also cube and volume)
    kUseRenderTarget = 1u << 1,  // drawn into
    kUseDepthStencil = 1u << 2,  // depth/stencil buffer
    kUseFilter = 1u << 3,        // linear filtering
    kUseBlend = 1u << 4,         // blending after the pixel shader
    kUseAutoMip = 1u << 5,       // automatic mip generation
    kUseVertexTexture = 1u << 6, // sampled by vertex shaders
    kUseLockable = 1u << 7,      // surfaces can be locked (all but the depth formats)
};

// Reads texel (x, y) of a row-major image as red, green, blue, alpha.
using TexelDecoder = void (*)(const BYTE* base, INT pitch, UINT x, UINT y, float out[4]);

struct FormatInfo {
    D3DFORMAT format;
    UINT blockBytes;   // bytes per pixel, or per 4x4 block when blockSize is 4
    UINT blockSize;    // 1, or 4 for the compressed formats
    uint32_t uses;     // FormatUse bits
    TexelDecoder decode;  // null when the format cannot be sampled
    UINT depthBits;    // depth formats: depth and stencil bits
    UINT stencilBits;
};

// Null for formats the device does not know at all.
const FormatInfo* FindFormat(D3DFORMAT format);

// Row pitch and total size of one level (0 on overflow or unknown format).
UINT RowPitch(const FormatInfo& info, UINT width);
UINT RowCount(const FormatInfo& info, UINT height);
inline bool IsDepthFormat(const FormatInfo& info) { return (info.uses & kUseDepthStencil) != 0; }

// Depth value in [0, 1] as stored by a depth format (before any shift).
inline uint32_t QuantiseDepth(const FormatInfo& info, float z) {
    if (!(z > 0.f)) return 0;  // also NaN
    if (z > 1.f) z = 1.f;
    return uint32_t(double(z) * double((uint64_t(1) << info.depthBits) - 1) + 0.5);
}

// Half-precision to single-precision conversion.
float HalfToFloat(uint16_t h);

}  // namespace gfx

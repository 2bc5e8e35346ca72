// The pixel stage for a batch of quads of one triangle: perspective-correct
// interpolation, depth test (before shading when nothing can change depth or
// discard pixels afterwards), the pixel shader or the fixed-function stages,
// alpha test, stencil and depth test and write, blending, colour write mask.
#include <algorithm>
#include <cmath>
#include <cstring>
#include <new>

#include "gfx/device/fixed_function.h"
#include "gfx/device/pipeline.h"
#include "gfx/device/texture_sampler.h"

namespace gfx {

struct PixelScratch {
    PixelBatch batch;
    PixelResults results;
    alignas(64) float z[kLanes];
    int px[kLanes], py[kLanes];
};

PixelScratch* NewPixelScratch() {
    auto* s = new PixelScratch();
    std::memset(static_cast<void*>(s), 0, sizeof(PixelScratch));
    return s;
}
void DeletePixelScratch(PixelScratch* scratch) { delete scratch; }

namespace {

inline float Sat(float v) { return v < 0.f ? 0.f : (v > 1.f ? 1.f : v); }
inline uint32_t ToByte(float v) { return uint32_t(Sat(v) * 255.f + 0.5f); }

inline bool Compare(DWORD func, uint32_t value, uint32_t reference) {
    switch (func) {
    case D3DCMP_NEVER: return false;
    case D3DCMP_LESS: return value < reference;
    case D3DCMP_EQUAL: return value == reference;
    case D3DCMP_LESSEQUAL: return value <= reference;
    case D3DCMP_GREATER: return value > reference;
    case D3DCMP_NOTEQUAL: return value != reference;
    case D3DCMP_GREATEREQUAL: return value >= reference;
    default: return true;
    }
}

// Depth buffer access: values are integers at the buffer's precision.
struct DepthAccess {
    ImageStore* image = nullptr;
    bool wide = false;          // 32-bit storage
    uint32_t shift = 0;         // depth bits sit above the stencil/unused bits
    uint32_t stencilMask = 0;
    uint32_t depthMask = 0;     // bits of the stored value holding depth

    explicit DepthAccess(ImageStore* i) : image(i) {
        if (!i) return;
        const FormatInfo& f = *i->info;
        wide = f.blockBytes == 4;
        shift = wide && f.depthBits == 24 ? 8 : 0;
        stencilMask = f.stencilBits ? (1u << f.stencilBits) - 1 : 0;
        depthMask = shift ? 0xFFFFFF00u : (wide ? 0xFFFFFFFFu : 0xFFFFu);
    }
    uint32_t Quantise(float z) const { return QuantiseDepth(*image->info, z); }
    uint32_t Raw(int x, int y) const {
        const BYTE* p = image->Row(UINT(y)) + size_t(x) * (wide ? 4 : 2);
        if (wide) {
            uint32_t v;
            std::memcpy(&v, p, 4);
            return v;
        }
        uint16_t v;
        std::memcpy(&v, p, 2);
        return v;
    }
    void Store(int x, int y, uint32_t raw) const {
        BYTE* p = image->Row(UINT(y)) + size_t(x) * (wide ? 4 : 2);
        if (wide) {
            std::memcpy(p, &raw, 4);
        } else {
            uint16_t v = uint16_t(raw);
            std::memcpy(p, &v, 2);
        }
    }
    uint32_t Depth(uint32_t raw) const { return shift ? raw >> shift : raw; }
    uint32_t Stencil(uint32_t raw) const { return raw & stencilMask; }
};

uint32_t StencilOp(DWORD op, uint32_t value, uint32_t ref, uint32_t mask) {
    switch (op) {
    case D3DSTENCILOP_ZERO: return 0;
    case D3DSTENCILOP_REPLACE: return ref & mask;
    case D3DSTENCILOP_INCRSAT: return value < mask ? value + 1 : mask;
    case D3DSTENCILOP_DECRSAT: return value > 0 ? value - 1 : 0;
    case D3DSTENCILOP_INVERT: return ~value & mask;
    case D3DSTENCILOP_INCR: return (value + 1) & mask;
    case D3DSTENCILOP_DECR: return (value - 1) & mask;
    default: return value;
    }
}

// Blend factor for colour channel c (0-2) or alpha (3).
inline float Factor(DWORD f, const float s[4], const float d[4], const float k[4], int c) {
    switch (f) {
    case D3DBLEND_ZERO: return 0.f;
    case D3DBLEND_ONE: return 1.f;
    case D3DBLEND_SRCCOLOR: return s[c];
    case D3DBLEND_INVSRCCOLOR: return 1.f - s[c];
    case D3DBLEND_SRCALPHA: return s[3];
    case D3DBLEND_INVSRCALPHA: return 1.f - s[3];
    case D3DBLEND_DESTALPHA: return d[3];
    case D3DBLEND_INVDESTALPHA: return 1.f - d[3];
    case D3DBLEND_DESTCOLOR: return d[c];
    case D3DBLEND_INVDESTCOLOR: return 1.f - d[c];
    case D3DBLEND_SRCALPHASAT: return c == 3 ? 1.f : std::min(s[3], 1.f - d[3]);
    case D3DBLEND_BLENDFACTOR: return k[c];
    case D3DBLEND_INVBLENDFACTOR: return 1.f - k[c];
    default: return 1.f;
    }
}

inline float BlendOp(DWORD op, float s, float d) {
    switch (op) {
    case D3DBLENDOP_SUBTRACT: return s - d;
    case D3DBLENDOP_REVSUBTRACT: return d - s;
    case D3DBLENDOP_MIN: return std::min(s, d);
    case D3DBLENDOP_MAX: return std::max(s, d);
    default: return s + d;
    }
}

// Resolves the two "both" source factors into their source/destination pair.
void ResolveBoth(DWORD* src, DWORD* dst) {
    if (*src == D3DBLEND_BOTHSRCALPHA) {
        *src = D3DBLEND_SRCALPHA;
        *dst = D3DBLEND_INVSRCALPHA;
    } else if (*src == D3DBLEND_BOTHINVSRCALPHA) {
        *src = D3DBLEND_INVSRCALPHA;
        *dst = D3DBLEND_SRCALPHA;
    }
}

// Writes the colour of the live lanes into the render target.
void WriteColor(const DrawState& state, const PixelScratch& sc, const LaneVec4& color, uint32_t live) {
    ImageStore& target = *state.color;
    bool hasAlpha = target.Format() == D3DFMT_A8R8G8B8;
    DWORD src = state.srcBlend, dst = state.destBlend;
    DWORD srcA = state.separateAlpha ? state.srcBlendAlpha : src;
    DWORD dstA = state.separateAlpha ? state.destBlendAlpha : dst;
    ResolveBoth(&src, &dst);
    ResolveBoth(&srcA, &dstA);
    DWORD opA = state.separateAlpha ? state.blendOpAlpha : state.blendOp;
    uint32_t keep = 0;  // bits of the destination that the write mask protects
    if (!(state.writeMask & D3DCOLORWRITEENABLE_RED)) keep |= 0x00FF0000u;
    if (!(state.writeMask & D3DCOLORWRITEENABLE_GREEN)) keep |= 0x0000FF00u;
    if (!(state.writeMask & D3DCOLORWRITEENABLE_BLUE)) keep |= 0x000000FFu;
    if (!(state.writeMask & D3DCOLORWRITEENABLE_ALPHA)) keep |= 0xFF000000u;
    for (int l = 0; l < kLanes; ++l) {
        if (!(live >> l & 1)) continue;
        auto* p = reinterpret_cast<uint32_t*>(target.Row(UINT(sc.py[l]))) + sc.px[l];
        float s[4] = {color.v[0][l], color.v[1][l], color.v[2][l], color.v[3][l]};
        uint32_t out;
        if (state.blend) {
            uint32_t old = *p;
            float d[4] = {((old >> 16) & 0xFF) / 255.f, ((old >> 8) & 0xFF) / 255.f, (old & 0xFF) / 255.f,
                          hasAlpha ? (old >> 24) / 255.f : 1.f};
            for (int c = 0; c < 4; ++c) s[c] = Sat(s[c]);
            float r[4];
            for (int c = 0; c < 4; ++c) {
                DWORD op = c < 3 ? state.blendOp : opA;
                // Minimum and maximum compare the colours themselves; the
                // factors take no part.
                if (op == D3DBLENDOP_MIN || op == D3DBLENDOP_MAX) {
                    r[c] = BlendOp(op, s[c], d[c]);
                } else {
                    r[c] = BlendOp(op, s[c] * Factor(c < 3 ? src : srcA, s, d, state.blendFactor, c),
                                   d[c] * Factor(c < 3 ? dst : dstA, s, d, state.blendFactor, c));
                }
            }
            out = (ToByte(r[3]) << 24) | (ToByte(r[0]) << 16) | (ToByte(r[1]) << 8) | ToByte(r[2]);
        } else {
            out = (ToByte(s[3]) << 24) | (ToByte(s[0]) << 16) | (ToByte(s[1]) << 8) | ToByte(s[2]);
        }
        if (!hasAlpha) out |= 0xFF000000u;
        *p = (out & ~keep) | (*p & keep);
    }
}

}  // namespace

void ShadeQuads(const DrawState& state, const TriangleSetup& tri, const int* quadX, const int* quadY, int quads,
                uint32_t coverage, PixelScratch& sc) {
    PixelBatch& batch = sc.batch;
    int lanes = 4 * quads;
    batch.quads = quads;
    float invW[kLanes], dx[kLanes], dy[kLanes];
    for (int l = 0; l < lanes; ++l) {
        sc.px[l] = quadX[l >> 2] + (l & 1);
        sc.py[l] = quadY[l >> 2] + ((l >> 1) & 1);
        dx[l] = float(sc.px[l]) - tri.x0;
        dy[l] = float(sc.py[l]) - tri.y0;
        sc.z[l] = tri.z[0] + tri.z[1] * dx[l] + tri.z[2] * dy[l];
        float w = tri.invW[0] + tri.invW[1] * dx[l] + tri.invW[2] * dy[l];
        invW[l] = 1.f / w;
    }

    // Early depth test: nothing after shading can change depth or discard.
    DepthAccess depth(state.depth);
    bool depthTest = state.zEnable && state.depth;
    if (depthTest && state.earlyDepth) {
        for (int l = 0; l < lanes; ++l) {
            if (!(coverage >> l & 1)) continue;
            uint32_t stored = depth.Depth(depth.Raw(sc.px[l], sc.py[l]));
            if (!Compare(state.zFunc, depth.Quantise(sc.z[l]), stored)) coverage &= ~(1u << l);
        }
        if (!coverage) return;
    }

    for (int i = 0; i < state.varyings.count; ++i) {
        LaneVec4& in = batch.input[state.varyings.items[i].target];
        for (int c = 0; c < 4; ++c) {
            const float* p = tri.attr[i][c];
            for (int l = 0; l < lanes; ++l) in.v[c][l] = (p[0] + p[1] * dx[l] + p[2] * dy[l]) * invW[l];
        }
    }
    batch.coverage = coverage;

    const LaneVec4* color;
    uint32_t killed = 0;
    const float* shaderDepth = nullptr;
    if (state.pixelShader) {
        for (int l = 0; l < lanes; ++l) {
            batch.position.v[0][l] = float(sc.px[l]);
            batch.position.v[1][l] = float(sc.py[l]);
            batch.face[l] = tri.backFace ? -1.f : 1.f;
        }
        state.pixelShader->RunPixels(*state.psConstants, state.sampler, batch, &sc.results, state.execPath);
        color = &sc.results.color[0];
        killed = sc.results.killed;
        if (state.pixelShader->DepthWritten()) shaderDepth = sc.results.depth;
    } else {
        ShadeFixedFunction(state, batch, &sc.results.color[0]);
        color = &sc.results.color[0];
    }
    uint32_t live = coverage & ~killed;

    if (state.alphaTest) {
        uint32_t ref = uint32_t(state.alphaRef);
        for (int l = 0; l < lanes; ++l) {
            if ((live >> l & 1) && !Compare(state.alphaFunc, ToByte(color->v[3][l]), ref)) live &= ~(1u << l);
        }
    }
    if (!live) return;

    if (state.depth && (state.zEnable || state.stencil)) {
        for (int l = 0; l < lanes; ++l) {
            if (!(live >> l & 1)) continue;
            uint32_t raw = depth.Raw(sc.px[l], sc.py[l]);
            uint32_t z = depth.Quantise(shaderDepth ? shaderDepth[l] : sc.z[l]);
            bool depthPass = !state.zEnable || state.earlyDepth || Compare(state.zFunc, z, depth.Depth(raw));
            uint32_t newRaw = raw;
            if (state.stencil && depth.stencilMask) {
                int side = (state.twoSidedStencil && tri.backFace) ? 1 : 0;
                uint32_t stencil = depth.Stencil(raw);
                uint32_t mask = state.stencilMask & depth.stencilMask;
                bool stencilPass = Compare(state.stencilFunc[side], state.stencilRef & mask, stencil & mask);
                DWORD op = !stencilPass ? state.stencilFail[side]
                                        : (!depthPass ? state.stencilZFail[side] : state.stencilPass[side]);
                uint32_t updated = StencilOp(op, stencil, state.stencilRef, depth.stencilMask);
                uint32_t writeMask = state.stencilWriteMask & depth.stencilMask;
                newRaw = (newRaw & ~writeMask) | (updated & writeMask);
                if (!stencilPass) depthPass = false;
            }
            if (depthPass && state.zEnable && state.zWrite) {
                newRaw = (newRaw & ~depth.depthMask) | ((z << depth.shift) & depth.depthMask);
            }
            if (newRaw != raw) depth.Store(sc.px[l], sc.py[l], newRaw);
            if (!depthPass) live &= ~(1u << l);
        }
    }
    if (live && state.writeMask) WriteColor(state, sc, *color, live);
}

}  // namespace gfx

// The pixel stage for a batch of quads of one triangle: perspective-correct
// interpolation, depth test (before shading when nothing can change depth or
// discard pixels afterwards), the pixel shader or the fixed-function stages,
// alpha test, stencil and depth test and write, blending, colour write mask.
#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstring>
#include <new>

#include <emmintrin.h>

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

// Clamps to [0, 1]; NaN becomes 0.
inline float Sat(float v) {
    float t = v > 0.f ? v : 0.f;  // the forms of maxss/minss, so no branches
    return t < 1.f ? t : 1.f;
}
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

// The depth values and stored depths of the early test for 32-bit depth
// buffers of up to 24 bits of depth, in SSE2: the same double arithmetic as
// the lane loop (values below 2^24 convert exactly through int32), and
// stored values read two pixels at a time from each row of a whole quad.
void EarlyDepthSse(const DepthAccess& depth, const PixelScratch& sc, uint32_t coverage, double scale, uint32_t* zq,
                   uint32_t* stored) {
    const __m128 zero = _mm_setzero_ps(), one = _mm_set1_ps(1.f);
    const __m128d scaleD = _mm_set1_pd(scale), half = _mm_set1_pd(0.5);
    for (int l = 0; l < kLanes; l += 4) {
        __m128 z = _mm_min_ps(_mm_max_ps(_mm_load_ps(sc.z + l), zero), one);
        __m128i lo = _mm_cvttpd_epi32(_mm_add_pd(_mm_mul_pd(_mm_cvtps_pd(z), scaleD), half));
        __m128i hi = _mm_cvttpd_epi32(_mm_add_pd(_mm_mul_pd(_mm_cvtps_pd(_mm_movehl_ps(z, z)), scaleD), half));
        _mm_store_si128(reinterpret_cast<__m128i*>(zq + l), _mm_unpacklo_epi64(lo, hi));
    }
    const ImageStore& image = *depth.image;
    for (int q = 0; q < kQuads; ++q) {
        uint32_t quadCover = (coverage >> (4 * q)) & 0xF;
        int lane = 4 * q, x = sc.px[lane], y = sc.py[lane];
        if (quadCover && UINT(x) + 1 < image.width && UINT(y) + 1 < image.height) {
            const BYTE* row = image.Row(UINT(y)) + size_t(x) * 4;
            __m128i raw = _mm_unpacklo_epi64(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(row)),
                                             _mm_loadl_epi64(reinterpret_cast<const __m128i*>(row + image.rowPitch)));
            raw = _mm_srl_epi32(raw, _mm_cvtsi32_si128(int(depth.shift)));
            _mm_store_si128(reinterpret_cast<__m128i*>(stored + lane), raw);
            continue;
        }
        for (int i = 0; i < 4; ++i) {
            int l = lane + i;
            stored[l] = (coverage >> l & 1) ? depth.Depth(depth.Raw(sc.px[l], sc.py[l])) : 0u;
        }
    }
}

// Lanes whose quantised depth passes `func` against the stored depth; the
// comparison is chosen once per batch so the lane loop has no branches.
template <class Cmp>
uint32_t PassMask(const uint32_t* z, const uint32_t* stored, Cmp cmp) {
    uint32_t mask = 0;
    for (int l = 0; l < kLanes; ++l) mask |= uint32_t(cmp(z[l], stored[l])) << l;
    return mask;
}

uint32_t DepthPassMask(DWORD func, const uint32_t* z, const uint32_t* stored) {
    switch (func) {
    case D3DCMP_NEVER: return 0;
    case D3DCMP_LESS: return PassMask(z, stored, [](uint32_t a, uint32_t b) { return a < b; });
    case D3DCMP_EQUAL: return PassMask(z, stored, [](uint32_t a, uint32_t b) { return a == b; });
    case D3DCMP_LESSEQUAL: return PassMask(z, stored, [](uint32_t a, uint32_t b) { return a <= b; });
    case D3DCMP_GREATER: return PassMask(z, stored, [](uint32_t a, uint32_t b) { return a > b; });
    case D3DCMP_NOTEQUAL: return PassMask(z, stored, [](uint32_t a, uint32_t b) { return a != b; });
    case D3DCMP_GREATEREQUAL: return PassMask(z, stored, [](uint32_t a, uint32_t b) { return a >= b; });
    default: return 0xFFFFu;
    }
}

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

// Blend factor for channel c (0-2 colour, 3 alpha) of lane l; s and d are the
// source and destination in structure-of-arrays form.
inline float Factor(DWORD f, const float (*s)[kLanes], const float (*d)[kLanes], const float k[4], int c, int l) {
    switch (f) {
    case D3DBLEND_ZERO: return 0.f;
    case D3DBLEND_ONE: return 1.f;
    case D3DBLEND_SRCCOLOR: return s[c][l];
    case D3DBLEND_INVSRCCOLOR: return 1.f - s[c][l];
    case D3DBLEND_SRCALPHA: return s[3][l];
    case D3DBLEND_INVSRCALPHA: return 1.f - s[3][l];
    case D3DBLEND_DESTALPHA: return d[3][l];
    case D3DBLEND_INVDESTALPHA: return 1.f - d[3][l];
    case D3DBLEND_DESTCOLOR: return d[c][l];
    case D3DBLEND_INVDESTCOLOR: return 1.f - d[c][l];
    case D3DBLEND_SRCALPHASAT: return c == 3 ? 1.f : std::min(s[3][l], 1.f - d[3][l]);
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

// Writes the colour of the live lanes into the render target. All sixteen
// lanes are computed (so the loops vectorise) and only live ones stored.
// kSrc/kDst fix the colour blend factors at compile time for the common
// cases, with the same arithmetic as the general case; 0 reads the state.
template <DWORD kSrc, DWORD kDst>
void WriteColorT(const DrawState& state, const PixelScratch& sc, const LaneVec4& color, uint32_t live) {
    ImageStore& target = *state.color;
    bool hasAlpha = target.Format() == D3DFMT_A8R8G8B8;
    DWORD src = kSrc ? kSrc : state.srcBlend, dst = kDst ? kDst : state.destBlend;
    DWORD srcA = state.separateAlpha ? state.srcBlendAlpha : src;
    DWORD dstA = state.separateAlpha ? state.destBlendAlpha : dst;
    ResolveBoth(&src, &dst);
    ResolveBoth(&srcA, &dstA);
    DWORD opC = kSrc ? DWORD(D3DBLENDOP_ADD) : state.blendOp;
    DWORD opA = state.separateAlpha ? state.blendOpAlpha : opC;
    uint32_t keep = 0;  // bits of the destination that the write mask protects
    if (!(state.writeMask & D3DCOLORWRITEENABLE_RED)) keep |= 0x00FF0000u;
    if (!(state.writeMask & D3DCOLORWRITEENABLE_GREEN)) keep |= 0x0000FF00u;
    if (!(state.writeMask & D3DCOLORWRITEENABLE_BLUE)) keep |= 0x000000FFu;
    if (!(state.writeMask & D3DCOLORWRITEENABLE_ALPHA)) keep |= 0xFF000000u;
    if (!hasAlpha) keep &= 0x00FFFFFFu;

    // A quad is two pairs of neighbouring pixels: whole quads inside the
    // target move as two 8-byte rows, others pixel by pixel.
    alignas(64) uint32_t old[kLanes];
    BYTE* quadRow[kQuads] = {};
    for (int q = 0; q < kQuads; ++q) {
        uint32_t quadLive = (live >> (4 * q)) & 0xF;
        int x = sc.px[4 * q], y = sc.py[4 * q];
        if (quadLive && UINT(x) + 1 < target.width && UINT(y) + 1 < target.height) {
            quadRow[q] = target.Row(UINT(y)) + size_t(x) * 4;
            std::memcpy(&old[4 * q], quadRow[q], 8);
            std::memcpy(&old[4 * q + 2], quadRow[q] + target.rowPitch, 8);
            continue;
        }
        for (int i = 0; i < 4; ++i) {
            int l = 4 * q + i;
            old[l] = (live >> l & 1) ? reinterpret_cast<uint32_t*>(target.Row(UINT(sc.py[l])))[sc.px[l]] : 0u;
        }
    }
    alignas(64) float s[4][kLanes], r[4][kLanes];
    alignas(64) uint32_t out[kLanes];
    const int shifts[4] = {16, 8, 0, 24};
    if (state.blend) {
        alignas(64) float d[4][kLanes];
        for (int c = 0; c < 4; ++c) {
            const float* in = color.v[c];
            for (int l = 0; l < kLanes; ++l) s[c][l] = Sat(in[l]);
            const int sh = shifts[c];
            for (int l = 0; l < kLanes; ++l) d[c][l] = float((old[l] >> sh) & 0xFF) * (1.f / 255.f);
        }
        if (!hasAlpha) {
            for (int l = 0; l < kLanes; ++l) d[3][l] = 1.f;
        }
        for (int c = 0; c < 4; ++c) {
            if constexpr (kSrc != 0) {
                // Same factors and addition for all four channels, written
                // out (x * 1 is exact, so this is the general arithmetic).
                for (int l = 0; l < kLanes; ++l) {
                    float fs = kSrc == D3DBLEND_ONE ? 1.f : s[3][l];
                    float fd = kDst == D3DBLEND_ONE ? 1.f : 1.f - s[3][l];
                    r[c][l] = s[c][l] * fs + d[c][l] * fd;
                }
                continue;
            }
            DWORD op = c < 3 ? opC : opA;
            DWORD fs = c < 3 ? src : srcA, fd = c < 3 ? dst : dstA;
            if (op == D3DBLENDOP_MIN || op == D3DBLENDOP_MAX) {
                // Minimum and maximum compare the colours themselves.
                for (int l = 0; l < kLanes; ++l) r[c][l] = BlendOp(op, s[c][l], d[c][l]);
            } else {
                for (int l = 0; l < kLanes; ++l) {
                    r[c][l] = BlendOp(op, s[c][l] * Factor(fs, s, d, state.blendFactor, c, l),
                                      d[c][l] * Factor(fd, s, d, state.blendFactor, c, l));
                }
            }
        }
    } else {
        for (int c = 0; c < 4; ++c) {
            for (int l = 0; l < kLanes; ++l) r[c][l] = color.v[c][l];
        }
    }
    for (int l = 0; l < kLanes; ++l) {
        out[l] = (ToByte(r[3][l]) << 24) | (ToByte(r[0][l]) << 16) | (ToByte(r[1][l]) << 8) | ToByte(r[2][l]);
    }
    uint32_t fill = hasAlpha ? 0u : 0xFF000000u;
    for (int l = 0; l < kLanes; ++l) out[l] = ((out[l] | fill) & ~keep) | (old[l] & keep);
    for (int q = 0; q < kQuads; ++q) {
        uint32_t quadLive = (live >> (4 * q)) & 0xF;
        if (quadLive == 0xF && quadRow[q]) {
            std::memcpy(quadRow[q], &out[4 * q], 8);
            std::memcpy(quadRow[q] + target.rowPitch, &out[4 * q + 2], 8);
            continue;
        }
        for (int i = 0; i < 4; ++i) {
            int l = 4 * q + i;
            if (live >> l & 1) reinterpret_cast<uint32_t*>(target.Row(UINT(sc.py[l])))[sc.px[l]] = out[l];
        }
    }
}

void WriteColor(const DrawState& state, const PixelScratch& sc, const LaneVec4& color, uint32_t live) {
    if (state.execPath != ExecPath::Reference && WriteColorSse(state, sc.px, sc.py, color, live)) return;
    if (state.blend && state.blendOp == D3DBLENDOP_ADD && !state.separateAlpha) {
        if (state.srcBlend == D3DBLEND_SRCALPHA && state.destBlend == D3DBLEND_ONE)
            return WriteColorT<D3DBLEND_SRCALPHA, D3DBLEND_ONE>(state, sc, color, live);
        if (state.srcBlend == D3DBLEND_ONE && state.destBlend == D3DBLEND_ONE)
            return WriteColorT<D3DBLEND_ONE, D3DBLEND_ONE>(state, sc, color, live);
        if (state.srcBlend == D3DBLEND_SRCALPHA && state.destBlend == D3DBLEND_INVSRCALPHA)
            return WriteColorT<D3DBLEND_SRCALPHA, D3DBLEND_INVSRCALPHA>(state, sc, color, live);
    }
    WriteColorT<0, 0>(state, sc, color, live);
}

// After shading, depth and stencil are only needed to write them, or to
// test depth when that could not be done early. Returns the lanes that pass.
uint32_t DepthStencilAfterShading(const DrawState& state, const TriangleSetup& tri, const PixelScratch& sc,
                                  const DepthAccess& depth, const float* shaderDepth, uint32_t live) {
    bool lateDepth = state.zEnable && (state.zWrite || !state.earlyDepth);
    if (!state.depth || !(lateDepth || state.stencil)) return live;
    for (int l = 0; l < kLanes; ++l) {
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
    return live;
}

// Whether every quad of a batch lies inside the target, as a compiled
// pipeline writes whole quads.
bool QuadsInside(const ImageStore& target, const int* qx, const int* qy) {
    for (int q = 0; q < kQuads; ++q) {
        if (UINT(qx[q]) + 1 >= target.width || UINT(qy[q]) + 1 >= target.height) return false;
    }
    return true;
}

// A D3D enumeration value as a key byte: values past a byte are ones the
// device treats as unknown, like 0.
uint8_t KeyByte(DWORD v) { return v <= 0xFF ? uint8_t(v) : 0; }

}  // namespace

void ChoosePipeline(DrawState* state, bool wait) {
    const D3DFORMAT format = state->color->Format();
    if (!state->pixelShader || state->stencil || !state->earlyDepth || state->writeMask == 0 ||
        (format != D3DFMT_A8R8G8B8 && format != D3DFMT_X8R8G8B8)) {
        return;
    }
    jit::PipelineKey key;
    if (state->zEnable) {
        const FormatInfo& depth = *state->depth->info;
        if (depth.blockBytes != 4 || depth.depthBits > 24) return;
        key.depthTest = state->zFunc != D3DCMP_ALWAYS;
        key.depthWrite = state->zWrite;
        key.zFunc = key.depthTest ? KeyByte(state->zFunc) : 0;
        key.depthBits = uint8_t(depth.depthBits);
        key.depthShift = uint8_t(DepthAccess(state->depth).shift);
    }
    key.varyingCount = uint8_t(state->varyings.count);
    for (int i = 0; i < state->varyings.count; ++i) key.varyingTarget[i] = uint8_t(state->varyings.items[i].target);
    key.hasAlpha = format == D3DFMT_A8R8G8B8;
    key.alphaTest = state->alphaTest;
    key.alphaFunc = state->alphaTest ? KeyByte(state->alphaFunc) : 0;
    key.blend = state->blend;
    if (state->blend) {
        DWORD src = state->srcBlend, dst = state->destBlend;
        DWORD srcA = state->separateAlpha ? state->srcBlendAlpha : src;
        DWORD dstA = state->separateAlpha ? state->destBlendAlpha : dst;
        ResolveBoth(&src, &dst);
        ResolveBoth(&srcA, &dstA);
        key.srcColor = KeyByte(src);
        key.dstColor = KeyByte(dst);
        key.opColor = KeyByte(state->blendOp);
        key.srcAlpha = KeyByte(srcA);
        key.dstAlpha = KeyByte(dstA);
        key.opAlpha = KeyByte(state->separateAlpha ? state->blendOpAlpha : state->blendOp);
    }
    key.writeMask = uint8_t(state->writeMask);
    for (int s = 0; s < kMaxSamplers; ++s) {
        key.address[s][0] = state->textures[s].address[0];
        key.address[s][1] = state->textures[s].address[1];
    }
    state->pipeline = state->pixelShader->Pipeline(key, wait);
}

void ShadeQuads(const DrawState& state, const TriangleSetup& tri, const int* quadX, const int* quadY, int quads,
                uint32_t coverage, PixelScratch& sc) {
    PixelBatch& batch = sc.batch;
    batch.quads = quads;
    // Unused quads repeat the first one so that every lane holds sane values;
    // their lanes are outside the coverage mask.
    int qx[kQuads], qy[kQuads];
    for (int q = 0; q < kQuads; ++q) {
        qx[q] = quadX[q < quads ? q : 0];
        qy[q] = quadY[q < quads ? q : 0];
    }
    if (state.pipeline && QuadsInside(*state.color, qx, qy)) {
        jit::PipelineArgs args;
        args.inputs = &batch.input[0].v[0][0];
        static_assert(offsetof(TriangleSetup, invW) == offsetof(TriangleSetup, x0) + 5 * sizeof(float));
        args.triangle = &tri.x0;
        args.planes = &tri.attr[0][0][0];
        ImageStore& target = *state.color;
        for (int q = 0; q < kQuads; ++q) {
            args.quadX[q] = qx[q];
            args.quadY[q] = qy[q];
            args.rows[q] = target.Row(UINT(qy[q])) + size_t(qx[q]) * 4;
            // Depth buffers are at least as large as the target.
            args.depthRows[q] = state.zEnable ? state.depth->Row(UINT(qy[q])) + size_t(qx[q]) * 4 : nullptr;
        }
        args.pitch = int64_t(target.rowPitch);
        args.depthPitch = state.zEnable ? int64_t(state.depth->rowPitch) : 0;
        args.textures = state.textures;
        for (int c = 0; c < 4; ++c) args.blendFactor[c] = state.blendFactor[c];
        args.alphaRef = uint32_t(state.alphaRef);
        args.coverage = coverage;
        const uint32_t lanes = (1u << (quads * 4)) - 1;
        state.pixelShader->RunPipeline(*state.pipeline, *state.psConstants, state.sampler, lanes, &args);
        return;
    }
    alignas(64) float invW[kLanes], dx[kLanes], dy[kLanes];
    for (int l = 0; l < kLanes; ++l) {
        sc.px[l] = qx[l >> 2] + (l & 1);
        sc.py[l] = qy[l >> 2] + ((l >> 1) & 1);
    }
    for (int l = 0; l < kLanes; ++l) {
        dx[l] = float(sc.px[l]) - tri.x0;
        dy[l] = float(sc.py[l]) - tri.y0;
        sc.z[l] = tri.z[0] + tri.z[1] * dx[l] + tri.z[2] * dy[l];
        invW[l] = 1.f / (tri.invW[0] + tri.invW[1] * dx[l] + tri.invW[2] * dy[l]);
    }
    const int lanes = kLanes;

    // Early depth test: nothing after shading can change depth or discard.
    DepthAccess depth(state.depth);
    bool depthTest = state.zEnable && state.depth;
    if (depthTest && state.earlyDepth && state.zFunc != D3DCMP_ALWAYS) {
        // Same values as QuantiseDepth, in a form that vectorises.
        alignas(64) uint32_t zq[kLanes];
        alignas(64) uint32_t stored[kLanes];
        double scale = double((uint64_t(1) << state.depth->info->depthBits) - 1);
        if (state.execPath != ExecPath::Reference && depth.wide && state.depth->info->depthBits <= 24) {
            EarlyDepthSse(depth, sc, coverage, scale, zq, stored);
        } else {
            for (int l = 0; l < kLanes; ++l) zq[l] = uint32_t(double(Sat(sc.z[l])) * scale + 0.5);
            for (int l = 0; l < lanes; ++l) {
                stored[l] = (coverage >> l & 1) ? depth.Depth(depth.Raw(sc.px[l], sc.py[l])) : 0u;
            }
        }
        coverage &= DepthPassMask(state.zFunc, zq, stored);
        if (!coverage) return;
    }

    for (int i = 0; i < state.varyings.count; ++i) {
        LaneVec4& in = batch.input[state.varyings.items[i].target];
        for (int c = 0; c < 4; ++c) {
            const float p0 = tri.attr[i][c][0], p1 = tri.attr[i][c][1], p2 = tri.attr[i][c][2];
            for (int l = 0; l < kLanes; ++l) in.v[c][l] = (p0 + p1 * dx[l] + p2 * dy[l]) * invW[l];
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

    live = DepthStencilAfterShading(state, tri, sc, depth, shaderDepth, live);
    if (live && state.writeMask) WriteColor(state, sc, *color, live);
}

}  // namespace gfx

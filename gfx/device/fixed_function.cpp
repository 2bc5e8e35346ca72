#include "gfx/device/fixed_function.h"

#include <algorithm>
#include <cstring>

#include <xmmintrin.h>

#include "gfx/device/device.h"
#include "gfx/device/texture_sampler.h"

namespace gfx {
namespace {

using Lanes4 = float[4][kLanes];

// Clamps to [0, 1]; NaN becomes 0.
float Sat(float v) {
    float t = v > 0.f ? v : 0.f;  // the forms of maxss/minss, so no branches
    return t < 1.f ? t : 1.f;
}

void Unpack(D3DCOLOR c, float out[4]) {
    out[0] = ((c >> 16) & 0xFF) / 255.f;
    out[1] = ((c >> 8) & 0xFF) / 255.f;
    out[2] = (c & 0xFF) / 255.f;
    out[3] = (c >> 24) / 255.f;
}

bool UsesTexture(const StageSetup& s) {
    for (int i = 0; i < 3; ++i) {
        if ((s.colorArg[i] & D3DTA_SELECTMASK) == D3DTA_TEXTURE || (s.alphaArg[i] & D3DTA_SELECTMASK) == D3DTA_TEXTURE)
            return true;
    }
    return s.colorOp == D3DTOP_BLENDTEXTUREALPHA || s.colorOp == D3DTOP_BLENDTEXTUREALPHAPM ||
           s.alphaOp == D3DTOP_BLENDTEXTUREALPHA || s.alphaOp == D3DTOP_BLENDTEXTUREALPHAPM;
}

// The registers a stage reads from, per lane.
struct Registers {
    const Lanes4* diffuse;
    const Lanes4* specular;
    Lanes4 current;
    Lanes4 temp;
    Lanes4 texture;
    float factor[4];
    float constant[4];
};

// Value of argument `arg`, component c, lane l.
inline float Arg(const Registers& r, DWORD arg, int c, int l) {
    DWORD which = arg & D3DTA_SELECTMASK;
    int comp = (arg & D3DTA_ALPHAREPLICATE) ? 3 : c;
    float v;
    switch (which) {
    case D3DTA_DIFFUSE: v = (*r.diffuse)[comp][l]; break;
    case D3DTA_CURRENT: v = r.current[comp][l]; break;
    case D3DTA_TEXTURE: v = r.texture[comp][l]; break;
    case D3DTA_TFACTOR: v = r.factor[comp]; break;
    case D3DTA_SPECULAR: v = (*r.specular)[comp][l]; break;
    case D3DTA_TEMP: v = r.temp[comp][l]; break;
    case D3DTA_CONSTANT: v = r.constant[comp]; break;
    default: v = 0.f; break;
    }
    return (arg & D3DTA_COMPLEMENT) ? 1.f - v : v;
}

// One texture operation on one component.
inline float Op(DWORD op, const Registers& r, const DWORD args[3], int c, int l) {
    float a1 = Arg(r, args[1], c, l), a2 = Arg(r, args[2], c, l);
    switch (op) {
    case D3DTOP_SELECTARG1: return a1;
    case D3DTOP_SELECTARG2: return a2;
    case D3DTOP_MODULATE: return a1 * a2;
    case D3DTOP_MODULATE2X: return 2.f * a1 * a2;
    case D3DTOP_MODULATE4X: return 4.f * a1 * a2;
    case D3DTOP_ADD: return a1 + a2;
    case D3DTOP_ADDSIGNED: return a1 + a2 - 0.5f;
    case D3DTOP_ADDSIGNED2X: return 2.f * (a1 + a2 - 0.5f);
    case D3DTOP_SUBTRACT: return a1 - a2;
    case D3DTOP_ADDSMOOTH: return a1 + a2 - a1 * a2;
    case D3DTOP_BLENDDIFFUSEALPHA: {
        float k = (*r.diffuse)[3][l];
        return a1 * k + a2 * (1.f - k);
    }
    case D3DTOP_BLENDTEXTUREALPHA: {
        float k = r.texture[3][l];
        return a1 * k + a2 * (1.f - k);
    }
    case D3DTOP_BLENDFACTORALPHA: return a1 * r.factor[3] + a2 * (1.f - r.factor[3]);
    case D3DTOP_BLENDTEXTUREALPHAPM: return a1 + a2 * (1.f - r.texture[3][l]);
    case D3DTOP_BLENDCURRENTALPHA: {
        float k = r.current[3][l];
        return a1 * k + a2 * (1.f - k);
    }
    case D3DTOP_MULTIPLYADD: return Arg(r, args[0], c, l) + a1 * a2;
    case D3DTOP_LERP: {
        float k = Arg(r, args[0], c, l);
        return k * a1 + (1.f - k) * a2;
    }
    case D3DTOP_DOTPRODUCT3: {
        float sum = 0.f;
        for (int k = 0; k < 3; ++k) sum += (Arg(r, args[1], k, l) - 0.5f) * (Arg(r, args[2], k, l) - 0.5f);
        return 4.f * sum;
    }
    default: return a1 * a2;
    }
}

}  // namespace

FixedFunctionSetup ResolveFixedFunction(const DeviceImpl& device) {
    FixedFunctionSetup f;
    f.textureFactor = device.rs(D3DRS_TEXTUREFACTOR);
    f.specular = device.rs(D3DRS_SPECULARENABLE) != 0;
    for (UINT s = 0; s < kTextureStages; ++s) {
        DWORD colorOp = device.tss(s, D3DTSS_COLOROP);
        if (colorOp == D3DTOP_DISABLE) break;
        StageSetup& st = f.stages[f.stageCount++];
        st.colorOp = colorOp;
        st.alphaOp = device.tss(s, D3DTSS_ALPHAOP);
        st.colorArg[0] = device.tss(s, D3DTSS_COLORARG0);
        st.colorArg[1] = device.tss(s, D3DTSS_COLORARG1);
        st.colorArg[2] = device.tss(s, D3DTSS_COLORARG2);
        st.alphaArg[0] = device.tss(s, D3DTSS_ALPHAARG0);
        st.alphaArg[1] = device.tss(s, D3DTSS_ALPHAARG1);
        st.alphaArg[2] = device.tss(s, D3DTSS_ALPHAARG2);
        st.resultArg = device.tss(s, D3DTSS_RESULTARG);
        st.texcoordSlot = kPixelSlotTexcoord0 + (device.tss(s, D3DTSS_TEXCOORDINDEX) & 7);
        st.constant = device.tss(s, D3DTSS_CONSTANT);
        st.hasTexture = device.texture(s) != nullptr && UsesTexture(st);
    }
    return f;
}

namespace {

// Samples stage `s`'s texture for the lanes of the batch into texel[channel][lane].
void SampleStage(const DrawState& state, const PixelBatch& batch, const StageSetup& st, int s,
                 float (*result)[kLanes]) {
    int lanes = 4 * batch.quads;
    uint32_t mask = lanes == kLanes ? 0xFFFFu : ((1u << lanes) - 1);
    const LaneVec4& coords = batch.input[st.texcoordSlot];
    if (state.sampler->SampleFast(UINT(s), coords.v[0], coords.v[1], mask, result)) return;
    float texel[kLanes][4];
    float coord[kLanes][4], ddx[kLanes][4], ddy[kLanes][4];
    const LaneVec4& tc = batch.input[st.texcoordSlot];
    for (int l = 0; l < lanes; ++l) {
        int q = l & ~3;
        for (int c = 0; c < 4; ++c) {
            coord[l][c] = tc.v[c][l];
            ddx[l][c] = tc.v[c][q + 1] - tc.v[c][q];
            ddy[l][c] = tc.v[c][q + 2] - tc.v[c][q];
        }
    }
    SampleLanes sl;
    sl.coord = coord;
    sl.ddx = ddx;
    sl.ddy = ddy;
    sl.mode = LodMode::Derivatives;
    sl.laneMask = mask;
    state.sampler->Sample(UINT(s), sl, texel);
    for (int c = 0; c < 4; ++c) {
        for (int l = 0; l < lanes; ++l) result[c][l] = texel[l][c];
    }
}

bool IsPlainArg(DWORD arg, DWORD which) { return arg == which; }

// The default single stage: texture modulated by the diffuse colour, alpha
// modulated or selected. Same arithmetic as the general stage loop.
bool ShadeModulateStage(const DrawState& state, const PixelBatch& batch, LaneVec4* out) {
    const FixedFunctionSetup& f = state.fixed;
    if (f.stageCount != 1 || f.specular) return false;
    const StageSetup& st = f.stages[0];
    bool diffuseArg2 = IsPlainArg(st.colorArg[2], D3DTA_CURRENT) || IsPlainArg(st.colorArg[2], D3DTA_DIFFUSE);
    if (st.colorOp != D3DTOP_MODULATE || !IsPlainArg(st.colorArg[1], D3DTA_TEXTURE) || !diffuseArg2) return false;
    bool alphaDiffuse = IsPlainArg(st.alphaArg[2], D3DTA_CURRENT) || IsPlainArg(st.alphaArg[2], D3DTA_DIFFUSE);
    int alphaMode;  // 0 modulate, 1 texture, 2 diffuse
    if (st.alphaOp == D3DTOP_MODULATE && IsPlainArg(st.alphaArg[1], D3DTA_TEXTURE) && alphaDiffuse) {
        alphaMode = 0;
    } else if (st.alphaOp == D3DTOP_SELECTARG1 && IsPlainArg(st.alphaArg[1], D3DTA_TEXTURE)) {
        alphaMode = 1;
    } else if (st.alphaOp == D3DTOP_SELECTARG2 && alphaDiffuse) {
        alphaMode = 2;
    } else {
        return false;
    }
    if ((st.resultArg & D3DTA_SELECTMASK) == D3DTA_TEMP) return false;
    alignas(64) float texel[4][kLanes] = {};
    if (st.hasTexture) {
        SampleStage(state, batch, st, 0, texel);
    } else {
        for (int c = 0; c < 4; ++c) std::fill(texel[c], texel[c] + kLanes, 1.f);
    }
    const LaneVec4& diffuse = batch.input[kPixelSlotColor0];
    if (state.execPath != ExecPath::Reference) {
        // The loops below in SSE2: maxps/minps against 0 and 1 are Sat exactly.
        const __m128 zero = _mm_setzero_ps(), one = _mm_set1_ps(1.f);
        auto sat = [&](__m128 v) { return _mm_min_ps(_mm_max_ps(v, zero), one); };
        for (int l = 0; l < kLanes; l += 4) {
            for (int c = 0; c < 3; ++c) {
                __m128 d = sat(_mm_load_ps(diffuse.v[c] + l));
                _mm_store_ps(out->v[c] + l, sat(_mm_mul_ps(_mm_load_ps(texel[c] + l), d)));
            }
            __m128 a = sat(_mm_load_ps(diffuse.v[3] + l)), t = _mm_load_ps(texel[3] + l);
            __m128 alpha = alphaMode == 0 ? sat(_mm_mul_ps(t, a)) : (alphaMode == 1 ? sat(t) : a);
            _mm_store_ps(out->v[3] + l, alpha);
        }
        return true;
    }
    for (int c = 0; c < 3; ++c) {
        for (int l = 0; l < kLanes; ++l) out->v[c][l] = Sat(texel[c][l] * Sat(diffuse.v[c][l]));
    }
    for (int l = 0; l < kLanes; ++l) {
        float a = Sat(diffuse.v[3][l]);
        out->v[3][l] = alphaMode == 0 ? Sat(texel[3][l] * a) : (alphaMode == 1 ? Sat(texel[3][l]) : Sat(a));
    }
    return true;
}

}  // namespace

void ShadeFixedFunction(const DrawState& state, const PixelBatch& batch, LaneVec4* out) {
    if (ShadeModulateStage(state, batch, out)) return;
    const FixedFunctionSetup& f = state.fixed;
    int lanes = 4 * batch.quads;
    Registers r;
    r.diffuse = &batch.input[kPixelSlotColor0].v;
    r.specular = &batch.input[kPixelSlotColor0 + 1].v;
    Unpack(f.textureFactor, r.factor);
    std::memset(r.temp, 0, sizeof(r.temp));
    for (int c = 0; c < 4; ++c) {
        for (int l = 0; l < lanes; ++l) r.current[c][l] = Sat((*r.diffuse)[c][l]);
    }
    for (int s = 0; s < f.stageCount; ++s) {
        const StageSetup& st = f.stages[s];
        Unpack(st.constant, r.constant);
        if (st.hasTexture) {
            SampleStage(state, batch, st, s, r.texture);
        } else {
            for (int c = 0; c < 4; ++c) std::fill(r.texture[c], r.texture[c] + kLanes, 1.f);
        }
        Lanes4& dst = (st.resultArg & D3DTA_SELECTMASK) == D3DTA_TEMP ? r.temp : r.current;
        float result[4][kLanes];
        for (int l = 0; l < lanes; ++l) {
            for (int c = 0; c < 3; ++c) result[c][l] = Sat(Op(st.colorOp, r, st.colorArg, c, l));
            result[3][l] = st.alphaOp == D3DTOP_DISABLE ? r.current[3][l] : Sat(Op(st.alphaOp, r, st.alphaArg, 3, l));
        }
        std::memcpy(dst, result, sizeof(result));
    }
    for (int c = 0; c < 4; ++c) {
        for (int l = 0; l < lanes; ++l) {
            float v = r.current[c][l];
            if (f.specular && c < 3) v = Sat(v + Sat((*r.specular)[c][l]));
            out->v[c][l] = v;
        }
    }
}

}  // namespace gfx

#include "gfx/device/fixed_function.h"

#include <algorithm>
#include <cstring>

#include "gfx/device/device.h"
#include "gfx/device/texture_sampler.h"

namespace gfx {
namespace {

using Lanes4 = float[4][kLanes];

float Sat(float v) { return v < 0.f ? 0.f : (v > 1.f ? 1.f : v); }

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

void ShadeFixedFunction(const DrawState& state, const PixelBatch& batch, LaneVec4* out) {
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
            float coord[kLanes][4], ddx[kLanes][4], ddy[kLanes][4], texel[kLanes][4];
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
            sl.laneMask = lanes == kLanes ? 0xFFFFu : ((1u << lanes) - 1);
            state.sampler->Sample(UINT(s), sl, texel);
            for (int c = 0; c < 4; ++c) {
                for (int l = 0; l < lanes; ++l) r.texture[c][l] = texel[l][c];
            }
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

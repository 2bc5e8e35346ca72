// A scene shaped like the demo's heaviest frame: 550 textured particle quads
// (20 to 80 pixels across) drawn in one call with additive blending through a
// vertex and a pixel shader, a wide opaque logo quad and a text strip, on an
// 800 x 600 target. Shared by the device tests and the benchmark.
#pragma once

#include <cmath>
#include <cstring>
#include <random>
#include <vector>

#include "gfx/d3d9.h"
#include "gfx/shaders/shader_isa.h"

namespace gfxtest {

// The demo's vertex: centre, corner offset, colour, texture coordinates,
// velocity, start offset and life length (56 bytes).
struct ParticleVertex {
    float position[3];
    float offset[3];
    D3DCOLOR color;
    float tu, tv;
    float velocity[3];
    float timeOffset, lifeTime;
};
static_assert(sizeof(ParticleVertex) == 56);

inline const D3DVERTEXELEMENT9* ParticleDeclaration() {
    static const D3DVERTEXELEMENT9 kElements[] = {
        {0, 0, D3DDECLTYPE_FLOAT3, D3DDECLMETHOD_DEFAULT, D3DDECLUSAGE_POSITION, 0},
        {0, 12, D3DDECLTYPE_FLOAT3, D3DDECLMETHOD_DEFAULT, D3DDECLUSAGE_TEXCOORD, 0},
        {0, 24, D3DDECLTYPE_D3DCOLOR, D3DDECLMETHOD_DEFAULT, D3DDECLUSAGE_COLOR, 0},
        {0, 28, D3DDECLTYPE_FLOAT2, D3DDECLMETHOD_DEFAULT, D3DDECLUSAGE_TEXCOORD, 1},
        {0, 36, D3DDECLTYPE_FLOAT3, D3DDECLMETHOD_DEFAULT, D3DDECLUSAGE_TEXCOORD, 2},
        {0, 48, D3DDECLTYPE_FLOAT2, D3DDECLMETHOD_DEFAULT, D3DDECLUSAGE_TEXCOORD, 3},
        D3DDECL_END()};
    return kElements;
}

// vs_2_0: oPos = (position + offset, 1) * c0..c3 (rows), oD0 = colour,
// oT0 = texture coordinates.
inline std::vector<DWORD> ParticleVertexShader() {
    using namespace gfx::isa;
    auto in = [](DWORD n, DWORD sw = kSwizzleIdentity) { return MakeSource(REG_INPUT, n, sw); };
    auto c = [](DWORD n, DWORD sw = kSwizzleIdentity) { return MakeSource(REG_CONST, n, sw); };
    auto r = [](DWORD n, DWORD sw = kSwizzleIdentity) { return MakeSource(REG_TEMP, n, sw); };
    auto one = [](float f) {
        DWORD d;
        std::memcpy(&d, &f, 4);
        return d;
    };
    return {
        MakeVertexVersion(2, 0),
        MakeInstruction(OP_DEF, 5), MakeDest(REG_CONST, 10), one(0), one(0), one(0), one(1),
        MakeInstruction(OP_DCL, 2), MakeDclUsage(USAGE_POSITION, 0), MakeDest(REG_INPUT, 0),
        MakeInstruction(OP_DCL, 2), MakeDclUsage(USAGE_TEXCOORD, 0), MakeDest(REG_INPUT, 1),
        MakeInstruction(OP_DCL, 2), MakeDclUsage(USAGE_COLOR, 0), MakeDest(REG_INPUT, 2),
        MakeInstruction(OP_DCL, 2), MakeDclUsage(USAGE_TEXCOORD, 1), MakeDest(REG_INPUT, 3),
        MakeInstruction(OP_ADD, 3), MakeDest(REG_TEMP, 0, kMaskX | kMaskY | kMaskZ), in(0), in(1),
        MakeInstruction(OP_MOV, 2), MakeDest(REG_TEMP, 0, kMaskW), c(10),
        MakeInstruction(OP_MUL, 3), MakeDest(REG_TEMP, 1), r(0, kSwizzleXXXX), c(0),
        MakeInstruction(OP_MAD, 4), MakeDest(REG_TEMP, 1), r(0, kSwizzleYYYY), c(1), r(1),
        MakeInstruction(OP_MAD, 4), MakeDest(REG_TEMP, 1), r(0, kSwizzleZZZZ), c(2), r(1),
        MakeInstruction(OP_MAD, 4), MakeDest(REG_RASTOUT, 0), r(0, kSwizzleWWWW), c(3), r(1),
        MakeInstruction(OP_MOV, 2), MakeDest(REG_ATTROUT, 0), in(2),
        MakeInstruction(OP_MOV, 2), MakeDest(REG_TEXCRDOUT, 0, kMaskX | kMaskY), in(3),
        kEndToken,
    };
}

// ps_2_0: oC0 = texture(s0, t0) * v0.
inline std::vector<DWORD> ParticlePixelShader() {
    using namespace gfx::isa;
    return {
        MakePixelVersion(2, 0),
        MakeInstruction(OP_DCL, 2), kParamBit, MakeDest(REG_TEXTURE, 0, kMaskX | kMaskY),
        MakeInstruction(OP_DCL, 2), kParamBit, MakeDest(REG_INPUT, 0),
        MakeInstruction(OP_DCL, 2), MakeDclSampler(TEXTURE_2D), MakeDest(REG_SAMPLER, 0),
        MakeInstruction(OP_TEX, 3), MakeDest(REG_TEMP, 0), MakeSource(REG_TEXTURE, 0), MakeSource(REG_SAMPLER, 0),
        MakeInstruction(OP_MUL, 3), MakeDest(REG_TEMP, 0), MakeSource(REG_TEMP, 0), MakeSource(REG_INPUT, 0),
        MakeInstruction(OP_MOV, 2), MakeDest(REG_COLOROUT, 0), MakeSource(REG_TEMP, 0),
        kEndToken,
    };
}

// Left-handed perspective projection (field of view pi/3, aspect 4/3, near 2,
// far 100), rows in memory order.
inline D3DMATRIX DemoProjection() {
    D3DMATRIX m{};
    float yScale = 1.f / std::tan(3.14159265f / 6.f), zn = 2.f, zf = 100.f;
    m._11 = yScale / (4.f / 3.f);
    m._22 = yScale;
    m._33 = zf / (zf - zn);
    m._34 = 1.f;
    m._43 = -zn * zf / (zf - zn);
    return m;
}

inline void AddQuad(std::vector<ParticleVertex>& v, const float centre[3], float hw, float hh, D3DCOLOR color,
                    float u0, float u1) {
    const float corners[4][2] = {{-hw, hh}, {hw, hh}, {-hw, -hh}, {hw, -hh}};
    const float uv[4][2] = {{u0, 0}, {u1, 0}, {u0, 1}, {u1, 1}};
    for (int k = 0; k < 4; ++k) {
        ParticleVertex p{};
        std::memcpy(p.position, centre, sizeof(p.position));
        p.offset[0] = corners[k][0];
        p.offset[1] = corners[k][1];
        p.color = color;
        p.tu = uv[k][0];
        p.tv = uv[k][1];
        v.push_back(p);
    }
}

// The resources and state of the scene.
class ParticleScene {
public:
    // With shaders false, the same scene is drawn by the fixed-function
    // pipeline (texture modulated by diffuse) from pretransformed copies.
    ParticleScene(IDirect3DDevice9* device, bool shaders, int particles = 550) : dev_(device), shaders_(shaders) {
        std::mt19937 rng(1);
        std::uniform_real_distribution<float> unit(0.f, 1.f);
        const float emitter[3] = {0.f, -6.f, 25.f};
        for (int i = 0; i < particles; ++i) {
            float centre[3] = {emitter[0] + (unit(rng) - 0.5f) * 24.f, emitter[1] + unit(rng) * 18.f, emitter[2]};
            float s = 0.48f + 1.44f * unit(rng);  // 20 to 80 pixels across at this depth
            int frame = int(unit(rng) * 4) % 4;
            D3DCOLOR colour = D3DCOLOR_ARGB(0x60 + int(unit(rng) * 0x9F), 0xFF, 0x80 + int(unit(rng) * 0x7F), 0x40);
            AddQuad(particles_, centre, s, s, colour, 0.25f * frame, 0.25f * frame + 0.25f);
        }
        const float logo[3] = {0.f, 10.3f, 19.f};
        AddQuad(layers_, logo, 15.f, 1.5f, 0x00FFFFFF, 0.f, 1.f);
        const float strip[3] = {0.f, -28.f, 50.f};
        AddQuad(layers_, strip, 280.5f, 1.5f, 0x00FFFFFF, 0.f, 1.f);

        MakeTexture(256, 64, &fire_, [](UINT x, UINT y) {
            float fx = (x % 64) / 63.f - 0.5f, fy = y / 63.f - 0.5f;
            float d = std::max(0.f, 1.f - 2.f * std::sqrt(fx * fx + fy * fy));
            return D3DCOLOR_ARGB(DWORD(d * 255), DWORD(255 * d), DWORD(180 * d * d), DWORD(60 * d * d * d));
        });
        MakeTexture(256, 32, &logoTexture_, [](UINT x, UINT y) {
            return D3DCOLOR_ARGB(0xFF, (x * 7) & 0xFF, (y * 9) & 0xFF, ((x ^ y) * 5) & 0xFF);
        });
        if (shaders_) {
            std::vector<DWORD> vs = ParticleVertexShader(), ps = ParticlePixelShader();
            created_ = SUCCEEDED(dev_->CreateVertexShader(vs.data(), &vertexShader_)) &&
                       SUCCEEDED(dev_->CreatePixelShader(ps.data(), &pixelShader_)) &&
                       SUCCEEDED(dev_->CreateVertexDeclaration(ParticleDeclaration(), &declaration_));
            MakeBuffers(particles_, &particleVB_, &particleIB_);
            MakeBuffers(layers_, &layerVB_, &layerIB_);
        } else {
            created_ = true;
        }
    }
    ~ParticleScene() {
        for (IUnknown* p : std::initializer_list<IUnknown*>{vertexShader_, pixelShader_, declaration_, particleVB_,
                                                            particleIB_, layerVB_, layerIB_, fire_, logoTexture_}) {
            if (p) p->Release();
        }
    }
    bool created() const { return created_; }

    // One frame: clear, layers (opaque, depth written), particles (additive).
    void DrawFrame() {
        dev_->Clear(0, nullptr, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, 0xFF000000, 1.f, 0);
        dev_->BeginScene();
        D3DMATRIX proj = DemoProjection();
        dev_->SetTransform(D3DTS_PROJECTION, &proj);
        dev_->SetSamplerState(0, D3DSAMP_MINFILTER, D3DTEXF_LINEAR);
        dev_->SetSamplerState(0, D3DSAMP_MAGFILTER, D3DTEXF_LINEAR);
        dev_->SetRenderState(D3DRS_CULLMODE, D3DCULL_NONE);
        dev_->SetRenderState(D3DRS_ALPHABLENDENABLE, FALSE);
        dev_->SetRenderState(D3DRS_ZWRITEENABLE, TRUE);
        dev_->SetTexture(0, logoTexture_);
        Draw(layers_, layerVB_, layerIB_);
        dev_->SetRenderState(D3DRS_ALPHABLENDENABLE, TRUE);
        dev_->SetRenderState(D3DRS_SRCBLEND, D3DBLEND_SRCALPHA);
        dev_->SetRenderState(D3DRS_DESTBLEND, D3DBLEND_ONE);
        dev_->SetRenderState(D3DRS_ZWRITEENABLE, FALSE);
        dev_->SetTexture(0, fire_);
        Draw(particles_, particleVB_, particleIB_);
        dev_->EndScene();
    }

private:
    template <class Fill>
    void MakeTexture(UINT w, UINT h, IDirect3DTexture9** out, Fill fill) {
        if (FAILED(dev_->CreateTexture(w, h, 1, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED, out, nullptr))) return;
        D3DLOCKED_RECT lr;
        if (FAILED((*out)->LockRect(0, &lr, nullptr, 0))) return;
        for (UINT y = 0; y < h; ++y) {
            auto* row = reinterpret_cast<D3DCOLOR*>(static_cast<BYTE*>(lr.pBits) + y * lr.Pitch);
            for (UINT x = 0; x < w; ++x) row[x] = fill(x, y);
        }
        (*out)->UnlockRect(0);
    }

    void MakeBuffers(const std::vector<ParticleVertex>& v, IDirect3DVertexBuffer9** vb, IDirect3DIndexBuffer9** ib) {
        UINT quads = UINT(v.size() / 4);
        void* p = nullptr;
        if (SUCCEEDED(dev_->CreateVertexBuffer(UINT(v.size() * sizeof(ParticleVertex)), 0, 0, D3DPOOL_DEFAULT, vb,
                                               nullptr)) &&
            SUCCEEDED((*vb)->Lock(0, 0, &p, 0))) {
            std::memcpy(p, v.data(), v.size() * sizeof(ParticleVertex));
            (*vb)->Unlock();
        }
        if (SUCCEEDED(dev_->CreateIndexBuffer(quads * 12, D3DUSAGE_WRITEONLY, D3DFMT_INDEX16, D3DPOOL_DEFAULT, ib,
                                              nullptr)) &&
            SUCCEEDED((*ib)->Lock(0, 0, &p, 0))) {
            auto* idx = static_cast<WORD*>(p);
            for (UINT q = 0; q < quads; ++q) {
                WORD b = WORD(4 * q);
                const WORD tri[6] = {b, WORD(b + 1), WORD(b + 2), WORD(b + 1), WORD(b + 3), WORD(b + 2)};
                std::memcpy(idx + 6 * q, tri, sizeof(tri));
            }
            (*ib)->Unlock();
        }
    }

    void Draw(const std::vector<ParticleVertex>& v, IDirect3DVertexBuffer9* vb, IDirect3DIndexBuffer9* ib) {
        UINT quads = UINT(v.size() / 4);
        if (shaders_) {
            D3DMATRIX proj;
            dev_->GetTransform(D3DTS_PROJECTION, &proj);
            dev_->SetVertexShader(vertexShader_);
            dev_->SetVertexShaderConstantF(0, &proj._11, 4);
            dev_->SetPixelShader(pixelShader_);
            dev_->SetVertexDeclaration(declaration_);
            dev_->SetStreamSource(0, vb, 0, sizeof(ParticleVertex));
            dev_->SetIndices(ib);
            dev_->DrawIndexedPrimitive(D3DPT_TRIANGLELIST, 0, 0, quads * 4, 0, quads * 2);
            return;
        }
        // Fixed function: untransformed positions through SetTransform.
        struct FV {
            float x, y, z;
            D3DCOLOR c;
            float u, v;
        };
        std::vector<FV> fv;
        std::vector<WORD> idx;
        for (UINT q = 0; q < quads; ++q) {
            for (int k = 0; k < 4; ++k) {
                const ParticleVertex& p = v[4 * q + k];
                fv.push_back({p.position[0] + p.offset[0], p.position[1] + p.offset[1], p.position[2] + p.offset[2],
                              p.color, p.tu, p.tv});
            }
            WORD b = WORD(4 * q);
            idx.insert(idx.end(), {b, WORD(b + 1), WORD(b + 2), WORD(b + 1), WORD(b + 3), WORD(b + 2)});
        }
        dev_->SetVertexShader(nullptr);
        dev_->SetPixelShader(nullptr);
        dev_->SetFVF(D3DFVF_XYZ | D3DFVF_DIFFUSE | D3DFVF_TEX1);
        dev_->SetTextureStageState(0, D3DTSS_ALPHAOP, D3DTOP_MODULATE);
        dev_->DrawIndexedPrimitiveUP(D3DPT_TRIANGLELIST, 0, quads * 4, quads * 2, idx.data(), D3DFMT_INDEX16,
                                     fv.data(), sizeof(FV));
    }

    IDirect3DDevice9* dev_;
    bool shaders_;
    bool created_ = false;
    std::vector<ParticleVertex> particles_, layers_;
    IDirect3DVertexShader9* vertexShader_ = nullptr;
    IDirect3DPixelShader9* pixelShader_ = nullptr;
    IDirect3DVertexDeclaration9* declaration_ = nullptr;
    IDirect3DVertexBuffer9 *particleVB_ = nullptr, *layerVB_ = nullptr;
    IDirect3DIndexBuffer9 *particleIB_ = nullptr, *layerIB_ = nullptr;
    IDirect3DTexture9 *fire_ = nullptr, *logoTexture_ = nullptr;
};

}  // namespace gfxtest

// The SSE2 pixel paths (bilinear A8R8G8B8 sampling, early depth test, colour
// write for opaque and additive states) against the plain reference path,
// across the states that select or bypass them. Both must give identical
// pixels: the fast paths repeat the reference arithmetic operation for
// operation.
#include <cmath>
#include <limits>
#include <random>

#include "scene_helper.h"

using gfxtest::TestDevice;
using gfxtest::TLVertex;

namespace {

struct FastPathCase {
    D3DFORMAT target;
    D3DFORMAT depth;  // D3DFMT_UNKNOWN: no depth test
    DWORD address;
    DWORD filter;
    DWORD srcBlend, destBlend;  // D3DBLEND_ONE / D3DBLEND_ZERO: blending off
};

// Particles of random size, colour and texture coordinates (some far
// outside [0, 1], some NaN) over a textured background, into a target of
// the case's format; returns the target's pixels.
std::vector<uint32_t> RenderCase(const FastPathCase& c, bool reference) {
    gfx::DeviceOptions options;
    options.scalarReference = reference;
    options.threads = reference ? 1 : 2;
    TestDevice t(97, 71, options);  // odd sizes: quads hang over the right and bottom edges
    IDirect3DSurface9* target = nullptr;
    IDirect3DSurface9* depth = nullptr;
    EXPECT_EQ(t.dev->CreateRenderTarget(t.width, t.height, c.target, D3DMULTISAMPLE_NONE, 0, TRUE, &target, nullptr),
              D3D_OK);
    t.dev->SetRenderTarget(0, target);
    if (c.depth != D3DFMT_UNKNOWN) {
        EXPECT_EQ(t.dev->CreateDepthStencilSurface(t.width, t.height, c.depth, D3DMULTISAMPLE_NONE, 0, FALSE, &depth,
                                                   nullptr),
                  D3D_OK);
        t.dev->SetDepthStencilSurface(depth);
        t.dev->SetRenderState(D3DRS_ZENABLE, TRUE);
    }
    t.dev->Clear(0, nullptr, D3DCLEAR_TARGET | (depth ? D3DCLEAR_ZBUFFER : 0), 0x10203040, 0.7f, 0);

    std::vector<uint32_t> texels(16 * 8);
    for (size_t i = 0; i < texels.size(); ++i) texels[i] = uint32_t(i * 0x9E3779B9u) | (i % 3 ? 0 : 0xFF000000u);
    IDirect3DTexture9* tex = t.MakeTexture(16, 8, texels);
    t.dev->SetTexture(0, tex);
    t.dev->SetTextureStageState(0, D3DTSS_ALPHAOP, D3DTOP_MODULATE);
    t.dev->SetSamplerState(0, D3DSAMP_ADDRESSU, c.address);
    t.dev->SetSamplerState(0, D3DSAMP_ADDRESSV, c.address);
    t.dev->SetSamplerState(0, D3DSAMP_BORDERCOLOR, 0x80FF4020);
    t.dev->SetSamplerState(0, D3DSAMP_MAGFILTER, c.filter);
    t.dev->SetSamplerState(0, D3DSAMP_MINFILTER, c.filter);
    bool blend = !(c.srcBlend == D3DBLEND_ONE && c.destBlend == D3DBLEND_ZERO);
    t.dev->SetRenderState(D3DRS_ALPHABLENDENABLE, blend);
    t.dev->SetRenderState(D3DRS_SRCBLEND, c.srcBlend);
    t.dev->SetRenderState(D3DRS_DESTBLEND, c.destBlend);
    t.dev->SetRenderState(D3DRS_ZWRITEENABLE, TRUE);

    std::mt19937 rng(11);
    std::uniform_real_distribution<float> unit(0.f, 1.f);
    const float nan = std::numeric_limits<float>::quiet_NaN();
    std::vector<TLVertex> v;
    for (int i = 0; i < 40; ++i) {
        float x = unit(rng) * 110.f - 6.f, y = unit(rng) * 84.f - 6.f, s = 2.f + unit(rng) * 30.f;
        float z = unit(rng), u0 = unit(rng) * 6.f - 3.f, v0 = unit(rng) * 6.f - 3.f, span = unit(rng) * 4.f;
        if (i % 13 == 5) u0 = nan;
        D3DCOLOR col = D3DCOLOR(rng()) | 0x30000000u;
        v.insert(v.end(), {{x, y, z, 1, col, u0, v0},
                           {x + s, y, z, 1, col, u0 + span, v0},
                           {x, y + s, z, 1, col, u0, v0 + span},
                           {x + s, y, z, 1, col, u0 + span, v0},
                           {x + s, y + s * 1.3f, z, 1, col, u0 + span, v0 + span},
                           {x, y + s, z, 1, col, u0, v0 + span}});
    }
    t.DrawTriangles(v);
    std::vector<uint32_t> px(size_t(t.width) * t.height);
    D3DLOCKED_RECT lr;
    EXPECT_EQ(target->LockRect(&lr, nullptr, D3DLOCK_READONLY), D3D_OK);
    for (UINT y = 0; y < t.height; ++y)
        std::memcpy(&px[size_t(y) * t.width], static_cast<BYTE*>(lr.pBits) + size_t(y) * lr.Pitch, t.width * 4);
    target->UnlockRect();
    tex->Release();
    target->Release();
    if (depth) depth->Release();
    return px;
}

TEST(FastPaths, AgreeWithTheReferencePathPixelForPixel) {
    const DWORD addresses[] = {D3DTADDRESS_WRAP, D3DTADDRESS_CLAMP, D3DTADDRESS_BORDER, D3DTADDRESS_MIRROR};
    const DWORD blends[][2] = {{D3DBLEND_ONE, D3DBLEND_ZERO},
                               {D3DBLEND_SRCALPHA, D3DBLEND_ONE},
                               {D3DBLEND_ONE, D3DBLEND_ONE},
                               {D3DBLEND_SRCALPHA, D3DBLEND_INVSRCALPHA},
                               {D3DBLEND_DESTCOLOR, D3DBLEND_SRCCOLOR}};  // general write only
    std::vector<FastPathCase> cases;
    int n = 0;
    for (DWORD address : addresses) {
        for (const auto& b : blends) {
            D3DFORMAT target = n % 2 ? D3DFMT_X8R8G8B8 : D3DFMT_A8R8G8B8;
            const D3DFORMAT depths[] = {D3DFMT_D24S8, D3DFMT_D16, D3DFMT_UNKNOWN};
            DWORD filter = n % 5 == 4 ? D3DTEXF_POINT : D3DTEXF_LINEAR;
            cases.push_back({target, depths[n % 3], address, filter, b[0], b[1]});
            ++n;
        }
    }
    for (const FastPathCase& c : cases) {
        std::vector<uint32_t> reference = RenderCase(c, true);
        std::vector<uint32_t> fast = RenderCase(c, false);
        size_t differing = 0, drawn = 0;
        for (size_t i = 0; i < reference.size(); ++i) {
            differing += reference[i] != fast[i];
            drawn += (reference[i] & 0x00FFFFFFu) != 0x203040u;
        }
        EXPECT_EQ(differing, 0u) << "target " << c.target << " depth " << c.depth << " address " << c.address
                                 << " blend " << c.srcBlend << "/" << c.destBlend;
        EXPECT_GT(drawn, reference.size() / 4) << "the scene must cover a good part of the target";
    }
}

}  // namespace

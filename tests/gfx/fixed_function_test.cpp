// The fixed-function stages, stencil, scissor and viewport, flat shading.
#include <algorithm>
#include <cmath>

#include "scene_helper.h"

using gfxtest::TestDevice;

namespace {

double Ch(uint32_t c, int i) { return ((c >> (i == 3 ? 24 : 16 - 8 * i)) & 0xFF) / 255.0; }

TEST(FixedFunction, TextureStageOperations) {
    const uint32_t diffuse = 0xC0402080, factor = 0x60A0E010;
    struct Case {
        DWORD op;
        double (*f)(double a1, double a2, double a0, double diffuseAlpha, double factorAlpha);
    } cases[] = {
        {D3DTOP_SELECTARG1, [](double a1, double, double, double, double) { return a1; }},
        {D3DTOP_SELECTARG2, [](double, double a2, double, double, double) { return a2; }},
        {D3DTOP_MODULATE, [](double a1, double a2, double, double, double) { return a1 * a2; }},
        {D3DTOP_MODULATE2X, [](double a1, double a2, double, double, double) { return 2 * a1 * a2; }},
        {D3DTOP_MODULATE4X, [](double a1, double a2, double, double, double) { return 4 * a1 * a2; }},
        {D3DTOP_ADD, [](double a1, double a2, double, double, double) { return a1 + a2; }},
        {D3DTOP_ADDSIGNED, [](double a1, double a2, double, double, double) { return a1 + a2 - 0.5; }},
        {D3DTOP_ADDSIGNED2X, [](double a1, double a2, double, double, double) { return 2 * (a1 + a2 - 0.5); }},
        {D3DTOP_SUBTRACT, [](double a1, double a2, double, double, double) { return a1 - a2; }},
        {D3DTOP_ADDSMOOTH, [](double a1, double a2, double, double, double) { return a1 + a2 - a1 * a2; }},
        {D3DTOP_BLENDDIFFUSEALPHA, [](double a1, double a2, double, double d, double) { return a1 * d + a2 * (1 - d); }},
        {D3DTOP_BLENDFACTORALPHA, [](double a1, double a2, double, double, double f) { return a1 * f + a2 * (1 - f); }},
        {D3DTOP_MULTIPLYADD, [](double a1, double a2, double a0, double, double) { return a0 + a1 * a2; }},
        {D3DTOP_LERP, [](double a1, double a2, double a0, double, double) { return a0 * a1 + (1 - a0) * a2; }},
    };
    for (const auto& c : cases) {
        TestDevice t(1, 1);
        t.dev->SetRenderState(D3DRS_TEXTUREFACTOR, factor);
        t.dev->SetTextureStageState(0, D3DTSS_COLOROP, c.op);
        t.dev->SetTextureStageState(0, D3DTSS_COLORARG1, D3DTA_TFACTOR);
        t.dev->SetTextureStageState(0, D3DTSS_COLORARG2, D3DTA_DIFFUSE);
        t.dev->SetTextureStageState(0, D3DTSS_COLORARG0, D3DTA_DIFFUSE | D3DTA_COMPLEMENT);
        t.dev->SetTextureStageState(0, D3DTSS_ALPHAOP, D3DTOP_SELECTARG2);
        t.dev->SetTextureStageState(0, D3DTSS_ALPHAARG2, D3DTA_DIFFUSE);
        t.DrawRect(-0.5f, -0.5f, 0.5f, 0.5f, diffuse);
        uint32_t got = t.Pixels()[0];
        for (int i = 0; i < 3; ++i) {
            double v = c.f(Ch(factor, i), Ch(diffuse, i), 1 - Ch(diffuse, i), Ch(diffuse, 3), Ch(factor, 3));
            v = std::clamp(v, 0.0, 1.0) * 255;
            EXPECT_NEAR(Ch(got, i) * 255, v, 0.5 + 1e-3) << "op " << c.op << " channel " << i;
        }
        EXPECT_EQ(got >> 24, diffuse >> 24) << "op " << c.op;
    }
}

TEST(FixedFunction, TwoStagesWithTempAndSpecular) {
    TestDevice t(1, 1);
    // Stage 0 writes TFACTOR to temp; stage 1 adds temp to the diffuse colour;
    // specular is added at the end.
    t.dev->SetRenderState(D3DRS_TEXTUREFACTOR, 0xFF102030);
    t.dev->SetTextureStageState(0, D3DTSS_COLOROP, D3DTOP_SELECTARG1);
    t.dev->SetTextureStageState(0, D3DTSS_COLORARG1, D3DTA_TFACTOR);
    t.dev->SetTextureStageState(0, D3DTSS_RESULTARG, D3DTA_TEMP);
    t.dev->SetTextureStageState(1, D3DTSS_COLOROP, D3DTOP_ADD);
    t.dev->SetTextureStageState(1, D3DTSS_COLORARG1, D3DTA_TEMP);
    t.dev->SetTextureStageState(1, D3DTSS_COLORARG2, D3DTA_CURRENT);
    t.dev->SetTextureStageState(1, D3DTSS_ALPHAOP, D3DTOP_SELECTARG1);
    t.dev->SetTextureStageState(1, D3DTSS_ALPHAARG1, D3DTA_DIFFUSE);
    t.dev->SetRenderState(D3DRS_SPECULARENABLE, TRUE);
    struct V {
        float x, y, z, rhw;
        D3DCOLOR diffuse, specular;
    } v[3] = {{-0.5f, -0.5f, 0.5f, 1, 0x80010203, 0x00040506},
              {1.5f, -0.5f, 0.5f, 1, 0x80010203, 0x00040506},
              {-0.5f, 1.5f, 0.5f, 1, 0x80010203, 0x00040506}};
    t.dev->SetFVF(D3DFVF_XYZRHW | D3DFVF_DIFFUSE | D3DFVF_SPECULAR);
    ASSERT_EQ(t.dev->DrawPrimitiveUP(D3DPT_TRIANGLELIST, 1, v, sizeof(V)), D3D_OK);
    EXPECT_EQ(t.Pixels()[0], 0x80152739u);
}

TEST(FixedFunction, StencilCountsOverlapsAndMasksLaterDraws) {
    TestDevice t(8, 1);
    t.dev->Clear(0, nullptr, D3DCLEAR_STENCIL | D3DCLEAR_TARGET, 0, 1.f, 0);
    t.dev->SetTextureStageState(0, D3DTSS_COLOROP, D3DTOP_SELECTARG2);
    t.dev->SetRenderState(D3DRS_STENCILENABLE, TRUE);
    t.dev->SetRenderState(D3DRS_STENCILFUNC, D3DCMP_ALWAYS);
    t.dev->SetRenderState(D3DRS_STENCILPASS, D3DSTENCILOP_INCR);
    t.DrawRect(-0.5f, -0.5f, 5.5f, 0.5f, 0xFF000001);  // pixels 0-5: stencil 1
    t.DrawRect(1.5f, -0.5f, 7.5f, 0.5f, 0xFF000001);   // pixels 2-7: +1
    // Draw only where the stencil equals 2 (pixels 2-5).
    t.dev->SetRenderState(D3DRS_STENCILFUNC, D3DCMP_EQUAL);
    t.dev->SetRenderState(D3DRS_STENCILREF, 2);
    t.dev->SetRenderState(D3DRS_STENCILPASS, D3DSTENCILOP_KEEP);
    t.DrawRect(-0.5f, -0.5f, 7.5f, 0.5f, 0xFFFFFFFF);
    std::vector<uint32_t> px = t.Pixels();
    const uint32_t expected[8] = {1, 1, 0xFFFFFFFF, 0xFFFFFFFF, 0xFFFFFFFF, 0xFFFFFFFF, 1, 1};
    for (int x = 0; x < 8; ++x) EXPECT_EQ(px[x] == 0xFFFFFFFF, expected[x] == 0xFFFFFFFF) << x;
}

TEST(FixedFunction, ScissorViewportAndFlatShading) {
    TestDevice t(16, 16);
    t.dev->SetTextureStageState(0, D3DTSS_COLOROP, D3DTOP_SELECTARG2);
    RECT scissor = {4, 4, 8, 8};
    t.dev->SetScissorRect(&scissor);
    t.dev->SetRenderState(D3DRS_SCISSORTESTENABLE, TRUE);
    t.DrawRect(-0.5f, -0.5f, 15.5f, 15.5f, 0xFFFF0000);
    t.dev->SetRenderState(D3DRS_SCISSORTESTENABLE, FALSE);
    // A viewport in the lower right quarter: clip space maps onto it.
    D3DVIEWPORT9 vp = {8, 8, 8, 8, 0.f, 1.f};
    ASSERT_EQ(t.dev->SetViewport(&vp), D3D_OK);
    struct V {
        float x, y, z;
        D3DCOLOR c;
    };
    // Flat shading takes the first vertex's colour for the whole triangle.
    t.dev->SetRenderState(D3DRS_SHADEMODE, D3DSHADE_FLAT);
    V quad[6] = {{-1, 1, 0.5f, 0xFF00FF00}, {1, 1, 0.5f, 0xFF0000FF}, {-1, -1, 0.5f, 0xFF0000FF},
                 {-1, -1, 0.5f, 0xFF00FF00}, {1, 1, 0.5f, 0xFF0000FF}, {1, -1, 0.5f, 0xFF0000FF}};
    t.dev->SetFVF(D3DFVF_XYZ | D3DFVF_DIFFUSE);
    ASSERT_EQ(t.dev->DrawPrimitiveUP(D3DPT_TRIANGLELIST, 2, quad, sizeof(V)), D3D_OK);
    std::vector<uint32_t> px = t.Pixels();
    for (int y = 0; y < 16; ++y) {
        for (int x = 0; x < 16; ++x) {
            uint32_t expected = 0;
            if (x >= 4 && x < 8 && y >= 4 && y < 8) expected = 0xFFFF0000;
            if (x >= 8 && y >= 8) expected = 0xFF00FF00;
            ASSERT_EQ(px[y * 16 + x], expected) << x << "," << y;
        }
    }
}

}  // namespace

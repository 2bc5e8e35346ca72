// Golden scenes: coverage rules, texture filtering, depth, blending, culling,
// and the scalar reference path against the tiled, threaded one.
#include <cmath>
#include <random>

#include "scene_helper.h"

using gfxtest::TestDevice;
using gfxtest::TLVertex;

namespace {

// Pixels whose centre (x, y) lies inside the rectangle, counting its left and
// top edges in and its right and bottom edges out.
bool InsideRect(int x, int y, float x0, float y0, float x1, float y1) {
    return x >= x0 && x < x1 && y >= y0 && y < y1;
}

TEST(Rasterizer, SharedEdgesCoverEveryPixelExactlyOnce) {
    TestDevice t(64, 64);
    // Additive blending of 1 per draw: a pixel drawn twice would read 2.
    t.dev->SetRenderState(D3DRS_ALPHABLENDENABLE, TRUE);
    t.dev->SetRenderState(D3DRS_SRCBLEND, D3DBLEND_ONE);
    t.dev->SetRenderState(D3DRS_DESTBLEND, D3DBLEND_ONE);
    t.dev->SetTextureStageState(0, D3DTSS_COLOROP, D3DTOP_SELECTARG2);
    t.dev->SetTextureStageState(0, D3DTSS_COLORARG2, D3DTA_DIFFUSE);
    const D3DCOLOR one = 0x01010101;
    // A fan of triangles around an inner point, covering a rectangle with
    // fractional corners: edges at many slopes, including ones through
    // pixel centres.
    const float x0 = 3.25f, y0 = 4.5f, x1 = 57.f, y1 = 49.75f;
    const float cx = 20.f, cy = 30.f;
    const float ring[][2] = {{x0, y0}, {30.f, y0}, {x1, y0}, {x1, 20.f}, {x1, y1}, {40.5f, y1},
                             {x0, y1}, {x0, 33.f}};
    std::vector<TLVertex> v;
    for (int i = 0; i < 8; ++i) {
        const float* a = ring[i];
        const float* b = ring[(i + 1) % 8];
        v.push_back({cx, cy, 0.5f, 1, one, 0, 0});
        v.push_back({a[0], a[1], 0.5f, 1, one, 0, 0});
        v.push_back({b[0], b[1], 0.5f, 1, one, 0, 0});
    }
    t.DrawTriangles(v);
    std::vector<uint32_t> px = t.Pixels();
    for (int y = 0; y < 64; ++y) {
        for (int x = 0; x < 64; ++x) {
            int expected = InsideRect(x, y, x0, y0, x1, y1) ? 1 : 0;
            ASSERT_EQ(gfxtest::Channel(px[y * 64 + x], 16), expected) << "pixel " << x << "," << y;
        }
    }
}

TEST(Rasterizer, CullModesFollowScreenWinding) {
    struct Case {
        DWORD cull;
        bool clockwiseDrawn, counterClockwiseDrawn;
    } cases[] = {{D3DCULL_NONE, true, true}, {D3DCULL_CCW, true, false}, {D3DCULL_CW, false, true}};
    for (const Case& c : cases) {
        TestDevice t(32, 16);
        t.dev->SetRenderState(D3DRS_CULLMODE, c.cull);
        // Left triangle clockwise on screen (y down), right one counter-clockwise.
        t.DrawTriangles({{0, 0, 0.5f, 1, 0xFFFF0000, 0, 0}, {14, 0, 0.5f, 1, 0xFFFF0000, 0, 0},
                         {0, 14, 0.5f, 1, 0xFFFF0000, 0, 0}, {16, 0, 0.5f, 1, 0xFF00FF00, 0, 0},
                         {16, 14, 0.5f, 1, 0xFF00FF00, 0, 0}, {30, 0, 0.5f, 1, 0xFF00FF00, 0, 0}});
        std::vector<uint32_t> px = t.Pixels();
        EXPECT_EQ(px[2 * 32 + 2] == 0xFFFF0000, c.clockwiseDrawn) << c.cull;
        EXPECT_EQ(px[2 * 32 + 18] == 0xFF00FF00, c.counterClockwiseDrawn) << c.cull;
    }
}

TEST(Rasterizer, DepthTestKeepsTheNearerSurface) {
    TestDevice t(32, 32);
    t.dev->SetRenderState(D3DRS_ZENABLE, TRUE);
    t.dev->SetRenderState(D3DRS_ZFUNC, D3DCMP_LESSEQUAL);
    t.dev->SetTextureStageState(0, D3DTSS_COLOROP, D3DTOP_SELECTARG2);
    // Near red square first, then a far green one overlapping it, then a
    // blue one at the same depth as the red (LESSEQUAL lets it through).
    t.DrawRect(4, 4, 20, 20, 0xFFFF0000, 0.25f);
    t.DrawRect(12, 12, 28, 28, 0xFF00FF00, 0.75f);
    t.DrawRect(16, 0, 20, 8, 0xFF0000FF, 0.25f);
    // Without depth writes a later far square still fails where red wrote.
    t.dev->SetRenderState(D3DRS_ZWRITEENABLE, FALSE);
    t.DrawRect(0, 24, 8, 32, 0xFFFFFFFF, 0.1f);
    t.DrawRect(0, 26, 8, 32, 0xFF000000, 0.5f);
    std::vector<uint32_t> px = t.Pixels();
    for (int y = 0; y < 32; ++y) {
        for (int x = 0; x < 32; ++x) {
            uint32_t expected = 0;
            if (InsideRect(x, y, 12, 12, 28, 28)) expected = 0xFF00FF00;
            if (InsideRect(x, y, 4, 4, 20, 20)) expected = 0xFFFF0000;
            if (InsideRect(x, y, 16, 0, 20, 8)) expected = 0xFF0000FF;
            if (InsideRect(x, y, 0, 24, 8, 32)) expected = 0xFFFFFFFF;
            if (InsideRect(x, y, 0, 26, 8, 32)) expected = 0xFF000000;
            ASSERT_EQ(px[y * 32 + x], expected) << x << "," << y;
        }
    }
}

// 4 x 4 texture, channels multiples of 16 so that bilinear weights of
// quarters give whole numbers.
std::vector<uint32_t> TestTexels() {
    std::vector<uint32_t> texels(16);
    for (uint32_t i = 0; i < 16; ++i) {
        uint32_t r = (i * 16) & 0xFF, g = ((15 - i) * 16) & 0xFF, b = ((i * 7) % 16) * 16;
        texels[i] = 0xF0000000u | (r << 16) | (g << 8) | b;
    }
    return texels;
}

TEST(Rasterizer, TexturedQuadPointAndLinearFiltering) {
    std::vector<uint32_t> texels = TestTexels();
    for (DWORD filter : {D3DTEXF_POINT, D3DTEXF_LINEAR}) {
        TestDevice t(8, 8);
        IDirect3DTexture9* tex = t.MakeTexture(4, 4, texels);
        t.dev->SetTexture(0, tex);
        t.dev->SetSamplerState(0, D3DSAMP_MAGFILTER, filter);
        t.dev->SetSamplerState(0, D3DSAMP_MINFILTER, filter);
        t.dev->SetTextureStageState(0, D3DTSS_COLOROP, D3DTOP_SELECTARG1);
        t.dev->SetTextureStageState(0, D3DTSS_ALPHAOP, D3DTOP_SELECTARG1);
        // Pixel edges at half-integers: pixel x samples u = (x + 0.5) / 8.
        t.DrawRect(-0.5f, -0.5f, 7.5f, 7.5f, 0xFFFFFFFF);
        std::vector<uint32_t> px = t.Pixels();
        for (int y = 0; y < 8; ++y) {
            for (int x = 0; x < 8; ++x) {
                uint32_t expected;
                if (filter == D3DTEXF_POINT) {
                    expected = texels[(y / 2) * 4 + x / 2];
                } else {
                    // Texel space position (x + 0.5) / 2 - 0.5, wrapped.
                    double fx = (x + 0.5) / 2 - 0.5, fy = (y + 0.5) / 2 - 0.5;
                    int ix = int(std::floor(fx)), iy = int(std::floor(fy));
                    double ax = fx - ix, ay = fy - iy;
                    expected = 0;
                    for (int shift = 0; shift < 32; shift += 8) {
                        auto at = [&](int tx, int ty) {
                            return double((texels[((ty + 4) % 4) * 4 + (tx + 4) % 4] >> shift) & 0xFF);
                        };
                        double v = (1 - ay) * ((1 - ax) * at(ix, iy) + ax * at(ix + 1, iy)) +
                                   ay * ((1 - ax) * at(ix, iy + 1) + ax * at(ix + 1, iy + 1));
                        expected |= uint32_t(std::lround(v)) << shift;
                    }
                }
                ASSERT_EQ(px[y * 8 + x], expected) << "filter " << filter << " pixel " << x << "," << y;
            }
        }
        tex->Release();
    }
}

TEST(Rasterizer, AddressModesAndBorderColour) {
    // A 2 x 1 texture stretched over coordinates -1..2 across 6 pixels.
    struct Case {
        DWORD mode;
        uint32_t expected[6];
    };
    const uint32_t a = 0xFF102030, b = 0xFF405060, border = 0xFFABCDEF;
    Case cases[] = {{D3DTADDRESS_WRAP, {a, b, a, b, a, b}},
                    {D3DTADDRESS_MIRROR, {b, a, a, b, b, a}},
                    {D3DTADDRESS_CLAMP, {a, a, a, b, b, b}},
                    {D3DTADDRESS_BORDER, {border, border, a, b, border, border}},
                    {D3DTADDRESS_MIRRORONCE, {b, a, a, b, b, b}}};
    for (const Case& c : cases) {
        TestDevice t(6, 1);
        IDirect3DTexture9* tex = t.MakeTexture(2, 1, {a, b});
        t.dev->SetTexture(0, tex);
        t.dev->SetSamplerState(0, D3DSAMP_ADDRESSU, c.mode);
        t.dev->SetSamplerState(0, D3DSAMP_BORDERCOLOR, border);
        t.dev->SetTextureStageState(0, D3DTSS_COLOROP, D3DTOP_SELECTARG1);
        t.DrawTriangles({{-0.5f, -0.5f, 0.5f, 1, 0, -1, 0}, {5.5f, -0.5f, 0.5f, 1, 0, 2, 0},
                         {-0.5f, 0.5f, 0.5f, 1, 0, -1, 1}, {5.5f, -0.5f, 0.5f, 1, 0, 2, 0},
                         {5.5f, 0.5f, 0.5f, 1, 0, 2, 1}, {-0.5f, 0.5f, 0.5f, 1, 0, -1, 1}});
        std::vector<uint32_t> px = t.Pixels();
        for (int x = 0; x < 6; ++x) EXPECT_EQ(px[x], c.expected[x]) << "mode " << c.mode << " pixel " << x;
        tex->Release();
    }
}

TEST(Rasterizer, MipLevelsFollowMaxMipLevelAndFilter) {
    // Level 0 red, level 1 green, level 2 blue; a 4x4 texture drawn into one
    // pixel minifies by 4 (lod 2).
    TestDevice t(4, 4);
    IDirect3DTexture9* tex = nullptr;
    ASSERT_EQ(t.dev->CreateTexture(4, 4, 0, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED, &tex, nullptr), D3D_OK);
    ASSERT_EQ(tex->GetLevelCount(), 3u);
    const uint32_t colours[3] = {0xFFFF0000, 0xFF00FF00, 0xFF0000FF};
    for (UINT l = 0; l < 3; ++l) {
        D3DLOCKED_RECT lr;
        ASSERT_EQ(tex->LockRect(l, &lr, nullptr, 0), D3D_OK);
        UINT size = 4 >> l;
        for (UINT y = 0; y < size; ++y)
            for (UINT x = 0; x < size; ++x)
                reinterpret_cast<uint32_t*>(static_cast<BYTE*>(lr.pBits) + y * lr.Pitch)[x] = colours[l];
        tex->UnlockRect(l);
    }
    t.dev->SetTexture(0, tex);
    t.dev->SetTextureStageState(0, D3DTSS_COLOROP, D3DTOP_SELECTARG1);
    struct Case {
        DWORD mip;
        DWORD maxLevel;
        uint32_t expected;
    } cases[] = {{D3DTEXF_NONE, 0, colours[0]}, {D3DTEXF_POINT, 0, colours[2]}, {D3DTEXF_POINT, 1, colours[2]},
                 {D3DTEXF_NONE, 1, colours[1]}};
    for (const Case& c : cases) {
        t.dev->SetSamplerState(0, D3DSAMP_MIPFILTER, c.mip);
        t.dev->SetSamplerState(0, D3DSAMP_MAXMIPLEVEL, c.maxLevel);
        // Four texels per pixel in each direction.
        t.DrawRect(-0.5f, -0.5f, 0.5f, 0.5f, 0xFFFFFFFF);
        t.DrawRect(0.5f, -0.5f, 1.5f, 0.5f, 0xFFFFFFFF);
        t.DrawRect(-0.5f, 0.5f, 0.5f, 1.5f, 0xFFFFFFFF);
        t.DrawRect(0.5f, 0.5f, 1.5f, 1.5f, 0xFFFFFFFF);
        EXPECT_EQ(t.Pixels()[0], c.expected) << "mip " << c.mip << " max level " << c.maxLevel;
    }
    tex->Release();
}

TEST(Rasterizer, BlendFactorsAndOperations) {
    // Destination (r, g, b, a) = (0.4, 0.2, 0.8, 0.6) as bytes; source from
    // the vertex colour.
    const uint32_t dest = 0x9966CC33;  // a=0x99 r=0x66 g=0xCC b=0x33
    const uint32_t src = 0x80FF4010;   // a=0x80 r=0xFF g=0x40 b=0x10
    auto channel = [](uint32_t p, int c) { return ((p >> (c == 3 ? 24 : 16 - 8 * c)) & 0xFF) / 255.0; };
    struct Case {
        DWORD srcBlend, destBlend, op;
    } cases[] = {{D3DBLEND_ONE, D3DBLEND_ONE, D3DBLENDOP_ADD},
                 {D3DBLEND_SRCALPHA, D3DBLEND_ONE, D3DBLENDOP_ADD},
                 {D3DBLEND_SRCALPHA, D3DBLEND_INVSRCALPHA, D3DBLENDOP_ADD},
                 {D3DBLEND_ZERO, D3DBLEND_SRCCOLOR, D3DBLENDOP_ADD},
                 {D3DBLEND_DESTCOLOR, D3DBLEND_INVDESTCOLOR, D3DBLENDOP_ADD},
                 {D3DBLEND_DESTALPHA, D3DBLEND_INVDESTALPHA, D3DBLENDOP_SUBTRACT},
                 {D3DBLEND_INVSRCCOLOR, D3DBLEND_ONE, D3DBLENDOP_REVSUBTRACT},
                 {D3DBLEND_SRCALPHASAT, D3DBLEND_ONE, D3DBLENDOP_ADD},
                 {D3DBLEND_BLENDFACTOR, D3DBLEND_INVBLENDFACTOR, D3DBLENDOP_ADD},
                 {D3DBLEND_ONE, D3DBLEND_ONE, D3DBLENDOP_MIN},
                 {D3DBLEND_ONE, D3DBLEND_ONE, D3DBLENDOP_MAX}};
    const uint32_t blendFactor = 0x40808080;
    for (const Case& c : cases) {
        TestDevice t(2, 2);
        t.dev->Clear(0, nullptr, D3DCLEAR_TARGET, dest, 1.f, 0);
        t.dev->SetRenderState(D3DRS_ALPHABLENDENABLE, TRUE);
        t.dev->SetRenderState(D3DRS_SRCBLEND, c.srcBlend);
        t.dev->SetRenderState(D3DRS_DESTBLEND, c.destBlend);
        t.dev->SetRenderState(D3DRS_BLENDOP, c.op);
        t.dev->SetRenderState(D3DRS_BLENDFACTOR, blendFactor);
        t.dev->SetTextureStageState(0, D3DTSS_COLOROP, D3DTOP_SELECTARG2);
        t.dev->SetTextureStageState(0, D3DTSS_ALPHAOP, D3DTOP_SELECTARG2);
        t.dev->SetTextureStageState(0, D3DTSS_ALPHAARG2, D3DTA_DIFFUSE);
        t.DrawRect(-0.5f, -0.5f, 1.5f, 1.5f, src);
        uint32_t got = t.Pixels()[0];
        for (int ch = 0; ch < 4; ++ch) {
            double s[4], d[4], k[4];
            for (int i = 0; i < 4; ++i) {
                s[i] = channel(src, i);
                d[i] = channel(dest, i);
                k[i] = channel(blendFactor, i);
            }
            auto factor = [&](DWORD f) {
                switch (f) {
                case D3DBLEND_ZERO: return 0.0;
                case D3DBLEND_ONE: return 1.0;
                case D3DBLEND_SRCCOLOR: return s[ch];
                case D3DBLEND_INVSRCCOLOR: return 1 - s[ch];
                case D3DBLEND_SRCALPHA: return s[3];
                case D3DBLEND_INVSRCALPHA: return 1 - s[3];
                case D3DBLEND_DESTALPHA: return d[3];
                case D3DBLEND_INVDESTALPHA: return 1 - d[3];
                case D3DBLEND_DESTCOLOR: return d[ch];
                case D3DBLEND_INVDESTCOLOR: return 1 - d[ch];
                case D3DBLEND_SRCALPHASAT: return ch == 3 ? 1.0 : std::min(s[3], 1 - d[3]);
                case D3DBLEND_BLENDFACTOR: return k[ch];
                default: return 1 - k[ch];
                }
            };
            double a = s[ch] * factor(c.srcBlend), b = d[ch] * factor(c.destBlend);
            double r = c.op == D3DBLENDOP_ADD ? a + b
                       : c.op == D3DBLENDOP_SUBTRACT ? a - b
                       : c.op == D3DBLENDOP_REVSUBTRACT ? b - a
                       : c.op == D3DBLENDOP_MIN ? std::min(s[ch], d[ch])
                                                : std::max(s[ch], d[ch]);
            r = std::clamp(r, 0.0, 1.0) * 255;
            double gotChannel = channel(got, ch) * 255;
            EXPECT_NEAR(gotChannel, r, 0.5 + 1e-3)
                << "src " << c.srcBlend << " dest " << c.destBlend << " op " << c.op << " channel " << ch;
        }
    }
}

TEST(Rasterizer, AlphaTestAndColourWriteMask) {
    TestDevice t(4, 1);
    t.dev->Clear(0, nullptr, D3DCLEAR_TARGET, 0x11223344, 1.f, 0);
    t.dev->SetTextureStageState(0, D3DTSS_COLOROP, D3DTOP_SELECTARG2);
    t.dev->SetTextureStageState(0, D3DTSS_ALPHAOP, D3DTOP_SELECTARG2);
    t.dev->SetTextureStageState(0, D3DTSS_ALPHAARG2, D3DTA_DIFFUSE);
    t.dev->SetRenderState(D3DRS_ALPHATESTENABLE, TRUE);
    t.dev->SetRenderState(D3DRS_ALPHAFUNC, D3DCMP_GREATEREQUAL);
    t.dev->SetRenderState(D3DRS_ALPHAREF, 0x80);
    t.DrawRect(-0.5f, -0.5f, 0.5f, 0.5f, 0x7FFFFFFF);  // alpha below the reference: dropped
    t.DrawRect(0.5f, -0.5f, 1.5f, 0.5f, 0x80FFFFFF);   // equal: kept
    t.dev->SetRenderState(D3DRS_ALPHATESTENABLE, FALSE);
    t.dev->SetRenderState(D3DRS_COLORWRITEENABLE, D3DCOLORWRITEENABLE_GREEN | D3DCOLORWRITEENABLE_ALPHA);
    t.DrawRect(1.5f, -0.5f, 2.5f, 0.5f, 0xAABBCCDD);
    t.dev->SetRenderState(D3DRS_COLORWRITEENABLE, 0);
    t.DrawRect(2.5f, -0.5f, 3.5f, 0.5f, 0xAABBCCDD);
    std::vector<uint32_t> px = t.Pixels();
    EXPECT_EQ(px[0], 0x11223344u);
    EXPECT_EQ(px[1], 0x80FFFFFFu);
    EXPECT_EQ(px[2], 0xAA22CC44u);
    EXPECT_EQ(px[3], 0x11223344u);
}

TEST(Rasterizer, FixedFunctionTransformClipsAtTheNearPlane) {
    // A floor quad from in front of the eye to behind it, seen through a
    // perspective projection: only the part in front is drawn, and it fills
    // the lower half of the screen without wrapping over the top.
    TestDevice t(32, 32);
    D3DMATRIX proj{};
    float zn = 1.f, zf = 100.f, yScale = 1.f, xScale = 1.f;
    proj._11 = xScale;
    proj._22 = yScale;
    proj._33 = zf / (zf - zn);
    proj._34 = 1.f;
    proj._43 = -zn * zf / (zf - zn);
    t.dev->SetTransform(D3DTS_PROJECTION, &proj);
    D3DMATRIX got;
    ASSERT_EQ(t.dev->GetTransform(D3DTS_PROJECTION, &got), D3D_OK);
    EXPECT_EQ(std::memcmp(&got, &proj, sizeof(proj)), 0);
    struct V {
        float x, y, z;
        D3DCOLOR c;
    };
    V quad[6] = {{-50, -1, -10, 0xFFFFFFFF}, {50, -1, -10, 0xFFFFFFFF}, {-50, -1, 50, 0xFFFFFFFF},
                 {50, -1, -10, 0xFFFFFFFF},  {50, -1, 50, 0xFFFFFFFF},  {-50, -1, 50, 0xFFFFFFFF}};
    t.dev->SetFVF(D3DFVF_XYZ | D3DFVF_DIFFUSE);
    t.dev->SetTextureStageState(0, D3DTSS_COLOROP, D3DTOP_SELECTARG2);
    ASSERT_EQ(t.dev->DrawPrimitiveUP(D3DPT_TRIANGLELIST, 2, quad, sizeof(V)), D3D_OK);
    std::vector<uint32_t> px = t.Pixels();
    // The horizon (y = -1 at infinity) is the centre row; the floor is below.
    EXPECT_EQ(px[31 * 32 + 16], 0xFFFFFFFFu);
    EXPECT_EQ(px[20 * 32 + 16], 0xFFFFFFFFu);
    for (int y = 0; y < 15; ++y) EXPECT_EQ(px[y * 32 + 16], 0u) << y;
}

// Renders a busy scene (overlapping textured triangles, depth, several blend
// modes, strips and fans, large and tiny triangles) and returns the pixels.
std::vector<uint32_t> BusyScene(gfx::DeviceOptions options) {
    TestDevice t(200, 150, options);
    std::vector<uint32_t> texels(64);
    for (int i = 0; i < 64; ++i) texels[i] = 0xFF000000u | uint32_t(i * 0x030507) ;
    IDirect3DTexture9* tex = t.MakeTexture(8, 8, texels, 1);
    t.dev->SetTexture(0, tex);
    t.dev->SetSamplerState(0, D3DSAMP_MAGFILTER, D3DTEXF_LINEAR);
    t.dev->SetSamplerState(0, D3DSAMP_MINFILTER, D3DTEXF_LINEAR);
    t.dev->SetRenderState(D3DRS_ZENABLE, TRUE);
    std::mt19937 rng(7);
    std::uniform_real_distribution<float> pos(-40.f, 240.f), z(0.f, 1.f), uv(-2.f, 3.f);
    const DWORD blends[][2] = {{D3DBLEND_ONE, D3DBLEND_ZERO}, {D3DBLEND_SRCALPHA, D3DBLEND_ONE},
                               {D3DBLEND_SRCALPHA, D3DBLEND_INVSRCALPHA}, {D3DBLEND_DESTCOLOR, D3DBLEND_ZERO}};
    for (int batch = 0; batch < 12; ++batch) {
        t.dev->SetRenderState(D3DRS_ALPHABLENDENABLE, batch % 4 != 0);
        t.dev->SetRenderState(D3DRS_SRCBLEND, blends[batch % 4][0]);
        t.dev->SetRenderState(D3DRS_DESTBLEND, blends[batch % 4][1]);
        t.dev->SetRenderState(D3DRS_ZWRITEENABLE, batch % 3 != 0);
        std::vector<TLVertex> v;
        for (int i = 0; i < 60; ++i) {
            float w = 0.5f + z(rng) * 3.f;
            v.push_back({pos(rng), pos(rng) * 0.75f, z(rng), 1.f / w, D3DCOLOR(rng() | 0x20000000u), uv(rng), uv(rng)});
        }
        D3DPRIMITIVETYPE type = batch % 3 == 0 ? D3DPT_TRIANGLELIST : (batch % 3 == 1 ? D3DPT_TRIANGLESTRIP : D3DPT_TRIANGLEFAN);
        UINT prims = type == D3DPT_TRIANGLELIST ? 20 : 58;
        EXPECT_EQ(t.dev->DrawPrimitiveUP(type, prims, v.data(), sizeof(TLVertex)), D3D_OK);
    }
    std::vector<uint32_t> px = t.Pixels();
    tex->Release();
    return px;
}

TEST(Rasterizer, ScalarReferenceAndTiledThreadedPathsAgree) {
    gfx::DeviceOptions scalar;
    scalar.scalarReference = true;
    scalar.threads = 1;
    gfx::DeviceOptions tiled;
    tiled.threads = 4;
    std::vector<uint32_t> a = BusyScene(scalar);
    std::vector<uint32_t> b = BusyScene(tiled);
    ASSERT_EQ(a.size(), b.size());
    size_t differing = 0, drawn = 0;
    for (size_t i = 0; i < a.size(); ++i) {
        differing += a[i] != b[i];
        drawn += a[i] != 0;
    }
    EXPECT_EQ(differing, 0u);
    EXPECT_GT(drawn, a.size() / 2);  // the scene really covers the target
}

}  // namespace

// Builds small scenes on the software device for tests: a device of a chosen
// size, pretransformed vertices placed at exact screen positions, textures
// filled from pixel tables, and read-back of the render target.
#pragma once

#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "gfx/d3d9.h"
#include "gfx/device_options.h"

namespace gfxtest {

// Screen-space vertex: position, 1/w, diffuse colour, one texture coordinate.
struct TLVertex {
    float x, y, z, rhw;
    D3DCOLOR color;
    float u, v;
};
constexpr DWORD kTLFVF = D3DFVF_XYZRHW | D3DFVF_DIFFUSE | D3DFVF_TEX1;

class TestDevice {
public:
    explicit TestDevice(UINT width = 64, UINT height = 64, gfx::DeviceOptions options = {}) {
        d3d = Direct3DCreate9(D3D_SDK_VERSION);
        EXPECT_NE(d3d, nullptr);
        D3DPRESENT_PARAMETERS pp{};
        pp.BackBufferWidth = width;
        pp.BackBufferHeight = height;
        pp.BackBufferFormat = D3DFMT_A8R8G8B8;
        pp.BackBufferCount = 1;
        pp.SwapEffect = D3DSWAPEFFECT_DISCARD;
        pp.Windowed = TRUE;
        pp.EnableAutoDepthStencil = TRUE;
        pp.AutoDepthStencilFormat = D3DFMT_D24S8;
        gfx::SetDefaultDeviceOptions(options);
        EXPECT_EQ(d3d->CreateDevice(D3DADAPTER_DEFAULT, D3DDEVTYPE_HAL, nullptr,
                                    D3DCREATE_HARDWARE_VERTEXPROCESSING, &pp, &dev),
                  D3D_OK);
        gfx::SetDefaultDeviceOptions({});
        this->width = width;
        this->height = height;
        // Plain output: no culling, no depth, colour straight from the vertex.
        dev->SetRenderState(D3DRS_CULLMODE, D3DCULL_NONE);
        dev->SetRenderState(D3DRS_ZENABLE, FALSE);
        dev->SetRenderState(D3DRS_LIGHTING, FALSE);
        dev->SetFVF(kTLFVF);
        dev->Clear(0, nullptr, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, 0, 1.f, 0);
    }
    ~TestDevice() {
        if (dev) dev->Release();
        if (d3d) d3d->Release();
    }
    TestDevice(const TestDevice&) = delete;
    TestDevice& operator=(const TestDevice&) = delete;

    void DrawTriangles(const std::vector<TLVertex>& v) {
        ASSERT_EQ(dev->DrawPrimitiveUP(D3DPT_TRIANGLELIST, UINT(v.size() / 3), v.data(), sizeof(TLVertex)), D3D_OK);
    }
    // Axis-aligned rectangle from (x0, y0) to (x1, y1) with texture
    // coordinates (0, 0) to (1, 1), as two triangles.
    void DrawRect(float x0, float y0, float x1, float y1, D3DCOLOR color, float z = 0.5f) {
        DrawTriangles({{x0, y0, z, 1, color, 0, 0}, {x1, y0, z, 1, color, 1, 0}, {x0, y1, z, 1, color, 0, 1},
                       {x1, y0, z, 1, color, 1, 0}, {x1, y1, z, 1, color, 1, 1}, {x0, y1, z, 1, color, 0, 1}});
    }

    // The render target as 0xAARRGGBB pixels.
    std::vector<uint32_t> Pixels() {
        IDirect3DSurface9* rt = nullptr;
        IDirect3DSurface9* copy = nullptr;
        std::vector<uint32_t> out(size_t(width) * height);
        EXPECT_EQ(dev->GetRenderTarget(0, &rt), D3D_OK);
        EXPECT_EQ(dev->CreateOffscreenPlainSurface(width, height, D3DFMT_A8R8G8B8, D3DPOOL_SYSTEMMEM, &copy, nullptr),
                  D3D_OK);
        EXPECT_EQ(dev->GetRenderTargetData(rt, copy), D3D_OK);
        D3DLOCKED_RECT lr;
        EXPECT_EQ(copy->LockRect(&lr, nullptr, D3DLOCK_READONLY), D3D_OK);
        for (UINT y = 0; y < height; ++y)
            std::memcpy(&out[size_t(y) * width], static_cast<BYTE*>(lr.pBits) + size_t(y) * lr.Pitch, width * 4);
        copy->UnlockRect();
        copy->Release();
        rt->Release();
        return out;
    }

    // A texture of w x h A8R8G8B8 texels given row by row (managed pool).
    IDirect3DTexture9* MakeTexture(UINT w, UINT h, const std::vector<uint32_t>& texels, UINT levels = 1) {
        IDirect3DTexture9* t = nullptr;
        EXPECT_EQ(dev->CreateTexture(w, h, levels, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED, &t, nullptr), D3D_OK);
        D3DLOCKED_RECT lr;
        EXPECT_EQ(t->LockRect(0, &lr, nullptr, 0), D3D_OK);
        for (UINT y = 0; y < h; ++y)
            std::memcpy(static_cast<BYTE*>(lr.pBits) + size_t(y) * lr.Pitch, &texels[size_t(y) * w], w * 4);
        t->UnlockRect(0);
        return t;
    }

    IDirect3D9* d3d = nullptr;
    IDirect3DDevice9* dev = nullptr;
    UINT width = 0, height = 0;
};

inline int Channel(uint32_t pixel, int shift) { return int((pixel >> shift) & 0xFF); }

}  // namespace gfxtest

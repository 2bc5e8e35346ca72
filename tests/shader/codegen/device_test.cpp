// Shaders compiled by our compiler and handed to the software device: the
// demo's own shader files must compile and create, and a compiled pair draws
// a full-screen quad whose pixels are checked against C++.
#include <gtest/gtest.h>

#include <cmath>
#include <string>

#include "shader/compiler.h"
#include "tests/gfx/scene_helper.h"

namespace {

IKLBuffer* CompileFile(const std::string& path, const char* entry, const char* profile, std::string* messages) {
    IKLBuffer* code = nullptr;
    IKLBuffer* errors = nullptr;
    const HRESULT hr = KLCompileShaderFromFileA(path.c_str(), nullptr, nullptr, entry, profile, 0, &code, &errors, nullptr);
    if (errors) {
        *messages = static_cast<const char*>(errors->GetBufferPointer());
        errors->Release();
    }
    EXPECT_EQ(hr, S_OK) << path << " " << entry << ": " << *messages;
    return code;
}

TEST(DeviceCreation, DemoShadersCompileAndCreate) {
    gfxtest::TestDevice device;
    for (const char* name : {"Simple", "Scroller", "Fire", "Fire2", "Fire3", "cube"}) {
        const std::string base = std::string(KILN_SOURCE_DIR) + "/assets/" + name;
        std::string messages;
        IKLBuffer* vs = CompileFile(base + ".vhl", "vs_main", "vs_2_0", &messages);
        ASSERT_NE(vs, nullptr) << name;
        EXPECT_EQ(messages, "") << name;
        IDirect3DVertexShader9* vertex = nullptr;
        EXPECT_EQ(device.dev->CreateVertexShader(static_cast<const DWORD*>(vs->GetBufferPointer()), &vertex), D3D_OK)
            << name;
        if (vertex) vertex->Release();
        vs->Release();
        IKLBuffer* ps = CompileFile(base + ".phl", "ps_main", "ps_2_0", &messages);
        ASSERT_NE(ps, nullptr) << name;
        IDirect3DPixelShader9* pixel = nullptr;
        EXPECT_EQ(device.dev->CreatePixelShader(static_cast<const DWORD*>(ps->GetBufferPointer()), &pixel), D3D_OK)
            << name;
        if (pixel) pixel->Release();
        ps->Release();
    }
}

IKLBuffer* CompileText(const char* source, const char* profile) {
    IKLBuffer* code = nullptr;
    IKLBuffer* errors = nullptr;
    const HRESULT hr = KLCompileShader(source, UINT(-1), nullptr, nullptr, "main", profile, 0, &code, &errors, nullptr);
    std::string text = errors ? static_cast<const char*>(errors->GetBufferPointer()) : "";
    if (errors) errors->Release();
    EXPECT_EQ(hr, S_OK) << text;
    return code;
}

TEST(DeviceCreation, FullScreenQuadDrawsTheComputedColours) {
    const UINT size = 16;
    gfxtest::TestDevice device(size, size);
    IKLBuffer* vs = CompileText(R"(
        float4 offset;
        float4 main(float3 p : POSITION, float2 uv : TEXCOORD0, out float2 o : TEXCOORD0) : POSITION {
            o = uv;
            return float4(p, 1) + offset;
        })", "vs_2_0");
    IKLBuffer* ps = CompileText(R"(
        float4 scale : register(c2);
        float4 main(float2 uv : TEXCOORD0) : COLOR {
            return float4(uv.x, 1 - uv.y, uv.x * uv.y, 1) * scale;
        })", "ps_2_0");
    ASSERT_TRUE(vs && ps);
    IDirect3DVertexShader9* vertex = nullptr;
    IDirect3DPixelShader9* pixel = nullptr;
    ASSERT_EQ(device.dev->CreateVertexShader(static_cast<const DWORD*>(vs->GetBufferPointer()), &vertex), D3D_OK);
    ASSERT_EQ(device.dev->CreatePixelShader(static_cast<const DWORD*>(ps->GetBufferPointer()), &pixel), D3D_OK);
    vs->Release();
    ps->Release();
    device.dev->SetVertexShader(vertex);
    device.dev->SetPixelShader(pixel);
    const float offset[4] = {0, 0, 0, 0};
    const float scale[4] = {1, 0.5f, 1, 1};
    device.dev->SetVertexShaderConstantF(0, offset, 1);
    device.dev->SetPixelShaderConstantF(2, scale, 1);
    struct Vertex {
        float x, y, z, u, v;
    };
    device.dev->SetFVF(D3DFVF_XYZ | D3DFVF_TEX1);
    const Vertex quad[6] = {{-1, 1, 0.5f, 0, 0}, {1, 1, 0.5f, 1, 0}, {-1, -1, 0.5f, 0, 1},
                            {1, 1, 0.5f, 1, 0},  {1, -1, 0.5f, 1, 1}, {-1, -1, 0.5f, 0, 1}};
    device.dev->BeginScene();
    ASSERT_EQ(device.dev->DrawPrimitiveUP(D3DPT_TRIANGLELIST, 2, quad, sizeof(Vertex)), D3D_OK);
    device.dev->EndScene();
    const std::vector<uint32_t> pixels = device.Pixels();
    for (UINT y = 0; y < size; y += 5)
        for (UINT x = 0; x < size; x += 5) {
            // Pixel centres sit on whole coordinates: pixel x sees u = x / size.
            const float u = float(x) / float(size), v = float(y) / float(size);
            const uint32_t p = pixels[size_t(y) * size + x];
            EXPECT_NEAR(gfxtest::Channel(p, 16), u * 255, 2) << x << "," << y;
            EXPECT_NEAR(gfxtest::Channel(p, 8), (1 - v) * 0.5f * 255, 2) << x << "," << y;
            EXPECT_NEAR(gfxtest::Channel(p, 0), u * v * 255, 2) << x << "," << y;
        }
    device.dev->SetVertexShader(nullptr);
    device.dev->SetPixelShader(nullptr);
    vertex->Release();
    pixel->Release();
}

}  // namespace

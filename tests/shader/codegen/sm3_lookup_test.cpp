// Lookups and derivatives of the 2_x and 3.0 models, drawn on the software
// device: a lookup at an explicit level (texldl) and one with gradients
// (texldd) pick the mip level the numbers say, ddx and ddy of known
// functions of the texture coordinates give their differences across a
// quad, and a vs_3_0 program reads a texture through a vertex sampler.
#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "codegen_harness.h"
#include "shader/bytecode/constant_table.h"
#include "tests/gfx/scene_helper.h"

namespace {

constexpr UINT kSize = 16;

bool Has(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

// A full-screen quad in clip space with texture coordinates (0, 0) to (1, 1);
// pixel x sees u = x / kSize.
struct Vertex {
    float x, y, z, u, v;
};
const Vertex kQuad[6] = {{-1, 1, 0.5f, 0, 0}, {1, 1, 0.5f, 1, 0},  {-1, -1, 0.5f, 0, 1},
                         {1, 1, 0.5f, 1, 0},  {1, -1, 0.5f, 1, 1}, {-1, -1, 0.5f, 0, 1}};

const char* kPassThroughVs = R"(
    float4 main(float3 p : POSITION, float2 uv : TEXCOORD0, out float2 o : TEXCOORD0) : POSITION {
        o = uv;
        return float4(p, 1);
    })";

// Creates the device shaders from our compiles and draws `vertices`.
class Scene {
public:
    explicit Scene(gfxtest::TestDevice& device) : device_(device) {}
    ~Scene() {
        device_.dev->SetVertexShader(nullptr);
        device_.dev->SetPixelShader(nullptr);
        if (vs_) vs_->Release();
        if (ps_) ps_->Release();
    }
    Scene(const Scene&) = delete;
    Scene& operator=(const Scene&) = delete;

    // False (with the reason recorded by gtest) when a compile or a creation fails.
    bool Use(const std::string& vsSource, const char* vsProfile, const std::string& psSource, const char* psProfile) {
        const Compiled vs = CompileHlsl(vsSource, vsProfile);
        const Compiled ps = CompileHlsl(psSource, psProfile);
        EXPECT_TRUE(vs.Ok()) << vsProfile << ": " << vs.messages;
        EXPECT_TRUE(ps.Ok()) << psProfile << ": " << ps.messages;
        if (!vs.Ok() || !ps.Ok()) return false;
        EXPECT_EQ(device_.dev->CreateVertexShader(vs.code.data(), &vs_), D3D_OK) << Disassembly(vs);
        EXPECT_EQ(device_.dev->CreatePixelShader(ps.code.data(), &ps_), D3D_OK) << Disassembly(ps);
        if (!vs_ || !ps_) return false;
        device_.dev->SetVertexShader(vs_);
        device_.dev->SetPixelShader(ps_);
        device_.dev->SetFVF(D3DFVF_XYZ | D3DFVF_TEX1);
        return true;
    }

    std::vector<uint32_t> Draw(const Vertex* vertices = kQuad, UINT triangles = 2) {
        device_.dev->Clear(0, nullptr, D3DCLEAR_TARGET, 0, 1.f, 0);
        device_.dev->BeginScene();
        EXPECT_EQ(device_.dev->DrawPrimitiveUP(D3DPT_TRIANGLELIST, triangles, vertices, sizeof(Vertex)), D3D_OK);
        device_.dev->EndScene();
        return device_.Pixels();
    }

private:
    gfxtest::TestDevice& device_;
    IDirect3DVertexShader9* vs_ = nullptr;
    IDirect3DPixelShader9* ps_ = nullptr;
};

// Fills a locked level of w x h texels with one colour.
void Fill(const D3DLOCKED_RECT& lr, UINT w, UINT h, uint32_t colour) {
    for (UINT y = 0; y < h; ++y)
        for (UINT x = 0; x < w; ++x)
            reinterpret_cast<uint32_t*>(static_cast<BYTE*>(lr.pBits) + size_t(y) * lr.Pitch)[x] = colour;
}

// A texture of `width` x `height` texels whose level k is filled with colours[k].
IDirect3DTexture9* LevelColouredTexture(IDirect3DDevice9* dev, UINT width, UINT height,
                                        const std::vector<uint32_t>& colours) {
    IDirect3DTexture9* t = nullptr;
    EXPECT_EQ(dev->CreateTexture(width, height, UINT(colours.size()), 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED, &t, nullptr),
              D3D_OK);
    if (!t) return nullptr;
    for (UINT level = 0; level < colours.size(); ++level) {
        D3DLOCKED_RECT lr;
        EXPECT_EQ(t->LockRect(level, &lr, nullptr, 0), D3D_OK);
        Fill(lr, std::max(1u, width >> level), std::max(1u, height >> level), colours[level]);
        t->UnlockRect(level);
    }
    return t;
}
IDirect3DTexture9* LevelColouredTexture(IDirect3DDevice9* dev, UINT size, const std::vector<uint32_t>& colours) {
    return LevelColouredTexture(dev, size, size, colours);
}

// The same for a cube: every face of level k has colours[k].
IDirect3DCubeTexture9* LevelColouredCube(IDirect3DDevice9* dev, UINT size, const std::vector<uint32_t>& colours) {
    IDirect3DCubeTexture9* t = nullptr;
    EXPECT_EQ(dev->CreateCubeTexture(size, UINT(colours.size()), 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED, &t, nullptr),
              D3D_OK);
    if (!t) return nullptr;
    for (UINT face = 0; face < 6; ++face)
        for (UINT level = 0; level < colours.size(); ++level) {
            D3DLOCKED_RECT lr;
            EXPECT_EQ(t->LockRect(D3DCUBEMAP_FACES(face), level, &lr, nullptr, 0), D3D_OK);
            const UINT side = std::max(1u, size >> level);
            Fill(lr, side, side, colours[level]);
            t->UnlockRect(D3DCUBEMAP_FACES(face), level);
        }
    return t;
}

void PointSampling(IDirect3DDevice9* dev, DWORD sampler, DWORD mipFilter) {
    dev->SetSamplerState(sampler, D3DSAMP_MINFILTER, D3DTEXF_POINT);
    dev->SetSamplerState(sampler, D3DSAMP_MAGFILTER, D3DTEXF_POINT);
    dev->SetSamplerState(sampler, D3DSAMP_MIPFILTER, mipFilter);
}

// Counts the pixels whose colour (alpha left out) is not `want`.
int PixelsOtherThan(const std::vector<uint32_t>& pixels, uint32_t want) {
    int wrong = 0;
    for (uint32_t p : pixels) wrong += (p & 0xFFFFFF) != (want & 0xFFFFFF);
    return wrong;
}

const std::vector<uint32_t> kLevelColours = {0xFFFF0000, 0xFF00FF00, 0xFF0000FF, 0xFFFFFFFF, 0xFFFFFF00};

// tex2Dlod reads the level in w: whole levels give that level's colour,
// levels past the chain its last, a level between two a blend of both.
TEST(Sm3Lookups, LevelLookupsChooseTheLevelOfW) {
    gfxtest::TestDevice device(kSize, kSize);
    Scene scene(device);
    ASSERT_TRUE(scene.Use(kPassThroughVs, "vs_3_0", R"(
        sampler2D s : register(s0);
        float level : register(c0);
        float4 main(float2 uv : TEXCOORD0) : COLOR { return tex2Dlod(s, float4(uv, 0, level)); })",
                          "ps_3_0"));
    IDirect3DTexture9* texture = LevelColouredTexture(device.dev, 16, kLevelColours);
    ASSERT_NE(texture, nullptr);
    device.dev->SetTexture(0, texture);
    PointSampling(device.dev, 0, D3DTEXF_POINT);
    for (int level = 0; level <= 6; ++level) {
        const float constant[4] = {float(level), 0, 0, 0};
        device.dev->SetPixelShaderConstantF(0, constant, 1);
        const uint32_t want = kLevelColours[std::min<size_t>(size_t(level), kLevelColours.size() - 1)];
        EXPECT_EQ(PixelsOtherThan(scene.Draw(), want), 0) << "level " << level;
    }
    // Halfway between level 1 (green) and level 2 (blue).
    device.dev->SetSamplerState(0, D3DSAMP_MIPFILTER, D3DTEXF_LINEAR);
    const float half[4] = {1.5f, 0, 0, 0};
    device.dev->SetPixelShaderConstantF(0, half, 1);
    const uint32_t p = scene.Draw()[5 * kSize + 7];
    EXPECT_NEAR(gfxtest::Channel(p, 16), 0, 1);
    EXPECT_NEAR(gfxtest::Channel(p, 8), 128, 2);
    EXPECT_NEAR(gfxtest::Channel(p, 0), 128, 2);
    device.dev->SetTexture(0, nullptr);
    texture->Release();
}

// The one-dimensional and cube forms read their level from w too.
TEST(Sm3Lookups, OneDimensionalAndCubeLevelLookups) {
    gfxtest::TestDevice device(kSize, kSize);
    Scene scene(device);
    ASSERT_TRUE(scene.Use(kPassThroughVs, "vs_3_0", R"(
        sampler1D line : register(s0);
        samplerCUBE cube : register(s1);
        float level : register(c0);
        float4 main(float2 uv : TEXCOORD0) : COLOR {
            return uv.x < 0.5 ? tex1Dlod(line, float4(uv.y, 0, 0, level))
                              : texCUBElod(cube, float4(uv * 2 - 1, 1, level));
        })",
                          "ps_3_0"));
    IDirect3DTexture9* line = LevelColouredTexture(device.dev, 16, 1, kLevelColours);
    const std::vector<uint32_t> cubeColours(kLevelColours.rbegin(), kLevelColours.rend());
    IDirect3DCubeTexture9* cube = LevelColouredCube(device.dev, 16, cubeColours);
    ASSERT_TRUE(line && cube);
    device.dev->SetTexture(0, line);
    device.dev->SetTexture(1, cube);
    PointSampling(device.dev, 0, D3DTEXF_POINT);
    PointSampling(device.dev, 1, D3DTEXF_POINT);
    for (int level = 0; level < int(kLevelColours.size()); ++level) {
        const float constant[4] = {float(level), 0, 0, 0};
        device.dev->SetPixelShaderConstantF(0, constant, 1);
        const std::vector<uint32_t> pixels = scene.Draw();
        std::vector<uint32_t> left, right;
        for (UINT y = 0; y < kSize; ++y)
            for (UINT x = 0; x < kSize; ++x) (x < kSize / 2 ? left : right).push_back(pixels[y * kSize + x]);
        EXPECT_EQ(PixelsOtherThan(left, kLevelColours[size_t(level)]), 0) << "tex1Dlod level " << level;
        EXPECT_EQ(PixelsOtherThan(right, cubeColours[size_t(level)]), 0) << "texCUBElod level " << level;
    }
    device.dev->SetTexture(0, nullptr);
    device.dev->SetTexture(1, nullptr);
    line->Release();
    cube->Release();
}

// tex2Dgrad takes the level from the gradients it is given: a texel step of
// 2^L texels per pixel (a little more, to stay clear of the rounding point)
// picks level L whatever the quad's own derivatives are.
TEST(Sm3Lookups, GradientLookupsChooseTheLevelOfTheGradients) {
    const char* ps = R"(
        sampler2D s : register(s0);
        float g : register(c0);
        float4 main(float2 uv : TEXCOORD0) : COLOR { return tex2Dgrad(s, uv, float2(g, 0), float2(0, g)); })";
    for (const auto& [vsProfile, psProfile] : {std::pair{"vs_2_0", "ps_2_x"}, {"vs_3_0", "ps_3_0"}}) {
        gfxtest::TestDevice device(kSize, kSize);
        Scene scene(device);
        ASSERT_TRUE(scene.Use(kPassThroughVs, vsProfile, ps, psProfile));
        IDirect3DTexture9* texture = LevelColouredTexture(device.dev, 16, kLevelColours);
        ASSERT_NE(texture, nullptr);
        device.dev->SetTexture(0, texture);
        PointSampling(device.dev, 0, D3DTEXF_POINT);
        for (int level = 0; level < int(kLevelColours.size()); ++level) {
            const float constant[4] = {1.1f * float(1 << level) / 16.0f, 0, 0, 0};
            device.dev->SetPixelShaderConstantF(0, constant, 1);
            EXPECT_EQ(PixelsOtherThan(scene.Draw(), kLevelColours[size_t(level)]), 0)
                << psProfile << " level " << level;
        }
        device.dev->SetTexture(0, nullptr);
        texture->Release();
    }
}

// Over a 2 x 2 quad whose top-left pixel is (x0, y0), u = x / 16 and
// v = y / 16: ddx(u) = ddy(v) = 1/16, ddx(v) = ddy(u) = 0,
// ddx(u * u) = (2 x0 + 1) / 256 and fwidth(v * v) = (2 y0 + 1) / 256.
TEST(Sm3Lookups, DerivativesOfKnownFunctionsOverAQuad) {
    const char* ps = R"(
        float4 main(float2 uv : TEXCOORD0) : COLOR {
            return float4(ddx(uv.x) * 8, ddy(uv.y) * 8, ddx(uv.x * uv.x) * 4,
                          0.25 + ddx(uv.y) + ddy(uv.x) + fwidth(uv.y * uv.y) * 4);
        })";
    for (const auto& [vsProfile, psProfile] : {std::pair{"vs_2_0", "ps_2_x"}, {"vs_3_0", "ps_3_0"}}) {
        gfxtest::TestDevice device(kSize, kSize);
        Scene scene(device);
        ASSERT_TRUE(scene.Use(kPassThroughVs, vsProfile, ps, psProfile));
        const std::vector<uint32_t> pixels = scene.Draw();
        for (UINT y = 0; y < kSize; ++y)
            for (UINT x = 0; x < kSize; ++x) {
                const uint32_t p = pixels[y * kSize + x];
                const float x0 = float(x & ~1u), y0 = float(y & ~1u);
                EXPECT_NEAR(gfxtest::Channel(p, 16), 127.5, 1.5) << psProfile << " " << x << "," << y;
                EXPECT_NEAR(gfxtest::Channel(p, 8), 127.5, 1.5) << psProfile << " " << x << "," << y;
                EXPECT_NEAR(gfxtest::Channel(p, 0), (2 * x0 + 1) / 64 * 255, 1.5) << psProfile << " " << x << "," << y;
                EXPECT_NEAR(gfxtest::Channel(p, 24), (0.25 + (2 * y0 + 1) / 64) * 255, 1.5)
                    << psProfile << " " << x << "," << y;
            }
    }
}

// Models without the instructions refuse the intrinsics where the call stands.
TEST(Sm3Lookups, ModelsWithoutTheInstructionsRefuseTheIntrinsics) {
    const struct {
        const char* call;
        const char* profile;
        const char* message;
    } cases[] = {
        {"ddx(t)", "ps_2_0", "(3): error X4532: 'ddx' is not supported on ps_2_0; it needs ps_2_x or ps_3_0"},
        {"ddy(t)", "vs_3_0", "(3): error X4532: 'ddy' is not supported on vs_3_0; it needs ps_2_x or ps_3_0"},
        {"fwidth(t)", "ps_1_4", "(3): error X4532: 'fwidth' is not supported on ps_1_4; it needs ps_2_x or ps_3_0"},
        {"tex2Dgrad(s, t.xy, t.zw, t.wz)", "ps_2_0",
         "(3): error X4532: 'tex2Dgrad' is not supported on ps_2_0; it needs ps_2_x or ps_3_0"},
        {"tex2Dlod(s, t)", "ps_2_x",
         "(3): error X4532: 'tex2Dlod' is not supported on ps_2_x; it needs vs_3_0 or ps_3_0"},
        {"tex2Dlod(s, t)", "vs_2_0",
         "(3): error X4532: 'tex2Dlod' is not supported on vs_2_0; it needs vs_3_0 or ps_3_0"},
        {"tex2D(s, t.xy)", "vs_3_0", "(3): error X4532: 'tex2D' is not supported on vs_3_0; it needs a pixel shader"},
        {"tex2Dbias(s, t)", "vs_3_0",
         "(3): error X4532: 'tex2Dbias' is not supported on vs_3_0; it needs a pixel shader"},
    };
    for (const auto& c : cases) {
        const bool vertex = c.profile[0] == 'v';
        const std::string source = std::string("sampler2D s;\nfloat4 main(float4 t : TEXCOORD0) : ") +
                                   (vertex ? "POSITION" : "COLOR") + " {\n    return " + c.call + ";\n}\n";
        const Compiled shader = CompileHlsl(source, c.profile);
        EXPECT_EQ(shader.hr, E_FAIL) << c.call << " on " << c.profile;
        EXPECT_TRUE(Has(MessagesWithoutFile(shader.messages), c.message)) << c.call << " on " << c.profile << "\n"
                                                                          << shader.messages;
    }
}

// Every lookup form reaches its instruction with the sampler declared for
// the dimension it reads; one-dimensional ones read (u, u).
TEST(Sm3Lookups, EveryLookupFormHasItsInstruction) {
    const char* source = R"(
        sampler1D a; sampler2D b; sampler3D c; samplerCUBE d;
        float4 main(float4 t : TEXCOORD0, float4 g : TEXCOORD1) : COLOR {
            return tex1Dlod(a, t) + tex2Dlod(b, t) + tex3Dlod(c, t) + texCUBElod(d, t)
                 + tex1Dgrad(a, t.x, g.x, g.y) + tex2Dgrad(b, t.xy, g.xy, g.zw) + tex3Dgrad(c, t.xyz, g.xyz, g.yzw)
                 + texCUBEgrad(d, t.xyz, g.xyz, g.wzy);
        })";
    const Compiled shader = CompileHlsl(source, "ps_3_0");
    ASSERT_TRUE(shader.Ok()) << shader.messages;
    const std::string text = Disassembly(shader);
    size_t texldl = 0, texldd = 0;
    for (size_t at = text.find("texldl "); at != std::string::npos; at = text.find("texldl ", at + 1)) ++texldl;
    for (size_t at = text.find("texldd "); at != std::string::npos; at = text.find("texldd ", at + 1)) ++texldd;
    EXPECT_EQ(texldl, 4u) << text;
    EXPECT_EQ(texldd, 4u) << text;
    for (const char* dcl : {"dcl_2d s0", "dcl_2d s1", "dcl_volume s2", "dcl_cube s3"})
        EXPECT_TRUE(Has(text, dcl)) << text;
    // The gradient forms also compile for ps_2_x.
    const Compiled gradients = CompileHlsl(R"(
        sampler2D b;
        float4 main(float4 t : TEXCOORD0) : COLOR { return tex2Dgrad(b, t.xy, ddx(t.xy), ddy(t.xy)); })",
                                           "ps_2_x");
    EXPECT_TRUE(gradients.Ok()) << gradients.messages;
    EXPECT_TRUE(Has(Disassembly(gradients), "texldd")) << Disassembly(gradients);
}

// vs_3_0 reads a texture through a vertex sampler: the texel moves the quad
// (its red channel shifts x by one half of the screen) and colours it. The
// constant table lists the sampler with its register.
TEST(Sm3Lookups, VertexTextureFetch) {
    const char* vs = R"(
        sampler2D heights : register(s1);
        float4 main(float3 p : POSITION, float2 uv : TEXCOORD0, out float4 c : COLOR0) : POSITION {
            float4 t = tex2Dlod(heights, float4(uv * 0.5 + 0.5, 0, 0));
            c = t.bgra;
            return float4(p.x + t.r, p.yz, 1);
        })";
    const char* ps = "float4 main(float4 c : COLOR0) : COLOR { return c; }";
    const Compiled compiled = CompileHlsl(vs, "vs_3_0");
    ASSERT_TRUE(compiled.Ok()) << compiled.messages;
    const std::string text = Disassembly(compiled);
    EXPECT_TRUE(Has(text, "dcl_2d s1")) << text;
    EXPECT_TRUE(Has(text, "texldl")) << text;
    IKLConstantTable* table = nullptr;
    ASSERT_EQ(ExtractConstantTable(compiled.code.data(), compiled.code.size() * 4, &table), S_OK);
    KLCONSTANT_DESC desc{};
    UINT count = 1;
    ASSERT_EQ(table->DescribeConstant(table->ConstantByName(nullptr, "heights"), &desc, &count), S_OK);
    EXPECT_EQ(desc.RegisterSet, 3u);  // samplers
    EXPECT_EQ(desc.RegisterIndex, 1u);
    table->Release();

    gfxtest::TestDevice device(kSize, kSize);
    Scene scene(device);
    ASSERT_TRUE(scene.Use(vs, "vs_3_0", ps, "ps_3_0"));
    // 2 x 2 texels: the bottom-right one, which every vertex reads, holds
    // r = 1 (the shift), g = 0.5, b = 0.25.
    IDirect3DTexture9* texture = device.MakeTexture(2, 2, {0xFF000000, 0xFF000000, 0xFF000000, 0xFFFF8040});
    ASSERT_NE(texture, nullptr);
    ASSERT_EQ(device.dev->SetTexture(D3DVERTEXTEXTURESAMPLER1, texture), D3D_OK);
    PointSampling(device.dev, D3DVERTEXTEXTURESAMPLER1, D3DTEXF_NONE);
    // The left half of the screen, every vertex at uv (0.5, 0.5): the
    // program reads (0.75, 0.75).
    const Vertex left[6] = {{-1, 1, 0.5f, 0.5f, 0.5f}, {0, 1, 0.5f, 0.5f, 0.5f},  {-1, -1, 0.5f, 0.5f, 0.5f},
                            {0, 1, 0.5f, 0.5f, 0.5f},  {0, -1, 0.5f, 0.5f, 0.5f}, {-1, -1, 0.5f, 0.5f, 0.5f}};
    const std::vector<uint32_t> pixels = scene.Draw(left, 2);
    for (UINT y = 0; y < kSize; y += 3)
        for (UINT x = 0; x < kSize; x += 3) {
            const uint32_t p = pixels[y * kSize + x];
            // Moved right by half the screen; colour (b, g, r) of the texel.
            const uint32_t want = x >= kSize / 2 ? 0x4080FFu : 0;
            EXPECT_NEAR(gfxtest::Channel(p, 16), gfxtest::Channel(want, 16), 1) << x << "," << y;
            EXPECT_NEAR(gfxtest::Channel(p, 8), gfxtest::Channel(want, 8), 1) << x << "," << y;
            EXPECT_NEAR(gfxtest::Channel(p, 0), gfxtest::Channel(want, 0), 1) << x << "," << y;
        }
    device.dev->SetTexture(D3DVERTEXTEXTURESAMPLER1, nullptr);
    texture->Release();
}

}  // namespace

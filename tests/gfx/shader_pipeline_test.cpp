// Drawing through vertex and pixel shaders: creation, varyings linked by
// semantic, the demo-shaped scene against the fixed-function pipeline, and the
// reference path against the fast one with shaders interpreted and compiled.
#include "gfx/device/pipeline.h"
#include "gfx/shaders/shader_jit.h"
#include "particle_scene.h"
#include "scene_helper.h"

using gfxtest::ParticleScene;
using gfxtest::TestDevice;

namespace {

std::vector<uint32_t> RenderParticles(bool shaders, gfx::DeviceOptions options) {
    // A quarter of the demo's frame: 150 particles on 400 x 300.
    TestDevice t(400, 300, options);
    ParticleScene scene(t.dev, shaders, 150);
    EXPECT_TRUE(scene.created());
    scene.DrawFrame();
    return t.Pixels();
}

TEST(ShaderPipeline, ShaderCreationChecksTheTokenStream) {
    TestDevice t;
    std::vector<DWORD> vs = gfxtest::ParticleVertexShader(), ps = gfxtest::ParticlePixelShader();
    IDirect3DVertexShader9* v = nullptr;
    IDirect3DPixelShader9* p = nullptr;
    ASSERT_EQ(t.dev->CreateVertexShader(vs.data(), &v), D3D_OK);
    UINT size = 0;
    ASSERT_EQ(v->GetFunction(nullptr, &size), D3D_OK);
    EXPECT_EQ(size, vs.size() * 4);
    std::vector<DWORD> back(vs.size());
    ASSERT_EQ(v->GetFunction(back.data(), &size), D3D_OK);
    EXPECT_EQ(back, vs);
    v->Release();
    // A pixel shader is not a vertex shader, and a truncated stream is refused.
    EXPECT_EQ(t.dev->CreateVertexShader(ps.data(), &v), D3DERR_INVALIDCALL);
    std::vector<DWORD> truncated(ps.begin(), ps.begin() + 6);
    truncated.push_back(0xFFFFFFFFu);
    EXPECT_EQ(t.dev->CreatePixelShader(truncated.data(), &p), D3DERR_INVALIDCALL);
    EXPECT_EQ(t.dev->CreatePixelShader(nullptr, &p), D3DERR_INVALIDCALL);
}

TEST(ShaderPipeline, ShadedSceneMatchesTheFixedFunctionPipeline) {
    std::vector<uint32_t> shaded = RenderParticles(true, {});
    std::vector<uint32_t> fixed = RenderParticles(false, {});
    size_t close = 0, lit = 0;
    for (size_t i = 0; i < shaded.size(); ++i) {
        bool same = true;
        for (int s = 0; s < 32; s += 8) {
            same = same && std::abs(gfxtest::Channel(shaded[i], s) - gfxtest::Channel(fixed[i], s)) <= 1;
        }
        close += same;
        lit += (shaded[i] & 0xFFFFFF) != 0;
    }
    // Positions computed by the two pipelines may round differently on exact
    // pixel-centre edges; everything else agrees to the last bit of rounding.
    EXPECT_GT(close, shaded.size() * 995 / 1000);
    EXPECT_GT(lit, shaded.size() / 10);
}

TEST(ShaderPipeline, ReferenceAndFastPathsAgreeWithShaders) {
    gfx::DeviceOptions scalar;
    scalar.scalarReference = true;
    scalar.threads = 1;
    gfx::DeviceOptions tiled;
    tiled.threads = 3;
    gfx::DeviceOptions interpreted = tiled;
    interpreted.compiledShaders = false;
    gfx::DeviceOptions compiled = tiled;
    compiled.waitForCompiledShaders = true;
    std::vector<uint32_t> a = RenderParticles(true, scalar);
    for (const gfx::DeviceOptions& options : {interpreted, compiled}) {
        std::vector<uint32_t> b = RenderParticles(true, options);
        size_t differing = 0;
        for (size_t i = 0; i < a.size(); ++i) differing += a[i] != b[i];
        EXPECT_EQ(differing, 0u) << (options.compiledShaders ? "compiled" : "interpreted");
    }
}

TEST(ShaderPipeline, DrawsChooseCompiledCodeOnlyWhenAllowedAndReady) {
    std::vector<DWORD> tokens = gfxtest::ParticlePixelShader();
    std::unique_ptr<gfx::ShaderProgram> program;
    ASSERT_EQ(gfx::ShaderProgram::Create(tokens.data(), tokens.size(), gfx::ShaderKind::Pixel, &program), D3D_OK);
    gfx::DeviceOptions waiting;
    waiting.waitForCompiledShaders = true;
    gfx::DeviceOptions off;
    off.compiledShaders = false;
    const gfx::ExecPath expected = gfx::jit::Enabled() ? gfx::ExecPath::Compiled : gfx::ExecPath::Simd;
    EXPECT_EQ(gfx::ShaderPath(waiting, program.get()), expected);
    EXPECT_EQ(program->WaitForCompiled(), gfx::jit::Enabled());
    EXPECT_EQ(gfx::ShaderPath(gfx::DeviceOptions(), program.get()), expected);  // ready now: no wait needed
    EXPECT_EQ(gfx::ShaderPath(off, program.get()), gfx::ExecPath::Simd);
    EXPECT_EQ(gfx::ShaderPath(waiting, nullptr), gfx::ExecPath::Simd);
    if (const gfx::jit::CompileStats* stats = program->CompileStatistics()) {
        EXPECT_EQ(stats->nativeOps, 3);  // the lookup (through the sampler's shortcut), the multiply, the move
        EXPECT_EQ(stats->interpretedOps, 0);
    }
}

}  // namespace

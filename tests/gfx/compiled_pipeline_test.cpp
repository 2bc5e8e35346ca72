// Compiled pixel pipelines against the interpreter: the demo-shaped scene and
// random programs drawn under random blend, alpha-test, write-mask, depth and
// sampler states give the same pixels, bit for bit, through the pipeline, the
// compiled shader alone and the interpreter.
#include <random>

#include "gfx/device/pipeline.h"
#include "gfx/shaders/pipeline_jit.h"
#include "particle_scene.h"
#include "scene_helper.h"
#include "shaders/token_builder.h"

using gfxtest::TestDevice;
using gfxtest::TLVertex;

namespace {

using namespace gfx::isa;
using gfx::test::Dst;
using gfx::test::Src;
using gfx::test::TokenBuilder;

gfx::DeviceOptions Interpreted() {
    gfx::DeviceOptions o;
    o.threads = 2;
    o.compiledShaders = false;
    return o;
}
gfx::DeviceOptions Compiled(bool pipelines) {
    gfx::DeviceOptions o;
    o.threads = 2;
    o.waitForCompiledShaders = true;
    o.compiledPipelines = pipelines;
    return o;
}

size_t Differing(const std::vector<uint32_t>& a, const std::vector<uint32_t>& b) {
    size_t n = a.size() == b.size() ? 0 : std::max(a.size(), b.size());
    for (size_t i = 0; i < std::min(a.size(), b.size()); ++i) n += a[i] != b[i];
    return n;
}

TEST(CompiledPipeline, ParticleSceneMatchesTheInterpreterBitForBit) {
    auto render = [](const gfx::DeviceOptions& options) {
        TestDevice t(400, 300, options);
        gfxtest::ParticleScene scene(t.dev, true, 150);
        EXPECT_TRUE(scene.created());
        scene.DrawFrame();
        scene.DrawFrame();  // the second frame reuses the cached pipelines
        return t.Pixels();
    };
    const int before = gfx::jit::PipelineTotals().shaders;
    std::vector<uint32_t> interpreted = render(Interpreted());
    std::vector<uint32_t> pipeline = render(Compiled(true));
    EXPECT_EQ(Differing(interpreted, pipeline), 0u);
    EXPECT_EQ(Differing(interpreted, render(Compiled(false))), 0u);
    if (gfx::jit::Enabled()) {
        EXPECT_GT(gfx::jit::PipelineTotals().shaders, before) << "no pipeline was compiled";
    }
}

DWORD Pick(std::mt19937& rng, int n) { return DWORD(std::uniform_int_distribution<int>(0, n - 1)(rng)); }
float Real(std::mt19937& rng, float lo, float hi) { return std::uniform_real_distribution<float>(lo, hi)(rng); }
// The swizzles ps_2_0 allows: the identity and the four replicates.
DWORD Swizzle(std::mt19937& rng) {
    static const DWORD kSwizzles[] = {kSwizzleIdentity, 0x00, 0x55, 0xAA, 0xFF};
    return kSwizzles[Pick(rng, 5)];
}

// ps_2_0: a lookup of t0 through s0, a dependent lookup through s1 at
// computed coordinates, then 12 random instructions over r0-r3, v0, t0 and
// c0-c3 (some of them interpreted: exp, log, pow; texkill now and then).
std::vector<DWORD> RandomPixelProgram(std::mt19937& rng) {
    TokenBuilder b(MakePixelVersion(2, 0));
    b.DclInput(REG_INPUT, 0).DclInput(REG_TEXTURE, 0).DclSampler(0).DclSampler(1);
    b.Ins(OP_TEX, {Dst(REG_TEMP, 0), Src(REG_TEXTURE, 0), Src(REG_SAMPLER, 0)});
    b.Ins(OP_MAD, {Dst(REG_TEMP, 1), Src(REG_TEMP, 0, Swizzle(rng)), Src(REG_CONST, 0), Src(REG_TEXTURE, 0)});
    b.Ins(OP_TEX, {Dst(REG_TEMP, 1), Src(REG_TEMP, 1), Src(REG_SAMPLER, 1)});
    b.Ins(OP_MOV, {Dst(REG_TEMP, 2), Src(REG_INPUT, 0)});
    b.Ins(OP_MUL, {Dst(REG_TEMP, 3), Src(REG_TEMP, 0), Src(REG_INPUT, 0)});
    static const DWORD kOps[] = {OP_ADD, OP_MUL, OP_MAD, OP_MIN, OP_MAX, OP_LRP, OP_CMP, OP_DP3, OP_FRC, OP_RCP,
                                 OP_EXP, OP_LOG, OP_POW, OP_MOV};
    auto source = [&] {
        static const DWORD kTypes[] = {REG_CONST, REG_CONST, REG_INPUT, REG_TEXTURE, REG_TEMP, REG_TEMP, REG_TEMP,
                                       REG_TEMP, REG_TEMP, REG_TEMP};
        const DWORD type = kTypes[Pick(rng, 10)];
        const DWORD number = type == REG_INPUT || type == REG_TEXTURE ? 0 : Pick(rng, 4);
        return Src(type, number, Swizzle(rng), type == REG_TEMP && Pick(rng, 3) == 0 ? SRCMOD_NEG : 0);
    };
    for (int n = 0; n < 12; ++n) {
        const DWORD op = kOps[Pick(rng, sizeof kOps / sizeof kOps[0])];
        const Profile profile = Profile::PS_2_0;
        const int sources = FindInstructionForToken(op, profile)->Form(profile) - 1;
        const bool scalar = op == OP_EXP || op == OP_LOG || op == OP_POW || op == OP_RCP;
        const DWORD saturate = Pick(rng, 3) ? 0 : kResultSaturate;
        std::vector<DWORD> params = {Dst(REG_TEMP, Pick(rng, 4), 1 + Pick(rng, 15), saturate)};
        for (int s = 0; s < sources; ++s) {
            DWORD src = source();
            if (scalar) src = (src & ~(0xFFu << 16)) | (Pick(rng, 4) * 0x55u << 16);  // one replicated component
            params.push_back(src);
        }
        b.Raw(MakeInstruction(op, DWORD(params.size())));
        for (DWORD p : params) b.Raw(p);
    }
    if (Pick(rng, 4) == 0) b.Ins(OP_TEXKILL, {Dst(REG_TEMP, 3)});
    b.Ins(OP_MOV, {Dst(REG_COLOROUT, 0), Src(REG_TEMP, Pick(rng, 4))});
    return b.End();
}

// A texture of random texels in one of the two 32-bit formats; some sides are
// not powers of two (wrapping then goes through the sampler).
IDirect3DTexture9* RandomTexture(IDirect3DDevice9* dev, std::mt19937& rng) {
    static const UINT kSizes[] = {8, 16, 32, 12, 20};
    const UINT size = kSizes[Pick(rng, 5)];
    IDirect3DTexture9* tex = nullptr;
    const D3DFORMAT format = Pick(rng, 2) ? D3DFMT_A8R8G8B8 : D3DFMT_X8R8G8B8;
    EXPECT_EQ(dev->CreateTexture(size, size, 1, 0, format, D3DPOOL_MANAGED, &tex, nullptr), D3D_OK);
    D3DLOCKED_RECT lr;
    EXPECT_EQ(tex->LockRect(0, &lr, nullptr, 0), D3D_OK);
    for (UINT y = 0; y < size; ++y) {
        auto* row = reinterpret_cast<uint32_t*>(static_cast<BYTE*>(lr.pBits) + size_t(y) * lr.Pitch);
        for (UINT x = 0; x < size; ++x) row[x] = uint32_t(rng());
    }
    tex->UnlockRect(0);
    return tex;
}

struct Trial {
    std::vector<DWORD> program;
    std::vector<std::pair<D3DRENDERSTATETYPE, DWORD>> states;
    std::vector<std::tuple<DWORD, D3DSAMPLERSTATETYPE, DWORD>> samplerStates;
    float constants[4][4];
    std::vector<TLVertex> triangles;
    uint32_t textureSeed;
    D3DFORMAT target;  // A8R8G8B8, or X8R8G8B8 through a render target of its own
};

Trial RandomTrial(std::mt19937& rng, UINT width, UINT height) {
    Trial t;
    t.program = RandomPixelProgram(rng);
    auto state = [&](D3DRENDERSTATETYPE s, DWORD v) { t.states.emplace_back(s, v); };
    state(D3DRS_ALPHABLENDENABLE, Pick(rng, 4) != 0);
    state(D3DRS_SRCBLEND, 1 + Pick(rng, 15));  // ZERO .. INVBLENDFACTOR, the "both" forms included
    state(D3DRS_DESTBLEND, 1 + Pick(rng, 15));
    state(D3DRS_BLENDOP, 1 + Pick(rng, 5));
    state(D3DRS_SEPARATEALPHABLENDENABLE, Pick(rng, 3) == 0);
    state(D3DRS_SRCBLENDALPHA, 1 + Pick(rng, 15));
    state(D3DRS_DESTBLENDALPHA, 1 + Pick(rng, 15));
    state(D3DRS_BLENDOPALPHA, 1 + Pick(rng, 5));
    state(D3DRS_BLENDFACTOR, DWORD(rng()));
    state(D3DRS_ALPHATESTENABLE, Pick(rng, 3) == 0);
    state(D3DRS_ALPHAFUNC, 1 + Pick(rng, 8));
    state(D3DRS_ALPHAREF, Pick(rng, 256));
    state(D3DRS_COLORWRITEENABLE, Pick(rng, 4) ? 0xF : Pick(rng, 16));
    state(D3DRS_ZENABLE, Pick(rng, 2));
    state(D3DRS_ZWRITEENABLE, Pick(rng, 2));
    state(D3DRS_ZFUNC, 1 + Pick(rng, 8));
    for (DWORD s = 0; s < 2; ++s) {
        const DWORD filter = Pick(rng, 4) ? D3DTEXF_LINEAR : D3DTEXF_POINT;
        t.samplerStates.emplace_back(s, D3DSAMP_MAGFILTER, filter);
        t.samplerStates.emplace_back(s, D3DSAMP_MINFILTER, filter);
        t.samplerStates.emplace_back(s, D3DSAMP_ADDRESSU, 1 + Pick(rng, 4));
        t.samplerStates.emplace_back(s, D3DSAMP_ADDRESSV, 1 + Pick(rng, 4));
    }
    for (auto& c : t.constants)
        for (float& x : c) x = Real(rng, -1.5f, 1.5f);
    // Six triangles: texture coordinates mostly inside the image, some beyond.
    for (int i = 0; i < 18; ++i) {
        const float spread = Pick(rng, 4) == 0 ? 2.0f : 1.0f;
        t.triangles.push_back({Real(rng, -8.f, float(width) + 8.f), Real(rng, -8.f, float(height) + 8.f),
                               Real(rng, 0.f, 1.f), 1.f, DWORD(rng()), Real(rng, 0.f, spread) - (spread - 1.f) / 2,
                               Real(rng, 0.f, spread) - (spread - 1.f) / 2});
    }
    t.textureSeed = uint32_t(rng());
    t.target = Pick(rng, 3) == 0 ? D3DFMT_X8R8G8B8 : D3DFMT_A8R8G8B8;
    return t;
}

std::vector<uint32_t> RenderTrial(const Trial& trial, const gfx::DeviceOptions& options, UINT width, UINT height) {
    TestDevice t(width, height, options);
    IDirect3DPixelShader9* ps = nullptr;
    std::string why;
    EXPECT_EQ(gfx::CheckShaderTokens(trial.program.data(), trial.program.size(), gfx::ShaderKind::Pixel, &why), D3D_OK)
        << why;
    EXPECT_EQ(t.dev->CreatePixelShader(trial.program.data(), &ps), D3D_OK);
    if (!ps) return {};
    std::mt19937 textureRng(trial.textureSeed);
    IDirect3DTexture9* tex[2] = {RandomTexture(t.dev, textureRng), RandomTexture(t.dev, textureRng)};
    for (DWORD s = 0; s < 2; ++s) t.dev->SetTexture(s, tex[s]);
    for (const auto& [state, value] : trial.states) t.dev->SetRenderState(state, value);
    for (const auto& [sampler, state, value] : trial.samplerStates) t.dev->SetSamplerState(sampler, state, value);
    t.dev->SetPixelShaderConstantF(0, &trial.constants[0][0], 4);
    t.dev->SetPixelShader(ps);
    IDirect3DSurface9* target = nullptr;
    if (trial.target == D3DFMT_X8R8G8B8) {
        EXPECT_EQ(t.dev->CreateRenderTarget(width, height, D3DFMT_X8R8G8B8, D3DMULTISAMPLE_NONE, 0, FALSE, &target,
                                            nullptr),
                  D3D_OK);
        t.dev->SetRenderTarget(0, target);
    }
    // Something to blend with and test against first.
    t.dev->Clear(0, nullptr, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, 0x80406080u, 0.6f, 0);
    t.DrawTriangles(trial.triangles);
    std::vector<uint32_t> pixels;
    if (target) {
        IDirect3DSurface9* copy = nullptr;
        EXPECT_EQ(t.dev->CreateOffscreenPlainSurface(width, height, D3DFMT_X8R8G8B8, D3DPOOL_SYSTEMMEM, &copy, nullptr),
                  D3D_OK);
        EXPECT_EQ(t.dev->GetRenderTargetData(target, copy), D3D_OK);
        D3DLOCKED_RECT lr;
        EXPECT_EQ(copy->LockRect(&lr, nullptr, D3DLOCK_READONLY), D3D_OK);
        for (UINT y = 0; y < height; ++y) {
            const auto* row = reinterpret_cast<const uint32_t*>(static_cast<BYTE*>(lr.pBits) + size_t(y) * lr.Pitch);
            pixels.insert(pixels.end(), row, row + width);
        }
        copy->UnlockRect();
        copy->Release();
        target->Release();
    } else {
        pixels = t.Pixels();
    }
    t.dev->SetPixelShader(nullptr);
    for (auto* x : tex) x->Release();
    ps->Release();
    return pixels;
}

TEST(CompiledPipeline, RandomProgramsAndStatesMatchTheInterpreterBitForBit) {
    std::mt19937 rng(2126);
    const int before = gfx::jit::PipelineTotals().shaders;
    int lit = 0;
    for (int trial = 0; trial < 60; ++trial) {
        // Odd sizes leave quads across the target's edge, which the pipeline hands back.
        const UINT width = trial % 3 == 0 ? 61 : 64, height = trial % 3 == 0 ? 47 : 48;
        const Trial t = RandomTrial(rng, width, height);
        std::vector<uint32_t> interpreted = RenderTrial(t, Interpreted(), width, height);
        std::vector<uint32_t> pipeline = RenderTrial(t, Compiled(true), width, height);
        ASSERT_FALSE(interpreted.empty());
        EXPECT_EQ(Differing(interpreted, pipeline), 0u) << "trial " << trial;
        for (uint32_t p : interpreted) lit += (p & 0xFFFFFF) != 0x406080u;
    }
    EXPECT_GT(lit, 0);
    if (gfx::jit::Enabled()) {
        EXPECT_GT(gfx::jit::PipelineTotals().shaders, before + 30) << "few pipelines compiled";
    }
}

TEST(CompiledPipeline, StatesItDoesNotCoverKeepTheDevicePath) {
    // Stencil, or nothing to write: no pipeline is chosen.
    std::vector<DWORD> tokens;
    {
        TokenBuilder b(MakePixelVersion(2, 0));
        b.DclInput(REG_INPUT, 0);
        b.Ins(OP_MOV, {Dst(REG_COLOROUT, 0), Src(REG_INPUT, 0)});
        tokens = b.End();
    }
    std::unique_ptr<gfx::ShaderProgram> program;
    ASSERT_EQ(gfx::ShaderProgram::Create(tokens.data(), tokens.size(), gfx::ShaderKind::Pixel, &program), D3D_OK);
    gfx::DrawState state;
    gfx::ImageStore image;  // only its format is looked at
    image.info = gfx::FindFormat(D3DFMT_A8R8G8B8);
    state.color = &image;
    state.pixelShader = program.get();
    state.varyings.count = 1;
    gfx::ChoosePipeline(&state, true);
    EXPECT_EQ(state.pipeline != nullptr, gfx::jit::Enabled());
    gfx::DrawState stencil = state;
    stencil.pipeline = nullptr;
    stencil.stencil = true;
    gfx::ChoosePipeline(&stencil, true);
    EXPECT_EQ(stencil.pipeline, nullptr);
    gfx::DrawState masked = state;
    masked.pipeline = nullptr;
    masked.writeMask = 0;
    gfx::ChoosePipeline(&masked, true);
    EXPECT_EQ(masked.pipeline, nullptr);
    // The same key gives the same code.
    gfx::DrawState again = state;
    again.pipeline = nullptr;
    gfx::ChoosePipeline(&again, false);
    EXPECT_EQ(again.pipeline, state.pipeline);
}

}  // namespace

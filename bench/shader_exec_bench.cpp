// Throughput of the shader interpreter: pixels and vertices per second for
// shaders shaped like the demo's (a textured, tinted ps_2_0 pixel shader and a
// transforming vs_2_0 vertex shader), on the SIMD kernels and on the per-lane
// reference path. The SIMD / reference ratio (per processor second) is printed
// at the end.
#include <benchmark/benchmark.h>

#include <time.h>

#include <cstdio>
#include <map>
#include <memory>
#include <string>

#include "gfx/shaders/shader_program.h"
#include "tests/gfx/shaders/token_builder.h"

namespace {

using namespace gfx;
using namespace gfx::isa;
using gfx::test::Dst;
using gfx::test::Src;
using gfx::test::TokenBuilder;

std::map<std::string, double> gRate;

// Processor time of this thread: steady even when the machine is busy.
double ThreadSeconds() {
    timespec t;
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) * 1e-9;
}

class FlatSampler : public TextureSampler {
public:
    void Sample(UINT, const SampleLanes& lanes, float (*out)[4]) override {
        for (int l = 0; l < kLanes; ++l) {
            out[l][0] = lanes.coord[l][0];
            out[l][1] = lanes.coord[l][1];
            out[l][2] = 0.5f;
            out[l][3] = 1.0f;
        }
    }
};

std::unique_ptr<ShaderProgram> FirePixelShader() {
    // texld r0, t0, s0; mul r0, r0, v0; mad r1, r0, c0, c1; cmp r1, r1, r1, c2; mov oC0, r1
    TokenBuilder b(MakePixelVersion(2, 0));
    b.Def(2, 0, 0, 0, 0);
    b.DclInput(REG_INPUT, 0).DclInput(REG_TEXTURE, 0, kMaskX | kMaskY).DclSampler(0);
    b.Ins(OP_TEX, {Dst(REG_TEMP, 0), Src(REG_TEXTURE, 0), Src(REG_SAMPLER, 0)});
    b.Ins(OP_MUL, {Dst(REG_TEMP, 0), Src(REG_TEMP, 0), Src(REG_INPUT, 0)});
    b.Ins(OP_MAD, {Dst(REG_TEMP, 1), Src(REG_TEMP, 0), Src(REG_CONST, 0), Src(REG_CONST, 1)});
    b.Ins(OP_CMP, {Dst(REG_TEMP, 1), Src(REG_TEMP, 1), Src(REG_TEMP, 1), Src(REG_CONST, 2)});
    b.Ins(OP_MOV, {Dst(REG_COLOROUT, 0), Src(REG_TEMP, 1)});
    const std::vector<DWORD> tokens = b.End();
    std::unique_ptr<ShaderProgram> p;
    ShaderProgram::Create(tokens.data(), tokens.size(), ShaderKind::Pixel, &p);
    return p;
}

std::unique_ptr<ShaderProgram> TransformVertexShader() {
    // m4x4 oPos, v0, c0; add r0, v0, c5; mul oT0, r0, c4; mov oD0, v1
    TokenBuilder b(MakeVertexVersion(2, 0));
    b.DclUsage(REG_INPUT, 0, USAGE_POSITION).DclUsage(REG_INPUT, 1, USAGE_COLOR);
    b.Ins(OP_M4x4, {Dst(REG_RASTOUT, 0), Src(REG_INPUT, 0), Src(REG_CONST, 0)});
    b.Ins(OP_ADD, {Dst(REG_TEMP, 0), Src(REG_INPUT, 0), Src(REG_CONST, 5)});
    b.Ins(OP_MUL, {Dst(REG_TEXCRDOUT, 0), Src(REG_TEMP, 0), Src(REG_CONST, 4)});
    b.Ins(OP_MOV, {Dst(REG_ATTROUT, 0), Src(REG_INPUT, 1)});
    const std::vector<DWORD> tokens = b.End();
    std::unique_ptr<ShaderProgram> p;
    ShaderProgram::Create(tokens.data(), tokens.size(), ShaderKind::Vertex, &p);
    return p;
}

void Pixels(benchmark::State& state, ExecPath path, const char* name) {
    auto program = FirePixelShader();
    if (!program) {
        state.SkipWithError("shader refused");
        return;
    }
    ShaderConstants k;
    for (int i = 0; i < 4; ++i) k.f[0][i] = 1.5f, k.f[1][i] = -0.25f;
    auto batch = std::make_unique<PixelBatch>();
    batch->quads = kQuads;
    batch->coverage = 0xFFFF;
    for (int i = 0; i < 2; ++i)
        for (int c = 0; c < 4; ++c)
            for (int l = 0; l < kLanes; ++l) batch->input[i].v[c][l] = 0.01f * l + 0.1f * c;
    auto results = std::make_unique<PixelResults>();
    FlatSampler sampler;
    const double start = ThreadSeconds();
    for (auto _ : state) {
        program->RunPixels(k, &sampler, *batch, results.get(), path);
        benchmark::DoNotOptimize(results->color[0].v[0][0]);
    }
    state.SetItemsProcessed(state.iterations() * kLanes);
    const double seconds = ThreadSeconds() - start;
    gRate[name] = static_cast<double>(state.iterations()) * kLanes / seconds;
}

void Vertices(benchmark::State& state, ExecPath path, const char* name) {
    auto program = TransformVertexShader();
    if (!program) {
        state.SkipWithError("shader refused");
        return;
    }
    ShaderConstants k;
    for (int i = 0; i < 6; ++i)
        for (int c = 0; c < 4; ++c) k.f[i][c] = 0.5f + i - c;
    auto batch = std::make_unique<VertexBatch>();
    batch->count = kLanes;
    auto results = std::make_unique<VertexResults>();
    const double start = ThreadSeconds();
    for (auto _ : state) {
        program->RunVertices(k, nullptr, *batch, results.get(), path);
        benchmark::DoNotOptimize(results->output[0].v[0][0]);
    }
    state.SetItemsProcessed(state.iterations() * kLanes);
    const double seconds = ThreadSeconds() - start;
    gRate[name] = static_cast<double>(state.iterations()) * kLanes / seconds;
}

void BM_PixelsSimd(benchmark::State& s) { Pixels(s, ExecPath::Simd, "pixels simd"); }
void BM_PixelsReference(benchmark::State& s) { Pixels(s, ExecPath::Reference, "pixels reference"); }
void BM_VerticesSimd(benchmark::State& s) { Vertices(s, ExecPath::Simd, "vertices simd"); }
void BM_VerticesReference(benchmark::State& s) { Vertices(s, ExecPath::Reference, "vertices reference"); }
BENCHMARK(BM_PixelsSimd);
BENCHMARK(BM_PixelsReference);
BENCHMARK(BM_VerticesSimd);
BENCHMARK(BM_VerticesReference);

}  // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    for (const char* what : {"pixels", "vertices"}) {
        const double simd = gRate[std::string(what) + " simd"], reference = gRate[std::string(what) + " reference"];
        if (simd > 0 && reference > 0) {
            std::printf("%s: %.1f M/s simd, %.1f M/s reference, simd / reference = %.2f\n", what, simd / 1e6,
                        reference / 1e6, simd / reference);
        }
    }
    benchmark::Shutdown();
    return 0;
}

// Pixel shaders with more texture samples than ps_2_0 has temporaries: the
// compiler must order the work so the live values fit, and the device must
// run the result and give the sums computed here. A shader whose values
// cannot all fit still fails with "expression too complex".
#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <map>
#include <memory>
#include <string>

#include "codegen_harness.h"
#include "gfx/shaders/shader_program.h"
#include "shader/compiler.h"

namespace {

struct Tap {
    float du, dv, weight;
    int sampler;
};

Tap TapAt(int i) { return {0.01f * float(i % 5) - 0.02f, 0.015f * float(i / 5) - 0.03f, 0.02f + 0.005f * float(i), i % 2}; }

// sum += w * tex2D(sN, t + float2(du, dv)); one line per tap.
std::string WeightedSum(int taps) {
    std::string source = "sampler s0 : register(s0);\nsampler s1 : register(s1);\n"
                         "float4 main(float2 t : TEXCOORD0) : COLOR {\n    float4 sum = 0;\n";
    char line[160];
    for (int i = 0; i < taps; ++i) {
        const Tap tap = TapAt(i);
        std::snprintf(line, sizeof line, "    sum += %.9g * tex2D(s%d, t + float2(%.9g, %.9g));\n", tap.weight,
                      tap.sampler, tap.du, tap.dv);
        source += line;
    }
    return source + "    return sum;\n}\n";
}

TEST(ReorderPressure, WeightedSumsOfManySamplesRunOnTheDevice) {
    const float u = 0.25f, v = 0.5f;
    for (int taps : {16, 24}) {
        SCOPED_TRACE(taps);
        const Compiled shader = CompileHlsl(WeightedSum(taps), "ps_2_0");
        ASSERT_TRUE(shader.Ok()) << shader.messages;
        const ShaderRun run = RunPixel(shader, {{{kTexcoord, 0}, {u, v, 0, 0}}});
        ASSERT_TRUE(run.ok) << run.problem;
        Vec4 want{};
        for (int i = 0; i < taps; ++i) {
            const Tap tap = TapAt(i);
            const float coordinate[4] = {u + tap.du, v + tap.dv, 0, 0};
            const Vec4 texel = FakeTexel(UINT(tap.sampler), coordinate);
            for (int c : {0, 1, 3}) want[c] += tap.weight * texel[c];
        }
        const Vec4 got = run.outputs.at({kColor, 0});
        for (int c : {0, 1, 3}) EXPECT_NEAR(want[c], got[c], 1e-4) << "component " << c;
    }
}

TEST(ReorderPressure, ValuesThatCannotAllFitAreTooComplex) {
    // Every sample is read again after the sum of all of them is known, so
    // sixteen four-component values are live at once whatever the order. The
    // error points at the first sample that found no register (a6, line 9).
    std::string source = "sampler s0;\nfloat4 main(float2 t : TEXCOORD0) : COLOR {\n";
    std::string sum = "    float4 s = a0", weighted = "    return a0 * s";
    for (int i = 0; i < 16; ++i) {
        source += "    float4 a" + std::to_string(i) + " = tex2D(s0, t + " + std::to_string(i) + " * 0.01);\n";
        if (i) {
            sum += " + a" + std::to_string(i);
            weighted += " + a" + std::to_string(i) + " * s";
        }
    }
    source += sum + ";\n" + weighted + ";\n}\n";
    const Compiled shader = CompileHlsl(source, "ps_2_0");
    EXPECT_EQ(E_FAIL, shader.hr);
    EXPECT_TRUE(shader.code.empty());
    EXPECT_EQ("(9): error X4004: expression too complex\n", MessagesWithoutFile(shader.messages));
}

// Sixteen samples read straight from the texture coordinates, all needed for
// a sum of dot products and again, scaled by that sum, at the end: kept live
// they need sixteen registers whatever the order, so the late readers sample
// again. The device must give the value computed here.
TEST(ReorderPressure, SamplesOfInputCoordinatesAreTakenAgainForLateReaders) {
    std::string source = "sampler s0 : register(s0);\nsampler s1 : register(s1);\nfloat4 main(";
    for (int t = 0; t < 8; ++t)
        source += std::string(t ? ", " : "") + "float2 t" + std::to_string(t) + " : TEXCOORD" + std::to_string(t);
    source += ") : COLOR {\n";
    std::string sum = "    float s = 0", weighted = "    return 0";
    for (int i = 0; i < 16; ++i) {
        const std::string a = "a" + std::to_string(i), k = std::to_string(0.05 * (i + 1));
        source += "    float4 " + a + " = tex2D(s" + std::to_string(i % 2) + ", t" + std::to_string(i / 2) + ");\n";
        sum += " + dot(" + a + ", float4(" + k + ", 0.5, -" + k + ", 0.25))";
        weighted += " + " + a + " * (s + " + k + ")";
    }
    source += sum + ";\n" + weighted + ";\n}\n";
    const Compiled shader = CompileHlsl(source, "ps_2_0");
    ASSERT_TRUE(shader.Ok()) << shader.messages;
    std::map<Semantic, Vec4> inputs;
    Vec4 texel[16];
    for (int t = 0; t < 8; ++t) {
        const float coordinate[4] = {0.1f + 0.07f * float(t), 0.9f - 0.06f * float(t), 0, 0};
        inputs[{kTexcoord, t}] = {coordinate[0], coordinate[1], 0, 0};
        for (UINT sampler : {0u, 1u}) texel[2 * t + int(sampler)] = FakeTexel(sampler, coordinate);
    }
    const ShaderRun run = RunPixel(shader, inputs);
    ASSERT_TRUE(run.ok) << run.problem;
    float s = 0;
    for (int i = 0; i < 16; ++i) {
        const float k = 0.05f * float(i + 1);
        s += texel[i][0] * k + texel[i][1] * 0.5f - texel[i][2] * k + texel[i][3] * 0.25f;
    }
    Vec4 want{};
    for (int i = 0; i < 16; ++i)
        for (int c = 0; c < 4; ++c) want[c] += texel[i][c] * (s + 0.05f * float(i + 1));
    const Vec4 got = run.outputs.at({kColor, 0});
    for (int c = 0; c < 4; ++c) EXPECT_NEAR(want[c], got[c], 1e-3) << "component " << c;
}

// Filters from the shared field corpus whose sample results outnumber the
// temporaries when every sample is hoisted: they compile, and the device
// takes the code.
TEST(ReorderPressure, CorpusFiltersAreAcceptedByTheDevice) {
    const std::string corpus = "/work/shared/corpus/hlsl/";
    if (!std::filesystem::exists(corpus)) GTEST_SKIP() << "no corpus at " << corpus;
    const char* const kFilters[][2] = {
        {"OGRECave__ogre/Samples/Media/materials/programs/Blur1_ps20.hlsl", "main"},
        {"OGRECave__ogre/Samples/Media/materials/programs/Radial_Blur_FP.cg", "main"},
        {"libretro__common-shaders/quad/shaders/quad_interp.cg", "main_fragment"},
        {"libretro__common-shaders/scalefx/shaders/scalefx-pass1.cg", "main_fragment"},
        {"mpc-hc__mpc-hc/src/mpc-hc/res/shaders/external/Edge sharpen.hlsl", "main"},
        {"mpc-hc__mpc-hc/src/mpc-hc/res/shaders/external/Sharpen complex 2.hlsl", "main"},
        {"mpc-hc__mpc-hc/src/mpc-hc/res/shaders/external/YV12 chroma upsampling.hlsl", "main"},
        {"urho3d__urho3d/Bin/CoreData/Shaders/HLSL/EdgeFilter.hlsl", "PS"},
    };
    for (const auto& [file, entry] : kFilters) {
        SCOPED_TRACE(file);
        const std::string path = corpus + file;
        IKLBuffer* code = nullptr;
        IKLBuffer* errors = nullptr;
        const HRESULT hr = KLCompileShaderFromFileA(path.c_str(), nullptr, nullptr, entry, "ps_2_0", 0, &code, &errors,
                                                    nullptr);
        const std::string messages = errors ? static_cast<const char*>(errors->GetBufferPointer()) : "";
        if (errors) errors->Release();
        ASSERT_EQ(S_OK, hr) << messages;
        ASSERT_NE(nullptr, code);
        const DWORD* tokens = static_cast<const DWORD*>(code->GetBufferPointer());
        const size_t count = code->GetBufferSize() / 4;
        std::string problem;
        std::unique_ptr<gfx::ShaderProgram> program;
        EXPECT_EQ(S_OK, gfx::CheckShaderTokens(tokens, count, gfx::ShaderKind::Pixel, &problem)) << problem;
        EXPECT_EQ(S_OK, gfx::ShaderProgram::Create(tokens, count, gfx::ShaderKind::Pixel, &program));
        code->Release();
    }
}

}  // namespace

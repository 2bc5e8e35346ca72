// Pixel shaders with more texture samples than ps_2_0 has temporaries: the
// compiler must order the work so the live values fit, and the device must
// run the result and give the sums computed here. A shader whose values
// cannot all fit still fails with "expression too complex". Programs longer
// than ps_2_0's instruction slot budget are refused by the validator for
// that; their code runs as the software model, so the ordering is checked.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <map>
#include <memory>
#include <string>

#include "codegen_harness.h"
#include "gfx/shaders/shader_program.h"

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
        const Compiled shader = CompileBeyondSlotBudget(WeightedSum(taps), "ps_2_0");
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
// temporaries when every sample is hoisted: they compile (or fail for their
// instruction slots alone), and the device takes the code.
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
        const Compiled shader = CompileFileBeyondSlotBudget(corpus + file, "ps_2_0", entry);
        ASSERT_TRUE(shader.Ok()) << shader.messages;
        std::string problem;
        std::unique_ptr<gfx::ShaderProgram> program;
        EXPECT_EQ(S_OK, gfx::CheckShaderTokens(shader.code.data(), shader.code.size(), gfx::ShaderKind::Pixel, &problem))
            << problem;
        EXPECT_EQ(S_OK, gfx::ShaderProgram::Create(shader.code.data(), shader.code.size(), gfx::ShaderKind::Pixel, &program));
    }
}

// The sixteen-tap edge filter of the field corpus (both passes) keeps more
// values live than ps_2_0 has temporaries unless its negations are folded
// into their readers and the orders that free registers early are tried. It
// must compile as the manifest compiles it and give, on the device, the
// colour its formula gives here.
struct EdgeWeights {
    const char* file;
    float wp1, wp2, wp3, wp4, wp5, wp6;
};

float Luma(const Vec4& c) { return c[0] * 0.2126f + c[1] * 0.7152f + c[2] * 0.0722f; }

Vec4 EdgeFilterColour(const EdgeWeights& w, const Vec4 t[4], bool* secondPair) {
    auto at = [&](int k, bool right, bool low) {
        const float coordinate[4] = {right ? t[k][2] : t[k][0], low ? t[k][3] : t[k][1], 0, 0};
        return FakeTexel(0, coordinate);
    };
    const Vec4 P0 = at(0, 0, 0), P1 = at(0, 1, 0), P2 = at(0, 0, 1), P3 = at(0, 1, 1);
    const Vec4 B = at(1, 0, 0), C = at(1, 1, 0), H5 = at(1, 0, 1), I5 = at(1, 1, 1);
    const Vec4 D = at(2, 0, 0), F4 = at(2, 1, 0), G = at(2, 0, 1), I4 = at(2, 1, 1);
    const Vec4 E = at(3, 0, 0), F = at(3, 1, 0), H = at(3, 0, 1), I = at(3, 1, 1);
    const float b = Luma(B), c = Luma(C), d = Luma(D), e = Luma(E), f = Luma(F), g = Luma(G), h = Luma(H),
                i = Luma(I), i4 = Luma(I4), p0 = Luma(P0), i5 = Luma(I5), p1 = Luma(P1), h5 = Luma(H5),
                p2 = Luma(P2), f4 = Luma(F4), p3 = Luma(P3);
    auto df = [](float x, float y) { return std::fabs(x - y); };
    auto dwd = [&](float b0, float b1, float c0, float c1, float c2, float d0, float d1, float d2, float d3, float e1,
                   float e2, float e3, float f2, float f3) {
        return w.wp1 * (df(c1, c2) + df(c1, c0) + df(e2, e1) + df(e2, e3)) + w.wp2 * (df(d2, d3) + df(d0, d1)) +
               w.wp3 * (df(d1, d3) + df(d0, d2)) + w.wp4 * df(d1, d2) + w.wp5 * (df(c0, c2) + df(e1, e3)) +
               w.wp6 * (df(b0, b1) + df(f2, f3));
    };
    const float dEdge = dwd(d, b, g, e, c, p2, h, f, p1, h5, i, f4, i5, i4) - dwd(c, f4, b, f, i4, p0, e, i, p3, d, h, i5, g, h5);
    EXPECT_GT(std::fabs(dEdge), 1e-3f) << "pick coordinates that give a clear edge";
    // With the file's default settings the filter weights are 0 and 0.5 and
    // the edge strength is 1, so the diagonal pair decides the colour.
    const bool second = dEdge >= 0;
    *secondPair = second;
    Vec4 colour{0, 0, 0, 1};
    for (int k = 0; k < 3; ++k) {
        const float c1 = 0.5f * H[k] + 0.5f * F[k], c2 = 0.5f * E[k] + 0.5f * I[k];
        const float ring = second ? (P0[k] - E[k]) * (I[k] - P3[k]) : (P2[k] - H[k]) * (F[k] - P1[k]);
        const float low = std::min({E[k], F[k], H[k], I[k]}) + ring, high = std::max({E[k], F[k], H[k], I[k]}) - ring;
        colour[k] = std::min(std::max(second ? c2 : c1, low), high);
    }
    return colour;
}

TEST(ReorderPressure, CorpusEdgeFilterRunsOnTheDevice) {
    const std::string folder = "/work/shared/corpus/hlsl/libretro__common-shaders/xbr/shaders/super-xbr/";
    if (!std::filesystem::exists(folder)) GTEST_SKIP() << "no corpus at " << folder;
    const EdgeWeights kPasses[] = {{"super-xbr-pass0.cg", 2, 1, -1, 4, -1, 1}, {"super-xbr-pass2.cg", 1, 0, 2, 3, -2, 1}};
    const Vec4 kCoordinates[][4] = {
        {{0.11f, 0.73f, 0.42f, 0.05f}, {0.67f, 0.29f, 0.91f, 0.38f}, {0.23f, 0.84f, 0.56f, 0.17f}, {0.79f, 0.47f, 0.34f, 0.62f}},
        {{0.93f, 0.12f, 0.08f, 0.66f}, {0.31f, 0.58f, 0.75f, 0.21f}, {0.49f, 0.97f, 0.15f, 0.44f}, {0.62f, 0.03f, 0.87f, 0.71f}},
        {{0.52f, 0.36f, 0.18f, 0.94f}, {0.07f, 0.81f, 0.63f, 0.26f}, {0.88f, 0.14f, 0.39f, 0.57f}, {0.21f, 0.69f, 0.95f, 0.02f}},
        {{0.35f, 0.95f, 0.85f, 0.15f}, {0.6f, 0.4f, 0.1f, 0.9f}, {0.05f, 0.55f, 0.75f, 0.25f}, {0.45f, 0.65f, 0.3f, 0.8f}},
    };
    for (const EdgeWeights& pass : kPasses) {
        SCOPED_TRACE(pass.file);
        // About three times ps_2_0's 64 arithmetic slots: the compile fails
        // for that; the code itself must still be right.
        bool overBudget = false;
        const Compiled shader = CompileFileBeyondSlotBudget(folder + pass.file, "ps_2_0", "main_fragment", &overBudget);
        ASSERT_TRUE(shader.Ok()) << shader.messages;
        EXPECT_TRUE(overBudget);
        bool pairs[2] = {false, false};
        for (const auto& t : kCoordinates) {
            std::map<Semantic, Vec4> inputs;
            for (int k = 0; k < 4; ++k) inputs[{kTexcoord, k + 1}] = t[k];
            const ShaderRun run = RunPixel(shader, inputs);
            ASSERT_TRUE(run.ok) << run.problem;
            bool second = false;
            const Vec4 want = EdgeFilterColour(pass, t, &second);
            pairs[second] = true;
            const Vec4 got = run.outputs.at({kColor, 0});
            // The stand-in texture puts the coordinate's third component into
            // z, which a two-dimensional lookup leaves undefined.
            for (int c : {0, 1, 3}) EXPECT_NEAR(want[c], got[c], 1e-4) << "component " << c;
        }
        EXPECT_TRUE(pairs[0] && pairs[1]) << "the coordinates should choose each diagonal pair at least once";
    }
}

}  // namespace

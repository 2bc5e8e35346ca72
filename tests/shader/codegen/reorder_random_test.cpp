// Random pixel shaders that read many texture samples, several of them more
// than once and far apart, so the compiler has to look for instruction orders
// that fit the twelve temporaries of ps_2_0 (folding negations, freeing
// registers early, sampling again). Each expression is built as HLSL text and
// evaluated in C++ at the same time; the device must give the same colour.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <random>
#include <string>
#include <vector>

#include "codegen_harness.h"

namespace {

struct Value {
    std::string text;
    Vec4 v;
};

class RandomShader {
public:
    explicit RandomShader(unsigned seed) : rng_(seed) {
        for (int k = 0; k < 8; ++k)
            coordinates_[k] = {Uniform(0.05f, 0.95f), Uniform(0.05f, 0.95f), Uniform(0.05f, 0.95f), Uniform(0.05f, 0.95f)};
        const int samples = 12 + int(rng_() % 9);
        for (int i = 0; i < samples; ++i) {
            // Coordinates from one texture coordinate, in one of four arrangements.
            const int k = int(rng_() % 8), arrangement = int(rng_() % 4), sampler = int(rng_() % 2);
            static const char* const kSwizzles[] = {"xy", "zw", "yx", "xw"};
            static const int kPick[][2] = {{0, 1}, {2, 3}, {1, 0}, {0, 3}};
            const float coordinate[4] = {coordinates_[k][kPick[arrangement][0]], coordinates_[k][kPick[arrangement][1]], 0, 0};
            const Vec4 texel = FakeTexel(UINT(sampler), coordinate);
            const std::string name = "a" + std::to_string(i);
            // The z of the stand-in texel depends on a coordinate component a
            // two-dimensional lookup leaves undefined: only x, y and w are used.
            declarations_ += "    float4 " + name + " = tex2D(s" + std::to_string(sampler) + ", t" + std::to_string(k) +
                             "." + kSwizzles[arrangement] + ").xyww;\n";
            samples_.push_back({name, {texel[0], texel[1], texel[3], texel[3]}});
        }
    }

    std::string Source(Value* result) {
        // Two expressions over the samples multiplied at the end, so samples
        // the first one reads are wanted again by the second.
        const Value a = Expression(5), b = Expression(5);
        *result = {"", {}};
        for (int c = 0; c < 4; ++c) result->v[c] = a.v[c] * b.v[c];
        std::string source = "sampler s0 : register(s0);\nsampler s1 : register(s1);\nfloat4 main(";
        for (int k = 0; k < 8; ++k)
            source += std::string(k ? ", " : "") + "float4 t" + std::to_string(k) + " : TEXCOORD" + std::to_string(k);
        return source + ") : COLOR {\n" + declarations_ + "    return (" + a.text + ") * (" + b.text + ");\n}\n";
    }

    const Vec4& Coordinates(int k) const { return coordinates_[k]; }

private:
    float Uniform(float low, float high) { return std::uniform_real_distribution<float>(low, high)(rng_); }

    Value Leaf() {
        if (rng_() % 6) return samples_[rng_() % samples_.size()];
        const float k = float(int(Uniform(-8, 8))) / 4;
        return {"float4(" + std::to_string(k) + ", 0.5, -0.25, 1)", {k, 0.5f, -0.25f, 1}};
    }

    Value Expression(int depth) {
        if (depth == 0) return Leaf();
        const Value a = Expression(depth - 1);
        const Value b = rng_() % 4 ? Expression(depth - 1) : Leaf();
        Value r;
        auto each = [&](const char* op, auto f) {
            r.text = std::string(op);
            for (int c = 0; c < 4; ++c) r.v[c] = f(a.v[c], b.v[c]);
        };
        switch (rng_() % 9) {
            case 0: each("+", [](float x, float y) { return x + y; }); r.text = "(" + a.text + " + " + b.text + ")"; break;
            case 1: each("-", [](float x, float y) { return x - y; }); r.text = "(" + a.text + " - " + b.text + ")"; break;
            case 2: each("*", [](float x, float y) { return x * y; }); r.text = "(" + a.text + " * " + b.text + ")"; break;
            case 3: each("min", [](float x, float y) { return std::min(x, y); }); r.text = "min(" + a.text + ", " + b.text + ")"; break;
            case 4: each("max", [](float x, float y) { return std::max(x, y); }); r.text = "max(" + a.text + ", " + b.text + ")"; break;
            case 5: each("neg", [](float x, float y) { return y - x; }); r.text = "(-" + a.text + " + " + b.text + ")"; break;
            case 6: each("abs", [](float x, float y) { return std::fabs(x - y); }); r.text = "abs(" + a.text + " - " + b.text + ")"; break;
            case 7: {
                const float d = a.v[0] * b.v[0] + a.v[1] * b.v[1] + a.v[2] * b.v[2];
                r.text = "dot((" + a.text + ").xyz, (" + b.text + ").xyz).xxxx";
                r.v = {d, d, d, d};
                break;
            }
            default:
                each("lerp", [](float x, float y) { return x + 0.25f * (y - x); });
                r.text = "lerp(" + a.text + ", " + b.text + ", 0.25)";
                break;
        }
        // Keep magnitudes moderate so the comparison can be tight.
        if (std::any_of(r.v.begin(), r.v.end(), [](float x) { return std::fabs(x) > 8; })) {
            for (float& x : r.v) x = std::min(std::max(x, 0.0f), 1.0f);
            r.text = "saturate(" + r.text + ")";
        }
        return r;
    }

    std::mt19937 rng_;
    Vec4 coordinates_[8];
    std::vector<Value> samples_;
    std::string declarations_;
};

TEST(ReorderRandom, ManySampleShadersGiveTheColoursComputedHere) {
    int compiled = 0, tooComplex = 0;
    for (unsigned seed = 1; seed <= 60; ++seed) {
        SCOPED_TRACE(seed);
        RandomShader generator(seed);
        Value want;
        const std::string source = generator.Source(&want);
        // Most are longer than ps_2_0's 64 arithmetic slots; their code runs
        // as the software model, which lacks only that budget.
        const Compiled shader = CompileBeyondSlotBudget(source, "ps_2_0");
        if (!shader.Ok()) {
            // Only the register limit may refuse a program of this kind.
            EXPECT_NE(shader.messages.find("X4004"), std::string::npos) << source << shader.messages;
            ++tooComplex;
            continue;
        }
        ++compiled;
        std::map<Semantic, Vec4> inputs;
        for (int k = 0; k < 8; ++k) inputs[{kTexcoord, k}] = generator.Coordinates(k);
        const ShaderRun run = RunPixel(shader, inputs);
        ASSERT_TRUE(run.ok) << run.problem << "\n" << source;
        const Vec4 got = run.outputs.at({kColor, 0});
        for (int c = 0; c < 4; ++c)
            EXPECT_NEAR(want.v[c], got[c], 2e-3f * std::max(1.0f, std::fabs(want.v[c]))) << "component " << c << "\n" << source;
    }
    std::printf("random sample shaders: %d compiled, %d too complex\n", compiled, tooComplex);
    EXPECT_GE(compiled, 45) << tooComplex << " of 60 did not fit";
}

}  // namespace

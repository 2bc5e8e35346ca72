// Constant arrays indexed by a dynamic loop's counter in vertex shaders: read
// at aL + n inside "loop aL, i#" on the models with break_c (vs_2_x, vs_3_0),
// where aL steps by the element's registers; vs_2_0 loads a0 instead. Each
// case runs on the device for several counts against values computed here.
#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "codegen_harness.h"

namespace {

bool Has(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

void ExpectNear(const Vec4& got, const Vec4& want, const std::string& what) {
    for (int c = 0; c < 4; ++c)
        EXPECT_NEAR(got[c], want[c], 1e-4f * (1 + std::abs(want[c]))) << what << " component " << c;
}

// Skinning over a uniform number of bones: a matrix per element (4
// registers), so aL steps by 4 and the matrix reads need no multiply or a0
// load. Reads of another step in the same loop keep a0, whichever comes
// first in the source.
TEST(Sm3LoopRegister, MatrixArraysIndexedByTheCounter) {
    const char* source = R"(
        int bones;
        float4x4 palette[6];
        float4 weights[13];
        float4 main(float4 p : POSITION, out float4 c : COLOR0) : POSITION {
            float4 sum = 0;
            for (int i = 0; i < bones; i++) sum += weights[i] * mul(p, palette[i]) + weights[2 * i + 1];
            c = sum;
            return p;
        })";
    std::vector<float> palette, weights;
    for (int k = 0; k < 6 * 16; ++k) palette.push_back(float((k * 7) % 11) * 0.25f - 1);
    for (int k = 0; k < 13 * 4; ++k) weights.push_back(float(k % 5) * 0.5f - 0.75f);
    const Vec4 p = {1, -2, 0.5f, 1};
    for (const char* profile : {"vs_3_0", "vs_2_x", "vs_2_0"}) {
        const Compiled shader = CompileHlsl(source, profile);
        ASSERT_TRUE(shader.Ok()) << profile << "\n" << shader.messages;
        const std::string text = Disassembly(shader);
        const bool loopRegister = std::string(profile) != "vs_2_0";
        EXPECT_EQ(Has(text, "loop aL, i"), loopRegister) << text;
        EXPECT_EQ(Has(text, "[aL]"), loopRegister) << text;
        EXPECT_EQ(Has(text, "defi i0, 255, 0, 4, 0"), loopRegister) << text;
        for (int count : {0, 1, 4, 6}) {
            const ShaderRun run = RunVertex(shader, {{{kPosition, 0}, p}},
                                            {{"bones", {float(count)}}, {"palette", palette}, {"weights", weights}});
            ASSERT_TRUE(run.ok) << run.problem;
            Vec4 want = {0, 0, 0, 0};
            for (int i = 0; i < count; ++i)
                for (int col = 0; col < 4; ++col) {
                    float dot = 0;  // a register per column
                    for (int row = 0; row < 4; ++row) dot += p[row] * palette[size_t(16 * i + 4 * col + row)];
                    want[col] += weights[size_t(4 * i + col)] * dot + weights[size_t(4 * (2 * i + 1) + col)];
                }
            ExpectNear(run.outputs.at({kColor, 0}), want, std::string(profile) + " count " + std::to_string(count));
        }
    }
}

// Lights as structures of two registers, over a bound computed in the
// program: aL steps by 2 and reads both members at their offsets; the
// counter still counts rounds for the arithmetic. Plain float4 arrays in a
// loop to a computed bound take aL with step 1.
TEST(Sm3LoopRegister, StructureArraysToAComputedBound) {
    const char* source = R"(
        struct Light { float4 direction; float4 color; };
        Light lights[8];
        float4 ambient[9];
        float4 main(float4 p : POSITION, float3 n : NORMAL, out float4 c : COLOR0, out float4 d : COLOR1) : POSITION {
            int count = p.w;
            c = 0;
            for (int i = 0; i < count; i++)
                c += lights[i].color * max(0, dot(n, lights[i].direction.xyz)) + i;
            d = 0;
            for (int k = 0; k < count; k++) d += ambient[k + 1] - ambient[k];
            return float4(p.xyz, 1);
        })";
    std::vector<float> lights, ambient;
    for (int i = 0; i < 8; ++i) {
        const float record[8] = {0.25f * float(i % 3), 1 - 0.125f * float(i), 0.5f, 0,
                                 float(i + 1), 0.5f * float(i), 1, float(8 - i)};
        lights.insert(lights.end(), record, record + 8);
    }
    for (int k = 0; k < 9 * 4; ++k) ambient.push_back(float(k * k % 7) - 2);
    const Vec4 n = {0.5f, 1, -0.25f, 0};
    for (const char* profile : {"vs_3_0", "vs_2_x"}) {
        const Compiled shader = CompileHlsl(source, profile);
        ASSERT_TRUE(shader.Ok()) << profile << "\n" << shader.messages;
        const std::string text = Disassembly(shader);
        EXPECT_TRUE(Has(text, "defi i0, 255, 0, 2, 0") || Has(text, "defi i1, 255, 0, 2, 0")) << text;
        EXPECT_FALSE(Has(text, "mova")) << text;
        for (int count : {0, 1, 7, 8}) {
            const Vec4 p = {1, 2, 3, float(count) + 0.25f};
            const ShaderRun run = RunVertex(shader, {{{kPosition, 0}, p}, {{kNormal, 0}, n}},
                                            {{"lights", lights}, {"ambient", ambient}});
            ASSERT_TRUE(run.ok) << run.problem;
            Vec4 c = {0, 0, 0, 0}, d = {0, 0, 0, 0};
            for (int i = 0; i < count; ++i) {
                const float* l = &lights[size_t(8 * i)];
                const float lambert = std::max(0.0f, n[0] * l[0] + n[1] * l[1] + n[2] * l[2]);
                for (int k = 0; k < 4; ++k) c[k] += l[4 + k] * lambert + float(i);
                for (int k = 0; k < 4; ++k) d[k] += ambient[size_t(4 * (i + 1) + k)] - ambient[size_t(4 * i + k)];
            }
            const std::string what = std::string(profile) + " count " + std::to_string(count);
            ExpectNear(run.outputs.at({kColor, 0}), c, what);
            ExpectNear(run.outputs.at({kColor, 1}), d, what);
        }
    }
}

// Nested loops: only the inner loop's aL is reachable, so the outer counter
// indexes through a0 inside it, and the outer loop's own reads after the
// inner loop go through the outer aL again (the device restores it).
TEST(Sm3LoopRegister, NestedLoopsReachTheInnerCounterOnly) {
    const char* source = R"(
        int rows;
        float4 scale[4];
        float4x2 table[6];
        float4 main(float4 p : POSITION, out float4 c : COLOR0) : POSITION {
            int columns = p.w;
            c = 0;
            for (int i = 0; i < rows; i++) {
                for (int j = 0; j < columns; j++) c += scale[i] * table[j][1].x;
                c += table[i][0].y;
            }
            return float4(p.xyz, 1);
        })";
    std::vector<float> scale, table;
    for (int k = 0; k < 16; ++k) scale.push_back(float(k % 6) - 1.5f);
    for (int k = 0; k < 6 * 4 * 4; ++k) table.push_back(float((k * 5) % 9) * 0.5f);
    const Compiled shader = CompileHlsl(source, "vs_3_0");
    ASSERT_TRUE(shader.Ok()) << shader.messages;
    const std::string text = Disassembly(shader);
    EXPECT_TRUE(Has(text, "loop aL")) << text;
    EXPECT_TRUE(Has(text, "[a0.x]")) << text;
    for (int rows : {0, 1, 3, 4})
        for (int columns : {0, 2, 6}) {
            const Vec4 p = {1, 2, 3, float(columns) + 0.5f};
            const ShaderRun run =
                RunVertex(shader, {{{kPosition, 0}, p}}, {{"rows", {float(rows)}}, {"scale", scale}, {"table", table}});
            ASSERT_TRUE(run.ok) << run.problem;
            // float4x2: four rows of two, a register per column (2 registers an element).
            auto at = [&](int element, int row, int column) { return table[size_t(8 * element + 4 * column + row)]; };
            Vec4 want = {0, 0, 0, 0};
            for (int i = 0; i < rows; ++i) {
                for (int j = 0; j < columns; ++j)
                    for (int k = 0; k < 4; ++k) want[k] += scale[size_t(4 * i + k)] * at(j, 1, 0);
                for (int k = 0; k < 4; ++k) want[k] += at(i, 0, 1);
            }
            ExpectNear(run.outputs.at({kColor, 0}), want,
                       "rows " + std::to_string(rows) + " columns " + std::to_string(columns));
        }
}

// Where a0 is as cheap: a one-register step in a loop to a uniform count
// (the a0 load replaces the break test aL would need). Pixel shaders address
// no constants at run time, in a loop or not.
TEST(Sm3LoopRegister, WhereTheLoopRegisterIsNotUsed) {
    const char* vertex = R"(
        int count;
        float4 k[8];
        float4 main(float4 p : POSITION, out float4 c : COLOR0) : POSITION {
            c = 0;
            for (int i = 0; i < count; i++) c += k[i] * p;
            return p;
        })";
    const Compiled shader = CompileHlsl(vertex, "vs_3_0");
    ASSERT_TRUE(shader.Ok()) << shader.messages;
    const std::string text = Disassembly(shader);
    EXPECT_TRUE(Has(text, "rep i0")) << text;
    EXPECT_TRUE(Has(text, "mova")) << text;
    EXPECT_FALSE(Has(text, "aL")) << text;

    const char* pixel = R"(
        int count;
        float4 weights[8];
        sampler2D s;
        float4 main(float4 t : TEXCOORD0) : COLOR {
            float4 sum = 0;
            for (int i = 0; i < count; i++) sum += weights[i] * tex2D(s, t.xy + i);
            return sum;
        })";
    for (const char* profile : {"ps_3_0", "ps_2_x"}) {
        const Compiled refused = CompileHlsl(pixel, profile);
        EXPECT_NE(refused.hr, S_OK) << profile;
        EXPECT_TRUE(Has(MessagesWithoutFile(refused.messages),
                        "(7): error X4511: relative addressing not allowed for pixel shaders"))
            << profile << "\n" << refused.messages;
    }
}

}  // namespace

namespace {

// Loops of known count run as real loops ("[loop]") read through aL on every
// vertex model with loops, with a register of their own holding count and
// step: any start, a step of two rounds, a counter going down (aL steps
// back), no break test.
TEST(Sm3LoopRegister, LoopsOfKnownCount) {
    const char* source = R"(
        float4x4 palette[6];
        float4 w[12];
        float4 main(float4 p : POSITION, out float4 c : COLOR0, out float4 d : COLOR1) : POSITION {
            float4 sum = 0;
            [loop] for (int i = 1; i < 6; i += 2) sum += mul(p, palette[i]) * w[2 * i];
            c = sum;
            d = 0;
            [loop] for (int j = 11; j >= 3; j--) d = d * 0.5 + w[j];
            return p;
        })";
    std::vector<float> palette, w;
    for (int k = 0; k < 6 * 16; ++k) palette.push_back(float((k * 5) % 13) * 0.25f - 1.5f);
    for (int k = 0; k < 12 * 4; ++k) w.push_back(float(k % 7) - 3);
    const Vec4 p = {0.5f, -1, 2, 1};
    Vec4 c = {0, 0, 0, 0}, d = {0, 0, 0, 0};
    for (int i = 1; i < 6; i += 2)
        for (int col = 0; col < 4; ++col) {
            float dot = 0;
            for (int row = 0; row < 4; ++row) dot += p[row] * palette[size_t(16 * i + 4 * col + row)];
            c[col] += dot * w[size_t(4 * (2 * i) + col)];
        }
    for (int j = 11; j >= 3; --j)
        for (int k = 0; k < 4; ++k) d[k] = d[k] * 0.5f + w[size_t(4 * j + k)];
    for (const char* profile : {"vs_2_0", "vs_2_x", "vs_3_0"}) {
        const Compiled shader = CompileHlsl(source, profile);
        ASSERT_TRUE(shader.Ok()) << profile << "\n" << shader.messages;
        const std::string text = Disassembly(shader);
        EXPECT_TRUE(Has(text, "3, 0, 8, 0")) << text;   // palette[i]: 4 registers, 2 rounds a step
        EXPECT_TRUE(Has(text, "9, 0, -1, 0")) << text;  // w[j] from j = 11 down
        EXPECT_TRUE(Has(text, "c4[aL]")) << text;
        EXPECT_TRUE(Has(text, "c35[aL]") || Has(text, "c35[aL].")) << text;
        EXPECT_FALSE(Has(text, "break")) << text;
        const ShaderRun run = RunVertex(shader, {{{kPosition, 0}, p}}, {{"palette", palette}, {"w", w}});
        ASSERT_TRUE(run.ok) << run.problem;
        ExpectNear(run.outputs.at({kColor, 0}), c, profile);
        ExpectNear(run.outputs.at({kColor, 1}), d, profile);
    }
}

}  // namespace

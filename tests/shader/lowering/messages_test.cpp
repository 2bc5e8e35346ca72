// Every message of the lowering with its exact text, position and result.
#include <gtest/gtest.h>

#include <string>

#include "lowering_util.h"

namespace {

struct MessageCase {
    const char* source;
    const char* expected;  // the whole log
    HRESULT hr;
    const char* profile = "vs_2_0";
};

TEST(LoweringMessages, ExactTextsAndResults) {
    const MessageCase cases[] = {
        {"float f(float x) { return f(x) + 1; }\n"
         "float4 main(float4 p : POSITION) : POSITION { return f(p.x); }",
         "t.hlsl(1): error X3500: 'f': recursive functions not yet implemented\n", E_NOTIMPL},
        {"float4 k;\nfloat4 main(float4 p : POSITION) : POSITION {\n if (k.x) return p;\n return -p; }",
         "t.hlsl(3): error X3500: asymetric returns from if statements not yet implemented\n", E_NOTIMPL},
        {"float n;\nfloat4 main(float4 p : POSITION) : POSITION {\n for (int i = 0; i < n; i++) p *= 2;\n return p; }",
         "t.hlsl(3): error X3500: general for/do/while statements are not yet implemented\n", E_NOTIMPL},
        {"float4 main(float4 p : POSITION) : POSITION {\n for (int i = 0; ; i++) p *= 2;\n return p; }",
         "t.hlsl(2): error X3500: general for/do/while statements are not yet implemented\n", E_NOTIMPL},
        {"float4 main(float4 p : POSITION) : POSITION {\n int i = 0;\n while (i < 2000) { i++; }\n return p; }",
         "t.hlsl(3): error X3500: general for/do/while statements are not yet implemented\n", E_NOTIMPL},
        {"float4 main(float4 p : POSITION) : POSITION {\n float a[4] = {1, 2, 3, 4};\n return a[p.x]; }",
         "t.hlsl(3): error X3500: non-linear array references not yet implemented\n", E_NOTIMPL},
        {"float4 main(float4 p : POSITION) : POSITION {\n return (p + 1)[p.y]; }",
         "t.hlsl(2): error X3500: array references of intermediate arguments not yet implemented\n", E_NOTIMPL},
        {"struct S { sampler2D s; float k; };\nS g;\nfloat4 main(float2 uv : TEXCOORD0) : COLOR0 {\n"
         " return tex2D(g.s, uv); }",
         "t.hlsl(4): error X3500: expressions returning objects in an array or struct not yet implemented\n",
         E_NOTIMPL, "ps_2_0"},
        {"struct S { sampler2D s; float k; };\nS g;\nfloat4 main(float4 p : POSITION) : POSITION {\n return p * g.k; }",
         "t.hlsl(4): error X3500: expressions returning objects in an array or struct not yet implemented\n",
         E_NOTIMPL},
        {"float4 main(float4 p, float4 q : POSITION) : POSITION { return p + q; }",
         "t.hlsl(1): error X3502: 'main': input parameter 'p' missing semantics\n", E_FAIL},
        {"struct In { float4 a : COLOR0; float4 b; };\nfloat4 main(In i) : POSITION { return i.a + i.b; }",
         "t.hlsl(1): error X3502: 'main': input parameter 'b' missing semantics\n", E_FAIL},
        {"float4 main(float4 p : POSITION) { return p; }",
         "t.hlsl(1): error X3503: 'main': function return value missing semantics\n", E_FAIL},
        {"void main(float4 p : POSITION, out float4 o) { o = p; }",
         "t.hlsl(1): error X3503: 'main': output parameter 'o' missing semantics\n", E_FAIL},
        {"float4 main(float4 p : POSITION) : POSITION {\n float a[4] = {1, 2, 3, 4};\n float s = 0;\n"
         " for (int i = 0; i < 5; i++) s += a[i];\n return s; }",
         "t.hlsl(4): error X3504: array index out of bounds\n", E_FAIL},
        {"void main(float4 p : POSITION, out float4 o : POSITION, out float4 c : COLOR0) { o = p; }",
         "t.hlsl(1): error X3508: 'main': output parameter 'c' never assigned a value\n", E_FAIL},
        {"void main(float4 p : POSITION, out float4 o : POSITION) { o.xyz = p.xyz; }",
         "t.hlsl(1): error X3508: 'main': output parameter 'o' never assigned a value\n", E_FAIL},
        {"float f(float x);\nfloat4 main(float4 p : POSITION) : POSITION { return f(p.x); }",
         "t.hlsl(2): error X3510: function 'f' missing implementation\n", E_FAIL},
        {"float f(float x) { x = x * 2; }\nfloat4 main(float4 p : POSITION) : POSITION { return f(p.x); }",
         "t.hlsl(1): error X3507: 'f': function must return a value\n", E_FAIL},
        {"sampler2D s[2];\nfloat4 k;\nfloat4 main(float2 uv : TEXCOORD0) : COLOR0 {\n return tex2D(s[k.x], uv); }",
         "t.hlsl(4): error X3500: non-trivial object expressions not yet implemented\n", E_NOTIMPL, "ps_2_0"},
        {"float4 other(float4 p : POSITION) : POSITION { return p; }", "error X3501: 'main': entrypoint not found\n",
         E_FAIL},
    };
    for (const MessageCase& c : cases) {
        auto s = LowerSource(c.source, "main", c.profile);
        EXPECT_EQ(c.expected, s->log) << c.source;
        EXPECT_EQ(c.hr, s->hr) << c.source;
    }
}

TEST(LoweringMessages, Tex1DWithANarrowCoordinateWarnsInPs1) {
    const char* narrow = "sampler1D s;\nfloat4 main(float4 t : TEXCOORD0) : COLOR0 {\n return tex1D(s, t.x * 2); }";
    auto s = LowerSource(narrow, "main", "ps_1_4");
    EXPECT_EQ(S_OK, s->hr);
    EXPECT_EQ("t.hlsl(3): warning X3509: tex1D will considered dependent since texcoord was not declared as at "
              "least float2\n",
              s->log);
    const char* wide = "sampler1D s;\nfloat4 main(float4 t : TEXCOORD0) : COLOR0 {\n return tex1D(s, t.x); }";
    EXPECT_EQ("", LowerSource(wide, "main", "ps_1_4")->log);
    EXPECT_EQ("", LowerSource(narrow, "main", "ps_2_0")->log);
}

TEST(LoweringMessages, ConstantLoopUnrollsOneBodyPerRound) {
    auto s = LowerSource(
        "float4 main(float4 p : POSITION) : POSITION {\n float4 r = 0;\n for (int i = 0; i < 4; i++) r += p;\n"
        " return r; }");
    EXPECT_EQ(S_OK, s->hr) << s->log;
    EXPECT_EQ(4u, s->Count(kOpAdd));  // one add per round
}

// Loops that unroll into more than the target can hold stop at once, with
// the outermost loop named, instead of building the program first.
TEST(LoweringMessages, LoopsThatCannotFitStopAtOnce) {
    const std::string nest =
        "float4 main(float4 p : POSITION) : POSITION {\n float4 r = 0;\n"
        " for (int i = 0; i < 255; i++)\n  for (int j = 0; j < 255; j++)\n   for (int k = 0; k < 255; k++) r += p;\n"
        " return r; }";
    const struct {
        std::string source;
        const char* profile;
        const char* expected;
    } cases[] = {
        {nest, "vs_2_0",
         "t.hlsl(3): error X3511: program too large for vs_2_0: unrolled loops and expanded calls give more than "
         "8192 instructions\n"},
        // The software profile's larger bound is not reached before the rounds run out.
        {nest, "vs_2_sw",
         "t.hlsl(3): error X3511: program too large for vs_2_sw: loops unroll into more than 65536 iterations in "
         "all\n"},
        {"float4 main(float4 p : POSITION) : POSITION {\n float4 r = 0;\n"
         " for (int i = 0; i < 1000; i++) for (int j = 0; j < 255; j++) r += p;\n return r; }",
         "ps_2_0",
         "t.hlsl(3): error X3511: program too large for ps_2_0: unrolled loops and expanded calls give more than "
         "8192 instructions\n"},
        // Folded to a constant, but still sixteen million rounds to unroll.
        {"float4 main(float4 p : POSITION) : POSITION {\n int n = 0;\n"
         " for (int i = 0; i < 255; i++) for (int j = 0; j < 255; j++) for (int k = 0; k < 255; k++) n++;\n"
         " return p * n; }",
         "vs_2_sw", "t.hlsl(3): error X3511: program too large for vs_2_sw: loops unroll into more than 65536 "
         "iterations in all\n"},
    };
    for (const auto& c : cases) {
        auto s = LowerSource(c.source.c_str(), "main", c.profile);
        EXPECT_EQ(c.expected, s->log) << c.profile << "\n" << c.source;
        EXPECT_EQ(E_FAIL, s->hr) << c.profile;
    }
    // A loop nest that fits is unrolled as before.
    auto fits = LowerSource(
        "float4 main(float4 p : POSITION) : POSITION {\n float4 r = 0;\n"
        " for (int i = 0; i < 16; i++) for (int j = 0; j < 16; j++) r += p;\n return r; }");
    EXPECT_EQ(S_OK, fits->hr) << fits->log;
    EXPECT_EQ(256u, fits->Count(kOpAdd));
}

}  // namespace

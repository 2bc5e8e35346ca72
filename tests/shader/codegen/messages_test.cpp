// The exact text of the code generators' messages: one line per case, the
// source next to the line it must produce.
#include <gtest/gtest.h>

#include "codegen_harness.h"

namespace {

struct MessageCase {
    const char* profile;
    const char* source;  // entry "main"
    const char* line;    // expected message line, without the file name
    bool compiles;       // warnings only
};

const MessageCase kCases[] = {
    {"vs_2_0", "float4 main(float4 p : POSITION) : POSITION { return float4(p.xyz, 1); }", "", true},
    {"vs_2_0", "float3 main(float4 p : POSITION) : POSITION { return p.xyz; }",
     "error X4541: vertex shader must minimally write all four components of POSITION", false},
    {"vs_2_0", "void main(float4 p : POSITION, out float4 o : POSITION, out float2 f : FOG) { o = p; f = p.xy; }",
     "error X4540: FOG must be a scalar", false},
    {"vs_2_0", "void main(float4 p : POSITION, out float4 o : POSITION, out float f : FOG) { o = p; f = p.y; }", "", true},
    {"vs_1_1", "void main(float4 p : POSITION, out float4 o : POSITION, out float2 s : PSIZE) { o = p; s = p.xy; }",
     "error X4540: PSIZE must be a scalar", false},
    {"vs_2_0", "float4 main(float4 c : DIFFUSE) : POSITION { return c; }",
     "warning X4705: input semantic 'DIFFUSE' has been deprecated; use 'COLOR0' instead", true},
    {"vs_2_0", "float4 main(float4 c : SPECULAR) : POSITION { return c; }",
     "warning X4705: input semantic 'SPECULAR' has been deprecated; use 'COLOR1' instead", true},
    {"vs_2_0", "float4 main(float4 c : DIFFUSE1) : POSITION { return c; }",
     "error X4502: invalid input semantic 'DIFFUSE1'", false},
    {"vs_2_0", "float4 main(float4 c : WIBBLE) : POSITION { return c; }",
     "error X4502: invalid input semantic 'WIBBLE0'", false},
    {"vs_2_0", "float4 main(float4 c : POSITIONT) : POSITION { return c; }",
     "error X4502: invalid input semantic 'POSITIONT0'", false},
    {"vs_2_0", "void main(float4 p : POSITION, out float4 o : POSITION, out float4 t : TEXCOORD8) { o = p; t = p; }",
     "error X4502: invalid output semantic 'TEXCOORD8'", false},
    {"vs_2_0", "void main(float4 p : POSITION, out float4 o : POSITION, out float4 d : SPECULAR) { o = p; d = p; }",
     "warning X4706: output semantic 'SPECULAR' has been deprecated; use 'COLOR1' instead", true},
    {"vs_2_0",
     "void main(float4 p : POSITION, out float4 o : POSITION, out float4 a : COLOR0, out float4 b : DIFFUSE) "
     "{ o = p; a = p; b = p; }",
     "error X4504: overlapping output semantics", false},
    {"vs_2_0", "sampler s; float4 main(float4 p : POSITION) : POSITION { return tex2D(s, p.xy); }",
     "error X4545: vs_2_0 target does not support texture lookups", false},
    {"vs_1_1", "sampler s; float4 main(float4 p : POSITION) : POSITION { return tex2D(s, p.xy); }",
     "error X4545: vs_1_1 target does not support texture lookups", false},
    {"vs_2_0", "float4 a : register(c3); float4 b : register(c3); float4 main() : POSITION { return a + b; }",
     "error X4500: overlapping register semantics not yet implemented 'c3'", false},
    {"vs_2_0", "float4 a : register(c8192); float4 main() : POSITION { return a; }",
     "error X4509: invalid register semantic 'c8192'", false},
    {"ps_2_0", "float3 main(float4 c : COLOR0) : COLOR { return c.xyz; }",
     "error X4530: pixel shader must minimally write all four components of COLOR0", false},
    {"ps_2_0",
     "void main(float4 c : COLOR0, out float4 a : COLOR0, out float4 b : COLOR2) { a = c; b = c; }",
     "error X4538: COLOR outputs must be contiguous from COLOR0 to COLORn", false},
    {"ps_2_0", "void main(float4 c : COLOR0, out float4 a : COLOR0, out float2 b : COLOR1) { a = c; b = c.xy; }",
     "error X4529: COLOR1 must be a four-component vector", false},
    {"ps_2_0", "void main(float4 c : COLOR0, out float4 a : COLOR0, out float2 d : DEPTH) { a = c; d = c.xy; }",
     "error X4528: DEPTH must be a scalar", false},
    {"ps_2_0", "sampler s; float4 main(float4 t : TEXCOORD0) : COLOR { return tex2D(s, t.xy) + texCUBE(s, t.xyz); }",
     "error X4539: sampler mismatch: sampler used inconsistently", false},
    {"ps_2_0", "float4 main(float4 p : POSITION) : COLOR { return p; }",
     "error X4502: invalid reference to input semantic 'POSITION0'", false},
    {"ps_2_0", "float4 main(float4 c : COLOR0) : COLOR5 { return c; }",
     "error X4502: invalid output semantic 'COLOR5'", false},
    {"ps_2_0", "float4 main(float4 c : TEXCOORD0) : COLOR { return sin(c); }", "", true},
    {"ps_1_1", "float4 main(float4 c : COLOR0) : COLOR { return c * 3.0; }",
     "warning X4704: literal values outside range -1 to 1 are clamped on all ps_1_x shading models", true},
    {"ps_1_1", "float4 main(float4 c : COLOR0, out float4 d : COLOR1) : COLOR { d = c; return c; }",
     "error X4502: output semantic 'COLOR1' not yet implemented in ps_1_x", false},
};

TEST(CodegenMessages, ExactText) {
    for (const MessageCase& c : kCases) {
        const Compiled shader = CompileHlsl(c.source, c.profile);
        const std::string messages = MessagesWithoutFile(shader.messages);
        EXPECT_EQ(shader.Ok(), c.compiles) << c.source << "\n" << shader.messages;
        if (*c.line) EXPECT_NE(messages.find(std::string(c.line) + "\n"), std::string::npos) << c.source << "\n" << messages;
        else EXPECT_EQ(shader.messages, "") << c.source;
    }
}

}  // namespace

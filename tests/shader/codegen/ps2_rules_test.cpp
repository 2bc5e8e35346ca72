// ps_2_0 operand and program rules, read off the bytecode and its
// disassembly: lookup coordinates and swizzles the model lacks go through
// moves, comparisons choose between literal 0 and 1, instructions read at
// most one constant and one colour input register, outputs are written by
// mov, declarations come in register order, and every instruction carries
// its length.
#include <gtest/gtest.h>

#include <set>
#include <sstream>

#include "codegen_harness.h"
#include "shader/bytecode/disassembler.h"

namespace {

std::vector<std::string> Lines(const Compiled& shader) {
    std::string text;
    DisassemblyError error;
    std::vector<std::string> lines;
    if (FAILED(DisassembleShader(shader.code.data(), shader.code.size() * 4, DisassemblyOptions{false}, &text, &error)))
        return {"disassembly failed: " + error.message};
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) {
        line.erase(0, line.find_first_not_of(' '));
        if (!line.empty() && line[0] != '/') lines.push_back(line);
    }
    return lines;
}

std::string Join(const std::vector<std::string>& lines) {
    std::string s;
    for (const std::string& l : lines) s += l + "\n";
    return s;
}

// Operands of an instruction line ("mad r0, t0, c1.x, v0" -> {"r0", "t0", "c1.x", "v0"}).
std::vector<std::string> Operands(const std::string& line) {
    std::vector<std::string> out;
    const size_t space = line.find(' ');
    if (space == std::string::npos) return out;
    std::istringstream in(line.substr(space + 1));
    for (std::string item; std::getline(in, item, ',');) {
        item.erase(0, item.find_first_not_of(' '));
        out.push_back(item);
    }
    return out;
}

std::string Mnemonic(const std::string& line) { return line.substr(0, line.find(' ')); }

// The register an operand names, without modifiers and swizzle ("-c1.x" -> "c1").
std::string Register(std::string operand) {
    if (!operand.empty() && operand[0] == '-') operand.erase(0, 1);
    return operand.substr(0, operand.find_first_of("._"));
}

Compiled Ps2(const std::string& source, DWORD flags = 0) {
    const Compiled shader = CompileHlsl(source, "ps_2_0", "main", flags);
    EXPECT_TRUE(shader.Ok()) << source << "\n" << shader.messages;
    return shader;
}

const char* kHeader = "sampler s : register(s0); float4 a; float4 b;\n";

TEST(Ps2Rules, LookupCoordinatesArePlainRegisterReads) {
    struct Case {
        const char* call;
        bool direct;  // texld reads t0 itself
        bool moved;   // the coordinates are moved, into the result's own register
    };
    const Case cases[] = {
        {"tex2D(s, uv.xy)", true, false},   {"tex2Dproj(s, uv)", true, false}, {"tex2D(s, uv.yx)", false, true},
        {"tex2D(s, -uv.xy)", false, false}, {"tex1D(s, uv.x)", false, true},   {"tex2D(s, uv.xy * 2)", false, false},
    };
    for (const Case& c : cases) {
        const Compiled shader =
            Ps2(std::string(kHeader) + "float4 main(float4 uv : TEXCOORD0) : COLOR { return " + c.call + "; }");
        const std::vector<std::string> lines = Lines(shader);
        int lookups = 0;
        for (const std::string& line : lines) {
            if (Mnemonic(line).compare(0, 5, "texld") != 0) continue;
            ++lookups;
            const std::vector<std::string> ops = Operands(line);
            ASSERT_EQ(ops.size(), 3u) << line;
            // The coordinate register is read whole, unmodified.
            EXPECT_EQ(ops[1], Register(ops[1])) << c.call << ": " << line;
            EXPECT_EQ(ops[1] == "t0", c.direct) << c.call << ": " << line;
            if (c.moved) {
                EXPECT_EQ(ops[1], Register(ops[0])) << c.call << ": " << line;
            }
            EXPECT_EQ(ops[2], "s0") << line;
        }
        EXPECT_EQ(lookups, 1) << c.call << "\n" << Join(lines);
    }
}

// texld writes all four components; when some of them are not wanted and
// nothing reads them afterwards, it still writes straight into the register
// the program uses, without a copy.
TEST(Ps2Rules, LookupResultsNeedNoCopy) {
    const Compiled shader = Ps2(std::string(kHeader) +
                                "float4 main(float4 uv : TEXCOORD0) : COLOR { float3 c = tex2D(s, uv.xy).rgb; "
                                "return float4(c * uv.zzz, uv.w); }");
    const std::vector<std::string> lines = Lines(shader);
    std::string texel;
    for (const std::string& line : lines)
        if (Mnemonic(line) == "texld") texel = Operands(line)[0];
    ASSERT_FALSE(texel.empty()) << Join(lines);
    for (const std::string& line : lines) {
        const std::vector<std::string> ops = Operands(line);
        if (Mnemonic(line) == "mov" && ops.size() == 2) {
            EXPECT_NE(Register(ops[1]), texel) << Join(lines);
        }
    }
    const Vec4 uv = {0.25f, 0.5f, 3.0f, 0.75f};
    const ShaderRun run = RunPixel(shader, {{{kTexcoord, 0}, uv}});
    ASSERT_TRUE(run.ok) << run.problem;
    const Vec4 t = FakeTexel(0, uv.data());
    const Vec4 want = {t[0] * uv[2], t[1] * uv[2], t[2] * uv[2], uv[3]};
    for (int k = 0; k < 4; ++k) EXPECT_FLOAT_EQ(run.outputs.at({kColor, 0})[k], want[k]) << k;
}

TEST(Ps2Rules, LookupKindsAreTexldControls) {
    struct Case {
        const char* call;
        uint32_t control;
    };
    const Case cases[] = {{"tex2D(s, uv.xy)", 0}, {"tex2Dproj(s, uv)", 1}, {"tex2Dbias(s, uv)", 2},
                          {"tex3Dproj(v, uv)", 1}, {"texCUBEbias(c, uv)", 2}, {"tex1Dproj(s, uv)", 1}};
    for (const Case& c : cases) {
        const Compiled shader = Ps2(std::string("sampler s; sampler3D v; samplerCUBE c;\n") +
                                    "float4 main(float4 uv : TEXCOORD0) : COLOR { return " + c.call + "; }");
        int found = 0;
        for (size_t i = 1; i < shader.code.size(); ++i) {
            const DWORD token = shader.code[i];
            if ((token & 0xFFFF) == 0xFFFE) {  // comment: skip its body
                i += token >> 16;
                continue;
            }
            if ((token & 0xFFFF) != 66) continue;
            EXPECT_EQ((token >> 16) & 0xFF, c.control) << c.call;
            ++found;
            break;
        }
        EXPECT_EQ(found, 1) << c.call;
    }
}

TEST(Ps2Rules, SwizzlesOutsideTheModelGoThroughMoves) {
    const Compiled allowed = Ps2("float4 main(float4 uv : TEXCOORD0) : COLOR { return uv.wzyx * uv.yzxw; }");
    int moves = 0;
    for (const std::string& line : Lines(allowed))
        if (Mnemonic(line) == "mov" && Operands(line)[0] != "oC0") ++moves;
    EXPECT_EQ(moves, 0) << Join(Lines(allowed));

    const Compiled needs = Ps2("float4 main(float4 uv : TEXCOORD0) : COLOR { return uv.xzyw * uv; }");
    const std::vector<std::string> lines = Lines(needs);
    moves = 0;
    for (const std::string& line : lines) {
        const std::vector<std::string> ops = Operands(line);
        for (size_t k = 1; k < ops.size(); ++k) EXPECT_EQ(ops[k].find(".xzyw"), std::string::npos) << line;
        if (Mnemonic(line) == "mov" && ops[0] != "oC0") ++moves;
    }
    EXPECT_GE(moves, 1) << Join(lines);
    const ShaderRun run = RunPixel(needs, {{{kTexcoord, 0}, {1, 2, 3, 4}}});
    ASSERT_TRUE(run.ok) << run.problem;
    const Vec4 want = {1, 6, 6, 16};
    for (int k = 0; k < 4; ++k) EXPECT_EQ(run.outputs.at({kColor, 0})[k], want[k]) << k;
}

TEST(Ps2Rules, ComparisonsChooseBetweenLiteralZeroAndOne) {
    for (DWORD flags : {0u, 0x08u}) {
        const Compiled shader =
            Ps2("float4 main(float4 uv : TEXCOORD0, float4 w : TEXCOORD1) : COLOR { return uv < w; }", flags);
        const std::vector<std::string> lines = Lines(shader);
        std::string literal;
        for (const std::string& line : lines)
            if (Mnemonic(line) == "def" && line.find("0, 1, 0, 0") != std::string::npos) literal = Operands(line)[0];
        ASSERT_FALSE(literal.empty()) << Join(lines);
        int choices = 0;
        for (const std::string& line : lines) {
            if (Mnemonic(line).compare(0, 3, "cmp") != 0) continue;
            const std::vector<std::string> ops = Operands(line);
            ASSERT_EQ(ops.size(), 4u) << line;
            EXPECT_EQ(ops[2], literal + ".x") << line;  // a - b >= 0: not less
            EXPECT_EQ(ops[3], literal + ".y") << line;
            ++choices;
        }
        EXPECT_EQ(choices, 1) << Join(lines);
        // The difference keeps the precision of what it compares.
        for (const std::string& line : lines) {
            if (Mnemonic(line).compare(0, 3, "add") == 0) {
                EXPECT_EQ(Mnemonic(line), "add") << line;
            }
        }
    }
}

// A comparison read only to choose between two values is the difference the
// cmp tests: one add and one cmp.
TEST(Ps2Rules, ChoicesOnAComparisonTestTheDifference) {
    struct Case {
        const char* expression;
        Vec4 expected;
    };
    const Vec4 uv = {0.25f, 0.75f, 0.5f, 2.0f}, w = {0.5f, 0.75f, -1.0f, 2.5f}, colour = {0.1f, 0.2f, 0.3f, 0.4f};
    const Case cases[] = {
        {"uv < w ? colour : w", {colour[0], w[1], w[2], colour[3]}},
        {"uv >= w ? colour : uv", {uv[0], colour[1], colour[2], uv[3]}},
        {"uv > w ? colour : -uv", {-uv[0], -uv[1], colour[2], -uv[3]}},
    };
    for (const Case& c : cases) {
        const Compiled shader = Ps2(std::string("float4 main(float4 uv : TEXCOORD0, float4 w : TEXCOORD1, "
                                                "float4 colour : COLOR0) : COLOR { return ") +
                                    c.expression + "; }");
        int adds = 0, choices = 0;
        for (const std::string& line : Lines(shader)) {
            adds += Mnemonic(line) == "add";
            choices += Mnemonic(line) == "cmp";
        }
        EXPECT_EQ(adds, 1) << c.expression << "\n" << Join(Lines(shader));
        EXPECT_EQ(choices, 1) << c.expression << "\n" << Join(Lines(shader));
        const ShaderRun run = RunPixel(shader, {{{kTexcoord, 0}, uv}, {{kTexcoord, 1}, w}, {{kColor, 0}, colour}});
        ASSERT_TRUE(run.ok) << run.problem;
        for (int k = 0; k < 4; ++k) EXPECT_FLOAT_EQ(run.outputs.at({kColor, 0})[k], c.expected[k]) << c.expression << " " << k;
    }
}

TEST(Ps2Rules, ReadPortsAndOutputMoves) {
    const char* sources[] = {
        "float4 main(float4 uv : TEXCOORD0) : COLOR { return uv * a + b; }",
        "float4 main(float4 c0 : COLOR0, float4 c1 : COLOR1) : COLOR { return c0 * c1 + c0.wzyx; }",
        "float4 main(float4 uv : TEXCOORD0) : COLOR { return a * b * 0.5 + uv; }",
        "struct O { float4 c0 : COLOR0; float4 c1 : COLOR1; float d : DEPTH; };"
        "O main(float4 uv : TEXCOORD0) { O o; o.c0 = uv * a; o.c1 = saturate(uv + b); o.d = uv.z * 0.5; return o; }",
    };
    const Vec4 uv = {0.25f, 0.5f, 0.75f, 1.0f};
    for (const char* body : sources) {
        for (DWORD flags : {0u, 0x08u}) {
            const Compiled shader = Ps2(std::string(kHeader) + body, flags);
            const std::vector<std::string> lines = Lines(shader);
            std::set<std::string> outputs;
            for (const std::string& line : lines) {
                const std::vector<std::string> ops = Operands(line);
                if (ops.empty() || Mnemonic(line).compare(0, 3, "dcl") == 0 || Mnemonic(line) == "def") continue;
                std::set<std::string> constants, colours;
                int constantOperands = 0;
                for (size_t k = 1; k < ops.size(); ++k) {
                    const std::string reg = Register(ops[k]);
                    if (reg[0] == 'c') constants.insert(reg), ++constantOperands;
                    if (reg[0] == 'v') colours.insert(reg);
                }
                EXPECT_LE(constants.size(), 1u) << line;
                EXPECT_LE(constantOperands, 2) << line;
                EXPECT_LE(colours.size(), 1u) << line;
                if (ops[0][0] == 'o') {
                    EXPECT_EQ(Mnemonic(line).substr(0, 3), "mov") << line;
                    const bool first = outputs.insert(Register(ops[0])).second;
                    if (!flags) {
                        EXPECT_TRUE(first) << "written twice: " << line;
                    }
                }
            }
            const ShaderRun run = RunPixel(shader, {{{kTexcoord, 0}, uv}, {{kColor, 0}, uv}, {{kColor, 1}, uv}},
                                           {{"a", {1, 2, 3, 4}}, {"b", {-1, 0.5f, 2, 0}}});
            ASSERT_TRUE(run.ok) << body << ": " << run.problem;
        }
    }
}

TEST(Ps2Rules, DeclarationsAndInstructionLengths) {
    const Compiled shader = Ps2(std::string(kHeader) +
                                "float4 main(float4 t3 : TEXCOORD3, float4 t1 : TEXCOORD1, float4 c1 : COLOR1, "
                                "float4 c0 : COLOR0) : COLOR { return tex2D(s, t3.xy) * c1.x + c0 + t1.xyzz; }");
    std::vector<std::string> declared;
    for (const std::string& line : Lines(shader))
        if (Mnemonic(line).compare(0, 3, "dcl") == 0) declared.push_back(line);
    const std::vector<std::string> want = {"dcl v0", "dcl v1.x", "dcl t1.xyz", "dcl t3.xy", "dcl_2d s0"};
    EXPECT_EQ(declared, want) << Join(Lines(shader));
    // Walking the lengths lands exactly on the end token.
    size_t i = 1;
    while (i < shader.code.size() && shader.code[i] != 0x0000FFFF) {
        const DWORD token = shader.code[i];
        if ((token & 0xFFFF) == 0xFFFE) i += 1 + (token >> 16);
        else i += 1 + ((token >> 24) & 0xF);
    }
    EXPECT_EQ(i + 1, shader.code.size());
}

TEST(Ps2Rules, WhatThePixelModelCannotDo) {
    struct Case {
        const char* source;
        const char* line;
    };
    const Case cases[] = {
        {"float4 k[4]; float4 main(float4 uv : TEXCOORD0) : COLOR { return k[uv.x]; }",
         "error X4511: relative addressing not allowed for pixel shaders"},
        {"float4 main(float4 uv : TEXCOORD0) : COLOR { return noise(uv.xy); }",
         "error X4532: cannot map expression to pixel shader instruction set"},
        {"float4 main(float4 uv : TEXCOORD0, out float4 c2 : COLOR2) : COLOR { c2 = uv; return uv; }",
         "error X4538: COLOR outputs must be contiguous from COLOR0 to COLORn"},
        {"void main(float4 uv : TEXCOORD0, out float4 c : COLOR0, out float3 d : COLOR1) { c = uv; d = uv.xyz; }",
         "error X4529: COLOR1 must be a four-component vector"},
    };
    for (const Case& c : cases) {
        const Compiled shader = CompileHlsl(c.source, "ps_2_0");
        EXPECT_FALSE(shader.Ok()) << c.source;
        EXPECT_NE(MessagesWithoutFile(shader.messages).find(std::string(c.line) + "\n"), std::string::npos)
            << c.source << "\n"
            << shader.messages;
    }
}

}  // namespace

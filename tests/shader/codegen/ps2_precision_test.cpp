// Partial precision in ps_2_0: an instruction whose results all carry a low
// or medium precision class is written with _pp, and a texture coordinate
// read only at such a class is declared with _pp. The programs are built
// directly, with the precision classes set on their arguments.
#include <gtest/gtest.h>

#include "codegen_harness.h"
#include "shader/backend/codegen/codegen_stage.h"
#include "shader/bytecode/disassembler.h"
#include "shader/frontend/program_tree.h"

namespace {

struct PrecisionProgram {
    uint32_t input = 0;   // precision class of the texture coordinate
    uint32_t product = 0;  // of the product
    uint32_t output = 0;   // of the colour output
};

// COLOR0 = t0 * t0 + t0.yxzw read as separate steps, with the classes given.
Compiled Build(const PrecisionProgram& classes, std::string* disassembly) {
    static hlsl::VarDecl texcoord, colour;
    texcoord.semantics = {"TEXCOORD0"};
    colour.semantics = {"COLOR0"};
    std::unique_ptr<codegen::CodeGenerator> gen = codegen::CreateCodeGenerator(0xFFFF0200);
    ErrorLog log;
    Compiled result;
    if (!gen || FAILED(gen->Initialize(nullptr, &log, 0xFFFF0200, 0, "main"))) return result;
    int in[4], product[4], out[4];
    for (int c = 0; c < 4; ++c) {
        in[c] = gen->AddArgument(kPoolInputs, 0, c, 0);
        gen->args[in[c]].semanticNode = &texcoord;
        gen->args[in[c]].flags |= classes.input;
        product[c] = gen->AddArgument(kPoolTemps, -1, -1, 0);
        gen->args[product[c]].flags |= classes.product;
        out[c] = gen->AddArgument(kPoolOutputs, 0, c, 0);
        gen->args[out[c]].semanticNode = &colour;
        gen->args[out[c]].flags |= classes.output;
    }
    const int mul = gen->AddInstruction(MakeOp(kOpMul, 4));
    const int add = gen->AddInstruction(MakeOp(kOpAdd, 4));
    const int swizzled[4] = {in[1], in[0], in[2], in[3]};
    for (int c = 0; c < 4; ++c) {
        gen->instructions[mul].inputs[c] = in[c];
        gen->instructions[mul].inputs[4 + c] = in[c];
        gen->instructions[mul].outputs[c] = product[c];
        gen->instructions[add].inputs[c] = product[c];
        gen->instructions[add].inputs[4 + c] = swizzled[c];
        gen->instructions[add].outputs[c] = out[c];
    }
    IKLBuffer* code = nullptr;
    result.hr = gen->Generate(&code);
    result.messages = log.Text();
    if (code) {
        const DWORD* tokens = static_cast<const DWORD*>(code->GetBufferPointer());
        result.code.assign(tokens, tokens + code->GetBufferSize() / 4);
        code->Release();
        DisassemblyError error;
        DisassembleShader(result.code.data(), result.code.size() * 4, DisassemblyOptions{false}, disassembly, &error);
    }
    return result;
}

int Count(const std::string& text, const std::string& what) {
    int n = 0;
    for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) ++n;
    return n;
}

TEST(Ps2Precision, PartialPrecisionFollowsTheClasses) {
    struct Case {
        PrecisionProgram classes;
        int declared;       // "dcl_pp t0"
        bool arithmetic;    // the arithmetic carries _pp
    };
    const Case cases[] = {
        {{0, 0, 0}, 0, false},
        {{kValuePrecisionLow, kValuePrecisionLow, kValuePrecisionLow}, 1, true},
        {{kValuePrecisionMedium, kValuePrecisionMedium, kValuePrecisionMedium}, 1, true},
        {{kValuePrecisionFull, kValuePrecisionFull, kValuePrecisionFull}, 0, false},
        // Merged classes: the lowest set bit wins.
        {{kValuePrecisionLow | kValuePrecisionFull, kValuePrecisionLow | kValuePrecisionFull,
          kValuePrecisionLow | kValuePrecisionFull},
         1, true},
        // A full-precision input with half results: the declaration stays full.
        {{kValuePrecisionFull, kValuePrecisionLow, kValuePrecisionLow}, 0, true},
    };
    for (const Case& c : cases) {
        std::string text;
        const Compiled shader = Build(c.classes, &text);
        const std::string what = std::to_string(c.classes.input) + "/" + std::to_string(c.classes.output);
        ASSERT_TRUE(shader.Ok()) << what << ": " << shader.messages;
        EXPECT_EQ(Count(text, "dcl_pp t0"), c.declared) << what << "\n" << text;
        if (c.arithmetic) {
            EXPECT_GE(Count(text, "mad_pp") + Count(text, "add_pp"), 1) << what << "\n" << text;
            EXPECT_EQ(Count(text, "mov oC0") + Count(text, "add oC0") + Count(text, "mad r"), 0) << what << "\n" << text;
        } else {
            EXPECT_EQ(Count(text, "_pp"), 0) << what << "\n" << text;
        }
        // The numbers do not depend on the modifier on this device.
        const Vec4 t = {0.5f, -2.0f, 3.0f, 0.25f};
        const ShaderRun run = RunPixel(shader, {{{kTexcoord, 0}, t}});
        ASSERT_TRUE(run.ok) << run.problem;
        const Vec4 want = {t[0] * t[0] + t[1], t[1] * t[1] + t[0], t[2] * t[2] + t[2], t[3] * t[3] + t[3]};
        for (int k = 0; k < 4; ++k) EXPECT_NEAR(run.outputs.at({kColor, 0})[k], want[k], 1e-5f) << what << " " << k;
    }
}

// The same rules reached from half-precision source: half inputs are
// declared _pp, half arithmetic and half results carry _pp, and whatever a
// float value reaches stays full.
TEST(Ps2Precision, HalfValuesInSource) {
    struct Case {
        const char* source;
        std::vector<const char*> partial;  // instruction prefixes that carry _pp
        std::vector<const char*> full;     // and ones that must not
        Vec4 expected;
    };
    const Vec4 uv = {0.5f, -0.25f, 0.75f, 2.0f}, w = {2.0f, 4.0f, -1.0f, 0.5f};
    const Case cases[] = {
        {"half4 main(half4 uv : TEXCOORD0) : COLOR { return uv * uv.wzyx; }",
         {"dcl_pp t0", "mul_pp", "mov_pp oC0"}, {},
         {uv[0] * uv[3], uv[1] * uv[2], uv[2] * uv[1], uv[3] * uv[0]}},
        {"float4 main(half4 uv : TEXCOORD0, float4 w : TEXCOORD1) : COLOR { return uv * w; }",
         {"dcl_pp t0"}, {"dcl_pp t1", "mul_pp", "mov_pp"},
         {uv[0] * w[0], uv[1] * w[1], uv[2] * w[2], uv[3] * w[3]}},
        {"half4 main(half4 uv : TEXCOORD0) : COLOR { return saturate(uv * 2); }",
         {"mul_sat_pp", "mov_pp oC0"}, {"min", "max"},
         {1, 0, 1, 1}},
    };
    for (const Case& c : cases) {
        const Compiled shader = CompileHlsl(c.source, "ps_2_0");
        ASSERT_TRUE(shader.Ok()) << c.source << ": " << shader.messages;
        std::string text;
        DisassemblyError error;
        ASSERT_EQ(S_OK, DisassembleShader(shader.code.data(), shader.code.size() * 4, DisassemblyOptions{false}, &text,
                                          &error));
        for (const char* p : c.partial) EXPECT_GE(Count(text, std::string("    ") + p), 1) << c.source << " " << p << "\n" << text;
        for (const char* f : c.full) EXPECT_EQ(Count(text, std::string("    ") + f), 0) << c.source << " " << f << "\n" << text;
        const ShaderRun run = RunPixel(shader, {{{kTexcoord, 0}, uv}, {{kTexcoord, 1}, w}});
        ASSERT_TRUE(run.ok) << run.problem;
        for (int k = 0; k < 4; ++k) EXPECT_NEAR(run.outputs.at({kColor, 0})[k], c.expected[k], 1e-3f) << c.source << " " << k;
    }
}

}  // namespace

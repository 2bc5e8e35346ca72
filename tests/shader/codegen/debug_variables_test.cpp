// Variable records of the debug information, read back from compiled
// programs: which variables are listed, and that every write record names an
// instruction whose destination holds the components it claims.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>

#include "codegen_harness.h"
#include "gfx/shaders/shader_isa.h"
#include "shader/bytecode/bytecode_reader.h"
#include "shader/bytecode/comment_block_builder.h"
#include "shader/bytecode/debug_info_reader.h"

using namespace gfx::isa;

namespace {

DebugInfoView ReadDebug(const Compiled& c) {
    const void* data = nullptr;
    uint32_t size = 0;
    DebugInfoView info;
    EXPECT_EQ(S_OK, FindCommentBlock(c.code.data(), c.code.size() * 4, kTagDebugInfo, &data, &size));
    if (data) {
        EXPECT_EQ(S_OK, ReadDebugInfo(data, size, &info));
    }
    return info;
}

const DebugVariableView* Find(const DebugInfoView& info, const std::string& name) {
    for (const DebugVariableView& v : info.variables)
        if (v.name == name) return &v;
    return nullptr;
}

// The destination token of the instruction a write record names.
uint32_t DestinationOf(const Compiled& c, const DebugInfoView& info, const DbugWriteRecord& w) {
    const uint32_t at = info.instructions[w.instruction].byteOffset / 4;
    EXPECT_LT(at + 1, c.code.size());
    if (at + 1 >= c.code.size()) return 0;
    EXPECT_EQ(0u, c.code[at] & 0x80000000u) << "not an instruction token";
    return c.code[at + 1];
}

const char kSource[] =
    "float4 Scale;\n"
    "void main(float4 p : POSITION, out float4 o : POSITION, out float2 t : TEXCOORD0)\n"
    "{\n"
    "    o = p * Scale;\n"
    "    t = p.yx;\n"
    "}\n";

TEST(DebugVariables, WriteRecordsNameTheWritingInstructions) {
    for (const char* profile : {"vs_1_1", "vs_2_0"}) {
        SCOPED_TRACE(profile);
        const Compiled c = CompileHlsl(kSource, profile, "main", 0x01);
        ASSERT_TRUE(c.Ok()) << c.messages;
        const DebugInfoView info = ReadDebug(c);
        EXPECT_EQ("main", info.entryName);

        // Parameters are listed whether written or not; a uniform global is not.
        EXPECT_EQ(nullptr, Find(info, "Scale"));
        const DebugVariableView* p = Find(info, "p");
        ASSERT_NE(nullptr, p);
        EXPECT_EQ("float4 p : POSITION", p->declaration);
        EXPECT_TRUE(p->writes.empty());
        const DebugVariableView* t = Find(info, "t");
        ASSERT_NE(nullptr, t);
        EXPECT_EQ("float2 t : TEXCOORD0", t->declaration);
        EXPECT_EQ(uint16_t(ParameterClass::Vector), t->type.parameterClass);
        EXPECT_EQ(2, t->type.columns);

        struct Expect {
            const DebugVariableView* variable;
            uint32_t type, number;
            uint16_t components[4];
        };
        const Expect outputs[] = {
            {Find(info, "o"), REG_RASTOUT, 0, {0, 1, 2, 3}},
            {t, REG_TEXCRDOUT, 0, {0, 1, 0xFFFF, 0xFFFF}},
        };
        for (const Expect& e : outputs) {
            ASSERT_NE(nullptr, e.variable);
            ASSERT_FALSE(e.variable->writes.empty()) << e.variable->name;
            uint32_t previous = 0;
            for (const DbugWriteRecord& w : e.variable->writes) {
                ASSERT_LT(w.instruction, info.instructions.size());
                EXPECT_GE(w.instruction, previous) << "write records in program order";
                previous = w.instruction;
                // Every component named is one the instruction writes.
                const uint32_t dest = DestinationOf(c, info, w);
                for (int k = 0; k < 4; ++k)
                    if (w.components[k] != 0xFFFF) {
                        EXPECT_TRUE(WriteMaskOf(dest) & (1u << k)) << e.variable->name << " component " << k;
                        EXPECT_LT(w.components[k], 4) << e.variable->name;
                    }
            }
            // The last write is the one into the output register.
            const DbugWriteRecord last = e.variable->writes.back();
            const uint32_t dest = DestinationOf(c, info, last);
            EXPECT_EQ(e.type, RegisterTypeOf(dest)) << e.variable->name;
            EXPECT_EQ(e.number, RegisterNumberOf(dest)) << e.variable->name;
            for (int k = 0; k < 4; ++k) EXPECT_EQ(e.components[k], last.components[k]) << e.variable->name << k;
        }
    }
}

TEST(DebugVariables, LocalsAreListedWithTheInstructionsThatCompute) {
    const Compiled c = CompileHlsl(
        "float4 Scale;\n"
        "float4 main(float4 p : POSITION) : POSITION\n"
        "{\n"
        "    float4 a = p * Scale;\n"
        "    return a * a.yzwx;\n"
        "}\n", "vs_2_0", "main", 0x01);
    ASSERT_TRUE(c.Ok()) << c.messages;
    const DebugInfoView info = ReadDebug(c);
    const DebugVariableView* a = Find(info, "a");
    ASSERT_NE(nullptr, a);
    EXPECT_EQ("float4 a", a->declaration);
    ASSERT_EQ(1u, a->writes.size());
    // The multiply by Scale computes all four components of a.
    const DbugWriteRecord& w = a->writes[0];
    const uint32_t at = info.instructions[w.instruction].byteOffset / 4;
    EXPECT_EQ(uint32_t(OP_MUL), c.code[at] & 0xFFFF);
    std::vector<uint16_t> components(w.components, w.components + 4);
    std::sort(components.begin(), components.end());
    EXPECT_EQ((std::vector<uint16_t>{0, 1, 2, 3}), components);
    EXPECT_EQ(uint32_t(REG_CONST), RegisterTypeOf(c.code[at + 3]));
}

TEST(DebugVariables, TooLargeForOneCommentIsLeftOutWithAWarning) {
    // The source text alone exceeds the 0x8000 tokens of a comment.
    const std::string source = "// " + std::string(140000, '=') + "\n" + kSource;
    const Compiled c = CompileHlsl(source, "vs_2_0", "main", 0x01);
    ASSERT_TRUE(c.Ok()) << c.messages;
    EXPECT_EQ("warning X4547: debug info exceeds maximum comment size; no debug info emitted\n", c.messages);
    const void* data = nullptr;
    uint32_t size = 0;
    EXPECT_EQ(S_FALSE, FindCommentBlock(c.code.data(), c.code.size() * 4, kTagDebugInfo, &data, &size));
    EXPECT_EQ(CompileHlsl(source, "vs_2_0", "main", 0).code, c.code);
}

// Naming values after their variables must not change the program: the
// debug build is the plain build plus its debug block.
TEST(DebugVariables, DebugBuildIsThePlainProgramPlusItsBlock) {
    const char* sources[] = {
        kSource,
        "float4x4 M;\n"
        "float4 main(float4 p : POSITION, out float4 c : COLOR0) : POSITION\n"
        "{ float4 q = mul(p, M); c = q.wzyx * 0.5; return q; }\n",
    };
    for (const char* source : sources)
        for (const char* profile : {"vs_1_1", "vs_2_0"}) {
            const Compiled plain = CompileHlsl(source, profile, "main", 0);
            const Compiled debug = CompileHlsl(source, profile, "main", 0x01);
            ASSERT_TRUE(plain.Ok() && debug.Ok()) << plain.messages << debug.messages;
            // The debug block comes right after the version token.
            ASSERT_GT(debug.code.size(), 2u);
            ASSERT_EQ(0xFFFEu, debug.code[1] & 0xFFFF);
            ASSERT_EQ(kTagDebugInfo, debug.code[2]);
            const size_t blockTokens = ((debug.code[1] >> 16) & 0x7FFF) + 1;
            std::vector<DWORD> stripped(debug.code.begin(), debug.code.begin() + 1);
            stripped.insert(stripped.end(), debug.code.begin() + 1 + std::ptrdiff_t(blockTokens), debug.code.end());
            EXPECT_EQ(plain.code, stripped) << profile << "\n" << source;
        }
}

TEST(DebugVariables, InstructionRecordsPointAtEveryInstruction) {
    const Compiled c = CompileHlsl(kSource, "vs_2_0", "main", 0x01);
    ASSERT_TRUE(c.Ok()) << c.messages;
    const DebugInfoView info = ReadDebug(c);
    // def, dcl and body instructions, each at an instruction token, in order.
    size_t instructions = 0;
    for (size_t i = 1; i < c.code.size() - 1;) {
        const uint32_t token = c.code[i];
        if ((token & 0xFFFF) == 0xFFFE) {
            i += 1 + ((token >> 16) & 0x7FFF);
            continue;
        }
        ASSERT_LT(instructions, info.instructions.size());
        EXPECT_EQ(i * 4, info.instructions[instructions].byteOffset);
        ++instructions;
        i += 1 + ((token >> 24) & 0xF);
    }
    EXPECT_EQ(instructions, info.instructions.size());
    // The source text travels with it, as handed to the compile.
    EXPECT_TRUE(info.hasSource);
    EXPECT_EQ(kSource, info.source);
    // A source in memory has no file name: no record points into the file list.
    EXPECT_TRUE(info.files.empty());
    for (const DbugInstructionRecord& r : info.instructions) EXPECT_EQ(0xFFFF, r.fileIndex);
}

}  // namespace

// Locals that are computed, combined with each other and written out keep
// their write records through the optimiser: merged, squeezed and gathered
// values still name the variable they were stored into.
TEST(DebugVariables, EveryComputedLocalKeepsItsWrites) {
    struct Case {
        const char* source;
        std::vector<std::string> locals;
    };
    const Case cases[] = {
        {"float4 Scale;\n"
         "float4 main(float4 p : POSITION) : POSITION\n"
         "{ float4 a = p * Scale; float4 b = a.yzwx + a; return b * a; }\n",
         {"a", "b"}},
        {"float4 Scale, Bias;\n"
         "float4x4 M;\n"
         "void main(float4 p : POSITION, float3 n : NORMAL, out float4 o : POSITION,\n"
         "          out float4 col : COLOR0, out float2 t : TEXCOORD0)\n"
         "{\n"
         "    float4 a = mul(p, M);\n"
         "    float4 b = a * Scale + Bias;\n"
         "    float3 c = normalize(n) * b.w;\n"
         "    float d = dot(c, b.xyz);\n"
         "    float2 e = c.xy * d + a.zw;\n"
         "    o = a;\n"
         "    col = float4(c, d);\n"
         "    t = e * e.yx;\n"
         "}\n",
         {"a", "b", "c", "d", "e"}},
        {"float4 Scale;\n"
         "void main(float4 p : POSITION, out float4 o : POSITION, out float4 col : COLOR0)\n"
         "{\n"
         "    float x = p.x * Scale.x;\n"
         "    float y = p.y * Scale.x;\n"
         "    float z = x * y;\n"
         "    float w = x * y + Scale.w;\n"
         "    o = float4(x, y, z, w);\n"
         "    col = float4(z, z, w, x);\n"
         "}\n",
         {"x", "y", "z", "w"}},
        // Values the optimiser replaces by the unnamed value they copy.
        {"float4 Scale, Bias;\n"
         "void main(float4 p : POSITION, out float4 o : POSITION, out float4 col : COLOR0)\n"
         "{\n"
         "    float4 a = p * Scale;\n"
         "    float4 b = (a * Bias) + 0;\n"
         "    float4 c = max(b.yxwz * a, b.yxwz * a);\n"
         "    float4 d = -(-(c + a));\n"
         "    o = d * b;\n"
         "    col = c;\n"
         "}\n",
         {"a", "b", "c", "d"}},
        // A variable that first holds a copy of another keeps its own name
        // for what is computed into it afterwards.
        {"float4 Bias;\n"
         "void main(float4 p : POSITION, out float4 o : POSITION)\n"
         "{\n"
         "    float4 a = p * Bias;\n"
         "    float4 b = a;\n"
         "    b.x = a.y * Bias.x;\n"
         "    o = a + b;\n"
         "}\n",
         {"a", "b"}},
    };
    for (const Case& test : cases) {
        SCOPED_TRACE(test.source);
        const Compiled c = CompileHlsl(test.source, "vs_2_0", "main", 0x01);
        ASSERT_TRUE(c.Ok()) << c.messages;
        const DebugInfoView info = ReadDebug(c);
        for (const std::string& name : test.locals) {
            const DebugVariableView* v = Find(info, name);
            ASSERT_NE(nullptr, v) << name << " is not listed";
            EXPECT_FALSE(v->writes.empty()) << name << " has no write record";
            for (const DbugWriteRecord& w : v->writes) {
                ASSERT_LT(w.instruction, info.instructions.size()) << name;
                const uint32_t mask = WriteMaskOf(DestinationOf(c, info, w));
                bool any = false;
                for (int k = 0; k < 4; ++k) {
                    if (w.components[k] == 0xFFFF) continue;
                    any = true;
                    EXPECT_TRUE(mask & (1u << k)) << name << " component " << k << " is not written";
                }
                EXPECT_TRUE(any) << name << " write record names no component";
            }
        }
    }
}

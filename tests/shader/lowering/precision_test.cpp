// Precision classes the lowering gives its arguments: half and bool values
// are low, float values full, and a computation keeps the class of the type
// it produces, except that tests on numbers run at the numbers' class.
#include <gtest/gtest.h>

#include <set>

#include "lowering_util.h"

namespace {

uint32_t ClassOf(const IntermediateProgram& p, int32_t arg) {
    const uint32_t bits = p.args[arg].flags & kValuePrecisionMask;
    return bits & (~bits + 1);
}

// The classes of the outputs of every instruction with operation `code`.
std::set<uint32_t> OutputClasses(const LoweredShader& s, uint32_t code) {
    std::set<uint32_t> classes;
    for (const IrInstruction& inst : s.program.instructions)
        if (inst.code() == code)
            for (int32_t out : inst.outputs) classes.insert(ClassOf(s.program, out));
    return classes;
}

const std::set<uint32_t> kLow = {kValuePrecisionLow};
const std::set<uint32_t> kFull = {kValuePrecisionFull};

TEST(PrecisionClasses, OperationsTakeTheClassOfTheirType) {
    struct Case {
        const char* body;
        uint32_t code;
        std::set<uint32_t> classes;
    } cases[] = {
        {"half h = p.x; return exp2(h);", kOpExp2, kLow},
        {"return exp2(p.x);", kOpExp2, kFull},
        {"half h = p.x; return log2(h * h);", kOpLog2, kLow},
        {"half h = p.x; return h * p.y;", kOpMul, kFull},        // half and float mix to float
        {"half h = p.x; return exp2(h + 0.5);", kOpExp2, kLow},  // a float literal adopts half
        {"half h = p.x; return h + 1.5h;", kOpAdd, kLow},
        {"double d = p.x; return d * p.y;", kOpMul, kFull},
        {"return p.x < p.y;", kOpSetLess, kLow},  // comparisons give 0 or 1 of the lowest class
        {"int i = p.x; return i * 3;", kOpMul, kFull},
    };
    for (const Case& c : cases) {
        const std::string source = std::string("float main(float4 p : POSITION) : PSIZE { ") + c.body + " }";
        auto s = LowerSource(source);
        ASSERT_TRUE(s->Ok()) << c.body << "\n" << s->log;
        EXPECT_EQ(OutputClasses(*s, c.code), c.classes) << c.body;
    }
}

TEST(PrecisionClasses, VariablesCarryTheClassOfTheirComponents) {
    const char* source = R"(
        half4 tint; float4 scale; bool enabled;
        struct In { half2 uv : TEXCOORD0; float4 pos : POSITION; };
        float4 main(In i) : POSITION { return i.pos * scale + float4(i.uv, 0, 0) * tint * enabled; })";
    auto s = LowerSource(source);
    ASSERT_TRUE(s->Ok()) << s->log;
    std::map<std::string, std::set<uint32_t>> byName;
    for (size_t a = 0; a < s->program.args.size(); ++a) {
        const IrArgument& arg = s->program.args[a];
        if (arg.pool >= kStandardPoolCount && arg.name) byName[arg.name].insert(ClassOf(s->program, int32_t(a)));
    }
    EXPECT_EQ(byName["tint"], kLow);
    EXPECT_EQ(byName["scale"], kFull);
    EXPECT_EQ(byName["enabled"], kLow);
    EXPECT_EQ(byName["uv"], kLow);
    EXPECT_EQ(byName["pos"], kFull);
    // Every temporary the lowering made has exactly one class.
    for (const IrInstruction& inst : s->program.instructions)
        for (int32_t out : inst.outputs) EXPECT_NE(s->program.args[out].flags & kValuePrecisionMask, 0u);
}

// A float tested for being non-zero inside a half expression, and float
// variables merged after an "if" on a half: neither may lose the float's
// precision to the half around it.
TEST(PrecisionClasses, TestsAndMergesKeepTheClassOfWhatTheyTest) {
    const char* source = R"(
        float4 main(float4 p : POSITION, half w : TEXCOORD0) : POSITION {
            half h = w * w;
            half r = p.x ? h : -h;
            float4 v = p;
            if (h) v.y = p.z * 3;
            return float4(r, v.y, 0, 1);
        })";
    auto s = LowerSource(source);
    ASSERT_TRUE(s->Ok()) << s->log;
    // max(x, -x) tests p.x (full) and h (low); the merge of v.y is full.
    EXPECT_EQ(OutputClasses(*s, kOpMax), std::set<uint32_t>({kValuePrecisionLow, kValuePrecisionFull}));
    const std::set<uint32_t> adds = OutputClasses(*s, kOpAdd);
    EXPECT_TRUE(adds.count(kValuePrecisionFull)) << "merge of v.y";
    const Evaluation e = Evaluate(s->program, {{"POSITION", {0, 0, 2, 0}}, {"TEXCOORD0", {1, 0, 0, 0}}}, {});
    ASSERT_TRUE(e.ok) << e.problem;
    EXPECT_DOUBLE_EQ(e.outputs.at("POSITION")[0], -1);
    EXPECT_DOUBLE_EQ(e.outputs.at("POSITION")[1], 6);
}

}  // namespace

// The instruction order after vectorising: texture samples go first while
// the temporaries allow, and a program whose hoisted samples would not fit
// still gets an order that does.
#include <gtest/gtest.h>

#include <set>
#include <string>

#include "gfx/shaders/shader_isa.h"
#include "program_builder.h"
#include "shader/backend/negation_reads.h"

namespace {

constexpr uint32_t kSample2D = 0x44;

// sum of `taps` four-component samples at (v0.x + 0.01 i, v0.y), written
// in creation order as sample, add, sample, add...
void AccumulatedSamples(ProgramBuilder& b, int taps) {
    b.p.limits.pixelShader = true;
    b.p.physicalRegisters[kPoolTemps] = 12;
    const int sampler = b.p.AddArgument(kPoolSamplers, 0, 0, 0);
    int sum[4] = {-1, -1, -1, -1};
    for (int i = 0; i < taps; ++i) {
        const int u = b.Calc(kOpAdd, {b.Input(0, 0), b.Lit(0.01 * (i + 1))});
        const int texel[4] = {b.Temp(), b.Temp(), b.Temp(), b.Temp()};
        const int at = b.p.AddInstruction(MakeOp(kSample2D, 2), 4, 4);
        b.p.instructions[at].inputs = {sampler, sampler, u, b.Input(0, 1)};
        b.p.instructions[at].outputs.assign(texel, texel + 4);
        for (int c = 0; c < 4; ++c) sum[c] = i ? b.Calc(kOpAdd, {sum[c], texel[c]}) : texel[c];
    }
    b.Op(kOpMove, {b.Output(0, 0), b.Output(0, 1), b.Output(0, 2), b.Output(0, 3)}, {sum[0], sum[1], sum[2], sum[3]});
}

// Every register component an instruction reads was written earlier.
void ExpectWritesBeforeReads(const IntermediateProgram& p) {
    std::set<std::pair<int32_t, int32_t>> written;
    for (size_t i = 0; i < p.instructions.size(); ++i) {
        for (int32_t in : p.instructions[i].inputs) {
            const IrArgument& a = p.args[in];
            if (a.pool == kPoolTemps) {
                EXPECT_TRUE(written.count({a.reg, a.component})) << "instruction " << i;
            }
        }
        for (int32_t out : p.instructions[i].outputs)
            if (p.args[out].pool == kPoolTemps) written.insert({p.args[out].reg, p.args[out].component});
    }
}

// Samples before the first add of two temporaries (the first sum).
int SamplesBeforeFirstSum(const std::string& dump) {
    int count = 0;
    size_t start = 0;
    for (size_t end; (end = dump.find('\n', start)) != std::string::npos; start = end + 1) {
        const std::string line = dump.substr(start, end - start);
        if (line.rfind("add", 0) == 0 && line.find("<- r") != std::string::npos) break;
        count += line.rfind("sample", 0) == 0;
    }
    return count;
}

TEST(Reorder, SamplesAreHoistedWhileTheTemporariesAllow) {
    ProgramBuilder b;
    AccumulatedSamples(b, 4);
    ASSERT_EQ(S_OK, b.p.RunPipeline()) << b.log.Text();
    // All four samples come before the first sum.
    const std::string dump = b.Dump();
    EXPECT_EQ(4, SamplesBeforeFirstSum(dump)) << dump;
    ExpectWritesBeforeReads(b.p);
}

TEST(Reorder, ManySamplesGetAnOrderThatFits) {
    for (int taps : {14, 24}) {
        SCOPED_TRACE(taps);
        ProgramBuilder b;
        AccumulatedSamples(b, taps);
        ASSERT_EQ(S_OK, b.p.RunPipeline()) << b.log.Text();
        ExpectWritesBeforeReads(b.p);
        // One temporary stays free for the code generator's scratch.
        for (const IrInstruction& inst : b.p.instructions) EXPECT_LE(inst.liveBefore, 11) << b.Dump();
    }
}

}  // namespace

namespace {

bool Negated(const IrArgument& a) { return ((a.flags & kValueSourceModifierMask) >> 16) == gfx::isa::SRCMOD_NEG; }

// Before the packing, a negation read only as whole operands of instructions
// that take the negate modifier becomes that modifier on its input, so it
// needs no register; one read by a dot product, or whose input is written
// again before a reader, stays.
TEST(Reorder, NegationsReadThroughModifiersAreFolded) {
    ProgramBuilder b;
    auto temp = [&](int reg) { return b.p.AddArgument(kPoolTemps, reg, 0, 0); };
    const int x = temp(0), folded = temp(1), sum = temp(2), kept = temp(3), dot = temp(4);
    const int y = temp(5), late = temp(6), product = temp(7);
    b.Op(kOpMove, {x}, {b.Const(0, 0)});
    b.Op(kOpMove, {y}, {b.Const(0, 1)});
    const int foldedAt = b.Op(kOpNegate, {folded}, {x});
    const int addAt = b.Op(kOpAdd, {sum}, {b.Const(1, 0), folded});
    const int keptAt = b.Op(kOpNegate, {kept}, {x});
    b.Op(kOpDot, {dot}, {kept, b.Const(2, 0)});
    const int lateAt = b.Op(kOpNegate, {late}, {y});
    b.Op(kOpMove, {temp(5)}, {b.Const(3, 0)});  // y's register written again
    b.Op(kOpMul, {product}, {late, b.Const(3, 1)});
    b.Op(kOpMove, {b.Output(0, 0), b.Output(0, 1), b.Output(0, 2)}, {sum, dot, product});

    EXPECT_TRUE(FoldTemporaryNegations(b.p));
    EXPECT_EQ(kOpEmpty, b.p.instructions[size_t(foldedAt)].code());
    const IrArgument& read = b.p.args[size_t(b.p.instructions[size_t(addAt)].inputs[1])];
    EXPECT_EQ(0, read.reg);
    EXPECT_TRUE(Negated(read));
    EXPECT_EQ(kOpNegate, b.p.instructions[size_t(keptAt)].code());
    EXPECT_EQ(kOpNegate, b.p.instructions[size_t(lateAt)].code());
    EXPECT_FALSE(FoldTemporaryNegations(b.p)) << b.Dump();
}

}  // namespace

// Validation, the whole pipeline, vectorising, literal registers and packing.
#include <gtest/gtest.h>

#include <algorithm>
#include <sstream>

#include "program_builder.h"

namespace {

TEST(Validate, UninitialisedReadsAndPoolMisuse) {
    ProgramBuilder b;
    static const int declaration = 0;
    const int x = b.p.AddArgument(kPoolDiscard, -1, -1, 0);  // a component never assigned
    b.p.args[x].declaration = &declaration;
    b.p.args[x].name = "color";
    const int y = b.p.AddArgument(kPoolDiscard, -1, -1, 0);
    b.p.args[y].declaration = &declaration;
    b.p.args[y].name = "color";
    const int o0 = b.Output(0, 0), o1 = b.Output(0, 1), o2 = b.Output(0, 2), o3 = b.Output(0, 3);
    const int two = b.Lit(2), one = b.Lit(1), anonymous = b.Temp(), constant = b.Const(0, 0), temp = b.Temp();
    const int unwritten = b.Output(1, 0);
    b.Op(kOpAdd, {o0}, {x, y}, 3);
    b.Op(kOpMul, {o1}, {x, two}, 4);
    b.Op(kOpMove, {o2}, {anonymous}, 5);
    b.Op(kOpMove, {constant}, {one}, 6);
    b.Op(kOpMove, {o3}, {one}, 7);
    b.Op(kOpMove, {temp}, {o3}, 8);
    EXPECT_EQ(E_FAIL, ValidateArguments(b.p));
    auto a = [](int arg) { return "(A" + std::to_string(arg) + ")\n"; };
    EXPECT_EQ("test.fx(3): error X4000: variable 'color' used without having been completely initialized\n"
              "test.fx(5): internal error: argument used without having been initialized " + a(anonymous) +
              "test.fx(6): internal error: cannot write to argument pool " + a(constant) +
              "test.fx(8): internal error: cannot read from argument pool " + a(o3) +
              "internal error: output argument was never initialized " + a(unwritten),
              b.log.Text());
}

TEST(Validate, InstructionsNamingMissingArgumentsAreRejected) {
    ProgramBuilder b;
    b.Op(kOpAdd, {b.Output(0, 0)}, {b.Const(0, 0), -1}, 2);
    b.Op(kOpMove, {b.Output(0, 1)}, {999}, 3);
    EXPECT_EQ(E_FAIL, b.p.RunPipeline());
    EXPECT_EQ("test.fx(2): internal error: instruction refers to a missing argument (A-1)\n"
              "test.fx(3): internal error: instruction refers to a missing argument (A999)\n",
              b.log.Text());
}

TEST(Validate, NeverUsedCheckOnlyOnceOptimised) {
    ProgramBuilder b;
    b.Calc(kOpAdd, {b.Const(0, 0), b.Const(0, 1)}, 2);
    b.Op(kOpMove, {b.Output(0, 0)}, {b.Const(1, 0)});
    EXPECT_EQ(S_OK, ValidateArguments(b.p));
    b.p.optimized = true;
    EXPECT_EQ(E_FAIL, ValidateArguments(b.p));
    EXPECT_EQ("test.fx(2): internal error: argument was never used (A2)\n", b.log.Text());
}

// o0 = v0 * c0 + c1, written component by component as the lowering does.
void ScalarMultiplyAdd(ProgramBuilder& b) {
    b.p.physicalRegisters[kPoolTemps] = 12;
    for (int c = 0; c < 4; ++c) {
        const int product = b.Calc(kOpMul, {b.Input(0, c), b.Const(0, c)}, 2);
        b.Op(kOpAdd, {b.Output(0, c)}, {product, b.Const(1, c)}, 2);
    }
}

TEST(Pipeline, ScalarComponentsBecomeVectorInstructions) {
    ProgramBuilder b;
    ScalarMultiplyAdd(b);
    ASSERT_EQ(S_OK, b.p.RunPipeline()) << b.log.Text();
    // Registers are tried in the order 0, 7, 2, 9, ... (k * 7 mod 12).
    EXPECT_EQ("mul[4] r0.x, r0.y, r0.z, r0.w <- v0.x, v0.y, v0.z, v0.w, c0.x, c0.y, c0.z, c0.w\n"
              "add[4] r7.x, r7.y, r7.z, r7.w <- r0.x, r0.y, r0.z, r0.w, c1.x, c1.y, c1.z, c1.w\n"
              "mov[4] o0.x, o0.y, o0.z, o0.w <- r7.x, r7.y, r7.z, r7.w\n",
              b.Dump());
}

TEST(Pipeline, WithoutOptimisationNothingIsGatheredOrReordered) {
    ProgramBuilder b(0xFFFE0200, kCompileSkipOptimization);
    ScalarMultiplyAdd(b);
    ASSERT_EQ(S_OK, b.p.RunPipeline()) << b.log.Text();
    const std::string dump = b.Dump();
    EXPECT_EQ(8, std::count(dump.begin(), dump.end(), '\n')) << dump;
    EXPECT_EQ(0u, dump.find("mul[1]")) << dump;
    EXPECT_NE(std::string::npos, dump.find("add[1] o0.x")) << dump;
}

TEST(Pipeline, FoldingErrorsFailTheCompileAfterCollectingAll) {
    ProgramBuilder b;
    const int first = b.Calc(kOpReciprocal, {b.Lit(0)}, 3);
    const int second = b.Calc(kOpSqrt, {b.Lit(-4)}, 4);
    b.Op(kOpMove, {b.Output(0, 0), b.Output(0, 1)}, {first, second}, 5);
    EXPECT_EQ(E_FAIL, b.p.RunPipeline());
    EXPECT_EQ("test.fx(3): error X4001: division by zero\ntest.fx(4): error X4003: imaginary square root\n",
              b.log.Text());
}

TEST(Pipeline, LiteralsShareOneRegisterComponent) {
    ProgramBuilder b;
    const int a = b.Calc(kOpMul, {b.Input(0, 0), b.Lit(0.5)});
    const int c = b.Calc(kOpAdd, {b.Input(1, 1), b.Lit(2)});
    const int d = b.Calc(kOpMax, {b.Input(2, 2), b.Lit(0.5)});
    b.Op(kOpMove, {b.Output(0, 0), b.Output(0, 1), b.Output(0, 2)}, {a, c, d});
    ASSERT_EQ(S_OK, b.p.RunPipeline()) << b.log.Text();
    // 0.5 and 2 go into one literal register; the second 0.5 reuses l0.x.
    EXPECT_EQ("mul[1] r0.x <- v0.x, l0.x\nadd[1] r0.y <- v1.y, l0.y\nmax[1] r0.z <- v2.z, l0.x\n"
              "mov[3] o0.x, o0.y, o0.z <- r0.x, r0.y, r0.z\n",
              b.Dump());
}

TEST(Pipeline, OperandsFromSeveralRegistersAreGatheredIntoOne) {
    for (bool sharedResult : {false, true}) {
        ProgramBuilder b;
        b.p.physicalRegisters[kPoolTemps] = 12;
        const int s = b.Calc(kOpSin, {b.Input(0, 0)});
        const int t = b.Calc(kOpCos, {b.Input(0, 1)});
        const int dot = b.Temp();
        b.Op(kOpDot, {dot}, {s, t, b.Const(0, 0), b.Const(0, 1)});
        b.Op(kOpMove, {b.Output(0, 0)}, {dot});
        if (sharedResult) b.Op(kOpMove, {b.Output(1, 0)}, {s});
        ASSERT_EQ(S_OK, b.p.RunPipeline()) << b.log.Text();
        // The dot product reads one register: sin and cos write it directly,
        // or, when the sine is needed elsewhere too, it is copied there.
        EXPECT_EQ(sharedResult ? "cos[1] r0.y <- v0.y\nsin[1] r0.w <- v0.x\nmov[1] r0.x <- r0.w\n"
                                 "dot[2] r7.w <- r0.x, r0.y, c0.x, c0.y\nmov[1] o0.x <- r7.w\nmov[1] o1.x <- r0.w\n"
                               : "sin[1] r0.x <- v0.x\ncos[1] r0.y <- v0.y\ndot[2] r0.w <- r0.x, r0.y, c0.x, c0.y\n"
                                 "mov[1] o0.x <- r0.w\n",
                  b.Dump());
    }
}

TEST(RegisterPacking, ReusesRegistersOfDeadValuesAndReportsTooComplex) {
    // Three values of four components, each dead after the next is computed.
    ProgramBuilder b;
    b.p.physicalRegisters[kPoolTemps] = 1;
    int v[4];
    for (int c = 0; c < 4; ++c) v[c] = b.Temp();
    b.Op(kOpMove, {v[0], v[1], v[2], v[3]}, {b.Input(0, 0), b.Input(0, 1), b.Input(0, 2), b.Input(0, 3)});
    b.Op(kOpFraction, {b.Output(0, 0), b.Output(0, 1), b.Output(0, 2), b.Output(0, 3)}, {v[0], v[1], v[2], v[3]});
    ASSERT_EQ(S_OK, b.p.RunPipeline()) << b.log.Text();
    EXPECT_EQ("frc[4] r0.x, r0.y, r0.z, r0.w <- v0.x, v0.y, v0.z, v0.w\nmov[4] o0.x, o0.y, o0.z, o0.w <- r0.x, r0.y, r0.z, r0.w\n",
              b.Dump());

    ProgramBuilder tight;
    tight.p.physicalRegisters[kPoolTemps] = 1;
    const int a = tight.Calc(kOpExp2, {tight.Input(0, 0)}, 1);
    const int c = tight.Calc(kOpLog2, {tight.Input(0, 1)}, 2);
    const int d = tight.Calc(kOpSin, {tight.Input(0, 2)}, 3);
    const int e = tight.Calc(kOpCos, {tight.Input(0, 3)}, 4);
    const int f = tight.Calc(kOpFraction, {tight.Input(1, 0)}, 5);
    const int sum1 = tight.Calc(kOpAdd, {a, c}, 6);
    const int sum2 = tight.Calc(kOpAdd, {d, e}, 7);
    const int sum3 = tight.Calc(kOpAdd, {sum1, f}, 8);
    tight.Op(kOpMove, {tight.Output(0, 0), tight.Output(0, 1)}, {sum2, sum3}, 9);
    EXPECT_EQ(E_FAIL, tight.p.RunPipeline());
    EXPECT_NE(std::string::npos, tight.log.Text().find("error X4004: expression too complex")) << tight.log.Text();
}

}  // namespace

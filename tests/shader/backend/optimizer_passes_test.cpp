// Each optimisation pass on a small hand-built program, before and after.
#include <gtest/gtest.h>

#include "program_builder.h"

namespace {

TEST(Simplify, FoldsLiteralsAndPropagatesCopies) {
    ProgramBuilder b;
    const int sum = b.Calc(kOpAdd, {b.Lit(2), b.Lit(3)});
    const int copy = b.Calc(kOpMove, {b.Const(0, 1)});
    b.Op(kOpMul, {b.Output(0, 0), b.Output(0, 1)}, {sum, copy, b.Const(1, 0), b.Lit(1)});
    EXPECT_EQ("add[1] r#1 <- 2, 3\nmov[1] r#2 <- c0.y\nmul[2] o0.x, o0.y <- r#1, r#2, c1.x, 1\n", b.Dump());
    EXPECT_TRUE(SimplifyInstructions(b.p));
    EXPECT_TRUE(RemoveDeadCode(b.p));
    EXPECT_EQ("mul[2] o0.x, o0.y <- 5, c0.y, c1.x, 1\n", b.Dump());
    // The second component is c0.y * 1: after separating the output it is a copy.
    ASSERT_EQ(S_OK, SeparateOutputs(b.p));
    SimplifyInstructions(b.p);
    RemoveDeadCode(b.p);
    EXPECT_EQ("mul[1] r#1 <- 5, c1.x\nmov[2] o0.x, o0.y <- r#1, c0.y\n", b.Dump());
}

TEST(Simplify, AlgebraicIdentitiesAndValueFlags) {
    ProgramBuilder b;
    const int x = b.Const(0, 0);
    const int negneg = b.Calc(kOpNegate, {b.Calc(kOpNegate, {x})});
    const int recip = b.Calc(kOpReciprocal, {b.Calc(kOpReciprocal, {x})});
    const int explog = b.Calc(kOpExp2, {b.Calc(kOpLog2, {x})});
    const int ge = b.Calc(kOpSetGreaterEqual, {x, b.Const(0, 1)});
    const int positive = b.Calc(kOpSqrt, {b.Const(2, 0)});
    const int root = b.Calc(kOpSqrt, {b.Calc(kOpMul, {positive, positive})});
    const int frac = b.Calc(kOpFraction, {ge});
    const int minSame = b.Calc(kOpMin, {x, x});
    b.Op(kOpMove, {b.Output(0, 0), b.Output(0, 1), b.Output(0, 2), b.Output(0, 3), b.Output(1, 0), b.Output(1, 1)},
         {negneg, recip, explog, root, frac, minSame});
    for (int round = 0; round < 4; ++round) {
        SimplifyInstructions(b.p);
        RemoveDeadCode(b.p);
    }
    EXPECT_EQ(kValueZeroOrOne | kValueInteger | kValueNonNegative | kValueRange | kValuePrecisionLow,
              b.p.args[ge].flags & ~0u);
    // frac of a 0-or-1 value is 0, so the comparison itself is dead.
    EXPECT_EQ("sqrt[1] r#1 <- c2.x\n"
              "mov[6] o0.x, o0.y, o0.z, o0.w, o1.x, o1.y <- c0.x, c0.x, c0.x, r#1, 0, c0.x\n",
              b.Dump());
}

TEST(Simplify, SignFlagsDecideMinMaxAndComparisons) {
    ProgramBuilder b;
    const int nonneg = b.Calc(kOpSqrt, {b.Const(0, 0)});
    const int nonpos = b.Calc(kOpNegate, {b.Calc(kOpExp2, {b.Const(0, 1)})});
    const int mx = b.Calc(kOpMax, {nonneg, nonpos});
    const int mn = b.Calc(kOpMin, {nonneg, nonpos});
    const int lt = b.Calc(kOpSetLess, {nonneg, nonpos});
    b.Op(kOpMove, {b.Output(0, 0), b.Output(0, 1), b.Output(0, 2)}, {mx, mn, lt});
    for (int round = 0; round < 3; ++round) {
        SimplifyInstructions(b.p);
        RemoveDeadCode(b.p);
    }
    EXPECT_EQ("sqrt[1] r#1 <- c0.x\nexp[1] r#2 <- c0.y\nneg[1] r#3 <- r#2\n"
              "mov[3] o0.x, o0.y, o0.z <- r#1, r#3, 0\n",
              b.Dump());
}

struct FoldingCase {
    uint32_t code;
    double value;
    const char* message;
};

TEST(Simplify, FoldingDomainErrorsHaveExactMessages) {
    const FoldingCase cases[] = {
        {kOpReciprocal, 0.0, "test.fx(7): error X4001: division by zero\n"},
        {kOpLog2, -1.0, "test.fx(7): error X4002: indefinite logarithm\n"},
        {kOpSqrt, -4.0, "test.fx(7): error X4003: imaginary square root\n"},
        {kOpAsin, 2.0, "test.fx(7): error X4005: indefinite arcsine\n"},
        {kOpAcos, -1.5, "test.fx(7): error X4006: indefinite arccosine\n"},
    };
    for (const FoldingCase& c : cases) {
        ProgramBuilder b;
        const int r = b.Calc(c.code, {b.Lit(c.value)}, 7);
        b.Op(kOpMove, {b.Output(0, 0)}, {r});
        SimplifyInstructions(b.p);
        RemoveDeadCode(b.p);
        EXPECT_EQ(c.message, b.log.Text());
        EXPECT_TRUE(b.p.errorFlag);
        // The folded value is 0 and the compile goes on.
        EXPECT_EQ("mov[1] o0.x <- 0\n", b.Dump());
    }
}

TEST(Simplify, DomainErrorsFromValueFlagsAndTheNoErrorFlag) {
    ProgramBuilder b;
    const int nonpos = b.Calc(kOpNegate, {b.Calc(kOpSqrt, {b.Const(0, 0)})});
    const int root = b.Calc(kOpSqrt, {nonpos}, 3);
    const int zero = b.Calc(kOpMul, {b.Const(0, 1), b.Lit(0)});
    const int quiet = b.Calc(kOpReciprocal, {b.Lit(0)}, 4);
    b.p.args[quiet].flags |= kValueNoError;
    const int log0 = b.Calc(kOpLog2, {b.Lit(0)});
    b.Op(kOpMove, {b.Output(0, 0), b.Output(0, 1), b.Output(0, 2)}, {root, quiet, log0});
    const int loud = b.Calc(kOpReciprocal, {zero}, 5);
    b.Op(kOpMove, {b.Output(0, 3)}, {loud});
    for (int round = 0; round < 3; ++round) SimplifyInstructions(b.p);
    EXPECT_EQ("test.fx(3): error X4003: imaginary square root\ntest.fx(5): error X4001: division by zero\n",
              b.log.Text());
    // log2(0) is left for the device.
    EXPECT_NE(std::string::npos, b.Dump().find("log[1]"));
}

TEST(DeadCode, RemovesUnreadComponentsAndWholeChains) {
    ProgramBuilder b;
    const int a = b.Temp(), unused = b.Temp();
    b.Op(kOpAdd, {a, unused}, {b.Const(0, 0), b.Const(0, 1), b.Const(1, 0), b.Const(1, 1)});
    const int chain = b.Calc(kOpExp2, {b.Calc(kOpLog2, {b.Const(2, 0)})});
    (void)chain;
    b.Op(kOpMove, {b.Output(0, 0)}, {a});
    b.Op(kOpClip, {}, {b.Const(3, 0)});
    EXPECT_TRUE(RemoveDeadCode(b.p));
    EXPECT_EQ("add[1] r#1 <- c0.x, c1.x\nmov[1] o0.x <- r#1\nclip[1] <- c3.x\n", b.Dump());
    EXPECT_FALSE(RemoveDeadCode(b.p));
}

TEST(MergeArguments, EqualLiteralsAndBoundRegisterComponents) {
    ProgramBuilder b;
    const int half1 = b.Lit(0.5), half2 = b.Lit(0.5), c1 = b.Const(4, 2), c2 = b.Const(4, 2);
    b.Op(kOpAdd, {b.Output(0, 0), b.Output(0, 1)}, {half1, c1, half2, c2});
    EXPECT_TRUE(MergeDuplicateArguments(b.p));
    EXPECT_EQ("add[2] o0.x, o0.y <- 0.5, c4.z, 0.5, c4.z\n", b.Dump());
    EXPECT_EQ(b.p.instructions[0].inputs[0], b.p.instructions[0].inputs[2]);
    EXPECT_EQ(b.p.instructions[0].inputs[1], b.p.instructions[0].inputs[3]);
    EXPECT_FALSE(MergeDuplicateArguments(b.p));
}

TEST(SqueezeComponents, RepeatedComponentsIncludingSwappedInputs) {
    ProgramBuilder b;
    const int x = b.Const(0, 0), y = b.Const(0, 1);
    const int r0 = b.Temp(), r1 = b.Temp(), r2 = b.Temp();
    b.Op(kOpMul, {r0, r1, r2}, {x, y, x, y, x, y});
    b.Op(kOpMove, {b.Output(0, 0), b.Output(0, 1), b.Output(0, 2)}, {r0, r1, r2});
    EXPECT_TRUE(SqueezeComponents(b.p));
    // x*y, y*x and x*y again: one component is left.
    EXPECT_EQ("mul[1] r#1 <- c0.x, c0.y\nmov[3] o0.x, o0.y, o0.z <- r#1, r#1, r#1\n", b.Dump());
    ProgramBuilder s;
    const int u = s.Const(0, 0), v = s.Const(0, 1), t0 = s.Temp(), t1 = s.Temp();
    s.Op(kOpSetLess, {t0, t1}, {u, v, v, u});  // not commutative: stays
    s.Op(kOpMove, {s.Output(0, 0), s.Output(0, 1)}, {t0, t1});
    EXPECT_FALSE(SqueezeComponents(s.p));
}

TEST(RemoveDuplicates, SameOperationOnSameInputs) {
    ProgramBuilder b;
    const int x = b.Const(0, 0), y = b.Const(0, 1);
    const int first = b.Calc(kOpMax, {x, y});
    const int second = b.Calc(kOpMax, {y, x});
    const int third = b.Calc(kOpSetLess, {y, x});
    const int fourth = b.Calc(kOpSetLess, {x, y});
    b.Op(kOpMove, {b.Output(0, 0), b.Output(0, 1), b.Output(0, 2), b.Output(0, 3)}, {first, second, third, fourth});
    EXPECT_TRUE(RemoveDuplicateInstructions(b.p));
    EXPECT_EQ("max[1] r#1 <- c0.x, c0.y\nslt[1] r#2 <- c0.y, c0.x\nslt[1] r#3 <- c0.x, c0.y\n"
              "mov[4] o0.x, o0.y, o0.z, o0.w <- r#1, r#1, r#2, r#3\n",
              b.Dump());
}

TEST(Reassociate, LiteralsOfAChainMeetAndFold) {
    ProgramBuilder b;
    const int inner = b.Calc(kOpAdd, {b.Const(0, 0), b.Lit(1)});
    const int outer = b.Calc(kOpAdd, {b.Lit(2), inner});
    const int scaled = b.Calc(kOpMul, {b.Calc(kOpMul, {b.Lit(4), b.Const(0, 1)}), b.Lit(0.25)});
    b.Op(kOpMove, {b.Output(0, 0), b.Output(0, 1)}, {outer, scaled});
    EXPECT_TRUE(Reassociate(b.p));
    SimplifyInstructions(b.p);
    RemoveDeadCode(b.p);
    EXPECT_EQ("add[1] r#1 <- c0.x, 3\nmov[2] o0.x, o0.y <- r#1, c0.y\n", b.Dump());
}

TEST(SimplifyAddresses, LiteralIndicesAndOffsets) {
    ProgramBuilder b;
    b.p.pools[kPoolConstants].registerCount = 4;
    const int index = b.Lit(1.6);
    const int element = b.Const(1, 2);
    b.p.args[element].relative = index;
    const int outside = b.Const(0, 0);
    b.p.args[outside].relative = b.Lit(4);
    // index = i + 2 with i a non-negative integer: the 2 moves into the register.
    const int i = b.Calc(kOpFraction, {b.Const(3, 0)});
    b.p.args[i].flags |= kValueInteger | kValueNonNegative;
    const int sum = b.Calc(kOpAdd, {i, b.Lit(2)});
    const int moved = b.Const(0, 1);
    b.p.args[moved].relative = sum;
    b.Op(kOpMove, {b.Output(0, 0), b.Output(0, 1), b.Output(0, 2)}, {element, outside, moved}, 9);
    EXPECT_TRUE(SimplifyAddresses(b.p));
    EXPECT_EQ("c3.z", DumpArgument(b.p, element));  // 1 + round(1.6)
    EXPECT_EQ("c2[r#1].y", DumpArgument(b.p, moved));
    EXPECT_EQ("test.fx(9): error X4007: array index out of bounds\n", b.log.Text());
    EXPECT_TRUE(b.p.errorFlag);

    ProgramBuilder exact(0xFFFE0101);
    exact.p.limits.exactIntegerIndices = true;
    const int e = exact.Const(0, 0);
    exact.p.args[e].relative = exact.Lit(1.6);
    exact.Op(kOpMove, {exact.Output(0, 0)}, {e});
    SimplifyAddresses(exact.p);
    EXPECT_EQ("c1.x", DumpArgument(exact.p, e));
}

TEST(SeparateOutputs, OutputsAreWrittenByOneMovePerRegister) {
    ProgramBuilder b;
    b.Op(kOpAdd, {b.Output(1, 1), b.Output(0, 0)}, {b.Const(0, 0), b.Const(0, 1), b.Const(1, 0), b.Const(1, 1)}, 4);
    b.Op(kOpMul, {b.Output(1, 0)}, {b.Const(2, 0), b.Const(2, 1)}, 6);
    ASSERT_EQ(S_OK, SeparateOutputs(b.p));
    EXPECT_EQ("add[2] r#1, r#2 <- c0.x, c0.y, c1.x, c1.y\nmul[1] r#3 <- c2.x, c2.y\n"
              "mov[1] o0.x <- r#2\nmov[2] o1.x, o1.y <- r#3, r#1\n",
              b.Dump());
    EXPECT_EQ(6u, b.p.instructions[3].location.line);  // from the writer of o1.x
}

}  // namespace

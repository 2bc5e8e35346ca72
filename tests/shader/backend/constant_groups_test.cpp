#include <gtest/gtest.h>

#include "program_builder.h"
#include "shader/backend/constant_groups.h"

namespace {

// A constant argument of variable `name` (declared at `declaration`) at
// register `reg`, component `comp`, `offset` components into the variable.
int Piece(ProgramBuilder& b, uint32_t pool, const void* declaration, const char* name, int reg, int comp,
          uint32_t offset) {
    const int arg = b.p.AddArgument(pool, reg, comp, 0);
    b.p.args[arg].declaration = declaration;
    b.p.args[arg].name = name;
    b.p.args[arg].offset = offset;
    return arg;
}

TEST(ConstantGroups, CountFromFirstRegisterToLastRead) {
    static const int world = 0, tint = 0, tex = 0;
    ProgramBuilder b;
    // float4x4 world at c0: only rows 0 to 2 read.
    const int w0 = Piece(b, kPoolConstants, &world, "world", 0, 0, 0);
    const int w2 = Piece(b, kPoolConstants, &world, "world", 2, 3, 11);
    // float4 tint[4] at c4 (first register 4), read only at c7: counted 4..7.
    const int t3 = Piece(b, kPoolConstants, &tint, "tint", 7, 1, 13);
    const int s = Piece(b, kPoolSamplers, &tex, "tex", 2, 0, 0);
    const int unnamed = b.Const(9, 0);
    const int relative = Piece(b, kPoolConstants, &tint, "tint", 4, 0, 0);
    b.p.args[relative].relative = b.Input(0, 0);
    b.Op(kOpMove, {b.Output(0, 0), b.Output(0, 1), b.Output(0, 2), b.Output(0, 3), b.Output(1, 0), b.Output(1, 1)},
         {w0, w2, t3, s, unnamed, relative});
    const std::vector<ConstantGroup> groups = CollectConstantGroups(b.p, kPoolConstants, kPoolSamplers);
    ASSERT_EQ(3u, groups.size());
    EXPECT_STREQ("world", groups[0].name);
    EXPECT_EQ(0u, groups[0].firstRegister);
    EXPECT_EQ(3u, groups[0].registerCount);
    EXPECT_STREQ("tint", groups[1].name);
    EXPECT_EQ(4u, groups[1].firstRegister);
    EXPECT_EQ(4u, groups[1].registerCount);
    EXPECT_TRUE(groups[2].sampler);
    EXPECT_EQ(2u, groups[2].firstRegister);
    EXPECT_EQ(1u, groups[2].registerCount);
}

}  // namespace

#include <gtest/gtest.h>

#include "shader/bytecode/comment_block_builder.h"
#include "shader/bytecode/constant_table_block.h"
#include "block_bytes.h"

namespace {

constexpr uint32_t kVs20 = 0xFFFE0200;

CtabType Vector(uint16_t n) {
    CtabType t;
    t.parameterClass = ParameterClass::Vector;
    t.columns = n;
    return t;
}
CtabType Scalar() { return CtabType{}; }

TEST(ConstantTableBlock, EmptyTableHasHeaderCreatorAndFillerTail) {
    std::vector<uint32_t> block;
    ASSERT_EQ(S_OK, BuildConstantTable({.version = kVs20}, {}, {}, &block));
    ExpectedBytes e;
    e.u32(20).u32(20).u32(kVs20).u32(0).u32(0).str("Kiln Shader Compiler");
    EXPECT_EQ(41u, e.size());
    EXPECT_EQ(e.Block(kTagConstantTable), block);
    EXPECT_EQ(0x000CFFFEu, block[0]);
    // The three bytes after the creator's NUL are filler.
    const uint8_t* bytes = reinterpret_cast<const uint8_t*>(block.data() + 2);
    EXPECT_EQ(0xAB, bytes[41]);
    EXPECT_EQ(0xAB, bytes[43]);
}

TEST(ConstantTableBlock, RecordsSortedByNameWithSharedTypesAndDefaults) {
    std::vector<CtabConstant> constants(3);
    constants[0] = {"beta", RegisterSet::Float4, 1, 1, 0, Scalar(), {1.5f}};
    constants[1] = {"alpha", RegisterSet::Float4, 0, 1, 0, Vector(4), {}};
    constants[2] = {"Alpha", RegisterSet::Float4, 4, 1, 0, Vector(4), {}};
    std::vector<uint32_t> block;
    ASSERT_EQ(S_OK, BuildConstantTable({.version = kVs20}, constants, {}, &block));

    ExpectedBytes e;
    e.u32(20).u32(148).u32(kVs20).u32(3).u32(20);                 // header
    e.u32(80).u16(2).u16(4).u16(1).u16(0).u32(88).u32(0);         // "Alpha" c4
    e.u32(104).u16(2).u16(0).u16(1).u16(0).u32(88).u32(0);        // "alpha" c0, same type
    e.u32(110).u16(2).u16(1).u16(1).u16(0).u32(116).u32(132);     // "beta" c1
    e.str("Alpha").align();                                       // 80, type at 88
    e.u16(1).u16(3).u16(1).u16(4).u16(1).u16(0).u32(0);           // float4
    e.str("alpha").str("beta").align();                           // 104, 110, type at 116
    e.u16(0).u16(3).u16(1).u16(1).u16(1).u16(0).u32(0);           // float
    e.f32(1.5f).f32(0).f32(0).f32(0);                             // default at 132
    e.str("Kiln Shader Compiler");                                // 148
    EXPECT_EQ(e.Block(kTagConstantTable), block);
}

TEST(ConstantTableBlock, StructureTypeListsMembersThenMemberArrayThenItself) {
    CtabType matrix;
    matrix.parameterClass = ParameterClass::MatrixColumns;
    matrix.rows = 4;
    matrix.columns = 4;
    CtabType light;
    light.parameterClass = ParameterClass::Struct;
    light.elements = 2;
    light.members = {{"pos", Vector(3)}, {"m", matrix}};
    std::vector<CtabConstant> constants{{"pos", RegisterSet::Float4, 0, 10, 0, light, {}}};
    std::vector<uint32_t> block;
    ASSERT_EQ(S_OK, BuildConstantTable({.version = 0xFFFF0200}, constants, {}, &block));

    ExpectedBytes e;
    e.u32(20).u32(112).u32(0xFFFF0200).u32(1).u32(20);
    e.u32(40).u16(2).u16(0).u16(10).u16(0).u32(96).u32(0);
    e.str("pos").align();                                    // 40; the member name shares it
    e.u16(1).u16(3).u16(1).u16(3).u16(1).u16(0).u32(0);      // 44: float3
    e.str("m").align();                                      // 60
    e.u16(3).u16(3).u16(4).u16(4).u16(1).u16(0).u32(0);      // 64: float4x4 by columns
    e.u32(40).u32(44).u32(60).u32(64);                       // 80: member array
    e.u16(5).u16(0).u16(1).u16(19).u16(2).u16(2).u32(80);    // 96: struct, 3 + 16 columns, 2 elements
    e.str("Kiln Shader Compiler");                           // 112
    EXPECT_EQ(e.Block(kTagConstantTable), block);
}

TEST(ConstantTableBlock, FragmentInfoPrefixesNamesAndAppendsExtrasUnsorted) {
    std::vector<CtabConstant> constants{{"k", RegisterSet::Float4, 3, 1, 14, Vector(4), {}}};
    std::vector<CtabConstant> extras{{"r_$Int0", RegisterSet::Float4, 0, 1, 0, Vector(4), {}},
                                     {"c_$zz0", RegisterSet::Float4, 5, 1, 1, Vector(4), {0.5f, 1, 2, 3}}};
    std::vector<uint32_t> block;
    ConstantTableOptions options{.tag = kTagFragmentInfo, .version = 0, .creator = kAssemblerCreator,
                                 .fragmentNames = true};
    ASSERT_EQ(S_OK, BuildConstantTable(options, constants, extras, &block));
    // Names at 80, 100 and 108 (unaligned); the default value starts at the
    // next multiple of four after 115.
    ExpectedBytes f;
    f.u32(20).u32(132).u32(0).u32(3).u32(20);
    f.u32(80).u16(2).u16(3).u16(1).u16(14).u32(84).u32(0);
    f.u32(100).u16(2).u16(0).u16(1).u16(0).u32(84).u32(0);
    f.u32(108).u16(2).u16(5).u16(1).u16(1).u32(84).u32(116);
    f.str("c_k").align();
    f.u16(1).u16(3).u16(1).u16(4).u16(1).u16(0).u32(0);
    f.str("r_$Int0").str("c_$zz0").align();
    f.f32(0.5f).f32(1).f32(2).f32(3);
    f.str("Kiln Shader Assembler");
    EXPECT_EQ(f.Block(kTagFragmentInfo), block);
}

TEST(ConstantTableBlock, EqualDefaultValuesAreStoredOnce) {
    std::vector<CtabConstant> constants{{"a", RegisterSet::Float4, 0, 1, 0, Vector(2), {1, 2}},
                                        {"b", RegisterSet::Float4, 1, 1, 0, Vector(2), {1, 2, 0, 0}}};
    std::vector<uint32_t> block;
    ASSERT_EQ(S_OK, BuildConstantTable({.version = kVs20}, constants, {}, &block));
    const uint8_t* data = reinterpret_cast<const uint8_t*>(block.data() + 2);
    uint32_t defaultA, defaultB;
    std::memcpy(&defaultA, data + 20 + 16, 4);
    std::memcpy(&defaultB, data + 40 + 16, 4);
    EXPECT_NE(0u, defaultA);
    EXPECT_EQ(defaultA, defaultB);
}

TEST(ConstantTableBlock, TooManyConstantsForOneCommentFails) {
    std::vector<CtabConstant> constants;
    for (int i = 0; i < 2000; ++i)
        constants.push_back({"constant_with_a_long_name_" + std::to_string(i), RegisterSet::Float4, uint16_t(i), 1, 0,
                             Vector(4), {float(i), 1, 2, 3}});
    std::vector<uint32_t> block;
    EXPECT_EQ(E_FAIL, BuildConstantTable({.version = kVs20}, constants, {}, &block));
}

TEST(CommentBlockBuilder, ChunkPlacementAndWriteLimits) {
    CommentBlockBuilder builder(MakeCommentTag('T', 'E', 'S', 'T'));
    uint32_t a = 99, b = 99, c = 99, d = 99;
    ASSERT_EQ(S_OK, builder.Add("ab", 3, kChunkUnaligned, &a));   // copied: shareable
    ASSERT_EQ(S_OK, builder.Add("xyz", -1, 0, &b));               // aligned after 3 bytes
    ASSERT_EQ(S_OK, builder.Add("ab", 3, kChunkShared, &c));      // same bytes as the first
    static const char ref[] = "ab";
    ASSERT_EQ(S_OK, builder.Add(ref, 3, kChunkReference, &d));    // references are not shared
    EXPECT_EQ(0u, a);
    EXPECT_EQ(4u, b);
    EXPECT_EQ(0u, c);
    EXPECT_EQ(8u, d);
    EXPECT_EQ(5u, builder.Size());
    std::vector<uint32_t> out(5);
    EXPECT_EQ(E_FAIL, builder.Write(out.data(), 4));
    ASSERT_EQ(S_OK, builder.Write(out.data(), 5));
    ExpectedBytes e;
    e.raw("ab", 3).align().str("xyz").raw("ab", 3);
    EXPECT_EQ(e.Block(MakeCommentTag('T', 'E', 'S', 'T')), out);
}

}  // namespace

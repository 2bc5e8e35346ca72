#include <gtest/gtest.h>

#include "shader/bytecode/debug_info_block.h"
#include "block_bytes.h"

namespace {

TEST(DebugInfoBlock, LayoutWithFilesInstructionsAndVariables) {
    DebugInfo info;
    static const char source[] = "float4 x;";
    info.source = source;
    info.sourceLength = 9;
    info.files = {"a.fx", "b.fx"};
    DebugInstructionRecord first, second;
    first.line = 3, first.fileIndex = 0, first.byteOffset = 8;
    second.line = 4, second.fileIndex = 1, second.byteOffset = 20;
    info.instructions = {first, second};
    DebugVariable x;
    x.name = "x";
    x.hasType = true;
    x.type.parameterClass = ParameterClass::Vector;
    x.type.columns = 4;
    x.writes = {DbugWriteRecord{1, {0, 1, 0xFFFF, 0xFFFF}}};
    info.variables = {x};
    info.entryName = "main";

    std::vector<uint32_t> block;
    ASSERT_EQ(S_OK, BuildDebugInfo(info, 13, &block));

    ExpectedBytes e;
    e.u32(40).u32(40).u32(61).u32(2).u32(84).u32(2).u32(92).u32(1).u32(108).u32(160);
    e.str("Kiln Shader Compiler").str("float4 x;").str("a.fx").str("b.fx").align();  // 40, 61, 71, 76
    e.u32(71).u32(76);                                                              // 84: files
    // 92: instruction records; offsets moved by (own 44 + 13 inserted) tokens.
    e.u16(3).u16(0).u32(8 + 57 * 4).u16(4).u16(1).u32(20 + 57 * 4);
    e.u32(0).u32(128).u32(132).u32(1).u32(148);           // 108: variable
    e.str("x").align();                                   // 128
    e.u16(1).u16(3).u16(1).u16(4).u16(1).u16(0).u32(0);   // 132: float4
    e.u32(1).u16(0).u16(1).u16(0xFFFF).u16(0xFFFF);       // 148: write record
    e.str("main");                                        // 160
    EXPECT_EQ(e.Block(kTagDebugInfo), block);
    EXPECT_EQ(44u, block.size());
}

TEST(DebugInfoBlock, EmptyInfoKeepsZeroOffsets) {
    DebugInfo info;
    std::vector<uint32_t> block;
    ASSERT_EQ(S_OK, BuildDebugInfo(info, 0, &block));
    ExpectedBytes e;
    e.u32(40).u32(40).u32(0).u32(0).u32(0).u32(0).u32(0).u32(0).u32(0).u32(0).str("Kiln Shader Compiler");
    EXPECT_EQ(e.Block(kTagDebugInfo), block);
}

}  // namespace

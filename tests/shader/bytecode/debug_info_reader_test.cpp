// The debug information block read back: a block laid out field by field is
// read into its records, a written block reads back as written, and every
// offset or count that points outside the block is refused.
#include <gtest/gtest.h>

#include "block_bytes.h"
#include "shader/bytecode/debug_info_block.h"
#include "shader/bytecode/debug_info_reader.h"

namespace {

// Header, creator, one file, two instruction records and two variables: "p"
// (no writes, no declaration) and "o" with two write records.
ExpectedBytes HandLaidBlock() {
    ExpectedBytes e;
    e.u32(40).u32(40).u32(0).u32(1).u32(68).u32(2).u32(72).u32(2).u32(88).u32(196);
    e.str("Kiln Shader Compiler").str("v.vsh").align();  // 40, 61 -> 68
    e.u32(61);                                          // 68: file names
    e.u16(7).u16(0).u32(28).u16(8).u16(0xFFFF).u32(44);  // 72: instruction records
    e.u32(0).u32(128).u32(0).u32(0).u32(0);              // 88: p
    e.u32(130).u32(151).u32(156).u32(2).u32(172);        // 108: o
    e.str("p").str("float2 o : TEXCOORD0").str("o").align();  // 128, 130, 151 -> 156
    e.u16(1).u16(3).u16(1).u16(2).u16(1).u16(0).u32(0);  // 156: float2
    e.u32(0).u16(1).u16(0xFFFF).u16(0xFFFF).u16(0xFFFF);  // 172: write records of o
    e.u32(1).u16(0xFFFF).u16(0).u16(0xFFFF).u16(0xFFFF);
    e.str("main");  // 196
    return e;
}

TEST(DebugInfoReader, ReadsEveryFieldOfAHandLaidBlock) {
    const ExpectedBytes e = HandLaidBlock();
    DebugInfoView info;
    std::string error;
    ASSERT_EQ(S_OK, ReadDebugInfo(e.bytes().data(), uint32_t(e.size()), &info, &error)) << error;
    EXPECT_EQ("Kiln Shader Compiler", info.creator);
    EXPECT_FALSE(info.hasSource);
    EXPECT_EQ(std::vector<std::string>{"v.vsh"}, info.files);
    ASSERT_EQ(2u, info.instructions.size());
    EXPECT_EQ(8, info.instructions[1].line);
    EXPECT_EQ(0xFFFF, info.instructions[1].fileIndex);
    EXPECT_EQ(44u, info.instructions[1].byteOffset);
    ASSERT_EQ(2u, info.variables.size());
    EXPECT_EQ("p", info.variables[0].name);
    EXPECT_EQ("", info.variables[0].declaration);
    EXPECT_FALSE(info.variables[0].hasType);
    EXPECT_TRUE(info.variables[0].writes.empty());
    const DebugVariableView& o = info.variables[1];
    EXPECT_EQ("float2 o : TEXCOORD0", o.declaration);
    EXPECT_EQ("o", o.name);
    ASSERT_TRUE(o.hasType);
    EXPECT_EQ(uint16_t(ParameterClass::Vector), o.type.parameterClass);
    EXPECT_EQ(2, o.type.columns);
    ASSERT_EQ(2u, o.writes.size());
    EXPECT_EQ(0u, o.writes[0].instruction);
    EXPECT_EQ(1, o.writes[0].components[0]);
    EXPECT_EQ(0xFFFF, o.writes[0].components[1]);
    EXPECT_EQ(1u, o.writes[1].instruction);
    EXPECT_EQ(0, o.writes[1].components[1]);
    EXPECT_EQ("main", info.entryName);
}

TEST(DebugInfoReader, WrittenBlockReadsBackAsWritten) {
    DebugInfo info;
    static const char source[] = "float4 main() : POSITION { return 0; }";
    info.source = source;
    info.sourceLength = sizeof(source) - 1;
    info.files = {"a.vsh"};
    info.instructions.resize(3);
    info.instructions[2].line = 12;
    info.instructions[2].fileIndex = 0;
    DebugVariable m;
    m.declaration = "row_major float4x4 m";
    m.name = "m";
    m.hasType = true;
    m.type.parameterClass = ParameterClass::MatrixRows;
    m.type.rows = m.type.columns = 4;
    m.writes = {DbugWriteRecord{2, {4, 5, 6, 7}}, DbugWriteRecord{0, {0xFFFF, 0xFFFF, 0xFFFF, 15}}};
    info.variables = {m};
    std::vector<uint32_t> block;
    ASSERT_EQ(S_OK, BuildDebugInfo(info, 5, &block));

    DebugInfoView view;
    ASSERT_EQ(S_OK, ReadDebugInfo(block.data() + 2, uint32_t(block.size() - 2) * 4, &view));
    EXPECT_TRUE(view.hasSource);
    EXPECT_EQ(source, view.source);
    ASSERT_EQ(3u, view.instructions.size());
    EXPECT_EQ(12, view.instructions[2].line);
    EXPECT_EQ((uint32_t(block.size()) + 5) * 4, view.instructions[2].byteOffset);
    ASSERT_EQ(1u, view.variables.size());
    EXPECT_EQ("row_major float4x4 m", view.variables[0].declaration);
    EXPECT_EQ(uint16_t(ParameterClass::MatrixRows), view.variables[0].type.parameterClass);
    EXPECT_EQ(4, view.variables[0].type.rows);
    ASSERT_EQ(2u, view.variables[0].writes.size());
    EXPECT_EQ(7, view.variables[0].writes[0].components[3]);
    EXPECT_EQ(15, view.variables[0].writes[1].components[3]);
    EXPECT_EQ("", view.entryName);
}

TEST(DebugInfoReader, RefusesOffsetsAndCountsOutsideTheBlock) {
    struct Case {
        const char* what;
        size_t byte;    // offset of the 32-bit field to change
        uint32_t value;
    };
    const Case cases[] = {
        {"header size below 40", 0, 39},
        {"creator beyond the end", 4, 4000},
        {"file array too long", 12, 0x40000000},
        {"file name offset beyond the end", 68, 201},
        {"instruction count too large", 20, 0x20000000},
        {"variable array beyond the end", 32, 170},
        {"declaration string beyond the end", 108, 4000},
        {"write count too large", 108 + 12, 3},
        {"write record of an instruction that does not exist", 172, 2},
        {"type record cut off", 108 + 8, 190},
        {"entry name beyond the end", 36, 201},
    };
    const ExpectedBytes good = HandLaidBlock();
    for (const Case& c : cases) {
        std::vector<uint8_t> bytes = good.bytes();
        std::memcpy(bytes.data() + c.byte, &c.value, 4);
        DebugInfoView info;
        std::string error;
        EXPECT_EQ(ERR_INVALID_DATA, ReadDebugInfo(bytes.data(), uint32_t(bytes.size()), &info, &error)) << c.what;
        EXPECT_FALSE(error.empty()) << c.what;
        EXPECT_TRUE(info.variables.empty()) << c.what;
    }
    // A string that runs to the end of the block without its NUL.
    std::vector<uint8_t> cut = good.bytes();
    cut.resize(199);
    DebugInfoView info;
    EXPECT_EQ(ERR_INVALID_DATA, ReadDebugInfo(cut.data(), uint32_t(cut.size()), &info));
    EXPECT_EQ(D3DERR_INVALIDCALL, ReadDebugInfo(nullptr, 0, &info));
}

}  // namespace

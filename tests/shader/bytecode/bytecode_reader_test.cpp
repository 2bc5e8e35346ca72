#include <gtest/gtest.h>

#include "gfx/shaders/shader_isa.h"
#include "shader/bytecode/bytecode_reader.h"
#include "shader/bytecode/comment_block_builder.h"
#include "shader/bytecode/constant_table_block.h"

using namespace gfx::isa;

namespace {

using Tokens = std::vector<uint32_t>;

HRESULT Find(const Tokens& t, uint32_t tag, const uint8_t** data, uint32_t* size) {
    const void* p = nullptr;
    HRESULT hr = FindCommentBlock(t.data(), t.size() * 4, tag, &p, size);
    *data = static_cast<const uint8_t*>(p);
    return hr;
}

TEST(FindCommentBlock, WalksPastInstructionsOfEveryLengthRule) {
    const uint32_t ctab = kTagConstantTable;
    // ps_1_1: a def whose float data has bit 31 clear, then the block.
    Tokens ps11{0xFFFF0101, OP_DEF, MakeDest(REG_CONST, 0), 0x3F800000, 0xFFFEFFFE, 0, 0,
                MakeComment(2), ctab, 0x11111111, kEndToken};
    // vs_2_0: the length field is trusted, so a data token that looks like a comment is stepped over.
    Tokens vs20{0xFFFE0200, MakeInstruction(OP_DEF, 5), MakeDest(REG_CONST, 0), MakeComment(2), ctab, 0, 0,
                MakeComment(2), ctab, 0x22222222, kEndToken};
    const uint8_t* data;
    uint32_t size;
    ASSERT_EQ(S_OK, Find(ps11, ctab, &data, &size));
    EXPECT_EQ(4u, size);
    EXPECT_EQ(reinterpret_cast<const uint8_t*>(&ps11[9]), data);
    ASSERT_EQ(S_OK, Find(vs20, ctab, &data, &size));
    EXPECT_EQ(reinterpret_cast<const uint8_t*>(&vs20[9]), data);
}

TEST(FindCommentBlock, ResultsForMissingMalformedAndTagOnlyBlocks) {
    const uint8_t* data;
    uint32_t size;
    Tokens tagOnly{0xFFFE0101, MakeComment(1), kTagConstantTable, kEndToken};
    EXPECT_EQ(S_FALSE, Find(tagOnly, kTagConstantTable, &data, &size));
    EXPECT_EQ(nullptr, data);
    Tokens badKind{0x12340200, kEndToken};
    EXPECT_EQ(ERR_INVALID_DATA, Find(badKind, kTagConstantTable, &data, &size));
    Tokens pastEnd{0xFFFF0200, MakeComment(9), kTagConstantTable};
    EXPECT_EQ(ERR_INVALID_DATA, Find(pastEnd, kTagConstantTable, &data, &size));
    Tokens noEnd{0xFFFF0200, MakeInstruction(OP_NOP)};
    EXPECT_EQ(ERR_INVALID_DATA, Find(noEnd, kTagConstantTable, &data, &size));
    const void* p;
    EXPECT_EQ(D3DERR_INVALIDCALL, FindCommentBlock(nullptr, 0, kTagConstantTable, &p, &size));
    // Fragments and texture-fill programs are known kinds.
    Tokens fragment{0x7FFE0200, kEndToken};
    EXPECT_EQ(S_FALSE, Find(fragment, kTagFragmentInfo, &data, &size));
}

Tokens PixelProgramWithTable(const std::vector<CtabConstant>& constants) {
    std::vector<uint32_t> block;
    EXPECT_EQ(S_OK, BuildConstantTable({.version = 0xFFFF0200}, constants, {}, &block));
    Tokens t{0xFFFF0200};
    t.insert(t.end(), block.begin(), block.end());
    t.push_back(kEndToken);
    return t;
}

TEST(ListSamplerNames, ReturnsSamplerRecordsOnly) {
    CtabType sampler;
    sampler.parameterClass = ParameterClass::Object;
    sampler.parameterType = ParameterType::Sampler2D;
    Tokens t = PixelProgramWithTable({{"tint", RegisterSet::Float4, 0, 1, 0, CtabType{}, {}},
                                      {"diffuse", RegisterSet::Sampler, 0, 1, 0, sampler, {}},
                                      {"bump", RegisterSet::Sampler, 1, 1, 0, sampler, {}}});
    std::vector<const char*> names;
    ASSERT_EQ(S_OK, ListSamplerNames(t.data(), t.size() * 4, &names));
    ASSERT_EQ(2u, names.size());
    EXPECT_STREQ("bump", names[0]);
    EXPECT_STREQ("diffuse", names[1]);

    Tokens vertex = t;
    vertex[0] = 0xFFFE0200;
    ASSERT_EQ(S_OK, ListSamplerNames(vertex.data(), vertex.size() * 4, &names));
    EXPECT_TRUE(names.empty());
}

TEST(ListSamplerNames, RejectsRecordsOutsideTheBlock) {
    Tokens t = PixelProgramWithTable({{"s", RegisterSet::Sampler, 0, 1, 0, CtabType{}, {}}});
    std::vector<const char*> names;
    Tokens count = t;
    count[2 + 1 + 3] = 1000;  // constant count
    EXPECT_EQ(ERR_INVALID_DATA, ListSamplerNames(count.data(), count.size() * 4, &names));
    Tokens name = t;
    name[2 + 1 + 5] = 0x7FFFFFF0;  // name offset of the first record
    EXPECT_EQ(ERR_INVALID_DATA, ListSamplerNames(name.data(), name.size() * 4, &names));
}

TEST(ListSemantics, InputsByProgramKind) {
    std::vector<ShaderSemantic> s;
    uint32_t n = 0;
    Tokens vs{0xFFFE0200, MakeInstruction(OP_DCL, 2), MakeDclUsage(USAGE_NORMAL, 0), MakeDest(REG_INPUT, 3),
              MakeInstruction(OP_DCL, 2), MakeDclUsage(USAGE_TEXCOORD, 2), MakeDest(REG_INPUT, 1), kEndToken};
    ASSERT_EQ(S_OK, ListInputSemantics(vs.data(), vs.size() * 4, &s, &n));
    EXPECT_EQ((std::vector<ShaderSemantic>{{3, 0}, {5, 2}}), s);
    EXPECT_EQ(2u, n);

    Tokens ps20{0xFFFF0200, MakeInstruction(OP_DCL, 2), kParamBit, MakeDest(REG_TEXTURE, 2),
                MakeInstruction(OP_DCL, 2), MakeDclSampler(TEXTURE_2D), MakeDest(REG_SAMPLER, 0),
                MakeInstruction(OP_DCL, 2), kParamBit, MakeDest(REG_INPUT, 1), kEndToken};
    ASSERT_EQ(S_OK, ListInputSemantics(ps20.data(), ps20.size() * 4, &s, &n));
    EXPECT_EQ((std::vector<ShaderSemantic>{{5, 2}, {10, 1}}), s);
    ps20[9] = MakeDest(REG_INPUT, 2);
    EXPECT_EQ(E_FAIL, ListInputSemantics(ps20.data(), ps20.size() * 4, &s, &n));

    // ps_1_3: t1 written by tex, t3 only read (not an input), v1 read.
    Tokens ps13{0xFFFF0103, OP_TEX, MakeDest(REG_TEXTURE, 1), OP_ADD, MakeDest(REG_TEMP, 0),
                MakeSource(REG_TEXTURE, 3), MakeSource(REG_INPUT, 1), kEndToken};
    ASSERT_EQ(S_OK, ListInputSemantics(ps13.data(), ps13.size() * 4, nullptr, &n));
    EXPECT_EQ(2u, n);
    ASSERT_EQ(S_OK, ListInputSemantics(ps13.data(), ps13.size() * 4, &s, &n));
    EXPECT_EQ((std::vector<ShaderSemantic>{{5, 1}, {10, 1}}), s);
    ps13[0] = 0xFFFF0104;  // in ps_1_4 every t register used counts
    ASSERT_EQ(S_OK, ListInputSemantics(ps13.data(), ps13.size() * 4, &s, &n));
    EXPECT_EQ((std::vector<ShaderSemantic>{{5, 1}, {5, 3}, {10, 1}}), s);
}

TEST(ListSemantics, OutputsByProgramKind) {
    std::vector<ShaderSemantic> s;
    uint32_t n = 0;
    Tokens vs11{0xFFFE0101, OP_MOV, MakeDest(REG_RASTOUT, kRastoutFog, kMaskX), MakeSource(REG_INPUT, 0),
                OP_MOV, MakeDest(REG_ATTROUT, 1), MakeSource(REG_INPUT, 0),
                OP_MOV, MakeDest(REG_TEXCRDOUT, 4), MakeSource(REG_INPUT, 0),
                OP_MOV, MakeDest(REG_RASTOUT, kRastoutPosition), MakeSource(REG_INPUT, 0), kEndToken};
    ASSERT_EQ(S_OK, ListOutputSemantics(vs11.data(), vs11.size() * 4, &s, &n));
    EXPECT_EQ((std::vector<ShaderSemantic>{{5, 4}, {10, 1}, {0, 0}, {11, 0}}), s);

    Tokens ps20{0xFFFF0200, MakeInstruction(OP_MOV, 2), MakeDest(REG_DEPTHOUT, 0, kMaskX), MakeSource(REG_TEMP, 0),
                MakeInstruction(OP_MOV, 2), MakeDest(REG_COLOROUT, 1), MakeSource(REG_TEMP, 0), kEndToken};
    ASSERT_EQ(S_OK, ListOutputSemantics(ps20.data(), ps20.size() * 4, &s, &n));
    EXPECT_EQ((std::vector<ShaderSemantic>{{10, 1}, {12, 0}}), s);

    Tokens ps11{0xFFFF0101, kEndToken};
    ASSERT_EQ(S_OK, ListOutputSemantics(ps11.data(), ps11.size() * 4, &s, &n));
    EXPECT_EQ((std::vector<ShaderSemantic>{{10, 0}}), s);
}

TEST(ExtractBlocks, FallbackHeadersWhenAbsent) {
    Tokens t{0xFFFE0101, kEndToken};
    std::vector<uint8_t> bytes;
    ASSERT_EQ(S_OK, ExtractConstantTableBytes(t.data(), t.size() * 4, &bytes));
    ASSERT_EQ(20u, bytes.size());
    EXPECT_EQ(20, bytes[0]);
    EXPECT_EQ(0x01, bytes[8]);
    EXPECT_EQ(0xFE, bytes[10]);
    ASSERT_EQ(S_OK, ExtractDebugInfoBytes(t.data(), t.size() * 4, &bytes));
    ASSERT_EQ(40u, bytes.size());
    EXPECT_EQ(40, bytes[0]);
}

}  // namespace

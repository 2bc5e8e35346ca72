#include <gtest/gtest.h>

#include "gfx/shaders/shader_isa.h"
#include "shader/bytecode/token_stream.h"

using namespace gfx::isa;

namespace {

TEST(TokenStream, LengthFieldOnlyWhenLengthsAreWritten) {
    for (bool lengths : {true, false}) {
        TokenStream stream(lengths);
        ASSERT_EQ(S_OK, stream.Append(MakeVertexVersion(2, 0)));
        ASSERT_EQ(S_OK, stream.BeginInstruction(OP_DEF));
        const uint32_t def[5] = {MakeDest(REG_CONST, 0), 0, 0, 0, 0};
        ASSERT_EQ(S_OK, stream.Append(def, 5));
        stream.EndInstruction();
        ASSERT_EQ(S_OK, stream.BeginInstruction(OP_DCL));
        ASSERT_EQ(S_OK, stream.Append(MakeDclUsage(USAGE_POSITION, 0)));
        ASSERT_EQ(S_OK, stream.Append(MakeDest(REG_INPUT, 0)));
        stream.EndInstruction();
        EXPECT_EQ(lengths ? 0x05000051u : 0x51u, stream.Data()[1]);
        EXPECT_EQ(lengths ? 0x0200001Fu : 0x1Fu, stream.Data()[7]);
    }
}

TEST(TokenStream, GrowsPastInitialCapacity) {
    TokenStream stream;
    for (uint32_t i = 0; i < 5000; ++i) ASSERT_EQ(S_OK, stream.Append(i));
    ASSERT_EQ(5000u, stream.Size());
    EXPECT_EQ(4999u, stream.Data()[4999]);
}

TEST(TokenStream, CommentsGoAfterVersionAndShiftTheCurrentInstruction) {
    TokenStream stream;
    ASSERT_EQ(S_OK, stream.EnableDebugRecords(2));
    stream.Append(MakePixelVersion(2, 0));
    const uint32_t* pending;
    uint32_t count;
    stream.TakeUnvalidated(&pending, &count);
    EXPECT_EQ(1u, count);
    stream.SetSourcePosition(0, 7);
    stream.BeginInstruction(OP_MOV);
    stream.Append(MakeDest(REG_TEMP, 0));
    ASSERT_EQ(S_OK, stream.InsertComment({MakeComment(1), 0x42424242}));
    stream.Append(MakeSource(REG_TEMP, 1));
    stream.EndInstruction();
    EXPECT_EQ((std::vector<uint32_t>{0xFFFF0200, 0x0001FFFE, 0x42424242, 0x02000001, 0x800F0000, 0x80E40001}),
              std::vector<uint32_t>(stream.Data(), stream.Data() + stream.Size()));
    EXPECT_EQ(2u, stream.InsertedTokens());
    stream.TakeUnvalidated(&pending, &count);
    EXPECT_EQ(3u, count);
    EXPECT_EQ(0x02000001u, pending[0]);
    ASSERT_EQ(1u, stream.DebugRecords().size());
    EXPECT_EQ(7u, stream.DebugRecords()[0].line);
    EXPECT_EQ(4u, stream.DebugRecords()[0].byteOffset);  // counted before the comment went in
}

}  // namespace

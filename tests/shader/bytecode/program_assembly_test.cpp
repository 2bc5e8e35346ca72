// The common tail of a generator: block insertion order, debug record offsets,
// the end token, the validator hand-off and the copy into a buffer.
#include <gtest/gtest.h>

#include <cstring>

#include "gfx/exports.h"
#include "gfx/shaders/shader_isa.h"
#include "gfx/shaders/shader_validator.h"
#include "platform/modules.h"
#include "shader/bytecode/bytecode_reader.h"
#include "shader/bytecode/constant_table_block.h"
#include "shader/bytecode/program_assembly.h"

using namespace gfx::isa;

namespace {

TEST(ProgramAssembly, VersionDebugInfoConstantTableBodyEnd) {
    TokenStream stream(true);
    ASSERT_EQ(S_OK, stream.EnableDebugRecords(2));
    stream.Append(MakeVertexVersion(2, 0));
    stream.SetSourcePosition(0, 3);
    stream.BeginInstruction(OP_MOV);
    stream.Append(MakeDest(REG_RASTOUT, 0));
    stream.Append(MakeSource(REG_CONST, 0));
    stream.EndInstruction();
    stream.SetSourcePosition(0, 4);
    stream.BeginInstruction(OP_ADD);
    stream.Append(MakeDest(REG_TEXCRDOUT, 0));
    stream.Append(MakeSource(REG_CONST, 1));
    stream.Append(MakeSource(REG_INPUT, 0));
    stream.EndInstruction();

    std::vector<uint32_t> ctab;
    ASSERT_EQ(S_OK, BuildConstantTable({.version = 0xFFFE0200}, {}, {}, &ctab));
    DebugInfo debug;
    debug.files = {"a.fx"};
    ErrorLog log;
    IKLBuffer* code = nullptr;
    ASSERT_EQ(S_OK, FinishProgram(stream, {&ctab, &debug, 4547}, &log, nullptr, &code));
    ASSERT_NE(nullptr, code);
    const uint32_t* tokens = static_cast<const uint32_t*>(code->GetBufferPointer());
    const size_t count = code->GetBufferSize() / 4;
    ASSERT_EQ(stream.Size(), count);
    EXPECT_EQ(0xFFFE0200u, tokens[0]);
    // The debug block comes first, then the constant table.
    EXPECT_EQ(kTagDebugInfo, tokens[2]);
    const size_t ctabAt = 1 + CommentLength(tokens[1]) + 1;
    EXPECT_EQ(kTagConstantTable, tokens[ctabAt + 1]);
    EXPECT_EQ(kEndToken, tokens[count - 1]);

    // Each instruction record points at its instruction in the finished code.
    const void* data;
    uint32_t size;
    ASSERT_EQ(S_OK, FindCommentBlock(tokens, count * 4, kTagDebugInfo, &data, &size));
    const uint8_t* block = static_cast<const uint8_t*>(data);
    DbugHeader header;
    std::memcpy(&header, block, sizeof(header));
    ASSERT_EQ(2u, header.instructionCount);
    DbugInstructionRecord records[2];
    std::memcpy(records, block + header.instructionsOffset, sizeof(records));
    EXPECT_EQ(3u, records[0].line);
    EXPECT_EQ(0x02000001u, tokens[records[0].byteOffset / 4]);
    EXPECT_EQ(4u, records[1].line);
    EXPECT_EQ(0x03000002u, tokens[records[1].byteOffset / 4]);
    code->Release();
}

// A validator double that records what it is handed and rejects "add".
struct RecordingValidator : gfx::IDirect3DShaderValidator9 {
    HRESULT QueryInterface(REFIID, void**) override { return E_NOINTERFACE; }
    ULONG AddRef() override { return ++refs; }
    ULONG Release() override { return --refs; }
    HRESULT Begin(gfx::ShaderValidatorCallback cb, void* ctx, DWORD f) override {
        callback = cb;
        context = ctx;
        flags = f;
        return S_OK;
    }
    HRESULT Instruction(const char* file, UINT line, const DWORD* tokens, DWORD count) override {
        handed.push_back(std::vector<DWORD>(tokens, tokens + count));
        if (InstructionOpcode(tokens[0]) == OP_ADD) {
            callback(nullptr, 0, 2, 17, "add is not allowed here", context);
            callback(file, line, 1, 3, "a warning", context);
        }
        return S_OK;
    }
    HRESULT End() override {
        ended = true;
        return S_OK;
    }
    ULONG refs = 1;
    gfx::ShaderValidatorCallback callback = nullptr;
    void* context = nullptr;
    DWORD flags = 99;
    bool ended = false;
    std::vector<std::vector<DWORD>> handed;
};

RecordingValidator* g_validator = nullptr;
gfx::IDirect3DShaderValidator9* CreateRecording() {
    g_validator->AddRef();
    return g_validator;
}

TEST(ValidatorSession, HandsOverEachInstructionAndReportsErrorsAt5000PlusCode) {
    RecordingValidator validator;
    g_validator = &validator;
    platform::RegisterModuleExport("d3d9.dll", "Direct3DShaderValidatorCreate9",
                                   reinterpret_cast<FARPROC>(&CreateRecording));
    ErrorLog log;
    TokenStream stream;
    ValidatorSession session;
    ASSERT_TRUE(session.Begin(&log, 1, false));
    EXPECT_EQ(1u, validator.flags);
    stream.Append(MakeVertexVersion(2, 0));
    session.Submit(stream, nullptr, 0);
    stream.BeginInstruction(OP_MOV);
    stream.Append(MakeDest(REG_TEMP, 0));
    stream.Append(MakeSource(REG_CONST, 0));
    stream.EndInstruction();
    session.Submit(stream, "shader.fx", 7);
    stream.BeginInstruction(OP_ADD);
    stream.Append(MakeDest(REG_TEMP, 0));
    stream.Append(MakeSource(REG_TEMP, 0));
    stream.Append(MakeSource(REG_TEMP, 0));
    stream.EndInstruction();
    session.Submit(stream, "shader.fx", 9);
    stream.Append(kEndToken);
    session.Finish(stream);

    ASSERT_EQ(4u, validator.handed.size());
    EXPECT_EQ(std::vector<DWORD>{0xFFFE0200}, validator.handed[0]);
    EXPECT_EQ(3u, validator.handed[1].size());
    EXPECT_EQ(4u, validator.handed[2].size());
    EXPECT_EQ(std::vector<DWORD>{kEndToken}, validator.handed[3]);
    EXPECT_TRUE(session.Failed());
    EXPECT_FALSE(validator.ended);  // End is skipped after an error
    EXPECT_EQ(1u, validator.refs);  // released
    // A message without a line takes the instruction's position; warnings
    // are the assembler's only.
    EXPECT_EQ("shader.fx(9): error X5017: add is not allowed here\n", log.Text());

    // Put the platform's validator back directly: the once-only export
    // registration may already have run in this process.
    gfx::RegisterShaderValidatorExport();
}

TEST(ValidatorSession, PlatformValidatorAcceptsAndRejects) {
    KilnGfxRegisterExports();
    for (bool valid : {true, false}) {
        ErrorLog log;
        TokenStream stream;
        ValidatorSession session;
        ASSERT_TRUE(session.Begin(&log, 1, false));
        stream.Append(MakePixelVersion(2, 0));
        session.Submit(stream, nullptr, 0);
        stream.BeginInstruction(OP_MOV);
        stream.Append(MakeDest(valid ? REG_COLOROUT : REG_RASTOUT, 0));
        stream.Append(MakeSource(REG_CONST, 0));
        stream.EndInstruction();
        session.Submit(stream, "p.fx", 2);
        stream.Append(kEndToken);
        session.Finish(stream);
        EXPECT_EQ(!valid, session.Failed()) << log.Text();
        if (!valid) {
            EXPECT_EQ(0u, log.Text().find("p.fx(2): error X5")) << log.Text();
        }
    }
}

}  // namespace

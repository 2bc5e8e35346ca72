// The validator found by name reports one message per rejected instruction.
#include "gfx/shaders/shader_validator.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "gfx/shaders/shader_check_messages.h"
#include "platform/modules.h"
#include "token_builder.h"

namespace gfx::test {
namespace {

using namespace isa;

struct Message {
    std::string file;
    UINT line;
    DWORD type;
    DWORD code;
    std::string text;
};

HRESULT Collect(const char* file, UINT line, DWORD type, DWORD code, const char* text, void* context) {
    static_cast<std::vector<Message>*>(context)->push_back({file ? file : "", line, type, code, text ? text : ""});
    return S_OK;
}

IDirect3DShaderValidator9* CreateByName() {
    RegisterShaderValidatorExport();
    HMODULE module = GetModuleHandleA("d3d9.dll");
    if (!module) module = LoadLibraryA("d3d9.dll");
    auto create = reinterpret_cast<ShaderValidatorCreateFn>(GetProcAddress(module, "Direct3DShaderValidatorCreate9"));
    return create ? create() : nullptr;
}

TEST(ShaderValidator, ChecksInstructionsAsTheyAreHandedOver) {
    IDirect3DShaderValidator9* v = CreateByName();
    ASSERT_NE(v, nullptr);
    std::vector<Message> messages;
    ASSERT_EQ(v->Begin(&Collect, &messages, 1), S_OK);
    const DWORD version = MakePixelVersion(2, 0);
    EXPECT_EQ(v->Instruction("a.phl", 1, &version, 1), S_OK);
    const DWORD dcl[] = {MakeInstruction(OP_DCL, 2), kParamBit, Dst(REG_TEXTURE, 0)};
    EXPECT_EQ(v->Instruction("a.phl", 2, dcl, 3), S_OK);
    // lit does not exist in ps_2_0; r12 is beyond its twelve temporaries.
    const DWORD lit[] = {MakeInstruction(OP_LIT, 2), Dst(REG_TEMP, 0), Src(REG_TEXTURE, 0)};
    EXPECT_EQ(v->Instruction("a.phl", 3, lit, 3), E_FAIL);
    const DWORD r12[] = {MakeInstruction(OP_MOV, 2), Dst(REG_TEMP, 12), Src(REG_TEXTURE, 0)};
    EXPECT_EQ(v->Instruction("a.phl", 4, r12, 3), E_FAIL);
    const DWORD good[] = {MakeInstruction(OP_MOV, 2), Dst(REG_COLOROUT, 0), Src(REG_TEXTURE, 0)};
    EXPECT_EQ(v->Instruction("a.phl", 5, good, 3), S_OK);
    const DWORD end = kEndToken;
    EXPECT_EQ(v->Instruction("a.phl", 6, &end, 1), S_OK);
    EXPECT_EQ(v->End(), E_FAIL);  // errors were reported in this session
    ASSERT_EQ(messages.size(), 2u);
    EXPECT_EQ(messages[0].type, kValidatorError);
    EXPECT_EQ(messages[0].code, static_cast<DWORD>(kCheckNotInVersion));
    EXPECT_EQ(messages[0].text, "'lit' is not available in ps_2_0");
    EXPECT_EQ(messages[0].line, 3u);
    EXPECT_EQ(messages[0].file, "a.phl");
    EXPECT_EQ(messages[1].code, static_cast<DWORD>(kCheckRegisterRange));
    EXPECT_EQ(messages[1].text, "register r12 is out of range for ps_2_0");
    EXPECT_EQ(v->Release(), 0u);
}

TEST(ShaderValidator, EndReportsWhatOnlyTheWholeProgramShows) {
    IDirect3DShaderValidator9* v = Direct3DShaderValidatorCreate9();
    std::vector<Message> messages;
    ASSERT_EQ(v->Begin(&Collect, &messages, 0), S_OK);
    TokenBuilder b(MakeVertexVersion(3, 0));
    b.Ins(OP_REP, {Src(REG_CONSTINT, 0)});
    const std::vector<DWORD> tokens = b.End();
    // Everything in one hand-over, as an assembler might do at the end.
    EXPECT_EQ(v->Instruction(nullptr, 0, tokens.data(), static_cast<DWORD>(tokens.size())), S_OK);
    EXPECT_EQ(v->End(), E_FAIL);
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_EQ(messages[0].code, static_cast<DWORD>(kCheckOpenBlock));
    EXPECT_EQ(messages[0].text, "'rep' block is not closed at the end of the shader");

    // A new session forgets the old one; a clean program passes silently.
    messages.clear();
    ASSERT_EQ(v->Begin(&Collect, &messages, 0), S_OK);
    TokenBuilder c(MakeVertexVersion(1, 1));
    c.Ins(OP_MOV, {Dst(REG_RASTOUT, 0), Src(REG_CONST, 0)});
    const std::vector<DWORD> ok = c.End();
    for (size_t i = 0; i < ok.size();) {
        const size_t n = i == 0 ? 1 : (i + 3 <= ok.size() - 1 ? 3 : 1);
        EXPECT_EQ(v->Instruction("b.vsh", static_cast<UINT>(i), ok.data() + i, static_cast<DWORD>(n)), S_OK);
        i += n;
    }
    EXPECT_EQ(v->End(), S_OK);
    EXPECT_TRUE(messages.empty());
    // Without a session nothing is checked.
    EXPECT_EQ(v->Instruction(nullptr, 0, ok.data(), 1), D3DERR_INVALIDCALL);
    v->Release();
}

}  // namespace
}  // namespace gfx::test

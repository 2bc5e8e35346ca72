// The lowering as the compile entry drives it: demo shaders compile from
// their files into bytecode the device accepts, and lowering failures come
// back with their results and messages.
#include <gtest/gtest.h>

#include <string>

#include "gfx/shaders/shader_program.h"
#include "shader/compiler.h"

namespace {

struct EntryResult {
    HRESULT hr = E_FAIL;
    std::string messages;
    IKLBuffer* code = nullptr;
    ~EntryResult() {
        if (code) code->Release();
    }
};

void Collect(IKLBuffer* errors, EntryResult* r) {
    if (!errors) return;
    r->messages = static_cast<const char*>(errors->GetBufferPointer());
    errors->Release();
}

TEST(CompileEntry, DemoShaderFilesCompileToAcceptedBytecode) {
    const char* files[][3] = {{"Fire.vhl", "vs_main", "vs_2_0"}, {"Fire.phl", "ps_main", "ps_2_0"},
                              {"cube.vhl", "vs_main", "vs_2_0"}, {"Scroller.phl", "ps_main", "ps_2_0"}};
    for (auto& f : files) {
        const std::string path = std::string(KILN_SOURCE_DIR) + "/assets/" + f[0];
        EntryResult r;
        IKLBuffer* errors = nullptr;
        r.hr = KLCompileShaderFromFileA(path.c_str(), nullptr, nullptr, f[1], f[2], 0, &r.code, &errors, nullptr);
        Collect(errors, &r);
        ASSERT_EQ(S_OK, r.hr) << f[0] << "\n" << r.messages;
        ASSERT_TRUE(r.code);
        std::unique_ptr<gfx::ShaderProgram> program;
        const gfx::ShaderKind kind = f[2][0] == 'v' ? gfx::ShaderKind::Vertex : gfx::ShaderKind::Pixel;
        EXPECT_EQ(D3D_OK, gfx::ShaderProgram::Create(static_cast<const DWORD*>(r.code->GetBufferPointer()),
                                                     r.code->GetBufferSize() / 4, kind, &program))
            << f[0];
    }
}

TEST(CompileEntry, LoweringFailuresKeepTheirResults) {
    struct Case {
        const char* source;
        HRESULT hr;
        const char* message;
    };
    const Case cases[] = {
        {"float f(float x) { return f(x); }\nfloat4 main(float4 p : POSITION) : POSITION { return f(p.x); }", E_NOTIMPL,
         "(1): error X3500: 'f': recursive functions not yet implemented\n"},
        {"float4 main(float4 p : POSITION) { return p; }", E_FAIL,
         "(1): error X3503: 'main': function return value missing semantics\n"},
        {"float4 other(float4 p : POSITION) : POSITION { return p; }", E_FAIL,
         "error X3501: 'main': entrypoint not found\n"},
    };
    for (const Case& c : cases) {
        EntryResult r;
        IKLBuffer* errors = nullptr;
        r.hr = KLCompileShader(c.source, UINT(-1), nullptr, nullptr, "main", "vs_2_0", 0, &r.code, &errors, nullptr);
        Collect(errors, &r);
        EXPECT_EQ(c.hr, r.hr) << c.source;
        EXPECT_EQ(nullptr, r.code);
        EXPECT_NE(std::string::npos, r.messages.find(c.message)) << r.messages;
    }
}

}  // namespace

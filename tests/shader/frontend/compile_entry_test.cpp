// The compile entry runs the parser: front-end errors fail the compile with
// their messages in the error buffer.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "shader/compiler.h"

namespace {

struct Compiled {
    HRESULT hr;
    std::string errors;
};

Compiled Compile(const char* source) {
    IKLBuffer* code = nullptr;
    IKLBuffer* errors = nullptr;
    Compiled c;
    c.hr = KLCompileShader(source, UINT(-1), nullptr, nullptr, "main", "vs_2_0", 0, &code, &errors, nullptr);
    if (errors) {
        c.errors.assign(static_cast<const char*>(errors->GetBufferPointer()), errors->GetBufferSize());
        errors->Release();
    }
    if (code) code->Release();
    return c;
}

TEST(CompileEntry, FrontEndErrorsFailTheCompileWithTheirMessages) {
    Compiled c = Compile("float4 main() : POSITION { return undeclared; }");
    EXPECT_EQ(c.hr, E_FAIL);
    EXPECT_NE(c.errors.find("(1): error X3004: undeclared identifier 'undeclared'\n"), std::string::npos) << c.errors;
}

TEST(CompileEntry, SyntaxErrorsFailTheCompile) {
    Compiled c = Compile("float4 main( { }");
    EXPECT_EQ(c.hr, E_FAIL);
    EXPECT_NE(c.errors.find("error X3000: syntax error: unexpected token '{'"), std::string::npos) << c.errors;
}

TEST(CompileEntry, ACleanSourceGetsPastTheParser) {
    // Whatever the later stages make of it, the parser reports nothing.
    Compiled c = Compile("float4 main(float4 p : POSITION) : POSITION { return p; }");
    EXPECT_EQ(c.errors.find("X30"), std::string::npos) << c.errors;
}

std::vector<uint8_t> Bytecode(const char* source, const char* profile, DWORD flags) {
    IKLBuffer* code = nullptr;
    IKLBuffer* errors = nullptr;
    const HRESULT hr = KLCompileShader(source, UINT(-1), nullptr, nullptr, "main", profile, flags, &code, &errors,
                                       nullptr);
    if (errors) errors->Release();
    std::vector<uint8_t> bytes;
    if (SUCCEEDED(hr) && code) {
        const auto* p = static_cast<const uint8_t*>(code->GetBufferPointer());
        bytes.assign(p, p + code->GetBufferSize());
    }
    if (code) code->Release();
    return bytes;
}

TEST(CompileEntry, Ps1ProfilesIgnoreTheNoOptimisationFlag) {
    const char* source =
        "float4 k; float4 main(float4 c : COLOR0) : COLOR { float4 a = c * k; float4 b = a * k; return b * 1 + 0; }";
    const std::vector<uint8_t> optimised2 = Bytecode(source, "ps_2_0", 0), plain2 = Bytecode(source, "ps_2_0", 0x08);
    ASSERT_FALSE(optimised2.empty());
    ASSERT_FALSE(plain2.empty());
    ASSERT_NE(optimised2, plain2);  // the flag does change this program where it applies
    for (const char* profile : {"ps_1_1", "ps_1_4"}) {
        const std::vector<uint8_t> optimised = Bytecode(source, profile, 0);
        ASSERT_FALSE(optimised.empty()) << profile;
        EXPECT_EQ(optimised, Bytecode(source, profile, 0x08)) << profile;
    }
}

TEST(CompileEntry, InitializerListsDoNotReadObjectsAsNumbers) {
    IKLBuffer* code = nullptr;
    IKLBuffer* errors = nullptr;
    const HRESULT hr = KLCompileShader("sampler s; float4 main() : COLOR { float4 v = { s, 1, 2, 3 }; return v; }",
                                       UINT(-1), nullptr, nullptr, "main", "ps_2_0", 0, &code, &errors, nullptr);
    std::string log = errors ? std::string(static_cast<const char*>(errors->GetBufferPointer()), errors->GetBufferSize())
                             : "";
    if (errors) errors->Release();
    if (code) code->Release();
    EXPECT_EQ(hr, E_FAIL);
    EXPECT_NE(log.find("error X3017: 'v': cannot implicitly convert from 'sampler' to 'float'"), std::string::npos)
        << log;
}

}  // namespace

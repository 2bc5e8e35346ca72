// The compile entry runs the parser: front-end errors fail the compile with
// their messages in the error buffer.
#include <gtest/gtest.h>

#include <string>

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

}  // namespace

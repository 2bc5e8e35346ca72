// How tokens become terminals (keywords, reserved words, type names, asm
// blocks) and how scopes resolve names.
#include <gtest/gtest.h>

#include "check_util.h"

using namespace hlsl;

namespace {

struct Case {
    const char* source;
    bool ok;
};

TEST(Terminals, KeywordsReservedWordsAndTypeNames) {
    const Case cases[] = {
        {"technique T { PASS p { } }", true},
        {"TECHNIQUE T { Pass p { } }", true},       // case-insensitive keywords
        {"float Float; float f() { return Float; }", true},  // "Float" names a variable...
        {"FLOAT x;", true},                          // ...and a type where a type stands
        {"DWORD d = 3;", true},
        {"FLOAT4 x;", false},                        // prefix spellings are case-sensitive
        {"float switch;", false},                    // reserved words never parse
        {"float f() { goto x; }", false},
        {"float x = 1 ## 2;", false},                // other two-character operators are reserved
        {"float texture;", false},                   // object keywords outside state blocks
        {"technique t { pass p { Texture[0] = NULL; PixelShader = NULL; } }", true},
        {"sampler s = sampler_state { texture = NULL; };", true},
        {"typedef float4 color; color c = 1; color f(color a) { return a; }", true},
        {"struct L { float3 d; }; L l; float3 f() { return l.d; }", true},
        {"float4 f() { struct P { float a; }; P p; p.a = 1; return p.a; }", true},
        {"vector<int, 2> a = int2(1, 2); matrix<half, 2, 3> m;", true},
        {"PixelShader p = asm { ps_1_1 def c0, 1, 0, 0, 1 mov r0, c0 };", true},
        {"VertexShader v = ASM { vs_1_1 dcl_position v0 mov oPos, v0 };", true},
        {"PixelShader p = asm ps_1_1;", false},      // asm needs its braces
        {"float4 f() { PixelShader p = asm { ps_1_1 }; return 0; }", false},
    };
    for (const Case& c : cases) {
        CheckResult r = CheckSource(c.source);
        EXPECT_EQ(r.Ok(), c.ok) << c.source << "\n" << r.log;
    }
}

TEST(Terminals, AsmBlocksKeepTheirTextAndLines) {
    CheckResult r = CheckSource("PixelShader p = asm {\n  ps_1_1\n  tex t0\n};\nfloat after = 1;\nfloat bad = missing;\n");
    // The line count goes on correctly after the block.
    EXPECT_EQ(r.log, "t.hlsl(6): error X3004: undeclared identifier 'missing'\n");
}

TEST(Scopes, InnerDeclarationsShadowOuterOnes) {
    CheckResult r = CheckSource(
        "float x;\n"
        "float4 f(float4 y) { float x = 2; { float4 x = y; return x; } }\n");
    EXPECT_TRUE(r.Ok()) << r.log;
    auto* f = static_cast<FuncDecl*>(r.Find("f"));
    auto* inner = static_cast<BlockStmt*>(f->body[1]);
    auto* ret = static_cast<ReturnStmt*>(inner->stmts[1]);
    EXPECT_EQ(TypeName(ret->value->type), "float4");  // the innermost x
}

TEST(Scopes, RedefinitionsAndKinds) {
    const Case cases[] = {
        {"float f() { float a = 1; float a = 2; return a; }", false},  // X3003 in one block
        {"float f() { float a = 1; { float a = 2; } return a; }", true},
        {"float f() { for (int i = 0; i < 2; i++) {} for (int i = 0; i < 2; i++) {} return 0; }", true},
        {"float f() { for (int i = 0; i < 2; i++) {} int i = 5; return i; }", true},  // hidden loop variables
        {"struct S { float a; float a; };", false},
        {"float f(float a, float a) { return a; }", false},
        {"float g; float g() { return 0; }", false},
        {"float g() { return 0; } float g(float a) { return a; }", true},  // overloads
        {"technique t { } technique t { }", false},
    };
    for (const Case& c : cases) {
        CheckResult r = CheckSource(c.source);
        EXPECT_EQ(r.Ok(), c.ok) << c.source << "\n" << r.log;
    }
    CheckResult kind = CheckSource("struct S { float a; }; float f() { return S(1); }");
    EXPECT_FALSE(kind.Ok());
}

TEST(Scopes, ForLoopVariableWithoutOuterDeclarationIsQuiet) {
    CheckResult r = CheckSource("float f() { for (int i = 0; i < 3; i++) { } return i; }");
    EXPECT_TRUE(r.Ok());
    EXPECT_EQ(r.log, "");
}

}  // namespace

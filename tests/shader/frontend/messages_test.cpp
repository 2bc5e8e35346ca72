// Every message of the parser and the type checks on a representative
// source: one line per case, the expected message line next to it.
#include <gtest/gtest.h>

#include "check_util.h"

namespace {

struct MessageCase {
    const char* source;
    const char* line;  // a whole line the log must hold
};

const MessageCase kCases[] = {
    // syntax, names, kinds
    {"float4 x = ;", "t.hlsl(1): error X3000: syntax error: unexpected token ';'"},
    {"float a;\nfloat a;", "t.hlsl(2): error X3003: redefinition of 'a'"},
    {"float4 f() { return y; }", "t.hlsl(1): error X3004: undeclared identifier 'y'"},
    {"float4 f() { return nothing(1); }", "t.hlsl(1): error X3004: undeclared identifier 'nothing'"},
    {"float a; float f() { return a(); }", "t.hlsl(1): error X3005: 'a': identifier represents a variable, not a function"},
    {"float g(); float f() { return g; }", "t.hlsl(1): error X3005: 'g': identifier represents a function, not a variable"},
    {"technique T { } float f() { return T; }", "t.hlsl(1): error X3005: invalid use of 'T'"},
    // storage classes
    {"extern float f() { return 1; }", "t.hlsl(1): error X3006: 'f': functions cannot be declared 'extern'"},
    {"float f(extern float a) { return a; }", "t.hlsl(1): error X3006: 'a': function parameters cannot be declared 'extern'"},
    {"float f(static float a) { return a; }", "t.hlsl(1): error X3007: 'a': function parameters cannot be declared 'static'"},
    {"extern static float g;", "t.hlsl(1): error X3007: 'g': extern global variables cannot be declared 'static'"},
    {"uniform static float g;", "t.hlsl(1): error X3007: 'g': uniform global variables cannot be declared 'static'"},
    {"struct S { volatile float x; };", "t.hlsl(1): error X3008: 'x': structure members cannot be declared 'volatile'"},
    {"struct S { float x = 1; };", "t.hlsl(1): error X3009: 'x': structure members cannot have initializers"},
    {"float f(uniform sampler s = 0) { return 0; }",
     "t.hlsl(1): error X3009: 's': non-numeric uniform function parameters cannot have default values"},
    {"float b; float f(float a = b) { return a; }", "t.hlsl(1): error X3011: 'a': default value must be a literal expression"},
    {"float f() { const float c; return c; }", "t.hlsl(1): error X3012: 'c': missing initial value"},
    {"float x < int n; >;", "t.hlsl(1): error X3012: 'n': missing value"},
    // calls and constructors
    {"float g(float a) { return a; } float f() { return g(1, 2); }",
     "t.hlsl(1): error X3013: 'g': function does not take 2 parameters"},
    {"float f() { return abs(1, 2); }", "t.hlsl(1): error X3013: 'abs': intrinsic function does not take 2 parameters"},
    {"float f() { return abs(); }", "t.hlsl(1): error X3013: 'abs': intrinsic function does not take 0 parameters"},
    {"float4 v = float4(1, 2, 3);", "t.hlsl(1): error X3014: incorrect number of arguments to numeric-type constructor"},
    {"float4 f(float3 v) { float4 w; w = v; return w; }", "t.hlsl(1): error X3017: cannot implicitly convert from 'float3' to 'float4'"},
    {"float4 f(float3x3 m) { return (float4)m; }", "t.hlsl(1): error X3017: cannot convert from 'float3x3' to 'float4'"},
    {"float4 f(float3 u) { float4 v = u; return v; }", "t.hlsl(1): error X3017: 'v': cannot implicitly convert from 'float3' to 'float4'"},
    {"sampler s; float4 v = float4(s, 1, 2, 3);", "t.hlsl(1): error X3017: cannot convert from 'object type' to 'numeric type'"},
    // initializer lists: each element is assigned to the components it covers
    {"sampler s; float4 v = { s, 1, 2, 3 };", "t.hlsl(1): error X3017: 'v': cannot implicitly convert from 'sampler' to 'float'"},
    {"float4 v = { \"abc\", 1, 2, 3 };", "t.hlsl(1): error X3017: 'v': cannot implicitly convert from 'string' to 'float'"},
    {"sampler t[2] = { 1, 2 };", "t.hlsl(1): error X3017: 't': cannot implicitly convert from 'int' to 'sampler'"},
    {"struct S { float a; sampler s; }; S v = { 1, 2 };",
     "t.hlsl(1): error X3017: 'v': cannot implicitly convert from 'int' to 'sampler'"},
    {"float4 v = { 1, 2, 3 };", "t.hlsl(1): error X3017: 'v': cannot implicitly convert from 'int[3]' to 'float4'"},
    {"float4 v = { 1, 2, 3, 4, 5 };", "t.hlsl(1): error X3017: 'v': cannot convert from 'int[5]' to 'float4'"},
    {"float4 f(float4 v) { return v.xg; }", "t.hlsl(1): error X3018: invalid subscript 'xg'"},
    {"float4 f(float4 v) { if (v) return v; return 0; }", "t.hlsl(1): error X3019: float expected"},
    {"float3 f(float2x2 m, float3 v) { return m + v; }", "t.hlsl(1): error X3020: type mismatch"},
    {"sampler s; float f() { return s ? 1 : 0; }", "t.hlsl(1): error X3020: conditional must be numeric"},
    {"sampler s; float f(float c) { return c ? s : 1; }", "t.hlsl(1): error X3020: type mismatch between conditional values"},
    {"float4 f(float2 c, float4 a) { return c ? a : a; }", "t.hlsl(1): error X3020: dimension of conditional does not match value"},
    {"float f(float a) { return a[0]; }", "t.hlsl(1): error X3021: array expected"},
    {"sampler s; float f() { return -s; }", "t.hlsl(1): error X3022: scalar, vector, or matrix expected"},
    {"float f(float4 v) { v.xx = 1; return 0; }", "t.hlsl(1): error X3025: l-value specifies const object"},
    {"float f(float a[2]) { return a[2]; }", "t.hlsl(1): error X3030: array index out of bounds"},
    // compile-time evaluation
    {"static const float x = sqrt(-1);", "t.hlsl(1): error X3031: imaginary square root"},
    {"static const float x = log(0);", "t.hlsl(1): error X3032: infinite/indefinite log"},
    {"static const float x = pow(-2, 0.5);", "t.hlsl(1): error X3032: indefinite power"},
    {"static const int x = 7 / 0;", "t.hlsl(1): error X3033: division by zero"},
    {"static const float x = rsqrt(0);", "t.hlsl(1): error X3033: division by zero"},
    {"static const float x = fmod(1, 0);", "t.hlsl(1): error X3033: division by zero"},
    {"static const float x = acos(2);", "t.hlsl(1): error X3070: indefinite acos"},
    {"static const float x = asin(-2);", "t.hlsl(1): error X3071: indefinite asin"},
    // declarations
    {"struct S { const float x; };", "t.hlsl(1): error X3035: 'x': structure members cannot be declared 'const'"},
    {"float f(float a) { float a = 1; return a; }", "t.hlsl(1): error X3036: redefinition of formal parameter 'a'"},
    {"float4 v = sampler2D(1);", "t.hlsl(1): error X3037: constructors only defined for numeric base types"},
    {"sampler f() { }", "t.hlsl(1): error X3038: 'f': function return value must be numeric"},
    {"float f() { sampler s; return 0; }", "t.hlsl(1): error X3038: 's': local variables must be numeric"},
    {"vs_2_0 float g;", "t.hlsl(1): error X3039: 'g': global variables cannot be target specific"},
    {"float f() { float a < int x = 1; >; return 0; }", "t.hlsl(1): error X3040: 'a': local variables cannot have annotations"},
    {"float4 m() { return 0; } technique t { pass p { VertexShader = compile vs_4_0 m(); } }",
     "t.hlsl(1): error X3041: unsupported compiler target 'vs_4_0'"},
    {"float f() { float a : COLOR = 1; return a; }", "t.hlsl(1): error X3043: 'a': local variables cannot have semantics"},
    {"float f(float a = 1, float b) { return a; }", "t.hlsl(1): error X3044: 'f': missing default value for parameter 'b'"},
    {"void f(out float a = 1) { a = 2; }",
     "t.hlsl(1): error X3045: 'a': output only function parameters cannot have default values"},
    {"void f(const out float a) { }", "t.hlsl(1): error X3046: 'a': output paramaters cannot be declared 'const'"},
    {"uniform float f() { return 0; }", "t.hlsl(1): error X3047: 'f': functions cannot be declared 'uniform'"},
    {"float f() { uniform float a = 1; return a; }", "t.hlsl(1): error X3047: 'a': local variables cannot be declared 'uniform'"},
    {"static static float a;", "t.hlsl(1): error X3048: duplicate usages specified"},
    {"float f(float a[2], float2 i) { return a[i]; }", "t.hlsl(1): error X3051: scalar expected"},
    {"vector<float, 5> v;", "t.hlsl(1): error X3052: vector dimension must be between 1 and 4"},
    {"matrix<float, 0, 2> m;", "t.hlsl(1): error X3053: matrix dimensions must be between 1 and 4"},
    {"float f(shared float a) { return a; }", "t.hlsl(1): error X3054: 'a': function parameters cannot be declared 'shared'"},
    {"inline float a;", "t.hlsl(1): error X3055: 'a': global variables cannot be declared 'inline'"},
    {"float n; float a[n];", "t.hlsl(1): error X3058: 'a': array dimensions must be literal scalar expressions"},
    {"float a[70000];", "t.hlsl(1): error X3059: 'a': array dimension must be between 1 and 65536"},
    {"float a[300][300];", "t.hlsl(1): error X3059: 'a': array dimension must be between 1 and 65536"},
    {"float n; vector<float, n> v;", "t.hlsl(1): error X3060: vector dimension must be a literal scalar expression"},
    {"float n; matrix<float, n, 2> m;", "t.hlsl(1): error X3061: matrix dimensions must be literal scalar expressions"},
    {"float f(uniform out float a) { return 0; }", "t.hlsl(1): error X3062: 'a': function parameters cannot be declared 'uniform out'"},
    {"float f() { float4 s = compile ps_2_0 f(); return 0; }", "t.hlsl(1): error X3064: object literals are not allowed inside functions"},
    {"sampler s; float f(sampler t) { t = s; return 0; }", "t.hlsl(1): error X3065: object assignments are not allowed inside functions"},
    {"float f(float a) { return a; } float f(int a) { return a; } float g() { return f(1); }",
     "t.hlsl(1): error X3067: 'f': ambiguous function call"},
    {"float f(float a);\nhalf f(float a) { return a; }", "t.hlsl(2): error X3068: 'f': function return value differs from prototype"},
    {"float f() { return 0; }\nfloat f() { return 1; }", "t.hlsl(2): error X3069: 'f' already has a body"},
    {"float f(float a[]) { return 0; }", "t.hlsl(1): error X3072: 'a': array dimensions of function parameters must be explicit"},
    {"typedef float T[];", "t.hlsl(1): error X3072: 'T': array dimensions of type must be explicit"},
    {"static const float a[2][] = { 1, 2 };", "t.hlsl(1): error X3073: 'a': secondary array dimensions must be explicit"},
    {"float f() { float a[]; return 0; }", "t.hlsl(1): error X3074: 'a': implicit array missing initial value"},
    {"float f() { float2 a[] = { 1, 2, 3 }; return 0; }", "t.hlsl(1): error X3075: 'a': implicit array type does not match initial value"},
    {"void f() : COLOR { }", "t.hlsl(1): error X3076: 'f': void function cannot have a semantic"},
    {"row_major float4 v;", "t.hlsl(1): error X3077: non-matrix types cannot be declared 'row_major' or 'column_major'"},
    {"float f() { float i = 5; for (int i = 0; i < 2; i++) { } return i; }",
     "t.hlsl(1): warning X3078: 'i': loop control variable used outside for-loop scope conflicts with a previous "
     "declaration in the outer scope; most recent definition used"},
    {"void f() { return 1; }", "t.hlsl(1): error X3079: 'f': void functions cannot return a value"},
    {"float f() { return; }", "t.hlsl(1): error X3080: 'f': function must return a value"},
    {"technique t { pass p { ZEnable = 1, 2; } }",
     "t.hlsl(1): warning X3081: comma expression used where an initializer list may have been intended"},
};

TEST(FrontEndMessages, EveryMessageOnARepresentativeSource) {
    for (const MessageCase& c : kCases) {
        CheckResult r = CheckSource(c.source);
        EXPECT_NE(r.log.find(std::string(c.line) + "\n"), std::string::npos)
            << "source: " << c.source << "\nexpected: " << c.line << "\nlog: " << r.log;
    }
}

TEST(FrontEndMessages, ErrorsFailTheParseAndWarningsDoNot) {
    EXPECT_EQ(CheckSource("float4 f() { return y; }").hr, E_FAIL);
    CheckResult warned = CheckSource("technique t { pass p { ZEnable = 1, 2; } }");
    EXPECT_EQ(warned.hr, S_OK);
    EXPECT_NE(warned.log.find("warning X3081"), std::string::npos);
}

TEST(FrontEndMessages, OnlyTheFirstSyntaxErrorIsReported) {
    // A syntax error after an earlier error of the same parse is silent.
    CheckResult r = CheckSource("float a = y;\nfloat4 = ;\n");
    EXPECT_NE(r.log.find("X3004"), std::string::npos);
    EXPECT_EQ(r.log.find("X3000"), std::string::npos) << r.log;
    // Two syntax errors: one message.
    CheckResult two = CheckSource("float4 = ;\nfloat3 = ;\n");
    EXPECT_EQ(two.log, "t.hlsl(1): error X3000: syntax error: unexpected token '='\n");
    // After recovering at the top level, later declarations are checked as
    // top-level ones again (no parameter or local rules leak from the wreck).
    CheckResult recovered = CheckSource("float f(float texture) { return 0; }\nstatic const float x = 1;\nfloat y = z;\n");
    EXPECT_EQ(recovered.log,
              "t.hlsl(1): error X3000: syntax error: unexpected token 'texture'\n"
              "t.hlsl(3): error X3004: undeclared identifier 'z'\n");
    // A scope left open by an error inside a function body closes with it.
    CheckResult inner = CheckSource("float f() { for (int i = 0; i < 3; i++ { } return 0; }\nstatic float s;\nfloat t = u;\n");
    EXPECT_EQ(inner.log,
              "t.hlsl(1): error X3000: syntax error: unexpected token '{'\n"
              "t.hlsl(3): error X3004: undeclared identifier 'u'\n");
}

TEST(FrontEndMessages, OneFaultOneMessage) {
    const MessageCase cases[] = {
        // A return whose expression failed reports that failure only.
        {"float4 f(float4 v) { return v.xg; }", "t.hlsl(1): error X3018: invalid subscript 'xg'"},
        {"float f(float a) { return a; } float f(int a) { return a; } float g() { return f(1); }",
         "t.hlsl(1): error X3067: 'f': ambiguous function call"},
        {"float4 f() { return float4(1, 2, 3); }",
         "t.hlsl(1): error X3014: incorrect number of arguments to numeric-type constructor"},
        {"float f(float a[2]) { return a[2]; }", "t.hlsl(1): error X3030: array index out of bounds"},
        {"float4 f(float3 v) { return y; }", "t.hlsl(1): error X3004: undeclared identifier 'y'"},
        {"void f() { return y; }", "t.hlsl(1): error X3004: undeclared identifier 'y'"},
        // Two target names on one function are a syntax error.
        {"vs_2_0 float4 main(float4 p : POSITION) : POSITION ps_2_0 { return p; }",
         "t.hlsl(1): error X3000: syntax error: unexpected token 'ps_2_0'"},
    };
    for (const MessageCase& c : cases) {
        CheckResult r = CheckSource(c.source);
        EXPECT_EQ(r.log, std::string(c.line) + "\n") << c.source;
    }
    // One target name, before or after the parameters, is fine.
    EXPECT_TRUE(CheckSource("vs_2_0 float4 main(float4 p : POSITION) : POSITION { return p; }").Ok());
    EXPECT_TRUE(CheckSource("float4 main(float4 p : POSITION) : POSITION vs_2_0 { return p; }").Ok());
}

// An array whose dimensions are refused is reported once: its uses add no
// "array expected" or other messages of their own.
TEST(FrontEndMessages, RefusedArrayDimensionsAreReportedOnce) {
    CheckResult local = CheckSource("float4 f(float4 p) {\n float a[100000];\n a[0] = p.x;\n return p * a[1]; }\n"
                                    "float4 g(float4 p) { return p; }");
    EXPECT_EQ(local.log.find("t.hlsl(2): error X3059: 'a': array dimension must be between 1 and 65536\n"), 0u)
        << local.log;
    EXPECT_EQ(local.log.find("X3021"), std::string::npos) << local.log;
    CheckResult global = CheckSource("float4 k[300][300];\nfloat4 f() { return k[1][2] + k[0]; }");
    EXPECT_EQ(global.log.find("t.hlsl(1): error X3059: 'k': array dimension must be between 1 and 65536\n"), 0u)
        << global.log;
    EXPECT_EQ(global.log.find("X3021"), std::string::npos) << global.log;
}

// An expression given for an out or inout parameter is reported as what it
// is, not as a failed conversion to "parameter types".
TEST(FrontEndMessages, OutArgumentsMustBeVariables) {
    CheckResult r = CheckSource("void f(inout float4 x) { x += 1; }\nfloat4 g(float4 p) {\n f(p + 1);\n return p; }");
    EXPECT_EQ(r.log, "t.hlsl(3): error X3025: l-value specifies const object\n");
    // With a second overload that cannot take the argument either, which one
    // was meant is unclear: the conversion message stays.
    CheckResult two = CheckSource("void f(inout float4 x) { }\nvoid f(out float2x2 m) { }\n"
                                  "float4 g(float4 p) {\n f(p + 1);\n return p; }");
    EXPECT_NE(two.log.find("error X3017: 'f': cannot convert from 'float4' to 'parameter types'"), std::string::npos)
        << two.log;
}

TEST(FrontEndMessages, SyntaxErrorsDescribeTheToken) {
    const MessageCase cases[] = {
        {"float x = 1 2;", "t.hlsl(1): error X3000: syntax error: unexpected integer constant"},
        {"float x = 1.5 2.5;", "t.hlsl(1): error X3000: syntax error: unexpected float constant"},
        {"float x = 1 \"b\";", "t.hlsl(1): error X3000: syntax error: unexpected string constant"},
        {"float x", "t.hlsl(1): error X3000: syntax error: unexpected end of file"},
        {"float switch;", "t.hlsl(1): error X3000: syntax error: unexpected token 'switch'"},
    };
    for (const MessageCase& c : cases) {
        CheckResult r = CheckSource(c.source);
        EXPECT_EQ(r.log, std::string(c.line) + "\n") << c.source;
    }
}

TEST(FrontEndMessages, DeepNestingOverflowsTheStacksOnce) {
    std::string source = "float x = " + std::string(600, '(') + "1" + std::string(600, ')') + ";";
    CheckResult r = CheckSource(source);
    EXPECT_EQ(r.hr, E_FAIL);
    EXPECT_NE(r.log.find("yacc stack overflow\n"), std::string::npos) << r.log;
}

}  // namespace

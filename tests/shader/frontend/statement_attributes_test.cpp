// Attributes before statements: every form parses and lands on the statement
// it applies to; unknown and misplaced ones are warned about and ignored;
// bad counts and contradicting pairs are errors; an "[unroll(n)]" count and
// an "[unroll]" the lowering cannot honour fail the compile by name.
#include <gtest/gtest.h>

#include <string>

#include "check_util.h"
#include "shader/compiler.h"

using namespace hlsl;

namespace {

// Parses `statement` as the first statement of a function with a float
// parameter `x` and an int `i` in scope.
CheckResult ParseStatement(const std::string& statement, const std::string& prelude = "") {
    return CheckSource(prelude + "\nfloat f(float x) { int i = 0; float r = 0;\n" + statement + "\nreturn r; }");
}

// The statement after the two declarations.
const Stmt* Attributed(const CheckResult& r) {
    if (!r.tree) return nullptr;
    for (const Decl* d : r.tree->decls)
        if (d->declKind == kDeclFunction) {
            const auto* f = static_cast<const FuncDecl*>(d);
            return f->body.size() > 2 ? f->body[2] : nullptr;
        }
    return nullptr;
}

TEST(StatementAttributes, EveryFormIsKeptOnTheStatementItAppliesTo) {
    const struct {
        const char* source;
        NodeKind kind;
        uint32_t flags;
        uint32_t count;
    } cases[] = {
        {"[flatten] if (x > 0) r = 1;", NodeKind::If, kAttrFlatten, 0},
        {"[branch] if (x > 0) r = 1; else r = 2;", NodeKind::If, kAttrBranch, 0},
        {"[loop] for (i = 0; i < 4; i++) r += x;", NodeKind::Loop, kAttrLoop, 0},
        {"[unroll] while (i < 3) { r += x; i++; }", NodeKind::Loop, kAttrUnroll, 0},
        {"[unroll(8)] for (int k = 0; k < 4; k++) r += x;", NodeKind::Loop, kAttrUnroll, 8},
        {"[fastopt] do { r += x; i++; } while (i < 2);", NodeKind::Loop, kAttrFastOpt, 0},
        {"[allow_uav_condition] for (; i < 2; i++) r += x;", NodeKind::Loop, kAttrAllowUavCondition, 0},
        {"[unroll(2)] [fastopt] for (i = 0; i < 2; i++) r += x;", NodeKind::Loop, kAttrUnroll | kAttrFastOpt, 2},
        {"[UNROLL(3)] for (i = 0; i < 2; i++) r += x;", NodeKind::Loop, kAttrUnroll, 3},
        {"[unroll(2 + 1)] for (i = 0; i < 2; i++) r += x;", NodeKind::Loop, kAttrUnroll, 3},
        {"[unroll(N)] for (i = 0; i < 2; i++) r += x;", NodeKind::Loop, kAttrUnroll, 5},
        {"if (x > 0) r = 1; else [branch] if (x < 0) r = 2;", NodeKind::If, 0, 0},
    };
    for (const auto& c : cases) {
        const CheckResult r = ParseStatement(c.source, "static const int N = 5;");
        EXPECT_TRUE(r.Ok()) << c.source << "\n" << r.log;
        EXPECT_EQ("", r.log) << c.source;
        const Stmt* s = Attributed(r);
        ASSERT_NE(nullptr, s) << c.source;
        EXPECT_EQ(c.kind, s->kind) << c.source;
        EXPECT_EQ(c.flags, s->attributes.flags) << c.source;
        EXPECT_EQ(c.count, s->attributes.unrollCount) << c.source;
    }
    // The attribute of the inner "if" of an else arm stays on that "if".
    const CheckResult r = ParseStatement("if (x > 0) r = 1; else [branch] if (x < 0) r = 2;");
    const auto* outer = static_cast<const IfStmt*>(Attributed(r));
    ASSERT_NE(nullptr, outer);
    ASSERT_NE(nullptr, outer->otherwise);
    EXPECT_EQ(kAttrBranch, outer->otherwise->attributes.flags);
}

TEST(StatementAttributes, UnknownAndMisplacedAttributesWarnAndAreIgnored) {
    const struct {
        const char* source;
        const char* message;
    } cases[] = {
        {"[maxiterations] for (i = 0; i < 2; i++) r += x;",
         "t.hlsl(3): warning X3082: 'maxiterations': unknown attribute, ignored\n"},
        {"[numthreads(8, 8, 1)] if (x > 0) r = 1;",
         "t.hlsl(3): warning X3082: 'numthreads': unknown attribute, ignored\n"},
        {"[loop] if (x > 0) r = 1;",
         "t.hlsl(3): warning X3083: 'loop': attribute applies to for, while and do loops only, ignored\n"},
        {"[flatten] for (i = 0; i < 2; i++) r += x;",
         "t.hlsl(3): warning X3083: 'flatten': attribute applies to if statements only, ignored\n"},
        {"[forcecase] if (x > 0) r = 1;",
         "t.hlsl(3): warning X3083: 'forcecase': attribute applies to switch statements only, ignored\n"},
        {"[call] r = x;", "t.hlsl(3): warning X3083: 'call': attribute applies to switch statements only, ignored\n"},
        {"[unroll] { r = x; }",
         "t.hlsl(3): warning X3083: 'unroll': attribute applies to for, while and do loops only, ignored\n"},
    };
    for (const auto& c : cases) {
        const CheckResult r = ParseStatement(c.source);
        EXPECT_TRUE(r.Ok()) << c.source << "\n" << r.log;
        EXPECT_EQ(c.message, r.log) << c.source;
        const Stmt* s = Attributed(r);
        ASSERT_NE(nullptr, s) << c.source;
        EXPECT_EQ(0u, s->attributes.flags) << c.source;
    }
}

TEST(StatementAttributes, BadCountsAndContradictionsAreErrors) {
    const struct {
        const char* source;
        const char* message;
    } cases[] = {
        {"[unroll(0)] for (i = 0; i < 2; i++) r += x;",
         "t.hlsl(3): error X3084: 'unroll': attribute count must be a literal integer greater than zero\n"},
        {"[unroll(1.5)] for (i = 0; i < 2; i++) r += x;",
         "t.hlsl(3): error X3084: 'unroll': attribute count must be a literal integer greater than zero\n"},
        {"[unroll(x)] for (i = 0; i < 2; i++) r += x;",
         "t.hlsl(3): error X3084: 'unroll': attribute count must be a literal integer greater than zero\n"},
        {"[unroll(2, 3)] for (i = 0; i < 2; i++) r += x;",
         "t.hlsl(3): error X3084: 'unroll': attribute takes one argument, the count\n"},
        {"[loop(2)] for (i = 0; i < 2; i++) r += x;", "t.hlsl(3): error X3084: 'loop': attribute takes no arguments\n"},
        {"[flatten] [branch] if (x > 0) r = 1;",
         "t.hlsl(3): error X3085: 'flatten' and 'branch' attributes cannot be used together\n"},
        {"[unroll] [loop] for (i = 0; i < 2; i++) r += x;",
         "t.hlsl(3): error X3085: 'unroll' and 'loop' attributes cannot be used together\n"},
    };
    for (const auto& c : cases) {
        const CheckResult r = ParseStatement(c.source);
        EXPECT_FALSE(r.Ok()) << c.source;
        EXPECT_EQ(c.message, r.log) << c.source;
    }
}

TEST(StatementAttributes, MalformedAttributesAreSyntaxErrors) {
    for (const char* source : {"[unroll for (i = 0; i < 2; i++) r += x;", "[] if (x > 0) r = 1;",
                               "[unroll()] for (i = 0; i < 2; i++) r += x;", "[if] if (x > 0) r = 1;"}) {
        const CheckResult r = ParseStatement(source);
        EXPECT_FALSE(r.Ok()) << source;
        EXPECT_NE(std::string::npos, r.log.find("X3000")) << source << "\n" << r.log;
    }
}

struct Compiled {
    HRESULT hr;
    std::string errors;
};

Compiled Compile(const std::string& source, const char* profile) {
    IKLBuffer* code = nullptr;
    IKLBuffer* errors = nullptr;
    Compiled c;
    c.hr = KLCompileShader(source.c_str(), UINT(source.size()), nullptr, nullptr, "main", profile, 0, &code,
                           &errors, nullptr);
    if (errors) {
        c.errors.assign(static_cast<const char*>(errors->GetBufferPointer()), errors->GetBufferSize());
        errors->Release();
    }
    if (code) code->Release();
    return c;
}

std::string LoopShader(const std::string& loop) {
    return "float n;\nfloat4 main(float4 t : TEXCOORD0) : COLOR {\n    float4 r = 0;\n    " + loop +
           " r += t;\n    return r;\n}\n";
}

TEST(StatementAttributes, UnrollCountsCapTheUnrolledRounds) {
    // Exactly as many rounds as the count, or fewer: compiled.
    for (const char* loop : {"[unroll(4)] for (int i = 0; i < 4; i++)", "[unroll(9)] for (int i = 0; i < 4; i++)",
                             "[unroll] for (int i = 0; i < 4; i++)", "[loop] for (int i = 0; i < 4; i++)"}) {
        const Compiled c = Compile(LoopShader(loop), "ps_2_0");
        EXPECT_EQ(S_OK, c.hr) << loop << "\n" << c.errors;
    }
    const Compiled over = Compile(LoopShader("[unroll(3)] for (int i = 0; i < 4; i++)"), "ps_2_0");
    EXPECT_TRUE(FAILED(over.hr));
    EXPECT_NE(std::string::npos,
              over.errors.find("(4): error X3512: [unroll(3)]: the loop runs more than 3 times; raise the "
                               "count or remove the attribute"))
        << over.errors;
}

TEST(StatementAttributes, UnrollOnALoopThatCannotBeUnrolledSaysSo) {
    const Compiled c = Compile(LoopShader("[unroll] for (int i = 0; i < n; i++)"), "ps_2_0");
    EXPECT_TRUE(FAILED(c.hr));
    EXPECT_NE(std::string::npos,
              c.errors.find("(4): error X3512: [unroll]: the loop cannot be unrolled; it must end on a "
                            "compile-time constant condition within 1024 iterations"))
        << c.errors;
    // Without the attribute the same loop keeps the general message.
    const Compiled plain = Compile(LoopShader("for (int i = 0; i < n; i++)"), "ps_2_0");
    EXPECT_NE(std::string::npos, plain.errors.find("X3500: general for/do/while statements")) << plain.errors;

    // On a model with loops a count from a uniform integer makes a real loop,
    // unless the loop asked to be unrolled.
    const std::string source = "int m;\nfloat4 main(float4 t : TEXCOORD0) : COLOR {\n    float4 r = 0;\n"
                               "    LOOP for (int i = 0; i < m; i++) r += t;\n    return r;\n}\n";
    auto with = [&](const char* attribute) {
        std::string text = source;
        text.replace(text.find("LOOP"), 4, attribute);
        return Compile(text, "ps_3_0");
    };
    EXPECT_EQ(S_OK, with("").hr) << with("").errors;
    EXPECT_EQ(S_OK, with("[loop]").hr) << with("[loop]").errors;
    const Compiled unrolled = with("[unroll]");
    EXPECT_TRUE(FAILED(unrolled.hr));
    EXPECT_NE(std::string::npos, unrolled.errors.find("(4): error X3512: [unroll]: the loop cannot be unrolled"))
        << unrolled.errors;
}

}  // namespace

// Worked examples: constant folding, overload resolution, conversions,
// swizzles, declarations and the shape of the tree the lowering reads.
#include <gtest/gtest.h>

#include <cmath>

#include "check_util.h"
#include "shader/frontend/constant_folding.h"

using namespace hlsl;

namespace {

// The first statement of the first function body.
const Stmt* FirstStatement(const CheckResult& r) {
    if (!r.tree) return nullptr;
    for (const Decl* d : r.tree->decls)
        if (d->declKind == kDeclFunction && !static_cast<const FuncDecl*>(d)->body.empty())
            return static_cast<const FuncDecl*>(d)->body[0];
    return nullptr;
}

// Parses "void f() { EXPR; }" and returns the expression of the statement.
const Expr* ParseExpression(const std::string& expr, CheckResult* r, const std::string& prelude = "") {
    *r = CheckSource(prelude + "\nvoid f() { " + expr + "; }");
    const Stmt* s = FirstStatement(*r);
    return s && s->kind == NodeKind::ExprStmt ? static_cast<const ExprStmt*>(s)->expr : nullptr;
}

struct FoldCase {
    const char* expr;
    const char* type;
    std::vector<double> values;
};

TEST(ConstantFolding, OperatorsAndIntrinsicsFoldToLiterals) {
    const FoldCase cases[] = {
        {"1 + 2", "int", {3}},
        {"7 % 2.5", "float", {2}},
        {"-7 % 3", "int", {-1}},
        {"-7 / 2", "int", {-3}},
        {"1.5f * 2", "float", {3}},
        {"2 > 1", "bool", {1}},
        {"!0", "bool", {1}},
        {"1 && 0", "bool", {0}},
        {"float3(1, 2, 3) * 2", "float3", {2, 4, 6}},
        {"float4(1, 2, 3, 4).wzyx", "const float4", {4, 3, 2, 1}},
        {"float2(5, 6)[1]", "const float", {6}},
        {"true ? 1 : 2", "int", {1}},
        {"(int)2.9999995", "int", {3}},
        {"(int)-2.5", "int", {-2}},
        {"dot(float3(1, 2, 3), float3(4, 5, 6))", "float", {32}},
        {"length(float2(3, 4))", "float", {5}},
        {"cross(float3(1, 0, 0), float3(0, 1, 0))", "float3", {0, 0, 1}},
        {"max(3, 4.5)", "float", {4.5}},
        {"clamp(5, 0, 2)", "int", {2}},
        {"saturate(1.5)", "float", {1}},
        {"lerp(0, 10, 0.25)", "float", {2.5}},
        {"sqrt(16)", "float", {4}},
        {"step(0.5, 0.7)", "float", {1}},
        {"abs(-3)", "int", {-3 * -1}},
        {"pow(2, 10)", "float", {1024}},
        {"4294967295", "int", {4294967295.0}},
    };
    for (const FoldCase& c : cases) {
        CheckResult r;
        const Expr* e = ParseExpression(c.expr, &r);
        ASSERT_TRUE(e) << c.expr << "\n" << r.log;
        ASSERT_EQ(e->kind, NodeKind::Literal) << c.expr;
        EXPECT_EQ(TypeName(e->type), c.type) << c.expr;
        const auto& values = static_cast<const LiteralExpr*>(e)->values;
        ASSERT_EQ(values.size(), c.values.size()) << c.expr;
        for (size_t i = 0; i < values.size(); ++i) EXPECT_DOUBLE_EQ(values[i].AsDouble(), c.values[i]) << c.expr;
    }
}

TEST(ConstantFolding, IndefiniteResultsAreComputedAnyway) {
    TypeTable t;
    const Type* f = t.Scalar(kFloat);
    hlsl::Values seven = {ConstValue::Float(7)}, zero = {ConstValue::Float(0)}, minusOne = {ConstValue::Float(-1)};
    hlsl::Values out;
    std::vector<const Diagnostic*> notes;
    ASSERT_TRUE(FoldOperator(Op::Divide, f, {&seven, &zero}, &out, &notes));
    EXPECT_TRUE(std::isinf(out[0].AsDouble()));
    ASSERT_EQ(notes.size(), 1u);
    EXPECT_EQ(notes[0]->number, 3033u);
    notes.clear();
    ASSERT_TRUE(FoldIntrinsic(kSqrt, f, {&minusOne}, &out, &notes));
    EXPECT_TRUE(std::isnan(out[0].AsDouble()));
    ASSERT_EQ(notes.size(), 1u);
    EXPECT_EQ(notes[0]->number, 3031u);
    // Integer results round toward zero after the 1e-6 nudge.
    notes.clear();
    hlsl::Values a = {ConstValue::Float(2.9999995)};
    ASSERT_TRUE(FoldOperator(Op::Plus, t.Scalar(kInt), {&a}, &out, &notes));
    EXPECT_EQ(int32_t(out[0].bits), 3);
    // Operands of sizes that do not combine are left for run time.
    hlsl::Values two = {ConstValue::Float(1), ConstValue::Float(2)}, three = {ConstValue::Float(1), ConstValue::Float(2), ConstValue::Float(3)};
    EXPECT_FALSE(FoldOperator(Op::Add, t.Vector(kFloat, 3), {&two, &three}, &out, &notes));
}

TEST(ConstantFolding, NonLiteralOperandsStayForRunTime) {
    CheckResult r;
    const Expr* e = ParseExpression("u + 1", &r, "float u;");
    ASSERT_TRUE(e) << r.log;
    ASSERT_EQ(e->kind, NodeKind::Operator);
    auto* op = static_cast<const OperatorExpr*>(e);
    EXPECT_EQ(op->op, Op::Add);
    EXPECT_EQ(op->operands[1]->kind, NodeKind::Literal);
    EXPECT_EQ(TypeName(op->operands[1]->type), "float");  // converted to the mixed type
}

TEST(Conversions, InitializersAndConstructors) {
    CheckResult r = CheckSource(
        "static const float4 a = 1;\n"
        "static const float3 b = float4(1, 2, 3, 4);\n"
        "static const float4 c = float4(float2(1, 2), 3, 4);\n"
        "static const float d[] = { 1, 2, 3 };\n"
        "static const float e[2.9999995] = { 5, 6, 7 };\n");
    ASSERT_NE(GlobalLiteral(r, "a"), nullptr) << r.log;
    EXPECT_EQ(GlobalLiteral(r, "a")->values.size(), 4u);
    EXPECT_DOUBLE_EQ(GlobalLiteral(r, "a")->values[3].AsDouble(), 1);
    ASSERT_NE(GlobalLiteral(r, "b"), nullptr);
    EXPECT_EQ(GlobalLiteral(r, "b")->values.size(), 3u);
    EXPECT_DOUBLE_EQ(GlobalLiteral(r, "b")->values[2].AsDouble(), 3);
    ASSERT_NE(GlobalLiteral(r, "c"), nullptr);
    EXPECT_DOUBLE_EQ(GlobalLiteral(r, "c")->values[2].AsDouble(), 3);
    auto* d = static_cast<VarDecl*>(r.Find("d"));
    ASSERT_TRUE(d);
    EXPECT_EQ(TypeName(d->type), "const float[3]");
    // A dimension of 2.9999995 is 3, so three initial values fit.
    auto* e = static_cast<VarDecl*>(r.Find("e"));
    ASSERT_TRUE(e);
    EXPECT_EQ(TypeName(e->type), "const float[3]");
    EXPECT_EQ(r.log, "");
}

TEST(Swizzles, ShapesAndConstness) {
    struct Case {
        const char* expr;
        const char* type;  // "-" for X3018
    };
    const Case cases[] = {
        {"v.xyz", "float3"},        {"v.xxyy", "const float4"}, {"v.rgba", "float4"},  {"v.xg", "-"},
        {"v.xyzwx", "-"},           {"s.x", "float"},           {"s.xxx", "const float3"}, {"s.y", "-"},
        {"m._11_22", "float2"},     {"m._m00_m11", "float2"},   {"m._11_m11", "-"},     {"m._44", "float"},
        {"n._33", "-"},             {"n._m12", "float"},        {"n._m21", "-"},
    };
    for (const Case& c : cases) {
        CheckResult r;
        const Expr* e = ParseExpression(c.expr, &r, "float4 v; float s; float4x4 m; float2x3 n;");
        if (std::string(c.type) == "-") {
            EXPECT_NE(r.log.find("X3018"), std::string::npos) << c.expr << "\n" << r.log;
        } else {
            ASSERT_TRUE(e) << c.expr << "\n" << r.log;
            EXPECT_EQ(TypeName(e->type), c.type) << c.expr;
        }
    }
}

TEST(Members, OffsetsFollowTheMembersBeforeThem) {
    CheckResult r;
    const Expr* e = ParseExpression("s.c", &r, "struct S { float2 a; float3x3 b; float c; }; S s;");
    ASSERT_TRUE(e) << r.log;
    ASSERT_EQ(e->kind, NodeKind::Member);
    EXPECT_EQ(static_cast<const MemberExpr*>(e)->offset, 11u);
    EXPECT_EQ(TypeName(e->type), "float");
}

// The function a call in "float t() { return CALL; }" resolved to.
const FuncDecl* Resolved(const std::string& prelude, const std::string& call, std::string* log) {
    static CheckResult keep;
    keep = CheckSource(prelude + "\nfloat t() { return " + call + "; }");
    *log = keep.log;
    auto* t = static_cast<FuncDecl*>(keep.Find("t"));
    if (!t || t->body.empty() || t->body[0]->kind != NodeKind::Return) return nullptr;
    const Expr* v = static_cast<ReturnStmt*>(t->body[0])->value;
    while (v && v->kind == NodeKind::Conversion) v = static_cast<const ConversionExpr*>(v)->args[0];
    return v && v->kind == NodeKind::Call ? static_cast<const CallExpr*>(v)->function : nullptr;
}

TEST(OverloadResolution, LowestCostWins) {
    struct Case {
        const char* prelude;
        const char* call;
        const char* chosenParam;  // type of the chosen function's first parameter; "-" for ambiguous
    };
    const Case cases[] = {
        // float-suffixed literal: float costs 0, half a narrowing
        {"float f(float a) { return a; } float f(half a) { return a; }", "f(1.0f)", "float"},
        // plain literal: one widening each
        {"float f(float a) { return a; } float f(int a) { return a; }", "f(1)", "-"},
        // replication costs more than nothing
        {"float f(float4 a) { return a.x; } float f(float a) { return a; }", "f(2.0f)", "float"},
        // replication to two sizes costs the same: a tie
        {"float f(float2 a) { return a.x; } float f(float3 a) { return a.x; }", "f(2.0f)", "-"},
        // an unsuffixed float literal widens to float and to half alike: a tie
        {"float f(float a) { return a; } float f(half a) { return a; }", "f(1.0)", "-"},
        // ... but the exact type wins against both
        {"float f(half a) { return a; } float f(float a) { return a; }", "f(1.0h)", "half"},
        // truncation costs most
        {"float f(float3 a) { return a.x; } float f(float4 a) { return a.x; }", "f(float4(1, 2, 3, 4))", "float4"},
        // narrowing costs less than widening
        {"float f(half a) { return a; } float f(double a) { return a; }", "f(1.0f)", "half"},
        // an "out" parameter needs an l-value: only the "in" overload fits
        {"float f(out float a) { a = 1; return a; } float f(float a, float b = 2) { return a; }", "f(3)", "float"},
    };
    for (const Case& c : cases) {
        std::string log;
        const FuncDecl* f = Resolved(c.prelude, c.call, &log);
        if (std::string(c.chosenParam) == "-") {
            EXPECT_NE(log.find("X3067"), std::string::npos) << c.call << "\n" << log;
        } else {
            ASSERT_TRUE(f) << c.prelude << " / " << c.call << "\n" << log;
            EXPECT_EQ(TypeName(f->params[0]->type), c.chosenParam) << c.prelude;
        }
    }
}

TEST(OverloadResolution, DefaultsFillMissingArgumentsAndOutputsAreListed) {
    CheckResult r = CheckSource(
        "float g(float a, out float b, float c = 7) { b = a; return c; }\n"
        "float t() { float x; return g(1, x); }");
    ASSERT_TRUE(r.Ok()) << r.log;
    auto* t = static_cast<FuncDecl*>(r.Find("t"));
    auto* ret = static_cast<ReturnStmt*>(t->body[1]);
    ASSERT_EQ(ret->value->kind, NodeKind::Call);
    auto* call = static_cast<CallExpr*>(ret->value);
    ASSERT_EQ(call->inputs.size(), 3u);
    EXPECT_EQ(call->inputs[1], nullptr);  // "out" only
    ASSERT_TRUE(call->inputs[2]);
    EXPECT_DOUBLE_EQ(static_cast<LiteralExpr*>(call->inputs[2])->values[0].AsDouble(), 7);
    ASSERT_EQ(call->outputs.size(), 1u);
    EXPECT_EQ(call->outputs[0].paramIndex, 1u);
}

TEST(OverloadResolution, TargetSpecificFunctionsPreferTheirTarget) {
    const char* prelude = "vs_2_0 float k() { return 2; } float k() { return 1; }\n";
    CheckResult r = CheckSource(std::string(prelude) +
                                "vs_2_0 float a() { return k(); }\nfloat b() { return k(); }");
    ASSERT_TRUE(r.Ok()) << r.log;
    auto callee = [&](const char* name) {
        auto* f = static_cast<FuncDecl*>(r.Find(name));
        return static_cast<CallExpr*>(static_cast<ReturnStmt*>(f->body[0])->value)->function;
    };
    ASSERT_TRUE(callee("a")->target);
    // The target may also follow the parameter list (and its semantic).
    CheckResult after = CheckSource("float k() vs_2_0 { return 2; } float k() : COLOR ps_2_0 { return 3; } float k() { return 1; }");
    EXPECT_TRUE(after.Ok()) << after.log;
    EXPECT_STREQ(callee("a")->target, "vs_2_0");
    EXPECT_EQ(callee("b")->target, nullptr);
}

TEST(Declarations, PrototypesMergeWithTheirDefinitions) {
    CheckResult r = CheckSource(
        "float f(float x);\n"
        "float g() { return f(1); }\n"
        "float f(float y) { return y * 2; }\n");
    ASSERT_TRUE(r.Ok()) << r.log;
    int functions = 0;
    for (Decl* d : r.tree->decls) functions += d->declKind == kDeclFunction;
    EXPECT_EQ(functions, 2);
    auto* f = static_cast<FuncDecl*>(r.Find("f"));
    EXPECT_TRUE(f->hasBody);
    EXPECT_STREQ(f->params[0]->name, "y");
}

TEST(Declarations, UnnamedAndVoidParameterLists) {
    CheckResult r = CheckSource("float f(float, float2);\nfloat f(float a, float2 b) { return a + b.x; }\nfloat g(void) { return f(1, 2); }");
    ASSERT_TRUE(r.Ok()) << r.log;
    EXPECT_EQ(static_cast<FuncDecl*>(r.Find("g"))->params.size(), 0u);
    EXPECT_STREQ(static_cast<FuncDecl*>(r.Find("f"))->params[1]->name, "b");
}

TEST(Declarations, ParameterAreaIsARunningTotal) {
    CheckResult r = CheckSource("float4 a(float3 p, float2x2 q) { return 0; }\nfloat b(float s) { return s; }");
    ASSERT_TRUE(r.Ok()) << r.log;
    auto* a = static_cast<FuncDecl*>(r.Find("a"));
    auto* b = static_cast<FuncDecl*>(r.Find("b"));
    EXPECT_EQ(a->paramAreaSize, 7u);
    EXPECT_EQ(a->params[1]->valueOffset, a->params[0]->valueOffset + 3);
    EXPECT_EQ(b->paramAreaSize, 1u);
    EXPECT_GE(b->paramAreaPos, a->paramAreaPos + a->paramAreaSize);
    EXPECT_LE(b->returnOffset + 1, r.tree->valueAreaSize);
}

TEST(Declarations, GlobalRulesThatAllow) {
    CheckResult r = CheckSource("static float4 s; const float c; uniform float4x4 m : register(c0);");
    EXPECT_TRUE(r.Ok()) << r.log;
}

TEST(Declarations, MatrixPacking) {
    CheckResult r = CheckSource(
        "column_major float4x4 a;\n"
        "float4x4 b;\n"
        "#pragma pack_matrix(row_major)\n"
        "float4x4 c;\n");
    ASSERT_TRUE(r.Ok()) << r.log;
    EXPECT_EQ(static_cast<VarDecl*>(r.Find("a"))->packing, uint32_t(kColumnMajor));
    EXPECT_EQ(static_cast<VarDecl*>(r.Find("b"))->packing, 0u);
    EXPECT_EQ(static_cast<VarDecl*>(r.Find("c"))->packing, uint32_t(kRowMajor));
    CheckResult flagged = CheckSource("float4x4 m;", 0x20);
    EXPECT_EQ(static_cast<VarDecl*>(flagged.Find("m"))->packing, uint32_t(kColumnMajor));
}

TEST(Statements, LiteralConditionsKeepOnlyTheChosenArm) {
    CheckResult r = CheckSource("float f(float a) { if (1) a = 1; else a = 2; if (0) a = 3; return a; }");
    ASSERT_TRUE(r.Ok()) << r.log;
    auto* f = static_cast<FuncDecl*>(r.Find("f"));
    ASSERT_EQ(f->body.size(), 2u);  // the "if (0)" without else leaves nothing
    ASSERT_EQ(f->body[0]->kind, NodeKind::ExprStmt);
    auto* assign = static_cast<OperatorExpr*>(static_cast<ExprStmt*>(f->body[0])->expr);
    EXPECT_DOUBLE_EQ(static_cast<LiteralExpr*>(assign->operands[1])->values[0].AsDouble(), 1);
}

TEST(Statements, LoopsShareOneNode) {
    CheckResult r = CheckSource(
        "float f(float a) {\n"
        "  for (int i = 0; i < 4; i++) a += i;\n"
        "  while (a > 1) a -= 1;\n"
        "  do a += 2; while (a < 3);\n"
        "  return i;\n"  // the loop's variable stays reachable
        "}");
    ASSERT_TRUE(r.Ok()) << r.log;
    auto* f = static_cast<FuncDecl*>(r.Find("f"));
    ASSERT_EQ(f->body.size(), 4u);
    auto* loop = static_cast<LoopStmt*>(f->body[0]);
    EXPECT_EQ(loop->form, LoopStmt::kFor);
    EXPECT_TRUE(loop->init && loop->condition && loop->iteration && loop->body);
    auto* w = static_cast<LoopStmt*>(f->body[1]);
    EXPECT_EQ(w->form, LoopStmt::kWhile);
    EXPECT_FALSE(w->init || w->iteration);
    auto* d = static_cast<LoopStmt*>(f->body[2]);
    EXPECT_EQ(d->form, LoopStmt::kDo);
    EXPECT_EQ(d->init, d->body);
}

TEST(Effects, TechniquesPassesAndStateBlocks) {
    CheckResult r = CheckSource(
        "texture tex;\n"
        "sampler s = sampler_state { Texture = <tex>; MinFilter = Linear; };\n"
        "float4 vs(float4 p : POSITION) : POSITION { return p; }\n"
        "TECHNIQUE T < string name = \"t\"; > {\n"
        "  PASS P0 { VertexShader = compile vs_2_0 vs(); ColorWriteEnable = RED|GREEN; Sampler[0] = (s);\n"
        "            PixelShader = asm { ps_1_1\n tex t0\n mov r0, t0 }; }\n"
        "  pass P1 { }\n"
        "}\n");
    ASSERT_TRUE(r.Ok()) << r.log;
    auto* s = static_cast<VarDecl*>(r.Find("s"));
    ASSERT_EQ(s->init->kind, NodeKind::Object);
    auto* block = static_cast<ObjectExpr*>(s->init);
    ASSERT_EQ(block->states.size(), 2u);
    EXPECT_EQ(block->states[0]->value->kind, NodeKind::VarRef);
    EXPECT_EQ(block->states[1]->value->kind, NodeKind::StateName);
    auto* t = static_cast<TechniqueDecl*>(r.Find("T"));
    ASSERT_TRUE(t);
    EXPECT_EQ(t->annotations.size(), 1u);
    ASSERT_EQ(t->passes.size(), 2u);
    ASSERT_EQ(t->passes[0]->states.size(), 4u);
    auto* compiled = static_cast<ObjectExpr*>(t->passes[0]->states[0]->value);
    EXPECT_EQ(TypeName(compiled->type), "vertexshader");
    EXPECT_STREQ(compiled->function, "vs");
    ASSERT_TRUE(t->passes[0]->states[2]->index);
    auto* asmBlock = static_cast<ObjectExpr*>(t->passes[0]->states[3]->value);
    EXPECT_EQ(asmBlock->form, ObjectExpr::kAsm);
    EXPECT_EQ(TypeName(asmBlock->type), "pixelshader");
    EXPECT_NE(std::string(asmBlock->text).find("mov r0"), std::string::npos);
}

TEST(Effects, TypeWordsAreStateNamesInsideStateBlocks) {
    // "texture", "sampler", "pixelshader" and "vertexshader" are keywords
    // outside state blocks and names inside them.
    CheckResult r = CheckSource(
        "texture t; technique x { pass p { texture[0] = <t>; Sampler[0] = NULL; pixelshader = NULL; } }\n"
        "texture u;");
    EXPECT_TRUE(r.Ok()) << r.log;
}

}  // namespace

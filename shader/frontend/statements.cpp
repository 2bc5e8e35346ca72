// Statements: expression, declaration, return, if, loops and blocks, with the
// checks on conditions and return values, and the attributes written before
// statements ("[unroll(4)] for ...").
#include <cctype>
#include <cmath>

#include "shader/frontend/messages.h"
#include "shader/frontend/parser.h"

namespace hlsl {
namespace {
bool IsScalarCondition(const Expr* c) {
    return c && c->type && c->type->IsBase() && c->type->cls != kObject && TypeSize(c->type) == 1;
}

// The attributes written before statements, and the statements each applies
// to. Names are matched without regard to case.
enum AttributeHome : uint8_t { kOnIf, kOnLoop, kOnSwitch };
struct AttributeRow {
    const char* name;
    uint32_t flag;
    AttributeHome home;
    bool takesCount;  // "[unroll]" and "[unroll(n)]"
};
constexpr AttributeRow kAttributes[] = {
    {"flatten", kAttrFlatten, kOnIf, false},   {"branch", kAttrBranch, kOnIf, false},
    {"loop", kAttrLoop, kOnLoop, false},       {"unroll", kAttrUnroll, kOnLoop, true},
    {"fastopt", kAttrFastOpt, kOnLoop, false}, {"allow_uav_condition", kAttrAllowUavCondition, kOnLoop, false},
    {"forcecase", kAttrForceCase, kOnSwitch, false}, {"call", kAttrCall, kOnSwitch, false},
};
// Pairs that ask for opposite things.
constexpr uint32_t kConflicts[][2] = {{kAttrFlatten, kAttrBranch}, {kAttrLoop, kAttrUnroll}};

bool SameWord(const char* a, const char* b) {
    for (; *a && *b; ++a, ++b)
        if (std::tolower(static_cast<unsigned char>(*a)) != std::tolower(static_cast<unsigned char>(*b))) return false;
    return *a == *b;
}

const AttributeRow* FindAttribute(uint32_t flag) {
    for (const AttributeRow& row : kAttributes)
        if (row.flag == flag) return &row;
    return nullptr;
}

// The literal an attribute argument stands for: a literal, or a constant
// global whose literal initializer is its value ("static const int N = 4").
const LiteralExpr* ArgumentLiteral(const Expr* e) {
    if (e && e->kind == NodeKind::VarRef) {
        const VarDecl* v = static_cast<const VarRefExpr*>(e)->var;
        if (v && v->evaluateNow && (v->usage & kUsageConst)) e = v->init;
    }
    return Parser::AsLiteral(e);
}

const char* HomeWords(AttributeHome home) {
    switch (home) {
        case kOnIf: return "if statements";
        case kOnLoop: return "for, while and do loops";
        case kOnSwitch: return "switch statements";
    }
    return "";
}
}  // namespace

// attribute : '[' IDENTIFIER ']' | '[' IDENTIFIER '(' args ')' ']'
AttributeSpec* Parser::MakeAttribute(const Token* name, std::vector<Expr*>* args) {
    AttributeSpec& a = attributes_.emplace_back();
    a.name = name->value.text;
    a.loc = name->Location();
    const AttributeRow* row = nullptr;
    for (const AttributeRow& r : kAttributes)
        if (SameWord(a.name, r.name)) row = &r;
    if (!row) {
        Warning(a.loc, msg::kUnknownAttribute, a.name);
        return &a;
    }
    if (args && !row->takesCount) {
        Error(a.loc, msg::kAttributeArguments, a.name, "no arguments");
        return &a;
    }
    if (args) {
        if (args->size() != 1) {
            Error(a.loc, msg::kAttributeArguments, a.name, "one argument, the count");
            return &a;
        }
        const LiteralExpr* lit = ArgumentLiteral(args->front());
        const double n = lit && lit->values.size() == 1 && IsNumeric(lit->type) ? lit->values[0].AsDouble() : 0;
        if (!(n >= 1 && n <= 0xFFFFFFFFu && n == std::floor(n))) {
            // A failed argument has reported its own error.
            if (args->front()) Error(a.loc, msg::kAttributeCount, a.name);
            return &a;
        }
        a.count = uint32_t(n);
    }
    a.flag = row->flag;
    return &a;
}

// stmt : attribute stmt
Stmt* Parser::ApplyAttribute(AttributeSpec* a, Stmt* s) {
    // Unknown or refused attributes were reported; an empty or failed
    // statement has nothing to carry them.
    if (!a || !a->flag || !s) return s;
    const AttributeRow* row = FindAttribute(a->flag);
    const bool fits = (row->home == kOnIf && s->kind == NodeKind::If) ||
                      (row->home == kOnLoop && s->kind == NodeKind::Loop);
    if (!fits) {
        Warning(a->loc, msg::kMisplacedAttribute, a->name, HomeWords(row->home));
        return s;
    }
    for (const auto& pair : kConflicts) {
        const uint32_t other = a->flag == pair[0] ? pair[1] : a->flag == pair[1] ? pair[0] : 0;
        if (other && s->attributes.Has(other)) {
            Error(a->loc, msg::kAttributeConflict, row->name, FindAttribute(other)->name);
            return s;
        }
    }
    s->attributes.flags |= a->flag;
    if (a->count) s->attributes.unrollCount = a->count;
    return s;
}

Stmt* Parser::MakeExprStmt(Expr* e, const SourceLocation& loc) {
    if (!e) return nullptr;
    ExprStmt* s = tree_->New<ExprStmt>(loc);
    s->expr = e;
    return s;
}

Stmt* Parser::MakeEmptyStmt(const SourceLocation&) { return nullptr; }

Stmt* Parser::MakeDeclStmt() {
    if (lastDeclared_.empty()) return nullptr;
    DeclStmt* s = tree_->New<DeclStmt>(lastDeclared_.front()->loc);
    s->vars = lastDeclared_;
    lastDeclared_.clear();
    return s;
}

Stmt* Parser::MakeReturn(Expr* value, bool hasValue, const SourceLocation& loc) {
    FuncDecl* f = currentFunction_;
    if (!f) {
        Internal(msg::kUnhandledProduction);
        return nullptr;
    }
    ReturnStmt* s = tree_->New<ReturnStmt>(loc);
    s->function = f;
    // An expression that failed has reported its error already.
    if (hasValue && !value) return nullptr;
    if (hasValue && !f->returnType) {
        Error(loc, msg::kVoidReturnsValue, f->name);
        return nullptr;
    }
    if (!hasValue && f->returnType) {
        Error(loc, msg::kMustReturnValue, f->name);
        return nullptr;
    }
    if (value) {
        s->value = Convert(value, tree_->types.WithoutConst(f->returnType), false);
        if (!s->value) return nullptr;
    }
    return s;
}

Stmt* Parser::MakeJump(NodeKind kind, const SourceLocation& loc) {
    if (loopDepth_ == 0) {
        Error(loc, msg::kJumpOutsideLoop, kind == NodeKind::Break ? "break" : "continue");
        return nullptr;
    }
    JumpStmt* s = tree_->New<JumpStmt>(loc);
    s->kind = kind;
    return s;
}

Stmt* Parser::MakeIf(Expr* c, Stmt* then, Stmt* otherwise, const SourceLocation& loc) {
    if (!c) return nullptr;
    if (!IsScalarCondition(c)) {
        Error(loc, msg::kFloatExpected);
        return nullptr;
    }
    // A literal condition decides at once: only the chosen arm stays.
    if (const LiteralExpr* lit = AsLiteral(c)) return lit->values[0].AsDouble() != 0.0 ? then : otherwise;
    IfStmt* s = tree_->New<IfStmt>(loc);
    s->condition = c;
    s->then = then;
    s->otherwise = otherwise;
    return s;
}

Stmt* Parser::MakeFor(Stmt* init, Expr* c, Expr* iteration, Stmt* body, const SourceLocation& loc) {
    if (c && !IsScalarCondition(c)) {
        Error(loc, msg::kFloatExpected);
        return nullptr;
    }
    LoopStmt* s = tree_->New<LoopStmt>(loc);
    s->form = LoopStmt::kFor;
    s->init = init;
    s->condition = c;
    s->iteration = iteration;
    s->body = body;
    return s;
}

Stmt* Parser::MakeWhile(Expr* c, Stmt* body, const SourceLocation& loc) {
    if (!c) return nullptr;
    if (!IsScalarCondition(c)) {
        Error(loc, msg::kFloatExpected);
        return nullptr;
    }
    LoopStmt* s = tree_->New<LoopStmt>(loc);
    s->form = LoopStmt::kWhile;
    s->condition = c;
    s->body = body;
    return s;
}

Stmt* Parser::MakeDo(Stmt* body, Expr* c, const SourceLocation& loc) {
    if (!c) return nullptr;
    if (!IsScalarCondition(c)) {
        Error(loc, msg::kFloatExpected);
        return nullptr;
    }
    LoopStmt* s = tree_->New<LoopStmt>(loc);
    s->form = LoopStmt::kDo;
    s->init = body;
    s->condition = c;
    s->body = body;
    return s;
}

Stmt* Parser::MakeBlock(std::vector<Stmt*>* stmts, const SourceLocation& loc) {
    BlockStmt* s = tree_->New<BlockStmt>(loc);
    if (stmts) s->stmts = *stmts;
    return s;
}

}  // namespace hlsl

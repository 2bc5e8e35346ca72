// Statements: expression, declaration, return, if, loops and blocks, with the
// checks on conditions and return values.
#include "shader/frontend/messages.h"
#include "shader/frontend/parser.h"

namespace hlsl {
namespace {
bool IsScalarCondition(const Expr* c) {
    return c && c->type && c->type->IsBase() && c->type->cls != kObject && TypeSize(c->type) == 1;
}
}  // namespace

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

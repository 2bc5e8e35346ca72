// Which boolean uniforms may live in a boolean register: those read only as
// the whole condition of an "if". A boolean register cannot be read as a
// value, so a variable read any other way keeps its float register alone
// (one register set per variable in the constant table), and so does one
// tested by an "if" whose arms return or jump out of a loop's round.
#include "shader/frontend/lowering/expression_shapes.h"
#include "shader/frontend/lowering/lowerer.h"

namespace hlsl::lowering {

namespace {

class ConditionUses {
public:
    void Statement(const Stmt* s) {
        if (!s) return;
        switch (s->kind) {
            case NodeKind::ExprStmt: Expression(static_cast<const ExprStmt*>(s)->expr); break;
            case NodeKind::DeclStmt:
                for (const VarDecl* v : static_cast<const DeclStmt*>(s)->vars)
                    if (v) Expression(v->init);
                break;
            case NodeKind::Return: Expression(static_cast<const ReturnStmt*>(s)->value); break;
            case NodeKind::If: {
                const IfStmt* i = static_cast<const IfStmt*>(s);
                // Arms that return merge their values at the end of the
                // function instead of branching.
                const VarDecl* v = VariableOf(i->condition);
                if (v && !Returns(i->then) && !Returns(i->otherwise)) conditions.insert(v);
                else Expression(i->condition);
                Statement(i->then);
                Statement(i->otherwise);
                break;
            }
            case NodeKind::Loop: {
                const LoopStmt* l = static_cast<const LoopStmt*>(s);
                Statement(l->init);
                Expression(l->condition);
                Expression(l->iteration);
                Statement(l->body);
                break;
            }
            case NodeKind::Block:
                for (const Stmt* inner : static_cast<const BlockStmt*>(s)->stmts) Statement(inner);
                break;
            default: break;
        }
    }

    void Expression(const Expr* e) {
        if (!e) return;
        switch (e->kind) {
            case NodeKind::VarRef: values.insert(static_cast<const VarRefExpr*>(e)->var); break;
            case NodeKind::Operator:
                for (const Expr* operand : static_cast<const OperatorExpr*>(e)->operands) Expression(operand);
                break;
            case NodeKind::Conversion:
                for (const Expr* a : static_cast<const ConversionExpr*>(e)->args) Expression(a);
                break;
            case NodeKind::Call: {
                const CallExpr* c = static_cast<const CallExpr*>(e);
                for (const Expr* a : c->inputs) Expression(a);
                for (const CallOutput& o : c->outputs) Expression(o.target);
                break;
            }
            case NodeKind::Member: Expression(static_cast<const MemberExpr*>(e)->base); break;
            case NodeKind::Index:
                Expression(static_cast<const IndexExpr*>(e)->base);
                Expression(static_cast<const IndexExpr*>(e)->index);
                break;
            case NodeKind::Conditional: {
                const ConditionalExpr* c = static_cast<const ConditionalExpr*>(e);
                Expression(c->condition);
                Expression(c->ifTrue);
                Expression(c->ifFalse);
                break;
            }
            case NodeKind::InitList:
                for (const Expr* item : static_cast<const InitListExpr*>(e)->items) Expression(item);
                break;
            case NodeKind::Object:
                for (const Expr* a : static_cast<const ObjectExpr*>(e)->args) Expression(a);
                break;
            default: break;
        }
    }

    static bool Returns(const Stmt* s) {
        if (!s) return false;
        switch (s->kind) {
            case NodeKind::Return:
            case NodeKind::Break:
            case NodeKind::Continue: return true;
            case NodeKind::If:
                return Returns(static_cast<const IfStmt*>(s)->then) || Returns(static_cast<const IfStmt*>(s)->otherwise);
            case NodeKind::Loop: return Returns(static_cast<const LoopStmt*>(s)->body);
            case NodeKind::Block:
                for (const Stmt* inner : static_cast<const BlockStmt*>(s)->stmts)
                    if (Returns(inner)) return true;
                return false;
            default: return false;
        }
    }

    std::set<const VarDecl*> conditions, values;
};

}  // namespace

void Lowerer::FindBranchConditions() {
    ConditionUses uses;
    for (const Decl* d : tree.decls) {
        if (d->declKind == kDeclVariable) {
            uses.Expression(static_cast<const VarDecl*>(d)->init);
        } else if (d->declKind == kDeclFunction) {
            for (const Stmt* s : static_cast<const FuncDecl*>(d)->body) uses.Statement(s);
        }
    }
    branchConditions.clear();
    for (const VarDecl* v : uses.conditions)
        if (!uses.values.count(v)) branchConditions.insert(v);
}

}  // namespace hlsl::lowering

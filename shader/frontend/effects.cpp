// Effect constructs: techniques, passes, state blocks and the object
// literals that stand in them (sampler states, asm blocks, compiled shaders).
#include <cstring>

#include "shader/frontend/messages.h"
#include "shader/frontend/parser.h"
#include "shader/target.h"

namespace hlsl {

void Parser::BeginStateBlock() {
    ++stateDepth_;
    OpenScope(kStateScope);
}

void Parser::EndStateBlock() {
    CloseScope(kStateScope);
    if (stateDepth_ > 0) --stateDepth_;
}

void Parser::CheckStateValue(Expr* value) {
    if (value && value->kind == NodeKind::Operator && static_cast<OperatorExpr*>(value)->op == Op::Comma)
        Warning(value->loc, msg::kCommaInStateBlock);
}

StateAssignment* Parser::MakeStateAssignment(const Token* name, Expr* index, Expr* value) {
    if (!value) return nullptr;
    StateAssignment* s = tree_->New<StateAssignment>(name->Location());
    s->name = tree_->Keep(name->value.text ? name->value.text : "");
    s->index = index;
    s->value = value;
    return s;
}

Expr* Parser::MakeStateFlags(Expr* a, Expr* b, const SourceLocation& loc) {
    if (!a || !b) return nullptr;
    OperatorExpr* e = tree_->New<OperatorExpr>(loc);
    e->op = Op::StateFlags;
    e->type = tree_->types.Scalar(kInt);
    e->operands[0] = a;
    e->operands[1] = b;
    return e;
}

Expr* Parser::MakeStateReference(const Token* name, const SourceLocation&) { return MakeIdentifier(name); }

Expr* Parser::MakeSamplerState(std::vector<StateAssignment*>* states, const SourceLocation& loc) {
    if (InFunction()) {
        Error(loc, msg::kObjectLiteralInFunction);
        return nullptr;
    }
    ObjectExpr* e = tree_->New<ObjectExpr>(loc);
    e->form = ObjectExpr::kSamplerState;
    e->type = tree_->types.Object(kSampler);
    if (states) e->states = *states;
    return e;
}

Expr* Parser::MakeCompile(bool fragment, const Token* target, const Token* function, std::vector<Expr*>* args,
                          const SourceLocation& loc) {
    if (InFunction()) {
        Error(loc, msg::kObjectLiteralInFunction);
        return nullptr;
    }
    TargetDesc desc;
    if (FAILED(FindTargetByName(target->value.text, kTargetCompile, &desc))) {
        Error(target->Location(), msg::kUnsupportedTarget, target->value.text);
        return nullptr;
    }
    if (args)
        for (Expr* a : *args)
            if (!a) return nullptr;
    bool pixel = (desc.version >> 16) == 0xFFFF;  // pixel shader version tokens
    ObjectExpr* e = tree_->New<ObjectExpr>(loc);
    e->form = fragment ? ObjectExpr::kCompileFragment : ObjectExpr::kCompile;
    BaseType base = fragment ? (pixel ? kPixelFragment : kVertexFragment) : (pixel ? kPixelShader : kVertexShader);
    e->type = tree_->types.Object(base);
    e->target = tree_->Keep(target->value.text);
    e->targetVersion = desc.version;
    e->function = tree_->Keep(function->value.text);
    if (args) e->args = *args;
    return e;
}

Expr* Parser::MakeAsmBlock(const Token* block, bool isDecl) {
    if (InFunction()) {
        Error(block->Location(), msg::kObjectLiteralInFunction);
        return nullptr;
    }
    ObjectExpr* e = tree_->New<ObjectExpr>(block->Location());
    e->form = isDecl ? ObjectExpr::kDecl : ObjectExpr::kAsm;
    e->text = block->value.text;
    // The first word of an asm block is its version: "ps_..." or "vs_...".
    const char* t = e->text ? e->text : "";
    while (*t == ' ' || *t == '\n') ++t;
    BaseType base = isDecl ? kString : (t[0] == 'p' || t[0] == 'P') ? kPixelShader : kVertexShader;
    e->type = tree_->types.Object(base);
    return e;
}

PassDecl* Parser::MakePass(const Token* name, std::vector<VarDecl*>* annotations,
                           std::vector<StateAssignment*>* states, const SourceLocation& loc) {
    PassDecl* p = tree_->New<PassDecl>(loc);
    p->name = name ? tree_->Keep(name->value.text) : nullptr;
    if (annotations) p->annotations = *annotations;
    if (states) p->states = *states;
    return p;
}

void Parser::DeclareTechnique(const Token* name, std::vector<VarDecl*>* annotations, std::vector<PassDecl*>* passes,
                              const SourceLocation& loc) {
    TechniqueDecl* t = tree_->New<TechniqueDecl>(loc);
    t->name = name ? tree_->Keep(name->value.text) : nullptr;
    if (annotations) t->annotations = *annotations;
    if (passes) t->passes = *passes;
    tree_->techniqueCount++;
    if (t->name) AddSymbol(t, t->name, loc);
    AddTopLevel(t);
}

}  // namespace hlsl

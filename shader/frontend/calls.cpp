// Calls and constructors: overload resolution among user functions (scored
// by target and conversion cost), then the intrinsic table; constructors of
// numeric types; folding of intrinsic calls over literal arguments.
#include <cstring>

#include "shader/frontend/messages.h"
#include "shader/frontend/parser.h"
#include "shader/target.h"

namespace hlsl {
namespace {

constexpr uint32_t kExcluded = 0xFFFFFFFFu;
constexpr size_t kMaxTies = 64;

bool ContainsObject(const Type* t) {
    if (!t) return false;
    if (t->kind == Type::kArray) return ContainsObject(t->element);
    if (t->kind == Type::kStruct) {
        for (const VarDecl* m : t->structure->members)
            if (ContainsObject(m->type)) return true;
        return false;
    }
    return t->cls == kObject;
}

// How well a function's target suits the calling context: 0 best, 2 worst,
// kExcluded when the targets conflict.
uint32_t TargetScore(const char* context, const char* function) {
    if (!context && !function) return 0;
    if (!context || !function) return 2;
    if (std::strcmp(context, function) == 0) return 0;
    TargetDesc a, b;
    bool knownA = SUCCEEDED(FindTargetByName(context, kTargetNone, &a));
    bool knownB = SUCCEEDED(FindTargetByName(function, kTargetNone, &b));
    if (!knownA || !knownB) return kExcluded;
    // The kind (vertex, pixel, texture fill) is the token's upper half.
    if ((a.version >> 16) != (b.version >> 16)) return kExcluded;
    bool versionA = (a.version & 0xFFFF) != 0, versionB = (b.version & 0xFFFF) != 0;
    if (versionA && versionB) return a.version == b.version ? 0 : kExcluded;
    return versionA ? 1 : 2;
}

// Two declarations that are one function for a caller: the same return type
// and identical parameters.
bool SameFunction(const FuncDecl* a, const FuncDecl* b) {
    if (a == b) return true;
    if (TypeName(a->returnType) != TypeName(b->returnType) || a->params.size() != b->params.size()) return false;
    for (size_t i = 0; i < a->params.size(); ++i) {
        const Type* x = a->params[i]->type;
        const Type* y = b->params[i]->type;
        if (TypeName(x) != TypeName(y) || x->structure != y->structure || a->params[i]->usage != b->params[i]->usage)
            return false;
    }
    return true;
}

}  // namespace

Expr* Parser::MakeConstructor(const Type* type, std::vector<Expr*>* args, const SourceLocation& loc) {
    if (!type || !args) return nullptr;
    for (Expr* a : *args)
        if (!a || !a->type) return nullptr;
    if (type == &voidType_ || !type->IsBase() || type->cls == kObject) {
        Error(loc, msg::kConstructorNotNumeric);
        return nullptr;
    }
    uint64_t size = 0;
    for (Expr* a : *args) {
        if (ContainsObject(a->type)) {
            Error(a->loc, msg::kObjectToNumeric);
            return nullptr;
        }
        size += TypeSize(a->type);
    }
    if (size != TypeSize(type)) {
        Error(loc, msg::kConstructorArgCount);
        return nullptr;
    }
    const Type* result = tree_->types.MakeConst(tree_->types.WithoutConst(type));
    Values values;
    bool allLiteral = true;
    for (Expr* a : *args) {
        const LiteralExpr* lit = AsLiteral(a);
        if (!lit) {
            allLiteral = false;
            break;
        }
        values.insert(values.end(), lit->values.begin(), lit->values.end());
    }
    Values converted;
    if (allLiteral && ConvertValues(values, result, &converted)) return NewLiteral(result, converted, loc);
    ConversionExpr* c = tree_->New<ConversionExpr>(loc);
    c->form = ConversionExpr::kConstructor;
    c->type = result;
    c->args = *args;
    return c;
}

Expr* Parser::MakeCall(const Token* nameToken, std::vector<Expr*>* argList) {
    const char* name = nameToken->value.text;
    SourceLocation loc = nameToken->Location();
    if (!argList) return nullptr;
    std::vector<Expr*>& args = *argList;
    for (Expr* a : args)
        if (!a || !a->type) return nullptr;

    // 1. every function of that name, innermost scope first
    std::vector<FuncDecl*> functions;
    Symbol* first = Lookup(name);
    if (first && first->decl->declKind != kDeclFunction) {
        Error(loc, msg::kWrongKind, name, LookupWords(first->decl), "function");
        return nullptr;
    }
    for (Scope* sc = scope_; sc; sc = sc->outer)
        for (const Symbol& s : sc->symbols)
            if (s.decl->declKind == kDeclFunction && std::strcmp(s.name, name) == 0)
                functions.push_back(static_cast<FuncDecl*>(s.decl));

    // 2, 3. score them; keep the best
    const char* context = currentFunction_ ? currentFunction_->target : nullptr;
    uint32_t best = kExcluded;
    std::vector<FuncDecl*> ties;
    bool countFits = false;
    // The one function whose arity fits, and the argument that kept it out
    // only for not being assignable to its out parameter.
    size_t fitting = 0;
    const Expr* unassignable = nullptr;
    for (FuncDecl* f : functions) {
        if (args.size() > f->params.size()) continue;
        bool defaultsCover = true;
        for (size_t i = args.size(); i < f->params.size(); ++i)
            if (!f->params[i]->init) defaultsCover = false;
        if (!defaultsCover) continue;
        countFits = true;
        ++fitting;
        uint32_t score = TargetScore(context, f->target);
        for (size_t i = 0; i < args.size() && score != kExcluded; ++i) {
            const VarDecl* p = f->params[i];
            const Type* at = args[i]->type;
            uint64_t s = score;
            if (p->usage & kUsageIn) {
                if (!CanConvert(p->type, at, false)) { score = kExcluded; break; }
                s += ConversionCost(p->type, at);
            }
            if (p->usage & kUsageOut) {
                const bool converts = CanConvert(tree_->types.WithoutConst(at), p->type, false);
                if (!IsAssignable(args[i]) || !converts) {
                    if (converts && !unassignable) unassignable = args[i];
                    score = kExcluded;
                    break;
                }
                s += ConversionCost(at, p->type);
            }
            score = s >= kExcluded ? kExcluded - 1 : uint32_t(s);
        }
        if (score == kExcluded) continue;
        if (score < best) {
            best = score;
            ties.clear();
        }
        if (score == best && ties.size() < kMaxTies) ties.push_back(f);
    }

    if (!ties.empty()) {
        for (FuncDecl* f : ties)
            if (!SameFunction(f, ties[0])) {
                Error(loc, msg::kAmbiguousCall, name);
                return nullptr;
            }
        FuncDecl* f = ties[0];
        CallExpr* call = tree_->New<CallExpr>(loc);
        call->function = f;
        call->type = f->returnType;
        for (size_t i = 0; i < f->params.size(); ++i) {
            const VarDecl* p = f->params[i];
            Expr* input = nullptr;
            if (i < args.size()) {
                if (p->usage & kUsageIn) input = Convert(args[i], p->type, false);
                if (p->usage & kUsageOut) call->outputs.push_back({uint32_t(i), args[i]});
            } else {
                input = p->init;
            }
            call->inputs.push_back(input);
        }
        return call;
    }

    // 4. the intrinsics of that name
    std::vector<IntrinsicArgument> iargs;
    for (Expr* a : args) iargs.push_back({a->type, IsAssignable(a)});
    std::vector<const Type*> paramTypes;
    const Type* resultType = nullptr;
    bool nameKnown = false, countKnown = false;
    const IntrinsicSignature* sig =
        MatchIntrinsic(tree_->types, name, iargs, &paramTypes, &resultType, &nameKnown, &countKnown);
    if (!sig) {
        unsigned n = unsigned(args.size());
        const char* plural = n == 1 ? "" : "s";
        if (!functions.empty() && !countFits && !countKnown) {
            Error(loc, msg::kFunctionArgCount, name, n, plural);
        } else if (functions.empty() && nameKnown && !countKnown) {
            Error(loc, msg::kIntrinsicArgCount, name, n, plural);
        } else if (fitting == 1 && unassignable && !nameKnown) {
            // The one candidate takes it, but writes back into an argument
            // that is no variable.
            Error(unassignable->loc, msg::kConstLValue);
        } else if (!functions.empty() || nameKnown) {
            // Some signature takes that many arguments, but not of these types.
            std::string types;
            for (const Expr* a : args) types += (types.empty() ? "" : ", ") + TypeName(a->type);
            Error(loc, msg::kNamedCannotConvert, name, "", types.c_str(), "parameter types");
        } else {
            Error(loc, msg::kUndeclared, name);
        }
        return nullptr;
    }

    // 5. inputs and outputs; literal arguments fold
    CallExpr* call = tree_->New<CallExpr>(loc);
    call->intrinsic = sig;
    call->type = resultType;
    bool allLiteral = true;
    std::vector<const Values*> values;
    for (size_t i = 0; i < args.size(); ++i) {
        const IntrinsicArg& d = sig->args[i + 1];
        Expr* input = nullptr;
        if (d.direction & kArgIn) {
            input = Convert(args[i], paramTypes[i], false);
            if (!input) return nullptr;
            const LiteralExpr* lit = AsLiteral(input);
            if (lit) values.push_back(&lit->values);
            else allLiteral = false;
        }
        if (d.direction & kArgOut) {
            call->outputs.push_back({uint32_t(i), args[i]});
            allLiteral = false;
        }
        call->inputs.push_back(input);
    }
    if (allLiteral && resultType && !values.empty()) {
        Values folded;
        std::vector<const Diagnostic*> notes;
        if (FoldIntrinsic(sig->id, resultType, values, &folded, &notes)) {
            for (const Diagnostic* n : notes) Error(loc, *n);
            return NewLiteral(resultType, folded, loc);
        }
    }
    return call;
}

}  // namespace hlsl

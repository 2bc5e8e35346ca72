// Declarations: variables (with their storage-class, semantic, annotation,
// initializer and array rules), typedefs, structures, parameters and
// functions with their prototypes and bodies.
#include <cstring>

#include "shader/frontend/messages.h"
#include "shader/frontend/parser.h"
#include "shader/preprocess/preprocessor.h"

namespace hlsl {
namespace {

// Words naming a declaration kind and its initializer in messages.
const char* const kKindWords[] = {"global variables", "structure members", "function parameters",
                                  "local variables",  "loop control variables", "annotation members"};
const char* const kInitWords[] = {"initial value", "initializer", "default value",
                                  "initial value", "initial value", "value"};

constexpr uint32_t kMaxArrayElements = 65536;

// Leaves of a (possibly nested) initializer list, in order.
void FlattenInitList(Expr* e, std::vector<Expr*>& out) {
    if (e && e->kind == NodeKind::InitList) {
        for (Expr* item : static_cast<InitListExpr*>(e)->items) FlattenInitList(item, out);
    } else {
        out.push_back(e);
    }
}

uint32_t InitListScalars(Expr* e) {
    std::vector<Expr*> leaves;
    FlattenInitList(e, leaves);
    uint64_t n = 0;
    for (Expr* leaf : leaves) n += leaf && leaf->type ? TypeSize(leaf->type) : 1;
    return n > kMaxTypeSize ? kMaxTypeSize : uint32_t(n);
}

// The type a list element starting at scalar `index` of `t` is assigned to:
// the scalar of a numeric type's component type, or the object itself.
const Type* SlotTypeAt(TypeTable& types, const Type* t, uint32_t index) {
    while (t) {
        if (t->kind == Type::kArray) {
            const uint32_t size = TypeSize(t->element);
            if (!size) return nullptr;
            index %= size;
            t = t->element;
        } else if (t->kind == Type::kStruct) {
            const Type* member = nullptr;
            for (const VarDecl* m : t->structure->members) {
                member = MemberType(m);
                const uint32_t size = TypeSize(member);
                if (index < size) break;
                index -= size;
                member = nullptr;
            }
            t = member;
        } else {
            return t->cls == kObject ? t : types.Scalar(t->base);
        }
    }
    return nullptr;
}

const Type* ElementBase(const Type* t) {
    while (t && t->kind == Type::kArray) t = t->element;
    return t;
}

}  // namespace

VarKind Parser::CurrentVarKind() const {
    switch (CurrentScopeKind()) {
        case kProgramScope: return kGlobalVar;
        case kStructScope: return kStructMember;
        case kParameterScope: return kParameter;
        case kForScope: return kLoopVar;
        case kAnnotationScope: return kAnnotationVar;
        default: return kLocalVar;
    }
}

void Parser::AddTopLevel(Decl* d) {
    if (d) tree_->decls.push_back(d);
}

// ---------------------------------------------------------------- declaration lists

void Parser::BeginDeclaration(UsageSpec* usage, const Type* type, bool isTypedef) {
    UsageType ut;
    if (usage) ut.usage = *usage;
    ut.isVoid = type == &voidType_;
    ut.type = type;
    ut.isTypedef = isTypedef;
    usageStack_.push_back(std::move(ut));
}

void Parser::EndDeclaration() {
    if (usageStack_.empty()) {
        Internal(msg::kStackUnderflow);
        return;
    }
    lastDeclared_ = std::move(usageStack_.back().vars);
    usageStack_.pop_back();
}

// Builds the array type of a declarator, checking its dimensions.
const Type* Parser::ApplyDimensions(const char* name, Declarator* d, const Type* element, VarKind kind,
                                    bool isTypedef) {
    if (d->dims.empty()) return element;
    std::vector<uint32_t> counts(d->dims.size(), 1);
    bool implicitFirst = false, failed = false;
    uint64_t total = 1;
    for (size_t i = 0; i < d->dims.size(); ++i) {
        if (d->implicitDim[i]) {
            if (isTypedef) {
                Error(d->name->Location(), msg::kTypedefDimExplicit, name);
                failed = true;
            } else if (i > 0) {
                Error(d->name->Location(), msg::kSecondaryDimExplicit, name);
                failed = true;
            } else {
                implicitFirst = true;
            }
            continue;
        }
        const LiteralExpr* lit = AsLiteral(d->dims[i]);
        if (!lit || lit->values.size() != 1 || !IsNumeric(lit->type)) {
            if (d->dims[i]) Error(d->name->Location(), msg::kArrayDimLiteral, name);
            failed = true;
            continue;
        }
        counts[i] = LiteralToUnsigned(lit->values[0]);
        total *= counts[i] ? counts[i] : 0;
        if (total > kMaxArrayElements) total = kMaxArrayElements + 1;
    }
    if (!failed && (total < 1 || total > kMaxArrayElements)) {
        Error(d->name->Location(), msg::kArrayDimRange, name);
        failed = true;
    }
    if (implicitFirst) {
        if (kind != kGlobalVar && kind != kLocalVar && kind != kLoopVar && kind != kAnnotationVar) {
            Error(d->name->Location(), msg::kArrayDimExplicit, name, kKindWords[kind]);
            failed = true;
        } else if (!d->init || d->init->kind != NodeKind::InitList) {
            Error(d->name->Location(), msg::kImplicitArrayMissing, name, kInitWords[kind]);
            failed = true;
        } else {
            uint64_t inner = TypeSize(element);
            for (size_t i = 1; i < counts.size(); ++i) inner *= counts[i];
            uint32_t scalars = InitListScalars(d->init);
            if (inner == 0 || scalars % inner != 0 || scalars / inner < 1 ||
                scalars / inner * total > kMaxArrayElements) {
                Error(d->name->Location(), msg::kImplicitArrayMismatch, name, kInitWords[kind]);
                failed = true;
            } else {
                counts[0] = uint32_t(scalars / inner);
            }
        }
    }
    if (failed) return element;
    const Type* t = element;
    for (size_t i = counts.size(); i-- > 0;) t = tree_->types.Array(t, counts[i]);
    return t;
}

Expr* Parser::ConvertInitializer(Expr* init, const Type* type, const char* name) {
    if (!init || !type) return nullptr;
    if (init->kind != NodeKind::InitList) return Convert(init, type, false, name);
    std::vector<Expr*> leaves;
    FlattenInitList(init, leaves);
    for (Expr* leaf : leaves)
        if (!leaf) return nullptr;
    uint32_t scalars = InitListScalars(init);
    if (scalars != TypeSize(type)) {
        const Type* first = leaves.empty() ? nullptr : leaves[0]->type;
        BaseType base = first && first->IsBase() ? first->base : kFloat;
        const Type* listType = tree_->types.Array(tree_->types.Scalar(base), scalars);
        const char* how = CanConvert(type, listType, true) ? "" : "implicitly ";
        std::string from = TypeName(listType), to = TypeName(type);
        Error(init->loc, msg::kNamedCannotConvert, name, how, from.c_str(), to.c_str());
        return nullptr;
    }
    // Each element is assigned to the components it covers: numbers mix
    // freely, but an object or a string converts only to the same kind of
    // object, so such an element reports the assignment's conversion error.
    uint32_t position = 0;
    for (Expr* leaf : leaves) {
        const uint32_t size = leaf->type ? TypeSize(leaf->type) : 1;
        for (uint32_t i = 0; i < size && !(IsNumeric(type) && IsNumeric(leaf->type)); ++i) {
            const Type* slot = SlotTypeAt(tree_->types, type, position + i);
            if (!slot || (IsNumeric(slot) && IsNumeric(leaf->type))) continue;
            if (!Convert(leaf, slot, false, name)) return nullptr;
            break;
        }
        position += size;
    }
    // A list of literals folds into one literal of the variable's type.
    Values values;
    bool allLiteral = IsNumeric(type);
    for (Expr* leaf : leaves) {
        const LiteralExpr* lit = AsLiteral(leaf);
        if (!lit) {
            allLiteral = false;
            break;
        }
        values.insert(values.end(), lit->values.begin(), lit->values.end());
    }
    Values converted;
    if (allLiteral && ConvertValues(values, type, &converted)) return NewLiteral(type, std::move(converted), init->loc);
    InitListExpr* list = static_cast<InitListExpr*>(init);
    list->items = leaves;
    list->type = type;
    return list;
}

// ---------------------------------------------------------------- variables

void Parser::CheckVariable(VarDecl* v, Declarator* d, const Type* baseType) {
    const char* name = v->name;
    SourceLocation loc = v->loc;
    VarKind kind = v->varKind;
    const char* words = kKindWords[kind];
    const char* initWords = kInitWords[kind];
    uint32_t u = v->usage;

    // 1. array dimensions
    const Type* type = ApplyDimensions(name, d, baseType, kind, false);
    v->dimensionsRefused = !d->dims.empty() && type == baseType;  // the array type was refused
    if (u & kUsageConst) type = tree_->types.MakeConst(type);

    // 2, 3. target names and inline
    if (v->target) Error(loc, msg::kTargetSpecific, name, words);
    if (u & kUsageInline) Error(loc, msg::kCannotBeInline, name, words);

    // 4. const members, const outputs, numeric locals
    if (kind == kStructMember && (u & kUsageConst)) Error(loc, msg::kCannotBeConst, name, words);
    if (kind == kParameter && (u & kUsageConst) && (u & kUsageInOut) == kUsageOut)
        Error(loc, msg::kConstOutput, name);
    if ((kind == kLocalVar || kind == kLoopVar) && !IsNumeric(type)) Error(loc, msg::kMustBeNumeric, name, words);

    // 5, 6. storage classes
    if (kind != kGlobalVar) {
        if ((u & kUsageStatic) && kind != kLocalVar && kind != kLoopVar) Error(loc, msg::kCannotBeStatic, name, words);
        if ((u & kUsageUniform) && kind != kParameter) Error(loc, msg::kCannotBeUniform, name, words);
        if ((u & kUsageUniform) && (u & kUsageOut)) Error(loc, msg::kUniformOut, name, words);
        if (u & kUsageExtern) Error(loc, msg::kCannotBeExtern, name, words);
        if ((u & kUsageVolatile) && kind != kParameter && kind != kLocalVar && kind != kLoopVar)
            Error(loc, msg::kCannotBeVolatile, name, words);
        if (u & kUsageShared) Error(loc, msg::kCannotBeShared, name, words);
    } else {
        if ((u & kUsageStatic) && (u & kUsageExtern)) Error(loc, msg::kExternStatic, name, words);
        if ((u & kUsageStatic) && (u & kUsageUniform)) Error(loc, msg::kUniformStatic, name, words);
    }

    // 7. initializers
    if (d->hasInit) {
        bool mustBeLiteral = kind == kParameter || kind == kAnnotationVar;
        if (kind == kStructMember) {
            Error(loc, msg::kCannotHaveInit, name, words, initWords);
        } else if (kind == kParameter && (u & kUsageUniform) && !IsNumeric(type)) {
            Error(loc, msg::kNonNumericUniformInit, name, words, initWords);
        } else if (kind == kParameter && (u & kUsageInOut) == kUsageOut) {
            Error(loc, msg::kOutputCannotHaveInit, name, words, initWords);
        } else if (d->init) {
            Expr* init = ConvertInitializer(d->init, type, name);
            if (init && mustBeLiteral && !AsLiteral(init) && init->kind != NodeKind::String)
                Error(loc, msg::kMustBeLiteral, name, initWords);
            else
                v->init = init;
        }
    }

    // 8. missing initializers
    if (!d->hasInit) {
        bool needed = (kind == kGlobalVar && (u & kUsageStatic) && type->IsConst()) ||
                      ((kind == kLocalVar || kind == kLoopVar) && type->IsConst()) || kind == kAnnotationVar;
        if (needed) Error(loc, msg::kMissingInit, name, initWords);
    }

    // 9, 10. semantics and annotations
    if ((!d->semantics.empty() || d->reg.name) && kind != kGlobalVar && kind != kStructMember && kind != kParameter)
        Error(loc, msg::kCannotHaveSemantics, name, words);
    if (d->hasAnnotations && kind != kGlobalVar && kind != kParameter)
        Error(loc, msg::kCannotHaveAnnotations, name, words);

    // 11. matrix packing
    const Type* element = ElementBase(type);
    uint32_t packing = u & (kUsageRowMajor | kUsageColumnMajor);
    if (packing && !(element && element->IsBase() && element->cls == kMatrix)) {
        Error(loc, msg::kPackingNotMatrix);
    } else if (element && element->IsBase() && element->cls == kMatrix) {
        if (!packing) packing = pp_.CurrentMatrixPacking();
        if (!packing) packing = (flags_ & 0x10) ? uint32_t(kRowMajor) : (flags_ & 0x20) ? uint32_t(kColumnMajor) : 0u;
        v->packing = packing & (kRowMajor | kColumnMajor);
    }

    v->type = type;
    v->semantics = d->semantics;
    v->reg = d->reg;
    v->annotations = d->annotations;
    if (kind == kGlobalVar && v->init && AsLiteral(v->init) && (u & (kUsageStatic | kUsageConst)))
        v->evaluateNow = true;
}

void Parser::DeclareVariable(Declarator* d) {
    if (usageStack_.empty()) {
        Internal(msg::kStackUnderflow);
        return;
    }
    UsageType& ut = usageStack_.back();
    const char* name = tree_->Keep(d->name->value.text);
    SourceLocation loc = d->name->Location();

    if (ut.isTypedef) {
        uint32_t storage = ut.usage.bits & ~uint32_t(kUsageConst);
        if (storage & kUsageStatic) Error(loc, msg::kCannotBeStatic, name, "type");
        if (storage & kUsageUniform) Error(loc, msg::kCannotBeUniform, name, "type");
        if (storage & kUsageExtern) Error(loc, msg::kCannotBeExtern, name, "type");
        if (storage & kUsageShared) Error(loc, msg::kCannotBeShared, name, "type");
        if (storage & kUsageVolatile) Error(loc, msg::kCannotBeVolatile, name, "type");
        if (storage & kUsageInline) Error(loc, msg::kCannotBeInline, name, "type");
        const Type* type = ut.isVoid ? tree_->types.Scalar(kFloat) : ut.type;
        type = ApplyDimensions(name, d, type, kGlobalVar, true);
        if (ut.usage.bits & kUsageConst) type = tree_->types.MakeConst(type);
        TypeDecl* td = tree_->New<TypeDecl>(loc);
        td->name = name;
        td->type = type;
        AddSymbol(td, name, loc);
        if (CurrentScopeKind() == kProgramScope) AddTopLevel(td);
        return;
    }

    VarDecl* v = tree_->New<VarDecl>(loc);
    v->name = name;
    v->varKind = CurrentVarKind();
    v->usage = ut.usage.bits;
    v->target = ut.usage.target;
    const Type* base = ut.type;
    if (ut.isVoid) {
        Error(loc, msg::kMustBeNumeric, name, kKindWords[v->varKind]);
        base = tree_->types.Scalar(kFloat);
    }
    CheckVariable(v, d, base);
    if (v->varKind != kStructMember && v->varKind != kAnnotationVar) v->valueOffset = AllocateSlots(v->type);
    AddSymbol(v, name, loc);
    ut.vars.push_back(v);
    if (v->varKind == kGlobalVar) AddTopLevel(v);
    if (v->varKind == kStructMember && !structStack_.empty()) structStack_.back()->members.push_back(v);
}

// ---------------------------------------------------------------- structures and annotations

StructDef* Parser::BeginStruct(const Token* name) {
    StructDef* def = tree_->types.NewStruct();
    def->name = name ? tree_->Keep(name->value.text) : nullptr;
    structStack_.push_back(def);
    OpenScope(kStructScope);
    return def;
}

const Type* Parser::EndStruct(StructDef* def, const Token*, const SourceLocation& loc) {
    CloseScope(kStructScope);
    if (!structStack_.empty()) structStack_.pop_back();
    const Type* type = tree_->types.Struct(def);
    if (def->name) {
        TypeDecl* td = tree_->New<TypeDecl>(loc);
        td->name = def->name;
        td->type = type;
        AddSymbol(td, def->name, loc);
        if (CurrentScopeKind() == kProgramScope) AddTopLevel(td);
    }
    return type;
}

void Parser::BeginAnnotations() { OpenScope(kAnnotationScope); }

void Parser::EndAnnotations(Declarator* d, std::vector<VarDecl*>* out) {
    std::vector<VarDecl*> members;
    if (scope_ && scope_->kind == kAnnotationScope)
        for (const Symbol& s : scope_->symbols)
            if (s.decl->declKind == kDeclVariable) members.push_back(static_cast<VarDecl*>(s.decl));
    CloseScope(kAnnotationScope);
    if (d) {
        d->hasAnnotations = true;
        d->annotations = members;
    }
    if (out) *out = members;
}

// ---------------------------------------------------------------- functions

void Parser::BeginParameters() { OpenScope(kParameterScope); }

VarDecl* Parser::DeclareParameter(UsageSpec* usage, const Type* type, Declarator* d, const SourceLocation& loc) {
    // "f(void)" has no parameters; a prototype may leave its parameters unnamed.
    bool named = d != nullptr;
    if (!named && type == &voidType_ && !usage) return nullptr;
    if (!d) d = NewDeclarator();
    const char* name = named ? tree_->Keep(d->name->value.text) : "";
    VarDecl* v = tree_->New<VarDecl>(loc);
    v->name = name;
    v->varKind = kParameter;
    v->usage = usage ? usage->bits : 0;
    v->target = usage ? usage->target : nullptr;
    if (!(v->usage & (kUsageInOut | kUsageUniform))) v->usage |= kUsageIn;
    if (v->usage & kUsageUniform) v->usage |= kUsageIn;
    if (type == &voidType_) {
        Error(loc, msg::kMustBeNumeric, name, kKindWords[kParameter]);
        type = tree_->types.Scalar(kFloat);
    }
    CheckVariable(v, d, type);
    if (named) AddSymbol(v, name, loc);
    return v;
}

namespace {
bool SameParameters(const std::vector<VarDecl*>& a, const std::vector<VarDecl*>& b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i) {
        const Type* x = a[i]->type;
        const Type* y = b[i]->type;
        if (TypeName(x) != TypeName(y)) return false;
        if (x->kind == Type::kStruct && ElementBase(x)->structure != ElementBase(y)->structure) return false;
    }
    return true;
}
}  // namespace

FuncDecl* Parser::FindMatchingFunction(const char* name, const char* target, const std::vector<VarDecl*>& params) {
    Scope* enclosing = scope_ ? scope_->outer : nullptr;
    if (!enclosing) return nullptr;
    for (const Symbol& s : enclosing->symbols) {
        if (s.decl->declKind != kDeclFunction || std::strcmp(s.name, name) != 0) continue;
        FuncDecl* f = static_cast<FuncDecl*>(s.decl);
        bool sameTarget = (!f->target && !target) || (f->target && target && std::strcmp(f->target, target) == 0);
        if (sameTarget && SameParameters(f->params, params)) return f;
    }
    return nullptr;
}

FuncDecl* Parser::DeclareFunction(Declarator* sig, const char* semantic, const Token* target) {
    if (usageStack_.empty()) {
        Internal(msg::kStackUnderflow);
        return nullptr;
    }
    UsageType ut = usageStack_.back();
    usageStack_.pop_back();
    const char* name = tree_->Keep(sig->name->value.text);
    SourceLocation loc = sig->name->Location();
    lastFunctionLoc_ = loc;
    std::vector<VarDecl*> params = sig->params ? *sig->params : std::vector<VarDecl*>{};

    if (ut.usage.bits & kUsageUniform) Error(loc, msg::kFunctionUniform, name);
    if (ut.usage.bits & kUsageExtern) Error(loc, msg::kFunctionExtern, name);
    const Type* ret = ut.isVoid ? nullptr : ut.type;
    if (ret && !IsNumeric(ret)) Error(loc, msg::kReturnNotNumeric, name);
    bool defaults = false;
    for (VarDecl* p : params) {
        if (p->init) defaults = true;
        else if (defaults) Error(p->loc, msg::kMissingDefault, name, p->name);
    }
    if (!ret && semantic) {
        Error(loc, msg::kVoidSemantic, name);
        semantic = nullptr;
    }
    if (ret) ret = tree_->types.MakeConst(ret);
    // A target name both before the function and after its parameters.
    if (target && ut.usage.target) AddUsageTarget(&ut.usage, target);

    const char* targetName = target ? target->value.text : ut.usage.target;
    if (FuncDecl* prior = FindMatchingFunction(name, targetName, params)) {
        if (TypeName(prior->returnType) != TypeName(ret)) Error(loc, msg::kReturnDiffers, name);
        // The definition's parameters take the prototype's slots, so calls
        // resolved against the prototype reach the body's names.
        uint32_t slot = prior->paramAreaPos;
        for (VarDecl* p : params) {
            p->valueOffset = slot;
            slot += TypeSize(p->type);
        }
        if (!prior->hasBody) prior->params = params;
        if (semantic) prior->semantic = tree_->Keep(semantic);
        return prior;
    }

    FuncDecl* f = tree_->New<FuncDecl>(loc);
    f->name = name;
    f->usage = ut.usage.bits;
    f->returnType = ret;
    f->params = params;
    f->semantic = semantic ? tree_->Keep(semantic) : nullptr;
    f->target = target ? tree_->Keep(target->value.text) : ut.usage.target;
    f->paramAreaPos = tree_->valueAreaSize;
    for (VarDecl* p : params) p->valueOffset = AllocateSlots(p->type);
    f->paramAreaSize = tree_->valueAreaSize - f->paramAreaPos;
    f->returnOffset = AllocateSlots(ret);
    tree_->functionCount++;
    Scope* params_scope = scope_;
    scope_ = scope_ ? scope_->outer : nullptr;
    AddSymbol(f, name, loc);
    if (CurrentScopeKind() == kProgramScope) AddTopLevel(f);
    scope_ = params_scope;
    return f;
}

void Parser::EndPrototype(FuncDecl*) { CloseScope(kParameterScope); }

void Parser::BeginFunctionBody(FuncDecl* f) {
    if (f && f->hasBody) Error(lastFunctionLoc_, msg::kAlreadyHasBody, f->name);
    bodyRejected_ = f && f->hasBody;
    currentFunction_ = f;
    loopDepth_ = 0;
    OpenScope(kBlockScope);
}

void Parser::EndFunctionBody(FuncDecl* f, std::vector<Stmt*>* body) {
    CloseScope(kBlockScope);
    CloseScope(kParameterScope);
    currentFunction_ = nullptr;
    if (!f || bodyRejected_) return;
    if (body) f->body = *body;
    f->hasBody = true;
}

}  // namespace hlsl

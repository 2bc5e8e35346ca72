// Expressions: literals, names, operators, assignments, conditionals, casts,
// member access and swizzles, indexing. Every builder returns null after an
// error (or when an operand already failed), so one mistake is reported once.
#include <cstring>

#include "shader/frontend/messages.h"
#include "shader/frontend/parser.h"

namespace hlsl {
namespace {

bool IsNumericBaseType(const Type* t) { return t && t->IsBase() && t->cls != kObject; }

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

bool IsComparison(Op op) {
    return op == Op::Less || op == Op::Greater || op == Op::LessEqual || op == Op::GreaterEqual || op == Op::Equal ||
           op == Op::NotEqual;
}

}  // namespace

// ---------------------------------------------------------------- primaries

Expr* Parser::MakeLiteral(const Token* t) {
    TypeTable& types = tree_->types;
    switch (t->kind) {
        case TokenKind::Integer:
            if (t->value.integer <= 0x7FFFFFFFu)
                return NewLiteral(types.Scalar(kIntLiteral), {ConstValue::Int(int32_t(t->value.integer))}, t->Location());
            return NewLiteral(types.Scalar(kUintLiteral), {ConstValue::Uint(t->value.integer)}, t->Location());
        case TokenKind::IntegerLong:
            return NewLiteral(types.Scalar(kInt), {ConstValue::Int(int32_t(t->value.integer))}, t->Location());
        case TokenKind::IntegerUnsigned:
            return NewLiteral(types.Scalar(kUint), {ConstValue::Uint(t->value.integer)}, t->Location());
        case TokenKind::Float:
            return NewLiteral(types.Scalar(kFloatLiteral), {ConstValue::Float(t->value.number)}, t->Location());
        case TokenKind::FloatHalf:
            return NewLiteral(types.Scalar(kHalf), {ConstValue::Float(t->value.number)}, t->Location());
        case TokenKind::FloatFloat:
            return NewLiteral(types.Scalar(kFloat), {ConstValue::Float(t->value.number)}, t->Location());
        case TokenKind::FloatLong:
            return NewLiteral(types.Scalar(kDouble), {ConstValue::Float(t->value.number)}, t->Location());
        default:
            Internal(msg::kUnhandledProduction);
            return nullptr;
    }
}

Expr* Parser::MakeBoolLiteral(bool value, const SourceLocation& loc) {
    return NewLiteral(tree_->types.Scalar(kBool), {ConstValue::Bool(value)}, loc);
}

Expr* Parser::MakeString(const Token* t) {
    StringExpr* s = tree_->New<StringExpr>(t->Location());
    s->text = tree_->Keep(t->value.text ? t->value.text : "");
    s->type = tree_->types.Object(kString);
    return s;
}

Expr* Parser::MakeIdentifier(const Token* t) {
    const char* name = t->value.text;
    bool conflict = false;
    Symbol* s = Lookup(name, &conflict);
    if (!s) {
        if (std::strcmp(name, "NULL") == 0) {
            ConstValue null;
            null.cls = ConstValue::kObjectValue;
            return NewLiteral(tree_->types.Object(kNull), {null}, t->Location());
        }
        if (stateDepth_ > 0) {
            // An enumerated state value ("Linear", "Wrap"), kept by name.
            StateNameExpr* e = tree_->New<StateNameExpr>(t->Location());
            e->name = tree_->Keep(name);
            e->type = tree_->types.Scalar(kInt);
            return e;
        }
        Error(t->Location(), msg::kUndeclared, name);
        return nullptr;
    }
    if (s->decl->declKind == kDeclTechnique || s->decl->declKind == kDeclPass) {
        Error(t->Location(), msg::kInvalidUse, name);
        return nullptr;
    }
    if (s->decl->declKind != kDeclVariable) {
        Error(t->Location(), msg::kWrongKind, name, LookupWords(s->decl), "variable");
        return nullptr;
    }
    if (conflict) Warning(t->Location(), msg::kLoopVariableConflict, name);
    // A variable whose declaration was refused has no usable type: the fault
    // is reported once, at the declaration.
    if (static_cast<VarDecl*>(s->decl)->dimensionsRefused) return nullptr;
    VarRefExpr* ref = tree_->New<VarRefExpr>(t->Location());
    ref->var = static_cast<VarDecl*>(s->decl);
    ref->type = ref->var->type;
    return ref;
}

// ---------------------------------------------------------------- operators

Expr* Parser::MakeUnary(Op op, Expr* a, const SourceLocation& loc) {
    if (!a) return nullptr;
    if (!IsNumericBaseType(a->type)) {
        Error(loc, msg::kNumericExpected);
        return nullptr;
    }
    bool increment = op == Op::PreIncrement || op == Op::PreDecrement || op == Op::PostIncrement ||
                     op == Op::PostDecrement;
    if (increment && !IsAssignable(a)) {
        Error(loc, msg::kConstLValue);
        return nullptr;
    }
    const Type* type = tree_->types.WithoutConst(a->type);
    if (op == Op::Not) type = tree_->types.WithBase(type, kBool);
    if (!increment) {
        if (const LiteralExpr* lit = AsLiteral(a)) {
            Values folded;
            std::vector<const Diagnostic*> notes;
            if (FoldOperator(op, type, {&lit->values}, &folded, &notes)) return NewLiteral(type, folded, loc);
        }
    }
    OperatorExpr* e = tree_->New<OperatorExpr>(loc);
    e->op = op;
    e->type = type;
    e->operands[0] = a;
    return e;
}

Expr* Parser::MakeBinary(Op op, Expr* a, Expr* b, const SourceLocation& loc) {
    if (!a || !b) return nullptr;
    if (!IsNumericBaseType(a->type) || !IsNumericBaseType(b->type)) {
        Error(loc, msg::kNumericExpected);
        return nullptr;
    }
    const Type* mixed = MixedType(tree_->types, a->type, b->type);
    if (!mixed) {
        Error(loc, msg::kTypeMismatch);
        return nullptr;
    }
    Expr* ca = Convert(a, mixed, false);
    Expr* cb = Convert(b, mixed, false);
    if (!ca || !cb) return nullptr;
    bool boolResult = IsComparison(op) || op == Op::LogicalAnd || op == Op::LogicalOr;
    const Type* type = boolResult ? tree_->types.WithBase(mixed, kBool) : mixed;
    const LiteralExpr* la = AsLiteral(ca);
    const LiteralExpr* lb = AsLiteral(cb);
    if (la && lb) {
        Values folded;
        std::vector<const Diagnostic*> notes;
        if (FoldOperator(op, type, {&la->values, &lb->values}, &folded, &notes)) {
            for (const Diagnostic* n : notes) Error(loc, *n);
            return NewLiteral(type, folded, loc);
        }
    }
    OperatorExpr* e = tree_->New<OperatorExpr>(loc);
    e->op = op;
    e->type = type;
    e->operands[0] = ca;
    e->operands[1] = cb;
    return e;
}

Expr* Parser::MakeAssign(Op op, Expr* target, Expr* value, const SourceLocation& loc) {
    if (!target || !value) return nullptr;
    if (!IsAssignable(target)) {
        Error(loc, msg::kConstLValue);
        return nullptr;
    }
    if (InFunction() && ContainsObject(target->type)) {
        Error(loc, msg::kObjectAssignInFunction);
        return nullptr;
    }
    if (op != Op::Assign) {
        if (!IsNumericBaseType(target->type) || !IsNumericBaseType(value->type)) {
            Error(loc, msg::kNumericExpected);
            return nullptr;
        }
        if (!MixedType(tree_->types, target->type, value->type)) {
            Error(loc, msg::kTypeMismatch);
            return nullptr;
        }
    }
    Expr* converted = Convert(value, tree_->types.WithoutConst(target->type), false);
    if (!converted) return nullptr;
    OperatorExpr* e = tree_->New<OperatorExpr>(loc);
    e->op = op;
    e->type = target->type;
    e->operands[0] = target;
    e->operands[1] = converted;
    return e;
}

Expr* Parser::MakeComma(Expr* a, Expr* b, const SourceLocation& loc) {
    if (!a || !b) return nullptr;
    OperatorExpr* e = tree_->New<OperatorExpr>(loc);
    e->op = Op::Comma;
    e->type = b->type;
    e->operands[0] = a;
    e->operands[1] = b;
    return e;
}

Expr* Parser::MakeConditional(Expr* c, Expr* a, Expr* b, const SourceLocation& loc) {
    if (!c || !a || !b) return nullptr;
    if (!IsNumericBaseType(c->type)) {
        Error(loc, msg::kConditionalNumeric);
        return nullptr;
    }
    const Type* mixed = MixedType(tree_->types, a->type, b->type);
    if (!mixed) {
        Error(loc, msg::kConditionalValues);
        return nullptr;
    }
    const Type* selector = tree_->types.WithBase(mixed, kBool);
    if (!CanConvert(selector, c->type, false) || (TypeSize(c->type) != 1 && TypeSize(c->type) < TypeSize(mixed))) {
        Error(loc, msg::kConditionalDimension);
        return nullptr;
    }
    Expr* cc = Convert(c, selector, false);
    Expr* ca = Convert(a, mixed, false);
    Expr* cb = Convert(b, mixed, false);
    if (!cc || !ca || !cb) return nullptr;
    const LiteralExpr *lc = AsLiteral(cc), *la = AsLiteral(ca), *lb = AsLiteral(cb);
    if (lc && la && lb && lc->values.size() == la->values.size() && la->values.size() == lb->values.size()) {
        Values chosen;
        for (size_t i = 0; i < lc->values.size(); ++i) chosen.push_back(lc->values[i].bits ? la->values[i] : lb->values[i]);
        return NewLiteral(mixed, chosen, loc);
    }
    ConditionalExpr* e = tree_->New<ConditionalExpr>(loc);
    e->type = mixed;
    e->condition = cc;
    e->ifTrue = ca;
    e->ifFalse = cb;
    return e;
}

Expr* Parser::MakeCast(const Type* type, Expr* e, const SourceLocation& loc) {
    if (!e || !type) return nullptr;
    if (type == &voidType_) {
        Error(loc, msg::kCannotConvert, "", TypeName(e->type).c_str(), "void");
        return nullptr;
    }
    Expr* c = Convert(e, tree_->types.WithoutConst(type), true);
    if (c) c->loc = loc;
    return c;
}

// ---------------------------------------------------------------- members, swizzles, indexing

namespace {

// Parses a swizzle of a scalar or vector ("xyz", "rgba") into component
// indices; false when the text is no valid swizzle of `size` components.
bool ParseVectorSwizzle(const char* s, unsigned size, uint8_t* out, uint8_t* count) {
    static const char kXyzw[] = "xyzw";
    static const char kRgba[] = "rgba";
    size_t n = std::strlen(s);
    if (n < 1 || n > 4) return false;
    const char* set = std::strchr(kXyzw, s[0]) ? kXyzw : std::strchr(kRgba, s[0]) ? kRgba : nullptr;
    if (!set) return false;
    for (size_t i = 0; i < n; ++i) {
        const char* at = std::strchr(set, s[i]);
        if (!at || s[i] == 0) return false;
        unsigned c = unsigned(at - set);
        if (c >= size) return false;
        out[i] = uint8_t(c);
    }
    *count = uint8_t(n);
    return true;
}

// "_11_22" (one-based) or "_m00_m11" (zero-based) groups of a matrix.
bool ParseMatrixSwizzle(const char* s, unsigned rows, unsigned cols, uint8_t* out, uint8_t* count) {
    if (s[0] != '_') return false;
    bool zeroBased = s[1] == 'm';
    unsigned n = 0;
    while (*s) {
        if (n == 4 || s[0] != '_') return false;
        ++s;
        if (zeroBased) {
            if (*s != 'm') return false;
            ++s;
        }
        if (s[0] < '0' || s[0] > '9' || s[1] < '0' || s[1] > '9') return false;
        int r = s[0] - '0', c = s[1] - '0';
        if (!zeroBased) {
            --r;
            --c;
        }
        if (r < 0 || c < 0 || unsigned(r) >= rows || unsigned(c) >= cols) return false;
        out[n++] = uint8_t(r * cols + c);
        s += 2;
    }
    *count = uint8_t(n);
    return n > 0;
}

}  // namespace

Expr* Parser::MakeMember(Expr* base, const Token* name) {
    if (!base || !base->type) return nullptr;
    const char* field = name->value.text ? name->value.text : "";
    const Type* t = base->type;
    if (t->kind == Type::kStruct) {
        uint32_t offset = 0;
        for (VarDecl* m : t->structure->members) {
            if (std::strcmp(m->name, field) == 0) {
                MemberExpr* e = tree_->New<MemberExpr>(name->Location());
                e->base = base;
                e->member = m;
                e->offset = offset;
                e->type = t->IsConst() ? tree_->types.MakeConst(m->type) : m->type;
                return e;
            }
            offset += TypeSize(m->type);
        }
        Error(name->Location(), msg::kInvalidSubscript, field);
        return nullptr;
    }
    uint8_t comps[4] = {0, 0, 0, 0};
    uint8_t count = 0;
    bool ok = false;
    if (t->IsBase() && (t->cls == kScalar || t->cls == kVector))
        ok = ParseVectorSwizzle(field, t->cols, comps, &count);
    else if (t->IsBase() && t->cls == kMatrix)
        ok = ParseMatrixSwizzle(field, t->rows, t->cols, comps, &count);
    if (!ok) {
        Error(name->Location(), msg::kInvalidSubscript, field);
        return nullptr;
    }
    bool repeats = false;
    for (int i = 0; i < count; ++i)
        for (int j = 0; j < i; ++j)
            if (comps[i] == comps[j]) repeats = true;
    const Type* type = count == 1 ? tree_->types.Scalar(t->base) : tree_->types.Vector(t->base, count);
    if (t->IsConst() || repeats) type = tree_->types.MakeConst(type);
    if (const LiteralExpr* lit = AsLiteral(base)) {
        Values picked;
        for (int i = 0; i < count; ++i) picked.push_back(lit->values[comps[i] < lit->values.size() ? comps[i] : 0]);
        return NewLiteral(type, picked, name->Location());
    }
    MemberExpr* e = tree_->New<MemberExpr>(name->Location());
    e->base = base;
    e->count = count;
    std::memcpy(e->components, comps, sizeof comps);
    e->type = type;
    return e;
}

Expr* Parser::MakeIndex(Expr* base, Expr* index, const SourceLocation& loc) {
    if (!base || !index || !base->type) return nullptr;
    const Type* t = base->type;
    const Type* element;
    uint32_t bound;
    if (t->kind == Type::kArray) {
        element = t->element;
        bound = t->count;
    } else if (t->IsBase() && t->cls == kVector) {
        element = tree_->types.Scalar(t->base);
        bound = t->cols;
    } else if (t->IsBase() && t->cls == kMatrix) {
        element = tree_->types.Vector(t->base, t->cols);
        bound = t->rows;
    } else {
        Error(loc, msg::kArrayExpected);
        return nullptr;
    }
    if (!index->type || !index->type->IsScalar()) {
        Error(loc, msg::kScalarExpected);
        return nullptr;
    }
    if (t->IsConst()) element = tree_->types.MakeConst(element);
    const LiteralExpr* li = AsLiteral(index);
    if (li) {
        double at = li->values[0].AsDouble();
        uint32_t i = LiteralToUnsigned(li->values[0]);
        if (at < 0 || i >= bound) {
            Error(loc, msg::kIndexOutOfBounds);
            return nullptr;
        }
        if (const LiteralExpr* lb = AsLiteral(base)) {
            uint32_t size = TypeSize(element);
            if (uint64_t(i + 1) * size <= lb->values.size()) {
                Values picked(lb->values.begin() + size_t(i) * size, lb->values.begin() + size_t(i + 1) * size);
                return NewLiteral(element, picked, loc);
            }
        }
    }
    IndexExpr* e = tree_->New<IndexExpr>(loc);
    e->base = base;
    e->index = index;
    e->type = element;
    return e;
}

Expr* Parser::MakeInitList(std::vector<Expr*>* items, const SourceLocation& loc) {
    if (!items) return nullptr;
    for (Expr* item : *items)
        if (!item) return nullptr;
    InitListExpr* list = tree_->New<InitListExpr>(loc);
    list->items = *items;
    return list;
}

}  // namespace hlsl

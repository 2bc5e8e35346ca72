// Expressions: each yields one argument per scalar component of its type.
// Variable references read the value map, assignments replace its entries;
// operators become intermediate operations component by component.
#include <cmath>

#include "shader/frontend/lowering/lowerer.h"
#include "shader/frontend/lowering/lowering_messages.h"

namespace hlsl::lowering {
namespace {

bool IsPath(const Expr* e) {
    if (!e) return false;
    switch (e->kind) {
        case NodeKind::VarRef: return true;
        case NodeKind::Member: return IsPath(static_cast<const MemberExpr*>(e)->base);
        case NodeKind::Index: {
            const IndexExpr* i = static_cast<const IndexExpr*>(e);
            return i->index && i->index->kind == NodeKind::Literal && IsPath(i->base);
        }
        default: return false;
    }
}

// Number of elements an index selects among, and the components of one.
uint32_t IndexBound(const Type* t) {
    if (!t) return 0;
    if (t->kind == Type::kArray) return t->count;
    if (t->IsBase() && t->cls == kVector) return t->cols;
    if (t->IsBase() && t->cls == kMatrix) return t->rows;
    return 0;
}

// The literal index rule of the front end: toward zero after a small nudge.
bool LiteralIndex(double v, uint32_t bound, uint32_t* out) {
    const double nudged = v >= 0 ? v + 1e-6 : v - 1e-6;
    if (!(nudged > -1.0) || !std::isfinite(v)) return false;
    const double i = std::trunc(nudged);
    if (i < 0 || i >= double(bound)) return false;
    *out = uint32_t(i);
    return true;
}

}  // namespace

Value Lowerer::ReadSlots(const std::vector<uint32_t>& slots) {
    Value v(slots.size());
    for (size_t i = 0; i < slots.size(); ++i) {
        const int32_t a = slots[i] < map.size() ? map[slots[i]] : -1;
        // Every slot holds an argument except those of structures and arrays
        // that mix objects with numbers, which get no registers.
        if (a < 0 && !Failed()) Error(here, lowmsg::kObjectInAggregate);
        v[i] = a >= 0 ? a : Literal(0);
    }
    return v;
}

// A constructor or initialiser list: the parts' components in order, each
// converted to the component type it lands on, zero-filled up to `size`.
Value Lowerer::ComponentsOf(const std::vector<Expr*>& parts, const Type* type, uint32_t size) {
    std::vector<BaseType> bases;
    FlattenComponents(type, bases, size);
    Value v;
    for (const Expr* a : parts) {
        const Value part = Lower(a);
        std::vector<BaseType> from;
        FlattenComponents(a->type, from, uint32_t(part.size()));
        for (size_t i = 0; i < part.size() && v.size() < size; ++i) {
            const Type* ft = tree.types.Scalar(i < from.size() ? from[i] : kFloat);
            const Type* tt = tree.types.Scalar(v.size() < bases.size() ? bases[v.size()] : kFloat);
            v.push_back(Convert({part[i]}, ft, tt)[0]);
        }
    }
    while (v.size() < size) v.push_back(Literal(0));
    return v;
}

void Lowerer::WriteSlots(const std::vector<uint32_t>& slots, const Value& v) {
    if (v.empty()) return;
    for (size_t i = 0; i < slots.size(); ++i) {
        if (slots[i] >= map.size()) continue;
        const int32_t value = v[v.size() == 1 ? 0 : std::min(i, v.size() - 1)];
        // A computed value stored into a variable takes the variable's name
        // and component offset, so the debug information can list its writes.
        // The slot's first argument names the variable even after a copy of
        // another variable's value has been stored there.
        int32_t& owner = slotOwner[slots[i]];
        if (owner < 0) owner = map[slots[i]];
        if (value >= 0 && owner >= 0 && p.args[value].pool == kPoolTemps && !p.args[value].declaration) {
            p.args[value].declaration = p.args[owner].declaration;
            p.args[value].name = p.args[owner].name;
            p.args[value].offset = p.args[owner].offset;
        }
        map[slots[i]] = value;
    }
}

bool Lowerer::LvalueSlots(const Expr* e, std::vector<uint32_t>* slots) {
    slots->clear();
    if (!e) return false;
    switch (e->kind) {
        case NodeKind::VarRef: {
            const VarDecl* v = static_cast<const VarRefExpr*>(e)->var;
            const uint32_t size = TypeSize(v->type);
            for (uint32_t i = 0; i < size; ++i) slots->push_back(v->valueOffset + i);
            return true;
        }
        case NodeKind::Member: {
            const MemberExpr* m = static_cast<const MemberExpr*>(e);
            std::vector<uint32_t> base;
            if (!LvalueSlots(m->base, &base)) return false;
            if (m->member) {
                const uint32_t size = TypeSize(m->type);
                for (uint32_t i = 0; i < size && m->offset + i < base.size(); ++i) slots->push_back(base[m->offset + i]);
            } else {
                for (int i = 0; i < m->count; ++i)
                    if (m->components[i] < base.size()) slots->push_back(base[m->components[i]]);
            }
            return true;
        }
        case NodeKind::Index: {
            const IndexExpr* x = static_cast<const IndexExpr*>(e);
            std::vector<uint32_t> base;
            if (!LvalueSlots(x->base, &base)) return false;
            const Value index = Lower(x->index);
            double v;
            if (index.empty() || !LiteralOf(index[0], &v)) {
                Error(x->loc, lowmsg::kNonLinearIndex);
                return false;
            }
            uint32_t i;
            if (!LiteralIndex(v, IndexBound(x->base->type), &i)) {
                Error(x->loc, lowmsg::kIndexOutOfBounds);
                return false;
            }
            const uint32_t size = TypeSize(x->type);
            for (uint32_t k = 0; k < size && i * size + k < base.size(); ++k) slots->push_back(base[i * size + k]);
            return true;
        }
        case NodeKind::Conversion: {
            const ConversionExpr* c = static_cast<const ConversionExpr*>(e);
            if (c->args.size() == 1 && TypeSize(c->type) == TypeSize(c->args[0]->type)) return LvalueSlots(c->args[0], slots);
            break;
        }
        default:
            break;
    }
    Error(e->loc, lowmsg::kUnrecognizedExpression);
    return false;
}

Value Lowerer::Lower(const Expr* e) {
    if (!e) {
        Error(here, lowmsg::kExpressionExpected);
        return {};
    }
    here = e->loc;
    const uint32_t size = e->type ? TypeSize(e->type) : 0;
    if (Failed()) return Literals(0, size);
    const PrecisionScope scope(*this, ExpressionPrecision(e));
    if (e->type && ContainsObject(e->type) && !e->type->IsObject()) {
        Error(e->loc, lowmsg::kObjectInAggregate);
        return Literals(0, size);
    }
    if (e->type && e->type->IsObject()) {
        const int32_t object = LowerObject(e);
        return {object >= 0 ? object : Literal(0)};
    }
    if (IsPath(e) && e->kind != NodeKind::VarRef) {
        // A member or constant element of a variable: read straight from its
        // slots, without lowering the whole variable.
        std::vector<uint32_t> slots;
        if (!LvalueSlots(e, &slots)) return Literals(0, size);
        return ReadSlots(slots);
    }
    switch (e->kind) {
        case NodeKind::Literal: {
            Value v;
            for (const ConstValue& c : static_cast<const LiteralExpr*>(e)->values) {
                if (c.cls == ConstValue::kObjectValue || c.cls == ConstValue::kStringValue) {
                    Error(e->loc, lowmsg::kUnrecognizedValue);
                    return Literals(0, size);
                }
                v.push_back(Literal(c.AsDouble()));
            }
            return v;
        }
        case NodeKind::VarRef: {
            std::vector<uint32_t> slots;
            LvalueSlots(e, &slots);
            return ReadSlots(slots);
        }
        case NodeKind::Member: {
            const MemberExpr* m = static_cast<const MemberExpr*>(e);
            const Value base = Lower(m->base);
            Value v;
            if (m->member) {
                for (uint32_t i = 0; i < size; ++i)
                    v.push_back(m->offset + i < base.size() ? base[m->offset + i] : Literal(0));
            } else {
                for (int i = 0; i < m->count; ++i)
                    v.push_back(m->components[i] < base.size() ? base[m->components[i]] : Literal(0));
            }
            return v;
        }
        case NodeKind::Index: return LowerIndex(static_cast<const IndexExpr*>(e));
        case NodeKind::Operator: return LowerOperator(static_cast<const OperatorExpr*>(e));
        case NodeKind::Conversion: {
            const ConversionExpr* c = static_cast<const ConversionExpr*>(e);
            if (c->form != ConversionExpr::kConstructor && c->args.size() == 1)
                return Convert(Lower(c->args[0]), c->args[0]->type, c->type);
            return ComponentsOf(c->args, c->type, size);
        }
        case NodeKind::Conditional: {
            const ConditionalExpr* c = static_cast<const ConditionalExpr*>(e);
            const Value test = Lower(c->condition);
            Value cond;
            {
                // The test runs at the class of the condition's own value.
                const PrecisionScope testScope(*this, PrecisionOfValue(test));
                cond = NonZero(test);
            }
            const Value a = Lower(c->ifTrue);
            const Value b = Lower(c->ifFalse);
            return Lerp(Broadcast(b, size), Broadcast(a, size), cond);
        }
        case NodeKind::InitList: {
            const InitListExpr* list = static_cast<const InitListExpr*>(e);
            return ComponentsOf(list->items, list->type, size);
        }
        case NodeKind::Call: {
            const CallExpr* call = static_cast<const CallExpr*>(e);
            Value v = LowerCall(call);
            here = e->loc;
            if (v.size() != size) v = Broadcast(v.empty() ? Value{Literal(0)} : v, size);
            return v;
        }
        default:
            Error(e->loc, lowmsg::kUnrecognizedExpression);
            return Literals(0, size);
    }
}

Value Lowerer::Convert(const Value& v, const Type* from, const Type* to) {
    if (!from || !to || v.empty()) return v;
    const uint32_t n = TypeSize(to);
    std::vector<BaseType> fromBases, toBases;
    FlattenComponents(from, fromBases, uint32_t(v.size()));
    FlattenComponents(to, toBases, n);
    const bool matrices = from->IsBase() && to->IsBase() && from->cls == kMatrix && to->cls == kMatrix;
    Value r(n);
    std::vector<size_t> toBool, toInt;
    for (uint32_t i = 0; i < n; ++i) {
        size_t src = v.size() == 1 ? 0 : i;
        if (matrices && v.size() > 1) src = size_t(i / to->cols) * from->cols + i % to->cols;
        if (src >= v.size()) src = v.size() - 1;
        r[i] = v[src];
        const BaseType fb = src < fromBases.size() ? fromBases[src] : kFloat;
        const BaseType tb = i < toBases.size() ? toBases[i] : kFloat;
        if (tb == kBool && fb != kBool) toBool.push_back(i);
        else if (IsIntegerBase(tb) && IsFloatBase(fb)) toInt.push_back(i);
    }
    auto apply = [&](const std::vector<size_t>& which, bool boolean) {
        if (which.empty()) return;
        Value part;
        for (size_t i : which) part.push_back(r[i]);
        part = boolean ? NonZero(part) : Truncate(part);
        for (size_t k = 0; k < which.size(); ++k) r[which[k]] = part[k];
    };
    apply(toBool, true);
    apply(toInt, false);
    return r;
}

Value Lowerer::LowerIndex(const IndexExpr* e) {
    const uint32_t size = TypeSize(e->type);
    const Value index = Lower(e->index);
    double iv;
    if (!index.empty() && LiteralOf(index[0], &iv)) {
        uint32_t i;
        if (!LiteralIndex(iv, IndexBound(e->base->type), &i)) {
            Error(e->loc, lowmsg::kIndexOutOfBounds);
            return Literals(0, size);
        }
        const Value base = Lower(e->base);
        Value v;
        for (uint32_t k = 0; k < size; ++k)
            v.push_back(size_t(i) * size + k < base.size() ? base[size_t(i) * size + k] : Literal(0));
        return v;
    }
    if (!IsPath(e->base)) {
        Error(e->loc, lowmsg::kIntermediateIndex);
        return Literals(0, size);
    }
    // A run-time index into a uniform array: a relative register access,
    // possible when every element lies the same number of registers after
    // the previous one with the same components.
    std::vector<uint32_t> slots;
    if (!LvalueSlots(e->base, &slots)) return Literals(0, size);
    const Value all = ReadSlots(slots);
    const size_t count = size ? all.size() / size : 0;
    bool linear = count > 0 && size > 0;
    int32_t stride = 1;
    for (size_t k = 0; linear && k < size; ++k) {
        const IrArgument& a = p.args[all[k]];
        const uint32_t f = p.pools[a.pool].flags;
        linear = (f & kPoolUniform) && (f & kPoolBound) && !(f & kPoolLiteral) && a.relative < 0 && a.reg >= 0;
    }
    if (linear && count > 1) stride = p.args[all[size]].reg - p.args[all[0]].reg;
    for (size_t j = 1; linear && j < count; ++j)
        for (size_t k = 0; linear && k < size; ++k) {
            const IrArgument& a = p.args[all[k]];
            const IrArgument& b = p.args[all[j * size + k]];
            linear = b.pool == a.pool && b.relative < 0 && b.component == a.component &&
                     b.reg == a.reg + int32_t(j) * stride;
        }
    if (!linear || stride <= 0) {
        Error(e->loc, lowmsg::kNonLinearIndex);
        return Literals(0, size);
    }
    here = e->loc;
    // Indexed by a loop counter: read at aL plus the element's register.
    int32_t loopRegister = -1;
    uint32_t element = 0;
    const bool byCounter = CounterElement(index[0], stride, count, &loopRegister, &element);
    const Value offset = byCounter ? Value{loopRegister} : stride == 1 ? index : Mul(index, Value{Literal(stride)});
    Value v(size);
    for (size_t k = 0; k < size; ++k) {
        const IrArgument model = p.args[all[element * size + k]];
        const int32_t a = p.AddArgument(model.pool, model.reg, model.component, 0.0);
        if (a < 0) throw std::bad_alloc();
        IrArgument& arg = p.args[a];
        arg.relative = offset[0];
        arg.declaration = model.declaration;
        arg.name = model.name;
        arg.offset = model.offset;
        arg.flags = model.flags;
        v[k] = a;
    }
    return v;
}

int32_t Lowerer::LowerObject(const Expr* e) {
    if (!e) return -1;
    switch (e->kind) {
        case NodeKind::Conversion: {
            const ConversionExpr* c = static_cast<const ConversionExpr*>(e);
            if (c->args.size() == 1) return LowerObject(c->args[0]);
            break;
        }
        case NodeKind::VarRef: {
            const VarDecl* v = static_cast<const VarRefExpr*>(e)->var;
            if (v->type->IsObject() && v->valueOffset < map.size() && map[v->valueOffset] >= 0)
                return map[v->valueOffset];
            break;
        }
        case NodeKind::Index: {
            const IndexExpr* x = static_cast<const IndexExpr*>(e);
            if (x->base->kind == NodeKind::VarRef && x->index->kind == NodeKind::Literal) {
                std::vector<uint32_t> slots;
                if (LvalueSlots(e, &slots) && slots.size() == 1 && map[slots[0]] >= 0) return map[slots[0]];
                return -1;
            }
            break;
        }
        case NodeKind::Member:
            if (static_cast<const MemberExpr*>(e)->member) {
                Error(e->loc, lowmsg::kObjectInAggregate);
                return -1;
            }
            break;
        default:
            break;
    }
    Error(e->loc, lowmsg::kObjectExpression);
    return -1;
}

}  // namespace hlsl::lowering

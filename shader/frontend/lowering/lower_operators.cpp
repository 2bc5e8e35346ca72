// Operators: arithmetic, comparisons and logic map to intermediate
// operations component by component; assignments replace value-map entries.
#include "shader/frontend/lowering/lowerer.h"
#include "shader/frontend/lowering/lowering_messages.h"

namespace hlsl::lowering {
namespace {

bool IsIntegerType(const Type* t) {
    std::vector<BaseType> bases;
    FlattenComponents(t, bases, 1);
    return !bases.empty() && IsIntegerBase(bases[0]);
}

}  // namespace

// fmod: the remainder with the sign of the dividend, |a/b| split into its
// fraction times |b|.
Value Lowerer::Fmod(const Value& a, const Value& b) {
    const Value q = Mul(a, Rcp(b));
    const Value r = Mul(Frac(Abs(q)), Abs(b));
    const Value negative = Less(a, Value{Literal(0)});
    return Add(r, Mul(negative, Mul(r, Value{Literal(-2)})));
}

// Integer quotient, truncated toward zero. a * (1 / b) may land a rounding
// step below an exact quotient; pushing it away from zero by 2^-20 of itself
// restores it, and cannot reach the next integer while |a| < 2^20 (a quotient
// that is not whole lies at least 1 / |b| from it).
Value Lowerer::IntegerDivide(const Value& a, const Value& b) {
    const Value q = Mul(a, Rcp(b));
    return Truncate(MulAdd(q, Value{Literal(1.0 / 1048576.0)}, q));
}

Value Lowerer::Arithmetic(Op op, const Value& a, const Value& b, const Type* type) {
    switch (op) {
        case Op::Multiply:
        case Op::MultiplyAssign: return Mul(a, b);
        case Op::Divide:
        case Op::DivideAssign: return IsIntegerType(type) ? IntegerDivide(a, b) : Mul(a, Rcp(b));
        case Op::Modulo:
        case Op::ModuloAssign:
            // Integers: a - b * (a / b), exact where the values are.
            if (IsIntegerType(type)) return Sub(a, Mul(b, IntegerDivide(a, b)));
            return Fmod(a, b);
        case Op::Add:
        case Op::AddAssign: return Add(a, b);
        case Op::Subtract:
        case Op::SubtractAssign: return Sub(a, b);
        default: return a;
    }
}

Value Lowerer::LowerOperator(const OperatorExpr* e) {
    const Expr* x = e->operands[0];
    const Expr* y = e->operands[1];
    const size_t n = TypeSize(e->type);
    switch (e->op) {
        case Op::Negate: return Neg(Lower(x));
        case Op::Plus: return Lower(x);
        case Op::Not: return IsZero(Lower(x));
        case Op::PreIncrement:
        case Op::PreDecrement:
        case Op::PostIncrement:
        case Op::PostDecrement: {
            std::vector<uint32_t> slots;
            if (!LvalueSlots(x, &slots)) return Literals(0, n);
            const Value old = ReadSlots(slots);
            here = e->loc;
            const bool up = e->op == Op::PreIncrement || e->op == Op::PostIncrement;
            const Value now = Add(old, Value{Literal(up ? 1 : -1)});
            WriteSlots(slots, now);
            return e->op == Op::PreIncrement || e->op == Op::PreDecrement ? now : old;
        }
        case Op::Assign: {
            std::vector<uint32_t> slots;
            if (!LvalueSlots(x, &slots)) return Literals(0, n);
            const Value v = Broadcast(Lower(y), slots.size());
            WriteSlots(slots, v);
            return v;
        }
        case Op::MultiplyAssign:
        case Op::DivideAssign:
        case Op::ModuloAssign:
        case Op::AddAssign:
        case Op::SubtractAssign: {
            std::vector<uint32_t> slots;
            if (!LvalueSlots(x, &slots)) return Literals(0, n);
            const Value old = ReadSlots(slots);
            const Value rhs = Lower(y);
            here = e->loc;
            const Value v = Broadcast(Arithmetic(e->op, old, rhs, x->type), slots.size());
            WriteSlots(slots, v);
            return v;
        }
        case Op::Comma:
            Lower(x);
            return Lower(y);
        default:
            break;
    }
    const Value a = Lower(x);
    const Value b = Lower(y);
    here = e->loc;
    switch (e->op) {
        case Op::Multiply:
        case Op::Divide:
        case Op::Modulo:
        case Op::Add:
        case Op::Subtract: return Broadcast(Arithmetic(e->op, a, b, e->type), n);
        case Op::Less: return Less(a, b);
        case Op::Greater: return Less(b, a);
        case Op::LessEqual: return GreaterEqual(b, a);
        case Op::GreaterEqual: return GreaterEqual(a, b);
        case Op::Equal: return Mul(GreaterEqual(a, b), GreaterEqual(b, a));
        case Op::NotEqual: return Max(Less(a, b), Less(b, a));
        case Op::LogicalAnd: return Mul(NonZero(a), NonZero(b));
        case Op::LogicalOr: return Max(NonZero(a), NonZero(b));
        default:
            Error(e->loc, lowmsg::kUnrecognizedExpression);
            return Literals(0, n);
    }
}

}  // namespace hlsl::lowering

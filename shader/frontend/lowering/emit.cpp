// Emitting intermediate operations. Operations whose inputs are all literals
// and whose result cannot raise a domain error are computed at once into a
// literal, so loop counters and constant conditions stay compile-time values;
// everything else becomes one instruction of n components.
#include <algorithm>
#include <cmath>
#include <cstring>

#include "shader/frontend/lowering/lowerer.h"
#include "shader/frontend/lowering/lowering_messages.h"

namespace hlsl::lowering {
namespace {

uint64_t Bits(double v) {
    uint64_t b;
    std::memcpy(&b, &v, sizeof b);
    return b;
}

// The literal result of `code` on literal inputs, or false when the
// operation is left to the optimizer (which reports domain errors).
bool Fold(uint32_t code, const double* in, double* out) {
    const double a = in[0], b = in[1], c = in[2];
    switch (code) {
        case kOpMove: *out = a; return true;
        case kOpNegate: *out = -a; return true;
        case kOpReciprocal:
            if (a == 0) return false;
            *out = 1.0 / a;
            return true;
        case kOpFraction: *out = std::isfinite(a) ? a - std::floor(a) : 0.0; return true;
        case kOpExp2: *out = std::exp2(a); return true;
        case kOpLog2:
            if (!(a > 0)) return false;
            *out = std::log2(a);
            return true;
        case kOpSqrt:
            if (a < 0) return false;
            *out = std::sqrt(a);
            return true;
        case kOpMin: *out = a < b ? a : b; return true;
        case kOpMax: *out = a > b ? a : b; return true;
        case kOpSetLess: *out = a < b ? 1.0 : 0.0; return true;
        case kOpSetGreaterEqual: *out = a >= b ? 1.0 : 0.0; return true;
        case kOpAdd: *out = a + b; return true;
        case kOpMul: *out = a * b; return true;
        case kOpSelect: *out = a >= 0 ? b : c; return true;
        default: return false;
    }
}

// Value flags of a result from the flags of its inputs (the part of the
// optimizer's propagation the lowering's own decisions rely on).
uint32_t ResultFlags(uint32_t code, const uint32_t* in) {
    constexpr uint32_t kBool = kValueZeroOrOne | kValueInteger | kValueNonNegative;
    switch (code) {
        // Comparison results are 0 or 1 of the lowest class, as the
        // optimizer's propagation marks them.
        case kOpSetLess:
        case kOpSetGreaterEqual: return kBool | kValuePrecisionLow;
        case kOpMove: return in[0] & (kBool | kValueNonPositive);
        case kOpMul: return (in[0] & in[1] & (kValueZeroOrOne | kValueInteger)) |
                            ((in[0] & in[1] & kValueZeroOrOne) ? uint32_t(kValueNonNegative) : 0u);
        case kOpMin:
        case kOpMax: return in[0] & in[1] & kBool;
        case kOpSelect: return in[1] & in[2] & kBool;
        case kOpFraction:
        case kOpSqrt:
        case kOpExp2: return kValueNonNegative;
        default: return 0;
    }
}

}  // namespace

int32_t Lowerer::Literal(double v) {
    // One argument per value; its class gathers every class it is used at,
    // as merging literals would.
    const uint64_t key = Bits(v);
    auto it = literals_.find(key);
    if (it != literals_.end()) {
        p.args[it->second].flags |= precision;
        return it->second;
    }
    const int32_t arg = p.AddLiteral(v);
    if (arg < 0) throw std::bad_alloc();
    p.args[arg].flags |= precision;
    literals_[key] = arg;
    return arg;
}

int32_t Lowerer::NewTemp(uint32_t flags) {
    const int32_t arg = p.AddArgument(kPoolTemps, -1, -1, 0.0);
    if (arg < 0) throw std::bad_alloc();
    p.args[arg].flags = flags & kValuePrecisionMask ? flags : flags | precision;
    return arg;
}

bool Lowerer::IsLiteral(int32_t arg) const {
    return arg >= 0 && size_t(arg) < p.args.size() && p.args[arg].pool == kPoolLiterals;
}

bool Lowerer::LiteralOf(int32_t arg, double* v) const {
    if (!IsLiteral(arg)) return false;
    *v = p.args[arg].literal;
    return true;
}

bool Lowerer::KnownZeroOrOne(const Value& v) const {
    for (int32_t a : v)
        if (a < 0 || !(p.args[a].flags & kValueZeroOrOne)) return false;
    return true;
}

Value Lowerer::Broadcast(const Value& a, size_t n) {
    if (a.size() == n) return a;
    if (a.size() == 1) return Value(n, a[0]);
    Value r(a.begin(), a.begin() + std::min(a.size(), n));
    while (r.size() < n) r.push_back(Literal(0));
    return r;
}

Value Lowerer::Emit(uint32_t code, const std::vector<const Value*>& inputs, size_t n) {
    if (n == 0) return {};
    std::vector<Value> in;
    in.reserve(inputs.size());
    for (const Value* v : inputs) in.push_back(Broadcast(*v, n));
    if (n > kRegisterWidth) {
        // An instruction computes at most one register's components: wider
        // values (matrices, the sines and cosines of a vector together) are
        // computed a register-sized piece at a time.
        Value out;
        for (size_t first = 0; first < n; first += kRegisterWidth) {
            const size_t count = std::min(kRegisterWidth, n - first);
            std::vector<Value> piece(in.size());
            std::vector<const Value*> pointers;
            for (size_t i = 0; i < in.size(); ++i) {
                piece[i].assign(in[i].begin() + long(first), in[i].begin() + long(first + count));
                pointers.push_back(&piece[i]);
            }
            const Value part = Emit(code, pointers, count);
            out.insert(out.end(), part.begin(), part.end());
        }
        return out;
    }

    // Fold when every component folds.
    Value folded(n);
    bool allFold = true;
    for (size_t c = 0; c < n && allFold; ++c) {
        double values[3] = {0, 0, 0};
        for (size_t i = 0; i < in.size() && allFold; ++i) allFold = LiteralOf(in[i][c], &values[i]);
        double r;
        if (allFold && (allFold = Fold(code, values, &r))) folded[c] = Literal(r);
    }
    if (allFold) return folded;
    if (code == kOpMove) return in[0];

    if (p.instructions.size() >= instructionLimit) TooLarge(lowmsg::kProgramTooLarge, instructionLimit, here);
    const int inst = p.AddInstruction(MakeOp(code, uint32_t(n)));
    if (inst < 0) throw std::bad_alloc();
    Value out(n);
    for (size_t c = 0; c < n; ++c) {
        uint32_t flags[3] = {0, 0, 0};
        for (size_t i = 0; i < in.size(); ++i) flags[i] = p.args[in[i][c]].flags;
        out[c] = NewTemp(ResultFlags(code, flags));
    }
    IrInstruction& ins = p.instructions[inst];
    for (size_t i = 0; i < in.size(); ++i)
        for (size_t c = 0; c < n; ++c) ins.inputs[i * n + c] = in[i][c];
    for (size_t c = 0; c < n; ++c) ins.outputs[c] = out[c];
    ins.location = here;
    return out;
}

Value Lowerer::Min(const Value& a, const Value& b) {
    if (nativeCompare) return Binary(kOpMin, a, b);
    const Value d = Add(a, Neg(b));
    return Select(d, b, a);
}

Value Lowerer::Max(const Value& a, const Value& b) {
    if (nativeCompare) return Binary(kOpMax, a, b);
    const Value d = Add(a, Neg(b));
    return Select(d, a, b);
}

Value Lowerer::Less(const Value& a, const Value& b) {
    if (nativeCompare) return Binary(kOpSetLess, a, b);
    const Value d = Add(a, Neg(b));
    return Select(d, Value{Literal(0)}, Value{Literal(1)});
}

Value Lowerer::GreaterEqual(const Value& a, const Value& b) {
    if (nativeCompare) return Binary(kOpSetGreaterEqual, a, b);
    const Value d = Add(a, Neg(b));
    return Select(d, Value{Literal(1)}, Value{Literal(0)});
}

Value Lowerer::Select(const Value& a, const Value& b, const Value& c) {
    const size_t n = std::max(a.size(), Width(b, c));
    return Emit(kOpSelect, {&a, &b, &c}, n);
}

Value Lowerer::NonZero(const Value& a) {
    if (KnownZeroOrOne(a)) return a;
    const Value m = Abs(a);
    return Less(Neg(m), m);
}

Value Lowerer::IsZero(const Value& a) {
    if (KnownZeroOrOne(a)) return Add(Value{Literal(1)}, Neg(a));
    const Value m = Abs(a);
    return GreaterEqual(Neg(m), m);
}

// Toward zero: floor, plus one where a negative value had a fraction.
Value Lowerer::Truncate(const Value& a) {
    const Value f = Frac(a);
    const Value down = Add(a, Neg(f));
    const Value fix = Mul(Less(a, Value{Literal(0)}), Less(Value{Literal(0)}, f));
    return Add(down, fix);
}

Value Lowerer::Lerp(const Value& a, const Value& b, const Value& t) {
    const size_t n = std::max(t.size(), Width(a, b));
    if (pixelTarget && KnownZeroOrOne(t)) return Select(Neg(Broadcast(t, n)), a, b);
    // ps_1_x registers hold a narrow range, which b - a may leave. A 0/1
    // weight (a select, the merge of if arms) must pick one side exactly,
    // which a + t * (b - a) does not (it rounds, and loses a small side next
    // to a large one): (1 - t) * a + t * b, a multiply and a multiply-add,
    // is exact for either value of t. Elsewhere a + t * (b - a) is the
    // multiply-add that becomes one lrp.
    if (ps1Target || KnownZeroOrOne(t)) return Add(Mul(Add(Value{Literal(1)}, Neg(t)), a), Mul(t, b));
    return Add(Broadcast(a, n), Mul(t, Add(b, Neg(a))));
}

Value Lowerer::Dot(const Value& a, const Value& b) {
    const size_t n = Width(a, b);
    if (n == 1 && !nativeCompare) return Mul(a, b);
    const Value x = Broadcast(a, n), y = Broadcast(b, n);
    // A dot product of literals folds like the products it stands for.
    bool literal = true;
    double sum = 0;
    for (size_t c = 0; c < n && literal; ++c) {
        double u, v;
        literal = LiteralOf(x[c], &u) && LiteralOf(y[c], &v);
        if (literal) sum += u * v;
    }
    if (literal) return {Literal(sum)};
    if (p.instructions.size() >= instructionLimit) TooLarge(lowmsg::kProgramTooLarge, instructionLimit, here);
    const int inst = p.AddInstruction(MakeOp(kOpDot, uint32_t(n)), int(2 * n), 1);
    if (inst < 0) throw std::bad_alloc();
    const int32_t out = NewTemp();
    IrInstruction& ins = p.instructions[inst];
    for (size_t c = 0; c < n; ++c) {
        ins.inputs[c] = x[c];
        ins.inputs[n + c] = y[c];
    }
    ins.outputs[0] = out;
    ins.location = here;
    return {out};
}

}  // namespace hlsl::lowering

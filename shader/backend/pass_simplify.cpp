// Simplify: per instruction and component, propagates what is known about
// values (0-or-1, integer, sign), folds operations on literals, applies
// algebraic identities, and reports the compile-time domain errors (X4001 to
// X4006). A component whose result equals one of its inputs, or a new
// literal, is replaced by it; dead-code removal then drops the component.
// Needs: nothing. Keeps: instructions; adds literal arguments and replacements.
#include <cmath>

#include "shader/backend/backend_messages.h"
#include "shader/backend/ir_passes.h"

namespace {

constexpr uint32_t kSignFlags = kValueNonNegative | kValueNonPositive;
constexpr uint32_t kCompareResult = 0x2000017;  // 0-or-1, integer, non-negative, low precision

struct Producer {
    int32_t inst = -1;
    uint32_t component = 0;
};

class Simplifier {
public:
    explicit Simplifier(IntermediateProgram& p) : p_(p) {
        p_.ComputeUses();
        producers_.resize(p_.args.size());
        for (size_t i = 0; i < p_.instructions.size(); ++i) {
            const IrInstruction& inst = p_.instructions[i];
            for (size_t c = 0; c < inst.outputs.size(); ++c)
                if (inst.outputs[c] >= 0 && producers_[inst.outputs[c]].inst < 0)
                    producers_[inst.outputs[c]] = {int32_t(i), uint32_t(c)};
        }
    }

    bool Run() {
        for (size_t i = 0; i < p_.instructions.size(); ++i) {
            const uint32_t code = p_.instructions[i].code();
            if (IsComponentWise(code)) {
                for (uint32_t c = 0; c < p_.instructions[i].count(); ++c) Component(i, c);
            } else if (code == kOpDot) {
                Dot(i);
            }
        }
        if (changed_) ApplyReplacements(p_);
        return changed_;
    }

private:
    uint32_t Flags(int32_t arg) const { return p_.args[arg].flags; }
    bool Literal(int32_t arg) const { return IsLiteralArgument(p_, arg); }
    double Value(int32_t arg) const { return p_.args[arg].literal; }
    bool KnownZero(int32_t arg) const { return (Flags(arg) & kValueKnownZero) == kValueKnownZero; }

    // The operation and input of the component that computes `arg`, if any.
    bool ProducedBy(int32_t arg, uint32_t code, int32_t* input, int32_t* second = nullptr) const {
        if (arg < 0 || size_t(arg) >= producers_.size() || producers_[arg].inst < 0) return false;
        const IrInstruction& inst = p_.instructions[producers_[arg].inst];
        if (inst.code() != code) return false;
        const uint32_t n = inst.count(), c = producers_[arg].component;
        *input = p_.Resolve(inst.inputs[c]);
        if (second) *second = p_.Resolve(inst.inputs[n + c]);
        return true;
    }

    void SetFlags(int32_t out, uint32_t flags) {
        const uint32_t old = p_.args[out].flags;
        const uint32_t updated = old | flags;
        if (updated != old) {
            p_.args[out].flags = updated;
            changed_ = true;
        }
    }

    void Replace(int32_t out, int32_t by) {
        if (!IsReplaceableOutput(p_, out) || out == by) return;
        p_.args[out].replacement = by;
        changed_ = true;
    }

    void ReplaceByLiteral(int32_t out, double value) {
        if (!IsReplaceableOutput(p_, out)) return;
        const int lit = p_.AddLiteral(value);
        if (lit < 0) return;
        producers_.resize(p_.args.size());
        Replace(out, lit);
    }

    // Reports a domain error unless the result asks for none; the folded
    // value is then 0 (or the plain floating-point result without the error).
    void DomainError(size_t inst, int32_t out, const Diagnostic& error, double plain) {
        if (!IsReplaceableOutput(p_, out)) return;
        if (Flags(out) & kValueNoError) {
            ReplaceByLiteral(out, plain);
            return;
        }
        const SourceLocation location = p_.instructions[inst].location;
        p_.Report(&location, error);
        ReplaceByLiteral(out, 0.0);
    }

    void Component(size_t i, uint32_t c);
    void Dot(size_t i);

    IntermediateProgram& p_;
    std::vector<Producer> producers_;
    bool changed_ = false;
};

void Simplifier::Component(size_t i, uint32_t c) {
    const IrInstruction& inst = p_.instructions[i];
    const uint32_t code = inst.code(), n = inst.count();
    const int32_t out = inst.outputs[c];
    if (out < 0 || p_.Resolve(out) != out) return;
    const int32_t a = p_.Resolve(inst.inputs[c]);
    const int32_t b = OperandCount(code) > 1 ? p_.Resolve(inst.inputs[n + c]) : -1;
    const int32_t s = OperandCount(code) > 2 ? p_.Resolve(inst.inputs[2 * n + c]) : -1;
    const uint32_t fa = Flags(a), fb = b >= 0 ? Flags(b) : 0;
    const bool la = Literal(a), lb = b >= 0 && Literal(b);
    const double x = la ? Value(a) : 0, y = lb ? Value(b) : 0;
    int32_t inner = -1, inner2 = -1;

    switch (code) {
    case kOpMove:
        SetFlags(out, fa & 0x1F);
        Replace(out, a);
        return;
    case kOpNegate: {
        uint32_t f = fa & (kValueZeroOrOne | kValueInteger | kValueRange);
        if (fa & kValueNonNegative) f |= kValueNonPositive;
        if (fa & kValueNonPositive) f |= kValueNonNegative;
        SetFlags(out, f);
        if (la) ReplaceByLiteral(out, -x);
        else if (ProducedBy(a, kOpNegate, &inner)) Replace(out, inner);
        return;
    }
    case kOpReciprocal:
        SetFlags(out, fa & kSignFlags & ~(KnownZero(a) ? kSignFlags : 0));
        if (la) {
            if (x == 0) DomainError(i, out, backend_diag::kDivisionByZero, 1.0 / x);
            else ReplaceByLiteral(out, 1.0 / x);
        } else if (KnownZero(a)) {
            DomainError(i, out, backend_diag::kDivisionByZero, HUGE_VAL);
        } else if (ProducedBy(a, kOpReciprocal, &inner)) {
            Replace(out, inner);
        }
        return;
    case kOpFraction:
        SetFlags(out, kValueNonNegative);
        if (la) ReplaceByLiteral(out, std::isfinite(x) ? x - std::floor(x) : 0.0);
        else if (fa & (kValueInteger | kValueZeroOrOne)) ReplaceByLiteral(out, 0.0);
        return;
    case kOpExp2:
        SetFlags(out, kValueNonNegative);
        if (la) ReplaceByLiteral(out, std::exp2(x));
        else if (ProducedBy(a, kOpLog2, &inner)) Replace(out, inner);
        return;
    case kOpLog2:
        if (la) {
            if (x < 0) DomainError(i, out, backend_diag::kIndefiniteLogarithm, std::log2(x));
            else if (x > 0) ReplaceByLiteral(out, std::log2(x));
        } else if ((fa & kValueNonPositive) && !KnownZero(a)) {
            DomainError(i, out, backend_diag::kIndefiniteLogarithm, NAN);
        } else if (ProducedBy(a, kOpExp2, &inner)) {
            Replace(out, inner);
        }
        return;
    case kOpSqrt:
        SetFlags(out, kValueNonNegative);
        if (la) {
            if (x < 0) DomainError(i, out, backend_diag::kImaginarySquareRoot, std::sqrt(x));
            else ReplaceByLiteral(out, std::sqrt(x));
        } else if (KnownZero(a) || (fa & kValueZeroOrOne)) {
            Replace(out, a);
        } else if (fa & kValueNonPositive) {
            DomainError(i, out, backend_diag::kImaginarySquareRoot, NAN);
        } else if (ProducedBy(a, kOpMul, &inner, &inner2) && inner == inner2 && (Flags(inner) & kValueNonNegative)) {
            Replace(out, inner);
        }
        return;
    case kOpSin:
        if (la) ReplaceByLiteral(out, std::sin(x));
        return;
    case kOpCos:
        if (la) ReplaceByLiteral(out, std::cos(x));
        return;
    case kOpAsin:
        if (la) {
            if (x < -1 || x > 1) DomainError(i, out, backend_diag::kIndefiniteArcsine, std::asin(x));
            else ReplaceByLiteral(out, std::asin(x));
        }
        return;
    case kOpAcos:
        if (la) {
            if (x < -1 || x > 1) DomainError(i, out, backend_diag::kIndefiniteArccosine, std::acos(x));
            else ReplaceByLiteral(out, std::acos(x));
        }
        return;
    case kOpAtan:
        if (la) ReplaceByLiteral(out, std::atan2(x, 1.0));
        return;
    case kOpDerivativeX:
    case kOpDerivativeY:
        if (la) ReplaceByLiteral(out, 0.0);
        return;
    default:
        break;
    }

    // Binary operations and select.
    const bool aNonNeg = fa & kValueNonNegative, aNonPos = fa & kValueNonPositive;
    const bool bNonNeg = fb & kValueNonNegative, bNonPos = fb & kValueNonPositive;
    switch (code) {
    case kOpMin:
    case kOpMax: {
        const bool isMin = code == kOpMin;
        SetFlags(out, fa & fb & 0x1F);
        if (la && lb) ReplaceByLiteral(out, isMin ? std::fmin(x, y) : std::fmax(x, y));
        else if (a == b) Replace(out, a);
        else if (aNonNeg && bNonPos) Replace(out, isMin ? b : a);
        else if (aNonPos && bNonNeg) Replace(out, isMin ? a : b);
        return;
    }
    case kOpSetLess:
    case kOpSetGreaterEqual: {
        const bool less = code == kOpSetLess;
        SetFlags(out, kCompareResult);
        if (la && lb) ReplaceByLiteral(out, (less ? x < y : x >= y) ? 1.0 : 0.0);
        else if (a == b) ReplaceByLiteral(out, less ? 0.0 : 1.0);
        else if (aNonNeg && bNonPos) ReplaceByLiteral(out, less ? 0.0 : 1.0);
        return;
    }
    case kOpAdd: {
        SetFlags(out, fa & fb & (kValueInteger | kSignFlags));
        if (la && lb) ReplaceByLiteral(out, x + y);
        else if (lb && y == 0) Replace(out, a);
        else if (la && x == 0) Replace(out, b);
        return;
    }
    case kOpMul: {
        uint32_t f = fa & fb & (kValueZeroOrOne | kValueInteger);
        if ((aNonNeg && bNonNeg) || (aNonPos && bNonPos) || a == b) f |= kValueNonNegative;
        if ((aNonNeg && bNonPos) || (aNonPos && bNonNeg)) f |= kValueNonPositive;
        if (ProducedBy(b, kOpNegate, &inner) && inner == a) f |= kValueNonPositive;
        if (ProducedBy(a, kOpNegate, &inner) && inner == b) f |= kValueNonPositive;
        SetFlags(out, f);
        if (la && lb) ReplaceByLiteral(out, x * y);
        else if (lb && y == 1) Replace(out, a);
        else if (la && x == 1) Replace(out, b);
        else if ((lb && y == 0) || (la && x == 0)) ReplaceByLiteral(out, 0.0);
        return;
    }
    case kOpAtan2:
        if (la && lb) ReplaceByLiteral(out, std::atan2(x, y));
        return;
    case kOpSelect: {
        // a >= 0 ? b : c
        const uint32_t fc = Flags(s);
        SetFlags(out, fb & fc & 0x1F);
        if (la) Replace(out, x >= 0 ? b : s);
        else if (b == s) Replace(out, b);
        else if (aNonNeg) Replace(out, b);
        return;
    }
    default:
        return;
    }
}

void Simplifier::Dot(size_t i) {
    const IrInstruction& inst = p_.instructions[i];
    const uint32_t n = inst.count();
    if (inst.outputs.size() != 1 || inst.outputs[0] < 0) return;
    const int32_t out = inst.outputs[0];
    double sum = 0;
    for (uint32_t c = 0; c < n; ++c) {
        const int32_t a = p_.Resolve(inst.inputs[c]), b = p_.Resolve(inst.inputs[n + c]);
        if (!Literal(a) || !Literal(b)) return;
        sum += Value(a) * Value(b);
    }
    ReplaceByLiteral(out, sum);
}

}  // namespace

bool SimplifyInstructions(IntermediateProgram& p) { return Simplifier(p).Run(); }

#include "shader/frontend/constant_folding.h"

#include <cmath>

#include "shader/frontend/messages.h"

namespace hlsl {
namespace {

ConstValue FromDouble(double d, const Type* type) { return ConvertValue(ConstValue::Float(d), type->base); }

// Size of the folded result: every operand must be a scalar or have `n`
// components.
bool Combinable(const std::vector<const Values*>& operands, size_t n) {
    for (const Values* v : operands)
        if (v->size() != 1 && v->size() != n) return false;
    return true;
}

double At(const Values& v, size_t i) { return v[v.size() == 1 ? 0 : i].AsDouble(); }

}  // namespace

uint32_t LiteralToUnsigned(const ConstValue& v) {
    ConstValue u = ConvertValue(v, kUint);
    return u.bits;
}

bool ConvertValues(const Values& in, const Type* to, Values* out) {
    uint32_t n = TypeSize(to);
    if (in.empty() || n == 0 || n > kMaxLiteralComponents || (in.size() != 1 && in.size() < n)) return false;
    std::vector<BaseType> bases;
    FlattenComponents(to, bases, n);
    out->clear();
    for (uint32_t i = 0; i < n; ++i) out->push_back(ConvertValue(in[in.size() == 1 ? 0 : i], bases[i]));
    return true;
}

bool FoldOperator(Op op, const Type* resultType, const std::vector<const Values*>& operands, Values* out,
                  std::vector<const Diagnostic*>* notes) {
    if (!resultType || !resultType->IsBase() || resultType->cls == kObject) return false;
    size_t n = TypeSize(resultType);
    if (!Combinable(operands, n)) return false;
    bool zeroDivisor = false;
    out->clear();
    for (size_t i = 0; i < n; ++i) {
        double a = At(*operands[0], i);
        double b = operands.size() > 1 ? At(*operands[1], i) : 0.0;
        double r;
        switch (op) {
            case Op::Negate: r = -a; break;
            case Op::Plus: r = a; break;
            case Op::Not: r = a == 0.0 ? 1.0 : 0.0; break;
            case Op::Multiply: r = a * b; break;
            case Op::Divide:
                if (b == 0.0) zeroDivisor = true;
                r = a / b;
                break;
            case Op::Modulo:
                if (b == 0.0) zeroDivisor = true;
                r = std::fmod(a, b);
                break;
            case Op::Add: r = a + b; break;
            case Op::Subtract: r = a - b; break;
            case Op::Less: r = a < b; break;
            case Op::Greater: r = a > b; break;
            case Op::LessEqual: r = a <= b; break;
            case Op::GreaterEqual: r = a >= b; break;
            case Op::Equal: r = a == b; break;
            case Op::NotEqual: r = a != b; break;
            case Op::LogicalAnd: r = (a != 0.0) && (b != 0.0); break;
            case Op::LogicalOr: r = (a != 0.0) || (b != 0.0); break;
            default: return false;
        }
        out->push_back(FromDouble(r, resultType));
    }
    if (zeroDivisor) notes->push_back(&msg::kDivisionByZero);
    return true;
}

bool FoldIntrinsic(IntrinsicId id, const Type* resultType, const std::vector<const Values*>& args, Values* out,
                   std::vector<const Diagnostic*>* notes) {
    if (!resultType || args.empty()) return false;
    size_t n = TypeSize(resultType);
    const Values& x = *args[0];
    auto arg = [&](size_t k, size_t i) { return At(*args[k], i); };
    auto note = [&](const Diagnostic& d) {
        for (const Diagnostic* seen : *notes)
            if (seen == &d) return;
        notes->push_back(&d);
    };
    out->clear();

    // Reductions over the components of the arguments.
    switch (id) {
        case kDot: case kLength: case kDistance: case kAll: case kAny: {
            double sum = 0, all = 1, any = 0;
            for (size_t i = 0; i < x.size(); ++i) {
                double a = arg(0, i);
                double b = args.size() > 1 ? arg(1, i) : 0.0;
                if (id == kDot) sum += a * b;
                else if (id == kLength) sum += a * a;
                else if (id == kDistance) sum += (a - b) * (a - b);
                all = all && a != 0.0;
                any = any || a != 0.0;
            }
            double r = id == kDot ? sum : id == kAll ? all : id == kAny ? any : std::sqrt(sum);
            out->push_back(FromDouble(r, resultType));
            return true;
        }
        case kNormalize: {
            double sum = 0;
            for (size_t i = 0; i < x.size(); ++i) sum += arg(0, i) * arg(0, i);
            double len = std::sqrt(sum);
            for (size_t i = 0; i < n; ++i) out->push_back(FromDouble(arg(0, i) / len, resultType));
            return true;
        }
        case kCross: {
            if (x.size() < 3 || args[1]->size() < 3) return false;
            double a[3] = {arg(0, 0), arg(0, 1), arg(0, 2)}, b[3] = {arg(1, 0), arg(1, 1), arg(1, 2)};
            double r[3] = {a[1] * b[2] - a[2] * b[1], a[2] * b[0] - a[0] * b[2], a[0] * b[1] - a[1] * b[0]};
            for (double v : r) out->push_back(FromDouble(v, resultType));
            return true;
        }
        default:
            break;
    }

    // Component-wise functions.
    if (!Combinable(args, n)) return false;
    for (size_t i = 0; i < n; ++i) {
        double a = arg(0, i);
        double b = args.size() > 1 ? arg(1, i) : 0.0;
        double c = args.size() > 2 ? arg(2, i) : 0.0;
        double r;
        switch (id) {
            case kAbs: r = std::fabs(a); break;
            case kAcos:
                if (a < -1.0 || a > 1.0) note(msg::kIndefiniteAcos);
                r = std::acos(a);
                break;
            case kAsin:
                if (a < -1.0 || a > 1.0) note(msg::kIndefiniteAsin);
                r = std::asin(a);
                break;
            case kAtan: r = std::atan(a); break;
            case kAtan2: r = std::atan2(a, b); break;
            case kCeil: r = std::ceil(a); break;
            case kClamp: r = std::fmin(std::fmax(a, b), c); break;
            case kCos: r = std::cos(a); break;
            case kCosh: r = std::cosh(a); break;
            case kDegrees: r = a * (180.0 / 3.14159265358979323846); break;
            case kExp: r = std::exp(a); break;
            case kExp2: r = std::exp2(a); break;
            case kFloor: r = std::floor(a); break;
            case kFmod:
                if (b == 0.0) note(msg::kDivisionByZero);
                r = std::fmod(a, b);
                break;
            case kFrac: r = a - std::floor(a); break;
            case kLerp: r = a + c * (b - a); break;
            case kLog: case kLog2: case kLog10:
                if (!(a > 0.0)) note(msg::kIndefiniteLog);
                r = id == kLog ? std::log(a) : id == kLog2 ? std::log2(a) : std::log10(a);
                break;
            case kMax: r = std::fmax(a, b); break;
            case kMin: r = std::fmin(a, b); break;
            case kPow:
                r = std::pow(a, b);
                if (std::isnan(r)) note(msg::kIndefinitePower);
                break;
            case kRadians: r = a * (3.14159265358979323846 / 180.0); break;
            case kRound: r = std::floor(a + 0.5); break;
            case kRsqrt:
                if (a < 0.0) note(msg::kImaginarySqrt);
                else if (a == 0.0) note(msg::kDivisionByZero);
                r = 1.0 / std::sqrt(a);
                break;
            case kSaturate: r = std::fmin(std::fmax(a, 0.0), 1.0); break;
            case kSign: r = a > 0.0 ? 1.0 : a < 0.0 ? -1.0 : 0.0; break;
            case kSin: r = std::sin(a); break;
            case kSinh: r = std::sinh(a); break;
            case kSmoothstep: {
                double t = std::fmin(std::fmax((c - a) / (b - a), 0.0), 1.0);
                r = t * t * (3.0 - 2.0 * t);
                break;
            }
            case kSqrt:
                if (a < 0.0) note(msg::kImaginarySqrt);
                r = std::sqrt(a);
                break;
            case kStep: r = b >= a ? 1.0 : 0.0; break;
            case kTan: r = std::tan(a); break;
            case kTanh: r = std::tanh(a); break;
            default: return false;
        }
        out->push_back(FromDouble(r, resultType));
    }
    return true;
}

}  // namespace hlsl

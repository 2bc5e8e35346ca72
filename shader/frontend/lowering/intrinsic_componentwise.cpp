// The intrinsics that act on each component alone, one row per intrinsic:
// every argument is replicated or cut to the result's component count and
// the row's routine builds the operations from the published definition.
#include "shader/frontend/lowering/intrinsic_routines.h"

namespace hlsl::lowering {
namespace {

using Args = std::vector<Value>;

constexpr double kLn2 = 0.6931471805599453;
constexpr double kLog10Of2 = 0.30102999566398120;
constexpr double kLog2OfE = 1.4426950408889634;
constexpr double kFloatMax = 3.4028234663852886e38;
constexpr double kPi = 3.1415927410125732;
constexpr double kHalfPi = 1.5707963705062866;

Value L(Lowerer& l, double v) { return Value{l.Literal(v)}; }

Value Exp(Lowerer& l, const Value& x) { return l.Unary(kOpExp2, l.Mul(x, L(l, kLog2OfE))); }

// The polynomial arctangent of |minor| / |major| folded back into the full
// circle: atan2(y, x), or atan(y) when `x` is null.
Value Arctangent(Lowerer& l, const Value& y, const Value* x) {
    const Value ay = l.Abs(y);
    const Value ax = x ? l.Abs(*x) : L(l, 1);
    const Value major = l.Max(l.Max(ax, ay), L(l, 1e-30));
    const Value minor = l.Min(ax, ay);
    const Value a = l.Mul(minor, l.Rcp(major));
    const Value s = l.Mul(a, a);
    Value p = l.MulAdd(s, L(l, 0.0208351), L(l, -0.085133));
    p = l.MulAdd(p, s, L(l, 0.180141));
    p = l.MulAdd(p, s, L(l, -0.3302995));
    p = l.MulAdd(p, s, L(l, 0.999866));
    p = l.Mul(p, a);
    // Past 45 degrees the ratio was inverted: pi/2 - p.
    const Value swapped = l.Less(ax, ay);
    p = l.Add(p, l.Mul(swapped, l.MulAdd(p, L(l, -2), L(l, kHalfPi))));
    if (x) {
        // Left half-plane: pi - p.
        const Value left = l.Less(*x, L(l, 0));
        p = l.Add(p, l.Mul(left, l.MulAdd(p, L(l, -2), L(l, kPi))));
    }
    const Value below = l.Less(y, L(l, 0));
    return l.Add(p, l.Mul(below, l.Mul(p, L(l, -2))));
}

// The arccosine of x from the polynomial in |x|, corrected for negative x;
// the arcsine is pi/2 minus it.
Value Arccosine(Lowerer& l, const Value& x) {
    const Value a = l.Max(x, l.Neg(x));
    const Value r = l.Sqrt(l.Add(L(l, 1), l.Neg(a)));
    Value q = l.MulAdd(a, L(l, -0.0187293), L(l, 0.074261));
    q = l.MulAdd(q, a, L(l, -0.2121144));
    q = l.MulAdd(q, a, L(l, 1.5707288));
    const Value c = l.Mul(q, r);
    const Value negative = l.Less(x, l.Neg(x));
    return l.Add(c, l.Mul(negative, l.MulAdd(c, L(l, -2), L(l, kPi))));
}

Value Sign(Lowerer& l, const Value& x) {
    const Value n = l.Neg(x);
    return l.Add(l.Less(n, x), l.Neg(l.Less(x, n)));
}

struct Row {
    IntrinsicId id;
    Value (*routine)(Lowerer&, const Args&);
};

const Row kRows[] = {
    {kAbs, [](Lowerer& l, const Args& a) { return l.Abs(a[0]); }},
    {kAcos, [](Lowerer& l, const Args& a) { return Arccosine(l, a[0]); }},
    {kAsin, [](Lowerer& l, const Args& a) { return l.Add(l.Neg(Arccosine(l, a[0])), L(l, kHalfPi)); }},
    {kAtan, [](Lowerer& l, const Args& a) { return Arctangent(l, a[0], nullptr); }},
    {kAtan2, [](Lowerer& l, const Args& a) { return Arctangent(l, a[0], &a[1]); }},
    {kCeil, [](Lowerer& l, const Args& a) { return l.Add(a[0], l.Frac(l.Neg(a[0]))); }},
    {kClamp, [](Lowerer& l, const Args& a) { return l.Min(l.Max(a[0], a[1]), a[2]); }},
    {kCos, [](Lowerer& l, const Args& a) { return SineCosine(l, a[0], false, true); }},
    {kSin, [](Lowerer& l, const Args& a) { return SineCosine(l, a[0], true, false); }},
    {kTan,
     [](Lowerer& l, const Args& a) {
         const Value both = SineCosine(l, a[0], true, true);
         const size_t n = a[0].size();
         const Value s(both.begin(), both.begin() + long(n)), c(both.begin() + long(n), both.end());
         return l.Mul(s, l.Rcp(c));
     }},
    {kCosh,
     [](Lowerer& l, const Args& a) {
         const Value e = Exp(l, a[0]);
         return l.Mul(l.Add(e, l.Rcp(e)), L(l, 0.5));
     }},
    {kSinh,
     [](Lowerer& l, const Args& a) {
         const Value e = Exp(l, a[0]);
         return l.Mul(l.Sub(e, l.Rcp(e)), L(l, 0.5));
     }},
    {kTanh,
     [](Lowerer& l, const Args& a) {
         // 1 - 2 / (e^2x + 1) stays finite for large |x|.
         const Value e2 = l.Unary(kOpExp2, l.Mul(a[0], L(l, 2 * kLog2OfE)));
         return l.Add(L(l, 1), l.Mul(l.Rcp(l.Add(e2, L(l, 1))), L(l, -2)));
     }},
    {kDegrees, [](Lowerer& l, const Args& a) { return l.Mul(a[0], L(l, 57.295779513082323)); }},
    {kRadians, [](Lowerer& l, const Args& a) { return l.Mul(a[0], L(l, 0.017453292519943295)); }},
    {kExp, [](Lowerer& l, const Args& a) { return Exp(l, a[0]); }},
    {kExp2, [](Lowerer& l, const Args& a) { return l.Unary(kOpExp2, a[0]); }},
    {kLog, [](Lowerer& l, const Args& a) { return l.Mul(l.Unary(kOpLog2, a[0]), L(l, kLn2)); }},
    {kLog10, [](Lowerer& l, const Args& a) { return l.Mul(l.Unary(kOpLog2, a[0]), L(l, kLog10Of2)); }},
    {kLog2, [](Lowerer& l, const Args& a) { return l.Unary(kOpLog2, a[0]); }},
    {kFloor, [](Lowerer& l, const Args& a) { return l.Floor(a[0]); }},
    {kFrac, [](Lowerer& l, const Args& a) { return l.Frac(a[0]); }},
    {kFmod, [](Lowerer& l, const Args& a) { return l.Fmod(a[0], a[1]); }},
    {kIsfinite, [](Lowerer& l, const Args& a) { return l.GreaterEqual(L(l, kFloatMax), l.Abs(a[0])); }},
    {kIsinf, [](Lowerer& l, const Args& a) { return l.Less(L(l, kFloatMax), l.Abs(a[0])); }},
    {kIsnan,
     [](Lowerer& l, const Args& a) {
         // A number is either >= 0 or < 0; NaN is neither.
         const Value ordered = l.Add(l.GreaterEqual(a[0], L(l, 0)), l.Less(a[0], L(l, 0)));
         return l.Add(L(l, 1), l.Neg(ordered));
     }},
    {kLdexp, [](Lowerer& l, const Args& a) { return l.Mul(a[0], l.Unary(kOpExp2, a[1])); }},
    {kLerp, [](Lowerer& l, const Args& a) { return l.Lerp(a[0], a[1], a[2]); }},
    {kMax, [](Lowerer& l, const Args& a) { return l.Max(a[0], a[1]); }},
    {kMin, [](Lowerer& l, const Args& a) { return l.Min(a[0], a[1]); }},
    {kPow, [](Lowerer& l, const Args& a) { return l.Unary(kOpExp2, l.Mul(a[1], l.Unary(kOpLog2, a[0]))); }},
    {kRound, [](Lowerer& l, const Args& a) { return l.Floor(l.Add(a[0], L(l, 0.5))); }},
    {kRsqrt, [](Lowerer& l, const Args& a) { return l.Rcp(l.Sqrt(a[0])); }},
    {kSaturate, [](Lowerer& l, const Args& a) { return l.Min(l.Max(a[0], L(l, 0)), L(l, 1)); }},
    {kSign, [](Lowerer& l, const Args& a) { return Sign(l, a[0]); }},
    {kSmoothstep,
     [](Lowerer& l, const Args& a) {
         const Value t0 = l.Mul(l.Sub(a[2], a[0]), l.Rcp(l.Sub(a[1], a[0])));
         const Value t = l.Min(l.Max(t0, L(l, 0)), L(l, 1));
         return l.Mul(l.Mul(t, t), l.MulAdd(t, L(l, -2), L(l, 3)));
     }},
    {kSqrt, [](Lowerer& l, const Args& a) { return l.Sqrt(a[0]); }},
    {kStep, [](Lowerer& l, const Args& a) { return l.GreaterEqual(a[1], a[0]); }},
};

}  // namespace

Value SineCosine(Lowerer& l, const Value& x, bool sine, bool cosine) {
    // sin x = cos(x - pi/2): the angle is reduced to [-pi, pi) through the
    // fraction of turns, then the cosine polynomial runs once over every
    // component wanted.
    Value angles, offsets;
    if (sine)
        for (int32_t c : x) angles.push_back(c), offsets.push_back(l.Literal(0.25));
    if (cosine)
        for (int32_t c : x) angles.push_back(c), offsets.push_back(l.Literal(0.5));
    const Value t0 = l.Mul(angles, L(l, 0.15915493866300567));
    const Value t1 = l.Add(t0, offsets);
    const Value t2 = l.Frac(t1);
    const Value t3 = l.Mul(t2, L(l, 6.2831854820251465));
    const Value t4 = l.Add(t3, L(l, -3.1415927410125732));
    const Value s = l.Mul(t4, t4);
    Value p = l.MulAdd(s, L(l, -2.5239851768993087e-07), L(l, 2.47609e-05));
    p = l.MulAdd(p, s, L(l, -0.0013888397));
    p = l.MulAdd(p, s, L(l, 0.0416666418));
    p = l.MulAdd(p, s, L(l, -0.4999999963));
    return l.MulAdd(p, s, L(l, 1));
}

bool LowerComponentwise(Lowerer& l, IntrinsicId id, std::vector<Value> args, size_t n, Value* out) {
    for (const Row& row : kRows) {
        if (row.id != id) continue;
        for (Value& a : args) a = l.Broadcast(a, n);
        *out = row.routine(l, args);
        return true;
    }
    return false;
}

}  // namespace hlsl::lowering

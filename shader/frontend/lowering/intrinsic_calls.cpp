// Intrinsic calls: the arguments are lowered, then the intrinsic's number
// picks its expansion. Component-wise intrinsics come from one table; the
// vector, matrix, texture and out-parameter ones are built here.
#include <algorithm>
#include <cstdlib>

#include "shader/frontend/lowering/intrinsic_routines.h"
#include "shader/frontend/lowering/lowering_messages.h"

namespace hlsl::lowering {
namespace {

Value L(Lowerer& l, double v) { return Value{l.Literal(v)}; }

Value Component(const Value& v, size_t i) { return Value{v[i < v.size() ? i : v.size() - 1]}; }

Value Slice(const Value& v, size_t first, size_t count) {
    Value r;
    for (size_t i = 0; i < count; ++i) r.push_back(v[first + i < v.size() ? first + i : v.size() - 1]);
    return r;
}

// Shape of an operand as a matrix (a vector is one row, or one column when
// `column`).
struct Shape {
    size_t rows, cols;
};
Shape ShapeOf(const Type* t, bool column) {
    if (!t || !t->IsBase()) return {1, 1};
    if (t->cls == kMatrix) return {t->rows, t->cols};
    if (t->cls == kVector) return column ? Shape{t->cols, 1} : Shape{1, t->cols};
    return {1, 1};
}

// The instruction that wrote a computed argument, -1 when none has.
int32_t WriterOf(const Lowerer& l, int32_t arg) {
    for (size_t i = l.p.instructions.size(); i-- > 0;)
        for (int32_t out : l.p.instructions[i].outputs)
            if (out == arg) return int32_t(i);
    return -1;
}

// Whether the arguments of one line (a row or a column) of an operand are
// spread over several registers, so that a dot product could not read them
// as one register. Bound arguments sit in their declared registers; a
// computed line is in one register when one instruction wrote all of it (a
// matrix built from row vectors keeps its rows, not its columns, together).
// Literals go wherever the literal registers put them.
bool SplitAcrossRegisters(const Lowerer& l, const Value& line) {
    int64_t where = -1;
    for (int32_t a : line) {
        const IrArgument& arg = l.p.args[a];
        if (l.IsLiteral(a) || arg.relative >= 0) continue;
        int64_t here;
        if (l.p.pools[arg.pool].flags & kPoolBound)
            here = int64_t(arg.pool) << 32 | uint32_t(arg.reg);
        else
            here = int64_t(1) << 62 | uint32_t(WriterOf(l, a));
        if (where < 0)
            where = here;
        else if (here != where)
            return true;
    }
    return false;
}

Value Row(const Value& m, Shape s, size_t i) { return Slice(m, i * s.cols, s.cols); }
Value Column(const Value& m, Shape s, size_t j) {
    Value c;
    for (size_t i = 0; i < s.rows; ++i) c.push_back(m[i * s.cols + j]);
    return c;
}

// A (R x K) times B (K x C), row-major component order.
Value MatrixProduct(Lowerer& l, const Value& a, Shape sa, const Value& b, Shape sb) {
    const size_t rows = sa.rows, inner = sa.cols, cols = sb.cols;
    bool dotForm = true;
    for (size_t i = 0; i < rows && dotForm; ++i) dotForm = !SplitAcrossRegisters(l, Row(a, sa, i));
    for (size_t j = 0; j < cols && dotForm; ++j) dotForm = !SplitAcrossRegisters(l, Column(b, sb, j));
    Value r(rows * cols);
    if (dotForm) {
        for (size_t i = 0; i < rows; ++i)
            for (size_t j = 0; j < cols; ++j) r[i * cols + j] = l.Dot(Row(a, sa, i), Column(b, sb, j))[0];
        return r;
    }
    if (cols == 1) {
        // A matrix times a column: the sum of A's columns scaled by b.
        Value acc = l.Mul(Column(a, sa, 0), Component(b, 0));
        for (size_t k = 1; k < inner; ++k) acc = l.Add(l.Mul(Column(a, sa, k), Component(b, k)), acc);
        return acc;
    }
    for (size_t i = 0; i < rows; ++i) {
        Value acc = l.Mul(Component(a, i * inner), Row(b, sb, 0));
        for (size_t k = 1; k < inner; ++k) acc = l.Add(l.Mul(Component(a, i * inner + k), Row(b, sb, k)), acc);
        for (size_t j = 0; j < cols; ++j) r[i * cols + j] = acc[j];
    }
    return r;
}

// Laplace expansion along the first row; matrices are at most 4 x 4.
Value Determinant(Lowerer& l, const Value& m, size_t n) {
    if (n == 1) return Component(m, 0);
    if (n == 2)
        return l.Sub(l.Mul(Component(m, 0), Component(m, 3)), l.Mul(Component(m, 1), Component(m, 2)));
    Value sum;
    for (size_t j = 0; j < n; ++j) {
        Value minor;
        for (size_t r = 1; r < n; ++r)
            for (size_t c = 0; c < n; ++c)
                if (c != j) minor.push_back(m[r * n + c]);
        Value term = l.Mul(Component(m, j), Determinant(l, minor, n - 1));
        if (j % 2) term = l.Neg(term);
        sum = sum.empty() ? term : l.Add(sum, term);
    }
    return sum;
}

Value AllOf(Lowerer& l, const Value& v) {
    const Value nz = l.NonZero(v);
    Value r = Component(nz, 0);
    for (size_t i = 1; i < nz.size(); ++i) r = l.Mul(r, Component(nz, i));
    return r;
}

Value AnyOf(Lowerer& l, const Value& v) {
    const Value nz = l.NonZero(v);
    Value r = Component(nz, 0);
    for (size_t i = 1; i < nz.size(); ++i) r = l.Max(r, Component(nz, i));
    return r;
}

Value SignOf(Lowerer& l, const Value& x) {
    const Value n = l.Neg(x);
    return l.Add(l.Less(n, x), l.Neg(l.Less(x, n)));
}

}  // namespace

Value Lowerer::LowerIntrinsic(const CallExpr* e) {
    const IntrinsicSignature* sig = e->intrinsic;
    const size_t n = e->type ? TypeSize(e->type) : 0;
    std::vector<Value> a(e->inputs.size());
    std::vector<const Type*> types(e->inputs.size(), nullptr);
    int32_t sampler = -1;
    for (size_t i = 0; i < e->inputs.size(); ++i) {
        const Expr* in = e->inputs[i];
        if (!in) continue;
        types[i] = in->type;
        if (in->type && in->type->IsObject()) sampler = LowerObject(in);
        else a[i] = Lower(in);
    }
    here = e->loc;
    if (Failed()) return Literals(0, n);
    for (size_t i = 0; i < a.size(); ++i)
        if (e->inputs[i] && !(types[i] && types[i]->IsObject()) && a[i].empty()) a[i] = {Literal(0)};

    if (!TargetHasIntrinsic(sig)) return Literals(0, n);
    Value out;
    if (LowerComponentwise(*this, sig->id, a, n, &out)) return out;

    switch (sig->id) {
        case kAll: return AllOf(*this, a[0]);
        case kAny: return AnyOf(*this, a[0]);
        case kClip: {
            Value x = a[0];
            double m;
            if (!LiteralOf(mask[0], &m) || m != 1) x = Mul(x, mask);
            for (size_t first = 0; first < x.size(); first += kRegisterWidth) {
                const size_t count = std::min(kRegisterWidth, x.size() - first);
                if (p.instructions.size() >= instructionLimit) TooLarge(lowmsg::kProgramTooLarge, instructionLimit, here);
                const int inst = p.AddInstruction(MakeOp(kOpClip, uint32_t(count)));
                if (inst < 0) throw std::bad_alloc();
                for (size_t i = 0; i < count; ++i) p.instructions[inst].inputs[i] = x[first + i];
                p.instructions[inst].location = here;
            }
            return {};
        }
        case kCross: {
            const Value& u = a[0];
            const Value& v = a[1];
            const Value u1{u[1], u[2], u[0]}, v1{v[2], v[0], v[1]};
            const Value u2{u[2], u[0], u[1]}, v2{v[1], v[2], v[0]};
            return Sub(Mul(u1, v1), Mul(u2, v2));
        }
        case kDeterminant: {
            const Shape s = ShapeOf(types[0], false);
            return Determinant(*this, a[0], s.rows);
        }
        case kDistance: {
            const Value d = Sub(a[0], a[1]);
            return Sqrt(Dot(d, d));
        }
        case kDdx: return Unary(kOpDerivativeX, a[0]);
        case kDdy: return Unary(kOpDerivativeY, a[0]);
        case kFwidth: return Add(Abs(Unary(kOpDerivativeX, a[0])), Abs(Unary(kOpDerivativeY, a[0])));
        case kDot: return Dot(a[0], a[1]);
        case kFaceforward: return Mul(Neg(a[0]), SignOf(*this, Dot(a[1], a[2])));
        case kLength: return Sqrt(Dot(a[0], a[0]));
        case kNormalize: return Mul(a[0], Rcp(Sqrt(Dot(a[0], a[0]))));
        case kReflect: return Add(a[0], Mul(a[1], Mul(Dot(a[0], a[1]), L(*this, -2))));
        case kRefract: {
            const Value& i = a[0];
            const Value& nn = a[1];
            const Value& eta = a[2];
            const Value d = Dot(nn, i);
            const Value k = Add(L(*this, 1), Neg(Mul(Mul(eta, eta), Add(L(*this, 1), Neg(Mul(d, d))))));
            const Value root = Sqrt(Max(k, L(*this, 0)));
            const Value r = Sub(Mul(eta, i), Mul(MulAdd(eta, d, root), nn));
            return Mul(r, GreaterEqual(k, L(*this, 0)));
        }
        case kLit: {
            if (vertexTarget) {
                const Value in{a[0][0], a[1][0], Literal(0), a[2][0]};
                return Emit(kOpLit, {&in}, 4);
            }
            const Value ndl = a[0], ndh = a[1], m = a[2];
            const Value lit = Mul(GreaterEqual(ndl, L(*this, 0)), GreaterEqual(ndh, L(*this, 0)));
            const Value specular = Mul(lit, Unary(kOpExp2, Mul(m, Unary(kOpLog2, Max(ndh, L(*this, 0))))));
            return {Literal(1), Max(ndl, L(*this, 0))[0], specular[0], Literal(1)};
        }
        case kNoise: {
            if (p.instructions.size() >= instructionLimit) TooLarge(lowmsg::kProgramTooLarge, instructionLimit, here);
            const int inst = p.AddInstruction(MakeOp(kOpNoise, uint32_t(a[0].size())));
            if (inst < 0) throw std::bad_alloc();
            for (size_t i = 0; i < a[0].size(); ++i) p.instructions[inst].inputs[i] = a[0][i];
            const int32_t r = NewTemp();
            p.instructions[inst].outputs[0] = r;
            p.instructions[inst].location = here;
            return {r};
        }
        case kFrexp: {
            const Value x = Broadcast(a[0], n);
            const Value ax = Abs(x);
            const Value nonZero = Less(L(*this, 0), ax);
            const Value l2 = Unary(kOpLog2, Max(ax, L(*this, 1e-30)));
            const Value exponent = Mul(Add(Floor(l2), L(*this, 1)), nonZero);
            const Value mantissa = Mul(x, Unary(kOpExp2, Neg(exponent)));
            WriteBackOutputs(e, {exponent}, {e->type});
            return mantissa;
        }
        case kModf: {
            const Value x = Broadcast(a[0], n);
            const Value whole = Truncate(x);
            WriteBackOutputs(e, {whole}, {e->type});
            return Sub(x, whole);
        }
        case kSincos: {
            const Value& x = a[0];
            const Value both = SineCosine(*this, x, true, true);
            const Value s = Slice(both, 0, x.size()), c = Slice(both, x.size(), x.size());
            const Type* t = types[0];
            WriteBackOutputs(e, {s, c}, {t, t});
            return {};
        }
        case kTranspose: {
            const Shape s = ShapeOf(types[0], false);
            Value r;
            for (size_t j = 0; j < s.cols; ++j)
                for (size_t i = 0; i < s.rows; ++i) r.push_back(a[0][i * s.cols + j]);
            return r;
        }
        case kD3DColorToUbyte4: {
            const Value& c = a[0];
            const Value swizzled{c[2], c[1], c[0], c[3]};
            return Truncate(Mul(swizzled, L(*this, 255.001953)));
        }
        case kMulSS:
        case kMulSV:
        case kMulSM:
        case kMulVS:
        case kMulMS: return Broadcast(Mul(a[0], a[1]), n);
        case kMulVV: return Dot(a[0], a[1]);
        case kMulVM:
        case kMulMV:
        case kMulMM: {
            const Shape sa = ShapeOf(types[0], false), sb = ShapeOf(types[1], true);
            return MatrixProduct(*this, a[0], sa, a[1], sb);
        }
        default: break;
    }
    if (IsLookup(sig->id)) return LowerSample(e, sampler, a);
    Error(e->loc, lowmsg::kIntrinsicMissing, sig->name);
    return Literals(0, n);
}

}  // namespace hlsl::lowering

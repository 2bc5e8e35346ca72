#include "shader/backend/codegen/ps1_dependent_reads.h"

#include <algorithm>
#include <cmath>
#include <map>

#include "gfx/shaders/shader_isa.h"
#include "shader/backend/codegen/code_generator.h"
#include "shader/backend/ir_passes.h"
#include "shader/frontend/lowering/lowering.h"

namespace codegen {

using namespace gfx::isa;

int32_t Ps1TexcoordIndex(const IntermediateProgram& p, int32_t arg) {
    if (arg < 0 || size_t(arg) >= p.args.size()) return -1;
    const IrArgument& a = p.args[arg];
    const uint32_t f = p.pools[a.pool].flags;
    if (!(f & kPoolBound) || !(f & kPoolValueAtEntry) || (f & (kPoolUniform | kPoolLiteral))) return -1;
    const SemanticName s = SplitSemantic(hlsl::SemanticOf(a.semanticNode));
    if (s.lower != "texcoord") return -1;
    return s.index + std::max(a.reg, 0);
}

bool Ps1DirectLookup(const IntermediateProgram& p, const IrInstruction& inst, int32_t* stage) {
    const uint32_t kind = SampleKindOf(inst.code());
    const uint32_t n = inst.count();
    *stage = -1;
    if (kind != kSamplePlain || n < 2 || inst.inputs.size() < 2 * n) return false;
    bool direct = true;
    for (uint32_t c = 0; c < n && direct; ++c) {
        const int32_t arg = inst.inputs[n + c];
        const int32_t index = Ps1TexcoordIndex(p, arg);
        if (c == 0) *stage = index;
        direct = index >= 0 && index == *stage && p.args[arg].component == int32_t(c);
    }
    if (direct) return true;
    // A one-dimensional lookup repeats u.
    if (n == 2 && inst.inputs[n] == inst.inputs[n + 1]) {
        *stage = Ps1TexcoordIndex(p, inst.inputs[n]);
        return *stage >= 0 && p.args[inst.inputs[n]].component == 0;
    }
    return false;
}

namespace {

// One component of an earlier lookup's result, as a coordinate reads it.
struct Texel {
    int32_t sample = -1;  // the lookup instruction
    int32_t component = -1;
    int32_t arg = -1;     // the result argument
    bool signedScale = false;
    bool otherModifier = false;  // negated, or some other arithmetic on it
    bool Valid() const { return sample >= 0; }
};

class ReadMatcher {
public:
    friend bool codegen::MatchBumpLuminance(const IntermediateProgram&, const DependentRead&, std::vector<size_t>*);
    ReadMatcher(const IntermediateProgram& p, int minor) : p_(p), minor_(minor) {}

    ReadFailure Match(size_t index, DependentRead* read);
    bool TexcoordDot(size_t index, int32_t* row, size_t* source, bool* signedScale) const {
        const IrInstruction& inst = p_.instructions[index];
        Texel texels[3];
        if (inst.outputs.size() != 1 || inst.outputs[0] < 0 || !DotRow(inst.outputs[0], row, texels)) return false;
        int32_t stage;
        if (!Ps1DirectLookup(p_, p_.instructions[size_t(texels[0].sample)], &stage)) return false;
        *source = size_t(texels[0].sample);
        *signedScale = texels[0].signedScale;
        return true;
    }

private:
    // Instruction writing `arg` and the component it writes, -1 when none.
    int32_t Writer(int32_t arg, uint32_t* component) const {
        if (arg < 0 || size_t(arg) >= p_.args.size()) return -1;
        const int32_t w = p_.args[arg].firstWriter;
        if (w < 0 || size_t(w) >= p_.instructions.size()) return -1;
        const std::vector<int32_t>& outs = p_.instructions[size_t(w)].outputs;
        auto it = std::find(outs.begin(), outs.end(), arg);
        if (it == outs.end()) return -1;
        *component = uint32_t(it - outs.begin());
        return w;
    }
    // Follows moves back to the value they copy.
    int32_t Through(int32_t arg) const {
        for (int guard = 0; guard < 64; ++guard) {
            uint32_t c = 0;
            const int32_t w = Writer(arg, &c);
            if (w < 0 || p_.instructions[size_t(w)].code() != kOpMove) return arg;
            arg = p_.instructions[size_t(w)].inputs[c];
        }
        return arg;
    }
    bool IsLiteral(int32_t arg, double value) const {
        return IsLiteralArgument(p_, arg) && std::fabs(LiteralValue(p_, arg) - value) < 1e-9;
    }
    bool IsConstant(int32_t arg) const {
        if (arg < 0) return false;
        const uint32_t f = p_.pools[p_.args[arg].pool].flags;
        return (f & (kPoolLiteral | kPoolUniform)) != 0 && p_.args[arg].relative < 0;
    }
    // A component of a lookup result, plain or with _bx2 (T * 2 - 1, or
    // (T - 0.5) * 2); other arithmetic directly on it is flagged.
    Texel TexelOf(int32_t arg) const;
    Texel PlainTexel(int32_t arg) const;
    // dot(tN.xyz, T'.xyz): *row = N.
    bool DotRow(int32_t arg, int32_t* row, Texel texels[3]) const;
    // tN.c + T.x * m + T.y * m' (any order and grouping of the adds).
    bool BumpCoordinate(int32_t arg, uint32_t c, int32_t* row, Texel* x, Texel* y) const;
    bool LinearTerms(int32_t arg, std::vector<int32_t>* leaves, std::vector<Texel>* texels, int depth) const;
    // Reflection of an eye vector about the normal of three matrix rows
    // (texm3x3spec, texm3x3vspec); fills *read's row, source and eye.
    bool Reflection(const int32_t* coords, DependentRead* read, Texel* texel) const;
    // Collects the leaves of a coordinate: matrix rows and eye components.
    bool ReflectionLeaves(int32_t arg, std::map<int32_t, std::pair<int32_t, Texel>>* rows,
                          std::vector<int32_t>* eyes, int depth) const;
    // Value of `arg` with the leaves given; false on an operation it cannot evaluate.
    bool Evaluate(int32_t arg, const std::map<int32_t, double>& leaves, double* value, int depth) const;
    // The value a clamp to 0 or 1 applies to (*bound receives which), -1 when `arg` is none.
    int32_t Clamp(int32_t arg, double* bound) const;
    // Whether `arg` is saturate(T.b * l + o) for lookup `source`, l and o constants.
    bool Luminance(int32_t arg, size_t source) const;
    // Whether the value of `arg` depends on a lookup that is itself dependent.
    bool DependsOnDependentLookup(int32_t arg);

    const IntermediateProgram& p_;
    int minor_;
    std::vector<int8_t> dependent_;  // per instruction: -1 unknown, 0 no, 1 yes
};

Texel ReadMatcher::PlainTexel(int32_t arg) const {
    Texel t;
    arg = Through(arg);
    uint32_t c = 0;
    const int32_t w = Writer(arg, &c);
    if (w < 0 || !IsSampleOp(p_.instructions[size_t(w)].code())) return t;
    t.sample = w;
    t.component = int32_t(c);
    t.arg = arg;
    return t;
}

Texel ReadMatcher::TexelOf(int32_t arg) const {
    Texel t = PlainTexel(arg);
    if (t.Valid()) return t;
    arg = Through(arg);
    uint32_t c = 0;
    const int32_t w = Writer(arg, &c);
    if (w < 0) return t;
    const IrInstruction& inst = p_.instructions[size_t(w)];
    const uint32_t n = inst.count();
    const uint32_t code = inst.code();
    if (code == kOpNegate) {
        t = PlainTexel(inst.inputs[c]);
        t.otherModifier = t.Valid();
        return t;
    }
    if ((code != kOpAdd && code != kOpMul) || inst.inputs.size() < 2 * n) return t;
    const int32_t a = inst.inputs[c], b = inst.inputs[n + c];
    // The signed scale, written either way: (T * 2) - 1 or (T - 0.5) * 2.
    struct SignedScaleForm {
        uint32_t outer;
        double outerLiteral;
        uint32_t inner;
        double innerLiteral;
    };
    static constexpr SignedScaleForm kForms[] = {{kOpAdd, -1.0, kOpMul, 2.0}, {kOpMul, 2.0, kOpAdd, -0.5}};
    for (int order = 0; order < 2; ++order) {
        const int32_t value = order ? b : a, other = order ? a : b;
        for (const SignedScaleForm& form : kForms) {
            if (code != form.outer || !IsLiteral(other, form.outerLiteral)) continue;
            uint32_t ic = 0;
            const int32_t iw = Writer(Through(value), &ic);
            if (iw < 0 || p_.instructions[size_t(iw)].code() != form.inner) continue;
            const IrInstruction& inner = p_.instructions[size_t(iw)];
            const uint32_t in = inner.count();
            for (int side = 0; side < 2; ++side) {
                const int32_t f = inner.inputs[side ? in + ic : ic], g = inner.inputs[side ? ic : in + ic];
                if (!IsLiteral(g, form.innerLiteral)) continue;
                Texel s = PlainTexel(f);
                if (s.Valid()) {
                    s.signedScale = true;
                    return s;
                }
            }
        }
    }
    // Some other scaling or offset of a texel by a literal.
    for (int order = 0; order < 2; ++order) {
        if (!IsLiteralArgument(p_, order ? a : b)) continue;
        Texel s = PlainTexel(order ? b : a);
        if (s.Valid()) {
            s.otherModifier = true;
            return s;
        }
    }
    return t;
}

bool ReadMatcher::DotRow(int32_t arg, int32_t* row, Texel texels[3]) const {
    uint32_t c = 0;
    const int32_t w = Writer(Through(arg), &c);
    if (w < 0) return false;
    const IrInstruction& inst = p_.instructions[size_t(w)];
    if (inst.code() != kOpDot || inst.count() != 3 || inst.inputs.size() < 6) return false;
    for (int order = 0; order < 2; ++order) {
        const int32_t* coords = &inst.inputs[order ? 3 : 0];
        const int32_t* values = &inst.inputs[order ? 0 : 3];
        int32_t n = -1;
        bool ok = true;
        for (int k = 0; k < 3 && ok; ++k) {
            const int32_t index = Ps1TexcoordIndex(p_, coords[k]);
            if (k == 0) n = index;
            ok = index >= 0 && index == n && p_.args[coords[k]].component == k;
        }
        if (!ok) continue;
        for (int k = 0; k < 3 && ok; ++k) {
            texels[k] = TexelOf(values[k]);
            ok = texels[k].Valid() && texels[k].component == k && texels[k].sample == texels[0].sample &&
                 texels[k].signedScale == texels[0].signedScale && !texels[k].otherModifier;
        }
        if (!ok) continue;
        *row = n;
        return true;
    }
    return false;
}

bool ReadMatcher::LinearTerms(int32_t arg, std::vector<int32_t>* leaves, std::vector<Texel>* texels,
                              int depth) const {
    if (depth > 8) return false;
    arg = Through(arg);
    const Texel direct = PlainTexel(arg);
    if (direct.Valid()) {
        texels->push_back(direct);
        return true;
    }
    uint32_t c = 0;
    const int32_t w = Writer(arg, &c);
    if (w < 0) {
        leaves->push_back(arg);
        return true;
    }
    const IrInstruction& inst = p_.instructions[size_t(w)];
    const uint32_t n = inst.count();
    if (inst.code() == kOpAdd && inst.inputs.size() >= 2 * n)
        return LinearTerms(inst.inputs[c], leaves, texels, depth + 1) &&
               LinearTerms(inst.inputs[n + c], leaves, texels, depth + 1);
    if (inst.code() == kOpDot && inst.inputs.size() >= 2 * n) {
        // mul(T.xy, M): each product pairs a texel with a constant.
        for (uint32_t k = 0; k < n; ++k) {
            bool found = false;
            for (int side = 0; side < 2 && !found; ++side) {
                const int32_t f = inst.inputs[side ? n + k : k], g = inst.inputs[side ? k : n + k];
                if (!IsConstant(g)) continue;
                const Texel t = PlainTexel(f);
                if (!t.Valid()) continue;
                texels->push_back(t);
                found = true;
            }
            if (!found) return false;
        }
        return true;
    }
    if (inst.code() == kOpMul && inst.inputs.size() >= 2 * n) {
        for (int side = 0; side < 2; ++side) {
            const int32_t f = inst.inputs[side ? n + c : c], g = inst.inputs[side ? c : n + c];
            if (!IsConstant(g)) continue;
            const Texel t = PlainTexel(f);
            if (!t.Valid()) continue;
            texels->push_back(t);
            return true;
        }
    }
    return false;
}

bool ReadMatcher::BumpCoordinate(int32_t arg, uint32_t c, int32_t* row, Texel* x, Texel* y) const {
    std::vector<int32_t> leaves;
    std::vector<Texel> texels;
    if (!LinearTerms(arg, &leaves, &texels, 0) || leaves.size() != 1 || texels.empty() || texels.size() > 2)
        return false;
    const int32_t index = Ps1TexcoordIndex(p_, leaves[0]);
    if (index < 0 || p_.args[leaves[0]].component != int32_t(c)) return false;
    *row = index;
    for (const Texel& t : texels) {
        if (t.sample != texels[0].sample) return false;
        Texel* slot = t.component == 0 ? x : t.component == 1 ? y : nullptr;
        if (!slot || slot->Valid()) return false;
        *slot = t;
    }
    return true;
}

bool ReadMatcher::ReflectionLeaves(int32_t arg, std::map<int32_t, std::pair<int32_t, Texel>>* rows,
                                   std::vector<int32_t>* eyes, int depth) const {
    if (depth > 24) return false;
    if (rows->count(arg) || std::find(eyes->begin(), eyes->end(), arg) != eyes->end()) return true;
    int32_t row = -1;
    Texel texels[3];
    if (DotRow(arg, &row, texels)) {
        (*rows)[arg] = {row, texels[0]};
        return true;
    }
    if (IsLiteralArgument(p_, arg)) return true;
    if (IsConstant(arg) || (Ps1TexcoordIndex(p_, arg) >= 0 && p_.args[arg].component == 3)) {
        eyes->push_back(arg);
        return true;
    }
    uint32_t c = 0;
    const int32_t w = Writer(arg, &c);
    if (w < 0) return false;
    const IrInstruction& inst = p_.instructions[size_t(w)];
    const uint32_t code = inst.code(), n = inst.count();
    const uint32_t arity = code == kOpDot ? 0 : code == kOpMad ? 3 : IsUnaryOp(code) ? 1 : 2;
    if (code == kOpDot) {
        for (int32_t in : inst.inputs)
            if (!ReflectionLeaves(in, rows, eyes, depth + 1)) return false;
        return true;
    }
    if (inst.inputs.size() < arity * n) return false;
    for (uint32_t k = 0; k < arity; ++k)
        if (!ReflectionLeaves(inst.inputs[k * n + c], rows, eyes, depth + 1)) return false;
    return true;
}

bool ReadMatcher::Evaluate(int32_t arg, const std::map<int32_t, double>& leaves, double* value, int depth) const {
    if (depth > 24) return false;
    if (auto it = leaves.find(arg); it != leaves.end()) {
        *value = it->second;
        return true;
    }
    if (IsLiteralArgument(p_, arg)) {
        *value = LiteralValue(p_, arg);
        return true;
    }
    uint32_t c = 0;
    const int32_t w = Writer(arg, &c);
    if (w < 0) return false;
    const IrInstruction& inst = p_.instructions[size_t(w)];
    const uint32_t code = inst.code(), n = inst.count();
    double x[3] = {0, 0, 0};
    if (code == kOpDot) {
        if (inst.inputs.size() < 2 * n) return false;
        double sum = 0;
        for (uint32_t k = 0; k < n; ++k) {
            if (!Evaluate(inst.inputs[k], leaves, &x[0], depth + 1) ||
                !Evaluate(inst.inputs[n + k], leaves, &x[1], depth + 1))
                return false;
            sum += x[0] * x[1];
        }
        *value = sum;
        return true;
    }
    const uint32_t arity = code == kOpMad ? 3 : IsUnaryOp(code) ? 1 : 2;
    if (inst.inputs.size() < arity * n) return false;
    for (uint32_t k = 0; k < arity; ++k)
        if (!Evaluate(inst.inputs[k * n + c], leaves, &x[k], depth + 1)) return false;
    switch (code) {
        case kOpMove: *value = x[0]; return true;
        case kOpNegate: *value = -x[0]; return true;
        case kOpReciprocal: *value = 1.0 / x[0]; return true;
        case kOpSqrt: *value = std::sqrt(x[0]); return true;
        case kOpRsq: *value = 1.0 / std::sqrt(x[0]); return true;
        case kOpAdd: *value = x[0] + x[1]; return true;
        case kOpMul: *value = x[0] * x[1]; return true;
        case kOpMad: *value = x[0] * x[1] + x[2]; return true;
        default: return false;
    }
}

bool ReadMatcher::Reflection(const int32_t* coords, DependentRead* read, Texel* texel) const {
    std::map<int32_t, std::pair<int32_t, Texel>> rows;
    std::vector<int32_t> eyes;
    for (int k = 0; k < 3; ++k)
        if (!ReflectionLeaves(coords[k], &rows, &eyes, 0)) return false;
    if (rows.size() != 3 || eyes.size() != 3) return false;
    int32_t first = 32;
    for (const auto& [arg, r] : rows) first = std::min(first, r.first);
    int32_t rowArg[3] = {-1, -1, -1};
    for (const auto& [arg, r] : rows) {
        const int32_t k = r.first - first;
        if (k > 2 || rowArg[k] >= 0 || r.second.sample != rows.begin()->second.second.sample ||
            r.second.signedScale != rows.begin()->second.second.signedScale)
            return false;
        rowArg[k] = arg;
    }
    // The eye: x, y, z of one constant register, or the w of the three rows.
    int32_t eyeArg[3] = {-1, -1, -1};
    const bool vspec = !IsConstant(eyes[0]);
    for (int32_t e : eyes) {
        const IrArgument& a = p_.args[e];
        const int32_t k = vspec ? Ps1TexcoordIndex(p_, e) - first : a.component;
        if (k < 0 || k > 2 || eyeArg[k] >= 0 || IsConstant(e) == vspec) return false;
        if (!vspec && (a.pool != p_.args[eyes[0]].pool || a.reg != p_.args[eyes[0]].reg)) return false;
        eyeArg[k] = e;
    }
    // The coordinates must compute 2 N (N.E) / (N.N) - E whatever their
    // written form: compare at a few points.
    const double points[3][6] = {{0.3, -0.7, 0.5, 0.2, 0.9, -0.4},
                                 {-1.25, 0.5, 2.0, -0.6, 0.1, 0.75},
                                 {0.8, 1.6, -0.35, 1.1, -0.45, 0.3}};
    for (const auto& pt : points) {
        std::map<int32_t, double> leaves;
        for (int k = 0; k < 3; ++k) leaves[rowArg[k]] = pt[k], leaves[eyeArg[k]] = pt[3 + k];
        const double ne = pt[0] * pt[3] + pt[1] * pt[4] + pt[2] * pt[5];
        const double nn = pt[0] * pt[0] + pt[1] * pt[1] + pt[2] * pt[2];
        for (int k = 0; k < 3; ++k) {
            double got = 0;
            if (!Evaluate(coords[k], leaves, &got, 0)) return false;
            const double want = 2 * pt[k] * ne / nn - pt[3 + k];
            if (!(std::fabs(got - want) <= 1e-6 * (1 + std::fabs(want)))) return false;
        }
    }
    *texel = rows.begin()->second.second;
    Texel texels[3];
    int32_t row = -1;
    if (!DotRow(rowArg[0], &row, texels)) return false;
    read->reads = {texels[0].arg, texels[1].arg, texels[2].arg};
    read->row = first;
    read->eye = vspec ? -1 : eyeArg[0];
    read->opcode = vspec ? OP_TEXM3x3VSPEC : OP_TEXM3x3SPEC;
    return true;
}

int32_t ReadMatcher::Clamp(int32_t arg, double* bound) const {
    // max(x, 0) is select(x, x, 0); min(x, 1) is select(x - 1, 1, x).
    uint32_t c = 0;
    const int32_t w = Writer(Through(arg), &c);
    if (w < 0) return -1;
    const IrInstruction& inst = p_.instructions[size_t(w)];
    const uint32_t n = inst.count();
    if (inst.code() == kOpMin || inst.code() == kOpMax) {
        if (inst.inputs.size() != 2 * n) return -1;
        *bound = inst.code() == kOpMin ? 1.0 : 0.0;
        if (IsLiteral(inst.inputs[n + c], *bound)) return inst.inputs[c];
        if (IsLiteral(inst.inputs[c], *bound)) return inst.inputs[n + c];
        return -1;
    }
    if (inst.code() != kOpSelect || inst.inputs.size() != 3 * n) return -1;
    const int32_t cond = inst.inputs[c], a = inst.inputs[n + c], b = inst.inputs[2 * n + c];
    if (IsLiteral(b, 0.0) && Through(cond) == Through(a)) {
        *bound = 0.0;
        return a;
    }
    uint32_t dc = 0;
    const int32_t dw = Writer(Through(cond), &dc);
    if (!IsLiteral(a, 1.0) || dw < 0) return -1;
    const IrInstruction& add = p_.instructions[size_t(dw)];
    const uint32_t m = add.count();
    if (add.code() != kOpAdd || add.inputs.size() != 2 * m) return -1;
    for (int side = 0; side < 2; ++side)
        if (IsLiteral(add.inputs[side ? dc : m + dc], -1.0) && Through(add.inputs[side ? m + dc : dc]) == Through(b)) {
            *bound = 1.0;
            return b;
        }
    return -1;
}

bool ReadMatcher::Luminance(int32_t arg, size_t source) const {
    double outerBound = -1, innerBound = -1;
    const int32_t inner = Clamp(arg, &outerBound);
    const int32_t y = inner >= 0 ? Clamp(inner, &innerBound) : -1;
    if (y < 0 || outerBound == innerBound) return false;
    uint32_t c = 0;
    // y must be affine in T.b with constant coefficients: the leaves are T.b
    // and constants, and y(2) - y(1) = y(1) - y(0) for any constant values.
    std::vector<int32_t> constants;
    int32_t blue = -1;
    std::vector<int32_t> pending = {y};
    for (size_t guard = 0; !pending.empty() && guard < 64; ++guard) {
        const int32_t v = Through(pending.back());
        pending.pop_back();
        if (IsLiteralArgument(p_, v)) continue;
        const Texel t = PlainTexel(v);
        if (t.Valid()) {
            if (size_t(t.sample) != source || t.component != 2 || (blue >= 0 && blue != t.arg)) return false;
            blue = t.arg;
            continue;
        }
        if (IsConstant(v)) {
            constants.push_back(v);
            continue;
        }
        const int32_t vw = Writer(v, &c);
        if (vw < 0) return false;
        const IrInstruction& inst = p_.instructions[size_t(vw)];
        const uint32_t code = inst.code(), n = inst.count();
        if (code != kOpAdd && code != kOpMul && code != kOpMad && code != kOpNegate) return false;
        const uint32_t arity = code == kOpMad ? 3 : code == kOpNegate ? 1 : 2;
        if (inst.inputs.size() < arity * n) return false;
        for (uint32_t k = 0; k < arity; ++k) pending.push_back(inst.inputs[k * n + c]);
    }
    if (blue < 0 || !pending.empty()) return false;
    const double samples[2] = {0.37, -1.9};
    for (double value : samples) {
        std::map<int32_t, double> leaves;
        for (int32_t k : constants) leaves[k] = value * double(k % 7 + 1);
        double at[3];
        for (int k = 0; k < 3; ++k) {
            leaves[blue] = k;
            if (!Evaluate(y, leaves, &at[k], 0)) return false;
        }
        if (std::fabs((at[2] - at[1]) - (at[1] - at[0])) > 1e-9 * (1 + std::fabs(at[1]))) return false;
    }
    return true;
}

bool ReadMatcher::DependsOnDependentLookup(int32_t arg) {
    uint32_t c = 0;
    const int32_t w = Writer(arg, &c);
    if (w < 0) return false;
    if (dependent_.empty()) dependent_.assign(p_.instructions.size(), -1);
    // Writers come before their readers, so one walk over the earlier
    // instructions settles every answer the query needs.
    for (int32_t i = 0; i <= w; ++i) {
        if (dependent_[size_t(i)] >= 0) continue;
        const IrInstruction& inst = p_.instructions[size_t(i)];
        int8_t result = 0;
        if (IsSampleOp(inst.code())) {
            int32_t stage;
            result = Ps1DirectLookup(p_, inst, &stage) ? 0 : 1;
        } else {
            for (int32_t in : inst.inputs) {
                uint32_t k = 0;
                const int32_t from = Writer(in, &k);
                if (from >= 0 && from < i && dependent_[size_t(from)] == 1) result = 1;
            }
        }
        dependent_[size_t(i)] = result;
    }
    return dependent_[size_t(w)] == 1;
}

ReadFailure ReadMatcher::Match(size_t index, DependentRead* read) {
    const IrInstruction& inst = p_.instructions[index];
    const uint32_t n = inst.count();
    const uint32_t dimension = SampleDimensionOf(inst.code());
    const uint32_t kind = SampleKindOf(inst.code());
    if (inst.inputs.size() < 2 * n || n == 0) return ReadFailure::NotMatched;
    const int32_t* coords = &inst.inputs[n];
    const bool oneD = dimension == kSample1D || (n == 2 && coords[0] == coords[1]);
    read->sample = index;
    // The coordinates of T must come from its own texture coordinates.
    auto finish = [&](uint32_t opcode, const Texel& t, int32_t row, std::vector<int32_t> reads) {
        int32_t stage;
        if (!Ps1DirectLookup(p_, p_.instructions[size_t(t.sample)], &stage)) return ReadFailure::Double;
        read->opcode = opcode;
        read->source = size_t(t.sample);
        read->signedScale = t.signedScale;
        read->row = row;
        read->reads = std::move(reads);
        return ReadFailure::None;
    };
    for (uint32_t c = 0; c < n; ++c)
        if (DependsOnDependentLookup(coords[c])) return ReadFailure::Double;
    if (kind != kSamplePlain) return ReadFailure::NotMatched;

    // texreg2ar, texreg2gb, texreg2rgb: the coordinates are T's components.
    if (!oneD) {
        Texel t[3];
        bool all = true;
        for (uint32_t c = 0; c < n && c < 3; ++c) {
            t[c] = TexelOf(coords[c]);
            all &= t[c].Valid() && t[c].sample == t[0].sample;
        }
        if (all && n == 2) {
            const int32_t a = t[0].component, b = t[1].component;
            const bool modified = t[0].signedScale || t[1].signedScale || t[0].otherModifier || t[1].otherModifier;
            if ((a == 3 && b == 0) || (a == 1 && b == 2)) {
                if (modified) return ReadFailure::ModifierAr;
                return finish(a == 3 ? OP_TEXREG2AR : OP_TEXREG2GB, t[0], -1, {t[0].arg, t[1].arg});
            }
        }
        if (all && (n == 2 || n == 3)) {
            bool rgb = true, plain = true;
            for (uint32_t c = 0; c < n; ++c) {
                rgb &= t[c].component == int32_t(c);
                plain &= !t[c].otherModifier && t[c].signedScale == t[0].signedScale;
            }
            if (rgb) {
                if (!plain) return ReadFailure::ModifierRgb;
                if (minor_ < 2) return ReadFailure::NeedsRgb;
                std::vector<int32_t> reads;
                for (uint32_t c = 0; c < n; ++c) reads.push_back(t[c].arg);
                return finish(OP_TEXREG2RGB, t[0], -1, reads);
            }
        }
    }

    // Matrix rows: dot products of consecutive texture coordinates with T.
    int32_t rows[3] = {-1, -1, -1};
    Texel texels[3][3];
    const uint32_t rowCount = oneD ? 1 : n;
    bool dots = rowCount <= 3;
    for (uint32_t r = 0; r < rowCount && dots; ++r) dots = DotRow(coords[r], &rows[r], texels[r]);
    if (dots) {
        for (uint32_t r = 1; r < rowCount; ++r)
            if (texels[r][0].sample != texels[0][0].sample || texels[r][0].signedScale != texels[0][0].signedScale)
                return ReadFailure::NotMatched;
        const std::vector<int32_t> reads = {texels[0][0].arg, texels[0][1].arg, texels[0][2].arg};
        if (oneD) {
            if (minor_ < 2) return ReadFailure::NotMatched;
            return finish(OP_TEXDP3TEX, texels[0][0], rows[0], reads);
        }
        for (uint32_t r = 1; r < rowCount; ++r)
            if (rows[r] != rows[0] + int32_t(r)) return ReadFailure::Rows;
        if (rowCount == 2 && dimension == kSample2D) return finish(OP_TEXM3x2TEX, texels[0][0], rows[0], reads);
        if (rowCount == 3 && (dimension == kSampleVolume || dimension == kSampleCube))
            return finish(OP_TEXM3x3TEX, texels[0][0], rows[0], reads);
        return ReadFailure::Rows;
    }
    // The reflection forms look up a cube or volume texture.
    if (n == 3 && (dimension == kSampleVolume || dimension == kSampleCube)) {
        DependentRead reflection;
        Texel t;
        if (Reflection(coords, &reflection, &t)) {
            read->eye = reflection.eye;
            return finish(reflection.opcode, t, reflection.row, reflection.reads);
        }
    }
    // texdp3tex written as a 2D lookup at (dot, 0).
    if (n == 2 && dimension == kSample2D && IsLiteral(coords[1], 0.0) && DotRow(coords[0], &rows[0], texels[0])) {
        if (minor_ < 2) return ReadFailure::NotMatched;
        return finish(OP_TEXDP3TEX, texels[0][0], rows[0], {texels[0][0].arg, texels[0][1].arg, texels[0][2].arg});
    }
    // texbem: the stage's own coordinates offset by T.xy through the matrix.
    if (n == 2 && dimension == kSample2D && !oneD) {
        int32_t row0 = -1, row1 = -1;
        Texel x0, y0, x1, y1;
        if (BumpCoordinate(coords[0], 0, &row0, &x0, &y0) && BumpCoordinate(coords[1], 1, &row1, &x1, &y1) &&
            row0 == row1) {
            const Texel& any = x0.Valid() ? x0 : y0;
            const Texel& other = x1.Valid() ? x1 : y1;
            if (any.sample == other.sample) {
                std::vector<int32_t> reads;
                for (const Texel* t : {&x0, &y0, &x1, &y1})
                    if (t->Valid()) reads.push_back(t->arg);
                return finish(OP_TEXBEM, any, row0, reads);
            }
        }
    }
    return ReadFailure::NotMatched;
}

}  // namespace

bool MatchBumpLuminance(const IntermediateProgram& p, const DependentRead& read, std::vector<size_t>* scales) {
    if (read.opcode != OP_TEXBEM) return false;
    const IrInstruction& lookup = p.instructions[read.sample];
    if (lookup.outputs.size() < 3) return false;
    ReadMatcher matcher(p, 1);
    scales->clear();
    int32_t colour[3];
    for (uint32_t c = 0; c < 3; ++c) {
        colour[c] = lookup.outputs[c];
        if (colour[c] < 0) return false;
    }
    for (uint32_t c = 0; c < 3; ++c) {
        // The colour component's only reader multiplies it by the luminance.
        int32_t reader = -1;
        size_t position = 0;
        for (size_t i = 0; i < p.instructions.size(); ++i) {
            const std::vector<int32_t>& in = p.instructions[i].inputs;
            for (size_t k = 0; k < in.size(); ++k) {
                if (in[k] != colour[c]) continue;
                if (reader >= 0) return false;
                reader = int32_t(i);
                position = k;
            }
        }
        if (reader < 0) return false;
        const IrInstruction& mul = p.instructions[size_t(reader)];
        const size_t n = mul.count();
        if (mul.code() != kOpMul || mul.inputs.size() != 2 * n) return false;
        if (!matcher.Luminance(mul.inputs[(position + n) % (2 * n)], read.source)) return false;
        if (std::find(scales->begin(), scales->end(), size_t(reader)) == scales->end()) scales->push_back(size_t(reader));
    }
    // Every component of those products is a colour component so scaled.
    for (size_t s : *scales) {
        const IrInstruction& mul = p.instructions[s];
        const size_t n = mul.count();
        for (size_t k = 0; k < n; ++k)
            if (std::find(colour, colour + 3, mul.inputs[k]) == colour + 3 &&
                std::find(colour, colour + 3, mul.inputs[n + k]) == colour + 3)
                return false;
    }
    return true;
}

bool MatchTexcoordDot(const IntermediateProgram& p, size_t index, int32_t* row, size_t* source, bool* signedScale) {
    return ReadMatcher(p, 2).TexcoordDot(index, row, source, signedScale);
}

ReadFailure MatchDependentRead(const IntermediateProgram& p, size_t index, int minor, DependentRead* read) {
    return ReadMatcher(p, minor).Match(index, read);
}

}  // namespace codegen

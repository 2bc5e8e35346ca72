// ps_2_0 patterns over the packed program: clamps into [0, 1] become the
// saturate modifier of the instruction that produced the value, selects
// between two compared values become min or max, max(x, -x) and
// x >= 0 ? x : -x become abs, a two-component dot product plus an addend
// becomes dp2add, and products read by adds become multiply-adds. They run
// after register packing, so values are followed through registers: the
// value an instruction reads is the one the closest earlier write of that
// register component left there, and a rewrite only goes ahead when no
// instruction in between disturbs the registers it relies on.
#include <algorithm>

#include "shader/backend/codegen/ps2_code_generator.h"
#include "shader/backend/ir_passes.h"
#include "shader/backend/negation_reads.h"

namespace codegen {

using namespace gfx::isa;

namespace {

uint32_t ModifierOf(const IrArgument& a) { return (a.flags & kValueSourceModifierMask) >> 16; }

bool Saturable(uint32_t code) {
    switch (code) {
        case kOpMove:
        case kOpNegate:
        case kOpReciprocal:
        case kOpFraction:
        case kOpExp2:
        case kOpLog2:
        case kOpMin:
        case kOpMax:
        case kOpSetLess:
        case kOpSetGreaterEqual:
        case kOpAdd:
        case kOpMul:
        case kOpDot:
        case kOpSelect:
        case kOpAbs:
        case kOpLerp:
        case kOpNormalize:
        case kOpRsq:
        case kOpRsqNegated:
        case kOpMad:
        case kOpMadNegated:
        case kOpDot2Add: return true;
        default: return false;
    }
}

}  // namespace

int64_t Ps2CodeGenerator::SlotOf(int32_t arg) const {
    const ArgClass cls = ClassOf(arg);
    if (cls != ArgClass::Temp && cls != ArgClass::Output) return -1;
    if (args[arg].relative >= 0) return -1;
    const RegRef r = RegisterOf(arg);
    if (!r.valid) return -1;
    return int64_t(r.type) << 20 | int64_t(r.number) << 2 | r.component;
}

int32_t Ps2CodeGenerator::WriterBefore(size_t at, int32_t arg) const {
    const int64_t slot = SlotOf(arg);
    if (slot < 0) return -1;
    for (size_t i = std::min(at, instructions.size()); i-- > 0;)
        for (int32_t out : instructions[i].outputs)
            if (out >= 0 && SlotOf(out) == slot) return int32_t(i);
    return -1;
}

std::vector<size_t> Ps2CodeGenerator::ReadersOf(size_t writer, int32_t out) const {
    std::vector<size_t> readers;
    const int64_t slot = SlotOf(out);
    if (slot < 0) return readers;
    for (size_t j = writer + 1; j < instructions.size(); ++j) {
        const IrInstruction& inst = instructions[j];
        for (int32_t in : inst.inputs)
            if (in >= 0 && SlotOf(in) == slot) {
                readers.push_back(j);
                break;
            }
        bool overwritten = false;
        for (int32_t o : inst.outputs) overwritten |= o >= 0 && SlotOf(o) == slot;
        if (overwritten) break;
    }
    return readers;
}

bool Ps2CodeGenerator::OnlyReadBy(size_t writer, const std::vector<size_t>& allowed) const {
    for (int32_t out : instructions[writer].outputs) {
        if (out < 0) continue;
        if (ClassOf(out) != ArgClass::Temp) return false;
        for (size_t r : ReadersOf(writer, out))
            if (std::find(allowed.begin(), allowed.end(), r) == allowed.end()) return false;
    }
    return true;
}

bool Ps2CodeGenerator::Untouched(int64_t slot, size_t from, size_t to, const std::vector<size_t>& ignore,
                                 bool reads) const {
    if (slot < 0) return true;
    for (size_t j = from + 1; j < to && j < instructions.size(); ++j) {
        if (std::find(ignore.begin(), ignore.end(), j) != ignore.end()) continue;
        for (int32_t o : instructions[j].outputs)
            if (o >= 0 && SlotOf(o) == slot) return false;
        if (!reads) continue;
        for (int32_t in : instructions[j].inputs)
            if (in >= 0 && SlotOf(in) == slot) return false;
    }
    return true;
}

bool Ps2CodeGenerator::SameValue(int32_t a, size_t atA, int32_t b, size_t atB) const {
    if (a < 0 || b < 0) return false;
    const IrArgument& x = args[a];
    const IrArgument& y = args[b];
    if (ModifierOf(x) != ModifierOf(y)) return false;
    const ArgClass cls = ClassOf(a);
    if (cls != ClassOf(b)) return false;
    if (cls == ArgClass::Literal) return x.literal == y.literal;
    if (x.relative >= 0 || y.relative >= 0) return false;
    const RegRef rx = RegisterOf(a), ry = RegisterOf(b);
    if (!rx.valid || rx.type != ry.type || rx.number != ry.number || rx.component != ry.component) return false;
    if (cls != ArgClass::Temp) return true;
    return WriterBefore(atA, a) == WriterBefore(atB, b) &&
           Untouched(SlotOf(a), std::min(atA, atB), std::max(atA, atB), {}, false);
}

bool Ps2CodeGenerator::IsLiteralValue(int32_t arg, double value) const {
    return arg >= 0 && ClassOf(arg) == ArgClass::Literal && ModifierOf(args[arg]) == SRCMOD_NONE &&
           args[arg].literal == value;
}

void Ps2CodeGenerator::MakeEmpty(size_t index) {
    IrInstruction& inst = instructions[index];
    inst.op = MakeOp(kOpEmpty, 0);
    inst.inputs.clear();
    inst.outputs.clear();
}

void Ps2CodeGenerator::RemoveIfUnread(size_t index) {
    const IrInstruction& inst = instructions[index];
    if (inst.code() == kOpEmpty || inst.code() == kOpClip) return;
    for (int32_t out : inst.outputs)
        if (out >= 0 && (ClassOf(out) != ArgClass::Temp || !ReadersOf(index, out).empty())) return;
    MakeEmpty(index);
}

namespace {

// Operations that take the negate modifier on every operand, with the number
// of operands of n components each: besides the intermediate operations, the
// ones the earlier patterns made.
int PatternNegatableOperands(uint32_t code) {
    switch (code) {
        case kOpAbs: return 1;
        case kOpDot: return 2;
        case kOpMadNegated: return 3;
        default: return NegatableOperands(code);
    }
}

}  // namespace

// A negation whose results are read only as whole operands becomes the
// negate modifier of its readers, as long as its input register still holds
// the value where each reader stands.
bool Ps2CodeGenerator::FoldNegationThroughRegisters() {
    bool changed = false;
    for (size_t i = 0; i < instructions.size(); ++i) {
        IrInstruction& neg = instructions[i];
        const uint32_t n = neg.count();
        if (neg.code() != kOpNegate || n == 0 || neg.inputs.size() != n || neg.outputs.size() != n) continue;
        bool ok = true;
        std::vector<size_t> readers;
        for (uint32_t c = 0; c < n && ok; ++c) {
            const int32_t in = neg.inputs[c], out = neg.outputs[c];
            ok = in >= 0 && out >= 0 && ClassOf(out) == ArgClass::Temp && ClassOf(in) != ArgClass::Sampler &&
                 args[in].relative < 0 && ModifierOf(args[in]) <= SRCMOD_NEG;
            if (!ok) break;
            for (size_t r : ReadersOf(i, out))
                if (std::find(readers.begin(), readers.end(), r) == readers.end()) readers.push_back(r);
        }
        if (!ok || readers.empty()) continue;
        // Which input stands for each output slot.
        auto inputFor = [&](int32_t arg) -> int32_t {
            for (uint32_t c = 0; c < n; ++c)
                if (SlotOf(neg.outputs[c]) == SlotOf(arg)) return neg.inputs[c];
            return -1;
        };
        struct Use {
            size_t inst;
            size_t first;
        };
        std::vector<Use> uses;
        for (size_t r : readers) {
            const IrInstruction& reader = instructions[r];
            const uint32_t m = reader.count();
            const int operands = PatternNegatableOperands(reader.code());
            if (operands == 0 || reader.inputs.size() != size_t(operands) * m) {
                ok = false;
                break;
            }
            for (int k = 0; k < operands && ok; ++k) {
                int hits = 0;
                RegRef first;
                for (uint32_t c = 0; c < m; ++c) {
                    const int32_t arg = reader.inputs[size_t(k) * m + c];
                    const int32_t source = arg >= 0 && SlotOf(arg) >= 0 && WriterBefore(r, arg) == int32_t(i) ? inputFor(arg) : -1;
                    if (source < 0) continue;
                    // The whole operand becomes one register with one modifier.
                    const RegRef reg = RegisterOf(source);
                    if (hits == 0) first = reg;
                    else if (reg.type != first.type || reg.number != first.number) ok = false;
                    if (ModifierOf(args[arg]) != SRCMOD_NONE) ok = false;
                    ++hits;
                }
                if (hits == 0) continue;
                if (hits != int(m)) ok = false;
                else uses.push_back({r, size_t(k) * m});
            }
            if (!ok) break;
            // The inputs must still hold their values at the reader.
            for (int32_t in : neg.inputs) ok &= Untouched(SlotOf(in), i, r, {}, false);
        }
        if (!ok || uses.empty()) continue;
        for (const Use& use : uses) {
            const uint32_t m = instructions[use.inst].count();
            for (uint32_t c = 0; c < m; ++c) {
                const int32_t arg = instructions[use.inst].inputs[use.first + c];
                IrArgument copy = args[size_t(inputFor(arg))];
                const uint32_t modifier = ModifierOf(copy) == SRCMOD_NEG ? SRCMOD_NONE : SRCMOD_NEG;
                copy.flags = (copy.flags & ~kValueSourceModifierMask) | (modifier << 16);
                copy.replacement = int32_t(args.size());
                args.push_back(copy);
                instructions[use.inst].inputs[use.first + c] = int32_t(args.size() - 1);
            }
        }
        MakeEmpty(i);
        changed = true;
    }
    return changed;
}

// A select on a comparison with zero, select(-(a < 0), p, q) or
// select(-(a >= 0), p, q), selects on a itself.
bool Ps2CodeGenerator::SelectOnComparedValues() {
    bool changed = false;
    for (size_t s = 0; s < instructions.size(); ++s) {
        IrInstruction& inst = instructions[s];
        const uint32_t n = inst.count();
        if (inst.code() != kOpSelect || n == 0 || inst.inputs.size() != 3 * n || inst.outputs.size() != n) continue;
        std::vector<int32_t> conditions(n, -1);
        std::vector<size_t> feeders;
        int swap = -1;  // 1 when the comparison is >=, which swaps the choices
        bool ok = true;
        for (uint32_t c = 0; c < n && ok; ++c) {
            int32_t cond = inst.inputs[c];
            ok = cond >= 0 && SlotOf(cond) >= 0;
            if (!ok) break;
            bool negated = ModifierOf(args[cond]) == SRCMOD_NEG;
            int32_t w = WriterBefore(s, cond);
            if (!negated && ModifierOf(args[cond]) == SRCMOD_NONE && w >= 0 && instructions[size_t(w)].code() == kOpNegate) {
                const IrInstruction& neg = instructions[size_t(w)];
                int32_t source = -1;
                for (size_t k = 0; k < neg.outputs.size(); ++k)
                    if (neg.outputs[k] >= 0 && SlotOf(neg.outputs[k]) == SlotOf(cond)) source = neg.inputs[k];
                if (source < 0 || SlotOf(source) < 0 || ModifierOf(args[source]) != SRCMOD_NONE) {
                    ok = false;
                    break;
                }
                feeders.push_back(size_t(w));
                w = WriterBefore(size_t(w), source);
                cond = source;
                negated = true;
            }
            ok = negated && w >= 0 &&
                 (instructions[size_t(w)].code() == kOpSetLess || instructions[size_t(w)].code() == kOpSetGreaterEqual);
            if (!ok) break;
            const IrInstruction& cmp = instructions[size_t(w)];
            const int here = cmp.code() == kOpSetGreaterEqual ? 1 : 0;
            ok = swap < 0 || swap == here;
            swap = here;
            const uint32_t m = cmp.count();
            for (uint32_t k = 0; k < m && ok; ++k) {
                if (cmp.outputs[k] < 0 || SlotOf(cmp.outputs[k]) != SlotOf(cond)) continue;
                const int32_t a = cmp.inputs[k];
                ok = a >= 0 && IsLiteralValue(cmp.inputs[m + k], 0.0) && args[a].relative < 0 &&
                     Untouched(SlotOf(a), size_t(w), s, {}, false);
                conditions[c] = a;
            }
            ok = ok && conditions[c] >= 0;
            feeders.push_back(size_t(w));
        }
        if (!ok) continue;
        // (a < 0) ? q : p is select(a, p, q); (a >= 0) ? q : p is select(a, q, p).
        for (uint32_t c = 0; c < n; ++c) {
            inst.inputs[c] = conditions[c];
            if (swap == 1) std::swap(inst.inputs[n + c], inst.inputs[2 * n + c]);
        }
        for (size_t f : feeders) RemoveIfUnread(f);
        changed = true;
    }
    return changed;
}

// A comparison read only as the condition of selects, select(-(a < b), p, q),
// becomes the difference a - b that the selects test directly.
bool Ps2CodeGenerator::ComparisonsIntoDifferences() {
    bool changed = false;
    for (size_t i = 0; i < instructions.size(); ++i) {
        IrInstruction& cmp = instructions[i];
        const uint32_t n = cmp.count();
        if ((cmp.code() != kOpSetLess && cmp.code() != kOpSetGreaterEqual) || n == 0 || cmp.inputs.size() != 2 * n ||
            cmp.outputs.size() != n)
            continue;
        bool ok = true;
        std::vector<size_t> readers;
        for (int32_t out : cmp.outputs) {
            ok &= out >= 0 && ClassOf(out) == ArgClass::Temp;
            if (!ok) break;
            for (size_t r : ReadersOf(i, out))
                if (std::find(readers.begin(), readers.end(), r) == readers.end()) readers.push_back(r);
        }
        for (int32_t in : cmp.inputs) ok &= in >= 0 && ModifierOf(args[in]) <= SRCMOD_NEG && args[in].relative < 0;
        if (!ok || readers.empty()) continue;
        auto fromComparison = [&](size_t r, int32_t arg) {
            if (arg < 0 || SlotOf(arg) < 0 || WriterBefore(r, arg) != int32_t(i)) return false;
            for (int32_t out : cmp.outputs)
                if (SlotOf(out) == SlotOf(arg)) return true;
            return false;
        };
        // Every reader is a select taking the negated comparison as its
        // condition and nowhere else.
        for (size_t r : readers) {
            const IrInstruction& sel = instructions[r];
            const uint32_t m = sel.count();
            ok = sel.code() == kOpSelect && sel.inputs.size() == 3 * m;
            for (uint32_t k = 0; k < sel.inputs.size() && ok; ++k) {
                const bool mine = fromComparison(r, sel.inputs[k]);
                if (k >= m) ok = !mine;
                else if (mine) ok = ModifierOf(args[sel.inputs[k]]) == SRCMOD_NEG;
            }
            if (!ok) break;
        }
        if (!ok) continue;
        const bool swap = cmp.code() == kOpSetGreaterEqual;
        for (size_t r : readers) {
            IrInstruction& sel = instructions[r];
            const uint32_t m = sel.count();
            for (uint32_t c = 0; c < m; ++c) {
                if (!fromComparison(r, sel.inputs[c])) continue;
                IrArgument copy = args[sel.inputs[c]];
                copy.flags &= ~kValueSourceModifierMask;
                copy.replacement = int32_t(args.size());
                args.push_back(copy);
                sel.inputs[c] = int32_t(args.size() - 1);
                // (a < b) ? q : p is select(a - b, p, q); (a >= b) ? q : p is select(a - b, q, p).
                if (swap) std::swap(sel.inputs[m + c], sel.inputs[2 * m + c]);
            }
        }
        for (uint32_t c = 0; c < n; ++c) {
            IrArgument copy = args[cmp.inputs[n + c]];
            const uint32_t modifier = ModifierOf(copy) == SRCMOD_NEG ? SRCMOD_NONE : SRCMOD_NEG;
            copy.flags = (copy.flags & ~kValueSourceModifierMask) | (modifier << 16);
            copy.replacement = int32_t(args.size());
            args.push_back(copy);
            cmp.inputs[n + c] = int32_t(args.size() - 1);
            // The difference is neither 0 or 1 nor of low precision.
            args[cmp.outputs[c]].flags &= ~(kValueZeroOrOne | kValueInteger | kValueNonNegative | kValueNonPositive |
                                             kValueRange | kValuePrecisionMask);
        }
        cmp.op = MakeOp(kOpAdd, n);
        changed = true;
    }
    return changed;
}

// max(x, -x), and the select x >= 0 ? x : -x, become abs.
bool Ps2CodeGenerator::FoldAbsolute() {
    bool changed = false;
    for (size_t s = 0; s < instructions.size(); ++s) {
        IrInstruction& inst = instructions[s];
        const uint32_t code = inst.code(), n = inst.count();
        if ((code != kOpMax && code != kOpSelect) || n == 0) continue;
        const bool select = code == kOpSelect;
        if (inst.inputs.size() != (select ? 3u : 2u) * n || inst.outputs.size() != n) continue;
        std::vector<int32_t> values(n);
        std::vector<size_t> negations;
        bool match = true;
        for (uint32_t c = 0; c < n && match; ++c) {
            int32_t a = inst.inputs[c], b = inst.inputs[n + c];
            if (select) {
                // The compared value must also be the chosen one.
                match = SameValue(a, s, b, s);
                b = inst.inputs[2 * n + c];
            }
            if (!match || a < 0 || b < 0) break;
            if (!select && ModifierOf(args[a]) == SRCMOD_NEG) std::swap(a, b);
            if (ModifierOf(args[a]) != SRCMOD_NONE) {
                match = false;
                break;
            }
            values[c] = a;
            // -x as a source modifier on the same register...
            const RegRef ra = RegisterOf(a), rb = RegisterOf(b);
            if (ModifierOf(args[b]) == SRCMOD_NEG && ClassOf(a) == ClassOf(b) && ClassOf(a) != ArgClass::Literal &&
                args[a].relative < 0 && args[b].relative < 0 && ra.valid && rb.valid && ra.type == rb.type &&
                ra.number == rb.number && ra.component == rb.component)
                continue;
            // ... or the result of a negation of x.
            const int32_t w = WriterBefore(s, b);
            match = false;
            if (w < 0 || ModifierOf(args[b]) != SRCMOD_NONE || instructions[size_t(w)].code() != kOpNegate) break;
            const IrInstruction& neg = instructions[size_t(w)];
            for (size_t k = 0; k < neg.outputs.size(); ++k)
                if (neg.outputs[k] >= 0 && SlotOf(neg.outputs[k]) == SlotOf(b))
                    match = SameValue(neg.inputs[k], size_t(w), a, s);
            if (match) negations.push_back(size_t(w));
        }
        if (!match) continue;
        inst.op = MakeOp(kOpAbs, n);
        inst.inputs = values;
        for (size_t w : negations) RemoveIfUnread(w);
        changed = true;
    }
    return changed;
}

// select(a - b, a, b) is max(a, b) and select(a - b, b, a) is min(a, b); the
// difference may be written with a literal (x - 1 as x + -1) or be the value
// itself (x compared with 0).
bool Ps2CodeGenerator::SelectToMinMax() {
    struct Operand {
        int32_t arg = -1;
        size_t at = 0;
        bool negated = false;  // the value is -arg
        bool literal = false;
        double value = 0;
    };
    auto matches = [&](const Operand& o, int32_t arg, size_t at) {
        if (arg < 0) return false;
        if (o.literal) return IsLiteralValue(arg, o.value);
        if (o.negated) {
            // The difference read x with the negate modifier; the select reads
            // x itself.
            if (ModifierOf(args[arg]) != SRCMOD_NONE || ModifierOf(args[o.arg]) != SRCMOD_NEG) return false;
            const RegRef r = RegisterOf(arg), q = RegisterOf(o.arg);
            return ClassOf(arg) == ClassOf(o.arg) && r.valid && r.type == q.type && r.number == q.number &&
                   r.component == q.component && args[arg].relative < 0 && args[o.arg].relative < 0 &&
                   (ClassOf(arg) != ArgClass::Temp || (WriterBefore(at, arg) == WriterBefore(o.at, o.arg) &&
                                                       Untouched(SlotOf(arg), o.at, at, {}, false)));
        }
        return SameValue(o.arg, o.at, arg, at);
    };
    bool changed = false;
    for (size_t s = 0; s < instructions.size(); ++s) {
        IrInstruction& inst = instructions[s];
        const uint32_t n = inst.count();
        if (inst.code() != kOpSelect || n == 0 || inst.inputs.size() != 3 * n || inst.outputs.size() != n) continue;
        int kind = 0;  // 1 max, 2 min
        int32_t difference = -1;
        for (uint32_t c = 0; c < n; ++c) {
            const int32_t cond = inst.inputs[c];
            if (cond < 0 || ClassOf(cond) == ArgClass::Literal) {
                kind = 0;
                break;
            }
            const uint32_t mod = ModifierOf(args[cond]);
            if (mod != SRCMOD_NONE && mod != SRCMOD_NEG) {
                kind = 0;
                break;
            }
            Operand a, b;
            const int32_t w = WriterBefore(s, cond);
            const int32_t p = inst.inputs[n + c], q = inst.inputs[2 * n + c];
            const uint32_t wcode = w >= 0 ? instructions[size_t(w)].code() : 0;
            if (mod == SRCMOD_NEG && (wcode == kOpSetLess || wcode == kOpSetGreaterEqual)) {
                // A comparison result r chooses with select(-r, p, q) = r ? q : p.
                const IrInstruction& cmp = instructions[size_t(w)];
                const uint32_t m = cmp.count();
                int here = 0;
                for (uint32_t k = 0; k < m && k < cmp.outputs.size(); ++k) {
                    if (cmp.outputs[k] < 0 || SlotOf(cmp.outputs[k]) != SlotOf(cond)) continue;
                    const Operand x{cmp.inputs[k], size_t(w)}, y{cmp.inputs[m + k], size_t(w)};
                    const bool lessOrder = matches(x, q, s) && matches(y, p, s);  // x op y ? x : y
                    const bool otherOrder = matches(y, q, s) && matches(x, p, s);
                    if (lessOrder) here = wcode == kOpSetLess ? 2 : 1;
                    else if (otherOrder) here = wcode == kOpSetLess ? 1 : 2;
                }
                if (here == 0 || (kind != 0 && kind != here) || (difference >= 0 && difference != w)) {
                    kind = 0;
                    break;
                }
                kind = here;
                difference = w;
                continue;
            }
            bool found = false;
            if (w >= 0 && instructions[size_t(w)].code() == kOpAdd) {
                const IrInstruction& add = instructions[size_t(w)];
                const uint32_t m = add.count();
                for (uint32_t k = 0; k < m && !found; ++k) {
                    if (add.outputs[k] < 0 || SlotOf(add.outputs[k]) != SlotOf(cond)) continue;
                    int32_t u = add.inputs[k], v = add.inputs[m + k];
                    if (u < 0 || v < 0) break;
                    if (ClassOf(u) == ArgClass::Literal || ModifierOf(args[u]) == SRCMOD_NEG) std::swap(u, v);
                    if (ModifierOf(args[u]) != SRCMOD_NONE) break;
                    a = {u, size_t(w)};
                    if (ClassOf(v) == ArgClass::Literal && ModifierOf(args[v]) == SRCMOD_NONE) {
                        b.literal = true;
                        b.value = -args[v].literal;
                    } else if (ModifierOf(args[v]) == SRCMOD_NEG) {
                        b = {v, size_t(w), true};
                    } else {
                        break;
                    }
                    found = true;
                    if (difference < 0) difference = w;
                    else if (difference != w) found = false;
                }
            }
            if (!found) {
                // The compared value itself: x - 0.
                if (mod != SRCMOD_NONE) {
                    kind = 0;
                    break;
                }
                a = {cond, s};
                b.literal = true;
                b.value = 0;
            }
            if (mod == SRCMOD_NEG) std::swap(a, b);
            int here = 0;
            if (matches(a, p, s) && matches(b, q, s)) here = 1;
            else if (matches(b, p, s) && matches(a, q, s)) here = 2;
            if (here == 0 || (kind != 0 && kind != here)) {
                kind = 0;
                break;
            }
            kind = here;
        }
        if (kind == 0) continue;
        inst.op = MakeOp(kind == 1 ? kOpMax : kOpMin, n);
        inst.inputs.erase(inst.inputs.begin(), inst.inputs.begin() + n);
        if (difference >= 0) RemoveIfUnread(size_t(difference));
        changed = true;
    }
    return changed;
}

// min(max(x, 0), 1) and max(min(x, 1), 0), and min(x, 1) of an x known not
// to be negative, become the saturate modifier of the instruction that
// computed x, which then writes the clamp's destination. When no such
// instruction can take it (x is an input, carries a modifier, or is read
// elsewhere too), the clamp becomes one saturating mov.
bool Ps2CodeGenerator::FoldSaturate() {
    bool changed = false;
    for (size_t m = 0; m < instructions.size(); ++m) {
        const IrInstruction& outer = instructions[m];
        const uint32_t n = outer.count();
        if ((outer.code() != kOpMin && outer.code() != kOpMax) || n == 0 || outer.inputs.size() != 2 * n ||
            outer.outputs.size() != n)
            continue;
        const bool outerMin = outer.code() == kOpMin;
        const double outerBound = outerMin ? 1.0 : 0.0, innerBound = outerMin ? 0.0 : 1.0;
        const uint32_t innerCode = outerMin ? kOpMax : kOpMin;
        // Per component: the clamped operand of the outer instruction, the
        // inner clamp's output index and its clamped operand (the value x).
        std::vector<int32_t> value(n, -1), innerOutput(n, -1);
        int32_t inner = -1;
        bool lone = false, match = true;
        for (uint32_t c = 0; c < n && match; ++c) {
            int32_t u = outer.inputs[c], v = outer.inputs[n + c];
            if (IsLiteralValue(u, outerBound)) std::swap(u, v);
            match = IsLiteralValue(v, outerBound) && u >= 0 && outer.outputs[c] >= 0 &&
                    ClassOf(u) != ArgClass::Literal && args[u].relative < 0;
            if (!match) break;
            const int32_t w = ClassOf(u) == ArgClass::Temp && ModifierOf(args[u]) == SRCMOD_NONE ? WriterBefore(m, u) : -1;
            if (w < 0 || instructions[size_t(w)].code() != innerCode) {
                // min(x, 1) of a value known not to be negative.
                match = outerMin && (args[u].flags & kValueNonNegative) && inner < 0 && (c == 0 || lone);
                lone = true;
                value[c] = u;
                continue;
            }
            match = !lone && (inner < 0 || inner == w);
            if (!match) break;
            inner = w;
            const IrInstruction& in = instructions[size_t(w)];
            const uint32_t k = in.count();
            match = false;
            for (uint32_t j = 0; j < k && j < in.outputs.size() && in.inputs.size() == 2 * k; ++j) {
                if (in.outputs[j] < 0 || SlotOf(in.outputs[j]) != SlotOf(u)) continue;
                int32_t x = in.inputs[j], y = in.inputs[k + j];
                if (IsLiteralValue(x, innerBound)) std::swap(x, y);
                match = IsLiteralValue(y, innerBound) && x >= 0 && ClassOf(x) != ArgClass::Literal && args[x].relative < 0;
                value[c] = x;
                innerOutput[c] = int32_t(j);
                break;
            }
        }
        if (!match) continue;
        // The instruction that computed x, when it alone can take the modifier.
        int32_t producer = -1;
        std::vector<int32_t> producerOutput(n, -1);
        const size_t readAt = inner >= 0 ? size_t(inner) : m;
        for (uint32_t c = 0; c < n; ++c) {
            const int32_t x = value[c];
            const int32_t p = ClassOf(x) == ArgClass::Temp && ModifierOf(args[x]) == SRCMOD_NONE ? WriterBefore(readAt, x) : -1;
            if (p < 0 || (c > 0 && p != producer)) {
                producer = -1;
                break;
            }
            producer = p;
            for (size_t o = 0; o < instructions[size_t(p)].outputs.size(); ++o)
                if (instructions[size_t(p)].outputs[o] >= 0 && SlotOf(instructions[size_t(p)].outputs[o]) == SlotOf(x))
                    producerOutput[c] = int32_t(o);
        }
        auto injective = [](std::vector<int32_t> list) {
            std::sort(list.begin(), list.end());
            return list.front() >= 0 && std::adjacent_find(list.begin(), list.end()) == list.end();
        };
        // The clamp's destination must be free from the writer on.
        auto destinationFree = [&](size_t from) {
            for (uint32_t c = 0; c < n; ++c)
                if (!Untouched(SlotOf(outer.outputs[c]), from, m, {readAt}, true)) return false;
            return true;
        };
        if (producer >= 0) {
            const IrInstruction& p = instructions[size_t(producer)];
            const bool read = inner >= 0 ? OnlyReadBy(size_t(producer), {size_t(inner)}) && OnlyReadBy(size_t(inner), {m})
                                         : OnlyReadBy(size_t(producer), {m});
            if (!Saturable(p.code()) || p.outputs.size() != n || !injective(producerOutput) || !read ||
                !destinationFree(size_t(producer)))
                producer = -1;
        }
        if (producer >= 0) {
            IrInstruction& p = instructions[size_t(producer)];
            for (uint32_t c = 0; c < n; ++c) {
                args[outer.outputs[c]].flags |= kValueSaturate;
                p.outputs[size_t(producerOutput[c])] = outer.outputs[c];
            }
            if (inner >= 0) MakeEmpty(size_t(inner));
            MakeEmpty(m);
            changed = true;
            continue;
        }
        // One saturating mov in place of the clamp.
        if (inner >= 0 && (instructions[size_t(inner)].outputs.size() != n || !injective(innerOutput) ||
                           !OnlyReadBy(size_t(inner), {m}) || !destinationFree(size_t(inner))))
            continue;
        IrInstruction& move = instructions[readAt];
        std::vector<int32_t> outputs = outer.outputs;
        std::vector<int32_t> inputs(n);
        for (uint32_t c = 0; c < n; ++c) {
            const size_t at = inner >= 0 ? size_t(innerOutput[c]) : c;
            inputs[at] = value[c];
            args[outputs[c]].flags |= kValueSaturate;
        }
        if (inner >= 0) {
            std::vector<int32_t> reordered(n);
            for (uint32_t c = 0; c < n; ++c) reordered[size_t(innerOutput[c])] = outputs[c];
            outputs = std::move(reordered);
            MakeEmpty(m);
        }
        move.op = MakeOp(kOpMove, n);
        move.inputs = std::move(inputs);
        move.outputs = std::move(outputs);
        changed = true;
    }
    return changed;
}

// dot(a.xy, b.xy) + c becomes dp2add.
bool Ps2CodeGenerator::FoldDot2Add() {
    bool changed = false;
    for (size_t j = 0; j < instructions.size(); ++j) {
        IrInstruction& add = instructions[j];
        if (add.code() != kOpAdd || add.count() != 1 || add.inputs.size() != 2 || add.outputs.size() != 1) continue;
        for (uint32_t k = 0; k < 2; ++k) {
            const int32_t result = add.inputs[k], addend = add.inputs[1 - k];
            if (result < 0 || addend < 0 || ClassOf(result) != ArgClass::Temp ||
                ModifierOf(args[result]) != SRCMOD_NONE)
                continue;
            const int32_t d = WriterBefore(j, result);
            if (d < 0) continue;
            const IrInstruction& dot = instructions[size_t(d)];
            if (dot.code() != kOpDot || dot.inputs.size() != 4 || dot.outputs.size() != 1 ||
                (args[dot.outputs[0]].flags & kValueSaturate))
                continue;
            if (!OnlyReadBy(size_t(d), {j})) continue;
            bool intact = true;
            for (int32_t in : dot.inputs) intact &= in >= 0 && Untouched(SlotOf(in), size_t(d), j, {}, false);
            // The addend must not be the dot product's own result.
            intact &= WriterBefore(j, addend) != d;
            if (!intact) continue;
            std::vector<int32_t> inputs = dot.inputs;
            inputs.push_back(addend);
            add.op = MakeOp(kOpDot2Add, 1);
            add.inputs = std::move(inputs);
            MakeEmpty(size_t(d));
            changed = true;
            break;
        }
    }
    return changed;
}

// A product read only as whole operands of adds becomes a multiply-add in
// each of them (with the second factor negated where the add subtracts it).
bool Ps2CodeGenerator::FuseMultiplyAddChains() {
    bool changed = false;
    for (size_t i = 0; i < instructions.size(); ++i) {
        const IrInstruction& mul = instructions[i];
        const uint32_t n = mul.count();
        if (mul.code() != kOpMul || n == 0 || mul.outputs.size() != n || mul.inputs.size() != 2 * n) continue;
        std::vector<size_t> readers;
        bool ok = true;
        for (int32_t out : mul.outputs) {
            // A saturated product is not the one the adds may fuse.
            if (out < 0 || ClassOf(out) != ArgClass::Temp || (args[out].flags & kValueSaturate)) {
                ok = false;
                break;
            }
            for (size_t r : ReadersOf(i, out))
                if (std::find(readers.begin(), readers.end(), r) == readers.end()) readers.push_back(r);
        }
        if (!ok || readers.empty()) continue;
        // Each reader is an add of n components taking the product whole, in
        // component order, as one operand.
        struct Fusion {
            size_t add;
            uint32_t operand;
            bool negated;
        };
        std::vector<Fusion> fusions;
        for (size_t r : readers) {
            const IrInstruction& add = instructions[r];
            if (add.code() != kOpAdd || add.count() != n || add.inputs.size() != 2 * n) {
                ok = false;
                break;
            }
            int operand = -1;
            uint32_t modifier = 0;
            for (uint32_t k = 0; k < 2 && operand < 0; ++k) {
                bool whole = true;
                for (uint32_t c = 0; c < n && whole; ++c) {
                    const int32_t in = add.inputs[k * n + c];
                    whole = in >= 0 && SlotOf(in) == SlotOf(mul.outputs[c]) &&
                            ModifierOf(args[in]) == ModifierOf(args[add.inputs[k * n]]);
                }
                if (whole) {
                    operand = int(k);
                    modifier = ModifierOf(args[add.inputs[k * n]]);
                }
            }
            // The other operand must not read the product too.
            for (uint32_t c = 0; c < n && operand >= 0; ++c) {
                const int32_t other = add.inputs[(1 - uint32_t(operand)) * n + c];
                for (int32_t out : mul.outputs)
                    if (SlotOf(other) == SlotOf(out)) operand = -1;
            }
            if (operand < 0 || (modifier != SRCMOD_NONE && modifier != SRCMOD_NEG)) {
                ok = false;
                break;
            }
            // The factors must still be in place at the add.
            for (int32_t in : mul.inputs) ok &= Untouched(SlotOf(in), i, r, {}, false);
            if (!ok) break;
            fusions.push_back({r, uint32_t(operand), modifier == SRCMOD_NEG});
        }
        if (!ok) continue;
        const std::vector<int32_t> factors = mul.inputs;
        for (const Fusion& f : fusions) {
            IrInstruction& add = instructions[f.add];
            std::vector<int32_t> inputs = factors;
            inputs.insert(inputs.end(), add.inputs.begin() + std::ptrdiff_t((1 - f.operand) * n),
                          add.inputs.begin() + std::ptrdiff_t((2 - f.operand) * n));
            add.op = MakeOp(f.negated ? kOpMadNegated : kOpMad, n);
            add.inputs = std::move(inputs);
        }
        MakeEmpty(i);
        changed = true;
    }
    return changed;
}

// Literal values nothing reads any more are not defined: their components
// become 0 and registers left empty go; the comparison literals stay.
void Ps2CodeGenerator::DropUnreadLiterals() {
    std::vector<uint32_t> components = LiteralComponentsRead();
    if (compareLiteral_ >= 0 && size_t(compareLiteral_) < components.size())
        components[size_t(compareLiteral_)] |= 1u << compareZero_ | 1u << compareOne_;
    std::vector<bool> read(components.size(), false);
    for (size_t r = 0; r < read.size(); ++r) {
        read[r] = components[r] != 0;
        for (int c = 0; c < 4; ++c)
            if (!(components[r] & (1u << c))) literalValues_[r][c] = 0.0;
        literalUsed_[r] &= components[r];
    }
    const std::vector<int32_t> renumber = CompactLiteralRegisters(read);
    if (compareLiteral_ >= 0) compareLiteral_ = renumber[size_t(compareLiteral_)];
}

}  // namespace codegen

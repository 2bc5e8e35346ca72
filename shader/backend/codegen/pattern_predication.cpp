// Pattern: merges on a comparison become predicated instructions, on the
// models with a predicate register. Without branches the vertex models merge
// two values on a condition as u * a + t * b (t the 0/1 condition, u = 1 - t)
// and the pixel models as cmp(c, a, b), with the condition derived from
// comparisons of two values x and y by arithmetic (slt, sge, cmp on x - y,
// products and sums of those). With predication one setp compares x and y
// ("setp_eq p0, x, y") and each merge writes one value into the merged
// register and the other over it under the predicate ("(p0) mov"): a value
// that an add or a multiply computes for the merge alone is computed there
// directly ("(p0) mul"), and one that already sits there is not moved. All
// merges on one comparison are rewritten at once, and only when that takes
// fewer instructions than what it replaces: the merges, the products, the
// computations folded in, and the arithmetic that derived the condition,
// once nothing else reads it. (The compile keeps the predicated program only
// when it is shorter as a whole; see codegen_stage.cpp.)
//
// Any value computed from comparisons of x and y alone is known from its
// value in each of three cases: x < y, x == y, x > y. That is how conditions
// are recognised whatever the lowering made of them, and which comparison
// the setp makes follows from the cases in which the merge takes one value.
#include <algorithm>
#include <map>
#include <set>
#include <tuple>

#include "shader/backend/codegen/code_generator.h"
#include "shader/backend/ir_passes.h"

namespace codegen {

using namespace gfx::isa;

namespace {

uint32_t ModifierOf(const IrArgument& a) { return (a.flags & kValueSourceModifierMask) >> 16; }

// A value as a function of the comparison of one pair: its value where x < y,
// x == y and x > y. `pair` numbers the pair; -1 for a constant.
struct Truth {
    int32_t pair = -1;
    double at[3] = {0, 0, 0};
};

bool Evaluate(uint32_t code, const double* x, double* r) {
    switch (code) {
        case kOpMove: *r = x[0]; return true;
        case kOpNegate: *r = -x[0]; return true;
        case kOpAdd: *r = x[0] + x[1]; return true;
        case kOpMul: *r = x[0] * x[1]; return true;
        case kOpMin: *r = std::min(x[0], x[1]); return true;
        case kOpMax: *r = std::max(x[0], x[1]); return true;
        case kOpSetLess: *r = x[0] < x[1] ? 1 : 0; return true;
        case kOpSetGreaterEqual: *r = x[0] >= x[1] ? 1 : 0; return true;
        case kOpSelect: *r = x[0] >= 0 ? x[1] : x[2]; return true;
        default: return false;
    }
}

// The comparison whose cases (bit 0 less, 1 equal, 2 greater) are `cases`.
uint32_t ComparisonOf(uint32_t cases) {
    static constexpr uint32_t kCodes[8] = {0, CMP_LT, CMP_EQ, CMP_LE, CMP_GT, CMP_NE, CMP_GE, 0};
    return kCodes[cases & 7];
}

// The count field of a predicated merge (see kOpPredicatedMerge).
constexpr uint32_t MergeCount(uint32_t n, uint32_t codeA, uint32_t codeB) { return n | codeA << 8 | codeB << 16; }

// One compared pair: the values and an instruction that reads both.
struct Pair {
    int32_t x = -1, y = -1;
    bool xNegated = false, yNegated = false;  // read with a negation that is not part of the value
    size_t at = 0;
    std::set<size_t> bases;  // the comparisons of the pair
};

// One merge: instruction `merge` takes b in the cases `cases` and a in the
// others; `products` are the vertex form's multiplies (or none).
struct Merge {
    size_t merge = 0;
    std::vector<size_t> products;
    uint32_t cases = 0;
    std::vector<int32_t> a, b;
};

}  // namespace

void CodeGenerator::PredicateMerges() {
    if (!predicateMerges || !(target.features & kFeaturePredication)) return;
    ComputeUses();
    std::map<int32_t, Truth> known;
    std::vector<Pair> pairs;
    std::map<std::tuple<uint32_t, uint32_t, uint32_t, int32_t, uint32_t, uint32_t, uint32_t, int32_t>, int32_t> pairIds;
    std::map<int32_t, std::set<size_t>> derivation;  // pair -> instructions that compute from it

    // The value a plain read of `arg` stands for (its register component and
    // the instruction it holds from), or false when it is read through an
    // index or with a modifier other than negation.
    auto identify = [&](int32_t arg, size_t at, bool negated, std::tuple<uint32_t, uint32_t, uint32_t, int32_t>* id) {
        if (arg < 0 || args[arg].relative >= 0 || ModifierOf(args[arg]) != (negated ? SRCMOD_NEG : SRCMOD_NONE))
            return false;
        const ArgClass cls = ClassOf(arg);
        if (cls != ArgClass::Temp && cls != ArgClass::Constant && cls != ArgClass::Input && cls != ArgClass::Literal)
            return false;
        const RegRef r = RegisterOf(arg);
        if (!r.valid) return false;
        int32_t from = -1;
        if (cls == ArgClass::Temp) {
            from = args[arg].firstWriter >= 0 ? args[arg].firstWriter : HeldFrom(arg);
            if (from < 0 || size_t(from) >= at) return false;
        }
        *id = {r.type, r.number, r.component, from};
        return true;
    };
    // The pair (x, y) read at instruction `at` (y read negated when
    // `yNegated`): its number, and whether it is known the other way round
    // (which swaps less and greater).
    auto pairOf = [&](int32_t x, int32_t y, bool yNegated, size_t at, bool* swapped) -> int32_t {
        std::tuple<uint32_t, uint32_t, uint32_t, int32_t> ix, iy;
        if (!identify(x, at, false, &ix) || !identify(y, at, yNegated, &iy) || ix == iy) return -1;
        *swapped = iy < ix;
        const auto key = *swapped ? std::tuple_cat(iy, ix) : std::tuple_cat(ix, iy);
        auto it = pairIds.find(key);
        if (it == pairIds.end()) {
            it = pairIds.emplace(key, int32_t(pairs.size())).first;
            Pair pair;
            pair.x = *swapped ? y : x;
            pair.y = *swapped ? x : y;
            pair.xNegated = *swapped && yNegated;
            pair.yNegated = !*swapped && yNegated;
            pair.at = at;
            pairs.push_back(pair);
        }
        return it->second;
    };

    // The value of `arg` (as read, with its modifier) in the three cases of
    // one pair; false when it is no such function.
    auto truth = [&](auto&& self, int32_t arg, int depth, Truth* t) -> bool {
        if (arg < 0 || depth > 16) return false;
        const IrArgument& a = args[arg];
        const uint32_t modifier = ModifierOf(a);
        if (modifier != SRCMOD_NONE && modifier != SRCMOD_NEG) return false;
        const double sign = modifier == SRCMOD_NEG ? -1 : 1;
        if (ClassOf(arg) == ArgClass::Literal) {
            t->pair = -1;
            t->at[0] = t->at[1] = t->at[2] = sign * a.literal;
            return true;
        }
        if (ClassOf(arg) != ArgClass::Temp || a.firstWriter < 0 || a.relative >= 0) return false;
        auto it = known.find(arg);
        if (it != known.end()) {
            *t = it->second;
            return t->pair >= 0;
        }
        known[arg] = Truth{};  // no answer while this value is being worked out
        const size_t w = size_t(a.firstWriter);
        const IrInstruction& inst = instructions[w];
        const uint32_t code = inst.code(), n = inst.count();
        size_t c = inst.outputs.size();
        for (size_t k = 0; k < inst.outputs.size(); ++k)
            if (inst.outputs[k] == arg) c = k;
        const int operands = IsComponentWise(code) ? OperandCount(code) : 0;
        if (c >= inst.outputs.size() || operands == 0 || inst.inputs.size() != size_t(operands) * n) return false;
        auto input = [&](int k) { return inst.inputs[size_t(k) * n + c]; };
        Truth result;
        bool ok = true;
        double values[3][3] = {};
        for (int k = 0; k < operands && ok; ++k) {
            Truth in;
            ok = self(self, input(k), depth + 1, &in) && (in.pair < 0 || result.pair < 0 || in.pair == result.pair);
            if (in.pair >= 0) result.pair = in.pair;
            for (int o = 0; o < 3; ++o) values[o][k] = in.at[o];
        }
        if (ok && result.pair >= 0) {
            for (int o = 0; o < 3 && ok; ++o) ok = Evaluate(code, values[o], &result.at[o]);
            if (ok) derivation[result.pair].insert(w);
        } else {
            // A comparison of two values that are no such functions: slt or
            // sge of x and y, or a cmp on x - y between two literals.
            ok = false;
            bool swapped = false;
            if (code == kOpSetLess || code == kOpSetGreaterEqual) {
                result.pair = pairOf(input(0), input(1), false, w, &swapped);
                const double less = code == kOpSetLess ? 1 : 0;
                result.at[0] = less;
                result.at[1] = result.at[2] = 1 - less;
                ok = result.pair >= 0;
            } else if (code == kOpSelect && ClassOf(input(1)) == ArgClass::Literal &&
                       ClassOf(input(2)) == ArgClass::Literal && ModifierOf(args[input(1)]) == SRCMOD_NONE &&
                       ModifierOf(args[input(2)]) == SRCMOD_NONE) {
                const int32_t d = input(0);
                const int32_t dw = d >= 0 && ClassOf(d) == ArgClass::Temp && ModifierOf(args[d]) == SRCMOD_NONE
                                       ? args[d].firstWriter
                                       : -1;
                if (dw >= 0 && instructions[size_t(dw)].code() == kOpAdd) {
                    const IrInstruction& add = instructions[size_t(dw)];
                    const uint32_t m = add.count();
                    for (uint32_t e = 0; e < m && !ok; ++e) {
                        if (add.outputs[e] != d) continue;
                        for (uint32_t f = 0; f < 2 && !ok; ++f) {
                            const int32_t u = add.inputs[f * m + e], v = add.inputs[(1 - f) * m + e];
                            if (ModifierOf(args[v]) != SRCMOD_NEG) continue;
                            result.pair = pairOf(u, v, true, size_t(dw), &swapped);
                            if (result.pair < 0) continue;
                            // d >= 0 where u >= v.
                            result.at[0] = args[input(2)].literal;
                            result.at[1] = result.at[2] = args[input(1)].literal;
                            ok = HoldsUntil(u, size_t(dw), w) && HoldsUntil(v, size_t(dw), w);
                            if (ok) derivation[result.pair].insert(size_t(dw));
                        }
                    }
                }
            }
            if (ok && swapped) std::swap(result.at[0], result.at[2]);
            if (ok) {
                pairs[size_t(result.pair)].bases.insert(w);
                derivation[result.pair].insert(w);
            }
        }
        if (!ok) return false;
        for (double& v : result.at) v *= sign;
        known[arg] = result;  // as read: an argument carries its modifier
        *t = result;
        return true;
    };

    // Whether the results of `producer` are read by `reader` alone (or by
    // the instructions in `also`).
    auto onlyReadBy = [&](size_t producer, size_t reader, const std::vector<size_t>& also = {}) {
        for (int32_t out : instructions[producer].outputs) {
            if (out < 0) continue;
            if (ClassOf(out) != ArgClass::Temp) return false;
            for (const auto& [at, slot] : ReadsOf(out, producer))
                if (at != reader && std::find(also.begin(), also.end(), at) == also.end()) return false;
        }
        return true;
    };
    // The merges found, and the instructions a chosen rewrite has changed or
    // emptied: no later group may use those, and no merge is folded into
    // another.
    std::set<size_t> mergeIndices, claimed;
    // The instruction that computes `values` (one per component of a merge)
    // for the merge alone (read by it or its products), an add or a multiply
    // whose operands still hold their values where the merge stands; npos
    // when there is none.
    auto foldableProducer = [&](const std::vector<int32_t>& values, size_t merge, const std::vector<size_t>& products,
                                const std::set<size_t>& chain) {
        constexpr size_t kNone = ~size_t(0);
        const int32_t first = values.empty() ? -1 : values[0];
        if (first < 0 || ClassOf(first) != ArgClass::Temp || args[first].firstWriter < 0) return kNone;
        const size_t x = size_t(args[first].firstWriter);
        const IrInstruction& inst = instructions[x];
        const uint32_t n = inst.count();
        if ((inst.code() != kOpAdd && inst.code() != kOpMul) || inst.inputs.size() != 2 * n || x >= merge ||
            chain.count(x) || mergeIndices.count(x) || claimed.count(x) || !onlyReadBy(x, merge, products))
            return kNone;
        const uint32_t precision = args[instructions[merge].outputs[0]].flags & kValuePrecisionMask;
        for (int32_t v : values)
            if (v < 0 || ModifierOf(args[v]) != SRCMOD_NONE || args[v].firstWriter != int32_t(x) || Clamped(v) ||
                (args[v].flags & kValuePrecisionMask) != precision)
                return kNone;
        for (int32_t out : inst.outputs)
            if (out >= 0 && std::find(values.begin(), values.end(), out) == values.end()) return kNone;
        for (int32_t in : inst.inputs)
            if (!HoldsUntil(in, x, merge)) return kNone;
        return x;
    };
    // Cases in which a condition is 1 (bits), or -1 when it is not 0 or 1 in each.
    auto casesWhereOne = [](const Truth& t) {
        int cases = 0;
        for (int o = 0; o < 3; ++o) {
            if (t.at[o] == 1) cases |= 1 << o;
            else if (t.at[o] != 0) return -1;
        }
        return cases;
    };

    // Merges by the pair and the comparison they depend on (a merge on the
    // opposite comparison takes the other value under the same predicate).
    std::map<std::pair<int32_t, uint32_t>, std::vector<Merge>> groups;
    for (size_t j = 0; j < instructions.size(); ++j) {
        const IrInstruction& inst = instructions[j];
        const uint32_t n = inst.count();
        const bool vertexForm = inst.code() == kOpAdd && inst.inputs.size() == 2 * n;
        const bool pixelForm = inst.code() == kOpSelect && inst.inputs.size() == 3 * n;
        if ((!vertexForm && !pixelForm) || n == 0 || inst.outputs.size() != n) continue;
        if (std::any_of(inst.outputs.begin(), inst.outputs.end(),
                        [&](int32_t out) { return out < 0 || ClassOf(out) != ArgClass::Temp; }))
            continue;
        Merge merge;
        merge.merge = j;
        int32_t pair = -1;
        int cases = -1;
        bool ok = true;
        for (uint32_t c = 0; c < n && ok; ++c) {
            // The values where the merge's condition is 0 and where it is 1,
            // and the instruction each is read at.
            int32_t chosen[2] = {-1, -1};
            size_t from[2] = {j, j};
            int here = -1;
            if (pixelForm) {
                // cmp(cond, p, q): p where cond >= 0, q elsewhere.
                Truth t;
                ok = truth(truth, inst.inputs[c], 0, &t) && t.pair >= 0;
                if (!ok) break;
                here = 0;
                for (int o = 0; o < 3; ++o)
                    if (t.at[o] >= 0) here |= 1 << o;
                chosen[1] = inst.inputs[n + c];
                chosen[0] = inst.inputs[2 * n + c];
                pair = pair < 0 ? t.pair : pair;
                ok = t.pair == pair;
            } else {
                for (uint32_t side = 0; side < 2 && ok; ++side) {
                    const int32_t product = inst.inputs[side * n + c];
                    ok = product >= 0 && ClassOf(product) == ArgClass::Temp &&
                         ModifierOf(args[product]) == SRCMOD_NONE && args[product].firstWriter >= 0 &&
                         args[product].firstWriter < int32_t(j);
                    if (!ok) break;
                    const size_t k = size_t(args[product].firstWriter);
                    const IrInstruction& mul = instructions[k];
                    const uint32_t m = mul.count();
                    ok = mul.code() == kOpMul && mul.inputs.size() == 2 * m;
                    if (merge.products.size() <= side) merge.products.push_back(k);
                    ok = ok && merge.products[side] == k;
                    size_t e = m;
                    for (size_t q = 0; ok && q < m; ++q)
                        if (mul.outputs[q] == product) e = q;
                    ok = ok && e < m;
                    bool found = false;
                    for (uint32_t f = 0; ok && f < 2 && !found; ++f) {
                        Truth t;
                        if (!truth(truth, mul.inputs[f * m + e], 0, &t) || t.pair < 0) continue;
                        if (pair >= 0 && t.pair != pair) continue;
                        const int one = casesWhereOne(t);
                        if (one <= 0 || one == 7) continue;
                        // The factor of the other product must be 1 where this one is 0.
                        const int want = side == 0 ? one : (7 & ~here);
                        if (side == 1 && one != want) continue;
                        pair = t.pair;
                        if (side == 0) here = one;
                        chosen[side] = mul.inputs[(1 - f) * m + e];
                        from[side] = k;
                        found = true;
                    }
                    ok = ok && found;
                }
                // Product 0 is taken in the cases `here`: it is the b side.
                std::swap(chosen[0], chosen[1]);
                std::swap(from[0], from[1]);
            }
            ok = ok && here > 0 && here < 7 && (cases < 0 || cases == here);
            cases = here;
            // Both values are read where the merge stands, so their
            // registers must still hold them there.
            ok = ok && chosen[0] >= 0 && chosen[1] >= 0 && HoldsUntil(chosen[0], from[0], j) &&
                 HoldsUntil(chosen[1], from[1], j);
            if (!ok) break;
            merge.a.push_back(chosen[0]);
            merge.b.push_back(chosen[1]);
        }
        if (vertexForm)
            ok = ok && merge.products.size() == 2 && merge.products[0] != merge.products[1] &&
                 onlyReadBy(merge.products[0], j) && onlyReadBy(merge.products[1], j);
        if (!ok) continue;
        merge.cases = uint32_t(cases);
        // The lower of the two opposite comparisons names the group.
        const uint32_t key = std::min(merge.cases, 7 & ~merge.cases);
        if (key != merge.cases) {
            merge.cases = key;
            std::swap(merge.a, merge.b);
        }
        groups[{pair, key}].push_back(std::move(merge));
    }
    if (groups.empty()) return;

    std::vector<std::pair<size_t, size_t>> taken;  // spans over which p0 holds a chosen comparison
    for (const auto& [key, merges] : groups)
        for (const Merge& m : merges) mergeIndices.insert(m.merge);
    bool changed = false;
    for (auto& [key, merges] : groups) {
        const Pair& pair = pairs[size_t(key.first)];
        // What goes away: the merges, their products and whatever derived
        // the condition that nothing else reads any more.
        std::set<size_t> removed;
        for (const Merge& m : merges) {
            removed.insert(m.merge);
            removed.insert(m.products.begin(), m.products.end());
        }
        const std::set<size_t>& chain = derivation[key.first];
        for (bool more = true; more;) {
            more = false;
            for (size_t i : chain) {
                if (removed.count(i)) continue;
                bool dead = true;
                for (int32_t out : instructions[i].outputs) {
                    if (out < 0) continue;
                    if (ClassOf(out) != ArgClass::Temp) dead = false;
                    for (const auto& [at, slot] : ReadsOf(out, i)) dead = dead && removed.count(at) > 0;
                }
                if (dead) {
                    removed.insert(i);
                    more = true;
                }
            }
        }
        // The setp takes the place of the last comparison of the pair, which
        // must go; the pair's values must still be there.
        size_t at = 0;
        bool found = false;
        for (size_t b : pair.bases)
            if (removed.count(b) && (!found || b > at)) {
                at = b;
                found = true;
            }
        size_t first = instructions.size(), last = 0;
        for (const Merge& m : merges) {
            first = std::min(first, m.merge);
            last = std::max(last, m.merge);
        }
        if (!found || at > first || !HoldsUntil(pair.x, pair.at, at) || !HoldsUntil(pair.y, pair.at, at)) continue;
        if (std::any_of(removed.begin(), removed.end(), [&](size_t i) { return claimed.count(i) > 0; })) continue;
        // p0 holds from the setp to the last merge within one stretch of
        // straight code: another round of a loop, or another arm, could set
        // it in between.
        bool straight = true;
        for (size_t i = at; i <= last && straight; ++i) straight = !IsFlowOp(instructions[i].code());
        if (!straight) continue;
        bool overlaps = false;
        for (const auto& [from, to] : taken) overlaps |= !(last < from || to < at);
        if (overlaps) continue;

        // Instructions before and after. On the vertex models a product and
        // its sum become one multiply-add, so each merge costs a product less
        // than it shows. A negation is free: its readers take it as a source
        // modifier.
        // An add that would take a multiply only it reads into one
        // multiply-add saves nothing when it goes and the multiply stays.
        auto cost = [&](size_t i) -> size_t {
            const IrInstruction& inst = instructions[i];
            if (inst.code() == kOpNegate) return 0;
            if (inst.code() == kOpAdd)
                for (int32_t in : inst.inputs) {
                    const int32_t w = in >= 0 && ClassOf(in) == ArgClass::Temp ? args[in].firstWriter : -1;
                    if (w >= 0 && !removed.count(size_t(w)) && instructions[size_t(w)].code() == kOpMul &&
                        onlyReadBy(size_t(w), i))
                        return 0;
                }
            return DestinationGroups(inst).size();
        };
        size_t before = 0, after = 1;
        for (size_t i : removed) before += cost(i);
        std::vector<IrInstruction> rewritten;
        std::set<size_t> folded;
        bool ok = true;
        for (const Merge& m : merges) {
            if (!m.products.empty())
                before -= std::min(DestinationGroups(instructions[m.products[0]]).size(),
                                   DestinationGroups(instructions[m.merge]).size());
            // Each value computed by an add or multiply for this merge alone
            // is computed into the merged register instead, under the
            // predicate; the first form of the four that can be emitted.
            const size_t producers[2] = {foldableProducer(m.a, m.merge, m.products, chain),
                                         foldableProducer(m.b, m.merge, m.products, chain)};
            IrInstruction inst;
            std::vector<MInst> moves;
            bool emitted = false;
            for (int form = 0; form < 4 && !emitted; ++form) {
                const bool foldA = !(form & 1) && producers[0] < m.merge, foldB = !(form & 2) && producers[1] < m.merge;
                inst = instructions[m.merge];
                inst.inputs.clear();
                uint32_t codes[2] = {0, 0};
                const std::vector<int32_t>* values[2] = {&m.a, &m.b};
                for (int side = 0; side < 2; ++side) {
                    const bool fold = side == 0 ? foldA : foldB;
                    if (!fold) {
                        inst.inputs.insert(inst.inputs.end(), values[side]->begin(), values[side]->end());
                        continue;
                    }
                    const IrInstruction& x = instructions[producers[side]];
                    codes[side] = x.code();
                    const uint32_t xn = x.count();
                    for (uint32_t k = 0; k < 2; ++k)
                        for (int32_t v : *values[side]) {
                            const size_t at = size_t(std::find(x.outputs.begin(), x.outputs.end(), v) - x.outputs.begin());
                            inst.inputs.push_back(x.inputs[k * xn + at]);
                        }
                }
                inst.op = MakeOp(kOpPredicatedMerge, MergeCount(inst.count(), codes[0], codes[1]));
                moves.clear();
                emitted = SUCCEEDED(EmitPredicatedMerge(inst, &moves));
                if (emitted) {
                    if (foldA) folded.insert(producers[0]);
                    if (foldB) folded.insert(producers[1]);
                }
            }
            ok = ok && emitted;
            after += moves.size();
            rewritten.push_back(std::move(inst));
        }
        for (size_t i : folded)
            if (removed.insert(i).second) before += cost(i);
        const RegRef x = RegisterOf(pair.x), y = RegisterOf(pair.y);
        // Two constant or input registers cost a move into a temporary, as
        // they did for the instruction that compared them if that goes too.
        if (x.type == y.type && x.type != REG_TEMP && x.number != y.number && !removed.count(pair.at)) ++after;
        if (!ok || after >= before) continue;

        for (size_t i : removed) {
            instructions[i].op = MakeOp(kOpEmpty, 0);
            instructions[i].inputs.clear();
            instructions[i].outputs.clear();
        }
        // The compared values as the setp reads them: a negation that made
        // the difference x - y is not part of y.
        int32_t compared[2] = {pair.x, pair.y};
        for (int k = 0; k < 2; ++k) {
            if (!(k == 0 ? pair.xNegated : pair.yNegated)) continue;
            IrArgument plain = args[compared[k]];
            plain.flags &= ~kValueSourceModifierMask;
            plain.replacement = int32_t(args.size());
            args.push_back(plain);
            compared[k] = int32_t(args.size() - 1);
        }
        IrInstruction& setp = instructions[at];
        setp.op = MakeOp(kOpSetPredicate, ComparisonOf(key.second));
        setp.inputs = {compared[0], compared[1]};
        for (size_t m = 0; m < merges.size(); ++m) instructions[merges[m].merge] = std::move(rewritten[m]);
        taken.push_back({at, last});
        claimed.insert(removed.begin(), removed.end());
        claimed.insert(at);
        changed = true;
        predicated_ = true;
    }
    if (changed) ComputeUses();
}

namespace {

// Whether source `s` reads the components `dest` writes, each from its own
// place: a move of it into `dest` would change nothing.
bool InPlace(const MOperand& s, const MOperand& dest) {
    if (s.type != dest.type || s.number != dest.number || s.relative || s.modifier != SRCMOD_NONE) return false;
    for (uint32_t c = 0; c < 4; ++c)
        if ((dest.mask & (1u << c)) && s.swizzle[c] != c) return false;
    return true;
}

// Whether source `s` reads a component of the register `dest` writes.
bool ReadsWritten(const MOperand& s, const MOperand& dest) {
    if (s.type != dest.type || s.number != dest.number) return s.relative && dest.type == REG_CONST;
    for (uint32_t c = 0; c < 4; ++c)
        if ((s.readMask & (1u << c)) && (dest.mask & (1u << s.swizzle[c]))) return true;
    return false;
}

}  // namespace

HRESULT CodeGenerator::EmitSetPredicate(size_t index, std::vector<MInst>* out) {
    const IrInstruction& inst = instructions[index];
    if (inst.inputs.size() != 2) return E_FAIL;
    MInst m;
    m.opcode = WithComparison(OP_SETP, inst.count());
    m.dest.type = REG_PREDICATE;
    m.dest.number = 0;
    for (int32_t arg : inst.inputs) m.src.push_back(ScalarSource(arg));
    out->push_back(std::move(m));
    return S_OK;
}

HRESULT CodeGenerator::EmitPredicatedMerge(const IrInstruction& inst, std::vector<MInst>* out) {
    const uint32_t n = inst.count() & 0xFF, codes[2] = {inst.count() >> 8 & 0xFF, inst.count() >> 16 & 0xFF};
    if (inst.outputs.size() != n) return E_FAIL;
    // Each side as an instruction of its own that writes the merged outputs.
    IrInstruction sides[2];
    std::vector<MInst> lists[2];
    size_t next = 0;
    for (int side = 0; side < 2; ++side) {
        const uint32_t code = codes[side] ? codes[side] : uint32_t(kOpMove);
        const size_t inputs = code == kOpMove ? n : 2 * n;
        if (next + inputs > inst.inputs.size() || (code != kOpMove && code != kOpAdd && code != kOpMul)) return E_FAIL;
        sides[side].op = MakeOp(code, n);
        sides[side].inputs.assign(inst.inputs.begin() + long(next), inst.inputs.begin() + long(next + inputs));
        sides[side].outputs = inst.outputs;
        next += inputs;
        const uint32_t opcode = code == kOpMove ? OP_MOV : code == kOpAdd ? OP_ADD : OP_MUL;
        HRESULT hr = EmitComponentWiseOf(sides[side], opcode, &lists[side]);
        if (FAILED(hr)) return hr;
    }
    if (next != inst.inputs.size() || lists[0].size() != lists[1].size()) return E_FAIL;
    const size_t first = out->size();
    for (size_t g = 0; g < lists[0].size(); ++g) {
        MInst& a = lists[0][g];
        MInst& b = lists[1][g];
        auto reads = [](const MInst& m, const MOperand& dest) {
            return std::any_of(m.src.begin(), m.src.end(), [&](const MOperand& s) { return ReadsWritten(s, dest); });
        };
        if (!codes[0] && InPlace(a.src[0], a.dest)) {
            b.predicated = true;
            out->push_back(std::move(b));
        } else if (!codes[1] && InPlace(b.src[0], b.dest)) {
            a.predicated = a.predicateNot = true;
            out->push_back(std::move(a));
        } else if (!reads(b, a.dest)) {
            b.predicated = true;
            out->push_back(std::move(a));
            out->push_back(std::move(b));
        } else if (!reads(a, b.dest)) {
            // b's operands sit where the merge goes: b first, a over it.
            a.predicated = a.predicateNot = true;
            out->push_back(std::move(b));
            out->push_back(std::move(a));
        } else {
            return E_FAIL;  // PredicateMerges leaves such merges as they are
        }
    }
    // No instruction may read what an earlier one of the merge has written.
    for (size_t i = first; i < out->size(); ++i)
        for (size_t j = first; j < i; ++j)
            for (const MOperand& s : (*out)[i].src)
                if (ReadsWritten(s, (*out)[j].dest)) return E_FAIL;
    return S_OK;
}

}  // namespace codegen

// Merges arguments that stand for the same value: literals of equal value,
// and arguments of bound pools that name the same register component.
// Needs: nothing. Keeps: instructions; merged arguments move to the discard
// pool and point at the one they merged into.
#include <algorithm>
#include <cstring>
#include <tuple>

#include "shader/backend/ir_passes.h"

namespace {

uint64_t Bits(double v) {
    uint64_t b;
    std::memcpy(&b, &v, sizeof(b));
    return b;
}

uint32_t LowestPrecision(uint32_t a, uint32_t b) {
    const uint32_t both = (a | b) & kValuePrecisionMask;
    return both & (~both + 1);
}

void MergeInto(IntermediateProgram& p, int32_t keep, int32_t gone) {
    IrArgument& k = p.args[keep];
    IrArgument& g = p.args[gone];
    const uint32_t precision = LowestPrecision(k.flags, g.flags);
    k.flags = (k.flags & ~kValuePrecisionMask) | precision;
    g.replacement = keep;
    g.pool = kPoolDiscard;
}

}  // namespace

bool MergeDuplicateArguments(IntermediateProgram& p) {
    bool changed = false;
    std::vector<int32_t> literals, bound;
    for (size_t i = 0; i < p.args.size(); ++i) {
        const IrArgument& a = p.args[i];
        if (a.replacement != int32_t(i)) continue;
        const uint32_t f = p.pools[a.pool].flags;
        if ((f & kPoolLiteral) && !(f & kPoolLiteralInPlace) && a.relative < 0) literals.push_back(int32_t(i));
        else if ((f & kPoolBound) && !(f & kPoolMustWrite) && a.reg >= 0 && a.component >= 0) bound.push_back(int32_t(i));
    }
    std::sort(literals.begin(), literals.end(), [&](int32_t x, int32_t y) {
        return std::make_tuple(p.args[x].pool, Bits(p.args[x].literal), x) <
               std::make_tuple(p.args[y].pool, Bits(p.args[y].literal), y);
    });
    for (size_t i = 1, first = 0; i < literals.size(); ++i) {
        const IrArgument& a = p.args[literals[first]];
        const IrArgument& b = p.args[literals[i]];
        if (a.pool == b.pool && Bits(a.literal) == Bits(b.literal)) {
            MergeInto(p, literals[first], literals[i]);
            changed = true;
        } else {
            first = i;
        }
    }
    auto key = [&](int32_t x) {
        const IrArgument& a = p.args[x];
        return std::make_tuple(a.pool, a.reg, a.relative, a.component);
    };
    std::sort(bound.begin(), bound.end(), [&](int32_t x, int32_t y) {
        return std::make_tuple(key(x), x) < std::make_tuple(key(y), y);
    });
    for (size_t i = 1, first = 0; i < bound.size(); ++i) {
        if (key(bound[first]) == key(bound[i])) {
            MergeInto(p, bound[first], bound[i]);
            changed = true;
        } else {
            first = i;
        }
    }
    if (changed) ApplyReplacements(p);
    return changed;
}

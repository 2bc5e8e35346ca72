// Pattern: a multiply-add a * (b - c) + c, where either factor is the
// difference, is one linear interpolation (0xF1: a * (b - c) + c). The
// difference is an add of b and the negation of c (a negate modifier or a
// negate instruction), in either order; it goes away when nothing else reads
// it. This is what lerp() lowers to.
#include "shader/backend/codegen/code_generator.h"

namespace codegen {

void CodeGenerator::FuseLinearInterpolation() {
    ComputeUses();
    for (size_t j = 0; j < instructions.size(); ++j) {
        IrInstruction& mad = instructions[j];
        const uint32_t n = mad.count();
        if (mad.code() != kOpMad || n == 0 || mad.inputs.size() != 3 * n) continue;
        for (uint32_t side = 0; side < 2; ++side) {
            // The difference factor: results of one add.
            const int32_t first = mad.inputs[side * n];
            if (first < 0 || ClassOf(first) != ArgClass::Temp || args[first].firstWriter < 0) continue;
            const size_t k = size_t(args[first].firstWriter);
            const IrInstruction& add = instructions[k];
            const uint32_t m = add.count();
            if (add.code() != kOpAdd || k >= j || add.inputs.size() != 2 * m) continue;
            std::vector<int32_t> minuends(n);
            std::vector<int32_t> negations;
            int operand = -1;  // which operand of the add is b: one register for every component
            bool ok = true;
            for (uint32_t c = 0; c < n && ok; ++c) {
                const int32_t d = mad.inputs[side * n + c], addend = mad.inputs[2 * n + c];
                ok = d >= 0 && ClassOf(d) == ArgClass::Temp && args[d].firstWriter == int32_t(k) &&
                     (args[d].flags & kValueSourceModifierMask) == 0 && !Clamped(d);
                size_t at = m;
                for (size_t e = 0; ok && e < m; ++e)
                    if (add.outputs[e] == d) at = e;
                ok = ok && at < m;
                if (!ok) break;
                const int32_t u = add.inputs[at], v = add.inputs[m + at];
                if (operand != 1 && IsNegationOf(v, k, addend, j)) {
                    operand = 0;
                    minuends[c] = u;
                    negations.push_back(v);
                } else if (operand != 0 && IsNegationOf(u, k, addend, j)) {
                    operand = 1;
                    minuends[c] = v;
                    negations.push_back(u);
                } else {
                    ok = false;
                }
            }
            if (!ok) continue;
            std::vector<int32_t> inputs;
            for (uint32_t c = 0; c < n; ++c) inputs.push_back(mad.inputs[(1 - side) * n + c]);
            inputs.insert(inputs.end(), minuends.begin(), minuends.end());
            for (uint32_t c = 0; c < n; ++c) inputs.push_back(mad.inputs[2 * n + c]);
            // Rewrite, drop what is no longer read, and keep the result only
            // if b still holds its value where the lrp stands.
            std::vector<std::pair<size_t, IrInstruction>> saved = {{j, mad}, {k, add}};
            for (int32_t v : negations) {
                const int32_t w = args[v].firstWriter;
                if (ClassOf(v) == ArgClass::Temp && w >= 0 && instructions[size_t(w)].code() == kOpNegate)
                    saved.push_back({size_t(w), instructions[size_t(w)]});
            }
            instructions[j].op = MakeOp(kOpLerp, n);
            instructions[j].inputs = std::move(inputs);
            for (size_t s = 1; s < saved.size(); ++s) DropIfUnread(saved[s].first);
            for (uint32_t c = 0; c < n && ok; ++c) ok = HoldsUntil(minuends[c], k, j);
            if (ok) break;
            for (auto& [index, inst] : saved) instructions[index] = std::move(inst);
        }
    }
}

}  // namespace codegen

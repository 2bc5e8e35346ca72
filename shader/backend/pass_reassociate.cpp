// Reassociate: in a chain of adds (or of multiplies) where a component adds a
// literal to a value that is itself the sum of something and a literal, the
// two literals are brought together: (x + a) + b becomes x + (a + b), which
// Simplify then folds.
// Needs: replacements applied. Keeps: instructions; adds literal arguments.
#include "shader/backend/ir_passes.h"

bool Reassociate(IntermediateProgram& p) {
    p.ComputeUses();
    std::vector<std::pair<int32_t, uint32_t>> producer(p.args.size(), {-1, 0});
    for (size_t i = 0; i < p.instructions.size(); ++i)
        for (size_t c = 0; c < p.instructions[i].outputs.size(); ++c)
            if (p.instructions[i].outputs[c] >= 0) producer[p.instructions[i].outputs[c]] = {int32_t(i), uint32_t(c)};

    bool changed = false;
    for (size_t i = 0; i < p.instructions.size(); ++i) {
        const uint32_t code = p.instructions[i].code();
        if (code != kOpAdd && code != kOpMul) continue;
        const uint32_t n = p.instructions[i].count();
        for (uint32_t c = 0; c < n; ++c) {
            int32_t x = p.instructions[i].inputs[c], lit = p.instructions[i].inputs[n + c];
            if (IsLiteralArgument(p, x)) std::swap(x, lit);
            if (!IsLiteralArgument(p, lit) || IsLiteralArgument(p, x) || x < 0 || size_t(x) >= producer.size())
                continue;
            const auto [pi, pc] = producer[x];
            if (pi < 0 || p.instructions[pi].code() != code) continue;
            const IrInstruction& inner = p.instructions[pi];
            const uint32_t m = inner.count();
            int32_t y = inner.inputs[pc], innerLit = inner.inputs[m + pc];
            if (IsLiteralArgument(p, y)) std::swap(y, innerLit);
            if (!IsLiteralArgument(p, innerLit) || IsLiteralArgument(p, y)) continue;
            const double a = p.args[innerLit].literal, b = p.args[lit].literal;
            const int folded = p.AddLiteral(code == kOpAdd ? a + b : a * b);
            if (folded < 0) continue;
            p.instructions[i].inputs[c] = y;
            p.instructions[i].inputs[n + c] = folded;
            changed = true;
        }
    }
    return changed;
}

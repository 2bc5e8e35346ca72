// Simplify addresses: a relative index whose value is a literal is resolved
// into the register number (X4007 when it falls outside the pool), and an
// index computed as a non-negative integer plus an integral literal has the
// literal moved into the register offset.
// Needs: replacements applied. Keeps: instructions.
#include <cmath>

#include "shader/backend/backend_messages.h"
#include "shader/backend/ir_passes.h"

bool SimplifyAddresses(IntermediateProgram& p) {
    p.ComputeUses();
    std::vector<int32_t> producer(p.args.size(), -1), component(p.args.size(), 0);
    for (size_t i = 0; i < p.instructions.size(); ++i)
        for (size_t c = 0; c < p.instructions[i].outputs.size(); ++c)
            if (p.instructions[i].outputs[c] >= 0) {
                producer[p.instructions[i].outputs[c]] = int32_t(i);
                component[p.instructions[i].outputs[c]] = int32_t(c);
            }

    bool changed = false;
    for (size_t i = 0; i < p.args.size(); ++i) {
        IrArgument& a = p.args[i];
        if (a.relative < 0 || a.pool == kPoolDiscard) continue;
        const int32_t index = p.Resolve(a.relative);
        if (IsLiteralArgument(p, index)) {
            const double v = p.args[index].literal;
            const double rounded = p.limits.exactIntegerIndices ? std::trunc(v) : std::trunc(v + 0.5);
            const double reg = double(a.reg < 0 ? 0 : a.reg) + rounded;
            const int32_t count = p.pools[a.pool].registerCount;
            a.relative = -1;
            changed = true;
            if (!std::isfinite(reg) || reg < 0 || (count >= 0 && reg >= count) || reg > 1e6) {
                const SourceLocation* where = a.firstUse >= 0 ? &p.instructions[a.firstUse].location : nullptr;
                const SourceLocation location = where ? *where : SourceLocation{};
                p.Report(where ? &location : nullptr, backend_diag::kIndexOutOfBounds);
                a.reg = 0;
            } else {
                a.reg = int32_t(reg);
            }
            continue;
        }
        if (size_t(index) >= producer.size() || producer[index] < 0) continue;
        const IrInstruction& add = p.instructions[producer[index]];
        if (add.code() != kOpAdd) continue;
        const uint32_t n = add.count(), c = uint32_t(component[index]);
        int32_t x = add.inputs[c], lit = add.inputs[n + c];
        if (IsLiteralArgument(p, x)) std::swap(x, lit);
        if (!IsLiteralArgument(p, lit) || IsLiteralArgument(p, x)) continue;
        const double v = p.args[lit].literal;
        const uint32_t need = kValueInteger | kValueNonNegative;
        if ((p.args[x].flags & need) != need || v != std::floor(v) || std::fabs(v) > 8192) continue;
        const int32_t reg = (a.reg < 0 ? 0 : a.reg) + int32_t(v);
        if (reg < 0) continue;
        a.reg = reg;
        a.relative = x;
        changed = true;
    }
    return changed;
}

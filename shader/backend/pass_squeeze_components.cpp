// Squeeze: inside one unary or binary instruction, a component that computes
// the same operation on the same inputs as an earlier component (or on the
// inputs swapped, for the commutative operations) is removed and its result
// replaced by the earlier one.
// Needs: replacements applied. Keeps: argument numbering.
#include "shader/backend/ir_passes.h"

bool SqueezeComponents(IntermediateProgram& p) {
    bool changed = false;
    for (IrInstruction& inst : p.instructions) {
        const uint32_t code = inst.code();
        if (!IsUnaryOp(code) && !IsBinaryOp(code)) continue;
        const bool binary = IsBinaryOp(code);
        uint32_t n = inst.count();
        for (uint32_t j = 1; j < n; ++j) {
            const int32_t out = inst.outputs[j];
            if (out < 0 || !IsReplaceableOutput(p, out)) continue;
            for (uint32_t i = 0; i < j; ++i) {
                if (inst.outputs[i] < 0) continue;
                const int32_t ai = inst.inputs[i], aj = inst.inputs[j];
                const int32_t bi = binary ? inst.inputs[n + i] : -1, bj = binary ? inst.inputs[n + j] : -1;
                const bool same = (ai == aj && bi == bj) || (IsCommutativeOp(code) && ai == bj && bi == aj);
                if (!same) continue;
                p.args[out].replacement = inst.outputs[i];
                if (binary) inst.inputs.erase(inst.inputs.begin() + n + j);
                inst.inputs.erase(inst.inputs.begin() + j);
                inst.outputs.erase(inst.outputs.begin() + j);
                --n;
                --j;
                changed = true;
                break;
            }
        }
        inst.op = MakeOp(code, n);
    }
    if (changed) ApplyReplacements(p);
    return changed;
}

// Pattern: a dot product whose only reader is a move of its result writes
// the move's destination component directly (a temporary or an output
// register), so dot products that fill one register can later become a
// matrix instruction, and one that fills an output needs no copy. Runs after
// packing: the destination component must be neither read nor written by
// anything between the dot product and the move.
#include <algorithm>

#include "shader/backend/codegen/code_generator.h"

namespace codegen {

// A dot product copied into one component of a temporary that is then moved
// whole into an output takes two passes: first into the temporary, then, with
// the temporary's move as its only reader, into the output. Each retarget
// removes a move component, so the passes end.
void CodeGenerator::RetargetDotResults() {
    for (bool changed = true; changed;) {
        changed = false;
        ComputeUses();
        std::vector<int> reads(args.size(), 0);
        for (const IrInstruction& inst : instructions)
            for (int32_t in : inst.inputs)
                for (int32_t a = in; a >= 0; a = args[a].relative) ++reads[a];
        for (size_t i = 0; i < instructions.size(); ++i) {
            IrInstruction& dot = instructions[i];
            if (dot.code() != kOpDot || dot.outputs.size() != 1) continue;
            const int32_t result = dot.outputs[0];
            if (result < 0 || ClassOf(result) != ArgClass::Temp || reads[result] != 1) continue;
            const int32_t j = args[result].lastReader;
            if (j <= int32_t(i)) continue;
            IrInstruction& move = instructions[size_t(j)];
            if (move.code() != kOpMove) continue;
            auto at = std::find(move.inputs.begin(), move.inputs.end(), result);
            if (at == move.inputs.end()) continue;
            const size_t c = size_t(at - move.inputs.begin());
            // The move must be the only reader of the register component,
            // also counting readers that took a folded negation of it (a
            // modifier copy of the argument): they still need the register.
            const auto registerReads = ReadsOf(result, i);
            if (registerReads.size() != 1 || registerReads[0].first != size_t(j) || registerReads[0].second != c)
                continue;
            const int32_t target = move.outputs[c];
            const ArgClass targetClass = ClassOf(target);
            if ((targetClass != ArgClass::Temp && targetClass != ArgClass::Output) || args[target].relative >= 0)
                continue;
            const RegRef t = RegisterOf(target);
            bool clear = true;
            for (size_t m = i + 1; m <= size_t(j) && clear; ++m) {
                const IrInstruction& between = instructions[m];
                for (size_t k = 0; k < between.inputs.size() && clear; ++k) {
                    if (m == size_t(j) && k == c) continue;
                    const int32_t in = between.inputs[k];
                    if (ClassOf(in) != targetClass) continue;
                    const RegRef r = RegisterOf(in);
                    clear = !(r.type == t.type && r.number == t.number && r.component == t.component);
                }
                for (int32_t out : between.outputs) {
                    if (out < 0 || out == target || ClassOf(out) != targetClass) continue;
                    const RegRef r = RegisterOf(out);
                    if (r.type == t.type && r.number == t.number && r.component == t.component) clear = false;
                }
            }
            if (!clear) continue;
            dot.outputs[0] = target;
            move.inputs.erase(move.inputs.begin() + std::ptrdiff_t(c));
            move.outputs.erase(move.outputs.begin() + std::ptrdiff_t(c));
            move.op = move.outputs.empty() ? MakeOp(kOpEmpty, 0) : MakeOp(kOpMove, uint32_t(move.outputs.size()));
            changed = true;
            ComputeUses();
        }
    }
    ComputeUses();
}

}  // namespace codegen

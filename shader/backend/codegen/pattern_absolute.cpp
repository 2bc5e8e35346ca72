// Pattern: the maximum of a value and its negation is its absolute value
// (0xF0), whether the negation is a negate modifier or a negate instruction
// (which goes away when nothing else reads it).
#include "shader/backend/codegen/code_generator.h"

namespace codegen {

void CodeGenerator::FuseAbsoluteValue() {
    ComputeUses();
    for (size_t j = 0; j < instructions.size(); ++j) {
        IrInstruction& max = instructions[j];
        const uint32_t n = max.count();
        if (max.code() != kOpMax || n == 0 || max.inputs.size() != 2 * n || max.outputs.size() != n) continue;
        // Every component pairs a value with its negation, in either order.
        bool ok = true;
        for (uint32_t c = 0; c < n && ok; ++c) {
            const int32_t a = max.inputs[c], b = max.inputs[n + c];
            ok = IsNegationOf(b, j, a, j) || IsNegationOf(a, j, b, j);
        }
        if (!ok) continue;
        // |v| = |-v|, so either whole operand of the maximum is the input.
        // Components picked from both would not form one operand when the
        // two lie in different registers (a vector assembled from parts,
        // some negated), so one side is taken whole: the one with fewer
        // negations, so that its negate instructions may go.
        auto negations = [&](uint32_t side) {
            int count = 0;
            for (uint32_t c = 0; c < n; ++c) {
                const int32_t arg = max.inputs[side * n + c];
                const int32_t w = args[arg].firstWriter;
                if (args[arg].flags & kValueSourceModifierMask) ++count;
                if (ClassOf(arg) == ArgClass::Temp && w >= 0 && instructions[size_t(w)].code() == kOpNegate) ++count;
            }
            return count;
        };
        const uint32_t side = negations(1) < negations(0) ? 1 : 0;
        const std::vector<int32_t> values(max.inputs.begin() + side * n, max.inputs.begin() + (side + 1) * n);
        const std::vector<int32_t> dropped(max.inputs.begin() + (1 - side) * n, max.inputs.begin() + (2 - side) * n);
        max.op = MakeOp(kOpAbs, n);
        max.inputs = values;
        // What computed the other side (a negation, or the moves that
        // assembled it) goes when nothing else reads it.
        for (int32_t arg : dropped) {
            const int32_t w = args[arg].firstWriter;
            if (ClassOf(arg) == ArgClass::Temp && w >= 0 && w < int32_t(j)) DropIfUnread(size_t(w));
        }
    }
}

}  // namespace codegen

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
        std::vector<int32_t> values(n);
        std::vector<size_t> negations;  // the negated operands
        bool ok = true;
        for (uint32_t c = 0; c < n && ok; ++c) {
            const int32_t a = max.inputs[c], b = max.inputs[n + c];
            if (IsNegationOf(b, j, a, j)) {
                values[c] = a;
                negations.push_back(size_t(b));
            } else if (IsNegationOf(a, j, b, j)) {
                values[c] = b;
                negations.push_back(size_t(a));
            } else {
                ok = false;
            }
        }
        if (!ok) continue;
        max.op = MakeOp(kOpAbs, n);
        max.inputs = values;
        // A negate instruction read by nothing else goes.
        for (size_t arg : negations) {
            const int32_t w = args[arg].firstWriter;
            if (ClassOf(int32_t(arg)) == ArgClass::Temp && w >= 0 && instructions[size_t(w)].code() == kOpNegate)
                DropIfUnread(size_t(w));
        }
    }
}

}  // namespace codegen

// Pattern: multiply feeding only an add becomes multiply-add. Runs after the
// registers are packed, so the multiply's operands must still hold their
// values where the add stands: no instruction in between may write a
// temporary component they occupy.
#include <algorithm>

#include "shader/backend/codegen/code_generator.h"

namespace codegen {

void CodeGenerator::FuseMultiplyAdd() {
    ComputeUses();
    std::vector<int> reads(args.size(), 0);
    for (const IrInstruction& inst : instructions)
        for (int32_t in : inst.inputs)
            for (int32_t a = in; a >= 0; a = args[a].relative) ++reads[a];
    for (const IrArgument& a : args)
        for (int32_t r = a.relative; r >= 0; r = args[r].relative) ++reads[r];

    for (size_t j = 0; j < instructions.size(); ++j) {
        IrInstruction& add = instructions[j];
        if (add.code() != kOpAdd) continue;
        const uint32_t n = add.count();
        for (uint32_t k = 0; k < 2; ++k) {
            const int32_t first = add.inputs[k * n];
            if (ClassOf(first) != ArgClass::Temp || args[first].firstWriter < 0) continue;
            const size_t i = size_t(args[first].firstWriter);
            if (i >= j) continue;
            IrInstruction& mul = instructions[i];
            if (mul.code() != kOpMul || mul.outputs.size() != n) continue;
            // Every component of this operand is one output of the multiply,
            // read nowhere else.
            std::vector<int32_t> a(n), b(n);
            bool match = true;
            std::vector<bool> covered(n, false);
            for (uint32_t c = 0; c < n && match; ++c) {
                const int32_t arg = add.inputs[k * n + c];
                auto it = std::find(mul.outputs.begin(), mul.outputs.end(), arg);
                // Reads through a negation folded into another reader (a
                // modifier copy of the argument) count as reads too.
                const auto registerReads = ReadsOf(arg, i);
                if (it == mul.outputs.end() || reads[arg] != 1 || args[arg].relative >= 0 || registerReads.size() != 1 ||
                    registerReads[0].first != j) {
                    match = false;
                    break;
                }
                const size_t at = size_t(it - mul.outputs.begin());
                covered[at] = true;
                a[c] = mul.inputs[at];
                b[c] = mul.inputs[n + at];
            }
            if (!match || std::find(covered.begin(), covered.end(), false) != covered.end()) continue;
            // The multiply's operands must survive until the add.
            bool clobbered = false;
            for (size_t m = i + 1; m < j && !clobbered; ++m)
                for (int32_t out : instructions[m].outputs) {
                    if (out < 0 || ClassOf(out) != ArgClass::Temp) continue;
                    const RegRef w = RegisterOf(out);
                    for (uint32_t c = 0; c < n && !clobbered; ++c)
                        for (int32_t operand : {a[c], b[c]}) {
                            if (ClassOf(operand) != ArgClass::Temp) continue;
                            const RegRef r = RegisterOf(operand);
                            if (r.number == w.number && r.component == w.component) clobbered = true;
                        }
                }
            if (clobbered) continue;
            std::vector<int32_t> inputs;
            inputs.insert(inputs.end(), a.begin(), a.end());
            inputs.insert(inputs.end(), b.begin(), b.end());
            for (uint32_t c = 0; c < n; ++c) inputs.push_back(add.inputs[(1 - k) * n + c]);
            add.op = MakeOp(kOpMad, n);
            add.inputs = std::move(inputs);
            mul.op = MakeOp(kOpEmpty, 0);
            mul.inputs.clear();
            mul.outputs.clear();
            break;
        }
    }
    ComputeUses();
}

}  // namespace codegen

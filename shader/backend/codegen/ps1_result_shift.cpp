// Pattern (ps_1_x): x * 2 and x * 4 (and x * 8 in ps_1_4), or their
// negations, become a move with the result shift (_x2, _x4, _x8). The models
// cannot hold a literal outside -1 to 1, so without this the product would
// be computed with the literal clamped to 1. Runs after the signed scale
// (x * 2 - 1 is better read as _bx2) and before the literals are clamped.
#include <cmath>

#include "shader/backend/codegen/ps1_code_generator.h"
#include "shader/backend/ir_passes.h"

namespace codegen {

using namespace gfx::isa;

bool Ps1CodeGenerator::ShiftScaledResults() {
    const int widest = IsPs14() ? 3 : 2;  // _x8 only in ps_1_4
    bool changed = false;
    for (IrInstruction& inst : instructions) {
        const uint32_t n = inst.count();
        if (inst.code() != kOpMul || n == 0 || inst.inputs.size() != 2 * n) continue;
        for (uint32_t side = 0; side < 2; ++side) {
            // The factor: one literal value on every component of one operand.
            const int32_t first = inst.inputs[side * n];
            if (!IsLiteralArgument(*this, first) || (args[first].flags & kValueSourceModifierMask)) continue;
            const double factor = LiteralValue(*this, first);
            int shift = 0;
            while (shift < widest && std::fabs(factor) > double(1 << shift)) ++shift;
            if (shift == 0 || std::fabs(factor) != double(1 << shift)) continue;
            bool same = true;
            for (uint32_t c = 0; c < n && same; ++c) {
                const int32_t f = inst.inputs[side * n + c], x = inst.inputs[(1 - side) * n + c];
                same = IsLiteralArgument(*this, f) && !(args[f].flags & kValueSourceModifierMask) &&
                       LiteralValue(*this, f) == factor && x >= 0 && !IsLiteralArgument(*this, x) &&
                       args[x].relative < 0 && !(args[x].flags & kValueSourceModifierMask);
            }
            if (!same) continue;
            std::vector<int32_t> values(inst.inputs.begin() + long((1 - side) * n), inst.inputs.begin() + long((2 - side) * n));
            if (factor < 0)
                for (int32_t& x : values) {
                    IrArgument copy = args[x];
                    copy.flags = (copy.flags & ~kValueSourceModifierMask) | (uint32_t(SRCMOD_NEG) << 16);
                    copy.replacement = int32_t(args.size());
                    args.push_back(copy);
                    x = int32_t(args.size() - 1);
                }
            inst.op = MakeOp(kOpMoveTimes2 + uint32_t(shift - 1), n);
            inst.inputs = values;
            changed = true;
            break;
        }
    }
    if (changed) ComputeUses();
    return changed;
}

HRESULT Ps1CodeGenerator::EmitShiftedMove(size_t index, std::vector<MInst>* out) {
    const IrInstruction& inst = instructions[index];
    HRESULT hr = EmitComponentWise(index, OP_MOV, out, 1);
    if (FAILED(hr)) return hr;
    // Only the moves into the results scale, not a copy into a scratch register.
    std::vector<std::pair<uint32_t, uint32_t>> results;
    for (int32_t o : inst.outputs)
        if (o >= 0) results.push_back({RegisterOf(o).type, RegisterOf(o).number});
    for (MInst& m : *out)
        for (const auto& [type, number] : results)
            if (m.hasDest && m.dest.type == type && m.dest.number == number) m.dest.shift = int(inst.code() - kOpMoveTimes2) + 1;
    return S_OK;
}

}  // namespace codegen

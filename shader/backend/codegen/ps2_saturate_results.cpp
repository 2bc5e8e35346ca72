// The saturate result modifier of the pixel models: the pattern step marks a
// clamped value with kValueSaturate, and the target instructions that write
// it carry the modifier.
#include <algorithm>

#include "shader/backend/codegen/ps2_code_generator.h"

namespace codegen {

void Ps2CodeGenerator::SaturateResults(size_t index, std::vector<MInst>* insts) const {
    const IrInstruction& inst = instructions[index];
    bool saturate = !inst.outputs.empty();
    std::vector<std::pair<uint32_t, uint32_t>> results;
    for (int32_t out : inst.outputs) {
        if (out < 0) continue;
        saturate &= (args[out].flags & kValueSaturate) != 0;
        const RegRef r = RegisterOf(out);
        results.push_back({r.type, r.number});
    }
    if (!saturate) return;
    for (MInst& m : *insts)
        if (m.hasDest && m.opcode != gfx::isa::OP_TEXKILL &&
            std::find(results.begin(), results.end(), std::make_pair(m.dest.type, m.dest.number)) != results.end())
            m.dest.resultModifier |= gfx::isa::kResultSaturate;
}

}  // namespace codegen

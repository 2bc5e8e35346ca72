// Pattern: a negation whose results are read only as whole operands of
// instructions that take a source modifier disappears; the readers take its
// input with the negate modifier instead. Runs after packing, so the input
// must still hold its value where each reader stands; a temporary input must
// live that long already, and a constant or input register may not give a
// reader a second register of its kind to read.
#include <algorithm>

#include "shader/backend/codegen/code_generator.h"
#include "shader/backend/ir_passes.h"
#include "shader/backend/negation_reads.h"

namespace codegen {

void CodeGenerator::FoldNegation() {
    ComputeUses();
    for (size_t i = 0; i < instructions.size(); ++i) {
        IrInstruction& neg = instructions[i];
        if (neg.code() != kOpNegate) continue;
        const uint32_t n = neg.count();
        bool ok = n > 0 && neg.inputs.size() == n;
        for (uint32_t c = 0; c < n && ok; ++c) {
            const int32_t in = neg.inputs[c], out = neg.outputs[c];
            ok = out >= 0 && ClassOf(out) == ArgClass::Temp && args[out].relative < 0 &&
                 ((args[in].flags >> 16) & 0xF) == 0 && ClassOf(in) != ArgClass::Sampler;
        }
        if (!ok) continue;
        std::vector<NegationRead> uses;
        if (!NegationReadsFoldable(*this, i, &uses)) continue;
        // A constant or input read in place of the temporary must not give
        // a reader a second register of its kind to read.
        const RegRef source = RegisterOf(neg.inputs[0]);
        if (source.type != gfx::isa::REG_TEMP)
            for (const NegationRead& use : uses) {
                const IrInstruction& r = instructions[use.inst];
                for (size_t k = 0; k < r.inputs.size(); ++k) {
                    if (k >= use.first && k < use.first + use.count) continue;
                    const RegRef other = RegisterOf(r.inputs[k]);
                    if (other.type == source.type && (other.number != source.number || args[r.inputs[k]].relative >= 0))
                        ok = false;
                }
            }
        if (!ok) continue;
        // A temporary input must live until the last reader anyway: folding
        // may not lengthen the life of a register the packing has placed.
        const size_t last = uses.back().inst;
        for (int32_t in : neg.inputs)
            if (ClassOf(in) == ArgClass::Temp && args[in].lastReader < int32_t(last)) ok = false;
        if (!ok) continue;
        // The input must survive until the last reader.
        for (size_t m = i + 1; m < last && ok; ++m)
            for (int32_t out : instructions[m].outputs) {
                if (out < 0 || ClassOf(out) != ArgClass::Temp) continue;
                const RegRef w = RegisterOf(out);
                for (int32_t in : neg.inputs) {
                    if (ClassOf(in) != ArgClass::Temp) continue;
                    const RegRef r = RegisterOf(in);
                    if (r.number == w.number && r.component == w.component) ok = false;
                }
            }
        if (!ok) continue;
        FoldNegationReads(*this, i, uses);
    }
    ComputeUses();
}

}  // namespace codegen

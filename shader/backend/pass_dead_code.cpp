// Removes every computed component whose value nobody reads (outputs of pools
// that must be written stay), walking from the last instruction to the first
// so that whole chains of dead values go in one walk.
// Needs: replacements applied. Keeps: argument numbering; breaks: uses.
#include "shader/backend/ir_passes.h"

namespace {

class ReadCounts {
public:
    explicit ReadCounts(IntermediateProgram& p) : p_(p), counts_(p.args.size(), 0) {
        for (const IrInstruction& inst : p.instructions) {
            for (int32_t in : inst.inputs) Chain(in, +1);
            for (int32_t out : inst.outputs)
                if (out >= 0) Chain(p.args[out].relative, +1);
        }
    }
    void Chain(int32_t arg, int delta) {
        for (size_t depth = 0; arg >= 0 && depth <= p_.args.size(); ++depth) {
            counts_[arg] += delta;
            arg = p_.args[arg].relative;
        }
    }
    bool Dead(int32_t arg) const {
        return arg >= 0 && counts_[arg] <= 0 && !(p_.pools[p_.args[arg].pool].flags & kPoolMustWrite);
    }

private:
    IntermediateProgram& p_;
    std::vector<int> counts_;
};

}  // namespace

bool RemoveDeadCode(IntermediateProgram& p) {
    ApplyReplacements(p);
    ReadCounts reads(p);
    bool changed = false;
    for (size_t i = p.instructions.size(); i-- > 0;) {
        IrInstruction& inst = p.instructions[i];
        const uint32_t code = inst.code();
        // A loop's begin and end stay, with every value they carry.
        if (code == kOpEmpty || inst.outputs.empty() || IsFlowOp(code)) continue;
        if (IsComponentWise(code)) {
            const int operands = OperandCount(code);
            uint32_t n = inst.count();
            for (uint32_t c = n; c-- > 0;) {
                const int32_t out = inst.outputs[c];
                if (out >= 0 && !reads.Dead(out)) continue;
                for (int k = operands - 1; k >= 0; --k) {
                    const size_t at = size_t(k) * n + c;
                    reads.Chain(inst.inputs[at], -1);
                    inst.inputs.erase(inst.inputs.begin() + at);
                }
                if (out >= 0) reads.Chain(p.args[out].relative, -1);
                inst.outputs.erase(inst.outputs.begin() + c);
                --n;
                changed = true;
            }
            inst.op = n ? MakeOp(code, n) : MakeOp(kOpEmpty, 0);
            if (!n) inst.inputs.clear();
            continue;
        }
        bool anyLive = false;
        for (int32_t& out : inst.outputs) {
            if (out >= 0 && reads.Dead(out)) {
                reads.Chain(p.args[out].relative, -1);
                out = -1;
                changed = true;
            }
            anyLive |= out >= 0;
        }
        if (!anyLive) {
            for (int32_t in : inst.inputs) reads.Chain(in, -1);
            inst.op = MakeOp(kOpEmpty, 0);
            inst.inputs.clear();
            inst.outputs.clear();
            changed = true;
        }
    }
    return changed;
}

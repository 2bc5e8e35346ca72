#include "shader/backend/negation_reads.h"

#include <algorithm>

#include "gfx/shaders/shader_isa.h"
#include "shader/backend/ir_passes.h"

int NegatableOperands(uint32_t code) {
    switch (code) {
        case kOpMove:
        case kOpAdd:
        case kOpMul:
        case kOpMin:
        case kOpMax:
        case kOpSetLess:
        case kOpSetGreaterEqual:
        case kOpSelect:
        case kOpReciprocal:
        case kOpFraction:
        case kOpExp2:
        case kOpLog2: return OperandCount(code);
        case kOpMad: return 3;
        case kOpSetPredicate: return 2;
        default: return 0;
    }
}

bool NegationReadsFoldable(const IntermediateProgram& p, size_t i, std::vector<NegationRead>* reads) {
    reads->clear();
    const IrInstruction& neg = p.instructions[i];
    auto isResult = [&](int32_t arg) { return std::find(neg.outputs.begin(), neg.outputs.end(), arg) != neg.outputs.end(); };
    for (size_t j = i + 1; j < p.instructions.size(); ++j) {
        const IrInstruction& r = p.instructions[j];
        if (std::none_of(r.inputs.begin(), r.inputs.end(), isResult)) continue;
        uint32_t m = r.code() == kOpSetPredicate ? 1 : r.count();  // its count field is the comparison
        int operands = NegatableOperands(r.code());
        if (r.code() == kOpPredicatedMerge) {
            // Groups of n inputs, each an operand of a move, add or multiply.
            m = r.count() & 0xFF;
            operands = m ? int(r.inputs.size() / m) : 0;
        }
        if (operands == 0 || r.inputs.size() != size_t(operands) * m) return false;
        for (int k = 0; k < operands; ++k) {
            const auto first = r.inputs.begin() + long(size_t(k) * m);
            const long hits = std::count_if(first, first + long(m), isResult);
            if (hits == 0) continue;
            if (hits != long(m)) return false;
            reads->push_back({j, size_t(k) * m, m});
        }
    }
    return !reads->empty();
}

void FoldNegationReads(IntermediateProgram& p, size_t i, const std::vector<NegationRead>& reads) {
    IrInstruction& neg = p.instructions[i];
    for (const NegationRead& read : reads)
        for (uint32_t c = 0; c < read.count; ++c) {
            int32_t& slot = p.instructions[read.inst].inputs[read.first + c];
            const size_t at = size_t(std::find(neg.outputs.begin(), neg.outputs.end(), slot) - neg.outputs.begin());
            IrArgument copy = p.args[neg.inputs[at]];
            copy.flags = (copy.flags & ~kValueSourceModifierMask) | (uint32_t(gfx::isa::SRCMOD_NEG) << 16);
            copy.replacement = int32_t(p.args.size());
            p.args.push_back(copy);
            slot = int32_t(p.args.size() - 1);
        }
    neg.op = MakeOp(kOpEmpty, 0);
    neg.inputs.clear();
    neg.outputs.clear();
}

bool FoldTemporaryNegations(IntermediateProgram& p) {
    std::vector<bool> indexes(p.args.size(), false);
    for (const IrArgument& a : p.args)
        if (a.relative >= 0) indexes[size_t(a.relative)] = true;
    auto plainTemp = [&](int32_t a) {
        return a >= 0 && p.args[a].pool == kPoolTemps && p.args[a].reg >= 0 && p.args[a].relative < 0 &&
               !(p.args[a].flags & kValueSourceModifierMask);
    };
    bool changed = false;
    std::vector<NegationRead> reads;
    for (size_t i = 0; i < p.instructions.size(); ++i) {
        const IrInstruction& neg = p.instructions[i];
        if (neg.code() != kOpNegate || neg.inputs.size() != neg.count()) continue;
        bool ok = true;
        for (size_t c = 0; c < neg.inputs.size() && ok; ++c)
            ok = plainTemp(neg.inputs[c]) && plainTemp(neg.outputs[c]) && !indexes[size_t(neg.outputs[c])];
        // The readers read the input's register: nothing may write it again.
        for (size_t j = i + 1; j < p.instructions.size() && ok; ++j)
            for (int32_t out : p.instructions[j].outputs)
                for (int32_t in : neg.inputs)
                    if (out >= 0 && p.args[out].pool == kPoolTemps && p.args[out].reg == p.args[in].reg &&
                        p.args[out].component == p.args[in].component)
                        ok = false;
        if (!ok || !NegationReadsFoldable(p, i, &reads)) continue;
        FoldNegationReads(p, i, reads);
        changed = true;
    }
    return changed;
}

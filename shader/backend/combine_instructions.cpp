// Combine: a move that copies every result of one component-wise instruction,
// in order, and is the only reader of them, is folded into that instruction,
// which then writes the move's destinations directly.
// Needs: uses. Keeps: argument numbering; breaks: uses.
#include "shader/backend/ir_passes.h"

bool CombineInstructions(IntermediateProgram& p) {
    p.ComputeUses();
    std::vector<int32_t> readers(p.args.size(), 0), writer(p.args.size(), -1);
    for (size_t i = 0; i < p.instructions.size(); ++i) {
        for (int32_t in : p.instructions[i].inputs)
            for (int32_t arg = in; arg >= 0; arg = p.args[arg].relative) ++readers[arg];
        for (int32_t out : p.instructions[i].outputs)
            if (out >= 0) writer[out] = int32_t(i);
    }
    bool changed = false;
    for (size_t i = 0; i < p.instructions.size(); ++i) {
        IrInstruction& move = p.instructions[i];
        if (move.code() != kOpMove || move.inputs.empty()) continue;
        bool destinationsFree = true;
        for (int32_t out : move.outputs)
            if (out < 0 || (p.pools[p.args[out].pool].flags & (kPoolMustWrite | kPoolBound)) || p.args[out].relative >= 0)
                destinationsFree = false;
        if (!destinationsFree) continue;
        const int32_t source = writer[move.inputs[0]];
        if (source < 0 || source >= int32_t(i)) continue;
        IrInstruction& producer = p.instructions[source];
        if (!IsComponentWise(producer.code()) || producer.outputs.size() != move.inputs.size()) continue;
        bool whole = true;
        for (size_t c = 0; c < move.inputs.size(); ++c)
            if (producer.outputs[c] != move.inputs[c] || readers[move.inputs[c]] != 1) whole = false;
        if (!whole) continue;
        for (size_t c = 0; c < move.outputs.size(); ++c) CarryVariable(p, producer.outputs[c], move.outputs[c]);
        producer.outputs = move.outputs;
        for (int32_t out : producer.outputs) writer[out] = source;
        move = IrInstruction{};
        changed = true;
    }
    if (changed) CompactProgram(p);
    return changed;
}

// Removes an instruction that repeats an earlier one: the same operation on
// the same inputs, component by component (inputs swapped allowed for the
// commutative operations); its results are replaced by the earlier results.
// Needs: replacements applied. Keeps: argument numbering.
#include <algorithm>
#include <map>

#include "shader/backend/ir_passes.h"

namespace {

// Operations without effects beyond their results.
bool IsPure(uint32_t code) {
    return code != kOpEmpty && code != kOpClip && code != kOpConsume && code != kOpProduce && !IsFlowOp(code);
}

std::vector<int32_t> Key(const IrInstruction& inst) {
    std::vector<int32_t> key;
    key.reserve(inst.inputs.size() + 2);
    key.push_back(int32_t(inst.op));
    key.push_back(int32_t(inst.outputs.size()));
    const uint32_t code = inst.code(), n = inst.count();
    if (IsBinaryOp(code) && IsCommutativeOp(code)) {
        for (uint32_t c = 0; c < n; ++c) {
            key.push_back(std::min(inst.inputs[c], inst.inputs[n + c]));
            key.push_back(std::max(inst.inputs[c], inst.inputs[n + c]));
        }
    } else if (code == kOpDot) {
        std::vector<int32_t> a(inst.inputs.begin(), inst.inputs.begin() + n);
        std::vector<int32_t> b(inst.inputs.begin() + n, inst.inputs.end());
        if (b < a) std::swap(a, b);
        key.insert(key.end(), a.begin(), a.end());
        key.insert(key.end(), b.begin(), b.end());
    } else {
        key.insert(key.end(), inst.inputs.begin(), inst.inputs.end());
    }
    return key;
}

}  // namespace

bool RemoveDuplicateInstructions(IntermediateProgram& p) {
    bool changed = false;
    std::map<std::vector<int32_t>, size_t> seen;
    for (size_t i = 0; i < p.instructions.size(); ++i) {
        IrInstruction& inst = p.instructions[i];
        // Across a loop boundary the same inputs may hold other values (the
        // carried ones change), so nothing is matched across one.
        if (IsFlowOp(inst.code())) seen.clear();
        if (!IsPure(inst.code())) continue;
        for (int32_t& in : inst.inputs) in = p.Resolve(in);
        std::vector<int32_t> key = Key(inst);
        auto [it, inserted] = seen.emplace(std::move(key), i);
        if (inserted) continue;
        const IrInstruction& earlier = p.instructions[it->second];
        bool replaceable = true;
        for (size_t c = 0; c < inst.outputs.size(); ++c) {
            const int32_t out = inst.outputs[c];
            if (out >= 0 && (earlier.outputs[c] < 0 || !IsReplaceableOutput(p, out))) replaceable = false;
        }
        if (!replaceable) continue;
        for (size_t c = 0; c < inst.outputs.size(); ++c)
            if (inst.outputs[c] >= 0) p.args[inst.outputs[c]].replacement = earlier.outputs[c];
        inst.op = MakeOp(kOpEmpty, 0);
        inst.inputs.clear();
        inst.outputs.clear();
        changed = true;
    }
    if (changed) ApplyReplacements(p);
    return changed;
}

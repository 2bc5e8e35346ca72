// Separate outputs: every output argument gets a temporary that takes its place
// in the instructions, and the program ends with one move per output register
// from the temporaries into the outputs. The passes can then treat every
// computed value alike, and outputs are written only by moves.
// Needs: nothing. Keeps: argument numbering (adds temporaries and moves).
#include <algorithm>
#include <tuple>

#include "shader/backend/ir_passes.h"

HRESULT SeparateOutputs(IntermediateProgram& p) {
    p.ComputeUses();
    std::vector<int32_t> outputs;
    for (size_t i = 0; i < p.args.size(); ++i)
        if ((p.pools[p.args[i].pool].flags & kPoolMustWrite) && p.args[i].firstWriter >= 0) outputs.push_back(int32_t(i));
    if (outputs.empty()) return S_OK;

    std::vector<int32_t> temp(p.args.size(), -1);
    for (int32_t out : outputs) {
        const int t = p.AddArgument(kPoolTemps, -1, -1, 0.0);
        if (t < 0) return E_OUTOFMEMORY;
        IrArgument& a = p.args[t];
        const IrArgument& o = p.args[out];
        a.flags = o.flags;
        a.declaration = o.declaration;
        a.name = o.name;
        a.offset = o.offset;
        temp[out] = t;
    }
    for (IrInstruction& inst : p.instructions) {
        for (int32_t& arg : inst.outputs)
            if (arg >= 0 && size_t(arg) < temp.size() && temp[arg] >= 0) arg = temp[arg];
        for (int32_t& arg : inst.inputs)
            if (arg >= 0 && size_t(arg) < temp.size() && temp[arg] >= 0) arg = temp[arg];
    }

    // One move per output register: arguments without a register yet are
    // grouped by the variable and register they belong to.
    struct Group {
        uint32_t pool;
        int32_t reg, relative;
        const void* declaration;
        uint32_t registerOffset;
    };
    auto group = [&](int32_t arg) {
        const IrArgument& a = p.args[arg];
        return Group{a.pool, a.reg, a.relative, a.reg < 0 ? a.declaration : nullptr, a.reg < 0 ? a.offset / 4 : 0};
    };
    auto sameGroup = [&](int32_t x, int32_t y) {
        const Group a = group(x), b = group(y);
        return a.pool == b.pool && a.reg == b.reg && a.relative == b.relative && a.declaration == b.declaration &&
               a.registerOffset == b.registerOffset;
    };
    std::vector<int32_t> firstOfGroup(p.args.size(), -1);
    for (int32_t out : outputs)
        for (int32_t other : outputs)
            if (sameGroup(out, other)) {
                firstOfGroup[out] = other;
                break;
            }
    std::stable_sort(outputs.begin(), outputs.end(), [&](int32_t x, int32_t y) {
        const IrArgument& a = p.args[x];
        const IrArgument& b = p.args[y];
        return std::make_tuple(a.pool, a.reg, firstOfGroup[x], a.relative, a.component, a.offset) <
               std::make_tuple(b.pool, b.reg, firstOfGroup[y], b.relative, b.component, b.offset);
    });
    for (size_t start = 0; start < outputs.size();) {
        size_t end = start + 1;
        while (end < outputs.size() && end - start < 4 && sameGroup(outputs[start], outputs[end])) ++end;
        const uint32_t n = uint32_t(end - start);
        const SourceLocation location = p.instructions[p.args[outputs[start]].firstWriter].location;
        const int move = p.AddInstruction(MakeOp(kOpMove, n));
        if (move < 0) return E_OUTOFMEMORY;
        IrInstruction& inst = p.instructions[move];
        inst.location = location;
        for (uint32_t c = 0; c < n; ++c) {
            inst.inputs[c] = temp[outputs[start + c]];
            inst.outputs[c] = outputs[start + c];
        }
        start = end;
    }
    return S_OK;
}

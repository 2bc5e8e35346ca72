// After optimisation: turn the scalar components back into vector
// instructions, gather literals into registers, reorder (unless optimisation is
// off) and pack every limited pool into its physical registers.
#include <algorithm>

#include "shader/backend/ir_passes.h"

HRESULT VectorizeAndPack(IntermediateProgram& p) {
    for (IrArgument& a : p.args) {
        if (p.pools[a.pool].flags & kPoolBound) continue;
        a.reg = -1;
        a.component = -1;
    }
    CompactProgram(p);
    const bool optimize = !(p.flags & kCompileSkipOptimization);
    if (optimize) {
        if (p.gatherVectors) GatherVectorInstructions(p);
        CombineInstructions(p);
    }
    HRESULT hr = AssignComponents(p);
    if (FAILED(hr)) return hr;
    // Values copied together into one register by the operand moves are
    // better computed there in the first place.
    if (optimize) CombineInstructions(p);
    hr = GatherLiteralRegisters(p);
    if (FAILED(hr)) return hr;
    if (optimize) ReorderInstructions(p);
    p.vectorized = true;
    CompactProgram(p);
    for (uint32_t pool = 0; pool < p.pools.size(); ++pool) {
        const uint32_t f = p.pools[pool].flags;
        if (f & (kPoolBound | kPoolLiteral) || pool == kPoolDiscard) continue;
        int32_t registers = pool < p.physicalRegisters.size() ? p.physicalRegisters[pool] : -1;
        if (registers < 0) {
            // Not limited by the target: as many as there are virtual registers.
            registers = 0;
            for (const IrArgument& a : p.args)
                if (a.pool == pool) registers = std::max(registers, a.reg + 1);
        }
        if (registers == 0) continue;
        hr = PackRegisters(p, pool, registers);
        if (FAILED(hr)) return hr;
    }
    return S_OK;
}

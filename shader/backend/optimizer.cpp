// The optimisation loop: separate the outputs once, then run the seven passes
// in order until a whole round changes nothing (at most 256 rounds), then
// compact the program.
#include "shader/backend/backend_messages.h"
#include "shader/backend/ir_passes.h"

HRESULT RunOptimizationLoop(IntermediateProgram& p) {
    HRESULT hr = SeparateOutputs(p);
    if (FAILED(hr)) return hr;
    using Pass = bool (*)(IntermediateProgram&);
    static constexpr Pass kPasses[] = {
        SimplifyInstructions, RemoveDeadCode, MergeDuplicateArguments, SqueezeComponents,
        RemoveDuplicateInstructions, Reassociate, SimplifyAddresses,
    };
    bool converged = false;
    for (int round = 0; round < IntermediateProgram::kMaxOptimizationRounds; ++round) {
        bool changed = false;
        for (Pass pass : kPasses) changed |= pass(p);
        if (!changed) {
            converged = true;
            break;
        }
    }
    if (!converged) p.Report(nullptr, backend_diag::kNotConverged);
    CompactProgram(p);
    return S_OK;
}

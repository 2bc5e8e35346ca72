// Use analysis and the checks every program must pass before optimisation:
// no read before a write (unless the pool holds a value at entry), every output
// written, no write into a read-only pool and no read from a write-only pool.
// Needs: nothing. Keeps: everything (it only reports).
#include <unordered_set>

#include "shader/backend/backend_messages.h"
#include "shader/backend/ir_passes.h"

HRESULT ValidateArguments(IntermediateProgram& p) {
    // Every input must name an argument (outputs may be -1: not written), and
    // every relative index too; the passes rely on it.
    bool failed = false;
    auto missing = [&](int32_t arg) { return arg < 0 || size_t(arg) >= p.args.size(); };
    for (const IrInstruction& inst : p.instructions) {
        for (int32_t in : inst.inputs)
            if (missing(in)) {
                p.Report(&inst.location, backend_diag::kMissingArgument, int(in));
                failed = true;
            }
        for (int32_t out : inst.outputs)
            if (out >= 0 && size_t(out) >= p.args.size()) {
                p.Report(&inst.location, backend_diag::kMissingArgument, int(out));
                failed = true;
            }
    }
    for (const IrArgument& a : p.args)
        if (a.relative >= 0 && size_t(a.relative) >= p.args.size()) {
            p.Report(nullptr, backend_diag::kMissingArgument, int(a.relative));
            failed = true;
        }
    if (failed) return E_FAIL;
    p.ComputeUses();
    std::unordered_set<const void*> reportedDeclarations;
    std::vector<bool> reported(p.args.size(), false);

    auto checkRead = [&](int32_t arg, const IrInstruction& inst, int32_t at) {
        for (size_t depth = 0; arg >= 0 && depth <= p.args.size(); ++depth, arg = p.args[arg].relative) {
            const IrArgument& a = p.args[arg];
            const uint32_t poolFlags = a.pool < p.pools.size() ? p.pools[a.pool].flags : 0;
            if (reported[arg]) continue;
            if (!(poolFlags & kPoolValueAtEntry) && (a.firstWriter < 0 || a.firstWriter >= at)) {
                reported[arg] = true;
                failed = true;
                if (a.declaration && a.name && *a.name) {
                    if (reportedDeclarations.insert(a.declaration).second)
                        p.Report(&inst.location, backend_diag::kUninitializedVariable, a.name);
                } else {
                    p.Report(&inst.location, backend_diag::kArgumentUninitialized, unsigned(arg));
                }
            } else if (!(poolFlags & (kPoolReadable | kPoolValueAtEntry))) {
                reported[arg] = true;
                failed = true;
                p.Report(&inst.location, backend_diag::kCannotReadPool, unsigned(arg));
            }
        }
    };

    for (size_t i = 0; i < p.instructions.size(); ++i) {
        const IrInstruction& inst = p.instructions[i];
        for (int32_t in : inst.inputs)
            if (in >= 0) checkRead(in, inst, int32_t(i));
        for (int32_t out : inst.outputs) {
            if (out < 0) continue;
            if (p.args[out].relative >= 0) checkRead(p.args[out].relative, inst, int32_t(i));
            const uint32_t poolFlags = p.pools[p.args[out].pool].flags;
            if (!(poolFlags & kPoolWritable) && !reported[out]) {
                reported[out] = true;
                failed = true;
                p.Report(&inst.location, backend_diag::kCannotWritePool, unsigned(out));
            }
        }
    }
    for (size_t i = 0; i < p.args.size(); ++i) {
        const IrArgument& a = p.args[i];
        const uint32_t poolFlags = p.pools[a.pool].flags;
        if ((poolFlags & kPoolMustWrite) && a.firstWriter < 0) {
            failed = true;
            p.Report(nullptr, backend_diag::kOutputUninitialized, unsigned(i));
        }
        if (p.optimized && a.firstWriter >= 0 && a.lastReader < 0 && !(poolFlags & (kPoolMustWrite | kPoolLiteral)) &&
            !IsSampleOp(p.instructions[a.firstWriter].code())) {
            failed = true;
            p.Report(&p.instructions[a.firstWriter].location, backend_diag::kArgumentNeverUsed, unsigned(i));
        }
    }
    return failed ? E_FAIL : S_OK;
}

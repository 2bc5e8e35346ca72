// Gives every computed value of a non-bound pool a virtual register and a
// component: the results of one instruction form one virtual register,
// component by component. Operands that still read from several registers
// (or instructions that read more than four distinct literal values) get moves
// into a new virtual register first, so that every operand is one register
// read through a swizzle.
// Needs: gathering done. Keeps: instruction order (inserts moves before users).
#include <algorithm>
#include <map>
#include <set>

#include "shader/backend/ir_passes.h"
#include "shader/backend/register_identity.h"

namespace {

bool IsVirtual(const IntermediateProgram& p, int32_t arg) {
    return !(p.pools[p.args[arg].pool].flags & (kPoolBound | kPoolLiteral));
}

// The values a loop carries, as runs (first output, count) of the
// components of one register of one variable, at most four: each run is one
// virtual register, copied by one move.
std::vector<std::pair<size_t, size_t>> CarriedRuns(const IntermediateProgram& p, const IrInstruction& inst) {
    std::vector<std::pair<size_t, size_t>> runs;
    auto key = [&](size_t c) {
        const IrArgument& a = p.args[inst.outputs[c]];
        return std::make_pair(a.declaration, a.declaration ? a.offset / 4 : uint32_t(c));
    };
    for (size_t c = 0; c < inst.outputs.size(); ++c) {
        if (!runs.empty() && runs.back().second < 4 && key(runs.back().first) == key(c)) ++runs.back().second;
        else runs.push_back({c, 1});
    }
    return runs;
}

// Operand ranges (first input, count) of an instruction.
std::vector<std::pair<size_t, size_t>> Operands(const IntermediateProgram& p, const IrInstruction& inst) {
    const uint32_t code = inst.code(), n = inst.count();
    std::vector<std::pair<size_t, size_t>> ranges;
    if (IsFlowOp(code)) {
        // A loop's count stands alone; the values it copies go by the runs
        // its results take.
        const size_t first = FlowOperandsBeforeCopies(code, n, inst.inputs.size());
        for (size_t k = 0; k < first; ++k) ranges.push_back({k, 1});
        for (auto [at, count] : CarriedRuns(p, inst)) ranges.push_back({first + at, count});
        return ranges;
    }
    if (IsComponentWise(code)) {
        for (int k = 0; k < OperandCount(code); ++k) ranges.push_back({size_t(k) * n, n});
    } else if (code == kOpDot) {
        ranges = {{0, n}, {n, n}};
    } else if (IsSampleOp(code)) {
        for (size_t at = 0; at + n <= inst.inputs.size(); at += n) ranges.push_back({at, n});
    } else if (code == kOpLit || code == kOpClip || code == kOpNoise || code == kOpConsume) {
        ranges.push_back({0, inst.inputs.size()});
    } else {
        for (size_t at = 0; at < inst.inputs.size(); at += 4)
            ranges.push_back({at, std::min<size_t>(4, inst.inputs.size() - at)});
    }
    return ranges;
}

class ComponentAssigner {
public:
    explicit ComponentAssigner(IntermediateProgram& p) : p_(p) {}

    HRESULT Run() {
        // Virtual registers for the results of every instruction.
        for (IrInstruction& inst : p_.instructions) AssignResults(inst);
        std::vector<IrInstruction> out;
        out.reserve(p_.instructions.size());
        for (size_t i = 0; i < p_.instructions.size(); ++i) {
            IrInstruction inst = std::move(p_.instructions[i]);
            HRESULT hr = FixOperands(inst, &out);
            if (FAILED(hr)) return hr;
            out.push_back(std::move(inst));
        }
        p_.instructions = std::move(out);
        return S_OK;
    }

private:
    void AssignResults(const IrInstruction& inst) {
        // The values a loop carries, by runs; its end writes the same ones
        // again.
        if (IsClosingFlowOp(inst.code())) return;
        if (IsFlowOp(inst.code())) {
            for (auto [at, count] : CarriedRuns(p_, inst)) {
                for (size_t c = 0; c < count; ++c) {
                    p_.args[inst.outputs[at + c]].reg = next_;
                    p_.args[inst.outputs[at + c]].component = int32_t(c);
                }
                ++next_;
            }
            return;
        }
        bool any = false;
        int32_t slot = 0;
        for (int32_t arg : inst.outputs) {
            if (arg < 0 || !IsVirtual(p_, arg)) continue;
            p_.args[arg].reg = next_;
            p_.args[arg].component = slot++;
            any = true;
        }
        if (any) ++next_;
    }

    size_t DistinctLiterals(const IrInstruction& inst) const {
        std::set<double> values;
        for (int32_t in : inst.inputs)
            if (IsLiteralArgument(p_, in)) values.insert(p_.args[in].literal);
        return values.size();
    }

    // Copies operand [at, at + n) of `inst` into a new virtual register with
    // one move per register it reads from, and points the operand there.
    HRESULT Gather(IrInstruction& inst, size_t at, size_t n, std::vector<IrInstruction>* out) {
        const int32_t reg = next_++;
        std::map<RegisterIdentity, std::vector<size_t>> groups;
        std::vector<RegisterIdentity> order;
        for (size_t c = 0; c < n; ++c) {
            const RegisterIdentity id = IdentityOf(p_, inst.inputs[at + c]);
            if (!groups.count(id)) order.push_back(id);
            groups[id].push_back(c);
        }
        std::vector<int32_t> copies(n);
        for (size_t c = 0; c < n; ++c) {
            const int arg = p_.AddArgument(kPoolTemps, reg, int32_t(c), 0.0);
            if (arg < 0) return E_OUTOFMEMORY;
            p_.args[arg].flags = p_.args[inst.inputs[at + c]].flags & ~kValueSourceModifierMask;
            // The copy holds the value of the variable it was gathered from.
            CarryVariable(p_, inst.inputs[at + c], arg);
            copies[c] = arg;
        }
        for (const RegisterIdentity& id : order) {
            const std::vector<size_t>& members = groups[id];
            IrInstruction move;
            move.op = MakeOp(kOpMove, uint32_t(members.size()));
            move.location = inst.location;
            move.node = inst.node;
            for (size_t c : members) {
                move.inputs.push_back(inst.inputs[at + c]);
                move.outputs.push_back(copies[c]);
            }
            out->push_back(std::move(move));
        }
        for (size_t c = 0; c < n; ++c) inst.inputs[at + c] = copies[c];
        return S_OK;
    }

    HRESULT FixOperands(IrInstruction& inst, std::vector<IrInstruction>* out) {
        const auto operands = Operands(p_, inst);
        for (auto [at, n] : operands) {
            bool single = true;
            for (size_t c = 1; c < n; ++c)
                if (IdentityOf(p_, inst.inputs[at + c]) != IdentityOf(p_, inst.inputs[at])) single = false;
            if (single) continue;
            HRESULT hr = Gather(inst, at, n, out);
            if (FAILED(hr)) return hr;
        }
        // All literals of one instruction share one literal register.
        while (DistinctLiterals(inst) > 4) {
            size_t best = operands.size();
            size_t bestCount = 0;
            for (size_t k = 0; k < operands.size(); ++k) {
                size_t count = 0;
                for (size_t c = 0; c < operands[k].second; ++c)
                    count += IsLiteralArgument(p_, inst.inputs[operands[k].first + c]);
                if (count > bestCount) {
                    bestCount = count;
                    best = k;
                }
            }
            if (best == operands.size()) break;
            HRESULT hr = Gather(inst, operands[best].first, operands[best].second, out);
            if (FAILED(hr)) return hr;
        }
        return S_OK;
    }

    IntermediateProgram& p_;
    int32_t next_ = 0;
};

}  // namespace

HRESULT AssignComponents(IntermediateProgram& p) { return ComponentAssigner(p).Run(); }

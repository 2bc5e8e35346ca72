// Gathers scalar instructions of the same operation into vector instructions
// when each operand of all of them comes from one register, so that the
// joined instruction reads each operand with a single swizzle. The earlier
// instruction moves down to the later one when nothing in between reads its
// results, or the later one moves up when its inputs are all ready by then.
// Needs: registers of non-bound pools forgotten. Keeps: argument numbering.
#include <algorithm>

#include "shader/backend/ir_passes.h"
#include "shader/backend/register_identity.h"

namespace {

constexpr size_t kSearchWindow = 64;

class Gatherer {
public:
    explicit Gatherer(IntermediateProgram& p) : p_(p), writer_(p.args.size(), -1), group_(p.args.size(), -1) {
        for (size_t i = 0; i < p_.instructions.size(); ++i)
            for (int32_t out : p_.instructions[i].outputs)
                if (out >= 0) {
                    writer_[out] = int32_t(i);
                    group_[out] = int32_t(i);
                }
    }

    bool Run() {
        bool changed = false;
        for (size_t i = 0; i < p_.instructions.size(); ++i) {
            if (!Joinable(i)) continue;
            const size_t first = i > kSearchWindow ? i - kSearchWindow : 0;
            for (size_t j = i; j-- > first;) {
                if (Joinable(j) && Join(j, i)) {
                    changed = true;
                    break;
                }
            }
        }
        return changed;
    }

private:
    bool Joinable(size_t i) const {
        const IrInstruction& inst = p_.instructions[i];
        if (!IsComponentWise(inst.code()) || inst.count() >= 4) return false;
        for (int32_t out : inst.outputs)
            if (out < 0 || (p_.pools[p_.args[out].pool].flags & (kPoolBound | kPoolMustWrite))) return false;
        return true;
    }

    RegisterIdentity Identity(int32_t arg) const {
        const IrArgument& a = p_.args[arg];
        const bool virtualRegister = !(p_.pools[a.pool].flags & kPoolBound) && group_[arg] >= 0;
        return IdentityOf(p_, arg, virtualRegister ? group_[arg] : -1);
    }

    // The one register operand k of the instruction reads, if there is one.
    bool OperandIdentity(const IrInstruction& inst, int k, RegisterIdentity* id) const {
        const uint32_t n = inst.count();
        for (uint32_t c = 0; c < n; ++c) {
            const RegisterIdentity here = Identity(inst.inputs[k * n + c]);
            if (c == 0) *id = here;
            else if (here != *id) return false;
        }
        return true;
    }

    bool ReadyBefore(const IrInstruction& inst, size_t at) const {
        for (int32_t in : inst.inputs)
            for (int32_t arg = in; arg >= 0; arg = p_.args[arg].relative)
                if (writer_[arg] >= int32_t(at)) return false;
        return true;
    }

    bool ReadBetween(const IrInstruction& inst, size_t from, size_t to) const {
        for (size_t k = from + 1; k < to; ++k)
            for (int32_t in : p_.instructions[k].inputs)
                for (int32_t arg = in; arg >= 0; arg = p_.args[arg].relative)
                    if (std::find(inst.outputs.begin(), inst.outputs.end(), arg) != inst.outputs.end()) return true;
        return false;
    }

    bool Join(size_t j, size_t i) {
        IrInstruction& a = p_.instructions[j];
        IrInstruction& b = p_.instructions[i];
        if (a.code() != b.code() || a.count() + b.count() > 4) return false;
        // Neither moves across a loop boundary.
        for (size_t k = j + 1; k < i; ++k)
            if (IsFlowOp(p_.instructions[k].code())) return false;
        const int operands = OperandCount(a.code());
        for (int k = 0; k < operands; ++k) {
            RegisterIdentity ia, ib;
            if (!OperandIdentity(a, k, &ia) || !OperandIdentity(b, k, &ib) || ia != ib) return false;
        }
        // An instruction may not read what its partner writes.
        for (int32_t in : b.inputs)
            if (std::find(a.outputs.begin(), a.outputs.end(), in) != a.outputs.end()) return false;
        size_t at;
        if (!ReadBetween(a, j, i)) at = i;
        else if (ReadyBefore(b, j)) at = j;
        else return false;

        const uint32_t na = a.count(), nb = b.count(), n = na + nb;
        IrInstruction joined;
        joined.op = MakeOp(a.code(), n);
        joined.location = a.location;
        joined.node = a.node;
        for (int k = 0; k < operands; ++k) {
            joined.inputs.insert(joined.inputs.end(), a.inputs.begin() + k * na, a.inputs.begin() + (k + 1) * na);
            joined.inputs.insert(joined.inputs.end(), b.inputs.begin() + k * nb, b.inputs.begin() + (k + 1) * nb);
        }
        joined.outputs = a.outputs;
        joined.outputs.insert(joined.outputs.end(), b.outputs.begin(), b.outputs.end());
        const int32_t group = group_[joined.outputs[0]];
        for (int32_t out : joined.outputs) {
            writer_[out] = int32_t(at);
            group_[out] = group;
        }
        IrInstruction& target = p_.instructions[at];
        IrInstruction& other = p_.instructions[at == i ? j : i];
        other = IrInstruction{};
        target = std::move(joined);
        return true;
    }

    IntermediateProgram& p_;
    std::vector<int32_t> writer_;
    std::vector<int32_t> group_;
};

}  // namespace

bool GatherVectorInstructions(IntermediateProgram& p) {
    const bool changed = Gatherer(p).Run();
    if (changed) CompactProgram(p);
    return changed;
}

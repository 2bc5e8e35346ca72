// Pattern: a register assembled as (1, a.y * b.y, a.z, b.w) by a multiply and
// three moves is one distance vector instruction (0xFB, dst). The group is
// found from the multiply: its result's register R, the instruction U that
// reads it, and the last writer of each component of R before U. The
// distance vector is placed where the last of the group stood; the other
// members lose their component (and go when they have none left).
//
// Its inputs are the first source at positions x, y, z, w followed by the
// second; the positions dst does not read repeat a read component.
#include <algorithm>

#include "shader/backend/codegen/code_generator.h"
#include "shader/backend/codegen/codegen_messages.h"

namespace codegen {

namespace {

uint32_t ModifierOf(const IrArgument& a) { return (a.flags & kValueSourceModifierMask) >> 16; }

}  // namespace

void CodeGenerator::FuseDistanceVector() {
    ComputeUses();
    for (size_t j = 0; j < instructions.size(); ++j) {
        const IrInstruction& mul = instructions[j];
        if (mul.code() != kOpMul || mul.count() != 1 || mul.outputs.size() != 1 || mul.inputs.size() != 2) continue;
        const int32_t product = mul.outputs[0];
        if (product < 0 || ClassOf(product) != ArgClass::Temp || args[product].lastReader <= int32_t(j)) continue;
        const RegRef r = RegisterOf(product);
        if (!r.valid || r.component != 1) continue;
        const size_t use = size_t(args[product].lastReader);
        // The reader takes the whole register, as a vector assembled this
        // way is used (a cheap test before the search for its writers).
        uint32_t read = 0;
        for (int32_t in : instructions[use].inputs) {
            const RegRef w = RegisterOf(in);
            if (w.valid && w.type == r.type && w.number == r.number) read |= 1u << w.component;
        }
        if (read != 0xF) continue;
        // The last writer of each component of R before its reader, and the
        // output argument it writes there.
        size_t writer[4];
        size_t slot[4];
        bool found[4] = {false, false, false, false};
        bool ok = true;
        for (size_t m = use; m-- > 0 && ok;) {
            const IrInstruction& inst = instructions[m];
            uint32_t seen = 0;
            for (size_t k = 0; k < inst.outputs.size(); ++k) {
                const int32_t out = inst.outputs[k];
                if (out < 0) continue;
                const RegRef w = RegisterOf(out);
                if (w.type != r.type || w.number != r.number) continue;
                if (seen & (1u << w.component)) {
                    Report(&inst.location, codegen_diag::kDistanceMultipleWrite);
                    return;
                }
                seen |= 1u << w.component;
                if (found[w.component]) continue;
                found[w.component] = true;
                writer[w.component] = m;
                slot[w.component] = k;
            }
            if (found[0] && found[1] && found[2] && found[3]) break;
        }
        if (!(found[0] && found[1] && found[2] && found[3]) || writer[1] != j) continue;
        const size_t last = *std::max_element(writer, writer + 4);
        const size_t earliest = *std::min_element(writer, writer + 4);
        // x = 1, z and w are plain moves.
        const IrInstruction& mx = instructions[writer[0]];
        const IrInstruction& mz = instructions[writer[2]];
        const IrInstruction& mw = instructions[writer[3]];
        if (mx.code() != kOpMove || mz.code() != kOpMove || mw.code() != kOpMove) continue;
        // The last member writes only its component: the distance vector
        // takes its place.
        if (instructions[last].outputs.size() != 1) continue;
        const int32_t one = mx.inputs[slot[0]], az = mz.inputs[slot[2]], bw = mw.inputs[slot[3]];
        if (ClassOf(one) != ArgClass::Literal || args[one].literal != 1.0 || ModifierOf(args[one]) != 0) continue;
        int32_t ay = mul.inputs[0], by = mul.inputs[1];
        auto sameRegister = [&](int32_t u, int32_t v) {
            const RegRef a = RegisterOf(u), b = RegisterOf(v);
            return a.valid && b.valid && a.type == b.type && a.number == b.number && args[u].relative < 0 &&
                   args[v].relative < 0 && ModifierOf(args[u]) == 0 && ModifierOf(args[v]) == 0 &&
                   ClassOf(u) != ArgClass::Literal && ClassOf(v) != ArgClass::Literal;
        };
        if (!(sameRegister(ay, az) && sameRegister(by, bw))) std::swap(ay, by);
        if (!(sameRegister(ay, az) && sameRegister(by, bw))) continue;
        // Every source still holds its value at the last member, and R is
        // not read in between (it is written later than before).
        ok = HoldsUntil(ay, j, last) && HoldsUntil(by, j, last) && HoldsUntil(az, writer[2], last) &&
             HoldsUntil(bw, writer[3], last);
        for (size_t m = earliest + 1; m <= last && ok; ++m)
            for (int32_t in : instructions[m].inputs) {
                const RegRef w = RegisterOf(in);
                if (w.valid && w.type == r.type && w.number == r.number) ok = false;
            }
        if (!ok) continue;
        IrInstruction dst;
        dst.op = MakeOp(kOpDistance, 4);
        dst.inputs = {ay, ay, az, az, by, by, by, bw};
        for (int c = 0; c < 4; ++c) dst.outputs.push_back(instructions[writer[c]].outputs[slot[c]]);
        dst.location = instructions[last].location;
        dst.node = instructions[last].node;
        // Consistency of what was matched: one register per source and the
        // four components of one destination register in order.
        for (int c = 1; c < 4; ++c) {
            const RegRef s0 = RegisterOf(dst.inputs[c]), f0 = RegisterOf(dst.inputs[0]);
            const RegRef s1 = RegisterOf(dst.inputs[4 + c]), f1 = RegisterOf(dst.inputs[4]);
            if (s0.type != f0.type || s0.number != f0.number || s1.type != f1.type || s1.number != f1.number) {
                Report(&dst.location, codegen_diag::kDistanceSourceMismatch);
                return;
            }
        }
        for (int c = 0; c < 4; ++c) {
            const RegRef d = RegisterOf(dst.outputs[c]);
            if (d.type != r.type || d.number != r.number || d.component != uint32_t(c)) {
                Report(&dst.location, codegen_diag::kDistanceDestinationMismatch);
                return;
            }
        }
        // Take the components out of their writers, latest slot first.
        for (int c = 0; c < 4; ++c) {
            IrInstruction& w = instructions[writer[c]];
            const uint32_t n = w.count();
            if (w.code() == kOpMul) {
                w.inputs.erase(w.inputs.begin() + std::ptrdiff_t(n + slot[c]));
                w.inputs.erase(w.inputs.begin() + std::ptrdiff_t(slot[c]));
            } else {
                w.inputs.erase(w.inputs.begin() + std::ptrdiff_t(slot[c]));
            }
            w.outputs.erase(w.outputs.begin() + std::ptrdiff_t(slot[c]));
            for (int e = 0; e < 4; ++e)
                if (writer[e] == writer[c] && slot[e] > slot[c]) --slot[e];
            w.op = w.outputs.empty() ? MakeOp(kOpEmpty, 0) : MakeOp(w.code(), n - 1);
        }
        instructions[last] = std::move(dst);
        ComputeUses();
    }
}

}  // namespace codegen

// Pattern (ps_1_x): x * 2 - 1 and (x - 0.5) * 2 read only as whole operands
// become the signed scale source modifier (_bx2) of their readers. The
// models cannot hold the literal 2, so without this the expression would be
// computed with a clamped literal. Runs after packing and before the
// literals are clamped: x must still hold its value where each reader
// stands, as for the negate modifier.
#include <algorithm>
#include <cmath>

#include "shader/backend/codegen/ps1_code_generator.h"
#include "shader/backend/ir_passes.h"

namespace codegen {

using namespace gfx::isa;

namespace {

// Operations whose operands take a source modifier, with operand count.
int ModifiableOperands(uint32_t code) {
    switch (code) {
        case kOpMove:
        case kOpAdd:
        case kOpMul:
        case kOpDot: return 2 - (code == kOpMove);
        case kOpMad:
        case kOpMadNegated:
        case kOpSelect:
        case kOpLerp: return 3;
        default: return 0;
    }
}

bool IsValue(const IntermediateProgram& p, int32_t arg, double value) {
    return IsLiteralArgument(p, arg) && !(p.args[arg].flags & kValueSourceModifierMask) &&
           std::fabs(LiteralValue(p, arg) - value) < 1e-12;
}

}  // namespace

bool Ps1CodeGenerator::FoldSignedScale() {
    ComputeUses();
    bool changed = false;
    for (size_t i = 0; i + 1 < instructions.size(); ++i) {
        // first: t = x * 2 (or x - 0.5); second: u = t - 1 (or t * 2).
        const IrInstruction& first = instructions[i];
        const uint32_t n = first.count();
        const bool scaleFirst = first.code() == kOpMul;
        if ((first.code() != kOpMul && first.code() != kOpAdd) || n == 0 || first.inputs.size() != 2 * n ||
            first.outputs.size() != n)
            continue;
        std::vector<int32_t> xs(n, -1);
        bool ok = true;
        for (uint32_t c = 0; c < n && ok; ++c) {
            int32_t a = first.inputs[c], b = first.inputs[n + c];
            if (IsLiteralArgument(*this, a)) std::swap(a, b);
            ok = IsValue(*this, b, scaleFirst ? 2.0 : -0.5) && !IsLiteralArgument(*this, a) &&
                 !(args[a].flags & kValueSourceModifierMask) && args[a].relative < 0 &&
                 ClassOf(a) != ArgClass::Sampler && ClassOf(a) != ArgClass::Constant && first.outputs[c] >= 0 &&
                 ClassOf(first.outputs[c]) == ArgClass::Temp;
            xs[c] = a;
        }
        if (!ok) continue;
        // The one reader of t finishes the signed scale.
        const int32_t reader = args[first.outputs[0]].lastReader;
        if (reader <= int32_t(i)) continue;
        IrInstruction& second = instructions[size_t(reader)];
        if (second.code() != (scaleFirst ? kOpAdd : kOpMul) || second.count() != n || second.inputs.size() != 2 * n ||
            second.outputs.size() != n)
            continue;
        for (uint32_t c = 0; c < n && ok; ++c) {
            int32_t a = second.inputs[c], b = second.inputs[n + c];
            if (a != first.outputs[c]) std::swap(a, b);
            ok = a == first.outputs[c] && IsValue(*this, b, scaleFirst ? -1.0 : 2.0) &&
                 args[a].lastReader == reader && second.outputs[c] >= 0 &&
                 ClassOf(second.outputs[c]) == ArgClass::Temp;
        }
        for (size_t j = i + 1; j < size_t(reader) && ok; ++j)
            for (int32_t in : instructions[j].inputs)
                if (std::find(first.outputs.begin(), first.outputs.end(), in) != first.outputs.end()) ok = false;
        if (!ok) continue;
        // Every reader of u takes whole operands made only of its results.
        struct Use {
            size_t inst;
            size_t first;
            uint32_t count;
        };
        std::vector<Use> uses;
        const std::vector<int32_t>& us = second.outputs;
        for (size_t j = size_t(reader) + 1; j < instructions.size() && ok; ++j) {
            const IrInstruction& r = instructions[j];
            const uint32_t m = r.count();
            bool reads = false;
            for (int32_t in : r.inputs) reads |= std::find(us.begin(), us.end(), in) != us.end();
            if (!reads) continue;
            const int operands = ModifiableOperands(r.code());
            if (operands == 0 || r.inputs.size() != size_t(operands) * m) {
                ok = false;
                break;
            }
            for (int k = 0; k < operands && ok; ++k) {
                int hits = 0;
                for (uint32_t c = 0; c < m; ++c) {
                    const int32_t in = r.inputs[size_t(k) * m + c];
                    hits += std::find(us.begin(), us.end(), in) != us.end();
                }
                if (hits == 0) continue;
                if (hits != int(m)) ok = false;
                else uses.push_back({j, size_t(k) * m, m});
            }
        }
        if (!ok || uses.empty()) continue;
        // x must hold its value until the last reader: a temporary lives
        // that long already, and nothing in between writes its register.
        const size_t last = uses.back().inst;
        for (int32_t x : xs) {
            if (ClassOf(x) != ArgClass::Temp) continue;
            if (args[x].lastReader < int32_t(last)) ok = false;
            const RegRef rx = RegisterOf(x);
            for (size_t m = i + 1; m < last && ok; ++m)
                for (int32_t out : instructions[m].outputs) {
                    if (out < 0 || ClassOf(out) != ArgClass::Temp) continue;
                    const RegRef w = RegisterOf(out);
                    if (w.type == rx.type && w.number == rx.number && w.component == rx.component) ok = false;
                }
        }
        // An input read in place of the temporary must not give a reader a
        // second input register to read.
        const RegRef source = RegisterOf(xs[0]);
        if (source.type == REG_INPUT)
            for (const Use& use : uses) {
                const IrInstruction& r = instructions[use.inst];
                for (size_t k = 0; k < r.inputs.size(); ++k) {
                    if (k >= use.first && k < use.first + use.count) continue;
                    const RegRef other = RegisterOf(r.inputs[k]);
                    if (other.type == source.type && other.number != source.number) ok = false;
                }
            }
        if (!ok) continue;
        for (const Use& use : uses)
            for (uint32_t c = 0; c < use.count; ++c) {
                int32_t& slot = instructions[use.inst].inputs[use.first + c];
                const size_t at = size_t(std::find(us.begin(), us.end(), slot) - us.begin());
                IrArgument copy = args[xs[at]];
                copy.flags = (copy.flags & ~kValueSourceModifierMask) | (uint32_t(SRCMOD_SIGN) << 16);
                copy.replacement = int32_t(args.size());
                args.push_back(copy);
                slot = int32_t(args.size() - 1);
            }
        for (IrInstruction* dead : {&instructions[i], &second}) {
            dead->op = MakeOp(kOpEmpty, 0);
            dead->inputs.clear();
            dead->outputs.clear();
        }
        changed = true;
        ComputeUses();
    }
    return changed;
}

}  // namespace codegen

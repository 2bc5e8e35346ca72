// Pattern: a scalar result (reciprocal, reciprocal square root, exponent,
// logarithm, dot product) that one move copies into several components of a
// register is computed once, straight into those components: the scalar
// instructions write their result replicated under a write mask, so the
// copy disappears. The components taken over must be neither read nor
// written between the scalar instruction and the move.
#include <algorithm>

#include "shader/backend/codegen/code_generator.h"

namespace codegen {

namespace {

bool ScalarOperation(uint32_t code) {
    switch (code) {
        case kOpReciprocal:
        case kOpRsq:
        case kOpRsqNegated:
        case kOpExp2:
        case kOpLog2:
        case kOpDot: return true;
        default: return false;
    }
}

}  // namespace

void CodeGenerator::ReplicateScalarResults() {
    ComputeUses();
    for (size_t i = 0; i < instructions.size(); ++i) {
        IrInstruction& scalar = instructions[i];
        if (!ScalarOperation(scalar.code()) || scalar.outputs.size() != 1) continue;
        const int32_t result = scalar.outputs[0];
        if (result < 0 || ClassOf(result) != ArgClass::Temp || args[result].lastReader <= int32_t(i)) continue;
        const size_t j = size_t(args[result].lastReader);
        IrInstruction& move = instructions[j];
        if (move.code() != kOpMove) continue;
        // Every read of the result is a component of this move, at least two.
        std::vector<size_t> copies;
        for (size_t c = 0; c < move.inputs.size(); ++c)
            if (move.inputs[c] == result) copies.push_back(c);
        if (copies.size() < 2) continue;
        // No other read of the result, not even through a modifier copy.
        bool ok = true;
        for (const auto& [m, k] : ReadsOf(result, i))
            ok = ok && m == j && move.inputs[k] == result;
        // The copies land in one register, directly addressed: a temporary,
        // or (vertex shaders) an output; of the result's precision class, so
        // that the instruction chosen for the result does not change.
        const RegRef target = RegisterOf(move.outputs[copies[0]]);
        auto lowestClass = [&](int32_t a) {
            const uint32_t p = args[a].flags & kValuePrecisionMask;
            return p ? p & (~p + 1) : uint32_t(kValuePrecisionFull);
        };
        // A clamped result must land in clamped copies, and the copies agree
        // (the instruction saturates all its results or none).
        const bool clampedCopies = Clamped(move.outputs[copies[0]]);
        ok = ok && (clampedCopies || !Clamped(result));
        for (size_t c : copies) {
            const int32_t o = move.outputs[c];
            ok = ok && Clamped(o) == clampedCopies;
            const ArgClass cls = ClassOf(o);
            const RegRef r = RegisterOf(o);
            ok = ok && (cls == ArgClass::Temp || (cls == ArgClass::Output && !IsPixelShader())) &&
                 args[o].relative < 0 && r.valid && r.type == target.type && r.number == target.number &&
                 lowestClass(o) == lowestClass(result);
        }
        // Nothing between reads or writes the components taken over.
        for (size_t m = i + 1; m <= j && ok; ++m) {
            const IrInstruction& between = instructions[m];
            for (size_t k = 0; k < between.inputs.size() && ok; ++k) {
                if (m == j) break;
                const RegRef r = RegisterOf(between.inputs[k]);
                for (size_t c : copies)
                    if (r.type == target.type && r.number == target.number &&
                        r.component == RegisterOf(move.outputs[c]).component)
                        ok = false;
            }
            for (size_t k = 0; k < between.outputs.size() && ok; ++k) {
                const int32_t out = between.outputs[k];
                if (out < 0 || (m == j && std::find(copies.begin(), copies.end(), k) != copies.end())) continue;
                const RegRef r = RegisterOf(out);
                for (size_t c : copies)
                    if (r.type == target.type && r.number == target.number &&
                        r.component == RegisterOf(move.outputs[c]).component)
                        ok = false;
            }
        }
        if (!ok) continue;
        std::vector<int32_t> outputs;
        for (size_t c : copies) outputs.push_back(move.outputs[c]);
        if (scalar.code() == kOpDot) {
            scalar.outputs = outputs;
        } else {
            const int32_t source = scalar.inputs[0];
            scalar.op = MakeOp(scalar.code(), uint32_t(outputs.size()));
            scalar.inputs.assign(outputs.size(), source);
            scalar.outputs = outputs;
        }
        for (size_t k = copies.size(); k-- > 0;) {
            move.inputs.erase(move.inputs.begin() + std::ptrdiff_t(copies[k]));
            move.outputs.erase(move.outputs.begin() + std::ptrdiff_t(copies[k]));
        }
        move.op = move.outputs.empty() ? MakeOp(kOpEmpty, 0) : MakeOp(kOpMove, uint32_t(move.outputs.size()));
        ComputeUses();
    }
}

}  // namespace codegen

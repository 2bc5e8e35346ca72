// Pattern: a three-component vector times the reciprocal square root of its
// dot product with itself is one normalise (0xF2). The multiply becomes the
// normalise; the reciprocal square root and the dot product go away when
// nothing else reads them. Runs after FuseReciprocalSquareRoot, which turns
// the square root and reciprocal that normalize() lowers to into 0xF3.
#include "shader/backend/codegen/code_generator.h"

namespace codegen {

namespace {

constexpr uint32_t kNormalizeWidth = 3;

}  // namespace

void CodeGenerator::FuseNormalize() {
    ComputeUses();
    for (size_t j = 0; j < instructions.size(); ++j) {
        IrInstruction& mul = instructions[j];
        const uint32_t n = mul.count();
        if (mul.code() != kOpMul || n != kNormalizeWidth || mul.inputs.size() != 2 * n) continue;
        for (uint32_t side = 0; side < 2; ++side) {
            // The scale: one reciprocal square root result on every component.
            const int32_t f = mul.inputs[(1 - side) * n];
            bool ok = f >= 0 && ClassOf(f) == ArgClass::Temp && (args[f].flags & kValueSourceModifierMask) == 0 &&
                      !Clamped(f) &&
                      args[f].firstWriter >= 0 && size_t(args[f].firstWriter) < j;
            for (uint32_t c = 1; c < n && ok; ++c) ok = mul.inputs[(1 - side) * n + c] == f;
            if (!ok) continue;
            const size_t r = size_t(args[f].firstWriter);
            const IrInstruction& rsq = instructions[r];
            if (rsq.code() != kOpRsq) continue;
            int32_t d = -1;
            for (size_t k = 0; k < rsq.outputs.size(); ++k)
                if (rsq.outputs[k] == f && k < rsq.inputs.size()) d = rsq.inputs[k];
            if (d < 0 || ClassOf(d) != ArgClass::Temp || (args[d].flags & kValueSourceModifierMask) != 0 || Clamped(d) ||
                args[d].firstWriter < 0 || size_t(args[d].firstWriter) >= r)
                continue;
            const size_t k = size_t(args[d].firstWriter);
            const IrInstruction& dot = instructions[k];
            if (dot.code() != kOpDot || dot.count() != n || dot.inputs.size() != 2 * n || dot.outputs.size() != 1) continue;
            // dot(x, x), and the multiply scales the same x, in any order.
            for (uint32_t c = 0; c < n && ok; ++c) ok = SameValue(dot.inputs[c], k, dot.inputs[n + c], k);
            std::vector<bool> matched(n, false);
            std::vector<int32_t> vector(n);
            for (uint32_t c = 0; c < n && ok; ++c) {
                vector[c] = mul.inputs[side * n + c];
                bool found = false;
                for (uint32_t e = 0; e < n && !found; ++e)
                    if (!matched[e] && SameValue(dot.inputs[e], k, vector[c], j)) matched[e] = found = true;
                ok = found;
            }
            if (!ok) continue;
            mul.op = MakeOp(kOpNormalize, n);
            mul.inputs = vector;
            DropIfUnread(r);
            DropIfUnread(k);
            break;
        }
    }
}

}  // namespace codegen

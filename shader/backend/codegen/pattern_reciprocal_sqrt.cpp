// Pattern: the reciprocal of a square root is one reciprocal square root
// (0xF3); when the square root's input is a negation, the reciprocal square
// root reads the negated value through the negate modifier (0xF4). The
// square root (and the negation) go away when nothing else reads them.
#include "shader/backend/codegen/code_generator.h"

namespace codegen {

void CodeGenerator::FuseReciprocalSquareRoot() {
    ComputeUses();
    for (size_t j = 0; j < instructions.size(); ++j) {
        IrInstruction& rcp = instructions[j];
        const uint32_t n = rcp.count();
        if (rcp.code() != kOpReciprocal || n == 0 || rcp.inputs.size() != n) continue;
        const int32_t first = rcp.inputs[0];
        if (first < 0 || ClassOf(first) != ArgClass::Temp || args[first].firstWriter < 0) continue;
        const size_t i = size_t(args[first].firstWriter);
        if (i >= j || instructions[i].code() != kOpSqrt) continue;
        const IrInstruction& root = instructions[i];
        // Every component reads a result of the same square root, without
        // modifier, and the root's input still holds its value here.
        std::vector<int32_t> sources(n);
        bool ok = true;
        for (uint32_t c = 0; c < n && ok; ++c) {
            const int32_t in = rcp.inputs[c];
            ok = in >= 0 && ClassOf(in) == ArgClass::Temp && args[in].firstWriter == int32_t(i) &&
                 args[in].relative < 0 && (args[in].flags & kValueSourceModifierMask) == 0 && !Clamped(in);
            size_t at = root.outputs.size();
            for (size_t k = 0; ok && k < root.outputs.size(); ++k)
                if (root.outputs[k] == in) at = k;
            ok = ok && at < root.inputs.size();
            if (ok) sources[c] = root.inputs[at];
        }
        if (!ok) continue;
        // A square root of a negation: read the negation's input instead.
        uint32_t code = kOpRsq;
        int32_t negation = -1;
        if (ClassOf(sources[0]) == ArgClass::Temp && args[sources[0]].firstWriter >= 0) {
            const size_t k = size_t(args[sources[0]].firstWriter);
            const IrInstruction& neg = instructions[k];
            std::vector<int32_t> inner(n);
            bool negated = neg.code() == kOpNegate && k < i;
            for (uint32_t c = 0; c < n && negated; ++c) {
                const int32_t s = sources[c];
                negated = (args[s].flags & kValueSourceModifierMask) == 0 && args[s].firstWriter == int32_t(k) &&
                          !Clamped(s);
                size_t at = neg.outputs.size();
                for (size_t m = 0; negated && m < neg.outputs.size(); ++m)
                    if (neg.outputs[m] == s) at = m;
                negated = negated && at < neg.inputs.size();
                if (negated) inner[c] = neg.inputs[at];
                negated = negated && (args[inner[c]].flags & kValueSourceModifierMask) == 0 &&
                          ClassOf(inner[c]) != ArgClass::Sampler;
            }
            if (negated) {
                code = kOpRsqNegated;
                sources = inner;
                negation = int32_t(k);
            }
        }
        // Rewrite, drop what is no longer read, and keep the result only if
        // the sources still hold their values where the rcp stands.
        const size_t from = negation >= 0 ? size_t(negation) : i;
        const IrInstruction savedRcp = rcp, savedRoot = instructions[i];
        const IrInstruction savedNeg = negation >= 0 ? instructions[size_t(negation)] : IrInstruction{};
        instructions[j].op = MakeOp(code, n);
        instructions[j].inputs = sources;
        DropIfUnread(i);
        if (negation >= 0) DropIfUnread(size_t(negation));
        for (uint32_t c = 0; c < n && ok; ++c) ok = HoldsUntil(sources[c], from, j);
        if (ok) continue;
        instructions[j] = savedRcp;
        instructions[i] = savedRoot;
        if (negation >= 0) instructions[size_t(negation)] = savedNeg;
    }
}

}  // namespace codegen

// Emission of the target forms the shared patterns build: reciprocal square
// root, normalise, linear interpolation and distance vector.
#include "shader/backend/codegen/code_generator.h"

namespace codegen {

using namespace gfx::isa;

HRESULT CodeGenerator::EmitReciprocalSquareRoot(size_t index, std::vector<MInst>* out) {
    const size_t before = out->size();
    HRESULT hr = EmitScalarRuns(index, OP_RSQ, out);
    if (FAILED(hr) || instructions[index].code() != kOpRsqNegated) return hr;
    for (size_t k = before; k < out->size(); ++k)
        if ((*out)[k].opcode == OP_RSQ) (*out)[k].src[0].modifier = SRCMOD_NEG;
    return S_OK;
}

HRESULT CodeGenerator::EmitNormalize(size_t index, std::vector<MInst>* out) {
    // nrm scales the x, y, z it reads by the reciprocal length of those
    // three, writing each into the same position: straight into the
    // destination when that is a temporary written at x, y, z in order,
    // else into a scratch register and moved.
    const IrInstruction& inst = instructions[index];
    const size_t n = std::min(inst.outputs.size(), inst.inputs.size());
    if (n == 0 || n > 3) return S_OK;
    static constexpr uint32_t kPositions[4] = {0, 1, 2, 3};
    MOperand src = SourceOf(inst.inputs.data(), n, kPositions);
    const std::vector<std::vector<uint32_t>> groups = DestinationGroups(inst);
    bool direct = groups.size() == 1 && groups[0].size() == n;
    for (size_t c = 0; c < n && direct; ++c) {
        const RegRef d = RegisterOf(inst.outputs[c]);
        direct = d.type == REG_TEMP && d.component == c && args[inst.outputs[c]].relative < 0;
    }
    const uint32_t mask = (1u << n) - 1;
    if (direct) {
        out->push_back(MInst{OP_NRM, true, DestOf(inst.outputs.data(), n), {src}});
        return S_OK;
    }
    uint32_t t;
    HRESULT hr = Scratch(index, &t);
    if (FAILED(hr)) return hr;
    out->push_back(MInst{OP_NRM, true, Temp(t, mask), {src}});
    for (const std::vector<uint32_t>& group : groups) {
        std::vector<int32_t> outs;
        MOperand s = Temp(t);
        s.readMask = 0;
        for (uint32_t c : group) {
            outs.push_back(inst.outputs[c]);
            const uint32_t d = RegisterOf(inst.outputs[c]).component;
            s.swizzle[d] = uint8_t(c);
            s.readMask |= 1u << d;
        }
        s.FillSwizzle();
        out->push_back(MInst{OP_MOV, true, DestOf(outs.data(), outs.size()), {s}});
    }
    return S_OK;
}

HRESULT CodeGenerator::EmitLerp(size_t index, std::vector<MInst>* out) {
    return EmitComponentWise(index, OP_LRP, out, 3);
}

HRESULT CodeGenerator::EmitDistance(size_t index, std::vector<MInst>* out) {
    // Inputs: the first source at positions x, y, z, w, then the second.
    const IrInstruction& inst = instructions[index];
    if (inst.inputs.size() != 8 || inst.outputs.size() != 4) return E_FAIL;
    static constexpr uint32_t kPositions[4] = {0, 1, 2, 3};
    const MOperand a = SourceOf(&inst.inputs[0], 4, kPositions);
    const MOperand b = SourceOf(&inst.inputs[4], 4, kPositions);
    out->push_back(MInst{OP_DST, true, DestOf(inst.outputs.data(), 4), {a, b}});
    return S_OK;
}

}  // namespace codegen

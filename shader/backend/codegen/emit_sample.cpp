// Texture lookups of the models from 2.0 on, vertex (3.0) and pixel: the
// sampler declarations and texld, texldp, texldb, texldl and texldd. A
// lookup writes all four components of a temporary and reads its
// coordinates from a temporary or an input register; what the model cannot
// read as it stands is moved into a temporary first.
#include <algorithm>

#include "shader/backend/codegen/code_generator.h"
#include "shader/backend/codegen/codegen_messages.h"

namespace codegen {

using namespace gfx::isa;

namespace {

uint32_t TextureTypeOf(uint32_t code) {
    const uint32_t dimension = SampleDimensionOf(code);
    return dimension == kSampleVolume ? TEXTURE_VOLUME : dimension == kSampleCube ? TEXTURE_CUBE : TEXTURE_2D;
}

}  // namespace

bool CodeGenerator::ArbitrarySwizzles() const { return (target.features & kFeatureArbitrarySwizzle) != 0; }

HRESULT CodeGenerator::CheckSamplerDimensions() {
    std::map<std::pair<uint32_t, int32_t>, uint32_t> dimension;
    for (const IrInstruction& inst : instructions) {
        if (!IsSampleOp(inst.code()) || inst.inputs.empty()) continue;
        const IrArgument& s = args[inst.inputs[0]];
        auto [it, inserted] = dimension.insert({{s.pool, s.reg}, TextureTypeOf(inst.code())});
        if (!inserted && it->second != TextureTypeOf(inst.code())) {
            Report(&inst.location, codegen_diag::kSamplerMismatch);
            return E_FAIL;
        }
    }
    return S_OK;
}

HRESULT CodeGenerator::EmitSamplerDeclarations() {
    std::map<uint32_t, uint32_t> samplers;
    for (const IrInstruction& inst : instructions)
        if (IsSampleOp(inst.code()) && !inst.inputs.empty())
            samplers[RegisterOf(inst.inputs[0]).number] = TextureTypeOf(inst.code());
    for (const auto& [number, type] : samplers) {
        HRESULT hr = stream_.BeginInstruction(MakeInstruction(OP_DCL));
        if (SUCCEEDED(hr)) hr = stream_.Append(MakeDclSampler(type));
        if (SUCCEEDED(hr)) hr = stream_.Append(MakeDest(REG_SAMPLER, number));
        if (FAILED(hr)) return hr;
        stream_.EndInstruction();
        if (validator_.Active()) validator_.Submit(stream_, nullptr, 0);
    }
    return S_OK;
}

HRESULT CodeGenerator::EmitSample(size_t index, std::vector<MInst>* out) {
    const IrInstruction& inst = instructions[index];
    const uint32_t kind = SampleKindOf(inst.code());
    const bool oneDimensional = SampleDimensionOf(inst.code()) == kSample1D;
    const uint32_t n = inst.count();
    static constexpr uint32_t kPositions[4] = {0, 1, 2, 3};
    // The operands after the sampler: the coordinates, then the gradients.
    // A one-dimensional lookup reads a two-dimensional texture at (u, u).
    auto operand = [&](uint32_t k) {
        MOperand o = SourceOf(&inst.inputs[k * n], std::min<uint32_t>(n, 4), kPositions);
        if (oneDimensional) {
            o.swizzle[1] = o.swizzle[0];
            o.readMask |= 2;
        }
        return o;
    };
    MOperand coords = operand(1);
    std::vector<MOperand> gradients;
    if (kind == kSampleGradients) gradients = {operand(2), operand(3)};
    MOperand sampler;
    sampler.type = REG_SAMPLER;
    sampler.number = RegisterOf(inst.inputs[0]).number;
    uint32_t opcode = kind == kSampleLevel ? OP_TEXLDL : kind == kSampleGradients ? OP_TEXLDD : OP_TEX;
    if (kind == kSampleProjected) opcode |= kTexControlProject << 16;
    if (kind == kSampleBiased) opcode |= kTexControlBias << 16;

    // The result goes straight to a temporary written whole in order, or
    // through a scratch register and a move.
    std::vector<int32_t> outs;
    std::vector<uint32_t> from;
    for (uint32_t c = 0; c < inst.outputs.size(); ++c)
        if (inst.outputs[c] >= 0) {
            outs.push_back(inst.outputs[c]);
            from.push_back(c);
        }
    if (outs.empty()) return S_OK;
    MOperand dest = DestOf(outs.data(), outs.size());
    bool direct = dest.type == REG_TEMP;
    for (size_t k = 0; k < outs.size() && direct; ++k) direct = RegisterOf(outs[k]).component == from[k];
    // The lookup writes all four components: the unwanted ones may be written
    // too when nothing reads them before they are written again.
    for (uint32_t c = 0; c < 4 && direct; ++c)
        if (!(dest.mask & (1u << c))) direct = !ComponentReadLater(index, dest.number, c);
    if (direct) dest.mask = kMaskAll;

    // Coordinates come from a temporary or a texture coordinate, and from
    // 3.0 on from any input register. Swizzled coordinates need a model
    // that reads any swizzle.
    const bool inputs = ((version >> 8) & 0xFF) >= 3;
    const bool readable = coords.type == REG_TEMP || coords.type == REG_TEXTURE || (inputs && coords.type == REG_INPUT);
    bool inOrder = true;
    for (uint32_t i = 0; i < 4; ++i)
        if (coords.readMask & (1u << i)) inOrder &= coords.swizzle[i] == i;
    const bool plain =
        readable && !coords.relative && coords.modifier == SRCMOD_NONE && (inOrder || ArbitrarySwizzles());
    // Coordinates that are not a plain register read are moved first: into
    // the result's own register when the sample writes it whole (unless they
    // or the gradients are read from it), otherwise into the scratch
    // register that then takes the result too.
    auto inDest = [&](const MOperand& o) { return o.type == REG_TEMP && o.number == dest.number; };
    bool destRead = inDest(coords);
    for (const MOperand& g : gradients) destRead |= inDest(g);
    int64_t scratch = -1;
    if (!plain) {
        if (direct && !destRead) {
            MoveInto(dest.number, &coords, out, true);
        } else {
            HRESULT hr = MoveToScratch(index, &coords, out, true);
            if (FAILED(hr)) return hr;
            scratch = coords.number;
        }
    }
    if (inOrder || !plain)
        for (int i = 0; i < 4; ++i) coords.swizzle[i] = uint8_t(i);
    std::vector<MOperand> sources = {coords, sampler};
    sources.insert(sources.end(), gradients.begin(), gradients.end());
    if (direct) {
        out->push_back(MInst{opcode, true, dest, sources});
        return S_OK;
    }
    uint32_t t = uint32_t(scratch);
    if (scratch < 0) {
        HRESULT hr = Scratch(index, &t);
        if (FAILED(hr)) return hr;
    }
    out->push_back(MInst{opcode, true, Temp(t), sources});
    MOperand s = Temp(t);
    s.readMask = 0;
    for (size_t k = 0; k < outs.size(); ++k) {
        const uint32_t d = RegisterOf(outs[k]).component;
        s.swizzle[d] = uint8_t(from[k]);
        s.readMask |= 1u << d;
    }
    s.FillSwizzle();
    out->push_back(MInst{OP_MOV, true, dest, {s}});
    return S_OK;
}

bool CodeGenerator::ComponentReadLater(size_t index, uint32_t number, uint32_t component) const {
    auto names = [&](int32_t arg) {
        if (arg < 0 || ClassOf(arg) != ArgClass::Temp) return false;
        const RegRef r = RegisterOf(arg);
        return r.type == REG_TEMP && r.number == number && r.component == component;
    };
    for (size_t j = index + 1; j < instructions.size(); ++j) {
        for (int32_t in : instructions[j].inputs)
            if (names(in)) return true;
        for (int32_t out : instructions[j].outputs)
            if (names(out)) return false;
    }
    return false;
}

}  // namespace codegen

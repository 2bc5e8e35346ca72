// VsCodeGenerator: vertex shaders for vs_1_1 (vs_1_0 arrives as vs_1_1),
// vs_2_0, vs_2_x and vs_2_sw, and for vs_3_0 and vs_3_sw with the same code.
// Inputs are bound to v registers by semantic and declared with their usage;
// outputs go to oPos, oFog, oPts, oDn and oTn, or from 3.0 on to o registers
// declared with their usage. vs_3_0 reads textures at a given level
// (texldl) through four samplers.
#pragma once

#include "shader/backend/codegen/code_generator.h"

namespace codegen {

class VsCodeGenerator : public CodeGenerator {
public:
    void SetLimits() override;

protected:
    bool IsPixelShader() const override { return false; }
    int TempLimit() const override;
    int SamplerLimit() const override { return DeclaresOutputs() ? 4 : 0; }
    bool WritesLengths() const override { return IsVs2(); }
    HRESULT ResolveSemantics() override;
    HRESULT CheckOutputs() override;
    void ApplyPatterns() override;
    HRESULT EmitDeclarations() override;
    HRESULT LowerInstruction(size_t index, std::vector<MInst>* out) override;
    HRESULT Legalize(size_t index, std::vector<MInst>* insts) override;
    void Peephole(std::vector<MInst>* insts, std::vector<size_t>* origin) override;

private:
    bool IsVs2() const { return (version & 0xFFFF) >= 0x0200; }
    // vs_3_0 and vs_3_sw: declared o registers instead of the fixed outputs.
    bool DeclaresOutputs() const { return (version & 0xFFFF) >= 0x0300; }
    // Binds an output semantic to the next free o register, or to the one
    // that already holds it. False (reported) when the model has no more.
    bool BindOutput(IoRegister* io, const SourceLocation& where);
    HRESULT EmitFraction11(size_t index, std::vector<MInst>* out);
    // exp and log, as expp and logp when every result has the lowest
    // precision class.
    HRESULT EmitExpLog(size_t index, bool exponent, std::vector<MInst>* out);
    // vs_1_1 expp/logp whose wanted result lands in `resultComponent`, for
    // the components `group` of instruction `index`.
    HRESULT EmitPartialScalar11(size_t index, const std::vector<uint32_t>& group, uint32_t opcode,
                                uint32_t resultComponent, std::vector<MInst>* out);

    // Input registers in the order they were assigned: (usage, index) per v.
    std::vector<std::pair<uint32_t, uint32_t>> inputs_;
    // The same for the o registers of vs_3_0, with the components written.
    std::vector<std::pair<uint32_t, uint32_t>> outputs_;
    std::vector<uint32_t> outputMasks_;
    int32_t addressHolds_ = -1;  // the argument a0.x was last loaded from
};

}  // namespace codegen

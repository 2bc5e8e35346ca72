// Ps2CodeGenerator: pixel shaders for ps_2_0 and ps_2_sw. Colour inputs are
// v0-v1, texture coordinates t0-t7, outputs oC0-oC3 and oDepth; samplers are
// declared with the dimension their lookups use. Only the swizzles the model
// allows reach the bytecode: any other is applied by moves first.
#pragma once

#include <set>

#include "shader/backend/codegen/code_generator.h"

namespace codegen {

class Ps2CodeGenerator : public CodeGenerator {
public:
    void SetLimits() override;

protected:
    bool IsPixelShader() const override { return true; }
    int TempLimit() const override { return 12; }
    int SamplerLimit() const override { return 16; }
    bool WritesLengths() const override { return true; }
    HRESULT ResolveSemantics() override;
    HRESULT CheckOutputs() override;
    void ApplyPatterns() override;
    void AddTargetLiterals() override;
    HRESULT EmitDeclarations() override;
    HRESULT LowerInstruction(size_t index, std::vector<MInst>* out) override;
    HRESULT Legalize(size_t index, std::vector<MInst>* insts) override;

    // Texture coordinate inputs the model has.
    virtual int TexcoordLimit() const { return 8; }
    virtual bool Ps1() const { return false; }
    // Whether a swizzle (over the positions in readMask) is one the model
    // accepts; may rewrite the unread positions into an accepted form.
    virtual bool AcceptSwizzle(MOperand* operand) const;

    HRESULT CheckSamplerDimensions();
    HRESULT EmitSample(size_t index, std::vector<MInst>* out);
    HRESULT EmitClip(size_t index, std::vector<MInst>* out);
    HRESULT EmitMinMax(size_t index, bool max, std::vector<MInst>* out);
    HRESULT EmitCompare(size_t index, bool less, std::vector<MInst>* out);

    std::map<std::pair<uint32_t, uint32_t>, uint32_t> inputWidth_;  // (type, number) -> components read
    int32_t compareLiteral_ = -1;  // literal register holding 0 and 1
};

}  // namespace codegen

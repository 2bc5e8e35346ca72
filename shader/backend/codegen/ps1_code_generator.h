// Ps1CodeGenerator: pixel shaders for ps_1_1 to ps_1_4 (ps_1_0 arrives as
// ps_1_1). The models are narrow: t registers are both texture coordinate
// inputs and the results of texture instructions, a sampler is bound to the
// stage of its texture coordinate, r0 is the colour result, literals must lie
// in -1 to 1, and only a few swizzles and write masks exist.
//
// Every lookup becomes a texture stage written ahead of the arithmetic:
// lookups at a texture coordinate read in order use tex / texld; ps_1_1 to
// ps_1_3 match dependent reads onto their texture addressing instructions
// (ps1_dependent_reads.h), ps_1_4 samples them in a second phase after the
// "phase" marker (ps1_phases.cpp). clip of a texture coordinate becomes
// texkill. Replicated x, y or z components, which the models before ps_1_4
// cannot swizzle, go through a dp3 with a selector literal; clamps into 0 to
// 1 become the _sat result modifier. What the models cannot express is
// reported with their messages (X4521 when the temporaries run out).
#pragma once

#include <array>
#include <functional>
#include <vector>

#include "shader/backend/codegen/ps1_dependent_reads.h"
#include "shader/backend/codegen/ps2_code_generator.h"

namespace codegen {

class Ps1CodeGenerator : public Ps2CodeGenerator {
public:
    void SetLimits() override;

protected:
    int TempLimit() const override;
    int TempRegisterCount() const override { return IsPs14() ? 6 : 2; }
    int SamplerLimit() const override { return IsPs14() ? 6 : 4; }
    int ConstantLimit() const override { return 8; }
    bool WritesLengths() const override { return false; }
    int TexcoordLimit() const override { return IsPs14() ? 6 : 4; }
    bool Ps1() const override { return true; }
    bool AcceptSwizzle(MOperand* operand) const override;
    HRESULT ResolveSemantics() override;
    HRESULT EmitDeclarations() override;
    HRESULT LowerInstruction(size_t index, std::vector<MInst>* out) override;
    HRESULT Legalize(size_t index, std::vector<MInst>* insts) override;
    void ApplyPatterns() override;
    void AddTargetLiterals() override;
    HRESULT VectorizeProgram() override;
    void MapTemp(int32_t packed, uint32_t* type, uint32_t* number) const override;
    uint32_t TextureResultType() const override { return IsPs14() ? gfx::isa::REG_TEMP : gfx::isa::REG_TEXTURE; }

private:
    bool IsPs14() const { return (version & 0xFF) == 4; }
    int Minor() const { return int(version & 0xFF); }

    using StageBinder = std::function<HRESULT(IrInstruction&, int32_t)>;
    // Gives every matched dependent read its stage (and the pad stages of
    // texm*), records the stage instructions and drops the arithmetic that
    // computed the coordinates.
    HRESULT PlaceDependentReads(const std::vector<DependentRead>& reads, const std::vector<int32_t>& stageOf,
                                const StageBinder& bindStage);
    // ps_1_4 second phase (ps1_phases.cpp).
    HRESULT CheckSecondPhaseLookup(size_t index);
    bool IsSecondPhaseLookup(const IrInstruction& inst) const;
    void SeparatePhases();
    HRESULT VectorizeForModel();
    HRESULT PackTemporaries(int registers);
    HRESULT OnCopy(const std::function<HRESULT(IntermediateProgram&)>& step);
    MOperand SecondPhaseCoordinate(const IrInstruction& inst, bool* plain) const;
    HRESULT EmitSecondPhase(size_t index, std::vector<MInst>* out);
    // texdp3 / texm3x3 for dot products of texture coordinates with a
    // texture result that arithmetic reads (ps_1_2, ps_1_3).
    void PlaceTexcoordDots(const std::vector<int32_t>& stageOf);
    bool DependsOnColour(size_t index) const;
    // Bit n set: arithmetic (not a lookup) reads texture coordinate n.
    uint32_t TexcoordsReadByArithmetic() const;
    // ps_1_4: the stage of every lookup at a texture coordinate.
    HRESULT PlacePs14Lookups(std::vector<int32_t>* stageOf, const StageBinder& bindStage);
    bool SelectsToClamps();
    // x * 2 - 1 read as whole operands becomes the _bx2 source modifier.
    bool FoldSignedScale();
    // x * 2, x * 4 (x * 8) become a move with the result shift
    // (ps1_result_shift.cpp).
    bool ShiftScaledResults();
    HRESULT EmitShiftedMove(size_t index, std::vector<MInst>* out);
    void DropUnreadLiteralRegisters();
    static int ReplicatedComponent(const MOperand& s);
    void AddSelectorLiterals();

    std::array<int32_t, 3> selectorRegister_{-1, -1, -1};  // literal register of each x/y/z selector
    // Texture addressing instruction of a stage (0: plain tex or texcoord).
    struct StageOp {
        uint32_t opcode = 0;
        int32_t source = -1;       // stage whose result it reads
        bool signedScale = false;  // read with _bx2
        int32_t eye = -1;          // texm3x3spec: argument of the eye vector's x
    };
    std::array<StageOp, 8> stageOps_{};
    std::vector<std::pair<size_t, IrArgument>> eyeArguments_;  // texm3x3spec stage, its eye vector
    std::array<int32_t, 8> texcoordOf_{-1, -1, -1, -1, -1, -1, -1, -1};  // ps_1_4: coordinate each stage samples
    // Register texcoord / texcrd copies each texture coordinate into (the
    // coordinate's own, or in ps_1_4 any register the stages leave free).
    std::array<int32_t, 8> crdRegister_{-1, -1, -1, -1, -1, -1, -1, -1};
    uint32_t stages_ = 0;
    uint32_t kills_ = 0;
    uint32_t secondPhase_ = 0;  // ps_1_4 stages sampled after the phase marker
    bool phaseWritten_ = false;        // texture coordinates tested by texkill       // texture stages sampled (bit per stage)
    uint32_t coordinates_ = 0;  // texture coordinates read by arithmetic
};

}  // namespace codegen

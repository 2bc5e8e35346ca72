// Ps2CodeGenerator: pixel shaders for ps_2_0, ps_2_x and ps_2_sw, and for
// ps_3_0 and ps_3_sw with the same code. Colour inputs are v0-v1, texture
// coordinates t0-t7 (from 3.0 on every input is a v register declared with
// its usage), outputs oC0-oC3 and oDepth; samplers are
// declared with the dimension their lookups use. ps_2_0 reads only a few
// swizzles (any other is applied by moves first); 2_x and 3.0 read any.
#pragma once

#include <set>

#include "shader/backend/codegen/code_generator.h"

namespace codegen {

// Internal errors of the output rules: outputs are written once, by a mov.
inline constexpr Diagnostic kMultipleOutputMoves{4816, false,
                                                 "internal error: compiler emittimg multiple movs to output registers"};
inline constexpr Diagnostic kOutputWriteNotMove{4816, false, "internal error: write to output with instruction other than mov"};

class Ps2CodeGenerator : public CodeGenerator {
public:
    void SetLimits() override;

protected:
    bool IsPixelShader() const override { return true; }
    // ps_2_x and the 3.0 models have thirty-two temporaries.
    int TempLimit() const override { return version == 0xFFFF0201 || (version & 0xFFFF) >= 0x0300 ? 32 : 12; }
    int SamplerLimit() const override { return 16; }
    bool WritesLengths() const override { return true; }
    HRESULT ResolveSemantics() override;
    HRESULT CheckOutputs() override;
    void ApplyPatterns() override;
    void AddTargetLiterals() override;
    HRESULT EmitDeclarations() override;
    HRESULT LowerInstruction(size_t index, std::vector<MInst>* out) override;
    HRESULT Legalize(size_t index, std::vector<MInst>* insts) override;
    void Peephole(std::vector<MInst>* insts, std::vector<size_t>* origin) override;

    // Texture coordinate inputs the model has.
    virtual int TexcoordLimit() const { return 8; }
    virtual bool Ps1() const { return false; }
    // ps_3_0 and ps_3_sw: inputs are v registers declared with their usage.
    bool DeclaresInputs() const { return (version & 0xFFFF) >= 0x0300; }
    // Binds a 3.0 input semantic to the next free v register, or to the one
    // that already holds it; false (reported) when the model has no more.
    bool BindInput(IoRegister* io, const SourceLocation& where);
    // Whether a swizzle (over the positions in readMask) is one the model
    // accepts; may rewrite the unread positions into an accepted form.
    virtual bool AcceptSwizzle(MOperand* operand) const;

    HRESULT EmitClip(size_t index, std::vector<MInst>* out);
    HRESULT EmitMinMax(size_t index, bool max, std::vector<MInst>* out);
    HRESULT EmitCompare(size_t index, bool less, std::vector<MInst>* out);
    HRESULT EmitDot2Add(size_t index, std::vector<MInst>* out);
    // Whether every result of the instruction carries a low or medium
    // precision class (its instructions get the partial precision modifier).
    bool PartialPrecision(const IrInstruction& inst) const;

    // --- Patterns over the packed program (ps2_patterns.cpp) ----------------
    // Puts the saturate modifier on the target instructions that write the
    // results of intermediate instruction `index` when all of them carry
    // kValueSaturate (not on the scratch steps that lead there).
    void SaturateResults(size_t index, std::vector<MInst>* insts) const;
    // The register component an argument names (temporaries and outputs),
    // -1 for anything else.
    int64_t SlotOf(int32_t arg) const;
    // The last instruction before `at` that writes the register component
    // of `arg`, -1 when none does.
    int32_t WriterBefore(size_t at, int32_t arg) const;
    // The instructions that read what `writer` left in the component of its
    // output `out`.
    std::vector<size_t> ReadersOf(size_t writer, int32_t out) const;
    // Whether every result of `writer` is a temporary read only by `allowed`.
    bool OnlyReadBy(size_t writer, const std::vector<size_t>& allowed) const;
    // Whether no instruction strictly between `from` and `to` (other than
    // those in `ignore`) writes the slot, or with `reads` also reads it.
    bool Untouched(int64_t slot, size_t from, size_t to, const std::vector<size_t>& ignore, bool reads) const;
    // Whether argument `a` read at instruction `atA` holds the same value as
    // `b` read at `atB`, with the same source modifier.
    bool SameValue(int32_t a, size_t atA, int32_t b, size_t atB) const;
    bool IsLiteralValue(int32_t arg, double value) const;
    void MakeEmpty(size_t index);
    // Empties an instruction whose results nobody reads any more.
    void RemoveIfUnread(size_t index);
    bool FoldNegationThroughRegisters();
    bool SelectOnComparedValues();
    bool ComparisonsIntoDifferences();
    bool FoldAbsolute();
    bool SelectToMinMax();
    bool FoldSaturate();
    bool FoldDot2Add();
    bool FuseMultiplyAddChains();
    void DropUnreadLiterals();

    std::vector<std::pair<uint32_t, uint32_t>> inputs3_;  // 3.0 models: (usage, index) per v register
    std::map<std::pair<uint32_t, uint32_t>, uint32_t> inputWidth_;  // (type, number) -> components read
    std::map<std::pair<uint32_t, uint32_t>, bool> partialInputs_;   // (type, number) -> partial precision
    int32_t compareLiteral_ = -1;  // literal register holding 0 and 1
    uint32_t compareZero_ = 0, compareOne_ = 1;  // its components holding 0 and 1
};

}  // namespace codegen

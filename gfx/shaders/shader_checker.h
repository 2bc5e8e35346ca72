// Checks a shader token stream one element at a time against the rules of its
// shader version. Shared by ShaderProgram::Create (which checks a whole
// stream) and the validator (which is handed instructions as they are
// written). Each refused element yields one CheckError with a code from
// shader_check_messages.h and a formatted text.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include "gfx/shaders/shader_isa.h"
#include "gfx/shaders/shader_slots.h"

namespace gfx {

// One register parameter with its optional relative address token.
struct DecodedParam {
    DWORD token = 0;
    DWORD type = 0;
    DWORD number = 0;       // constants: the full index 0..8191
    bool relative = false;
    DWORD relToken = 0;     // relative address token (versions 2.0+), or a0.x in vs_1_1
};

// One instruction split into its parts.
struct DecodedInstruction {
    DWORD token = 0;
    DWORD opcode = 0;
    const isa::InstructionInfo* info = nullptr;
    int8_t form = 0;
    size_t offset = 0;      // index of the instruction token in the stream
    size_t size = 0;        // tokens including the instruction token
    bool hasDst = false;
    DecodedParam dst;
    DWORD dclToken = 0;     // usage or texture-type token of dcl
    bool predicated = false;
    DecodedParam pred;
    int srcCount = 0;
    DecodedParam src[4];
    int literalCount = 0;
    DWORD literal[4] = {};
};

struct CheckError {
    int code = 0;           // 0: no error
    std::string text;
    size_t offset = 0;      // token index of the offending element
};

// Upper bound on the tokens scanned when the caller gives no length.
constexpr size_t kMaxShaderTokens = 1u << 20;

class ShaderChecker {
public:
    // Starts checking; the first token must be a version of the expected kind
    // (kindFilter: 0 any, 0xFFFE vertex, 0xFFFF pixel).
    bool Begin(DWORD versionToken, DWORD kindFilter, CheckError* error);

    enum class Element { Instruction, Comment, End };
    // Checks the element starting at tokens[0] (count tokens available) and
    // reports how many tokens it spans. For an instruction, *out is filled.
    bool Next(const DWORD* tokens, size_t count, size_t offset, Element* kind, size_t* consumed,
              DecodedInstruction* out, CheckError* error);
    // Checks what needs the whole program: open blocks, undefined labels.
    bool Finish(CheckError* error);

    isa::Profile Profile() const { return profile_; }
    bool Ended() const { return ended_; }
    // Instruction slots of the instructions checked so far (all phases).
    unsigned ArithmeticSlots() const { return arithmeticSlots_; }
    unsigned TextureSlots() const { return textureSlots_; }

private:
    bool Fail(CheckError* error, size_t offset, int code, ...);
    bool DecodeParam(const DWORD* tokens, size_t count, size_t* pos, bool allowRelToken, DecodedParam* out);
    bool CheckInstruction(const DecodedInstruction& ins, CheckError* error);
    bool CheckDestination(const DecodedInstruction& ins, CheckError* error);
    bool CheckSource(const DecodedInstruction& ins, int index, CheckError* error);
    bool CheckRegisterNumber(const DecodedInstruction& ins, const DecodedParam& p, bool dst, CheckError* error);
    bool CheckRelative(const DecodedInstruction& ins, const DecodedParam& p, bool dst, CheckError* error);
    bool CheckDcl(const DecodedInstruction& ins, CheckError* error);
    bool CheckFlow(const DecodedInstruction& ins, CheckError* error);
    bool CheckPs1Texture(const DecodedInstruction& ins, CheckError* error);
    bool Declared(DWORD type, DWORD number) const;
    // Checks the slots counted so far against the profile's budgets; `where`
    // names the phase for ps_1_4.
    bool CheckSlots(size_t offset, const char* where, CheckError* error);

    isa::Profile profile_ = isa::Profile::VS_1_1;
    bool begun_ = false;
    bool ended_ = false;
    bool pixel_ = false;
    int major_ = 1;
    bool bodyStarted_ = false;    // an instruction other than dcl/def was seen
    bool texStageDone_ = false;   // ps_1_x: an arithmetic instruction was seen (in this phase)
    bool phaseSeen_ = false;
    bool lastWasCoissuable_ = false;
    int padCount_ = 0;            // texm3x2pad / texm3x3pad run length
    DWORD padKind_ = 0;
    DWORD padNextStage_ = 0;
    DWORD padSource_ = 0;
    // Flow control.
    struct Block {
        DWORD opcode;
        bool sawElse;
    };
    std::vector<Block> blocks_;
    bool inSubroutine_ = false;
    bool mainEnded_ = false;
    std::vector<DWORD> labelsDefined_;
    std::vector<DWORD> labelsCalled_;
    // Declarations: bit per register number, per type.
    std::vector<uint32_t> declared_[isa::kRegisterTypeCount];
    std::vector<std::pair<DWORD, DWORD>> declaredSemantics_;  // (type, usage<<8|index) of vs_3_0 / ps_3_0 dcls
    DWORD declaredMask_[2][16] = {};  // version 3: components declared per input / output register
    // Instruction slots: of the whole program, and of the current ps_1_4 phase.
    unsigned arithmeticSlots_ = 0;
    unsigned textureSlots_ = 0;
    isa::SlotCost phaseSlots_;
};

// Counts the instruction slots of a whole program (version token to end
// token) as the budgets count them. False when the stream breaks a rule
// other than a budget before its end (nothing is counted then).
struct SlotCount {
    isa::Profile profile = isa::Profile::VS_1_1;
    unsigned arithmetic = 0;
    unsigned texture = 0;
};
bool CountInstructionSlots(const DWORD* tokens, size_t count, SlotCount* out);

}  // namespace gfx

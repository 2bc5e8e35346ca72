// The instruction slot budgets of the shader models, kept beside the
// instruction table: what each instruction costs in each model and how many
// slots each model allows.
#pragma once

#include <cstdint>

#include "gfx/shaders/shader_isa.h"

namespace gfx::isa {

// Instruction slots. Every shader model limits the instruction slots of a
// program: one budget for all instructions (vertex models, ps_2_x, ps_3_0)
// or separate arithmetic and texture budgets (ps_1_1 to ps_2_0; ps_1_4 per
// phase). A macro instruction (m4x4, nrm, sincos ...) takes several slots;
// dcl, def, defi, defb, label and phase take none.
struct SlotCost {
    uint8_t arithmetic = 0;
    uint8_t texture = 0;  // counted against the texture budget where there is one
    int Total() const { return arithmetic + texture; }
};
// The slots an instruction token's row takes in profile p (co-issue aside).
SlotCost InstructionSlots(const InstructionInfo& row, Profile p);

// The budgets of a profile; kUnlimitedSlots where the model sets none.
constexpr int kUnlimitedSlots = 0x7FFFFFFF;
struct SlotLimits {
    int total;       // all slots together
    int arithmetic;  // arithmetic slots alone
    int texture;     // texture slots alone
    bool perPhase;   // ps_1_4: the arithmetic and texture budgets hold for each phase
};
const SlotLimits& GetSlotLimits(Profile p);

}  // namespace gfx::isa

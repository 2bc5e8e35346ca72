#include "gfx/shaders/shader_slots.h"

namespace gfx::isa {
namespace {

// Instruction slots of the rows whose cost is not one slot (every other
// instruction, nop included, takes one), per model family: vs_1_1, the other
// vertex models, ps_1_1 to ps_1_4, the other pixel models. Where the
// published models leave a count open, the larger reading is taken (texldl,
// dsx and dsy two slots, nop one), so a program that fits here fits every
// device of the model.
struct SlotRow {
    DWORD opcode;
    uint8_t cost[4];
};
constexpr SlotRow kSlotCosts[] = {
    {OP_EXP, {10, 1, 1, 1}},    {OP_LOG, {10, 1, 1, 1}},      {OP_FRC, {3, 1, 1, 1}},
    {OP_LIT, {3, 3, 3, 3}},     {OP_M4x4, {4, 4, 4, 4}},    {OP_M4x3, {3, 3, 3, 3}},      {OP_M3x4, {4, 4, 4, 4}},
    {OP_M3x3, {3, 3, 3, 3}},    {OP_M3x2, {2, 2, 2, 2}},    {OP_LRP, {2, 2, 1, 2}},       {OP_NRM, {3, 3, 3, 3}},
    {OP_POW, {3, 3, 3, 3}},     {OP_CRS, {2, 2, 2, 2}},     {OP_SGN, {3, 3, 3, 3}},       {OP_SINCOS, {8, 8, 8, 8}},
    {OP_DP2ADD, {2, 2, 2, 2}},  {OP_BEM, {2, 2, 2, 2}},     {OP_CALL, {2, 2, 2, 2}},      {OP_CALLNZ, {3, 3, 3, 3}},
    {OP_LOOP, {3, 3, 3, 3}},    {OP_ENDLOOP, {2, 2, 2, 2}}, {OP_REP, {3, 3, 3, 3}},       {OP_ENDREP, {2, 2, 2, 2}},
    {OP_IF, {3, 3, 3, 3}},      {OP_IFC, {3, 3, 3, 3}},     {OP_BREAKC, {3, 3, 3, 3}},    {OP_BREAKP, {3, 3, 3, 3}},
    {OP_TEXLDD, {3, 3, 3, 3}},  {OP_TEXLDL, {2, 2, 2, 2}},  {OP_DSX, {2, 2, 2, 2}},       {OP_DSY, {2, 2, 2, 2}},
    {OP_DCL, {0, 0, 0, 0}},     {OP_DEF, {0, 0, 0, 0}},     {OP_DEFI, {0, 0, 0, 0}},      {OP_DEFB, {0, 0, 0, 0}},
    {OP_LABEL, {0, 0, 0, 0}},   {OP_PHASE, {0, 0, 0, 0}},
};

// Budgets per profile, in profile order. ps_2_x and ps_3_0 have one budget
// for all instructions (the least every device of the model offers); the
// software profiles have none.
constexpr int UL = kUnlimitedSlots;
constexpr SlotLimits kSlotLimits[kProfileCount] = {
    {128, UL, UL, false}, {256, UL, UL, false}, {256, UL, UL, false}, {UL, UL, UL, false},
    {512, UL, UL, false}, {UL, UL, UL, false},  {UL, 8, 4, false},    {UL, 8, 4, false},
    {UL, 8, 4, false},    {UL, 8, 6, true},     {UL, 64, 32, false},  {96, UL, UL, false},
    {UL, UL, UL, false},  {512, UL, UL, false}, {UL, UL, UL, false},
};

// Instructions that read a texture or work on texture coordinates: they use
// the texture budget of the pixel models that have one.
bool IsTextureInstruction(DWORD opcode) {
    return (opcode >= OP_TEXCOORD && opcode <= OP_TEXM3x3VSPEC) || (opcode >= OP_TEXREG2RGB && opcode <= OP_TEXDEPTH) ||
           opcode == OP_TEXLDD || opcode == OP_TEXLDL;
}

}  // namespace

SlotCost InstructionSlots(const InstructionInfo& row, Profile p) {
    const int family = IsVertexProfile(p) ? (p == Profile::VS_1_1 ? 0 : 1) : (IsPs1x(p) ? 2 : 3);
    int cost = 1;
    for (const SlotRow& r : kSlotCosts)
        if (r.opcode == row.opcode()) cost = r.cost[family];
    SlotCost slots;
    if (IsPixelProfile(p) && IsTextureInstruction(row.opcode())) slots.texture = uint8_t(cost);
    else slots.arithmetic = uint8_t(cost);
    return slots;
}

const SlotLimits& GetSlotLimits(Profile p) { return kSlotLimits[ProfileColumn(p)]; }

}  // namespace gfx::isa

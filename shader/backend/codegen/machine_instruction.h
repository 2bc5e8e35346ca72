// One target instruction as the code generators build it before encoding:
// an opcode, an optional destination and the sources, each naming a register
// by its type and full number (constants 0-8191; the encoder splits them into
// the four constant register types). Instructions are kept in this form until
// the target's operand rules (read ports, swizzles, address register loads)
// have been applied, then they are written as tokens.
#pragma once

#include <cstdint>
#include <vector>

#include "gfx/shaders/shader_isa.h"

namespace codegen {

struct MOperand {
    uint32_t type = gfx::isa::REG_TEMP;
    uint32_t number = 0;
    // Destination.
    uint32_t mask = gfx::isa::kMaskAll;
    uint32_t resultModifier = 0;
    int shift = 0;  // ps_1_x result shift: the result times 2^shift
    // Source: the register component read for each position x, y, z, w;
    // `readMask` says which positions the instruction actually reads.
    uint8_t swizzle[4] = {0, 1, 2, 3};
    uint32_t readMask = gfx::isa::kMaskAll;
    uint32_t modifier = gfx::isa::SRCMOD_NONE;
    // Relative addressing through a0; `relativeArg` is the intermediate
    // argument that holds the index, `relativeComponent` the a0 component.
    bool relative = false;
    int32_t relativeArg = -1;
    uint32_t relativeComponent = 0;

    bool IsConstant() const { return type == gfx::isa::REG_CONST; }
    bool SameRegister(const MOperand& o) const {
        return type == o.type && number == o.number && relative == o.relative && relativeArg == o.relativeArg;
    }
    uint32_t SwizzleBits() const {
        return gfx::isa::MakeSwizzle(swizzle[0], swizzle[1], swizzle[2], swizzle[3]);
    }
    // Fills the positions outside `readMask` with the last position read, so
    // that a scalar read replicates.
    void FillSwizzle() {
        int last = -1;
        for (int i = 0; i < 4; ++i)
            if (readMask & (1u << i)) last = swizzle[i];
        if (last < 0) return;
        for (int i = 0; i < 4; ++i)
            if (!(readMask & (1u << i))) swizzle[i] = uint8_t(last);
    }
    void Replicate(uint32_t component) {
        for (uint8_t& s : swizzle) s = uint8_t(component);
        readMask = gfx::isa::kMaskAll;
    }
};

struct MInst {
    uint32_t opcode = gfx::isa::OP_NOP;  // with control bits (texldp, texldb)
    bool hasDest = true;
    MOperand dest;
    std::vector<MOperand> src;
    // Runs only where p0 holds ("(p0) mov"), or where it does not ("(!p0)").
    bool predicated = false;
    bool predicateNot = false;
};

inline MOperand TempOperand(uint32_t number, uint32_t mask = gfx::isa::kMaskAll) {
    MOperand o;
    o.type = gfx::isa::REG_TEMP;
    o.number = number;
    o.mask = mask;
    return o;
}

}  // namespace codegen

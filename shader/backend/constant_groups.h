// Which constant and sampler registers the finished program reads, cut into
// the groups that become records of the constant table: one group per named
// variable piece, from the variable's first register up to the last register
// the program reads (registers after that are not counted).
#pragma once

#include <cstdint>
#include <vector>

#include "shader/backend/intermediate_program.h"

struct ConstantGroup {
    const void* declaration = nullptr;
    const char* name = nullptr;
    bool sampler = false;
    uint32_t firstRegister = 0;
    uint32_t registerCount = 0;
    uint32_t variableFirstRegister = 0;  // where the variable starts (register - offset / 4)
};

// Reads of `floatPool` (constant registers) and `samplerPool` after register
// binding; literal and relatively addressed pieces and registers that belong
// to no named variable are left out. Groups come in register order, float
// registers first (the table sorts them by name).
std::vector<ConstantGroup> CollectConstantGroups(IntermediateProgram& program, uint32_t floatPool,
                                                 uint32_t samplerPool);

// Where each scalar component of a variable lives in registers: a scalar or
// vector takes one register; a matrix one register per row when row-major,
// one per column otherwise; every array element and structure member starts
// a new register.
#pragma once

#include <cstdint>
#include <vector>

#include "shader/frontend/program_tree.h"

namespace hlsl::lowering {

struct RegisterPlace {
    uint32_t reg = 0;
    uint32_t component = 0;
};

// Appends one place per value slot of `type` (in value-slot order) starting
// at register `firstRegister`; returns the number of registers the type
// spans. `packing` is the declaration's matrix packing (0: column-major).
uint32_t LayOutRegisters(const Type* type, uint32_t packing, uint32_t firstRegister,
                         std::vector<RegisterPlace>* places);

// Registers a type spans.
uint32_t RegisterCount(const Type* type, uint32_t packing);

// Whether a type holds an object (sampler, texture ...) anywhere inside.
bool ContainsObject(const Type* type);

// Base types by class.
inline bool IsFloatBase(BaseType b) { return b >= kFloatLiteral && b <= kDouble; }
inline bool IsIntegerBase(BaseType b) { return b >= kIntLiteral && b <= kUint; }

}  // namespace hlsl::lowering

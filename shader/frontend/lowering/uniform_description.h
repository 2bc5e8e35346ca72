// How the constant table describes a variable that the lowering bound to a
// uniform or sampler pool (ArgumentPool::declaration / IrArgument::declaration):
// its type record, with arrays unwrapped into an element count and matrices
// marked by their packing, and its default value when it has a literal
// initial value.
#pragma once

#include <vector>

#include "shader/bytecode/constant_table_block.h"

namespace hlsl {

// False when `declaration` is not a variable declaration.
bool DescribeUniform(const void* declaration, CtabType* type, std::vector<float>* defaultValue);

}  // namespace hlsl

// Lays a constant's initial value out the way its registers hold it, so that
// loading the defaults copies four floats per register straight to the device.
#pragma once

#include <cstdint>
#include <vector>

#include "shader/bytecode/constant_table_block.h"

// `scalars` holds one float per scalar of the initial value in source order
// (array elements in turn, structure members in turn, matrices row by row).
// The result holds `registerCount` registers of four floats, counted from the
// constant's first register: a vector or scalar in one register, a row-major
// matrix by rows, a column-major one by columns, each array element and each
// structure member starting a register of its own; unused components are 0.
std::vector<float> LayDefaultByRegister(const CtabType& type, const std::vector<float>& scalars,
                                        uint32_t registerCount);

// The messages of the intermediate program and its passes: one row each,
// number and text side by side. Rows with number 0 are internal errors and
// print without an X-number.
#pragma once

#include "shader/error_log.h"

namespace backend_diag {

inline constexpr Diagnostic kUninitializedVariable{
    4000, false, "variable '%s' used without having been completely initialized"};
inline constexpr Diagnostic kDivisionByZero{4001, false, "division by zero"};
inline constexpr Diagnostic kIndefiniteLogarithm{4002, false, "indefinite logarithm"};
inline constexpr Diagnostic kImaginarySquareRoot{4003, false, "imaginary square root"};
inline constexpr Diagnostic kExpressionTooComplex{4004, false, "expression too complex"};
inline constexpr Diagnostic kIndefiniteArcsine{4005, false, "indefinite arcsine"};
inline constexpr Diagnostic kIndefiniteArccosine{4006, false, "indefinite arccosine"};
inline constexpr Diagnostic kIndexOutOfBounds{4007, false, "array index out of bounds"};
inline constexpr Diagnostic kNotConverged{0, true, "internal warning: optimization did not converge"};
inline constexpr Diagnostic kArgumentUninitialized{
    0, false, "internal error: argument used without having been initialized (A%u)"};
inline constexpr Diagnostic kOutputUninitialized{0, false, "internal error: output argument was never initialized (A%u)"};
inline constexpr Diagnostic kCannotWritePool{0, false, "internal error: cannot write to argument pool (A%u)"};
inline constexpr Diagnostic kCannotReadPool{0, false, "internal error: cannot read from argument pool (A%u)"};
inline constexpr Diagnostic kArgumentNeverUsed{0, false, "internal error: argument was never used (A%u)"};
inline constexpr Diagnostic kUnknownNode{0, false, "internal error: unknown node"};
// An instruction that names an argument the program does not have.
inline constexpr Diagnostic kMissingArgument{0, false, "internal error: instruction refers to a missing argument (A%d)"};

}  // namespace backend_diag

// Compile-time evaluation of operators and intrinsics over literal operands,
// in double precision, with the checks that report indefinite results.
#pragma once

#include <vector>

#include "shader/error_log.h"
#include "shader/frontend/intrinsics.h"
#include "shader/frontend/program_tree.h"

namespace hlsl {

using Values = std::vector<ConstValue>;

// Folds a unary or binary operator. `operands` hold the components of each
// operand; an operand of one component is replicated. Returns false when the
// expression must be left for run time (operand sizes that do not combine,
// or an operator that does not fold). Diagnostics found on the way (division
// by zero) are appended to `notes`; the value is computed anyway.
bool FoldOperator(Op op, const Type* resultType, const std::vector<const Values*>& operands, Values* out,
                  std::vector<const Diagnostic*>* notes);

// Folds an intrinsic call whose arguments are already converted to the
// signature's parameter types. Returns false for intrinsics left for run time.
bool FoldIntrinsic(IntrinsicId id, const Type* resultType, const std::vector<const Values*>& args, Values* out,
                   std::vector<const Diagnostic*>* notes);

// Literals larger than this stay conversions for run time instead of being
// spelled out component by component.
constexpr uint32_t kMaxLiteralComponents = 65536;

// Converts every component to `to`'s value class; a single component is
// replicated to `to`'s size, a longer list truncated. False when the
// component counts do not fit.
bool ConvertValues(const Values& in, const Type* to, Values* out);

// The literal index or dimension rule: the first component as an unsigned
// integer (floats rounded toward zero after a 1e-6 nudge away from zero).
uint32_t LiteralToUnsigned(const ConstValue& v);

}  // namespace hlsl

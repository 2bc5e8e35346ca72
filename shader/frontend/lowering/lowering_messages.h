// Every message of the lowering: number and text side by side. The texts
// are the system's own and are not reworded.
#pragma once

#include "shader/diagnostics.h"
#include "shader/error_log.h"

namespace hlsl::lowmsg {

// Constructs the lowering cannot express (E_NOTIMPL).
inline constexpr Diagnostic kRecursive{3500, false, "'%s': recursive functions not yet implemented"};
inline constexpr Diagnostic kAsymmetricReturn{3500, false, "asymetric returns from if statements not yet implemented"};
inline constexpr Diagnostic kGeneralLoop{3500, false, "general for/do/while statements are not yet implemented"};
inline constexpr Diagnostic kIntrinsicMissing{3500, false, "intrinsic function '%s' is not yet implemented"};
inline constexpr Diagnostic kNonLinearIndex{3500, false, "non-linear array references not yet implemented"};
inline constexpr Diagnostic kIntermediateIndex{3500, false,
                                               "array references of intermediate arguments not yet implemented"};
inline constexpr Diagnostic kObjectExpression{3500, false, "non-trivial object expressions not yet implemented"};
inline constexpr Diagnostic kObjectInAggregate{
    3500, false, "expressions returning objects in an array or struct not yet implemented"};

inline constexpr Diagnostic kInputMissingSemantic{3502, false, "'%s': input parameter '%s' missing semantics"};
inline constexpr Diagnostic kReturnMissingSemantic{3503, false, "'%s': function return value missing semantics"};
inline constexpr Diagnostic kOutputMissingSemantic{3503, false, "'%s': output parameter '%s' missing semantics"};
inline constexpr Diagnostic kIndexOutOfBounds{3504, false, "array index out of bounds"};
inline constexpr Diagnostic kMustReturn{3507, false, "'%s': function must return a value"};
inline constexpr Diagnostic kOutputNeverAssigned{3508, false, "'%s': output parameter '%s' never assigned a value"};
inline constexpr Diagnostic kTex1DDependent{
    3509, true, "tex1D will considered dependent since texcoord was not declared as at least float2"};
inline constexpr Diagnostic kMissingImplementation{3510, false, "function '%s' missing implementation"};
inline constexpr Diagnostic kProgramTooLarge{
    3511, false, "program too large for %s: unrolled loops and expanded calls give more than %u instructions"};
inline constexpr Diagnostic kTooManyRounds{
    3511, false, "program too large for %s: loops unroll into more than %u iterations in all"};
// A loop whose "[unroll]" attribute cannot be honoured.
inline constexpr Diagnostic kUnrollCountExceeded{
    3512, false, "[unroll(%u)]: the loop runs more than %u times; raise the count or remove the attribute"};
inline constexpr Diagnostic kCannotUnroll{
    3512, false, "[unroll]: the loop cannot be unrolled; it must end on a compile-time constant condition within %d "
                 "iterations"};
// Statement attributes the target cannot honour, and their misuse.
inline constexpr Diagnostic kBranchMerged{
    3513, true, "[branch]: the if cannot be a branch on %s; both arms are computed and merged"};
inline constexpr Diagnostic kLoopUnrolled{3513, true, "[loop]: %s has no loops; the loop is unrolled"};
inline constexpr Diagnostic kLoopTooLong{
    3515, false, "[loop]: the loop runs more than %u times; a loop of known count runs at most %u times as a loop"};
inline constexpr Diagnostic kGradientInBranch{
    3514, false, "gradient-based operations must be moved out of flow control: '%s' inside a branch on a value that "
                 "differs from pixel to pixel (use a lookup with an explicit level or gradients, or [flatten])"};

// An intrinsic whose instruction the target's model lacks (derivatives,
// lookups at a level or with gradients, vertex lookups without a level).
inline constexpr Diagnostic kIntrinsicNeedsModel{4532, false, "'%s' is not supported on %s; it needs %s"};

inline constexpr Diagnostic kUnrecognizedStatement{0, false, "internal error: unrecognized statement"};
inline constexpr Diagnostic kUnrecognizedExpression{0, false, "internal error: unrecognized expression"};
inline constexpr Diagnostic kUnrecognizedValue{0, false, "internal error: unrecognized value"};
inline constexpr Diagnostic kExpressionExpected{0, false, "internal error: expression expected"};
// One row for every stage: the text lives with the compile entry's messages.
inline constexpr const Diagnostic& kOutOfMemory = diag::kOutOfMemory;

}  // namespace hlsl::lowmsg

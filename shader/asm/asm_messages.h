// The assembler's messages: one row each, number and text side by side. The
// texts are the system's own and must not be reworded.
#pragma once

#include "shader/error_log.h"

namespace asmdiag {

inline constexpr Diagnostic kSyntaxError{2000, false, "syntax error : unexpected %s"};
inline constexpr Diagnostic kVersionExpected{2001, false, "shader version expected"};
inline constexpr Diagnostic kFragmentVersion{
    2001, false, "only vs_1_1, vs_2_0, vs_2_x, and vs_2_sw are supported for assembly fragments"};
inline constexpr Diagnostic kUnknownVersion{2002, false, "unrecognized shader version"};
inline constexpr Diagnostic kInvalidMask{2003, false, "invalid mask '%s'"};
inline constexpr Diagnostic kInvalidSwizzle{2004, false, "invalid swizzle '%s'"};
inline constexpr Diagnostic kInvalidRegister{2005, false, "invalid register '%s'"};
inline constexpr Diagnostic kInvalidRegisterIndexed{2005, false, "invalid register '%s[%u]'"};
inline constexpr Diagnostic kInvalidRegisterRelative{2005, false, "invalid register '%s[...]'"};
inline constexpr Diagnostic kVs11AddressRegister{2007, false,
                                                "only a0.x is allowed as a relative address register in vs_1_1"};
inline constexpr Diagnostic kRelativeDestination{
    2008, false, "relative addressing of destination parameters is not supported in this shader version"};
inline constexpr Diagnostic kOneAddressRegister{
    2009, false, "only one address register reference is allowed in a relative address expression"};
inline constexpr Diagnostic kInvalidComplement{2010, false, "invalid complement expression"};
inline constexpr Diagnostic kNegateAndDivide{2011, false, "negate and divide modifiers cannot be combined"};
inline constexpr Diagnostic kComplementWithModifiers{2012, false, "complement cannot be used with other modifiers"};
inline constexpr Diagnostic kSubModifiers{2013, false, "source modifiers incompatible with SUB instruction"};
inline constexpr Diagnostic kDestinationModifiers{2014, false,
                                                  "source modifiers are not allowed on destination parameters"};
inline constexpr Diagnostic kVs10Remapped{2015, true, "vs_1_0 is no longer supported; using vs_1_1"};
inline constexpr Diagnostic kPs10Remapped{2015, true, "ps_1_0 is no longer supported; using ps_1_1"};
inline constexpr Diagnostic kNotWithModifiers{2018, false, "not cannot be used with other modifiers"};
inline constexpr Diagnostic kPredicateModifiers{2019, false, "source modifiers are not allowed on predicates"};
inline constexpr Diagnostic kRelativePredicate{
    2020, false, "relative addressing of predicates is not supported in this shader version"};
inline constexpr Diagnostic kPredicatesUnsupported{2021, false, "predicates are not supported in this shader version"};
inline constexpr Diagnostic kScalarMasked{2022, false, "scalar registers cannot be masked"};
inline constexpr Diagnostic kScalarSwizzled{2022, false, "scalar registers cannot be swizzled"};
inline constexpr Diagnostic kNotInVersion{2023, false, "'%s' is not a valid instruction in this shader version"};
inline constexpr Diagnostic kInvalidModifiers{2024, false, "invalid instruction modifiers '%s'"};
inline constexpr Diagnostic kFragmentCalls{
    2025, false, "call, callnz, label, and ret instructions are not allowed in assembly fragments"};
inline constexpr Diagnostic kFragmentTempMatrix{
    2026, false, "Matrices cannot be specified in temp registers with the fragment linker"};
inline constexpr Diagnostic kCoissueUnsupported{2027, false,
                                                "instruction coissue is not supported in this shader version"};
inline constexpr Diagnostic kPredicationUnsupported{
    2028, false, "instruction predication is not supported in this shader version"};
inline constexpr Diagnostic kComplementUnsupported{2029, false, "complement is not supported in this shader version"};
// Register names of fragments.
inline constexpr Diagnostic kFragmentNumberedRegister{
    2005, false, "temporary and constant registers are not allowed in assembly fragments"};
inline constexpr Diagnostic kFragmentInvalidName{2005, false, "invalid register, input, or constant name '%s'"};
inline constexpr Diagnostic kFragmentInvalidInput{2005, false, "Invalid input register '%s' specified"};
inline constexpr Diagnostic kFragmentInputAddressing{2005, false,
                                                     "addressing operations are not allowed on input registers '%s'"};
inline constexpr Diagnostic kFragmentTempAddressing{2005, false,
                                                    "addressing operations not allowed on temporary registers '%s'"};
inline constexpr Diagnostic kFragmentBadPrefix{
    2005, false,
    "'%s' is not a valid register name.  Registers must start with v_, r_, c_, b_, or i_ depending on the register "
    "type."};
inline constexpr Diagnostic kFragmentUndefinedConstant{2005, false,
                                                       "constant register '%s' must be defined as a variable '%s'"};
inline constexpr Diagnostic kFragmentConstantBounds{
    2005, false, "constant register address out of bounds on constant '%s', size %d, offset %d"};
inline constexpr Diagnostic kFragmentBoolConstant{
    2900, false, "boolean constant register '%s' must be defined as a variable of type bool only"};
inline constexpr Diagnostic kFragmentIntConstant{
    2901, false, "integer constant register '%s' must be defined as a variable of type int3 or int4 only"};
inline constexpr Diagnostic kFragmentInfoTooLarge{2031, false, "fragment info exceeds maximum comment size"};

// Internal failures (no X-number): the parser's stack, and an encoder whose
// token count disagrees with the count worked out from the operands. Running
// out of memory ends the assembly with E_OUTOFMEMORY at the entry point.
inline constexpr Diagnostic kStackOverflow{0, false, "yacc stack overflow"};
inline constexpr Diagnostic kSizeMismatch{0, false, "internal error: instruction size mismatch"};

// The debug-information warning (X2030) is written by the shared program tail.
inline constexpr uint32_t kDebugTooLargeNumber = 2030;

}  // namespace asmdiag

// Every message of the parser and the type checks: number and text side by
// side. Code reports by row (Parser::Error / Parser::Warning); the texts are
// the system's own and are not reworded.
#pragma once

#include "shader/diagnostics.h"
#include "shader/error_log.h"

namespace hlsl::msg {

inline constexpr Diagnostic kSyntaxError{3000, false, "syntax error: unexpected %s"};
inline constexpr Diagnostic kRedefinition{3003, false, "redefinition of '%s'"};
inline constexpr Diagnostic kUndeclared{3004, false, "undeclared identifier '%s'"};
inline constexpr Diagnostic kWrongKind{3005, false, "'%s': identifier represents a %s, not a %s"};
inline constexpr Diagnostic kInvalidUse{3005, false, "invalid use of '%s'"};
inline constexpr Diagnostic kFunctionExtern{3006, false, "'%s': functions cannot be declared 'extern'"};
inline constexpr Diagnostic kCannotBeExtern{3006, false, "'%s': %s cannot be declared 'extern'"};
inline constexpr Diagnostic kCannotBeStatic{3007, false, "'%s': %s cannot be declared 'static'"};
inline constexpr Diagnostic kExternStatic{3007, false, "'%s': extern %s cannot be declared 'static'"};
inline constexpr Diagnostic kUniformStatic{3007, false, "'%s': uniform %s cannot be declared 'static'"};
inline constexpr Diagnostic kCannotBeVolatile{3008, false, "'%s': %s cannot be declared 'volatile'"};
inline constexpr Diagnostic kCannotHaveInit{3009, false, "'%s': %s cannot have %ss"};
inline constexpr Diagnostic kNonNumericUniformInit{3009, false, "'%s': non-numeric uniform %s cannot have %ss"};
inline constexpr Diagnostic kMustBeLiteral{3011, false, "'%s': %s must be a literal expression"};
inline constexpr Diagnostic kMissingInit{3012, false, "'%s': missing %s"};
inline constexpr Diagnostic kFunctionArgCount{3013, false, "'%s': function does not take %u parameter%s"};
inline constexpr Diagnostic kIntrinsicArgCount{3013, false, "'%s': intrinsic function does not take %u parameter%s"};
inline constexpr Diagnostic kConstructorArgCount{3014, false,
                                                 "incorrect number of arguments to numeric-type constructor"};
inline constexpr Diagnostic kCannotConvert{3017, false, "cannot %sconvert from '%s' to '%s'"};
inline constexpr Diagnostic kNamedCannotConvert{3017, false, "'%s': cannot %sconvert from '%s' to '%s'"};
inline constexpr Diagnostic kObjectToNumeric{3017, false, "cannot convert from 'object type' to 'numeric type'"};
inline constexpr Diagnostic kInvalidSubscript{3018, false, "invalid subscript '%s'"};
inline constexpr Diagnostic kFloatExpected{3019, false, "float expected"};
inline constexpr Diagnostic kTypeMismatch{3020, false, "type mismatch"};
inline constexpr Diagnostic kConditionalNumeric{3020, false, "conditional must be numeric"};
inline constexpr Diagnostic kConditionalValues{3020, false, "type mismatch between conditional values"};
inline constexpr Diagnostic kConditionalDimension{3020, false, "dimension of conditional does not match value"};
inline constexpr Diagnostic kArrayExpected{3021, false, "array expected"};
inline constexpr Diagnostic kNumericExpected{3022, false, "scalar, vector, or matrix expected"};
inline constexpr Diagnostic kConstLValue{3025, false, "l-value specifies const object"};
inline constexpr Diagnostic kIndexOutOfBounds{3030, false, "array index out of bounds"};
inline constexpr Diagnostic kImaginarySqrt{3031, false, "imaginary square root"};
inline constexpr Diagnostic kIndefiniteLog{3032, false, "infinite/indefinite log"};
inline constexpr Diagnostic kIndefinitePower{3032, false, "indefinite power"};
inline constexpr Diagnostic kDivisionByZero{3033, false, "division by zero"};
inline constexpr Diagnostic kCannotBeConst{3035, false, "'%s': %s cannot be declared 'const'"};
inline constexpr Diagnostic kParameterRedefinition{3036, false, "redefinition of formal parameter '%s'"};
inline constexpr Diagnostic kConstructorNotNumeric{3037, false, "constructors only defined for numeric base types"};
inline constexpr Diagnostic kReturnNotNumeric{3038, false, "'%s': function return value must be numeric"};
inline constexpr Diagnostic kMustBeNumeric{3038, false, "'%s': %s must be numeric"};
inline constexpr Diagnostic kTargetSpecific{3039, false, "'%s': %s cannot be target specific"};
inline constexpr Diagnostic kCannotHaveAnnotations{3040, false, "'%s': %s cannot have annotations"};
inline constexpr Diagnostic kUnsupportedTarget{3041, false, "unsupported compiler target '%s'"};
inline constexpr Diagnostic kCannotHaveSemantics{3043, false, "'%s': %s cannot have semantics"};
inline constexpr Diagnostic kMissingDefault{3044, false, "'%s': missing default value for parameter '%s'"};
inline constexpr Diagnostic kOutputCannotHaveInit{3045, false, "'%s': output only %s cannot have %ss"};
inline constexpr Diagnostic kConstOutput{3046, false, "'%s': output paramaters cannot be declared 'const'"};
inline constexpr Diagnostic kFunctionUniform{3047, false, "'%s': functions cannot be declared 'uniform'"};
inline constexpr Diagnostic kCannotBeUniform{3047, false, "'%s': %s cannot be declared 'uniform'"};
inline constexpr Diagnostic kDuplicateUsage{3048, false, "duplicate usages specified"};
inline constexpr Diagnostic kScalarExpected{3051, false, "scalar expected"};
inline constexpr Diagnostic kVectorDimRange{3052, false, "vector dimension must be between 1 and %u"};
inline constexpr Diagnostic kMatrixDimRange{3053, false, "matrix dimensions must be between 1 and %u"};
inline constexpr Diagnostic kCannotBeShared{3054, false, "'%s': %s cannot be declared 'shared'"};
inline constexpr Diagnostic kCannotBeInline{3055, false, "'%s': %s cannot be declared 'inline'"};
inline constexpr Diagnostic kArrayDimLiteral{3058, false, "'%s': array dimensions must be literal scalar expressions"};
inline constexpr Diagnostic kArrayDimRange{3059, false, "'%s': array dimension must be between 1 and 65536"};
inline constexpr Diagnostic kVectorDimLiteral{3060, false, "vector dimension must be a literal scalar expression"};
inline constexpr Diagnostic kMatrixDimLiteral{3061, false, "matrix dimensions must be literal scalar expressions"};
inline constexpr Diagnostic kUniformOut{3062, false, "'%s': %s cannot be declared 'uniform out'"};
inline constexpr Diagnostic kObjectLiteralInFunction{3064, false, "object literals are not allowed inside functions"};
inline constexpr Diagnostic kObjectAssignInFunction{3065, false,
                                                    "object assignments are not allowed inside functions"};
inline constexpr Diagnostic kAmbiguousCall{3067, false, "'%s': ambiguous function call"};
inline constexpr Diagnostic kReturnDiffers{3068, false, "'%s': function return value differs from prototype"};
inline constexpr Diagnostic kAlreadyHasBody{3069, false, "'%s' already has a body"};
inline constexpr Diagnostic kIndefiniteAcos{3070, false, "indefinite acos"};
inline constexpr Diagnostic kIndefiniteAsin{3071, false, "indefinite asin"};
inline constexpr Diagnostic kArrayDimExplicit{3072, false, "'%s': array dimensions of %s must be explicit"};
inline constexpr Diagnostic kTypedefDimExplicit{3072, false, "'%s': array dimensions of type must be explicit"};
inline constexpr Diagnostic kSecondaryDimExplicit{3073, false, "'%s': secondary array dimensions must be explicit"};
inline constexpr Diagnostic kImplicitArrayMissing{3074, false, "'%s': implicit array missing %s"};
inline constexpr Diagnostic kImplicitArrayMismatch{3075, false, "'%s': implicit array type does not match %s"};
inline constexpr Diagnostic kVoidSemantic{3076, false, "'%s': void function cannot have a semantic"};
inline constexpr Diagnostic kPackingNotMatrix{3077, false,
                                              "non-matrix types cannot be declared 'row_major' or 'column_major'"};
inline constexpr Diagnostic kLoopVariableConflict{
    3078, true,
    "'%s': loop control variable used outside for-loop scope conflicts with a previous declaration in the outer "
    "scope; most recent definition used"};
inline constexpr Diagnostic kVoidReturnsValue{3079, false, "'%s': void functions cannot return a value"};
inline constexpr Diagnostic kMustReturnValue{3080, false, "'%s': function must return a value"};
inline constexpr Diagnostic kJumpOutsideLoop{3086, false, "'%s' is allowed only inside a for, while or do loop"};
inline constexpr Diagnostic kCommaInStateBlock{
    3081, true, "comma expression used where an initializer list may have been intended"};

// Attributes before statements ("[unroll(4)] for ...").
inline constexpr Diagnostic kUnknownAttribute{3082, true, "'%s': unknown attribute, ignored"};
inline constexpr Diagnostic kMisplacedAttribute{3083, true, "'%s': attribute applies to %s only, ignored"};
inline constexpr Diagnostic kAttributeCount{3084, false,
                                            "'%s': attribute count must be a literal integer greater than zero"};
inline constexpr Diagnostic kAttributeArguments{3084, false, "'%s': attribute takes %s"};
inline constexpr Diagnostic kAttributeConflict{3085, false, "'%s' and '%s' attributes cannot be used together"};

// Internal errors: no number, and they stop the parse.
inline constexpr Diagnostic kProductionFailed{0, false, "internal error: production failed!"};
inline constexpr Diagnostic kUnhandledProduction{0, false, "internal error: unhandled production"};
inline constexpr Diagnostic kStackUnderflow{0, false, "internal error: stack underflow"};
inline constexpr Diagnostic kScopeUnderflow{0, false, "internal error: scope underflow"};
inline constexpr Diagnostic kScopeMissing{0, false, "internal error: scope missing"};
// One row for every stage: the text lives with the compile entry's messages.
inline constexpr const Diagnostic& kOutOfMemory = diag::kOutOfMemory;
inline constexpr Diagnostic kUnknownNode{0, false, "internal error: unknown node"};
inline constexpr Diagnostic kStackOverflow{0, false, "yacc stack overflow"};

}  // namespace hlsl::msg

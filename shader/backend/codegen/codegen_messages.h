// The messages of the vertex and pixel code generators: one row each, number
// and text side by side. Rows with number 0 are internal errors and print
// without an X-number.
#pragma once

#include "shader/error_log.h"

namespace codegen_diag {

// Shared by every generator.
inline constexpr Diagnostic kOverlappingRegister{4500, false, "overlapping register semantics not yet implemented '%c%u'"};
inline constexpr Diagnostic kInvalidInputSemantic{4502, false, "invalid input semantic '%s%d'"};
inline constexpr Diagnostic kInvalidOutputSemantic{4502, false, "invalid output semantic '%s%d'"};
inline constexpr Diagnostic kInvalidInputReference{4502, false, "invalid reference to input semantic '%s%d'"};
inline constexpr Diagnostic kPs1OutputNotImplemented{4502, false, "output semantic '%s%d' not yet implemented in ps_1_x"};
inline constexpr Diagnostic kOverlappingOutputs{4504, false, "overlapping output semantics"};
inline constexpr Diagnostic kTempIndexExceeded{4505, false, "maximum temp register index exceeded"};
inline constexpr Diagnostic kInputIndexExceeded{4506, false, "maximum input register index exceeded"};
inline constexpr Diagnostic kInputsExceeded{4506, false, "maximum number of inputs exceeded"};
inline constexpr Diagnostic kOutputIndexExceeded{4506, false, "maximum output register index exceeded"};
inline constexpr Diagnostic kConstantIndexExceeded{4507, false, "maximum constant register index exceeded"};
inline constexpr Diagnostic kAddressIndexExceeded{4508, false, "maximum address register index exceeded"};
inline constexpr Diagnostic kInvalidRegisterSemantic{4509, false, "invalid register semantic '%s'"};
inline constexpr Diagnostic kSamplersExceeded{
    4510, false, "maximum number of samplers exceeded. %s target can have a maximum of %i samplers"};
inline constexpr Diagnostic kNoRelativeInPixel{4511, false, "relative addressing not allowed for pixel shaders"};
inline constexpr Diagnostic kCannotMapVertex{4532, false, "cannot map expression to vertex shader instruction set"};
inline constexpr Diagnostic kCannotMapPixel{4532, false, "cannot map expression to pixel shader instruction set"};
inline constexpr Diagnostic kNoTextureLookups{4545, false, "%s target does not support texture lookups"};
inline constexpr Diagnostic kSamplerIndexExceeded{4546, false, "maximum sampler register index exceeded"};
inline constexpr Diagnostic kConstantTableTooLarge{4548, false, "constant table info exceeds maximum comment size"};
inline constexpr Diagnostic kInputDeprecated{4705, true, "input semantic '%s' has been deprecated; use '%s%d' instead"};
inline constexpr Diagnostic kOutputDeprecated{4706, true, "output semantic '%s' has been deprecated; use '%s%d' instead"};
inline constexpr Diagnostic kOutputMissingSemantic{0, false, "internal error: output register missing semantic"};
inline constexpr Diagnostic kInputMissingSemantic{0, false, "internal error: input register missing semantic"};
inline constexpr Diagnostic kTooComplex{4004, false, "expression too complex"};

// Vertex shaders.
inline constexpr Diagnostic kPsizeScalar{4540, false, "PSIZE must be a scalar"};
inline constexpr Diagnostic kFogScalar{4540, false, "FOG must be a scalar"};
inline constexpr Diagnostic kPositionIncomplete{4541, false, "vertex shader must minimally write all four components of POSITION"};
inline constexpr Diagnostic kDistanceSourceMismatch{4825, false, "internal error: DST test failure"};
inline constexpr Diagnostic kDistanceDestinationMismatch{4826, false, "internal error: DST test failure"};
inline constexpr Diagnostic kDistanceMultipleWrite{4827, false, "internal error: multiple write to same output"};

// Vertex fragments.
inline constexpr Diagnostic kFragmentMultiRegister{4543, false, "multi-register semantics are not allowed in fragments '%s'"};
inline constexpr Diagnostic kFragmentBindingTooHigh{
    0, false, "Constant variable '%s' bound to register greater than 8191 (%d requested)"};

// Pixel shaders.
inline constexpr Diagnostic kDepthScalar{4528, false, "DEPTH must be a scalar"};
inline constexpr Diagnostic kColorNotFourComponents{4529, false, "COLOR%d must be a four-component vector"};
inline constexpr Diagnostic kColor0Incomplete{4530, false, "pixel shader must minimally write all four components of COLOR0"};
inline constexpr Diagnostic kColorsNotContiguous{4538, false, "COLOR outputs must be contiguous from COLOR0 to COLORn"};
inline constexpr Diagnostic kSamplerMismatch{4539, false, "sampler mismatch: sampler used inconsistently"};
inline constexpr Diagnostic kOverlappingOutputWrites{4821, false, "internal error: overlapping output writes"};

// ps_1_x.
inline constexpr Diagnostic kPs1RelativeAddressing{4511, false, "relative addressing not supported in ps_1_x"};
inline constexpr Diagnostic kPs1TexcoordW{4512, false, "cannot access texture coordinate w-component in ps_1_%d"};
inline constexpr Diagnostic kPs1DependentOnColor{4513, false, "cannot perform dependent texture read which in any way is based on color inputs"};
inline constexpr Diagnostic kPs1LoadNotTexcoord{4513, false, "texture loads or clips cannot be from inputs not marked TEXCOORD"};
inline constexpr Diagnostic kPs1ProgramTooBig{4514, false, "program too big"};
inline constexpr Diagnostic kPs1TooManyLoads{4515, false, "too many texture loads and reads from texcoords"};
inline constexpr Diagnostic kPs1SameTexcoord{4516, false, "cannot read from same texcoord. In ps_1_%i, each sampler must have a unique TEXCOORD"};
inline constexpr Diagnostic kPs1OutOfTemps{4521, false, "program too complex: out of temporary registers"};
inline constexpr Diagnostic kPs1DependentRead{4523, false, "cannot map this dependent texture read to ps_1_%i"};
inline constexpr Diagnostic kPs1Swizzle{4533, false, "cannot map swizzle to ps_1_4"};
inline constexpr Diagnostic kPs1DoubleDependent{4534, false, "cannot perform double dependent texture read in ps_1_x"};
inline constexpr Diagnostic kPs1WriteMasks{4537, false, "unable to emmulate write masks for ps_1_%i shader model"};
inline constexpr Diagnostic kPs1ClipVector{4544, false, "Clip must be from a 3 vector in ps_1_%i"};
inline constexpr Diagnostic kPs1NotSupported{4532, false, "%s%s is not supported on ps_1_%i"};
inline constexpr Diagnostic kPs1Constants{4507, false, "exceeded maximum constant registers"};
inline constexpr Diagnostic kPs1LiteralClamped{4704, true, "literal values outside range -1 to 1 are clamped on all ps_1_x shading models"};
inline constexpr Diagnostic kPs1TexcoordClamped{
    4707, true, "texcoord inputs used directly (that is, other than sampling from textures) in shader body in ps_1_%i are always clamped from 0 to 1"};
inline constexpr Diagnostic kPs1SamplerStage{
    4515, false, "cannot bind sampler to user specified stage, sampler must be bound to %i"};

}  // namespace codegen_diag

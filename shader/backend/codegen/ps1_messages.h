// Messages of the ps_1_x dependent texture read matching, beside the rows
// the other generators share (codegen_messages.h).
#pragma once

#include "shader/error_log.h"

namespace codegen_diag {

inline constexpr Diagnostic kPs1TexmRows{
    4525, false,
    "unable to match texm* because source inputs are not in appropriate texture coordinates. See ps_1_%i assembly "
    "reference for more information"};
inline constexpr Diagnostic kPs1Texreg2ArModifier{
    4535, false, "cannot match to texreg2ar or texreg2gb instruction because cannot have input modifiers"};
inline constexpr Diagnostic kPs1Texreg2RgbModifier{
    4535, false, "cannot match to texreg2rgb instruction because can only have input modifier _bx2"};
inline constexpr Diagnostic kPs1NeedsTexreg2Rgb{
    4536, false, "expression can only be map to texreg2rgb, but this instruction is not supported on 1_%i"};

inline constexpr Diagnostic kPs1SamplerTwice{
    4519, false, "cannot perform texture lookup twice from a user bound or similar array access sampler in ps_1_%i"};
inline constexpr Diagnostic kPs14TexcoordW{
    4512, false, "accessing texture coordinate w-component not yet implemented in ps_1_4"};
inline constexpr Diagnostic kPs1ClipSwizzled{4544, false, "cannot clip from a swizzled vector"};

}  // namespace codegen_diag

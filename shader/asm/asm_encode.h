// Checks one parsed statement against the tables of its profile and encodes
// its tokens: instruction token, dcl usage token, destination with its
// relative address, predicate, sources or literal values.
#pragma once

#include <cstdint>
#include <vector>

#include "gfx/shaders/shader_isa.h"
#include "shader/asm/asm_syntax.h"
#include "shader/error_log.h"

class FragmentNames;

// Appends the statement's tokens to `tokens`; false (nothing appended) after
// reporting its errors. `fragment` (null outside fragment mode) names the
// registers of a vertex shader fragment.
bool EncodeStatement(gfx::isa::Profile profile, const AsmStatement& statement,
                     const std::vector<AsmOperand>& operands, FragmentNames* fragment, ErrorLog& log,
                     std::vector<uint32_t>* tokens);

// Checks one parsed statement against the tables of its profile and encodes
// its tokens: instruction token, dcl usage token, destination with its
// relative address, predicate, sources or literal values.
#pragma once

#include <cstdint>
#include <vector>

#include "gfx/shaders/shader_isa.h"
#include "shader/asm/asm_syntax.h"
#include "shader/error_log.h"

// Appends the statement's tokens to `tokens`; false (nothing appended) after
// reporting its errors.
bool EncodeStatement(gfx::isa::Profile profile, const AsmStatement& statement,
                     const std::vector<AsmOperand>& operands, ErrorLog& log, std::vector<uint32_t>* tokens);

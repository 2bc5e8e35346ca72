// Register operands: the register name with its number, the bracketed relative
// address, the write mask, the swizzle and the source modifiers, each checked
// against the register table of the profile and turned into token fields.
#pragma once

#include "gfx/shaders/shader_isa.h"
#include "shader/asm/asm_syntax.h"
#include "shader/error_log.h"

struct ResolvedRegister {
    const gfx::isa::RegisterInfo* row = nullptr;
    DWORD type = 0;
    DWORD number = 0;
    bool relative = false;
    // The address register of a relative reference: a0 with its component, or aL.
    DWORD addressType = 0;
    DWORD addressComponent = 0;
    // Modifier written as a suffix of the name ("_bx2" ...), SRCMOD_NONE if none.
    DWORD suffixModifier = gfx::isa::SRCMOD_NONE;
    bool hasSuffix = false;
};

// Resolves the register of an operand; false after reporting X2005, X2007 or X2009.
bool ResolveRegister(const AsmOperand& operand, gfx::isa::Profile profile, ErrorLog& log, ResolvedRegister* out);

// Write mask from its letters (x, y, z, w or r, g, b, a, strictly increasing).
bool ParseWriteMask(const char* letters, DWORD* mask);
// Swizzle from one to four letters; missing components repeat the last one.
bool ParseSwizzle(const char* letters, DWORD* swizzle);

// The source modifier of an operand: suffix, negation, not and complement
// combined; false after reporting the conflict.
bool CombineSourceModifier(const AsmOperand& operand, const ResolvedRegister& reg, gfx::isa::Profile profile,
                           ErrorLog& log, DWORD* modifier);

// The relative address token that follows a relatively addressed parameter.
DWORD AddressToken(const ResolvedRegister& reg);

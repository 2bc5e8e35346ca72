// What the assembly grammar hands to the assembler: one statement per line,
// its operands as written. Checking and encoding happen later (asm_encode.cpp),
// so the grammar stays a plain description of the notation.
#pragma once

#include <cstdint>
#include <vector>

#include "shader/error_log.h"

// The bracketed part of a relatively addressed register: "[a0.x + 4]".
struct AsmAddress {
    const char* reg = nullptr;        // "a0", "aL"; null when only numbers were written
    const char* component = nullptr;  // letters after the point, or null
    int registers = 0;                // register terms written (more than one is an error)
    int64_t offset = 0;               // sum of the numbers
};

// One operand. A literal is a number ("def" values, the 1 of "1 - r0"); every
// other operand is a register reference with its modifiers.
struct AsmOperand {
    SourceLocation at;
    bool literal = false;
    double number = 0;     // literal: the value as written, sign applied
    bool integer = false;  // literal: written without a point or exponent
    // Register reference.
    const char* name = nullptr;  // identifier as written: "r0", "c", "r0_bx2", "true"
    bool bracketed = false;
    AsmAddress address;
    const char* bracketSuffix = nullptr;  // "_abs" written after the brackets
    const char* swizzle = nullptr;        // letters after the point, or null
    int negates = 0;                      // leading minus signs
    int nots = 0;                         // leading exclamation marks
    bool complement = false;              // "N - register"
    double complementLiteral = 0;
};

struct AsmStatement {
    SourceLocation at;
    bool coissue = false;
    int predicate = -1;          // operand index of "(p0...)", -1 for none
    const char* name = nullptr;  // instruction name with its suffixes
    std::vector<int> operands;   // operand indices, in order
};

// Semantic value of the grammar's symbols.
struct AsmValue {
    const char* text;  // identifiers
    double number;     // numbers
    bool integer;      // number written as an integer
    int index;         // operand index
    SourceLocation at;
};

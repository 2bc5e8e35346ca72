// Turns shader bytecode back into assembly text: the constant table as a
// comment header ("// Parameters:" and "// Registers:"), the version line, and
// one line per instruction with its modifiers, write mask and swizzles. Every
// version from 1_1 to 3_0 (and the software and 2_x profiles, and vertex
// fragments) is read; malformed input gives an error with the index of the
// token where reading stopped, never a read outside the bytes.
#pragma once

#include <cstddef>
#include <string>

#include "platform/wintypes.h"

struct DisassemblyOptions {
    bool constantTable = true;  // print the constant table header when there is one
};

struct DisassemblyError {
    std::string message;  // what is wrong, e.g. "unknown opcode 123"
    size_t token = 0;     // index of the token where it was found
};

// S_OK with the text; ERR_INVALID_DATA with `error` filled; D3DERR_INVALIDCALL
// for null arguments.
HRESULT DisassembleShader(const void* bytecode, size_t byteSize, const DisassemblyOptions& options,
                          std::string* text, DisassemblyError* error);

// The common tail of every code generator: with the version token, literal
// definitions, declarations and body already in the token stream, insert the
// constant table block and the debug information block after the version
// token, append the end token, finish the validator and copy the tokens out.
// A finished program reads: version, [debug information], constant table,
// defs, dcls, instructions, end.
#pragma once

#include <vector>

#include "shader/error_log.h"
#include "shader/kl_buffer.h"
#include "shader/bytecode/debug_info_block.h"
#include "shader/bytecode/token_stream.h"
#include "shader/bytecode/validator_session.h"

struct ProgramTail {
    const std::vector<uint32_t>* constantTable = nullptr;  // a finished block, or null for none
    DebugInfo* debug = nullptr;  // its instruction records are taken from the stream
    // Number of the warning when the debug information does not fit (4547 in
    // the compiler, 2030 in the assembler).
    uint32_t debugTooLargeNumber = 4547;
};

// Results: S_OK; E_OUTOFMEMORY; E_FAIL when the validator reported an error.
HRESULT FinishProgram(TokenStream& stream, const ProgramTail& tail, ErrorLog* log, ValidatorSession* validator,
                      IKLBuffer** code);

// Copies the tokens into a new buffer of exactly 4 x token count bytes.
HRESULT CopyTokensToBuffer(const TokenStream& stream, IKLBuffer** code);

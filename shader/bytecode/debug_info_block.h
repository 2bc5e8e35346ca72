// Writes the debug information block ("DBUG"): the source text, the source
// files, one record per emitted instruction (line, file, byte offset) and the
// variables with the instructions that write their components.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "platform/wintypes.h"
#include "shader/bytecode/constant_table_block.h"
#include "shader/bytecode/token_stream.h"

struct DebugVariable {
    std::string declaration;  // text of the declaration; empty: none
    std::string name;         // empty: none
    bool hasType = false;
    CtabType type;
    std::vector<DbugWriteRecord> writes;
};

struct DebugInfo {
    const char* creator = kCompilerCreator;
    const char* source = nullptr;  // the source as handed to the compile; null: none
    size_t sourceLength = 0;
    std::vector<std::string> files;
    std::vector<DebugInstructionRecord> instructions;
    std::vector<DebugVariable> variables;
    std::string entryName;  // empty: none
};

// Builds the block into `block`. The instruction byte offsets were taken while
// the program was written; they are moved by (the block's own size +
// `tokensInsertedBefore`) tokens, since the block and the comments inserted
// earlier all sit ahead of the instructions. E_FAIL: too large for a comment
// (the compiler warns X4547 and leaves the block out).
HRESULT BuildDebugInfo(const DebugInfo& info, uint32_t tokensInsertedBefore, std::vector<uint32_t>* block);

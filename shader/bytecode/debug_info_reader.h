// Reads a debug information block ("DBUG") back: the creator, source text,
// files, instruction records and variables with their write records. Every
// offset and count is checked against the block before it is followed, so a
// malformed block gives ERR_INVALID_DATA, never a read outside it.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "platform/wintypes.h"
#include "shader/bytecode/constant_table_layout.h"

struct DebugVariableView {
    std::string declaration;  // empty: none
    std::string name;         // empty: none
    bool hasType = false;
    alignas(4) CtabTypeRecord type{};  // aligned, so its fields can be read by reference
    std::vector<DbugWriteRecord> writes;
};

struct DebugInfoView {
    std::string creator;
    bool hasSource = false;
    std::string source;  // without its terminating NUL
    std::vector<std::string> files;
    std::vector<DbugInstructionRecord> instructions;
    std::vector<DebugVariableView> variables;
    std::string entryName;  // empty: none
};

// `data` and `size` are the block's payload after the tag (as FindCommentBlock
// reports it). S_OK; ERR_INVALID_DATA with `error` saying what is wrong;
// D3DERR_INVALIDCALL for null arguments.
HRESULT ReadDebugInfo(const void* data, uint32_t size, DebugInfoView* info, std::string* error = nullptr);

// Writes the constant table block ("CTAB", or "FINF" for fragments) from a
// description of the program's constants that the code generator collected.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "platform/wintypes.h"
#include "shader/bytecode/comment_block_builder.h"
#include "shader/bytecode/constant_table_layout.h"

struct CtabMember;

// A type as the table describes it. Arrays are already unwrapped into
// `elements`; for a structure the column count is computed from its members.
struct CtabType {
    ParameterClass parameterClass = ParameterClass::Scalar;
    ParameterType parameterType = ParameterType::Float;
    uint16_t rows = 1;
    uint16_t columns = 1;
    uint16_t elements = 1;
    std::vector<CtabMember> members;  // structures only, in declaration order
};

struct CtabMember {
    std::string name;
    CtabType type;
};

// Number of scalar components of one element of `type` (structures summed).
uint32_t CtabScalarCount(const CtabType& type);

struct CtabConstant {
    std::string name;
    RegisterSet registerSet = RegisterSet::Float4;
    uint16_t registerIndex = 0;
    uint16_t registerCount = 0;
    uint16_t reserved = 0;
    CtabType type;
    // Initial value, one float per scalar in source order (empty: none);
    // written laid out by register (four floats each, bool set one each).
    std::vector<float> defaultValue;
};

constexpr char kCompilerCreator[] = "Kiln Shader Compiler";
constexpr char kAssemblerCreator[] = "Kiln Shader Assembler";

struct ConstantTableOptions {
    uint32_t tag = kTagConstantTable;
    uint32_t version = 0;  // the program's version token (0 in fragment info of the assembler)
    const char* creator = kCompilerCreator;
    bool fragmentNames = false;  // names are written as "c_" + name, cut to 254 characters
};

// Adds the type description of `type` (members first, then the member array,
// then the description itself) and reports its offset. Shared with the debug
// information block.
HRESULT AddTypeDescription(CommentBlockBuilder& builder, const CtabType& type, uint32_t* offset);

// Builds the block into `block` (its tokens, comment token first): header,
// record array, then per constant in name order its name, type and default
// value, then the `extras` records in the given order after them, then the
// creator string. `constants` are sorted by name (byte order, stable); the
// extras are written as given. E_FAIL: the block is larger than a comment can
// hold (the compiler reports X4548).
HRESULT BuildConstantTable(const ConstantTableOptions& options, std::vector<CtabConstant> constants,
                           const std::vector<CtabConstant>& extras, std::vector<uint32_t>* block);

// Writes a finished builder into `block`; E_FAIL when it exceeds the limit.
HRESULT WriteBlock(const CommentBlockBuilder& builder, std::vector<uint32_t>* block);

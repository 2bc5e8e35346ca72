// The binary layout of the constant table and debug information blocks, and
// the enumerations their fields use. Every offset stored in a block counts in
// bytes from the start of the block's data (the byte after its tag).
#pragma once

#include <cstdint>

enum class RegisterSet : uint16_t { Bool = 0, Int4 = 1, Float4 = 2, Sampler = 3 };

enum class ParameterClass : uint16_t {
    Scalar = 0,
    Vector = 1,
    MatrixRows = 2,
    MatrixColumns = 3,
    Object = 4,
    Struct = 5,
};

enum class ParameterType : uint16_t {
    Void = 0, Bool, Int, Float, String, Texture, Texture1D, Texture2D, Texture3D, TextureCube,
    Sampler, Sampler1D, Sampler2D, Sampler3D, SamplerCube, PixelShader, VertexShader,
    PixelFragment, VertexFragment,
};

#pragma pack(push, 1)
struct CtabHeader {
    uint32_t size;           // 20
    uint32_t creatorOffset;
    uint32_t version;
    uint32_t constantCount;
    uint32_t constantsOffset;
};
struct CtabConstantRecord {
    uint32_t nameOffset;
    uint16_t registerSet;
    uint16_t registerIndex;
    uint16_t registerCount;
    uint16_t reserved;
    uint32_t typeOffset;
    uint32_t defaultValueOffset;
};
struct CtabTypeRecord {
    uint16_t parameterClass;
    uint16_t parameterType;
    uint16_t rows;
    uint16_t columns;
    uint16_t elements;
    uint16_t structMembers;
    uint32_t structMemberOffset;
};
struct CtabMemberRecord {
    uint32_t nameOffset;
    uint32_t typeOffset;
};
struct DbugHeader {
    uint32_t size;  // 40
    uint32_t creatorOffset;
    uint32_t sourceOffset;
    uint32_t fileCount;
    uint32_t filesOffset;
    uint32_t instructionCount;
    uint32_t instructionsOffset;
    uint32_t variableCount;
    uint32_t variablesOffset;
    uint32_t entryNameOffset;
};
struct DbugInstructionRecord {
    uint16_t line;
    uint16_t fileIndex;
    uint32_t byteOffset;
};
struct DbugVariableRecord {
    uint32_t declarationOffset;
    uint32_t nameOffset;
    uint32_t typeOffset;
    uint32_t writeCount;
    uint32_t writesOffset;
};
struct DbugWriteRecord {
    uint32_t instruction;
    uint16_t components[4];
};
#pragma pack(pop)

static_assert(sizeof(CtabHeader) == 20);
static_assert(sizeof(CtabConstantRecord) == 20);
static_assert(sizeof(CtabTypeRecord) == 16);
static_assert(sizeof(CtabMemberRecord) == 8);
static_assert(sizeof(DbugHeader) == 40);
static_assert(sizeof(DbugInstructionRecord) == 8);
static_assert(sizeof(DbugVariableRecord) == 20);
static_assert(sizeof(DbugWriteRecord) == 12);

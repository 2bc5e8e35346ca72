// Readers that find the descriptive blocks and the declared semantics again in
// finished shader bytecode. Every reader takes the size of the bytecode and
// checks each offset and count it follows against it: malformed bytecode gives
// ERR_INVALID_DATA, never a read outside the given bytes.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "platform/wintypes.h"

// Finds the comment block with `tag`. S_OK: `data` points at the byte after
// the tag and `size` is the payload size without the tag; S_FALSE: no such
// block; D3DERR_INVALIDCALL: null bytecode; ERR_INVALID_DATA: an unknown
// version kind or a block that does not fit.
HRESULT FindCommentBlock(const void* bytecode, size_t byteSize, uint32_t tag, const void** data, uint32_t* size);

// Names of the sampler constants of a pixel shader's constant table (at most
// 16); pointers into the bytecode.
HRESULT ListSamplerNames(const void* bytecode, size_t byteSize, std::vector<const char*>* names);

struct ShaderSemantic {
    uint32_t usage;
    uint32_t usageIndex;
    bool operator==(const ShaderSemantic&) const = default;
};

// Input and output semantics a program declares or uses, in the published
// order for its kind and version. `semantics` may be null to only count.
HRESULT ListInputSemantics(const void* bytecode, size_t byteSize, std::vector<ShaderSemantic>* semantics,
                           uint32_t* count);
HRESULT ListOutputSemantics(const void* bytecode, size_t byteSize, std::vector<ShaderSemantic>* semantics,
                            uint32_t* count);

// The bytes of the constant table block, or an empty 20-byte table (size 20,
// the version token, zeros) when the program has none.
HRESULT ExtractConstantTableBytes(const void* bytecode, size_t byteSize, std::vector<uint8_t>* table);

// The bytes of the debug information block, or a 40-byte header of zeros with
// size 40 when the program has none.
HRESULT ExtractDebugInfoBytes(const void* bytecode, size_t byteSize, std::vector<uint8_t>* info);

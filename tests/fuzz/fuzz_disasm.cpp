// Runs the bytecode block readers and the disassembler over arbitrary bytes.
// Nothing may read outside the input, crash or hang; results are ignored.
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "shader/bytecode/bytecode_reader.h"
#include "shader/bytecode/comment_block_builder.h"
#include "shader/bytecode/disassembler.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    // The readers take the caller's pointer as it is; an odd address must work too.
    std::vector<uint8_t> shifted(size + 1);
    if (size) std::memcpy(shifted.data() + 1, data, size);
    for (const uint8_t* bytes : {data, static_cast<const uint8_t*>(shifted.data() + 1)}) {
        if (!bytes) continue;
        const void* block = nullptr;
        uint32_t blockSize = 0;
        for (uint32_t tag : {kTagConstantTable, kTagDebugInfo, kTagFragmentInfo})
            FindCommentBlock(bytes, size, tag, &block, &blockSize);
        std::vector<const char*> names;
        if (ListSamplerNames(bytes, size, &names) == S_OK) {
            for (const char* name : names) (void)std::strlen(name);
        }
        std::vector<ShaderSemantic> semantics;
        uint32_t count = 0;
        ListInputSemantics(bytes, size, &semantics, &count);
        ListOutputSemantics(bytes, size, nullptr, &count);
        std::vector<uint8_t> copy;
        ExtractConstantTableBytes(bytes, size, &copy);
        ExtractDebugInfoBytes(bytes, size, &copy);
        std::string text;
        DisassemblyError error;
        DisassembleShader(bytes, size, DisassemblyOptions{}, &text, &error);
    }
    return 0;
}

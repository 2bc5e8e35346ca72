// Fuzz target: the assembler over arbitrary text with arbitrary flags. The
// first byte picks the flags (debug information, validation, and now and then
// a bit the assembler must refuse); the rest is the source. Whatever it
// assembles must also disassemble: the two share the instruction tables.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "gfx/exports.h"
#include "shader/bytecode/disassembler.h"
#include "shader/compiler.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0) return 0;
    KilnGfxRegisterExports();  // the validator is part of what runs
    DWORD flags = data[0] & 0x5;
    if (data[0] & 0x80) flags |= DWORD(1) << (data[0] & 0x1F);
    const char* text = reinterpret_cast<const char*>(data + 1);
    IKLBuffer* code = nullptr;
    IKLBuffer* errors = nullptr;
    const HRESULT hr = KLAssembleShader(text, UINT(size - 1), nullptr, nullptr, flags, &code, &errors);
    if (SUCCEEDED(hr) != (code != nullptr)) std::abort();
    if (code) {
        std::string disassembly;
        DisassemblyError error;
        if (FAILED(DisassembleShader(code->GetBufferPointer(), code->GetBufferSize(), DisassemblyOptions{}, &disassembly,
                                     &error))) {
            std::fprintf(stderr, "assembled code does not disassemble: %s at token %zu\n", error.message.c_str(),
                         error.token);
            std::abort();
        }
        code->Release();
    }
    if (errors) errors->Release();
    return 0;
}

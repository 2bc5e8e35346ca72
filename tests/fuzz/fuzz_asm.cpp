// Fuzz target: the assembler over arbitrary text with arbitrary flags. The
// first byte picks the flags (debug information, validation, and now and then
// a bit the assembler must refuse) and, with bit 0x40, fragment mode with a
// fixed constant table context; the rest is the source. Whatever it assembles
// must also disassemble: the two share the instruction tables.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "gfx/exports.h"
#include "shader/asm/assembler.h"
#include "shader/bytecode/disassembler.h"
#include "shader/compiler.h"
#include "shader/preprocess/preprocessor.h"

namespace {

const FragmentContext& Context() {
    static const FragmentContext context = [] {
        FragmentContext c;
        CtabConstant world;
        world.name = "world";
        world.registerIndex = 4;
        world.registerCount = 4;
        world.type.parameterClass = ParameterClass::MatrixRows;
        world.type.rows = world.type.columns = 4;
        c.constants.push_back(world);
        CtabConstant enabled;
        enabled.name = "enabled";
        enabled.registerSet = RegisterSet::Bool;
        enabled.registerCount = 1;
        enabled.type.parameterType = ParameterType::Bool;
        c.constants.push_back(enabled);
        return c;
    }();
    return context;
}

HRESULT AssembleAsFragment(const char* text, size_t size, DWORD flags, IKLBuffer** code) {
    Preprocessor pp;
    HRESULT hr = pp.OpenMemory(text, size, nullptr, nullptr, nullptr);
    if (SUCCEEDED(hr)) hr = AssembleFragment(pp, flags, Context(), code);
    if (SUCCEEDED(hr) && pp.Log().ErrorCount() > 0) hr = ERR_INVALID_DATA;
    if (FAILED(hr) && *code) {
        (*code)->Release();
        *code = nullptr;
    }
    return hr;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0) return 0;
    KilnGfxRegisterExports();  // the validator is part of what runs
    DWORD flags = data[0] & 0x5;
    if (data[0] & 0x80) flags |= DWORD(1) << (data[0] & 0x1F);
    const char* text = reinterpret_cast<const char*>(data + 1);
    IKLBuffer* code = nullptr;
    IKLBuffer* errors = nullptr;
    const HRESULT hr = (data[0] & 0x40) ? AssembleAsFragment(text, size - 1, flags, &code)
                                        : KLAssembleShader(text, UINT(size - 1), nullptr, nullptr, flags, &code, &errors);
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

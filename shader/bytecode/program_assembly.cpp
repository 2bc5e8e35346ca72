#include "shader/bytecode/program_assembly.h"

#include <cstring>

#include "gfx/shaders/shader_isa.h"

HRESULT CopyTokensToBuffer(const TokenStream& stream, IKLBuffer** code) {
    if (!code) return D3DERR_INVALIDCALL;
    *code = nullptr;
    HRESULT hr = KLCreateBuffer(DWORD(stream.Size() * 4), code);
    if (FAILED(hr)) return hr;
    if (stream.Size()) std::memcpy((*code)->GetBufferPointer(), stream.Data(), stream.Size() * 4);
    return S_OK;
}

HRESULT FinishProgram(TokenStream& stream, const ProgramTail& tail, ErrorLog* log, ValidatorSession* validator,
                      IKLBuffer** code) {
    HRESULT hr = S_OK;
    if (tail.constantTable) {
        hr = stream.InsertComment(*tail.constantTable);
        if (FAILED(hr)) return hr;
    }
    if (tail.debug) {
        tail.debug->instructions = stream.DebugRecords();
        std::vector<uint32_t> block;
        hr = BuildDebugInfo(*tail.debug, stream.InsertedTokens(), &block);
        if (hr == E_FAIL) {
            // The same text in the compiler (X4547) and the assembler (X2030).
            if (log)
                log->ReportWarning(nullptr, tail.debugTooLargeNumber,
                                   "debug info exceeds maximum comment size; no debug info emitted");
        } else if (FAILED(hr)) {
            return hr;
        } else {
            hr = stream.InsertComment(block);
            if (FAILED(hr)) return hr;
        }
    }
    hr = stream.Append(gfx::isa::kEndToken);
    if (FAILED(hr)) return hr;
    if (validator) {
        validator->Finish(stream);
        if (validator->Failed()) return E_FAIL;
    }
    return CopyTokensToBuffer(stream, code);
}

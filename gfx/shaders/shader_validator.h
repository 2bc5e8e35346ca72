// The shader validator that the compiler and the assembler find by name:
// "Direct3DShaderValidatorCreate9" exported by "d3d9.dll".
//
// A caller creates the validator, begins a session with a message callback,
// hands it the tokens of each instruction as they are written (the version
// token first, the end token last) and ends the session. Every rejected
// instruction produces one message through the callback, with message type
// kValidatorError and a code from the table in shader_validator.cpp.
//
//   using Create = IDirect3DShaderValidator9* (*)();
//   auto create = reinterpret_cast<Create>(GetProcAddress(
//       GetModuleHandleA("d3d9.dll"), "Direct3DShaderValidatorCreate9"));
//   IDirect3DShaderValidator9* v = create ? create() : nullptr;
#pragma once

#include "platform/wintypes.h"

namespace gfx {

// Message types passed to the callback.
constexpr DWORD kValidatorWarning = 1;
constexpr DWORD kValidatorError = 2;

// Receives one message: source file and line as handed to Instruction (file
// may be null, line 0 when unknown), message type, code, text, and the
// context given to Begin. The return value is ignored.
using ShaderValidatorCallback = HRESULT (*)(const char* file, UINT line, DWORD messageType, DWORD code,
                                            const char* text, void* context);

// Operations in slot order: query (0), add a reference (1), release (2),
// Begin (3), Instruction (4), End (5).
struct IDirect3DShaderValidator9 {
    virtual HRESULT QueryInterface(REFIID riid, void** object) = 0;
    virtual ULONG AddRef() = 0;
    virtual ULONG Release() = 0;
    // Starts a session; any previous session is forgotten. flags: 1 from the
    // compiler, 0 from the assembler (both check the same rules).
    virtual HRESULT Begin(ShaderValidatorCallback callback, void* context, DWORD flags) = 0;
    // Checks `count` tokens: the version token (first call), whole
    // instructions, comments, or the end token. Returns S_OK when they pass,
    // E_FAIL when a message was reported, D3DERR_INVALIDCALL without a session.
    virtual HRESULT Instruction(const char* file, UINT line, const DWORD* tokens, DWORD count) = 0;
    // Finishes the session: checks what only the whole program shows (open
    // if/loop blocks, missing end token). S_OK or E_FAIL.
    virtual HRESULT End() = 0;
};

using ShaderValidatorCreateFn = IDirect3DShaderValidator9* (*)();

// Creates a validator with one reference.
IDirect3DShaderValidator9* Direct3DShaderValidatorCreate9();

// Registers Direct3DShaderValidatorCreate9 as an export of "d3d9.dll".
void RegisterShaderValidatorExport();

}  // namespace gfx

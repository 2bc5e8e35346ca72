// Hands each instruction a generator or the assembler writes to the platform's
// shader validator, if one can be found ("Direct3DShaderValidatorCreate9" of
// "d3d9.dll"), and turns its messages into X(5000 + code) diagnostics. Without
// a validator every operation does nothing.
#pragma once

#include <functional>
#include <string>

#include "gfx/shaders/shader_validator.h"
#include "platform/wintypes.h"
#include "shader/error_log.h"
#include "shader/bytecode/token_stream.h"

class ValidatorSession {
public:
    ValidatorSession() = default;
    ~ValidatorSession();
    ValidatorSession(const ValidatorSession&) = delete;
    ValidatorSession& operator=(const ValidatorSession&) = delete;

    // Finds and begins the validator. `flags`: 1 from the compiler, 0 from the
    // assembler; `reportWarnings`: the assembler also reports warning messages.
    // Returns false when there is no validator (nothing will be checked).
    bool Begin(ErrorLog* log, DWORD flags, bool reportWarnings);
    bool Active() const { return validator_ != nullptr; }

    // Hands over the tokens written since the last hand-off, with the source
    // position of the instruction being emitted (file may be null, line 0).
    void Submit(TokenStream& stream, const char* file, uint32_t line);
    // Hands over the rest (the end token), ends the session unless an error was
    // reported, and releases the validator.
    void Finish(TokenStream& stream);

    // Names what a register holds (e.g. "'weights' is bound to c0 to c39"),
    // or returns an empty string; the validator's message about a register
    // out of range is completed with it, so the author sees which variable
    // does not fit.
    using RegisterNamer = std::function<std::string(char file, uint32_t number)>;
    void SetRegisterNamer(RegisterNamer namer) { namer_ = std::move(namer); }

    // An error came back from the validator.
    bool Failed() const { return failed_; }
    // An error with this code (the validator's own, without the 5000) came back.
    bool FailedWith(DWORD code) const { return code < 64 && (failedCodes_ >> code & 1) != 0; }

private:
    static HRESULT OnMessage(const char* file, UINT line, DWORD type, DWORD code, const char* text, void* context);

    // The message text, completed with the variable of the register it names.
    std::string Described(DWORD code, const char* text) const;

    gfx::IDirect3DShaderValidator9* validator_ = nullptr;
    RegisterNamer namer_;
    ErrorLog* log_ = nullptr;
    bool reportWarnings_ = false;
    bool failed_ = false;
    uint64_t failedCodes_ = 0;
    const char* file_ = nullptr;
    uint32_t line_ = 0;
};

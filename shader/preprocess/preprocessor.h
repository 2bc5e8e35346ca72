// The Preprocessor hands out one Token at a time after executing directives,
// skipping inactive conditional groups, expanding macros and entering and
// leaving included files. It owns the compile's ErrorLog and StringPool, and it
// keeps the numeric locale at "C" and the FPU precision at 53 bits while it
// lives, so number parsing and constant folding do not depend on the caller.
//
// Readers (the parser, the assembler) use it like this:
//   pp.Begin(kModeHlsl);            // open the outermost frame
//   while (pp.NextToken(&t) == S_OK && t.kind != TokenKind::EndOfFile) ...
//   pp.End();
#pragma once

#include <memory>

#include "platform/modules.h"
#include "shader/compiler.h"
#include "shader/error_log.h"
#include "shader/preprocess/token.h"
#include "shader/string_pool.h"

// Matrix packing set by the "pack_matrix" pragma.
enum MatrixPacking : uint32_t {
    kPackingNone = 0,
    kPackingRowMajor = 0x400,
    kPackingColumnMajor = 0x800,
};

class Preprocessor {
public:
    // Nested inputs open at once: the outermost plus 31 includes.
    static constexpr int kMaxInputs = 32;

    Preprocessor();
    ~Preprocessor();
    Preprocessor(const Preprocessor&) = delete;
    Preprocessor& operator=(const Preprocessor&) = delete;

    // Opens the outermost input and defines the predefined and caller macros.
    // Failures (logged as X1507 / X1512): ERR_INVALID_DATA for a file that
    // cannot be opened, the handler's result, E_FAIL for a missing resource.
    HRESULT OpenFile(LPCSTR name, const KLMACRO* macros, IKLInclude* include);
    HRESULT OpenResource(HMODULE module, LPCSTR name, LPCSTR type, const KLMACRO* macros, IKLInclude* include);
    HRESULT OpenResource(HMODULE module, LPCWSTR name, LPCWSTR type, const KLMACRO* macros, IKLInclude* include);
    // `length` of SIZE_MAX means up to the first NUL. `name` (may be null) is
    // the file name used in messages.
    HRESULT OpenMemory(const char* text, size_t length, LPCSTR name, const KLMACRO* macros, IKLInclude* include);

    // Pushes a frame (a bracketed sub-read); the tokenizer mode becomes `mode`.
    HRESULT Begin(uint32_t mode);
    // Next token: S_OK with a token, or a failure (E_FAIL with an end-of-file
    // token once a fatal error ended the stream).
    HRESULT NextToken(Token* token);
    // Discards tokens up to the end of the current frame and pops it.
    // D3DERR_INVALIDCALL without a frame.
    HRESULT End();

    uint32_t CurrentMatrixPacking() const;
    // File name and line of the current input.
    SourceLocation CurrentPosition() const;
    // The unread bytes of the innermost input.
    const char* RemainingText(size_t* bytes) const;

    ErrorLog& Log();
    StringPool& Pool();
    // True once #include failure or #error ended the token stream.
    bool Fatal() const;

    struct State;

private:
    std::unique_ptr<State> state_;
};

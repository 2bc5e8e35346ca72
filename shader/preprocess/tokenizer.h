// Tokenizer: turns the bytes of one input into Tokens, in place (the input is
// never copied whole). The same tokenizer serves the HLSL compiler and the
// assembler; the mode word of each request switches the rules that differ.
#pragma once

#include <cstddef>

#include "shader/error_log.h"
#include "shader/preprocess/token.h"
#include "shader/string_pool.h"

class Tokenizer {
public:
    // `length` of SIZE_MAX means up to the first NUL (0 for a null text).
    // Results: S_OK; E_FAIL for a null text with a length, or a missing pool/log.
    HRESULT Initialize(const char* text, size_t length, const char* fileName, uint32_t firstLine, StringPool* pool,
                       ErrorLog* log);

    // Reads the next token with the given mode bits (TokenizerMode). Always
    // succeeds; problems are logged (X1001-X1007) and tokenizing goes on.
    void Next(uint32_t mode, Token* token);

    // Moves to the next line end (left for the next token), following line
    // continuations and counting their lines.
    void SkipToEndOfLine();

    const char* Position() const { return position_; }
    const char* End() const { return end_; }
    size_t Remaining() const { return static_cast<size_t>(end_ - position_); }
    const char* FileName() const { return fileName_; }
    void SetFileName(const char* name) { fileName_ = name; }
    uint32_t Line() const { return line_; }
    void SetLine(uint32_t line) { line_ = line; }
    // Line ended by the last end-of-line token (the line of its first line feed).
    uint32_t LastLineEnd() const { return lineEndLine_; }
    // True when the next byte is `c` (no white space skipped).
    bool PeekIs(char c) const { return position_ < end_ && *position_ == c; }

private:
    // Skips white space and comments; true when a line end was crossed.
    bool SkipSpace(uint32_t mode);
    bool ReadFloat(Token* token);
    bool ReadCharacter(uint32_t mode, Token* token);
    bool ReadInteger(Token* token);
    bool ReadQuoted(uint32_t mode, char close, TokenKind kind, Token* token);
    bool ReadVersion(Token* token);
    bool ReadIdentifier(Token* token);
    void ReadOperator(Token* token);
    // Decodes one escape after a backslash at position_ (which it passes).
    uint32_t ReadEscape();
    void Report(const Diagnostic& diagnostic, const Token& at);

    const char* position_ = nullptr;
    const char* end_ = nullptr;
    const char* fileName_ = nullptr;
    uint32_t line_ = 0;
    uint32_t lineEndLine_ = 0;  // line on which the last end-of-line token began
    StringPool* pool_ = nullptr;
    ErrorLog* log_ = nullptr;
};

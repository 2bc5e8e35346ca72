// Tokens as the tokenizer makes them and the preprocessor hands them on, the
// tokenizer's mode bits, the keyword tables and the token descriptions used by
// syntax errors.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>

#include "shader/error_log.h"

enum class TokenKind : uint32_t {
    Version = 0,          // dotted shader version, assembler mode only
    Operator = 1,         // punctuation, 1 to 3 characters
    Integer = 2,          // decimal, octal, hex or character literal
    IntegerLong = 3,      // suffix "l"
    IntegerUnsigned = 4,  // suffix "u", alone or with "l"
    Float = 5,            // no suffix
    FloatHalf = 6,        // suffix "h"
    FloatFloat = 7,       // suffix "f"
    FloatLong = 8,        // never made by the tokenizer; known to the parser
    Identifier = 9,
    String = 10,          // "..."
    AngleName = 11,       // <...>, only with angle names enabled
    EndOfLine = 12,
    EndOfFile = 13,
};

constexpr bool IsIntegerKind(TokenKind k) { return k >= TokenKind::Integer && k <= TokenKind::IntegerUnsigned; }
constexpr bool IsFloatKind(TokenKind k) { return k >= TokenKind::Float && k <= TokenKind::FloatLong; }

// Tokenizer mode bits, chosen per request.
enum TokenizerMode : uint32_t {
    kModeHlsl = 0x01,        // set by the HLSL parser's frame; no effect on tokenizing
    kModeAssembler = 0x02,   // ";" comments, dotted version tokens
    kModeRawStrings = 0x04,  // backslash is an ordinary character in strings
    kModeAngleNames = 0x08,  // "<" starts a name that ends at ">"
};

struct Token {
    TokenKind kind = TokenKind::EndOfFile;
    union Value {
        uint32_t integer;  // integer kinds
        double number;     // float kinds
        const char* text;  // identifier, string, angle name (in the StringPool)
        char op[8];        // operator: 1 to 3 characters, NUL-terminated
        uint32_t version;  // version token
    } value{};
    const char* file = nullptr;    // file name of the input at the token's start
    uint32_t line = 0;             // line of the token's start
    const char* source = nullptr;  // first byte of the token in its input
    uint32_t length = 0;           // bytes the token covers (0 for line and file ends)

    SourceLocation Location() const { return SourceLocation{file, line}; }
    bool Is(TokenKind k) const { return kind == k; }
    bool IsOperator(const char* op) const { return kind == TokenKind::Operator && std::strcmp(value.op, op) == 0; }
    bool IsOperator(char c) const { return kind == TokenKind::Operator && value.op[0] == c && value.op[1] == 0; }
    bool IsIdentifier(const char* word) const {
        return kind == TokenKind::Identifier && std::strcmp(value.text, word) == 0;
    }
    bool IsEnd() const { return kind == TokenKind::EndOfLine || kind == TokenKind::EndOfFile; }
};

// How an identifier is classified by the keyword tables.
enum class KeywordClass {
    None,                  // a plain identifier (or a type name, decided by the parser)
    Keyword,               // always a keyword
    ObjectKeyword,         // a keyword except inside state blocks
    CaseInsensitive,       // "asm", "decl", "pass", "technique" in any case
    Reserved,              // the reserved terminal: always a syntax error
};

struct KeywordEntry {
    const char* word;  // canonical spelling (lower case for case-insensitive words)
    KeywordClass cls;
};

// Classifies an identifier. Returns null for a plain identifier; otherwise the
// table row, whose `word` is the canonical spelling the parser can map to its
// terminal (so "TECHNIQUE" yields the row "technique").
const KeywordEntry* FindKeyword(const char* word);

// Describes a token in a syntax error: "token '+'", "integer '5'", "end of
// line"... With `parserStyle`, integer kinds read "integer constant" and float
// kinds "float constant". Writes at most `size` bytes (NUL included).
void DescribeToken(const Token& token, bool parserStyle, char* out, size_t size);

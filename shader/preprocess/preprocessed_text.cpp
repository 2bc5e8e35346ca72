#include "shader/preprocess/preprocessed_text.h"

#include <cstdio>
#include <cstring>

namespace {

// Blank lines up to this many are written out; longer gaps get a marker.
constexpr uint32_t kMaxPadding = 8;

std::string Quote(const char* text, char quote) {
    std::string out(1, quote);
    for (const char* p = text; *p; ++p) {
        unsigned char c = static_cast<unsigned char>(*p);
        if (c == '\\' || c == static_cast<unsigned char>(quote)) {
            out.push_back('\\');
            out.push_back(static_cast<char>(c));
        } else if (c == '\n') {
            out += "\\n";
        } else if (c < 0x20 || c == 0x7F) {
            char octal[8];
            std::snprintf(octal, sizeof octal, "\\%03o", c);
            out += octal;
        } else {
            out.push_back(static_cast<char>(c));
        }
    }
    out.push_back(quote);
    return out;
}

}  // namespace

std::string TokenSpelling(const Token& token) {
    switch (token.kind) {
        case TokenKind::Identifier: return token.value.text;
        case TokenKind::Operator: return token.value.op;
        case TokenKind::String: return Quote(token.value.text, '"');
        case TokenKind::AngleName: return std::string("<") + token.value.text + ">";
        case TokenKind::Integer:
        case TokenKind::IntegerLong:
        case TokenKind::IntegerUnsigned:
            // Literals keep their spelling; values made by __LINE__ have none.
            if (token.source && token.length && token.source[0] != '_') return std::string(token.source, token.length);
            return std::to_string(token.value.integer) +
                   (token.kind == TokenKind::IntegerUnsigned ? "u" : token.kind == TokenKind::IntegerLong ? "l" : "");
        default:
            if (token.source && token.length) return std::string(token.source, token.length);
            return std::string();
    }
}

HRESULT WritePreprocessedText(Preprocessor& preprocessor, std::string* out) {
    HRESULT hr = preprocessor.Begin(kModeHlsl);
    if (FAILED(hr)) return hr;
    const char* file = nullptr;
    uint32_t line = 1;
    bool atLineStart = true;
    bool first = true;
    const char* previousEnd = nullptr;
    for (;;) {
        Token token;
        hr = preprocessor.NextToken(&token);
        if (FAILED(hr) || token.kind == TokenKind::EndOfFile) break;
        if (token.kind == TokenKind::EndOfLine) continue;
        uint32_t wanted = token.line ? token.line : 1;
        bool sameFile = file == token.file || (file && token.file && std::strcmp(file, token.file) == 0);
        if (first || !sameFile || wanted < line || wanted - line > kMaxPadding) {
            if (!atLineStart) out->push_back('\n');
            // The first line of a file is marked as line 1 when the gap is short,
            // so the output keeps one line per source line from the top.
            if (!sameFile && wanted <= kMaxPadding + 1) wanted = 1;
            if (!first || wanted != 1 || token.file) {
                *out += "#line " + std::to_string(wanted);
                if (token.file) *out += " " + Quote(token.file, '"');
                out->push_back('\n');
            }
            file = token.file;
            line = wanted;
            atLineStart = true;
            wanted = token.line ? token.line : 1;
        }
        while (line < wanted) {
            out->push_back('\n');
            ++line;
            atLineStart = true;
        }
        if (!atLineStart && token.source != previousEnd) out->push_back(' ');
        *out += TokenSpelling(token);
        previousEnd = token.source ? token.source + token.length : nullptr;
        atLineStart = false;
        first = false;
    }
    if (!atLineStart) out->push_back('\n');
    preprocessor.End();
    return hr;
}

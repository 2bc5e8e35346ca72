#include "shader/preprocess/token.h"

#include <algorithm>
#include <cstdio>
#include <iterator>
#include <strings.h>

namespace {

// Case-sensitive words, sorted in byte order for binary search.
constexpr KeywordEntry kKeywords[] = {
    {"asm_fragment", KeywordClass::Keyword},
    {"auto", KeywordClass::Reserved},
    {"bool", KeywordClass::Keyword},
    {"break", KeywordClass::Keyword},
    {"case", KeywordClass::Reserved},
    {"catch", KeywordClass::Reserved},
    {"char", KeywordClass::Reserved},
    {"class", KeywordClass::Reserved},
    {"column_major", KeywordClass::Keyword},
    {"compile", KeywordClass::Keyword},
    {"compile_fragment", KeywordClass::Keyword},
    {"const", KeywordClass::Keyword},
    {"const_cast", KeywordClass::Reserved},
    {"continue", KeywordClass::Keyword},
    {"default", KeywordClass::Reserved},
    {"delete", KeywordClass::Reserved},
    {"do", KeywordClass::Keyword},
    {"double", KeywordClass::Keyword},
    {"dynamic_cast", KeywordClass::Reserved},
    {"else", KeywordClass::Keyword},
    {"enum", KeywordClass::Reserved},
    {"explicit", KeywordClass::Reserved},
    {"extern", KeywordClass::Keyword},
    {"false", KeywordClass::Keyword},
    {"float", KeywordClass::Keyword},
    {"for", KeywordClass::Keyword},
    {"friend", KeywordClass::Reserved},
    {"goto", KeywordClass::Reserved},
    {"half", KeywordClass::Keyword},
    {"if", KeywordClass::Keyword},
    {"in", KeywordClass::Keyword},
    {"inline", KeywordClass::Keyword},
    {"inout", KeywordClass::Keyword},
    {"int", KeywordClass::Keyword},
    {"long", KeywordClass::Reserved},
    {"matrix", KeywordClass::Keyword},
    {"mutable", KeywordClass::Reserved},
    {"namespace", KeywordClass::Reserved},
    {"new", KeywordClass::Reserved},
    {"operator", KeywordClass::Reserved},
    {"out", KeywordClass::Keyword},
    {"pixelfragment", KeywordClass::Keyword},
    {"pixelshader", KeywordClass::ObjectKeyword},
    {"private", KeywordClass::Reserved},
    {"protected", KeywordClass::Reserved},
    {"public", KeywordClass::Reserved},
    {"register", KeywordClass::Keyword},
    {"reinterpret_cast", KeywordClass::Reserved},
    {"return", KeywordClass::Keyword},
    {"row_major", KeywordClass::Keyword},
    {"sampler", KeywordClass::ObjectKeyword},
    {"sampler1D", KeywordClass::Keyword},
    {"sampler2D", KeywordClass::Keyword},
    {"sampler3D", KeywordClass::Keyword},
    {"samplerCUBE", KeywordClass::Keyword},
    {"sampler_state", KeywordClass::Keyword},
    {"shared", KeywordClass::Keyword},
    {"short", KeywordClass::Reserved},
    {"signed", KeywordClass::Reserved},
    {"sizeof", KeywordClass::Reserved},
    {"static", KeywordClass::Keyword},
    {"static_cast", KeywordClass::Reserved},
    {"string", KeywordClass::Keyword},
    {"struct", KeywordClass::Keyword},
    {"switch", KeywordClass::Reserved},
    {"template", KeywordClass::Reserved},
    {"texture", KeywordClass::ObjectKeyword},
    {"texture1D", KeywordClass::Keyword},
    {"texture2D", KeywordClass::Keyword},
    {"texture3D", KeywordClass::Keyword},
    {"textureCUBE", KeywordClass::Keyword},
    {"this", KeywordClass::Reserved},
    {"throw", KeywordClass::Reserved},
    {"true", KeywordClass::Keyword},
    {"try", KeywordClass::Reserved},
    {"typedef", KeywordClass::Keyword},
    {"typename", KeywordClass::Reserved},
    {"uniform", KeywordClass::Keyword},
    {"union", KeywordClass::Reserved},
    {"unsigned", KeywordClass::Reserved},
    {"using", KeywordClass::Reserved},
    {"vector", KeywordClass::Keyword},
    {"vertexfragment", KeywordClass::Keyword},
    {"vertexshader", KeywordClass::ObjectKeyword},
    {"virtual", KeywordClass::Reserved},
    {"void", KeywordClass::Keyword},
    {"volatile", KeywordClass::Keyword},
    {"while", KeywordClass::Keyword},
};

// Checked only when the word is none of the above, in any letter case.
constexpr KeywordEntry kCaseInsensitive[] = {
    {"asm", KeywordClass::CaseInsensitive},
    {"decl", KeywordClass::CaseInsensitive},
    {"pass", KeywordClass::CaseInsensitive},
    {"technique", KeywordClass::CaseInsensitive},
};

}  // namespace

const KeywordEntry* FindKeyword(const char* word) {
    if (!word) return nullptr;
    auto at = std::lower_bound(std::begin(kKeywords), std::end(kKeywords), word,
                               [](const KeywordEntry& e, const char* w) { return std::strcmp(e.word, w) < 0; });
    if (at != std::end(kKeywords) && std::strcmp(at->word, word) == 0) return at;
    for (const KeywordEntry& entry : kCaseInsensitive) {
        if (strcasecmp(entry.word, word) == 0) return &entry;
    }
    return nullptr;
}

void DescribeToken(const Token& token, bool parserStyle, char* out, size_t size) {
    if (!out || size == 0) return;
    const double f = token.value.number;
    const uint32_t n = token.value.integer;
    if (parserStyle && IsIntegerKind(token.kind)) {
        std::snprintf(out, size, "integer constant");
        return;
    }
    if (parserStyle && IsFloatKind(token.kind)) {
        std::snprintf(out, size, "float constant");
        return;
    }
    switch (token.kind) {
        case TokenKind::Version: std::snprintf(out, size, "version token"); break;
        case TokenKind::Operator: std::snprintf(out, size, "token '%s'", token.value.op); break;
        case TokenKind::Integer: std::snprintf(out, size, "integer '%u'", n); break;
        case TokenKind::IntegerLong: std::snprintf(out, size, "integer '%dl'", static_cast<int32_t>(n)); break;
        case TokenKind::IntegerUnsigned: std::snprintf(out, size, "integer '%uul'", n); break;
        case TokenKind::Float: std::snprintf(out, size, "float '%g'", f); break;
        case TokenKind::FloatHalf: std::snprintf(out, size, "float '%gh'", f); break;
        case TokenKind::FloatFloat: std::snprintf(out, size, "float '%gf'", f); break;
        case TokenKind::FloatLong: std::snprintf(out, size, "float '%gl'", f); break;
        case TokenKind::Identifier: std::snprintf(out, size, "token '%s'", token.value.text); break;
        case TokenKind::String: std::snprintf(out, size, "string constant"); break;
        case TokenKind::EndOfLine: std::snprintf(out, size, "end of line"); break;
        case TokenKind::EndOfFile: std::snprintf(out, size, "end of file"); break;
        default: std::snprintf(out, size, "token"); break;
    }
}

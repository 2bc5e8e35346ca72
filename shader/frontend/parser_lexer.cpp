// Maps the preprocessor's tokens to the grammar's terminals: keywords,
// operators, literals, and identifiers that name types.
#include <cstring>
#include <string>
#include <strings.h>

#include "shader/frontend/hlsl.tab.h"
#include "shader/frontend/messages.h"
#include "shader/frontend/parser.h"
#include "shader/preprocess/preprocessor.h"

namespace hlsl {
namespace {

struct KeywordTerminal {
    const char* word;  // canonical spelling, as the keyword table gives it
    int terminal;
    uint32_t usage;    // storage-class bit carried by usage keywords
};

const KeywordTerminal kKeywordTerminals[] = {
    {"asm", TK_ASM, 0},
    {"asm_fragment", TK_ASM_FRAGMENT, 0},
    {"bool", TK_BOOL, 0},
    {"break", TK_BREAK, 0},
    {"column_major", TK_COLUMN_MAJOR, kUsageColumnMajor},
    {"compile", TK_COMPILE, 0},
    {"compile_fragment", TK_COMPILE_FRAGMENT, 0},
    {"const", TK_CONST, kUsageConst},
    {"continue", TK_CONTINUE, 0},
    {"decl", TK_DECL, 0},
    {"do", TK_DO, 0},
    {"double", TK_DOUBLE, 0},
    {"else", TK_ELSE, 0},
    {"extern", TK_EXTERN, kUsageExtern},
    {"false", TK_FALSE, 0},
    {"float", TK_FLOAT, 0},
    {"for", TK_FOR, 0},
    {"half", TK_HALF, 0},
    {"if", TK_IF, 0},
    {"in", TK_IN, kUsageIn},
    {"inline", TK_INLINE, kUsageInline},
    {"inout", TK_INOUT, kUsageInOut},
    {"int", TK_INT, 0},
    {"matrix", TK_MATRIX, 0},
    {"out", TK_OUT, kUsageOut},
    {"pass", TK_PASS, 0},
    {"pixelfragment", TK_PIXELFRAGMENT, 0},
    {"pixelshader", TK_PIXELSHADER, 0},
    {"register", TK_REGISTER, 0},
    {"return", TK_RETURN, 0},
    {"row_major", TK_ROW_MAJOR, kUsageRowMajor},
    {"sampler", TK_SAMPLER, 0},
    {"sampler1D", TK_SAMPLER1D, 0},
    {"sampler2D", TK_SAMPLER2D, 0},
    {"sampler3D", TK_SAMPLER3D, 0},
    {"samplerCUBE", TK_SAMPLERCUBE, 0},
    {"sampler_state", TK_SAMPLER_STATE, 0},
    {"shared", TK_SHARED, kUsageShared},
    {"static", TK_STATIC, kUsageStatic},
    {"string", TK_STRING, 0},
    {"struct", TK_STRUCT, 0},
    {"technique", TK_TECHNIQUE, 0},
    {"texture", TK_TEXTURE, 0},
    {"texture1D", TK_TEXTURE1D, 0},
    {"texture2D", TK_TEXTURE2D, 0},
    {"texture3D", TK_TEXTURE3D, 0},
    {"textureCUBE", TK_TEXTURECUBE, 0},
    {"true", TK_TRUE, 0},
    {"typedef", TK_TYPEDEF, 0},
    {"uniform", TK_UNIFORM, kUsageUniform},
    {"vector", TK_VECTOR, 0},
    {"vertexfragment", TK_VERTEXFRAGMENT, 0},
    {"vertexshader", TK_VERTEXSHADER, 0},
    {"void", TK_VOID, 0},
    {"volatile", TK_VOLATILE, kUsageVolatile},
    {"while", TK_WHILE, 0},
};

const KeywordTerminal* FindKeywordTerminal(const char* canonical) {
    for (const KeywordTerminal& k : kKeywordTerminals)
        if (std::strcmp(k.word, canonical) == 0) return &k;
    return nullptr;
}

struct OperatorTerminal {
    const char* op;
    int terminal;
};

const OperatorTerminal kOperators[] = {
    {"++", TK_INC},        {"--", TK_DEC},        {"<=", TK_LE_OP},      {">=", TK_GE_OP},
    {"==", TK_EQ_OP},      {"!=", TK_NE_OP},      {"&&", TK_AND_OP},     {"||", TK_OR_OP},
    {"*=", TK_MUL_ASSIGN}, {"/=", TK_DIV_ASSIGN}, {"%=", TK_MOD_ASSIGN}, {"+=", TK_ADD_ASSIGN},
    {"-=", TK_SUB_ASSIGN},
};

// Object type spellings that are state names inside state blocks.
bool IsObjectSpelling(const char* name) {
    return strcasecmp(name, "texture") == 0 || strcasecmp(name, "pixelshader") == 0 ||
           strcasecmp(name, "vertexshader") == 0 || strcasecmp(name, "string") == 0;
}

}  // namespace

int Parser::NextTerminal(void* value) {
    HLSLSTYPE* v = static_cast<HLSLSTYPE*>(value);
    for (;;) {
        if (fatal_) return 0;
        Token t;
        if (havePending_) {
            t = pending_;
            havePending_ = false;
        } else {
            HRESULT hr = pp_.NextToken(&t);
            if (FAILED(hr)) {
                streamResult_ = hr;
                lookahead_ = t;
                lookahead_.kind = TokenKind::EndOfFile;
                return 0;
            }
        }
        if (t.kind == TokenKind::EndOfLine || t.kind == TokenKind::AngleName) continue;
        lookahead_ = t;
        int terminal = TerminalFor(t, v);
        if (terminal >= 0) return terminal;
    }
}

int Parser::TerminalFor(const Token& t, void* value) {
    HLSLSTYPE* v = static_cast<HLSLSTYPE*>(value);
    v->tok = KeepToken(t);
    switch (t.kind) {
        case TokenKind::EndOfFile:
            return 0;
        case TokenKind::Version:
            return TK_RESERVED;
        case TokenKind::Operator:
            if (t.value.op[1] == 0) return static_cast<unsigned char>(t.value.op[0]);
            for (const OperatorTerminal& o : kOperators)
                if (std::strcmp(o.op, t.value.op) == 0) return o.terminal;
            return TK_RESERVED;
        case TokenKind::Integer: return TK_INT_CONST;
        case TokenKind::IntegerLong: return TK_LONG_CONST;
        case TokenKind::IntegerUnsigned: return TK_UINT_CONST;
        case TokenKind::Float: return TK_FLOAT_CONST;
        case TokenKind::FloatHalf: return TK_HALF_CONST;
        case TokenKind::FloatFloat: return TK_FLOATF_CONST;
        case TokenKind::FloatLong: return TK_LONGF_CONST;
        case TokenKind::String: return TK_STRING_CONST;
        case TokenKind::Identifier: break;
        default: return -1;
    }

    const char* name = t.value.text ? t.value.text : "";
    if (const KeywordEntry* k = FindKeyword(name)) {
        if (k->cls == KeywordClass::Reserved) return TK_RESERVED;
        if (!(k->cls == KeywordClass::ObjectKeyword && stateDepth_ > 0)) {
            const KeywordTerminal* kt = FindKeywordTerminal(k->word);
            if (!kt) return TK_RESERVED;
            if (kt->terminal == TK_ASM || kt->terminal == TK_DECL) return ReadAsmBlock(value, kt->terminal == TK_DECL);
            if (kt->usage) {
                Token copy = t;
                copy.value.integer = kt->usage;
                v->tok = KeepToken(copy);
            }
            return kt->terminal;
        }
    }

    // A name declared as a type, or a built-in type spelling, is a type name.
    if (Symbol* s = Lookup(name)) {
        if (s->decl->declKind == kDeclType) {
            typeNames_[v->tok] = static_cast<TypeDecl*>(s->decl)->type;
            return TK_TYPE_NAME;
        }
        return TK_IDENTIFIER;
    }
    if (stateDepth_ > 0 && IsObjectSpelling(name)) return TK_IDENTIFIER;
    if (const Type* builtin = BuiltinTypeBySpelling(tree_->types, name)) {
        typeNames_[v->tok] = builtin;
        return TK_TYPE_NAME;
    }
    return TK_IDENTIFIER;
}

// "asm { ... }" and "decl { ... }": the block is read as one terminal in
// assembler mode through an inner frame of the preprocessor, which ends it
// at the matching brace.
int Parser::ReadAsmBlock(void* value, bool isDecl) {
    HLSLSTYPE* v = static_cast<HLSLSTYPE*>(value);
    Token keyword = lookahead_;
    Token next;
    HRESULT hr = pp_.NextToken(&next);
    while (SUCCEEDED(hr) && next.kind == TokenKind::EndOfLine) hr = pp_.NextToken(&next);
    if (FAILED(hr)) {
        streamResult_ = hr;
        return 0;
    }
    if (!next.IsOperator('{')) {
        pending_ = next;
        havePending_ = true;
        return isDecl ? TK_DECL : TK_ASM;
    }
    std::string text;
    hr = pp_.Begin(kModeAssembler);
    if (FAILED(hr)) {
        streamResult_ = hr;
        return 0;
    }
    for (;;) {
        Token t;
        hr = pp_.NextToken(&t);
        if (FAILED(hr)) {
            streamResult_ = hr;
            break;
        }
        if (t.kind == TokenKind::EndOfFile) break;
        if (t.kind == TokenKind::EndOfLine) {
            text += '\n';
            continue;
        }
        if (!text.empty() && text.back() != '\n') text += ' ';
        if (t.source && t.length) text.append(t.source, t.length);
        if (text.size() > (1u << 20)) break;  // an asm block is small; stop a runaway input
    }
    pp_.End();
    Token block = keyword;
    block.value.text = tree_->Keep(text.c_str(), text.size());
    v->tok = KeepToken(block);
    lookahead_ = block;
    return isDecl ? TK_DECL_BLOCK : TK_ASM_BLOCK;
}

}  // namespace hlsl

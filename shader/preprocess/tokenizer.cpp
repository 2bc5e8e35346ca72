#include "shader/preprocess/tokenizer.h"

#include <charconv>
#include <cstdlib>
#include <new>
#include <string>

#include "shader/diagnostics.h"
#include "shader/target.h"

namespace {

// Letters, digits and hex digits are ASCII only; bytes above 127 are neither.
bool IsLetter(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }
bool IsDigit(char c) { return c >= '0' && c <= '9'; }
bool IsOctal(char c) { return c >= '0' && c <= '7'; }
bool IsIdentStart(char c) { return IsLetter(c) || c == '_'; }
bool IsIdentChar(char c) { return IsIdentStart(c) || IsDigit(c); }
int HexValue(char c) {
    if (IsDigit(c)) return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

// Operators of more than one character, longest first so the first match wins.
constexpr const char* kLongOperators[] = {
    "...", "<<=", ">>=", "##", "#@", "&&", "++", "--", "::", "==", "||", "<<", ">>",
    "!=",  "%=",  "&=",  "*=", "+=", "-=", "/=", "<=", ">=", "^=", "|=", "->",
};

// Stack room for float texts; longer ones (rare) are converted from a heap copy.
constexpr size_t kFloatBuffer = 128;

}  // namespace

HRESULT Tokenizer::Initialize(const char* text, size_t length, const char* fileName, uint32_t firstLine,
                              StringPool* pool, ErrorLog* log) {
    if (!pool || !log) return E_FAIL;
    if (length == SIZE_MAX) length = text ? std::strlen(text) : 0;
    if (!text && length) return E_FAIL;
    position_ = text ? text : "";
    end_ = position_ + length;
    fileName_ = fileName;
    line_ = firstLine;
    pool_ = pool;
    log_ = log;
    return S_OK;
}

void Tokenizer::Report(const Diagnostic& diagnostic, const Token& at) {
    SourceLocation location = at.Location();
    log_->Report(&location, diagnostic);
}

bool Tokenizer::SkipSpace(uint32_t mode) {
    bool crossed = false;
    while (position_ < end_) {
        char c = *position_;
        char next = position_ + 1 < end_ ? position_[1] : '\0';
        if (c == '\n') {
            if (!crossed) lineEndLine_ = line_;
            ++line_;
            ++position_;
            crossed = true;
        } else if (c == '\\' && next == '\n') {
            ++line_;
            position_ += 2;
        } else if (c == '\\' && next == '\r' && position_ + 2 < end_ && position_[2] == '\n') {
            ++line_;
            position_ += 3;
        } else if (c == ' ' || c == '\t' || c == '\v' || c == '\f' || c == '\r') {
            ++position_;
        } else if ((c == '/' && next == '/') || (c == ';' && (mode & kModeAssembler))) {
            SkipToEndOfLine();
        } else if (c == '/' && next == '*') {
            position_ += 2;
            while (position_ < end_ && !(position_[0] == '*' && position_ + 1 < end_ && position_[1] == '/')) {
                if (*position_ == '\n') ++line_;
                ++position_;
            }
            if (position_ >= end_) {
                Token at;
                at.file = fileName_;
                at.line = line_;
                Report(diag::kCommentPastEndOfFile, at);
            } else {
                position_ += 2;
            }
        } else {
            break;
        }
    }
    return crossed;
}

void Tokenizer::SkipToEndOfLine() {
    while (position_ < end_ && *position_ != '\n') {
        if (*position_ == '\\' && position_ + 1 < end_ && position_[1] == '\n') {
            ++line_;
            position_ += 2;
        } else if (*position_ == '\\' && position_ + 2 < end_ && position_[1] == '\r' && position_[2] == '\n') {
            ++line_;
            position_ += 3;
        } else {
            ++position_;
        }
    }
}

void Tokenizer::Next(uint32_t mode, Token* token) {
    bool crossed = SkipSpace(mode);
    *token = Token{};
    token->file = fileName_;
    token->line = line_;
    token->source = position_;
    if (crossed) {
        token->kind = TokenKind::EndOfLine;
        token->line = lineEndLine_;
        return;
    }
    if (position_ >= end_) {
        token->kind = TokenKind::EndOfFile;
        return;
    }
    const char* start = position_;
    if (!ReadFloat(token) && !ReadCharacter(mode, token) && !ReadInteger(token) &&
        !ReadQuoted(mode, '"', TokenKind::String, token) &&
        !((mode & kModeAngleNames) && ReadQuoted(mode, '>', TokenKind::AngleName, token)) &&
        !((mode & kModeAssembler) && ReadVersion(token)) && !ReadIdentifier(token)) {
        ReadOperator(token);
    }
    token->length = static_cast<uint32_t>(position_ - start);
}

bool Tokenizer::ReadFloat(Token* token) {
    const char* p = position_;
    bool digitsBefore = false;
    while (p < end_ && IsDigit(*p)) ++p, digitsBefore = true;
    if (p >= end_ || *p != '.') return false;
    ++p;
    bool digitsAfter = false;
    while (p < end_ && IsDigit(*p)) ++p, digitsAfter = true;
    if (!digitsBefore && !digitsAfter) return false;
    if (p < end_ && (*p == 'e' || *p == 'E')) {
        const char* q = p + 1;
        if (q < end_ && *q == '-') ++q;
        if (q < end_ && IsDigit(*q)) {
            while (q < end_ && IsDigit(*q)) ++q;
            p = q;
        }
    }
    // The text is plain decimal; from_chars is locale independent. Out of
    // range values take the standard conversion's infinity or zero.
    double value = 0;
    auto [last, error] = std::from_chars(position_, p, value);
    if (error == std::errc::result_out_of_range || last != p) {
        size_t length = static_cast<size_t>(p - position_);
        char local[kFloatBuffer];
        std::string heap;
        const char* text;
        if (length < kFloatBuffer) {
            std::memcpy(local, position_, length);
            local[length] = '\0';
            text = local;
        } else {
            heap.assign(position_, length);
            text = heap.c_str();
        }
        value = std::strtod(text, nullptr);
    }
    token->value.number = value;
    token->kind = TokenKind::Float;
    if (p < end_ && (*p == 'f' || *p == 'F')) token->kind = TokenKind::FloatFloat, ++p;
    else if (p < end_ && (*p == 'h' || *p == 'H')) token->kind = TokenKind::FloatHalf, ++p;
    position_ = p;
    return true;
}

uint32_t Tokenizer::ReadEscape() {
    // position_ is on the character after the backslash.
    char c = *position_++;
    switch (c) {
        case 'a': return 7;
        case 'b': return 8;
        case 'f': return 12;
        case 'n': return 10;
        case 'r': return 13;
        case 't': return 9;
        case 'v': return 11;
        case 'x': {
            uint32_t value = 0;
            while (position_ < end_ && HexValue(*position_) >= 0) value = value * 16 + HexValue(*position_++);
            return value;
        }
        default: break;
    }
    if (IsOctal(c)) {
        uint32_t value = static_cast<uint32_t>(c - '0');
        for (int i = 1; i < 3 && position_ < end_ && IsOctal(*position_); ++i) value = value * 8 + (*position_++ - '0');
        return value;
    }
    if (c == '\n') ++line_;
    return static_cast<unsigned char>(c);
}

bool Tokenizer::ReadCharacter(uint32_t mode, Token* token) {
    if (*position_ != '\'') return false;
    const char* saved = position_;
    uint32_t savedLine = line_;
    ++position_;
    uint32_t value = 0;
    if (position_ >= end_ || *position_ == '\n' || *position_ == '\'') {
        position_ = saved;
        return false;
    }
    if (*position_ == '\\' && !(mode & kModeRawStrings)) {
        ++position_;
        if (position_ >= end_) {
            Report(diag::kCharacterPastEndOfFile, *token);
            position_ = saved;
            return false;
        }
        value = ReadEscape();
    } else {
        value = static_cast<unsigned char>(*position_++);
    }
    if (position_ >= end_ || *position_ != '\'') {
        position_ = saved;
        line_ = savedLine;
        return false;
    }
    ++position_;
    token->kind = TokenKind::Integer;
    token->value.integer = value;
    return true;
}

bool Tokenizer::ReadInteger(Token* token) {
    const char* p = position_;
    if (!IsDigit(*p)) return false;
    uint32_t value = 0;
    if (*p == '0' && p + 2 <= end_ && p + 1 < end_ && p[1] == 'x' && p + 2 < end_ && HexValue(p[2]) >= 0) {
        p += 2;
        while (p < end_ && HexValue(*p) >= 0) value = value * 16 + static_cast<uint32_t>(HexValue(*p++));
        if (p - position_ > 10) Report(diag::kHexTruncated, *token);
    } else if (*p == '0') {
        ++p;
        bool truncated = false;
        while (p < end_ && IsOctal(*p)) {
            if (value > 0x1FFFFFFF) truncated = true;
            value = value * 8 + static_cast<uint32_t>(*p++ - '0');
        }
        if (truncated) Report(diag::kOctalTruncated, *token);
    } else {
        bool truncated = false;
        while (p < end_ && IsDigit(*p)) {
            uint32_t digit = static_cast<uint32_t>(*p++ - '0');
            if (value > 429496729) truncated = true;
            uint32_t next = value * 10 + digit;
            if (next < value * 10 || (value <= 429496729 && value * 10 + digit < digit)) truncated = true;
            value = next;
        }
        if (truncated) Report(diag::kDecimalTruncated, *token);
    }
    bool isUnsigned = false, isLong = false;
    for (int i = 0; i < 2 && p < end_; ++i) {
        if ((*p == 'u' || *p == 'U') && !isUnsigned) isUnsigned = true, ++p;
        else if ((*p == 'l' || *p == 'L') && !isLong) isLong = true, ++p;
    }
    token->kind = isUnsigned ? TokenKind::IntegerUnsigned : isLong ? TokenKind::IntegerLong : TokenKind::Integer;
    token->value.integer = value;
    position_ = p;
    return true;
}

bool Tokenizer::ReadQuoted(uint32_t mode, char close, TokenKind kind, Token* token) {
    char open = kind == TokenKind::String ? '"' : '<';
    if (*position_ != open) return false;
    ++position_;
    std::string value;
    bool raw = (mode & kModeRawStrings) != 0;
    for (;;) {
        if (position_ >= end_) {
            Report(diag::kStringPastEndOfFile, *token);
            break;
        }
        char c = *position_;
        if (c == close) {
            ++position_;
            break;
        }
        if (c == '\n') {
            Report(diag::kStringPastEndOfLine, *token);
            break;
        }
        ++position_;
        if (c == '\\' && !raw) {
            if (position_ >= end_) {
                Report(diag::kCharacterPastEndOfFile, *token);
                break;
            }
            value.push_back(static_cast<char>(ReadEscape()));
        } else {
            value.push_back(c);
        }
    }
    const char* text = pool_->Copy(value.data(), value.size());
    if (!text) throw std::bad_alloc();
    token->kind = kind;
    token->value.text = text;
    return true;
}

bool Tokenizer::ReadVersion(Token* token) {
    const char* p = position_;
    if (end_ - p < 5 || !IsLetter(p[0]) || !IsLetter(p[1]) || p[2] != '.') return false;
    p += 3;
    auto readNumber = [&](const char*& q) {
        uint32_t n = 0;
        const char* first = q;
        while (q < end_ && IsDigit(*q) && n <= 255) n = n * 10 + static_cast<uint32_t>(*q++ - '0');
        return q > first && n <= 255 && !(q < end_ && IsDigit(*q));
    };
    if (!readNumber(p) || p >= end_ || *p != '.') return false;
    ++p;
    if (p < end_ && IsIdentStart(*p)) {
        while (p < end_ && IsIdentChar(*p)) ++p;
    } else if (!readNumber(p)) {
        return false;
    }
    if (p < end_ && IsIdentChar(*p)) return false;
    size_t length = static_cast<size_t>(p - position_);
    if (length >= 32) return false;
    char name[32];
    std::memcpy(name, position_, length);
    name[length] = '\0';
    TargetDesc row;
    if (FAILED(FindTargetByName(name, kTargetAssemble, &row))) return false;
    token->kind = TokenKind::Version;
    token->value.version = row.version;
    position_ = p;
    return true;
}

bool Tokenizer::ReadIdentifier(Token* token) {
    if (!IsIdentStart(*position_)) return false;
    const char* p = position_ + 1;
    while (p < end_ && IsIdentChar(*p)) ++p;
    const char* text = pool_->Copy(position_, static_cast<size_t>(p - position_));
    if (!text) throw std::bad_alloc();
    token->kind = TokenKind::Identifier;
    token->value.text = text;
    position_ = p;
    return true;
}

void Tokenizer::ReadOperator(Token* token) {
    token->kind = TokenKind::Operator;
    size_t left = Remaining();
    for (const char* op : kLongOperators) {
        size_t n = std::strlen(op);
        if (n <= left && std::memcmp(position_, op, n) == 0) {
            std::memcpy(token->value.op, op, n + 1);
            position_ += n;
            return;
        }
    }
    token->value.op[0] = *position_++;
    token->value.op[1] = '\0';
}

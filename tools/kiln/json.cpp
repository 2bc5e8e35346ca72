// Recursive-descent JSON reader; recursion is bounded by kMaxDepth so a
// deeply nested file cannot exhaust the stack.
#include "json.h"

#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

namespace json {

namespace {

class Reader {
public:
    explicit Reader(std::string_view text) : text_(text) {}

    bool Document(Value* out) {
        SkipSpace();
        if (!ParseValue(out, 0)) return false;
        SkipSpace();
        if (pos_ < text_.size()) return Fail("unexpected text after the end of the document");
        return true;
    }

    std::string error;

private:
    bool Fail(const std::string& message) {
        // Column counts bytes from 1 on the current line.
        int line = 1, column = 1;
        for (size_t i = 0; i < pos_ && i < text_.size(); ++i) {
            if (text_[i] == '\n') {
                ++line;
                column = 1;
            } else {
                ++column;
            }
        }
        error = std::to_string(line) + ":" + std::to_string(column) + ": " + message;
        return false;
    }

    void SkipSpace() {
        while (pos_ < text_.size()) {
            char c = text_[pos_];
            if (c == ' ' || c == '\t' || c == '\r') {
                ++pos_;
                ++column_;
            } else if (c == '\n') {
                ++pos_;
                ++line_;
                column_ = 1;
            } else {
                break;
            }
        }
    }

    bool AtEnd() const { return pos_ >= text_.size(); }
    char Peek() const { return text_[pos_]; }
    void Advance(size_t n = 1) {
        pos_ += n;
        column_ += int(n);
    }

    std::string Found() const {
        if (AtEnd()) return "end of file";
        char c = Peek();
        if (c >= 0x20 && c < 0x7F) return std::string("'") + c + "'";
        char buf[8];
        std::snprintf(buf, sizeof buf, "0x%02X", unsigned(static_cast<unsigned char>(c)));
        return std::string("byte ") + buf;
    }

    bool ParseValue(Value* out, int depth) {
        if (++values_ > kMaxValues) return Fail("more than " + std::to_string(kMaxValues) + " values in one document");
        out->line = line_;
        out->column = column_;
        if (AtEnd()) return Fail("expected a value, found end of file");
        char c = Peek();
        if (c == '{' || c == '[') {
            if (depth >= kMaxDepth) return Fail("nesting deeper than " + std::to_string(kMaxDepth) + " levels");
            return c == '{' ? ParseObject(out, depth + 1) : ParseArray(out, depth + 1);
        }
        if (c == '"') {
            out->kind = Value::Kind::String;
            return ParseString(&out->text);
        }
        if (c == '-' || (c >= '0' && c <= '9')) return ParseNumber(out);
        if (Literal("true")) {
            out->kind = Value::Kind::Bool;
            out->boolean = true;
            return true;
        }
        if (Literal("false")) {
            out->kind = Value::Kind::Bool;
            return true;
        }
        if (Literal("null")) {
            out->kind = Value::Kind::Null;
            return true;
        }
        return Fail("expected a value, found " + Found());
    }

    bool Literal(std::string_view word) {
        if (text_.substr(pos_, word.size()) != word) return false;
        Advance(word.size());
        return true;
    }

    bool ParseObject(Value* out, int depth) {
        out->kind = Value::Kind::Object;
        Advance();  // {
        SkipSpace();
        if (!AtEnd() && Peek() == '}') {
            Advance();
            return true;
        }
        for (;;) {
            if (AtEnd() || Peek() != '"') return Fail("expected a member name in double quotes, found " + Found());
            std::string key;
            size_t keyPos = pos_;
            if (!ParseString(&key)) return false;
            if (out->Find(key)) {
                pos_ = keyPos;
                return Fail("duplicate member \"" + key + "\"");
            }
            SkipSpace();
            if (AtEnd() || Peek() != ':') return Fail("expected ':' after the member name, found " + Found());
            Advance();
            SkipSpace();
            out->keys.push_back(std::move(key));
            out->items.emplace_back();
            if (!ParseValue(&out->items.back(), depth)) return false;
            SkipSpace();
            if (!AtEnd() && Peek() == ',') {
                Advance();
                SkipSpace();
                continue;
            }
            if (!AtEnd() && Peek() == '}') {
                Advance();
                return true;
            }
            return Fail("expected ',' or '}' in object, found " + Found());
        }
    }

    bool ParseArray(Value* out, int depth) {
        out->kind = Value::Kind::Array;
        Advance();  // [
        SkipSpace();
        if (!AtEnd() && Peek() == ']') {
            Advance();
            return true;
        }
        for (;;) {
            out->items.emplace_back();
            if (!ParseValue(&out->items.back(), depth)) return false;
            SkipSpace();
            if (!AtEnd() && Peek() == ',') {
                Advance();
                SkipSpace();
                continue;
            }
            if (!AtEnd() && Peek() == ']') {
                Advance();
                return true;
            }
            return Fail("expected ',' or ']' in array, found " + Found());
        }
    }

    static void AppendUtf8(std::string* s, uint32_t cp) {
        if (cp < 0x80) {
            s->push_back(char(cp));
        } else if (cp < 0x800) {
            s->push_back(char(0xC0 | (cp >> 6)));
            s->push_back(char(0x80 | (cp & 0x3F)));
        } else if (cp < 0x10000) {
            s->push_back(char(0xE0 | (cp >> 12)));
            s->push_back(char(0x80 | ((cp >> 6) & 0x3F)));
            s->push_back(char(0x80 | (cp & 0x3F)));
        } else {
            s->push_back(char(0xF0 | (cp >> 18)));
            s->push_back(char(0x80 | ((cp >> 12) & 0x3F)));
            s->push_back(char(0x80 | ((cp >> 6) & 0x3F)));
            s->push_back(char(0x80 | (cp & 0x3F)));
        }
    }

    bool Hex4(uint32_t* out) {
        uint32_t v = 0;
        for (int i = 0; i < 4; ++i) {
            if (AtEnd()) return Fail("expected four hex digits after \\u, found end of file");
            char c = Peek();
            int d = c >= '0' && c <= '9' ? c - '0' : c >= 'a' && c <= 'f' ? c - 'a' + 10 : c >= 'A' && c <= 'F' ? c - 'A' + 10 : -1;
            if (d < 0) return Fail("expected four hex digits after \\u, found " + Found());
            v = v * 16 + uint32_t(d);
            Advance();
        }
        *out = v;
        return true;
    }

    bool ParseString(std::string* out) {
        Advance();  // opening quote
        for (;;) {
            if (AtEnd()) return Fail("unterminated string");
            char c = Peek();
            if (c == '"') {
                Advance();
                return true;
            }
            if (static_cast<unsigned char>(c) < 0x20) return Fail("control character in string; write it escaped");
            if (c != '\\') {
                out->push_back(c);
                Advance();
                continue;
            }
            Advance();
            if (AtEnd()) return Fail("unterminated string");
            char e = Peek();
            const char* simple = "\"\\/bfnrt";
            const char* mapped = "\"\\/\b\f\n\r\t";
            if (const char* p = std::strchr(simple, e); p && e) {
                out->push_back(mapped[p - simple]);
                Advance();
                continue;
            }
            if (e != 'u') return Fail("unknown escape sequence '\\" + std::string(1, e) + "'");
            Advance();
            uint32_t cp = 0;
            if (!Hex4(&cp)) return false;
            if (cp >= 0xD800 && cp <= 0xDBFF) {
                uint32_t low = 0;
                if (text_.substr(pos_, 2) != "\\u") return Fail("unpaired surrogate in \\u escape");
                Advance(2);
                if (!Hex4(&low)) return false;
                if (low < 0xDC00 || low > 0xDFFF) return Fail("unpaired surrogate in \\u escape");
                cp = 0x10000 + ((cp - 0xD800) << 10) + (low - 0xDC00);
            } else if (cp >= 0xDC00 && cp <= 0xDFFF) {
                return Fail("unpaired surrogate in \\u escape");
            }
            AppendUtf8(out, cp);
        }
    }

    bool ParseNumber(Value* out) {
        size_t start = pos_;
        size_t p = pos_;
        auto digits = [&]() {
            size_t from = p;
            while (p < text_.size() && text_[p] >= '0' && text_[p] <= '9') ++p;
            return p - from;
        };
        if (text_[p] == '-') ++p;
        if (p < text_.size() && text_[p] == '0') {
            ++p;
        } else if (digits() == 0) {
            pos_ = p;
            return Fail("expected a digit, found " + Found());
        }
        if (p < text_.size() && text_[p] == '.') {
            ++p;
            if (digits() == 0) {
                pos_ = p;
                return Fail("expected a digit after '.', found " + Found());
            }
        }
        if (p < text_.size() && (text_[p] == 'e' || text_[p] == 'E')) {
            ++p;
            if (p < text_.size() && (text_[p] == '+' || text_[p] == '-')) ++p;
            if (digits() == 0) {
                pos_ = p;
                return Fail("expected a digit in the exponent, found " + Found());
            }
        }
        std::string number(text_.substr(start, p - start));
        out->kind = Value::Kind::Number;
        out->number = std::strtod(number.c_str(), nullptr);
        if (!std::isfinite(out->number)) return Fail("number " + number + " is out of range");
        Advance(p - start);
        return true;
    }

    std::string_view text_;
    size_t pos_ = 0;
    size_t values_ = 0;
    int line_ = 1;
    int column_ = 1;
};

}  // namespace

const Value* Value::Find(std::string_view key) const {
    if (kind != Kind::Object) return nullptr;
    for (size_t i = 0; i < keys.size(); ++i)
        if (keys[i] == key) return &items[i];
    return nullptr;
}

bool Parse(std::string_view text, Value* out, std::string* error) {
    Reader reader(text);
    *out = Value();
    if (reader.Document(out)) return true;
    if (error) *error = reader.error;
    return false;
}

std::string FormatFloat(float value) {
    if (std::isnan(value)) return "\"NaN\"";
    if (std::isinf(value)) return value > 0 ? "\"Infinity\"" : "\"-Infinity\"";
    char buf[64];
    auto result = std::to_chars(buf, buf + sizeof buf, value);
    return std::string(buf, result.ptr);
}

}  // namespace json

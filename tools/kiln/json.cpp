// Recursive-descent JSON reader; recursion is bounded by kMaxDepth so a
// deeply nested file cannot exhaust the stack.
//
// Values are built on a stack: a finished value is pushed, and when an array
// or object closes, its elements (the top of the stack) move together to the
// document and the container takes their place. So the items of every
// container lie side by side, and the stack holds only the open containers'
// finished elements. Positions become pointers once the document is complete.
#include "json.h"

#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <unordered_set>

namespace json {

static_assert(sizeof(Value) == 24, "the memory bound stated in json.h counts 24 bytes a value");

class Reader {
public:
    Reader(std::string_view text, Document* doc) : text_(text), doc_(doc) {}

    bool Run() {
        SkipSpace();
        if (!ParseValue(0)) return false;
        SkipSpace();
        if (pos_ < text_.size()) return Fail("unexpected text after the end of the document");
        doc_->values_.push_back(stack_.back());
        for (Value& v : doc_->values_) {
            if (v.kind == Value::Kind::Array || v.kind == Value::Kind::Object)
                v.u_.items = doc_->values_.data() + v.u_.index;
            else if (v.kind == Value::Kind::String)
                v.u_.text = doc_->strings_.data() + v.u_.index;
        }
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

    // Pushes the next value onto the stack.
    bool ParseValue(int depth) {
        if (++values_ > kMaxValues) return Fail("more than " + std::to_string(kMaxValues) + " values in one document");
        Value v;
        v.line = line_;
        v.column = column_;
        if (AtEnd()) return Fail("expected a value, found end of file");
        char c = Peek();
        if (c == '{' || c == '[') {
            if (depth >= kMaxDepth) return Fail("nesting deeper than " + std::to_string(kMaxDepth) + " levels");
            return c == '{' ? ParseObject(v, depth + 1) : ParseArray(v, depth + 1);
        }
        if (c == '"') return ParseStringValue(v);
        if (c == '-' || (c >= '0' && c <= '9')) {
            if (!ParseNumber(&v)) return false;
        } else if (Literal("true")) {
            v.kind = Value::Kind::Bool;
            v.boolean = true;
        } else if (Literal("false")) {
            v.kind = Value::Kind::Bool;
        } else if (Literal("null")) {
            v.kind = Value::Kind::Null;
        } else {
            return Fail("expected a value, found " + Found());
        }
        stack_.push_back(v);
        return true;
    }

    bool Literal(std::string_view word) {
        if (text_.substr(pos_, word.size()) != word) return false;
        Advance(word.size());
        return true;
    }

    bool ParseStringValue(Value v) {
        std::string text;
        if (!ParseString(&text)) return false;
        if (text.size() > UINT32_MAX) return Fail("string longer than 4 GiB");
        v.kind = Value::Kind::String;
        v.count_ = uint32_t(text.size());
        v.u_.index = doc_->strings_.size();
        doc_->strings_.insert(doc_->strings_.end(), text.begin(), text.end());
        stack_.push_back(v);
        return true;
    }

    // Moves the values above `base` to the document as the items of `v`,
    // which takes their place on the stack.
    void Close(Value v, size_t base) {
        size_t items = stack_.size() - base;
        v.count_ = uint32_t(v.kind == Value::Kind::Object ? items / 2 : items);
        v.u_.index = doc_->values_.size();
        doc_->values_.insert(doc_->values_.end(), stack_.begin() + std::ptrdiff_t(base), stack_.end());
        stack_.resize(base);
        stack_.push_back(v);
    }

    bool ParseObject(Value v, int depth) {
        v.kind = Value::Kind::Object;
        const size_t base = stack_.size();
        std::unordered_set<std::string> names;
        Advance();  // {
        SkipSpace();
        if (!AtEnd() && Peek() == '}') {
            Advance();
            Close(v, base);
            return true;
        }
        for (;;) {
            if (AtEnd() || Peek() != '"') return Fail("expected a member name in double quotes, found " + Found());
            size_t keyPos = pos_;
            if (!ParseValue(depth)) return false;
            const Value& key = stack_.back();
            std::string name(doc_->strings_.data() + key.u_.index, key.count_);
            if (!names.insert(name).second) {
                pos_ = keyPos;
                return Fail("duplicate member \"" + name + "\"");
            }
            SkipSpace();
            if (AtEnd() || Peek() != ':') return Fail("expected ':' after the member name, found " + Found());
            Advance();
            SkipSpace();
            if (!ParseValue(depth)) return false;
            SkipSpace();
            if (!AtEnd() && Peek() == ',') {
                Advance();
                SkipSpace();
                continue;
            }
            if (!AtEnd() && Peek() == '}') {
                Advance();
                Close(v, base);
                return true;
            }
            return Fail("expected ',' or '}' in object, found " + Found());
        }
    }

    bool ParseArray(Value v, int depth) {
        v.kind = Value::Kind::Array;
        const size_t base = stack_.size();
        Advance();  // [
        SkipSpace();
        if (!AtEnd() && Peek() == ']') {
            Advance();
            Close(v, base);
            return true;
        }
        for (;;) {
            if (!ParseValue(depth)) return false;
            SkipSpace();
            if (!AtEnd() && Peek() == ',') {
                Advance();
                SkipSpace();
                continue;
            }
            if (!AtEnd() && Peek() == ']') {
                Advance();
                Close(v, base);
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
        out->u_.number = std::strtod(number.c_str(), nullptr);
        if (!std::isfinite(out->u_.number)) return Fail("number " + number + " is out of range");
        Advance(p - start);
        return true;
    }

    std::string_view text_;
    json::Document* doc_;
    std::vector<Value> stack_;
    size_t pos_ = 0;
    size_t values_ = 0;
    int line_ = 1;
    int column_ = 1;
};

const Value* Value::Find(std::string_view key) const {
    if (kind != Kind::Object) return nullptr;
    for (size_t i = 0; i < count_; ++i)
        if (Key(i) == key) return &Item(i);
    return nullptr;
}

bool Parse(std::string_view text, Document* out, std::string* error) {
    *out = Document();
    Reader reader(text, out);
    if (reader.Run()) return true;
    *out = Document();
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

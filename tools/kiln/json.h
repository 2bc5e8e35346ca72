// A small strict JSON reader and the number format of the JSON the kiln
// commands print. The reader accepts exactly RFC 8259 text (no comments, no
// trailing commas, no NaN), nests at most kMaxDepth levels, holds at most
// kMaxValues values, and reports the first fault with its line and column.
//
// A parsed document is one flat array of 24-byte values (the elements of an
// array, and the name and value of each object member, lie side by side) plus
// the bytes of its strings, so its memory is proportional to the text: at most
// 24 bytes per value, and a value takes at least two bytes of text.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace json {

constexpr int kMaxDepth = 64;
// Enough for the largest inputs kiln run accepts, 16 inputs of 262144 vectors
// written as [x, y, z, w] (five values each), with room to spare; at 24 bytes
// a value that is at most 768 MiB however the text is written.
constexpr size_t kMaxValues = size_t(1) << 25;

class Value {
public:
    enum class Kind : uint8_t { Null, Bool, Number, String, Array, Object };

    Kind kind = Kind::Null;
    bool boolean = false;
    int line = 0;  // where the value starts, from 1
    int column = 0;

    bool IsNumber() const { return kind == Kind::Number; }
    bool IsArray() const { return kind == Kind::Array; }
    bool IsObject() const { return kind == Kind::Object; }
    double Number() const { return kind == Kind::Number ? u_.number : 0.0; }
    std::string_view Text() const { return kind == Kind::String ? std::string_view(u_.text, count_) : std::string_view(); }

    // Elements of an array, members of an object; 0 for anything else.
    size_t Size() const { return kind == Kind::Array || kind == Kind::Object ? count_ : 0; }
    // Element `i` of an array, or the value of member `i` of an object.
    const Value& Item(size_t i) const { return kind == Kind::Object ? u_.items[2 * i + 1] : u_.items[i]; }
    // The name of member `i` of an object.
    std::string_view Key(size_t i) const { return u_.items[2 * i].Text(); }
    // The member called `key` of an object, or null.
    const Value* Find(std::string_view key) const;

private:
    friend class Reader;
    uint32_t count_ = 0;  // elements, members or string bytes
    union {
        double number;
        const Value* items;  // Array: elements; Object: name, value, name, value ...
        const char* text;
        uint64_t index;      // while parsing: where items or text will lie
    } u_{0.0};
};

// Owns the values and strings of a parsed document.
class Document {
public:
    const Value& Root() const { return values_.empty() ? empty_ : values_.back(); }
    size_t ValueCount() const { return values_.size(); }

private:
    friend class Reader;
    std::vector<Value> values_;  // the root last
    std::vector<char> strings_;
    Value empty_;
};

// Parses `text` into *out. On failure returns false and sets *error to
// "LINE:COLUMN: what was wrong".
bool Parse(std::string_view text, Document* out, std::string* error);

// The shortest text that reads back as exactly `value`; non-finite values
// are written as the strings "NaN", "Infinity" and "-Infinity".
std::string FormatFloat(float value);

}  // namespace json

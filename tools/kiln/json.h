// A small strict JSON reader and the number format of the JSON the kiln
// commands print. The reader accepts exactly RFC 8259 text (no comments, no
// trailing commas, no NaN), nests at most kMaxDepth levels, holds at most
// kMaxValues values, and reports the first fault with its line and column.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace json {

constexpr int kMaxDepth = 64;
// A parsed value takes about a hundred bytes; this many keeps a document
// under half a gigabyte however its text is written.
constexpr size_t kMaxValues = size_t(1) << 22;

struct Value {
    enum class Kind { Null, Bool, Number, String, Array, Object };
    Kind kind = Kind::Null;
    bool boolean = false;
    double number = 0.0;
    std::string text;                                     // String
    std::vector<Value> items;        // Array elements, or an object's member values
    std::vector<std::string> keys;   // Object member names, in file order (parallel to items)
    int line = 0;    // where the value starts, from 1
    int column = 0;

    bool IsNumber() const { return kind == Kind::Number; }
    bool IsArray() const { return kind == Kind::Array; }
    bool IsObject() const { return kind == Kind::Object; }
    // The member called `key` of an object, or null.
    const Value* Find(std::string_view key) const;
};

// Parses `text` into *out. On failure returns false and sets *error to
// "LINE:COLUMN: what was wrong".
bool Parse(std::string_view text, Value* out, std::string* error);

// The shortest text that reads back as exactly `value`; non-finite values
// are written as the strings "NaN", "Infinity" and "-Infinity".
std::string FormatFloat(float value);

}  // namespace json

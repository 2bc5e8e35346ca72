// Tokenizer: literal forms, operators, comments, line ends, modes and the
// messages X1001-X1007, one line per case.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "shader/preprocess/tokenizer.h"

namespace {

// Tokens as "kind:value" words: int, long, uint, float, half, floatf, id, str,
// angle, op, ver, eol; end of file ends the list.
std::string Dump(const std::string& text, uint32_t mode = kModeHlsl, std::string* log = nullptr) {
    StringPool pool;
    ErrorLog errors;
    Tokenizer tokenizer;
    EXPECT_EQ(tokenizer.Initialize(text.data(), text.size(), "t.fx", 1, &pool, &errors), S_OK);
    std::string out;
    for (int guard = 0; guard < 1000; ++guard) {
        Token t;
        tokenizer.Next(mode, &t);
        if (t.kind == TokenKind::EndOfFile) break;
        char word[128];
        switch (t.kind) {
            case TokenKind::Integer: std::snprintf(word, sizeof word, "int:%u", t.value.integer); break;
            case TokenKind::IntegerLong: std::snprintf(word, sizeof word, "long:%u", t.value.integer); break;
            case TokenKind::IntegerUnsigned: std::snprintf(word, sizeof word, "uint:%u", t.value.integer); break;
            case TokenKind::Float: std::snprintf(word, sizeof word, "float:%g", t.value.number); break;
            case TokenKind::FloatHalf: std::snprintf(word, sizeof word, "half:%g", t.value.number); break;
            case TokenKind::FloatFloat: std::snprintf(word, sizeof word, "floatf:%g", t.value.number); break;
            case TokenKind::Identifier: std::snprintf(word, sizeof word, "id:%s", t.value.text); break;
            case TokenKind::String: std::snprintf(word, sizeof word, "str:%s", t.value.text); break;
            case TokenKind::AngleName: std::snprintf(word, sizeof word, "angle:%s", t.value.text); break;
            case TokenKind::Operator: std::snprintf(word, sizeof word, "op:%s", t.value.op); break;
            case TokenKind::Version: std::snprintf(word, sizeof word, "ver:%08X", t.value.version); break;
            case TokenKind::EndOfLine: std::snprintf(word, sizeof word, "eol"); break;
            default: std::snprintf(word, sizeof word, "?"); break;
        }
        if (!out.empty()) out += ' ';
        out += word;
    }
    if (log) *log = errors.Text();
    return out;
}

struct Case {
    const char* text;
    const char* tokens;
};

TEST(Tokenizer, Literals) {
    const Case cases[] = {
        {"0x1F", "int:31"},
        {"0X1F", "int:0 id:X1F"},
        {"0xffffffff", "int:4294967295"},
        {"4294967295", "int:4294967295"},
        {"017", "int:15"},
        {"019", "int:1 int:9"},
        {"08", "int:0 int:8"},
        {"0", "int:0"},
        {"1.5f", "floatf:1.5"},
        {".5 5. 5", "float:0.5 float:5 int:5"},
        {"2.5h 2.5H 2.5F", "half:2.5 half:2.5 floatf:2.5"},
        {"2e-3", "int:2 id:e op:- int:3"},
        {"2.e-3", "float:0.002"},
        {"1.0e+5", "float:1 id:e op:+ int:5"},
        {"1e5", "int:1 id:e5"},
        {"1.5E2", "float:150"},
        {"1u 2U 3l 4L 5ul 6LU 7uu", "uint:1 uint:2 long:3 long:4 uint:5 uint:6 uint:7 id:u"},
        {"0x10u", "uint:16"},
        {"'A' '\\x41' '\\101' '\\n' '\\q'", "int:65 int:65 int:65 int:10 int:113"},
        {"'AB'", "op:' id:AB op:'"},
        {"\"a\\tb\\\"c\"", "str:a\tb\"c"},
        {"\"\\x41\\102C\"", "str:ABC"},
        {"_a1 a_b", "id:_a1 id:a_b"},
    };
    for (const Case& c : cases) EXPECT_EQ(Dump(c.text), c.tokens) << c.text;
}

TEST(Tokenizer, OperatorsTakeTheLongestMatch) {
    const Case cases[] = {
        {"a+++b", "id:a op:++ op:+ id:b"},
        {"a<<=b>>=c", "id:a op:<<= id:b op:>>= id:c"},
        {"..  ...", "op:. op:. op:..."},
        {"## #@ # @", "op:## op:#@ op:# op:@"},
        {"-> :: && || != == <= >= %= &= *= += -= /= ^= |=",
         "op:-> op::: op:&& op:|| op:!= op:== op:<= op:>= op:%= op:&= op:*= op:+= op:-= op:/= op:^= op:|="},
        {"$`\\", "op:$ op:` op:\\"},
    };
    for (const Case& c : cases) EXPECT_EQ(Dump(c.text), c.tokens) << c.text;
}

TEST(Tokenizer, LineEndsAndComments) {
    const Case cases[] = {
        {"a\n/* x */\nb", "id:a eol id:b"},
        {"a\n\n\n b", "id:a eol id:b"},
        {"a /* one\ntwo */ b", "id:a id:b"},
        {"a \\\nb", "id:a id:b"},
        {"a \\\r\nb", "id:a id:b"},
        {"a // comment \\\n still comment\nb", "id:a eol id:b"},
        {"a\r\nb", "id:a eol id:b"},
        {"a ; b", "id:a op:; id:b"},
    };
    for (const Case& c : cases) EXPECT_EQ(Dump(c.text), c.tokens) << c.text;
}

TEST(Tokenizer, ModesSwitchTheirRules) {
    EXPECT_EQ(Dump("mov r0 ; comment\nvs.1.1", kModeAssembler), "id:mov id:r0 eol ver:FFFE0101");
    EXPECT_EQ(Dump("ps.2.x ps.2.sw ps.9.9", kModeAssembler), "ver:FFFF0201 ver:FFFF02FF id:ps float:0.9 float:0.9");
    EXPECT_EQ(Dump("vs.1.1", kModeHlsl), "id:vs float:0.1 float:0.1");
    EXPECT_EQ(Dump("\"a\\b\"", kModeRawStrings), "str:a\\b");
    EXPECT_EQ(Dump("<dir\\file.h>", kModeAngleNames | kModeRawStrings), "angle:dir\\file.h");
    EXPECT_EQ(Dump("a<b", kModeHlsl), "id:a op:< id:b");
}

TEST(Tokenizer, LocationsAndLines) {
    StringPool pool;
    ErrorLog log;
    Tokenizer t;
    const char text[] = "a\n\n/* \n */ b \\\n c";
    ASSERT_EQ(t.Initialize(text, SIZE_MAX, "f.fx", 1, &pool, &log), S_OK);
    Token token;
    uint32_t lines[5];
    TokenKind kinds[5];
    for (int i = 0; i < 5; ++i) {
        t.Next(kModeHlsl, &token);
        lines[i] = token.line;
        kinds[i] = token.kind;
    }
    EXPECT_EQ(kinds[0], TokenKind::Identifier);
    EXPECT_EQ(lines[0], 1u);
    EXPECT_EQ(kinds[1], TokenKind::EndOfLine);
    EXPECT_EQ(lines[1], 1u);  // the line the end-of-line token ends
    EXPECT_EQ(lines[2], 4u);  // b
    EXPECT_EQ(lines[3], 5u);  // c, after a line continuation
    EXPECT_EQ(kinds[4], TokenKind::EndOfFile);
    EXPECT_EQ(token.file, std::string("f.fx"));
}

TEST(Tokenizer, InitializeChecksItsArguments) {
    StringPool pool;
    ErrorLog log;
    Tokenizer t;
    EXPECT_EQ(t.Initialize(nullptr, 3, nullptr, 1, &pool, &log), E_FAIL);
    EXPECT_EQ(t.Initialize("a", 1, nullptr, 1, nullptr, &log), E_FAIL);
    EXPECT_EQ(t.Initialize("a", 1, nullptr, 1, &pool, nullptr), E_FAIL);
    EXPECT_EQ(t.Initialize(nullptr, SIZE_MAX, nullptr, 1, &pool, &log), S_OK);
    Token token;
    t.Next(kModeHlsl, &token);
    EXPECT_EQ(token.kind, TokenKind::EndOfFile);
}

TEST(Tokenizer, MessagesCarryTheTokenLocation) {
    struct Row {
        const char* text;
        const char* tokens;
        const char* log;
    };
    const Row rows[] = {
        {"a /* open", "id:a", "t.fx(1): error X1001: comment continues past end of file\n"},
        {"0x0000000001", "int:1", "t.fx(1): error X1002: hex value truncated to 32bits\n"},
        {"0x123456789", "int:591751049", "t.fx(1): error X1002: hex value truncated to 32bits\n"},
        {"\n040000000000", "eol int:0", "t.fx(2): error X1003: octal value truncated to 32bits\n"},
        {"4294967296", "int:0", "t.fx(1): error X1004: decimal value truncated to 32bits\n"},
        {"99999999999", "int:1215752191", "t.fx(1): error X1004: decimal value truncated to 32bits\n"},
        {"\"abc\nd", "str:abc eol id:d", "t.fx(1): error X1005: string continues past end of line\n"},
        {"x \"abc", "id:x str:abc", "t.fx(1): error X1006: string continues past end of file\n"},
        {"\"ab\\", "str:ab", "t.fx(1): error X1007: character continues past end of file\n"},
        {"'\\", "op:' op:\\", "t.fx(1): error X1007: character continues past end of file\n"},
        {"01777777777", "int:268435455", ""},
        {"037777777777", "int:4294967295", ""},
    };
    for (const Row& r : rows) {
        std::string log;
        EXPECT_EQ(Dump(r.text, kModeHlsl, &log), r.tokens) << r.text;
        EXPECT_EQ(log, r.log) << r.text;
    }
}

TEST(Keywords, ClassesAndCanonicalSpelling) {
    struct Row {
        const char* word;
        KeywordClass cls;
        const char* canonical;
    };
    const Row rows[] = {
        {"float", KeywordClass::Keyword, "float"},       {"Float", KeywordClass::None, nullptr},
        {"TECHNIQUE", KeywordClass::CaseInsensitive, "technique"},
        {"Pass", KeywordClass::CaseInsensitive, "pass"}, {"asm", KeywordClass::CaseInsensitive, "asm"},
        {"switch", KeywordClass::Reserved, "switch"},    {"texture", KeywordClass::ObjectKeyword, "texture"},
        {"sampler_state", KeywordClass::Keyword, "sampler_state"},
        {"samplerCUBE", KeywordClass::Keyword, "samplerCUBE"},
        {"float4", KeywordClass::None, nullptr},          {"", KeywordClass::None, nullptr},
    };
    for (const Row& r : rows) {
        const KeywordEntry* e = FindKeyword(r.word);
        if (!r.canonical) {
            EXPECT_EQ(e, nullptr) << r.word;
            continue;
        }
        ASSERT_NE(e, nullptr) << r.word;
        EXPECT_EQ(e->cls, r.cls) << r.word;
        EXPECT_STREQ(e->word, r.canonical);
    }
}

TEST(Keywords, DescriptionsForSyntaxErrors) {
    auto describe = [](TokenKind kind, bool parser, auto set) {
        Token t;
        t.kind = kind;
        set(t);
        char out[64];
        DescribeToken(t, parser, out, sizeof out);
        return std::string(out);
    };
    EXPECT_EQ(describe(TokenKind::Integer, false, [](Token& t) { t.value.integer = 7; }), "integer '7'");
    EXPECT_EQ(describe(TokenKind::IntegerLong, false, [](Token& t) { t.value.integer = 0xFFFFFFFF; }), "integer '-1l'");
    EXPECT_EQ(describe(TokenKind::IntegerUnsigned, false, [](Token& t) { t.value.integer = 3; }), "integer '3ul'");
    EXPECT_EQ(describe(TokenKind::FloatHalf, false, [](Token& t) { t.value.number = 1.5; }), "float '1.5h'");
    EXPECT_EQ(describe(TokenKind::FloatLong, false, [](Token& t) { t.value.number = 2; }), "float '2l'");
    EXPECT_EQ(describe(TokenKind::Operator, false, [](Token& t) { std::strcpy(t.value.op, "+="); }), "token '+='");
    EXPECT_EQ(describe(TokenKind::Identifier, false, [](Token& t) { t.value.text = "abc"; }), "token 'abc'");
    EXPECT_EQ(describe(TokenKind::String, false, [](Token&) {}), "string constant");
    EXPECT_EQ(describe(TokenKind::EndOfLine, false, [](Token&) {}), "end of line");
    EXPECT_EQ(describe(TokenKind::AngleName, false, [](Token&) {}), "token");
    EXPECT_EQ(describe(TokenKind::Version, false, [](Token&) {}), "version token");
    EXPECT_EQ(describe(TokenKind::IntegerUnsigned, true, [](Token&) {}), "integer constant");
    EXPECT_EQ(describe(TokenKind::FloatFloat, true, [](Token&) {}), "float constant");
}

}  // namespace

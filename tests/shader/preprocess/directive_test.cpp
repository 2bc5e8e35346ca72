// Directives: conditionals, #if expressions, #line, #error, pragmas, the
// messages of the directive parser, and frames.
#include <gtest/gtest.h>

#include "pp_test_util.h"

namespace {

struct Case {
    const char* source;
    const char* tokens;
    const char* log;
};

void Check(const Case* cases, size_t count) {
    for (size_t i = 0; i < count; ++i) {
        PpRun r = Preprocess(cases[i].source);
        EXPECT_EQ(r.tokens, cases[i].tokens) << cases[i].source;
        EXPECT_EQ(r.log, cases[i].log) << cases[i].source;
    }
}

// #if EXPR selects "yes", else "no".
std::string If(const std::string& prelude, const std::string& expression) {
    PpRun r = Preprocess(prelude + "#if " + expression + "\nyes\n#else\nno\n#endif\n");
    return r.log.empty() ? r.tokens : r.tokens + " / " + r.log;
}

TEST(Directives, IfExpressions) {
    struct Row {
        const char* prelude;
        const char* expression;
        const char* result;
    };
    const Row rows[] = {
        {"", "UNDEFINED", "no"},
        {"#define TWO 2\n", "TWO", "yes"},
        {"#define TWO 2\n", "TWO == 2", "yes"},
        {"#define P (2)\n", "P == 1", "yes"},
        {"#define E\n", "E", "no"},
        {"#define E\n", "defined E && defined(E)", "yes"},
        {"#define X TWO\n#define TWO 2\n", "X == 2", "no"},
        {"", "-1 > 0", "yes"},
        {"", "0xFFFFFFFF == -1", "yes"},
        {"", "1 + 2 * 3 == 7", "yes"},
        {"", "(1 + 2) * 3 == 9", "yes"},
        {"", "7 / 2 == 3", "yes"},
        {"", "10 - 2 - 3 == 5", "yes"},
        {"", "!0 && !!5 == 1", "yes"},
        {"", "0 || 0", "no"},
        {"", "1 ? 0 : 1", "no"},
        {"", "0 ? 0 : 2 == 2", "yes"},
        {"", "1 < 2 && 2 <= 2 && 3 > 2 && 3 >= 3 && 1 != 2", "yes"},
        {"", "+3 == 3", "yes"},
        {"", "'A' == 65", "yes"},
        {"#define F(x) x\n", "F", "yes / t.fx(2): error X1517: functional defines in preprocessor expressions not yet implemented\n"},
        {"", "1 / 0", "yes no / t.fx(1): error X1503: division by zero in preprocessor expression\n"
                      "t.fx(3): error X1509: unexpected #else\n"
                      "t.fx(5): error X1510: unexpected #endif\n"},
        {"", "1 +", "yes no / t.fx(1): error X1500: syntax error : unexpected end of line\n"
                    "t.fx(3): error X1509: unexpected #else\n"
                    "t.fx(5): error X1510: unexpected #endif\n"},
        {"", "1 2", "yes / t.fx(1): error X1501: unexpected tokens following preprocessor directive\n"},
        {"", "1.5", "yes no / t.fx(1): error X1500: syntax error : unexpected float '1.5'\n"
                    "t.fx(3): error X1509: unexpected #else\n"
                    "t.fx(5): error X1510: unexpected #endif\n"},
    };
    for (const Row& r : rows) EXPECT_EQ(If(r.prelude, r.expression), r.result) << r.expression;
}

TEST(Directives, Conditionals) {
    const Case cases[] = {
        {"#ifdef A\na\n#elif 1\nb\n#elif 1\nc\n#else\nd\n#endif", "b", ""},
        {"#ifndef A\na\n#else\nb\n#endif", "a", ""},
        {"#if 0\n#if 1\nx\n#else\ny\n#endif\n#elif 1\nz\n#endif", "z", ""},
        {"#if 0\n#elif 0\n#elif 1/0\n#else\nw\n#endif", "w", "t.fx(3): error X1503: division by zero in preprocessor expression\n"},
        {"#if 0\n#bogus\n#define X\n#error no\n#if garbage (\n#endif\n#endif X", "", ""},
        {"#if 1\n#else\n#else\n#endif", "", "t.fx(3): error X1514: unexpected #else following #else\n"},
        {"#if 1\n#else\n#elif 1\n#endif", "", "t.fx(3): error X1513: unexpected #elif following #else\n"},
        {"#endif", "", "t.fx(1): error X1510: unexpected #endif\n"},
        {"#else", "", "t.fx(1): error X1509: unexpected #else\n"},
        {"#elif 1", "", "t.fx(1): error X1508: unexpected #elif\n"},
        {"#if 1\na", "a", "t.fx(2): error X1502: unexpected end of file\n"},
        {"#endif junk\n", "", "t.fx(1): error X1510: unexpected #endif\n"
                              "t.fx(1): error X1501: unexpected tokens following preprocessor directive\n"},
        {"#ifdef\nx", "x", "t.fx(1): error X1500: syntax error : unexpected end of line\n"},
        {"#ifdef A B\nx\n#endif", "", "t.fx(1): error X1501: unexpected tokens following preprocessor directive\n"},
    };
    Check(cases, std::size(cases));
}

TEST(Directives, OtherDirectivesAndMessages) {
    const Case cases[] = {
        {"#\na", "a", ""},
        {"#bogus stuff\na", "a", "t.fx(1): error X1504: invalid preprocessor command 'bogus'\n"},
        {"# 12\na", "a", "t.fx(1): error X1500: syntax error : unexpected integer '12'\n"},
        {"#undef\na", "a", "t.fx(1): error X1500: syntax error : unexpected end of line\n"},
        {"#line x\na", "a", "t.fx(1): error X1500: syntax error : unexpected token 'x'\n"},
        {"#include 5\na", "a", "t.fx(1): error X1500: syntax error : unexpected integer '5'\n"},
        {"a #define X\nX", "a # define X X", ""},
        {"#define H #\nH define X 1\nX", "# define X 1 X", ""},
        {"#error  stop \\\n here\nafter", "", "t.fx(1): error: stop  here\n"},
        {"x\n#if 1\n#pragma once\n#pragma whatever ( 1\n#pragma\n#endif\ny", "x y", ""},
    };
    Check(cases, std::size(cases));
    PpRun deep = Preprocess("#if " + std::string(600, '(') + "1" + std::string(600, ')') + "\nx\n#endif\ny");
    EXPECT_EQ(deep.log, "t.fx(1): yacc stack overflow\nt.fx(3): error X1510: unexpected #endif\n");
    EXPECT_EQ(deep.tokens, "x y");
    PpRun r = Preprocess("#error fatal\nmore");
    EXPECT_EQ(r.hr, E_FAIL);
}

TEST(Directives, WarningPragma) {
    struct Row {
        const char* pragma;
        uint32_t state3078;
        uint32_t state3505;
    };
    const Row rows[] = {
        {"#pragma warning(disable : 3078; once : 3505)", 0, 0x11},
        {"#pragma warning(disable : 3078; once : 3505", 1, 1},
        {"#pragma warning(error : 3078 3505)", 15, 15},
        {"#pragma warning(3 : 3078)", 3, 1},
        {"#pragma warning(5 : 3078)", 1, 1},
        {"#pragma warning(disable 3078)", 1, 1},
        {"#pragma warning(disable : 3078) x", 1, 1},
        {"#pragma warning(disable : 3078)\n#pragma warning(default : 3078)", 1, 1},
    };
    for (const Row& r : rows) {
        Preprocessor pp;
        std::string source = std::string(r.pragma) + "\ncode\n";
        ASSERT_EQ(pp.OpenMemory(source.data(), source.size(), "t.fx", nullptr, nullptr), S_OK);
        pp.Begin(kModeHlsl);
        std::string text;
        for (Token t; pp.NextToken(&t) == S_OK && t.kind != TokenKind::EndOfFile;)
            if (t.kind == TokenKind::Identifier) text += t.value.text;
        EXPECT_EQ(text, "code") << r.pragma;
        EXPECT_EQ(pp.Log().Text(), "") << r.pragma;
        EXPECT_EQ(pp.Log().WarningState(3078), r.state3078) << r.pragma;
        EXPECT_EQ(pp.Log().WarningState(3505), r.state3505) << r.pragma;
    }
}

TEST(Directives, PackMatrixPragma) {
    struct Row {
        const char* pragmas;
        uint32_t packing;
    };
    const Row rows[] = {
        {"#pragma pack_matrix(row_major)", kPackingRowMajor},
        {"#pragma pack_matrix(column_major)", kPackingColumnMajor},
        {"#pragma pack_matrix(row_major)\n#pragma pack_matrix()", kPackingNone},
        {"#pragma pack_matrix(row_major)\n#pragma pack_matrix(sideways)", kPackingRowMajor},
        {"#pragma pack_matrix(row_major)\n#pragma pack_matrix(column_major", kPackingRowMajor},
        {"#pragma pack_matrix(row_major) extra", kPackingNone},
    };
    for (const Row& r : rows) {
        Preprocessor pp;
        std::string source = std::string(r.pragmas) + "\nx";
        ASSERT_EQ(pp.OpenMemory(source.data(), source.size(), nullptr, nullptr, nullptr), S_OK);
        pp.Begin(kModeHlsl);
        Token t;
        do {
            ASSERT_EQ(pp.NextToken(&t), S_OK);
        } while (t.kind != TokenKind::Identifier && t.kind != TokenKind::EndOfFile);
        EXPECT_TRUE(t.IsIdentifier("x")) << r.pragmas;
        EXPECT_EQ(pp.CurrentMatrixPacking(), r.packing) << r.pragmas;
        EXPECT_EQ(pp.Log().Text(), "");
    }
}

TEST(Directives, ConditionalsDoNotLeakOutOfTheirFile) {
    MapInclude include;
    include.files["open.h"] = "#if 1\ninside\n";
    include.files["skip.h"] = "#if 0\nhidden\n";
    PpRun r = Preprocess("#include \"open.h\"\nafter1\n#include \"skip.h\"\nafter2\n#endif\n", nullptr, &include);
    EXPECT_EQ(r.tokens, "inside after1 after2");
    EXPECT_EQ(r.log,
              "open.h(3): error X1502: unexpected end of file\n"
              "skip.h(3): error X1502: unexpected end of file\n"
              "t.fx(5): error X1510: unexpected #endif\n");
}

TEST(Frames, InnerFrameEndsAtItsClosingBrace) {
    Preprocessor pp;
    const char source[] = "a { b { c } d } e";
    ASSERT_EQ(pp.OpenMemory(source, SIZE_MAX, nullptr, nullptr, nullptr), S_OK);
    EXPECT_EQ(pp.End(), D3DERR_INVALIDCALL);
    ASSERT_EQ(pp.Begin(kModeHlsl), S_OK);
    Token t;
    ASSERT_EQ(pp.NextToken(&t), S_OK);  // a
    ASSERT_EQ(pp.NextToken(&t), S_OK);  // {
    ASSERT_EQ(pp.Begin(kModeAssembler), S_OK);
    std::string inner;
    while (pp.NextToken(&t) == S_OK && t.kind != TokenKind::EndOfFile) inner += TokenSpelling(t);
    EXPECT_EQ(inner, "b{c}d");
    ASSERT_EQ(pp.End(), S_OK);
    ASSERT_EQ(pp.NextToken(&t), S_OK);
    EXPECT_TRUE(t.IsIdentifier("e"));
    EXPECT_EQ(pp.End(), S_OK);
}

}  // namespace

// Macro definition and expansion: calls, arguments, stringizing, charizing,
// pasting, predefined and caller macros, and the guards against runaway input.
#include <gtest/gtest.h>

#include <array>

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

TEST(Macros, CallsAndArguments) {
    const Case cases[] = {
        {"#define F(x) x\nF (1) F(2)", "F ( 1 ) 2", ""},
        {"#define F(x) <x>\nF([a,b]) F({a,b})", "< [ a , b ] > < { a , b } >", ""},
        {"#define F(x, y) x+y\nF((a,b),c)", "( a , b ) + c", ""},
        {"#define F(x, y) x y\nF(1,\n2)", "1 2", ""},
        {"#define F(x) x\n#define G F\nG(3)", "3", ""},
        {"#define F(x) x*2\nF(F(3))", "3 * 2 * 2", ""},
        {"#define F(a, a) a\nF(1,2)", "1", "t.fx(1): error X1511: duplicate macro parameter 'a'\n"},
        {"#define F() 1\nF()", "F ( )", "t.fx(1): error X1500: syntax error : unexpected token ')'\n"},
        {"#define F(x,) 1\nF", "F", "t.fx(1): error X1500: syntax error : unexpected token ')'\n"},
        {"#define F(x 1\nF", "F", "t.fx(1): error X1500: syntax error : unexpected integer '1'\n"},
        {"#define F(x\nF", "F", "t.fx(1): error X1500: syntax error : unexpected end of line\n"},
        {"#define 3 x\n3", "3", "t.fx(1): error X1500: syntax error : unexpected integer '3'\n"},
        {"#define F(x, y) x\nF(1,)", "", "t.fx(2): error X1516: not enough actual parameters for macro 'F'\n"},
        {"#define F(x, y) x\nF(1,2,3) z", "z", "t.fx(2): error X1516: not enough actual parameters for macro 'F'\n"},
        {"#define F(x) x\nF()", "", "t.fx(2): error X1516: not enough actual parameters for macro 'F'\n"},
        {"#define F(x) x\nF(1", "", "t.fx(2): error X1515: unexpected end of file in macro expansion\n"},
        {"#define X 1\n#define X 2\nX", "2", ""},
        {"#define X 1\n#undef X\n#undef Y\nX", "X", ""},
        {"#define E\n[E]", "[ ]", ""},
    };
    Check(cases, std::size(cases));
}

TEST(Macros, StringizingCharizingAndPasting) {
    const Case cases[] = {
        {"#define S(x) #x\nS(a + b) S(a+b)", "\"a + b\" \"a+b\"", ""},
        {"#define S(x) #x\nS(  a   +   b  )", "\"a + b\"", ""},
        {"#define S(x) #x\nS(\"q\\n\")", "\"\\\"q\\\\n\\\"\"", ""},
        {"#define C(x) #@x\nC(a) C(a)+0", "'a' 'a' + 0", ""},
        {"#define P(a, b) a ## b\nP(x, 1) P(1, 2)", "x1 12", ""},
        {"#define P(a, b, c) a ## b ## c\nP(x, y, z)", "xy ## z", ""},
        {"#define P(a) a ## _suffix\nP(name)", "name_suffix", ""},
        {"#define P(a, b) a ## b\nP(+, =)", "+=", ""},
        {"#define O #x ## y\nO", "# x ## y", ""},
    };
    Check(cases, std::size(cases));
}

TEST(Macros, SelfReferenceStopsExpanding) {
    const Case cases[] = {
        {"#define X X + 1\nX", "X + 1", ""},
        {"#define A B\n#define B A\nA B", "A B", ""},
        {"#define F(x) F(x)\nF(1)", "F ( 1 )", ""},
        {"#define F(x) G(x)\n#define G(x) F(x)\nF(2)", "F ( 2 )", ""},
    };
    Check(cases, std::size(cases));
}

TEST(Macros, RunawayExpansionEndsWithAMessage) {
    // Every level doubles the one below: 2^40 tokens if nothing stopped it.
    std::string source;
    for (int i = 0; i < 40; ++i) source += "#define M" + std::to_string(i) + " M" + std::to_string(i + 1) + " M" +
                                          std::to_string(i + 1) + "\n";
    source += "M0\n";
    PpRun r = Preprocess(source);
    EXPECT_EQ(r.hr, E_FAIL);
    EXPECT_NE(r.log.find("error X1519: macro expansion of '"), std::string::npos) << r.log;

    // A call whose argument rebuilds the call cannot be told apart from useful
    // nesting; the output limit ends it.
    PpRun loop = Preprocess("#define F(x) x(x)\nF(F)\n");
    EXPECT_EQ(loop.hr, E_FAIL);
    EXPECT_NE(loop.log.find("error X1519"), std::string::npos) << loop.log;
}

TEST(Macros, ExpansionBudgetBoundsOneExpansionNotTheFile) {
    // 200 000 lines that each expand a three-level macro: ordinary use that
    // adds up to more than one expansion may produce.
    std::string source = "#define C 1\n#define B C C\n#define A B\n";
    for (int i = 0; i < 200000; ++i) source += "A\n";
    PpRun r = Preprocess(source);
    EXPECT_EQ(r.hr, S_OK);
    EXPECT_EQ(r.log, "");
    EXPECT_EQ(r.tokens.size(), 200000u * 4 - 1);  // "1 1" per line, space separated

    // The output as a whole has its own, larger bound: 12 uses of a macro whose
    // expansion takes about 400 000 tokens each fit one expansion's budget but
    // not the total.
    std::string wide;
    for (int i = 0; i < 17; ++i) wide += "#define W" + std::to_string(i) + " W" + std::to_string(i + 1) + " W" +
                                         std::to_string(i + 1) + "\n";
    wide += "#define W17 1\n";
    for (int i = 0; i < 12; ++i) wide += "W0\n";
    PpRun total = Preprocess(wide);
    EXPECT_EQ(total.hr, E_FAIL);
    EXPECT_NE(total.log.find("): error X1519: macro expansions produce more than 4194304 tokens in all\n"),
              std::string::npos)
        << total.log;
}

TEST(Macros, TextMadeByStringizingIsBounded) {
    // Each level stringizes its argument twice, so the text more than doubles
    // at every level while the tokens stay two: 40 levels would make
    // terabytes. A few levels stay well within the bound.
    auto chain = [](int levels) {
        std::string source;
        for (int i = 0; i < levels; ++i)
            source += "#define L" + std::to_string(i) + "(x) L" + std::to_string(i + 1) + "(#x #x)\n";
        source += "#define L" + std::to_string(levels) + "(x) x\n";
        return source + "L0(a)\n";
    };
    PpRun few = Preprocess(chain(3));
    EXPECT_EQ(few.hr, S_OK) << few.log;
    EXPECT_NE(few.tokens.find(R"("\"\\\"a\\\" \\\"a\\\"\" \"\\\"a\\\" \\\"a\\\"\"")"), std::string::npos) << few.tokens;

    PpRun many = Preprocess(chain(40));
    EXPECT_EQ(many.hr, E_FAIL);
    EXPECT_NE(many.log.find("error X1519: macro expansion of 'L"), std::string::npos) << many.log;

    // Across expansions the made text has a bound of its own: each use of a
    // macro that makes 3 MiB fits one expansion, six do not fit the compile.
    std::string wide = "#define S(x) #x\n#define T(x) S(x)\n";
    const std::string big(1 << 20, 'a');
    std::string uses;
    for (int i = 0; i < 6; ++i) uses += "S(" + big + " " + big + " " + big + ")\n";
    PpRun total = Preprocess(wide + uses);
    EXPECT_EQ(total.hr, E_FAIL);
    EXPECT_NE(total.log.find("error X1519: macro expansions make more than 16777216 bytes of text with # and ## in all"),
              std::string::npos)
        << total.log;
}

TEST(Macros, DeepChainsEndWithAMessage) {
    std::string source;
    for (int i = 0; i < 300; ++i) source += "#define M" + std::to_string(i) + " M" + std::to_string(i + 1) + "\n";
    PpRun r = Preprocess(source + "M0\nafter\n");
    EXPECT_EQ(r.hr, E_FAIL);
    EXPECT_EQ(r.log, "t.fx(301): error X1518: macro expansion nested too deeply in 'M256'\n");
    PpRun fits = Preprocess(source + "M100\n");
    EXPECT_EQ(fits.tokens, "M300");
    EXPECT_EQ(fits.log, "");
}

TEST(Macros, PredefinedAndCallerMacros) {
    const KLMACRO macros[] = {{"ONE", "1"}, {"EMPTY", nullptr}, {"EXPR", "(2 + 3)"}, {"F(x)", "x"}, {nullptr, "X"},
                              {"AFTER", "never"}};
    PpRun r = Preprocess("DIRECT3D KL DIRECT3D_VERSION KL_VERSION ONE EMPTY EXPR F(1) AFTER", macros);
    EXPECT_EQ(r.tokens, "0x900 0x900 1 ( 2 + 3 ) F ( 1 ) AFTER");
    EXPECT_EQ(r.log, "");
    PpRun bad = Preprocess("X", std::array<KLMACRO, 2>{{{"X", "\"open"}, {nullptr, nullptr}}}.data());
    EXPECT_EQ(bad.log, "(1): error X1006: string continues past end of file\n");
}

TEST(Macros, FileAndLine) {
    PpRun r = Preprocess("a\n\n\n\n\n\n__LINE__ __FILE__\n#line 100\n__LINE__\n#line 7 \"other.fx\"\n__FILE__ __LINE__");
    EXPECT_EQ(r.tokens, "a 7 \"t.fx\" 100 \"other.fx\" 7");
    PpRun shadowed = Preprocess("#define __LINE__ 5\n__LINE__");
    EXPECT_EQ(shadowed.tokens, "5");
    PpRun blank = Preprocess("#line 50\n\n\n__LINE__");
    EXPECT_EQ(blank.tokens, "52");
}

}  // namespace

// The context of one directive parse: the lexer that feeds the generated
// LALR(1) parser (pp_expr.y) from the raw token stream, and the actions its
// rules call. One object per directive; nothing is process-wide.
#pragma once

#include <cstdint>

#include "shader/preprocess/preprocessor_state.h"

struct PpValue {
    uint32_t number = 0;
    const char* text = nullptr;
    KLINCLUDE_TYPE includeType = KLINCLUDE_LOCAL;
};

class DirectiveParser {
public:
    DirectiveParser(Preprocessor::State& state, const Token& hash);

    // Feeds the grammar: the next terminal and its value.
    int Lex(PpValue* value);
    // Called by the generated parser on a syntax error; the message is decided
    // after the parse (see Finish).
    void SyntaxError(bool stackExhausted);

    // Runs the parse and reports what went wrong; returns the token that ended
    // the directive's line.
    Token Run();

    // Rule actions.
    void Undef(const char* name);
    void Line(uint32_t line, const char* file);
    void Include(const char* name, KLINCLUDE_TYPE type);
    void Error(const char* text);
    void If(uint32_t truth) { state_.OpenConditional(truth != 0); }
    void Ifdef(const char* name, bool wanted);
    void Elif(uint32_t truth) { state_.Elif(truth != 0, at_); }
    void Else() { state_.Else(at_); }
    void Endif() { state_.Endif(at_); }
    void NestedIf();
    void SkippedElif();
    void Trailing() { trailing_ = true; }
    uint32_t Defined(const char* name);
    uint32_t Identifier(const char* name);
    // Unsigned division; false (X1503 reported) for a zero divisor.
    bool Divide(uint32_t a, uint32_t b, uint32_t* result);

private:
    enum class Expect { Name, Definition, ErrorText, Pragma, IncludeName, Any };
    int LexName(const Token& token);
    int LexDefinition(PpValue* value);
    int LexErrorText(PpValue* value);
    int LexPragma();
    int Classify(const Token& token, PpValue* value);
    void ReadStashed(Token* token);
    // Pragmas: true when the line was well formed (and applied).
    bool PackMatrixPragma();
    bool WarningPragma();
    void ReadPragmaToken(Token* token);

    Preprocessor::State& state_;
    SourceLocation at_;       // where the directive stands
    bool regionActive_;       // messages only in an active region
    Expect expect_ = Expect::Name;
    Token last_{};            // the last token handed to the grammar
    Token stash_{};           // a token read ahead by the hand-read parts
    bool hasStash_ = false;
    bool silent_ = false;     // a message was given (or none is wanted)
    bool syntaxError_ = false;
    bool stackExhausted_ = false;
    bool trailing_ = false;   // tokens after a complete directive
    bool skipLine_ = false;
    bool ended_ = false;      // the line end has been handed over
    Token errorToken_{};
};

// Directive lexing and actions. The grammar (pp_expr.y) decides the shape of
// a directive; this file feeds it terminals from the raw token stream (no macro
// expansion), reads the parts that are not token grammar (#define bodies, the
// #error text, pragmas) by hand, and carries out what the rules ask for.
#include "shader/preprocess/directive_parser.h"

#include <cstring>
#include <string>
#include <vector>

#include "shader/preprocess/pp_expr.tab.h"
#include "shader/diagnostics.h"

namespace {

constexpr size_t kMaxErrorText = 255;

struct DirectiveName {
    const char* word;
    int terminal;
};
constexpr DirectiveName kDirectives[] = {
    {"define", PPT_DEFINE}, {"undef", PPT_UNDEF}, {"line", PPT_LINE},   {"include", PPT_INCLUDE},
    {"error", PPT_ERROR},   {"if", PPT_IF},       {"ifdef", PPT_IFDEF}, {"ifndef", PPT_IFNDEF},
    {"elif", PPT_ELIF},     {"else", PPT_ELSE},   {"endif", PPT_ENDIF}, {"pragma", PPT_PRAGMA},
};

struct OperatorTerminal {
    const char* op;
    int terminal;
};
constexpr OperatorTerminal kOperators[] = {
    {"<=", PPT_LE}, {">=", PPT_GE}, {"==", PPT_EQ}, {"!=", PPT_NE}, {"&&", PPT_AND}, {"||", PPT_OR},
};
// One-character operators the grammar knows by their character code.
constexpr const char* kGrammarCharacters = "?:<>+-*/!()";

}  // namespace

DirectiveParser::DirectiveParser(Preprocessor::State& state, const Token& hash)
    : state_(state), at_(hash.Location()), regionActive_(state.active) {}

void DirectiveParser::ReadStashed(Token* token) {
    if (hasStash_) {
        *token = stash_;
        hasStash_ = false;
        return;
    }
    uint32_t modeBits = expect_ == Expect::IncludeName ? (kModeRawStrings | kModeAngleNames) : 0;
    state_.ReadRaw(token, modeBits);
}

int DirectiveParser::Lex(PpValue* value) {
    *value = PpValue{};
    // The grammar accepts at the end of input, which is right after the line end.
    if (ended_) return 0;
    switch (expect_) {
        case Expect::Definition: expect_ = Expect::Any; return LexDefinition(value);
        case Expect::ErrorText: expect_ = Expect::Any; return LexErrorText(value);
        case Expect::Pragma: expect_ = Expect::Any; return LexPragma();
        default: break;
    }
    Token token;
    ReadStashed(&token);
    last_ = token;
    if (token.IsEnd()) {
        ended_ = true;
        return PPT_END;
    }
    if (expect_ == Expect::Name) {
        expect_ = Expect::Any;
        if (token.kind == TokenKind::Identifier) return LexName(token);
        if (!regionActive_) silent_ = true;
        return Classify(token, value);
    }
    expect_ = Expect::Any;
    return Classify(token, value);
}

int DirectiveParser::LexName(const Token& token) {
    const char* word = token.value.text;
    int terminal = -1;
    for (const DirectiveName& d : kDirectives) {
        if (std::strcmp(d.word, word) == 0) terminal = d.terminal;
    }
    if (!regionActive_) {
        // Only the conditional directives matter in a skipped group.
        switch (terminal) {
            case PPT_IF:
            case PPT_IFDEF:
            case PPT_IFNDEF: return PPT_NESTED_IF;
            case PPT_ELIF: {
                const auto& stack = state_.Innermost().conditionals;
                if (stack.empty() || stack.back().taken || !stack.back().outerActive) return PPT_SKIPPED_ELIF;
                silent_ = true;  // its expression is parsed, but a skipped group stays quiet
                return PPT_ELIF;
            }
            case PPT_ELSE:
            case PPT_ENDIF: silent_ = true; return terminal;
            default: silent_ = true; return PPT_FAIL;
        }
    }
    switch (terminal) {
        case -1: {
            SourceLocation at = token.Location();
            state_.log.Report(&at, diag::kInvalidDirective, word);
            silent_ = true;
            return PPT_FAIL;
        }
        case PPT_DEFINE: expect_ = Expect::Definition; break;
        case PPT_ERROR: expect_ = Expect::ErrorText; break;
        case PPT_PRAGMA: expect_ = Expect::Pragma; break;
        case PPT_INCLUDE: expect_ = Expect::IncludeName; break;
        default: break;
    }
    return terminal;
}

int DirectiveParser::Classify(const Token& token, PpValue* value) {
    switch (token.kind) {
        case TokenKind::Identifier:
            if (std::strcmp(token.value.text, "defined") == 0) return PPT_DEFINED;
            value->text = token.value.text;
            return PPT_IDENTIFIER;
        case TokenKind::Integer:
        case TokenKind::IntegerLong:
        case TokenKind::IntegerUnsigned: value->number = token.value.integer; return PPT_INTEGER;
        case TokenKind::String:
        case TokenKind::AngleName:
            value->text = token.value.text;
            value->includeType = token.kind == TokenKind::AngleName ? KLINCLUDE_SYSTEM : KLINCLUDE_LOCAL;
            return PPT_STRING;
        case TokenKind::Operator:
            for (const OperatorTerminal& o : kOperators) {
                if (std::strcmp(o.op, token.value.op) == 0) return o.terminal;
            }
            if (token.value.op[0] && !token.value.op[1] && std::strchr(kGrammarCharacters, token.value.op[0]))
                return static_cast<unsigned char>(token.value.op[0]);
            return PPT_OTHER;
        default: return PPT_OTHER;
    }
}

// #define NAME body / #define NAME(a, b) body. "(" opens a parameter list only
// when it follows the name without white space.
int DirectiveParser::LexDefinition(PpValue*) {
    Token name;
    ReadStashed(&name);
    last_ = name;
    auto fail = [&](const Token& at) {
        char description[128];
        DescribeToken(at, false, description, sizeof description);
        SourceLocation location = at.Location();
        state_.log.Report(&location, diag::kPreprocessorSyntax, description);
        silent_ = true;
        if (at.IsEnd()) {
            stash_ = at;
            hasStash_ = true;
        }
        return PPT_FAIL;
    };
    if (name.kind != TokenKind::Identifier) return fail(name);
    bool functionLike = state_.Current().PeekIs('(') && state_.pushback.empty();
    std::vector<Token> parameters;
    Token token;
    if (functionLike) {
        state_.ReadRaw(&token);  // "("
        for (;;) {
            state_.ReadRaw(&token);
            if (token.kind != TokenKind::Identifier) return fail(token);
            for (const Token& p : parameters) {
                if (std::strcmp(p.value.text, token.value.text) == 0) {
                    SourceLocation at = token.Location();
                    state_.log.Report(&at, diag::kDuplicateParameter, token.value.text);
                    break;
                }
            }
            parameters.push_back(token);
            state_.ReadRaw(&token);
            if (token.IsOperator(')')) break;
            if (!token.IsOperator(',')) return fail(token);
        }
    }
    std::vector<Token> body;
    for (;;) {
        state_.ReadRaw(&token);
        if (token.IsEnd()) break;
        body.push_back(token);
    }
    stash_ = token;
    hasStash_ = true;
    if (!state_.KeepSourceTexts(body)) throw std::bad_alloc();
    state_.DefineMacro(name.value.text, functionLike, std::move(parameters), std::move(body));
    return PPT_DEFINITION;
}

// The rest of the line as written: leading blanks dropped, continuations
// removed, carriage returns dropped, at most 255 characters.
int DirectiveParser::LexErrorText(PpValue* value) {
    Tokenizer& input = state_.Current();
    const char* p = input.Position();
    const char* end = input.End();
    while (p < end && (*p == ' ' || *p == '\t')) ++p;
    std::string text;
    while (p < end && *p != '\n') {
        if (*p == '\\' && p + 1 < end && p[1] == '\n') p += 2;
        else if (*p == '\\' && p + 2 < end && p[1] == '\r' && p[2] == '\n') p += 3;
        else if (*p == '\r') ++p;
        else {
            if (text.size() < kMaxErrorText) text.push_back(*p);
            ++p;
        }
    }
    value->text = state_.pool.Copy(text.data(), text.size());
    if (!value->text) throw std::bad_alloc();
    input.SkipToEndOfLine();
    state_.pushback.clear();
    return PPT_REST;
}

int DirectiveParser::LexPragma() {
    Token word;
    ReadStashed(&word);
    bool wellFormed = true;
    if (word.IsEnd()) {
        stash_ = word;
        hasStash_ = true;
        return PPT_REST;
    }
    if (word.IsIdentifier("pack_matrix")) wellFormed = PackMatrixPragma();
    else if (word.IsIdentifier("warning")) wellFormed = WarningPragma();
    else wellFormed = false;  // other pragmas are ignored
    if (!wellFormed && !hasStash_) {
        state_.Current().SkipToEndOfLine();
        state_.pushback.clear();
    }
    return PPT_REST;
}

// A pragma's tokens; the line end is kept for the grammar.
void DirectiveParser::ReadPragmaToken(Token* token) {
    if (hasStash_) {
        *token = stash_;
        return;
    }
    state_.ReadRaw(token);
    if (token->IsEnd()) {
        stash_ = *token;
        hasStash_ = true;
    }
}

// pack_matrix ( row_major | column_major | <nothing> ) end
bool DirectiveParser::PackMatrixPragma() {
    Token t;
    ReadPragmaToken(&t);
    if (!t.IsOperator('(')) return false;
    ReadPragmaToken(&t);
    uint32_t packing = state_.packing;
    if (t.kind == TokenKind::Identifier) {
        if (t.IsIdentifier("row_major")) packing = kPackingRowMajor;
        else if (t.IsIdentifier("column_major")) packing = kPackingColumnMajor;
        ReadPragmaToken(&t);
    } else if (t.IsOperator(')')) {
        packing = kPackingNone;
    } else {
        return false;
    }
    if (!t.IsOperator(')')) return false;
    ReadPragmaToken(&t);
    if (!t.IsEnd()) return false;
    state_.packing = packing;
    return true;
}

// warning ( specifier : number... [; specifier : number...]... ) end
bool DirectiveParser::WarningPragma() {
    struct Change {
        WarningSpecifier specifier;
        uint32_t level;
        uint32_t number;
    };
    std::vector<Change> changes;
    Token t;
    ReadPragmaToken(&t);
    if (!t.IsOperator('(')) return false;
    for (;;) {
        ReadPragmaToken(&t);
        WarningSpecifier specifier;
        uint32_t level = 0;
        if (IsIntegerKind(t.kind) && t.value.integer >= 1 && t.value.integer <= 4) {
            specifier = WarningSpecifier::Level;
            level = t.value.integer;
        } else if (t.IsIdentifier("once")) specifier = WarningSpecifier::Once;
        else if (t.IsIdentifier("error")) specifier = WarningSpecifier::Error;
        else if (t.IsIdentifier("disable")) specifier = WarningSpecifier::Disable;
        else if (t.IsIdentifier("default")) specifier = WarningSpecifier::Default;
        else return false;
        ReadPragmaToken(&t);
        if (!t.IsOperator(':')) return false;
        size_t numbers = 0;
        for (;;) {
            ReadPragmaToken(&t);
            if (!IsIntegerKind(t.kind)) break;
            changes.push_back({specifier, level, t.value.integer});
            ++numbers;
        }
        if (numbers == 0) return false;
        if (t.IsOperator(')')) break;
        if (!t.IsOperator(';')) return false;
    }
    ReadPragmaToken(&t);
    if (!t.IsEnd()) return false;
    for (const Change& c : changes) state_.log.SetWarningState(c.number, c.specifier, c.level);
    return true;
}

void DirectiveParser::SyntaxError(bool stackExhausted) {
    syntaxError_ = true;
    stackExhausted_ = stackExhausted;
    errorToken_ = last_;
}

Token DirectiveParser::Run() {
    int result = ppexprparse(this);
    if (trailing_ && regionActive_) state_.log.Report(&at_, diag::kTokensAfterDirective);
    if (result != 0 && stackExhausted_) {
        state_.log.Report(&at_, diag::kStackOverflow);
    } else if (result != 0 && syntaxError_ && !silent_ && regionActive_) {
        char description[128];
        DescribeToken(errorToken_, false, description, sizeof description);
        SourceLocation location = errorToken_.Location();
        state_.log.Report(&location, diag::kPreprocessorSyntax, description);
    }
    if (hasStash_ && stash_.IsEnd()) return stash_;
    if (!skipLine_ && !trailing_ && last_.IsEnd()) return last_;
    if (result != 0 && last_.IsEnd()) return last_;
    state_.Current().SkipToEndOfLine();
    state_.pushback.clear();
    Token end;
    state_.Current().Next(state_.mode, &end);
    return end;
}

void DirectiveParser::Undef(const char* name) { state_.UndefineMacro(name); }

void DirectiveParser::Line(uint32_t line, const char* file) {
    state_.deferred.kind = DeferredAction::Line;
    state_.deferred.line = line;
    state_.deferred.file = file;
}

void DirectiveParser::Include(const char* name, KLINCLUDE_TYPE type) {
    state_.deferred.kind = DeferredAction::Include;
    state_.deferred.name = name;
    state_.deferred.includeType = type;
}

void DirectiveParser::Error(const char* text) {
    state_.log.Report(&at_, diag::kUserError, text);
    state_.fatal = true;
}

void DirectiveParser::Ifdef(const char* name, bool wanted) {
    bool defined = state_.FindMacro(name) != nullptr;
    state_.OpenConditional(defined == wanted);
}

void DirectiveParser::NestedIf() {
    state_.OpenConditional(true);
    skipLine_ = true;
}

void DirectiveParser::SkippedElif() {
    state_.Elif(true, at_);
    skipLine_ = true;
}

uint32_t DirectiveParser::Defined(const char* name) { return state_.FindMacro(name) ? 1 : 0; }

// Identifiers in #if are not expanded: a macro's value is read off its body.
uint32_t DirectiveParser::Identifier(const char* name) {
    const Macro* macro = state_.FindMacro(name);
    if (!macro) return 0;
    if (macro->functionLike) {
        state_.log.Report(&at_, diag::kFunctionMacroInExpression);
        return 1;
    }
    if (macro->body.empty()) return 0;
    if (macro->body.size() == 1 && IsIntegerKind(macro->body[0].kind)) return macro->body[0].value.integer;
    return 1;
}

bool DirectiveParser::Divide(uint32_t a, uint32_t b, uint32_t* result) {
    if (b == 0) {
        state_.log.Report(&at_, diag::kDivisionByZero);
        silent_ = true;
        return false;
    }
    *result = a / b;
    return true;
}

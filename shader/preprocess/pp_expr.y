/* Grammar of one preprocessor directive, from the token after "#" to the end
   of its line, including the expressions of #if and #elif. The lexer is
   DirectiveParser::Lex; actions call the DirectiveParser. Values are unsigned
   32-bit; "||" and "&&" evaluate both sides, comparisons are unsigned. */
%define api.pure full
%define api.prefix {ppexpr}
%define api.token.prefix {PPT_}
%define api.value.type {PpValue}
%param {DirectiveParser* dp}

%code requires {
#include "shader/preprocess/directive_parser.h"
}

%code {
#define YYINITDEPTH 500
#define YYMAXDEPTH 500
static int ppexprlex(PPEXPRSTYPE* value, DirectiveParser* dp) { return dp->Lex(value); }
static void ppexprerror(DirectiveParser* dp, const char* message) {
    dp->SyntaxError(message && std::strstr(message, "exhausted") != nullptr);
}
}

%token DEFINE UNDEF LINE INCLUDE ERROR IF IFDEF IFNDEF ELIF ELSE ENDIF PRAGMA
%token NESTED_IF SKIPPED_ELIF DEFINED LE GE EQ NE AND OR
%token IDENTIFIER INTEGER STRING OTHER END
%token DEFINITION REST FAIL

%%

/* line: directive END | directive <anything else> | END */
line
    : directive END
    | directive error               { dp->Trailing(); YYACCEPT; }
    | END
    ;

directive
    : DEFINE DEFINITION
    | UNDEF IDENTIFIER               { dp->Undef($2.text); }
    | LINE INTEGER                   { dp->Line($2.number, nullptr); }
    | LINE INTEGER STRING            { dp->Line($2.number, $3.text); }
    | INCLUDE STRING                 { dp->Include($2.text, $2.includeType); }
    | ERROR REST                     { dp->Error($2.text); }
    | IF expression                  { dp->If($2.number); }
    | IFDEF IDENTIFIER               { dp->Ifdef($2.text, true); }
    | IFNDEF IDENTIFIER              { dp->Ifdef($2.text, false); }
    | ELIF expression                { dp->Elif($2.number); }
    | ELSE                           { dp->Else(); }
    | ENDIF                          { dp->Endif(); }
    | PRAGMA REST
    | NESTED_IF                      { dp->NestedIf(); YYACCEPT; }
    | SKIPPED_ELIF                   { dp->SkippedElif(); YYACCEPT; }
    ;

/* expression: logical_or | logical_or "?" expression ":" expression */
expression
    : logical_or
    | logical_or '?' expression ':' expression   { $$.number = $1.number ? $3.number : $5.number; }
    ;

logical_or
    : logical_and
    | logical_or OR logical_and      { $$.number = ($1.number || $3.number) ? 1 : 0; }
    ;

logical_and
    : equality
    | logical_and AND equality       { $$.number = ($1.number && $3.number) ? 1 : 0; }
    ;

equality
    : relational
    | equality EQ relational         { $$.number = $1.number == $3.number; }
    | equality NE relational         { $$.number = $1.number != $3.number; }
    ;

relational
    : additive
    | relational '<' additive        { $$.number = $1.number < $3.number; }
    | relational '>' additive        { $$.number = $1.number > $3.number; }
    | relational LE additive         { $$.number = $1.number <= $3.number; }
    | relational GE additive         { $$.number = $1.number >= $3.number; }
    ;

additive
    : multiplicative
    | additive '+' multiplicative    { $$.number = $1.number + $3.number; }
    | additive '-' multiplicative    { $$.number = $1.number - $3.number; }
    ;

multiplicative
    : unary
    | multiplicative '*' unary       { $$.number = $1.number * $3.number; }
    | multiplicative '/' unary       { if (!dp->Divide($1.number, $3.number, &$$.number)) YYABORT; }
    ;

unary
    : primary
    | '!' unary                      { $$.number = $2.number ? 0 : 1; }
    | '-' unary                      { $$.number = 0u - $2.number; }
    | '+' unary                      { $$.number = $2.number; }
    ;

primary
    : INTEGER
    | DEFINED IDENTIFIER             { $$.number = dp->Defined($2.text); }
    | DEFINED '(' IDENTIFIER ')'     { $$.number = dp->Defined($3.text); }
    | IDENTIFIER                     { $$.number = dp->Identifier($1.text); }
    | '(' expression ')'             { $$.number = $2.number; }
    ;

%%

/* Grammar of shader assembly after the version statement: one statement per
   line, an instruction name with its operands, optionally co-issued ("+") or
   predicated ("(p0.x)"). The lexer is Assembler::Lex; actions only record what
   was written and the Assembler checks and encodes each finished line, so a
   bad line is reported and the next one is read. */
%define api.pure full
%define api.prefix {asmg}
%define api.token.prefix {AT_}
%define api.value.type {AsmValue}
%param {Assembler* a}

%code requires {
#include "shader/asm/asm_syntax.h"
class Assembler;
}

%code {
#include <cstring>
#include "shader/asm/assembler.h"
#define YYINITDEPTH 500
#define YYMAXDEPTH 500
static int asmglex(ASMGSTYPE* value, Assembler* a) { return a->Lex(value); }
static void asmgerror(Assembler* a, const char* message) {
    a->SyntaxError(message && std::strstr(message, "exhausted") != nullptr);
}
}

%token IDENT NUMBER EOL OTHER

%%

/* program: line* */
program
    : %empty
    | program line
    ;

/* line: EOL | statement EOL | <anything> EOL */
line
    : EOL
    | statement EOL                  { a->FinishStatement(); }
    | error EOL                      { yyerrok; a->DropStatement(); }
    ;

/* statement: prefix name operands? */
statement
    : prefix name
    | prefix name operand_list
    ;

/* prefix: "+"? ("(" operand ")")? */
prefix
    : %empty
    | '+'                            { a->SetCoissue(); }
    | predicate
    | '+' predicate                  { a->SetCoissue(); }
    ;

predicate
    : '(' term ')'                   { a->SetPredicate($2.index); }
    ;

name
    : IDENT                          { a->SetName($1.text, $1.at); }
    ;

operand_list
    : term                           { a->AddOperand($1.index); }
    | operand_list ',' term          { a->AddOperand($3.index); }
    ;

/* term: register | "-" term | "!" term | number | number "-" register */
term
    : register
    | '-' term                       { $$ = $2; a->Negate($2.index); }
    | '!' term                       { $$ = $2; a->Not($2.index); }
    | NUMBER                         { $$.index = a->Literal($1); }
    | NUMBER '-' register            { $$ = $3; a->Complement($3.index, $1); }
    ;

/* register: base ("." letters)? */
register
    : base
    | base '.' IDENT                 { $$ = $1; a->Swizzle($1.index, $3.text); }
    ;

/* base: name | name "[" address "]" suffix? */
base
    : IDENT                          { $$.index = a->Register($1, false, nullptr); }
    | IDENT '[' begin_address address ']'
                                     { $$.index = a->Register($1, true, nullptr); }
    | IDENT '[' begin_address address ']' IDENT
                                     { $$.index = a->Register($1, true, $6.text); }
    ;

begin_address
    : %empty                         { a->BeginAddress(); }
    ;

/* address: address_term (("+" address_term) | ("-" number))* */
address
    : address_term
    | address '+' address_term
    | address '-' NUMBER             { a->AddressOffset($3, true); }
    ;

address_term
    : IDENT                          { a->AddressRegister($1.text, nullptr); }
    | IDENT '.' IDENT                { a->AddressRegister($1.text, $3.text); }
    | NUMBER                         { a->AddressOffset($1, false); }
    ;

%%

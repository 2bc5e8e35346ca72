/* The HLSL grammar. Each action calls one Parser member named for the
   construct; the checks and messages live there. */

%define api.pure full
%define api.prefix {hlsl}
%define api.token.prefix {TK_}
%parse-param {hlsl::Parser* p}
%lex-param {hlsl::Parser* p}
%expect 1 /* the dangling else, shifted */

%code requires {
#include "shader/frontend/parser.h"
}

%code top {
/* Both stacks hold 500 entries; exceeding them is "yacc stack overflow". */
#define YYINITDEPTH 500
#define YYMAXDEPTH 500
}

%code {
int hlsllex(HLSLSTYPE* value, hlsl::Parser* p) { return p->NextTerminal(value); }
void hlslerror(hlsl::Parser* p, const char* message) { p->SyntaxError(message); }
#define LOC(tok) ((tok)->Location())
/* After an internal error no further actions run. */
#define GUARD if (p->Fatal()) YYABORT
using namespace hlsl;
}

%union {
    const Token* tok;
    hlsl::Expr* expr;
    hlsl::Stmt* stmt;
    const hlsl::Type* type;
    hlsl::UsageSpec* usage;
    hlsl::Declarator* decl;
    hlsl::VarDecl* var;
    hlsl::FuncDecl* func;
    hlsl::StructDef* sdef;
    hlsl::PassDecl* pass;
    hlsl::StateAssignment* state;
    hlsl::AttributeSpec* attr;
    std::vector<hlsl::Expr*>* exprs;
    std::vector<hlsl::Stmt*>* stmts;
    std::vector<hlsl::VarDecl*>* vars;
    std::vector<hlsl::PassDecl*>* passes;
    std::vector<hlsl::StateAssignment*>* states;
}

/* keywords */
%token <tok> ASM_FRAGMENT BOOL COLUMN_MAJOR COMPILE COMPILE_FRAGMENT CONST DO DOUBLE ELSE EXTERN FALSE FLOAT FOR
%token <tok> HALF IF IN INLINE INOUT INT MATRIX OUT PIXELFRAGMENT REGISTER RETURN ROW_MAJOR SAMPLER1D SAMPLER2D
%token <tok> SAMPLER3D SAMPLERCUBE SAMPLER_STATE SHARED STATIC STRING STRUCT TEXTURE1D TEXTURE2D TEXTURE3D
%token <tok> TEXTURECUBE TRUE TYPEDEF UNIFORM VECTOR VERTEXFRAGMENT VOID VOLATILE WHILE TEXTURE SAMPLER
%token <tok> PIXELSHADER VERTEXSHADER ASM DECL PASS TECHNIQUE RESERVED BREAK CONTINUE
/* operators of two characters */
%token <tok> INC DEC LE_OP GE_OP EQ_OP NE_OP AND_OP OR_OP MUL_ASSIGN DIV_ASSIGN MOD_ASSIGN ADD_ASSIGN SUB_ASSIGN
/* values */
%token <tok> INT_CONST LONG_CONST UINT_CONST FLOAT_CONST HALF_CONST FLOATF_CONST LONGF_CONST STRING_CONST
%token <tok> IDENTIFIER TYPE_NAME ASM_BLOCK DECL_BLOCK
/* single characters */
%token <tok> ';' ',' '(' ')' '[' ']' '{' '}' '<' '>' '=' ':' '.' '?' '+' '-' '*' '/' '%' '!' '|'

%type <expr> primary_expr postfix_expr unary_expr mul_expr add_expr rel_expr eq_expr and_expr or_expr cond_expr
%type <expr> assign_expr expr expr_opt initializer object_literal state_value dim_expr
%type <exprs> args args_opt init_items
%type <stmt> stmt for_init block
%type <stmts> stmts
%type <type> type_spec keyword_type struct_def
%type <usage> usages top_usages param_usages
%type <tok> usage_kw name_opt literal state_name
%type <decl> function_sig declarator declarator_name declarator_dims declarator_tail param_declarator
%type <var> param
%type <vars> params param_list annotations_opt annotation_list
%type <func> function_head
%type <sdef> struct_head
%type <pass> pass
%type <passes> passes
%type <states> states
%type <attr> attribute
%type <state> state

%%

program
    : %empty
    | program top_item
    ;

top_item
    : top_declaration
    | function_def
    | technique
    | ';'
    | error ';'                 { yyerrok; p->RecoverTopLevel(); }
    | error '}'                 { yyerrok; p->RecoverTopLevel(); }
    ;

/* ---------------------------------------------------------------- declarations */

top_declaration
    : top_decl_head ';'                       { GUARD; p->EndDeclaration(); }
    | top_decl_head init_declarators ';'      { GUARD; p->EndDeclaration(); }
    ;

local_declaration
    : local_decl_head ';'                     { GUARD; p->EndDeclaration(); }
    | local_decl_head init_declarators ';'    { GUARD; p->EndDeclaration(); }
    ;

top_decl_head
    : type_spec                     { GUARD; p->BeginDeclaration(nullptr, $1, false); }
    | top_usages type_spec          { GUARD; p->BeginDeclaration($1, $2, false); }
    | TYPEDEF type_spec             { GUARD; p->BeginDeclaration(nullptr, $2, true); }
    | TYPEDEF usages type_spec      { GUARD; p->BeginDeclaration($2, $3, true); }
    ;

local_decl_head
    : type_spec                     { GUARD; p->BeginDeclaration(nullptr, $1, false); }
    | usages type_spec              { GUARD; p->BeginDeclaration($1, $2, false); }
    | TYPEDEF type_spec             { GUARD; p->BeginDeclaration(nullptr, $2, true); }
    | TYPEDEF usages type_spec      { GUARD; p->BeginDeclaration($2, $3, true); }
    ;

/* Storage classes; at the top level a target name may stand among them. */
usages
    : usage_kw                      { GUARD; $$ = p->NewUsage(LOC($1)); p->AddUsage($$, $1->value.integer, LOC($1)); }
    | usages usage_kw               { GUARD; $$ = $1; p->AddUsage($$, $2->value.integer, LOC($2)); }
    ;

top_usages
    : usages                        { $$ = $1; }
    | IDENTIFIER                    { GUARD; $$ = p->NewUsage(LOC($1)); p->AddUsageTarget($$, $1); }
    | top_usages IDENTIFIER         { GUARD; $$ = $1; p->AddUsageTarget($$, $2); }
    | IDENTIFIER usages             { GUARD; $$ = $2; p->AddUsageTarget($$, $1); }
    ;

/* The lexer leaves the usage bit of each keyword in value.integer. */
usage_kw
    : EXTERN | STATIC | VOLATILE | SHARED | IN | OUT | INOUT | UNIFORM | INLINE | CONST | ROW_MAJOR | COLUMN_MAJOR
    ;

init_declarators
    : declarator                            { GUARD; p->DeclareVariable($1); }
    | init_declarators ',' declarator       { GUARD; p->DeclareVariable($3); }
    ;

declarator
    : declarator_tail                       { $$ = $1; }
    | declarator_tail '=' initializer       { $$ = $1; $$->hasInit = true; $$->init = $3; }
    ;

/* A built-in type spelling such as "Float" may also name a variable. */
declarator_name
    : IDENTIFIER                            { GUARD; $$ = p->NewDeclarator(); $$->name = $1; }
    | TYPE_NAME                             { GUARD; $$ = p->NewDeclarator(); $$->name = $1; }
    ;

declarator_dims
    : declarator_name                       { $$ = $1; }
    | declarator_dims '[' dim_expr ']'      { $$ = $1; $$->dims.push_back($3); $$->implicitDim.push_back(false); }
    | declarator_dims '[' ']'               { $$ = $1; $$->dims.push_back(nullptr); $$->implicitDim.push_back(true); }
    ;

dim_expr
    : expr                                  { $$ = $1; }
    ;

declarator_tail
    : declarator_dims                       { $$ = $1; }
    | declarator_tail ':' IDENTIFIER        { $$ = $1; $$->semantics.push_back($3->value.text); }
    | declarator_tail ':' REGISTER '(' IDENTIFIER ')'
                                            { GUARD; $$ = $1; $$->reg.name = p->Tree().Keep($5->value.text); }
    | declarator_tail ':' REGISTER '(' IDENTIFIER ',' IDENTIFIER ')'
                                            { GUARD; $$ = $1; $$->reg.target = p->Tree().Keep($5->value.text);
                                              $$->reg.name = p->Tree().Keep($7->value.text); }
    | declarator_tail '<' { GUARD; p->BeginAnnotations(); } annotation_list '>'
                                            { GUARD; $$ = $1; p->EndAnnotations($$, $4); }
    ;

annotation_list
    : %empty                           { GUARD; $$ = p->NewList<VarDecl*>(); }
    | annotation_list local_declaration     { $$ = $1; }
    ;

annotations_opt
    : %empty                           { $$ = nullptr; }
    | '<' { GUARD; p->BeginAnnotations(); } annotation_list '>'
                                            { GUARD; $$ = p->NewList<VarDecl*>(); p->EndAnnotations(nullptr, $$); }
    ;

initializer
    : assign_expr                           { $$ = $1; }
    | '{' init_items '}'                    { GUARD; $$ = p->MakeInitList($2, LOC($1)); }
    | '{' init_items ',' '}'                { GUARD; $$ = p->MakeInitList($2, LOC($1)); }
    ;

init_items
    : initializer                           { GUARD; $$ = p->NewList<Expr*>(); $$->push_back($1); }
    | init_items ',' initializer            { $$ = $1; $$->push_back($3); }
    ;

/* ---------------------------------------------------------------- types */

type_spec
    : keyword_type                          { $$ = $1; }
    | TYPE_NAME                             { $$ = p->TypeOfName($1); }
    | VECTOR '<' keyword_type ',' unary_expr '>'
                                            { GUARD; $$ = p->VectorTemplate($3, $5, LOC($1)); }
    | VECTOR '<' TYPE_NAME ',' unary_expr '>'
                                            { GUARD; $$ = p->VectorTemplate(p->TypeOfName($3), $5, LOC($1)); }
    | MATRIX '<' keyword_type ',' unary_expr ',' unary_expr '>'
                                            { GUARD; $$ = p->MatrixTemplate($3, $5, $7, LOC($1)); }
    | MATRIX '<' TYPE_NAME ',' unary_expr ',' unary_expr '>'
                                            { GUARD; $$ = p->MatrixTemplate(p->TypeOfName($3), $5, $7, LOC($1)); }
    | struct_def                            { $$ = $1; }
    | STRUCT TYPE_NAME                      { $$ = p->TypeOfName($2); }
    ;

keyword_type
    : BOOL            { GUARD; $$ = p->KeywordType(TK_BOOL); }
    | INT             { GUARD; $$ = p->KeywordType(TK_INT); }
    | HALF            { GUARD; $$ = p->KeywordType(TK_HALF); }
    | FLOAT           { GUARD; $$ = p->KeywordType(TK_FLOAT); }
    | DOUBLE          { GUARD; $$ = p->KeywordType(TK_DOUBLE); }
    | VECTOR          { GUARD; $$ = p->KeywordType(TK_VECTOR); }
    | MATRIX          { GUARD; $$ = p->KeywordType(TK_MATRIX); }
    | STRING          { GUARD; $$ = p->KeywordType(TK_STRING); }
    | TEXTURE         { GUARD; $$ = p->KeywordType(TK_TEXTURE); }
    | TEXTURE1D       { GUARD; $$ = p->KeywordType(TK_TEXTURE1D); }
    | TEXTURE2D       { GUARD; $$ = p->KeywordType(TK_TEXTURE2D); }
    | TEXTURE3D       { GUARD; $$ = p->KeywordType(TK_TEXTURE3D); }
    | TEXTURECUBE     { GUARD; $$ = p->KeywordType(TK_TEXTURECUBE); }
    | SAMPLER         { GUARD; $$ = p->KeywordType(TK_SAMPLER); }
    | SAMPLER1D       { GUARD; $$ = p->KeywordType(TK_SAMPLER1D); }
    | SAMPLER2D       { GUARD; $$ = p->KeywordType(TK_SAMPLER2D); }
    | SAMPLER3D       { GUARD; $$ = p->KeywordType(TK_SAMPLER3D); }
    | SAMPLERCUBE     { GUARD; $$ = p->KeywordType(TK_SAMPLERCUBE); }
    | PIXELSHADER     { GUARD; $$ = p->KeywordType(TK_PIXELSHADER); }
    | VERTEXSHADER    { GUARD; $$ = p->KeywordType(TK_VERTEXSHADER); }
    | PIXELFRAGMENT   { GUARD; $$ = p->KeywordType(TK_PIXELFRAGMENT); }
    | VERTEXFRAGMENT  { GUARD; $$ = p->KeywordType(TK_VERTEXFRAGMENT); }
    | VOID            { GUARD; $$ = p->VoidType(); }
    ;

/* struct [name] { members } */
struct_def
    : struct_head '{' struct_members '}'    { GUARD; $$ = p->EndStruct($1, nullptr, LOC($2)); }
    ;

struct_head
    : STRUCT                                { GUARD; $$ = p->BeginStruct(nullptr); }
    | STRUCT IDENTIFIER                     { GUARD; $$ = p->BeginStruct($2); }
    ;

struct_members
    : %empty
    | struct_members local_declaration
    ;

/* ---------------------------------------------------------------- functions */

function_def
    : function_head ';'                     { GUARD; p->EndPrototype($1); }
    | function_head '{' { GUARD; p->BeginFunctionBody($1); } stmts '}'
                                            { GUARD; p->EndFunctionBody($1, $4); }
    ;

/* usage type name ( parameters ) [: semantic] [target] */
function_head
    : function_sig                          { GUARD; $$ = p->DeclareFunction($1, nullptr, nullptr); }
    | function_sig IDENTIFIER                { GUARD; $$ = p->DeclareFunction($1, nullptr, $2); }
    | function_sig ':' IDENTIFIER           { GUARD; $$ = p->DeclareFunction($1, $3->value.text, nullptr); }
    | function_sig ':' IDENTIFIER IDENTIFIER
                                            { GUARD; $$ = p->DeclareFunction($1, $3->value.text, $4); }
    ;

function_sig
    : top_decl_head IDENTIFIER '(' { GUARD; p->BeginParameters(); } params ')'
                                            { GUARD; $$ = p->NewDeclarator(); $$->name = $2; $$->params = $5; }
    ;

params
    : %empty                           { GUARD; $$ = p->NewList<VarDecl*>(); }
    | param_list                            { $$ = $1; }
    ;

param_list
    : param                                 { GUARD; $$ = p->NewList<VarDecl*>(); if ($1) $$->push_back($1); }
    | param_list ',' param                  { $$ = $1; if ($3) $$->push_back($3); }
    ;

param
    : type_spec param_declarator            { GUARD; $$ = p->DeclareParameter(nullptr, $1, $2, LOC($2->name)); }
    | type_spec                             { GUARD; $$ = p->DeclareParameter(nullptr, $1, nullptr, p->LastLocation()); }
    | param_usages type_spec                { GUARD; $$ = p->DeclareParameter($1, $2, nullptr, p->LastLocation()); }
    | param_usages type_spec param_declarator
                                            { GUARD; $$ = p->DeclareParameter($1, $2, $3, LOC($3->name)); }
    ;

param_usages
    : usages                                { $$ = $1; }
    ;

param_declarator
    : declarator_tail                       { $$ = $1; }
    | declarator_tail '=' initializer       { $$ = $1; $$->hasInit = true; $$->init = $3; }
    ;

/* ---------------------------------------------------------------- statements */

stmts
    : %empty                           { GUARD; $$ = p->NewList<Stmt*>(); }
    | stmts stmt                            { $$ = $1; if ($2) $$->push_back($2); }
    ;

stmt
    : ';'                                   { GUARD; $$ = p->MakeEmptyStmt(LOC($1)); }
    | expr ';'                              { GUARD; $$ = p->MakeExprStmt($1, LOC($2)); }
    | local_declaration                     { GUARD; $$ = p->MakeDeclStmt(); }
    | block                                 { $$ = $1; }
    | IF '(' expr ')' stmt                  { GUARD; $$ = p->MakeIf($3, $5, nullptr, LOC($1)); }
    | IF '(' expr ')' stmt ELSE stmt        { GUARD; $$ = p->MakeIf($3, $5, $7, LOC($1)); }
    | FOR '(' { GUARD; p->OpenScope(kForScope); p->EnterLoop(); } for_init expr_opt ';' expr_opt ')' stmt
                                            { GUARD; p->LeaveLoop(); $$ = p->MakeFor($4, $5, $7, $9, LOC($1)); p->CloseScope(kForScope); }
    | WHILE '(' expr ')' { p->EnterLoop(); } stmt
                                            { GUARD; p->LeaveLoop(); $$ = p->MakeWhile($3, $6, LOC($1)); }
    | DO { p->EnterLoop(); } stmt WHILE '(' expr ')' ';'
                                            { GUARD; p->LeaveLoop(); $$ = p->MakeDo($3, $6, LOC($1)); }
    | BREAK ';'                             { GUARD; $$ = p->MakeJump(NodeKind::Break, LOC($1)); }
    | CONTINUE ';'                          { GUARD; $$ = p->MakeJump(NodeKind::Continue, LOC($1)); }
    | RETURN ';'                            { GUARD; $$ = p->MakeReturn(nullptr, false, LOC($1)); }
    | RETURN expr ';'                       { GUARD; $$ = p->MakeReturn($2, true, LOC($1)); }
    | attribute stmt                        { GUARD; $$ = p->ApplyAttribute($1, $2); }
    | error ';'                             { yyerrok; $$ = nullptr; }
    ;

/* [name] or [name(args)] before a statement: [unroll(4)] for (...) */
attribute
    : '[' IDENTIFIER ']'                    { GUARD; $$ = p->MakeAttribute($2, nullptr); }
    | '[' IDENTIFIER '(' args ')' ']'       { GUARD; $$ = p->MakeAttribute($2, $4); }
    ;

for_init
    : ';'                                   { $$ = nullptr; }
    | expr ';'                              { GUARD; $$ = p->MakeExprStmt($1, LOC($2)); }
    | local_declaration                     { GUARD; $$ = p->MakeDeclStmt(); }
    ;

block
    : '{' { GUARD; p->OpenScope(kBlockScope); } stmts '}'
                                            { GUARD; $$ = p->MakeBlock($3, LOC($1)); p->CloseScope(kBlockScope); }
    ;

expr_opt
    : %empty                           { $$ = nullptr; }
    | expr                                  { $$ = $1; }
    ;

/* ---------------------------------------------------------------- expressions */

primary_expr
    : IDENTIFIER                            { GUARD; $$ = p->MakeIdentifier($1); }
    | literal                               { GUARD; $$ = p->MakeLiteral($1); }
    | TRUE                                  { GUARD; $$ = p->MakeBoolLiteral(true, LOC($1)); }
    | FALSE                                 { GUARD; $$ = p->MakeBoolLiteral(false, LOC($1)); }
    | STRING_CONST                          { GUARD; $$ = p->MakeString($1); }
    | '(' expr ')'                          { $$ = $2; }
    | object_literal                        { $$ = $1; }
    ;

literal
    : INT_CONST | LONG_CONST | UINT_CONST | FLOAT_CONST | HALF_CONST | FLOATF_CONST | LONGF_CONST
    ;

object_literal
    : SAMPLER_STATE '{' { GUARD; p->BeginStateBlock(); } states '}'
                                            { GUARD; p->EndStateBlock(); $$ = p->MakeSamplerState($4, LOC($1)); }
    | COMPILE IDENTIFIER IDENTIFIER '(' args_opt ')'
                                            { GUARD; $$ = p->MakeCompile(false, $2, $3, $5, LOC($1)); }
    | COMPILE_FRAGMENT IDENTIFIER IDENTIFIER '(' args_opt ')'
                                            { GUARD; $$ = p->MakeCompile(true, $2, $3, $5, LOC($1)); }
    | ASM_BLOCK                             { GUARD; $$ = p->MakeAsmBlock($1, false); }
    | DECL_BLOCK                            { GUARD; $$ = p->MakeAsmBlock($1, true); }
    ;

postfix_expr
    : primary_expr                          { $$ = $1; }
    | postfix_expr '[' expr ']'             { GUARD; $$ = p->MakeIndex($1, $3, LOC($2)); }
    | postfix_expr '.' IDENTIFIER           { GUARD; $$ = p->MakeMember($1, $3); }
    | postfix_expr '.' TYPE_NAME            { GUARD; $$ = p->MakeMember($1, $3); }
    | IDENTIFIER '(' args_opt ')'           { GUARD; $$ = p->MakeCall($1, $3); }
    | type_spec '(' args_opt ')'            { GUARD; $$ = p->MakeConstructor($1, $3, LOC($2)); }
    | postfix_expr INC                      { GUARD; $$ = p->MakeUnary(Op::PostIncrement, $1, LOC($2)); }
    | postfix_expr DEC                      { GUARD; $$ = p->MakeUnary(Op::PostDecrement, $1, LOC($2)); }
    ;

args_opt
    : %empty                           { GUARD; $$ = p->NewList<Expr*>(); }
    | args                                  { $$ = $1; }
    ;

args
    : assign_expr                           { GUARD; $$ = p->NewList<Expr*>(); $$->push_back($1); }
    | args ',' assign_expr                  { $$ = $1; $$->push_back($3); }
    ;

unary_expr
    : postfix_expr                          { $$ = $1; }
    | INC unary_expr                        { GUARD; $$ = p->MakeUnary(Op::PreIncrement, $2, LOC($1)); }
    | DEC unary_expr                        { GUARD; $$ = p->MakeUnary(Op::PreDecrement, $2, LOC($1)); }
    | '-' unary_expr                        { GUARD; $$ = p->MakeUnary(Op::Negate, $2, LOC($1)); }
    | '+' unary_expr                        { GUARD; $$ = p->MakeUnary(Op::Plus, $2, LOC($1)); }
    | '!' unary_expr                        { GUARD; $$ = p->MakeUnary(Op::Not, $2, LOC($1)); }
    | '(' type_spec ')' unary_expr          { GUARD; $$ = p->MakeCast($2, $4, LOC($1)); }
    ;

mul_expr
    : unary_expr                            { $$ = $1; }
    | mul_expr '*' unary_expr               { GUARD; $$ = p->MakeBinary(Op::Multiply, $1, $3, LOC($2)); }
    | mul_expr '/' unary_expr               { GUARD; $$ = p->MakeBinary(Op::Divide, $1, $3, LOC($2)); }
    | mul_expr '%' unary_expr               { GUARD; $$ = p->MakeBinary(Op::Modulo, $1, $3, LOC($2)); }
    ;

add_expr
    : mul_expr                              { $$ = $1; }
    | add_expr '+' mul_expr                 { GUARD; $$ = p->MakeBinary(Op::Add, $1, $3, LOC($2)); }
    | add_expr '-' mul_expr                 { GUARD; $$ = p->MakeBinary(Op::Subtract, $1, $3, LOC($2)); }
    ;

rel_expr
    : add_expr                              { $$ = $1; }
    | rel_expr '<' add_expr                 { GUARD; $$ = p->MakeBinary(Op::Less, $1, $3, LOC($2)); }
    | rel_expr '>' add_expr                 { GUARD; $$ = p->MakeBinary(Op::Greater, $1, $3, LOC($2)); }
    | rel_expr LE_OP add_expr               { GUARD; $$ = p->MakeBinary(Op::LessEqual, $1, $3, LOC($2)); }
    | rel_expr GE_OP add_expr               { GUARD; $$ = p->MakeBinary(Op::GreaterEqual, $1, $3, LOC($2)); }
    ;

eq_expr
    : rel_expr                              { $$ = $1; }
    | eq_expr EQ_OP rel_expr                { GUARD; $$ = p->MakeBinary(Op::Equal, $1, $3, LOC($2)); }
    | eq_expr NE_OP rel_expr                { GUARD; $$ = p->MakeBinary(Op::NotEqual, $1, $3, LOC($2)); }
    ;

and_expr
    : eq_expr                               { $$ = $1; }
    | and_expr AND_OP eq_expr               { GUARD; $$ = p->MakeBinary(Op::LogicalAnd, $1, $3, LOC($2)); }
    ;

or_expr
    : and_expr                              { $$ = $1; }
    | or_expr OR_OP and_expr                { GUARD; $$ = p->MakeBinary(Op::LogicalOr, $1, $3, LOC($2)); }
    ;

cond_expr
    : or_expr                               { $$ = $1; }
    | or_expr '?' expr ':' cond_expr        { GUARD; $$ = p->MakeConditional($1, $3, $5, LOC($2)); }
    ;

assign_expr
    : cond_expr                             { $$ = $1; }
    | unary_expr '=' assign_expr            { GUARD; $$ = p->MakeAssign(Op::Assign, $1, $3, LOC($2)); }
    | unary_expr MUL_ASSIGN assign_expr     { GUARD; $$ = p->MakeAssign(Op::MultiplyAssign, $1, $3, LOC($2)); }
    | unary_expr DIV_ASSIGN assign_expr     { GUARD; $$ = p->MakeAssign(Op::DivideAssign, $1, $3, LOC($2)); }
    | unary_expr MOD_ASSIGN assign_expr     { GUARD; $$ = p->MakeAssign(Op::ModuloAssign, $1, $3, LOC($2)); }
    | unary_expr ADD_ASSIGN assign_expr     { GUARD; $$ = p->MakeAssign(Op::AddAssign, $1, $3, LOC($2)); }
    | unary_expr SUB_ASSIGN assign_expr     { GUARD; $$ = p->MakeAssign(Op::SubtractAssign, $1, $3, LOC($2)); }
    ;

expr
    : assign_expr                           { $$ = $1; }
    | expr ',' assign_expr                  { GUARD; $$ = p->MakeComma($1, $3, LOC($2)); }
    ;

/* ---------------------------------------------------------------- techniques */

technique
    : TECHNIQUE name_opt annotations_opt '{' passes '}'
                                            { GUARD; p->DeclareTechnique($2, $3, $5, LOC($1)); }
    ;

name_opt
    : %empty                           { $$ = nullptr; }
    | IDENTIFIER                            { $$ = $1; }
    | TYPE_NAME                             { $$ = $1; }
    ;

passes
    : %empty                           { GUARD; $$ = p->NewList<PassDecl*>(); }
    | passes pass                           { $$ = $1; if ($2) $$->push_back($2); }
    ;

pass
    : PASS name_opt annotations_opt '{' { GUARD; p->BeginStateBlock(); } states '}'
                                            { GUARD; p->EndStateBlock(); $$ = p->MakePass($2, $3, $6, LOC($1)); }
    ;

states
    : %empty                           { GUARD; $$ = p->NewList<StateAssignment*>(); }
    | states state                          { $$ = $1; if ($2) $$->push_back($2); }
    ;

/* name [index] = value ; */
state
    : state_name '=' state_value ';'        { GUARD; $$ = p->MakeStateAssignment($1, nullptr, $3); }
    | state_name '[' expr ']' '=' state_value ';'
                                            { GUARD; $$ = p->MakeStateAssignment($1, $3, $6); }
    ;

state_name
    : IDENTIFIER | TYPE_NAME | PASS | TECHNIQUE
    ;

state_value
    : expr                                  { GUARD; p->CheckStateValue($1); $$ = $1; }
    | state_value '|' cond_expr             { GUARD; $$ = p->MakeStateFlags($1, $3, LOC($2)); }
    | '<' IDENTIFIER '>'                    { GUARD; $$ = p->MakeStateReference($2, LOC($1)); }
    | '{' init_items '}'                    { GUARD; $$ = p->MakeInitList($2, LOC($1)); }
    | '{' init_items ',' '}'                { GUARD; $$ = p->MakeInitList($2, LOC($1)); }
    ;

%%

// The HLSL parser: reads the preprocessor's tokens through the grammar in
// hlsl.y and builds the checked program tree. The grammar's actions are
// small; each calls one member named for its construct, where the checks and
// messages live (declarations.cpp, expressions.cpp, calls.cpp,
// statements.cpp, effects.cpp; scopes and lookup in scopes.cpp; the token to
// terminal mapping in parser_lexer.cpp).
#pragma once

#include <cstdarg>
#include <deque>
#include <memory>
#include <unordered_map>
#include <vector>

#include "shader/error_log.h"
#include "shader/frontend/constant_folding.h"
#include "shader/frontend/program_tree.h"
#include "shader/preprocess/token.h"

class Preprocessor;

namespace hlsl {

// Scope kinds.
enum ScopeKind : uint8_t {
    kProgramScope = 0,
    kStructScope = 1,
    kParameterScope = 2,
    kBlockScope = 3,
    kForScope = 4,
    kAnnotationScope = 5,
    kTechniqueScope = 6,
    kStateScope = 7,
};

struct Symbol {
    Decl* decl = nullptr;
    const char* name = nullptr;
    uint32_t scopeNumber = 0;
    uint32_t sequence = 0;
    bool hidden = false;  // a for statement's variable after its loop closed
};

struct Scope {
    ScopeKind kind = kProgramScope;
    uint32_t number = 0;
    std::vector<Symbol> symbols;  // in declaration order (searched newest first)
    Scope* outer = nullptr;
};

// Storage classes and target name written before a type.
struct UsageSpec {
    uint32_t bits = 0;
    const char* target = nullptr;
    SourceLocation loc;
};

// One declarator of a declaration, collected by the grammar.
struct Declarator {
    const Token* name = nullptr;
    std::vector<Expr*> dims;       // null entries: "[]" or a dimension that failed
    std::vector<bool> implicitDim; // per entry: written as "[]"
    std::vector<const char*> semantics;
    RegisterBinding reg;
    bool hasAnnotations = false;
    std::vector<VarDecl*> annotations;
    bool hasInit = false;
    Expr* init = nullptr;
    std::vector<VarDecl*>* params = nullptr;  // function signatures
};

// One attribute written before a statement: "[name]" or "[name(args)]".
struct AttributeSpec {
    const char* name = nullptr;
    uint32_t flag = 0;   // its StatementAttribute bit; 0 when unknown or refused (already reported)
    uint32_t count = 0;  // the n of "[unroll(n)]"
    SourceLocation loc;
};

// The type and usage of the declaration list being parsed.
struct UsageType {
    UsageSpec usage;
    const Type* type = nullptr;
    bool isVoid = false;
    bool isTypedef = false;
    std::vector<VarDecl*> vars;  // declared so far in this list
};

class Parser {
public:
    Parser(Preprocessor& pp, uint32_t flags);
    ~Parser();

    // Runs the grammar over the whole token stream. S_OK hands the tree to
    // the caller; E_FAIL when an error was reported (the messages are in the
    // log); a preprocessor failure is passed on.
    HRESULT Parse(std::unique_ptr<ProgramTree>* tree);

    // ---- used by the grammar (hlsl.y) ----
    int NextTerminal(void* value);  // the lexer: fills the semantic value, returns the terminal
    void SyntaxError(const char* bisonMessage);
    // After a syntax error recovered at the top level: back to the program
    // scope, so what follows is checked as top-level declarations.
    void RecoverTopLevel();
    bool Fatal() const { return fatal_; }
    SourceLocation LastLocation() const { return lookahead_.Location(); }
    ProgramTree& Tree() { return *tree_; }
    const Token* KeepToken(const Token& t);
    template <class T>
    std::vector<T>* NewList() {
        auto list = std::make_shared<std::vector<T>>();
        keep_.push_back(list);
        return list.get();
    }
    Declarator* NewDeclarator() {
        declarators_.emplace_back();
        return &declarators_.back();
    }

    // usages and types
    UsageSpec* NewUsage(const SourceLocation& loc);
    void AddUsage(UsageSpec* u, uint32_t bit, const SourceLocation& loc);
    void AddUsageTarget(UsageSpec* u, const Token* target);
    const Type* KeywordType(int terminal);
    const Type* TypeOfName(const Token* typeName);  // the type a TYPE_NAME terminal names
    const Type* VectorTemplate(const Type* component, Expr* size, const SourceLocation& loc);
    const Type* MatrixTemplate(const Type* component, Expr* rows, Expr* cols, const SourceLocation& loc);
    const Type* VoidType() { return &voidType_; }

    // declarations (declarations.cpp)
    void BeginDeclaration(UsageSpec* usage, const Type* type, bool isTypedef);
    void EndDeclaration();
    void DeclareVariable(Declarator* d);  // in the current declaration list
    StructDef* BeginStruct(const Token* name);
    const Type* EndStruct(StructDef* def, const Token* name, const SourceLocation& loc);
    void BeginParameters();
    VarDecl* DeclareParameter(UsageSpec* usage, const Type* type, Declarator* d, const SourceLocation& loc);
    FuncDecl* DeclareFunction(Declarator* signature, const char* semantic, const Token* target);
    void EndPrototype(FuncDecl* f);
    void BeginFunctionBody(FuncDecl* f);
    void EndFunctionBody(FuncDecl* f, std::vector<Stmt*>* body);
    void BeginAnnotations();
    void EndAnnotations(Declarator* d, std::vector<VarDecl*>* out);

    // scopes (scopes.cpp)
    void OpenScope(ScopeKind kind);
    void CloseScope();
    // Closes scopes up to and including the innermost one of `kind`, so a
    // scope left open by a syntax error inside it is closed with it.
    void CloseScope(ScopeKind kind);
    ScopeKind CurrentScopeKind() const;
    Symbol* Lookup(const char* name, bool* hiddenConflict = nullptr);

    // expressions (expressions.cpp, calls.cpp)
    Expr* MakeLiteral(const Token* t);
    Expr* MakeBoolLiteral(bool value, const SourceLocation& loc);
    Expr* MakeString(const Token* t);
    Expr* MakeIdentifier(const Token* t);
    Expr* MakeUnary(Op op, Expr* a, const SourceLocation& loc);
    Expr* MakeBinary(Op op, Expr* a, Expr* b, const SourceLocation& loc);
    Expr* MakeAssign(Op op, Expr* target, Expr* value, const SourceLocation& loc);
    Expr* MakeComma(Expr* a, Expr* b, const SourceLocation& loc);
    Expr* MakeConditional(Expr* c, Expr* a, Expr* b, const SourceLocation& loc);
    Expr* MakeCast(const Type* type, Expr* e, const SourceLocation& loc);
    Expr* MakeConstructor(const Type* type, std::vector<Expr*>* args, const SourceLocation& loc);
    Expr* MakeCall(const Token* name, std::vector<Expr*>* args);
    Expr* MakeMember(Expr* base, const Token* name);
    Expr* MakeIndex(Expr* base, Expr* index, const SourceLocation& loc);
    Expr* MakeInitList(std::vector<Expr*>* items, const SourceLocation& loc);

    // effects (effects.cpp)
    void BeginStateBlock();
    void EndStateBlock();
    StateAssignment* MakeStateAssignment(const Token* name, Expr* index, Expr* value);
    Expr* MakeStateFlags(Expr* a, Expr* b, const SourceLocation& loc);  // "RED|GREEN"
    Expr* MakeStateReference(const Token* name, const SourceLocation& loc);  // "<name>"
    Expr* MakeSamplerState(std::vector<StateAssignment*>* states, const SourceLocation& loc);
    Expr* MakeCompile(bool fragment, const Token* target, const Token* function, std::vector<Expr*>* args,
                      const SourceLocation& loc);
    Expr* MakeAsmBlock(const Token* block, bool isDecl);
    PassDecl* MakePass(const Token* name, std::vector<VarDecl*>* annotations,
                       std::vector<StateAssignment*>* states, const SourceLocation& loc);
    void DeclareTechnique(const Token* name, std::vector<VarDecl*>* annotations, std::vector<PassDecl*>* passes,
                          const SourceLocation& loc);
    void CheckStateValue(Expr* value);

    // statements (statements.cpp)
    Stmt* MakeExprStmt(Expr* e, const SourceLocation& loc);
    Stmt* MakeEmptyStmt(const SourceLocation& loc);
    Stmt* MakeDeclStmt();  // the variables of the declaration just ended
    // `hasValue`: the statement has an expression, which may have failed
    // (null value) after reporting its own error.
    Stmt* MakeReturn(Expr* value, bool hasValue, const SourceLocation& loc);
    // "break" or "continue" (`kind`); outside a loop an error.
    Stmt* MakeJump(NodeKind kind, const SourceLocation& loc);
    // The parser is inside the body of this many loops.
    void EnterLoop() { ++loopDepth_; }
    void LeaveLoop() {
        if (loopDepth_ > 0) --loopDepth_;
    }
    Stmt* MakeIf(Expr* c, Stmt* then, Stmt* otherwise, const SourceLocation& loc);
    Stmt* MakeFor(Stmt* init, Expr* c, Expr* iteration, Stmt* body, const SourceLocation& loc);
    Stmt* MakeWhile(Expr* c, Stmt* body, const SourceLocation& loc);
    Stmt* MakeDo(Stmt* body, Expr* c, const SourceLocation& loc);
    Stmt* MakeBlock(std::vector<Stmt*>* stmts, const SourceLocation& loc);
    // "[name]" or "[name(args)]" before a statement (`args` null without
    // parentheses); unknown names and bad arguments are reported here.
    AttributeSpec* MakeAttribute(const Token* name, std::vector<Expr*>* args);
    // Records `a` on the statement it stands before; a misplaced attribute is
    // reported and dropped.
    Stmt* ApplyAttribute(AttributeSpec* a, Stmt* s);
    void AddTopLevel(Decl* d);

    // ---- shared by the construct files ----
    // Reports a message row (an error or a warning, as the row says); the
    // arguments fill its format.
    template <class... Args>
    void Error(const SourceLocation& loc, const Diagnostic& d, Args... args) {
        Report(loc, &d, args...);
    }
    template <class... Args>
    void Warning(const SourceLocation& loc, const Diagnostic& d, Args... args) {
        Report(loc, &d, args...);
    }
    void Internal(const Diagnostic& d);
    // Converts e to `to`, reporting X3017 (with `name` when given) on failure.
    Expr* Convert(Expr* e, const Type* to, bool isExplicit, const char* name = nullptr);
    bool InFunction() const { return currentFunction_ != nullptr; }
    FuncDecl* CurrentFunction() const { return currentFunction_; }
    bool IsAssignable(const Expr* e) const;
    static const LiteralExpr* AsLiteral(const Expr* e);
    Expr* NewLiteral(const Type* type, Values values, const SourceLocation& loc);
    uint32_t AllocateSlots(const Type* type);
    const char* LookupWords(Decl* d) const;
    uint32_t stateDepth_ = 0;  // > 0 inside a state block: object keywords are identifiers

private:
    friend struct ParserAccess;
    void Report(const SourceLocation& loc, const Diagnostic* d, ...);
    int TerminalFor(const Token& t, void* value);
    int ReadAsmBlock(void* value, bool isDecl);
    VarKind CurrentVarKind() const;
    void CheckVariable(VarDecl* v, Declarator* d, const Type* baseType);
    const Type* ApplyDimensions(const char* name, Declarator* d, const Type* element, VarKind kind, bool isTypedef);
    Expr* ConvertInitializer(Expr* init, const Type* type, const char* name);
    void AddSymbol(Decl* d, const char* name, const SourceLocation& loc);
    FuncDecl* FindMatchingFunction(const char* name, const char* target, const std::vector<VarDecl*>& params);

    Preprocessor& pp_;
    uint32_t flags_;
    std::unique_ptr<ProgramTree> tree_;
    Scope* scope_ = nullptr;
    std::deque<Scope> scopePool_;
    uint32_t scopeCounter_ = 0;
    uint32_t sequence_ = 0;
    std::vector<UsageType> usageStack_;
    std::vector<VarDecl*> lastDeclared_;  // variables of the declaration list that just ended
    std::vector<StructDef*> structStack_;  // structures whose bodies are being parsed
    FuncDecl* currentFunction_ = nullptr;
    int loopDepth_ = 0;
    bool bodyRejected_ = false;           // the body being parsed is a second one
    SourceLocation lastFunctionLoc_;      // name of the function declared last
    bool error_ = false;
    uint32_t errorsAtStart_ = 0;
    bool fatal_ = false;
    HRESULT streamResult_ = S_OK;
    Token lookahead_;
    bool havePending_ = false;
    Token pending_;
    std::deque<Token> tokens_;
    std::unordered_map<const Token*, const Type*> typeNames_;
    std::deque<UsageSpec> usages_;
    std::deque<Declarator> declarators_;
    std::deque<AttributeSpec> attributes_;
    std::vector<std::shared_ptr<void>> keep_;
    Type voidType_;
};

}  // namespace hlsl

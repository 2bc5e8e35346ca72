// The program tree: what the parser yields and the lowering consumes.
//
// A ProgramTree owns every node, type record and string of one parse; nodes
// point at each other with plain pointers that stay valid while the tree
// lives. `decls` lists the top-level declarations in source order.
//
// Everything in the tree is checked: every expression has its type, every
// implicit conversion is an explicit ConversionExpr node, every call names the
// function or intrinsic signature it resolved to, and literal sub-expressions
// are already folded into LiteralExpr nodes. The named lists of the design
// ("Decls", "Stmts", "Passes", "States", "Inputs", "Outputs", ...) are the
// vector fields of the same names below.
//
// Globals declared without "static" are the shader's uniforms; "static"
// globals with a literal initializer are marked evaluateNow.
//
// Value area. Every variable, parameter and function return value owns a
// contiguous range of scalar slots (VarDecl::valueOffset, FuncDecl::returnOffset,
// each of TypeSize(type) slots); a function's parameters are consecutive
// (FuncDecl::paramAreaPos, paramAreaSize). ProgramTree::valueAreaSize is the
// total. The lowering keeps one value-map entry per slot.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "shader/error_log.h"
#include "shader/frontend/types.h"

namespace hlsl {

struct IntrinsicSignature;  // intrinsics.h

enum class NodeKind : uint8_t {
    // declarations
    VarDecl,
    FuncDecl,
    TechniqueDecl,
    PassDecl,
    TypeDecl,
    // expressions
    Literal,
    String,
    VarRef,
    Operator,
    Conversion,
    Call,
    Member,
    Index,
    Conditional,
    InitList,
    Object,
    StateName,
    // statements
    ExprStmt,
    DeclStmt,
    Return,
    If,
    Loop,
    Block,
    Break,
    Continue,
    // technique parts
    StateAssignment,
};

struct Node {
    explicit Node(NodeKind k) : kind(k) {}
    virtual ~Node() = default;
    NodeKind kind;
    SourceLocation loc;
};

// ---------------------------------------------------------------- values

// One scalar component of a compile-time value.
struct ConstValue {
    enum Class : uint8_t { kBoolValue, kIntValue, kUintValue, kFloatValue, kObjectValue, kStringValue };
    Class cls = kFloatValue;
    uint32_t bits = 0;     // bool (0/1), signed and unsigned integers (32-bit patterns)
    double number = 0;     // floats
    const char* text = nullptr;  // strings

    double AsDouble() const;
    static ConstValue Bool(bool b);
    static ConstValue Int(int32_t i);
    static ConstValue Uint(uint32_t u);
    static ConstValue Float(double d);
};

// The value class a base type's constants are held in.
ConstValue::Class ValueClassOf(BaseType base);
// Converts one component to the value class of `base` (integers round
// toward zero after a 1e-6 nudge away from zero, bools are "non-zero").
ConstValue ConvertValue(const ConstValue& v, BaseType base);

// ---------------------------------------------------------------- expressions

struct Expr : Node {
    using Node::Node;
    const Type* type = nullptr;
};

// A compile-time constant: one value per scalar component of `type`.
struct LiteralExpr : Expr {
    LiteralExpr() : Expr(NodeKind::Literal) {}
    std::vector<ConstValue> values;
};

struct StringExpr : Expr {
    StringExpr() : Expr(NodeKind::String) {}
    const char* text = nullptr;
};

struct VarDecl;
struct FuncDecl;

struct VarRefExpr : Expr {
    VarRefExpr() : Expr(NodeKind::VarRef) {}
    VarDecl* var = nullptr;
};

enum class Op : uint8_t {
    Negate, Plus, Not, PreIncrement, PreDecrement, PostIncrement, PostDecrement,
    Multiply, Divide, Modulo, Add, Subtract,
    Less, Greater, LessEqual, GreaterEqual, Equal, NotEqual,
    LogicalAnd, LogicalOr,
    Assign, MultiplyAssign, DivideAssign, ModuloAssign, AddAssign, SubtractAssign,
    Comma,
    StateFlags,  // "RED|GREEN" in a state value: flags combined
};
const char* OpSpelling(Op op);

// Operators. Arithmetic and comparison operands are already converted to
// the mixed type (comparisons yield bool of that shape); an assignment's
// right operand is converted to the left operand's type.
struct OperatorExpr : Expr {
    OperatorExpr() : Expr(NodeKind::Operator) {}
    Op op = Op::Add;
    Expr* operands[3] = {nullptr, nullptr, nullptr};
};

// A conversion to `type`: implicit (one argument), an explicit cast (one
// argument) or a constructor (arguments whose sizes add up to the type's).
struct ConversionExpr : Expr {
    ConversionExpr() : Expr(NodeKind::Conversion) {}
    enum Form : uint8_t { kImplicit, kCast, kConstructor } form = kImplicit;
    std::vector<Expr*> args;
};

// An "out" or "inout" parameter's value written back to its argument after
// the call: `target` is the argument (an l-value), `paramIndex` the parameter,
// converted to the argument's type.
struct CallOutput {
    uint32_t paramIndex = 0;
    Expr* target = nullptr;
};

// A call of a user function (`function`) or an intrinsic (`intrinsic`).
// `inputs` has one entry per parameter: the argument converted to the
// parameter's type, the parameter's default value, or null for an "out"-only
// parameter.
struct CallExpr : Expr {
    CallExpr() : Expr(NodeKind::Call) {}
    FuncDecl* function = nullptr;
    const IntrinsicSignature* intrinsic = nullptr;
    std::vector<Expr*> inputs;        // "Inputs"
    std::vector<CallOutput> outputs;  // "Outputs"
};

// A structure member ("s.m": `member`, `offset` in scalar components) or a
// swizzle (`count` components of `base`, each a flat component index
// row * columns + column of the base's shape).
struct MemberExpr : Expr {
    MemberExpr() : Expr(NodeKind::Member) {}
    Expr* base = nullptr;
    VarDecl* member = nullptr;  // null for a swizzle
    uint32_t offset = 0;
    uint8_t count = 0;
    uint8_t components[4] = {0, 0, 0, 0};
};

struct IndexExpr : Expr {
    IndexExpr() : Expr(NodeKind::Index) {}
    Expr* base = nullptr;
    Expr* index = nullptr;
};

struct ConditionalExpr : Expr {
    ConditionalExpr() : Expr(NodeKind::Conditional) {}
    Expr* condition = nullptr;  // converted to a bool of the result's size
    Expr* ifTrue = nullptr;
    Expr* ifFalse = nullptr;
};

// "{ a, b, ... }" where an initializer is expected. Once the declaration is
// checked, `type` is the type it initializes and `items` the leaf elements in
// order (nested lists flattened), whose sizes add up to that type's. A list
// of literals becomes a LiteralExpr instead.
struct InitListExpr : Expr {
    InitListExpr() : Expr(NodeKind::InitList) {}
    std::vector<Expr*> items;
};

struct StateAssignment;

// Object literals of effect files: sampler state blocks, asm and decl
// blocks, and compiled shaders ("compile ps_2_0 main(args)").
struct ObjectExpr : Expr {
    ObjectExpr() : Expr(NodeKind::Object) {}
    enum Form : uint8_t { kSamplerState, kAsm, kDecl, kCompile, kCompileFragment } form = kSamplerState;
    std::vector<StateAssignment*> states;  // "States" of a sampler state block
    const char* text = nullptr;            // asm / decl block text
    const char* target = nullptr;          // compile target name
    uint32_t targetVersion = 0;
    const char* function = nullptr;        // compiled function name
    std::vector<Expr*> args;               // "Arguments"
};

// A word in a state block that names no declaration ("Linear", "Wrap"):
// an enumerated state value, kept by name.
struct StateNameExpr : Expr {
    StateNameExpr() : Expr(NodeKind::StateName) {}
    const char* name = nullptr;
};

// ---------------------------------------------------------------- declarations

enum DeclKind : uint8_t { kDeclType = 0, kDeclVariable = 1, kDeclFunction = 2, kDeclTechnique = 3, kDeclPass = 4 };

// Storage classes and modifiers.
enum Usage : uint32_t {
    kUsageExtern = 0x001,
    kUsageStatic = 0x002,
    kUsageVolatile = 0x004,
    kUsageShared = 0x008,
    kUsageIn = 0x010,
    kUsageOut = 0x020,
    kUsageInOut = 0x030,
    kUsageUniform = 0x040,
    kUsageInline = 0x100,
    kUsageConst = 0x200,
    kUsageRowMajor = 0x400,
    kUsageColumnMajor = 0x800,
};

// Where a variable is declared; also selects the words of its messages.
enum VarKind : uint8_t {
    kGlobalVar = 0,
    kStructMember = 1,
    kParameter = 2,
    kLocalVar = 3,
    kLoopVar = 4,
    kAnnotationVar = 5,
};

struct Decl : Node {
    Decl(NodeKind k, DeclKind d) : Node(k), declKind(d) {}
    DeclKind declKind;
    const char* name = nullptr;  // null for anonymous techniques and passes
};

struct RegisterBinding {
    const char* target = nullptr;  // "register(vs, c0)": the target name
    const char* name = nullptr;    // "c0"; null when no register was given
};

struct VarDecl : Decl {
    VarDecl() : Decl(NodeKind::VarDecl, kDeclVariable) {}
    VarKind varKind = kGlobalVar;
    uint32_t usage = 0;
    const char* target = nullptr;
    const Type* type = nullptr;          // array dimensions included
    std::vector<const char*> semantics;  // "Semantics"
    RegisterBinding reg;
    std::vector<VarDecl*> annotations;
    Expr* init = nullptr;                // converted to `type`
    uint32_t packing = 0;                // kRowMajor / kColumnMajor / 0 (matrices)
    uint32_t valueOffset = 0;            // first slot in the value area
    bool evaluateNow = false;            // global whose literal initializer is its value
    bool dimensionsRefused = false;      // already reported: its uses report nothing more
};

struct Stmt;

struct FuncDecl : Decl {
    FuncDecl() : Decl(NodeKind::FuncDecl, kDeclFunction) {}
    uint32_t usage = 0;
    const Type* returnType = nullptr;  // null for void; const otherwise
    std::vector<VarDecl*> params;      // "Parameters"
    const char* semantic = nullptr;    // return semantic
    const char* target = nullptr;      // target-specific function ("vs_2_0 float4 f()")
    std::vector<Stmt*> body;           // "Stmts"
    bool hasBody = false;
    uint32_t paramAreaPos = 0;   // first slot of the parameters
    uint32_t paramAreaSize = 0;  // slots of all parameters
    uint32_t returnOffset = 0;   // first slot of the return value
};

struct StateAssignment : Node {
    StateAssignment() : Node(NodeKind::StateAssignment) {}
    const char* name = nullptr;
    Expr* index = nullptr;  // "Texture[0] = ..." index, or null
    Expr* value = nullptr;
};

struct PassDecl : Decl {
    PassDecl() : Decl(NodeKind::PassDecl, kDeclPass) {}
    std::vector<VarDecl*> annotations;
    std::vector<StateAssignment*> states;  // "States"
};

struct TechniqueDecl : Decl {
    TechniqueDecl() : Decl(NodeKind::TechniqueDecl, kDeclTechnique) {}
    std::vector<VarDecl*> annotations;
    std::vector<PassDecl*> passes;  // "Passes"
};

// A structure definition or a typedef name.
struct TypeDecl : Decl {
    TypeDecl() : Decl(NodeKind::TypeDecl, kDeclType) {}
    const Type* type = nullptr;
};

// ---------------------------------------------------------------- statements

// Attributes written before a statement ("[unroll(4)] for ...", "[branch] if
// ..."). The parser keeps those that apply to the statement they stand
// before: kAttrFlatten and kAttrBranch on "if", the loop attributes on "for",
// "while" and "do" (kAttrForceCase and kAttrCall belong to "switch", which
// the language here does not have, so they are always reported as misplaced).
// Unknown and misplaced attributes are reported as warnings and not kept;
// contradicting pairs ([flatten][branch], [loop][unroll]) are errors.
//
// The lowering reads them as hints: kAttrUnroll asks for the loop to be
// unrolled (an error when it cannot be), `unrollCount` (> 0 for
// "[unroll(n)]") caps the rounds it may be unrolled to; kAttrLoop asks for a
// real loop and kAttrBranch for a real branch where the model has flow
// control, kAttrFlatten for both arms computed and merged.
enum StatementAttribute : uint32_t {
    kAttrFlatten = 0x001,
    kAttrBranch = 0x002,
    kAttrLoop = 0x004,
    kAttrUnroll = 0x008,
    kAttrFastOpt = 0x010,
    kAttrAllowUavCondition = 0x020,
    kAttrForceCase = 0x040,
    kAttrCall = 0x080,
};

struct StatementAttributes {
    uint32_t flags = 0;        // StatementAttribute bits
    uint32_t unrollCount = 0;  // n of "[unroll(n)]"; 0 when no count was given
    bool Has(uint32_t attribute) const { return (flags & attribute) != 0; }
};

struct Stmt : Node {
    using Node::Node;
    StatementAttributes attributes;
};

struct ExprStmt : Stmt {
    ExprStmt() : Stmt(NodeKind::ExprStmt) {}
    Expr* expr = nullptr;
};

// Local declarations (and local structure or typedef definitions, which
// declare no variable).
struct DeclStmt : Stmt {
    DeclStmt() : Stmt(NodeKind::DeclStmt) {}
    std::vector<VarDecl*> vars;
};

struct ReturnStmt : Stmt {
    ReturnStmt() : Stmt(NodeKind::Return) {}
    Expr* value = nullptr;  // converted to the function's return type
    FuncDecl* function = nullptr;
};

struct IfStmt : Stmt {
    IfStmt() : Stmt(NodeKind::If) {}
    Expr* condition = nullptr;
    Stmt* then = nullptr;
    Stmt* otherwise = nullptr;  // may be null
};

// "for", "while" and "do" share one node: "while" has no init or iteration;
// "do" has its body as `init` (run once before the first test) and `body`.
struct LoopStmt : Stmt {
    LoopStmt() : Stmt(NodeKind::Loop) {}
    enum Form : uint8_t { kFor, kWhile, kDo } form = kFor;
    Stmt* init = nullptr;
    Expr* condition = nullptr;
    Expr* iteration = nullptr;
    Stmt* body = nullptr;
};

// "break" (kind Break) and "continue" (kind Continue): they leave the round
// of the innermost loop around them, "break" the whole loop.
struct JumpStmt : Stmt {
    JumpStmt() : Stmt(NodeKind::Break) {}
};

struct BlockStmt : Stmt {
    BlockStmt() : Stmt(NodeKind::Block) {}
    std::vector<Stmt*> stmts;
};

// ---------------------------------------------------------------- the tree

class ProgramTree {
public:
    template <class T>
    T* New(const SourceLocation& loc) {
        auto node = std::make_unique<T>();
        node->loc = loc;
        T* raw = node.get();
        nodes_.push_back(std::move(node));
        return raw;
    }
    // Keeps a copy of a text for the tree's lifetime.
    const char* Keep(const char* text);
    const char* Keep(const char* text, size_t length);

    std::vector<Decl*> decls;  // "Decls": the top-level declarations in source order
    TypeTable types;
    uint32_t valueAreaSize = 0;
    uint32_t functionCount = 0;
    uint32_t techniqueCount = 0;

private:
    std::vector<std::unique_ptr<Node>> nodes_;
    std::vector<std::unique_ptr<char[]>> texts_;
};

}  // namespace hlsl

// The lowering's working state and the operations its files share. One
// Lowerer lives for one compile; see lowering.h for what it produces.
#pragma once

#include <cstdint>
#include <map>
#include <set>
#include <vector>

#include "shader/backend/intermediate_program.h"
#include "shader/frontend/lowering/lowering.h"
#include "shader/frontend/lowering/register_layout.h"
#include "shader/frontend/program_tree.h"

namespace hlsl::lowering {

// One argument index per scalar component of an expression's type.
using Value = std::vector<int32_t>;

// Thrown inside the lowering only, caught by LowerShader: the program grew
// past what the lowering is willing to build.
struct ProgramTooLarge {};

class Lowerer {
public:
    Lowerer(ProgramTree& tree, IntermediateProgram& program);

    HRESULT LowerGlobals();
    HRESULT LowerEntry(FuncDecl* entry);
    HRESULT Result() const { return hr_; }

    // ---- reporting (lowering_core.cpp)
    void Error(const SourceLocation& loc, Diagnostic d, ...);
    void Warning(const SourceLocation& loc, Diagnostic d, ...);
    bool Failed() const { return FAILED(hr_); }

    // ---- precision classes (precision.cpp). Every argument the lowering
    // creates carries the class of the value's base type; new temporaries
    // take `precision`, which each expression sets while it is lowered.
    static uint32_t PrecisionOf(BaseType base);
    static uint32_t PrecisionOf(const Type* t);  // the highest class of its components
    uint32_t ExpressionPrecision(const Expr* e) const;
    // The class of a value: the highest class any of its arguments carries.
    uint32_t PrecisionOfValue(const Value& v) const;
    struct PrecisionScope {
        PrecisionScope(Lowerer& l, uint32_t cls) : lowerer(l), saved(l.precision) { l.precision = cls; }
        ~PrecisionScope() { lowerer.precision = saved; }
        PrecisionScope(const PrecisionScope&) = delete;
        PrecisionScope& operator=(const PrecisionScope&) = delete;
        Lowerer& lowerer;
        uint32_t saved;
    };

    // ---- emitting (emit.cpp); every helper takes values of one size n
    // (a value of one component is replicated) and returns n components.
    int32_t Literal(double v);
    Value Literals(double v, size_t n) { return Value(n, Literal(v)); }
    int32_t NewTemp(uint32_t flags = 0);
    Value Emit(uint32_t code, const std::vector<const Value*>& inputs, size_t n);
    Value Unary(uint32_t code, const Value& a) { return Emit(code, {&a}, a.size()); }
    Value Binary(uint32_t code, const Value& a, const Value& b) { return Emit(code, {&a, &b}, Width(a, b)); }
    Value Neg(const Value& a) { return Unary(0x11, a); }
    Value Add(const Value& a, const Value& b) { return Binary(0x24, a, b); }
    Value Sub(const Value& a, const Value& b) { return Add(a, Neg(b)); }
    Value Mul(const Value& a, const Value& b) { return Binary(0x25, a, b); }
    Value Rcp(const Value& a) { return Unary(0x12, a); }
    Value Frac(const Value& a) { return Unary(0x13, a); }
    Value Sqrt(const Value& a) { return Unary(0x16, a); }
    Value Min(const Value& a, const Value& b);
    Value Max(const Value& a, const Value& b);
    Value Less(const Value& a, const Value& b);          // a < b: 1 or 0
    Value GreaterEqual(const Value& a, const Value& b);  // a >= b: 1 or 0
    Value Select(const Value& a, const Value& b, const Value& c);  // a >= 0 ? b : c
    Value Abs(const Value& a) { return Max(a, Neg(a)); }
    Value Floor(const Value& a) { return Sub(a, Frac(a)); }
    Value Truncate(const Value& a);
    Value NonZero(const Value& a);  // 1 where a != 0
    Value IsZero(const Value& a);   // 1 where a == 0
    Value MulAdd(const Value& a, const Value& b, const Value& c) { return Add(Mul(a, b), c); }
    // Interpolation a..b by t, as the merge of the two arms of an "if" does.
    Value Lerp(const Value& a, const Value& b, const Value& t);
    Value Dot(const Value& a, const Value& b);
    Value Broadcast(const Value& a, size_t n);
    static size_t Width(const Value& a, const Value& b) { return a.size() > b.size() ? a.size() : b.size(); }
    bool IsLiteral(int32_t arg) const;
    bool LiteralOf(int32_t arg, double* v) const;
    bool KnownZeroOrOne(const Value& v) const;

    // ---- expressions (lower_expressions.cpp)
    Value Lower(const Expr* e);
    Value LowerOperator(const OperatorExpr* e);
    Value Arithmetic(Op op, const Value& a, const Value& b, const Type* type);
    Value Fmod(const Value& a, const Value& b);
    Value IntegerDivide(const Value& a, const Value& b);
    Value Convert(const Value& v, const Type* from, const Type* to);
    Value ComponentsOf(const std::vector<Expr*>& parts, const Type* type, uint32_t size);
    // Value-map slots of an assignable expression; false (after a message)
    // when it cannot be written.
    bool LvalueSlots(const Expr* e, std::vector<uint32_t>* slots);
    Value ReadSlots(const std::vector<uint32_t>& slots);
    void WriteSlots(const std::vector<uint32_t>& slots, const Value& v);
    int32_t LowerObject(const Expr* e);  // the sampler argument, -1 on failure
    Value LowerIndex(const IndexExpr* e);

    // ---- calls (lower_calls.cpp, intrinsic_*.cpp)
    Value LowerCall(const CallExpr* e);
    Value LowerUserCall(const CallExpr* e);
    Value LowerIntrinsic(const CallExpr* e);
    // A texture lookup; `args` are the call's lowered arguments (coordinates,
    // then the gradients of the gradient forms).
    Value LowerSample(const CallExpr* e, int32_t sampler, const std::vector<Value>& args);
    // Whether the target's instruction set has what the intrinsic needs
    // (derivatives, lookups at a level or with gradients); reports when not.
    bool TargetHasIntrinsic(const IntrinsicSignature* sig);
    void WriteBackOutputs(const CallExpr* e, const std::vector<Value>& outValues,
                          const std::vector<const Type*>& outTypes);

    // ---- statements (lower_statements.cpp)
    void LowerStatements(const std::vector<Stmt*>& stmts);
    void LowerStatement(const Stmt* s);
    void LowerDeclaration(const VarDecl* v);
    void LowerIf(const IfStmt* s);
    // Merges `other` into the value map: where `t` is 1 a slot takes the value
    // `other` holds, where it is 0 it keeps its own.
    void MergeMap(const std::vector<int32_t>& other, int32_t t);
    // A return inside one arm of an "if": the value map as it stood there,
    // and the condition under which that arm ran. The function goes on in the
    // other arm; at its end the maps of the returns taken are merged back,
    // the earliest return winning (MergeReturns).
    struct PartialReturn {
        int32_t condition;
        std::vector<int32_t> map;
    };
    void MergeReturns(size_t first);
    void LowerLoop(const LoopStmt* s);

    // ---- break and continue (lower_break.cpp)
    // The loop whose rounds are being lowered. A "break" or "continue" taken
    // where the program runs leaves the rest of the round to the paths that
    // did not take it: the lowering goes on under a smaller mask, and the
    // value map where each was taken is kept with its condition, as partial
    // returns are, merged with those of the same kind taken before (their
    // conditions are disjoint). At the end of the round the continues merge
    // back; at the end of an unrolled loop the breaks do. In a real loop a
    // "break" leaves at once (LowerLoopBreak).
    struct LoopExits {
        explicit LoopExits(Lowerer& l) : lowerer(l), outer(l.loopExits) { l.loopExits = this; }
        ~LoopExits() { lowerer.loopExits = outer; }
        LoopExits(const LoopExits&) = delete;
        LoopExits& operator=(const LoopExits&) = delete;
        Lowerer& lowerer;
        LoopExits* outer;
        // The paths that left, condition -1 while there are none; continues
        // of this round only.
        PartialReturn breaks{-1, {}}, continues{-1, {}};
        Value roundMask;   // the mask at the top of the round
        Value inRound;     // 1 where the round has not been left (one component)
        Value notBroken;   // 1 where the round has not been left by "break"
        // A real loop (LowerDynamicLoop): its carried slots and their
        // arguments at the top of the round, which a "break" sets.
        bool real = false;
        const LoopStmt* loop = nullptr;
        const std::vector<uint32_t>* carried = nullptr;
        std::vector<int32_t> top;
        std::vector<uint32_t> changedAtBreak;  // slots a break changes that are not carried yet
    };
    void LowerJump(const Stmt* s);
    // Adds the paths running now (the mask and the map) to those that left.
    void AddExit(PartialReturn* exit);
    // One round of the innermost loop's body; false when no path reaches its
    // end (all of them broke out or returned).
    bool LowerRound(const Stmt* body);
    // After the last round of an unrolled loop: the breaks merge back.
    void FinishLoop(const Value& maskBefore, const Value& goingBefore, bool reached);
    // "if (a < b) break;" in a real loop, at the top level of its round:
    // break_c on the comparison. False when `s` has another shape.
    bool LowerCompareBreak(const IfStmt* s);
    // Leaves a real loop where `condition` holds (`b` null: `condition` is
    // 0 or 1) or where comparison `code` of `condition` and `b` holds; the
    // carried values take the values of the map first (under the condition
    // when `guarded`).
    void LowerLoopBreak(int32_t condition, const int32_t* b, uint32_t code, bool guarded);
    // Whether `s` holds a "break" of its own loop (not of one inside it).
    static bool BreaksOut(const Stmt* s);
    // 1 - c of a 0-or-1 value, known to be 0 or 1 again.
    Value Complement(const Value& c);
    // The mask after a statement that began under `outer`: the paths that
    // returned or left the round since `goingBefore`/`inRoundBefore` drop out.
    Value MaskAfter(const Value& outer, const Value& goingBefore, const Value& inRoundBefore);
    // A loop whose count is a uniform integer ("for (int i = 0; i < n; i++)")
    // on a model with loops: one round lowered between a loop begin and end
    // (lower_dynamic_loop.cpp). False when the loop has another shape.
    bool LowerDynamicLoop(const LoopStmt* s);
    // How the rounds of a real loop run: `count` (input 0 of the loop begin)
    // is an integer register, or with `bounded` a computed bound the counter
    // is compared with at the top of every round. The counter's value slot,
    // the bound's (map.size() or more when the bound is no variable) and the
    // value flags the counter has inside the loop. A body that returns or
    // moves the counter or the bound is an error, or with `unrollInstead`
    // leaves nothing lowered (false) for the loop to be unrolled.
    struct LoopRounds {
        int32_t count;
        bool bounded;
        uint32_t counterSlot, boundSlot;
        uint32_t counterFlags;
        bool unrollInstead;
        // A counter of known start and step may index constant arrays
        // through aL (lower_counter_index.cpp). A loop whose `count` is a
        // uniform's integer register then runs to its bound as a computed
        // one, to `boundValue` (that uniform's float register); a loop of
        // known count (no `boundValue`) stays a loop of its count.
        bool counterKnown = false;
        double counterStart = 0, counterStep = 1;
        int32_t boundValue = -1;
    };
    // The body of `s` lowered once between a loop begin and end
    // (lower_dynamic_loop.cpp).
    bool LowerLoopRounds(const LoopStmt* s, const LoopRounds& r);
    // A loop whose count is known when compiling ("for (int i = 0; i < 40;
    // i++)", any start and literal step) as a real loop: with "[loop]", when
    // the compile asks for real loops (the unrolled program did not fit), or
    // when it runs too long to unroll (lower_constant_loop.cpp). False when
    // it is to be unrolled.
    bool LowerConstantLoop(const LoopStmt* s);
    // The count `n` of such a loop: an integer register the program defines
    // ("defi"), an integer argument without a name whose literal is `n`.
    int32_t LoopCountRegister(uint32_t n);
    // The integer ("i") or boolean ("b") constant register argument of
    // uniform `v` (read by `use`, an argument of its float register), made on
    // first use.
    int32_t UniformRegister(const VarDecl* v, int32_t use, char set);
    // A dynamic loop being lowered whose counter may index constant arrays
    // through the loop register aL (lower_counter_index.cpp): `counter` is
    // the counter's value inside the round, `begin` the loop begin's
    // instruction. The first read through aL fixes `step` (registers per
    // round) and makes `loopRegister`, the argument standing for aL.
    struct CounterLoop {
        int32_t counter = -1;
        size_t begin = 0;
        double start = 0, delta = 1;  // the counter in round k is start + delta * k
        bool anyStep = false;  // false: aL only where it saves a multiply (vertex loops to a uniform count)
        int32_t loopRegister = -1;
        int32_t serial = -1;  // the loop register's number (its `reg`)
        int32_t step = 0;
        // The step an earlier lowering of the body chose; reads of another
        // step keep a0 (so the order of the reads does not change the choice).
        int32_t requiredStep = 0;
    };
    std::vector<CounterLoop> counterLoops;
    // Element `*element` of a constant array (`count` elements `stride`
    // registers apart) as read through aL, when `index` is the innermost
    // loop's counter times a whole number plus a whole number; sets
    // `*loopRegister` (the relative argument). False when the read takes
    // the address register (or is refused) instead.
    bool CounterElement(int32_t index, int32_t stride, size_t count, int32_t* loopRegister, uint32_t* element);
    // Whether `arg` is counter * scale + offset for loop `loop`.
    bool CounterMultiple(int32_t arg, const CounterLoop& loop, int depth, int64_t* scale, int64_t* offset) const;
    // An "if" on a boolean uniform whose arms are worth a branch
    // (lower_branch.cpp): the arms lowered between a branch begin, else and
    // end. False when the condition or the arms do not qualify; nothing is
    // lowered then.
    bool LowerBranch(const IfStmt* s);
    // An "if" on a comparison of two scalars whose arms hold a lookup or
    // enough work, on the 2_x and 3.x models: a real branch ("if_gt" ...).
    // In pixel shaders only values the same for every pixel (uniforms and
    // literals) are compared, so lookups in the arms keep their gradients.
    bool LowerCompareBranch(const IfStmt* s);
    // An "if" marked "[branch]" on a model with branches on computed values
    // (the 2_x and 3.x models): a real branch on its comparison of scalars,
    // or on its lowered `condition` being non-zero, whatever the arms hold.
    // In pixel shaders a branch on a value that differs from pixel to pixel
    // may not hold derivatives or lookups that take their level from them
    // (an error). False, with nothing lowered, when the arms return on one
    // side only.
    bool LowerAskedBranch(const IfStmt* s, int32_t condition);
    // The warnings for a "[branch]" that merges its arms after all and for a
    // "[loop]" on a model without loops, once per statement.
    void ReportBranchMerged(const IfStmt* s);
    void ReportLoopUnrolled(const LoopStmt* s);
    // Whether `arg` holds the same value for every vertex or pixel of a draw.
    bool UniformArgument(int32_t arg) const;
    // The same, or computed from such values by arithmetic alone (at most
    // `budget` values followed back).
    bool ComputedFromUniforms(int32_t arg, size_t budget) const;
    // The comparison code of an "if_comp" for a comparison operator (1-6),
    // 0 for another operator.
    static uint32_t ComparisonCode(Op op);
    // The arms of `s` lowered between a branch begin (`begin`, whose inputs
    // are set) and its else and end; false, with nothing lowered, when they
    // return on one side only or `worth` says they are too small.
    bool LowerArmsAsBranch(const IfStmt* s, IrInstruction begin, bool (*worth)(const IntermediateProgram&, size_t));
    // Fills branchConditions (branch_conditions.cpp).
    void FindBranchConditions();
    // Reports that the program cannot fit its target, where the outermost
    // loop being unrolled stands (else at `fallback`), and stops the lowering.
    [[noreturn]] void TooLarge(const Diagnostic& d, size_t limit, const SourceLocation& fallback);
    // The unroll attributes of a loop (loop_attributes.cpp). Round `round`
    // (0 the first) may be unrolled unless an "[unroll(n)]" count forbids it
    // (false after the error); a loop that could not be unrolled is reported
    // by the attribute when it asked for unrolling, else as a general loop.
    bool UnrollRoundAllowed(const LoopStmt* s, int round);
    void ReportLoopNotUnrolled(const LoopStmt* s);

    // ---- variables, inputs and outputs (lower_program.cpp)
    // A piece of an input or output: the components of `var` (of `type`,
    // starting at value slot `slot`) bound by the semantic of `owner`, at
    // register `regBase` of the owner's registers.
    struct Piece {
        const Node* owner;
        const VarDecl* var;
        const Type* type;
        uint32_t packing;
        uint32_t slot;
        uint32_t regBase;
    };
    bool BindingApplies(const RegisterBinding& reg) const;
    int CreatePool(uint32_t standardPool, const Node* decl, uint32_t registers, const RegisterBinding* binding);
    Value PoolArguments(int pool, const VarDecl* v, const char* name, const Type* type, uint32_t packing,
                        uint32_t firstRegister);
    void BindUniform(const VarDecl* v, const char* name);
    void CollectPieces(const VarDecl* d, const Type* t, uint32_t packing, uint32_t slot, const Node* owner,
                       uint32_t regBase, std::vector<Piece>* pieces, const VarDecl** missing);
    void BindInputs(FuncDecl* f, std::vector<Piece>& pieces);
    void WriteOutputs(const std::vector<Piece>& pieces);
    void MoveInto(const Value& outputs, const Value& values);

    // Placeholder arguments (discard pool) for a variable's components.
    void Placeholders(const VarDecl* v, uint32_t slot, uint32_t size);
    bool IsPlaceholder(int32_t arg) const;

    ProgramTree& tree;
    IntermediateProgram& p;
    bool vertexTarget = false;
    bool pixelTarget = false;
    bool ps1Target = false;
    bool nativeCompare = true;  // min, max, set-if-less and set-if-greater-or-equal exist
    // The model has loops of its own (vs_2_0 and up, ps_2_x and the 3.x
    // models): a loop whose count is a uniform integer is not unrolled.
    bool flowControl = false;
    // A return inside one arm of an "if" is expressed (the 2_x and 3.x models).
    bool returnInArm = false;
    // Constant arrays are read at aL + n inside real loops of the vertex
    // models (loops to a uniform count only where break_c lets them run to
    // their bound instead: vs_2_x, vs_3_0). The 3.0 pixel model addresses
    // only its inputs through aL.
    bool counterAddressing = false;
    // Numbers the aL arguments, so no two loops share one.
    int32_t loopRegisterSerial = 0;

    std::vector<int32_t> map;  // the value map: one argument per value slot, -1 for none
    // Per value slot, the first argument bound to it; it carries the name and
    // offset of the variable the slot belongs to (for the debug information).
    std::vector<int32_t> slotOwner;
    Value mask;                // the execution mask (one component)
    // 1 where no partial return has been taken yet (one component); side
    // effects (clip) run under mask and going together.
    Value going;
    std::vector<PartialReturn> partialReturns;
    bool returned = false;
    // Every path still running left the round by "break" or "continue".
    bool left = false;
    LoopExits* loopExits = nullptr;
    FuncDecl* currentFunction = nullptr;
    FuncDecl* entryFunction = nullptr;
    // The last "return" of the entry function lowered: the outputs are read
    // from its value there.
    const Node* entryReturn = nullptr;
    SourceLocation here;       // source position given to new instructions
    uint32_t precision = kValuePrecisionFull;  // class of new temporaries and literals
    std::set<const FuncDecl*> expanding;
    // Bounds of the unrolled program for this target (see LoweredInstructionLimit).
    size_t instructionLimit = 0;
    size_t unrolledRounds = 0;
    const LoopStmt* outerLoop = nullptr;
    std::set<const VarDecl*> staticsSeen;
    std::map<std::pair<const VarDecl*, char>, int32_t> uniformRegisters;
    // Boolean uniforms read only as the whole condition of an "if": they may
    // take a boolean register.
    std::set<const VarDecl*> branchConditions;
    bool branchConditionsFound = false;
    // Set when the arms of an "if" were lowered for a branch and dropped.
    bool armsLoweredInVain = false;
    // Warnings are not repeated while a loop body is lowered again.
    int muteWarnings = 0;
    // Statements whose attribute the target could not honour, warned about
    // once however often they are lowered (loops unroll them).
    std::set<const Stmt*> hintsWarned;
    // What the compile asked of the lowering, and what the lowering found
    // (set by LowerShader; never null while lowering).
    LoweringOptions* options = nullptr;

private:
    friend struct LoweringSnapshot;
    HRESULT hr_ = S_OK;
    std::map<uint64_t, int32_t> literals_;
    int32_t one_ = -1, zero_ = -1, minusOne_ = -1;
};

// Limits that keep absurd sources from exhausting memory: unrolled loops
// run at most kMaxLoopRounds times (as the language's lowering defines), and
// the whole program may not grow beyond what its target can hold.
constexpr int kMaxLoopRounds = 1024;
// Components of one register: no instruction the lowering makes computes
// more (wider values are split into register-sized instructions).
constexpr size_t kRegisterWidth = 4;
// The lowered program of a target may hold at most this many instructions
// (see LoweredInstructionLimit), and all loops together unroll at most
// kMaxUnrolledRounds times, so a loop nest that cannot fit fails at once.
size_t LoweredInstructionLimit(uint32_t version);
constexpr size_t kMaxUnrolledRounds = 1u << 16;
// Calls nest at most this deep (each expansion recurses through the
// lowering of the callee's body).
constexpr size_t kMaxCallDepth = 128;

}  // namespace hlsl::lowering

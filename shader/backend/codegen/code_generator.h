// CodeGenerator: an IntermediateProgram with target knowledge added. After the
// shared pipeline (validate, optimise, vectorise, pack) it resolves the
// semantics of inputs and outputs, binds constant, sampler and input
// registers, checks the outputs, and writes the program: version token,
// literal definitions, declarations, body, constant table, end token. Each
// intermediate instruction is first turned into target instructions (MInst),
// the target's operand rules are applied to them, and they are encoded.
//
// The vertex and pixel generators supply the limits, the meaning of
// semantics, the output rules, the declarations and the mapping of every
// intermediate operation onto their instruction set.
#pragma once

#include <array>
#include <map>
#include <string>
#include <vector>

#include "shader/backend/codegen/machine_instruction.h"
#include "shader/backend/constant_groups.h"
#include "shader/backend/intermediate_program.h"
#include "shader/bytecode/constant_table_block.h"
#include "shader/bytecode/debug_info_block.h"
#include "shader/bytecode/token_stream.h"
#include "shader/bytecode/validator_session.h"
#include "shader/kl_buffer.h"

namespace codegen {

// Compile flag bits the generators look at.
constexpr uint32_t kFlagDebug = 0x01;
constexpr uint32_t kFlagSkipValidation = 0x04;

// A semantic split into its letters and trailing decimal index.
struct SemanticName {
    std::string letters;  // as written
    std::string lower;    // lower case, for comparisons
    int32_t index = 0;
    bool hasNumber = false;
};
SemanticName SplitSemantic(const char* text);

// Where one register of an input or output pool went.
struct IoRegister {
    uint32_t type = 0;
    uint32_t number = 0;
    uint32_t usage = 0;  // declaration usage
    uint32_t usageIndex = 0;
    bool scalar = false;  // oFog, oPts, oDepth
    bool valid = false;
};

class CodeGenerator : public IntermediateProgram {
public:
    // Runs the pipeline and writes the bytecode into *code. The program has
    // been initialised and lowered. Results: S_OK; E_FAIL after an error
    // (reported); E_NOTIMPL for an operation the target cannot express
    // (reported); E_OUTOFMEMORY.
    HRESULT Generate(IKLBuffer** code);

    // The profile name of the version token ("vs_2_0").
    std::string TargetName() const;

protected:
    // --- Target hooks -------------------------------------------------------
    virtual bool IsPixelShader() const = 0;
    virtual int TempLimit() const = 0;
    virtual int SamplerLimit() const = 0;
    virtual int ConstantLimit() const { return 8192; }
    virtual bool WritesLengths() const = 0;
    // Fills ioRegisters_ for every (input or output pool, register) in use.
    virtual HRESULT ResolveSemantics() = 0;
    virtual HRESULT CheckOutputs() = 0;
    // Changes to the intermediate program after binding (pattern matching).
    virtual void ApplyPatterns() {}
    // Literal registers the target needs besides the program's own.
    virtual void AddTargetLiterals() {}
    virtual HRESULT EmitDeclarations() = 0;
    // Turns intermediate instruction `index` into target instructions.
    virtual HRESULT LowerInstruction(size_t index, std::vector<MInst>* out) = 0;
    // Applies the operand rules of the target to the instructions of one
    // intermediate instruction.
    virtual HRESULT Legalize(size_t index, std::vector<MInst>* insts) = 0;
    // Rewrites the finished instruction list (target instruction patterns
    // that span several intermediate instructions). `origin` holds the
    // intermediate instruction each target instruction came from.
    virtual void Peephole(std::vector<MInst>* insts, std::vector<size_t>* origin) {
        (void)insts;
        (void)origin;
    }

    // Register of a packed temporary (the ps_1_x models map some of them onto
    // registers their texture stages leave free).
    virtual void MapTemp(int32_t packed, uint32_t* type, uint32_t* number) const {
        *type = gfx::isa::REG_TEMP;
        *number = uint32_t(packed < 0 ? 0 : packed);
    }
    // Temporary register numbers the model has (r0 to rN-1).
    virtual int TempRegisterCount() const { return TempLimit(); }
    // Operand naming packed temporary `packed`.
    MOperand Temp(uint32_t packed, uint32_t mask = gfx::isa::kMaskAll) const {
        MOperand o = TempOperand(0, mask);
        MapTemp(int32_t(packed), &o.type, &o.number);
        return o;
    }
    // Register type of a texture stage's result (ps_1_x).
    virtual uint32_t TextureResultType() const { return gfx::isa::REG_TEXTURE; }

    // --- Shared helpers for the targets --------------------------------------
    enum class ArgClass {
        None, Temp, Literal, Constant, Sampler, Input, Output, Address, TextureResult, Integer, Boolean, LoopRegister
    };
    ArgClass ClassOf(int32_t arg) const;
    ArgClass PoolClass(uint32_t pool) const;

    // The register an argument lives in, with its component.
    struct RegRef {
        uint32_t type = 0;
        uint32_t number = 0;
        uint32_t component = 0;
        bool scalar = false;
        bool valid = false;
    };
    RegRef RegisterOf(int32_t arg) const;

    // Source operand over `count` arguments, the i-th read at position
    // positions[i] (a destination component or, for dot products, the
    // vector element).
    MOperand SourceOf(const int32_t* args, size_t count, const uint32_t* positions) const;
    // A scalar argument read in every component (the operands of comparisons
    // in flow control and setp, and of address loads).
    MOperand ScalarSource(int32_t arg) const;
    // Destination over output arguments.
    MOperand DestOf(const int32_t* args, size_t count) const;

    // Groups the components of a component-wise instruction by destination
    // register.
    std::vector<std::vector<uint32_t>> DestinationGroups(const IrInstruction& inst) const;

    // A temporary (packed number, see Temp) that holds nothing live across
    // instruction `index` and is not used by it, not yet taken while lowering it.
    HRESULT Scratch(size_t index, uint32_t* number);
    // The instruction from which temporary `arg` holds its value: its first
    // writer, or for a read with a source modifier made by a pattern (which
    // has no writer of its own) the last write of its register component
    // before its first use; 0 when nothing earlier writes it. Needs uses.
    int32_t HeldFrom(int32_t arg) const;
    void ResetScratch() { scratchTaken_.clear(); }
    // Gives a scratch register back for the rest of the instruction.
    void ReleaseScratch(uint32_t number);

    // A flow operation: the copies into the values it writes, then "rep"
    // with the loop's integer register, "endrep", "if" with the branch's
    // boolean register, "else" or "endif" (see kOpLoopBegin, kOpIfBegin).
    HRESULT EmitFlowBoundary(size_t index, std::vector<MInst>* out);
    // Defines boundedLoopRegister_ ("defi") when a loop runs to a computed
    // bound, in the first integer register no uniform takes.
    HRESULT DefineBoundedLoopRegister();
    // Defines ("defi") the integer registers that hold the counts of loops
    // known when compiling: the integer arguments without a name.
    HRESULT DefineLoopCounts();
    // An integer register no argument, loop count or step definition holds
    // (-1 when all are taken), and its definition "defi reg, x, y, z, w".
    int32_t FreeIntegerRegister() const;
    HRESULT DefineInteger(int32_t reg, const std::array<int32_t, 4>& values);
    // Loops whose body reads through aL (loop_register_emission.cpp): the
    // step of aL per round for each loop begin and end (0: "rep" without
    // aL), filled by FindLoopSteps.
    void FindLoopSteps();
    int32_t LoopStep(size_t index) const { return index < loopSteps_.size() ? loopSteps_[index] : 0; }
    // "defi i#, count, 0, step, 0" in the first integer register neither a
    // uniform nor another such definition takes.
    HRESULT DefineLoopRegister(int32_t count, int32_t step, int32_t* reg);
    // The rounds a loop through aL runs: its known count, or the most the
    // model allows for one that runs to a bound.
    int32_t LoopRounds(size_t begin) const;
    // The definitions the loops through aL use, one per count and step.
    HRESULT DefineLoopStepRegisters();
    // Makes `boundary` "loop aL, i#" when the loop begin at `index` reads
    // through aL; false when it stays "rep".
    bool OpenCounterLoop(size_t index, MInst* boundary) const;

    // Emits a component-wise instruction (one target instruction per
    // destination register).
    HRESULT EmitComponentWise(size_t index, uint32_t opcode, std::vector<MInst>* out, int operands = -1);
    // The same for an instruction that is not (or not yet) in the program.
    HRESULT EmitComponentWiseOf(const IrInstruction& inst, uint32_t opcode, std::vector<MInst>* out, int operands = -1);
    // Scalar instructions (rcp, rsq, exp, log ...): one per run of destination
    // components that read the same source component, through a temporary
    // when a later run would read what an earlier one overwrote.
    HRESULT EmitScalarRuns(size_t index, uint32_t opcode, std::vector<MInst>* out);
    // Square root as the reciprocal of the reciprocal square root, one
    // component at a time (so that 0 gives 0).
    HRESULT EmitSqrt(size_t index, std::vector<MInst>* out);
    // Dot product of 1 to 4 components.
    HRESULT EmitDot(size_t index, std::vector<MInst>* out);
    // Moves the operand into a scratch register and points it there.
    HRESULT MoveToScratch(size_t index, MOperand* operand, std::vector<MInst>* out, bool applySwizzle);
    // The moves of MoveToScratch into temporary register `t`.
    void MoveInto(uint32_t t, MOperand* operand, std::vector<MInst>* out, bool applySwizzle);
    // Read-port repair: at most `constants` distinct constant registers and
    // `constantOperands` constant operands, one distinct input register, three
    // distinct temporaries.
    HRESULT EnforceReadPorts(size_t index, std::vector<MInst>* insts, int constantOperands);

    // Pattern: a multiply whose only reader is an add becomes one
    // multiply-add, when nothing between them overwrites its operands.
    void FuseMultiplyAdd();
    // Pattern: a negation read only as whole operands becomes the negate
    // source modifier of its readers.
    void FoldNegation();
    // Pattern: a dot product read only by a move writes the move's
    // destination directly.
    void RetargetDotResults();

    // --- Literal registers (literal_compaction.cpp) ---------------------------
    // Per literal register, one bit per component some instruction reads.
    std::vector<uint32_t> LiteralComponentsRead() const;
    // Keeps the literal registers marked in `keep`, in order, renumbers the
    // literal arguments, and returns each old register's new number (-1 when
    // dropped).
    std::vector<int32_t> CompactLiteralRegisters(const std::vector<bool>& keep);

    // --- Target forms shared by the vertex and pixel generators (pattern_*.cpp)
    // They run after register packing: a rewrite that makes an instruction
    // read a value later than before only goes ahead when nothing in between
    // overwrites the register component that holds it.
    // Value flag on a result that the saturate modifier clamps into [0, 1]
    // (pixel shaders). A pattern that folds such a result into the
    // instruction after it would lose the clamp, so none does.
    static constexpr uint32_t kValueSaturate = 0x100000;
    bool Clamped(int32_t arg) const { return arg >= 0 && (args[arg].flags & kValueSaturate) != 0; }
    // sqrt then rcp -> rsq (0xF3); of a negated value -> rsq of -x (0xF4).
    void FuseReciprocalSquareRoot();
    // max(x, -x) -> abs (0xF0).
    void FuseAbsoluteValue();
    // x * rsq(dot(x, x)) over three components -> nrm (0xF2).
    void FuseNormalize();
    // a * (b - c) + c, with either factor the difference -> lrp (0xF1).
    void FuseLinearInterpolation();
    // (1, a.y * b.y, a.z, b.w) assembled by moves and a multiply -> dst (0xFB).
    void FuseDistanceVector();
    // A scalar result (rcp, rsq, exp, log, dot) copied by one move into
    // several components of a register is written there by the scalar
    // instruction itself, replicated.
    void ReplicateScalarResults();
    HRESULT EmitReciprocalSquareRoot(size_t index, std::vector<MInst>* out);
    HRESULT EmitNormalize(size_t index, std::vector<MInst>* out);
    HRESULT EmitLerp(size_t index, std::vector<MInst>* out);
    HRESULT EmitDistance(size_t index, std::vector<MInst>* out);
    // Merges on one comparison -> setp and predicated instructions (0xEE,
    // 0xEF), on the models with predication, where that takes fewer
    // instructions (pattern_predication.cpp).
    void PredicateMerges();
    HRESULT EmitSetPredicate(size_t index, std::vector<MInst>* out);
    // The instructions of a predicated merge: a into the destination and b
    // over it under p0 (each moved, added or multiplied there), or only one
    // of them under p0 or !p0 when the other already sits there. E_FAIL when
    // an instruction would read what an earlier one of them wrote.
    HRESULT EmitPredicatedMerge(const IrInstruction& inst, std::vector<MInst>* out);
    // Whether the register component of `arg` (and of its index), read at
    // instruction `from`, still holds that value at `to`: no instruction
    // from `from` (which may write after reading) up to `to` writes it.
    bool HoldsUntil(int32_t arg, size_t from, size_t to) const;
    // Whether `x` read at instruction `xAt` is the negation of `y` read at
    // `yAt` (xAt <= yAt): a negate modifier on the same register, or the
    // result of a negate instruction of it.
    bool IsNegationOf(int32_t x, size_t xAt, int32_t y, size_t yAt) const;
    // Whether `x` read at `xAt` holds the same value as `y` read at `yAt`.
    bool SameValue(int32_t x, size_t xAt, int32_t y, size_t yAt) const;
    // The argument whose value `arg` copies through plain moves (itself when
    // it is no such copy).
    int32_t CopiedFrom(int32_t arg) const;
    // The (instruction, input slot) pairs that read the value of temporary
    // `arg` written at instruction `from`: every read of its register
    // component until the next write, so reads through the copies that
    // FoldNegation makes (the same register with a modifier) count too.
    std::vector<std::pair<size_t, size_t>> ReadsOf(int32_t arg, size_t from) const;
    // Empties instruction `index` when none of its results is read.
    void DropIfUnread(size_t index);

    // --- Texture lookups (emit_sample.cpp) -------------------------------------
    // Whether the model reads any swizzle of a source: vertex shaders and the
    // pixel models from 2_x on; ps_2_0 and ps_1_x only a few.
    bool ArbitrarySwizzles() const;
    // Reports a sampler that lookups of different dimensions share.
    HRESULT CheckSamplerDimensions();
    // dcl_2d, dcl_cube or dcl_volume for every sampler a lookup reads.
    HRESULT EmitSamplerDeclarations();
    // texld, texldp, texldb, texldl (the level in the coordinates' w) or
    // texldd (with the gradients along x and y).
    HRESULT EmitSample(size_t index, std::vector<MInst>* out);
    // Whether an instruction after `index` reads component `component` of
    // temporary `number` before anything writes it.
    bool ComponentReadLater(size_t index, uint32_t number, uint32_t component) const;

    // Source position of the semantic of the output that lands in (type,
    // number), else of the program's last instruction.
    SourceLocation OutputLocation(uint32_t type, uint32_t number) const;

    bool Skip(uint32_t bit) const { return (flags & bit) != 0; }
    const SourceLocation* LocationOf(size_t index) const { return &instructions[index].location; }
    uint32_t Precision(const IrInstruction& inst) const;

    std::map<std::pair<uint32_t, int32_t>, IoRegister> ioRegisters_;  // (pool, register) -> register
    std::vector<std::array<double, 4>> literalValues_;                // literal register contents
    std::vector<uint32_t> literalUsed_;                                // components defined per literal register
    std::vector<int32_t> literalBase_;                                 // constant register per literal register
    std::vector<int32_t> poolBase_;                                    // first register per bound pool
    TokenStream stream_;
    ValidatorSession validator_;
    std::vector<uint32_t> samplerTypes_;
    // Constants read through a run-time index: the whole array is described.
    struct IndexedConstant {
        const void* declaration;
        const char* name;
        uint32_t first;
        uint32_t count;
    };
    std::vector<IndexedConstant> indexedConstants_;
    // The integer register defined as (255, 0, 0, 0) for the loops that run
    // to a computed bound; -1 when none does.
    int32_t boundedLoopRegister_ = -1;  // texture type per sampler register (pixel shaders)
    std::vector<int32_t> loopSteps_;               // per instruction: aL step of the loop it begins or ends
    struct StepRegister {
        int32_t count, step, reg;
    };
    std::vector<StepRegister> stepRegisters_;  // the integer registers of the aL loops

    HRESULT Encode(const MInst& inst, const SourceLocation* location);
    // The constant and sampler registers the program reads, cut into the
    // records of the constant table (arrays read through an index whole).
    std::vector<ConstantGroup> DescribedConstantGroups();
    // Names the variable bound to register `number` of register file `file`
    // ('c' or 's'), e.g. "'weights' is bound to c0 to c39"; empty when the
    // register holds no named variable.
    std::string VariableAtRegister(char file, uint32_t number);

private:
    HRESULT BindRegisters();
    HRESULT BindClass(ArgClass cls, int limit, char letter, const Diagnostic& overflow);
    // Integer and boolean constant registers of the model (i0 to iN-1, b0
    // to bN-1).
    int IntegerLimit() const;
    void CollectLiterals();
    void ComputeLiveness();
    HRESULT EmitBody();
    HRESULT EncodeOperand(const MOperand& o, bool dest, const SourceLocation* location, uint32_t* token);
    HRESULT BuildConstantTable(std::vector<uint32_t>* block);

    std::vector<std::vector<uint8_t>> busy_;  // [instruction][temp register]
    std::vector<uint32_t> scratchTaken_;
    bool encodeError_ = false;

    // --- Debug variable records and vertex fragments -------------------------
    // (debug_variables.cpp, fragment_mode.cpp)
public:
    // Fragment mode: a vertex fragment for linking (version token with bit 31
    // cleared, no output check, inputs named in the "FINF" block instead of
    // declared, literals described there instead of defined).
    void SetFragmentMode(bool fragment) { fragment_ = fragment; }
    // Whether merges may become predicated moves where the model has
    // predication (turned off to generate the other form for comparison).
    bool predicateMerges = true;
    // Whether Generate may predicate merges, and whether the last one did.
    bool MayPredicate() const {
        return predicateMerges && (target.features & kFeaturePredication) && !Skip(kCompileSkipOptimization);
    }
    bool Predicated() const { return predicated_; }
    // The last Generate failed because the program needs more instruction
    // slots than its model has.
    bool ExceededSlotLimits() const;
    bool FragmentMode() const { return fragment_; }
    // The source text the debug information carries.
    void SetDebugSource(std::string source) { debugSource_ = std::move(source); }
    const std::string& DebugSource() const { return debugSource_; }

private:
    // One target instruction's writes into one variable.
    struct VariableWrite {
        const void* declaration;
        uint32_t instruction;  // index of the debug instruction record
        std::array<uint16_t, 4> components;
    };
    // After encoding `m` (the last debug instruction record): notes which
    // variable components land in its destination, from the outputs of the
    // intermediate instructions `first` to `last` - 1 that it stands for.
    void NoteVariableWrites(const MInst& m, size_t first, size_t last);
    // Before and after the pipeline: a computed value that is moved into a
    // variable, or copied from one, takes that variable's name, so it keeps
    // one when the optimizer folds the move away.
    void NameValuesByTheirVariables();
    // Index of `file` in the debug information's file list (added when new);
    // 0xFFFF for none.
    uint16_t DebugFileIndex(const char* file);
    // Fills the variable records of the debug information.
    void CollectDebugVariables(DebugInfo* debug) const;

    // Before the pipeline: counts the shared temporaries (inputs and outputs
    // whose semantic starts with "r_") and keeps that many registers out of
    // the packing of the temporaries.
    void ReserveSharedTemporaries();
    // After the pipeline: gives each shared temporary its register (numbered
    // in order of first use, below the packed temporaries, which move up)
    // before the target resolves the other semantics.
    HRESULT ResolveSharedTemporaries();
    // Checks the "c" register bindings of constants against 8191.
    HRESULT CheckFragmentBindings();
    // The fragment information block ("FINF").
    HRESULT BuildFragmentInfo(std::vector<CtabConstant> constants, std::vector<uint32_t>* block);
    // The reserved word of a constant's record: register x 4 + 2 when the
    // source binds it to a "c" register.
    uint16_t FragmentReservedWord(const void* declaration) const;

    bool predicated_ = false;
    std::vector<VariableWrite> variableWrites_;
    std::vector<std::string> debugFiles_;
    std::string debugSource_;
    std::vector<std::string> sharedTemporaries_;  // "r_" semantics, in order of first use
    bool fragment_ = false;
};

}  // namespace codegen

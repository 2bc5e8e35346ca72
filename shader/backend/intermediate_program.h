// IntermediateProgram: the flat, scalar-component form of a shader between the
// checked program tree and the code generators. Instructions compute single
// components over numbered arguments; each argument is one scalar component of
// one register of a pool. The lowering fills it, the shared passes simplify it
// until nothing changes, vectorise the components back into vector
// instructions and pack every pool into the registers the target has. A code
// generator is an IntermediateProgram with target knowledge added.
#pragma once

#include <cstdarg>
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "platform/wintypes.h"
#include "shader/backend/ir_operations.h"
#include "shader/error_log.h"
#include "shader/target.h"

// Pool flag bits.
enum PoolFlags : uint32_t {
    kPoolReadable = 0x1,
    kPoolWritable = 0x2,
    kPoolAddress = 0x4,
    kPoolValueAtEntry = 0x8,    // may be read without a write
    kPoolMustWrite = 0x10,      // outputs
    kPoolBound = 0x20,          // registers are bound by declaration and kept
    kPoolSampler = 0x40,
    kPoolLiteral = 0x80,
    kPoolUniform = 0x100,       // constant class: described by the constant table
    kPoolLiteralInPlace = 0x200,
};
constexpr uint32_t kLoopRegisterPoolFlags = kPoolAddress | kPoolBound | kPoolValueAtEntry | kPoolReadable;

// The eight pools every program starts with, in this order.
enum StandardPool : uint32_t {
    kPoolDiscard = 0,    // "x": merged-away or dead arguments
    kPoolLiterals = 1,   // "l"
    kPoolConstants = 2,  // "c"
    kPoolInputs = 3,     // "v"
    kPoolOutputs = 4,    // "o"
    kPoolTemps = 5,      // "r"
    kPoolAddressRegs = 6,  // "a"
    kPoolSamplers = 7,   // "s"
    kStandardPoolCount = 8,
};

// Argument value flags.
enum ValueFlags : uint32_t {
    kValueZeroOrOne = 0x1,
    kValueInteger = 0x2,
    kValueNonNegative = 0x4,
    kValueNonPositive = 0x8,
    kValueRange = 0x10,
    kValueNoError = 0x40,
    kValueSourceModifierMask = 0xF0000,
    kValuePrecisionMask = 0xE000000,
    kValuePrecisionLow = 0x2000000,
    kValuePrecisionMedium = 0x4000000,
    kValuePrecisionFull = 0x8000000,
};
constexpr uint32_t kValueKnownZero = kValueNonNegative | kValueNonPositive;

// The pool of loop registers, a bound address pool of this name and flags:
// each of its arguments stands for aL of one loop (`reg` tells the loops
// apart, `literal` is the step aL takes per round, in registers) and serves
// only as the relative index of arguments read inside that loop, not in
// loops nested in it.
inline constexpr char kLoopRegisterPool[] = "aL";

struct ArgumentPool {
    std::string name;
    uint32_t flags = 0;
    int32_t registerCount = -1;  // -1: not limited yet
    uint32_t width = 4;
    int32_t firstUse = -1;  // first and last instruction that uses the pool
    int32_t lastUse = -1;
    const void* declaration = nullptr;  // the variable a per-variable pool stands for
    std::string binding;                // explicit register binding text ("c5"), if any
};

struct IrArgument {
    uint32_t pool = kPoolDiscard;
    int32_t relative = -1;  // argument holding the run-time register offset; -1: direct
    int32_t reg = -1;       // register number, -1 while unassigned
    int32_t component = -1; // 0-3 = x-w, -1 while unassigned
    double literal = 0.0;
    uint32_t flags = 0;
    int32_t replacement = -1;  // the argument that now stands for this one (itself when none)
    int32_t firstWriter = -1, lastReader = -1, firstUse = -1, lastUse = -1;
    const void* declaration = nullptr;  // tree node of the variable the value belongs to
    const char* name = nullptr;         // that variable's name, for messages and tables
    uint32_t offset = 0;                // component offset inside the variable
    int32_t semantic = -1;              // index << 16 | usage code; -1: none
    const void* semanticNode = nullptr;
};

struct IrInstruction {
    uint32_t op = 0;  // code << 24 | component count
    std::vector<int32_t> inputs;
    std::vector<int32_t> outputs;
    int32_t liveBefore = 0, liveAfter = 0;  // physical registers live around it (packing)
    SourceLocation location;
    const void* node = nullptr;  // tree node the instruction was lowered from

    uint32_t code() const { return OpCode(op); }
    uint32_t count() const { return OpCount(op); }
};

// What the target allows; filled by SetLimits.
struct TargetLimits {
    bool exactIntegerIndices = false;  // relative indices are not rounded (+0.5)
    bool pixelShader = false;          // instruction levels favour texture sampling
    bool hasPhases = false;
};

class IntermediateProgram {
public:
    static constexpr int kMaxOptimizationRounds = 256;

    IntermediateProgram() = default;
    virtual ~IntermediateProgram() = default;
    IntermediateProgram(const IntermediateProgram&) = default;  // the copy used to try alternatives
    IntermediateProgram& operator=(const IntermediateProgram&) = default;

    // Creates the eight standard pools, clears the limits and asks the target
    // for its own.
    HRESULT Initialize(const void* tree, ErrorLog* log, uint32_t version, uint32_t flags,
                       const char* entryName = nullptr);

    // Each returns the new index, -1 when memory ran out (or, for an
    // instruction, the given counts contradict the operation's shape).
    int AddPool(const char* name, uint32_t flags, int32_t registerCount, uint32_t width);
    int AddArgument(uint32_t pool, int32_t reg, int32_t component, double literal);
    int AddLiteral(double value);
    int AddInstruction(uint32_t op, int inputCount = -1, int outputCount = -1);

    // Validate, remove dead code, merge and compact, optimise (unless flag
    // 0x08), vectorise and pack.
    HRESULT RunPipeline();

    void ReportError(const SourceLocation* location, uint32_t number, const char* format, ...)
        __attribute__((format(printf, 4, 5)));
    void ReportWarning(const SourceLocation* location, uint32_t number, const char* format, ...)
        __attribute__((format(printf, 4, 5)));
    // Reports a row of the message table as the row says (error or warning).
    void Report(const SourceLocation* location, Diagnostic diagnostic, ...);

    // Follows replacement links to the argument that stands for `arg` now.
    int32_t Resolve(int32_t arg) const;
    // Recomputes writers, readers and uses of arguments and pools. Inside a
    // loop, a value from before the loop that the loop reads, and a value the
    // loop carries from one round to the next, stay live to the loop's end
    // (the next round reads them again).
    void ComputeUses();
    // The loops of the program as (begin, end) instruction indices, inner
    // loops before the loops around them; unmatched ends are left out.
    std::vector<std::pair<size_t, size_t>> Loops() const;
    bool HasFlowControl() const;

    // Target hooks.
    virtual void SetLimits() {}
    virtual HRESULT ValidateProgram();
    virtual HRESULT OptimizeProgram();
    virtual HRESULT VectorizeProgram();

    std::vector<ArgumentPool> pools;
    std::vector<IrArgument> args;
    std::vector<IrInstruction> instructions;

    ErrorLog* log = nullptr;
    uint32_t version = 0;
    // The profile's row of the target table (its name and features).
    // Initialize takes the row the version token names last ("ps_2_x" for
    // the 2_x pixel token); the compile puts in the profile's own ("ps_2_b").
    TargetDesc target{};
    uint32_t flags = 0;
    const void* tree = nullptr;
    std::string entryName;
    TargetLimits limits;
    bool optimized = false;
    bool vectorized = false;
    // Scalar instructions of one operation are gathered into vector
    // instructions. The gathering can cost more moves than it saves, so a
    // program too large for its model is generated again without it.
    bool gatherVectors = true;
    bool errorFlag = false;
    // Physical register count per pool for the packing; -1: the pool is not packed.
    std::vector<int32_t> physicalRegisters;

private:
    void Report(bool error, const SourceLocation* location, uint32_t number, const char* format, va_list args);
};

// Compile flag bits this layer looks at.
constexpr uint32_t kCompileSkipOptimization = 0x08;

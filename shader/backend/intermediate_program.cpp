#include "shader/backend/intermediate_program.h"

#include <algorithm>
#include <new>

#include "shader/backend/ir_passes.h"

namespace {

struct PoolSpec {
    const char* name;
    uint32_t flags;
};
constexpr PoolSpec kStandardPools[kStandardPoolCount] = {
    {"x", 0},
    {"l", kPoolLiteral | kPoolUniform | kPoolValueAtEntry | kPoolReadable},
    {"c", kPoolUniform | kPoolBound | kPoolValueAtEntry | kPoolReadable},
    {"v", kPoolBound | kPoolValueAtEntry | kPoolReadable},
    {"o", kPoolBound | kPoolMustWrite | kPoolWritable},
    {"r", kPoolReadable | kPoolWritable},
    {"a", kPoolAddress | kPoolWritable},
    {"s", kPoolUniform | kPoolSampler | kPoolBound | kPoolValueAtEntry | kPoolReadable},
};
static_assert(kStandardPools[1].flags == 0x189 && kStandardPools[2].flags == 0x129 && kStandardPools[3].flags == 0x29 &&
              kStandardPools[4].flags == 0x32 && kStandardPools[5].flags == 0x3 && kStandardPools[6].flags == 0x6 &&
              kStandardPools[7].flags == 0x169);

}  // namespace

HRESULT IntermediateProgram::Initialize(const void* programTree, ErrorLog* errorLog, uint32_t versionToken,
                                        uint32_t compileFlags, const char* entry) {
    tree = programTree;
    log = errorLog;
    version = versionToken;
    target = TargetDesc{};
    FindTargetByVersion(versionToken, kTargetNone, &target);
    flags = compileFlags;
    entryName = entry ? entry : "";
    pools.clear();
    args.clear();
    instructions.clear();
    for (const PoolSpec& pool : kStandardPools)
        if (AddPool(pool.name, pool.flags, -1, 4) < 0) return E_OUTOFMEMORY;
    limits = TargetLimits{};
    physicalRegisters.assign(pools.size(), -1);
    SetLimits();
    return S_OK;
}

int IntermediateProgram::AddPool(const char* name, uint32_t poolFlags, int32_t registerCount, uint32_t width) {
    try {
        ArgumentPool pool;
        pool.name = name ? name : "";
        pool.flags = poolFlags;
        pool.registerCount = registerCount;
        pool.width = width;
        pools.push_back(std::move(pool));
        if (physicalRegisters.size() < pools.size()) physicalRegisters.resize(pools.size(), -1);
    } catch (const std::bad_alloc&) {
        return -1;
    }
    return int(pools.size() - 1);
}

int IntermediateProgram::AddArgument(uint32_t pool, int32_t reg, int32_t component, double literal) {
    try {
        IrArgument arg;
        arg.pool = pool;
        arg.reg = reg;
        arg.component = component;
        arg.literal = literal;
        arg.replacement = int32_t(args.size());
        args.push_back(arg);
    } catch (const std::bad_alloc&) {
        return -1;
    }
    return int(args.size() - 1);
}

int IntermediateProgram::AddLiteral(double value) {
    const int arg = AddArgument(kPoolLiterals, -1, -1, value);
    if (arg < 0) return -1;
    uint32_t f = 0;
    if (value == 0.0 || value == 1.0) f |= kValueZeroOrOne;
    if (value == double(int64_t(value)) && value > -9.2e18 && value < 9.2e18) f |= kValueInteger;
    if (value >= 0) f |= kValueNonNegative;
    if (value <= 0) f |= kValueNonPositive;
    args[arg].flags = f;
    return arg;
}

int IntermediateProgram::AddInstruction(uint32_t op, int inputCount, int outputCount) {
    int inputs = -1, outputs = -1;
    bool fixedOutputs = true;
    if (DeriveShape(OpCode(op), OpCount(op), &inputs, &outputs, &fixedOutputs)) {
        if (inputCount >= 0 && inputCount != inputs) return -1;
        if (outputCount >= 0 && outputCount != outputs) {
            if (fixedOutputs) return -1;
            outputs = outputCount;
        }
    } else {
        if (inputCount < 0 || outputCount < 0) return -1;
        inputs = inputCount;
        outputs = outputCount;
    }
    try {
        IrInstruction inst;
        inst.op = op;
        inst.inputs.assign(size_t(inputs), -1);
        inst.outputs.assign(size_t(outputs), -1);
        instructions.push_back(std::move(inst));
    } catch (const std::bad_alloc&) {
        return -1;
    }
    return int(instructions.size() - 1);
}

void IntermediateProgram::Report(bool error, const SourceLocation* location, uint32_t number, const char* format,
                                 va_list list) {
    if (error) errorFlag = true;
    if (!log) return;
    if (error) log->VReportError(location, number, format, list);
    else log->VReportWarning(location, number, format, list);
}

void IntermediateProgram::ReportError(const SourceLocation* location, uint32_t number, const char* format, ...) {
    va_list list;
    va_start(list, format);
    Report(true, location, number, format, list);
    va_end(list);
}

void IntermediateProgram::ReportWarning(const SourceLocation* location, uint32_t number, const char* format, ...) {
    va_list list;
    va_start(list, format);
    Report(false, location, number, format, list);
    va_end(list);
}

void IntermediateProgram::Report(const SourceLocation* location, Diagnostic diagnostic, ...) {
    va_list list;
    va_start(list, diagnostic);
    Report(!diagnostic.warning, location, diagnostic.number, diagnostic.format, list);
    va_end(list);
}

int32_t IntermediateProgram::Resolve(int32_t arg) const {
    // Chains are short, but a cycle must not hang: stop after as many steps
    // as there are arguments.
    for (size_t steps = 0; arg >= 0 && size_t(arg) < args.size() && steps <= args.size(); ++steps) {
        const int32_t next = args[arg].replacement;
        if (next < 0 || next == arg) return arg;
        arg = next;
    }
    return arg;
}

void IntermediateProgram::ComputeUses() {
    for (IrArgument& a : args) a.firstWriter = a.lastReader = a.firstUse = a.lastUse = -1;
    for (ArgumentPool& p : pools) p.firstUse = p.lastUse = -1;
    auto use = [&](int32_t arg, int32_t at) {
        IrArgument& a = args[arg];
        if (a.firstUse < 0) a.firstUse = at;
        a.lastUse = at;
        if (a.pool < pools.size()) {
            ArgumentPool& p = pools[a.pool];
            if (p.firstUse < 0) p.firstUse = at;
            p.lastUse = at;
        }
    };
    // A relative index chain is read wherever its argument is used.
    auto readChain = [&](int32_t arg, int32_t at) {
        for (size_t depth = 0; arg >= 0 && depth <= args.size(); ++depth) {
            args[arg].lastReader = at;
            use(arg, at);
            arg = args[arg].relative;
        }
    };
    for (size_t i = 0; i < instructions.size(); ++i) {
        const int32_t at = int32_t(i);
        for (int32_t in : instructions[i].inputs)
            if (in >= 0) readChain(in, at);
        for (int32_t out : instructions[i].outputs) {
            if (out < 0) continue;
            IrArgument& a = args[out];
            if (a.firstWriter < 0) a.firstWriter = at;
            use(out, at);
            if (a.relative >= 0) readChain(a.relative, at);
        }
    }
    auto extend = [&](IrArgument& a, int32_t to) {
        a.lastReader = std::max(a.lastReader, to);
        a.lastUse = std::max(a.lastUse, to);
    };
    // A value the flow operations write more than once holds its register
    // from the first write to the last.
    for (size_t i = 0; i < instructions.size(); ++i)
        if (IsFlowOp(instructions[i].code()))
            for (int32_t out : instructions[i].outputs)
                if (out >= 0) extend(args[out], int32_t(i));
    for (const auto& [begin, end] : Loops()) {
        const int32_t b = int32_t(begin), e = int32_t(end);
        // A computed bound is compared at the top of every round.
        const std::vector<int32_t>& opening = instructions[begin].inputs;
        if (!opening.empty() && opening[0] >= 0) extend(args[opening[0]], e);
        for (IrArgument& a : args)
            if (a.firstWriter <= b && a.lastReader > b && a.lastReader < e) extend(a, e);
    }
}

std::vector<std::pair<size_t, size_t>> IntermediateProgram::Loops() const {
    std::vector<std::pair<size_t, size_t>> loops;
    std::vector<size_t> open;
    for (size_t i = 0; i < instructions.size(); ++i) {
        const uint32_t code = instructions[i].code();
        if (code == kOpLoopBegin) {
            open.push_back(i);
        } else if (code == kOpLoopEnd && !open.empty()) {
            loops.push_back({open.back(), i});
            open.pop_back();
        }
    }
    return loops;
}

bool IntermediateProgram::HasFlowControl() const {
    for (const IrInstruction& inst : instructions)
        if (IsFlowOp(inst.code())) return true;
    return false;
}

HRESULT IntermediateProgram::ValidateProgram() { return ValidateArguments(*this); }
HRESULT IntermediateProgram::OptimizeProgram() { return RunOptimizationLoop(*this); }
HRESULT IntermediateProgram::VectorizeProgram() { return VectorizeAndPack(*this); }

HRESULT IntermediateProgram::RunPipeline() {
    HRESULT hr = ValidateProgram();
    if (FAILED(hr)) return hr;
    RemoveDeadCode(*this);
    MergeDuplicateArguments(*this);
    CompactProgram(*this);
    if (!(flags & kCompileSkipOptimization)) {
        hr = OptimizeProgram();
        if (FAILED(hr)) return hr;
    }
    optimized = true;
    hr = VectorizeProgram();
    if (FAILED(hr)) return hr;
    return errorFlag ? E_FAIL : S_OK;
}

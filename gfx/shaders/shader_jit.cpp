// The shader code generator: ExecOps to LLVM IR (see shader_jit_emitter.h),
// compiled by ORC's LLJIT, which every compiled shader and pixel pipeline of
// the process shares.
#include "gfx/shaders/shader_jit.h"
#include "gfx/shaders/pipeline_jit.h"

#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <string>

#ifdef KILN_HAVE_LLVM
#include <llvm-c/Analysis.h>
#include <llvm-c/Core.h>
#include <llvm-c/Error.h>
#include <llvm-c/LLJIT.h>
#include <llvm-c/Orc.h>
#include <llvm-c/Target.h>
#include <llvm-c/Transforms/PassBuilder.h>

#include "gfx/shaders/shader_jit_emitter.h"
#endif

namespace gfx::jit {

using namespace exec;
using namespace isa;

bool Compilable(const ExecProgram& program) {
    // Very long programs would take long to optimise for little gain.
    if (program.ops.size() > kMaxCompiledOps) return false;
    for (const ExecOp& op : program.ops) {
        switch (op.kind) {
            case Kind::If: case Kind::IfC: case Kind::Else: case Kind::EndIf:
            case Kind::Loop: case Kind::Rep: case Kind::EndLoop: case Kind::EndRep:
            case Kind::Break: case Kind::BreakC: case Kind::BreakP:
            case Kind::Call: case Kind::CallNz:
                return false;
            case Kind::Ret: case Kind::Label:
                return true;  // the main program ends here
            default: break;
        }
    }
    return true;
}

#ifdef KILN_HAVE_LLVM

namespace {

// The JIT every compiled shader lives in. It is never destroyed: code may
// run until the process exits.
struct Engine {
    LLVMOrcLLJITRef jit = nullptr;
    std::mutex mutex;  // adding, looking up and removing code; totals
    CompileTotals totals;          // shaders
    CompileTotals pipelineTotals;  // pixel pipelines
};

Engine* GetEngine() {
    static Engine* engine = [] {
        auto* e = new Engine;
        LLVMInitializeNativeTarget();
        LLVMInitializeNativeAsmPrinter();
        LLVMOrcLLJITRef jit = nullptr;
        if (LLVMErrorRef err = LLVMOrcCreateLLJIT(&jit, nullptr)) {
            LLVMConsumeError(err);
            return e;
        }
        // Library calls the code generator may emit (floorf on processors
        // without a rounding instruction, memset) resolve in this process.
        LLVMOrcDefinitionGeneratorRef generator = nullptr;
        if (!LLVMOrcCreateDynamicLibrarySearchGeneratorForProcess(&generator, LLVMOrcLLJITGetGlobalPrefix(jit),
                                                                   nullptr, nullptr)) {
            LLVMOrcJITDylibAddGenerator(LLVMOrcLLJITGetMainJITDylib(jit), generator);
        }
        e->jit = jit;
        return e;
    }();
    return engine;
}

void AddToTotals(double milliseconds, CompileTotals* totals) {
    std::lock_guard<std::mutex> lock(GetEngine()->mutex);
    ++totals->shaders;
    totals->milliseconds += milliseconds;
    if (milliseconds > totals->slowest) totals->slowest = milliseconds;
}

// The op writes a plain register (not a0, which rounds to whole numbers),
// unpredicated, and its sources need no relative addressing.
bool NativeOperands(const ExecOp& op) {
    if (!op.hasDst || op.predicated) return false;
    if (op.dst.rel != Rel::None || op.dst.index >= kLaneSlotCount || op.dst.index == kAddrSlot) return false;
    for (int i = 0; i < op.srcCount; ++i) {
        const Operand& o = op.src[i];
        if (o.rel != Rel::None || (o.file == File::Lane && o.index >= kLaneSlotCount)) return false;
    }
    return true;
}

bool NativeOpcode(uint16_t opcode) {
    switch (opcode) {
        case OP_MOV: case OP_ADD: case OP_SUB: case OP_MUL: case OP_MAD: case OP_MIN: case OP_MAX:
        case OP_SLT: case OP_SGE: case OP_ABS: case OP_FRC: case OP_CMP: case OP_CND: case OP_LRP:
        case OP_SGN: case OP_SETP: case OP_DP3: case OP_DP4: case OP_DP2ADD: case OP_RCP: case OP_RSQ:
        case OP_DST: case OP_CRS: case OP_NRM: case OP_TEXCOORD:
            return true;
        default: return false;
    }
}

bool EnvironmentAllows() {
    const char* v = std::getenv("KILN_JIT");
    return !(v && std::strcmp(v, "0") == 0);
}

}  // namespace

namespace detail {

// The interpreter's code for one op, called from compiled code.
void RunInterpretedOp(float* regs, CallContext* context, int32_t index) {
    auto* state = reinterpret_cast<ExecState*>(regs);
    context->killed |= ExecuteOp(*context->program, *context->constants, context->sampler, state, context->lanes,
                                 index);
}

// A texture lookup through the sampler's shortcut for lookups that need no
// level of detail (TextureSampler::SampleFast), as the interpreter tries it
// first: lanes outside the call read (0, 0, 0, 1). Returns 0, having written
// nothing the caller uses, when the shortcut does not apply; the compiled code
// then runs the interpreter's op, which takes the general path.
int32_t SampleShortcut(CallContext* context, int32_t sampler, const float* u, const float* v, float* out) {
    if (!context->sampler) return 0;
    auto* soa = reinterpret_cast<float (*)[kLanes]>(out);
    if (context->lanes != (1u << kLanes) - 1) {
        for (int k = 0; k < 4; ++k)
            for (int l = 0; l < kLanes; ++l) soa[k][l] = k == 3 ? 1.0f : 0.0f;
    }
    return context->sampler->SampleFast(UINT(sampler), u, v, context->lanes, soa) ? 1 : 0;
}

// Arithmetic the generator writes itself.
bool NativeOp(const ExecOp& op) {
    if (op.kind != Kind::Arith || !NativeOpcode(op.opcode)) return false;
    return NativeOperands(op);
}

// Lookups whose coordinates the generator computes, trying the sampler's
// shortcut before the interpreter's op.
bool ShortcutSample(const ExecOp& op) {
    if (op.kind != Kind::Sample || (op.sampleMode != SampleMode::Plain && op.sampleMode != SampleMode::Project))
        return false;
    return op.srcCount >= 1 && NativeOperands(op);
}

LLVMModuleRef NewModule(const char* name, LLVMOrcThreadSafeContextRef* context) {
    Engine* engine = GetEngine();
    *context = LLVMOrcCreateNewThreadSafeContext();
    LLVMModuleRef module = LLVMModuleCreateWithNameInContext(name, LLVMOrcThreadSafeContextGetContext(*context));
    std::lock_guard<std::mutex> lock(engine->mutex);
    LLVMSetDataLayout(module, LLVMOrcLLJITGetDataLayoutStr(engine->jit));
    LLVMSetTarget(module, LLVMOrcLLJITGetTripleString(engine->jit));
    return module;
}

uint64_t AddModule(LLVMModuleRef module, LLVMOrcThreadSafeContextRef context, const char* name, void** trackerOut) {
    Engine* engine = GetEngine();
    auto fail = [&] {
        LLVMDisposeModule(module);
        LLVMOrcDisposeThreadSafeContext(context);
        return uint64_t(0);
    };
    if (LLVMVerifyModule(module, LLVMReturnStatusAction, nullptr)) return fail();
    LLVMPassBuilderOptionsRef options = LLVMCreatePassBuilderOptions();
    LLVMErrorRef passError = LLVMRunPasses(module, "function(sroa,early-cse,instcombine,gvn,dse,simplifycfg)",
                                           nullptr, options);
    LLVMDisposePassBuilderOptions(options);
    if (passError) {
        LLVMConsumeError(passError);
        return fail();
    }
    LLVMOrcThreadSafeModuleRef tsm = LLVMOrcCreateNewThreadSafeModule(module, context);
    LLVMOrcDisposeThreadSafeContext(context);  // the module keeps its context

    std::lock_guard<std::mutex> lock(engine->mutex);
    LLVMOrcResourceTrackerRef tracker = LLVMOrcJITDylibCreateResourceTracker(LLVMOrcLLJITGetMainJITDylib(engine->jit));
    LLVMOrcExecutorAddress address = 0;
    LLVMErrorRef err = LLVMOrcLLJITAddLLVMIRModuleWithRT(engine->jit, tracker, tsm);
    if (!err) err = LLVMOrcLLJITLookup(engine->jit, &address, name);
    if (err || address == 0) {
        if (err) LLVMConsumeError(err);
        if (LLVMErrorRef removeError = LLVMOrcResourceTrackerRemove(tracker)) LLVMConsumeError(removeError);
        LLVMOrcReleaseResourceTracker(tracker);
        return 0;
    }
    *trackerOut = tracker;
    return address;
}

void RecordPipelineCompile(double milliseconds) { AddToTotals(milliseconds, &GetEngine()->pipelineTotals); }

void RemoveCode(void* trackerPointer) {
    Engine* engine = GetEngine();
    std::lock_guard<std::mutex> lock(engine->mutex);
    auto* tracker = static_cast<LLVMOrcResourceTrackerRef>(trackerPointer);
    if (LLVMErrorRef err = LLVMOrcResourceTrackerRemove(tracker)) LLVMConsumeError(err);
    LLVMOrcReleaseResourceTracker(tracker);
}

}  // namespace detail

bool Enabled() {
    static const bool enabled = EnvironmentAllows() && GetEngine()->jit != nullptr;
    return enabled;
}

CompiledShader::CompiledShader(ShaderFunction entry, void* tracker, const CompileStats& stats)
    : entry_(entry), tracker_(tracker), stats_(stats) {}

CompiledShader::~CompiledShader() { detail::RemoveCode(tracker_); }

CompileTotals Totals() {
    Engine* engine = GetEngine();
    std::lock_guard<std::mutex> lock(engine->mutex);
    return engine->totals;
}

CompileTotals PipelineTotals() {
    Engine* engine = GetEngine();
    std::lock_guard<std::mutex> lock(engine->mutex);
    return engine->pipelineTotals;
}

std::unique_ptr<CompiledShader> Compile(const ExecProgram& program) {
    if (!Enabled() || !Compilable(program)) return nullptr;
    const auto start = std::chrono::steady_clock::now();
    static std::atomic<unsigned> counter{0};
    const std::string name = "kiln_shader_" + std::to_string(counter++);
    LLVMOrcThreadSafeContextRef context = nullptr;
    LLVMModuleRef module = detail::NewModule(name.c_str(), &context);
    CompileStats stats;
    {
        detail::Emitter emitter(LLVMOrcThreadSafeContextGetContext(context), module, program);
        emitter.Build(name.c_str(), &stats);
    }
    void* tracker = nullptr;
    const uint64_t address = detail::AddModule(module, context, name.c_str(), &tracker);
    if (!address) return nullptr;
    stats.milliseconds = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
    AddToTotals(stats.milliseconds, &GetEngine()->totals);
    return std::make_unique<CompiledShader>(reinterpret_cast<ShaderFunction>(address), tracker, stats);
}

#else  // no code generator in this build: every shader is interpreted

bool Enabled() { return false; }
CompileTotals Totals() { return {}; }
CompileTotals PipelineTotals() { return {}; }
CompiledShader::CompiledShader(ShaderFunction entry, void* tracker, const CompileStats& stats)
    : entry_(entry), tracker_(tracker), stats_(stats) {}
CompiledShader::~CompiledShader() = default;
std::unique_ptr<CompiledShader> Compile(const ExecProgram&) { return nullptr; }

#endif

}  // namespace gfx::jit

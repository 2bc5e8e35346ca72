// Native code for translated shaders.
//
// A program without flow control is compiled into one function that runs the
// whole op list over the kLanes lanes of an ExecState: the arithmetic becomes
// vector instructions on registers held in machine registers between ops,
// plain and projected texture lookups call the sampler's shortcut
// (TextureSampler::SampleFast) directly, and every op the code generator does
// not handle itself (other lookups, derivatives, texkill, relative addressing,
// predication, the transcendental functions, ps_1_x texture addressing) calls
// exec::ExecuteOp, the interpreter's own code for that op, so results are
// bit-identical to the interpreter's. Programs with flow control are not compiled; they run in the
// interpreter.
//
// The code generator is LLVM's ORC JIT, through its C interface, tuned to the
// processor found at run time (AVX2 and wider where the host has it).
// Setting the environment variable KILN_JIT=0 turns compilation off.
#pragma once

#include <cstdint>
#include <memory>

#include "gfx/shaders/shader_exec.h"

namespace gfx::jit {

// What compiled code hands to the interpreted ops of one call.
struct CallContext {
    const exec::ExecProgram* program = nullptr;
    const ShaderConstants* constants = nullptr;
    TextureSampler* sampler = nullptr;
    uint32_t lanes = 0;   // lanes of the call, as Execute's activeLanes
    uint32_t killed = 0;  // lanes discarded by texkill, accumulated
};

// regs: the ExecState's register file; constants: ShaderConstants::f;
// inputs: the LaneVec4 input blocks (16 for vertex, 10 for pixel shaders).
using ShaderFunction = void (*)(float* regs, const float* constants, CallContext* context, const float* inputs);

struct CompileStats {
    double milliseconds = 0;  // building, optimising and emitting the code
    int nativeOps = 0;        // ops turned into vector instructions
    int interpretedOps = 0;   // ops left to exec::ExecuteOp
};

// Compiled code of one program; the code is released with the object.
class CompiledShader {
public:
    CompiledShader(ShaderFunction entry, void* tracker, const CompileStats& stats);
    ~CompiledShader();
    CompiledShader(const CompiledShader&) = delete;
    CompiledShader& operator=(const CompiledShader&) = delete;

    // Runs the program as exec::PrepareState and exec::Execute(program,
    // *context.constants, context.sampler, state, context.lanes, true) would
    // (the compiled code clears and loads its own registers); returns the
    // killed lanes.
    uint32_t Run(exec::ExecState* state, const LaneVec4* inputs, CallContext& context) const {
        entry_(&state->regs[0][0][0], &context.constants->f[0][0], &context, &inputs[0].v[0][0]);
        return context.killed;
    }
    const CompileStats& Stats() const { return stats_; }

private:
    ShaderFunction entry_;
    void* tracker_;  // the code's resource tracker in the JIT
    CompileStats stats_;
};

// Shaders compiled so far in this process and the time it took.
struct CompileTotals {
    int shaders = 0;
    double milliseconds = 0;  // all compiles together
    double slowest = 0;       // the longest single compile
};
CompileTotals Totals();

// True when this build has the code generator and KILN_JIT is not "0".
bool Enabled();

// Programs longer than this are interpreted.
constexpr size_t kMaxCompiledOps = 4096;

// Whether `program` is one Compile accepts (no flow control, at most
// kMaxCompiledOps ops).
bool Compilable(const exec::ExecProgram& program);

// Compiles `program`; null when it is not compilable or code generation
// failed (the caller then interprets it). Thread-safe.
std::unique_ptr<CompiledShader> Compile(const exec::ExecProgram& program);

}  // namespace gfx::jit

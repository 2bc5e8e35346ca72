// ShaderProgram: checks, translates and runs one shader.
#include "gfx/shaders/shader_program.h"

#include <atomic>
#include <cstdio>
#include <cstring>
#include <future>
#include <map>
#include <mutex>
#include <new>
#include <system_error>

#include "gfx/shaders/shader_checker.h"
#include "gfx/shaders/pipeline_jit.h"
#include "gfx/shaders/shader_jit.h"
#include "gfx/shaders/shader_translate.h"

namespace gfx {

struct ShaderProgram::Impl {
    ShaderKind kind = ShaderKind::Vertex;
    DWORD version = 0;
    std::vector<DWORD> tokens;
    TranslatedShader translated;
    // Native code, compiled in the background from creation on; published
    // through `compiled` once ready. `compiling` is declared last so that it
    // is destroyed first: destruction waits for a compile under way.
    std::unique_ptr<jit::CompiledShader> code;
    std::atomic<const jit::CompiledShader*> compiled{nullptr};
    // Compiled pixel pipelines by key, each compiled in the background like
    // the shader; an entry's compile ends before its code goes.
    struct PipelineEntry {
        std::unique_ptr<jit::CompiledPipeline> code;
        std::atomic<const jit::CompiledPipeline*> ready{nullptr};
        std::shared_future<void> compiling;
    };
    static constexpr size_t kMaxPipelines = 32;  // keys per program; draws past them keep the device's path
    std::mutex pipelineMutex;
    std::map<jit::PipelineKey, std::unique_ptr<PipelineEntry>> pipelines;
    std::shared_future<void> compiling;

    void StartCompile() {
        if (!jit::Enabled() || !jit::Compilable(translated.program)) return;
        try {
            compiling = std::async(std::launch::async, [this] {
                code = jit::Compile(translated.program);
                compiled.store(code.get(), std::memory_order_release);
            });
        } catch (const std::system_error&) {
            // No thread for it: compile now rather than never.
            code = jit::Compile(translated.program);
            compiled.store(code.get(), std::memory_order_release);
        }
    }
};

ShaderProgram::ShaderProgram(std::unique_ptr<Impl> impl) : impl_(std::move(impl)) {}
ShaderProgram::~ShaderProgram() = default;

namespace {

// Checks the whole stream; fills the decoded instructions and the token count
// up to and including the end token.
bool CheckStream(const DWORD* tokens, size_t maxTokens, DWORD kindFilter, std::vector<DecodedInstruction>* list,
                 size_t* length, isa::Profile* profile, CheckError* error) {
    const size_t limit = maxTokens < kMaxShaderTokens ? maxTokens : kMaxShaderTokens;
    if (limit == 0) {
        error->code = 3;
        error->text = "empty shader";
        return false;
    }
    ShaderChecker checker;
    if (!checker.Begin(tokens[0], kindFilter, error)) return false;
    size_t pos = 1;
    while (true) {
        if (pos >= limit) {
            char text[96];
            std::snprintf(text, sizeof text, "no end token within the shader's %u tokens", static_cast<unsigned>(limit));
            error->code = 3;
            error->text = text;
            error->offset = pos;
            return false;
        }
        ShaderChecker::Element kind;
        size_t consumed = 0;
        DecodedInstruction ins;
        if (!checker.Next(tokens + pos, limit - pos, pos, &kind, &consumed, &ins, error)) return false;
        pos += consumed;
        if (kind == ShaderChecker::Element::End) break;
        if (kind == ShaderChecker::Element::Instruction) list->push_back(ins);
    }
    if (!checker.Finish(error)) return false;
    *length = pos;
    *profile = checker.Profile();
    return true;
}

}  // namespace

HRESULT CheckShaderTokens(const DWORD* tokens, size_t maxTokens, ShaderKind kind, std::string* message) {
    if (!tokens) return D3DERR_INVALIDCALL;
    std::vector<DecodedInstruction> list;
    size_t length = 0;
    isa::Profile profile;
    CheckError error;
    const DWORD filter = kind == ShaderKind::Vertex ? isa::kVertexVersionKind : isa::kPixelVersionKind;
    if (!CheckStream(tokens, maxTokens, filter, &list, &length, &profile, &error)) {
        if (message) *message = error.text;
        return D3DERR_INVALIDCALL;
    }
    TranslatedShader translated;
    if (!TranslateShader(list, profile, &translated)) {
        if (message) *message = "the shader uses registers beyond the device's constant tables";
        return D3DERR_INVALIDCALL;
    }
    if (message) message->clear();
    return D3D_OK;
}

HRESULT ShaderProgram::Create(const DWORD* tokens, size_t maxTokens, ShaderKind kind,
                              std::unique_ptr<ShaderProgram>* out) {
    if (!out) return D3DERR_INVALIDCALL;
    out->reset();
    if (!tokens) return D3DERR_INVALIDCALL;
    try {
        auto impl = std::make_unique<Impl>();
        std::vector<DecodedInstruction> list;
        size_t length = 0;
        isa::Profile profile;
        CheckError error;
        const DWORD filter = kind == ShaderKind::Vertex ? isa::kVertexVersionKind : isa::kPixelVersionKind;
        if (!CheckStream(tokens, maxTokens, filter, &list, &length, &profile, &error)) return D3DERR_INVALIDCALL;
        if (!TranslateShader(list, profile, &impl->translated)) return D3DERR_INVALIDCALL;
        impl->kind = kind;
        impl->version = tokens[0];
        impl->tokens.assign(tokens, tokens + length);
        impl->StartCompile();
        out->reset(new ShaderProgram(std::move(impl)));
        return D3D_OK;
    } catch (const std::bad_alloc&) {
        return E_OUTOFMEMORY;
    }
}

ShaderKind ShaderProgram::Kind() const { return impl_->kind; }
DWORD ShaderProgram::Version() const { return impl_->version; }
isa::Profile ShaderProgram::Profile() const { return impl_->translated.program.profile; }
const std::vector<DWORD>& ShaderProgram::Tokens() const { return impl_->tokens; }
const std::vector<ShaderSemantic>& ShaderProgram::Inputs() const { return impl_->translated.inputs; }
const std::vector<ShaderSemantic>& ShaderProgram::Outputs() const { return impl_->translated.outputs; }
const std::vector<ShaderSamplerUse>& ShaderProgram::Samplers() const { return impl_->translated.samplers; }
int ShaderProgram::PositionSlot() const {
    if (impl_->kind != ShaderKind::Vertex) return -1;
    if (isa::ProfileMajor(Profile()) < 3) {
        for (const ShaderSemantic& s : impl_->translated.outputs)
            if (s.slot == kSlotPosition) return kSlotPosition;
        return -1;
    }
    return impl_->translated.positionSlot;
}
bool ShaderProgram::DepthWritten() const { return impl_->translated.depthWritten; }
bool ShaderProgram::UsesTexkill() const { return impl_->translated.usesTexkill; }

const jit::CompiledPipeline* ShaderProgram::Pipeline(const jit::PipelineKey& key, bool wait) const {
    Impl& impl = *impl_;
    if (!jit::Enabled() || !jit::PipelineCompilable(impl.translated.program)) return nullptr;
    Impl::PipelineEntry* entry = nullptr;
    {
        std::lock_guard<std::mutex> lock(impl.pipelineMutex);
        auto it = impl.pipelines.find(key);
        if (it != impl.pipelines.end()) {
            entry = it->second.get();
        } else {
            if (impl.pipelines.size() >= Impl::kMaxPipelines) return nullptr;
            entry = impl.pipelines.emplace(key, std::make_unique<Impl::PipelineEntry>()).first->second.get();
            auto compile = [entry, &impl, key] {
                entry->code = jit::CompilePipeline(impl.translated.program, key);
                entry->ready.store(entry->code.get(), std::memory_order_release);
            };
            try {
                entry->compiling = std::async(std::launch::async, compile);
            } catch (const std::system_error&) {
                compile();  // no thread for it: compile now rather than never
            }
        }
    }
    const jit::CompiledPipeline* ready = entry->ready.load(std::memory_order_acquire);
    if (!ready && wait && entry->compiling.valid()) {
        entry->compiling.wait();
        ready = entry->ready.load(std::memory_order_acquire);
    }
    return ready;
}

bool ShaderProgram::CompiledReady() const {
    return impl_->compiled.load(std::memory_order_acquire) != nullptr;
}

bool ShaderProgram::WaitForCompiled() const {
    if (impl_->compiling.valid()) impl_->compiling.wait();
    return CompiledReady();
}

const jit::CompileStats* ShaderProgram::CompileStatistics() const {
    const jit::CompiledShader* code = impl_->compiled.load(std::memory_order_acquire);
    return code ? &code->Stats() : nullptr;
}

namespace {

// One register file per thread, reused by every call on that thread: the
// program clears what it may read before writing (see PrepareState), so a
// fresh state per call would only cost stack and cache.
exec::ExecState* ThreadState() {
    static thread_local exec::ExecState state;
    return &state;
}

}  // namespace

// Loads the inputs and runs the program on the chosen path.
uint32_t ShaderProgram::Execute(const ShaderConstants& constants, TextureSampler* sampler, exec::ExecState* state,
                                const LaneVec4* inputs, int inputCount, uint32_t lanes, ExecPath path) const {
    const jit::CompiledShader* code = nullptr;
    if (path == ExecPath::Compiled) {
        code = impl_->compiled.load(std::memory_order_acquire);
        if (!code && impl_->compiling.valid()) {
            impl_->compiling.wait();
            code = impl_->compiled.load(std::memory_order_acquire);
        }
    }
    if (code) {
        jit::CallContext context;
        context.program = &impl_->translated.program;
        context.constants = &constants;
        context.sampler = sampler;
        context.lanes = lanes;
        return code->Run(state, inputs, context);
    }
    exec::PrepareState(impl_->translated.program, inputs, inputCount, state);
    return exec::Execute(impl_->translated.program, constants, sampler, state, lanes, path != ExecPath::Reference);
}

uint32_t ShaderProgram::RunPipeline(const jit::CompiledPipeline& pipeline, const ShaderConstants& constants,
                                    TextureSampler* sampler, uint32_t lanes, jit::PipelineArgs* args) const {
    jit::CallContext context;
    context.program = &impl_->translated.program;
    context.constants = &constants;
    context.sampler = sampler;
    context.lanes = lanes;
    args->constants = &constants.f[0][0];
    args->context = &context;
    return pipeline.Run(*args);
}

void ShaderProgram::RunVertices(const ShaderConstants& constants, TextureSampler* sampler, const VertexBatch& batch,
                                VertexResults* results, ExecPath path) const {
    const int count = batch.count < 0 ? 0 : batch.count > kLanes ? kLanes : batch.count;
    exec::ExecState* state = ThreadState();
    const uint32_t lanes = count == 32 ? ~0u : (1u << count) - 1;
    Execute(constants, sampler, state, batch.input, kMaxVertexInputs, lanes, path);
    const uint32_t written = impl_->translated.program.outputsWritten;
    for (int i = 0; i < kMaxVertexOutputs; ++i) {
        if (written >> i & 1) std::memcpy(results->output[i].v, state->regs[exec::kOutBase + i], sizeof results->output[i].v);
        else exec::ClearBlock(results->output[i].v);
    }
}

void ShaderProgram::RunPixels(const ShaderConstants& constants, TextureSampler* sampler, const PixelBatch& batch,
                              PixelResults* results, ExecPath path) const {
    const int quads = batch.quads < 0 ? 0 : batch.quads > kQuads ? kQuads : batch.quads;
    exec::ExecState* state = ThreadState();
    const exec::ExecProgram& prog = impl_->translated.program;
    if (prog.readsPosition) std::memcpy(state->regs[exec::kPosSlot], batch.position.v, sizeof batch.position.v);
    if (prog.readsFace) std::memcpy(state->regs[exec::kFaceSlot][0], batch.face, sizeof batch.face);
    const uint32_t lanes = quads * 4 >= 32 ? ~0u : (1u << (quads * 4)) - 1;
    results->killed = Execute(constants, sampler, state, batch.input, kMaxPixelInputs, lanes, path);
    // Outputs the program does not write read as zero; outputs 1-3 and the
    // depth are cleared only when not already known to be zero.
    const int depthBit = exec::kDepthSlot - exec::kOutBase;
    const uint32_t written = prog.ps1 ? 1u | (prog.outputsWritten & 1u << depthBit) : prog.outputsWritten;
    for (int i = 0; i < kMaxColorOutputs; ++i) {
        const int slot = prog.ps1 ? exec::kTempBase : exec::kOutBase + i;
        if (written >> i & 1) {
            std::memcpy(results->color[i].v, state->regs[slot], sizeof results->color[i].v);
            results->zeroed &= ~(1u << i);
        } else if (i == 0 || !(results->zeroed >> i & 1)) {
            exec::ClearBlock(results->color[i].v);
            if (i > 0) results->zeroed |= 1u << i;
        }
    }
    if (written >> depthBit & 1) {
        std::memcpy(results->depth, state->regs[exec::kDepthSlot][0], sizeof results->depth);
        results->zeroed &= ~(1u << depthBit);
    } else if (!(results->zeroed >> depthBit & 1)) {
        for (int l = 0; l < kLanes; l += 4) _mm_storeu_ps(&results->depth[l], _mm_setzero_ps());
        results->zeroed |= 1u << depthBit;
    }
}

}  // namespace gfx

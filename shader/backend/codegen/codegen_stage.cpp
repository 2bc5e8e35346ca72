#include "shader/backend/codegen/codegen_stage.h"

#include <new>

#include "shader/backend/codegen/ps1_code_generator.h"
#include "shader/backend/codegen/ps2_code_generator.h"
#include "shader/backend/codegen/vs_code_generator.h"
#include "gfx/shaders/shader_checker.h"
#include "shader/bytecode/constant_table.h"
#include "shader/compiler.h"
#include "shader/target_slots.h"
#include "shader/frontend/lowering/lowering_stage.h"
#include "shader/preprocess/preprocessor.h"

namespace codegen {

std::unique_ptr<CodeGenerator> CreateCodeGenerator(uint32_t version) {
    try {
        switch (version) {
            case 0xFFFE0101:
            case 0xFFFE0200:
            case 0xFFFE0201:
            case 0xFFFE02FF:
            case 0xFFFE0300:
            case 0xFFFE03FF: return std::make_unique<VsCodeGenerator>();
            case 0xFFFF0101:
            case 0xFFFF0102:
            case 0xFFFF0103:
            case 0xFFFF0104: return std::make_unique<Ps1CodeGenerator>();
            case 0xFFFF0200:
            case 0xFFFF0201:
            case 0xFFFF02FF:
            case 0xFFFF0300:
            case 0xFFFF03FF: return std::make_unique<Ps2CodeGenerator>();
            default: return nullptr;
        }
    } catch (const std::bad_alloc&) {
        return nullptr;
    }
}

}  // namespace codegen

namespace {

// Generates the lowered program into *code. When the code needs more
// instruction slots than the model has, the program is generated once more
// without gathering scalar instructions into vector ones: gathering saves
// instructions as a rule but costs moves where the operands sit in different
// registers. The smaller form is kept if it fits; otherwise the messages of
// the first form stand.
HRESULT GenerateFitting(CompileJob& job, codegen::CodeGenerator& generator) {
    ErrorLog& log = job.preprocessor->Log();
    gfx::isa::SlotLimits limits{};
    const bool bounded = !job.options.fragment && !(job.flags & KLSHADER_SKIPVALIDATION) &&
                         SUCCEEDED(TargetSlotLimits(job.version, &limits)) &&
                         (limits.total != gfx::isa::kUnlimitedSlots || limits.arithmetic != gfx::isa::kUnlimitedSlots);
    if (!bounded) return generator.Generate(job.code);
    // Generate changes the program, so the lowered one is kept for the retry.
    const IntermediateProgram lowered = generator;
    ErrorLog::State before = log.Save();

    HRESULT hr = generator.Generate(job.code);
    if (SUCCEEDED(hr) || !generator.ExceededSlotLimits()) return hr;
    std::unique_ptr<codegen::CodeGenerator> second = codegen::CreateCodeGenerator(job.version);
    if (!second) return hr;
    static_cast<IntermediateProgram&>(*second) = lowered;
    second->SetDebugSource(generator.DebugSource());
    second->gatherVectors = false;
    ErrorLog::State first = log.Save();
    log.Restore(std::move(before));
    HRESULT again = second->Generate(job.code);
    if (SUCCEEDED(again)) return again;
    if (*job.code) (*job.code)->Release();
    *job.code = nullptr;
    log.Restore(std::move(first));
    return hr;
}

// Predication is chosen merge by merge from an estimate of the instructions
// it saves. Where the program came out predicated, it is generated once more
// without, and the predicated form is kept only when it takes fewer
// instruction slots. The messages are those of the first generation.
HRESULT GenerateShortest(CompileJob& job, codegen::CodeGenerator& generator) {
    if (!generator.MayPredicate()) return GenerateFitting(job, generator);
    const IntermediateProgram lowered = generator;
    HRESULT hr = GenerateFitting(job, generator);
    if (FAILED(hr) || !*job.code || !generator.Predicated()) return hr;
    std::unique_ptr<codegen::CodeGenerator> plain = codegen::CreateCodeGenerator(job.version);
    if (!plain) return hr;
    static_cast<IntermediateProgram&>(*plain) = lowered;
    plain->SetFragmentMode(job.options.fragment);
    plain->SetDebugSource(generator.DebugSource());
    plain->predicateMerges = false;
    ErrorLog& log = job.preprocessor->Log();
    ErrorLog::State kept = log.Save();
    IKLBuffer* other = nullptr;
    const HRESULT again = plain->Generate(&other);
    log.Restore(std::move(kept));
    if (FAILED(again) || !other) {
        if (other) other->Release();
        return hr;
    }
    auto slots = [](IKLBuffer* code) {
        gfx::SlotCount count;
        if (!gfx::CountInstructionSlots(static_cast<const DWORD*>(code->GetBufferPointer()), code->GetBufferSize() / 4,
                                        &count))
            return ~0u;
        return count.arithmetic + count.texture;
    };
    if (slots(other) <= slots(*job.code)) {
        (*job.code)->Release();
        *job.code = other;
    } else {
        other->Release();
    }
    return hr;
}

HRESULT LowerAndGenerate(CompileJob& job, codegen::CodeGenerator& generator, hlsl::LoweringOptions* options) {
    HRESULT hr = LowerCompileJob(job, generator, options);
    if (SUCCEEDED(hr) && job.errorFlag) hr = E_FAIL;
    if (FAILED(hr)) return hr;
    hr = GenerateShortest(job, generator);
    return hr == E_NOTIMPL ? E_FAIL : hr;  // reported as X4532
}

// Lowers and generates the job. On the models with loops, a program that
// grew too large for its model while loops of known count were unrolled is
// lowered once more with those loops as real loops; when that does not
// succeed either, the messages of the first attempt stand.
HRESULT LowerAndGenerateFitting(CompileJob& job, std::unique_ptr<codegen::CodeGenerator> generator) {
    ErrorLog& log = job.preprocessor->Log();
    const bool loops = (job.target.features & kFeatureFlowControl) != 0;
    ErrorLog::State before;
    if (loops) before = log.Save();
    hlsl::LoweringOptions options;
    HRESULT hr = LowerAndGenerate(job, *generator, &options);
    if (SUCCEEDED(hr) || !loops || !options.constantLoopsUnrolled ||
        !(options.tooLarge || generator->ExceededSlotLimits()))
        return hr;
    std::unique_ptr<codegen::CodeGenerator> second = codegen::CreateCodeGenerator(job.version);
    if (!second) return hr;
    second->SetFragmentMode(job.options.fragment);
    second->SetDebugSource(generator->DebugSource());
    generator.reset();
    if (*job.code) (*job.code)->Release();
    *job.code = nullptr;
    ErrorLog::State first = log.Save();
    log.Restore(std::move(before));
    const bool errorFlag = job.errorFlag;
    job.errorFlag = false;
    hlsl::LoweringOptions asLoops;
    asLoops.constantLoopsAsLoops = true;
    const HRESULT again = LowerAndGenerate(job, *second, &asLoops);
    if (SUCCEEDED(again)) return again;
    if (*job.code) (*job.code)->Release();
    *job.code = nullptr;
    log.Restore(std::move(first));
    job.errorFlag = errorFlag;
    return hr;
}

}  // namespace

HRESULT GenerateStage(CompileJob& job) {
    if (!job.code || !job.preprocessor) return D3DERR_INVALIDCALL;
    std::unique_ptr<codegen::CodeGenerator> generator = codegen::CreateCodeGenerator(job.version);
    if (!generator) return E_OUTOFMEMORY;
    generator->SetFragmentMode(job.options.fragment);
    generator->SetDebugSource(std::move(job.debugSource));
    HRESULT hr;
    try {
        hr = LowerAndGenerateFitting(job, std::move(generator));
    } catch (const std::bad_alloc&) {
        hr = E_OUTOFMEMORY;
    }
    if (FAILED(hr)) {
        if (*job.code) (*job.code)->Release();
        *job.code = nullptr;
        return hr;
    }
    if (job.constantTable) {
        hr = ExtractConstantTable((*job.code)->GetBufferPointer(), (*job.code)->GetBufferSize(), job.constantTable);
        if (FAILED(hr)) {
            (*job.code)->Release();
            *job.code = nullptr;
        }
    }
    return hr;
}

#include "shader/frontend/lowering/lowering_stage.h"

#include "shader/frontend/lowering/lowering.h"
#include "shader/preprocess/preprocessor.h"

HRESULT LowerCompileJob(CompileJob& job, IntermediateProgram& generator, hlsl::LoweringOptions* options) {
    if (!job.program || !job.preprocessor || !job.entryPoint) return D3DERR_INVALIDCALL;
    auto* tree = static_cast<hlsl::ProgramTree*>(job.program);
    HRESULT hr = generator.Initialize(tree, &job.preprocessor->Log(), job.version, job.flags, job.entryPoint);
    if (FAILED(hr)) return hr;
    if (job.target.name) generator.target = job.target;
    // The file the compile read, at its end, for messages that concern the
    // source as a whole.
    SourceLocation end = job.preprocessor->CurrentPosition();
    hr = hlsl::LowerShader(*tree, job.entryPoint, generator, end.file ? &end : nullptr, options);
    if (FAILED(hr) || generator.errorFlag) job.errorFlag = true;
    return hr;
}

// The lowering's share of the compile pipeline's generate stage: the code
// generator (an IntermediateProgram with target knowledge) is initialised
// with the job's tree, log, version token, flags and entry name, then the
// globals and the entry function are lowered into it. The generate stage
// runs the generator afterwards only when this succeeded.
#pragma once

#include "shader/backend/intermediate_program.h"
#include "shader/compile_pipeline.h"
#include "shader/frontend/lowering/lowering.h"

// Results as LowerShader's; job.errorFlag is set when the lowering reported
// an error. D3DERR_INVALIDCALL without a parsed program or preprocessor.
// `options` (may be null) as LowerShader takes them.
HRESULT LowerCompileJob(CompileJob& job, IntermediateProgram& generator, hlsl::LoweringOptions* options = nullptr);

// The code generators' share of the compile pipeline: the generate stage
// chooses the generator by the version token, lets the lowering fill it,
// runs it, and builds the constant table object when the caller asked for it.
#pragma once

#include <memory>

#include "shader/backend/codegen/code_generator.h"
#include "shader/compile_pipeline.h"

namespace codegen {

// The generator for a version token; null for one no generator serves.
std::unique_ptr<CodeGenerator> CreateCodeGenerator(uint32_t version);

}  // namespace codegen

// Lowers the entry function and writes the bytecode into *job.code.
// Results as the compile entry reports them: S_OK; E_FAIL after a reported
// error; E_NOTIMPL for a construct the lowering does not support;
// E_OUTOFMEMORY.
HRESULT GenerateStage(CompileJob& job);

// The front end's door: parse and check the preprocessor's token stream into
// a program tree. The compile pipeline calls ParseStage / ReleaseProgramTree
// through its stage table; tools call ParseProgram directly.
#pragma once

#include <memory>

#include "platform/wintypes.h"
#include "shader/compile_pipeline.h"
#include "shader/frontend/program_tree.h"

class Preprocessor;

namespace hlsl {

// Parses the whole token stream of `pp` with the compile flags. S_OK with
// the tree; E_FAIL when the parser reported errors (they are in pp's log);
// a preprocessor failure is passed on.
HRESULT ParseProgram(Preprocessor& pp, uint32_t flags, std::unique_ptr<ProgramTree>* tree);

}  // namespace hlsl

// Pipeline stages: job.program receives (and ReleaseProgramTree frees) the
// hlsl::ProgramTree.
HRESULT ParseStage(CompileJob& job);
void ReleaseProgramTree(CompileJob& job);

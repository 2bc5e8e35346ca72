// The join point of the compile pipeline. Each slot names the function of the
// stage that implements it; a slot stays null until its stage exists, and the
// driver then stops after preprocessing with E_NOTIMPL.
#include "shader/compile_pipeline.h"
#include "shader/asm/assembler.h"
#include "shader/backend/codegen/codegen_stage.h"
#include "shader/frontend/parse_stage.h"

const CompileStages& GetCompileStages() {
    static const CompileStages stages = {
        /* parse    */ &ParseStage,
        /* generate */ &GenerateStage,
        /* release  */ &ReleaseProgramTree,
        /* assemble */ &AssembleStage,
    };
    return stages;
}

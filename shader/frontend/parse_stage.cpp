#include "shader/frontend/parse_stage.h"

#include "shader/frontend/parser.h"

namespace hlsl {

HRESULT ParseProgram(Preprocessor& pp, uint32_t flags, std::unique_ptr<ProgramTree>* tree) {
    Parser parser(pp, flags);
    return parser.Parse(tree);
}

}  // namespace hlsl

HRESULT ParseStage(CompileJob& job) {
    if (!job.preprocessor) return D3DERR_INVALIDCALL;
    std::unique_ptr<hlsl::ProgramTree> tree;
    HRESULT hr = hlsl::ParseProgram(*job.preprocessor, job.flags, &tree);
    if (SUCCEEDED(hr)) job.program = tree.release();
    return hr;
}

void ReleaseProgramTree(CompileJob& job) {
    delete static_cast<hlsl::ProgramTree*>(job.program);
    job.program = nullptr;
}

#include "shader/frontend/parse_stage.h"

#include <new>

#include "shader/frontend/messages.h"
#include "shader/frontend/parser.h"
#include "shader/preprocess/preprocessor.h"

namespace hlsl {

HRESULT ParseProgram(Preprocessor& pp, uint32_t flags, std::unique_ptr<ProgramTree>* tree) {
    // An allocation failure anywhere in the parse ends it here, as a message
    // and a result: no exception leaves the compiler.
    try {
        Parser parser(pp, flags);
        return parser.Parse(tree);
    } catch (const std::bad_alloc&) {
        if (tree) tree->reset();
        pp.Log().ReportError(nullptr, 0, "%s", msg::kOutOfMemory.format);
        return E_OUTOFMEMORY;
    }
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

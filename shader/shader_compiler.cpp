// The compile driver: argument checks, target resolution, choice of the code
// generator and the order of the stages.
#include <cstring>

#include "shader/compile_pipeline.h"
#include "shader/diagnostics.h"
#include "shader/preprocess/preprocessor.h"

namespace {

enum class Generator { None, TextureFill, Vertex, Pixel1, Pixel2 };

Generator ChooseGenerator(uint32_t version) {
    switch (version) {
        case 0x54580100: return Generator::TextureFill;
        case 0xFFFE0101:
        case 0xFFFE0200:
        case 0xFFFE0201:
        case 0xFFFE02FF:
        case 0xFFFE0300:
        case 0xFFFE03FF: return Generator::Vertex;
        case 0xFFFF0101:
        case 0xFFFF0102:
        case 0xFFFF0103:
        case 0xFFFF0104: return Generator::Pixel1;
        case 0xFFFF0200:
        case 0xFFFF0201:
        case 0xFFFF02FF:
        case 0xFFFF0300:
        case 0xFFFF03FF: return Generator::Pixel2;
        default: return Generator::None;
    }
}

// Without a parser the token stream is still read to its end, so every
// preprocessor message reaches the log.
HRESULT DrainTokens(Preprocessor& preprocessor) {
    HRESULT hr = preprocessor.Begin(kModeHlsl);
    if (FAILED(hr)) return hr;
    for (;;) {
        Token token;
        hr = preprocessor.NextToken(&token);
        if (FAILED(hr) || token.kind == TokenKind::EndOfFile) break;
    }
    preprocessor.End();
    return hr;
}

}  // namespace

HRESULT RunShaderCompiler(Preprocessor& preprocessor, const char* entryPoint, const char* profile, DWORD flags,
                          IKLBuffer** code, IKLConstantTable** constantTable, const CompileOptions& options) {
    if (!entryPoint) return D3DERR_INVALIDCALL;
    if ((flags & ~kCompileFlagsMask) != 0 || !code) return D3DERR_INVALIDCALL;
    ErrorLog& log = preprocessor.Log();

    CompileJob job;
    if (FAILED(FindTargetByName(profile, kTargetCompile, &job.target))) {
        log.Report(nullptr, diag::kUnknownTarget, profile ? profile : "");
        return D3DERR_INVALIDCALL;
    }
    job.version = job.target.version;
    if (job.version == 0xFFFE0100 || job.version == 0xFFFF0100) {
        job.version |= 0x01;
        job.remapped = true;
    }
    Generator generator = ChooseGenerator(job.version);
    if (generator == Generator::None || generator == Generator::TextureFill) {
        // No texture-fill program generator exists: the profile is refused.
        log.Report(nullptr, diag::kUnknownTarget, profile);
        return D3DERR_INVALIDCALL;
    }
    // Only the vertex shader generator writes fragments.
    if (options.fragment && generator != Generator::Vertex) return D3DERR_INVALIDCALL;
    if (generator == Generator::Pixel1) flags &= ~static_cast<DWORD>(KLSHADER_SKIPOPTIMIZATION);

    job.preprocessor = &preprocessor;
    job.entryPoint = entryPoint;
    job.profile = profile;
    job.flags = flags;
    job.options = options;
    if (flags & KLSHADER_DEBUG) {
        // Nothing has been read yet: the remaining text is the whole source.
        size_t bytes = 0;
        const char* text = preprocessor.RemainingText(&bytes);
        if (text) job.debugSource.assign(text, bytes);
    }
    job.code = code;
    job.constantTable = constantTable;

    const CompileStages& stages = GetCompileStages();
    HRESULT hr = stages.parse ? stages.parse(job) : DrainTokens(preprocessor);
    if (SUCCEEDED(hr) && job.remapped) {
        log.Report(nullptr, (job.version >> 16) == 0xFFFE ? diag::kVs10Remapped : diag::kPs10Remapped);
    }
    if (SUCCEEDED(hr)) hr = stages.generate ? stages.generate(job) : E_NOTIMPL;
    if (stages.release) stages.release(job);
    return hr;
}

HRESULT RunShaderAssembler(Preprocessor& preprocessor, DWORD flags, IKLBuffer** code) {
    const CompileStages& stages = GetCompileStages();
    if (!stages.assemble) {
        HRESULT hr = DrainTokens(preprocessor);
        return FAILED(hr) ? hr : E_NOTIMPL;
    }
    return stages.assemble(preprocessor, flags, code);
}

// The entry points of the compiler and the assembler. All share one shape:
// clear the outputs, open the preprocessor on the source, run the tool, turn
// success with logged errors into ERR_INVALID_DATA, and hand back the error
// buffer whatever the result.
#include <new>
#include <string>

#include "platform/files.h"
#include "shader/compile_options.h"
#include "shader/compile_pipeline.h"
#include "shader/compiler.h"
#include "shader/diagnostics.h"
#include "shader/preprocess/preprocessor.h"

namespace {

// Wide file names are converted into a buffer of this many bytes.
constexpr size_t kMaxPath = 260;

template <typename Open, typename Run>
HRESULT RunEntry(IKLBuffer** code, IKLBuffer** errors, IKLConstantTable** constantTable, Open open, Run run) {
    if (code) *code = nullptr;
    if (constantTable) *constantTable = nullptr;
    if (errors) *errors = nullptr;
    try {
        Preprocessor preprocessor;
        HRESULT hr = open(preprocessor);
        if (SUCCEEDED(hr)) hr = run(preprocessor);
        if (SUCCEEDED(hr) && preprocessor.Log().ErrorCount() > 0) hr = ERR_INVALID_DATA;
        if (errors) {
            HRESULT built = preprocessor.Log().CreateErrorBuffer(errors);
            if (FAILED(built) && SUCCEEDED(hr)) hr = built;
        }
        if (FAILED(hr) && code && *code) {
            (*code)->Release();
            *code = nullptr;
        }
        return hr;
    } catch (const std::bad_alloc&) {
        if (code && *code) {
            (*code)->Release();
            *code = nullptr;
        }
        return E_OUTOFMEMORY;
    }
}

auto Compiler(LPCSTR entry, LPCSTR profile, DWORD flags, IKLBuffer** code, IKLConstantTable** table,
              const CompileOptions& options = {}) {
    return [=](Preprocessor& pp) { return RunShaderCompiler(pp, entry, profile, flags, code, table, options); };
}

auto Assembler(DWORD flags, IKLBuffer** code) {
    return [=](Preprocessor& pp) { return RunShaderAssembler(pp, flags, code); };
}

auto FromFile(LPCSTR name, const KLMACRO* defines, IKLInclude* include) {
    return [=](Preprocessor& pp) { return pp.OpenFile(name, defines, include); };
}

// The narrow form of a wide file name, or an empty string when it does not fit
// the path buffer; a name that does not fit cannot be opened.
auto FromWideFile(LPCWSTR name, const KLMACRO* defines, IKLInclude* include) {
    return [=](Preprocessor& pp) -> HRESULT {
        if (!name) return D3DERR_INVALIDCALL;
        std::string narrow = platform::WideToUtf8(name);
        if (narrow.size() >= kMaxPath) {
            pp.Log().Report(nullptr, diag::kCannotOpenSource, narrow.c_str());
            return ERR_INVALID_DATA;
        }
        return pp.OpenFile(narrow.c_str(), defines, include);
    };
}

template <typename Name>
auto FromResource(HMODULE module, Name name, const KLMACRO* defines, IKLInclude* include) {
    return [=](Preprocessor& pp) { return pp.OpenResource(module, name, nullptr, defines, include); };
}

auto FromMemory(LPCSTR data, UINT length, const KLMACRO* defines, IKLInclude* include) {
    return [=](Preprocessor& pp) -> HRESULT {
        if (!data && length != 0 && length != UINT32_MAX) return D3DERR_INVALIDCALL;
        size_t size = length == UINT32_MAX ? SIZE_MAX : length;
        return pp.OpenMemory(data, size, nullptr, defines, include);
    };
}

}  // namespace

HRESULT KLCompileShaderFromFileA(LPCSTR srcFile, const KLMACRO* defines, IKLInclude* include, LPCSTR functionName,
                                 LPCSTR profile, DWORD flags, IKLBuffer** shader, IKLBuffer** errorMsgs,
                                 IKLConstantTable** constantTable) {
    return RunEntry(shader, errorMsgs, constantTable, FromFile(srcFile, defines, include),
                    Compiler(functionName, profile, flags, shader, constantTable));
}

HRESULT KLCompileShaderFromFileW(LPCWSTR srcFile, const KLMACRO* defines, IKLInclude* include, LPCSTR functionName,
                                 LPCSTR profile, DWORD flags, IKLBuffer** shader, IKLBuffer** errorMsgs,
                                 IKLConstantTable** constantTable) {
    return RunEntry(shader, errorMsgs, constantTable, FromWideFile(srcFile, defines, include),
                    Compiler(functionName, profile, flags, shader, constantTable));
}

HRESULT KLCompileShaderFromResourceA(HMODULE module, LPCSTR resource, const KLMACRO* defines, IKLInclude* include,
                                     LPCSTR functionName, LPCSTR profile, DWORD flags, IKLBuffer** shader,
                                     IKLBuffer** errorMsgs, IKLConstantTable** constantTable) {
    return RunEntry(shader, errorMsgs, constantTable, FromResource(module, resource, defines, include),
                    Compiler(functionName, profile, flags, shader, constantTable));
}

HRESULT KLCompileShaderFromResourceW(HMODULE module, LPCWSTR resource, const KLMACRO* defines, IKLInclude* include,
                                     LPCSTR functionName, LPCSTR profile, DWORD flags, IKLBuffer** shader,
                                     IKLBuffer** errorMsgs, IKLConstantTable** constantTable) {
    return RunEntry(shader, errorMsgs, constantTable, FromResource(module, resource, defines, include),
                    Compiler(functionName, profile, flags, shader, constantTable));
}

HRESULT KLCompileShader(LPCSTR srcData, UINT length, const KLMACRO* defines, IKLInclude* include,
                        LPCSTR functionName, LPCSTR profile, DWORD flags, IKLBuffer** shader, IKLBuffer** errorMsgs,
                        IKLConstantTable** constantTable) {
    return RunEntry(shader, errorMsgs, constantTable, FromMemory(srcData, length, defines, include),
                    Compiler(functionName, profile, flags, shader, constantTable));
}

HRESULT CompileShaderFileWithOptions(LPCSTR srcFile, const KLMACRO* defines, IKLInclude* include,
                                     LPCSTR functionName, LPCSTR profile, DWORD flags, const CompileOptions& options,
                                     IKLBuffer** shader, IKLBuffer** errorMsgs, IKLConstantTable** constantTable) {
    return RunEntry(shader, errorMsgs, constantTable, FromFile(srcFile, defines, include),
                    Compiler(functionName, profile, flags, shader, constantTable, options));
}

HRESULT CompileShaderWithOptions(LPCSTR srcData, UINT length, const KLMACRO* defines, IKLInclude* include,
                                 LPCSTR functionName, LPCSTR profile, DWORD flags, const CompileOptions& options,
                                 IKLBuffer** shader, IKLBuffer** errorMsgs, IKLConstantTable** constantTable) {
    return RunEntry(shader, errorMsgs, constantTable, FromMemory(srcData, length, defines, include),
                    Compiler(functionName, profile, flags, shader, constantTable, options));
}

HRESULT KLAssembleShaderFromFileA(LPCSTR srcFile, const KLMACRO* defines, IKLInclude* include, DWORD flags,
                                  IKLBuffer** shader, IKLBuffer** errorMsgs) {
    return RunEntry(shader, errorMsgs, nullptr, FromFile(srcFile, defines, include), Assembler(flags, shader));
}

HRESULT KLAssembleShaderFromFileW(LPCWSTR srcFile, const KLMACRO* defines, IKLInclude* include, DWORD flags,
                                  IKLBuffer** shader, IKLBuffer** errorMsgs) {
    return RunEntry(shader, errorMsgs, nullptr, FromWideFile(srcFile, defines, include), Assembler(flags, shader));
}

HRESULT KLAssembleShaderFromResourceA(HMODULE module, LPCSTR resource, const KLMACRO* defines, IKLInclude* include,
                                      DWORD flags, IKLBuffer** shader, IKLBuffer** errorMsgs) {
    return RunEntry(shader, errorMsgs, nullptr, FromResource(module, resource, defines, include),
                    Assembler(flags, shader));
}

HRESULT KLAssembleShaderFromResourceW(HMODULE module, LPCWSTR resource, const KLMACRO* defines,
                                      IKLInclude* include, DWORD flags, IKLBuffer** shader, IKLBuffer** errorMsgs) {
    return RunEntry(shader, errorMsgs, nullptr, FromResource(module, resource, defines, include),
                    Assembler(flags, shader));
}

HRESULT KLAssembleShader(LPCSTR srcData, UINT length, const KLMACRO* defines, IKLInclude* include, DWORD flags,
                         IKLBuffer** shader, IKLBuffer** errorMsgs) {
    return RunEntry(shader, errorMsgs, nullptr, FromMemory(srcData, length, defines, include),
                    Assembler(flags, shader));
}

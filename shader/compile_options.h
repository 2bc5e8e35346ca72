// Options of a compile that the public entry points do not offer: the kiln
// tool and the tests reach them through the entry points declared here, which
// otherwise behave exactly like KLCompileShaderFromFileA and KLCompileShader.
#pragma once

#include "shader/compiler.h"

struct CompileOptions {
    // Compile a vertex shader fragment for linking (vertex profiles only;
    // any other profile is D3DERR_INVALIDCALL).
    bool fragment = false;
};

HRESULT CompileShaderFileWithOptions(LPCSTR srcFile, const KLMACRO* defines, IKLInclude* include,
                                     LPCSTR functionName, LPCSTR profile, DWORD flags, const CompileOptions& options,
                                     IKLBuffer** shader, IKLBuffer** errorMsgs, IKLConstantTable** constantTable);
HRESULT CompileShaderWithOptions(LPCSTR srcData, UINT length, const KLMACRO* defines, IKLInclude* include,
                                 LPCSTR functionName, LPCSTR profile, DWORD flags, const CompileOptions& options,
                                 IKLBuffer** shader, IKLBuffer** errorMsgs, IKLConstantTable** constantTable);

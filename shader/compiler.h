// The shader compiler's public door: compile HLSL source or assemble shader
// assembly text from a file, a module resource or memory, with optional macro
// definitions and an include handler; results and messages come back in
// IKLBuffers.
#pragma once

#include "platform/modules.h"
#include "platform/wintypes.h"
#include "shader/kl_buffer.h"

struct IKLConstantTable;

// One macro definition given by the caller; an array of them ends at the first
// element whose Name is null. A null Definition is an empty body.
struct _KLMACRO {
    LPCSTR Name;
    LPCSTR Definition;
};
using KLMACRO = _KLMACRO;

enum KLINCLUDE_TYPE : uint32_t {
    KLINCLUDE_LOCAL = 0,   // #include "name"
    KLINCLUDE_SYSTEM = 1,  // #include <name>
};

// Caller-supplied opener of source files. Open hands back the bytes of the
// named file; Close receives that same pointer when the compiler is done.
// `parentData` is the data of the including file when the handler opened it.
struct IKLInclude {
    virtual HRESULT Open(KLINCLUDE_TYPE type, LPCSTR name, LPCVOID parentData, LPCVOID* data, UINT* bytes) = 0;
    virtual HRESULT Close(LPCVOID data) = 0;

protected:
    ~IKLInclude() = default;
};

// Compile flags: only the bits of kCompileFlagsMask are accepted.
enum KLCompileFlags : DWORD {
    KLSHADER_DEBUG = 0x01,               // add a debug information block
    KLSHADER_SKIPVALIDATION = 0x04,      // do not run the shader validator
    KLSHADER_SKIPOPTIMIZATION = 0x08,    // no optimisation
    KLSHADER_PACKMATRIX_ROWMAJOR = 0x10,
    KLSHADER_PACKMATRIX_COLUMNMAJOR = 0x20,
};
constexpr DWORD kCompileFlagsMask = 0x3D;

HRESULT KLCompileShaderFromFileA(LPCSTR srcFile, const KLMACRO* defines, IKLInclude* include, LPCSTR functionName,
                                 LPCSTR profile, DWORD flags, IKLBuffer** shader, IKLBuffer** errorMsgs,
                                 IKLConstantTable** constantTable);
HRESULT KLCompileShaderFromFileW(LPCWSTR srcFile, const KLMACRO* defines, IKLInclude* include, LPCSTR functionName,
                                 LPCSTR profile, DWORD flags, IKLBuffer** shader, IKLBuffer** errorMsgs,
                                 IKLConstantTable** constantTable);
HRESULT KLCompileShaderFromResourceA(HMODULE module, LPCSTR resource, const KLMACRO* defines, IKLInclude* include,
                                     LPCSTR functionName, LPCSTR profile, DWORD flags, IKLBuffer** shader,
                                     IKLBuffer** errorMsgs, IKLConstantTable** constantTable);
HRESULT KLCompileShaderFromResourceW(HMODULE module, LPCWSTR resource, const KLMACRO* defines, IKLInclude* include,
                                     LPCSTR functionName, LPCSTR profile, DWORD flags, IKLBuffer** shader,
                                     IKLBuffer** errorMsgs, IKLConstantTable** constantTable);
// `length` of UINT_MAX (-1) means the text ends at its first NUL.
HRESULT KLCompileShader(LPCSTR srcData, UINT length, const KLMACRO* defines, IKLInclude* include,
                        LPCSTR functionName, LPCSTR profile, DWORD flags, IKLBuffer** shader, IKLBuffer** errorMsgs,
                        IKLConstantTable** constantTable);

HRESULT KLAssembleShaderFromFileA(LPCSTR srcFile, const KLMACRO* defines, IKLInclude* include, DWORD flags,
                                  IKLBuffer** shader, IKLBuffer** errorMsgs);
HRESULT KLAssembleShaderFromFileW(LPCWSTR srcFile, const KLMACRO* defines, IKLInclude* include, DWORD flags,
                                  IKLBuffer** shader, IKLBuffer** errorMsgs);
HRESULT KLAssembleShaderFromResourceA(HMODULE module, LPCSTR resource, const KLMACRO* defines, IKLInclude* include,
                                      DWORD flags, IKLBuffer** shader, IKLBuffer** errorMsgs);
HRESULT KLAssembleShaderFromResourceW(HMODULE module, LPCWSTR resource, const KLMACRO* defines,
                                      IKLInclude* include, DWORD flags, IKLBuffer** shader, IKLBuffer** errorMsgs);
HRESULT KLAssembleShader(LPCSTR srcData, UINT length, const KLMACRO* defines, IKLInclude* include, DWORD flags,
                         IKLBuffer** shader, IKLBuffer** errorMsgs);

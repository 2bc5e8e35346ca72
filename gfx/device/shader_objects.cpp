#include "gfx/device/shader_objects.h"

#include <cstring>
#include <new>

#include "gfx/exports.h"

namespace gfx {

template <class I>
HRESULT ShaderObject<I>::Create(DeviceImpl* device, const DWORD* function, ShaderKind kind, ShaderObject** out) {
    if (!function || !out) return D3DERR_INVALIDCALL;
    std::unique_ptr<ShaderProgram> program;
    HRESULT hr = ShaderProgram::Create(function, SIZE_MAX, kind, &program);
    if (FAILED(hr)) {
        DebugMessage("Create%sShader: the token stream was refused (0x%08X)", kind == ShaderKind::Vertex ? "Vertex" : "Pixel",
                     unsigned(hr));
        return hr;
    }
    auto* shader = new (std::nothrow) ShaderObject(device, std::move(program));
    if (!shader) return E_OUTOFMEMORY;
    *out = shader;
    return D3D_OK;
}

template <class I>
HRESULT ShaderObject<I>::QueryInterface(REFIID riid, void** object) {
    if (!object) return E_POINTER;
    const IID& own = program_->Kind() == ShaderKind::Vertex ? IID_IDirect3DVertexShader9 : IID_IDirect3DPixelShader9;
    if (IidIn(riid, {&IID_IUnknown, &own})) {
        this->AddRef();
        *object = static_cast<I*>(this);
        return S_OK;
    }
    *object = nullptr;
    return E_NOINTERFACE;
}

template <class I>
HRESULT ShaderObject<I>::GetFunction(void* data, UINT* size) {
    if (!size) return D3DERR_INVALIDCALL;
    const std::vector<DWORD>& tokens = program_->Tokens();
    UINT bytes = UINT(tokens.size() * sizeof(DWORD));
    if (data) {
        if (*size < bytes) return D3DERR_INVALIDCALL;
        std::memcpy(data, tokens.data(), bytes);
    }
    *size = bytes;
    return D3D_OK;
}

template class ShaderObject<IDirect3DVertexShader9>;
template class ShaderObject<IDirect3DPixelShader9>;

}  // namespace gfx

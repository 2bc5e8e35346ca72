// Vertex and pixel shader objects: a checked, translated program each.
#pragma once

#include <memory>

#include "gfx/device/resources.h"
#include "gfx/shaders/shader_program.h"

namespace gfx {

template <class Interface>
class ShaderObject final : public RefCounted<Interface> {
public:
    static HRESULT Create(DeviceImpl* device, const DWORD* function, ShaderKind kind, ShaderObject** out);
    HRESULT QueryInterface(REFIID riid, void** object) override;
    HRESULT GetDevice(IDirect3DDevice9** device) override { return link_.GetDevice(device); }
    HRESULT GetFunction(void* data, UINT* size) override;
    const ShaderProgram& program() const { return *program_; }

private:
    ShaderObject(DeviceImpl* device, std::unique_ptr<ShaderProgram> program)
        : link_(device), program_(std::move(program)) {}
    ~ShaderObject() override = default;
    DeviceChildLink link_;
    std::unique_ptr<ShaderProgram> program_;
};

using VertexShaderImpl = ShaderObject<IDirect3DVertexShader9>;
using PixelShaderImpl = ShaderObject<IDirect3DPixelShader9>;

}  // namespace gfx

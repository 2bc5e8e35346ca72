// The device has no floating-point render target, so pixel shaders are not
// drawn into one: each pixel runs as a whole 2x2 quad through the program's
// pixel batch, every lane holding the given inputs (exactly what a
// primitive with identical vertices would interpolate to, derivatives zero),
// with the device's own sampler bound to its textures and sampler states.
// The colours come out as 32-bit floats before any blending or conversion.
#include "run_execute.h"

#include <algorithm>
#include <cstdio>
#include <memory>

#include "result_names.h"

#include "gfx/device/device.h"
#include "gfx/device/texture_sampler.h"
#include "gfx/shaders/shader_isa.h"
#include "run_semantics.h"
#include "texture/kltexture.h"

namespace isa = gfx::isa;

RunDevice::~RunDevice() {
    for (IDirect3DTexture9* t : textures_) t->Release();
    if (device_) device_->Release();
    if (d3d_) d3d_->Release();
}

std::string RunDevice::Create() {
    d3d_ = Direct3DCreate9(D3D_SDK_VERSION);
    if (!d3d_) return "cannot create the software device";
    D3DPRESENT_PARAMETERS pp{};
    pp.BackBufferWidth = 8;
    pp.BackBufferHeight = 8;
    pp.BackBufferFormat = D3DFMT_A8R8G8B8;
    pp.BackBufferCount = 1;
    pp.SwapEffect = D3DSWAPEFFECT_DISCARD;
    pp.Windowed = TRUE;
    HRESULT hr = d3d_->CreateDevice(D3DADAPTER_DEFAULT, D3DDEVTYPE_HAL, nullptr, D3DCREATE_HARDWARE_VERTEXPROCESSING,
                                    &pp, &device_);
    if (FAILED(hr)) return "cannot create the software device";
    return "";
}

std::string RunDevice::BindTexture(int sampler, const std::string& image, bool vertex, bool loaderDefaults) {
    if (vertex && sampler > 3) return "vertex shaders have samplers s0-s3 only";
    IDirect3DTexture9* texture = nullptr;
    HRESULT hr = loaderDefaults
                     ? KLCreateTextureFromFileA(device_, image.c_str(), &texture)
                     : TextureFromNamedFileA(device_, image.c_str(), kKeepSourceSize, kKeepSourceSize, 1, 0,
                                             D3DFMT_UNKNOWN, D3DPOOL_MANAGED, TexFilterNone, TexFilterNone, 0,
                                             nullptr, nullptr, &texture);
    if (FAILED(hr) || !texture) return "cannot load texture '" + image + "': " + DescribeResult(hr);
    textures_.push_back(texture);
    const DWORD slot = vertex ? D3DVERTEXTEXTURESAMPLER0 + DWORD(sampler) : DWORD(sampler);
    if (FAILED(device_->SetTexture(slot, texture))) return "cannot bind texture '" + image + "'";
    return "";
}

void RunDevice::SetFilter(bool linear) {
    const DWORD filter = linear ? D3DTEXF_LINEAR : D3DTEXF_POINT;
    for (DWORD s = 0; s < 16; ++s) {
        device_->SetSamplerState(s, D3DSAMP_MINFILTER, filter);
        device_->SetSamplerState(s, D3DSAMP_MAGFILTER, filter);
    }
    for (DWORD s = D3DVERTEXTEXTURESAMPLER0; s <= D3DVERTEXTEXTURESAMPLER3; ++s) {
        device_->SetSamplerState(s, D3DSAMP_MINFILTER, filter);
        device_->SetSamplerState(s, D3DSAMP_MAGFILTER, filter);
    }
}

namespace {

bool IsScalarOutput(uint8_t usage) {
    return usage == isa::USAGE_FOG || usage == isa::USAGE_PSIZE || usage == isa::USAGE_DEPTH;
}

void PrepareOutputs(const gfx::ShaderProgram& program, size_t count, RunResults* out) {
    out->outputs.clear();
    for (const auto& s : program.Outputs()) {
        RunOutput o;
        o.name = SemanticName(s.usage, s.usageIndex);
        o.scalar = IsScalarOutput(s.usage);
        o.values.assign(count, Float4{0, 0, 0, 0});
        out->outputs.push_back(std::move(o));
    }
    out->killed.assign(count, false);
}

}  // namespace

void RunDevice::RunVertices(const gfx::ShaderProgram& program, const gfx::ShaderConstants& constants,
                            const RunInputs& inputs, RunResults* out) const {
    PrepareOutputs(program, inputs.count, out);
    gfx::DeviceSampler sampler;
    sampler.Bind(*static_cast<const gfx::DeviceImpl*>(device_), gfx::kVertexSamplerBase, 4);
    auto batch = std::make_unique<gfx::VertexBatch>();
    auto results = std::make_unique<gfx::VertexResults>();
    const auto& outputs = program.Outputs();
    for (size_t first = 0; first < inputs.count; first += gfx::kLanes) {
        const int lanes = int(std::min<size_t>(gfx::kLanes, inputs.count - first));
        *batch = gfx::VertexBatch{};
        *results = gfx::VertexResults{};
        batch->count = lanes;
        for (const InputStream& s : inputs.streams) {
            if (s.semantic.slot >= gfx::kMaxVertexInputs) continue;
            for (int l = 0; l < lanes; ++l)
                for (int c = 0; c < 4; ++c) batch->input[s.semantic.slot].v[c][l] = s.values[first + l][c];
        }
        program.RunVertices(constants, &sampler, *batch, results.get());
        for (size_t o = 0; o < outputs.size(); ++o) {
            const int slot = outputs[o].slot;
            if (slot >= gfx::kMaxVertexOutputs) continue;
            for (int l = 0; l < lanes; ++l)
                for (int c = 0; c < 4; ++c) out->outputs[o].values[first + l][c] = results->output[slot].v[c][l];
        }
    }
}

void RunDevice::RunPixels(const gfx::ShaderProgram& program, const gfx::ShaderConstants& constants,
                          const RunInputs& inputs, RunResults* out) const {
    PrepareOutputs(program, inputs.count, out);
    gfx::DeviceSampler sampler;
    sampler.Bind(*static_cast<const gfx::DeviceImpl*>(device_), 0, gfx::kPixelSamplers);
    auto batch = std::make_unique<gfx::PixelBatch>();
    auto results = std::make_unique<gfx::PixelResults>();
    const auto& outputs = program.Outputs();
    // One pixel per quad: its four lanes are identical.
    for (size_t first = 0; first < inputs.count; first += gfx::kQuads) {
        const int quads = int(std::min<size_t>(gfx::kQuads, inputs.count - first));
        *batch = gfx::PixelBatch{};
        *results = gfx::PixelResults{};
        batch->quads = quads;
        batch->coverage = quads == gfx::kQuads ? 0xFFFFu : (1u << (4 * quads)) - 1;
        for (int l = 0; l < gfx::kLanes; ++l) batch->face[l] = 1.0f;
        for (const InputStream& s : inputs.streams) {
            if (s.semantic.slot >= gfx::kMaxPixelInputs) continue;
            for (int l = 0; l < 4 * quads; ++l)
                for (int c = 0; c < 4; ++c) batch->input[s.semantic.slot].v[c][l] = s.values[first + l / 4][c];
        }
        program.RunPixels(constants, &sampler, *batch, results.get());
        for (int q = 0; q < quads; ++q) {
            const int lane = 4 * q;
            if (results->killed >> lane & 1) out->killed[first + q] = true;
            for (size_t o = 0; o < outputs.size(); ++o) {
                Float4& v = out->outputs[o].values[first + q];
                if (outputs[o].usage == isa::USAGE_DEPTH) {
                    v[0] = results->depth[lane];
                    continue;
                }
                const int slot = outputs[o].slot;
                if (slot >= gfx::kMaxColorOutputs) continue;
                for (int c = 0; c < 4; ++c) v[c] = results->color[slot].v[c][lane];
            }
        }
    }
}

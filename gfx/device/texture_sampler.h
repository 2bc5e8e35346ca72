// Texture sampling on the device's textures and sampler states: level of
// detail from derivatives, point and linear filtering within and between
// mip levels, the five address modes and the border colour.
#pragma once

#include "gfx/device/resources.h"
#include "gfx/shaders/pipeline_jit.h"
#include "gfx/shaders/shader_program.h"

namespace gfx {

class DeviceImpl;

struct SamplerBinding {
    const BaseTextureImpl* texture = nullptr;  // null: unbound, samples (0, 0, 0, 1)
    DWORD address[3] = {D3DTADDRESS_WRAP, D3DTADDRESS_WRAP, D3DTADDRESS_WRAP};
    float border[4] = {0, 0, 0, 0};
    D3DCOLOR borderColor = 0;  // the same colour, packed
    DWORD magFilter = D3DTEXF_POINT, minFilter = D3DTEXF_POINT, mipFilter = D3DTEXF_NONE;
    float lodBias = 0.f;
    UINT firstLevel = 0;  // most detailed level allowed (max of D3DSAMP_MAXMIPLEVEL and the texture LOD)
};

class DeviceSampler final : public TextureSampler {
public:
    // Binds `count` samplers from device slot `firstSlot` (pixel samplers: 0,
    // vertex texture samplers: their slots), as sampler numbers 0..count-1.
    void Bind(const DeviceImpl& device, UINT firstSlot, UINT count);
    void Sample(UINT sampler, const SampleLanes& lanes, float (*out)[4]) override;
    // Samples without derivatives when the level of detail cannot matter (one
    // level, one filter, 2-D 32-bit colour texture): coordinates and results
    // in structure-of-arrays form (out[channel][lane]). False when the
    // binding does not qualify; nothing is written then.
    bool SampleFast(UINT sampler, const float* u, const float* v, uint32_t laneMask,
                    float (*out)[kLanes]) const override;
    // The image a compiled pipeline may read inline for `sampler` (see
    // jit::PipelineTexture); usable stays 0 when SampleFast's bilinear read
    // does not apply to the binding.
    void InlineTexture(UINT sampler, jit::PipelineTexture* out) const;
    const SamplerBinding& binding(UINT sampler) const { return bindings_[sampler]; }
    void SetBinding(UINT sampler, const SamplerBinding& binding) { bindings_[sampler] = binding; }
    // Whether SampleFast may use its SSE2 bilinear read (the same values as
    // the plain loops, which the reference path keeps using).
    void SetSimd(bool simd) { simd_ = simd; }

private:
    SamplerBinding bindings_[16];
    bool simd_ = true;
};

// Samples one lane: coordinates, the level of detail, and the binding.
void SampleOne(const SamplerBinding& b, const float coord[4], float lod, float out[4]);

}  // namespace gfx

// The fixed-function pixel stage: up to eight texture stages combining the
// diffuse and specular colours, textures, the texture factor and a temporary
// register, used when no pixel shader is bound.
#pragma once

#include "gfx/device/pipeline.h"

namespace gfx {

class DeviceImpl;

// Resolves the stage states of the device for one draw.
FixedFunctionSetup ResolveFixedFunction(const DeviceImpl& device);

// Shades the lanes of `batch` (inputs in the slots of pixel shaders before
// 3.0: COLOR0/1 in slots 0/1, TEXCOORDn in slot 2 + n) into out (SoA).
void ShadeFixedFunction(const DrawState& state, const PixelBatch& batch, LaneVec4* out);

}  // namespace gfx

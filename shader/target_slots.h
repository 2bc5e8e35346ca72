// The instruction slot budgets of a compile target, for passes that must
// keep a program within what its profile can hold.
#pragma once

#include "gfx/shaders/shader_slots.h"
#include "platform/wintypes.h"

// The budgets of the shader model of a version token (kUnlimitedSlots where
// the model sets none). Results: S_OK; E_FAIL for a version that is no
// vertex or pixel shader model.
HRESULT TargetSlotLimits(uint32_t version, gfx::isa::SlotLimits* out);

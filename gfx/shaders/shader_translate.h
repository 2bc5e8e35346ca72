// Turns checked instructions into the executable op list, and collects what
// the device needs to know about the program: its inputs, outputs and samplers.
#pragma once

#include <vector>

#include "gfx/shaders/shader_checker.h"
#include "gfx/shaders/shader_exec.h"

namespace gfx {

struct TranslatedShader {
    exec::ExecProgram program;
    std::vector<ShaderSemantic> inputs;
    std::vector<ShaderSemantic> outputs;
    std::vector<ShaderSamplerUse> samplers;
    int positionSlot = -1;
    bool depthWritten = false;
    bool usesTexkill = false;
};

// Returns false (the device refuses the shader) when the program uses
// registers beyond the device's tables: float constants past 256 (vertex) or
// 224 (pixel), integer or boolean constants past 16.
bool TranslateShader(const std::vector<DecodedInstruction>& instructions, isa::Profile profile,
                     TranslatedShader* out);

}  // namespace gfx

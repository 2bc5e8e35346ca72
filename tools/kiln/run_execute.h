// Runs a shader program over the vertices or pixels of kiln run on the
// software device: the device owns the bound textures and sampler states,
// and lookups go through its samplers.
#pragma once

#include <string>
#include <vector>

#include "gfx/d3d9.h"
#include "gfx/shaders/shader_program.h"
#include "run_inputs.h"

struct RunOutput {
    std::string name;            // "POSITION", "COLOR0", "DEPTH", ...
    bool scalar = false;         // FOG, PSIZE and DEPTH hold one value
    std::vector<Float4> values;  // one per vertex or pixel
};

struct RunResults {
    std::vector<RunOutput> outputs;  // in the program's output order
    std::vector<bool> killed;        // pixels discarded by texkill
};

class RunDevice {
public:
    RunDevice() = default;
    ~RunDevice();
    RunDevice(const RunDevice&) = delete;
    RunDevice& operator=(const RunDevice&) = delete;

    // Creates the device; on failure returns a message.
    std::string Create();
    // Loads IMAGE with the texture loader and binds it to sampler sN (vertex
    // programs: vertex texture sampler N). The image is taken as it is: its
    // own size, one level, no filtering; `loaderDefaults` loads it the way
    // KLCreateTextureFromFileA does instead (sizes rounded up to powers of
    // two, filtered, a full mip chain). Returns a message on failure.
    std::string BindTexture(int sampler, const std::string& image, bool vertex, bool loaderDefaults);
    // Linear or point filtering on every sampler.
    void SetFilter(bool linear);

    void RunVertices(const gfx::ShaderProgram& program, const gfx::ShaderConstants& constants, const RunInputs& inputs,
                     RunResults* out) const;
    void RunPixels(const gfx::ShaderProgram& program, const gfx::ShaderConstants& constants, const RunInputs& inputs,
                   RunResults* out) const;

private:
    IDirect3D9* d3d_ = nullptr;
    IDirect3DDevice9* device_ = nullptr;
    std::vector<IDirect3DTexture9*> textures_;
};

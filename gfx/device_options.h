// Tuning of the software rasteriser, for tests and benchmarks. Applications
// need not call these: by default a device draws with one worker per core on
// the tiled path.
#pragma once

#include "gfx/d3d9.h"

namespace gfx {

struct DeviceOptions {
    // Worker threads for rasterisation; 0 means one per hardware thread.
    unsigned threads = 0;
    // Draw through the plain scalar per-pixel path instead of the tiled,
    // quad-at-a-time path. Both give the same pixels; the scalar one is the
    // reference the fast one is tested against.
    bool scalarReference = false;
    // Run shaders as native code where they have it (see
    // ShaderProgram::CompiledReady); false interprets every shader. The
    // environment variable KILN_JIT=0 turns compilation off altogether.
    bool compiledShaders = true;
    // With compiled shaders, draw through compiled pixel pipelines (the
    // interpolation, shader, lookups, alpha test and colour write of a draw
    // as one routine per shader and state) where they cover the draw.
    bool compiledPipelines = true;
    // Draws wait for a shader's compile to end instead of interpreting it
    // meanwhile (tests and benchmarks that measure one path use this).
    bool waitForCompiledShaders = false;
};

// Options for devices created from now on.
void SetDefaultDeviceOptions(const DeviceOptions& options);
DeviceOptions GetDefaultDeviceOptions();
// Changes the options of one device (takes effect at the next draw).
HRESULT SetDeviceOptions(IDirect3DDevice9* device, const DeviceOptions& options);

}  // namespace gfx

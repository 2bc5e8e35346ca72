// Lines on standard error for data files the demo could not use. The demo
// carries on without what failed (a missing texture draws black, a shader that
// does not compile leaves its effect undrawn), but says so, once per file.
#pragma once

#include <string>

#include "gfx/d3d9.h"

namespace demo {

// "cinderglow: cannot <what> <file>: <reason>", then `details` (compiler
// messages) as they stand; only the first report about a file is printed.
void ReportLoadFailure(const std::string& what, const std::string& file, const std::string& reason,
                       const std::string& details = "");

// KLCreateTextureFromFileA with a line on failure. Returns the texture or null.
IDirect3DTexture9* LoadEffectTexture(IDirect3DDevice9* device, const char* file);

}  // namespace demo

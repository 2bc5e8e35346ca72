// Registers the entry points this library exports by name under "d3d9.dll"
// ("Direct3DCreate9", "DebugSetMute", and the shader validator's creation
// function) so that callers can find them with GetModuleHandleA /
// GetProcAddress. Safe to call any number of times; Direct3DCreate9 calls it.
#pragma once

#include "platform/wintypes.h"

void KilnGfxRegisterExports();

// The debug-output switch: while muted, the device's diagnostic messages on
// failed calls are not printed. Returns the previous setting.
extern "C" BOOL DebugSetMute(BOOL mute);

namespace gfx {
// True while the debug output is muted.
bool DebugOutputMuted();
// Prints a diagnostic for a failed call unless muted (and only when the
// environment variable KILN_D3D_DEBUG is set, so normal runs stay quiet).
void DebugMessage(const char* format, ...);
}  // namespace gfx

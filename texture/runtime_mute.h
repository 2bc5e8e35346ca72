// Muting of the graphics runtime's debug output around calls that may
// legitimately fail (format probing, lock attempts).
#pragma once

#include "platform/wintypes.h"

void MuteRuntimeDebugOutput(bool mute);

// Mutes for the lifetime of the object.
class ScopedRuntimeMute {
public:
    ScopedRuntimeMute() { MuteRuntimeDebugOutput(true); }
    ~ScopedRuntimeMute() { MuteRuntimeDebugOutput(false); }
    ScopedRuntimeMute(const ScopedRuntimeMute&) = delete;
    ScopedRuntimeMute& operator=(const ScopedRuntimeMute&) = delete;
};

// For tests: forgets the cached switch addresses and registry answer.
void ResetRuntimeMuteCache();

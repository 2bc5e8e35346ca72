// The high-resolution counter, with a virtual mode in which the counter only
// moves when told to, so that timelines can be replayed and recorded frame by
// frame, independent of how long each frame takes to compute.
#pragma once

#include "platform/wintypes.h"

union LARGE_INTEGER {
    struct {
        DWORD LowPart;
        LONG HighPart;
    } u;
    int64_t QuadPart;
};

// The counter's current value. Always succeeds (returns TRUE) for a non-null
// argument.
BOOL QueryPerformanceCounter(LARGE_INTEGER* counter);
// Counts per second; constant while the process runs in one mode.
BOOL QueryPerformanceFrequency(LARGE_INTEGER* frequency);

namespace platform {

// Switches the counter to virtual mode: it reads `startCount` and runs at
// `frequency` counts per second (both positive; startCount may be 0) until
// advanced. Calling it again restarts the virtual counter.
void UseVirtualClock(int64_t frequency, int64_t startCount);
// Moves the virtual counter forward by `counts` (ignored in real mode).
void AdvanceVirtualClock(int64_t counts);
// Back to the real monotonic counter (nanoseconds since an arbitrary origin).
void UseRealClock();
bool VirtualClockInUse();

}  // namespace platform

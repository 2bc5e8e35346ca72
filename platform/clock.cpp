#include "platform/clock.h"

#include <time.h>

namespace {

bool g_virtual = false;
int64_t g_virtualFrequency = 1;
int64_t g_virtualCount = 0;

constexpr int64_t kRealFrequency = 1000000000;  // the monotonic clock counts nanoseconds

int64_t RealCount() {
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return static_cast<int64_t>(now.tv_sec) * kRealFrequency + now.tv_nsec;
}

}  // namespace

BOOL QueryPerformanceCounter(LARGE_INTEGER* counter) {
    if (!counter) return FALSE;
    counter->QuadPart = g_virtual ? g_virtualCount : RealCount();
    return TRUE;
}

BOOL QueryPerformanceFrequency(LARGE_INTEGER* frequency) {
    if (!frequency) return FALSE;
    frequency->QuadPart = g_virtual ? g_virtualFrequency : kRealFrequency;
    return TRUE;
}

namespace platform {

void UseVirtualClock(int64_t frequency, int64_t startCount) {
    g_virtual = true;
    g_virtualFrequency = frequency > 0 ? frequency : 1;
    g_virtualCount = startCount > 0 ? startCount : 0;
}

void AdvanceVirtualClock(int64_t counts) {
    if (g_virtual && counts > 0) g_virtualCount += counts;
}

void UseRealClock() { g_virtual = false; }

bool VirtualClockInUse() { return g_virtual; }

}  // namespace platform

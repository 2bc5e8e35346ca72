#include "demo/clock.h"

#include "platform/clock.h"

namespace {

// Counter and frequency each go to single precision before the division, so
// the reading carries the precision (and rounding) of a float of seconds.
float ReadSeconds() {
    LARGE_INTEGER count, frequency;
    QueryPerformanceCounter(&count);
    QueryPerformanceFrequency(&frequency);
    return static_cast<float>(count.QuadPart) / static_cast<float>(frequency.QuadPart);
}

}  // namespace

float getTheTime() { return ReadSeconds(); }
float getTime() { return ReadSeconds(); }
float getTime2() { return ReadSeconds(); }
float getTime3() { return ReadSeconds(); }

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>

#include "platform/clock.h"
#include "platform/random.h"

namespace {

TEST(Clock, VirtualCounterMovesOnlyWhenAdvanced) {
    platform::UseVirtualClock(30000, 5000);
    LARGE_INTEGER count, frequency;
    ASSERT_TRUE(QueryPerformanceFrequency(&frequency));
    EXPECT_EQ(frequency.QuadPart, 30000);
    QueryPerformanceCounter(&count);
    EXPECT_EQ(count.QuadPart, 5000);
    QueryPerformanceCounter(&count);
    EXPECT_EQ(count.QuadPart, 5000);
    platform::AdvanceVirtualClock(1000);
    platform::AdvanceVirtualClock(-50);  // the counter never runs backwards
    QueryPerformanceCounter(&count);
    EXPECT_EQ(count.QuadPart, 6000);
    platform::UseVirtualClock(0, -3);  // nonsense values are made safe
    QueryPerformanceFrequency(&frequency);
    QueryPerformanceCounter(&count);
    EXPECT_GT(frequency.QuadPart, 0);
    EXPECT_EQ(count.QuadPart, 0);
    EXPECT_FALSE(QueryPerformanceCounter(nullptr));

    platform::UseRealClock();
    EXPECT_FALSE(platform::VirtualClockInUse());
    QueryPerformanceFrequency(&frequency);
    EXPECT_EQ(frequency.QuadPart, 1000000000);
    LARGE_INTEGER a, b;
    QueryPerformanceCounter(&a);
    QueryPerformanceCounter(&b);
    EXPECT_GE(b.QuadPart, a.QuadPart);
    EXPECT_GT(a.QuadPart, 0);
}

TEST(Random, SequenceStartsFromStateOneWithThePublishedConstants) {
    platform::crt::srand(1);
    // The first values of the generator state = state * 214013 + 2531011,
    // output (state >> 16) & 0x7FFF, from state 1.
    const int expected[] = {41, 18467, 6334, 26500, 19169, 15724, 11478, 29358, 26962, 24464};
    for (int value : expected) EXPECT_EQ(platform::crt::rand(), value);

    // The C library's own generator is a different one and does not disturb it.
    platform::crt::srand(1);
    EXPECT_EQ(platform::crt::rand(), 41);
    std::srand(99);
    (void)std::rand();
    EXPECT_EQ(platform::crt::rand(), 18467);
}

TEST(Random, StaysInRangeOverALongRun) {
    platform::crt::srand(1);
    int lowest = 1 << 30, highest = -1;
    for (int i = 0; i < 200000; ++i) {
        int v = platform::crt::rand();
        lowest = std::min(lowest, v);
        highest = std::max(highest, v);
    }
    EXPECT_EQ(lowest, 0);
    EXPECT_EQ(highest, platform::crt::kRandMax);
    platform::crt::srand(1);
}

}  // namespace

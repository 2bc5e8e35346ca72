// Conversions between floats and 16-bit floats: the listed cases, and every
// half through every variant of the half-to-float slot.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>

#include "math/dispatch/dispatch_table.h"

namespace klmath {
namespace {

WORD ToHalf(float f) {
    KLFLOAT16 h;
    As<kSlotFloat32To16Array>(MathPlainTable[kSlotFloat32To16Array])(&h, &f, 1);
    return h.value;
}

float FromHalf(WORD w) {
    KLFLOAT16 h{w};
    float f;
    As<kSlotFloat16To32Array>(MathPlainTable[kSlotFloat16To32Array])(&f, &h, 1);
    return f;
}

TEST(Half, FloatToHalf) {
    const float inf = std::numeric_limits<float>::infinity(), nan = std::numeric_limits<float>::quiet_NaN();
    const struct {
        float in;
        WORD out;
    } cases[] = {
        {0.0f, 0x0000},        {-0.0f, 0x8000},         {1.0f, 0x3C00},        {-2.0f, 0xC000},
        {65504.0f, 0x7BFF},    {65520.0f, 0x7C00},      {131008.0f, 0x7FFF},   {131040.0f, 0x7FFF},
        {-131040.0f, 0xFFFF},  {1e10f, 0x7FFF},         {inf, 0x7FFF},         {-inf, 0xFFFF},
        {nan, 0x7FFF},         {0x1p-25f, 0x0000},      {0x3p-26f, 0x0001},    {1e-20f, 0x0000},
        {0x1p-14f, 0x0400},    {0x1p-24f, 0x0001},      {0x1.ffcp-15f, 0x0400},  // tie above the largest subnormal
        {1.0f + 0x1p-11f, 0x3C00},                      // tie: stays even
        {1.0f + 0x3p-11f, 0x3C02},                      // tie: rounds to even
        {131024.0f, 0x7FFF},                            // rounds up to the largest value
    };
    for (const auto& c : cases) EXPECT_EQ(ToHalf(c.in), c.out) << "input " << c.in;
}

TEST(Half, HalfToFloat) {
    EXPECT_EQ(FromHalf(0x7C00), 65536.0f);
    EXPECT_EQ(FromHalf(0x7FFF), 131008.0f);
    EXPECT_EQ(FromHalf(0xFFFF), -131008.0f);
    EXPECT_EQ(FromHalf(0x0001), 0x1p-24f);
    EXPECT_EQ(FromHalf(0x03FF), 0x3FFp-24f);
    EXPECT_EQ(FromHalf(0x3555), 0x1.554p-2f);
    float negZero = FromHalf(0x8000);
    EXPECT_EQ(negZero, 0.0f);
    EXPECT_TRUE(std::signbit(negZero));
}

TEST(Half, EveryHalfRoundTripsAndEveryVariantAgrees) {
    std::vector<KLFLOAT16> all(65536);
    for (int i = 0; i < 65536; ++i) all[i].value = static_cast<WORD>(i);
    std::vector<float> want(65536);
    As<kSlotFloat16To32Array>(MathPlainTable[kSlotFloat16To32Array])(want.data(), all.data(), 65536);
    std::vector<KLFLOAT16> back(65536);
    As<kSlotFloat32To16Array>(MathPlainTable[kSlotFloat32To16Array])(back.data(), want.data(), 65536);
    for (int i = 0; i < 65536; ++i) ASSERT_EQ(back[i].value, i) << "value " << want[i];

    for (auto set : {&SseVariants, &Sse2Variants}) {
        for (const SlotEntry& e : set()) {
            if (e.slot != kSlotFloat16To32Array) continue;
            // Every length up to two vector widths, then the whole range.
            for (UINT n : {0u, 1u, 3u, 4u, 5u, 7u, 8u, 9u, 15u, 16u, 17u, 65536u}) {
                std::vector<float> got(n + 1, 42.0f);
                As<kSlotFloat16To32Array>(e.op)(got.data(), all.data() + (65536 - n), n);
                ASSERT_EQ(std::memcmp(got.data(), want.data() + (65536 - n), n * sizeof(float)), 0) << "n " << n;
                EXPECT_EQ(got[n], 42.0f) << "wrote past the end, n " << n;
            }
        }
    }
}

}  // namespace
}  // namespace klmath

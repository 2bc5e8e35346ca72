// The normalisation variants at their edges, and the segment-table reciprocal
// square root behind the x86 one.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>

#include "math/dispatch/dispatch_table.h"
#include "math/rsqrt_table.h"

namespace klmath {
namespace {

using Normalize = SlotFn<kSlotVec3Normalize>;

struct Variant {
    const char* name;
    Normalize fn;
    bool tinyBecomesUnit;  // (1e-8, 0, 0): unit vector, or zero vector
    float copyWithin;      // squared lengths this close to 1 are copied (0: never)
};


std::vector<Variant> Variants() {
    auto find = [](std::span<const SlotEntry> set) {
        for (auto& e : set)
            if (e.slot == kSlotVec3Normalize) return As<kSlotVec3Normalize>(e.op);
        return Normalize{};
    };
    return {
        {"plain", As<kSlotVec3Normalize>(MathPlainTable[kSlotVec3Normalize]), true, 0x1p-23f},
        {"x86", find(X86Variants()), true, 1e-5f},
        {"SSE", find(SseVariants()), false, 0.0f},
        {"SSE2", find(Sse2Variants()), false, 0.0f},
    };
}

bool SameBits(const KLVECTOR3& a, const KLVECTOR3& b) { return std::memcmp(&a, &b, sizeof(a)) == 0; }

TEST(Normalize, EdgesByVariant) {
    for (const Variant& v : Variants()) {
        SCOPED_TRACE(v.name);
        ASSERT_NE(v.fn, nullptr);
        KLVECTOR3 out{9, 9, 9};
        const KLVECTOR3 zero{0, 0, 0};
        v.fn(&out, &zero);
        EXPECT_TRUE(SameBits(out, zero));

        const KLVECTOR3 tiny{1e-8f, 0, 0};
        v.fn(&out, &tiny);
        if (v.tinyBecomesUnit) {
            EXPECT_NEAR(out.x, 1.0f, 2e-6f);
        } else {
            EXPECT_TRUE(SameBits(out, zero)) << out.x;
        }
        EXPECT_EQ(out.y, 0.0f);

        // Squared lengths 1 - 2^-23 (within the plain margin; scaling would
        // give exactly 1) and 1 + 8e-6 (within the x86 margin only).
        const KLVECTOR3 justBelow{0x1.fffffep-1f, 0, 0};
        const KLVECTOR3 justAbove{1.000004f, 0, 0};
        for (const KLVECTOR3& in : {justBelow, justAbove}) {
            float L = in.x * in.x;
            v.fn(&out, &in);
            if (std::fabs(L - 1.0f) <= v.copyWithin) {
                EXPECT_TRUE(SameBits(out, in)) << "L = " << L;
            } else {
                EXPECT_NEAR(out.x, 1.0f, 2e-6f);
            }
        }

        // Ordinary vectors, normalised in place.
        KLVECTOR3 w{3, -4, 12};
        v.fn(&w, &w);
        EXPECT_NEAR(w.x, 3.0f / 13, 2e-6f);
        EXPECT_NEAR(w.y, -4.0f / 13, 2e-6f);
        EXPECT_NEAR(w.z, 12.0f / 13, 2e-6f);
    }
}

TEST(Normalize, PlainTreatsNotANumberAndDenormalsAsZero) {
    auto plain = As<kSlotVec3Normalize>(MathPlainTable[kSlotVec3Normalize]);
    KLVECTOR3 out;
    const KLVECTOR3 nan{std::nanf(""), 1, 1};
    plain(&out, &nan);
    EXPECT_EQ(out.x, 0.0f);
    EXPECT_EQ(out.z, 0.0f);
    const KLVECTOR3 small{1e-20f, 0, 0};  // L = 1e-40, below 2^-126
    plain(&out, &small);
    EXPECT_EQ(out.x, 0.0f);
}

TEST(TableRsqrt, FirstSegmentAndAccuracy) {
    const RsqrtSegment* t = RsqrtSegmentTable();
    EXPECT_FLOAT_EQ(t[0].slope, -1.4100952f);
    EXPECT_FLOAT_EQ(t[0].intercept, 2.1192613f);
    // Each line passes through the left end of its segment.
    EXPECT_NEAR(t[256].slope + t[256].intercept, 1.0f, 1e-7f);
    double worst = 0;
    for (double x = 1e-30; x < 1e30; x *= 1.0137) {
        double rel = std::fabs(TableRsqrt(static_cast<float>(x)) * std::sqrt(static_cast<float>(x)) - 1.0);
        worst = std::max(worst, rel);
    }
    EXPECT_LT(worst, 2e-6);
    EXPECT_NEAR(TableRsqrt(4.0f), 0.5f, 1e-7f);
    EXPECT_NEAR(TableRsqrt(0.25f), 2.0f, 4e-7f);
}

}  // namespace
}  // namespace klmath

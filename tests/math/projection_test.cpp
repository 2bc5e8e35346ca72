#include <gtest/gtest.h>

#include <cmath>

#include "math/klmath.h"

namespace {

constexpr float kPi = 3.14159265358979f;

// Every element not named by a projection must be exactly 0.
void ExpectOnly(const KLMATRIX& m, std::initializer_list<std::pair<int, float>> named) {
    for (int i = 0; i < 16; ++i) {
        float expected = 0.0f;
        for (auto& [index, value] : named)
            if (index == i) expected = value;
        EXPECT_FLOAT_EQ(m.m[i / 4][i % 4], expected) << "element _" << i / 4 + 1 << i % 4 + 1;
    }
}

TEST(Projection, DemoCameraToTheDigits) {
    KLMATRIX m;
    ASSERT_EQ(KLMatrixPerspectiveFovLH(&m, kPi / 3, 4.0f / 3.0f, 2.0f, 100.0f), &m);
    // Exact single-precision values of the demo camera.
    EXPECT_EQ(m._11, 1.2990381f);
    EXPECT_EQ(m._22, 1.7320508f);
    EXPECT_EQ(m._33, 1.0204082f);
    EXPECT_EQ(m._34, 1.0f);
    EXPECT_EQ(m._43, -2.0408163f);
    ExpectOnly(m, {{0, 1.2990381f}, {5, 1.7320508f}, {10, 1.0204082f}, {11, 1.0f}, {14, -2.0408163f}});
}

TEST(Projection, FamilyElements) {
    const float zn = 1.0f, zf = 11.0f, w = 4.0f, h = 2.0f, l = -1.0f, r = 3.0f, b = -2.0f, t = 2.0f;
    const float ql = zf / (zf - zn), qr = zf / (zn - zf);
    KLMATRIX m;
    KLMatrixPerspectiveFovRH(&m, kPi / 2, 2.0f, zn, zf);
    ExpectOnly(m, {{0, 0.5f}, {5, 1.0f}, {10, qr}, {11, -1.0f}, {14, zn * qr}});
    KLMatrixPerspectiveLH(&m, w, h, zn, zf);
    ExpectOnly(m, {{0, 2 * zn / w}, {5, 2 * zn / h}, {10, ql}, {11, 1.0f}, {14, -zn * ql}});
    KLMatrixPerspectiveRH(&m, w, h, zn, zf);
    ExpectOnly(m, {{0, 2 * zn / w}, {5, 2 * zn / h}, {10, qr}, {11, -1.0f}, {14, zn * qr}});
    KLMatrixPerspectiveOffCenterLH(&m, l, r, b, t, zn, zf);
    ExpectOnly(m, {{0, 0.5f}, {5, 0.5f}, {8, -0.5f}, {9, 0.0f}, {10, ql}, {11, 1.0f}, {14, -zn * ql}});
    KLMatrixPerspectiveOffCenterRH(&m, l, r, b, t, zn, zf);
    ExpectOnly(m, {{0, 0.5f}, {5, 0.5f}, {8, 0.5f}, {10, qr}, {11, -1.0f}, {14, zn * qr}});
    KLMatrixOrthoLH(&m, w, h, zn, zf);
    ExpectOnly(m, {{0, 0.5f}, {5, 1.0f}, {10, 0.1f}, {14, -0.1f}, {15, 1.0f}});
    KLMatrixOrthoRH(&m, w, h, zn, zf);
    ExpectOnly(m, {{0, 0.5f}, {5, 1.0f}, {10, -0.1f}, {14, -0.1f}, {15, 1.0f}});
    KLMatrixOrthoOffCenterLH(&m, l, r, b, t, zn, zf);
    ExpectOnly(m, {{0, 0.5f}, {5, 0.5f}, {10, 0.1f}, {12, -0.5f}, {14, -0.1f}, {15, 1.0f}});
    KLMatrixOrthoOffCenterRH(&m, l, r, b, t, zn, zf);
    ExpectOnly(m, {{0, 0.5f}, {5, 0.5f}, {10, -0.1f}, {12, -0.5f}, {14, -0.1f}, {15, 1.0f}});
}

TEST(Projection, EqualPlanesGiveInfiniteElements) {
    KLMATRIX m;
    KLMatrixPerspectiveFovLH(&m, kPi / 3, 1.0f, 5.0f, 5.0f);
    EXPECT_TRUE(std::isinf(m._33));
}

TEST(Projection, LookAtMapsEyeToOriginAndTargetOntoTheForwardAxis) {
    KLVECTOR3 eye{1, 2, 3}, at{4, 6, 3}, up{0, 0, 1};
    KLMATRIX lh, rh;
    KLMatrixLookAtLH(&lh, &eye, &at, &up);
    KLMatrixLookAtRH(&rh, &eye, &at, &up);
    KLVECTOR3 e, a;
    KLVec3TransformCoord(&e, &eye, &lh);
    KLVec3TransformCoord(&a, &at, &lh);
    EXPECT_NEAR(e.x, 0, 1e-6);
    EXPECT_NEAR(e.y, 0, 1e-6);
    EXPECT_NEAR(e.z, 0, 1e-6);
    EXPECT_NEAR(a.x, 0, 1e-5);
    EXPECT_NEAR(a.y, 0, 1e-5);
    EXPECT_NEAR(a.z, 5, 1e-5);  // left-handed: looks down +z
    KLVec3TransformCoord(&a, &at, &rh);
    EXPECT_NEAR(a.z, -5, 1e-5);  // right-handed: looks down -z
    KLVECTOR3 upOut;
    KLVec3TransformNormal(&upOut, &up, &lh);
    EXPECT_NEAR(upOut.y, 1, 1e-6);
}

}  // namespace

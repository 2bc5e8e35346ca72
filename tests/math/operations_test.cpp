// What the operations compute, through the public entries, on each path:
// geometric identities rather than restated formulas.
#include <gtest/gtest.h>

#include <cmath>

#include "math/klmath.h"
#include "platform/registry.h"

namespace {

constexpr float kPi = 3.14159265358979f;

void ExpectMatrixNear(const KLMATRIX& a, const KLMATRIX& b, float tol = 2e-6f) {
    for (int i = 0; i < 4; ++i)
        for (int j = 0; j < 4; ++j) EXPECT_NEAR(a.m[i][j], b.m[i][j], tol) << "element " << i + 1 << j + 1;
}
void ExpectNear(const KLVECTOR3& a, const KLVECTOR3& b, float tol = 2e-6f) {
    EXPECT_NEAR(a.x, b.x, tol);
    EXPECT_NEAR(a.y, b.y, tol);
    EXPECT_NEAR(a.z, b.z, tol);
}
// Quaternions q and -q are the same rotation.
void ExpectSameRotation(const KLQUATERNION& a, const KLQUATERNION& b, float tol = 2e-6f) {
    float s = KLQuaternionDot(&a, &b) < 0 ? -1.0f : 1.0f;
    EXPECT_NEAR(a.x, s * b.x, tol);
    EXPECT_NEAR(a.y, s * b.y, tol);
    EXPECT_NEAR(a.z, s * b.z, tol);
    EXPECT_NEAR(a.w, s * b.w, tol);
}

// Runs every case on the plain path (with the x86 slots), SSE and SSE2.
class Operations : public testing::TestWithParam<int> {
protected:
    void SetUp() override {
        platform::SimulatedProcessor cpu;
        if (GetParam() != PathPlain) cpu.leaf1Edx = platform::kCpuidEdxMmx | platform::kCpuidEdxSse;
        if (GetParam() == PathSse2) cpu.leaf1Edx |= platform::kCpuidEdxSse2;
        platform::SetRegistryValue("DisablePSGP", std::nullopt);
        platform::SetRegistryValue("DisableKLPSGP", std::nullopt);
        platform::SimulateProcessor(cpu);
        MathPathSelect(0);
        ASSERT_EQ(MathPathSelect(1), GetParam());
    }
    void TearDown() override {
        platform::UseRealProcessor();
        platform::ResetRegistryValues();
        MathPathSelect(0);
    }
};

INSTANTIATE_TEST_SUITE_P(Paths, Operations, testing::Values(PathPlain, PathSse, PathSse2),
                         [](const testing::TestParamInfo<int>& info) {
                             return std::string(info.param == PathPlain ? "Plain"
                                                : info.param == PathSse ? "Sse"
                                                                        : "Sse2");
                         });

KLMATRIX Sample() {
    KLMATRIX m;
    const float v[16] = {2, 0.5f, -1, 0.25f, 0.3f, 3, 0.7f, -0.2f, -0.4f, 0.1f, 1.5f, 0.6f, 5, -6, 7, 1};
    std::memcpy(&m, v, sizeof(v));
    return m;
}

TEST_P(Operations, Matrix_InverseDeterminantAndProducts) {
    KLMATRIX m = Sample(), inv, p, id;
    float det = 0;
    ASSERT_NE(KLMatrixInverse(&inv, &det, &m), nullptr);
    EXPECT_NEAR(det, KLMatrixDeterminant(&m), 1e-5f);
    KLMatrixIdentity(&id);
    ExpectMatrixNear(*KLMatrixMultiply(&p, &m, &inv), id, 1e-5f);
    // A singular matrix (small integers, so every variant's minors are exact):
    // null, the output untouched, determinant 0.
    KLMATRIX singular = {}, out = id;
    const float rows[16] = {1, 2, 3, 4, 2, 0, 1, 1, 4, 0, 2, 2, 0, 1, 0, 5};
    std::memcpy(&singular, rows, sizeof(rows));
    EXPECT_EQ(KLMatrixInverse(&out, &det, &singular), nullptr);
    EXPECT_EQ(det, 0.0f);
    EXPECT_TRUE(KLMatrixIsIdentity(&out));
    // (ab)^T through its own entry.
    KLMATRIX t1, t2;
    KLMatrixMultiplyTranspose(&t1, &m, &inv);
    KLMatrixTranspose(&t2, KLMatrixMultiply(&p, &m, &inv));
    ExpectMatrixNear(t1, t2, 0);
    KLMATRIX s;
    EXPECT_FLOAT_EQ(KLMatrixDeterminant(KLMatrixScaling(&s, 2, 3, 4)), 24.0f);
}

TEST_P(Operations, Matrix_RotationsAgreeWithEachOther) {
    KLMATRIX rx, axis, fromQ, ypr, rz, rxp, ry, tmp, chain;
    KLVECTOR3 xAxis{2, 0, 0};  // not unit: the entries normalise it
    KLQUATERNION q;
    KLMatrixRotationX(&rx, 0.7f);
    KLMatrixRotationAxis(&axis, &xAxis, 0.7f);
    KLMatrixRotationQuaternion(&fromQ, KLQuaternionRotationAxis(&q, &xAxis, 0.7f));
    ExpectMatrixNear(rx, axis);
    ExpectMatrixNear(rx, fromQ);
    // Rows are multiplied on the left: +y turns towards +z about x.
    KLVECTOR3 y{0, 1, 0}, r;
    KLMatrixRotationX(&rx, kPi / 2);
    ExpectNear(*KLVec3TransformNormal(&r, &y, &rx), {0, 0, 1});
    // Yaw, pitch, roll: roll about z first, then pitch about x, then yaw about y.
    KLMatrixRotationYawPitchRoll(&ypr, 0.3f, -0.5f, 1.1f);
    KLMatrixMultiply(&tmp, KLMatrixRotationZ(&rz, 1.1f), KLMatrixRotationX(&rxp, -0.5f));
    KLMatrixMultiply(&chain, &tmp, KLMatrixRotationY(&ry, 0.3f));
    ExpectMatrixNear(ypr, chain);
    KLMatrixRotationQuaternion(&fromQ, KLQuaternionRotationYawPitchRoll(&q, 0.3f, -0.5f, 1.1f));
    ExpectMatrixNear(ypr, fromQ);
}

TEST_P(Operations, Quaternion_FromMatrixTakesEveryBranch) {
    // Rotations whose largest term is w, x, y and z in turn.
    const KLQUATERNION qs[] = {{0.1f, 0.2f, 0.3f, 0.927f}, {0.9f, 0.3f, -0.2f, 0.245f},
                               {-0.2f, 0.9f, 0.3f, 0.245f}, {0.3f, -0.2f, 0.9f, -0.245f}};
    for (KLQUATERNION q : qs) {
        KLQuaternionNormalize(&q, &q);
        KLMATRIX m;
        KLQUATERNION back;
        KLQuaternionRotationMatrix(&back, KLMatrixRotationQuaternion(&m, &q));
        ExpectSameRotation(back, q, 3e-6f);
    }
}

TEST_P(Operations, Quaternion_ProductComposesRotationsInCallOrder) {
    KLQUATERNION q1, q2, q;
    KLVECTOR3 a1{1, 2, 3}, a2{-1, 0.5f, 2};
    KLQuaternionRotationAxis(&q1, &a1, 0.8f);
    KLQuaternionRotationAxis(&q2, &a2, -1.3f);
    KLMATRIX m1, m2, m12, mq;
    KLMatrixMultiply(&m12, KLMatrixRotationQuaternion(&m1, &q1), KLMatrixRotationQuaternion(&m2, &q2));
    KLMatrixRotationQuaternion(&mq, KLQuaternionMultiply(&q, &q1, &q2));
    ExpectMatrixNear(m12, mq);
    KLQUATERNION inv, id;
    KLQuaternionMultiply(&id, &q1, KLQuaternionInverse(&inv, &q1));
    ExpectSameRotation(id, {0, 0, 0, 1});
    KLVECTOR3 axis;
    float angle;
    KLQuaternionToAxisAngle(&q1, &axis, &angle);
    EXPECT_NEAR(angle, 0.8f, 1e-6f);
    EXPECT_NEAR(axis.y / axis.x, 2.0f, 1e-5f);
}

TEST_P(Operations, Quaternion_Interpolation) {
    KLQUATERNION q1, q2, q3, out;
    KLVECTOR3 ax{0, 0, 1};
    KLQuaternionRotationAxis(&q1, &ax, 0.2f);
    KLQuaternionRotationAxis(&q2, &ax, 1.0f);
    KLQuaternionRotationAxis(&q3, &ax, 2.0f);
    ExpectSameRotation(*KLQuaternionSlerp(&out, &q1, &q2, 0), q1);
    ExpectSameRotation(*KLQuaternionSlerp(&out, &q1, &q2, 1), q2);
    KLQUATERNION mid;
    KLQuaternionRotationAxis(&mid, &ax, 0.6f);
    ExpectSameRotation(*KLQuaternionSlerp(&out, &q1, &q2, 0.5f), mid);
    // The short way round: -q2 is the same rotation as q2.
    KLQUATERNION negQ2{-q2.x, -q2.y, -q2.z, -q2.w};
    ExpectSameRotation(*KLQuaternionSlerp(&out, &q1, &negQ2, 0.5f), mid);
    ExpectSameRotation(*KLQuaternionBaryCentric(&out, &q1, &q2, &q3, 0, 0), q1);
    ExpectSameRotation(*KLQuaternionBaryCentric(&out, &q1, &q2, &q3, 1, 0), q2);
    ExpectSameRotation(*KLQuaternionBaryCentric(&out, &q1, &q2, &q3, 0, 1), q3);
    // Squad through set-up control points passes through its end points.
    KLQUATERNION a, b, c, q0;
    KLQuaternionRotationAxis(&q0, &ax, -0.5f);
    KLQuaternionSquadSetup(&a, &b, &c, &q0, &q1, &q2, &q3);
    ExpectSameRotation(*KLQuaternionSquad(&out, &q1, &a, &b, &c, 0), q1);
    ExpectSameRotation(*KLQuaternionSquad(&out, &q1, &a, &b, &c, 1), q2);
    // exp(ln q) = q for unit quaternions.
    KLQUATERNION ln, back;
    KLQuaternionExp(&back, KLQuaternionLn(&ln, &q2));
    EXPECT_EQ(ln.w, 0.0f);
    ExpectSameRotation(back, q2);
}

TEST_P(Operations, Plane_ConstructionIntersectionAndTransforms) {
    KLVECTOR3 a{1, 0, 0}, b{0, 2, 0}, c{0, 0, 3};
    KLPLANE p;
    KLPlaneFromPoints(&p, &a, &b, &c);
    for (const KLVECTOR3* v : {&a, &b, &c}) EXPECT_NEAR(KLPlaneDotCoord(&p, v), 0, 1e-6f);
    EXPECT_NEAR(p.a * p.a + p.b * p.b + p.c * p.c, 1, 1e-6f);
    KLPLANE scaled{2 * p.a, 2 * p.b, 2 * p.c, 2 * p.d}, n;
    KLPlaneNormalize(&n, &scaled);
    EXPECT_NEAR(n.d, p.d, 1e-6f);
    // A line through the plane meets it; one parallel to it does not.
    KLVECTOR3 from{0, 0, 0}, to{1, 1, 1}, hit, along{2, -2, 0};
    ASSERT_NE(KLPlaneIntersectLine(&hit, &p, &from, &to), nullptr);
    EXPECT_NEAR(KLPlaneDotCoord(&p, &hit), 0, 1e-6f);
    EXPECT_NEAR(hit.x, hit.y, 1e-6f);
    EXPECT_EQ(KLPlaneIntersectLine(&hit, &p, &a, &along), nullptr);
    // Planes move with the inverse transpose of the point transform.
    KLMATRIX m = Sample(), inv, invT;
    m._14 = m._24 = m._34 = 0;
    m._44 = 1;
    KLMatrixTranspose(&invT, KLMatrixInverse(&inv, nullptr, &m));
    KLPLANE moved;
    KLPlaneTransform(&moved, &p, &invT);
    KLVECTOR3 ma;
    KLVec3TransformCoord(&ma, &a, &m);
    EXPECT_NEAR(KLPlaneDotCoord(&moved, &ma), 0, 1e-5f);
    // Shadows land on the plane; reflecting twice restores every point.
    KLVECTOR4 light{3, 4, 5, 1};
    KLMATRIX shadow, reflect, twice;
    KLMatrixShadow(&shadow, &light, &p);
    KLVECTOR3 point{-1, 0.5f, 2}, s;
    KLVec3TransformCoord(&s, &point, &shadow);
    EXPECT_NEAR(KLPlaneDotCoord(&p, &s), 0, 1e-5f);
    KLMatrixReflect(&reflect, &scaled);
    KLMatrixMultiply(&twice, &reflect, &reflect);
    KLMATRIX id;
    ExpectMatrixNear(twice, *KLMatrixIdentity(&id), 1e-5f);
    KLVECTOR3 r;
    ExpectNear(*KLVec3TransformCoord(&r, &a, &reflect), a);
}

TEST_P(Operations, Vectors_ProjectionRoundTripAndCross) {
    KLVIEWPORT9 vp{0, 0, 800, 600, 0, 1};
    KLMATRIX proj, view, world;
    KLMatrixPerspectiveFovLH(&proj, kPi / 3, 4.0f / 3, 2, 100);
    KLVECTOR3 eye{0, 3, -10}, at{0, 0, 0}, up{0, 1, 0};
    KLMatrixLookAtLH(&view, &eye, &at, &up);
    KLMatrixRotationY(&world, 0.4f);
    KLVECTOR3 p{1, -2, 3}, screen, back;
    KLVec3Project(&screen, &p, &vp, &proj, &view, &world);
    ASSERT_NE(KLVec3Unproject(&back, &screen, &vp, &proj, &view, &world), nullptr);
    ExpectNear(back, p, 2e-4f);
    // The target sits at the centre of the viewport.
    KLVec3Project(&screen, &at, &vp, &proj, &view, nullptr);
    EXPECT_NEAR(screen.x, 400, 1e-3f);
    EXPECT_NEAR(screen.y, 300, 1e-3f);
    KLMATRIX zero{};
    EXPECT_EQ(KLVec3Unproject(&back, &screen, &vp, &zero, nullptr, nullptr), nullptr);
    // The array forms give the single results element by element.
    KLVECTOR3 pts[3] = {p, at, {2, 1, -1}}, scr[3], unp[3];
    KLVec3ProjectArray(scr, sizeof(KLVECTOR3), pts, sizeof(KLVECTOR3), &vp, &proj, &view, &world, 3);
    KLVec3UnprojectArray(unp, sizeof(KLVECTOR3), scr, sizeof(KLVECTOR3), &vp, &proj, &view, &world, 3);
    for (int i = 0; i < 3; ++i) {
        KLVECTOR3 one;
        ExpectNear(scr[i], *KLVec3Project(&one, &pts[i], &vp, &proj, &view, &world), 0);
        ExpectNear(unp[i], pts[i], 2e-4f);
    }

    KLVECTOR4 a{1, 2, 3, 4}, b{-2, 0.5f, 1, 0}, c{0.3f, -1, 2, 5}, x;
    KLVec4Cross(&x, &a, &b, &c);
    for (const KLVECTOR4* v : {&a, &b, &c}) EXPECT_NEAR(KLVec4Dot(&x, v), 0, 1e-4f);
}

TEST_P(Operations, Vectors_SplinesMeetTheirControlPoints) {
    KLVECTOR3 v0{0, 0, 0}, v1{1, 2, 3}, v2{4, -1, 2}, v3{5, 5, 5}, t1{1, 0, 0}, t2{0, 1, 0}, out;
    ExpectNear(*KLVec3Hermite(&out, &v1, &t1, &v2, &t2, 0), v1);
    ExpectNear(*KLVec3Hermite(&out, &v1, &t1, &v2, &t2, 1), v2);
    ExpectNear(*KLVec3CatmullRom(&out, &v0, &v1, &v2, &v3, 0), v1);
    ExpectNear(*KLVec3CatmullRom(&out, &v0, &v1, &v2, &v3, 1), v2);
    ExpectNear(*KLVec3BaryCentric(&out, &v1, &v2, &v3, 0, 1), v3);
    KLVECTOR2 a{1, 2}, b{3, 4}, c{5, 7}, o2;
    KLVec2BaryCentric(&o2, &a, &b, &c, 0.5f, 0.25f);
    EXPECT_FLOAT_EQ(o2.x, 1 + 0.5f * 2 + 0.25f * 4);
    KLVECTOR4 p{1, 1, 1, 1}, q{2, 2, 2, 2}, z{0, 0, 0, 0}, o4;
    KLVec4Hermite(&o4, &p, &z, &q, &z, 0.5f);
    EXPECT_NEAR(o4.w, 1.5f, 1e-6f);
}

TEST_P(Operations, Transformation_BuildersFixTheirCentres) {
    KLVECTOR3 centre{1, 2, 3}, scale{2, 3, 4}, move{10, 0, -5}, out;
    KLQUATERNION rot, srot;
    KLVECTOR3 axis{1, 1, 0};
    KLQuaternionRotationAxis(&rot, &axis, 0.9f);
    KLQuaternionRotationAxis(&srot, &axis, -0.4f);
    KLMATRIX m;
    // Scaling about a centre keeps the centre; rotation about it too.
    KLMatrixTransformation(&m, &centre, &srot, &scale, &centre, &rot, nullptr);
    ExpectNear(*KLVec3TransformCoord(&out, &centre, &m), centre, 1e-5f);
    KLMatrixTransformation(&m, nullptr, nullptr, nullptr, nullptr, nullptr, &move);
    KLMATRIX t;
    ExpectMatrixNear(m, *KLMatrixTranslation(&t, 10, 0, -5));
    KLMatrixAffineTransformation(&m, 1.0f, &centre, &rot, &move);
    KLVECTOR3 want{11, 2, -2};
    ExpectNear(*KLVec3TransformCoord(&out, &centre, &m), want, 1e-5f);
}

TEST_P(Operations, Arrays_BlendingWeightsAndRefusals) {
    KLMATRIX palette[3];
    KLMatrixTranslation(&palette[0], 1, 0, 0);
    KLMatrixTranslation(&palette[1], 0, 1, 0);
    KLMatrixScaling(&palette[2], 2, 2, 2);
    KLVECTOR3 v[2] = {{1, 1, 1}, {0, 0, 2}}, out[2] = {};
    float weights[2] = {0.25f, 0.5f};
    BYTE idx[8] = {2, 1, 0, 0, 0, 2, 0, 0};
    ASSERT_NE(KLVec3BlendArray(out, sizeof(KLVECTOR3), v, sizeof(KLVECTOR3), weights, 4, 1, idx, 4, palette, 3, 2),
              nullptr);
    // 0.25 * (2, 2, 2) + 0.75 * (1, 2, 1)
    ExpectNear(out[0], {1.25f, 2.0f, 1.25f});
    // 0.5 * (1, 0, 2) + 0.5 * (0, 0, 4)
    ExpectNear(out[1], {0.5f, 0.0f, 3.0f});
    // An index beyond the palette or too many weights: refused, nothing written.
    idx[5] = 3;
    KLVECTOR3 untouched[2] = {{7, 7, 7}, {7, 7, 7}};
    EXPECT_EQ(KLVec3BlendArray(untouched, 12, v, 12, weights, 4, 1, idx, 4, palette, 3, 2), nullptr);
    EXPECT_EQ(KLVec3BlendArray(untouched, 12, v, 12, weights, 4, 4, nullptr, 0, palette, 3, 2), nullptr);
    EXPECT_EQ(KLVec3BlendArray(untouched, 12, v, 12, nullptr, 4, 1, nullptr, 0, palette, 3, 2), nullptr);
    EXPECT_EQ(untouched[1].x, 7.0f);
}

TEST_P(Operations, Arrays_NPatchTessellation) {
    KLVECTOR3 p[3] = {{0, 0, 0}, {1, 0, 0}, {0, 1, 0}};
    KLVECTOR3 flat[3] = {{0, 0, 1}, {0, 0, 1}, {0, 0, 1}};
    constexpr UINT seg = 4;
    KLVECTOR3 pos[KLNPatchPointCount(seg)], nrm[KLNPatchPointCount(seg)];
    ASSERT_EQ(KLTessellateNPatchTriangle(pos, nrm, p, flat, seg), pos);
    ExpectNear(pos[0], p[0]);
    ExpectNear(pos[KLNPatchPointCount(seg) - seg - 1], p[1]);
    ExpectNear(pos[KLNPatchPointCount(seg) - 1], p[2]);
    // Normals along the face keep the triangle flat.
    for (UINT i = 0; i < KLNPatchPointCount(seg); ++i) {
        EXPECT_NEAR(pos[i].z, 0, 1e-6f);
        ExpectNear(nrm[i], {0, 0, 1});
    }
    // Normals leaning outwards bulge the middle towards them.
    KLVECTOR3 bent[3] = {{-1, -1, 2}, {1, 0, 1}, {0, 1, 1}};
    for (auto& n : bent) KLVec3Normalize(&n, &n);
    KLTessellateNPatchTriangle(pos, nrm, p, bent, seg);
    EXPECT_GT(pos[7].z, 0.0f);
    EXPECT_EQ(KLTessellateNPatchTriangle(pos, nrm, p, flat, 0), nullptr);
    EXPECT_EQ(KLTessellateNPatchTriangle(pos, nrm, p, flat, 257), nullptr);
}

TEST_P(Operations, ColourAndNoise_PlainOperations) {
    KLCOLOR c{0.2f, 0.6f, 1.0f, 0.5f}, out;
    KLColorAdjustSaturation(&out, &c, 0);
    EXPECT_NEAR(out.r, out.b, 1e-7f);
    EXPECT_NEAR(out.r, 0.2f * 0.2125f + 0.6f * 0.7154f + 0.0721f, 1e-6f);
    EXPECT_EQ(out.a, 0.5f);
    KLColorAdjustContrast(&out, &c, 2);
    EXPECT_NEAR(out.g, 0.7f, 1e-6f);
    EXPECT_NEAR(KLFresnelTerm(1.0f, 1.5f), 0.04f, 1e-6f);
    EXPECT_NEAR(KLFresnelTerm(1.0f, 1.0f), 0.0f, 1e-7f);
    EXPECT_EQ(KLFresnelTerm(0.1f, 0.5f), 1.0f);  // total internal reflection
    EXPECT_NEAR(KLFresnelTerm(0.0f, 1.5f), 1.0f, 1e-6f);

    KLVECTOR3 lattice{3, -7, 12};
    EXPECT_EQ(KLPerlinNoise3(&lattice), 0.0f);
    float lo = 1, hi = -1;
    for (int i = 0; i < 2000; ++i) {
        KLVECTOR3 v{i * 0.37f, i * 0.11f - 50, i * 0.05f};
        float n = KLPerlinNoise3(&v);
        lo = std::min(lo, n);
        hi = std::max(hi, n);
        KLVECTOR3 near{v.x + 1e-3f, v.y, v.z};
        EXPECT_NEAR(KLPerlinNoise3(&near), n, 0.01f);
    }
    EXPECT_LT(lo, -0.3f);
    EXPECT_GT(hi, 0.3f);
    KLVECTOR3 inf{INFINITY, 0, 0};
    EXPECT_EQ(KLPerlinNoise3(&inf), 0.0f);
}

}  // namespace
